// The stream resizer as the main program uses it, created through its registration: the size
// table, the group's media type, the watch filter's splice into join graphs of the editing
// services' render engine, OnError from a refusing compressor, the developer prompt, and the
// library's registration, exports and unload rule.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "SampleGrabber.h"
#include "caption_fit.h"
#include "StreamResize.h"
#include "com/moniker.h"
#include "core/error.h"
#include "des/timeline.h"
#include "dshow/encoders.h"
#include "dshow_test_util.h"
#include "fixtures.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/dialogbox.h"
#include "forms/responder.h"
#include "com/resources.h"
#include "com/typeinfo.h"
#include "graphparts_test_util.h"
#include "join_graph.h"
#include "scripted_responder.h"
#include "timeline_test_util.h"

namespace {

using namespace graphparts_test;
using namespace dshow_test;
using namespace sizewarden;

class Sizewarden : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    forms_detail::EnsureApplication();
    ASSERT_EQ(Regsvr("Sizewarden"), 0);
  }
  ComPtr<IStreamResize> resizer_ = Create<IStreamResize>(CLSID_StreamResize);
};

ComPtr<IAMTimelineGroup> GroupOf(timeline_test::Builder& b) {
  return timeline_test::As<IAMTimelineGroup>(b.group.Get());
}

const VIDEOINFOHEADER* GroupVideoInfo(IAMTimelineGroup* g, MediaType& mt) {
  EXPECT_EQ(g->GetMediaType(&mt), S_OK);
  return mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)
             ? reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)
             : nullptr;
}

TEST_F(Sizewarden, QuerySizeAnswersTheTableAndComparesItsIndexUnsigned) {
  LONG count = 0;
  ASSERT_EQ(resizer_->get_SizeCount(&count), S_OK);
  EXPECT_EQ(count, 14);
  struct Row {
    int32_t index;
    LONG cx, cy;
    const char* text;
  };
  const Row rows[] = {{1, 160, 120, "160 x 120"},
                      {5, 704, 576, "704 x 576 (PAL DVD)"},
                      {9, 352, 288, "352 x 288 (PAL VCD/DVD)"},
                      {14, 352, 240, "352 x 240 (NTSC VCD/DVD)"},
                      {15, 0, 0, "Unknown"},
                      {-1, 0, 0, "Unknown"},
                      {INT32_MIN, 0, 0, "Unknown"},
                      {INT32_MAX, 0, 0, "Unknown"}};
  for (const Row& r : rows) {
    LONG cx = -7, cy = -7;
    Bstr d;
    ErrorValue e = errVal_FatalError;
    ASSERT_EQ(resizer_->QuerySize(r.index, &cx, &cy, &d, &e), S_OK) << r.index;
    EXPECT_EQ(cx, r.cx) << r.index;
    EXPECT_EQ(cy, r.cy) << r.index;
    EXPECT_EQ(d.Utf8(), r.text);
    EXPECT_EQ(e, errVal_NoError);
  }
  // Index 0 fails and writes nothing; null out pointers are skipped.
  LONG cx = -7, cy = -7;
  Bstr d = Bstr::FromUtf8("kept");
  ErrorValue e = errVal_FatalError;
  EXPECT_EQ(resizer_->QuerySize(0, &cx, &cy, &d, &e), static_cast<HRESULT>(0x800A017D));
  EXPECT_EQ(cx, -7);
  EXPECT_EQ(d.Utf8(), "kept");
  EXPECT_EQ(e, errVal_FatalError);
  EXPECT_EQ(resizer_->QuerySize(3, nullptr, nullptr, nullptr, nullptr), S_OK);
  // Late bound, as the main program's lists are filled.
  ComPtr<IDispatch> disp = resizer_.As<IDispatch>();
  int32_t vx = 0, vy = 0;
  Bstr vd;
  Variant r = InvokeDispatch(disp.Get(), 6, DISPATCH_METHOD,
                             {Variant(int32_t{3}), Variant::ByRef(VT_I4, &vx), Variant::ByRef(VT_I4, &vy),
                              Variant::ByRef(VT_BSTR, &vd)});
  EXPECT_EQ(vx, 320);
  EXPECT_EQ(vy, 240);
  EXPECT_EQ(vd.Utf8(), "320 x 240");
  EXPECT_EQ(r.Deref().i4(), 0);
}

