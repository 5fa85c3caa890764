// Compressors on the encoders of libavcodec: uncompressed video (RGB or YUV frames) or PCM sound
// in, the coded stream out with the FOURCC or wave format tag an AVI file carries. Input frames
// are converted with swscale / swresample into what each encoder takes. An encoder that cannot
// take the connected frame size refuses every sample it is given; the source then stops the
// graph with an error event.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include <QDialog>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "com/com.h"
#include "encoders/encoders_internal.h"
#include "internal.h"

namespace dshow {

namespace {

struct Kind {
  const char16_t* name;
  CLSID clsid;
  bool video;
  const char* encoder;      // libavcodec encoder name
  uint32_t tag;             // FOURCC (video) or wave format tag (audio)
  AVPixelFormat pixFormat;  // video: the picture format fed to the encoder
  uint32_t options;
  bool intraOnly;           // every frame a key frame
  const char16_t* streamName = nullptr;  // the AVI stream name; null: none
  const char16_t* note = nullptr;        // a further paragraph of the About box
};

constexpr uint32_t kVideoOptions = kOptionQuality | kOptionKeyFrames | kOptionDataRate;

const Kind kKinds[] = {
    {u"Motion JPEG Compressor", MakeGuid("{2C2548C0-0747-49B3-9E8E-72565C50A6C8}"), true, "mjpeg",
     MakeFourCC('M', 'J', 'P', 'G'), AV_PIX_FMT_YUVJ420P, kOptionQuality, true},
    {u"MPEG-4 Video Compressor", MakeGuid("{4654811D-2014-460F-9E78-1BAB502F9BF5}"), true, "mpeg4",
     MakeFourCC('F', 'M', 'P', '4'), AV_PIX_FMT_YUV420P, kVideoOptions, false},
    {u"Microsoft MPEG-4 Video Codec V2", MakeGuid("{C32051E4-93F5-4EA0-AEEE-0DC4FCCF576E}"), true,
     "msmpeg4v2", MakeFourCC('M', 'P', '4', '2'), AV_PIX_FMT_YUV420P, kVideoOptions, false},
    {u"Microsoft MPEG-4 Video Codec V3", MakeGuid("{7F59BC50-9442-4EBB-8E99-3AF5C1943D49}"), true,
     "msmpeg4", MakeFourCC('M', 'P', '4', '3'), AV_PIX_FMT_YUV420P, kVideoOptions, false},
    {u"Windows Media Video 7", MakeGuid("{58E56338-6975-4732-BD1F-09059B627AC4}"), true, "wmv1",
     MakeFourCC('W', 'M', 'V', '1'), AV_PIX_FMT_YUV420P, kVideoOptions, false},
    {u"Windows Media Video 8", MakeGuid("{56D2D543-6BBA-4719-A0A5-EBB755723E8F}"), true, "wmv2",
     MakeFourCC('W', 'M', 'V', '2'), AV_PIX_FMT_YUV420P, kVideoOptions, false},
    {u"CVID Compressor", MakeGuid("{E153CF00-19D8-45A5-B406-87352D572EB9}"), true, "cinepak",
     MakeFourCC('c', 'v', 'i', 'd'), AV_PIX_FMT_RGB24, 0, false},
    {u"MSVC Compressor", MakeGuid("{A0160076-1FDA-46C4-884B-68CE4CB0DFC7}"), true, "msvideo1",
     MakeFourCC('M', 'S', 'V', 'C'), AV_PIX_FMT_RGB555LE, 0, false},
    {u"HFYU Lossless Compressor", MakeGuid("{2F9F25D4-7F99-4C06-80F7-E139535E4EC1}"), true,
     "huffyuv", MakeFourCC('H', 'F', 'Y', 'U'), AV_PIX_FMT_YUV422P, 0, true},
    {u"FFV1 Lossless Compressor", MakeGuid("{CF92C40C-F365-47DC-9C27-5AF4CEFC5DD9}"), true, "ffv1",
     MakeFourCC('F', 'F', 'V', '1'), AV_PIX_FMT_YUV420P, 0, false},
    {u"PCM", MakeGuid("{705963D7-9F6E-4593-889B-FD102963D712}"), false, "pcm_s16le", 0x0001,
     AV_PIX_FMT_NONE, 0, true},
    {u"Microsoft ADPCM", MakeGuid("{C32B9722-C1E4-4F21-9AF2-AFF69524B96E}"), false, "adpcm_ms",
     0x0002, AV_PIX_FMT_NONE, 0, true},
    {u"IMA ADPCM", MakeGuid("{B377F30A-2BAD-4AF5-A142-9916A119C609}"), false, "adpcm_ima_wav",
     0x0011, AV_PIX_FMT_NONE, 0, true},
    {u"MPEG Layer-3", MakeGuid("{3630A191-68A2-456F-8BCB-8B205DA1D271}"), false, "libmp3lame",
     0x0055, AV_PIX_FMT_NONE, kOptionDataRate, true},
    {u"MPEG Layer-2", MakeGuid("{FFC01438-6610-47BD-958B-83F216322382}"), false, "mp2", 0x0050,
     AV_PIX_FMT_NONE, kOptionDataRate, true},
    {u"Windows Media Audio V2", MakeGuid("{12464E86-1D48-4C78-9FDD-F6B1659A54D2}"), false, "wmav2",
     0x0161, AV_PIX_FMT_NONE, kOptionDataRate, true},
};

std::mutex gSettingsLock;
std::map<GUID, CompressorSettings>& SettingsTable() {
  static std::map<GUID, CompressorSettings> table;
  return table;
}

CompressorInfo InfoOf(const Kind& k) {
  return CompressorInfo{k.name, k.clsid,
                        k.video ? CLSID_VideoCompressorCategory : CLSID_AudioCompressorCategory,
                        k.tag, k.options, k.note ? k.note : u""};
}

// Quality 1..100 as the quantiser scale of the MPEG-style encoders (31 coarsest, 1 finest).
int QScaleOf(int quality) {
  quality = std::clamp(quality, 1, 100);
  return 1 + (100 - quality) * 30 / 99;
}

constexpr uint32_t kStateMagic = MakeFourCC('C', 'M', 'P', 'S');
constexpr uint32_t kStateVersion = 1;

// The refusal of a frame the encoder cannot take (its size, typically).
constexpr HRESULT kRefused = VFW_E_UNSUPPORTED_VIDEO;

// --- The common part: pins, settings and dialogs ------------------------------------------

class Compressor : public TransformFilter,
                   public IAMVfwCompressDialogs,
                   public ISpecifyPropertyPages,
                   public ICompressorControl {
 public:
  explicit Compressor(const Kind& kind)
      : TransformFilter(kind.name, kind.clsid),
        kind_(kind),
        settings_(DefaultCompressorSettings(kind.clsid)) {}

  DSHOW_FORWARD_IUNKNOWN(TransformFilter)

  // IAMVfwCompressDialogs
  HRESULT ShowDialog(int32_t dialog, OAHWND parent) override {
    switch (dialog) {
      case VfwCompressDialog_QueryConfig:
        return kind_.options ? S_OK : S_FALSE;
      case VfwCompressDialog_QueryAbout:
        return S_OK;
      case VfwCompressDialog_Config: {
        if (!kind_.options) return E_NOTIMPL;
        if (!CanShowDialogs()) return E_UNEXPECTED;
        CompressorSettings current = Settings();
        std::unique_ptr<QDialog> box = MakeOptionsDialog(InfoOf(kind_), current);
        if (!PresentCompressorDialog(*box, parent)) return S_FALSE;
        TakeSettings(ReadOptions(*box, current));
        return S_OK;
      }
      case VfwCompressDialog_About: {
        if (!CanShowDialogs()) return E_UNEXPECTED;
        std::unique_ptr<QDialog> box = MakeAboutDialog(InfoOf(kind_), kind_.encoder);
        PresentCompressorDialog(*box, parent);
        return S_OK;
      }
      default:
        return E_INVALIDARG;
    }
  }

  HRESULT GetState(void* state, int32_t* size) override {
    if (!size) return E_POINTER;
    if (!state) {
      *size = kCompressorStateSize;
      return S_OK;
    }
    if (*size < kCompressorStateSize) return E_INVALIDARG;
    CompressorSettings s = Settings();
    const uint32_t words[5] = {kStateMagic, kStateVersion, static_cast<uint32_t>(s.quality),
                               static_cast<uint32_t>(s.keyFrameInterval),
                               static_cast<uint32_t>(s.dataRate)};
    std::memcpy(state, words, sizeof words);
    *size = kCompressorStateSize;
    return S_OK;
  }

  HRESULT SetState(const void* state, int32_t size) override {
    if (!state) return E_POINTER;
    if (size != kCompressorStateSize) return E_INVALIDARG;
    uint32_t words[5];
    std::memcpy(words, state, sizeof words);
    if (words[0] != kStateMagic || words[1] != kStateVersion) return E_INVALIDARG;
    CompressorSettings s;
    s.quality = static_cast<int32_t>(words[2]);
    s.keyFrameInterval = static_cast<int32_t>(words[3]);
    s.dataRate = static_cast<int32_t>(words[4]);
    if (s.quality < 1 || s.quality > 100 || s.keyFrameInterval < 0 || s.dataRate < 0)
      return E_INVALIDARG;
    std::lock_guard lock(settingsLock_);
    settings_ = s;
    return S_OK;
  }

  // The compressors are not driver-based: there is no driver to send messages to.
  HRESULT SendDriverMessage(int32_t, intptr_t, intptr_t) override { return E_NOTIMPL; }

  // ISpecifyPropertyPages (compressors with options only)
  HRESULT GetPages(CAUUID* pages) override {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(2 * sizeof(GUID)));
    if (!pages->pElems) {
      pages->cElems = 0;
      return E_OUTOFMEMORY;
    }
    pages->pElems[0] = CLSID_CompressorAboutPage;
    pages->pElems[1] = CLSID_CompressorSettingsPage;
    pages->cElems = 2;
    return S_OK;
  }

