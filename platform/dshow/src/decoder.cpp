// Decoders on libavcodec, named by codec family, with their output converted by swscale
// (video: uncompressed RGB frames, bottom-up as device-independent bitmaps) or swresample
// (audio: 16-bit PCM).
#include <algorithm>
#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "dshow/pictureadjust.h"
#include "internal.h"

namespace dshow {

int ScaleIntoDib(SwsContext* sws, const uint8_t* const src[], const int srcStride[], int srcHeight, uint8_t* dst,
                 int stride, int height, bool bottomUp, std::vector<uint8_t>& scratch) {
  if (height <= 0 || stride <= 0) return 0;
  if (!bottomUp && stride >= 64) {  // top-down rows of some width: scaled in place
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    const int strides[4] = {stride, 0, 0, 0};
    return sws_scale(sws, src, srcStride, 0, srcHeight, planes, strides);
  }
  const int padded = (stride + 63) / 64 * 64;
  scratch.resize(static_cast<size_t>(padded) * height + 64);
  uint8_t* planes[4] = {scratch.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {padded, 0, 0, 0};
  const int rows = sws_scale(sws, src, srcStride, 0, srcHeight, planes, strides);
  for (int y = 0; y < height; ++y)
    std::memcpy(dst + static_cast<size_t>(stride) * (bottomUp ? height - 1 - y : y),
                scratch.data() + static_cast<size_t>(padded) * y, static_cast<size_t>(stride));
  return rows;
}

namespace {

using FamilyTest = bool (*)(AVCodecID id, uint32_t fourcc);

uint32_t Upper(uint32_t fourcc) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t c = static_cast<uint8_t>(fourcc >> (8 * i));
    if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 32);
    out |= static_cast<uint32_t>(c) << (8 * i);
  }
  return out;
}

bool OneOf(uint32_t fourcc, std::initializer_list<const char*> codes) {
  uint32_t up = Upper(fourcc);
  for (const char* c : codes)
    if (up == MakeFourCC(c[0], c[1], c[2], c[3])) return true;
  return false;
}

bool IsDivxFamily(AVCodecID id, uint32_t fcc) {
  return id == AV_CODEC_ID_MPEG4 && OneOf(fcc, {"DIVX", "DX50", "XVID", "FMP4", "MP4V", "DIV1"});
}
bool IsDivx3Family(AVCodecID id, uint32_t fcc) {
  return id == AV_CODEC_ID_MSMPEG4V3 && OneOf(fcc, {"DIV3", "DIV4", "DIV5", "DIV6", "AP41", "COL1"});
}
bool IsMsMpeg4Family(AVCodecID id, uint32_t fcc) {
  return (id == AV_CODEC_ID_MSMPEG4V1 || id == AV_CODEC_ID_MSMPEG4V2 || id == AV_CODEC_ID_MSMPEG4V3) &&
         !IsDivx3Family(id, fcc);
}
bool IsMjpegFamily(AVCodecID id, uint32_t) { return id == AV_CODEC_ID_MJPEG; }
bool IsMpegVideoFamily(AVCodecID id, uint32_t) {
  return id == AV_CODEC_ID_MPEG1VIDEO || id == AV_CODEC_ID_MPEG2VIDEO;
}
bool IsH264Family(AVCodecID id, uint32_t) { return id == AV_CODEC_ID_H264; }
bool IsPictureFamily(AVCodecID id, uint32_t) {
  return id == AV_CODEC_ID_BMP || id == AV_CODEC_ID_GIF || id == AV_CODEC_ID_PNG ||
         id == AV_CODEC_ID_TIFF || id == AV_CODEC_ID_WEBP;
}
bool IsOtherVideo(AVCodecID id, uint32_t fcc) {
  return id != AV_CODEC_ID_RAWVIDEO && !IsDivxFamily(id, fcc) && !IsDivx3Family(id, fcc) &&
         !IsMsMpeg4Family(id, fcc) && !IsMjpegFamily(id, fcc) && !IsMpegVideoFamily(id, fcc) &&
         !IsH264Family(id, fcc) && !IsPictureFamily(id, fcc);
}
bool IsMp3Family(AVCodecID id, uint32_t) { return id == AV_CODEC_ID_MP3; }
bool IsMpegAudioFamily(AVCodecID id, uint32_t) {
  return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2;
}
bool IsAacFamily(AVCodecID id, uint32_t) { return id == AV_CODEC_ID_AAC; }
bool IsOtherAudio(AVCodecID id, uint32_t fcc) {
  return id != AV_CODEC_ID_PCM_S16LE && id != AV_CODEC_ID_PCM_U8 && !IsMp3Family(id, fcc) &&
         !IsMpegAudioFamily(id, fcc) && !IsAacFamily(id, fcc);
}

