#include "media_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "com/com.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"

namespace des_detail {
namespace {

using Clock = std::chrono::steady_clock;

// No single open, seek or frame search may take longer than this; a file that keeps the
// demuxer busy beyond it is treated as damaged.
constexpr auto kOperationLimit = std::chrono::seconds(30);
// Pictures larger than this are refused.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{8192} * 8192;
// Seconds before a stream's first time that a seek to its start asks for (longer than any mux
// delay or reordering of pictures ahead of the first one).
constexpr int64_t kBeforeStart = 60;

// Containers the platform's filter graphs play: movies (AVI, MPEG program, elementary and
// transport streams, QuickTime/MP4, ASF, Matroska, FLV, Ogg), sound files (WAV, MP3, AIFF, AU,
// FLAC, AAC) and still pictures. Anything else libavformat happens to recognise (text shown as
// ANSI art, playlists, subtitles, ...) is not a media file here.
bool IsReadableFormat(const char* name) {
  static const char* const kFormats[] = {
      "avi", "mpeg", "mpegvideo", "mpegts", "mov,mp4,m4a,3gp,3g2,mj2", "asf", "matroska,webm",
      "flv", "ogg", "wav", "mp3", "aiff", "au", "flac", "aac", "bmp_pipe", "jpeg_pipe", "gif",
      "gif_pipe", "png_pipe", "tiff_pipe", "webp_pipe", "image2"};
  for (const char* f : kFormats)
    if (std::strcmp(name, f) == 0) return true;
  return false;
}

bool IsStillFormat(const char* name) {
  static const char* const kStills[] = {"bmp_pipe", "jpeg_pipe", "gif", "gif_pipe", "png_pipe",
                                        "tiff_pipe", "webp_pipe", "image2"};
  for (const char* f : kStills)
    if (std::strcmp(name, f) == 0) return true;
  return false;
}

// The format a pixel format of full-range YUV stands for, and whether it was full range.
AVPixelFormat PlainPixelFormat(AVPixelFormat f, bool* fullRange) {
  *fullRange = true;
  switch (f) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: *fullRange = false; return f;
  }
}

void PutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

}  // namespace

struct MediaReader::State {
  std::string path;
  int64_t fileSize = 0;
  struct stat file {};     // the file as it was opened
  bool untouched = false;  // parsed and not read any further since
  AVFormatContext* ic = nullptr;
  Clock::time_point deadline = Clock::time_point::max();
  std::vector<double> lengths;  // per stream; NaN until computed

  // Grabbing.
  int vs = -1;  // container index of the first video stream
  AVCodecContext* dec = nullptr;
  bool decoderFailed = false;
  AVPacket* pkt = nullptr;
  bool demuxEnded = false;  // the demuxer has no more packets (the decoder was told so)
  bool decoderEnded = false;
  FramePtr current;  // the last frame handed out or passed, at time currentT
  double currentT = 0;
  FramePtr pending;  // a decoded frame beyond the last request, at time pendingT
  double pendingT = 0;
  double lastT = -1;  // time of the last decoded frame, for frames without a timestamp
  bool afterSeek = false;  // no key frame decoded since the last seek into the stream
  int readErrors = 0;      // read failures in a row
  MediaReader::Stats stats;
  SwsContext* sws = nullptr;
  // The scaler's output rows: it may write a few bytes past a row's end, so the picture is
  // scaled here (with room to spare) and then copied into the caller's bitmap.
  std::vector<uint8_t> scaled;

  ~State() {
    sws_freeContext(sws);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    if (ic) avformat_close_input(&ic);
  }

  void Arm() { deadline = Clock::now() + kOperationLimit; }
  void Disarm() { deadline = Clock::time_point::max(); }
  static int Interrupt(void* opaque) {
    return Clock::now() > static_cast<State*>(opaque)->deadline ? 1 : 0;
  }

  AVStream* Video() const { return ic->streams[vs]; }
  double Rate() const {
    const AVRational r = av_guess_frame_rate(ic, Video(), nullptr);
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0;
  }
  int64_t StartTs() const {
    const AVStream* st = Video();
    return st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  }
  double ToSeconds(int64_t ts) const { return (ts - StartTs()) * av_q2d(Video()->time_base); }
  int64_t ToTs(double seconds) const {
    return StartTs() + static_cast<int64_t>(std::floor(seconds / av_q2d(Video()->time_base)));
  }

