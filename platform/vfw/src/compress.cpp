// Compressed streams: the source stream decoded in order and coded by the platform's compressor
// of the chosen FOURCC (the very filter the filter graphs use, with its settings), or written as
// full frames (upright 24-bit BI_RGB).
#include <algorithm>
#include <cctype>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include "com/com.h"
#include "dshow/baseclasses.h"
#include "dshow/encoders.h"
#include "dshow/avbridge.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "vfw_internal.h"

namespace vfw_detail {

namespace {

constexpr CLSID kFeederClsid = MakeGuid("{5B0E7C31-9A42-4D8E-B6F1-2C7A9E3D0F64}");
constexpr CLSID kCollectorClsid = MakeGuid("{8E2D4A67-1C5B-4F93-A0E8-7B3C6D2F1A95}");

// Hands the decoded pictures to the compressor's input.
class Feeder : public dshow::Filter {
 public:
  Feeder() : Filter(u"AVIFile source", kFeederClsid), out_(this, u"Output") {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int index) override { return index == 0 ? &out_ : nullptr; }
  dshow::OutputPin& Out() { return out_; }

 private:
  dshow::OutputPin out_;
};

// Collects the compressor's coded frames, in order.
class Collector : public dshow::Filter {
 public:
  Collector()
      : Filter(u"AVIFile collector", kCollectorClsid),
        in_(this, u"In", [](const AM_MEDIA_TYPE& mt) {
          return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int index) override { return index == 0 ? &in_ : nullptr; }
  dshow::Pin& In() { return in_; }

  HRESULT Receive(dshow::Pin*, IMediaSample* sample) override {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    Packet p;
    p.data.assign(data, data + sample->GetActualDataLength());
    p.key = sample->IsSyncPoint() == S_OK;
    packets.push_back(std::move(p));
    return S_OK;
  }

  std::deque<Packet> packets;

 private:
  dshow::InputPin in_;
};

ComPtr<IPin> PinOf(IBaseFilter* f, const char16_t* name) {
  ComPtr<IPin> pin;
  f->FindPin(name, pin.put());
  return pin;
}

// The picture type the compressor is fed: 24-bit RGB rows top-down, or planar 4:2:0.
MediaType InputType(int width, int height, bool planar, REFERENCE_TIME frameTime) {
  MediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = planar ? MEDIASUBTYPE_IYUV : MEDIASUBTYPE_RGB24;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = true;
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(SetFormatBuffer(mt, sizeof(VIDEOINFOHEADER)));
  vih->AvgTimePerFrame = frameTime;
  vih->rcSource = RECT{0, 0, width, height};
  vih->rcTarget = vih->rcSource;
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = planar ? height : -height;
  vih->bmiHeader.biBitCount = planar ? 12 : 24;
  vih->bmiHeader.biCompression = planar ? MEDIASUBTYPE_IYUV.Data1 : BI_RGB;
  vih->bmiHeader.biSizeImage = planar
      ? static_cast<uint32_t>(av_image_get_buffer_size(AV_PIX_FMT_YUV420P, width, height, 1))
      : static_cast<uint32_t>(RgbStride(width) * height);
  mt.lSampleSize = vih->bmiHeader.biSizeImage;
  return mt;
}

// Feeder → compressor → collector, driven on the calling thread.
class Chain {
 public:
  explicit Chain(IBaseFilter* compressor) : compressor_(compressor) {}
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  ~Chain() { Stop(); }

  // Connects and starts the three; AVIERR_CANTCOMPRESS when the compressor takes no such input.
  HRESULT Start(const MediaType& input) {
    feeder_->Out().SetTypes({input});
    feeder_->Out().SetBufferSize(static_cast<LONG>(input.lSampleSize));
    ComPtr<IPin> compIn = PinOf(compressor_.Get(), u"XForm In");
    ComPtr<IPin> compOut = PinOf(compressor_.Get(), u"XForm Out");
    if (!compIn || !compOut) return AVIERR_INTERNAL;
    if (FAILED(feeder_->Out().Connect(compIn.Get(), &input))) return AVIERR_CANTCOMPRESS;
    if (FAILED(compOut->Connect(&collector_->In(), nullptr))) return AVIERR_CANTCOMPRESS;
    if (FAILED(collector_->Pause()) || FAILED(compressor_->Pause()) || FAILED(feeder_->Pause()))
      return AVIERR_INTERNAL;
    running_ = true;
    return AVIERR_OK;
  }

