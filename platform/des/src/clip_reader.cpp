#include "clip_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "shell/files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace des_detail {

namespace {

constexpr AVRational kTicks{1, 10000000};

struct Resources {
  AVFormatContext* fmt = nullptr;
  AVCodecContext* dec = nullptr;
  SwsContext* sws = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* pkt = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* held = nullptr;
  ~Resources() {
    av_frame_free(&held);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    swr_free(&swr);
    sws_freeContext(sws);
    avcodec_free_context(&dec);
    avformat_close_input(&fmt);
  }
};

}  // namespace

ClipReader::ClipReader(std::string path, Target target, int64_t mediaStart, size_t queueFrames)
    : path_(std::move(path)),
      target_(target),
      mediaStart_(std::max<int64_t>(0, mediaStart)),
      capacity_(std::max<size_t>(2, queueFrames)) {
  thread_ = std::thread([this] { Run(); });
}

ClipReader::~ClipReader() {
  Abort();
  if (thread_.joinable()) thread_.join();
}

void ClipReader::Abort() {
  {
    std::lock_guard lock(lock_);
    aborted_ = true;
  }
  changed_.notify_all();
}

size_t ClipReader::Queued() const { return target_.video ? queue_.size() : queuedSound_; }

size_t ClipReader::Capacity() const {
  return target_.video ? capacity_ : std::max<size_t>(2, capacity_ * static_cast<size_t>(target_.rate) / 10);
}

bool ClipReader::Push(Item item) {
  std::unique_lock lock(lock_);
  // A full queue is filled again once the renderer has taken half of it, so that the decoding
  // thread is not woken for every picture or block taken.
  if (Queued() >= Capacity()) changed_.wait(lock, [&] { return aborted_ || Queued() <= Capacity() / 2; });
  if (aborted_) return false;
  if (!target_.video) queuedSound_ += item.sound.size() / static_cast<size_t>(target_.channels);
  queue_.push_back(std::move(item));
  lock.unlock();
  changed_.notify_all();
  return true;
}

void ClipReader::Run() {
  if (Decode(true)) Decode(false);
  {
    std::lock_guard lock(lock_);
    ended_ = true;
  }
  changed_.notify_all();
}

