// The IV50 stand-in: its compression filter in a graph (FMP4, the stream name), the encode options
// changing the output for real, their ranges and defaults, the output namer, and the decode
// options adjusting the decoded picture.
#include <QApplication>
#include <QDialog>
#include <QLabel>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

extern "C" {
#include <libavformat/avformat.h>
}

#include "caption_fit.h"
#include "dshow/devenum.h"
#include "dshow/encoders.h"
#include "dshow/filters.h"
#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "iv50/iv50.h"

using namespace dshow_test;

namespace {

fixtures::Options Movie() {
  fixtures::Options o;
  o.seconds = 0.8;  // 20 frames
  o.audio = false;
  return o;
}

ComPtr<IBaseFilter> StandIn() {
  ComPtr<IBaseFilter> f;
  EXPECT_EQ(CoCreateInstance(iv50::CLSID_StandInCompressor, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid,
                             f.put_void()),
            S_OK);
  return f;
}

// A graph from the movie's video through the stand-in into an AVI file (not yet run).
ComPtr<IGraphBuilder> CompressionGraph(const std::string& movie, const std::string& target) {
  ComPtr<IGraphBuilder> g = NewGraph();
  EXPECT_EQ(g->RenderFile(U(movie).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> renderer = FilterNamed(g.Get(), "Video Renderer");
  EXPECT_TRUE(renderer);
  if (!renderer) return g;
  ComPtr<IPin> up = Peer(PinsOf(renderer.Get())[0].Get());
  g->RemoveFilter(renderer.Get());
  ComPtr<IBaseFilter> standIn = StandIn();
  EXPECT_EQ(g->AddFilter(standIn.Get(), u"Crunchbox Video 5 stand-in (MPEG-4 Part 2)"), S_OK);
  EXPECT_EQ(g->ConnectDirect(up.Get(), PinNamed(standIn.Get(), "XForm In").Get(), nullptr), S_OK);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  ComPtr<IBaseFilter> writer = FilterNamed(g.Get(), "File writer");
  EXPECT_EQ(g->ConnectDirect(PinNamed(standIn.Get(), "XForm Out").Get(), PinNamed(mux.Get(), "Input 01").Get(), nullptr), S_OK);
  EXPECT_EQ(g->ConnectDirect(PinNamed(mux.Get(), "AVI Out").Get(), PinsOf(writer.Get())[0].Get(), nullptr), S_OK);
  return g;
}

ComPtr<IV50EncodeOptions> EncodeOptions() {
  ComPtr<IV50EncodeOptions> o;
  EXPECT_EQ(CoCreateInstance(CLSID_IV50EncodeOptions, nullptr, CLSCTX_INPROC_SERVER, IV50EncodeOptions::iid,
                             o.put_void()),
            S_OK);
  return o;
}

struct Written {
  std::string title;
  std::vector<bool> keys;
  int64_t videoBytes = 0;  // the first stream's packets
};

Written Read(const std::string& path) {
  Written w;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) return w;
  if (AVDictionaryEntry* t = av_dict_get(in->streams[0]->metadata, "title", nullptr, 0)) w.title = t->value;
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(in, pkt) >= 0) {
    if (pkt->stream_index == 0) {
      w.keys.push_back((pkt->flags & AV_PKT_FLAG_KEY) != 0);
      w.videoBytes += pkt->size;
    }
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  avformat_close_input(&in);
  return w;
}

TEST(StandIn, IsARegisteredVideoCompressorWithTheTransformPins) {
  bool found = false;
  for (const auto& t : dshow::RegisteredFilters())
    if (t.name == iv50::kCompressorName) {
      found = true;
      EXPECT_EQ(t.category, CLSID_VideoCompressorCategory);
      EXPECT_EQ(t.clsid, iv50::CLSID_StandInCompressor);
    }
  EXPECT_TRUE(found);
  ComPtr<IBaseFilter> f = StandIn();
  ASSERT_TRUE(f);
  EXPECT_TRUE(PinNamed(f.Get(), "XForm In"));
  EXPECT_TRUE(PinNamed(f.Get(), "XForm Out"));
  // The device enumerator lists it with its FOURCC.
  ComPtr<ICreateDevEnum> devices;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, ICreateDevEnum::iid,
                             devices.put_void()),
            S_OK);
  ComPtr<IEnumMoniker> e;
  ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, e.put(), 0), S_OK);
  std::string fourcc;
  IMoniker* m = nullptr;
  ULONG got = 0;
  while (e->Next(1, &m, &got) == S_OK && got == 1) {
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(m);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IPropertyBag::iid, bag.put_void()), S_OK);
    Variant name, code;
    bag->Read(u"FriendlyName", &name, nullptr);
    if (name.vt() == VT_BSTR && name.bstr().Utf8() == "Crunchbox Video 5 stand-in (MPEG-4 Part 2)" &&
        SUCCEEDED(bag->Read(u"FccHandler", &code, nullptr)))
      fourcc = code.bstr().Utf8();
  }
  EXPECT_EQ(fourcc, "FMP4");
}

