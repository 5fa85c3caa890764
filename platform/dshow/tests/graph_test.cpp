// The graph's object model: media types, pins and connections, states and events, position,
// and the automation objects the programs use.
#include <algorithm>

#include "com/dispatch.h"
#include "core/error.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow_test_util.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

TEST(MediaTypes, CopiesOwnTheirFormatBlocks) {
  MediaType a = [] {
    MediaType mt;
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(SetFormatBuffer(mt, sizeof(WAVEFORMATEX)));
    wf->nChannels = 2;
    return mt;
  }();
  AM_MEDIA_TYPE* heap = CreateMediaType(&a);
  ASSERT_TRUE(heap);
  EXPECT_NE(heap->pbFormat, a.pbFormat);
  EXPECT_TRUE(MediaTypesEqual(*heap, a));
  reinterpret_cast<WAVEFORMATEX*>(heap->pbFormat)->nChannels = 1;
  EXPECT_FALSE(MediaTypesEqual(*heap, a));
  EXPECT_EQ(WaveFormat(a)->nChannels, 2);
  EXPECT_EQ(VideoInfo(a), nullptr);
  DeleteMediaType(heap);
  EXPECT_EQ(FourCCSubtype(MakeFourCC('D', 'I', 'V', '3')),
            *GuidFromString("{33564944-0000-0010-8000-00AA00389B71}"));
}

TEST(Pins, ConnectionStateAndNames) {
  auto g = NewGraph();
  ComPtr<IBaseFilter> mux = AddRegistered(g.Get(), "AVI Mux");
  ComPtr<IBaseFilter> writer = AddRegistered(g.Get(), "File writer");
  ASSERT_TRUE(mux && writer);
  ComPtr<IPin> out = PinNamed(mux.Get(), "AVI Out");
  ComPtr<IPin> in = PinNamed(writer.Get(), "in");
  ASSERT_TRUE(out && in);
  ComPtr<IPin> other;
  EXPECT_EQ(out->ConnectedTo(other.put()), VFW_E_NOT_CONNECTED);
  EXPECT_FALSE(other);
  MediaType mt;
  EXPECT_EQ(out->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(mt.majortype, GUID_NULL);
  EXPECT_EQ(g->ConnectDirect(in.Get(), out.Get(), nullptr), VFW_E_INVALID_DIRECTION);
  ASSERT_EQ(g->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
  EXPECT_EQ(g->ConnectDirect(out.Get(), in.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  ASSERT_EQ(in->ConnectedTo(other.put()), S_OK);
  EXPECT_TRUE(IsSameObject(other.Get(), out.Get()));
  ASSERT_EQ(in->ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(mt.majortype, MEDIATYPE_Stream);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_Avi);
  char16_t* id = nullptr;
  ASSERT_EQ(in->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), u"in");
  CoTaskMemFree(id);
  PIN_INFO info;
  ASSERT_EQ(out->QueryPinInfo(&info), S_OK);
  EXPECT_TRUE(IsSameObject(info.pFilter, mux.Get()));
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  info.pFilter->Release();
  EXPECT_EQ(g->Disconnect(out.Get()), S_OK);
  EXPECT_EQ(g->Disconnect(out.Get()), S_FALSE);
  EXPECT_EQ(g->Disconnect(in.Get()), S_OK);
  // The mux starts with one input and the output; the pins are enumerated output first.
  std::vector<std::string> names;
  for (auto& p : PinsOf(mux.Get())) names.push_back(PinName(p.Get()));
  EXPECT_EQ(names, (std::vector<std::string>{"AVI Out", "Input 01"}));
  EXPECT_TRUE(mux.As<IConfigAviMux>());
  EXPECT_TRUE(writer.As<IFileSinkFilter>());
}

TEST(Events, WaitForCompletionTellsNotYetFromDoneAndFromNotRunning) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
  auto ev = g.As<IMediaEvent>();
  auto mc = g.As<IMediaControl>();
  LONG code = 99;
  EXPECT_TRUE(FAILED(ev->WaitForCompletion(0, &code))) << "nothing to wait for before a run";
  EXPECT_EQ(code, 0);
  ASSERT_EQ(mc->Run(), S_OK);
  OAFilterState st = -1;
  EXPECT_EQ(mc->GetState(0, &st), S_OK);
  EXPECT_EQ(st, State_Running);
  code = 99;
  EXPECT_EQ(ev->WaitForCompletion(10, &code), E_ABORT);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ev->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(ev->WaitForCompletion(0, &code), S_OK) << "still complete until stopped";
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(mc->Stop(), S_OK);
}

TEST(Events, ANotifyWindowHearsOfEachEventAndGetEventHandsThemOut) {
  forms_detail::EnsureApplication();
  std::vector<LPARAM> heard;
  HWND window = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
    if (msg == 0x8001) heard.push_back(lParam);
    return 0;
  });
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
  auto ev = g.As<IMediaEventEx>();
  ASSERT_TRUE(ev);
  ASSERT_EQ(ev->SetNotifyWindow(window, 0x8001, 77), S_OK);
  g.As<IMediaPosition>()->put_Rate(2.0);
  ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
  LONG code = 0;
  ASSERT_EQ(ev->WaitForCompletion(10000, &code), S_OK);
  forms_detail::DrainThreadMessages();
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.front(), 77);
  LONG c = 0;
  LONG_PTR p1 = 0, p2 = 0;
  bool complete = false;
  while (ev->GetEvent(&c, &p1, &p2, 0) == S_OK) complete = complete || c == EC_COMPLETE;
  EXPECT_TRUE(complete);
  EXPECT_EQ(ev->GetEvent(&c, &p1, &p2, 0), E_ABORT) << "the queue is empty now";
  g.As<IMediaControl>()->Stop();
  DestroyWindow(window);
}

