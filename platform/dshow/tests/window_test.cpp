// The graph and the window thread: the video window inside a form's window, and a streaming
// thread that waits on the window thread while that thread stops the graph.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

#include "dshow/baseclasses.h"
#include "dshow_test_util.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"

using namespace dshow_test;
using fixtures::Kind;

namespace {

constexpr UINT kNotify = 0x471;

// Tells a window of the window thread about every sample, synchronously.
class NotifyingFilter : public dshow::InPlaceTransformFilter {
 public:
  explicit NotifyingFilter(HWND target)
      : InPlaceTransformFilter(u"Notifier", MakeGuid("{5B1D0C61-7E0A-4A53-8C1F-2E9D4B7A6C21}"), false),
        target_(target) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample*) override {
    ++sent;
    SendMessage(target_, kNotify, 0, 0);
    return S_OK;
  }
  std::atomic<int> sent{0};  // messages the streaming thread has gone to send

 private:
  HWND target_;
};

TEST(WindowThread, StopIsPromptWhileAStreamingThreadWaitsOnTheWindowThread) {
  forms_detail::EnsureApplication();
  std::atomic<int> handled{0};
  HWND notify = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == kNotify) ++handled;
    return 0;
  });
  ASSERT_NE(notify, 0u);
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto notifier = MakeComObject<NotifyingFilter>(notify);
  SpliceBefore(g.Get(), "Video Renderer", notifier.Get(), u"Notifier");
  if (HasFatalFailure()) return;
  auto mc = g.As<IMediaControl>();
  ASSERT_EQ(mc->Run(), S_OK);
  // The window thread does not pump: the streaming thread waits in a message not yet answered.
  AwaitStreaming("the streaming thread's message", [&] { return notifier->sent.load() > handled.load(); });
  const int answered = handled.load();
  {
    HangGuard guard("a stop while the streaming thread waits on the window thread");
    EXPECT_EQ(mc->Stop(), S_OK);
  }
  EXPECT_GT(handled.load(), answered) << "the waiting message was handled during the stop";
  DestroyWindow(notify);
}

TEST(WindowThread, AnEndlessWaitForCompletionAnswersTheStreamingThreadsMessages) {
  forms_detail::EnsureApplication();
  std::atomic<int> handled{0};
  HWND notify = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == kNotify) ++handled;
    return 0;
  });
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto notifier = MakeComObject<NotifyingFilter>(notify);
  SpliceBefore(g.Get(), "Video Renderer", notifier.Get(), u"Notifier");
  if (HasFatalFailure()) return;
  g.As<IMediaPosition>()->put_Rate(2.0);
  ASSERT_EQ(g.As<IMediaControl>()->Run(), S_OK);
  LONG code = 0;
  EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(-1, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(handled.load(), fixtures::FrameCount({}));
  g.As<IMediaControl>()->Stop();
  DestroyWindow(notify);
}

