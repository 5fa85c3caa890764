// Compressors and the system device enumerator: listing, monikers and display names, each
// compressor inserted in front of the AVI mux writing a file ffprobe reads, refusal of a frame
// size, and the option pages reaching the encoder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <array>
#include <optional>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "caption_fit.h"
#include "dshow/baseclasses.h"
#include "dshow/encoders.h"
#include "dshow/filters.h"
#include "dshow/propertypages.h"
#include "dshow_test_util.h"
#include "internal.h"

using namespace dshow_test;
using dshow::DeviceDisplayName;
using dshow::SetCompressorDialogPresenter;
using dshow::kCompressorStateSize;

namespace {

constexpr CLSID kVideo = CLSID_VideoCompressorCategory;
constexpr CLSID kAudio = CLSID_AudioCompressorCategory;

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "dshow_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the test program
}

ComPtr<ICreateDevEnum> DevEnum() {
  ComPtr<ICreateDevEnum> e;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                             ICreateDevEnum::iid, e.put_void()),
            S_OK);
  return e;
}

std::vector<ComPtr<IMoniker>> Monikers(REFCLSID category) {
  std::vector<ComPtr<IMoniker>> out;
  ComPtr<IEnumMoniker> e;
  if (DevEnum()->CreateClassEnumerator(category, e.put(), 0) != S_OK) return out;
  IMoniker* m = nullptr;
  ULONG got = 0;
  while (e->Next(1, &m, &got) == S_OK && got == 1) out.push_back(ComPtr<IMoniker>::Attach(m));
  return out;
}

std::string ReadBag(IMoniker* m, const char16_t* key) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(m->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.put_void()))) return "<no bag>";
  Variant v;
  if (FAILED(bag->Read(key, &v, nullptr)) || v.vt() != VT_BSTR) return "<none>";
  return v.bstr().Utf8();
}

std::u16string DisplayName(IMoniker* m) {
  char16_t* text = nullptr;
  EXPECT_EQ(m->GetDisplayName(nullptr, nullptr, &text), S_OK);
  std::u16string s = text ? text : u"";
  CoTaskMemFree(text);
  return s;
}

HRESULT Parse(const std::u16string& name, IMoniker** out) {
  ComPtr<IBindCtx> ctx;
  CreateBindCtx(0, ctx.put());
  ULONG eaten = 0;
  return MkParseDisplayName(ctx.Get(), name.c_str(), &eaten, out);
}

// A compressor by its friendly name, bound through the enumerator's display name.
ComPtr<IBaseFilter> Bind(REFCLSID category, const std::u16string& name) {
  ComPtr<IMoniker> m;
  if (FAILED(Parse(DeviceDisplayName(category, name, GUID_NULL, true), m.put()))) return nullptr;
  ComPtr<IBaseFilter> f;
  m->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void());
  return f;
}

// Builds source -> (splitter, decoder) -> AVI Mux -> File writer, then puts the compressors in
// between the decoders and the mux as the codec dialog does.
ComPtr<IGraphBuilder> CompressionGraph(const std::string& source, const std::string& target,
                                       IBaseFilter* video, IBaseFilter* audio) {
  std::filesystem::remove(target);
  ComPtr<IGraphBuilder> g = NewGraph();
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  if (!mux) return nullptr;
  ComPtr<IBaseFilter> writer = FilterNamed(g.Get(), "File writer");
  EXPECT_EQ(g->ConnectDirect(PinNamed(mux.Get(), "AVI Out").Get(), PinNamed(writer.Get(), "in").Get(), nullptr), S_OK);
  ComPtr<IBaseFilter> src;
  EXPECT_EQ(g->AddSourceFilter(U(source).c_str(), nullptr, src.put()), S_OK);
  if (!src) return nullptr;
  EXPECT_TRUE(SUCCEEDED(g->Render(PinNamed(src.Get(), "Output").Get())));
  for (auto [compressor, major, name] : {std::tuple{video, MEDIATYPE_Video, u"Video Compressor Filter"},
                                         std::tuple{audio, MEDIATYPE_Audio, u"Audio Compressor Filter"}}) {
    if (!compressor) continue;
    ComPtr<IPin> muxPin;
    for (auto& p : PinsOf(mux.Get())) {
      AM_MEDIA_TYPE mt;
      if (SUCCEEDED(p->ConnectionMediaType(&mt)) && mt.majortype == major) muxPin = p;
      FreeMediaType(mt);
    }
    EXPECT_TRUE(muxPin) << "no mux input of the stream";
    if (!muxPin) return nullptr;
    ComPtr<IPin> upstream = Peer(muxPin.Get());
    EXPECT_EQ(g->Disconnect(upstream.Get()), S_OK);
    EXPECT_EQ(g->Disconnect(muxPin.Get()), S_OK);
    EXPECT_EQ(g->AddFilter(compressor, name), S_OK);
    EXPECT_EQ(g->Connect(upstream.Get(), PinNamed(compressor, "XForm In").Get()), S_OK);
    EXPECT_EQ(g->Connect(PinNamed(compressor, "XForm Out").Get(), muxPin.Get()), S_OK);
  }
  return g;
}

std::string FixtureOf(int width, int height, bool audio) {
  fixtures::Options o;
  o.width = width;
  o.height = height;
  o.audio = audio;
  return fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("enc-fixtures"), o);
}

// Compresses the 160x120 test clip (with sound when an audio compressor is given) and probes
// the file; a probe that is not ok when the graph could not be built.
fixtures::Probe CompressAndProbe(IBaseFilter* video, IBaseFilter* audio, const std::string& target) {
  EXPECT_TRUE(video || audio);
  auto g = CompressionGraph(FixtureOf(160, 120, audio != nullptr), target, video, audio);
  if (!g) return {};
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  return fixtures::RunFfprobe(target);
}

// The key-frame flags of the video packets, as ffprobe lists them ("K" or "_" per packet).
std::string KeyFrames(const std::string& path) {
  std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" + path + "'";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char line[64];
    while (fgets(line, sizeof line, p)) out += line[0] == 'K' ? 'K' : '_';
    pclose(p);
  }
  return out;
}

// Seconds of sound in the first audio stream of a file, decoded with the FFmpeg libraries.
double DecodedAudioSeconds(const std::string& path) {
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
  double seconds = -1;
  int index = avformat_find_stream_info(fmt, nullptr) >= 0
                  ? av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)
                  : -1;
  const AVCodec* codec = index >= 0 ? avcodec_find_decoder(fmt->streams[index]->codecpar->codec_id) : nullptr;
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (ctx && avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar) >= 0 &&
      avcodec_open2(ctx, codec, nullptr) >= 0) {
    int64_t samples = 0;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
      while (avcodec_receive_frame(ctx, frame) >= 0) samples += frame->nb_samples;
    };
    while (av_read_frame(fmt, pkt) >= 0) {
      if (pkt->stream_index == index && avcodec_send_packet(ctx, pkt) >= 0) drain();
      av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    seconds = static_cast<double>(samples) / ctx->sample_rate;
    av_frame_free(&frame);
    av_packet_free(&pkt);
  }
  avcodec_free_context(&ctx);
  avformat_close_input(&fmt);
  return seconds;
}

// --- Listing ----------------------------------------------------------------------------