  // ICompressorControl
  CompressorInfo Info() override { return InfoOf(kind_); }
  std::string EncoderName() override { return kind_.encoder; }
  CompressorSettings CurrentSettings() override { return Settings(); }
  void TakeSettings(const CompressorSettings& settings) override {
    {
      std::lock_guard lock(settingsLock_);
      settings_ = settings;
    }
    SetDefaultCompressorSettings(kind_.clsid, settings);
  }

  CompressorSettings Settings() {
    std::lock_guard lock(settingsLock_);
    return settings_;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IAMVfwCompressDialogs::iid) {
      *ppv = static_cast<IAMVfwCompressDialogs*>(this);
    } else if (riid == ISpecifyPropertyPages::iid && kind_.options) {
      *ppv = static_cast<ISpecifyPropertyPages*>(this);
    } else if (riid == ICompressorControl::iid) {
      *ppv = static_cast<ICompressorControl*>(this);
    } else {
      return TransformFilter::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

  // Applies the settings that concern the encoder of this kind.
  void ApplySettings(AVCodecContext* ctx) {
    CompressorSettings s = Settings();
    if ((kind_.options & kOptionDataRate) && s.dataRate > 0) {
      ctx->bit_rate = static_cast<int64_t>(s.dataRate) * 1000;
      if (kind_.video) {
        ctx->rc_max_rate = ctx->bit_rate * 2;
        ctx->rc_buffer_size = static_cast<int>(std::min<int64_t>(ctx->bit_rate * 2, INT32_MAX));
      }
    } else if (kind_.options & kOptionQuality) {
      ctx->flags |= AV_CODEC_FLAG_QSCALE;
      ctx->global_quality = FF_QP2LAMBDA * QScaleOf(s.quality);
    }
    if ((kind_.options & kOptionKeyFrames) && s.keyFrameInterval > 0)
      ctx->gop_size = s.keyFrameInterval;
  }

  // One output type: the coded stream of the connected input.
  HRESULT GetOutputType(int position, MediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return OutputTypeFor(input_->CurrentType(), mt);
  }
  virtual HRESULT OutputTypeFor(const AM_MEDIA_TYPE& in, MediaType* mt) = 0;

  // Delivers the packets the encoder has ready, each with the times TimesOf gives it.
  HRESULT DeliverPackets() {
    while (true) {
      int err = avcodec_receive_packet(ctx_, pkt_);
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return S_OK;
      if (err < 0) return HResultFromAv(err);
      REFERENCE_TIME start = 0, stop = 0;
      TimesOf(pkt_, &start, &stop);
      HRESULT hr = output_->IsConnected() ? DeliverPacket(pkt_, start, stop) : S_OK;
      av_packet_unref(pkt_);
      if (FAILED(hr)) return hr;
    }
  }

  virtual void TimesOf(const AVPacket* pkt, REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;

  // Frees the encoder and what goes with it (at the end of the stream, a stop or a flush, a
  // disconnection); the next sample opens a new one.
  virtual void Close() {
    if (ctx_) avcodec_free_context(&ctx_);
    if (frame_) av_frame_free(&frame_);
    if (pkt_) av_packet_free(&pkt_);
  }
  void Reset() override {
    std::lock_guard lock(codecLock_);
    Close();
  }
  void PinDisconnected(Pin*) override {
    std::lock_guard lock(codecLock_);
    Close();
  }

  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* pkt_ = nullptr;

 private:
  HRESULT DeliverPacket(const AVPacket* pkt, REFERENCE_TIME start, REFERENCE_TIME stop) {
    IMediaSample* sample = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(pkt->size, &sample);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, pkt->data, static_cast<size_t>(pkt->size));
    sample->SetActualDataLength(pkt->size);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(kind_.intraOnly || (pkt->flags & AV_PKT_FLAG_KEY) != 0);
    hr = output_->Deliver(sample);
    sample->Release();
    return hr;
  }

 protected:
  Kind kind_;
  std::mutex settingsLock_;
  CompressorSettings settings_;
  std::mutex codecLock_;
};

// --- Video ------------------------------------------------------------------------------

class VideoCompressor : public Compressor, public IEncoderTuning, public IStreamName {
 public:
  explicit VideoCompressor(const Kind& kind) : Compressor(kind) {}
  ~VideoCompressor() override { Close(); }
  DSHOW_FORWARD_IUNKNOWN(TransformFilter)

