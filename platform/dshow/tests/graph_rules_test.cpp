// The rules a graph keeps about its states: what a running graph refuses, how a run starts (the
// pause that precedes it takes hold first), a stop made from a streaming thread's message, the
// last release of a running graph, the file writer's file, the video window's place and when it
// shows, and position questions on a graph that did not render.
#include <QApplication>
#include <QScreen>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow_test_util.h"
#include "hang_guard.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

namespace fs = std::filesystem;

constexpr UINT kSample = 0x472;

// Counts the video samples passing on to the renderer; optionally tells a window of the window
// thread about each, synchronously, or holds the streaming thread in one sample (the first
// unless told) until let go.
class Watch : public dshow::InPlaceTransformFilter {
 public:
  explicit Watch(HWND notify = 0, bool hold = false, int holdAt = 1)
      : InPlaceTransformFilter(u"Watch", MakeGuid("{0D8F4C21-6A3B-4E7D-9C15-3B2E7F1A6D48}"), false),
        notify_(notify), holdAt_(hold ? holdAt : 0) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Receive(dshow::Pin* pin, IMediaSample* sample) override {
    const HRESULT hr = InPlaceTransformFilter::Receive(pin, sample);
    passing = 0;
    return hr;
  }
  HRESULT Transform(IMediaSample*) override {
    const int n = ++samples;
    if (notify_) SendMessage(notify_, kSample, 0, 0);
    if (n == holdAt_) {
      entered = true;
      // (The limit only keeps a broken graph from hanging the test program.)
      auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!released && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    passing = n;
    return S_OK;
  }
  std::atomic<int> samples{0};
  std::atomic<bool> entered{false};  // the streaming thread is in the sample held
  std::atomic<bool> released{false};
  std::atomic<int> passing{0};  // the sample the streaming thread is passing on downstream

 private:
  HWND notify_;
  int holdAt_;
};

dshow::Filter* Ours(const ComPtr<IBaseFilter>& f) { return dynamic_cast<dshow::Filter*>(f.Get()); }

// A movie rendered to the video and audio renderers, with a watch in front of the video renderer.
ComPtr<IGraphBuilder> WatchedMovie(Watch* watch) {
  auto g = NewGraph();
  EXPECT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  SpliceBefore(g.Get(), "Video Renderer", watch, u"Watch");
  return g;
}

LONG EventsWaiting(IGraphBuilder* g, LONG wanted, HRESULT* param = nullptr) {
  auto ev = ComPtr<IGraphBuilder>(g).As<IMediaEvent>();
  LONG code = 0, seen = 0;
  LONG_PTR p1 = 0, p2 = 0;
  while (ev->GetEvent(&code, &p1, &p2, 0) == S_OK)
    if (code == wanted) {
      ++seen;
      if (param) *param = static_cast<HRESULT>(p1);
    }
  return seen;
}

// --- What a graph refuses --------------------------------------------------------------------

TEST(GraphRules, AGraphThatIsNotStoppedRefusesToLoseFiltersOrConnections) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> renderer = FilterNamed(g.Get(), "Audio Renderer");
  ASSERT_TRUE(renderer);
  ComPtr<IPin> in = PinsOf(renderer.Get())[0];
  ComPtr<IPin> up = Peer(in.Get());
  ASSERT_TRUE(up);
  const auto names = FilterNames(g.Get());
  auto mc = g.As<IMediaControl>();
  for (bool run : {true, false}) {
    SCOPED_TRACE(run ? "running" : "paused");
    ASSERT_TRUE(SUCCEEDED(run ? mc->Run() : mc->Pause()));
    EXPECT_EQ(g->RemoveFilter(renderer.Get()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(g->Disconnect(in.Get()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(g->Disconnect(up.Get()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(FilterNames(g.Get()), names);
    EXPECT_TRUE(IsSameObject(Peer(in.Get()).Get(), up.Get()));
    EXPECT_TRUE(IsSameObject(Peer(up.Get()).Get(), in.Get()));
  }
  ASSERT_EQ(mc->Stop(), S_OK);
  EXPECT_EQ(g->RemoveFilter(renderer.Get()), S_OK);
  EXPECT_FALSE(Peer(up.Get()));
}

TEST(GraphRules, NullPinsAnswerEPointer) {
  auto g = NewGraph();
  ComPtr<IBaseFilter> mux = AddRegistered(g.Get(), "AVI Mux");
  ComPtr<IBaseFilter> writer = AddRegistered(g.Get(), "File writer");
  ASSERT_TRUE(mux && writer);
  ComPtr<IPin> out = PinNamed(mux.Get(), "AVI Out"), in = PinNamed(writer.Get(), "in");
  EXPECT_EQ(g->Connect(nullptr, in.Get()), E_POINTER);
  EXPECT_EQ(g->Connect(out.Get(), nullptr), E_POINTER);
  EXPECT_EQ(g->ConnectDirect(nullptr, in.Get(), nullptr), E_POINTER);
  EXPECT_EQ(g->ConnectDirect(out.Get(), nullptr, nullptr), E_POINTER);
  EXPECT_EQ(g->Disconnect(nullptr), E_POINTER);
  EXPECT_FALSE(Peer(out.Get()));
}

TEST(GraphRules, EveryStoppedFilterRefusesSamples) {
  ComPtr<dshow::MemAllocator> allocator = MakeComObject<dshow::MemAllocator>();
  ALLOCATOR_PROPERTIES want{1, 4096, 1, 0}, got{};
  ASSERT_EQ(allocator->SetProperties(&want, &got), S_OK);
  ASSERT_EQ(allocator->Commit(), S_OK);
  ComPtr<IMediaSample> sample;
  ASSERT_EQ(allocator->GetBuffer(sample.put(), nullptr, nullptr, 0), S_OK);
  int inputs = 0;
  for (const auto& t : dshow::RegisteredFilters()) {
    ComPtr<IBaseFilter> f;
    ASSERT_EQ(t.create(f.put()), S_OK);
    for (auto& pin : PinsOf(f.Get())) {
      PIN_DIRECTION dir = PINDIR_OUTPUT;
      pin->QueryDirection(&dir);
      if (dir != PINDIR_INPUT) continue;
      auto memInput = pin.As<IMemInputPin>();
      ASSERT_TRUE(memInput) << Utf16ToUtf8(t.name);
      EXPECT_EQ(memInput->Receive(sample.Get()), VFW_E_WRONG_STATE) << Utf16ToUtf8(t.name);
      ++inputs;
    }
  }
  EXPECT_GT(inputs, 10);
}

// --- How a run starts ------------------------------------------------------------------------

TEST(GraphRules, ARunFromStoppedReturnsOnceTheRenderersHaveTheirFirstSamples) {
  forms_detail::EnsureApplication();
  // Each sample also sends a message to the window thread: the run answers it while it waits.
  std::atomic<int> answered{0};
  HWND window = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == kSample) ++answered;
    return 0;
  });
  auto watch = MakeComObject<Watch>(window);
  auto g = WatchedMovie(watch.Get());
  if (HasFatalFailure()) return;
  ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
  EXPECT_GE(watch->samples.load(), 1);
  EXPECT_GE(answered.load(), 1);
  EXPECT_TRUE(Ours(FilterNamed(g.Get(), "Video Renderer"))->Cued());
  g.As<IMediaPosition>()->put_Rate(4.0);
  LONG code = 0;
  EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(watch->samples.load(), fixtures::FrameCount({}));
  g.As<IMediaControl>()->Stop();
  DestroyWindow(window);
}

// A renderer that refuses every sample.
class RefusingRenderer : public dshow::Filter {
 public:
  RefusingRenderer()
      : Filter(u"Refuser", MakeGuid("{6A1C3E58-2F4D-4B9A-8E07-5D3C1B9F2A64}")),
        in_(this, u"In", [](const AM_MEDIA_TYPE&) { return S_OK; }) {}
  int PinCount() override { return 1; }
  dshow::Pin* GetPin(int i) override { return i == 0 ? &in_ : nullptr; }
  bool IsRenderer() const override { return true; }
  HRESULT Receive(dshow::Pin*, IMediaSample*) override { return VFW_E_SAMPLE_REJECTED; }

 private:
  dshow::InputPin in_;
};

TEST(GraphRules, AFirstSampleRefusedIsReportedBeforeTheRunReturns) {
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
  ComPtr<IBaseFilter> renderer = FilterNamed(g.Get(), "Audio Renderer");
  ComPtr<IPin> up = Peer(PinsOf(renderer.Get())[0].Get());
  ASSERT_EQ(g->RemoveFilter(renderer.Get()), S_OK);
  auto refuser = MakeComObject<RefusingRenderer>();
  ASSERT_EQ(g->AddFilter(refuser.Get(), u"Refuser"), S_OK);
  ASSERT_EQ(g->ConnectDirect(up.Get(), PinNamed(refuser.Get(), "In").Get(), nullptr), S_OK);
  g.As<IMediaControl>()->Run();
  HRESULT reported = S_OK;
  EXPECT_EQ(EventsWaiting(g.Get(), EC_ERRORABORT, &reported), 1) << "already there when Run returns";
  EXPECT_EQ(reported, VFW_E_SAMPLE_REJECTED);
  g.As<IMediaControl>()->Stop();
}

TEST(GraphRules, ARunWaitsAtMostFiveSecondsForTheFirstSamples) {
  auto watch = MakeComObject<Watch>(0, true);
  auto g = WatchedMovie(watch.Get());
  if (HasFatalFailure()) return;
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(g.As<IMediaControl>()->Run(), S_FALSE);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(4900));
  OAFilterState st = -1;
  g.As<IMediaControl>()->GetState(0, &st);
  EXPECT_EQ(st, State_Running) << "the graph runs all the same";
  watch->released = true;
  g.As<IMediaPosition>()->put_Rate(4.0);
  LONG code = 0;
  EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  g.As<IMediaControl>()->Stop();
}

TEST(GraphRules, PauseOnAPausedGraphChangesNothing) {
  auto watch = MakeComObject<Watch>(0, true, 3);
  auto g = WatchedMovie(watch.Get());
  if (HasFatalFailure()) return;
  auto mc = g.As<IMediaControl>();
  ASSERT_EQ(mc->Run(), S_OK);
  // The pause comes while the third frame is on its way: let go, the frame reaches a paused video
  // renderer, which holds the streaming thread until the run; nothing more passes.
  AwaitStreaming("the third frame", [&] { return watch->entered.load(); });
  ASSERT_EQ(mc->Pause(), S_OK);
  watch->released = true;
  AwaitStreaming("the third frame passed on", [&] { return watch->passing.load() == 3; });
  const int before = watch->samples.load();
  double at = -1, atAgain = -2;
  ASSERT_EQ(g.As<IMediaPosition>()->get_CurrentPosition(&at), S_OK);
  EventsWaiting(g.Get(), 0);
  EXPECT_EQ(mc->Pause(), S_OK);
  OAFilterState st = -1;
  EXPECT_EQ(mc->GetState(0, &st), S_OK);
  EXPECT_EQ(st, State_Paused);
  ASSERT_EQ(g.As<IMediaPosition>()->get_CurrentPosition(&atAgain), S_OK);
  EXPECT_EQ(atAgain, at);
  EXPECT_EQ(before, 3);
  EXPECT_EQ(watch->samples.load(), before) << "nothing was streamed again";
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  EXPECT_EQ(g.As<IMediaEvent>()->GetEvent(&code, &p1, &p2, 0), E_ABORT) << "no event";
  // The run goes on from there to the end, every frame once.
  g.As<IMediaPosition>()->put_Rate(4.0);
  ASSERT_EQ(mc->Run(), S_OK);
  EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(20000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(watch->samples.load(), fixtures::FrameCount({}));
  mc->Stop();
}

// --- Stops and releases ----------------------------------------------------------------------

// The handler of a streaming thread's synchronous message stops the graph (an error sink, say):
// the stop returns, whether the message comes while the run starts or later.
TEST(GraphRules, AStopInsideTheHandlerOfAStreamingThreadsMessageReturns) {
  forms_detail::EnsureApplication();
  for (int stopAt : {1, 3}) {
    SCOPED_TRACE("stop at sample " + std::to_string(stopAt));
    ComPtr<IMediaControl> mc;
    int seen = 0;
    HRESULT stopped = E_FAIL;
    HWND window = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
      if (msg == kSample && ++seen == stopAt) stopped = mc->Stop();
      return 0;
    });
    auto watch = MakeComObject<Watch>(window);
    auto g = WatchedMovie(watch.Get());
    if (HasFatalFailure()) return;
    mc = g.As<IMediaControl>();
    HRESULT run = mc->Run();
    EXPECT_TRUE(SUCCEEDED(run));
    LONG code = 0;
    if (stopAt > 1) {
      EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(20000, &code), E_ABORT);
    }
    EXPECT_EQ(stopped, S_OK);
    EXPECT_EQ(seen, stopAt);
    OAFilterState st = -1;
    mc->GetState(0, &st);
    EXPECT_EQ(st, State_Stopped);
    // The graph plays again.
    ASSERT_EQ(g.As<IMediaPosition>()->put_CurrentPosition(0), S_OK);
    g.As<IMediaPosition>()->put_Rate(4.0);
    stopAt = -1;
    EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
    mc = nullptr;
    g = nullptr;
    DestroyWindow(window);
  }
}