  void ResetDecoding() {
    if (dec) avcodec_flush_buffers(dec);
    demuxEnded = decoderEnded = false;
    current.reset();
    pending.reset();
    lastT = -1;
  }

  HRESULT OpenDecoder() {
    if (dec) return S_OK;
    if (decoderFailed || vs < 0) return VFW_E_CANNOT_CONNECT;
    const AVCodecParameters* par = Video()->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!c || avcodec_parameters_to_context(c, par) < 0) {
      avcodec_free_context(&c);
      decoderFailed = true;
      return VFW_E_CANNOT_CONNECT;
    }
    c->pkt_timebase = Video()->time_base;
    c->thread_count = 0;  // as many as the machine has
    c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(c, codec, nullptr) < 0) {
      avcodec_free_context(&c);
      decoderFailed = true;
      return VFW_E_CANNOT_CONNECT;
    }
    dec = c;
    pkt = av_packet_alloc();
    if (!pkt) return E_OUTOFMEMORY;
    return S_OK;
  }

  // The next decoded frame of the video stream in presentation order, or null at the end of
  // the data (or when the demuxer gives up on damaged data or the time limit).
  FramePtr Decode(double* t) {
    FramePtr frame(av_frame_alloc());
    if (!frame) return nullptr;
    while (!decoderEnded) {
      const int got = avcodec_receive_frame(dec, frame.get());
      if (got == 0) {
        const int64_t ts = frame->best_effort_timestamp;
        if (afterSeek && (!frame->key_frame || (ts == AV_NOPTS_VALUE && lastT < 0))) {
          // After a seek, pictures before the first key frame lack their references, and a
          // picture without a time cannot be placed: skip them.
          av_frame_unref(frame.get());
          continue;
        }
        afterSeek = false;
        ++stats.frames;
        const double rate = Rate();
        if (ts != AV_NOPTS_VALUE) *t = ToSeconds(ts);
        else *t = lastT < 0 ? 0 : lastT + (rate > 0 ? 1 / rate : 0.04);
        lastT = *t;
        return frame;
      }
      if (got == AVERROR_EOF) { decoderEnded = true; break; }
      if (got != AVERROR(EAGAIN)) {
        // A decoder that cannot go on: treat as the end of the data.
        decoderEnded = true;
        break;
      }
      if (demuxEnded) { decoderEnded = true; break; }
      const int read = av_read_frame(ic, pkt);
      if (read < 0) {
        // A damaged stretch of data in the middle of the file: read on behind it, a few times.
        const bool atEnd = read == AVERROR_EOF || (ic->pb && avio_feof(ic->pb));
        if (!atEnd && read != AVERROR_EXIT && ++readErrors <= 16) continue;
        demuxEnded = true;
        avcodec_send_packet(dec, nullptr);
        continue;
      }
      readErrors = 0;
      if (pkt->stream_index == vs) ++stats.packets;
      if (pkt->stream_index == vs) {
        // A damaged packet is dropped; the decoder goes on with the next one.
        avcodec_send_packet(dec, pkt);
      }
      av_packet_unref(pkt);
    }
    return nullptr;
  }

  // The next frame: the one already decoded beyond the last request, or a new one.
  FramePtr Next(double* t) {
    if (pending) {
      *t = pendingT;
      return std::move(pending);
    }
    return Decode(t);
  }

  void SeekTo(int64_t ts) {
    const bool toStart = ts <= StartTs();
    ++stats.seeks;
    // The start is sought well before the first frame's time: containers searched by the decoding
    // times or clock references of their packets (MPEG program and transport streams) stamp the
    // data before the first picture earlier than that picture's time, so a seek to the time itself
    // lands a group of pictures later. Containers that refuse a time before their start take the
    // seek to the time below.
    if (toStart && av_seek_frame(ic, vs, StartTs() - av_rescale_q(kBeforeStart, {1, 1}, Video()->time_base),
                                 AVSEEK_FLAG_BACKWARD) >= 0) {
      ResetDecoding();
      afterSeek = false;
      return;
    }
    if (av_seek_frame(ic, vs, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(ic, vs, std::numeric_limits<int64_t>::min(), ts, ts, 0) < 0) {
      // Last resort: back to the first byte of the data.
      avformat_seek_file(ic, -1, std::numeric_limits<int64_t>::min(), 0, 0, AVSEEK_FLAG_BYTE);
    }
    ResetDecoding();
    afterSeek = !toStart;
  }

  // Whether going forward from the decoding position to the time t is better done by seeking:
  // when a key frame lies between them, or (for files without an index) when t is far ahead.
  bool SeekPays(double t) const {
    const double pos = pending ? pendingT : (current ? currentT : 0);
    AVStream* st = Video();
    const int idx = av_index_search_timestamp(st, ToTs(t), AVSEEK_FLAG_BACKWARD);
    if (idx >= 0) {
      const AVIndexEntry* e = avformat_index_get_entry(st, idx);
      return e && ToSeconds(e->timestamp) > pos + 1e-9 && (e->flags & AVINDEX_KEYFRAME);
    }
    return t - pos > 10.0;
  }

  // Decodes forward until current is the last frame not after limit (pending then holds the
  // frame after it) or the data ends.
  void DecodeUpTo(double limit) {
    double ft = 0;
    while (FramePtr f = Next(&ft)) {
      if (ft > limit) {
        pending = std::move(f);
        pendingT = ft;
        return;
      }
      current = std::move(f);
      currentT = ft;
      if (Clock::now() > deadline) return;
    }
  }

  // Positions current at the frame of time t: the last frame whose time is not after t, with
  // half a frame's tolerance. VFW_E_TIME_EXPIRED when no frame decodes there.
  HRESULT Position(double t, double length) {
    if (isStill) {
      // A picture is its first frame, whatever the time.
      if (!current) {
        if (demuxEnded || pending) SeekTo(StartTs());
        double ft = 0;
        current = Next(&ft);
        currentT = 0;
      }
      return current ? S_OK : VFW_E_TIME_EXPIRED;
    }
    const double rate = Rate();
    const double limit = t + (rate > 0 ? 0.5 / rate : 0.02);
    const bool settled = current && currentT <= limit && (pending ? pendingT > limit : decoderEnded);
    if (!settled) {
      const bool fresh = !current && !pending && !demuxEnded;
      const bool backwards = current && currentT > limit;
      const bool seek = backwards || (!current && !fresh) || SeekPays(t);
      if (seek) SeekTo(ToTs(t));
      DecodeUpTo(limit);
      // A seek can land after the wanted frame, or so close to the end that no key frame
      // follows (containers without an exact index): start further back, at last from the
      // start of the stream.
      for (double back = 1.0; seek && !current && Clock::now() <= deadline; back *= 4) {
        const double from = std::max(0.0, t - back);
        SeekTo(ToTs(from));
        DecodeUpTo(limit);
        if (from == 0) break;
      }
      if (Clock::now() > deadline) return VFW_E_TIME_EXPIRED;
    }
    if (!current) {
      if (!pending) return VFW_E_TIME_EXPIRED;
      // The stream starts after the asked time: its first frame it is.
      current = std::move(pending);
      currentT = pendingT;
    }
    // The data ended well before the asked time although the stream should go on: the file is
    // cut short or damaged there.
    if (!pending && decoderEnded && rate > 0 && t < length - 1.5 / rate &&
        currentT < t - 1.5 / rate)
      return VFW_E_TIME_EXPIRED;
    return S_OK;
  }

  bool isStill = false;
};

