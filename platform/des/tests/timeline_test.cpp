// The timeline model: node kinds, what each member refuses, placement, duration; and what a group
// renders, frame by frame and block by block, on generated media.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/com.h"
#include "des/timeline.h"
#include "des/transitions.h"
#include "fixtures.h"
#include "timeline_test_util.h"
#include "group_renderer.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "timeline_model.h"

namespace {

using namespace timeline_test;
using des_detail::GroupRenderer;
using des_detail::TimelineSnap;

// --- Refusals -------------------------------------------------------------------------------

TEST(TimelineModel, EveryRefusalIsInvalidArgAndChangesNothing) {
  auto tl = NewTimeline();
  auto other = NewTimeline();
  auto group = Node(tl.Get(), TIMELINE_MAJOR_TYPE_GROUP);
  auto track = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRACK);
  auto source = Node(tl.Get(), TIMELINE_MAJOR_TYPE_SOURCE);
  auto trans = Node(tl.Get(), TIMELINE_MAJOR_TYPE_TRANSITION);
  auto foreignTrack = Node(other.Get(), TIMELINE_MAJOR_TYPE_TRACK);
  auto foreignGroup = Node(other.Get(), TIMELINE_MAJOR_TYPE_GROUP);
  auto g = As<IAMTimelineGroup>(group.Get());
  ASSERT_EQ(tl->AddGroup(group.Get()), S_OK);
  ASSERT_EQ(As<IAMTimelineComp>(group.Get())->VTrackInsBefore(track.Get(), -1), S_OK);
  ASSERT_EQ(source->SetStartStop2(1, 3), S_OK);
  ASSERT_EQ(As<IAMTimelineTrack>(track.Get())->SrcAdd(source.Get()), S_OK);
  ASSERT_EQ(trans->SetSubObjectGUIDB(Bstr(kFade)), S_OK);
  ASSERT_EQ(trans->SetStartStop2(1, 2), S_OK);
  ASSERT_EQ(As<IAMTimelineTransable>(track.Get())->TransAdd(trans.Get()), S_OK);

  auto fresh = [&](LONG kind) { return Node(tl.Get(), kind); };
  AM_MEDIA_TYPE none{};
  MediaType yuv = dshow::MakeRgbVideoType(320, 240, 16, 0, MEDIASUBTYPE_RGB555);
  yuv.subtype = MakeGuid("{32595559-0000-0010-8000-00AA00389B71}");
  MediaType tooWide = dshow::MakeRgbVideoType(4097, 240, 16, 0, MEDIASUBTYPE_RGB555);
  MediaType zeroHigh = dshow::MakeRgbVideoType(320, 0, 24, 0, MEDIASUBTYPE_RGB24);
  MediaType wrongBits = dshow::MakeRgbVideoType(320, 240, 24, 0, MEDIASUBTYPE_RGB555);
  MediaType float32 = dshow::MakePcmAudioType(44100, 2, 32);