TEST(GraphRules, TheLastReleaseOfARunningGraphStopsItsStreamingThreadsFirst) {
  auto watch = MakeComObject<Watch>();
  {
    auto g = WatchedMovie(watch.Get());
    if (HasFatalFailure()) return;
    ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (watch->samples.load() < 3 && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(watch->samples.load(), 3);
  }
  EXPECT_EQ(watch->State(), State_Stopped);
  FILTER_INFO info;
  ASSERT_EQ(watch->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
  const int after = watch->samples.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(watch->samples.load(), after) << "no streaming thread is left";
}

// --- The file writer -------------------------------------------------------------------------

TEST(GraphRules, AFileWriterWithNothingConnectedMakesNoFile) {
  std::string target = Target("unconnected.avi");
  fs::remove(target);
  std::string kept = Target("unconnected-kept.avi");
  { std::ofstream(kept) << "a user's file"; }
  for (const std::string& path : {target, kept}) {
    auto g = NewGraph();
    ASSERT_EQ(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), S_OK);
    ComPtr<IBaseFilter> writer = AddRegistered(g.Get(), "File writer");
    ASSERT_EQ(writer.As<IFileSinkFilter>()->SetFileName(U(path).c_str(), nullptr), S_OK);
    g.As<IMediaPosition>()->put_Rate(4.0);
    EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  }
  EXPECT_FALSE(fs::exists(target));
  std::ifstream in(kept);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "a user's file") << "left as it was";
}