TEST_F(Sizewarden, ChangeMediaTypeGivesTheGroupA16BitRgbTypeOfTheSize) {
  timeline_test::Builder b(0, 15, "VIDEO");
  auto g = GroupOf(b);
  ErrorValue e = errVal_NoError;
  // No group yet.
  ASSERT_EQ(resizer_->ChangeMediaType(320, 240, 1, 16, &e), S_OK);
  EXPECT_EQ(e, errVal_InvalidPtr);
  ASSERT_EQ(resizer_->put_TimelineGroup(b.group.Get()), S_OK);
  struct Case {
    LONG w, h, planes, bits;
    uint32_t sizeImage;
  };
  for (const Case& c : {Case{352, -240, 3, 24, 168960}, Case{161, 120, 1, 16, 38880}, Case{352, 240, 1, 16, 168960}}) {
    ASSERT_EQ(resizer_->ChangeMediaType(c.w, c.h, c.planes, c.bits, &e), S_OK);
    EXPECT_EQ(e, errVal_NoError) << c.w << "x" << c.h;
    MediaType mt;
    const VIDEOINFOHEADER* vih = GroupVideoInfo(g.Get(), mt);
    ASSERT_TRUE(vih);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB555);
    EXPECT_EQ(mt.cbFormat, 88u);
    EXPECT_TRUE(mt.bFixedSizeSamples);
    EXPECT_FALSE(mt.bTemporalCompression);
    EXPECT_EQ(mt.lSampleSize, c.sizeImage);
    EXPECT_EQ(vih->bmiHeader.biWidth, c.w);
    EXPECT_EQ(vih->bmiHeader.biHeight, c.h);
    EXPECT_EQ(vih->bmiHeader.biPlanes, 1);
    EXPECT_EQ(vih->bmiHeader.biBitCount, 16);
    EXPECT_EQ(vih->bmiHeader.biCompression, BI_RGB);
    EXPECT_EQ(vih->bmiHeader.biSizeImage, c.sizeImage);
    EXPECT_EQ(vih->rcSource.right, 0);
  }
  // Sizes that make no picture, or one whose size 32 bits cannot count, leave the group as it was.
  for (auto [w, h] : {std::pair<LONG, LONG>{0, 240}, {-352, 240}, {352, 0}, {INT32_MAX, INT32_MAX},
                      {INT32_MIN, INT32_MIN}, {70000, 70000}}) {
    ASSERT_EQ(resizer_->ChangeMediaType(w, h, 1, 16, &e), S_OK);
    EXPECT_EQ(e, errVal_VideoSizeInvalid) << w << "x" << h;
    MediaType mt;
    const VIDEOINFOHEADER* vih = GroupVideoInfo(g.Get(), mt);
    ASSERT_TRUE(vih);
    EXPECT_EQ(vih->bmiHeader.biWidth, 352);
    EXPECT_EQ(vih->bmiHeader.biHeight, 240);
  }
  // Not a group at all.
  auto tl = timeline_test::NewTimeline();
  ASSERT_EQ(resizer_->put_TimelineGroup(tl.Get()), S_OK);
  ASSERT_EQ(resizer_->ChangeMediaType(320, 240, 1, 16, &e), S_OK);
  EXPECT_EQ(e, errVal_VideoSizeInvalid);
}

TEST_F(Sizewarden, TheGroupIsHeldWithAReference) {
  ComPtr<IUnknown> before;
  ASSERT_EQ(resizer_->get_TimelineGroup(before.put()), S_OK);
  EXPECT_FALSE(before);
  {
    timeline_test::Builder b(0, 15, "VIDEO");
    ASSERT_EQ(resizer_->put_TimelineGroup(b.group.Get()), S_OK);
  }  // the caller drops its timeline
  ComPtr<IUnknown> held;
  ASSERT_EQ(resizer_->get_TimelineGroup(held.put()), S_OK);
  ASSERT_TRUE(held);
  ErrorValue e = errVal_FatalError;
  ASSERT_EQ(resizer_->ChangeMediaType(160, 120, 1, 16, &e), S_OK);
  EXPECT_EQ(e, errVal_NoError);
  ASSERT_EQ(resizer_->DestroyObjects(), S_OK);
  ASSERT_EQ(resizer_->DestroyObjects(), S_OK);
  ComPtr<IUnknown> after;
  ASSERT_EQ(resizer_->get_TimelineGroup(after.put()), S_OK);
  EXPECT_FALSE(after);
  ASSERT_EQ(resizer_->ChangeMediaType(160, 120, 1, 16, &e), S_OK);
  EXPECT_EQ(e, errVal_InvalidPtr);
}