TEST(Position, RateSeekAndPauseKeepTheirPlace) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto pos = g.As<IMediaPosition>();
  auto mc = g.As<IMediaControl>();
  for (double rate : {0.5, 2.0, 1.0}) {
    EXPECT_EQ(pos->put_Rate(rate), S_OK);
    double got = 0;
    pos->get_Rate(&got);
    EXPECT_EQ(got, rate);
  }
  EXPECT_EQ(pos->put_Rate(0), E_INVALIDARG);
  EXPECT_EQ(pos->put_Rate(-1), E_INVALIDARG);
  ASSERT_EQ(pos->put_CurrentPosition(0.6), S_OK);
  double at = 0;
  pos->get_CurrentPosition(&at);
  EXPECT_NEAR(at, 0.6, 1e-6);
  ASSERT_EQ(mc->Pause(), S_OK);
  pos->get_CurrentPosition(&at);
  EXPECT_NEAR(at, 0.6, 1e-6) << "a paused graph does not move";
  ASSERT_EQ(mc->Run(), S_OK);
  LONG code = 0;
  ASSERT_EQ(g.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  mc->Stop();
  pos->get_CurrentPosition(&at);
  EXPECT_NEAR(at, 1.0, 0.05);
  ASSERT_EQ(pos->put_CurrentPosition(0), S_OK);
  pos->get_CurrentPosition(&at);
  EXPECT_EQ(at, 0.0);
}

// Pausing a graph in mid-run: the decoder's streaming thread is then inside the renderer,
// waiting for the sample's time, with the decoder busy; the pause must not wait for it.
TEST(Position, APauseInMidRunHoldsThePlaceAndTheRunGoesOnToTheEnd) {
  fixtures::Options longer;
  longer.seconds = 2;
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm, longer)).c_str(), nullptr), S_OK);
  auto pos = g.As<IMediaPosition>();
  auto mc = g.As<IMediaControl>();
  auto ev = g.As<IMediaEvent>();
  LONG code = 0;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(mc->Run(), S_OK);
    EXPECT_EQ(ev->WaitForCompletion(150, &code), E_ABORT);
    ASSERT_EQ(mc->Pause(), S_OK);
    OAFilterState st = 0;
    mc->GetState(0, &st);
    EXPECT_EQ(st, State_Paused);
    double held = 0, later = 0;
    pos->get_CurrentPosition(&held);
    EXPECT_EQ(ev->WaitForCompletion(100, &code), E_ABORT) << "a paused graph does not end";
    pos->get_CurrentPosition(&later);
    EXPECT_EQ(later, held) << "a paused graph does not move";
    EXPECT_LT(held, 2.0);
  }
  ASSERT_EQ(mc->Run(), S_OK);
  EXPECT_EQ(ev->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(mc->Stop(), S_OK);
}

