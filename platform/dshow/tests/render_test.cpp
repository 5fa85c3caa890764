// Every container and codec renders, plays to completion, and converts into an AVI that ffprobe
// reads with the expected streams, frame count and duration.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

struct Case {
  Kind kind;
  bool video;
  bool audio;
  // Decoder names expected in the rendered graph ("" = none asked for).
  const char* decoder;
};

const Case kCases[] = {
    {Kind::AviMjpegPcm, true, true, "MJPEG Decompressor"},
    {Kind::AviRgb, true, true, ""},
    {Kind::AviDiv3, true, true, "DivX MPEG-4 Version 3 Decoder"},
    {Kind::AviMp43, true, true, "Microsoft MPEG-4 Video Decompressor"},
    {Kind::AviDx50, true, true, "DivX Decoder Filter"},
    {Kind::Mpeg1Ps, true, true, "MPEG Video Decoder"},
    {Kind::Mov, true, true, ""},
    {Kind::Mp4, true, true, "H.264 Video Decoder"},
    {Kind::Wav, false, true, ""},
    {Kind::Mp3, false, true, "MPEG Layer-3 Decoder"},
    {Kind::Bmp, true, false, ""},
    {Kind::Jpeg, true, false, "MJPEG Decompressor"},
    {Kind::Gif, true, false, ""},
};

class Render : public ::testing::TestWithParam<Case> {};

std::string Param(const ::testing::TestParamInfo<Case>& info) { return fixtures::Name(info.param.kind); }

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// Takes the renderers out of a rendered graph and connects what fed them into the mux.
void RewireIntoMux(IGraphBuilder* g, IBaseFilter* mux) {
  for (const char* name : {"Video Renderer", "Audio Renderer"}) {
    ComPtr<IBaseFilter> r = FilterNamed(g, name);
    if (!r) continue;
    ComPtr<IPin> in = PinsOf(r.Get())[0];
    ComPtr<IPin> up = Peer(in.Get());
    ASSERT_TRUE(up);
    ASSERT_EQ(g->Disconnect(up.Get()), S_OK);
    ASSERT_EQ(g->Disconnect(in.Get()), S_OK);
    ASSERT_EQ(g->RemoveFilter(r.Get()), S_OK);
    ComPtr<IPin> spare;
    for (auto& p : PinsOf(mux)) {
      PIN_DIRECTION d;
      p->QueryDirection(&d);
      if (d == PINDIR_INPUT && !Peer(p.Get())) spare = p;
    }
    ASSERT_TRUE(spare);
    ASSERT_EQ(g->Connect(up.Get(), spare.Get()), S_OK) << name;
  }
  ComPtr<IBaseFilter> writer = FilterNamed(g, "File writer");
  ASSERT_EQ(g->Connect(PinNamed(mux, "AVI Out").Get(), PinNamed(writer.Get(), "in").Get()), S_OK);
}

TEST_P(Render, RendersWithTheDecoderOfItsFamilyAndPlaysToCompletion) {
  const Case& c = GetParam();
  std::string path = Fixture(c.kind);
  auto g = NewGraph();
  ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
  auto names = FilterNames(g.Get());
  EXPECT_TRUE(Contains(names, path)) << "the source is named by its path";
  if (*c.decoder) {
    EXPECT_TRUE(Contains(names, c.decoder)) << c.decoder;
  }
  EXPECT_EQ(Contains(names, "Video Renderer"), c.video);
  EXPECT_EQ(Contains(names, "Audio Renderer"), c.audio);
  // The DivX check of the main window: only the hack coding has a "divx" decoder other than the
  // genuine one.
  bool illegal = false;
  for (auto& n : names) {
    std::string low = n;
    std::transform(low.begin(), low.end(), low.begin(), ::tolower);
    if (n != path && low.find("divx") != std::string::npos && low != "divx decoder filter") illegal = true;
  }
  EXPECT_EQ(illegal, c.kind == Kind::AviDiv3);

  auto pos = g.As<IMediaPosition>();
  double duration = -1;
  ASSERT_EQ(pos->get_Duration(&duration), S_OK);
  if (fixtures::IsStill(c.kind)) {
    EXPECT_EQ(duration, 0.0);
  } else {
    EXPECT_NEAR(duration, 1.0, 0.15);
  }
  ASSERT_EQ(pos->put_Rate(2.0), S_OK);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  double at = -1;
  pos->get_CurrentPosition(&at);
  EXPECT_NEAR(at, duration, 1e-6) << "a completed graph stands at its end";
}