TEST_F(Sizewarden, TheWatchFilterGoesInFrontOfTheMuxedCompressorAndTheJoinIsWritten) {
  Join j(resizer_.Get(), "sizewarden-mjpeg.avi");
  ComPtr<IBaseFilter> mjpeg = MjpegCompressor();
  ASSERT_TRUE(mjpeg);
  j.Wire(mjpeg.Get());
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  ComPtr<IBaseFilter> grabber = FilterNamed(j.graph.Get(), "Sample Grabber");
  ASSERT_TRUE(grabber);
  CLSID clsid{};
  grabber->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_SampleGrabber);
  auto pins = PinsOf(grabber.Get());
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(PinName(pins[0].Get()), "Input");
  EXPECT_EQ(PinName(pins[1].Get()), "Output");
  EXPECT_TRUE(IsSameObject(Peer(pins[0].Get()).Get(), j.GroupPin(1).Get()));
  EXPECT_TRUE(IsSameObject(Peer(pins[1].Get()).Get(), PinsOf(mjpeg.Get())[0].Get()));
  EXPECT_NE(FindWindow(nullptr, "NotifyWnd"), 0u);
  Recorder events(resizer_.Get(), DIID__IStreamResizeEvents, 1);
  EXPECT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
  EXPECT_TRUE(events.heard.empty());
  fixtures::Probe p = fixtures::RunFfprobe(j.target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video") && p.First("audio"));
  EXPECT_EQ(p.First("video")->codecName, "mjpeg");
  EXPECT_EQ(p.First("video")->width, 352);
  EXPECT_EQ(p.First("video")->height, 240);
  EXPECT_EQ(p.First("video")->frames, 30);
  EXPECT_EQ(p.First("audio")->codecName, "pcm_s16le");
  // DestroyObjects takes the watch filter out and closes the window.
  ASSERT_EQ(resizer_->DestroyObjects(), S_OK);
  EXPECT_FALSE(FilterNamed(j.graph.Get(), "Sample Grabber"));
  EXPECT_EQ(FindWindow(nullptr, "NotifyWnd"), 0u);
}