  struct Case {
    const char* what;
    std::function<HRESULT()> call;
  };
  const std::vector<Case> cases = {
      {"node kind 1", [&] { ComPtr<IAMTimelineObj> n; return tl->CreateEmptyNode(n.put(), 1); }},
      {"node kind 16", [&] { ComPtr<IAMTimelineObj> n; return tl->CreateEmptyNode(n.put(), 16); }},
      {"node kind 0", [&] { ComPtr<IAMTimelineObj> n; return tl->CreateEmptyNode(n.put(), 0); }},
      {"AddGroup twice", [&] { return tl->AddGroup(group.Get()); }},
      {"AddGroup of a track", [&] { return tl->AddGroup(fresh(TIMELINE_MAJOR_TYPE_TRACK).Get()); }},
      {"AddGroup of another timeline's group", [&] { return tl->AddGroup(foreignGroup.Get()); }},
      {"AddGroup of nothing", [&] { return tl->AddGroup(nullptr); }},
      {"GetGroup -1", [&] { ComPtr<IAMTimelineObj> n; return tl->GetGroup(n.put(), -1); }},
      {"GetGroup count", [&] { ComPtr<IAMTimelineObj> n; return tl->GetGroup(n.put(), 1); }},
      {"start below 0", [&] { return fresh(4)->SetStartStop2(-0.5, 1); }},
      {"stop before start", [&] { return fresh(4)->SetStartStop2(2, 1); }},
      {"start not a number", [&] { return fresh(4)->SetStartStop2(NAN, 1); }},
      {"stop infinite", [&] { return fresh(4)->SetStartStop2(0, INFINITY); }},
      {"media start below 0", [&] { return As<IAMTimelineSrc>(fresh(4).Get())->SetMediaTimes2(-1, 1); }},
      {"media stop before start", [&] { return As<IAMTimelineSrc>(fresh(4).Get())->SetMediaTimes2(3, 2); }},
      {"effect empty", [&] { return fresh(8)->SetSubObjectGUIDB(Bstr("")); }},
      {"effect None", [&] { return fresh(8)->SetSubObjectGUIDB(Bstr("None")); }},
      {"effect unknown", [&] { return fresh(8)->SetSubObjectGUIDB(Bstr("{00000000-0000-0000-0000-000000000001}")); }},
      {"effect without braces", [&] { return fresh(8)->SetSubObjectGUIDB(Bstr("16B280C5-EE70-11D1-9066-00C04FD9189D")); }},
      {"media type for VB 2", [&] { return g->SetMediaTypeForVB(2); }},
      {"media type for VB -1", [&] { return g->SetMediaTypeForVB(-1); }},
      {"media type nothing", [&] { return g->SetMediaType(nullptr); }},
      {"media type empty", [&] { return g->SetMediaType(&none); }},
      {"media type YUY2", [&] { return g->SetMediaType(&yuv); }},
      {"media type 4097 wide", [&] { return g->SetMediaType(&tooWide); }},
      {"media type 0 high", [&] { return g->SetMediaType(&zeroHigh); }},
      {"media type 555 with 24 bits", [&] { return g->SetMediaType(&wrongBits); }},
      {"media type 32-bit PCM", [&] { return g->SetMediaType(&float32); }},
      {"fps 0", [&] { return g->SetOutputFPS(0); }},
      {"fps -15", [&] { return g->SetOutputFPS(-15); }},
      {"fps NaN", [&] { return g->SetOutputFPS(NAN); }},
      {"buffering -1", [&] { return g->SetOutputBuffering(-1); }},
      {"track placed twice", [&] { return As<IAMTimelineComp>(group.Get())->VTrackInsBefore(track.Get(), -1); }},
      {"track priority -2", [&] { return As<IAMTimelineComp>(group.Get())->VTrackInsBefore(fresh(2).Get(), -2); }},
      {"track priority past the end", [&] { return As<IAMTimelineComp>(group.Get())->VTrackInsBefore(fresh(2).Get(), 2); }},
      {"track of another timeline", [&] { return As<IAMTimelineComp>(group.Get())->VTrackInsBefore(foreignTrack.Get(), -1); }},
      {"a source as track", [&] { return As<IAMTimelineComp>(group.Get())->VTrackInsBefore(fresh(4).Get(), -1); }},
      {"source overlapping", [&] {
         auto s = fresh(4);
         s->SetStartStop2(2.5, 4);
         return As<IAMTimelineTrack>(track.Get())->SrcAdd(s.Get());
       }},
      {"source placed twice", [&] { return As<IAMTimelineTrack>(track.Get())->SrcAdd(source.Get()); }},
      {"placed source moved onto a neighbour", [&] {
         auto s = fresh(4);
         s->SetStartStop2(3, 4);
         EXPECT_EQ(As<IAMTimelineTrack>(track.Get())->SrcAdd(s.Get()), S_OK);
         return s->SetStartStop2(2, 4);
       }},
      {"a transition as source", [&] { return As<IAMTimelineTrack>(track.Get())->SrcAdd(fresh(8).Get()); }},
      {"transition without effect", [&] {
         auto x = fresh(8);
         x->SetStartStop2(5, 6);
         return As<IAMTimelineTransable>(track.Get())->TransAdd(x.Get());
       }},
      {"transition overlapping", [&] {
         auto x = fresh(8);
         x->SetSubObjectGUIDB(Bstr(kFade));
         x->SetStartStop2(1.5, 2.5);
         return As<IAMTimelineTransable>(track.Get())->TransAdd(x.Get());
       }},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), E_INVALIDARG) << c.what;

  // Nothing refused left a trace.
  LONG count = 0;
  EXPECT_EQ(tl->GetGroupCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  double fps = 0;
  g->GetOutputFPS(&fps);
  EXPECT_EQ(fps, 15.0);
  AM_MEDIA_TYPE mt{};
  ASSERT_EQ(g->GetMediaType(&mt), S_OK);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB555);
  EXPECT_EQ(VideoInfo(mt)->bmiHeader.biWidth, 320);
  FreeMediaType(mt);
  double start = 0, stop = 0;
  source->GetStartStop2(&start, &stop);
  EXPECT_EQ(start, 1.0);
  EXPECT_EQ(stop, 3.0);
  LONG tracks = 0;
  As<IAMTimelineComp>(group.Get())->VTrackGetCount(&tracks);
  EXPECT_EQ(tracks, 1);
}