  // IEncoderTuning
  HRESULT SetTuning(std::function<void(AVCodecContext*)> tune) override {
    std::lock_guard lock(settingsLock_);
    tune_ = std::move(tune);
    return S_OK;
  }
  // IStreamName
  std::u16string StreamName() override { return kind_.streamName ? kind_.streamName : u""; }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IEncoderTuning::iid) {
      *ppv = static_cast<IEncoderTuning*>(this);
    } else if (riid == IStreamName::iid && kind_.streamName) {
      *ppv = static_cast<IStreamName*>(this);
    } else {
      return Compressor::QueryOther(riid, ppv);
    }
    AddRef();
    return S_OK;
  }

 public:

  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    if (!IsUncompressedVideo(mt)) return VFW_E_TYPE_NOT_ACCEPTED;
    const VIDEOINFOHEADER* vih = VideoInfo(mt);
    if (vih->bmiHeader.biWidth <= 0 || vih->bmiHeader.biHeight == 0 ||
        vih->bmiHeader.biBitCount != BitsOfSubtype(mt.subtype))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  HRESULT OutputTypeFor(const AM_MEDIA_TYPE& in, MediaType* mt) override {
    const VIDEOINFOHEADER* src = VideoInfo(in);
    if (!src) return VFW_S_NO_MORE_ITEMS;
    int width = src->bmiHeader.biWidth, height = std::abs(src->bmiHeader.biHeight);
    // The encoder's global header (the HFYU coder's tables, for one) belongs into the format
    // block; an encoder that refuses the size is connected all the same and refuses the samples.
    std::vector<uint8_t> extra;
    int bits = 24;
    if (AVCodecContext* ctx = OpenEncoder(width, height, src->AvgTimePerFrame)) {
      if (ctx->extradata_size > 0) extra.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);
      if (ctx->bits_per_coded_sample > 0) bits = ctx->bits_per_coded_sample;
      avcodec_free_context(&ctx);
    }
    MediaType out;
    out.majortype = MEDIATYPE_Video;
    out.subtype = FourCCSubtype(kind_.tag);
    out.formattype = FORMAT_VideoInfo;
    out.bTemporalCompression = !kind_.intraOnly;
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(
        SetFormatBuffer(out, static_cast<uint32_t>(sizeof(VIDEOINFOHEADER) + extra.size())));
    vih->AvgTimePerFrame = src->AvgTimePerFrame;
    vih->rcSource = RECT{0, 0, width, height};
    vih->rcTarget = vih->rcSource;
    CompressorSettings s = Settings();
    if ((kind_.options & kOptionDataRate) && s.dataRate > 0)
      vih->dwBitRate = static_cast<uint32_t>(s.dataRate) * 1000;
    vih->bmiHeader.biSize = static_cast<uint32_t>(sizeof(BITMAPINFOHEADER) + extra.size());
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = static_cast<uint16_t>(bits);
    vih->bmiHeader.biCompression = kind_.tag;
    vih->bmiHeader.biSizeImage = static_cast<uint32_t>(MaxFrameBytes(width, height));
    if (!extra.empty()) std::memcpy(out.pbFormat + sizeof(VIDEOINFOHEADER), extra.data(), extra.size());
    *mt = out;
    return S_OK;
  }

  HRESULT CheckTransform(const AM_MEDIA_TYPE& in, const AM_MEDIA_TYPE& out) override {
    const VIDEOINFOHEADER* a = VideoInfo(in);
    const VIDEOINFOHEADER* b = VideoInfo(out);
    if (!a || !b || out.majortype != MEDIATYPE_Video || out.subtype != FourCCSubtype(kind_.tag) ||
        b->bmiHeader.biCompression != kind_.tag || b->bmiHeader.biWidth != a->bmiHeader.biWidth ||
        std::abs(b->bmiHeader.biHeight) != std::abs(a->bmiHeader.biHeight))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  LONG OutputBufferSize() override {
    MediaType in = input_->CurrentType();
    const VIDEOINFOHEADER* v = VideoInfo(in);
    return v ? MaxFrameBytes(v->bmiHeader.biWidth, std::abs(v->bmiHeader.biHeight)) : 65536;
  }

  HRESULT Receive(Pin*, IMediaSample* sample) override {
    std::lock_guard lock(codecLock_);
    if (FAILED(refusal_)) return refusal_;
    MediaType in = input_->CurrentType();
    const VIDEOINFOHEADER* vih = VideoInfo(in);
    if (!vih) return VFW_E_NOT_CONNECTED;
    int width = vih->bmiHeader.biWidth, height = std::abs(vih->bmiHeader.biHeight);
    if (!ctx_) {
      ctx_ = OpenEncoder(width, height, vih->AvgTimePerFrame);
      if (!ctx_) {
        refusal_ = kRefused;
        return refusal_;
      }
      frame_ = av_frame_alloc();
      pkt_ = av_packet_alloc();
      if (!frame_ || !pkt_) return E_OUTOFMEMORY;
      frame_->format = ctx_->pix_fmt;
      frame_->width = width;
      frame_->height = height;
      if (av_frame_get_buffer(frame_, 0) < 0) return E_OUTOFMEMORY;
      nextPts_ = 0;
      times_.clear();
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    int bitCount = vih->bmiHeader.biBitCount;
    auto srcFormat = static_cast<AVPixelFormat>(PixelFormatOfSubtype(in.subtype, bitCount));
    // A sample shorter than one picture is refused.
    LONG needed = PictureBytes(srcFormat, width, height, bitCount);
    if (needed <= 0 || sample->GetActualDataLength() < needed) return VFW_E_SAMPLE_REJECTED;
    // The sample's picture as a frame that borrows the sample's buffer.
    AVFrame* picture = av_frame_alloc();
    if (!picture) return E_OUTOFMEMORY;
    picture->format = srcFormat;
    picture->width = width;
    picture->height = height;
    picture->buf[0] = av_buffer_create(data, static_cast<size_t>(needed), [](void*, uint8_t*) {}, nullptr,
                                       AV_BUFFER_FLAG_READONLY);
    if (srcFormat == AV_PIX_FMT_YUV420P || srcFormat == AV_PIX_FMT_YUYV422) {
      av_image_fill_arrays(picture->data, picture->linesize, data, srcFormat, width, height, 1);
      if (in.subtype == MEDIASUBTYPE_YV12) std::swap(picture->data[1], picture->data[2]);
    } else {
      int stride = DibStride(width, bitCount);
      picture->data[0] = data;
      picture->linesize[0] = stride;
      if (vih->bmiHeader.biHeight > 0) {  // bottom-up rows
        picture->data[0] = data + static_cast<ptrdiff_t>(stride) * (height - 1);
        picture->linesize[0] = -stride;
      }
    }
    HRESULT converted = picture->buf[0] ? Convert(picture) : E_OUTOFMEMORY;
    av_frame_free(&picture);
    if (FAILED(converted)) return converted;

    REFERENCE_TIME start = 0, stop = 0;
    REFERENCE_TIME frameTime = vih->AvgTimePerFrame > 0 ? vih->AvgTimePerFrame : UNITS / 25;
    if (FAILED(sample->GetTime(&start, &stop))) {
      start = lastStop_;
      stop = start + frameTime;
    }
    lastStop_ = stop;
    frame_->pts = nextPts_++;
    frame_->quality = ctx_->global_quality;
    frame_->pict_type = AV_PICTURE_TYPE_NONE;
    times_.push_back({frame_->pts, start, stop});
    int err = avcodec_send_frame(ctx_, frame_);
    if (err < 0) return HResultFromAv(err);
    return DeliverPackets();
  }

 protected:
  void Drain() override {
    std::lock_guard lock(codecLock_);
    if (ctx_ && SUCCEEDED(refusal_) && avcodec_send_frame(ctx_, nullptr) >= 0) DeliverPackets();
    Close();
  }

 private:
  struct Times {
    int64_t pts;
    REFERENCE_TIME start, stop;
  };

  // Converts the picture into the encoder's frame, on several threads for large pictures.
  HRESULT Convert(const AVFrame* picture) {
    if (picture->format == ctx_->pix_fmt) {
      // Already the encoder's format: a plain copy on this thread (a scaler's worker threads
      // would only add a hand-over per picture).
      if (HRESULT hr = WritableFrame(picture); FAILED(hr)) return hr;
      av_image_copy(frame_->data, frame_->linesize, const_cast<const uint8_t**>(picture->data), picture->linesize,
                    static_cast<AVPixelFormat>(picture->format), picture->width, picture->height);
      return S_OK;
    }
    if (!sws_) {
      sws_ = sws_alloc_context();
      if (!sws_) return E_OUTOFMEMORY;
      int threads = picture->width * picture->height >= 320 * 240 ? 0 : 1;
      av_opt_set_int(sws_, "srcw", picture->width, 0);
      av_opt_set_int(sws_, "srch", picture->height, 0);
      av_opt_set_int(sws_, "src_format", picture->format, 0);
      av_opt_set_int(sws_, "dstw", picture->width, 0);
      av_opt_set_int(sws_, "dsth", picture->height, 0);
      av_opt_set_int(sws_, "dst_format", ctx_->pix_fmt, 0);
      av_opt_set_int(sws_, "sws_flags", SWS_BICUBIC, 0);
      av_opt_set_int(sws_, "threads", threads, 0);
      if (sws_init_context(sws_, nullptr, nullptr) < 0) {
        sws_freeContext(sws_);
        sws_ = nullptr;
        return E_FAIL;
      }
    }
    if (HRESULT hr = WritableFrame(picture); FAILED(hr)) return hr;
    return sws_scale_frame(sws_, frame_, picture) < 0 ? E_FAIL : S_OK;
  }

  // The encoder may still hold the last picture: the next one goes into a new buffer (whose old
  // content would be overwritten anyway, so it is not copied as av_frame_make_writable would).
  HRESULT WritableFrame(const AVFrame* picture) {
    if (av_frame_is_writable(frame_)) return S_OK;
    av_frame_unref(frame_);
    frame_->format = ctx_->pix_fmt;
    frame_->width = picture->width;
    frame_->height = picture->height;
    return av_frame_get_buffer(frame_, 0) < 0 ? E_OUTOFMEMORY : S_OK;
  }

  // The bits per pixel a picture of the subtype has (0 for one not taken).
  static int BitsOfSubtype(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB32 || subtype == MEDIASUBTYPE_ARGB32) return 32;
    if (subtype == MEDIASUBTYPE_RGB24) return 24;
    if (subtype == MEDIASUBTYPE_RGB565 || subtype == MEDIASUBTYPE_RGB555 || subtype == MEDIASUBTYPE_YUY2) return 16;
    if (subtype == MEDIASUBTYPE_IYUV || subtype == MEDIASUBTYPE_YV12) return 12;
    return 0;
  }

  // Bytes of one input picture.
  static LONG PictureBytes(AVPixelFormat format, int width, int height, int bitCount) {
    if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUYV422)
      return static_cast<LONG>(av_image_get_buffer_size(format, width, height, 1));
    return static_cast<LONG>(static_cast<int64_t>(DibStride(width, bitCount)) * height);
  }

  static LONG MaxFrameBytes(int width, int height) {
    int64_t bytes = static_cast<int64_t>(width) * height * 4 + 65536;
    return static_cast<LONG>(std::min<int64_t>(bytes, INT32_MAX));
  }

  // An encoder opened for the size and frame time; null when it cannot take them. The HFYU coder
  // codes a width its YUV layout cannot take in RGB instead.
  AVCodecContext* OpenEncoder(int width, int height, REFERENCE_TIME frameTime) {
    const AVCodec* codec = avcodec_find_encoder_by_name(kind_.encoder);
    if (!codec) return nullptr;
    AVPixelFormat other = codec->id == AV_CODEC_ID_HUFFYUV ? AV_PIX_FMT_BGRA : AV_PIX_FMT_NONE;
    for (AVPixelFormat format : {kind_.pixFormat, other}) {
      if (format == AV_PIX_FMT_NONE) break;
      AVCodecContext* ctx = avcodec_alloc_context3(codec);
      if (!ctx) return nullptr;
      ctx->width = width;
      ctx->height = height;
      ctx->pix_fmt = format;
      if (frameTime <= 0) frameTime = UNITS / 25;
      AVRational tb;
      av_reduce(&tb.num, &tb.den, frameTime, UNITS, 65535);
      ctx->time_base = tb;
      ctx->framerate = AVRational{tb.den, tb.num};
      ctx->sample_aspect_ratio = AVRational{1, 1};
      // Motion JPEG and MPEG-4 code on every core (frames held back by frame threads come out
      // at the end of the stream); the others stay on one thread, whose global header then
      // does not depend on the machine.
      bool threaded = codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_MPEG4;
      ctx->thread_count = threaded ? 0 : 1;
      ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
      ApplySettings(ctx);
      std::function<void(AVCodecContext*)> tune;
      {
        std::lock_guard lock(settingsLock_);
        tune = tune_;
      }
      if (tune) tune(ctx);
      if (avcodec_open2(ctx, codec, nullptr) >= 0) return ctx;
      avcodec_free_context(&ctx);
    }
    return nullptr;
  }

  std::function<void(AVCodecContext*)> tune_;

  // A packet takes the times of the input frame it codes.
  void TimesOf(const AVPacket* pkt, REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    *start = *stop = lastStop_;
    while (!times_.empty() && times_.front().pts <= pkt->pts) {
      *start = times_.front().start;
      *stop = times_.front().stop;
      times_.pop_front();
    }
  }

  void Close() override {
    Compressor::Close();
    if (sws_) sws_freeContext(sws_);
    sws_ = nullptr;
    times_.clear();
    refusal_ = S_OK;
    lastStop_ = 0;
  }

  SwsContext* sws_ = nullptr;
  std::deque<Times> times_;
  int64_t nextPts_ = 0;
  REFERENCE_TIME lastStop_ = 0;
  HRESULT refusal_ = S_OK;
};