// A movie a reader opened and parsed but read no further before it let it go (a probe for the
// streams, as a detector's first use often is) waits here for the next reader that opens the
// same file unchanged, which takes the parse over instead of parsing again. One waits at a time.
namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

struct MediaReader::Parked {
  std::mutex m;
  std::unique_ptr<State> state;
  std::vector<StreamInfo> streams;

  static Parked& Slot() {
    static Parked* slot = new Parked;  // never destroyed: readers may go after static objects
    return *slot;
  }
};

void MediaReader::Park() {
  std::unique_ptr<State> s = std::move(s_);
  std::vector<StreamInfo> streams = std::move(streams_);
  streams_.clear();
  if (!s || !s->untouched || still_ || !s->ic) return;
  Parked& p = Parked::Slot();
  std::lock_guard lock(p.m);
  std::swap(p.state, s);
  p.streams = std::move(streams);
  // The one that waited before goes (s) as this function returns.
}

bool MediaReader::TakeParked(const std::string& path, const struct stat& file) {
  std::unique_ptr<State> stale;
  Parked& p = Parked::Slot();
  std::lock_guard lock(p.m);
  if (!p.state) return false;
  if (p.state->path != path || !SameFile(p.state->file, file)) {
    stale = std::move(p.state);  // the file changed, or another one comes next
    return false;
  }
  s_ = std::move(p.state);
  streams_ = std::move(p.streams);
  return true;
}