TEST(TimelineModel, NodesAnswerTheInterfacesOfTheirKind) {
  auto tl = NewTimeline();
  struct Row {
    LONG kind;
    std::vector<IID> yes, no;
  };
  const std::vector<Row> rows = {
      {128, {IAMTimelineObj::iid, IAMTimelineGroup::iid, IAMTimelineComp::iid},
       {IAMTimelineTrack::iid, IAMTimelineSrc::iid, IAMTimelineTrans::iid}},
      {2, {IAMTimelineObj::iid, IAMTimelineTrack::iid, IAMTimelineTransable::iid},
       {IAMTimelineGroup::iid, IAMTimelineSrc::iid, IAMTimelineTrans::iid}},
      {4, {IAMTimelineObj::iid, IAMTimelineSrc::iid}, {IAMTimelineGroup::iid, IAMTimelineTrack::iid}},
      {8, {IAMTimelineObj::iid, IAMTimelineTrans::iid}, {IAMTimelineComp::iid, IAMTimelineSrc::iid}},
  };
  for (const auto& r : rows) {
    auto n = Node(tl.Get(), r.kind);
    LONG type = 0;
    n->GetTimelineType(&type);
    EXPECT_EQ(type, r.kind);
    for (const IID& i : r.yes) {
      ComPtr<IUnknown> p;
      EXPECT_EQ(n->QueryInterface(i, p.put_void()), S_OK) << r.kind;
    }
    for (const IID& i : r.no) {
      ComPtr<IUnknown> p;
      EXPECT_EQ(n->QueryInterface(i, p.put_void()), E_NOINTERFACE) << r.kind;
    }
  }
}