TEST(DeviceEnumerator, ListsTheCompressorsOfEachCategoryWithNamesThatBind) {
  struct Case {
    CLSID category;
    std::vector<std::string> mustHave;
  };
  const Case cases[] = {
      {kVideo, {"Motion JPEG Compressor", "MPEG-4 Video Compressor", "Microsoft MPEG-4 Video Codec V2",
                "Microsoft MPEG-4 Video Codec V3", "Windows Media Video 7", "Windows Media Video 8",
                "CVID Compressor", "MSVC Compressor", "HFYU Lossless Compressor",
                "FFV1 Lossless Compressor"}},
      {kAudio, {"PCM", "Microsoft ADPCM", "IMA ADPCM", "MPEG Layer-3", "MPEG Layer-2",
                "Windows Media Audio V2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(GuidToString(c.category));
    std::vector<std::string> names;
    for (auto& m : Monikers(c.category)) {
      std::string name = ReadBag(m.Get(), u"FriendlyName");
      names.push_back(name);
      // The display name parses back into a moniker of the same device, which binds to a
      // compressor of that name with the transform pins.
      ComPtr<IMoniker> again;
      ASSERT_EQ(Parse(DisplayName(m.Get()), again.put()), S_OK) << name;
      EXPECT_EQ(again->IsEqual(m.Get()), S_OK);
      EXPECT_EQ(DisplayName(again.Get()), DisplayName(m.Get()));
      ComPtr<IBaseFilter> f;
      ASSERT_EQ(again->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void()), S_OK) << name;
      EXPECT_TRUE(PinNamed(f.Get(), "XForm In")) << name;
      EXPECT_TRUE(PinNamed(f.Get(), "XForm Out")) << name;
      CLSID clsid;
      f->GetClassID(&clsid);
      EXPECT_EQ(ReadBag(m.Get(), u"CLSID"), GuidToString(clsid));
    }
    for (const auto& want : c.mustHave)
      EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "names repeat";
  }
}

// The compressors are registered filters too: a graph's registered-filter collection adds
// them by name, and no other registered filter shares a compressor's name.
TEST(DeviceEnumerator, CompressorsAreRegisteredFiltersWithUniqueNames) {
  auto registered = dshow::RegisteredFilters();
  for (const auto& c : dshow::Compressors()) {
    std::string name = Utf16ToUtf8(c.name);
    SCOPED_TRACE(name);
    EXPECT_EQ(std::count_if(registered.begin(), registered.end(),
                            [&](const dshow::FilterTemplate& t) { return t.name == c.name; }),
              1);
    ComPtr<IGraphBuilder> g = NewGraph();
    ComPtr<IBaseFilter> f = AddRegistered(g.Get(), name);
    ASSERT_TRUE(f);
    EXPECT_EQ(NameOf(f.Get()), name);
    EXPECT_TRUE(PinNamed(f.Get(), "XForm In") && PinNamed(f.Get(), "XForm Out"));
  }
}

TEST(DeviceEnumerator, VideoCompressorsTellTheirFourCC) {
  auto monikers = Monikers(kVideo);
  ASSERT_FALSE(monikers.empty());
  for (auto& m : monikers) {
    if (ReadBag(m.Get(), u"FriendlyName") == "Motion JPEG Compressor") {
      EXPECT_EQ(ReadBag(m.Get(), u"FccHandler"), "MJPG");
    }
  }
  EXPECT_EQ(ReadBag(monikers[0].Get(), u"NoSuchEntry"), "<none>");
}

TEST(DeviceEnumerator, CategoryWithoutMembersAnswersFalseAndNoEnumerator) {
  ComPtr<IEnumMoniker> e;
  EXPECT_EQ(DevEnum()->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.put(), 0), S_FALSE);
  EXPECT_FALSE(e);
  EXPECT_EQ(DevEnum()->CreateClassEnumerator(kVideo, nullptr, 0), E_POINTER);
}

TEST(DeviceEnumerator, OtherFiltersOfTheLegacyCategoryRoundTrip) {
  auto monikers = Monikers(CLSID_LegacyAmFilterCategory);
  ASSERT_FALSE(monikers.empty());
  std::u16string name = DisplayName(monikers[0].Get());
  EXPECT_EQ(name.rfind(u"@device:sw:", 0), 0u);
  ComPtr<IMoniker> again;
  ASSERT_EQ(Parse(name, again.put()), S_OK);
  ComPtr<IBaseFilter> f;
  EXPECT_EQ(again->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void()), S_OK);
  EXPECT_EQ(ReadBag(again.Get(), u"FriendlyName"), ReadBag(monikers[0].Get(), u"FriendlyName"));
}

TEST(DeviceEnumerator, EnumeratorSkipResetAndClone) {
  ComPtr<IEnumMoniker> e;
  ASSERT_EQ(DevEnum()->CreateClassEnumerator(kAudio, e.put(), 0), S_OK);
  size_t total = Monikers(kAudio).size();
  ASSERT_GE(total, 2u);
  EXPECT_EQ(e->Skip(1), S_OK);
  ComPtr<IEnumMoniker> clone;
  ASSERT_EQ(e->Clone(clone.put()), S_OK);
  IMoniker* batch[64] = {};
  ULONG got = 0;
  EXPECT_EQ(clone->Next(64, batch, &got), S_FALSE);
  EXPECT_EQ(got, total - 1);
  for (ULONG i = 0; i < got; ++i) batch[i]->Release();
  EXPECT_EQ(e->Skip(1000), S_FALSE);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Next(1, batch, &got), S_OK);
  EXPECT_EQ(got, 1u);
  batch[0]->Release();
}

TEST(DeviceEnumerator, DisplayNamesThatDoNotParseOrBind) {
  const std::u16string cat = Utf8ToUtf16(GuidToString(kVideo));
  const std::u16string bad[] = {
      u"@device:",
      u"@device:xx:" + cat + u"\\Motion JPEG Compressor",
      u"@device:cm:{not-a-guid}\\Motion JPEG Compressor",
      u"@device:cm:" + cat,
      u"@device:cm:" + cat + u"\\",
      u"@device:sw:" + cat + u"\\not-a-clsid",
  };
  for (const auto& name : bad) {
    ComPtr<IMoniker> m;
    EXPECT_TRUE(FAILED(Parse(name, m.put()))) << Utf16ToUtf8(name);
    EXPECT_FALSE(m);
  }
  // Well formed, but no such compressor: parses, then binds to nothing.
  ComPtr<IMoniker> m;
  ASSERT_EQ(Parse(u"@device:cm:" + cat + u"\\No Such Compressor", m.put()), S_OK);
  ComPtr<IBaseFilter> f;
  EXPECT_EQ(m->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void()), MK_E_NOOBJECT);
  ComPtr<IPropertyBag> bag;
  EXPECT_EQ(m->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.put_void()), MK_E_NOOBJECT);
  // Names compare without regard to case.
  ComPtr<IMoniker> lower;
  ASSERT_EQ(Parse(u"@device:cm:" + cat + u"\\motion jpeg compressor", lower.put()), S_OK);
  EXPECT_EQ(lower->BindToObject(nullptr, nullptr, IBaseFilter::iid, f.put_void()), S_OK);
}

// --- Compression into AVI ------------------------------------------------------------------

struct VideoCase {
  const char16_t* name;
  const char* codec;  // ffprobe's codec name
  const char* tag;    // ffprobe's codec tag
  bool intra;         // every frame a key frame (else only some, the first among them)
  friend void PrintTo(const VideoCase& c, std::ostream* os) { *os << Utf16ToUtf8(c.name); }
};

class VideoCompression : public testing::TestWithParam<VideoCase> {};