TEST(Position, ASeekWhileRunningGoesOnFromThereAndAStopKeepsThePlace) {
  fixtures::Options longer;
  longer.seconds = 2;
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm, longer)).c_str(), nullptr), S_OK);
  auto pos = g.As<IMediaPosition>();
  auto mc = g.As<IMediaControl>();
  auto ev = g.As<IMediaEvent>();
  ASSERT_EQ(mc->Run(), S_OK);
  LONG code = 0;
  EXPECT_EQ(ev->WaitForCompletion(200, &code), E_ABORT);
  ASSERT_EQ(pos->put_CurrentPosition(1.5), S_OK);
  double at = 0;
  pos->get_CurrentPosition(&at);
  EXPECT_GE(at, 1.5);
  EXPECT_LT(at, 1.8);
  OAFilterState st = 0;
  mc->GetState(0, &st);
  EXPECT_EQ(st, State_Running) << "a seek keeps the graph running";
  // Half a second of movie is left.
  EXPECT_EQ(ev->WaitForCompletion(1200, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  mc->Stop();

  // Stopped in the middle, the next run goes on from where the stop was.
  ASSERT_EQ(pos->put_CurrentPosition(0), S_OK);
  ASSERT_EQ(mc->Run(), S_OK);
  EXPECT_EQ(ev->WaitForCompletion(500, &code), E_ABORT);
  ASSERT_EQ(mc->Stop(), S_OK);
  double stoppedAt = 0;
  pos->get_CurrentPosition(&stoppedAt);
  EXPECT_GT(stoppedAt, 0.3);
  EXPECT_LT(stoppedAt, 1.0);
  ASSERT_EQ(mc->Run(), S_OK);
  pos->get_CurrentPosition(&at);
  EXPECT_GE(at, stoppedAt - 1e-6);
  EXPECT_EQ(ev->WaitForCompletion(5000, &code), S_OK);
  mc->Stop();
}

TEST(VideoInterfaces, AnswerForVideoAndFailWithoutIt) {
  auto withVideo = NewGraph();
  ASSERT_EQ(withVideo->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  LONG w = 0, h = 0;
  EXPECT_EQ(withVideo.As<IBasicVideo>()->GetVideoSize(&w, &h), S_OK);
  EXPECT_EQ(w, 160);
  EXPECT_EQ(h, 120);
  auto vw = withVideo.As<IVideoWindow>();
  EXPECT_EQ(vw->put_Width(320), S_OK);
  EXPECT_EQ(vw->get_Width(&w), S_OK);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(vw->put_Visible(OAFALSE), S_OK);
  LONG visible = 1;
  EXPECT_EQ(vw->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, OAFALSE);
  auto ba = withVideo.As<IBasicAudio>();
  EXPECT_EQ(ba->put_Volume(-2500), S_OK);
  LONG vol = 0;
  ba->get_Volume(&vol);
  EXPECT_EQ(vol, -2500);
  EXPECT_EQ(ba->put_Volume(100), E_INVALIDARG);
  EXPECT_EQ(ba->put_Balance(-10001), E_INVALIDARG);

  auto soundOnly = NewGraph();
  ASSERT_EQ(soundOnly->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
  EXPECT_TRUE(FAILED(soundOnly.As<IVideoWindow>()->get_Visible(&visible)));
  EXPECT_TRUE(FAILED(soundOnly.As<IBasicVideo>()->GetVideoSize(&w, &h)));
  EXPECT_EQ(soundOnly.As<IBasicAudio>()->put_Balance(5000), S_OK);
}

TEST(Automation, CollectionsDescribeFiltersPinsAndTypes) {
  auto g = NewGraph();
  auto mc = g.As<IMediaControl>();
  std::string path = Fixture(Kind::AviMjpegPcm);
  ASSERT_EQ(mc->RenderFile(Bstr(path)), S_OK);
  ComPtr<IDispatch> filters;
  ASSERT_EQ(mc->get_FilterCollection(filters.put()), S_OK);
  auto coll = filters.As<IAMCollection>();
  LONG n = 0;
  coll->get_Count(&n);
  EXPECT_EQ(static_cast<size_t>(n), FiltersOf(g.Get()).size());
  bool sawSource = false, sawSplitter = false;
  for (LONG i = 0; i < n; ++i) {
    ComPtr<IUnknown> item;
    ASSERT_EQ(coll->Item(i, item.put()), S_OK);
    auto fi = item.As<IFilterInfo>();
    Bstr name;
    fi->get_Name(&name);
    LONG isSource = 0;
    fi->get_IsFileSource(&isSource);
    if (name.Utf8() == path) {
      sawSource = true;
      EXPECT_EQ(isSource, OATRUE);
      Bstr file;
      EXPECT_EQ(fi->get_Filename(&file), S_OK);
      EXPECT_EQ(file.Utf8(), path);
      ComPtr<IDispatch> out;
      ASSERT_EQ(fi->FindPin(Bstr("Output"), out.put()), S_OK);
      ComPtr<IDispatch> peerInfo;
      ASSERT_EQ(out.As<IPinInfo>()->get_ConnectedTo(peerInfo.put()), S_OK);
      Bstr peerName;
      peerInfo.As<IPinInfo>()->get_Name(&peerName);
      EXPECT_EQ(peerName.Utf8(), "input pin");
    } else {
      EXPECT_EQ(isSource, OAFALSE);
    }
    if (name.Utf8() != "AVI Splitter") continue;
    sawSplitter = true;
    ComPtr<IDispatch> pins;
    fi->get_Pins(pins.put());
    auto pc = pins.As<IAMCollection>();
    LONG np = 0;
    pc->get_Count(&np);
    EXPECT_EQ(np, 3);
    std::vector<std::string> majors;
    for (LONG j = 0; j < np; ++j) {
      ComPtr<IUnknown> pi;
      pc->Item(j, pi.put());
      auto pinInfo = pi.As<IPinInfo>();
      LONG dir = -1;
      pinInfo->get_Direction(&dir);
      if (dir != PINDIR_OUTPUT) continue;
      ComPtr<IDispatch> types;
      pinInfo->get_MediaTypes(types.put());
      ComPtr<IUnknown> t;
      ASSERT_EQ(types.As<IAMCollection>()->Item(0, t.put()), S_OK);
      Bstr major;
      t.As<IMediaTypeInfo>()->get_Type(&major);
      majors.push_back(major.Utf8());
    }
    std::sort(majors.begin(), majors.end());
    EXPECT_EQ(majors, (std::vector<std::string>{"{73646976-0000-0010-8000-00AA00389B71}",
                                                "{73647561-0000-0010-8000-00AA00389B71}"}));
  }
  EXPECT_TRUE(sawSource);
  EXPECT_TRUE(sawSplitter);

  ComPtr<IDispatch> regs;
  ASSERT_EQ(mc->get_RegFilterCollection(regs.put()), S_OK);
  std::vector<std::string> regNames;
  auto rc = regs.As<IAMCollection>();
  LONG nr = 0;
  rc->get_Count(&nr);
  for (LONG i = 0; i < nr; ++i) {
    ComPtr<IUnknown> item;
    rc->Item(i, item.put());
    Bstr name;
    item.As<IRegFilterInfo>()->get_Name(&name);
    regNames.push_back(name.Utf8());
  }
  for (const char* expected : {"AVI Splitter", "AVI Mux", "File writer", "Infinite Pin Tee Filter",
                               "DivX Decoder Filter", "Video Renderer", "Audio Renderer"})
    EXPECT_NE(std::find(regNames.begin(), regNames.end(), expected), regNames.end()) << expected;
}

TEST(Automation, PinInfoConnectsAndTheMuxKeepsASpareInput) {
  auto g = NewGraph();
  auto mc = g.As<IMediaControl>();
  ComPtr<IDispatch> src;
  ASSERT_EQ(mc->AddSourceFilter(Bstr(Fixture(Kind::AviMjpegPcm)), src.put()), S_OK);
  ComPtr<IBaseFilter> splitter = AddRegistered(g.Get(), "AVI Splitter");
  ComPtr<IBaseFilter> mux = AddRegistered(g.Get(), "AVI Mux");
  ComPtr<IDispatch> out;
  ASSERT_EQ(src.As<IFilterInfo>()->FindPin(Bstr("Output"), out.put()), S_OK);
  ASSERT_EQ(out.As<IPinInfo>()->Connect(PinNamed(splitter.Get(), "input pin").Get()), S_OK);
  int n = 1;
  for (const char* stream : {"Stream 00", "Stream 01"}) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "Input %02d", n++);
    ComPtr<IPin> in = PinNamed(mux.Get(), expected);
    ASSERT_TRUE(in) << expected;
    ASSERT_EQ(g->ConnectDirect(PinNamed(splitter.Get(), stream).Get(), in.Get(), nullptr), S_OK);
  }
  EXPECT_TRUE(PinNamed(mux.Get(), "Input 03"));
  EXPECT_FALSE(Peer(PinNamed(mux.Get(), "Input 03").Get()));
  EXPECT_FALSE(PinNamed(mux.Get(), "Input 04"));
}

// The object a Variant holds, as the runtime binds it late (an IUnknown is asked for IDispatch).
ComPtr<IDispatch> Obj(const Variant& v) {
  ComPtr<IDispatch> d;
  if (v.punk()) v.punk()->QueryInterface(IID_IDispatch, d.put_void());
  return d;
}

TEST(Automation, LateBoundCallsReachTheGraphAndItsDescriptions) {
  // The way the programs' "object" variables use the graph: every call by name.
  ComPtr<IDispatch> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             graph.put_void()),
            S_OK);
  std::string path = Fixture(Kind::AviMjpegPcm);
  Variant source;
  CallByName(graph.Get(), "AddSourceFilter", DISPATCH_METHOD,
             {Variant(path), Variant::ByRef(VT_VARIANT, &source)});
  ASSERT_TRUE(source.IsObject());
  ASSERT_EQ(source.vt(), VT_DISPATCH);
  EXPECT_EQ(CallByName(source.pdisp(), "Name", DISPATCH_PROPERTYGET).bstr().Utf8(), path);
  Variant pins = CallByName(source.pdisp(), "Pins", DISPATCH_PROPERTYGET);
  EXPECT_EQ(CallByName(pins.pdisp(), "Count", DISPATCH_PROPERTYGET).i4(), 1);
  Variant pin;
  CallByName(pins.pdisp(), "Item", DISPATCH_METHOD, {Variant(int32_t{0}), Variant::ByRef(VT_VARIANT, &pin)});
  ASSERT_TRUE(pin.IsObject());
  EXPECT_EQ(CallByName(Obj(pin).Get(), "Name", DISPATCH_PROPERTYGET).bstr().Utf8(), "Output");
  Variant types = CallByName(Obj(pin).Get(), "MediaTypes", DISPATCH_PROPERTYGET);
  Variant type;
  CallByName(types.pdisp(), "Item", DISPATCH_METHOD, {Variant(int32_t{0}), Variant::ByRef(VT_VARIANT, &type)});
  EXPECT_EQ(CallByName(Obj(type).Get(), "Type", DISPATCH_PROPERTYGET).bstr().Utf8(),
            "{E436EB83-524F-11CE-9F53-0020AF0BA770}");
  CallByName(Obj(pin).Get(), "Render", DISPATCH_METHOD);
  EXPECT_NEAR(CallByName(graph.Get(), "Duration", DISPATCH_PROPERTYGET).r8(), 1.0, 0.15);
  CallByName(graph.Get(), "Rate", DISPATCH_PROPERTYPUT, {Variant(2.0)});
  EXPECT_EQ(CallByName(graph.Get(), "Rate", DISPATCH_PROPERTYGET).r8(), 2.0);
  EXPECT_EQ(CallByName(graph.Get(), "VideoWidth", DISPATCH_PROPERTYGET).i4(), 160);
  CallByName(graph.Get(), "Run", DISPATCH_METHOD);
  int32_t code = -1;
  // A time-out is an error whose number is E_ABORT, and the code is 0.
  try {
    CallByName(graph.Get(), "WaitForCompletion", DISPATCH_METHOD,
               {Variant(int32_t{0}), Variant::ByRef(VT_I4, &code)});
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), E_ABORT);
  }
  EXPECT_EQ(code, 0);
  CallByName(graph.Get(), "WaitForCompletion", DISPATCH_METHOD,
             {Variant(int32_t{10000}), Variant::ByRef(VT_I4, &code)});
  EXPECT_EQ(code, EC_COMPLETE);
  CallByName(graph.Get(), "Stop", DISPATCH_METHOD);
  try {
    CallByName(graph.Get(), "NoSuchMember", DISPATCH_METHOD);
    ADD_FAILURE() << "an unknown member is an error";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 438);
  }
}