TEST(TimelineModel, GroupsSettingsTracksAndDuration) {
  Builder b;
  auto g = As<IAMTimelineGroup>(b.group.Get());
  EXPECT_EQ(g->SetGroupName(Bstr("VIDEO")), S_OK);
  Bstr name;
  g->GetGroupName(&name);
  EXPECT_EQ(name.Utf8(), "VIDEO");
  // Sizes of the stream resizer pass: top-down 352 x -240 and an odd width.
  for (auto [w, h] : {std::pair{352, -240}, std::pair{161, 120}, std::pair{1, 4096}}) {
    MediaType mt = dshow::MakeRgbVideoType(w, h, 16, 0, MEDIASUBTYPE_RGB555);
    EXPECT_EQ(g->SetMediaType(&mt), S_OK) << w << "x" << h;
  }
  for (auto [bits, sub] : {std::pair{16, MEDIASUBTYPE_RGB565}, std::pair{24, MEDIASUBTYPE_RGB24},
                           std::pair{32, MEDIASUBTYPE_RGB32}}) {
    MediaType mt = dshow::MakeRgbVideoType(64, 48, bits, 0, sub);
    EXPECT_EQ(g->SetMediaType(&mt), S_OK) << bits;
  }
  MediaType pcm = dshow::MakePcmAudioType(22050, 1, 8);
  EXPECT_EQ(g->SetMediaType(&pcm), S_OK);
  EXPECT_EQ(g->SetMediaTypeForVB(1), S_OK);
  AM_MEDIA_TYPE mt{};
  g->GetMediaType(&mt);
  ASSERT_NE(WaveFormat(mt), nullptr);
  EXPECT_EQ(WaveFormat(mt)->nSamplesPerSec, 44100u);
  EXPECT_EQ(WaveFormat(mt)->nChannels, 2);
  EXPECT_EQ(WaveFormat(mt)->wBitsPerSample, 16);
  FreeMediaType(mt);
  LONG enabled = 0;
  b.tl->TransitionsEnabled(&enabled);
  EXPECT_EQ(enabled, 1);
  double fps = 0;
  g->GetOutputFPS(&fps);
  EXPECT_EQ(fps, 15.0);

  // Tracks: -1 on top, an index in front of that layer.
  auto t0 = Node(b.tl.Get(), 2), t1 = Node(b.tl.Get(), 2), t2 = Node(b.tl.Get(), 2);
  auto comp = As<IAMTimelineComp>(b.group.Get());
  EXPECT_EQ(comp->VTrackInsBefore(t0.Get(), -1), S_OK);
  EXPECT_EQ(comp->VTrackInsBefore(t1.Get(), -1), S_OK);
  EXPECT_EQ(comp->VTrackInsBefore(t2.Get(), 0), S_OK);
  ComPtr<IAMTimelineObj> bottom;
  comp->GetVTrack(bottom.put(), 0);
  EXPECT_EQ(bottom.Get(), t2.Get());

  // Equal start and stop are allowed; touching spans do not overlap; duration = latest stop.
  auto s1 = Node(b.tl.Get(), 4), s2 = Node(b.tl.Get(), 4), s3 = Node(b.tl.Get(), 4);
  EXPECT_EQ(s1->SetStartStop2(0, 2.5), S_OK);
  EXPECT_EQ(s2->SetStartStop2(2.5, 2.5), S_OK);
  EXPECT_EQ(s3->SetStartStop2(2.5, 7.25), S_OK);
  for (auto* s : {s1.Get(), s2.Get(), s3.Get()})
    EXPECT_EQ(As<IAMTimelineTrack>(t0.Get())->SrcAdd(s), S_OK);
  double d = 0;
  b.tl->GetDuration2(&d);
  EXPECT_DOUBLE_EQ(d, 7.25);
  auto x = Node(b.tl.Get(), 8);
  EXPECT_EQ(x->SetSubObjectGUIDB(Bstr("{16b280c5-ee70-11d1-9066-00c04fd9189d}")), S_OK);
  EXPECT_EQ(x->SetStartStop2(7, 9), S_OK);
  EXPECT_EQ(As<IAMTimelineTransable>(t1.Get())->TransAdd(x.Get()), S_OK);
  b.tl->GetDuration2(&d);
  EXPECT_DOUBLE_EQ(d, 9);
  // The whole table of effects is accepted by its identifiers.
  for (const auto& fx : des::TransitionEffects()) {
    auto n = Node(b.tl.Get(), 8);
    EXPECT_EQ(n->SetSubObjectGUIDB(Bstr(GuidToString(fx.clsid))), S_OK) << fx.name;
  }
}