TEST_P(VideoCompression, WritesAnAviWithEveryFrame) {
  const VideoCase& c = GetParam();
  std::string target = Target(std::string("video-") + c.codec + ".avi");
  fixtures::Probe probe = CompressAndProbe(Bind(kVideo, c.name).Get(), nullptr, target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const fixtures::ProbedStream* v = probe.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->codecName, c.codec);
  EXPECT_EQ(v->codecTag, c.tag);
  EXPECT_EQ(v->width, 160);
  EXPECT_EQ(v->height, 120);
  EXPECT_EQ(v->frames, 25);
  // Key frames marked as the coding made them.
  std::string keys = KeyFrames(target);
  ASSERT_EQ(keys.size(), 25u);
  EXPECT_EQ(keys[0], 'K');
  EXPECT_EQ(keys.find('_') == std::string::npos, c.intra) << keys;
  // The pictures survive the coding: the frame numbers drawn into them read back in order.
  std::vector<int> numbers = fixtures::DecodedFrameNumbers(target);
  ASSERT_EQ(numbers.size(), 25u);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(numbers[static_cast<size_t>(i)], i) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Compressors, VideoCompression,
    testing::Values(VideoCase{u"Motion JPEG Compressor", "mjpeg", "MJPG", true},
                    VideoCase{u"MPEG-4 Video Compressor", "mpeg4", "FMP4", false},
                    VideoCase{u"Microsoft MPEG-4 Video Codec V2", "msmpeg4v2", "MP42", false},
                    VideoCase{u"Microsoft MPEG-4 Video Codec V3", "msmpeg4v3", "MP43", false},
                    VideoCase{u"Windows Media Video 7", "wmv1", "WMV1", false},
                    VideoCase{u"Windows Media Video 8", "wmv2", "WMV2", false},
                    VideoCase{u"CVID Compressor", "cinepak", "cvid", false},
                    VideoCase{u"MSVC Compressor", "msvideo1", "MSVC", false},
                    VideoCase{u"HFYU Lossless Compressor", "huffyuv", "HFYU", true},
                    VideoCase{u"FFV1 Lossless Compressor", "ffv1", "FFV1", false}),
    [](const testing::TestParamInfo<VideoCase>& info) { return std::string(info.param.codec); });

struct AudioCase {
  const char16_t* name;
  const char* codec;
  bool framed;  // frames of varying size: the stream header counts frames and gives the length
  friend void PrintTo(const AudioCase& c, std::ostream* os) { *os << Utf16ToUtf8(c.name); }
};

class AudioCompression : public testing::TestWithParam<AudioCase> {};

TEST_P(AudioCompression, WritesAnAviWithTheWholeSound) {
  const AudioCase& c = GetParam();
  std::string target = Target(std::string("audio-") + c.codec + ".avi");
  fixtures::Probe probe = CompressAndProbe(nullptr, Bind(kAudio, c.name).Get(), target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const fixtures::ProbedStream* a = probe.First("audio");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->codecName, c.codec);
  EXPECT_GT(a->sampleRate, 0);
  EXPECT_GE(a->channels, 1);
  // The whole second of sound (the last frame padded, the encoders' delay added).
  EXPECT_NEAR(DecodedAudioSeconds(target), 1.0, 0.1);
  if (c.framed) {
    EXPECT_NEAR(a->duration, 1.0, 0.1);
  }
  const fixtures::ProbedStream* v = probe.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->frames, 25);
}

INSTANTIATE_TEST_SUITE_P(Compressors, AudioCompression,
                         testing::Values(AudioCase{u"PCM", "pcm_s16le", false},
                                         AudioCase{u"Microsoft ADPCM", "adpcm_ms", false},
                                         AudioCase{u"IMA ADPCM", "adpcm_ima_wav", false},
                                         AudioCase{u"MPEG Layer-3", "mp3", true},
                                         AudioCase{u"MPEG Layer-2", "mp2", true},
                                         AudioCase{u"Windows Media Audio V2", "wmav2", false}),
                         [](const testing::TestParamInfo<AudioCase>& info) {
                           return std::string(info.param.codec);
                         });

// A test source pin with one media type, and a sink that keeps what the compressor delivers.
class TypeSource : public dshow::Filter {
 public:
  explicit TypeSource(MediaType type)
      : Filter(u"Test Source", MakeGuid("{5B2E7C14-0A93-4D6F-B8E1-2C7F9A3D6E58}")), out_(this, u"Out") {
    out_.SetTypes({std::move(type)});
  }
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }
  dshow::OutputPin out_;
};

class PacketSink : public dshow::Filter {
 public:
  PacketSink()
      : Filter(u"Packet Sink", MakeGuid("{A81F4D36-2C5B-4E97-9D0A-6B3E8F1C7A25}")),
        in_(this, u"In", [](const AM_MEDIA_TYPE&) { return S_OK; }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  HRESULT Receive(dshow::Pin*, IMediaSample* sample) override {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    packets.emplace_back(data, data + sample->GetActualDataLength());
    REFERENCE_TIME a = 0, b = 0;
    sample->GetTime(&a, &b);
    if (packets.size() == 1) first = a;
    last = b;
    return S_OK;
  }
  std::vector<std::vector<uint8_t>> packets;
  REFERENCE_TIME first = 0, last = 0;
  dshow::InputPin in_;
};

// A source of one type, a compressor and a packet sink connected and paused, driven by hand:
// Deliver samples, then Finish (end of stream, stop). The chain is taken apart at the end.
class DirectChain {
 public:
  DirectChain(const AM_MEDIA_TYPE& input, ComPtr<IBaseFilter> compressor)
      : source(MakeComObject<TypeSource>(MediaType(input))),
        sink(MakeComObject<PacketSink>()),
        compressor_(std::move(compressor)) {
    connected = compressor_ &&
                PinNamed(source.Get(), "Out")->Connect(PinNamed(compressor_.Get(), "XForm In").Get(), nullptr) == S_OK &&
                PinNamed(compressor_.Get(), "XForm Out")->Connect(PinNamed(sink.Get(), "In").Get(), nullptr) == S_OK;
    for (IBaseFilter* f : Filters()) connected = connected && f->Pause() == S_OK;
  }
  ~DirectChain() {
    for (IBaseFilter* f : Filters())
      for (auto& pin : PinsOf(f)) pin->Disconnect();
  }
  // A sample of `size` bytes filled by `fill`, with its times, delivered to the compressor.
  HRESULT Deliver(LONG size, REFERENCE_TIME start, REFERENCE_TIME stop, const std::function<void(BYTE*)>& fill) {
    IMediaSample* sample = nullptr;
    HRESULT hr = source->out_.GetDeliveryBuffer(size, &sample);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    fill(data);
    sample->SetActualDataLength(size);
    sample->SetTime(&start, &stop);
    hr = source->out_.Deliver(sample);
    sample->Release();
    return hr;
  }
  void Finish() {
    EXPECT_EQ(source->out_.DeliverEndOfStream(), S_OK);
    for (IBaseFilter* f : Filters()) f->Stop();
  }
  // The type the compressor delivered (freed by the caller's MediaType).
  MediaType OutputType() {
    AM_MEDIA_TYPE mt;
    PinNamed(sink.Get(), "In")->ConnectionMediaType(&mt);
    MediaType out(mt);
    FreeMediaType(mt);
    return out;
  }

  ComPtr<TypeSource> source;
  ComPtr<PacketSink> sink;
  bool connected = false;