bool ClipReader::Decode(bool seek) {
  Resources r;
  if (!FileExists(path_)) return false;  // a pipe or a device put in its place would never end
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  int err = avformat_open_input(&r.fmt, ("file:" + path_).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (err < 0 || avformat_find_stream_info(r.fmt, nullptr) < 0) return false;
  const AVMediaType kind = target_.video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
  const int si = av_find_best_stream(r.fmt, kind, -1, -1, nullptr, 0);
  if (si < 0) return false;
  for (unsigned i = 0; i < r.fmt->nb_streams; ++i)
    r.fmt->streams[i]->discard = static_cast<int>(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  AVStream* st = r.fmt->streams[si];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return false;
  r.dec = avcodec_alloc_context3(codec);
  if (!r.dec || avcodec_parameters_to_context(r.dec, st->codecpar) < 0) return false;
  if (target_.video) {
    r.dec->thread_count = 0;
    r.dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  }
  if (avcodec_open2(r.dec, codec, nullptr) < 0) return false;
  r.pkt = av_packet_alloc();
  r.frame = av_frame_alloc();
  if (!r.pkt || !r.frame) return false;

  const int64_t streamStart =
      st->start_time != AV_NOPTS_VALUE ? av_rescale_q(st->start_time, st->time_base, kTicks) : 0;
  seek = seek && mediaStart_ > 0;
  if (seek) {
    const int64_t target = av_rescale_q(mediaStart_ + streamStart, kTicks, st->time_base);
    av_seek_frame(r.fmt, si, target, AVSEEK_FLAG_BACKWARD);
  }

  // A container that seeks imprecisely can land past the start: then it is read from its
  // beginning instead.
  bool firstFrame = true, rewind = false;
  bool soundAligned = false;
  int64_t dropFrames = 0;  // sound before the media start still to drop
  int64_t lastPts = -1;
  const int64_t frameTicks = [&] {
    AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    return fr.num > 0 && fr.den > 0 ? av_rescale(10000000, fr.den, fr.num) : 400000;
  }();

  auto ptsOf = [&](AVFrame* f) -> int64_t {
    int64_t ts = f->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE) ts = f->pts;
    if (ts == AV_NOPTS_VALUE) return lastPts < 0 ? 0 : lastPts + frameTicks;
    return av_rescale_q(ts, st->time_base, kTicks) - streamStart;
  };

  auto emitPicture = [&](AVFrame* f, int64_t pts) -> bool {
    const int w = target_.width, h = target_.height;
    r.sws = sws_getCachedContext(r.sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                 w, h, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!r.sws) return true;
    auto pic = std::make_shared<std::vector<uint32_t>>(static_cast<size_t>(w) * h);
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(pic->data()), nullptr, nullptr, nullptr};
    int dstStride[4] = {w * 4, 0, 0, 0};
    sws_scale(r.sws, f->data, f->linesize, 0, f->height, dst, dstStride);
    for (auto& px : *pic) px |= 0xFF000000u;
    Item item;
    item.pts = pts;
    item.picture = std::move(pic);
    return Push(std::move(item));
  };

  auto emitSound = [&](AVFrame* f, int64_t pts) -> bool {
    if (!r.swr) {
      AVChannelLayout outLayout;
      av_channel_layout_default(&outLayout, target_.channels);
      if (swr_alloc_set_opts2(&r.swr, &outLayout, AV_SAMPLE_FMT_S16, target_.rate, &f->ch_layout,
                              static_cast<AVSampleFormat>(f->format), f->sample_rate, 0,
                              nullptr) < 0 ||
          swr_init(r.swr) < 0) {
        swr_free(&r.swr);
        return false;
      }
    }
    const int maxOut = swr_get_out_samples(r.swr, f->nb_samples);
    if (maxOut <= 0) return true;
    std::vector<int16_t> buf(static_cast<size_t>(maxOut) * target_.channels);
    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(buf.data())};
    const int got = swr_convert(r.swr, planes, maxOut, const_cast<const uint8_t**>(f->extended_data),
                                f->nb_samples);
    if (got <= 0) return true;
    buf.resize(static_cast<size_t>(got) * target_.channels);
    if (!soundAligned) {
      // Line the sound up with the media start: silence in front of a late first sample, the
      // samples before the start dropped.
      soundAligned = true;
      const int64_t offset = av_rescale(pts - mediaStart_, target_.rate, 10000000);
      if (offset > 0) buf.insert(buf.begin(), static_cast<size_t>(offset) * target_.channels, 0);
      else dropFrames = -offset;
    }
    if (dropFrames > 0) {
      const size_t drop = std::min(buf.size(), static_cast<size_t>(dropFrames) * target_.channels);
      buf.erase(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(drop));
      dropFrames -= static_cast<int64_t>(drop) / target_.channels;
      if (buf.empty()) return true;
    }
    Item item;
    item.sound = std::move(buf);
    return Push(std::move(item));
  };

  // Video: hold the latest frame at or before the media start until a later one shows up, so
  // that only pictures that can be shown are converted.
  auto handle = [&](AVFrame* f) -> bool {
    const int64_t pts = ptsOf(f);
    lastPts = pts;
    if (firstFrame) {
      firstFrame = false;
      if (seek && pts > mediaStart_) {
        rewind = true;
        return false;
      }
    }
    if (!target_.video) return emitSound(f, pts);
    // A picture counts from a thousandth of a frame before its own time, so that a media time
    // computed from a rounded rate (30000/1001 as a double) still names the frame it means.
    const int64_t shown = pts - (frameTicks / 1000 + 1);
    if (shown <= mediaStart_) {
      if (!r.held) r.held = av_frame_alloc();
      av_frame_unref(r.held);
      av_frame_move_ref(r.held, f);
      r.held->pts = shown;
      return true;
    }
    if (r.held && r.held->buf[0]) {
      const int64_t heldPts = r.held->pts;
      if (!emitPicture(r.held, heldPts)) return false;
      av_frame_unref(r.held);
    }
    return emitPicture(f, shown);
  };

  auto drain = [&]() -> bool {
    while (true) {
      int e = avcodec_receive_frame(r.dec, r.frame);
      if (e < 0) return true;
      bool ok = handle(r.frame);
      av_frame_unref(r.frame);
      if (!ok) return false;
      {
        std::lock_guard lock(lock_);
        if (aborted_) return false;
      }
    }
  };

  while (true) {
    {
      std::lock_guard lock(lock_);
      if (aborted_) return rewind;
    }
    err = av_read_frame(r.fmt, r.pkt);
    if (err == AVERROR(EAGAIN)) continue;
    if (err < 0) {
      // The end of the data: a read error, or a file cut short since the graph was built, is a
      // failure of the source; what was decoded is still shown.
      HRESULT failure = S_OK;
      struct stat info {};
      if (err != AVERROR_EOF)
        failure = dshow::HResultFromAv(err);
      else if (target_.fileSize >= 0 && ::stat(path_.c_str(), &info) == 0 && info.st_size < target_.fileSize)
        failure = VFW_E_FILE_TOO_SHORT;
      std::lock_guard lock(lock_);
      failure_ = failure;
      break;
    }
    if (r.pkt->stream_index == si) {
      // A damaged packet is skipped: the decoder's refusal of it changes nothing.
      if (avcodec_send_packet(r.dec, r.pkt) == AVERROR(EAGAIN)) {
        if (!drain()) {
          av_packet_unref(r.pkt);
          return rewind;
        }
        avcodec_send_packet(r.dec, r.pkt);
      }
      av_packet_unref(r.pkt);
      if (!drain()) return rewind;
    } else {
      av_packet_unref(r.pkt);
    }
  }
  avcodec_send_packet(r.dec, nullptr);
  if (!drain()) return rewind;
  if (target_.video && r.held && r.held->buf[0]) emitPicture(r.held, r.held->pts);
  return false;
}