  // The coded format (connection type of the compressor's output).
  MediaType OutputType() { return collector_->In().CurrentType(); }

  HRESULT Push(const uint8_t* data, size_t size, REFERENCE_TIME start, REFERENCE_TIME stop) {
    return Push(size, start, stop, [&](uint8_t* buffer) {
      std::memcpy(buffer, data, size);
      return true;
    });
  }

  // A sample of size bytes that fill writes straight into the delivery buffer.
  template <class Fill>
  HRESULT Push(size_t size, REFERENCE_TIME start, REFERENCE_TIME stop, Fill&& fill) {
    IMediaSample* sample = nullptr;
    HRESULT hr = feeder_->Out().GetDeliveryBuffer(static_cast<LONG>(size), &sample);
    if (FAILED(hr)) return AVIERR_MEMORY;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    if (!fill(buffer)) {
      sample->Release();
      return AVIERR_INTERNAL;
    }
    sample->SetActualDataLength(static_cast<LONG>(size));
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(true);
    hr = feeder_->Out().Deliver(sample);
    sample->Release();
    if (hr == VFW_E_UNSUPPORTED_VIDEO) return AVIERR_CANTCOMPRESS;
    return FAILED(hr) ? AVIERR_COMPRESSOR : AVIERR_OK;
  }

  void EndOfStream() { feeder_->Out().DeliverEndOfStream(); }

  std::deque<Packet>& Packets() { return collector_->packets; }

  void Stop() {
    if (running_) {
      feeder_->Stop();
      compressor_->Stop();
      collector_->Stop();
      running_ = false;
    }
    if (feeder_->Out().IsConnected()) {
      ComPtr<IPin> peer = feeder_->Out().Peer();
      feeder_->Out().Disconnect();
      if (peer) peer->Disconnect();
    }
    if (collector_->In().IsConnected()) {
      ComPtr<IPin> peer = collector_->In().Peer();
      collector_->In().Disconnect();
      if (peer) peer->Disconnect();
    }
  }

 private:
  ComPtr<IBaseFilter> compressor_;
  ComPtr<Feeder> feeder_ = MakeComObject<Feeder>();
  ComPtr<Collector> collector_ = MakeComObject<Collector>();
  bool running_ = false;
};

// 100 ns units of one frame at rate / scale.
REFERENCE_TIME FrameTime(const AVISTREAMINFO& info) {
  if (!info.dwRate || !info.dwScale) return 400000;
  return static_cast<REFERENCE_TIME>(10000000.0 * info.dwScale / info.dwRate + 0.5);
}

// Full frames: every decoded picture as a bottom-up 24-bit DIB.
class FullFrameSource : public PacketSource {
 public:
  FullFrameSource(std::string path, StreamEntry entry) : path_(std::move(path)), entry_(std::move(entry)) {}
  HRESULT Start(AVCodecParameters* par, bool* bottomUpRgb) override {
    HRESULT hr = reader_.Open(path_, entry_.index);
    if (FAILED(hr)) return hr;
    MediaType mt = dshow::MakeRgbVideoType(entry_.info.width, entry_.info.height, 24,
                                           FrameTime(entry_.info), MEDIASUBTYPE_RGB24);
    if (!dshow::CodecFromMediaType(mt, par)) return AVIERR_INTERNAL;
    *bottomUpRgb = true;
    return AVIERR_OK;
  }
  HRESULT Next(Packet* packet) override {
    AVFrame* frame = nullptr;
    while (true) {
      HRESULT hr = reader_.Next(&frame);
      if (hr != AVIERR_OK) return hr;
      ++consumed_;
      if (frame->width != entry_.info.width || frame->height != entry_.info.height) continue;
      if (!rgb_.Convert(frame, &picture_)) return AVIERR_INTERNAL;
      // Rows bottom-up, as a DIB stores them.
      const size_t stride = static_cast<size_t>(RgbStride(frame->width));
      const int h = frame->height;
      packet->data.resize(stride * h);
      for (int y = 0; y < h; ++y)
        std::memcpy(packet->data.data() + stride * (h - 1 - y), picture_.data() + stride * y, stride);
      packet->key = true;
      return AVIERR_OK;
    }
  }
  int64_t Consumed() const override { return consumed_; }