TEST(StandIn, WritesMpeg4TaggedFmp4WithItsStreamName) {
  const std::string target = Target("standin.avi");
  ComPtr<IGraphBuilder> g = CompressionGraph(Fixture(fixtures::Kind::AviMjpegPcm, Movie()), target);
  ASSERT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  g = nullptr;
  const fixtures::Probe probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const fixtures::ProbedStream* v = probe.First("video");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->codecName, "mpeg4");
  EXPECT_EQ(v->codecTag, "FMP4");
  EXPECT_EQ(v->frames, fixtures::FrameCount(Movie()));
  EXPECT_EQ(Read(target).title, "Crunchbox Video 5 stand-in (MPEG-4 Part 2)");
  // Nothing is labelled IV50.
  const std::vector<uint8_t> bytes = fixtures::ReadFile(target);
  EXPECT_EQ(std::search(bytes.begin(), bytes.end(), std::begin("IV50"), std::end("IV50") - 1), bytes.end());
}

TEST(StandIn, TheAboutBoxSaysWhatHasNoMpeg4Counterpart) {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "iv50_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  QString note;
  auto previous = dshow::SetCompressorDialogPresenter([&](QDialog& box, OAHWND) {
    if (auto* label = box.findChild<QLabel*>("note")) note = label->text();
    return true;
  });
  ComPtr<IAMVfwCompressDialogs> dialogs = StandIn().As<IAMVfwCompressDialogs>();
  ASSERT_TRUE(dialogs);
  EXPECT_EQ(dialogs->ShowDialog(VfwCompressDialog_About, 0), S_OK);
  dshow::SetCompressorDialogPresenter(std::move(previous));
  EXPECT_TRUE(note.contains("no MPEG-4 counterpart")) << note.toStdString();
  EXPECT_TRUE(note.contains("scalability")) << note.toStdString();
}

// The stand-in's option and about boxes as they show: no caption needs more room than its control
// has, and each box is wide enough for its title.
TEST(StandIn, ItsBoxesCaptionsFitTheirControls) {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "iv50_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
  }
  std::vector<std::string> cut, shown;
  auto previous = dshow::SetCompressorDialogPresenter([&](QDialog& box, OAHWND) {
    shown.push_back(box.windowTitle().toStdString());
    for (const std::string& c : fit::CutCaptionsShown(box)) cut.push_back(c);
    return false;
  });
  ComPtr<IAMVfwCompressDialogs> dialogs = StandIn().As<IAMVfwCompressDialogs>();
  ASSERT_TRUE(dialogs);
  ASSERT_EQ(dialogs->ShowDialog(VfwCompressDialog_QueryConfig, 0), S_OK);
  dialogs->ShowDialog(VfwCompressDialog_Config, 0);
  dialogs->ShowDialog(VfwCompressDialog_About, 0);
  dshow::SetCompressorDialogPresenter(std::move(previous));
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(cut, std::vector<std::string>{});
}

