// File source and the splitters on libavformat: "AVI Splitter", the MPEG, QuickTime, wave and
// still-picture splitters, and a general one for the other containers FFmpeg reads.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "internal.h"
#include "shell/files.h"

namespace dshow {

namespace {

struct SplitterKind {
  const char16_t* name;
  CLSID clsid;
  GUID subtype;
};

constexpr GUID MEDIASUBTYPE_GenericContainer = MakeGuid("{6C3D9A53-4E1B-4C8F-9A43-0B5E2D7F1C11}");

const SplitterKind kSplitters[] = {
    {u"AVI Splitter", MakeGuid("{1B544C20-FD0B-11CE-8C63-00AA0044B51E}"), MEDIASUBTYPE_Avi},
    {u"MPEG-I Stream Splitter", MakeGuid("{336475D0-942A-11CE-A870-00AA002FEAB5}"),
     MEDIASUBTYPE_MPEG1System},
    {u"MPEG-I Stream Splitter", MakeGuid("{336475D0-942A-11CE-A870-00AA002FEAB5}"),
     MEDIASUBTYPE_MPEG1Video},
    {u"MPEG-I Stream Splitter", MakeGuid("{336475D0-942A-11CE-A870-00AA002FEAB5}"),
     MEDIASUBTYPE_MPEG1Audio},
    {u"MPEG-2 Splitter", MakeGuid("{3AE86B20-7BE8-11D1-ABE6-00A0C905F375}"),
     MEDIASUBTYPE_MPEG2_PROGRAM},
    {u"QuickTime Movie Parser", MakeGuid("{D51BD5A0-7548-11CF-A520-0080C77EF58A}"),
     MEDIASUBTYPE_QTMovie},
    {u"Wave Parser", MakeGuid("{D51BD5A1-7548-11CF-A520-0080C77EF58A}"), MEDIASUBTYPE_WAVE},
    {u"Still Image Splitter", MakeGuid("{6C3D9A54-4E1B-4C8F-9A43-0B5E2D7F1C11}"),
     MEDIASUBTYPE_StillImage},
    {u"Media Splitter", MakeGuid("{6C3D9A55-4E1B-4C8F-9A43-0B5E2D7F1C11}"),
     MEDIASUBTYPE_GenericContainer},
};

bool IsStillFormat(const char* name) {
  static const char* kStill[] = {"bmp_pipe", "jpeg_pipe", "gif", "png_pipe", "image2",
                                 "gif_pipe", "tiff_pipe", "webp_pipe"};
  for (const char* s : kStill)
    if (std::strcmp(name, s) == 0) return true;
  return false;
}

// The container's subtype; GUID_NULL for formats the platform does not play.
GUID SubtypeOfContainer(const AVFormatContext* ctx) {
  std::string name = ctx->iformat->name;
  if (name == "avi") return MEDIASUBTYPE_Avi;
  if (name == "mpeg" || name == "mpegvideo" || name == "mpegts") {
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
      if (ctx->streams[i]->codecpar->codec_id == AV_CODEC_ID_MPEG2VIDEO)
        return MEDIASUBTYPE_MPEG2_PROGRAM;
    return name == "mpegvideo" ? MEDIASUBTYPE_MPEG1Video : MEDIASUBTYPE_MPEG1System;
  }
  if (name == "mp3") return MEDIASUBTYPE_MPEG1Audio;
  if (name.find("mov") == 0) return MEDIASUBTYPE_QTMovie;
  if (name == "wav") return MEDIASUBTYPE_WAVE;
  if (IsStillFormat(name.c_str())) return MEDIASUBTYPE_StillImage;
  static const char* kOthers[] = {"asf", "matroska,webm", "flv", "ogg", "aiff", "au", "flac", "aac"};
  for (const char* o : kOthers)
    if (name == o) return MEDIASUBTYPE_GenericContainer;
  return GUID_NULL;
}

struct ContainerDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using Container = std::unique_ptr<AVFormatContext, ContainerDeleter>;

// The timing fields of an AVI file's stream headers ('strh' in 'hdrl'), in stream order.
struct AviStreamTiming {
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t sampleSize = 0;
};

uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

std::vector<AviStreamTiming> ReadAviStreamTimings(const std::string& path) {
  std::vector<AviStreamTiming> timings;
  if (!FileExists(path)) return timings;  // never a pipe or a device
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return timings;
  std::vector<uint8_t> b(1 << 20);
  b.resize(std::fread(b.data(), 1, b.size(), f));
  std::fclose(f);
  auto tagAt = [&](size_t at, const char* tag) { return at + 4 <= b.size() && std::memcmp(&b[at], tag, 4) == 0; };
  if (!tagAt(0, "RIFF") || !tagAt(8, "AVI ")) return timings;
  // Walks the chunks of [from, to); calls each(chunk id position, data position, data size).
  auto walk = [&](size_t from, size_t to, const auto& each) {
    for (size_t at = from; at + 8 <= to && at + 8 <= b.size();) {
      const size_t size = Le32At(b, at + 4);
      each(at, at + 8, size);
      if (size > to - at - 8) break;
      at += 8 + size + (size & 1);
    }
  };
  walk(12, b.size(), [&](size_t id, size_t data, size_t size) {
    if (!tagAt(id, "LIST") || !tagAt(data, "hdrl")) return;
    walk(data + 4, std::min(b.size(), data + size), [&](size_t id2, size_t data2, size_t size2) {
      if (!tagAt(id2, "LIST") || !tagAt(data2, "strl")) return;
      walk(data2 + 4, std::min(b.size(), data2 + size2), [&](size_t id3, size_t data3, size_t size3) {
        if (!tagAt(id3, "strh") || size3 < 48 || data3 + 48 > b.size()) return;
        timings.push_back({Le32At(b, data3 + 20), Le32At(b, data3 + 24), Le32At(b, data3 + 44)});
      });
    });
  });
  return timings;
}

HRESULT OpenContainer(const std::string& path, Container* out) {
  std::error_code ec;
  if (path.empty()) return E_INVALIDARG;
  auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() || std::filesystem::is_directory(parent, ec) ? HRESULT_FILE_NOT_FOUND
                                                                        : HRESULT_PATH_NOT_FOUND;
  }
  if (std::filesystem::is_directory(status)) return E_ACCESSDENIED;
  // Pipes and devices are no media files (opening a pipe nobody writes to would wait forever).
  if (!std::filesystem::is_regular_file(status)) return VFW_E_UNKNOWN_FILE_TYPE;
  auto size = std::filesystem::file_size(path, ec);
  if (ec) return E_ACCESSDENIED;
  if (size == 0) return VFW_E_FILE_TOO_SHORT;
  if (::access(path.c_str(), R_OK) != 0) return E_ACCESSDENIED;
  // The path names a local file, whatever it looks like ("name:with colons" is no protocol).
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* raw = nullptr;
  int err = avformat_open_input(&raw, ("file:" + path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (err < 0) {
    if (err == AVERROR_INVALIDDATA) return VFW_E_UNKNOWN_FILE_TYPE;
    return HResultFromAv(err);
  }
  Container ctx(raw);
  if (SubtypeOfContainer(ctx.get()) == GUID_NULL) return VFW_E_UNKNOWN_FILE_TYPE;
  err = avformat_find_stream_info(ctx.get(), nullptr);
  if (err < 0) return VFW_E_INVALID_FILE_FORMAT;
  // An index that points outside the file: the file's structure is damaged.
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    AVStream* st = ctx->streams[i];
    int n = avformat_index_get_entries_count(st);
    for (int e = 0; e < n; ++e) {
      const AVIndexEntry* entry = avformat_index_get_entry(st, e);
      if (entry && (entry->pos < 0 || entry->pos >= static_cast<int64_t>(size))) return VFW_E_INVALID_FILE_FORMAT;
    }
  }
  bool media = false;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    auto* par = ctx->streams[i]->codecpar;
    if ((par->codec_type == AVMEDIA_TYPE_VIDEO && par->width > 0 && par->height > 0) ||
        (par->codec_type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0))
      media = true;
  }
  if (!media) return VFW_E_INVALID_FILE_FORMAT;
  *out = std::move(ctx);
  return S_OK;
}

// The splitter's input: it pulls bytes from the file source itself (no samples are pushed).
class PullInputPin : public InputPin {
 public:
  using InputPin::InputPin;
};

// The file source's output: connects only to a pin that reads the file itself.
class FileOutputPin : public OutputPin {
 public:
  using OutputPin::OutputPin;
  HRESULT CompleteConnect(IPin* peer) override {
    return dynamic_cast<PullInputPin*>(peer) ? S_OK : VFW_E_NO_TRANSPORT;
  }
};

// --- File source ----------------------------------------------------------------------------

class FileSource : public Filter, public IFileSourceFilter, public FileStreamProvider {
 public:
  FileSource() : Filter(u"File Source", CLSID_AsyncReader), out_(this, u"Output") {}
  DSHOW_FORWARD_IUNKNOWN(Filter)