// Holds the streaming thread in its second sample until let go (the first passes, so that the
// run that starts the graph finds the renderer's first sample there).
class HoldingFilter : public dshow::InPlaceTransformFilter {
 public:
  HoldingFilter()
      : InPlaceTransformFilter(u"Holder", MakeGuid("{8E3A2F47-51C6-4B0D-9A7E-6C2D1B5F4E93}"), false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE& mt) override {
    return mt.majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT Transform(IMediaSample*) override {
    if (++samples == 1) return S_OK;
    entered = true;
    // (The limit only keeps a broken stop from hanging the test program.)
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!released && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return S_OK;
  }
  // Whether the streaming thread reached the filter (waits for it, with a hang guard).
  bool WaitUntilEntered() const {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!entered && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return entered;
  }
  std::atomic<int> samples{0};
  std::atomic<bool> entered{false};
  std::atomic<bool> released{false};
};

// A window message answered while a stop waits for the streaming thread stops the graph itself
// (a stop button's handler, say): the outer stop then finds the thread ended and goes on.
TEST(WindowThread, AStopFromAMessageAnsweredDuringAStopIsTakenInStride) {
  forms_detail::EnsureApplication();
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto holder = MakeComObject<HoldingFilter>();
  SpliceBefore(g.Get(), "Video Renderer", holder.Get(), u"Holder");
  if (HasFatalFailure()) return;
  auto mc = g.As<IMediaControl>();
  std::atomic<int> innerStops{0};
  HRESULT inner = E_FAIL;
  HWND stopButton = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg != kNotify) return 0;
    holder->released = true;
    inner = mc->Stop();
    ++innerStops;
    return 0;
  });
  ASSERT_EQ(mc->Run(), S_OK);
  ASSERT_TRUE(holder->WaitUntilEntered());
  ASSERT_TRUE(PostMessage(stopButton, kNotify, 0, 0));
  EXPECT_EQ(mc->Stop(), S_OK);
  EXPECT_EQ(innerStops.load(), 1) << "the message was answered while the stop waited";
  EXPECT_EQ(inner, S_OK);
  OAFilterState st = -1;
  mc->GetState(0, &st);
  EXPECT_EQ(st, State_Stopped);
  // The graph plays again, from the start, to its end.
  ASSERT_EQ(g.As<IMediaPosition>()->put_CurrentPosition(0), S_OK);
  g.As<IMediaPosition>()->put_Rate(4.0);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
  DestroyWindow(stopButton);
}

// A message answered while a stop waits drops the last reference to the graph (its form
// unloads, say): the graph is taken apart once the stop has returned, not under it.
TEST(WindowThread, TheLastReleaseFromAMessageAnsweredDuringAStopWaitsForTheStop) {
  forms_detail::EnsureApplication();
  auto g = NewGraph();
  ASSERT_EQ(g->RenderFile(U(Fixture(Kind::AviMjpegPcm)).c_str(), nullptr), S_OK);
  auto holder = MakeComObject<HoldingFilter>();
  SpliceBefore(g.Get(), "Video Renderer", holder.Get(), u"Holder");
  if (HasFatalFailure()) return;
  ComPtr<IMediaControl> mc = g.As<IMediaControl>();
  IMediaControl* control = mc.Get();
  int released = 0;
  HWND unload = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg != kNotify) return 0;
    holder->released = true;
    g = nullptr;
    mc = nullptr;
    ++released;
    return 0;
  });
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(holder->WaitUntilEntered());
  ASSERT_TRUE(PostMessage(unload, kNotify, 0, 0));
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(released, 1) << "the message was answered while the stop waited";
  // The graph is gone: the filter has left it.
  FILTER_INFO info;
  ASSERT_EQ(holder->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
  if (info.pGraph) info.pGraph->Release();
  DestroyWindow(unload);
}

// The video window inside host: its child widget (nullptr without one).
QWidget* VideoChild(QWidget& host) {
  QWidget* child = nullptr;
  for (QObject* o : host.children())
    if (auto* w = qobject_cast<QWidget*>(o)) child = w;
  return child;
}

// The frame number the video window inside host shows (-1 when it shows none yet).
int ShownFrameNumber(QWidget& host) {
  QWidget* child = VideoChild(host);
  if (!child) return -1;
  QImage shot = child->grab().toImage().convertToFormat(QImage::Format_RGB888);
  if (shot.isNull()) return -1;
  return fixtures::ReadFrameNumber(shot.constBits(), shot.bytesPerLine(), shot.width(), shot.height());
}

// A graph rendering a fixture of the kind into a video window of the size at the corner of host.
ComPtr<IGraphBuilder> MovieInWindow(Kind kind, QWidget& host, QSize size = {320, 240}) {
  auto g = NewGraph();
  EXPECT_EQ(g->RenderFile(U(Fixture(kind)).c_str(), nullptr), S_OK);
  auto vw = g.As<IVideoWindow>();
  EXPECT_EQ(vw->put_WindowStyle(0x06000000), S_OK);
  EXPECT_EQ(vw->SetWindowPosition(0, 0, size.width(), size.height()), S_OK);
  EXPECT_EQ(vw->put_Owner(HwndFromWidget(&host)), S_OK);
  EXPECT_EQ(vw->put_Visible(OATRUE), S_OK);
  return g;
}