TEST(EncodeOptions, HaveTheirDefaultsAndRanges) {
  ComPtr<IV50EncodeOptions> o = EncodeOptions();
  ASSERT_TRUE(o);
  int32_t v = -5;
  int16_t s = -5;
  EXPECT_EQ(o->get_KeyFrameRate(&v), S_OK);
  EXPECT_EQ(v, 15);
  EXPECT_EQ(o->get_DataRate(&v), S_OK);
  EXPECT_EQ(v, 1000);
  EXPECT_EQ(o->get_Quality(&v), S_OK);
  EXPECT_EQ(v, 7500);
  EXPECT_EQ(o->get_Transparency(&s), S_OK);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(o->get_Scalability(&s), S_OK);
  EXPECT_EQ(s, 0);
  for (auto get : {&IV50EncodeOptions::get_AccessKey, &IV50EncodeOptions::get_ViewportSize1,
                   &IV50EncodeOptions::get_ViewportSize2, &IV50EncodeOptions::get_AccessKeyEnabled,
                   &IV50EncodeOptions::get_QuickCompress}) {
    v = -5;
    EXPECT_EQ(((*o).*get)(&v), S_OK);
    EXPECT_EQ(v, 0);
  }
  struct Put {
    HRESULT (IV50EncodeOptions::*put)(int32_t);
    int32_t value;
    HRESULT expected;
  };
  const Put puts[] = {
      {&IV50EncodeOptions::put_Quality, 10000, S_OK},       {&IV50EncodeOptions::put_Quality, 10001, E_INVALIDARG},
      {&IV50EncodeOptions::put_Quality, -1, E_INVALIDARG},  {&IV50EncodeOptions::put_KeyFrameRate, -1, E_INVALIDARG},
      {&IV50EncodeOptions::put_DataRate, -3, E_INVALIDARG}, {&IV50EncodeOptions::put_ViewportSize1, 128, S_OK},
      {&IV50EncodeOptions::put_ViewportSize1, 100, E_INVALIDARG}, {&IV50EncodeOptions::put_ViewportSize2, 256, S_OK},
      {&IV50EncodeOptions::put_AccessKeyEnabled, -1, S_OK}, {&IV50EncodeOptions::put_AccessKeyEnabled, 2, E_INVALIDARG},
      {&IV50EncodeOptions::put_QuickCompress, 1, S_OK},     {&IV50EncodeOptions::put_QuickCompress, 2, E_INVALIDARG},
  };
  for (const Put& p : puts) EXPECT_EQ(((*o).*(p.put))(p.value), p.expected) << p.value;
  EXPECT_EQ(o->get_AccessKeyEnabled(&v), S_OK);
  EXPECT_EQ(v, 1);  // -1 is read back as 1
  EXPECT_EQ(o->put_Transparency(3), S_OK);
  EXPECT_EQ(o->put_Transparency(4), E_INVALIDARG);
  EXPECT_EQ(o->put_Scalability(-1), S_OK);
  EXPECT_EQ(o->get_Scalability(&s), S_OK);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(o->put_Scalability(5), E_INVALIDARG);
  EXPECT_EQ(o->Reserved1(), E_NOTIMPL);
  EXPECT_EQ(o->Unused1(&v), E_NOTIMPL);
  EXPECT_EQ(o->Unused12(0), E_NOTIMPL);
}

TEST(EncodeOptions, AttachOnlyToAGraphWithTheStandIn) {
  ComPtr<IV50EncodeOptions> o = EncodeOptions();
  ComPtr<IGraphBuilder> plain = NewGraph();
  ASSERT_EQ(plain->RenderFile(U(Fixture(fixtures::Kind::AviMjpegPcm, Movie())).c_str(), nullptr), S_OK);
  EXPECT_TRUE(FAILED(o->AttachGraph(plain.Get())));
  EXPECT_TRUE(FAILED(o->ApplyFinish()));  // nothing to commit to
  ComPtr<IGraphBuilder> g = CompressionGraph(Fixture(fixtures::Kind::AviMjpegPcm, Movie()), Target("attach.avi"));
  EXPECT_EQ(o->AttachGraph(g.Get()), S_OK);
}