 private:
  std::string path_;
  StreamEntry entry_;
  FrameReader reader_;
  RgbConverter rgb_;
  std::vector<uint8_t> picture_;
  int64_t consumed_ = 0;
};

// Frames coded by the compressor.
class CompressSource : public PacketSource {
 public:
  CompressSource(std::string path, StreamEntry entry, IBaseFilter* compressor)
      : path_(std::move(path)), entry_(std::move(entry)), chain_(compressor) {}

  HRESULT Start(AVCodecParameters* par, bool* bottomUpRgb) override {
    *bottomUpRgb = false;
    HRESULT hr = reader_.Open(path_, entry_.index);
    if (FAILED(hr)) return hr;
    // The first picture decides the input: planar 4:2:0 goes in as it is, anything else as RGB.
    AVFrame* frame = nullptr;
    hr = reader_.Next(&frame);
    if (FAILED(hr)) return hr;
    ended_ = hr != AVIERR_OK;
    planar_ = !ended_ && frame->format == AV_PIX_FMT_YUV420P;
    int w = entry_.info.width, h = entry_.info.height;
    hr = chain_.Start(InputType(w, h, planar_, FrameTime(entry_.info)));
    if (FAILED(hr)) return hr;
    MediaType out = chain_.OutputType();
    if (!dshow::CodecFromMediaType(out, par)) return AVIERR_COMPRESSOR;
    if (!ended_) {
      hr = Code(frame);
      if (FAILED(hr)) return hr;
    }
    return AVIERR_OK;
  }

  HRESULT Next(Packet* packet) override {
    while (chain_.Packets().empty()) {
      if (ended_) {
        if (drained_) return S_FALSE;
        drained_ = true;
        chain_.EndOfStream();
        continue;
      }
      AVFrame* frame = nullptr;
      HRESULT hr = reader_.Next(&frame);
      if (FAILED(hr)) return hr;
      if (hr != AVIERR_OK) {
        ended_ = true;
        continue;
      }
      hr = Code(frame);
      if (FAILED(hr)) return hr;
    }
    *packet = std::move(chain_.Packets().front());
    chain_.Packets().pop_front();
    return AVIERR_OK;
  }

  int64_t Consumed() const override { return consumed_; }

 private:
  HRESULT Code(const AVFrame* frame) {
    ++consumed_;
    if (frame->width != entry_.info.width || frame->height != entry_.info.height) return AVIERR_OK;
    const REFERENCE_TIME t = FrameTime(entry_.info);
    const REFERENCE_TIME start = (consumed_ - 1) * t;
    if (planar_ && frame->format == AV_PIX_FMT_YUV420P) {
      // The decoded planes go straight into the compressor's sample.
      const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, frame->width, frame->height, 1);
      if (size <= 0) return AVIERR_INTERNAL;
      return chain_.Push(static_cast<size_t>(size), start, start + t, [&](uint8_t* buffer) {
        return av_image_copy_to_buffer(buffer, size, frame->data, frame->linesize, AV_PIX_FMT_YUV420P,
                                       frame->width, frame->height, 1) >= 0;
      });
    }
    if (planar_) return AVIERR_OK;  // a picture of another kind in a planar run is left out
    if (!rgb_.Convert(frame, &picture_)) return AVIERR_INTERNAL;
    return chain_.Push(picture_.data(), picture_.size(), start, start + t);
  }

  std::string path_;
  StreamEntry entry_;
  Chain chain_;
  FrameReader reader_;
  RgbConverter rgb_;
  std::vector<uint8_t> picture_;
  bool planar_ = false;
  bool ended_ = false;
  bool drained_ = false;
  int64_t consumed_ = 0;
};

// The compressor of a FOURCC among the platform's video compressors (letter case aside).
const dshow::CompressorInfo* FindCompressor(uint32_t fourcc) {
  auto upper = [](uint32_t code) {
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
      auto c = static_cast<unsigned char>((code >> (8 * i)) & 0xFF);
      out |= static_cast<uint32_t>(std::toupper(c)) << (8 * i);
    }
    return out;
  };
  for (const dshow::CompressorInfo& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory && upper(c.fourcc) == upper(fourcc)) return &c;
  return nullptr;
}

}  // namespace

// A stream made from another with compression options.
class CompressedStream : public StreamBase {
 public:
  CompressedStream(FileStream* source, ComPtr<IBaseFilter> compressor, uint32_t handler)
      : source_(source), compressor_(std::move(compressor)), handler_(handler) {}

  HRESULT Info(AVISTREAMINFO* info) override {
    if (!info) return AVIERR_BADPARAM;
    *info = source_->Entry().info;
    info->fccHandler = handler_;
    return AVIERR_OK;
  }