TEST(GraphRules, AFileWriterWithoutANameOrAFileItCannotMakeFailsTheRun) {
  std::string folder = Target("writer-folder");
  fs::create_directories(folder);
  struct Case {
    const char* what;
    std::string path;  // empty: no name given
  };
  const Case cases[] = {{"no name", ""},
                        {"missing folder", Target("no-such-folder/out.avi")},
                        {"a folder", folder}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto g = NewGraph();
    ComPtr<IBaseFilter> writer = AddRegistered(g.Get(), "File writer");
    ComPtr<IBaseFilter> mux = AddRegistered(g.Get(), "AVI Mux");
    ASSERT_TRUE(writer && mux);
    if (!c.path.empty()) {
      ASSERT_EQ(writer.As<IFileSinkFilter>()->SetFileName(U(c.path).c_str(), nullptr), S_OK);
    }
    ASSERT_GE(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), 0);
    ASSERT_TRUE(Peer(PinNamed(mux.Get(), "Input 01").Get())) << "the sound goes into the mux";
    ASSERT_TRUE(IsSameObject(Peer(PinNamed(writer.Get(), "in").Get()).Get(), PinNamed(mux.Get(), "AVI Out").Get()))
        << "rendering goes on through the writer already in the graph";
    auto mc = g.As<IMediaControl>();
    HRESULT run = mc->Run();
    if (SUCCEEDED(run)) {
      LONG code = 0;
      g.As<IMediaEvent>()->WaitForCompletion(10000, &code);
      EXPECT_EQ(code, EC_ERRORABORT) << "the run fails, never completes";
    }
    EXPECT_EQ(EventsWaiting(g.Get(), EC_COMPLETE), 0);
    mc->Stop();
  }
  EXPECT_FALSE(fs::exists(Target("no-such-folder")));
  EXPECT_TRUE(fs::is_directory(folder));
}

