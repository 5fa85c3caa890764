// The encoding engine on libavformat, libavcodec, libswscale and libswresample.
#include "engine.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include "core/error.h"
#include "shell/files.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace wmenc {

namespace {

struct InputCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

InputPtr OpenInput(const std::string& path) {
  // Only regular files are sources: opening a pipe nobody writes to, or reading a device, would
  // never end.
  if (!FileExists(path)) return nullptr;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return nullptr;
  InputPtr in(raw);
  if (avformat_find_stream_info(in.get(), nullptr) < 0) return nullptr;
  return in;
}

CodecPtr OpenDecoder(AVStream* st) {
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return nullptr;
  CodecPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0) return nullptr;
  ctx->pkt_timebase = st->time_base;
  if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ctx->thread_count = 0;  // as many as fit
  if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
  return ctx;
}

// The stream of the type FFmpeg can decode, or -1.
int DecodableStream(AVFormatContext* in, AVMediaType type) {
  const AVCodec* dec = nullptr;
  int index = av_find_best_stream(in, type, -1, -1, &dec, 0);
  if (index < 0 || !dec) return -1;
  if (type == AVMEDIA_TYPE_VIDEO && (in->streams[index]->codecpar->width <= 0)) return -1;
  return index;
}

}  // namespace

SourceInfo InspectSource(const std::string& path) {
  SourceInfo info;
  InputPtr in = OpenInput(path);
  if (!in) {
    // A readable file FFmpeg does not know holds no sources; one that cannot be opened at all
    // is not readable.
    FILE* f = FileExists(path) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (f) {
      std::fclose(f);
      info.readable = true;
    }
    return info;
  }
  info.readable = true;
  info.video = DecodableStream(in.get(), AVMEDIA_TYPE_VIDEO) >= 0 ? 1 : 0;
  info.audio = DecodableStream(in.get(), AVMEDIA_TYPE_AUDIO) >= 0 ? 1 : 0;
  if (in->duration > 0) info.seconds = static_cast<double>(in->duration) / AV_TIME_BASE;
  return info;
}

// Everything one encoding holds, released in the right order by its destructor.
struct EncodeState {
  Run& run;
  const Job& job;
  InputPtr in;
  AVFormatContext* out = nullptr;
  int vIn = -1, aIn = -1;
  CodecPtr vDec, aDec, vEnc, aEnc;
  AVStream* vSt = nullptr;
  AVStream* aSt = nullptr;
  SwsContext* sws = nullptr;
  SwrContext* swr = nullptr;
  AVAudioFifo* fifo = nullptr;
  FramePtr pending;  // the last picture, scaled, waiting for its output slots
  int64_t nextOut = 0;
  // Picture times count from the first decoded picture (origin), in the input stream's time base;
  // lastPts is the last picture's time on that count.
  int64_t origin = AV_NOPTS_VALUE;
  int64_t lastPts = AV_NOPTS_VALUE, lastDuration = 0;
  int64_t samplesOut = 0;
  int64_t aStart = 0;
  bool anyVideo = false, anyAudio = false;
  bool stopped = false;  // a stop ended the reading before the end of the source
  PacketPtr pkt{av_packet_alloc()};
  FramePtr frame{av_frame_alloc()};

  EncodeState(Run& r, const Job& j) : run(r), job(j) {}
  ~EncodeState() {
    sws_freeContext(sws);
    swr_free(&swr);
    if (fifo) av_audio_fifo_free(fifo);
    if (out) {
      if (out->pb) avio_closep(&out->pb);
      avformat_free_context(out);
    }
  }