MediaReader::MediaReader() = default;
MediaReader::~MediaReader() { Park(); }

HRESULT MediaReader::Open(const std::string& path) {
  Park();
  still_ = false;
  if (path.empty()) return E_INVALIDARG;

  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == EACCES) return E_ACCESSDENIED;
    return errno == ENOTDIR ? HRESULT_PATH_NOT_FOUND : HRESULT_FILE_NOT_FOUND;
  }
  if (S_ISDIR(info.st_mode)) return E_ACCESSDENIED;
  // Pipes and devices are no media files (and opening a pipe would wait for its writer).
  if (!S_ISREG(info.st_mode)) return VFW_E_UNKNOWN_FILE_TYPE;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? HRESULT_FILE_NOT_FOUND : E_ACCESSDENIED;
  close(fd);
  if (info.st_size == 0) return VFW_E_FILE_TOO_SHORT;
  if (TakeParked(path, info)) return S_OK;

  auto s = std::make_unique<State>();
  s->path = path;
  s->fileSize = info.st_size;
  s->file = info;
  s->ic = avformat_alloc_context();
  if (!s->ic) return E_OUTOFMEMORY;
  s->ic->interrupt_callback.callback = &State::Interrupt;
  s->ic->interrupt_callback.opaque = s.get();
  s->Arm();
  // The path is a file name, never a URL or a protocol ("rtsp:clip", "concat:a|b"), and what
  // the file refers to (playlists) is read from local files at most.
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(&s->ic, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    s->ic = nullptr;  // freed by the failed open
    return VFW_E_UNKNOWN_FILE_TYPE;
  }
  if (!IsReadableFormat(s->ic->iformat->name)) return VFW_E_UNKNOWN_FILE_TYPE;
  if (avformat_find_stream_info(s->ic, nullptr) < 0) return VFW_E_INVALID_FILE_FORMAT;
  s->Disarm();

  for (unsigned i = 0; i < s->ic->nb_streams; ++i) {
    const AVStream* st = s->ic->streams[i];
    const AVMediaType type = st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      streams_.push_back({true, static_cast<int>(i)});
      if (s->vs < 0) s->vs = static_cast<int>(i);
    } else if (type == AVMEDIA_TYPE_AUDIO) {
      streams_.push_back({false, static_cast<int>(i)});
    }
  }

  // An index that points outside the file: the file's structure is damaged.
  for (const StreamInfo& si : streams_) {
    AVStream* st = s->ic->streams[si.formatIndex];
    const int n = avformat_index_get_entries_count(st);
    for (int e = 0; e < n; ++e) {
      const AVIndexEntry* entry = avformat_index_get_entry(st, e);
      if (entry && (entry->pos < 0 || entry->pos >= s->fileSize)) {
        streams_.clear();
        return VFW_E_INVALID_FILE_FORMAT;
      }
    }
  }

  still_ = IsStillFormat(s->ic->iformat->name) && s->vs >= 0;
  if (still_) {
    // A picture is its first video stream alone.
    streams_.assign(1, StreamInfo{true, s->vs});
  }
  s->isStill = still_;
  if (still_) {
    // The picture formats are told by the file name alone ("note.jpg" that holds text): a
    // picture counts only when its decoder gives it. The frame is the one every grab shows.
    s->Arm();
    double t = 0;
    FramePtr first = SUCCEEDED(s->OpenDecoder()) ? s->Decode(&t) : nullptr;
    s->Disarm();
    if (!first) {
      streams_.clear();
      still_ = false;
      return VFW_E_UNKNOWN_FILE_TYPE;
    }
    s->current = std::move(first);
    s->currentT = 0;
  }
  s->lengths.assign(streams_.size(), std::numeric_limits<double>::quiet_NaN());
  s->untouched = !still_;
  s_ = std::move(s);
  return S_OK;
}

double MediaReader::FrameRate(size_t i) const {
  if (!s_ || i >= streams_.size() || !streams_[i].video || still_) return 0;
  const AVRational r =
      av_guess_frame_rate(s_->ic, s_->ic->streams[streams_[i].formatIndex], nullptr);
  return r.num > 0 && r.den > 0 ? av_q2d(r) : 0;
}