 private:
  std::vector<IBaseFilter*> Filters() {
    return {sink.Get(), compressor_.Get(), source.Get()};
  }
  ComPtr<IBaseFilter> compressor_;
};

// Samples decoded from packets of the stream the media type describes.
int64_t DecodedSamples(const AM_MEDIA_TYPE& mt, const std::vector<std::vector<uint8_t>>& packets) {
  const WAVEFORMATEX* wf = WaveFormat(mt);
  if (!wf) return -1;
  const AVCodecTag* const tags[] = {avformat_get_riff_audio_tags(), nullptr};
  AVCodecID id = wf->wFormatTag == WAVE_FORMAT_PCM ? AV_CODEC_ID_PCM_S16LE : av_codec_get_id(tags, wf->wFormatTag);
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!ctx) return -1;
  ctx->sample_rate = static_cast<int>(wf->nSamplesPerSec);
  av_channel_layout_default(&ctx->ch_layout, wf->nChannels);
  ctx->block_align = wf->nBlockAlign;
  ctx->bit_rate = static_cast<int64_t>(wf->nAvgBytesPerSec) * 8;
  ctx->bits_per_coded_sample = wf->wBitsPerSample;
  if (wf->cbSize) {
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(wf->cbSize + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(ctx->extradata, mt.pbFormat + sizeof(WAVEFORMATEX), wf->cbSize);
    ctx->extradata_size = wf->cbSize;
  }
  int64_t samples = -1;
  if (avcodec_open2(ctx, codec, nullptr) >= 0) {
    samples = 0;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (const auto& p : packets) {
      av_new_packet(pkt, static_cast<int>(p.size()));
      std::memcpy(pkt->data, p.data(), p.size());
      if (avcodec_send_packet(ctx, pkt) >= 0)
        while (avcodec_receive_frame(ctx, frame) >= 0) samples += frame->nb_samples;
      av_packet_unref(pkt);
    }
    avcodec_send_packet(ctx, nullptr);
    while (avcodec_receive_frame(ctx, frame) >= 0) samples += frame->nb_samples;
    av_frame_free(&frame);
    av_packet_free(&pkt);
  }
  avcodec_free_context(&ctx);
  return samples;
}

// Sound of any rate, 8 or 16 bits, mono or stereo goes in; what comes out decodes to the same
// length, at a rate the coding knows, with times that span it.
TEST(Compression, AudioOfEveryShapeCodesToTheSameLength) {
  struct Shape {
    int rate, channels, bits;
  };
  const Shape shapes[] = {{22050, 1, 8}, {48000, 2, 16}, {8000, 1, 16}, {44100, 2, 8}};
  for (const auto& c : dshow::Compressors()) {
    if (c.category != kAudio) continue;
    for (const auto& shape : shapes) {
      SCOPED_TRACE(Utf16ToUtf8(c.name) + " " + std::to_string(shape.rate) + " Hz " +
                   std::to_string(shape.channels) + " ch " + std::to_string(shape.bits) + " bits");
      DirectChain chain(dshow::MakePcmAudioType(shape.rate, shape.channels, shape.bits), Bind(kAudio, c.name));
      ASSERT_TRUE(chain.connected);
      // Half a second of a tone, in tenths of a second.
      const int block = shape.channels * shape.bits / 8;
      int64_t total = 0;
      for (int piece = 0; piece < 5; ++piece) {
        int count = shape.rate / 10;
        auto tone = [&](BYTE* data) {
          for (int i = 0; i < count; ++i) {
            double v = std::sin(2 * 3.14159265 * 440 * static_cast<double>(total + i) / shape.rate) * 0.5;
            for (int ch = 0; ch < shape.channels; ++ch) {
              if (shape.bits == 8) {
                data[i * block + ch] = static_cast<uint8_t>(128 + v * 127);
              } else {
                auto x = static_cast<int16_t>(v * 32767);
                std::memcpy(data + i * block + ch * 2, &x, 2);
              }
            }
          }
        };
        EXPECT_EQ(chain.Deliver(count * block, total * UNITS / shape.rate, (total + count) * UNITS / shape.rate, tone),
                  S_OK);
        total += count;
      }
      chain.Finish();

      MediaType out = chain.OutputType();
      const WAVEFORMATEX* wf = WaveFormat(out);
      ASSERT_TRUE(wf);
      EXPECT_EQ(wf->wFormatTag, c.fourcc);
      EXPECT_EQ(wf->nChannels, shape.channels);
      // The coders' delay and last frame add a little (at 8000 Hz a layer 3 frame is 72 ms).
      double seconds = static_cast<double>(DecodedSamples(out, chain.sink->packets)) / wf->nSamplesPerSec;
      EXPECT_GE(seconds, 0.49);
      EXPECT_LE(seconds, 0.66);
      double span = static_cast<double>(chain.sink->last - chain.sink->first) / UNITS;
      EXPECT_GE(span, 0.49);
      EXPECT_LE(span, 0.66);
    }
  }
}

// The colour at the centres of the top and the bottom half of the first picture coded in the
// packets (RGB, 3 bytes each), or nothing when they do not decode.
std::optional<std::pair<std::array<int, 3>, std::array<int, 3>>> TopAndBottom(
    const AM_MEDIA_TYPE& mt, const std::vector<std::vector<uint8_t>>& packets) {
  const VIDEOINFOHEADER* vih = VideoInfo(mt);
  if (!vih) return std::nullopt;
  const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
  const AVCodec* codec = avcodec_find_decoder(av_codec_get_id(tags, vih->bmiHeader.biCompression));
  AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
  if (!ctx) return std::nullopt;
  ctx->width = vih->bmiHeader.biWidth;
  ctx->height = std::abs(vih->bmiHeader.biHeight);
  ctx->codec_tag = vih->bmiHeader.biCompression;
  ctx->bits_per_coded_sample = vih->bmiHeader.biBitCount;
  size_t extra = mt.cbFormat - sizeof(VIDEOINFOHEADER);
  if (extra) {
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(ctx->extradata, mt.pbFormat + sizeof(VIDEOINFOHEADER), extra);
    ctx->extradata_size = static_cast<int>(extra);
  }
  std::optional<std::pair<std::array<int, 3>, std::array<int, 3>>> result;
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (avcodec_open2(ctx, codec, nullptr) >= 0) {
    for (size_t i = 0; i < packets.size() && !result; ++i) {
      av_new_packet(pkt, static_cast<int>(packets[i].size()));
      std::memcpy(pkt->data, packets[i].data(), packets[i].size());
      if (avcodec_send_packet(ctx, pkt) >= 0 && avcodec_receive_frame(ctx, frame) >= 0) {
        int w = frame->width, h = frame->height;
        std::vector<uint8_t> rgb(static_cast<size_t>(w * h * 3));
        SwsContext* sws = sws_getContext(w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                         AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* dst[4] = {rgb.data()};
        int dstStride[4] = {w * 3};
        sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
        sws_freeContext(sws);
        auto at = [&](int y) {
          const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * w + w / 2) * 3;
          return std::array<int, 3>{p[0], p[1], p[2]};
        };
        result = std::make_pair(at(h / 4), at(h * 3 / 4));
      }
      av_packet_unref(pkt);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  return result;
}

// A red top half over a blue bottom half in every input layout the compressors take (bottom-up
// and top-down RGB of each depth, packed and planar YUV): the coded picture keeps it upright and
// its colours in place.
TEST(Compression, EveryInputLayoutKeepsThePictureUpright) {
  struct Layout {
    const char* what;
    GUID subtype;
    int bits;
    AVPixelFormat format;
    bool topDown;
    bool swapChroma;
  };
  const Layout layouts[] = {
      {"RGB32", MEDIASUBTYPE_RGB32, 32, AV_PIX_FMT_BGRA, false, false},
      {"RGB24", MEDIASUBTYPE_RGB24, 24, AV_PIX_FMT_BGR24, false, false},
      {"RGB24 top-down", MEDIASUBTYPE_RGB24, 24, AV_PIX_FMT_BGR24, true, false},
      {"RGB565", MEDIASUBTYPE_RGB565, 16, AV_PIX_FMT_RGB565LE, false, false},
      {"RGB555", MEDIASUBTYPE_RGB555, 16, AV_PIX_FMT_RGB555LE, false, false},
      {"YUY2", MEDIASUBTYPE_YUY2, 16, AV_PIX_FMT_YUYV422, true, false},
      {"IYUV", MEDIASUBTYPE_IYUV, 12, AV_PIX_FMT_YUV420P, true, false},
      {"YV12", MEDIASUBTYPE_YV12, 12, AV_PIX_FMT_YUV420P, true, true},
  };
  const int w = 64, h = 48;
  std::vector<uint8_t> picture(static_cast<size_t>(w * h * 3));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = picture.data() + (static_cast<size_t>(y) * w + x) * 3;
      p[0] = y < h / 2 ? 255 : 0;  // red on top
      p[2] = y < h / 2 ? 0 : 255;  // blue below
    }
  for (const char16_t* name : {u"FFV1 Lossless Compressor", u"Motion JPEG Compressor"}) {
    for (const auto& l : layouts) {
      SCOPED_TRACE(Utf16ToUtf8(name) + " " + l.what);
      MediaType in = dshow::MakeRgbVideoType(w, h, l.bits, UNITS / 25, l.subtype);
      auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(in.pbFormat);
      int size = av_image_get_buffer_size(l.format, w, h, 1);
      if (l.format == AV_PIX_FMT_YUYV422 || l.format == AV_PIX_FMT_YUV420P) {
        uint32_t fourcc = 0;
        IsFourCCSubtype(l.subtype, &fourcc);
        vih->bmiHeader.biCompression = fourcc;
      } else {
        size = DibStride(w, l.bits) * h;
        if (l.topDown) vih->bmiHeader.biHeight = -h;
      }
      vih->bmiHeader.biSizeImage = static_cast<uint32_t>(size);
      in.lSampleSize = static_cast<uint32_t>(size);

      DirectChain chain(in, Bind(kVideo, name));
      ASSERT_TRUE(chain.connected);
      // Our picture into the layout (rows of bottom-up RGB from the last in memory).
      auto draw = [&](BYTE* data) {
        uint8_t* planes[4] = {};
        int strides[4] = {};
        if (l.format == AV_PIX_FMT_YUYV422 || l.format == AV_PIX_FMT_YUV420P) {
          av_image_fill_arrays(planes, strides, data, l.format, w, h, 1);
          if (l.swapChroma) std::swap(planes[1], planes[2]);
        } else {
          int stride = DibStride(w, l.bits);
          planes[0] = l.topDown ? data : data + static_cast<ptrdiff_t>(stride) * (h - 1);
          strides[0] = l.topDown ? stride : -stride;
        }
        SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_RGB24, w, h, l.format, SWS_POINT, nullptr, nullptr, nullptr);
        const uint8_t* src[4] = {picture.data()};
        int srcStride[4] = {w * 3};
        sws_scale(sws, src, srcStride, 0, h, planes, strides);
        sws_freeContext(sws);
      };
      EXPECT_EQ(chain.Deliver(size, 0, UNITS / 25, draw), S_OK);
      chain.Finish();
      auto colours = TopAndBottom(chain.OutputType(), chain.sink->packets);
      ASSERT_TRUE(colours);
      auto [top, bottom] = *colours;
      EXPECT_GT(top[0], 180);
      EXPECT_LT(top[2], 80);
      EXPECT_LT(bottom[0], 80);
      EXPECT_GT(bottom[2], 180);
    }
  }
}

// Types whose header contradicts itself, or that are not pictures or sound the compressors
// take, are refused at connection.
TEST(Compression, InputTypesThatDoNotDescribeTheirDataAreRefused) {
  auto video = [](int width, int height, int bits, GUID subtype, int headerBits) {
    MediaType mt = dshow::MakeRgbVideoType(width, height, bits, UNITS / 25, subtype);
    reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biBitCount = static_cast<uint16_t>(headerBits);
    return mt;
  };
  auto audio = [](int channels, int bits, int blockAlign) {
    MediaType mt = dshow::MakePcmAudioType(44100, channels, bits);
    reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat)->nBlockAlign = static_cast<uint16_t>(blockAlign);
    return mt;
  };
  struct Case {
    const char* what;
    CLSID category;
    MediaType type;
    bool accepted;
  };
  const Case cases[] = {
      {"RGB24", kVideo, video(64, 48, 24, MEDIASUBTYPE_RGB24, 24), true},
      {"RGB32 claiming 24 bits", kVideo, video(64, 48, 32, MEDIASUBTYPE_RGB32, 24), false},
      {"RGB24 claiming 32 bits", kVideo, video(64, 48, 24, MEDIASUBTYPE_RGB24, 32), false},
      {"no width", kVideo, video(0, 48, 24, MEDIASUBTYPE_RGB24, 24), false},
      {"no height", kVideo, video(64, 0, 24, MEDIASUBTYPE_RGB24, 24), false},
      {"sound at a video input", kVideo, dshow::MakePcmAudioType(44100, 2, 16), false},
      {"16-bit stereo", kAudio, audio(2, 16, 4), true},
      {"16-bit stereo with 2-byte blocks", kAudio, audio(2, 16, 2), false},
      {"8-bit mono with 4-byte blocks", kAudio, audio(1, 8, 4), false},
      {"six channels", kAudio, dshow::MakePcmAudioType(44100, 6, 16), false},
      {"a picture at a sound input", kAudio, video(64, 48, 24, MEDIASUBTYPE_RGB24, 24), false},
  };
  for (const auto& c : cases) {
    const char16_t* name = c.category == kVideo ? u"Motion JPEG Compressor" : u"Microsoft ADPCM";
    ComPtr<IPin> in = PinNamed(Bind(c.category, name).Get(), "XForm In");
    EXPECT_EQ(in->QueryAccept(&c.type) == S_OK, c.accepted) << c.what;
  }
}