// --- Audio ------------------------------------------------------------------------------

class AudioCompressor : public Compressor {
 public:
  explicit AudioCompressor(const Kind& kind) : Compressor(kind) {}
  ~AudioCompressor() override { Close(); }

  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    if (!IsPcmAudio(mt)) return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wf = WaveFormat(mt);
    if (wf->nChannels < 1 || wf->nChannels > 2 || wf->nSamplesPerSec == 0 ||
        wf->nBlockAlign != wf->nChannels * wf->wBitsPerSample / 8)
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  HRESULT OutputTypeFor(const AM_MEDIA_TYPE& in, MediaType* mt) override {
    const WAVEFORMATEX* wf = WaveFormat(in);
    if (!wf) return VFW_S_NO_MORE_ITEMS;
    AVCodecContext* ctx = OpenEncoder(*wf);
    if (!ctx) return VFW_S_NO_MORE_ITEMS;
    bool ok = TypeOfEncoder(ctx, mt);
    avcodec_free_context(&ctx);
    return ok ? S_OK : VFW_S_NO_MORE_ITEMS;
  }

  HRESULT CheckTransform(const AM_MEDIA_TYPE& in, const AM_MEDIA_TYPE& out) override {
    const WAVEFORMATEX* a = WaveFormat(in);
    const WAVEFORMATEX* b = WaveFormat(out);
    if (!a || !b || out.majortype != MEDIATYPE_Audio || b->wFormatTag != kind_.tag ||
        b->nChannels != a->nChannels)
      return VFW_E_TYPE_NOT_ACCEPTED;
    if (kind_.tag == WAVE_FORMAT_PCM && b->wBitsPerSample != 16) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  LONG OutputBufferSize() override { return 1 << 16; }

  HRESULT Receive(Pin*, IMediaSample* sample) override {
    std::lock_guard lock(codecLock_);
    MediaType in = input_->CurrentType();
    const WAVEFORMATEX* wf = WaveFormat(in);
    if (!wf) return VFW_E_NOT_CONNECTED;
    if (!ctx_) {
      HRESULT hr = Open(*wf);
      if (FAILED(hr)) return hr;
      REFERENCE_TIME start = 0, stop = 0;
      base_ = SUCCEEDED(sample->GetTime(&start, &stop)) ? start : 0;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    int count = sample->GetActualDataLength() / std::max<int>(1, wf->nBlockAlign);
    if (count <= 0) return S_OK;
    const uint8_t* inPlanes[1] = {data};
    int maxOut = swr_get_out_samples(swr_, count);
    if (maxOut <= 0) return S_OK;
    if (av_samples_alloc(convert_, nullptr, ctx_->ch_layout.nb_channels, maxOut, ctx_->sample_fmt, 0) < 0)
      return E_OUTOFMEMORY;
    int got = swr_convert(swr_, convert_, maxOut, inPlanes, count);
    HRESULT hr = S_OK;
    if (got > 0 && av_audio_fifo_write(fifo_, reinterpret_cast<void**>(convert_), got) < got)
      hr = E_OUTOFMEMORY;
    av_freep(&convert_[0]);
    if (FAILED(hr)) return hr;
    return EncodeFifo(false);
  }

 protected:
  void Drain() override {
    std::lock_guard lock(codecLock_);
    if (ctx_) {
      // What the resampler still holds, then the partial last frame.
      constexpr int kChunk = 4096;
      if (av_samples_alloc(convert_, nullptr, ctx_->ch_layout.nb_channels, kChunk, ctx_->sample_fmt, 0) >= 0) {
        int got = 0;
        while ((got = swr_convert(swr_, convert_, kChunk, nullptr, 0)) > 0)
          av_audio_fifo_write(fifo_, reinterpret_cast<void**>(convert_), got);
        av_freep(&convert_[0]);
      }
      // An encoder that holds samples back without being flushed (its initial padding) gets
      // that much silence after the end, so that the last real samples come out.
      if (!(ctx_->codec->capabilities & AV_CODEC_CAP_DELAY) && ctx_->initial_padding > 0 &&
          av_samples_alloc(convert_, nullptr, ctx_->ch_layout.nb_channels, ctx_->initial_padding,
                           ctx_->sample_fmt, 0) >= 0) {
        av_samples_set_silence(convert_, 0, ctx_->initial_padding, ctx_->ch_layout.nb_channels,
                               ctx_->sample_fmt);
        av_audio_fifo_write(fifo_, reinterpret_cast<void**>(convert_), ctx_->initial_padding);
        av_freep(&convert_[0]);
      }
      if (SUCCEEDED(EncodeFifo(true)) && avcodec_send_frame(ctx_, nullptr) >= 0) DeliverPackets();
    }
    Close();
  }

 private:
  // The rate the encoder takes nearest to the input's (the input's own when it takes it).
  static int ChooseRate(const AVCodec* codec, int rate) {
    if (!codec->supported_samplerates) return rate;
    int best = 0;
    for (const int* r = codec->supported_samplerates; *r; ++r) {
      if (*r == rate) return rate;
      if (!best || std::abs(*r - rate) < std::abs(best - rate)) best = *r;
    }
    return best ? best : rate;
  }

  // An encoder for the input's rate and channels. A data rate the encoder does not take (layer 2
  // knows only a few) falls back to the encoder's usual rate.
  AVCodecContext* OpenEncoder(const WAVEFORMATEX& wf) {
    const AVCodec* codec = avcodec_find_encoder_by_name(kind_.encoder);
    if (!codec) return nullptr;
    for (bool chosenRate : {true, false}) {
      AVCodecContext* ctx = avcodec_alloc_context3(codec);
      if (!ctx) return nullptr;
      ctx->sample_rate = ChooseRate(codec, static_cast<int>(wf.nSamplesPerSec));
      av_channel_layout_default(&ctx->ch_layout, wf.nChannels);
      ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
      ctx->time_base = AVRational{1, ctx->sample_rate};
      if (chosenRate) ApplySettings(ctx);
      bool usedSetting = ctx->bit_rate > 0;
      if (ctx->bit_rate <= 0 && codec->id != AV_CODEC_ID_PCM_S16LE &&
          codec->id != AV_CODEC_ID_ADPCM_MS && codec->id != AV_CODEC_ID_ADPCM_IMA_WAV)
        ctx->bit_rate = wf.nChannels > 1 ? 128000 : 64000;
      if (avcodec_open2(ctx, codec, nullptr) >= 0) return ctx;
      avcodec_free_context(&ctx);
      if (!usedSetting) break;
    }
    return nullptr;
  }

  // The wave format of the encoder's output, as an AVI stream header describes it.
  bool TypeOfEncoder(AVCodecContext* ctx, MediaType* mt) {
    if (kind_.tag == WAVE_FORMAT_PCM) {
      *mt = MakePcmAudioType(ctx->sample_rate, ctx->ch_layout.nb_channels, 16);
      return true;
    }
    AVCodecParameters* par = avcodec_parameters_alloc();
    if (!par) return false;
    bool ok = avcodec_parameters_from_context(par, ctx) >= 0;
    par->codec_tag = kind_.tag;
    ok = ok && MediaTypeFromCodec(par, 0, mt);
    avcodec_parameters_free(&par);
    if (!ok) return false;
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(mt->pbFormat);
    wf->wFormatTag = static_cast<uint16_t>(kind_.tag);
    mt->subtype = FourCCSubtype(kind_.tag);
    if (ctx->bit_rate > 0) wf->nAvgBytesPerSec = static_cast<uint32_t>(ctx->bit_rate / 8);
    // Frames of varying size (layer 2 and 3) have no fixed block: the stream header then counts
    // frames, not bytes.
    if (ctx->block_align <= 0) wf->nBlockAlign = 0;
    if (ctx->block_align > 0) {
      mt->lSampleSize = static_cast<uint32_t>(ctx->block_align);
      if (kind_.tag == 0x0002 || kind_.tag == 0x0011) {
        // ADPCM: whole blocks of a known number of samples.
        wf->nAvgBytesPerSec = static_cast<uint32_t>(
            static_cast<int64_t>(ctx->block_align) * ctx->sample_rate / std::max(1, ctx->frame_size));
        wf->wBitsPerSample = 4;
      }
    }
    return true;
  }

  HRESULT Open(const WAVEFORMATEX& wf) {
    Close();
    ctx_ = OpenEncoder(wf);
    if (!ctx_) return VFW_E_UNSUPPORTED_AUDIO;
    AVChannelLayout inLayout;
    av_channel_layout_default(&inLayout, wf.nChannels);
    AVSampleFormat inFormat = wf.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    if (swr_alloc_set_opts2(&swr_, &ctx_->ch_layout, ctx_->sample_fmt, ctx_->sample_rate, &inLayout,
                            inFormat, static_cast<int>(wf.nSamplesPerSec), 0, nullptr) < 0 ||
        swr_init(swr_) < 0) {
      Close();
      return VFW_E_UNSUPPORTED_AUDIO;
    }
    fifo_ = av_audio_fifo_alloc(ctx_->sample_fmt, ctx_->ch_layout.nb_channels, 4096);
    frame_ = av_frame_alloc();
    pkt_ = av_packet_alloc();
    if (!fifo_ || !frame_ || !pkt_) {
      Close();
      return E_OUTOFMEMORY;
    }
    nextPts_ = 0;
    return S_OK;
  }

  // Encodes whole frames from the FIFO; at the end also the partial rest (padded with silence
  // for encoders that take only whole frames).
  HRESULT EncodeFifo(bool last) {
    bool variable = (ctx_->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || ctx_->frame_size == 0;
    bool smallLast = (ctx_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    int frameSize = variable ? 4096 : ctx_->frame_size;
    while (true) {
      int available = av_audio_fifo_size(fifo_);
      if (available <= 0) return S_OK;
      if (available < frameSize && !last && !variable) return S_OK;
      int take = std::min(available, frameSize);
      int size = (variable || smallLast || take == frameSize) ? take : frameSize;
      av_frame_unref(frame_);
      frame_->nb_samples = size;
      frame_->format = ctx_->sample_fmt;
      frame_->sample_rate = ctx_->sample_rate;
      if (av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) < 0 ||
          av_frame_get_buffer(frame_, 0) < 0)
        return E_OUTOFMEMORY;
      if (size > take)
        av_samples_set_silence(frame_->extended_data, take, size - take,
                               ctx_->ch_layout.nb_channels, ctx_->sample_fmt);
      av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->extended_data), take);
      frame_->pts = nextPts_;
      nextPts_ += size;
      int err = avcodec_send_frame(ctx_, frame_);
      if (err < 0) return HResultFromAv(err);
      HRESULT hr = DeliverPackets();
      if (FAILED(hr)) return hr;
    }
  }

  // A packet's times follow from the samples before it (counted from the first input sample).
  void TimesOf(const AVPacket* pkt, REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    int64_t pts = pkt->pts != AV_NOPTS_VALUE ? std::max<int64_t>(0, pkt->pts) : 0;
    int64_t duration = pkt->duration > 0 ? pkt->duration : std::max(1, ctx_->frame_size);
    *start = base_ + av_rescale(pts, UNITS, ctx_->sample_rate);
    *stop = base_ + av_rescale(pts + duration, UNITS, ctx_->sample_rate);
  }

  void Close() override {
    Compressor::Close();
    if (swr_) swr_free(&swr_);
    if (fifo_) av_audio_fifo_free(fifo_);
    fifo_ = nullptr;
  }

  SwrContext* swr_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;
  uint8_t* convert_[8] = {};
  int64_t nextPts_ = 0;
  REFERENCE_TIME base_ = 0;
};

HRESULT CreateCompressor(const Kind& kind, IBaseFilter** out) {
  if (!out) return E_POINTER;
  if (kind.video)
    *out = MakeComObject<VideoCompressor>(kind).Detach();
  else
    *out = MakeComObject<AudioCompressor>(kind).Detach();
  return S_OK;
}

std::vector<const Kind*> AvailableKinds() {
  std::vector<const Kind*> kinds;
  for (const Kind& k : kKinds)
    if (avcodec_find_encoder_by_name(k.encoder)) kinds.push_back(&k);
  return kinds;
}

}  // namespace