TEST(TimelineModel, AllFourClassesAreCreatedByClassIdentifier) {
  for (const CLSID& c : {CLSID_AMTimeline, CLSID_RenderEngine, CLSID_SmartRenderEngine, CLSID_Xml2Dex}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(CoCreateInstance(c, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, p.put_void()), S_OK);
  }
}

// --- Rendering ------------------------------------------------------------------------------

class GroupRendering : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new std::string(fixtures::ScratchFolder("timeline"));
    fixtures::Options o;
    o.width = 96;
    o.height = 64;
    o.fps = 25;
    o.seconds = 2.0;
    clip_ = new std::string(fixtures::Make(fixtures::Kind::AviMjpegPcm, *folder_, o));
  }
  static void TearDownTestSuite() {
    delete clip_;
    delete folder_;
  }

  static int FrameNumber(const std::vector<uint32_t>& px, int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < px.size(); ++i) {
      rgb[3 * i] = static_cast<uint8_t>(px[i] >> 16);
      rgb[3 * i + 1] = static_cast<uint8_t>(px[i] >> 8);
      rgb[3 * i + 2] = static_cast<uint8_t>(px[i]);
    }
    return fixtures::ReadFrameNumber(rgb.data(), w * 3, w, h);
  }
  static bool IsBlack(const std::vector<uint32_t>& px) {
    for (uint32_t p : px)
      if ((p & 0xFFFFFF) != 0) return false;
    return true;
  }
  // Frame numbers of frames [0, n) of the first group.
  static std::vector<int> Numbers(Builder& b, int n) {
    TimelineSnap s = b.Snap();
    GroupRenderer r(s.groups[0], s.transitionsEnabled, s.duration);
    std::vector<int> out;
    std::vector<uint32_t> pic;
    for (int k = 0; k < n; ++k) {
      r.RenderPicture(r.FrameTime(k), pic);
      out.push_back(IsBlack(pic) ? -2 : FrameNumber(pic, r.Width(), r.Height()));
    }
    return out;
  }
  static std::string* folder_;
  static std::string* clip_;
};
std::string* GroupRendering::folder_ = nullptr;
std::string* GroupRendering::clip_ = nullptr;

TEST_F(GroupRendering, FramesFollowTheSourceAtTheGroupsRate) {
  Builder b;
  ASSERT_EQ(b.Source(0, *clip_, 0, 1.6), S_OK);
  std::vector<int> expected;
  for (int k = 0; k < 24; ++k) expected.push_back(5 * k / 3);
  EXPECT_EQ(Numbers(b, 24), expected);
  TimelineSnap s = b.Snap();
  GroupRenderer r(s.groups[0], true, s.duration);
  EXPECT_EQ(r.FrameCount(), 24);
  EXPECT_EQ(r.Width(), 320);
  EXPECT_EQ(r.Height(), 240);
}

TEST_F(GroupRendering, MediaStartGapsOverlapsAndTheLastFrameHeld) {
  Builder b(0, 25);
  // Track 0: media from frame 7 at 0..0.4 s; gap 0.4..0.6; the clip again 0.6..1.0.
  ASSERT_EQ(b.Source(0, *clip_, 0, 0.4, 7 / 25.0, 1.0), S_OK);
  ASSERT_EQ(b.Source(0, *clip_, 0.6, 1.0), S_OK);
  // Track 1 covers 0.2..0.3 with media from frame 40; a span longer than the media holds its
  // last frame (49).
  ASSERT_EQ(b.Source(1, *clip_, 0.2, 0.3, 40 / 25.0, 2.0), S_OK);
  ASSERT_EQ(b.Source(1, *clip_, 1.0, 3.0, 1.6, 3.0), S_OK);
  auto n = Numbers(b, 75);
  EXPECT_EQ(n[0], 7);
  EXPECT_EQ(n[4], 11);
  EXPECT_EQ(n[5], 40);   // the higher track
  EXPECT_EQ(n[7], 42);
  EXPECT_EQ(n[8], 15);   // back to the lower one
  EXPECT_EQ(n[10], -2);  // gap: black
  EXPECT_EQ(n[14], -2);
  EXPECT_EQ(n[15], 0);
  EXPECT_EQ(n[24], 9);
  EXPECT_EQ(n[25], 40);
  EXPECT_EQ(n[34], 49);
  EXPECT_EQ(n[74], 49);  // the last frame held
}