  HRESULT WritePackets(AVCodecContext* enc, AVStream* st, const AVFrame* f) {
    if (avcodec_send_frame(enc, f) < 0) return WMENC_E_WRITE_FAILED;
    PacketPtr p(av_packet_alloc());
    for (;;) {
      int r = avcodec_receive_packet(enc, p.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
      if (r < 0) return WMENC_E_WRITE_FAILED;
      av_packet_rescale_ts(p.get(), enc->time_base, st->time_base);
      p->stream_index = st->index;
      if (av_interleaved_write_frame(out, p.get()) < 0) return WMENC_E_WRITE_FAILED;
    }
    if (out->pb && out->pb->error < 0) return WMENC_E_WRITE_FAILED;
    UpdateStats();
    return S_OK;
  }

  void UpdateStats() {
    std::lock_guard lock(run.m_);
    double v = vEnc ? static_cast<double>(nextOut) / job.profile.fps : 0;
    double a = aEnc ? static_cast<double>(samplesOut) / job.profile.sampleRate : 0;
    run.stats_.encodedSeconds = std::max(v, a);
    run.stats_.videoFrames = vEnc ? nextOut : 0;
    run.stats_.audioFrames = aEnc ? aEnc->frame_number : 0;
    // The muxer goes back to rewrite its header at the end: the furthest position is the size.
    if (out && out->pb) run.stats_.bytes = std::max<int64_t>(run.stats_.bytes, avio_tell(out->pb));
  }

  // Emits the pending picture into every output slot that starts before `until` (in the input
  // stream's time base): each output frame shows the latest picture shown at its start.
  HRESULT FillSlotsBefore(int64_t until, AVRational tb) {
    if (!pending) return S_OK;
    const AVRational outTb{1, job.profile.fps};
    while (av_compare_ts(nextOut, outTb, until, tb) < 0) {
      pending->pts = nextOut++;
      if (HRESULT hr = WritePackets(vEnc.get(), vSt, pending.get()); FAILED(hr)) return hr;
    }
    return S_OK;
  }

  // One frame of the input stream, in its time base (its average rate, else the last picture's
  // duration), at least 1.
  int64_t FrameStep() const {
    if (lastDuration > 0) return lastDuration;
    AVStream* st = in->streams[vIn];
    int64_t step = 0;
    if (st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
      step = av_rescale_q(1, av_inv_q(st->avg_frame_rate), st->time_base);
    return std::max<int64_t>(step, 1);
  }

  // The picture's time on the count from the first picture. Every decoded picture gets a time
  // later than the one before, so each takes its own output slot in decoding order: a picture
  // without a time stamp (the last ones of an MPEG program stream), or with one that does not
  // move on (B-frame movies in AVI), follows the last one by a frame.
  int64_t PictureTime(const AVFrame* f) {
    int64_t stamp = f->best_effort_timestamp;
    if (stamp == AV_NOPTS_VALUE) stamp = f->pts;
    if (origin == AV_NOPTS_VALUE) {
      origin = stamp == AV_NOPTS_VALUE ? 0 : stamp;
      return 0;
    }
    const int64_t next = lastPts + FrameStep();
    if (stamp == AV_NOPTS_VALUE) return next;
    const int64_t time = stamp - origin;
    return time > lastPts ? time : next;
  }

  HRESULT TakePicture(AVFrame* f) {
    AVStream* st = in->streams[vIn];
    const int64_t pts = PictureTime(f);
    if (HRESULT hr = FillSlotsBefore(pts, st->time_base); FAILED(hr)) return hr;
    if (lastPts != AV_NOPTS_VALUE && pts > lastPts) lastDuration = pts - lastPts;
    lastPts = pts;
    sws = sws_getCachedContext(sws, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                               vEnc->width, vEnc->height, vEnc->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                               nullptr);
    if (!sws) return WMENC_E_DECODE_FAILED;
    FramePtr scaled(av_frame_alloc());
    scaled->format = vEnc->pix_fmt;
    scaled->width = vEnc->width;
    scaled->height = vEnc->height;
    if (av_frame_get_buffer(scaled.get(), 0) < 0) return E_OUTOFMEMORY;
    sws_scale(sws, f->data, f->linesize, 0, f->height, scaled->data, scaled->linesize);
    pending = std::move(scaled);
    anyVideo = true;
    return S_OK;
  }

  HRESULT DrainAudio(bool final) {
    const int size = aEnc->frame_size > 0 ? aEnc->frame_size : 2048;
    while (av_audio_fifo_size(fifo) >= size || (final && av_audio_fifo_size(fifo) > 0)) {
      FramePtr out(av_frame_alloc());
      out->nb_samples = size;
      out->format = aEnc->sample_fmt;
      out->sample_rate = aEnc->sample_rate;
      av_channel_layout_copy(&out->ch_layout, &aEnc->ch_layout);
      if (av_frame_get_buffer(out.get(), 0) < 0) return E_OUTOFMEMORY;
      av_samples_set_silence(out->extended_data, 0, size, aEnc->ch_layout.nb_channels, aEnc->sample_fmt);
      av_audio_fifo_read(fifo, reinterpret_cast<void**>(out->extended_data), size);
      out->pts = samplesOut;
      samplesOut += size;
      if (HRESULT hr = WritePackets(aEnc.get(), aSt, out.get()); FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT TakeSound(AVFrame* f) {
    if (!swr) {
      if (swr_alloc_set_opts2(&swr, &aEnc->ch_layout, aEnc->sample_fmt, aEnc->sample_rate, &f->ch_layout,
                              static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
          swr_init(swr) < 0)
        return WMENC_E_DECODE_FAILED;
    }
    int room = swr_get_out_samples(swr, f->nb_samples);
    FramePtr conv(av_frame_alloc());
    conv->nb_samples = room;
    conv->format = aEnc->sample_fmt;
    av_channel_layout_copy(&conv->ch_layout, &aEnc->ch_layout);
    conv->sample_rate = aEnc->sample_rate;
    if (av_frame_get_buffer(conv.get(), 0) < 0) return E_OUTOFMEMORY;
    int got = swr_convert(swr, conv->extended_data, room, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (got < 0) return WMENC_E_DECODE_FAILED;
    av_audio_fifo_write(fifo, reinterpret_cast<void**>(conv->extended_data), got);
    anyAudio = true;
    return DrainAudio(false);
  }

  HRESULT Decode(AVCodecContext* dec, const AVPacket* p, bool video) {
    if (avcodec_send_packet(dec, p) < 0 && p) return S_OK;  // a damaged packet costs only itself
    for (;;) {
      int r = avcodec_receive_frame(dec, frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return S_OK;
      if (r < 0) return S_OK;
      HRESULT hr = video ? TakePicture(frame.get()) : TakeSound(frame.get());
      av_frame_unref(frame.get());
      if (FAILED(hr)) return hr;
    }
  }

  HRESULT OpenEncoders() {
    const Profile& pr = job.profile;
    if (job.useVideo) {
      const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
      if (!codec) return WMENC_E_CODEC_MISSING;
      vEnc.reset(avcodec_alloc_context3(codec));
      vEnc->width = pr.width;
      vEnc->height = pr.height;
      vEnc->time_base = AVRational{1, pr.fps};
      vEnc->framerate = AVRational{pr.fps, 1};
      vEnc->pix_fmt = AV_PIX_FMT_YUV420P;
      vEnc->bit_rate = pr.videoBitrate;
      vEnc->gop_size = 5 * pr.fps;  // a key frame every 5 s
      vEnc->max_b_frames = 0;
      if (out->oformat->flags & AVFMT_GLOBALHEADER) vEnc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (avcodec_open2(vEnc.get(), codec, nullptr) < 0) return WMENC_E_CODEC_MISSING;
      vSt = avformat_new_stream(out, nullptr);
      avcodec_parameters_from_context(vSt->codecpar, vEnc.get());
      vSt->time_base = vEnc->time_base;
      vSt->avg_frame_rate = vEnc->framerate;
    }
    if (job.useAudio) {
      const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
      if (!codec) return WMENC_E_CODEC_MISSING;
      aEnc.reset(avcodec_alloc_context3(codec));
      aEnc->sample_fmt = AV_SAMPLE_FMT_FLTP;
      aEnc->sample_rate = pr.sampleRate;
      av_channel_layout_default(&aEnc->ch_layout, pr.channels);
      aEnc->bit_rate = pr.audioBitrate;
      aEnc->time_base = AVRational{1, pr.sampleRate};
      if (out->oformat->flags & AVFMT_GLOBALHEADER) aEnc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      if (avcodec_open2(aEnc.get(), codec, nullptr) < 0) return WMENC_E_CODEC_MISSING;
      aSt = avformat_new_stream(out, nullptr);
      avcodec_parameters_from_context(aSt->codecpar, aEnc.get());
      aSt->time_base = aEnc->time_base;
      fifo = av_audio_fifo_alloc(aEnc->sample_fmt, pr.channels, 4096);
    }
    return S_OK;
  }

  HRESULT Encode() {
    in = OpenInput(job.source);
    if (!in) return WMENC_E_DECODE_FAILED;
    if (job.useVideo) {
      vIn = DecodableStream(in.get(), AVMEDIA_TYPE_VIDEO);
      if (vIn >= 0) vDec = OpenDecoder(in->streams[vIn]);
      if (!vDec) return WMENC_E_DECODE_FAILED;
    }
    if (job.useAudio) {
      aIn = DecodableStream(in.get(), AVMEDIA_TYPE_AUDIO);
      if (aIn >= 0) aDec = OpenDecoder(in->streams[aIn]);
      if (!aDec) return WMENC_E_DECODE_FAILED;
      aStart = in->streams[aIn]->start_time == AV_NOPTS_VALUE ? 0 : in->streams[aIn]->start_time;
    }
    if (in->duration > 0) {
      std::lock_guard lock(run.m_);
      run.stats_.sourceSeconds = static_cast<double>(in->duration) / AV_TIME_BASE;
    }
    if (avformat_alloc_output_context2(&out, nullptr, "asf", job.temp.c_str()) < 0 || !out)
      return WMENC_E_WRITE_FAILED;
    if (HRESULT hr = OpenEncoders(); FAILED(hr)) return hr;
    const std::pair<const char*, const std::string*> tags[] = {
        {"title", &job.title}, {"author", &job.author}, {"copyright", &job.copyright},
        {"comment", &job.description}};
    for (auto& [key, value] : tags)
      if (!value->empty()) av_dict_set(&out->metadata, key, value->c_str(), 0);
    // Opened again through the file the encoder made, never through a link planted at its name.
    try {
      CreatedFile held(job.temp);
      if (avio_open(&out->pb, held.Name().c_str(), AVIO_FLAG_WRITE) < 0) return WMENC_E_OUTPUT_FOLDER;
    } catch (const VBError&) {
      return WMENC_E_OUTPUT_FOLDER;
    }
    if (avformat_write_header(out, nullptr) < 0) return WMENC_E_WRITE_FAILED;

    // A stop is honoured once every stream has something to show, so the file is never empty.
    auto stopNow = [&] { return run.stop_ && (!vEnc || anyVideo) && (!aEnc || anyAudio); };
    while (!stopNow()) {
      int r = av_read_frame(in.get(), pkt.get());
      // Only the end of the source ends the reading; any other failure fails the run.
      if (r == AVERROR_EOF) break;
      if (r == AVERROR(EAGAIN)) continue;
      if (r < 0) return WMENC_E_READ_FAILED;
      HRESULT hr = S_OK;
      if (pkt->stream_index == vIn && vDec) hr = Decode(vDec.get(), pkt.get(), true);
      else if (pkt->stream_index == aIn && aDec) hr = Decode(aDec.get(), pkt.get(), false);
      av_packet_unref(pkt.get());
      if (FAILED(hr)) return hr;
    }
    stopped = stopNow();
    if (!stopped) {
      if (vDec) Decode(vDec.get(), nullptr, true);
      if (aDec) Decode(aDec.get(), nullptr, false);
    }
    if (vEnc) {
      if (!anyVideo) return WMENC_E_DECODE_FAILED;
      if (!stopped || nextOut == 0) {
        // The last picture lasts one frame of its own stream, at least one output slot.
        if (HRESULT hr = FillSlotsBefore(lastPts + FrameStep(), in->streams[vIn]->time_base); FAILED(hr))
          return hr;
        if (nextOut == 0) {
          pending->pts = nextOut++;
          if (HRESULT hr = WritePackets(vEnc.get(), vSt, pending.get()); FAILED(hr)) return hr;
        }
      }
      if (HRESULT hr = WritePackets(vEnc.get(), vSt, nullptr); FAILED(hr)) return hr;
    }
    if (aEnc) {
      if (!anyAudio && !stopped) return WMENC_E_DECODE_FAILED;
      if (swr && !stopped) {
        FramePtr tail(av_frame_alloc());
        tail->nb_samples = 4096;
        tail->format = aEnc->sample_fmt;
        av_channel_layout_copy(&tail->ch_layout, &aEnc->ch_layout);
        if (av_frame_get_buffer(tail.get(), 0) >= 0) {
          int got = swr_convert(swr, tail->extended_data, 4096, nullptr, 0);
          if (got > 0) av_audio_fifo_write(fifo, reinterpret_cast<void**>(tail->extended_data), got);
        }
      }
      if (HRESULT hr = DrainAudio(true); FAILED(hr)) return hr;
      if (HRESULT hr = WritePackets(aEnc.get(), aSt, nullptr); FAILED(hr)) return hr;
    }
    if (av_write_trailer(out) < 0) return WMENC_E_WRITE_FAILED;
    UpdateStats();
    if (avio_closep(&out->pb) < 0) return WMENC_E_WRITE_FAILED;
    return S_OK;
  }
};

Run::Run(Job job, std::function<void(HRESULT)> done) : job_(std::move(job)), done_(std::move(done)) {
  std::lock_guard lock(m_);
  stats_.videoBitrate = job_.useVideo ? job_.profile.videoBitrate : 0;
  stats_.audioBitrate = job_.useAudio ? job_.profile.audioBitrate : 0;
}

Run::~Run() {
  stop_ = true;
  Join();
}

void Run::Start() {
  thread_ = std::thread([this] {
    bool stopped = false;
    HRESULT hr = Encode(&stopped);
    if (SUCCEEDED(hr)) hr = Deliver(stopped);
    if (FAILED(hr)) std::remove(job_.temp.c_str());
    done_(hr);
  });
}

void Run::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

WMEncStatistics Run::Statistics() const {
  std::lock_guard lock(m_);
  return stats_;
}

HRESULT Run::Encode(bool* stopped) {
  HRESULT hr;
  {
    EncodeState state(*this, job_);
    hr = state.Encode();
    *stopped = state.stopped;
  }
  return hr;
}

// A whole file takes the target's name. A stopped run's shorter file takes it only where no
// file of that name exists: an older file there stays as it was and the partial one goes.
HRESULT Run::Deliver(bool stopped) {
  if (!stopped) return std::rename(job_.temp.c_str(), job_.target.c_str()) == 0 ? S_OK : WMENC_E_WRITE_FAILED;
  if (renameat2(AT_FDCWD, job_.temp.c_str(), AT_FDCWD, job_.target.c_str(), RENAME_NOREPLACE) == 0) return S_OK;
  if (errno == EINVAL || errno == ENOSYS) {  // a file system without the exclusive rename
    struct stat st {};
    if (lstat(job_.target.c_str(), &st) != 0 && errno == ENOENT)
      return std::rename(job_.temp.c_str(), job_.target.c_str()) == 0 ? S_OK : WMENC_E_WRITE_FAILED;
  } else if (errno != EEXIST) {
    return WMENC_E_WRITE_FAILED;
  }
  std::remove(job_.temp.c_str());
  return S_OK;
}

}  // namespace wmenc