TEST(WindowThread, TheVideoWindowLivesInTheOwnersWindow) {
  QApplication* app = forms_detail::EnsureApplication();
  ASSERT_TRUE(app);
  QWidget host;
  host.resize(400, 300);
  host.show();
  auto g = MovieInWindow(Kind::AviMjpegPcm, host, {200, 150});
  if (HasFailure()) return;
  auto vw = g.As<IVideoWindow>();
  QWidget* child = VideoChild(host);
  ASSERT_TRUE(child) << "the video window is a child of the owner";
  EXPECT_EQ(child->geometry(), QRect(0, 0, 200, 150));
  LONG visible = 0;
  vw->get_Visible(&visible);
  EXPECT_EQ(visible, OATRUE);
  // Without an owner it becomes a window of its own again.
  ASSERT_EQ(vw->put_Owner(0), S_OK);
  EXPECT_TRUE(child->isWindow());
  ASSERT_EQ(vw->put_Caption(Bstr("Preview")), S_OK);
  EXPECT_EQ(child->windowTitle().toStdString(), "Preview");
  g.As<IMediaPosition>()->put_Rate(2.0);
  EXPECT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
}

// The picture in the owner's window is the movie's, upright: after a run to the end it shows the
// last frame, whose frame-number code stands on its top rows.
TEST(WindowThread, TheVideoWindowShowsTheMoviesFramesUpright) {
  QApplication* app = forms_detail::EnsureApplication();
  ASSERT_TRUE(app);
  QWidget host;
  host.resize(320, 240);
  host.show();
  const std::vector<Kind> kinds = {Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDx50};
  for (Kind kind : kinds) {
    SCOPED_TRACE(fixtures::Name(kind));
    auto g = MovieInWindow(kind, host);
    if (HasFailure()) return;
    g.As<IMediaPosition>()->put_Rate(2.0);
    ASSERT_EQ(RunToEnd(g.Get()), EC_COMPLETE);
    ASSERT_TRUE(VideoChild(host));
    // Let the last frame's paint run, then read the picture back.
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_EQ(ShownFrameNumber(host), fixtures::FrameCount({}) - 1);
    g = nullptr;
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
}

// A paused graph of a movie with sound shows the movie's first frame, whatever the decoders hold
// back and however the file interleaves its streams: the sound waiting in its paused renderer
// does not keep the picture from reaching the video window. Run from there, the movie plays to
// its end.
TEST(WindowThread, APausedMovieWithSoundShowsItsFirstFrame) {
  QApplication* app = forms_detail::EnsureApplication();
  ASSERT_TRUE(app);
  QWidget host;
  host.resize(320, 240);
  host.show();
  const std::vector<Kind> kinds = {Kind::AviMjpegPcm, Kind::AviRgb, Kind::AviDx50, Kind::AviDiv3, Kind::AviMp43,
                                   Kind::AviAudioFirst};
  for (Kind kind : kinds) {
    SCOPED_TRACE(fixtures::Name(kind));
    auto g = MovieInWindow(kind, host);
    if (HasFailure()) return;
    ASSERT_TRUE(FilterNamed(g.Get(), "Audio Renderer")) << "the movie's sound is rendered";
    auto mc = g.As<IMediaControl>();
    ASSERT_EQ(mc->Pause(), S_OK);
    // (The limit only keeps a picture that never comes from hanging the test program.)
    int shown = -1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (shown < 0 && std::chrono::steady_clock::now() < limit) {
      QApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      shown = ShownFrameNumber(host);
    }
    EXPECT_EQ(shown, 0) << "the paused graph shows the first frame";
    g.As<IMediaPosition>()->put_Rate(4.0);
    ASSERT_EQ(mc->Run(), S_OK);
    LONG code = 0;
    EXPECT_EQ(g.As<IMediaEvent>()->WaitForCompletion(30000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_EQ(ShownFrameNumber(host), fixtures::FrameCount({}) - 1);
    mc->Stop();
    g = nullptr;
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }
}

}  // namespace