double MediaReader::Length(size_t i) {
  if (!s_ || i >= streams_.size() || still_) return 0;
  s_->untouched = false;
  if (!std::isnan(s_->lengths[i])) return s_->lengths[i];
  AVFormatContext* ic = s_->ic;
  AVStream* st = ic->streams[streams_[i].formatIndex];
  const double tb = av_q2d(st->time_base);
  double length = 0;
  const bool exact = ic->duration_estimation_method != AVFMT_DURATION_FROM_PTS &&
                     ic->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
  if (exact && st->duration != AV_NOPTS_VALUE && st->duration > 0) {
    length = st->duration * tb;
  } else if (ic->duration_estimation_method == AVFMT_DURATION_FROM_PTS) {
    // Times come from the packets alone: the stream ends where its last picture (or sound
    // packet) ends. Read the tail of the file for the latest time. A video packet lasts one
    // frame when it gives no duration. MPEG streams stamp only some pictures with the time
    // they are shown, but every one with a decoding time: the pictures are shown at their
    // decoding times moved on by the decoder's delay, so the last one shown lies that delay
    // after the last decoding time.
    const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const double frameRate = streams_[i].video ? FrameRate(i) : 0;
    const int64_t frameTs = frameRate > 0 && tb > 0 ? std::llround(1 / (frameRate * tb)) : 0;
    const int64_t delay = streams_[i].video ? std::max(st->codecpar->video_delay, 0) : 0;
    int64_t endTs = AV_NOPTS_VALUE;
    AVPacket* pkt = av_packet_alloc();
    s_->Arm();
    for (int64_t tail : {int64_t{1} << 20, int64_t{8} << 20, s_->fileSize}) {
      const int64_t from = std::max<int64_t>(0, s_->fileSize - tail);
      if (avformat_seek_file(ic, -1, from, from, from, AVSEEK_FLAG_BYTE) < 0) break;
      while (pkt && av_read_frame(ic, pkt) >= 0) {
        if (pkt->stream_index == st->index) {
          const int64_t duration = pkt->duration > 0 ? pkt->duration : frameTs;
          int64_t shown = pkt->pts;
          if (pkt->dts != AV_NOPTS_VALUE && frameTs > 0) {
            const int64_t byDecoding = pkt->dts + delay * duration;
            if (shown == AV_NOPTS_VALUE || byDecoding > shown) shown = byDecoding;
          }
          if (shown != AV_NOPTS_VALUE && (endTs == AV_NOPTS_VALUE || shown + duration > endTs))
            endTs = shown + duration;
        }
        av_packet_unref(pkt);
      }
      if (endTs != AV_NOPTS_VALUE || from == 0) break;
    }
    s_->Disarm();
    av_packet_free(&pkt);
    // The demuxer moved: the next grab seeks before it decodes.
    s_->current.reset();
    s_->pending.reset();
    s_->demuxEnded = true;
    if (endTs != AV_NOPTS_VALUE) {
      length = (endTs - start) * tb;
    } else if (ic->duration != AV_NOPTS_VALUE) {
      length = ic->duration / static_cast<double>(AV_TIME_BASE);
    }
  } else if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
    length = st->duration * tb;
  } else if (ic->duration != AV_NOPTS_VALUE && ic->duration > 0) {
    length = ic->duration / static_cast<double>(AV_TIME_BASE);
  }
  s_->lengths[i] = std::max(0.0, length);
  return s_->lengths[i];
}

HRESULT MediaReader::MediaTypeOf(size_t i, AM_MEDIA_TYPE* mt) const {
  if (!mt) return E_POINTER;
  if (!s_ || i >= streams_.size()) return E_INVALIDARG;
  // The type the stream's splitter pin carries in a filter graph.
  const double rate = FrameRate(i);
  const int64_t frameTime = rate > 0 ? std::llround(UNITS / rate) : 0;
  MediaType type;
  if (!dshow::MediaTypeFromCodec(s_->ic->streams[streams_[i].formatIndex]->codecpar, frameTime,
                                 &type))
    return VFW_E_INVALIDMEDIATYPE;
  return CopyMediaType(mt, &type);
}

size_t MediaReader::BitmapSize(int width, int height) {
  return sizeof(BITMAPINFOHEADER) + static_cast<size_t>(DibStride(width, 24)) * height;
}

HRESULT MediaReader::CheckBitmapSize(int width, int height) {
  if (width < 1 || height < 1) return VFW_E_CANNOT_CONNECT;
  if (width > kMaxSide || height > kMaxSide || int64_t{width} * height > kMaxPixels)
    return E_INVALIDARG;
  return S_OK;
}

MediaReader::Stats MediaReader::DecodingStats() const { return s_ ? s_->stats : Stats{}; }