struct DecoderKind {
  const char16_t* name;
  CLSID clsid;
  bool video;
  uint32_t merit;
  FamilyTest family;
};

const DecoderKind kDecoders[] = {
    {u"DivX Decoder Filter", MakeGuid("{78766964-0000-0010-8000-00AA00389B71}"), true, MERIT_PREFERRED, IsDivxFamily},
    {u"DivX MPEG-4 Version 3 Decoder", MakeGuid("{7A3C1E41-5B2D-4E6F-8A91-3C5D7E9F1A01}"), true, MERIT_PREFERRED, IsDivx3Family},
    {u"Microsoft MPEG-4 Video Decompressor", MakeGuid("{82CCD3E0-F71A-11D0-9FE5-00609778EA66}"), true, MERIT_PREFERRED, IsMsMpeg4Family},
    {u"MJPEG Decompressor", MakeGuid("{301056D0-6DFF-11D2-9EEB-006008039E37}"), true, MERIT_PREFERRED, IsMjpegFamily},
    {u"MPEG Video Decoder", MakeGuid("{FEB50740-7BEF-11CE-9BD9-0000E202599C}"), true, MERIT_PREFERRED, IsMpegVideoFamily},
    {u"H.264 Video Decoder", MakeGuid("{7A3C1E41-5B2D-4E6F-8A91-3C5D7E9F1A02}"), true, MERIT_PREFERRED, IsH264Family},
    {u"Image Decompressor", MakeGuid("{7A3C1E41-5B2D-4E6F-8A91-3C5D7E9F1A03}"), true, MERIT_PREFERRED, IsPictureFamily},
    {u"AVI Decompressor", MakeGuid("{CF49D4E0-1115-11CE-B03A-0020AF0BA770}"), true, MERIT_NORMAL, IsOtherVideo},
    {u"MPEG Layer-3 Decoder", MakeGuid("{38BE3000-DBF4-11D0-860E-00A024CFEF6D}"), false, MERIT_PREFERRED, IsMp3Family},
    {u"MPEG Audio Decoder", MakeGuid("{4A2286E0-7BEF-11CE-9BD9-0000E202599C}"), false, MERIT_PREFERRED, IsMpegAudioFamily},
    {u"AAC Audio Decoder", MakeGuid("{7A3C1E41-5B2D-4E6F-8A91-3C5D7E9F1A04}"), false, MERIT_PREFERRED, IsAacFamily},
    {u"Audio Decompressor", MakeGuid("{6A08CF80-0E18-11CF-A24D-0020AFD79767}"), false, MERIT_NORMAL, IsOtherAudio},
};

struct VideoOut {
  GUID subtype;
  int bits;
  AVPixelFormat fmt;
};
const VideoOut kVideoOut[] = {
    {MEDIASUBTYPE_RGB32, 32, AV_PIX_FMT_BGRA},
    {MEDIASUBTYPE_RGB24, 24, AV_PIX_FMT_BGR24},
    {MEDIASUBTYPE_RGB565, 16, AV_PIX_FMT_RGB565LE},
    {MEDIASUBTYPE_RGB555, 16, AV_PIX_FMT_RGB555LE},
};

class Decoder : public TransformFilter, public IPictureAdjustment {
 public:
  explicit Decoder(const DecoderKind& kind) : TransformFilter(kind.name, kind.clsid), kind_(kind) {}
  ~Decoder() override { Close(); }
  DSHOW_FORWARD_IUNKNOWN(TransformFilter)

