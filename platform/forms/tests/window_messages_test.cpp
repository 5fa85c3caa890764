// The window-message calls over forms and controls: captions, parents, placement, the caption
// drag of windows without a title bar, and sends to a form from another thread.
#include <gtest/gtest.h>

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <atomic>
#include <thread>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace {
std::unique_ptr<TestForm> MakeBrowser() {
  return std::make_unique<TestForm>("frmBrowse", [](TestForm& f) {
    f.Caption("Select Files");
    f.BorderStyle(vbBSNone);
    f.Move(1500, 1500, 4500, 3000);
    f.Place({{"Label", "lblDrag", -1, "", 0, 0, 4500, 300, "Select Files"},
             {"Frame", "fraList", -1, "", 150, 450, 3000, 2000, ""},
             {"ListBox", "lstFiles", -1, "fraList", 150, 300, 2500, 1500, ""}});
  });
}
}  // namespace

TEST(WindowMessages, CaptionsParentsAndTheWindowList) {
  auto f = MakeBrowser();
  f->Show();
  HWND form = f->hWnd();
  EXPECT_EQ(FindWindow(nullptr, "Select Files"), form);
  EXPECT_EQ(GetWindowText(form), "Select Files");
  char buf[64] = {};
  EXPECT_EQ(SendMessage(form, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf)), 12);
  EXPECT_STREQ(buf, "Select Files");
  SendMessage(form, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Pick Files"));
  EXPECT_EQ(f->Caption(), "Pick Files");

  HWND list = f->FindControl("lstFiles")->hWnd();
  HWND frame = f->FindControl("fraList")->hWnd();
  EXPECT_EQ(GetParent(list), frame);
  EXPECT_EQ(GetParent(frame), form);
  EXPECT_EQ(GetWindowText(f->FindControl("lblDrag")->hWnd()), "Select Files");

  TestForm other("frmOther");
  other.Caption("Other");
  other.Show(vbModeless, f.get());
  EXPECT_EQ(GetParent(other.hWnd()), form) << "an owned form names its owner";
  std::vector<HWND> tops = TopLevelWindows();
  auto pos = std::find(tops.begin(), tops.end(), form);
  ASSERT_NE(pos, tops.end());
  EXPECT_NE(std::find(tops.begin(), tops.end(), other.hWnd()), tops.end());
  EXPECT_EQ(GetWindow(form, GW_HWNDNEXT), std::next(pos) == tops.end() ? 0u : *std::next(pos));
  uint32_t pid = 0;
  GetWindowThreadProcessId(form, &pid);
  EXPECT_EQ(pid, static_cast<uint32_t>(::getpid()));
  other.Unload();
  f->Unload();
  EXPECT_FALSE(IsWindow(form)) << "an unloaded form's handle is gone";
  EXPECT_EQ(FindWindow(nullptr, "Pick Files"), 0u);
}

TEST(WindowMessages, MoveWindowPlacesInPixels) {
  auto f = MakeBrowser();
  f->Show();
  EXPECT_TRUE(MoveWindow(f->hWnd(), 20, 30, 200, 100, true));
  EXPECT_EQ(f->Left(), 300);
  EXPECT_EQ(f->Top(), 450);
  EXPECT_EQ(f->Width(), 3000);
  EXPECT_EQ(f->Height(), 1500);
  Control* list = f->FindControl("lstFiles");
  EXPECT_TRUE(MoveWindow(list->hWnd(), 5, 6, 70, 80, true));
  EXPECT_EQ(list->Left(), 75);
  EXPECT_EQ(list->Height(), 1200);
  f->Unload();
}

TEST(WindowMessages, CaptionDragMovesAWindowWithoutTitleBar) {
  auto f = MakeBrowser();
  f->On("lblDrag_MouseDown", [&](int16_t Button, int16_t, float, float) {
    if (Button != vbLeftButton) return;
    ReleaseCapture();
    SendMessage(f->hWnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
  });
  f->Show();
  QWidget* label = WidgetFromHwnd(f->FindControl("lblDrag")->hWnd());
  QWidget* window = WidgetFromHwnd(f->hWnd());
  QPoint start = window->pos();
  QCursor::setPos(200, 150);
  auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    QPointF local = label->mapFromGlobal(QPointF(global));
    QMouseEvent e(type, local, QPointF(global), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(label, &e);
  };
  send(QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton);
  send(QEvent::MouseMove, {230, 170}, Qt::LeftButton);
  send(QEvent::MouseMove, {260, 190}, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, {260, 190}, Qt::NoButton);
  DoEvents();
  EXPECT_EQ(window->pos(), start + QPoint(60, 40));
  // After the release the window stays put.
  send(QEvent::MouseMove, {300, 300}, Qt::NoButton);
  EXPECT_EQ(window->pos(), start + QPoint(60, 40));
  f->Unload();
}

TEST(WindowMessages, SendToAFormFromAnotherThreadWaitsForItsThread) {
  auto f = MakeBrowser();
  f->Show();
  HWND form = f->hWnd();
  std::atomic<bool> done{false};
  std::string caption;
  std::thread worker([&] {
    char buf[64] = {};
    SendMessage(form, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    caption = buf;
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(caption, "Select Files");
  // A send to a form that has gone answers 0 at once.
  f->Unload();
  DoEvents();
  std::thread late([&] { EXPECT_EQ(SendMessage(form, WM_CLOSE, 0, 0), 0); });
  late.join();
}
