// The multi-select file browser on a real X11 desktop: the borderless window moves when the user
// holds a mouse button down on its hint strip and drags, with xdotool's pointer as the hand. The
// drag runs in this test program started again on the desktop's xcb platform; the test started
// on the offscreen platform only runs that second program and reports its outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPoint>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/PrivateRegistry.h"
#include "forms/app.h"
#include "forms/qt/hwnd_qt.h"
#include "x11_clicks.h"
#include "x11_desktop.h"
#include "windows/frmBrowse.h"

namespace {

constexpr const char* kOnDesktop = "BROWSE_ON_DESKTOP";

bool OnDesktop() { return std::getenv(kOnDesktop) != nullptr; }

// Lets the window's events run for a while.
void Pump(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Runs xdotool on this desktop; true when it succeeded. What it does reaches the window as X events
// queued in order, which the pauses after each step let the window handle.
bool Xdotool(const std::vector<std::string>& args) {
  return x11test::RunXdotool(args);
}

class BrowseOnDesktop : public PrivateRegistry {
 protected:
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside BrowseStrip.OnAnX11Desktop";
    PrivateRegistry::SetUp();
  }
  void TearDown() override {
    if (!OnDesktop()) return;
    f_.Unload();
    PrivateRegistry::TearDown();
  }
  frmBrowse f_;
};

}  // namespace

// ---- run on the desktop -------------------------------------------------------------------------

TEST_F(BrowseOnDesktop, DraggingTheStripMovesTheWindow) {
  f_.Load();
  f_.Move(1500, 1500);
  f_.Show();
  QWidget* strip = WidgetFromHwnd(f_.Label4->hWnd());
  ASSERT_NE(strip, nullptr);
  QWidget* window = strip->window();
  for (int i = 0; i < 400 && !(window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed()); ++i) {
    Pump(10);
  }
  Pump(300);
  const QPoint before = window->frameGeometry().topLeft();
  const int32_t left = f_.Left(), top = f_.Top();
  const QPoint grip = strip->mapToGlobal(QPoint(strip->width() / 2, strip->height() / 2));
  const std::string x = std::to_string(grip.x()), y = std::to_string(grip.y());
  ASSERT_TRUE(Xdotool({"mousemove", x, y}));
  Pump(100);
  ASSERT_TRUE(Xdotool({"mousedown", "1"}));
  Pump(200);
  // The pointer moves in steps, as a hand does, 120 pixels right and 80 down.
  for (int step = 1; step <= 6; ++step) {
    ASSERT_TRUE(Xdotool({"mousemove", std::to_string(grip.x() + 20 * step), std::to_string(grip.y() + 40 * step / 3)}));
    Pump(60);
  }
  ASSERT_TRUE(Xdotool({"mouseup", "1"}));
  Pump(300);
  const QPoint after = window->frameGeometry().topLeft();
  EXPECT_NEAR(after.x() - before.x(), 120, 4) << "the window's left edge through the window system";
  EXPECT_NEAR(after.y() - before.y(), 80, 4) << "the window's top edge through the window system";
  EXPECT_GT(f_.Left(), left);
  EXPECT_GT(f_.Top(), top);
}

// ---- the test run on the offscreen platform -------------------------------------------------------

TEST(BrowseStrip, OnAnX11Desktop) {
  if (OnDesktop()) GTEST_SKIP();
  x11test::Desktop desktop;
  ASSERT_EQ(desktop.Error(), "");
  x11test::ExpectOneTestPassesOnDesktop(desktop, kOnDesktop, "BrowseOnDesktop.*");
}