TEST_F(GroupRendering, TransitionsBlendBelowIntoTheLayerOrShowItWhenDisabled) {
  for (bool enabled : {true, false}) {
    Builder b;
    ASSERT_EQ(b.Source(0, *clip_, 0, 2), S_OK);
    ASSERT_EQ(b.Transition(1, kFade, 0.0, 1.0), S_OK);  // no source on track 1: B is black
    b.tl->EnableTransitions(enabled ? 1 : 0);
    TimelineSnap s = b.Snap();
    GroupRenderer r(s.groups[0], s.transitionsEnabled, s.duration);
    std::vector<uint32_t> pic, a;
    r.RenderPicture(r.FrameTime(7), pic);
    // Compare with the plain source picture.
    Builder plain;
    plain.Source(0, *clip_, 0, 2);
    TimelineSnap ps = plain.Snap();
    GroupRenderer pr(ps.groups[0], true, ps.duration);
    pr.RenderPicture(pr.FrameTime(7), a);
    if (enabled) {
      std::vector<uint32_t> expect(a.size()), black(a.size(), 0xFF000000u);
      des::FindTransition(*GuidFromString(kFade))
          ->apply(a.data(), black.data(), expect.data(), 320, 240, 7.0 / 15.0);
      EXPECT_EQ(pic, expect);
    } else {
      EXPECT_TRUE(IsBlack(pic));
    }
    r.RenderPicture(r.FrameTime(15), pic);  // after the transition: the source
    pr.RenderPicture(pr.FrameTime(15), a);
    EXPECT_EQ(pic, a);
  }
}

TEST_F(GroupRendering, SoundMixesTracksLeavesGapsSilentAndLastsTheTimeline) {
  Builder b(1);
  ASSERT_EQ(b.Source(0, *clip_, 0, 1), S_OK);
  ASSERT_EQ(b.Source(1, *clip_, 0.5, 1.5, 0.5, 1.5), S_OK);
  ASSERT_EQ(b.Source(0, *clip_, 2, 3, 0, 1), S_OK);
  TimelineSnap s = b.Snap();
  GroupRenderer r(s.groups[0], true, s.duration);
  EXPECT_EQ(r.SampleCount(), 3 * 44100);
  std::vector<int16_t> pcm(static_cast<size_t>(r.SampleCount()) * 2);
  for (int64_t i = 0; i < r.SampleCount(); i += 4410)
    r.RenderSound(i, 4410, pcm.data() + i * 2);
  auto rms = [&](double a, double z) {
    double sum = 0;
    const size_t i0 = static_cast<size_t>(a * 44100) * 2, i1 = static_cast<size_t>(z * 44100) * 2;
    for (size_t i = i0; i < i1; ++i) sum += double(pcm[i]) * pcm[i];
    return std::sqrt(sum / double(i1 - i0));
  };
  const double one = rms(0.05, 0.45), both = rms(0.55, 0.95), gap = rms(1.55, 1.95);
  EXPECT_GT(one, 500);
  EXPECT_GT(both, one * 1.5);  // the same tone twice, in step: louder
  EXPECT_EQ(gap, 0);
  EXPECT_GT(rms(2.05, 2.95), 500);
}