TEST(Compression, BothCompressorsInOneGraph) {
  fixtures::Probe probe = CompressAndProbe(Bind(kVideo, u"MPEG-4 Video Compressor").Get(),
                                           Bind(kAudio, u"MPEG Layer-3").Get(), Target("both.avi"));
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("video") && probe.First("audio"));
  EXPECT_EQ(probe.First("video")->codecName, "mpeg4");
  EXPECT_EQ(probe.First("video")->frames, 25);
  EXPECT_EQ(probe.First("audio")->codecName, "mp3");
}

// From 320x240 on, pictures are converted on several threads: the frames stay whole and in order.
TEST(Compression, LargePicturesKeepTheirFrames) {
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 0.4;
  o.audio = false;
  std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("enc-fixtures"), o);
  for (const char16_t* name : {u"Motion JPEG Compressor", u"MPEG-4 Video Compressor"}) {
    SCOPED_TRACE(Utf16ToUtf8(name));
    std::string target = Target("large.avi");
    auto g = CompressionGraph(source, target, Bind(kVideo, name).Get(), nullptr);
    ASSERT_TRUE(g);
    EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
    std::vector<int> numbers = fixtures::DecodedFrameNumbers(target);
    ASSERT_EQ(numbers.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(numbers[static_cast<size_t>(i)], i);
  }
}