  HRESULT Open(const std::string& path) {
    Container ctx;
    HRESULT hr = OpenContainer(path, &ctx);
    if (FAILED(hr)) return hr;
    MediaType mt;
    mt.majortype = MEDIATYPE_Stream;
    mt.subtype = SubtypeOfContainer(ctx.get());
    mt.formattype = FORMAT_None;
    out_.SetTypes({mt});
    path_ = path;
    name_ = defaultName_ = U16(path);
    std::lock_guard lock(ctxLock_);
    opened_ = std::move(ctx);
    return S_OK;
  }

  int PinCount() override { return 1; }
  Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }

  HRESULT Load(const char16_t* fileName, const AM_MEDIA_TYPE*) override {
    if (!fileName) return E_POINTER;
    if (!path_.empty()) return E_UNEXPECTED;
    return Open(U8(fileName));
  }
  HRESULT GetCurFile(char16_t** fileName, AM_MEDIA_TYPE* pmt) override {
    if (!fileName) return E_POINTER;
    std::u16string s = U16(path_);
    *fileName = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
    if (!*fileName) return E_OUTOFMEMORY;
    std::memcpy(*fileName, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    if (pmt) {
      MediaType mt;
      out_.GetMediaType(0, &mt);
      CopyMediaType(pmt, &mt);
    }
    return S_OK;
  }

  std::string FilePath() const override { return path_; }
  AVFormatContext* TakeOpenedContainer() override {
    std::lock_guard lock(ctxLock_);
    return opened_.release();
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IFileSourceFilter::iid) {
      *ppv = static_cast<IFileSourceFilter*>(this);
    } else {
      return Filter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

 private:
  FileOutputPin out_;
  std::string path_;
  std::mutex ctxLock_;
  Container opened_;
};

// --- Splitter -------------------------------------------------------------------------------

class Splitter : public Filter {
 public:
  Splitter(const SplitterKind& kind)
      : Filter(kind.name, kind.clsid),
        input_(this, u"input pin", [this](const AM_MEDIA_TYPE& mt) { return CheckInput(mt); }),
        kind_(kind) {}

  ~Splitter() override { StopThread(); }

  int PinCount() override {
    std::lock_guard lock(pinsLock_);
    return 1 + static_cast<int>(outputs_.size());
  }
  Pin* GetPin(int i) override {
    if (i == 0) return &input_;
    std::lock_guard lock(pinsLock_);
    if (i < 0 || static_cast<size_t>(i - 1) >= outputs_.size()) return nullptr;
    return outputs_[static_cast<size_t>(i - 1)].pin.get();
  }

  HRESULT CheckInput(const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
    for (const auto& k : kSplitters)
      if (k.clsid == kind_.clsid && k.subtype == mt.subtype) return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
  }

  void PinConnected(Pin* pin) override {
    if (pin != &input_) return;
    // Connection completes here: open the container and make the output pins.
    ComPtr<IPin> peer = input_.Peer();
    PIN_INFO info;
    if (!peer || FAILED(peer->QueryPinInfo(&info))) return;
    ComPtr<IBaseFilter> up = ComPtr<IBaseFilter>::Attach(info.pFilter);
    auto* provider = dynamic_cast<FileStreamProvider*>(up.Get());
    if (!provider) return;
    path_ = provider->FilePath();
    Container ctx(provider->TakeOpenedContainer());
    if (!ctx && FAILED(OpenContainer(path_, &ctx))) return;
    SetContainer(std::move(ctx));
  }

  void PinDisconnected(Pin* pin) override {
    if (pin != &input_) return;
    std::vector<Out> old;
    {
      std::lock_guard lock(pinsLock_);
      old.swap(outputs_);
    }
    for (auto& o : old) {
      ComPtr<IPin> peer = o.pin->Peer();
      if (peer) peer->Disconnect();
      o.pin->Disconnect();
    }
    retired_.insert(retired_.end(), std::make_move_iterator(old.begin()),
                    std::make_move_iterator(old.end()));
    ctx_.reset();
  }

  REFERENCE_TIME SourceDuration() const override { return duration_; }

  HRESULT SetSourcePosition(REFERENCE_TIME t) override {
    position_ = std::max<REFERENCE_TIME>(0, t);
    needSeek_ = true;
    return S_OK;
  }

 protected:
  HRESULT OnPause() override {
    if (thread_.joinable() || !ctx_) return S_OK;
    done_ = false;
    thread_ = std::thread([this] { Stream(); });
    return S_OK;
  }
  HRESULT OnStop() override {
    StopThread();
    needSeek_ = true;
    return S_OK;
  }

 private:
  struct Out {
    std::unique_ptr<OutputPin> pin;
    int stream;
    REFERENCE_TIME lastEnd = 0;
    // For a PCM stream whose header timing is unusable: the packets' timestamps count units of
    // this many bytes, and the format's bytes per second give the time.
    int64_t unitBytes = 0;
    int64_t bytesPerSecond = 0;
  };

  void SetContainer(Container ctx) {
    ctx_ = std::move(ctx);
    bool still = kind_.subtype == MEDIASUBTYPE_StillImage;
    duration_ = 0;
    if (!still && ctx_->duration > 0) duration_ = av_rescale(ctx_->duration, UNITS, AV_TIME_BASE);
    startTime_ = ctx_->start_time != AV_NOPTS_VALUE ? ctx_->start_time : 0;
    std::vector<Out> outs;
    int n = 0;
    // A stream header with a scale or rate of 0 gives no time (the demuxer then makes one up).
    std::vector<AviStreamTiming> aviTimings;
    if (kind_.subtype == MEDIASUBTYPE_Avi) aviTimings = ReadAviStreamTimings(path_);
    if (aviTimings.size() != ctx_->nb_streams) aviTimings.clear();
    bool unusableTiming = false;
    for (unsigned i = 0; i < ctx_->nb_streams; ++i) {
      AVStream* st = ctx_->streams[i];
      st->discard = AVDISCARD_ALL;
      int64_t unitBytes = 0, bytesPerSecond = 0;
      if (!aviTimings.empty() && (aviTimings[i].scale == 0 || aviTimings[i].rate == 0)) {
        unusableTiming = true;
        // Unusable timing: a PCM stream takes it from its format block (sample rate and block
        // align); any other stream is left out of the graph.
        const AVCodecParameters* par = st->codecpar;
        const AVCodecDescriptor* desc = avcodec_descriptor_get(par->codec_id);
        const bool pcm = par->codec_type == AVMEDIA_TYPE_AUDIO && desc && std::strncmp(desc->name, "pcm_", 4) == 0;
        if (!pcm || par->sample_rate <= 0 || par->block_align <= 0 || aviTimings[i].sampleSize == 0) continue;
        unitBytes = aviTimings[i].sampleSize;
        bytesPerSecond = int64_t{par->sample_rate} * par->block_align;
      }
      REFERENCE_TIME frame = 0;
      if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        AVRational r = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        frame = r.num > 0 && r.den > 0 ? av_rescale(UNITS, r.den, r.num) : 400000;
        if (still) frame = 0;
      }
      MediaType mt;
      if (!MediaTypeFromCodec(st->codecpar, frame, &mt)) continue;
      char name[32];
      std::snprintf(name, sizeof name, "Stream %02d", n++);
      Out o{std::make_unique<OutputPin>(this, U16(name)), static_cast<int>(i)};
      o.unitBytes = unitBytes;
      o.bytesPerSecond = bytesPerSecond;
      o.pin->SetTypes({mt});
      o.pin->SetBufferSize(1 << 20);
      outs.push_back(std::move(o));
      if (!still && duration_ == 0 && st->duration > 0 && unitBytes == 0)
        duration_ = av_rescale_q(st->duration, st->time_base, AVRational{1, static_cast<int>(UNITS)});
    }
    if (!still && unusableTiming) {
      // The container's length counted the stream without timing: the streams kept give it.
      REFERENCE_TIME longest = 0;
      for (const Out& o : outs) {
        const AVStream* st = ctx_->streams[o.stream];
        if (st->duration <= 0) continue;
        longest = std::max(longest, o.unitBytes > 0 ? av_rescale(st->duration * o.unitBytes, UNITS, o.bytesPerSecond)
                                                    : av_rescale_q(st->duration, st->time_base,
                                                                   AVRational{1, static_cast<int>(UNITS)}));
      }
      if (longest > 0) duration_ = longest;
    }
    struct stat sb {};
    fileSize_ = ::stat(path_.c_str(), &sb) == 0 ? sb.st_size : -1;
    std::lock_guard lock(pinsLock_);
    outputs_ = std::move(outs);
  }

  void StopThread() {
    if (!thread_.joinable()) return;
    stopRequested_ = true;
    // The streaming thread may be waiting on the window thread: the wait answers it.
    EndStreamingThread(thread_, done_);
    stopRequested_ = false;
  }

  // (The thread starts while the filter is still entering the paused state: the state itself
  // is not looked at, only the requests to stop.)
  bool ShouldStop() const { return stopRequested_ || stopping_; }

  void Stream() {
    StreamLoop();
    done_ = true;
  }

  void StreamLoop() {
    std::vector<Out*> active;
    {
      std::lock_guard lock(pinsLock_);
      for (auto& o : outputs_)
        if (o.pin->IsConnected()) {
          active.push_back(&o);
          ctx_->streams[o.stream]->discard = AVDISCARD_DEFAULT;
          o.lastEnd = 0;
        } else {
          ctx_->streams[o.stream]->discard = AVDISCARD_ALL;
        }
    }
    if (active.empty()) return;
    REFERENCE_TIME segmentStart = position_;
    if (needSeek_) {
      int64_t target = startTime_ + av_rescale(segmentStart, AV_TIME_BASE, UNITS);
      int video = -1;
      for (auto* o : active)
        if (ctx_->streams[o->stream]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video = o->stream;
      if (!SeekBefore(target, video)) {
        // Containers that cannot seek (single pictures) are read again from the start.
        Container again;
        if (SUCCEEDED(OpenContainer(path_, &again))) {
          for (unsigned i = 0; i < again->nb_streams && i < ctx_->nb_streams; ++i)
            again->streams[i]->discard = ctx_->streams[i]->discard;
          ctx_ = std::move(again);
        }
      }
      needSeek_ = false;
    }
    for (auto* o : active) o->pin->DeliverNewSegment(segmentStart, duration_, 1.0);
    AVPacket* pkt = av_packet_alloc();
    std::vector<bool> ended(active.size(), false);
    HRESULT failure = S_OK;
    size_t open = active.size();
    while (!ShouldStop() && open > 0) {
      int err = av_read_frame(ctx_.get(), pkt);
      if (err == AVERROR(EAGAIN)) continue;
      if (err < 0) {
        if (err != AVERROR_EOF) {
          failure = HResultFromAv(err);
        } else if (fileSize_ >= 0) {
          struct stat sb {};
          if (::stat(path_.c_str(), &sb) != 0 || sb.st_size < fileSize_) failure = VFW_E_FILE_TOO_SHORT;
        }
        break;
      }
      size_t idx = active.size();
      for (size_t i = 0; i < active.size(); ++i)
        if (active[i]->stream == pkt->stream_index) idx = i;
      if (idx == active.size() || ended[idx]) {
        av_packet_unref(pkt);
        continue;
      }
      Out* o = active[idx];
      AVStream* st = ctx_->streams[o->stream];
      IMediaSample* sample = nullptr;
      HRESULT hr = o->pin->GetDeliveryBuffer(pkt->size, &sample);
      if (FAILED(hr)) {
        av_packet_unref(pkt);
        if (ShouldStop()) break;
        failure = hr;
        break;
      }
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      std::memcpy(data, pkt->data, static_cast<size_t>(pkt->size));
      sample->SetActualDataLength(pkt->size);
      // A picture without a presentation time (MPEG program streams stamp only some) is not
      // shown at its decoding time: in a stream with B-frames a reference picture is decoded
      // pictures ahead of its showing. It travels without a time, and the decoder gives it the
      // time after the picture it follows.
      // An AVI file has no presentation times: every chunk holds one frame's place, in decoding
      // order. Its pictures carry the time of their chunk, and a decoder whose pictures come out
      // in another order gives them out in the order they are shown.
      const bool video = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
      const bool avi = kind_.subtype == MEDIASUBTYPE_Avi;
      const bool untimed =
          video && pkt->pts == AV_NOPTS_VALUE && kind_.subtype != MEDIASUBTYPE_StillImage && !avi;
      int64_t ts = pkt->pts != AV_NOPTS_VALUE && !(avi && video) ? pkt->pts : pkt->dts;
      if (ts == AV_NOPTS_VALUE) ts = pkt->pts;
      REFERENCE_TIME start = o->lastEnd;
      if (ts != AV_NOPTS_VALUE) {
        int64_t base = av_rescale_q(startTime_, AVRational{1, AV_TIME_BASE}, st->time_base);
        start = av_rescale_q(ts - base, st->time_base, AVRational{1, static_cast<int>(UNITS)}) -
                segmentStart;
      }
      REFERENCE_TIME dur = pkt->duration > 0
                               ? av_rescale_q(pkt->duration, st->time_base,
                                              AVRational{1, static_cast<int>(UNITS)})
                               : 1;
      if (o->unitBytes > 0) {
        // Timing from the format block: the timestamp counts units of the stream's sample size.
        start = o->lastEnd;
        if (ts != AV_NOPTS_VALUE) {
          start = av_rescale(ts * o->unitBytes, UNITS, o->bytesPerSecond) -
                  av_rescale(startTime_, UNITS, AV_TIME_BASE) - segmentStart;
        }
        dur = av_rescale(pkt->size, UNITS, o->bytesPerSecond);
      }
      REFERENCE_TIME stop = start + std::max<REFERENCE_TIME>(dur, 1);
      bool still = kind_.subtype == MEDIASUBTYPE_StillImage;
      if (still) {
        // A picture is one frame of no duration (an animated picture gives its first frame).
        start = 0;
        stop = 1;
      }
      o->lastEnd = stop;
      if (untimed) {
        sample->SetTime(nullptr, nullptr);
      } else {
        sample->SetTime(&start, &stop);
      }
      sample->SetSyncPoint((pkt->flags & AV_PKT_FLAG_KEY) != 0);
      sample->SetPreroll(!untimed && stop <= 0);
      av_packet_unref(pkt);
      hr = o->pin->Deliver(sample);
      sample->Release();
      if (hr == S_FALSE || (still && SUCCEEDED(hr))) {
        ended[idx] = true;
        --open;
        o->pin->DeliverEndOfStream();
      } else if (FAILED(hr)) {
        if (ShouldStop() || hr == VFW_E_WRONG_STATE) break;
        failure = hr;
        break;
      }
    }
    av_packet_free(&pkt);
    if (ShouldStop()) return;
    if (FAILED(failure)) {
      NotifyEvent(EC_ERRORABORT, failure, 0);
      return;
    }
    for (size_t i = 0; i < active.size(); ++i)
      if (!ended[i]) active[i]->pin->DeliverEndOfStream();
  }

  // Seeks to the last place at or before target (AV_TIME_BASE units); false when the container
  // cannot seek. MPEG program and transport streams are searched by their packets' times, not
  // by key frames: the place found can lie inside a group of pictures, whose pictures lack
  // their references there. For them the search goes further back until the first picture of
  // the given video stream (-1: none) is a key frame, or the file's start is reached.
  bool SeekBefore(int64_t target, int video) {
    const bool mpeg = kind_.subtype == MEDIASUBTYPE_MPEG1System || kind_.subtype == MEDIASUBTYPE_MPEG1Video ||
                      kind_.subtype == MEDIASUBTYPE_MPEG2_PROGRAM;
    AVPacket* pkt = av_packet_alloc();
    bool sought = false;
    int64_t found = target;  // the last place sought
    for (int64_t back = 0; pkt; back = back ? back * 2 : AV_TIME_BASE / 2) {
      const int64_t at = std::max(target - back, startTime_);
      if (av_seek_frame(ctx_.get(), -1, at, AVSEEK_FLAG_BACKWARD) < 0) {
        // No place further back: the one found before it is.
        if (sought) av_seek_frame(ctx_.get(), -1, found, AVSEEK_FLAG_BACKWARD);
        break;
      }
      sought = true;
      found = at;
      if (!mpeg || video < 0 || at <= startTime_) break;
      bool key = true;
      while (!ShouldStop() && av_read_frame(ctx_.get(), pkt) >= 0) {
        const bool mine = pkt->stream_index == video;
        key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(pkt);
        if (mine) break;
      }
      if (key || ShouldStop()) {
        // Back to the place found (the same search finds it again).
        av_seek_frame(ctx_.get(), -1, at, AVSEEK_FLAG_BACKWARD);
        break;
      }
    }
    av_packet_free(&pkt);
    return sought;
  }

  PullInputPin input_;
  SplitterKind kind_;
  std::mutex pinsLock_;
  std::vector<Out> outputs_;
  std::vector<Out> retired_;  // pins handed out before a disconnection stay valid
  Container ctx_;
  std::string path_;
  REFERENCE_TIME duration_ = -1;
  int64_t startTime_ = 0;
  int64_t fileSize_ = -1;
  std::atomic<REFERENCE_TIME> position_{0};
  std::atomic<bool> needSeek_{false};
  std::thread thread_;
  std::atomic<bool> done_{true};
  std::atomic<bool> stopRequested_{false};
};

}  // namespace

HRESULT CreateFileSource(const std::string& path, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  auto src = MakeComObject<FileSource>();
  HRESULT hr = src->Open(path);
  if (FAILED(hr)) return hr;
  *filter = src.Detach();
  return S_OK;
}

void RegisterSourceFilters() {
  std::vector<CLSID> done;
  for (const auto& k : kSplitters) {
    if (std::find(done.begin(), done.end(), k.clsid) != done.end()) continue;
    done.push_back(k.clsid);
    FilterTemplate t;
    t.name = k.name;
    t.clsid = k.clsid;
    t.category = CLSID_LegacyAmFilterCategory;
    t.merit = MERIT_NORMAL;
    for (const auto& other : kSplitters)
      if (other.clsid == k.clsid) t.inputs.push_back({MEDIATYPE_Stream, other.subtype});
    SplitterKind kind = k;
    t.create = [kind](IBaseFilter** out) -> HRESULT {
      *out = MakeComObject<Splitter>(kind).Detach();
      return S_OK;
    };
    AddSystemTemplate(std::move(t));
  }
  FilterTemplate src;
  src.name = u"File Source (Async.)";
  src.clsid = CLSID_AsyncReader;
  src.category = CLSID_LegacyAmFilterCategory;
  src.merit = MERIT_UNLIKELY;
  src.autoConnect = false;
  src.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<FileSource>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(src));
}

}  // namespace dshow