// Movies and sound (a picture has no duration to convert).
std::vector<Case> TimedCases() {
  std::vector<Case> out;
  for (const Case& c : kCases)
    if (!fixtures::IsStill(c.kind)) out.push_back(c);
  return out;
}

class Convert : public ::testing::TestWithParam<Case> {};

TEST_P(Convert, IntoAnUncompressedAviThroughTheRewiredGraph) {
  const Case& c = GetParam();
  std::string path = Fixture(c.kind);
  std::string target = Target(fixtures::Name(c.kind) + "_rewired.avi");
  auto g = NewGraph();
  ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  RewireIntoMux(g.Get(), mux.Get());
  if (HasFatalFailure()) return;
  // Always one spare input after the connected ones.
  int connected = 0, spare = 0;
  for (auto& p : PinsOf(mux.Get())) {
    PIN_DIRECTION d;
    p->QueryDirection(&d);
    if (d != PINDIR_INPUT) continue;
    (Peer(p.Get()) ? connected : spare)++;
  }
  EXPECT_EQ(connected, (c.video ? 1 : 0) + (c.audio ? 1 : 0));
  EXPECT_EQ(spare, 1);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  g = nullptr;

  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.formatName, "avi");
  EXPECT_EQ(probe.streams.size(), static_cast<size_t>((c.video ? 1 : 0) + (c.audio ? 1 : 0)));
  if (c.video) {
    const auto* v = probe.First("video");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->codecName, "rawvideo");
    EXPECT_EQ(v->width, 160);
    EXPECT_EQ(v->height, 120);
    EXPECT_EQ(v->frames, fixtures::FrameCount({}));
    EXPECT_NEAR(v->frameRate, 25.0, 0.01);
    // Upright pictures in order: the frame-number code stands on the top rows.
    std::vector<int> expected(static_cast<size_t>(fixtures::FrameCount({})));
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i % 256);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(target), expected);
  }
  if (c.audio) {
    const auto* a = probe.First("audio");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->codecName, "pcm_s16le");
    EXPECT_GT(a->sampleRate, 0);
    EXPECT_GT(a->channels, 0);
  }
  EXPECT_NEAR(probe.duration, 1.0, 0.15);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Render, ::testing::ValuesIn(kCases), Param);
INSTANTIATE_TEST_SUITE_P(Kinds, Convert, ::testing::ValuesIn(TimedCases()), Param);

TEST(RenderIntoMux, RenderingPrefersTheMuxAlreadyInTheGraph) {
  // An AVI rendered into a graph holding the mux and the writer goes into them, not into
  // renderers; its streams are copied as they are.
  std::string path = Fixture(Kind::AviMjpegPcm);
  std::string target = Target("copied.avi");
  auto g = NewGraph();
  AddMuxAndWriter(g.Get(), target);
  ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
  auto names = FilterNames(g.Get());
  EXPECT_FALSE(Contains(names, "Video Renderer"));
  EXPECT_FALSE(Contains(names, "Audio Renderer"));
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  g = nullptr;
  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const auto* v = probe.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->codecName, "mjpeg");
  EXPECT_EQ(v->frames, 25);
  ASSERT_TRUE(probe.First("audio"));
  EXPECT_EQ(probe.First("audio")->codecName, "pcm_s16le");
}