// Compresses the movie with the options set by `set`; the file's size and what it holds.
std::pair<uintmax_t, Written> Compress(const std::string& name, const std::function<void(IV50EncodeOptions*)>& set,
                                       const fixtures::Options& movie = Movie()) {
  const std::string target = Target(name);
  ComPtr<IGraphBuilder> g = CompressionGraph(Fixture(fixtures::Kind::AviMjpegPcm, movie), target);
  ComPtr<IV50EncodeOptions> o = EncodeOptions();
  EXPECT_EQ(o->AttachGraph(g.Get()), S_OK);
  set(o.Get());
  EXPECT_EQ(o->ApplyBegin(), S_OK);
  EXPECT_EQ(o->ApplyFinish(), S_OK);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  g = nullptr;
  return {std::filesystem::file_size(target), Read(target)};
}

// Key-frame interval, data rate, quality and quick compress, each as the file shows it: key
// flags every KeyFrameRate frames (the codec's 12 for 0), a video bit rate near DataRate when one
// is set, and otherwise a fixed quantiser from Quality (0 counting as 7500).
TEST(EncodeOptions, ChangeTheOutput) {
  fixtures::Options movie = Movie();
  movie.seconds = 1.2;  // 30 frames: room for the rate control to settle
  const int frames = fixtures::FrameCount(movie);
  const struct {
    const char* name;
    int32_t keyFrameRate, dataRate, quality, quick;
    int keyEvery;
  } cases[] = {
      {"quality 1000", 15, 0, 1000, 0, 15},  {"quality 10000", 15, 0, 10000, 0, 15},
      {"quality 7500", 15, 0, 7500, 0, 15},  {"quality 0", 15, 0, 0, 0, 15},
      {"quick compress", 15, 0, 7500, 1, 15}, {"key frame every 4", 4, 0, 7500, 0, 4},
      {"codec's key interval", 0, 0, 7500, 0, 12}, {"40 kb/s", 15, 40, 7500, 0, 15},
      {"80 kb/s", 15, 80, 7500, 0, 15},
  };
  std::map<std::string, std::pair<uintmax_t, Written>> out;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = "encode" + std::to_string(&c - cases) + ".avi";
    auto written = Compress(file, [&](IV50EncodeOptions* o) {
      EXPECT_EQ(o->put_KeyFrameRate(c.keyFrameRate), S_OK);
      EXPECT_EQ(o->put_DataRate(c.dataRate), S_OK);
      EXPECT_EQ(o->put_Quality(c.quality), S_OK);
      EXPECT_EQ(o->put_QuickCompress(c.quick), S_OK);
    }, movie);
    ASSERT_EQ(written.second.keys.size(), static_cast<size_t>(frames));
    // Key frames at most the interval apart: exactly every interval, except that with the
    // zero-vector search the codec starts one early where it finds no match.
    EXPECT_TRUE(written.second.keys[0]);
    for (size_t i = 0, last = 0; i < written.second.keys.size(); ++i) {
      if (written.second.keys[i]) last = i;
      EXPECT_LT(i - last, static_cast<size_t>(c.keyEvery)) << i;
      if (!c.quick) {
        EXPECT_EQ(written.second.keys[i], i % c.keyEvery == 0) << i;
      }
    }
    const double kbps = written.second.videoBytes * 8.0 / (frames / static_cast<double>(movie.fps)) / 1000;
    if (c.dataRate > 0) {
      EXPECT_GT(kbps, c.dataRate * 0.7);
      EXPECT_LT(kbps, c.dataRate * 1.3);
      // A media tool reads the rate-controlled stream whole.
      const fixtures::Probe probe = fixtures::RunFfprobe(Target(file));
      ASSERT_TRUE(probe.ok) << probe.error;
      ASSERT_NE(probe.First("video"), nullptr);
      EXPECT_EQ(probe.First("video")->codecName, "mpeg4");
      EXPECT_EQ(probe.First("video")->frames, frames);
    }
    out[c.name] = written;
  }
  EXPECT_LT(out["quality 1000"].first, out["quality 10000"].first);
  EXPECT_EQ(out["quality 0"].first, out["quality 7500"].first);
  EXPECT_EQ(out["quality 0"].second.videoBytes, out["quality 7500"].second.videoBytes);
  EXPECT_NE(out["quick compress"].first, out["quality 7500"].first);
  EXPECT_LT(out["40 kb/s"].second.videoBytes, out["80 kb/s"].second.videoBytes);
}