HRESULT MediaReader::Seek(double seconds) {
  if (!s_) return E_INVALIDARG;
  if (!std::isfinite(seconds) || seconds < 0) return E_INVALIDARG;
  if (s_->vs < 0) return VFW_E_CANNOT_CONNECT;
  s_->untouched = false;
  if (HRESULT hr = s_->OpenDecoder(); FAILED(hr)) return hr;
  const size_t vi = static_cast<size_t>(
      std::find_if(streams_.begin(), streams_.end(), [](const StreamInfo& x) { return x.video; }) -
      streams_.begin());
  const double length = Length(vi);
  const double rate = s_->Rate();
  double t = seconds;
  if (still_) {
    t = 0;
  } else if (rate > 0) {
    // Frame n is the picture at n / rate; the time of a frame is its start, so the frame of a
    // time is found from the frame number. A time less than a thousandth of a frame below a
    // frame's start counts as that frame (n / rate * rate falling short, a rate given rounded).
    double n = std::floor(seconds * rate + 1e-3);
    const double frames = std::round(length * rate);
    if (frames >= 1 && n > frames - 1) n = frames - 1;  // at or beyond the end: the last frame
    t = n / rate;
  } else if (length > 0 && t > length) {
    t = length;
  }
  s_->Arm();
  const HRESULT hr = s_->Position(t, length);
  s_->Disarm();
  return hr;
}

HRESULT MediaReader::GetBitmap(double seconds, int width, int height, uint8_t* out) {
  if (!s_) return E_INVALIDARG;
  if (HRESULT hr = CheckBitmapSize(width, height); FAILED(hr)) return hr;
  if (!out) return E_POINTER;
  if (HRESULT hr = Seek(seconds); FAILED(hr)) return hr;
  const AVFrame* f = s_->current.get();
  if (!f || f->width <= 0 || f->height <= 0) return VFW_E_TIME_EXPIRED;

  bool fullRange = false;
  const AVPixelFormat src = PlainPixelFormat(static_cast<AVPixelFormat>(f->format), &fullRange);
  // At the picture's own size only the colours are converted, which the fast path does exactly;
  // a scaled picture is resampled bicubically.
  const bool sameSize = f->width == width && f->height == height;
  s_->sws = sws_getCachedContext(s_->sws, f->width, f->height, src, width, height, AV_PIX_FMT_BGR24,
                                 sameSize ? SWS_FAST_BILINEAR : SWS_BICUBIC, nullptr, nullptr,
                                 nullptr);
  if (!s_->sws) return E_OUTOFMEMORY;
  if (fullRange) {
    int* inv = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(s_->sws, &inv, &srcRange, &table, &dstRange, &brightness,
                                 &contrast, &saturation) >= 0)
      sws_setColorspaceDetails(s_->sws, inv, 1, table, dstRange, brightness, contrast, saturation);
  }

  const int stride = DibStride(width, 24);
  uint8_t* header = out;
  std::memset(header, 0, sizeof(BITMAPINFOHEADER));
  PutLe32(header + 0, sizeof(BITMAPINFOHEADER));
  PutLe32(header + 4, static_cast<uint32_t>(width));
  PutLe32(header + 8, static_cast<uint32_t>(height));  // positive: rows bottom-up
  PutLe16(header + 12, 1);
  PutLe16(header + 14, 24);
  PutLe32(header + 16, BI_RGB);
  PutLe32(header + 20, static_cast<uint32_t>(stride) * height);
  uint8_t* bits = out + sizeof(BITMAPINFOHEADER);
  if (stride != width * 3) std::memset(bits, 0, static_cast<size_t>(stride) * height);
  const int rowBytes = width * 3;
  const int scaledStride = (rowBytes + 63) / 64 * 64;
  s_->scaled.resize(static_cast<size_t>(scaledStride) * height + 64);
  uint8_t* dst[4] = {s_->scaled.data(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {scaledStride, 0, 0, 0};
  if (sws_scale(s_->sws, f->data, f->linesize, 0, f->height, dst, dstStride) != height)
    return E_FAIL;
  // The top row of the picture is the last row of a bottom-up bitmap.
  for (int y = 0; y < height; ++y)
    std::memcpy(bits + static_cast<size_t>(stride) * (height - 1 - y), s_->scaled.data() + static_cast<size_t>(scaledStride) * y,
                static_cast<size_t>(rowBytes));
  return S_OK;
}

}  // namespace des_detail