HRESULT ClipReader::Failure() {
  std::lock_guard lock(lock_);
  return ended_ ? failure_ : S_OK;
}

Picture ClipReader::PictureAt(int64_t m) {
  std::unique_lock lock(lock_);
  while (true) {
    bool taken = false;
    while (!queue_.empty() && queue_.front().pts <= m) {
      currentPts_ = queue_.front().pts;
      current_ = std::move(queue_.front().picture);
      queue_.pop_front();
      taken = true;
    }
    if (taken && Queued() <= Capacity() / 2) changed_.notify_all();
    if (aborted_) return nullptr;
    if (!queue_.empty()) return current_ ? current_ : queue_.front().picture;
    if (ended_) return current_;
    changed_.wait(lock);
  }
}

void ClipReader::ReadSound(int16_t* out, size_t frames) {
  const size_t ch = static_cast<size_t>(target_.channels);
  std::unique_lock lock(lock_);
  while (frames > 0) {
    if (aborted_) break;
    if (queue_.empty()) {
      if (ended_) break;
      changed_.wait(lock);
      continue;
    }
    Item& front = queue_.front();
    const size_t have = front.sound.size() / ch - soundOffset_;
    const size_t n = std::min(have, frames);
    std::memcpy(out, front.sound.data() + soundOffset_ * ch, n * ch * sizeof(int16_t));
    out += n * ch;
    frames -= n;
    soundOffset_ += n;
    queuedSound_ -= n;
    if (soundOffset_ * ch >= front.sound.size()) {
      queue_.pop_front();
      soundOffset_ = 0;
    }
    if (Queued() <= Capacity() / 2) changed_.notify_all();
  }
  std::memset(out, 0, frames * ch * sizeof(int16_t));
}

}  // namespace des_detail