TEST(OutputNamer, NamesTheFileWritersOutput) {
  ComPtr<IV50OutputNamer> namer;
  ASSERT_EQ(CoCreateInstance(CLSID_IV50OutputNamer, nullptr, CLSCTX_INPROC_SERVER, IV50OutputNamer::iid,
                             namer.put_void()),
            S_OK);
  ComPtr<IGraphBuilder> g = CompressionGraph(Fixture(fixtures::Kind::AviMjpegPcm, Movie()), Target("first.avi"));
  const std::string second = Target("named.avi");
  EXPECT_EQ(namer->SetGraph(g.Get()), S_OK);
  EXPECT_EQ(namer->SetFileName(U(second).c_str()), S_OK);
  EXPECT_EQ(namer->ApplyToGraph(g.Get()), S_OK);
  char16_t* name = nullptr;
  ASSERT_EQ(FilterNamed(g.Get(), "File writer").As<IFileSinkFilter>()->GetCurFile(&name, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), U(second));
  CoTaskMemFree(name);
  ComPtr<IGraphBuilder> plain = NewGraph();
  EXPECT_TRUE(FAILED(namer->ApplyToGraph(plain.Get())));
  EXPECT_EQ(namer->Reserved1(), E_NOTIMPL);
}

}  // namespace