// A storyboard of many clips, each on a track of its own with a fade at its start: a picture or a
// sound block takes in only the tracks with a clip or a transition at its time, however many
// tracks the group has.
TEST_F(GroupRendering, APictureOrASoundBlockVisitsOnlyTheTracksActiveAtItsTime) {
  constexpr int kTracks = 40;
  for (LONG kind : {0, 1}) {
    SCOPED_TRACE(kind ? "sound" : "video");
    Builder b(kind);
    for (int k = 0; k < kTracks; ++k) {
      ASSERT_EQ(b.Source(static_cast<size_t>(k), *clip_, 0.2 * k, 0.2 * (k + 1)), S_OK);
      ASSERT_EQ(b.Transition(static_cast<size_t>(k), kFade, 0.2 * k, 0.2 * k + 0.1), S_OK);
    }
    TimelineSnap s = b.Snap();
    GroupRenderer r(s.groups[0], true, s.duration);
    size_t most = 0, calls = 0, busy = 0;
    if (kind == 0) {
      std::vector<uint32_t> pic;
      for (int64_t k = 0; k < r.FrameCount(); ++k, ++calls) {
        r.RenderPicture(r.FrameTime(k), pic);
        most = std::max(most, r.TracksVisited());
        busy += IsBlack(pic) ? 0 : 1;
      }
    } else {
      std::vector<int16_t> pcm(4410 * 2);
      for (int64_t i = 0; i < r.SampleCount(); i += 4410, ++calls) {
        r.RenderSound(i, 4410, pcm.data());
        most = std::max(most, r.TracksVisited());
        busy += std::any_of(pcm.begin(), pcm.end(), [](int16_t v) { return v != 0; }) ? 1 : 0;
      }
    }
    EXPECT_EQ(calls, kind ? size_t{80} : size_t{120}) << "eight seconds of frames or of tenths";
    EXPECT_GT(busy, calls / 2) << "the clips were rendered";
    EXPECT_GE(most, size_t{1});
    EXPECT_LE(most, size_t{2}) << "of " << kTracks << " tracks";
  }
}

TEST_F(GroupRendering, StillPicturesHoldTheirPictureForTheirSpan) {
  for (fixtures::Kind kind : {fixtures::Kind::Bmp, fixtures::Kind::Jpeg, fixtures::Kind::Gif}) {
    const std::string still = fixtures::Make(kind, *folder_);
    Builder b;
    ASSERT_EQ(b.Source(0, still, 0.5, 2), S_OK);
    auto n = Numbers(b, 30);
    EXPECT_EQ(n[0], -2) << fixtures::Name(kind);
    EXPECT_EQ(n[7], -2);
    for (int k : {8, 15, 29}) EXPECT_EQ(n[static_cast<size_t>(k)], 0) << fixtures::Name(kind) << " " << k;
  }
}

TEST_F(GroupRendering, EveryMovieKindGivesItsFramesInOrder) {
  using fixtures::Kind;
  for (Kind kind : {Kind::AviRgb, Kind::AviDiv3, Kind::AviDx50, Kind::Mpeg1Ps, Kind::Mov, Kind::Mp4}) {
    const std::string movie = fixtures::Make(kind, *folder_);
    Builder b(0, 25);
    ASSERT_EQ(b.Source(0, movie, 0, 0.8, 0.2, 1.0), S_OK);
    std::vector<int> expected;
    for (int k = 5; k < 25; ++k) expected.push_back(k);
    EXPECT_EQ(Numbers(b, 20), expected) << fixtures::Name(kind);
  }
}

