// The IV50 stand-in: its compression filter on the platform's compressor machinery, the encode
// options that tune that filter's encoder, and the output namer. Registered when the library
// loads.
#include <cmath>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "com/com.h"
#include "com/object.h"
#include "core/bstr.h"
#include "dshow/encoders.h"
#include "dshow/interfaces.h"
#include "dshow/mediatype.h"
#include "dshow/pictureadjust.h"
#include "iv50/iv50.h"

namespace {

// The filters of a graph (given as any of its interfaces).
std::vector<ComPtr<IBaseFilter>> FiltersOf(IUnknown* graph) {
  std::vector<ComPtr<IBaseFilter>> out;
  ComPtr<IFilterGraph> g;
  if (!graph || FAILED(graph->QueryInterface(IFilterGraph::iid, g.put_void())) || !g) return out;
  ComPtr<IEnumFilters> e;
  if (FAILED(g->EnumFilters(e.put())) || !e) return out;
  IBaseFilter* f = nullptr;
  ULONG got = 0;
  while (e->Next(1, &f, &got) == S_OK && got == 1) out.push_back(ComPtr<IBaseFilter>::Attach(f));
  return out;
}

// The encoder's quantiser for a quality of 0 .. 10000 (31 coarsest, 2 finest).
int Quantiser(int32_t quality) {
  if (quality == 0) quality = 7500;
  return static_cast<int>(std::lround(31.0 - quality * 29.0 / 10000.0));
}

struct EncodeValues {
  int32_t keyFrameRate = 15;
  int32_t dataRate = 1000;
  int32_t quality = 7500;
  int32_t accessKey = 0;
  int32_t viewport1 = 0;
  int32_t viewport2 = 0;
  int16_t transparency = 1;
  int32_t accessKeyEnabled = 0;
  int16_t scalability = 0;
  int32_t quickCompress = 0;
};

// A value's get and put under the object's lock; a put outside the range fails.
template <class T>
HRESULT ReadValue(std::mutex& lock, const T& field, T* out) {
  if (!out) return E_POINTER;
  std::lock_guard guard(lock);
  *out = field;
  return S_OK;
}
template <class T>
HRESULT WriteValue(std::mutex& lock, T* field, T value, bool valid) {
  if (!valid) return E_INVALIDARG;
  std::lock_guard guard(lock);
  *field = value;
  return S_OK;
}

// A 1/0 switch where -1 also means on.
bool Switch(int32_t value, int32_t* out) {
  if (value != 0 && value != 1 && value != -1) return false;
  *out = value != 0 ? 1 : 0;
  return true;
}

class EncodeOptions : public ComObject<IV50EncodeOptions> {
 public:
  HRESULT ApplyFinish() override {
    std::lock_guard lock(lock_);
    if (!compressor_) return E_UNEXPECTED;
    ComPtr<dshow::IEncoderTuning> tuning;
    if (FAILED(compressor_->QueryInterface(dshow::IEncoderTuning::iid, tuning.put_void())) || !tuning) return E_NOINTERFACE;
    const EncodeValues v = values_;
    return tuning->SetTuning([v](AVCodecContext* ctx) {
      ctx->gop_size = v.keyFrameRate > 0 ? v.keyFrameRate : 12;
      if (v.dataRate > 0) {
        ctx->flags &= ~AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = 0;
        ctx->bit_rate = static_cast<int64_t>(v.dataRate) * 1000;
        // A tolerance of a quarter second's bits holds the rate on short clips too (the codec's
        // default lets a clip of a few seconds run at several times the rate asked).
        ctx->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(ctx->bit_rate / 4, INT32_MAX));
        ctx->rc_max_rate = ctx->bit_rate * 2;
        ctx->rc_buffer_size = static_cast<int>(std::min<int64_t>(ctx->bit_rate * 2, INT32_MAX));
      } else {
        ctx->bit_rate = 0;
        ctx->rc_max_rate = 0;
        ctx->rc_buffer_size = 0;
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * Quantiser(v.quality);
      }
      // Quick compress: no motion search beyond the zero vector, the simplest mode decision.
      av_opt_set(ctx->priv_data, "motion_est", v.quickCompress ? "zero" : "epzs", 0);
      av_opt_set(ctx->priv_data, "mbd", v.quickCompress ? "simple" : "bits", 0);
    });
  }
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT ApplyBegin() override { return S_OK; }
  HRESULT Reserved2() override { return E_NOTIMPL; }
  HRESULT AttachGraph(IUnknown* graph) override {
    std::lock_guard lock(lock_);
    compressor_ = nullptr;
    for (const auto& f : FiltersOf(graph)) {
      CLSID clsid;
      if (SUCCEEDED(f->GetClassID(&clsid)) && clsid == iv50::CLSID_StandInCompressor) {
        compressor_ = f;
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  }

#define IV50_PAIR(Name, Type, field, check)                                                       \
  HRESULT get_##Name(Type* value) override { return ReadValue(lock_, values_.field, value); }     \
  HRESULT put_##Name(Type value) override { return WriteValue(lock_, &values_.field, value, (check)); }
  IV50_PAIR(KeyFrameRate, int32_t, keyFrameRate, value >= 0)
  IV50_PAIR(DataRate, int32_t, dataRate, value >= 0)
  IV50_PAIR(Quality, int32_t, quality, value >= 0 && value <= 10000)
  IV50_PAIR(AccessKey, int32_t, accessKey, true)
  IV50_PAIR(ViewportSize1, int32_t, viewport1, value == 0 || value == 64 || value == 128 || value == 256)
  IV50_PAIR(ViewportSize2, int32_t, viewport2, value == 0 || value == 64 || value == 128 || value == 256)
  IV50_PAIR(Transparency, int16_t, transparency, value >= 1 && value <= 3)
#undef IV50_PAIR

  HRESULT Unused1(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused2(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused3(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused4(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused5(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused6(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused7(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused8(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused9(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused10(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused11(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused12(int32_t) override { return E_NOTIMPL; }

  HRESULT get_AccessKeyEnabled(int32_t* value) override { return ReadValue(lock_, values_.accessKeyEnabled, value); }
  HRESULT put_AccessKeyEnabled(int32_t value) override {
    int32_t on = 0;
    const bool valid = Switch(value, &on);
    return WriteValue(lock_, &values_.accessKeyEnabled, on, valid);
  }
  HRESULT get_Scalability(int16_t* value) override { return ReadValue(lock_, values_.scalability, value); }
  HRESULT put_Scalability(int16_t value) override {
    int32_t on = 0;
    const bool valid = Switch(value, &on);
    return WriteValue(lock_, &values_.scalability, static_cast<int16_t>(on ? -1 : 0), valid);
  }
  HRESULT get_QuickCompress(int32_t* value) override { return ReadValue(lock_, values_.quickCompress, value); }
  HRESULT put_QuickCompress(int32_t value) override {
    return WriteValue(lock_, &values_.quickCompress, value, value == 0 || value == 1);
  }

 private:

  std::mutex lock_;
  EncodeValues values_;
  ComPtr<IBaseFilter> compressor_;
};

// The filter upstream of an input pin (null when it is not connected).
ComPtr<IBaseFilter> Upstream(IPin* input) {
  ComPtr<IPin> peer;
  if (!input || FAILED(input->ConnectedTo(peer.put())) || !peer) return nullptr;
  PIN_INFO info;
  if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return nullptr;
  return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

ComPtr<IPin> FirstInput(IBaseFilter* f) {
  ComPtr<IEnumPins> e;
  if (FAILED(f->EnumPins(e.put())) || !e) return nullptr;
  IPin* p = nullptr;
  ULONG got = 0;
  while (e->Next(1, &p, &got) == S_OK && got == 1) {
    ComPtr<IPin> pin = ComPtr<IPin>::Attach(p);
    PIN_DIRECTION dir;
    if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == PINDIR_INPUT) return pin;
  }
  return nullptr;
}

// The file a decoder's data comes from (its source filter's file), or "".
std::string SourceFileOf(IBaseFilter* decoder) {
  ComPtr<IBaseFilter> f = decoder;
  for (int depth = 0; f && depth < 8; ++depth) {
    ComPtr<IFileSourceFilter> source;
    if (SUCCEEDED(f->QueryInterface(IFileSourceFilter::iid, source.put_void())) && source) {
      char16_t* name = nullptr;
      if (FAILED(source->GetCurFile(&name, nullptr)) || !name) return {};
      std::string path = Utf16ToUtf8(name);
      CoTaskMemFree(name);
      return path;
    }
    f = Upstream(FirstInput(f.Get()).Get());
  }
  return {};
}

// Whether a file's video stream carries the stand-in's stream name.
bool NamedByStandIn(const std::string& path) {
  AVFormatContext* fmt = nullptr;
  if (path.empty() || avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return false;
  bool named = false;
  const std::string name = Utf16ToUtf8(iv50::kCompressorName);
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    if (fmt->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    AVDictionaryEntry* t = av_dict_get(fmt->streams[i]->metadata, "title", nullptr, 0);
    named = t && name == t->value;
    break;
  }
  avformat_close_input(&fmt);
  return named;
}

// Whether the decoder is given an IV50 stream.
bool DecodesIv50(IBaseFilter* decoder) {
  ComPtr<IPin> in = FirstInput(decoder);
  AM_MEDIA_TYPE mt;
  if (!in || FAILED(in->ConnectionMediaType(&mt))) return false;
  const VIDEOINFOHEADER* vih = VideoInfo(mt);
  bool iv50 = vih && (vih->bmiHeader.biCompression | 0x20202020u) == (MakeFourCC('I', 'V', '5', '0') | 0x20202020u);
  FreeMediaType(mt);
  return iv50;
}

class DecodeOptions : public ComObject<IV50DecodeOptions> {
 public:
  HRESULT ApplyFinish() override { return Commit(); }
  HRESULT DefaultFinish() override {
    std::lock_guard lock(lock_);
    accessKey_ = accessKeyEnabled_ = scalability_ = 0;
    adjust_ = dshow::PictureAdjustment{};
    return decoder_ ? decoder_->SetAdjustment(adjust_) : S_OK;
  }
  HRESULT ApplyBegin() override { return S_OK; }
  HRESULT DefaultBegin() override { return S_OK; }
  HRESULT AttachGraph(IUnknown* graph) override {
    std::lock_guard lock(lock_);
    decoder_ = nullptr;
    for (const auto& f : FiltersOf(graph)) {
      ComPtr<dshow::IPictureAdjustment> adjust;
      if (FAILED(f->QueryInterface(dshow::IPictureAdjustment::iid, adjust.put_void())) || !adjust) continue;
      if (!FirstInput(f.Get()) || !Upstream(FirstInput(f.Get()).Get())) continue;
      if (DecodesIv50(f.Get()) || NamedByStandIn(SourceFileOf(f.Get()))) {
        decoder_ = adjust;
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  }

  HRESULT get_AccessKey(int32_t* v) override { return ReadValue(lock_, accessKey_, v); }
  HRESULT put_AccessKey(int32_t v) override { return WriteValue(lock_, &accessKey_, v, true); }
  HRESULT get_AccessKeyEnabled(int32_t* v) override { return ReadValue(lock_, accessKeyEnabled_, v); }
  HRESULT put_AccessKeyEnabled(int32_t v) override {
    int32_t on = 0;
    const bool valid = Switch(v, &on);
    return WriteValue(lock_, &accessKeyEnabled_, on, valid);
  }
  HRESULT get_Scalability(int32_t* v) override { return ReadValue(lock_, scalability_, v); }
  HRESULT put_Scalability(int32_t v) override { return WriteValue(lock_, &scalability_, v, v >= 0 && v <= 3); }
  HRESULT Unused1(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused2(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused3(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused4(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused5(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused6(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused7(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused8(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused9(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused10(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused11(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused12(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused13(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused14(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused15(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused16(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused17(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused18(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused19(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused20(int32_t) override { return E_NOTIMPL; }
  HRESULT Unused21(int32_t*) override { return E_NOTIMPL; }
  HRESULT Unused22(int32_t) override { return E_NOTIMPL; }
  HRESULT get_Brightness(int32_t* v) override { return ReadValue(lock_, adjust_.brightness, v); }
  HRESULT put_Brightness(int32_t v) override { return WriteValue(lock_, &adjust_.brightness, v, v >= -255 && v <= 255); }
  HRESULT get_Saturation(int32_t* v) override { return ReadValue(lock_, adjust_.saturation, v); }
  HRESULT put_Saturation(int32_t v) override { return WriteValue(lock_, &adjust_.saturation, v, v >= -255 && v <= 255); }
  HRESULT get_Contrast(int32_t* v) override { return ReadValue(lock_, adjust_.contrast, v); }
  HRESULT put_Contrast(int32_t v) override { return WriteValue(lock_, &adjust_.contrast, v, v >= -255 && v <= 255); }

 private:
  HRESULT Commit() {
    std::lock_guard lock(lock_);
    if (!decoder_) return E_UNEXPECTED;
    return decoder_->SetAdjustment(adjust_);
  }

  std::mutex lock_;
  int32_t accessKey_ = 0;
  int32_t accessKeyEnabled_ = 0;
  int32_t scalability_ = 0;
  dshow::PictureAdjustment adjust_;
  ComPtr<dshow::IPictureAdjustment> decoder_;
};

class OutputNamer : public ComObject<IV50OutputNamer> {
 public:
  HRESULT Reserved1() override { return E_NOTIMPL; }
  HRESULT SetFileName(const char16_t* fileName) override {
    name_ = fileName ? fileName : u"";
    return S_OK;
  }
  HRESULT SetGraph(IUnknown* graph) override {
    graph_ = graph;
    return S_OK;
  }
  HRESULT ApplyToGraph(IUnknown* graph) override {
    if (!graph) graph = graph_.Get();
    for (const auto& f : FiltersOf(graph)) {
      ComPtr<IFileSinkFilter> sink;
      if (SUCCEEDED(f->QueryInterface(IFileSinkFilter::iid, sink.put_void())) && sink)
        return sink->SetFileName(name_.c_str(), nullptr);
    }
    return VFW_E_NOT_FOUND;
  }

 private:
  std::u16string name_;
  ComPtr<IUnknown> graph_;
};

template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  ComPtr<T> object = MakeComObject<T>();
  return object->QueryInterface(riid, ppv);
}

const bool registered = [] {
  dshow::VideoCompressorKind kind;
  kind.name = iv50::kCompressorName;
  kind.clsid = iv50::CLSID_StandInCompressor;
  kind.encoder = "mpeg4";
  kind.fourcc = MakeFourCC('F', 'M', 'P', '4');
  kind.options = dshow::kOptionQuality | dshow::kOptionKeyFrames | dshow::kOptionDataRate;
  kind.streamName = iv50::kCompressorName;
  kind.note = u"This filter stands in for the IV50 codec: it writes MPEG-4 Part 2 video labelled "
              u"FMP4. Key-frame rate, data rate, quality and quick compress take effect; "
              u"scalability, transparency, the access key and the viewport sizes are kept but "
              u"have no MPEG-4 counterpart.";
  dshow::RegisterVideoCompressor(kind);
  RegisterPlatformClass(CLSID_IV50EncodeOptions, "", Create<EncodeOptions>);
  RegisterPlatformClass(CLSID_IV50DecodeOptions, "", Create<DecodeOptions>);
  RegisterPlatformClass(CLSID_IV50OutputNamer, "", Create<OutputNamer>);
  return true;
}();

}  // namespace