const std::vector<CompressorInfo>& Compressors() {
  static const std::vector<CompressorInfo> list = [] {
    std::vector<CompressorInfo> v;
    for (const Kind* k : AvailableKinds()) v.push_back(InfoOf(*k));
    return v;
  }();
  return list;
}

CompressorSettings DefaultCompressorSettings(REFCLSID clsid) {
  std::lock_guard lock(gSettingsLock);
  auto it = SettingsTable().find(clsid);
  return it == SettingsTable().end() ? CompressorSettings{} : it->second;
}

void SetDefaultCompressorSettings(REFCLSID clsid, const CompressorSettings& settings) {
  std::lock_guard lock(gSettingsLock);
  SettingsTable()[clsid] = settings;
}

HRESULT GetCompressorSettings(IBaseFilter* compressor, CompressorSettings* settings) {
  if (!compressor || !settings) return E_POINTER;
  ComPtr<ICompressorControl> control;
  if (FAILED(compressor->QueryInterface(ICompressorControl::iid, control.put_void())) || !control)
    return E_NOINTERFACE;
  *settings = control->CurrentSettings();
  return S_OK;
}

HRESULT SetCompressorSettings(IBaseFilter* compressor, const CompressorSettings& settings) {
  if (!compressor) return E_POINTER;
  ComPtr<IAMVfwCompressDialogs> dialogs;
  ComPtr<ICompressorControl> control;
  if (FAILED(compressor->QueryInterface(ICompressorControl::iid, control.put_void())) || !control ||
      FAILED(compressor->QueryInterface(IAMVfwCompressDialogs::iid, dialogs.put_void())) || !dialogs)
    return E_NOINTERFACE;
  const uint32_t words[5] = {kStateMagic, kStateVersion, static_cast<uint32_t>(settings.quality),
                             static_cast<uint32_t>(settings.keyFrameInterval),
                             static_cast<uint32_t>(settings.dataRate)};
  return dialogs->SetState(words, kCompressorStateSize);
}