TEST_F(GroupRendering, BadDataEndsASourceWhereItsDataEnds) {
  fixtures::Options o;
  o.width = 96;
  o.height = 64;
  o.seconds = 2.0;
  const std::string cut = fixtures::Make(fixtures::Kind::TruncatedAvi, *folder_, o);
  const std::string damaged = fixtures::Make(fixtures::Kind::AviDamagedIndex, *folder_, o);
  const int lastOfCut = fixtures::DecodedFrameNumbers(cut).back();
  // A cut-off movie holds its last whole frame; a media start past the end gives the last frame.
  Builder b(0, 25);
  ASSERT_EQ(b.Source(0, cut, 0, 2), S_OK);
  ASSERT_EQ(b.Source(1, *clip_, 2, 3, 10, 11), S_OK);
  auto n = Numbers(b, 75);
  EXPECT_EQ(n[0], 0);
  EXPECT_EQ(n[49], lastOfCut);
  EXPECT_EQ(n[50], 49);
  EXPECT_EQ(n[74], 49);
  // The same in sound: silence past the end.
  Builder s(1);
  ASSERT_EQ(s.Source(0, *clip_, 0, 1, 10, 11), S_OK);
  ASSERT_EQ(s.Source(1, damaged, 0, 1), S_OK);
  TimelineSnap snap = s.Snap();
  snap.groups[0].tracks.pop_back();  // the past-the-end source alone
  GroupRenderer r(snap.groups[0], true, snap.duration);
  std::vector<int16_t> pcm(44100 * 2);
  r.RenderSound(0, 44100, pcm.data());
  for (int16_t v : pcm) ASSERT_EQ(v, 0);
  // A file with a damaged index still renders without failing.
  TimelineSnap whole = s.Snap();
  GroupRenderer all(whole.groups[0], true, whole.duration);
  all.RenderSound(0, 44100, pcm.data());
}

}  // namespace

namespace {

using namespace timeline_test;

TEST(Xml2Dex, TheTimelineFileReadsBackExactly) {
  ComPtr<IXml2Dex> x;
  ASSERT_EQ(CoCreateInstance(CLSID_Xml2Dex, nullptr, CLSCTX_INPROC_SERVER, IXml2Dex::iid, x.put_void()), S_OK);
  Builder b(0, 29.97, "VID\"EO & <co>");
  const std::string odd = "/media/\xC3\xA9t\xC3\xA9 & <\"quoted\">.avi";
  ASSERT_EQ(b.Source(0, odd, 0.0000001, 1.2345678, 0.5, 1.7345677), S_OK);
  ASSERT_EQ(b.Transition(1, kFade, 3, 1234.5), S_OK);
  const std::string folder = fixtures::ScratchFolder("xml2dex");
  const std::string path = folder + "/t.xtl";
  ASSERT_EQ(x->WriteXMLFile(b.tl.Get(), Bstr(path)), S_OK);
  const auto bytes = fixtures::ReadFile(path);
  const std::string text(bytes.begin(), bytes.end());
  // Reads as the storyboard: names and paths escaped, times in seconds with a point.
  EXPECT_NE(text.find("name=\"VID&quot;EO &amp; &lt;co&gt;\""), std::string::npos) << text;
  EXPECT_NE(text.find("start=\"0.0000001\" stop=\"1.2345678\" mstart=\"0.5\" mstop=\"1.7345677\""),
            std::string::npos) << text;
  EXPECT_NE(text.find("<transition clsid=\"{16B280C5-EE70-11D1-9066-00C04FD9189D}\" start=\"3\" stop=\"1234.5\"/>"),
            std::string::npos) << text;
  EXPECT_NE(text.find("src=\"/media/\xC3\xA9t\xC3\xA9 &amp; &lt;&quot;quoted&quot;&gt;.avi\""), std::string::npos) << text;
  EXPECT_NE(text.find("fps=\"29.97\""), std::string::npos) << text;
  // Wrong objects; a place that cannot be written leaves nothing behind, an old file whole.
  EXPECT_EQ(x->WriteXMLFile(nullptr, Bstr(folder + "/n.xtl")), E_NOINTERFACE);
  EXPECT_EQ(x->WriteXMLFile(b.group.Get(), Bstr(folder + "/n.xtl")), E_NOINTERFACE);
  EXPECT_EQ(x->WriteGrfFile(b.tl.Get(), Bstr(folder + "/n.grf")), E_NOINTERFACE);
  EXPECT_TRUE(FAILED(x->WriteXMLFile(b.tl.Get(), Bstr(folder + "/missing/t.xtl"))));
  EXPECT_TRUE(fixtures::ReadFile(folder + "/n.xtl").empty());
  EXPECT_TRUE(FAILED(x->WriteXMLFile(b.tl.Get(), Bstr(folder))));
}

}  // namespace