  std::unique_ptr<PacketSource> MakeSource() override {
    if (!compressor_) return std::make_unique<FullFrameSource>(source_->Path(), source_->Entry());
    return std::make_unique<CompressSource>(source_->Path(), source_->Entry(), compressor_.Get());
  }

 private:
  ComPtr<FileStream> source_;
  ComPtr<IBaseFilter> compressor_;  // null: full frames
  uint32_t handler_;
};

// Whether the compressor codes a picture of the size: one black picture is put through it.
HRESULT TryFrameSize(IBaseFilter* compressor, const AVISTREAMINFO& info) {
  Chain chain(compressor);
  MediaType input = InputType(info.width, info.height, false, FrameTime(info));
  HRESULT hr = chain.Start(input);
  if (FAILED(hr)) return hr;
  std::vector<uint8_t> black(input.lSampleSize, 0);
  hr = chain.Push(black.data(), black.size(), 0, FrameTime(info));
  chain.Stop();
  return hr;
}

// The compressor's settings from the options record: its saved state, then the quality, and the
// key frames and data rate when their flags say so.
HRESULT ApplyOptions(IBaseFilter* compressor, const AVICOMPRESSOPTIONS& o) {
  ComPtr<IAMVfwCompressDialogs> dialogs;
  if (o.lpParms && o.cbParms > 0 &&
      SUCCEEDED(compressor->QueryInterface(IAMVfwCompressDialogs::iid, dialogs.put_void())) && dialogs)
    dialogs->SetState(o.lpParms, static_cast<int32_t>(o.cbParms));
  dshow::CompressorSettings s;
  if (FAILED(dshow::GetCompressorSettings(compressor, &s))) return AVIERR_COMPRESSOR;
  if (o.dwQuality != ICQUALITY_DEFAULT)
    s.quality = std::clamp(static_cast<int32_t>((std::min<uint32_t>(o.dwQuality, 10000) + 50) / 100), 1, 100);
  if (o.dwFlags & AVICOMPRESSF_KEYFRAMES)
    s.keyFrameInterval = static_cast<int32_t>(std::min<uint32_t>(o.dwKeyFrameEvery, 1000000));
  if (o.dwFlags & AVICOMPRESSF_DATARATE)
    s.dataRate = static_cast<int32_t>(std::min<uint64_t>(uint64_t{o.dwBytesPerSecond} * 8 / 1000, 1000000));
  return FAILED(dshow::SetCompressorSettings(compressor, s)) ? AVIERR_BADPARAM : AVIERR_OK;
}

}  // namespace vfw_detail

using namespace vfw_detail;

HRESULT AVIMakeCompressedStream(PAVISTREAM* ppsCompressed, PAVISTREAM psSource,
                                const AVICOMPRESSOPTIONS* lpOptions, const CLSID*) {
  if (!ppsCompressed) return AVIERR_BADPARAM;
  *ppsCompressed = nullptr;
  if (!psSource || !lpOptions) return AVIERR_BADPARAM;
  auto* source = dynamic_cast<FileStream*>(psSource);
  if (!source) return AVIERR_UNSUPPORTED;
  const AVISTREAMINFO& info = source->Entry().info;
  if (info.fccType != streamtypeVIDEO) return AVIERR_NOCOMPRESSOR;
  if (info.width <= 0 || info.height <= 0) return AVIERR_BADFORMAT;
  const uint32_t handler = lpOptions->fccHandler;
  if (handler == 0 || handler == comptypeDIB) {
    *ppsCompressed = MakeComObject<CompressedStream>(source, nullptr, comptypeDIB).Detach();
    return AVIERR_OK;
  }
  const dshow::CompressorInfo* found = FindCompressor(handler);
  if (!found) return AVIERR_NOCOMPRESSOR;
  ComPtr<IBaseFilter> compressor;
  if (FAILED(CoCreateInstance(found->clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid,
                              compressor.put_void())) || !compressor)
    return AVIERR_NOCOMPRESSOR;
  HRESULT hr = ApplyOptions(compressor.Get(), *lpOptions);
  if (FAILED(hr)) return hr;
  hr = TryFrameSize(compressor.Get(), info);
  if (FAILED(hr)) return hr;
  *ppsCompressed = MakeComObject<CompressedStream>(source, compressor, found->fourcc).Detach();
  return AVIERR_OK;
}