TEST_F(Sizewarden, WithoutCompressionTheJoinIsRawRgb555) {
  Join j(resizer_.Get(), "sizewarden-raw.avi");
  j.Wire(nullptr);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  // The group's own source feeds the mux: it is spliced like any filter in front of the mux.
  EXPECT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(j.target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video") && p.First("audio"));
  EXPECT_EQ(p.First("video")->codecName, "rawvideo");
  EXPECT_EQ(p.First("video")->width, 352);
  EXPECT_EQ(p.First("video")->height, 240);
  EXPECT_EQ(p.First("audio")->codecName, "pcm_s16le");
  resizer_->DestroyObjects();
}

TEST_F(Sizewarden, ARefusedSampleRaisesOnErrorOnTheWindowThreadInsideRun) {
  Join j(resizer_.Get(), "sizewarden-refused.avi");
  ComPtr<RefusingFilter> refuser = MakeComObject<RefusingFilter>();
  j.Wire(refuser.Get(), u"Refusing Compressor");
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  ASSERT_TRUE(FilterNamed(j.graph.Get(), "Sample Grabber"));
  RefusedRun run = RunRefused(j.graph.Get(), resizer_.Get(), DIID__IStreamResizeEvents);
  EXPECT_TRUE(run.heardInRun);
  EXPECT_EQ(run.code, EC_ERRORABORT);
  ASSERT_FALSE(run.heard.empty());
  EXPECT_EQ(static_cast<int>(run.heard.size()), refuser->refused.load());
  for (const Heard& h : run.heard) {
    EXPECT_EQ(h.thread, std::this_thread::get_id());
    ASSERT_EQ(h.args.size(), 2u);
    EXPECT_EQ(h.args[0].Deref().i4(), errVal_VideoSizeInvalid);
    EXPECT_EQ(h.args[1].bstr().Utf8(), kSizeErrorText);
  }
  resizer_->DestroyObjects();
}

TEST_F(Sizewarden, AStoppingCompressorIsNotReported) {
  Join j(resizer_.Get(), "sizewarden-stopping.avi");
  ComPtr<RefusingFilter> refuser = MakeComObject<RefusingFilter>();
  refuser->refuseWith = VFW_E_WRONG_STATE;
  j.Wire(refuser.Get(), u"Refusing Compressor");
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  ASSERT_TRUE(FilterNamed(j.graph.Get(), "Sample Grabber"));
  Recorder errors(resizer_.Get(), DIID__IStreamResizeEvents, 1);
  // Paused, samples flow into the refusing compressor; the stop answers any message still sent.
  auto mc = j.graph.As<IMediaControl>();
  ASSERT_TRUE(SUCCEEDED(mc->Pause()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (refuser->refused.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    PumpSentMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GT(refuser->refused.load(), 0);
  mc->Stop();
  EXPECT_TRUE(errors.heard.empty());
  resizer_->DestroyObjects();
}

TEST_F(Sizewarden, SplicesEveryAviMuxAndOnlyFormatVideoInfo) {
  // No graph, or not a graph: nothing spliced, still TRUE.
  VARIANT_BOOL ok = VARIANT_FALSE;
  EXPECT_EQ(resizer_->CheckIfSizeIsSupported(nullptr, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  auto tl = timeline_test::NewTimeline();
  ok = VARIANT_FALSE;
  EXPECT_EQ(resizer_->CheckIfSizeIsSupported(tl.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  // Twice on the same graph: a second watch filter between the first and the compressor.
  Join j(resizer_.Get(), "sizewarden-twice.avi");
  ComPtr<IBaseFilter> mjpeg = MjpegCompressor();
  ASSERT_TRUE(mjpeg);
  j.Wire(mjpeg.Get());
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  auto names = FilterNames(j.graph.Get());
  EXPECT_EQ(std::count(names.begin(), names.end(), "Sample Grabber"), 2);
  ComPtr<IPin> compressorIn = PinsOf(mjpeg.Get())[0];
  PIN_INFO info;
  ASSERT_EQ(Peer(compressorIn.Get())->QueryPinInfo(&info), S_OK);
  ComPtr<IBaseFilter> second = ComPtr<IBaseFilter>::Attach(info.pFilter);
  EXPECT_EQ(NameOf(second.Get()), "Sample Grabber");
  ComPtr<IPin> secondIn = PinsOf(second.Get())[0];
  PIN_INFO firstInfo;
  ASSERT_EQ(Peer(secondIn.Get())->QueryPinInfo(&firstInfo), S_OK);
  ComPtr<IBaseFilter> first = ComPtr<IBaseFilter>::Attach(firstInfo.pFilter);
  EXPECT_EQ(NameOf(first.Get()), "Sample Grabber");
  EXPECT_FALSE(IsSameObject(first.Get(), second.Get()));
  // Only the second is held: a new group's put removes it and leaves the first.
  timeline_test::Builder next(0, 15, "VIDEO");
  ASSERT_EQ(resizer_->put_TimelineGroup(next.group.Get()), S_OK);
  names = FilterNames(j.graph.Get());
  EXPECT_EQ(std::count(names.begin(), names.end(), "Sample Grabber"), 1);
  EXPECT_EQ(FindWindow(nullptr, "NotifyWnd"), 0u);
  resizer_->DestroyObjects();
}

TEST_F(Sizewarden, AMuxUnderAnotherNameIsLeftAlone) {
  Join j(nullptr, "sizewarden-renamed.avi");
  j.Wire(nullptr);
  auto before = FilterNames(j.graph.Get());
  // A mux under another name (the name must match exactly, case included).
  auto mux = FilterNamed(j.graph.Get(), "AVI Mux");
  ASSERT_TRUE(mux);
  FILTER_INFO info;
  mux->QueryFilterInfo(&info);
  ComPtr<IFilterGraph> fg = ComPtr<IFilterGraph>::Attach(info.pGraph);
  ASSERT_EQ(j.graph->RemoveFilter(mux.Get()), S_OK);
  ASSERT_EQ(j.graph->AddFilter(mux.Get(), u"AVI mux"), S_OK);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_FALSE(FilterNamed(j.graph.Get(), "Sample Grabber"));
}

// A test source of one video type, a pass-through compressor and a sink added to the graph as
// "AVI Mux": the splice looks only at the mux's name and its inputs' upstream types.
class OneTypeSource : public dshow::Filter {
 public:
  explicit OneTypeSource(MediaType type)
      : Filter(u"One Type Source", MakeGuid("{3C1E8A52-7D40-4B96-A2F3-6E9B0C5D1F74}")), out_(this, u"Out") {
    out_.SetTypes({std::move(type)});
  }
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &out_ : nullptr; }
  dshow::OutputPin out_;
};

class StandInMux : public dshow::Filter {
 public:
  StandInMux()
      : Filter(u"Stand-in Mux", MakeGuid("{3C1E8A52-7D40-4B96-A2F3-6E9B0C5D1F75}")),
        in_(this, u"Input 01", [](const AM_MEDIA_TYPE&) { return S_OK; }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  dshow::InputPin in_;
};

class PassThroughCompressor : public dshow::InPlaceTransformFilter {
 public:
  PassThroughCompressor() : InPlaceTransformFilter(u"Pass-through Compressor", GUID_NULL, false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
};

// A 32 x 16 RGB555 type with a VIDEOINFOHEADER, or with a VIDEOINFOHEADER2 (112 bytes, its
// bitmap header at byte 72).
MediaType SmallVideoType(const GUID& format) {
  MediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_RGB555;
  mt.formattype = format;
  mt.bFixedSizeSamples = 1;
  mt.lSampleSize = 32 * 16 * 2;
  BITMAPINFOHEADER bih;
  bih.biWidth = 32;
  bih.biHeight = 16;
  bih.biBitCount = 16;
  bih.biSizeImage = 32 * 16 * 2;
  const bool v2 = format == FORMAT_VideoInfo2;
  uint8_t* block = SetFormatBuffer(mt, v2 ? 112 : sizeof(VIDEOINFOHEADER));
  std::memset(block, 0, mt.cbFormat);
  std::memcpy(block + (v2 ? 72 : offsetof(VIDEOINFOHEADER, bmiHeader)), &bih, sizeof bih);
  return mt;
}

// Source, compressor and stand-in mux connected in a new graph.
struct StandInJoin {
  explicit StandInJoin(const GUID& format) {
    graph = NewGraph();
    source = MakeComObject<OneTypeSource>(SmallVideoType(format));
    compressor = MakeComObject<PassThroughCompressor>();
    mux = MakeComObject<StandInMux>();
    EXPECT_EQ(graph->AddFilter(source.Get(), u"One Type Source"), S_OK);
    EXPECT_EQ(graph->AddFilter(compressor.Get(), u"Pass-through Compressor"), S_OK);
    EXPECT_EQ(graph->AddFilter(mux.Get(), u"AVI Mux"), S_OK);
    EXPECT_EQ(graph->ConnectDirect(PinsOf(source.Get())[0].Get(), PinsOf(compressor.Get())[0].Get(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(PinsOf(compressor.Get())[1].Get(), PinsOf(mux.Get())[0].Get(), nullptr), S_OK);
  }
  ComPtr<IGraphBuilder> graph;
  ComPtr<OneTypeSource> source;
  ComPtr<PassThroughCompressor> compressor;
  ComPtr<StandInMux> mux;
};

TEST_F(Sizewarden, OnlyAMuxInputOfFormatVideoInfoIsSpliced) {
  struct Case {
    const char* format;
    GUID formatType;
    bool spliced;
  } cases[] = {{"VideoInfo", FORMAT_VideoInfo, true}, {"VideoInfo2", FORMAT_VideoInfo2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    StandInJoin j(c.formatType);
    MediaType upstream;
    ASSERT_EQ(PinsOf(j.compressor.Get())[1]->ConnectionMediaType(&upstream), S_OK);
    ASSERT_EQ(upstream.formattype, c.formatType);
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    ComPtr<IBaseFilter> grabber = FilterNamed(j.graph.Get(), "Sample Grabber");
    EXPECT_EQ(static_cast<bool>(grabber), c.spliced);
    ComPtr<IPin> intoCompressor = Peer(PinsOf(j.compressor.Get())[0].Get());
    ASSERT_TRUE(intoCompressor);
    PIN_INFO info;
    ASSERT_EQ(intoCompressor->QueryPinInfo(&info), S_OK);
    ComPtr<IBaseFilter> before = ComPtr<IBaseFilter>::Attach(info.pFilter);
    EXPECT_EQ(NameOf(before.Get()), c.spliced ? "Sample Grabber" : "One Type Source");
    EXPECT_TRUE(IsSameObject(Peer(PinsOf(j.mux.Get())[0].Get()).Get(), PinsOf(j.compressor.Get())[1].Get()));
    resizer_->DestroyObjects();
  }
}

TEST(NotifyWindow, MessagesUpTo0xBFFFReachTheHandlerFirstAndLaterOnesOnlyTheDefault) {
  HWND hwnd = CreateMessageWindow([](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); },
                                  "RouteProbe");
  ASSERT_NE(hwnd, 0u);
  struct Case {
    UINT msg;
    bool handled;
    LRESULT answer;  // the handler answers 77
  } cases[] = {
      {WM_ERASEBKGND, true, 77},                     // the one message that takes the handler's answer
      {WM_GETTEXTLENGTH, true, 10},                  // the default follows ("RouteProbe")
      {WM_STREAMRESIZE_DELIVERY_FAILED, true, 0},
      {0xBFFF, true, 0},
      {0xC000, false, 0},
      {0xC000 + WM_GETTEXTLENGTH, false, 0},
      {0xFFFF, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msg);
    std::vector<UINT> seen;
    LRESULT answer = RouteNotifyMessage(hwnd, c.msg, 0, 0, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      seen.push_back(m);
      return 77;
    });
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(seen, c.handled ? std::vector<UINT>{c.msg} : std::vector<UINT>{});
  }
  DestroyWindow(hwnd);
}

TEST_F(Sizewarden, TheNotifyWindowRaisesOnErrorForItsMessageAndAnswersTheRestByDefault) {
  StandInJoin j(FORMAT_VideoInfo);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  HWND notify = FindWindow(nullptr, "NotifyWnd");
  ASSERT_NE(notify, 0u);
  Recorder events(resizer_.Get(), DIID__IStreamResizeEvents, 1);
  EXPECT_EQ(SendMessage(notify, WM_STREAMRESIZE_DELIVERY_FAILED, 0, 0), 0);
  ASSERT_EQ(events.heard.size(), 1u);
  EXPECT_EQ(events.heard[0].args[0].Deref().i4(), errVal_VideoSizeInvalid);
  // A message of the registered range with the same low bits is not the watch filter's.
  EXPECT_EQ(SendMessage(notify, 0xC000 | WM_STREAMRESIZE_DELIVERY_FAILED, 0, 0), 0);
  EXPECT_EQ(SendMessage(notify, WM_ERASEBKGND, 0, 0), 0);
  EXPECT_EQ(events.heard.size(), 1u);
  EXPECT_EQ(SendMessage(notify, WM_GETTEXTLENGTH, 0, 0), 9);
  resizer_->DestroyObjects();
}

// A compressor whose input takes any pin but a watch filter's: the splice cannot finish, so the
// link it cut is made again and the join is written as before.
class PickyCompressor : public dshow::InPlaceTransformFilter {
 public:
  class PickyInput : public dshow::InPlaceInputPin {
   public:
    explicit PickyInput(PickyCompressor* f) : InPlaceInputPin(f, u"XForm In") {}
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) override {
      PIN_INFO info;
      if (connector && SUCCEEDED(connector->QueryPinInfo(&info)) && info.pFilter) {
        ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
        if (NameOf(owner.Get()) == "Sample Grabber") return VFW_E_TYPE_NOT_ACCEPTED;
      }
      return InPlaceInputPin::ReceiveConnection(connector, pmt);
    }
  };
  PickyCompressor() : InPlaceTransformFilter(u"Picky Compressor", GUID_NULL, false) {
    SetInputPin(std::make_unique<PickyInput>(this));
  }
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
};

TEST_F(Sizewarden, ASpliceThatCannotFinishRestoresTheCompressorsInput) {
  Join j(resizer_.Get(), "sizewarden-picky.avi");
  ComPtr<PickyCompressor> picky = MakeComObject<PickyCompressor>();
  j.Wire(picky.Get(), u"Picky Compressor");
  const auto before = GraphShape(j.graph.Get());
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer_->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(GraphShape(j.graph.Get()), before);
  EXPECT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
  fixtures::Probe p = fixtures::RunFfprobe(j.target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video"));
  EXPECT_EQ(p.First("video")->frames, 30);
  resizer_->DestroyObjects();
}

TEST(SampleGrabber, SplicedItPassesUpstreamsBuffersOnWithoutCopies) {
  forms_detail::EnsureApplication();
  fixtures::Options o;
  o.width = 96;
  o.height = 64;
  ComPtr<IGraphBuilder> g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(fixtures::Kind::AviMjpegPcm, o)).c_str(), nullptr), S_OK);
  ComPtr<SampleGrabber> grabber = MakeComObject<SampleGrabber>();
  SpliceBefore(g.Get(), "Video Renderer", grabber.Get(), u"Sample Grabber");
  EXPECT_FALSE(grabber->UsingDifferentAllocators());
}

TEST(SampleGrabber, ProposesOneEmptyTypeAndPassesSamplesThrough) {
  HRESULT hr = E_FAIL;
  ComPtr<SampleGrabber> g = MakeComObject<SampleGrabber>(&hr);
  ASSERT_EQ(hr, S_OK);
  FILTER_INFO info;
  auto pins = PinsOf(g.Get());
  ASSERT_EQ(pins.size(), 2u);
  auto* input = static_cast<dshow::Pin*>(g->GetPin(0));
  MediaType mt;
  EXPECT_EQ(input->GetMediaType(-1, &mt), E_INVALIDARG);
  EXPECT_EQ(input->GetMediaType(1, &mt), VFW_S_NO_MORE_ITEMS);
  mt.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(input->GetMediaType(0, &mt), S_OK);
  EXPECT_TRUE(mt.IsEmpty());
  EXPECT_EQ(mt.subtype, GUID_NULL);
  EXPECT_EQ(mt.formattype, GUID_NULL);
  // Not connected and no window: a sample is taken and nothing is sent anywhere.
  EXPECT_EQ(g->NotifyWindow(), 0u);
  ComPtr<IEnumMediaTypes> types;
  EXPECT_EQ(pins[0]->EnumMediaTypes(nullptr), E_POINTER);
  ASSERT_EQ(pins[0]->EnumMediaTypes(types.put()), S_OK);
  AM_MEDIA_TYPE* got[2] = {};
  ULONG n = 0;
  types->Next(2, got, &n);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(got[0]->majortype, GUID_NULL);
  DeleteMediaType(got[0]);
}

TEST_F(Sizewarden, PromptForGraphPublishesTheGraphWhileItsBoxIsOpen) {
  class RotWatcher : public Responder {
   public:
    int MessageBox(const MsgBoxRequest& r) override {
      requests.push_back(r);
      ComPtr<IRunningObjectTable> rot;
      GetRunningObjectTable(0, rot.put());
      ComPtr<IMoniker> m;
      CreateItemMoniker(u"!", Utf8ToUtf16(expectedName).c_str(), m.put());
      registered = rot && m && rot->IsRunning(m.Get()) == S_OK;
      return vbOK;
    }
    DialogAnswer Dialog(const DialogRequest&) override { return DialogAnswer::Cancel(); }
    std::vector<MsgBoxRequest> requests;
    std::string expectedName;
    bool registered = false;
  };
  auto watcher = std::make_shared<RotWatcher>();
  auto previous = SetResponder(watcher);
  ComPtr<IGraphBuilder> graph = NewGraph();
  char name[64];
  std::snprintf(name, sizeof name, "FilterGraph %016llX pid %08x",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(static_cast<IUnknown*>(graph.Get()))),
                static_cast<unsigned>(getpid()));
  watcher->expectedName = name;
  EXPECT_EQ(resizer_->PromptForGraph(nullptr), S_OK);
  EXPECT_TRUE(watcher->requests.empty());
  EXPECT_EQ(resizer_->PromptForGraph(graph.Get()), S_OK);
  SetResponder(previous);
  ASSERT_EQ(watcher->requests.size(), 1u);
  EXPECT_EQ(watcher->requests[0].prompt, "You can connect to the stream Graph right now. This is NOT an error.");
  EXPECT_EQ(watcher->requests[0].title, "Developer information");
  EXPECT_EQ(watcher->requests[0].buttons, 0x11040);
  EXPECT_TRUE(watcher->registered);
  ComPtr<IRunningObjectTable> rot;
  ASSERT_EQ(GetRunningObjectTable(0, rot.put()), S_OK);
  ComPtr<IMoniker> m;
  CreateItemMoniker(u"!", Utf8ToUtf16(name).c_str(), m.put());
  EXPECT_NE(rot->IsRunning(m.Get()), S_OK);
}

// The about box as it shows: its texts fit their places at the dialog's font.
TEST_F(Sizewarden, AboutShowsDialog102AndTheModuleCarriesItsResources) {
  std::vector<DialogBoxRequest> shown;
  auto previous = SetDialogBoxPresenter([&](const DialogBoxRequest& r) {
    shown.push_back(r);
    QWidget* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowTitle().toStdString() == r.caption) dialog = w;
    EXPECT_TRUE(dialog);
    if (dialog) {
      EXPECT_EQ(fit::CutCaptionsShown(*dialog), std::vector<std::string>{});
    }
    return IDOK;
  });
  EXPECT_EQ(resizer_->About(), S_OK);
  SetDialogBoxPresenter(previous);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "About DES StreamResize Object");
  ASSERT_EQ(shown[0].texts.size(), 3u);
  EXPECT_EQ(shown[0].texts[0], "OK");
  EXPECT_EQ(shown[0].texts[1], "Direct Show Video Editing System Stream Resizing Control v1.01");
  const std::string module = LibraryPath("Sizewarden");
  auto text = [&](const std::string& type, int id) {
    HRSRC r = FindResource(module, ResourceId(id), type);
    const uint8_t* b = LoadResource(module, r);
    return b ? std::string(reinterpret_cast<const char*>(b), SizeofResource(module, r)) : std::string("<none>");
  };
  EXPECT_EQ(text(RT_STRING, 100), "SizewardenPrj");
  const std::string version = text(RT_VERSION, 1);
  for (const char* entry : {"FileDescription=DES Stream ResizingObject\n", "FileVersion=1, 0, 0, 5\n",
                            "OriginalFilename=Sizewarden.dll\n", "SpecialBuild=12876\n", "OLESelfRegister\n"})
    EXPECT_NE(version.find(entry), std::string::npos) << entry;
}

TEST_F(Sizewarden, RegistrationWritesTheScriptsKeysOnceAndUnregistrationLeavesTheClsidKey) {
  const std::vector<std::string> roots = {"SizewardenPrj.StreamResize.1", "SizewardenPrj.StreamResize",
                                          "CLSID\\{8E8DA354-142E-4028-AFEA-C9DBD4AA7661}"};
  const std::string module = LibraryPath("Sizewarden");
  auto first = Dump(roots);
  const std::string clsid = "CLSID\\{8E8DA354-142E-4028-AFEA-C9DBD4AA7661}";
  for (const std::string& line : std::vector<std::string>{"[SizewardenPrj.StreamResize.1]", "SizewardenPrj.StreamResize.1 \"\"=StreamResize Class",
        "SizewardenPrj.StreamResize.1\\CLSID \"\"={8E8DA354-142E-4028-AFEA-C9DBD4AA7661}",
        "SizewardenPrj.StreamResize\\CurVer \"\"=SizewardenPrj.StreamResize.1",
        clsid + " \"\"=StreamResize Class", clsid + "\\ProgID \"\"=SizewardenPrj.StreamResize.1",
        clsid + "\\VersionIndependentProgID \"\"=SizewardenPrj.StreamResize", "[" + clsid + "\\Programmable]",
        clsid + "\\InprocServer32 \"ThreadingModel\"=Apartment",
        clsid + "\\TypeLib \"\"={9D8424DA-3111-49BB-BEC2-AC6B13706DB2}"}) {
    EXPECT_NE(std::find(first.begin(), first.end(), line), first.end()) << line;
  }
  // A stray value inside the class key goes at the next registration.
  HKEY key = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, clsid + "\\Stray", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(Regsvr("Sizewarden"), 0);
  EXPECT_EQ(Dump(roots), first);
  ASSERT_EQ(Regsvr("Sizewarden", true), 0);
  for (const auto& r : roots) EXPECT_FALSE(KeyExists(r)) << r;
  EXPECT_TRUE(KeyExists("CLSID"));
  // Unregistered, the class cannot be made (the runtime's 429); registered again, it can.
  ComPtr<IStreamResize> none;
  EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_StreamResize, nullptr, CLSCTX_INPROC_SERVER, IStreamResize::iid,
                                      none.put_void())));
  int32_t number = 0;
  try {
    CreateObject<IDispatch>("SizewardenPrj.StreamResize");
  } catch (const VBError& e) {
    number = e.Number();
  }
  EXPECT_EQ(number, 429);
  ASSERT_EQ(Regsvr("Sizewarden"), 0);
  EXPECT_EQ(Dump(roots), first);
}

TEST_F(Sizewarden, ItsTypeLibraryDeclaresErrorValueAsAnAliasOfAnUnnamedEnumeration) {
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, lib.put()), S_OK);
  ComPtr<ITypeInfo> alias;
  for (uint32_t i = 0; i < lib->GetTypeInfoCount() && !alias; ++i) {
    Bstr name;
    ASSERT_EQ(lib->GetDocumentation(static_cast<int32_t>(i), &name, nullptr, nullptr, nullptr), S_OK);
    if (name.Utf8() == "ErrorValue") {
      ASSERT_EQ(lib->GetTypeInfo(i, alias.put()), S_OK);
    }
  }
  ASSERT_TRUE(alias);
  TYPEATTR attr;
  ASSERT_EQ(alias->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr.typekind, TKIND_ALIAS);
  ASSERT_EQ(attr.tdescAlias, VT_USERDEFINED);
  ComPtr<ITypeInfo> named;
  ASSERT_EQ(GetRefTypeInfo(alias.Get(), attr.tdescAliasType, named.put()), S_OK);
  TYPEATTR enumAttr;
  ASSERT_EQ(named->GetTypeAttr(&enumAttr), S_OK);
  EXPECT_EQ(enumAttr.typekind, TKIND_ENUM);
  Bstr enumName;
  ASSERT_EQ(named->GetDocumentation(MEMBERID_NIL, &enumName, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(enumName.Utf8(), "");
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"errVal_NoError", 0},       {"errVal_FatalError", 1},       {"errVal_NonFatalError", 2},
      {"errVal_ObjectNotFound", 3}, {"errVal_InvalidPtr", 4},       {"errVal_MediaTypeInvalid", 5},
      {"errVal_VideoSizeInvalid", 6}};
  ASSERT_EQ(enumAttr.cVars, expected.size());
  for (uint32_t i = 0; i < expected.size(); ++i) {
    const EnumValue* v = nullptr;
    ASSERT_EQ(named->GetVarDesc(i, &v), S_OK);
    EXPECT_EQ(v->name, expected[i].first);
    EXPECT_EQ(v->value, expected[i].second) << v->name;
  }
}

TEST_F(Sizewarden, TheLibraryServesOnlyItsClassAndUnloadsOnlyWithoutObjects) {
  void* lib = dlopen(LibraryPath("Sizewarden").c_str(), RTLD_NOW);
  ASSERT_TRUE(lib) << dlerror();
  using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
  using CanUnload = HRESULT (*)();
  auto get = reinterpret_cast<GetClassObject>(dlsym(lib, "DllGetClassObject"));
  auto canUnload = reinterpret_cast<CanUnload>(dlsym(lib, "DllCanUnloadNow"));
  ASSERT_TRUE(get && canUnload && dlsym(lib, "DllRegisterServer") && dlsym(lib, "DllUnregisterServer"));
  ComPtr<IUnknown> factory;
  EXPECT_EQ(get(CLSID_SampleGrabber, IID_IUnknown, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(canUnload(), S_FALSE);  // this fixture's resizer lives
  resizer_ = nullptr;
  EXPECT_EQ(canUnload(), S_OK);
  dlclose(lib);
}

}  // namespace