TEST(Registration, EveryRegisteredFilterIsCreatedWithItsClassAndPins) {
  for (const auto& t : dshow::RegisteredFilters()) {
    std::string name = Utf16ToUtf8(t.name);
    ComPtr<IBaseFilter> f;
    ASSERT_EQ(t.create(f.put()), S_OK) << name;
    CLSID clsid;
    ASSERT_EQ(f->GetClassID(&clsid), S_OK) << name;
    EXPECT_EQ(clsid, t.clsid) << name;
    for (const IID* iid : {&IMediaFilter::iid, &IPersist::iid}) {
      ComPtr<IUnknown> p;
      EXPECT_EQ(f->QueryInterface(*iid, p.put_void()), S_OK) << name;
    }
    // Added to a graph it carries its registered name.
    auto g = NewGraph();
    ASSERT_EQ(g->AddFilter(f.Get(), t.name.c_str()), S_OK) << name;
    EXPECT_EQ(NameOf(f.Get()), name);
    ComPtr<IBaseFilter> found;
    EXPECT_EQ(g->FindFilterByName(t.name.c_str(), found.put()), S_OK) << name;
    EXPECT_TRUE(IsSameObject(found.Get(), f.Get())) << name;
    EXPECT_EQ(g->RemoveFilter(f.Get()), S_OK) << name;
    EXPECT_EQ(g->RemoveFilter(f.Get()), VFW_E_NOT_FOUND) << name;
  }
}

