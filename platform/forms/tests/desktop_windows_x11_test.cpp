// The desktop's window list on a real X11 desktop: a virtual X server of the test's own with a
// window manager, and test window programs standing in for other programs.
//
// The list is read in a probe: this test program started again with "--probe", whose environment
// puts its Qt on the xcb platform of that desktop (a process chooses its Qt platform once, at the
// start). The probe prints the list; the tests check it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "forms/desktop_windows.h"
#include "x11_desktop.h"

namespace {

// ---- the probe ---------------------------------------------------------------------------------

// "--probe <pid> <n> [<pid> <n> ...]": waits until the window manager lists at least n windows of
// each process (exactly n when written "=n"; guarded against hangs), then prints the listed
// windows of those processes in the list's order, one "<window> <process> <owner>" line each.
int Probe(int argc, char** argv) {
  std::map<uint32_t, size_t> wanted;
  std::map<uint32_t, bool> exactly;
  for (int i = 2; i + 1 < argc; i += 2) {
    auto pid = static_cast<uint32_t>(std::atoi(argv[i]));
    exactly[pid] = argv[i + 1][0] == '=';
    wanted[pid] = static_cast<size_t>(std::atoi(argv[i + 1] + (exactly[pid] ? 1 : 0)));
  }
  std::vector<DesktopWindow> ours;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    ours.clear();
    std::map<uint32_t, size_t> seen;
    for (const DesktopWindow& w : DesktopTopLevelWindows()) {
      if (wanted.count(w.processId)) {
        ours.push_back(w);
        ++seen[w.processId];
      }
    }
    bool all = true;
    for (const auto& [pid, n] : wanted) all = all && (exactly[pid] ? seen[pid] == n : seen[pid] >= n);
    if (all || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  for (const DesktopWindow& w : ours) std::printf("%u %u %u\n", w.window, w.processId, w.owner);
  std::fflush(stdout);
  return 0;
}

// Runs the probe on the desktop and returns the windows it printed.
std::vector<DesktopWindow> RunProbe(const x11test::Desktop& desktop,
                                    const std::vector<std::pair<pid_t, std::string>>& wanted) {
  std::vector<DesktopWindow> out;
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    ADD_FAILURE() << "cannot find this test program";
    return out;
  }
  std::vector<std::string> args = {self, "--probe"};
  for (const auto& [pid, n] : wanted) {
    args.push_back(std::to_string(pid));
    args.push_back(n);
  }
  x11test::Child probe;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  std::string error;
  if (!probe.Start(args, options, &error)) {
    ADD_FAILURE() << error;
    return out;
  }
  std::string text;
  EXPECT_TRUE(probe.ReadToEnd(text)) << "the probe did not finish";
  int status = probe.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe wait status " << status << "\n" << text;
  std::istringstream lines(text);
  DesktopWindow w;
  while (lines >> w.window >> w.processId >> w.owner) out.push_back(w);
  return out;
}

// Puts a window on top of the window manager's stacking list that no longer exists on the server,
// as a list may hold for a moment after a program ended. Its id; 0 when that could not be done.
uint32_t ListAGoneWindow(const x11test::Desktop& desktop) {
  xcb_connection_t* c = xcb_connect(desktop.Display().c_str(), nullptr);
  uint32_t done = 0;
  if (!xcb_connection_has_error(c)) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t gone = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, gone, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_destroy_window(c, gone);
    const char* name = "_NET_CLIENT_LIST_STACKING";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (atom && atom->atom) {
      // The stacking list runs from the bottom to the top: the gone window goes last.
      xcb_change_property(c, XCB_PROP_MODE_APPEND, screen->root, atom->atom, XCB_ATOM_WINDOW, 32, 1, &gone);
      // A reply means the server has carried out everything sent before it.
      std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
      done = gone;
    }
    std::free(atom);
  }
  xcb_disconnect(c);
  return done;
}

class DesktopWindowsOnX11 : public x11test::DesktopSuite {};