namespace {

constexpr CLSID kGrabberClsid = MakeGuid("{0D6E2B91-7A4C-4F38-9E15-C2B8A7D34F60}");

// A renderer that keeps the first picture it is given (24-bit RGB).
class Grabber : public dshow::Filter {
 public:
  Grabber()
      : Filter(u"Grabber", kGrabberClsid),
        in_(this, u"In", [](const AM_MEDIA_TYPE& mt) {
          return mt.subtype == MEDIASUBTYPE_RGB24 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  bool IsRenderer() const override { return true; }
  HRESULT Receive(dshow::Pin*, IMediaSample* s) override {
    std::lock_guard lock(lock_);
    if (first_.empty()) {
      BYTE* data = nullptr;
      s->GetPointer(&data);
      first_.assign(data, data + s->GetActualDataLength());
    }
    return S_OK;
  }
  HRESULT EndOfStream(dshow::Pin*) override {
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }
  std::vector<uint8_t> First() {
    std::lock_guard lock(lock_);
    return first_;
  }

 private:
  dshow::InputPin in_;
  std::mutex lock_;
  std::vector<uint8_t> first_;
};

ComPtr<IV50DecodeOptions> DecodeOptions() {
  ComPtr<IV50DecodeOptions> o;
  EXPECT_EQ(CoCreateInstance(CLSID_IV50DecodeOptions, nullptr, CLSCTX_INPROC_SERVER, IV50DecodeOptions::iid,
                             o.put_void()),
            S_OK);
  return o;
}

// A movie the stand-in wrote.
std::string StandInMovie() {
  static std::string path;
  if (!path.empty()) return path;
  path = Target("decode-source.avi");
  ComPtr<IGraphBuilder> g = CompressionGraph(Fixture(fixtures::Kind::AviMjpegPcm, Movie()), path);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  return path;
}

// What the first picture shows: the mean of its bytes (brightness), their spread (contrast) and
// how far each pixel's channels lie apart on average (saturation).
struct Picture {
  double mean = -1, spread = -1, colour = -1;
};

struct Adjustment {
  int32_t brightness = 0, saturation = 0, contrast = 0;
};

// The first picture, played with the adjustment.
Picture FirstPicture(const Adjustment& a) {
  ComPtr<IGraphBuilder> g = NewGraph();
  EXPECT_EQ(g->RenderFile(U(StandInMovie()).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> renderer = FilterNamed(g.Get(), "Video Renderer");
  EXPECT_TRUE(renderer);
  if (!renderer) return {};
  ComPtr<IPin> up = Peer(PinsOf(renderer.Get())[0].Get());
  g->RemoveFilter(renderer.Get());
  ComPtr<Grabber> grabber = MakeComObject<Grabber>();
  EXPECT_EQ(g->AddFilter(grabber.Get(), u"Grabber"), S_OK);
  MediaType rgb;
  rgb.majortype = MEDIATYPE_Video;
  rgb.subtype = MEDIASUBTYPE_RGB24;
  EXPECT_EQ(g->ConnectDirect(up.Get(), grabber->GetPin(0), &rgb), S_OK);
  ComPtr<IV50DecodeOptions> o = DecodeOptions();
  EXPECT_EQ(o->AttachGraph(g.Get()), S_OK);
  EXPECT_EQ(o->put_Brightness(a.brightness), S_OK);
  EXPECT_EQ(o->put_Saturation(a.saturation), S_OK);
  EXPECT_EQ(o->put_Contrast(a.contrast), S_OK);
  EXPECT_EQ(o->ApplyBegin(), S_OK);
  EXPECT_EQ(o->ApplyFinish(), S_OK);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  const std::vector<uint8_t> bytes = grabber->First();
  if (bytes.size() < 3) return {};
  Picture p;
  double sum = 0, squares = 0, colour = 0;
  for (uint8_t b : bytes) {
    sum += b;
    squares += static_cast<double>(b) * b;
  }
  for (size_t i = 0; i + 2 < bytes.size(); i += 3)
    colour += std::max({bytes[i], bytes[i + 1], bytes[i + 2]}) - std::min({bytes[i], bytes[i + 1], bytes[i + 2]});
  const double n = static_cast<double>(bytes.size());
  p.mean = sum / n;
  p.spread = std::sqrt(std::max(0.0, squares / n - p.mean * p.mean));
  p.colour = colour / (n / 3);
  return p;
}

// Each adjustment moves what it names, as a viewer sees it, by a clear margin either way.
TEST(DecodeOptions, PictureAdjustmentsActOnTheDecodedPicture) {
  const Picture plain = FirstPicture({});
  ASSERT_GT(plain.mean, 0);
  const struct {
    const char* name;
    Adjustment adjustment;
    double Picture::*measure;
    int direction;  // +1: more, -1: less
    double Picture::*steady;  // what stays about as it was (nullptr: nothing checked)
  } cases[] = {
      {"brightness +100", {100, 0, 0}, &Picture::mean, +1, nullptr},
      {"brightness -100", {-100, 0, 0}, &Picture::mean, -1, nullptr},
      {"saturation +150", {0, 150, 0}, &Picture::colour, +1, &Picture::mean},
      {"saturation -150", {0, -150, 0}, &Picture::colour, -1, &Picture::mean},
      {"contrast +150", {0, 0, 150}, &Picture::spread, +1, nullptr},
      {"contrast -150", {0, 0, -150}, &Picture::spread, -1, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Picture adjusted = FirstPicture(c.adjustment);
    const double before = plain.*c.measure, after = adjusted.*c.measure;
    if (c.direction > 0) {
      EXPECT_GT(after, before * 1.1 + 1);
    } else {
      EXPECT_LT(after, before * 0.9 - 1);
    }
    if (c.steady) {
      EXPECT_NEAR(adjusted.*c.steady, plain.*c.steady, plain.*c.steady * 0.05);
    }
  }
}

TEST(DecodeOptions, AttachToIv50AndStandInStreamsOnly) {
  struct Case {
    std::string path;
    bool attaches;
  };
  const Case cases[] = {
      {StandInMovie(), true},
      {Fixture(fixtures::Kind::AviIv50Tagged, Movie()), true},
      {Fixture(fixtures::Kind::AviDiv3, Movie()), false},
      {Fixture(fixtures::Kind::AviMjpegPcm, Movie()), false},
  };
  for (const Case& c : cases) {
    ComPtr<IGraphBuilder> g = NewGraph();
    ASSERT_EQ(g->RenderFile(U(c.path).c_str(), nullptr), S_OK) << c.path;
    EXPECT_EQ(SUCCEEDED(DecodeOptions()->AttachGraph(g.Get())), c.attaches) << c.path;
  }
  EXPECT_TRUE(FAILED(DecodeOptions()->AttachGraph(NewGraph().Get())));
}

TEST(DecodeOptions, HaveTheirRangesAndTheDefaultPairRestoresZeros) {
  ComPtr<IV50DecodeOptions> o = DecodeOptions();
  ASSERT_TRUE(o);
  struct Put {
    HRESULT (IV50DecodeOptions::*put)(int32_t);
    HRESULT (IV50DecodeOptions::*get)(int32_t*);
    int32_t value;
    HRESULT expected;
    int32_t readBack;
  };
  const Put puts[] = {
      {&IV50DecodeOptions::put_Brightness, &IV50DecodeOptions::get_Brightness, 255, S_OK, 255},
      {&IV50DecodeOptions::put_Brightness, &IV50DecodeOptions::get_Brightness, 256, E_INVALIDARG, 255},
      {&IV50DecodeOptions::put_Saturation, &IV50DecodeOptions::get_Saturation, -255, S_OK, -255},
      {&IV50DecodeOptions::put_Saturation, &IV50DecodeOptions::get_Saturation, -256, E_INVALIDARG, -255},
      {&IV50DecodeOptions::put_Contrast, &IV50DecodeOptions::get_Contrast, 40, S_OK, 40},
      {&IV50DecodeOptions::put_Scalability, &IV50DecodeOptions::get_Scalability, 3, S_OK, 3},
      {&IV50DecodeOptions::put_Scalability, &IV50DecodeOptions::get_Scalability, 4, E_INVALIDARG, 3},
      {&IV50DecodeOptions::put_AccessKeyEnabled, &IV50DecodeOptions::get_AccessKeyEnabled, -1, S_OK, 1},
      {&IV50DecodeOptions::put_AccessKeyEnabled, &IV50DecodeOptions::get_AccessKeyEnabled, 0, S_OK, 0},
      {&IV50DecodeOptions::put_AccessKeyEnabled, &IV50DecodeOptions::get_AccessKeyEnabled, 7, E_INVALIDARG, 0},
      {&IV50DecodeOptions::put_AccessKey, &IV50DecodeOptions::get_AccessKey, 12345, S_OK, 12345},
  };
  for (const Put& p : puts) {
    EXPECT_EQ(((*o).*(p.put))(p.value), p.expected) << p.value;
    int32_t v = -999;
    EXPECT_EQ(((*o).*(p.get))(&v), S_OK);
    EXPECT_EQ(v, p.readBack);
  }
  EXPECT_EQ(o->DefaultBegin(), S_OK);
  EXPECT_EQ(o->DefaultFinish(), S_OK);
  for (auto get : {&IV50DecodeOptions::get_Brightness, &IV50DecodeOptions::get_Saturation,
                   &IV50DecodeOptions::get_Contrast, &IV50DecodeOptions::get_Scalability,
                   &IV50DecodeOptions::get_AccessKey, &IV50DecodeOptions::get_AccessKeyEnabled}) {
    int32_t v = -999;
    EXPECT_EQ(((*o).*get)(&v), S_OK);
    EXPECT_EQ(v, 0);
  }
  int32_t v = 0;
  EXPECT_EQ(o->Unused1(&v), E_NOTIMPL);
  EXPECT_EQ(o->Unused22(0), E_NOTIMPL);
  EXPECT_TRUE(FAILED(o->ApplyFinish()));  // not attached
}

}  // namespace