TEST(RenderDecoders, AHackMovieWithTheMicrosoftCodesInItsHeaderDecodesWithoutTheDivxFilter) {
  // The main window's repair writes "mp43" at byte 112 and "MP43" at byte 188 of a copy.
  auto bytes = fixtures::ReadFile(Fixture(Kind::AviDiv3));
  ASSERT_GT(bytes.size(), 200u);
  ASSERT_EQ(std::string(bytes.begin() + 108, bytes.begin() + 112), "vids") << "standard layout";
  std::memcpy(bytes.data() + 112, "mp43", 4);
  std::memcpy(bytes.data() + 188, "MP43", 4);
  std::string copy = fixtures::ScratchFolder("repair") + "/movie_wz.avi";
  {
    FILE* f = std::fopen(copy.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  auto g = NewGraph();
  ASSERT_GE(g->RenderFile(U(copy).c_str(), nullptr), 0);
  auto names = FilterNames(g.Get());
  EXPECT_TRUE(Contains(names, "Microsoft MPEG-4 Video Decompressor"));
  for (auto& n : names) EXPECT_EQ(n.find("DivX"), std::string::npos) << n;
}

// A pass-through filter on the platform's in-place base, counting what passes.
class CountingFilter : public dshow::InPlaceTransformFilter {
 public:
  CountingFilter()
      : InPlaceTransformFilter(u"Counter", MakeGuid("{3F0C7B55-21D4-4E2A-9C61-7B1E0D5A9F10}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample*) override {
    ++samples;
    return S_OK;
  }
  std::atomic<int> samples{0};
};

TEST(RenderStills, APictureIsOneFrameOfNoDurationAnimatedOrNot) {
  std::string animated = fixtures::ScratchFolder("stills") + "/animated.gif";
  std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=d=1:s=64x48:r=5 '" + animated + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const std::string& path : {Fixture(Kind::Bmp), Fixture(Kind::Jpeg), Fixture(Kind::Gif), animated}) {
    auto g = NewGraph();
    ASSERT_EQ(g->RenderFile(U(path).c_str(), nullptr), S_OK) << path;
    auto counter = MakeComObject<CountingFilter>();
    SpliceBefore(g.Get(), "Video Renderer", counter.Get(), u"Counter");
    if (HasFatalFailure()) return;
    double duration = -1;
    g.As<IMediaPosition>()->get_Duration(&duration);
    EXPECT_EQ(duration, 0.0) << path;
    EXPECT_EQ(RunToEnd(g.Get(), 10000), EC_COMPLETE) << path;
    EXPECT_EQ(counter->samples, 1) << path;
  }
}

TEST(RenderIntoMux, AFilterInsertedInFrontOfTheMuxStillGivesAValidFile) {
  // The way the codec manager inserts a compressor: cut the link in front of the mux, put a
  // filter in, connect both sides; here a colour converter to 16-bit RGB and a pass-through.
  std::string path = Fixture(Kind::AviDx50);
  std::string target = Target("inserted.avi");
  auto g = NewGraph();
  ASSERT_GE(g->RenderFile(U(path).c_str(), nullptr), 0);
  ComPtr<IBaseFilter> mux = AddMuxAndWriter(g.Get(), target);
  RewireIntoMux(g.Get(), mux.Get());
  if (HasFatalFailure()) return;

  ComPtr<IPin> muxIn = PinNamed(mux.Get(), "Input 01");
  MediaType mt;
  ASSERT_EQ(muxIn->ConnectionMediaType(&mt), S_OK);
  ASSERT_EQ(mt.majortype, MEDIATYPE_Video);
  ComPtr<IPin> up = Peer(muxIn.Get());
  ASSERT_EQ(g->Disconnect(up.Get()), S_OK);
  ASSERT_EQ(g->Disconnect(muxIn.Get()), S_OK);
  ComPtr<IBaseFilter> conv = AddRegistered(g.Get(), "Color Space Converter");
  ASSERT_TRUE(conv);
  auto counter = MakeComObject<CountingFilter>();
  ASSERT_EQ(g->AddFilter(counter.Get(), u"Counter"), S_OK);
  ASSERT_EQ(g->Connect(up.Get(), PinNamed(conv.Get(), "XForm In").Get()), S_OK);
  MediaType rgb555;
  rgb555.majortype = MEDIATYPE_Video;
  rgb555.subtype = MEDIASUBTYPE_RGB555;
  ASSERT_EQ(g->ConnectDirect(PinNamed(conv.Get(), "XForm Out").Get(), PinNamed(counter.Get(), "Input").Get(),
                             &rgb555),
            S_OK);
  ASSERT_EQ(g->ConnectDirect(PinNamed(counter.Get(), "Output").Get(), muxIn.Get(), nullptr), S_OK);
  MediaType now;
  ASSERT_EQ(muxIn->ConnectionMediaType(&now), S_OK);
  EXPECT_EQ(now.subtype, MEDIASUBTYPE_RGB555);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  EXPECT_EQ(counter->samples, 25);
  g = nullptr;
  auto probe = fixtures::RunFfprobe(target);
  ASSERT_TRUE(probe.ok) << probe.error;
  const auto* v = probe.First("video");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->codecName, "rawvideo");
  EXPECT_EQ(v->frames, 25);
  ASSERT_TRUE(probe.First("audio"));
}

}  // namespace