TEST_F(DesktopWindowsOnX11, ShownWindowsAreListedTopmostFirstWithTheirProcessAndOwner) {
  x11test::WindowProgram first(*desktop_);
  x11test::WindowProgram second(*desktop_);
  ASSERT_EQ(first.Error(), "");
  ASSERT_EQ(second.Error(), "");
  ASSERT_TRUE(first.Show()) << first.Error();
  ASSERT_TRUE(second.Show()) << second.Error();
  uint32_t dialog = second.ShowDialog();
  ASSERT_NE(dialog, 0u) << second.Error();

  // Each newly shown window went on top of those before it.
  std::vector<DesktopWindow> listed = RunProbe(*desktop_, {{first.Pid(), "1"}, {second.Pid(), "2"}});
  ASSERT_EQ(listed.size(), 3u);
  auto first_pid = static_cast<uint32_t>(first.Pid());
  auto second_pid = static_cast<uint32_t>(second.Pid());
  EXPECT_EQ(listed[0].window, dialog);
  EXPECT_EQ(listed[0].processId, second_pid);
  EXPECT_EQ(listed[0].owner, second.Window());
  EXPECT_EQ(listed[1].window, second.Window());
  EXPECT_EQ(listed[1].processId, second_pid);
  EXPECT_EQ(listed[1].owner, 0u);
  EXPECT_EQ(listed[2].window, first.Window());
  EXPECT_EQ(listed[2].processId, first_pid);
  EXPECT_EQ(listed[2].owner, 0u);
}

TEST_F(DesktopWindowsOnX11, AWindowNeverShownIsNotListed) {
  x11test::WindowProgram shown(*desktop_);
  x11test::WindowProgram unshown(*desktop_);
  ASSERT_EQ(shown.Error(), "");
  ASSERT_EQ(unshown.Error(), "");
  ASSERT_NE(unshown.Window(), 0u);
  ASSERT_TRUE(shown.Show()) << shown.Error();

  // Once the shown program's window is listed, the list holds nothing of the other program.
  std::vector<DesktopWindow> listed = RunProbe(*desktop_, {{shown.Pid(), "1"}, {unshown.Pid(), "0"}});
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].window, shown.Window());
}

TEST_F(DesktopWindowsOnX11, AMinimisedWindowStaysListedAHiddenOneLeavesTheList) {
  x11test::WindowProgram program(*desktop_);
  ASSERT_EQ(program.Error(), "");
  ASSERT_TRUE(program.Show()) << program.Error();
  ASSERT_EQ(RunProbe(*desktop_, {{program.Pid(), "1"}}).size(), 1u);

  ASSERT_TRUE(program.Minimize()) << program.Error();
  std::vector<DesktopWindow> minimised = RunProbe(*desktop_, {{program.Pid(), "1"}});
  ASSERT_EQ(minimised.size(), 1u);
  EXPECT_EQ(minimised[0].window, program.Window());

  // The window manager lets go of a hidden window once it learns of it.
  ASSERT_TRUE(program.Hide()) << program.Error();
  EXPECT_EQ(RunProbe(*desktop_, {{program.Pid(), "=0"}}).size(), 0u);
}

TEST_F(DesktopWindowsOnX11, AListedWindowGoneFromTheServerIsListedWithoutAProcess) {
  x11test::WindowProgram program(*desktop_);
  ASSERT_EQ(program.Error(), "");
  ASSERT_TRUE(program.Show()) << program.Error();
  ASSERT_EQ(RunProbe(*desktop_, {{program.Pid(), "1"}}).size(), 1u);
  uint32_t gone = ListAGoneWindow(*desktop_);
  ASSERT_NE(gone, 0u);

  std::vector<DesktopWindow> listed = RunProbe(*desktop_, {{program.Pid(), "1"}, {0, "1"}});
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].window, gone);
  EXPECT_EQ(listed[0].processId, 0u);
  EXPECT_EQ(listed[0].owner, 0u);
  EXPECT_EQ(listed[1].window, program.Window());
  EXPECT_EQ(listed[1].processId, static_cast<uint32_t>(program.Pid()));
}

TEST_F(DesktopWindowsOnX11, WithoutTheXcbPlatformTheListIsEmpty) {
  x11test::WindowProgram program(*desktop_);
  ASSERT_EQ(program.Error(), "");
  ASSERT_TRUE(program.Show()) << program.Error();
  ASSERT_EQ(RunProbe(*desktop_, {{program.Pid(), "1"}}).size(), 1u);

  // This process runs on the offscreen platform (as every test does); a display at hand changes
  // nothing.
  ASSERT_EQ(setenv("QT_QPA_PLATFORM", "offscreen", 1), 0);
  ASSERT_EQ(setenv("DISPLAY", desktop_->Display().c_str(), 1), 0);
  EXPECT_TRUE(DesktopTopLevelWindows().empty());
  unsetenv("DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--probe") == 0) return Probe(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