// A run stopped at once and a second run from the start: the encoders start afresh and the
// second file holds every frame and the whole sound.
TEST(Compression, RunsAgainAfterAStop) {
  ComPtr<IBaseFilter> video = Bind(kVideo, u"Motion JPEG Compressor");
  ComPtr<IBaseFilter> audio = Bind(kAudio, u"Microsoft ADPCM");
  std::string target = Target("again.avi");
  auto g = CompressionGraph(FixtureOf(160, 120, true), target, video.Get(), audio.Get());
  ASSERT_TRUE(g);
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  ASSERT_EQ(mc->Run(), S_OK);
  ASSERT_EQ(mc->Stop(), S_OK);
  ASSERT_EQ(g.As<IMediaPosition>()->put_CurrentPosition(0), S_OK);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("video") && probe.First("audio"));
  EXPECT_EQ(probe.First("video")->frames, 25);
  EXPECT_EQ(probe.First("audio")->codecName, "adpcm_ms");
  EXPECT_NEAR(DecodedAudioSeconds(target), 1.0, 0.1);
}

// A pass-through filter in front of the compressor that counts the deliveries the compressor
// refused (a stopping graph's refusals aside), as the join's watch filter does.
class DeliveryWatch : public dshow::InPlaceTransformFilter {
 public:
  DeliveryWatch() : InPlaceTransformFilter(u"Delivery Watch", GUID_NULL, false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
  HRESULT Receive(dshow::Pin* pin, IMediaSample* sample) override {
    HRESULT hr = InPlaceTransformFilter::Receive(pin, sample);
    if (FAILED(hr) && hr != VFW_E_WRONG_STATE) ++refused;
    if (SUCCEEDED(hr)) ++passed;
    return hr;
  }
  std::atomic<int> refused{0};
  std::atomic<int> passed{0};
};

// A frame size the encoder cannot take: the samples are refused while the graph runs (not at
// connection), the filter in front sees the refusal, and the run ends with an error event
// carrying it; never a hang. A size the encoder takes passes every frame.
TEST(Compression, RefusedFrameSizeIsSeenInFrontAndEndsTheRunWithAnErrorEvent) {
  struct Case {
    const char16_t* name;
    int width, height;
    bool refused;
  };
  const Case cases[] = {{u"CVID Compressor", 162, 122, true},
                        {u"MSVC Compressor", 162, 122, true},
                        {u"Windows Media Video 8", 161, 121, true},
                        {u"HFYU Lossless Compressor", 161, 120, false},  // codes RGB then
                        {u"MSVC Compressor", 160, 120, false},
                        {u"MPEG-4 Video Compressor", 161, 121, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    ComPtr<IBaseFilter> compressor = Bind(kVideo, c.name);
    ASSERT_TRUE(compressor);
    std::string target = Target("refused.avi");
    auto g = CompressionGraph(FixtureOf(c.width, c.height, false), target, compressor.Get(), nullptr);
    ASSERT_TRUE(g);
    // Splice the watch in front of the compressor.
    auto watch = MakeComObject<DeliveryWatch>();
    ComPtr<IPin> in = PinNamed(compressor.Get(), "XForm In");
    ComPtr<IPin> upstream = Peer(in.Get());
    ASSERT_TRUE(upstream);
    ASSERT_EQ(g->Disconnect(upstream.Get()), S_OK);
    ASSERT_EQ(g->Disconnect(in.Get()), S_OK);
    ASSERT_EQ(g->AddFilter(watch.Get(), u"Delivery Watch"), S_OK);
    ASSERT_EQ(g->ConnectDirect(upstream.Get(), PinNamed(watch.Get(), "Input").Get(), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(PinNamed(watch.Get(), "Output").Get(), in.Get(), nullptr), S_OK);

    ComPtr<IMediaControl> mc = g.As<IMediaControl>();
    ComPtr<IMediaEvent> ev = g.As<IMediaEvent>();
    ASSERT_EQ(mc->Run(), S_OK);
    LONG code = 0, last = 0;
    LONG_PTR p1 = 0, p2 = 0;
    HRESULT reported = S_OK;
    while (SUCCEEDED(ev->GetEvent(&code, &p1, &p2, 30000))) {
      if (code == EC_ERRORABORT) reported = static_cast<HRESULT>(p1);
      ev->FreeEventParams(code, p1, p2);
      last = code;
      if (code == EC_ERRORABORT || code == EC_COMPLETE) break;
    }
    mc->Stop();
    if (c.refused) {
      EXPECT_EQ(last, EC_ERRORABORT);
      EXPECT_TRUE(FAILED(reported));
      EXPECT_NE(reported, VFW_E_WRONG_STATE);
      EXPECT_GE(watch->refused.load(), 1);
      EXPECT_EQ(watch->passed.load(), 0);
    } else {
      EXPECT_EQ(last, EC_COMPLETE);
      EXPECT_EQ(watch->refused.load(), 0);
      EXPECT_EQ(watch->passed.load(), 25);
      std::vector<int> numbers = fixtures::DecodedFrameNumbers(target);
      ASSERT_EQ(numbers.size(), 25u);
      for (int i = 0; i < 25; ++i) EXPECT_EQ(numbers[static_cast<size_t>(i)], i);
    }
  }
}

// --- Options ----------------------------------------------------------------------------

// Shows the option page through a presenter that fills in the fields and presses OK.
class OptionPages : public testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }
  // The settings accepted here become the defaults of new instances: they go back afterwards.
  void TearDown() override {
    SetCompressorDialogPresenter({});
    for (const auto& c : dshow::Compressors()) dshow::SetDefaultCompressorSettings(c.clsid, {});
  }

  static void Answer(std::map<std::string, int> values, bool accept, std::vector<std::string>* seen = nullptr) {
    SetCompressorDialogPresenter([values, accept, seen](QDialog& dialog, OAHWND) {
      if (seen) {
        seen->push_back(dialog.windowTitle().toStdString());
        for (auto* s : dialog.findChildren<QSpinBox*>()) seen->push_back(s->objectName().toStdString());
        for (auto* l : dialog.findChildren<QLabel*>())
          if (l->objectName() == "name") seen->push_back("label:" + l->text().toStdString());
        if (auto* tabs = dialog.findChild<QTabWidget*>("pages"))
          for (int i = 0; i < tabs->count(); ++i) seen->push_back("tab:" + tabs->tabText(i).toStdString());
      }
      for (auto& [name, value] : values) {
        auto* spin = dialog.findChild<QSpinBox*>(QString::fromStdString(name));
        EXPECT_TRUE(spin) << name;
        if (spin) spin->setValue(value);
      }
      if (accept) dialog.accept(); else dialog.reject();
      return accept;
    });
  }

  // Compresses the test clip with a compressor configured through its option page.
  static std::string CompressWith(REFCLSID category, const std::u16string& name,
                                  std::map<std::string, int> values, const std::string& file) {
    ComPtr<IBaseFilter> f = Bind(category, name);
    EXPECT_TRUE(f);
    if (!f) return {};
    Answer(std::move(values), true);
    EXPECT_EQ(f.As<IAMVfwCompressDialogs>()->ShowDialog(VfwCompressDialog_Config, 0), S_OK);
    std::string target = Target(file);
    bool video = category == kVideo;
    auto g = CompressionGraph(FixtureOf(160, 120, !video), target, video ? f.Get() : nullptr,
                              video ? nullptr : f.Get());
    EXPECT_TRUE(g);
    if (g) {
      EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
    }
    return target;
  }
  static std::string CompressWith(const std::u16string& name, std::map<std::string, int> values,
                                  const std::string& file) {
    return CompressWith(kVideo, name, std::move(values), file);
  }
};

TEST_F(OptionPages, QueriesTellWhichCompressorsHaveThem) {
  struct Case {
    CLSID category;
    const char16_t* name;
    HRESULT config;
  };
  const Case cases[] = {{kVideo, u"MPEG-4 Video Compressor", S_OK},
                        {kVideo, u"Motion JPEG Compressor", S_OK},
                        {kVideo, u"CVID Compressor", S_FALSE},
                        {kVideo, u"FFV1 Lossless Compressor", S_FALSE},
                        {kAudio, u"MPEG Layer-3", S_OK},
                        {kAudio, u"PCM", S_FALSE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    ComPtr<IAMVfwCompressDialogs> d = Bind(c.category, c.name).As<IAMVfwCompressDialogs>();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->ShowDialog(VfwCompressDialog_QueryConfig, 0), c.config);
    EXPECT_EQ(d->ShowDialog(VfwCompressDialog_QueryAbout, 0), S_OK);
    if (c.config != S_OK) {
      EXPECT_EQ(d->ShowDialog(VfwCompressDialog_Config, 0), E_NOTIMPL);
    }
  }
}

TEST_F(OptionPages, PagesShowTheFieldsOfTheCodecAndAboutShowsItsName) {
  std::vector<std::string> seen;
  Answer({}, false, &seen);
  auto mpeg4 = Bind(kVideo, u"MPEG-4 Video Compressor").As<IAMVfwCompressDialogs>();
  EXPECT_EQ(mpeg4->ShowDialog(VfwCompressDialog_Config, 0), S_FALSE);  // cancelled
  EXPECT_EQ(seen, (std::vector<std::string>{"MPEG-4 Video Compressor Settings", "quality",
                                            "keyFrameInterval", "dataRate"}));
  seen.clear();
  auto mjpeg = Bind(kVideo, u"Motion JPEG Compressor").As<IAMVfwCompressDialogs>();
  mjpeg->ShowDialog(VfwCompressDialog_Config, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"Motion JPEG Compressor Settings", "quality"}));
  seen.clear();
  EXPECT_EQ(mjpeg->ShowDialog(VfwCompressDialog_About, 0), S_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"About Motion JPEG Compressor",
                                            "label:<b>Motion JPEG Compressor</b>"}));
  EXPECT_EQ(mjpeg->ShowDialog(0x40, 0), E_INVALIDARG);
}

