#pragma once
// Clicks and waits for a program's own windows on an x11test::Desktop: the test runs in the
// program started on the desktop's xcb platform, moves xdotool's pointer to a point of one of its
// widgets and waits, handling the program's events, for what the click does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QPoint>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <functional>
#include <string>

#include "forms/waitevents.h"
#include "x11_desktop.h"

namespace x11test {

// Handles the program's events until the condition holds; false when it still does not after a
// generous bound (a guard against a hang, not a measure of speed).
inline bool WaitFor(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    DoEventsWaiting(50);
  }
  return true;
}

// Whether the widget's top-level window is on screen.
inline bool Exposed(QWidget* w) {
  QWidget* top = w->window();
  return top->isVisible() && top->windowHandle() && top->windowHandle()->isExposed();
}

// A click of the first button at a point of the widget (its middle by default), through the
// window system: the pointer goes to that point of the widget's top-level window.
inline bool ClickOn(QWidget* w, QPoint at = QPoint(-1, -1)) {
  if (at.x() < 0) at = QPoint(w->width() / 2, w->height() / 2);
  QWidget* top = w->window();
  const QPoint p = w->mapTo(top, at);
  return RunXdotool({"mousemove", "--window", std::to_string(top->winId()), std::to_string(p.x()),
                     std::to_string(p.y()), "click", "1"});
}

// Runs this test program again as a child on the desktop, with onDesktop set in its environment
// and only the tests the filter names, and expects exactly one of them to run there and pass.
inline void ExpectOneTestPassesOnDesktop(const Desktop& desktop, const char* onDesktop, const std::string& filter) {
  char self[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  Child inner;
  Child::Options options;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  options.env.push_back(std::string(onDesktop) + "=1");
  options.env.push_back("ASAN_OPTIONS=detect_leaks=0");
  std::string error;
  ASSERT_TRUE(inner.Start({self, "--gtest_filter=" + filter}, options, &error)) << error;
  std::string text;
  EXPECT_TRUE(inner.ReadToEnd(text));
  const int status = inner.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the run on the desktop failed:\n" << text;
  EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
}

}  // namespace x11test