  // IPictureAdjustment (video decoders)
  HRESULT SetAdjustment(const PictureAdjustment& a) override {
    for (int32_t v : {a.brightness, a.contrast, a.saturation})
      if (v < -255 || v > 255) return E_INVALIDARG;
    std::lock_guard lock(adjustLock_);
    adjust_ = a;
    return S_OK;
  }
  HRESULT GetAdjustment(PictureAdjustment* a) override {
    if (!a) return E_POINTER;
    std::lock_guard lock(adjustLock_);
    *a = adjust_;
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == IPictureAdjustment::iid && kind_.video) {
      *ppv = static_cast<IPictureAdjustment*>(this);
      AddRef();
      return S_OK;
    }
    return TransformFilter::QueryOther(riid, ppv);
  }

 public:

  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    if (mt.majortype != (kind_.video ? MEDIATYPE_Video : MEDIATYPE_Audio)) return VFW_E_TYPE_NOT_ACCEPTED;
    AVCodecParameters* par = avcodec_parameters_alloc();
    bool ok = CodecFromMediaType(mt, par);
    uint32_t fourcc = 0;
    IsFourCCSubtype(mt.subtype, &fourcc);
    if (kind_.video && VideoInfo(mt)) fourcc = VideoInfo(mt)->bmiHeader.biCompression;
    ok = ok && kind_.family(par->codec_id, fourcc) && avcodec_find_decoder(par->codec_id) != nullptr;
    avcodec_parameters_free(&par);
    return ok ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT GetOutputType(int position, MediaType* mt) override {
    MediaType in = input_->CurrentType();
    if (kind_.video) {
      const VIDEOINFOHEADER* vih = VideoInfo(in);
      if (!vih || position >= static_cast<int>(std::size(kVideoOut))) return VFW_S_NO_MORE_ITEMS;
      const auto& o = kVideoOut[position];
      *mt = MakeRgbVideoType(vih->bmiHeader.biWidth, std::abs(vih->bmiHeader.biHeight), o.bits,
                             vih->AvgTimePerFrame, o.subtype);
      return S_OK;
    }
    const WAVEFORMATEX* wf = WaveFormat(in);
    if (!wf || position > 0) return VFW_S_NO_MORE_ITEMS;
    *mt = MakePcmAudioType(static_cast<int>(wf->nSamplesPerSec), std::min<int>(wf->nChannels, 2), 16);
    return S_OK;
  }

  HRESULT CheckTransform(const AM_MEDIA_TYPE& in, const AM_MEDIA_TYPE& out) override {
    if (kind_.video) {
      const VIDEOINFOHEADER* a = VideoInfo(in);
      const VIDEOINFOHEADER* b = VideoInfo(out);
      if (!a || !b || out.majortype != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
      if (b->bmiHeader.biWidth != a->bmiHeader.biWidth ||
          std::abs(b->bmiHeader.biHeight) != std::abs(a->bmiHeader.biHeight))
        return VFW_E_TYPE_NOT_ACCEPTED;
      for (const auto& o : kVideoOut)
        if (o.subtype == out.subtype && o.bits == b->bmiHeader.biBitCount) return S_OK;
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const WAVEFORMATEX* a = WaveFormat(in);
    const WAVEFORMATEX* b = WaveFormat(out);
    if (!a || !b || !IsPcmAudio(out) || b->wBitsPerSample != 16 ||
        b->nSamplesPerSec != a->nSamplesPerSec || b->nChannels != std::min<int>(a->nChannels, 2))
      return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }

  LONG OutputBufferSize() override {
    MediaType out = output_->CurrentType();
    if (const VIDEOINFOHEADER* v = VideoInfo(out)) return static_cast<LONG>(v->bmiHeader.biSizeImage);
    return 1 << 18;
  }

  HRESULT Receive(Pin*, IMediaSample* sample) override {
    std::lock_guard lock(codecLock_);
    if (!ctx_) {
      HRESULT hr = Open();
      if (FAILED(hr)) return hr;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    AVPacket* pkt = av_packet_alloc();
    pkt->data = data;
    pkt->size = sample->GetActualDataLength();
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT th = sample->GetTime(&start, &stop);
    pkt->pts = SUCCEEDED(th) ? start : AV_NOPTS_VALUE;
    if (decodingOrder_) pkt->dts = pkt->pts;
    if (sample->IsSyncPoint() == S_OK) pkt->flags |= AV_PKT_FLAG_KEY;
    int err = avcodec_send_packet(ctx_, pkt);
    av_packet_free(&pkt);
    if (err >= 0 && decodingOrder_ && kind_.video && SUCCEEDED(th)) {
      decodingTimes_.push_back(start);
      drained_ = 0;
      // (A decoder that keeps back this many pictures does not exist: times it never asks for
      // are let go.)
      if (decodingTimes_.size() > 256) decodingTimes_.pop_front();
    }
    if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_INVALIDDATA) {
      // A packet the decoder cannot take is skipped like a damaged frame.
    }
    return DeliverFrames();
  }

 protected:
  HRESULT OnPause() override {
    // Only a stopped decoder opens its codec here. A running one is paused while the streaming
    // thread may hold the codec lock and wait downstream for the graph to run again (a paused
    // renderer): taking the lock then would never return.
    if (State() != State_Stopped) return S_OK;
    std::lock_guard lock(codecLock_);
    return ctx_ ? S_OK : Open();
  }
  void Drain() override {
    std::lock_guard lock(codecLock_);
    if (!ctx_) return;
    avcodec_send_packet(ctx_, nullptr);
    DeliverFrames();
    avcodec_flush_buffers(ctx_);
    decodingTimes_.clear();
    drained_ = 0;
  }
  void Reset() override {
    std::lock_guard lock(codecLock_);
    if (ctx_) avcodec_flush_buffers(ctx_);
    // The next run starts a new segment (after a seek, at another place of the file).
    decodingTimes_.clear();
    drained_ = 0;
    nextVideo_ = 0;
    nextAudio_ = AV_NOPTS_VALUE;
  }
  void PinDisconnected(Pin* pin) override {
    if (pin == input_.get()) {
      std::lock_guard lock(codecLock_);
      Close();
    }
  }

 private:
  HRESULT Open() {
    Close();
    MediaType in = input_->CurrentType();
    AVCodecParameters* par = avcodec_parameters_alloc();
    if (!CodecFromMediaType(in, par)) {
      avcodec_parameters_free(&par);
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    ctx_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx_ || avcodec_parameters_to_context(ctx_, par) < 0) {
      avcodec_parameters_free(&par);
      Close();
      return VFW_E_NO_DECOMPRESSOR;
    }
    avcodec_parameters_free(&par);
    ctx_->pkt_timebase = AVRational{1, static_cast<int>(UNITS)};
    ctx_->thread_count = 0;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) {
      Close();
      return VFW_E_NO_DECOMPRESSOR;
    }
    frame_ = av_frame_alloc();
    decodingTimes_.clear();
    drained_ = 0;
    decodingOrder_ = FedByAviSplitter();
    return S_OK;
  }

  // Whether the input comes from an AVI file's splitter: its samples carry the times of their
  // chunks, that is of the pictures in decoding order.
  bool FedByAviSplitter() {
    ComPtr<IPin> peer = input_->Peer();
    PIN_INFO info;
    if (!peer || FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return false;
    ComPtr<IBaseFilter> up = ComPtr<IBaseFilter>::Attach(info.pFilter);
    CLSID clsid{};
    return SUCCEEDED(up->GetClassID(&clsid)) && clsid == CLSID_AviSplitter;
  }

  void Close() {
    if (ctx_) avcodec_free_context(&ctx_);
    if (frame_) av_frame_free(&frame_);
    if (sws_) sws_freeContext(sws_);
    sws_ = nullptr;
    if (swr_) swr_free(&swr_);
  }

  HRESULT DeliverFrames() {
    HRESULT result = S_OK;
    while (true) {
      int err = avcodec_receive_frame(ctx_, frame_);
      if (err < 0) break;
      HRESULT hr = kind_.video ? DeliverVideo() : DeliverAudio();
      av_frame_unref(frame_);
      if (FAILED(hr)) return hr;
      if (hr == S_FALSE) result = S_FALSE;
    }
    return result;
  }

  HRESULT DeliverVideo() {
    MediaType out = output_->CurrentType();
    const VIDEOINFOHEADER* vih = VideoInfo(out);
    if (!vih) return VFW_E_NOT_CONNECTED;
    int width = vih->bmiHeader.biWidth, height = std::abs(vih->bmiHeader.biHeight);
    AVPixelFormat fmt = static_cast<AVPixelFormat>(PixelFormatOfSubtype(out.subtype, vih->bmiHeader.biBitCount));
    REFERENCE_TIME start = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp
                                                                           : frame_->pts;
    if (decodingOrder_) {
      const REFERENCE_TIME shown = ShownAt();
      if (shown != AV_NOPTS_VALUE) start = shown;
    }
    if (start == AV_NOPTS_VALUE) start = nextVideo_;
    REFERENCE_TIME stop = start + std::max<REFERENCE_TIME>(vih->AvgTimePerFrame, 1);
    nextVideo_ = stop;
    if (stop <= 0) return S_OK;  // before the start of the segment (after a seek)
    sws_ = sws_getCachedContext(sws_, frame_->width, frame_->height,
                                static_cast<AVPixelFormat>(frame_->format), width, height, fmt,
                                SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws_) return E_FAIL;
    Adjust();
    IMediaSample* sample = nullptr;
    LONG size = static_cast<LONG>(vih->bmiHeader.biSizeImage);
    HRESULT hr = output_->GetDeliveryBuffer(size, &sample);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    sample->GetPointer(&dst);
    ScaleIntoDib(sws_, frame_->data, frame_->linesize, frame_->height, dst,
                 DibStride(width, vih->bmiHeader.biBitCount), height, vih->bmiHeader.biHeight > 0, scratch_);
    sample->SetActualDataLength(size);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(true);
    hr = output_->Deliver(sample);
    sample->Release();
    return hr;
  }

  // The time of the picture just decoded when the input times are decoding times (AVI): every
  // chunk holds one frame's place, and the pictures come out in the order they are shown, each
  // as the chunk that gives it out goes in (at the end: as the stream drains). A decoder that
  // holds back n pictures (B-frames) gives out the picture of the chunk n before that chunk.
  // Pictures the decoder drops (B-frames whose reference lies before a seek) leave no gap.
  // AV_NOPTS_VALUE when the time is not known.
  REFERENCE_TIME ShownAt() {
    const size_t held = static_cast<size_t>(std::max(ctx_->has_b_frames, 0));
    size_t at = decodingTimes_.size() + drained_;  // the chunk that gave the picture out
    if (frame_->pkt_dts != AV_NOPTS_VALUE) {
      auto it = std::lower_bound(decodingTimes_.begin(), decodingTimes_.end(), frame_->pkt_dts);
      if (it == decodingTimes_.end() || *it != frame_->pkt_dts) return AV_NOPTS_VALUE;
      at = static_cast<size_t>(it - decodingTimes_.begin());
    } else {
      ++drained_;
    }
    if (at < held || at - held >= decodingTimes_.size()) return AV_NOPTS_VALUE;
    const REFERENCE_TIME shown = decodingTimes_[at - held];
    // Later pictures come out at later chunks: the times before this one are no longer needed.
    decodingTimes_.erase(decodingTimes_.begin(), decodingTimes_.begin() + static_cast<std::ptrdiff_t>(at - held));
    return shown;
  }

  HRESULT DeliverAudio() {
    MediaType out = output_->CurrentType();
    const WAVEFORMATEX* wf = WaveFormat(out);
    if (!wf) return VFW_E_NOT_CONNECTED;
    if (!swr_) {
      AVChannelLayout outLayout;
      av_channel_layout_default(&outLayout, wf->nChannels);
      if (swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_S16, static_cast<int>(wf->nSamplesPerSec),
                              &frame_->ch_layout, static_cast<AVSampleFormat>(frame_->format),
                              frame_->sample_rate, 0, nullptr) < 0 ||
          swr_init(swr_) < 0) {
        if (swr_) swr_free(&swr_);
        return VFW_E_UNSUPPORTED_AUDIO;
      }
    }
    int maxOut = swr_get_out_samples(swr_, frame_->nb_samples);
    IMediaSample* sample = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(maxOut * wf->nBlockAlign, &sample);
    if (FAILED(hr)) return hr;
    BYTE* dst = nullptr;
    sample->GetPointer(&dst);
    uint8_t* outPlanes[1] = {dst};
    int got = swr_convert(swr_, outPlanes, maxOut, const_cast<const uint8_t**>(frame_->extended_data),
                          frame_->nb_samples);
    if (got <= 0) {
      sample->Release();
      return S_OK;
    }
    sample->SetActualDataLength(got * wf->nBlockAlign);
    REFERENCE_TIME start = frame_->best_effort_timestamp != AV_NOPTS_VALUE ? frame_->best_effort_timestamp
                                                                           : frame_->pts;
    if (start == AV_NOPTS_VALUE || (nextAudio_ != AV_NOPTS_VALUE && std::llabs(start - nextAudio_) < 20000))
      start = nextAudio_ != AV_NOPTS_VALUE ? nextAudio_ : 0;
    REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(got) * UNITS / wf->nSamplesPerSec;
    nextAudio_ = stop;
    if (stop <= 0) {
      sample->Release();
      return S_OK;
    }
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(true);
    hr = output_->Deliver(sample);
    sample->Release();
    return hr;
  }

  // Brightness, contrast and saturation as the conversion's 16.16 corrections (on every frame
  // while any is set, so that a new conversion context gets them too).
  void Adjust() {
    PictureAdjustment a;
    {
      std::lock_guard lock(adjustLock_);
      a = adjust_;
    }
    if (a == PictureAdjustment{} && applied_ == a) return;
    int* invTable = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(sws_, &invTable, &srcRange, &table, &dstRange, &brightness, &contrast,
                                 &saturation) < 0)
      return;  // not a YUV to RGB conversion
    sws_setColorspaceDetails(sws_, invTable, srcRange, table, dstRange, (a.brightness * 65536) / 255,
                             ((a.contrast + 255) * 65536) / 255, ((a.saturation + 255) * 65536) / 255);
    applied_ = a;
  }

  DecoderKind kind_;
  std::mutex adjustLock_;
  PictureAdjustment adjust_;
  PictureAdjustment applied_;
  std::mutex codecLock_;
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwsContext* sws_ = nullptr;
  std::vector<uint8_t> scratch_;  // scaled rows on their way into a bitmap
  SwrContext* swr_ = nullptr;
  REFERENCE_TIME nextVideo_ = 0;
  REFERENCE_TIME nextAudio_ = AV_NOPTS_VALUE;
  bool decodingOrder_ = false;                // input times are decoding times (AVI)
  std::deque<REFERENCE_TIME> decodingTimes_;  // those of the chunks gone in, in their order
  size_t drained_ = 0;                        // pictures given out since the last chunk went in
};