TEST_F(OptionPages, CancelKeepsTheSettingsAndOkKeepsThemForNewInstances) {
  auto first = Bind(kVideo, u"Microsoft MPEG-4 Video Codec V2").As<IAMVfwCompressDialogs>();
  std::vector<uint8_t> before(kCompressorStateSize);
  int32_t size = kCompressorStateSize;
  ASSERT_EQ(first->GetState(before.data(), &size), S_OK);
  Answer({{"quality", 7}}, false);
  EXPECT_EQ(first->ShowDialog(VfwCompressDialog_Config, 0), S_FALSE);
  std::vector<uint8_t> after(kCompressorStateSize);
  first->GetState(after.data(), &size);
  EXPECT_EQ(before, after);
  Answer({{"quality", 7}, {"keyFrameInterval", 9}}, true);
  EXPECT_EQ(first->ShowDialog(VfwCompressDialog_Config, 0), S_OK);
  auto second = Bind(kVideo, u"Microsoft MPEG-4 Video Codec V2").As<IAMVfwCompressDialogs>();
  second->GetState(after.data(), &size);
  EXPECT_NE(before, after);
  std::vector<uint8_t> firstNow(kCompressorStateSize);
  first->GetState(firstNow.data(), &size);
  EXPECT_EQ(firstNow, after);
}

TEST_F(OptionPages, StateRoundTripsAndBadBlobsAreRefused) {
  auto a = Bind(kVideo, u"Windows Media Video 7").As<IAMVfwCompressDialogs>();
  auto b = Bind(kVideo, u"Windows Media Video 7").As<IAMVfwCompressDialogs>();
  int32_t size = 0;
  ASSERT_EQ(a->GetState(nullptr, &size), S_OK);
  ASSERT_EQ(size, kCompressorStateSize);
  std::vector<uint8_t> blob(static_cast<size_t>(size));
  ASSERT_EQ(a->GetState(blob.data(), &size), S_OK);
  // Change the quality word and hand it to the other instance.
  int32_t quality = 33;
  std::memcpy(blob.data() + 8, &quality, 4);
  ASSERT_EQ(b->SetState(blob.data(), size), S_OK);
  std::vector<uint8_t> back(blob.size());
  ASSERT_EQ(b->GetState(back.data(), &size), S_OK);
  EXPECT_EQ(back, blob);

  struct Bad {
    const char* what;
    size_t offset;
    int32_t value;
    int32_t size;
  };
  const Bad bad[] = {{"short", 0, 0, kCompressorStateSize - 1},
                     {"magic", 0, 0x12345678, kCompressorStateSize},
                     {"version", 4, 99, kCompressorStateSize},
                     {"quality 0", 8, 0, kCompressorStateSize},
                     {"quality 101", 8, 101, kCompressorStateSize},
                     {"negative interval", 12, -1, kCompressorStateSize},
                     {"negative rate", 16, -5, kCompressorStateSize}};
  for (const auto& x : bad) {
    std::vector<uint8_t> broken = blob;
    std::memcpy(broken.data() + x.offset, &x.value, 4);
    EXPECT_EQ(b->SetState(broken.data(), x.size), E_INVALIDARG) << x.what;
  }
  EXPECT_EQ(b->SetState(nullptr, kCompressorStateSize), E_POINTER);
  int32_t small = 4;
  EXPECT_EQ(b->GetState(blob.data(), &small), E_INVALIDARG);
  ASSERT_EQ(b->GetState(back.data(), &size), S_OK);
  EXPECT_EQ(back, blob) << "a refused blob changed the settings";
}

TEST_F(OptionPages, QualityReachesTheEncoder) {
  std::string low = CompressWith(u"MPEG-4 Video Compressor", {{"quality", 1}, {"dataRate", 0}}, "q-low.avi");
  std::string high = CompressWith(u"MPEG-4 Video Compressor", {{"quality", 100}, {"dataRate", 0}}, "q-high.avi");
  auto lowSize = std::filesystem::file_size(low);
  auto highSize = std::filesystem::file_size(high);
  EXPECT_GT(highSize, lowSize * 2) << "low " << lowSize << " high " << highSize;
  std::string mjLow = CompressWith(u"Motion JPEG Compressor", {{"quality", 1}}, "mj-low.avi");
  std::string mjHigh = CompressWith(u"Motion JPEG Compressor", {{"quality", 100}}, "mj-high.avi");
  EXPECT_GT(std::filesystem::file_size(mjHigh), std::filesystem::file_size(mjLow) * 7 / 5);
}

// The clip's pictures are too simple for a video rate to show in a second of film; the sound
// encoders keep their rate exactly.
TEST_F(OptionPages, DataRateReachesTheEncoder) {
  std::string small = CompressWith(kAudio, u"MPEG Layer-3", {{"dataRate", 32}}, "rate-32.avi");
  std::string large = CompressWith(kAudio, u"MPEG Layer-3", {{"dataRate", 192}}, "rate-192.avi");
  std::string plain = Target("rate-none.avi");
  auto g = CompressionGraph(FixtureOf(160, 120, true), plain, nullptr, nullptr);
  ASSERT_TRUE(g);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  // The difference of the sound bytes: 160 kbit/s for a second is 20000 bytes.
  auto smallSound = std::filesystem::file_size(small) - std::filesystem::file_size(plain);
  auto largeSound = std::filesystem::file_size(large) - std::filesystem::file_size(plain);
  EXPECT_NEAR(static_cast<double>(largeSound) - static_cast<double>(smallSound), 20000.0, 3000.0)
      << "32 kbit/s: " << smallSound << " bytes, 192 kbit/s: " << largeSound << " bytes";
}

