// Other programs' top-level windows on a real X11 desktop: FindWindow by exact caption,
// GetWindowText whole, MoveWindow through the window manager, the window's process, and a
// window that closes. The other program is the test window program, started by the program under
// test (this test program again, with "--probe" on the desktop's xcb platform) as it starts an
// outside program, and driven through its FIFO.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "fixtures.h"
#include "forms/app.h"
#include "forms/desktop_windows.h"
#include "forms/hwnd.h"
#include "shell/process.h"
#include "x11_desktop.h"

namespace {

// ---- the probe -------------------------------------------------------------------------------

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

// Lets events run until the condition holds (guarded against hangs).
bool Await(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void Command(const std::string& fifo, const std::string& line) {
  int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
  std::string text = line + "\n";
  bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) close(fd);
  Check(ok, "command " + line.substr(0, 20));
}

// The frame-less client geometry of a window in root coordinates, read on a connection of our own.
bool ClientGeometry(uint32_t window, int& x, int& y, int& w, int& h) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  bool ok = false;
  if (!xcb_connection_has_error(c)) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    xcb_translate_coordinates_reply_t* t =
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, screen->root, 0, 0), nullptr);
    if (g && t) {
      x = t->dst_x;
      y = t->dst_y;
      w = g->width;
      h = g->height;
      ok = true;
    }
    std::free(g);
    std::free(t);
  }
  xcb_disconnect(c);
  return ok;
}

// "--probe <window program> <folder>": starts the window program as an outside program and works
// with its window; prints "ok"/"FAIL" lines and "done <failures>".
int Probe(const std::string& program, const std::string& folder) {
  PreferX11Platform();
  std::string fifo = folder + "/commands", argsFile = folder + "/arguments";
  std::filesystem::remove(fifo);
  std::filesystem::remove(argsFile);
  Check(mkfifo(fifo.c_str(), 0600) == 0, "fifo made");
  setenv("SUITE_WINDOW_PROGRAM_FIFO", fifo.c_str(), 1);
  setenv("SUITE_WINDOW_PROGRAM_ARGS", argsFile.c_str(), 1);
  setenv("SUITE_WINDOW_PROGRAM_CAPTION", "pic.bmp - Editor", 1);
  setenv("SUITE_WINDOW_PROGRAM_LATE", "1", 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  int32_t pid = Shell(QuoteArgument(program) + " pic.bmp \"two words\"", vbNormalFocus);
  Check(pid > 0, "started");

  // Its arguments, as it received them.
  Check(Await([&] { return std::filesystem::exists(argsFile); }), "arguments written");
  std::ifstream in(argsFile);
  std::string args((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Check(args == "pic.bmp\ntwo words\n", "arguments " + args);

  // Shown late: not found while hidden, found once shown.
  Check(FindWindow(nullptr, "pic.bmp - Editor") == 0, "a hidden window is not found");
  Command(fifo, "show");
  HWND h = 0;
  bool found = Await([&] { return (h = FindWindow(nullptr, "pic.bmp - Editor")) != 0; });
  std::string listed;
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    listed += " " + std::to_string(w.window) + "/" + std::to_string(w.processId) + " \"" + DesktopWindowText(w.window) + "\"";
  }
  Check(found, "found by its caption (listed:" + listed + ")");
  Check(IsWindow(h), "is a window");
  uint32_t process = 0;
  GetWindowThreadProcessId(h, &process);
  Check(process == static_cast<uint32_t>(pid), "its process " + std::to_string(process));
  Check(FindWindow(nullptr, "pic.bmp - Edito") == 0 && FindWindow(nullptr, "pic.bmp - Editor ") == 0,
        "only the exact caption");

  // A long caption, read whole (UTF-8 included).
  std::string longCaption = "Übersicht ";
  while (longCaption.size() < 600) longCaption += "a long caption of an editor window ";
  Command(fifo, "caption " + longCaption);
  Check(Await([&] { return GetWindowText(h) == longCaption; }), "the long caption read whole");
  Check(FindWindow(nullptr, longCaption.c_str()) == h, "found by the long caption, the same handle");
  Check(FindWindow(nullptr, longCaption.substr(0, 127).c_str()) == 0, "not by its first 127 bytes");

  // Placed through the window manager.
  uint32_t window = 0;
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    if (w.processId == process) window = w.window;
  }
  Check(window != 0, "listed by the window manager");
  int x = 0, y = 0, width = 0, height = 0;
  // The window manager's frame (a border of a pixel or two) lies between the place asked for the
  // frame and the window inside it.
  auto near = [&](int wantX, int wantY, int wantW, int wantH) {
    return std::abs(x - wantX) <= 2 && std::abs(y - wantY) <= 2 && std::abs(width - wantW) <= 4 &&
           std::abs(height - wantH) <= 4;
  };
  Check(ClientGeometry(window, x, y, width, height) && !near(60, 50, 320, 210), "elsewhere before the move");
  Check(MoveWindow(h, 60, 50, 320, 210, true), "moved");
  bool placed = Await([&] { return ClientGeometry(window, x, y, width, height) && near(60, 50, 320, 210); });
  Check(placed, "placed at " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" +
                    std::to_string(height));

  // Closed: the handle is no window any more, and the caption finds nothing.
  Command(fifo, "close");
  Check(Await([&] { return !IsWindow(h); }), "gone once closed");
  Check(GetWindowText(h).empty(), "no caption once gone");
  Check(!MoveWindow(h, 0, 0, 10, 10, true), "a gone window does not move");
  Check(FindWindow(nullptr, longCaption.c_str()) == 0, "not found once gone");
  std::printf("done %d\n", failures);
  std::fflush(stdout);
  return 0;
}

class ForeignWindowsOnX11 : public x11test::DesktopSuite {};

TEST_F(ForeignWindowsOnX11, AnotherProgramsWindowIsFoundReadMovedAndSeenToClose) {
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  x11test::Child probe;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = desktop_->Environment();
  // The probe chooses the X11 platform itself, as the main program does.
  options.env.push_back("QT_QPA_PLATFORM=");
  options.env.push_back("ASAN_OPTIONS=detect_leaks=0");
  std::string error;
  ASSERT_TRUE(probe.Start({self, "--probe", x11test::WindowProgramPath(), fixtures::ScratchFolder("foreign")},
                          options, &error))
      << error;
  // The outside program the probe started shares its output, so the report ends at "done".
  std::string text, line;
  while (probe.ReadLine(line)) {
    text += line + "\n";
    if (line.rfind("done ", 0) == 0) break;
  }
  probe.Wait();
  EXPECT_NE(text.find("done 0"), std::string::npos) << text;
  EXPECT_EQ(text.find("FAIL"), std::string::npos) << text;
}

TEST(ForeignWindows, WithoutADesktopOnlyOurOwnWindowsAreFound) {
  // The offscreen platform has no desktop list: an unknown caption is simply not found.
  EXPECT_EQ(FindWindow(nullptr, "no window has this caption"), 0u);
  EXPECT_TRUE(DesktopTopLevelWindows().empty());
  EXPECT_FALSE(DesktopWindowExists(0x1234567));
  EXPECT_EQ(DesktopWindowText(0x1234567), "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--probe") == 0) return Probe(argv[2], argv[3]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