// A filter that looks at its graph while it stops (a reference taken and dropped).
class GraphMindingFilter : public dshow::Filter {
 public:
  GraphMindingFilter() : Filter(u"Minder", MakeGuid("{7C2E5A10-3B4D-4E8F-9A61-2D0C8B5E4F31}")) {}
  int PinCount() override { return 0; }
  dshow::Pin* GetPin(int) override { return nullptr; }
  std::atomic<int>* stops = nullptr;

 protected:
  HRESULT OnStop() override {
    FILTER_INFO info;
    QueryFilterInfo(&info);
    if (info.pGraph) {
      ++*stops;
      info.pGraph->Release();
    }
    return S_OK;
  }
};

TEST(Registration, ReleasingARunningGraphStopsItsFiltersOnce) {
  std::atomic<int> stops{0};
  {
    auto g = NewGraph();
    auto f = MakeComObject<GraphMindingFilter>();
    f->stops = &stops;
    ASSERT_EQ(g->AddFilter(f.Get(), u"Minder"), S_OK);
    ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
  }
  EXPECT_EQ(stops.load(), 1) << "the filter saw its graph while the graph went away";
}

TEST(Registration, TheGraphManagerIsCreatedByItsClassAndAnswersItsInterfaces) {
  auto g = NewGraph();
  ASSERT_TRUE(g);
  for (const IID* iid : {&IMediaControl::iid, &IMediaEvent::iid, &IMediaEventEx::iid, &IMediaPosition::iid,
                         &IBasicAudio::iid, &IBasicVideo::iid, &IVideoWindow::iid, &IFilterGraph::iid,
                         &IGraphBuilder::iid, &IID_IDispatch}) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(g->QueryInterface(*iid, p.put_void()), S_OK) << GuidToString(*iid);
  }
  for (const char* progId : {"FilgraphManager", "FilterGraphAutomation.FilgraphManager"}) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << progId;
    EXPECT_EQ(clsid, CLSID_FilgraphManager) << progId;
  }
  char text[256] = {};
  EXPECT_GT(AMGetErrorTextA(VFW_E_NOT_CONNECTED, text, sizeof text), 0u);
  EXPECT_EQ(AMGetErrorTextA(MakeHResult(0x8004FFFF), text, sizeof text), 0u);
}

}  // namespace