// The writer never writes through a link at its name, nor into a FIFO or a device; a new name is
// made, and a side file its caller made for it is written.
TEST(GraphRules, AFileWriterNeverFollowsALinkOrWritesIntoANonFile) {
  const std::string folder = Target("writer-links");
  fs::remove_all(folder);
  fs::create_directories(folder);
  const std::string precious = folder + "/precious.txt";
  { std::ofstream(precious) << "keep me"; }
  fs::create_symlink(precious, folder + "/.link.avi.part.avi");
  fs::create_symlink(folder + "/gone.txt", folder + "/.dangling.avi.part.avi");
  ASSERT_EQ(::mkfifo((folder + "/.fifo.avi.part.avi").c_str(), 0600), 0);
  { std::ofstream(folder + "/.made.avi.part.avi") << "stale bytes of the side file"; }
  struct Case {
    std::string path;
    bool written;
  } cases[] = {
      {folder + "/.link.avi.part.avi", false},
      {folder + "/.dangling.avi.part.avi", false},
      {folder + "/.fifo.avi.part.avi", false},
      {folder + "/.made.avi.part.avi", true},
      {folder + "/new.avi", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto g = NewGraph();
    ComPtr<IBaseFilter> writer = AddRegistered(g.Get(), "File writer");
    ComPtr<IBaseFilter> mux = AddRegistered(g.Get(), "AVI Mux");
    ASSERT_TRUE(writer && mux);
    ASSERT_EQ(writer.As<IFileSinkFilter>()->SetFileName(U(c.path).c_str(), nullptr), S_OK);
    ASSERT_GE(g->RenderFile(U(Fixture(Kind::Wav)).c_str(), nullptr), 0);
    g.As<IMediaPosition>()->put_Rate(4.0);
    LONG code = 0;
    HangGuard guard("the file writer on " + c.path);
    HRESULT run = g.As<IMediaControl>()->Run();
    if (SUCCEEDED(run)) g.As<IMediaEvent>()->WaitForCompletion(20000, &code);
    g.As<IMediaControl>()->Stop();
    EXPECT_EQ(SUCCEEDED(run) && code == EC_COMPLETE, c.written) << std::hex << run << " " << code;
    if (c.written) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(c.path)));
      std::ifstream in(c.path, std::ios::binary);
      char riff[4] = {};
      in.read(riff, 4);
      EXPECT_EQ(std::string(riff, 4), "RIFF");
    }
  }
  std::ifstream in(precious);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
  EXPECT_FALSE(fs::exists(folder + "/gone.txt")) << "the dangling link's target was made";
  EXPECT_TRUE(fs::is_symlink(folder + "/.link.avi.part.avi"));
}