namespace {
// Registers one kind with the filter registry and as a creatable class.
void RegisterKind(const Kind& kind) {
  FilterTemplate t;
  t.name = kind.name;
  t.clsid = kind.clsid;
  t.category = kind.video ? CLSID_VideoCompressorCategory : CLSID_AudioCompressorCategory;
  t.merit = MERIT_DO_NOT_USE;
  t.inputs = {{kind.video ? MEDIATYPE_Video : MEDIATYPE_Audio, GUID_NULL}};
  t.autoConnect = false;  // inserted on purpose, never by intelligent connection
  t.create = [kind](IBaseFilter** out) { return CreateCompressor(kind, out); };
  RegisterFilter(t);
  RegisterPlatformClass(kind.clsid, "", [kind](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<IBaseFilter> f;
    HRESULT hr = CreateCompressor(kind, f.put());
    if (FAILED(hr)) return hr;
    return f->QueryInterface(riid, ppv);
  });
}
}  // namespace

namespace {
std::mutex gAddedLock;
// The video compressors other areas registered.
std::vector<CompressorInfo>& AddedCompressors() {
  static std::vector<CompressorInfo> added;
  return added;
}
}  // namespace

bool VideoCompressorFourCC(REFCLSID clsid, uint32_t* fourcc) {
  for (const CompressorInfo& c : Compressors())
    if (c.clsid == clsid && c.category == CLSID_VideoCompressorCategory) {
      *fourcc = c.fourcc;
      return true;
    }
  std::lock_guard guard(gAddedLock);
  for (const CompressorInfo& c : AddedCompressors())
    if (c.clsid == clsid) {
      *fourcc = c.fourcc;
      return true;
    }
  return false;
}

HRESULT RegisterVideoCompressor(const VideoCompressorKind& k) {
  if (k.name.empty() || !avcodec_find_encoder_by_name(k.encoder.c_str())) return VFW_E_NOT_FOUND;
  // The kind's texts live as long as the program.
  static std::deque<std::u16string> texts;
  static std::deque<std::string> encoders;
  std::lock_guard guard(gAddedLock);
  auto keep = [](const std::u16string& s) -> const char16_t* {
    if (s.empty()) return nullptr;
    texts.push_back(s);
    return texts.back().c_str();
  };
  encoders.push_back(k.encoder);
  Kind kind{keep(k.name), k.clsid, true, encoders.back().c_str(), k.fourcc, AV_PIX_FMT_YUV420P,
            k.options, false, keep(k.streamName), keep(k.note)};
  AddedCompressors().push_back(InfoOf(kind));
  RegisterKind(kind);
  return S_OK;
}

void RegisterCompressorFilters() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCompressorPages();
    for (const Kind* k : AvailableKinds()) RegisterKind(*k);
  });
}

}  // namespace dshow