// Converts between uncompressed RGB formats (and sizes) with swscale.
class ColourConverter : public TransformFilter {
 public:
  ColourConverter() : TransformFilter(u"Color Space Converter", CLSID_Colour) {}
  ~ColourConverter() override { if (sws_) sws_freeContext(sws_); }

  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return IsUncompressedVideo(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT GetOutputType(int position, MediaType* mt) override {
    MediaType in = input_->CurrentType();
    const VIDEOINFOHEADER* vih = VideoInfo(in);
    if (!vih || position >= static_cast<int>(std::size(kVideoOut))) return VFW_S_NO_MORE_ITEMS;
    const auto& o = kVideoOut[position];
    *mt = MakeRgbVideoType(vih->bmiHeader.biWidth, std::abs(vih->bmiHeader.biHeight), o.bits,
                           vih->AvgTimePerFrame, o.subtype);
    return S_OK;
  }
  HRESULT CheckTransform(const AM_MEDIA_TYPE& in, const AM_MEDIA_TYPE& out) override {
    if (!IsUncompressedVideo(in) || !IsUncompressedVideo(out)) return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
  }
  LONG OutputBufferSize() override {
    MediaType out = output_->CurrentType();
    const VIDEOINFOHEADER* v = VideoInfo(out);
    return v ? static_cast<LONG>(v->bmiHeader.biSizeImage) : 0;
  }
  HRESULT Receive(Pin*, IMediaSample* sample) override {
    MediaType in = input_->CurrentType(), out = output_->CurrentType();
    const VIDEOINFOHEADER* a = VideoInfo(in);
    const VIDEOINFOHEADER* b = VideoInfo(out);
    if (!a || !b) return VFW_E_NOT_CONNECTED;
    int w1 = a->bmiHeader.biWidth, h1 = std::abs(a->bmiHeader.biHeight);
    int w2 = b->bmiHeader.biWidth, h2 = std::abs(b->bmiHeader.biHeight);
    auto f1 = static_cast<AVPixelFormat>(PixelFormatOfSubtype(in.subtype, a->bmiHeader.biBitCount));
    auto f2 = static_cast<AVPixelFormat>(PixelFormatOfSubtype(out.subtype, b->bmiHeader.biBitCount));
    sws_ = sws_getCachedContext(sws_, w1, h1, f1, w2, h2, f2, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws_) return E_FAIL;
    IMediaSample* o = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(static_cast<LONG>(b->bmiHeader.biSizeImage), &o);
    if (FAILED(hr)) return hr;
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    sample->GetPointer(&src);
    o->GetPointer(&dst);
    int s1 = DibStride(w1, a->bmiHeader.biBitCount), s2 = DibStride(w2, b->bmiHeader.biBitCount);
    // Both sides are device-independent bitmaps: rows keep their order.
    const uint8_t* sp[4] = {src, nullptr, nullptr, nullptr};
    int ss[4] = {s1, 0, 0, 0};
    ScaleIntoDib(sws_, sp, ss, h1, dst, s2, h2, (a->bmiHeader.biHeight > 0) != (b->bmiHeader.biHeight > 0),
                 scratch_);
    o->SetActualDataLength(static_cast<LONG>(b->bmiHeader.biSizeImage));
    REFERENCE_TIME t0, t1;
    if (SUCCEEDED(sample->GetTime(&t0, &t1))) o->SetTime(&t0, &t1);
    o->SetSyncPoint(true);
    hr = output_->Deliver(o);
    o->Release();
    return hr;
  }

 private:
  SwsContext* sws_ = nullptr;
  std::vector<uint8_t> scratch_;  // scaled rows on their way into a bitmap
};

}  // namespace

void RegisterDecoderFilters() {
  for (const auto& k : kDecoders) {
    FilterTemplate t;
    t.name = k.name;
    t.clsid = k.clsid;
    t.category = CLSID_LegacyAmFilterCategory;
    t.merit = k.merit;
    t.inputs = {{k.video ? MEDIATYPE_Video : MEDIATYPE_Audio, GUID_NULL}};
    DecoderKind kind = k;
    t.create = [kind](IBaseFilter** out) -> HRESULT {
      *out = MakeComObject<Decoder>(kind).Detach();
      return S_OK;
    };
    AddSystemTemplate(std::move(t));
  }
  FilterTemplate c;
  c.name = u"Color Space Converter";
  c.clsid = CLSID_Colour;
  c.category = CLSID_LegacyAmFilterCategory;
  c.merit = MERIT_UNLIKELY;
  c.inputs = {{MEDIATYPE_Video, GUID_NULL}};
  c.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<ColourConverter>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(c));
}

}  // namespace dshow