// --- The video window ------------------------------------------------------------------------

QWidget* VisibleVideoWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == "Video Window") return w;
  return nullptr;
}

TEST(GraphRules, TheVideoWindowAppearsWhenTheGraphPausesOrRunsOnly) {
  forms_detail::EnsureApplication();
  for (bool run : {false, true}) {
    SCOPED_TRACE(run ? "run" : "pause");
    auto g = NewGraph();
    ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
    auto vw = g.As<IVideoWindow>();
    ASSERT_EQ(vw->SetWindowPosition(10, 10, 160, 120), S_OK);
    ASSERT_EQ(vw->put_WindowStyle(0x06CF0000), S_OK);
    LONG visible = -1;
    ASSERT_EQ(vw->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, OAFALSE);
    EXPECT_FALSE(VisibleVideoWindow()) << "a graph that is only built shows no window";
    auto mc = g.As<IMediaControl>();
    ASSERT_TRUE(SUCCEEDED(run ? mc->Run() : mc->Pause()));
    ASSERT_EQ(vw->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, OATRUE);
    EXPECT_TRUE(VisibleVideoWindow());
    mc->Stop();
    vw->put_Visible(OAFALSE);
  }
}

TEST(GraphRules, VideoWindowPlacesBeyondTheDesktopAreClampedAndStayOffTheScreen) {
  forms_detail::EnsureApplication();
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto vw = g.As<IVideoWindow>();
  ASSERT_EQ(g.As<IMediaControl>()->Pause(), S_OK);
  QWidget* window = VisibleVideoWindow();
  ASSERT_TRUE(window);
  const QRect screen = QApplication::primaryScreen() ? QApplication::primaryScreen()->virtualGeometry()
                                                     : QRect(0, 0, 1920, 1080);
  // A place far beyond the screen's bottom-right corner (the screen's size in twips times 8,
  // taken as pixels).
  ASSERT_EQ(vw->SetWindowPosition(230400, 172800, 320, 240), S_OK);
  LONG l = 0, t = 0, w = 0, h = 0;
  ASSERT_EQ(vw->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ(l, 32767);
  EXPECT_EQ(t, 32767);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_FALSE(window->geometry().intersects(screen)) << "off the screen";
  // ... and far before its top-left corner, property by property.
  ASSERT_EQ(vw->put_Left(-5000000), S_OK);
  ASSERT_EQ(vw->put_Top(-70000), S_OK);
  ASSERT_EQ(vw->get_Left(&l), S_OK);
  ASSERT_EQ(vw->get_Top(&t), S_OK);
  EXPECT_EQ(l, -32768);
  EXPECT_EQ(t, -32768);
  EXPECT_FALSE(window->geometry().intersects(screen));
  // Places within the range are kept as they are.
  ASSERT_EQ(vw->SetWindowPosition(-200, 30000, 100, 80), S_OK);
  ASSERT_EQ(vw->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ(l, -200);
  EXPECT_EQ(t, 30000);
  g.As<IMediaControl>()->Stop();
  vw->put_Visible(OAFALSE);
}

// --- Position without a renderer -------------------------------------------------------------

TEST(GraphRules, AGraphWithoutAConnectedRendererHasNoPositionOrRate) {
  auto unrendered = NewGraph();
  ComPtr<IBaseFilter> source;
  ASSERT_EQ(unrendered->AddSourceFilter(U(Fixture(Kind::Wav)).c_str(), nullptr, source.put()), S_OK);
  auto failed = NewGraph();
  ASSERT_TRUE(FAILED(failed->RenderFile(U(Fixture(Kind::TextAsAvi)).c_str(), nullptr)));
  auto empty = NewGraph();
  for (auto* g : {unrendered.Get(), failed.Get(), empty.Get()}) {
    auto pos = ComPtr<IGraphBuilder>(g).As<IMediaPosition>();
    double v = -1;
    EXPECT_EQ(pos->get_Duration(&v), E_NOTIMPL);
    EXPECT_EQ(pos->get_CurrentPosition(&v), E_NOTIMPL);
    EXPECT_EQ(pos->put_CurrentPosition(0.5), E_NOTIMPL);
    EXPECT_EQ(pos->get_Rate(&v), E_NOTIMPL);
    EXPECT_EQ(pos->put_Rate(2.0), E_NOTIMPL);
    EXPECT_EQ(v, -1);
  }
  // Once rendered, the graph answers.
  ASSERT_EQ(unrendered->Render(PinsOf(source.Get())[0].Get()), S_OK);
  auto pos = unrendered.As<IMediaPosition>();
  double duration = 0, rate = 0;
  EXPECT_EQ(pos->get_Duration(&duration), S_OK);
  EXPECT_NEAR(duration, 1.0, 0.05);
  EXPECT_EQ(pos->get_Rate(&rate), S_OK);
  EXPECT_EQ(rate, 1.0);
}

}  // namespace