// Layer 2 knows only a few data rates: another one codes at the usual rate instead of failing.
TEST_F(OptionPages, DataRateLayer2DoesNotTakeFallsBack) {
  std::string target = CompressWith(kAudio, u"MPEG Layer-2", {{"dataRate", 50}}, "mp2-50.avi");
  fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_TRUE(probe.First("audio"));
  EXPECT_EQ(probe.First("audio")->codecName, "mp2");
  EXPECT_NEAR(DecodedAudioSeconds(target), 1.0, 0.1);
}

TEST_F(OptionPages, KeyFrameIntervalShowsInTheKeyFrames) {
  std::string target = CompressWith(u"MPEG-4 Video Compressor", {{"keyFrameInterval", 5}, {"dataRate", 0}}, "key5.avi");
  EXPECT_EQ(KeyFrames(target), "K____K____K____K____K____");
  target = CompressWith(u"Microsoft MPEG-4 Video Codec V3", {{"keyFrameInterval", 10}, {"dataRate", 0}}, "key10.avi");
  EXPECT_EQ(KeyFrames(target), "K_________K_________K____");
}

// The codec manager's way with compressors that have property pages: the about box is the
// frame with the first page, the configure box the frame with all of them.
TEST_F(OptionPages, PropertyPagesInTheFrame) {
  struct Case {
    CLSID category;
    const char16_t* name;
    bool pages;
    const char* field;  // a field of the settings page, its offset in the state blob
    size_t offset;
  };
  const Case cases[] = {{kVideo, u"MPEG-4 Video Compressor", true, "dataRate", 16},
                        {kVideo, u"Motion JPEG Compressor", true, "quality", 8},
                        {kAudio, u"MPEG Layer-2", true, "dataRate", 16},
                        {kVideo, u"HFYU Lossless Compressor", false, "", 0},
                        {kAudio, u"IMA ADPCM", false, "", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    ComPtr<IBaseFilter> f = Bind(c.category, c.name);
    ComPtr<ISpecifyPropertyPages> spp = f.As<ISpecifyPropertyPages>();
    ASSERT_EQ(static_cast<bool>(spp), c.pages);
    if (!spp) continue;
    CAUUID pages;
    ASSERT_EQ(spp->GetPages(&pages), S_OK);
    ASSERT_EQ(pages.cElems, 2u);
    IUnknown* objects[] = {f.Get()};
    std::string caption = Utf16ToUtf8(c.name);

    // About: the first page only; OK changes nothing.
    std::vector<std::string> seen;
    Answer({}, true, &seen);
    std::vector<uint8_t> before(kCompressorStateSize), after(kCompressorStateSize);
    int32_t size = kCompressorStateSize;
    f.As<IAMVfwCompressDialogs>()->GetState(before.data(), &size);
    EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, c.name, 1, objects, 1, pages.pElems, 0, 0, nullptr), S_OK);
    EXPECT_EQ(seen, (std::vector<std::string>{caption, "label:<b>" + caption + "</b>", "tab:About"}));
    f.As<IAMVfwCompressDialogs>()->GetState(after.data(), &size);
    EXPECT_EQ(before, after);

    // Configure: both pages; Cancel keeps the settings, OK applies the edited ones, also to
    // instances made afterwards.
    Answer({{c.field, 48}}, false);
    EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, c.name, 1, objects, 2, pages.pElems, 0, 0, nullptr), S_OK);
    f.As<IAMVfwCompressDialogs>()->GetState(after.data(), &size);
    EXPECT_EQ(before, after);
    seen.clear();
    Answer({{c.field, 48}}, true, &seen);
    EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, c.name, 1, objects, 2, pages.pElems, 0, 0, nullptr), S_OK);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "tab:Settings"), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "tab:About"), 1);
    f.As<IAMVfwCompressDialogs>()->GetState(after.data(), &size);
    int32_t value = 0;
    std::memcpy(&value, after.data() + c.offset, 4);
    EXPECT_EQ(value, 48);
    std::vector<uint8_t> fresh(kCompressorStateSize);
    Bind(c.category, c.name).As<IAMVfwCompressDialogs>()->GetState(fresh.data(), &size);
    EXPECT_EQ(fresh, after);
    CoTaskMemFree(pages.pElems);
  }
}

// Every compressor's option box, about box and property frame (each page as its tab shows it):
// no caption needs more room than its control has.
TEST_F(OptionPages, TheBoxesAndTheFramesCaptionsFitTheirControls) {
  std::vector<std::string> cut;
  int shown = 0;
  SetCompressorDialogPresenter([&](QDialog& dialog, OAHWND) {
    ++shown;
    const std::string title = dialog.windowTitle().toStdString();
    for (const std::string& c : fit::CutCaptionsShown(dialog)) cut.push_back(title + ": " + c);
    if (auto* tabs = dialog.findChild<QTabWidget*>("pages")) {
      dialog.show();
      for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        for (const std::string& c : fit::CutCaptionsShown(dialog))
          cut.push_back(title + " " + tabs->tabText(i).toStdString() + ": " + c);
      }
      dialog.hide();
    }
    dialog.reject();
    return false;
  });
  int expected = 0;
  for (const dshow::CompressorInfo& c : dshow::Compressors()) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    ComPtr<IBaseFilter> f = Bind(c.category, c.name);
    ASSERT_TRUE(f);
    ComPtr<IAMVfwCompressDialogs> d = f.As<IAMVfwCompressDialogs>();
    ASSERT_TRUE(d);
    const std::pair<int32_t, int32_t> boxes[] = {{VfwCompressDialog_QueryConfig, VfwCompressDialog_Config},
                                                 {VfwCompressDialog_QueryAbout, VfwCompressDialog_About}};
    for (const auto& [query, box] : boxes) {
      if (d->ShowDialog(query, 0) != S_OK) continue;
      d->ShowDialog(box, 0);
      ++expected;
    }
    if (ComPtr<ISpecifyPropertyPages> spp = f.As<ISpecifyPropertyPages>()) {
      CAUUID pages;
      ASSERT_EQ(spp->GetPages(&pages), S_OK);
      IUnknown* objects[] = {f.Get()};
      EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, c.name.c_str(), 1, objects, pages.cElems, pages.pElems, 0, 0, nullptr),
                S_OK);
      CoTaskMemFree(pages.pElems);
      ++expected;
    }
  }
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST_F(OptionPages, FrameRefusesPagesItCannotMake) {
  std::vector<std::string> seen;
  Answer({}, true, &seen);
  ComPtr<IBaseFilter> f = Bind(kVideo, u"MPEG-4 Video Compressor");
  IUnknown* objects[] = {f.Get()};
  const CLSID unknown = MakeGuid("{00000000-1111-2222-3333-444444444444}");
  EXPECT_TRUE(FAILED(OleCreatePropertyFrame(0, 0, 0, u"x", 1, objects, 1, &unknown, 0, 0, nullptr)));
  // A page given an object that is no compressor.
  ComPtr<IEnumMoniker> notACompressor;
  DevEnum()->CreateClassEnumerator(kVideo, notACompressor.put(), 0);
  IUnknown* wrong[] = {notACompressor.Get()};
  CAUUID pages;
  f.As<ISpecifyPropertyPages>()->GetPages(&pages);
  EXPECT_TRUE(FAILED(OleCreatePropertyFrame(0, 0, 0, u"x", 1, wrong, pages.cElems, pages.pElems, 0, 0, nullptr)));
  EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, u"x", 1, nullptr, pages.cElems, pages.pElems, 0, 0, nullptr), E_POINTER);
  CoTaskMemFree(pages.pElems);
  EXPECT_TRUE(seen.empty()) << "a frame was shown";
}

}  // namespace
