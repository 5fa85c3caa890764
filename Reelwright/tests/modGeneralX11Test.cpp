// FindWindowOfProcess and GetWindowProcessId on a real X11 desktop: a virtual X server of the
// test's own with a window manager, the test window program standing in for a started program.
//
// The lookups run in a probe: this test program started again with "--probe", whose environment
// puts its Qt on the xcb platform of that desktop (a process chooses its Qt platform once, at the
// start). The probe prints what the procedures answered; the tests check the answers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/modGeneral.h"
#include "forms/desktop_windows.h"
#include "x11_desktop.h"

namespace {

// ---- the probe ---------------------------------------------------------------------------------

// The desktop's listed windows of a process, topmost first.
std::vector<uint32_t> ListedWindowsOf(int32_t processId) {
  std::vector<uint32_t> out;
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    if (static_cast<int32_t>(w.processId) == processId) out.push_back(w.window);
  }
  return out;
}

// "--probe <pid> <n>": waits until the window manager lists n windows of the process (at once for
// 0; guarded against hangs), then reports what the procedures answer for it, and for the process
// that started the probe, which has no windows.
int Probe(int32_t processId, size_t listed) {
  std::vector<uint32_t> windows = ListedWindowsOf(processId);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (windows.size() < listed && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    windows = ListedWindowsOf(processId);
  }
  int32_t window = FindWindowOfProcess(processId);
  std::printf("listed %zu\n", windows.size());
  std::printf("topmost %u\n", windows.empty() ? 0u : windows.front());
  std::printf("topmostProcess %d\n", windows.empty() ? 0 : GetWindowProcessId(static_cast<int32_t>(windows.front())));
  std::printf("window %d\n", window);
  std::printf("process %d\n", GetWindowProcessId(window));
  std::printf("parent %d\n", FindWindowOfProcess(static_cast<int32_t>(getppid())));
  std::fflush(stdout);
  return 0;
}

// Runs the probe on the desktop and returns its report as name -> value.
std::map<std::string, int64_t> RunProbe(const x11test::Desktop& desktop, pid_t processId, size_t listed) {
  std::map<std::string, int64_t> report;
  x11test::Child probe;
  x11test::Child::Options options;
  options.pipeStdout = true;
  options.env = desktop.Environment();
  std::string error;
  char self[4096] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) {
    ADD_FAILURE() << "cannot find this test program";
    return report;
  }
  if (!probe.Start({self, "--probe", std::to_string(processId), std::to_string(listed)}, options, &error)) {
    ADD_FAILURE() << error;
    return report;
  }
  std::string text;
  EXPECT_TRUE(probe.ReadToEnd(text)) << "the probe did not finish";
  int status = probe.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe wait status " << status << "\n" << text;
  std::istringstream lines(text);
  std::string name;
  int64_t value = 0;
  while (lines >> name >> value) report[name] = value;
  EXPECT_EQ(report.size(), 6u) << text;
  return report;
}

class WindowsOfProcessesOnX11 : public x11test::DesktopSuite {};

TEST_F(WindowsOfProcessesOnX11, AStartedProgramsWindowIsFoundOnceShown) {
  x11test::WindowProgram program(*desktop_);
  ASSERT_EQ(program.Error(), "");
  ASSERT_NE(program.Window(), 0u);

  // The window exists but was never shown: the window manager does not list it yet.
  auto before = RunProbe(*desktop_, program.Pid(), 0);
  EXPECT_EQ(before["listed"], 0);
  EXPECT_EQ(before["window"], 0);
  EXPECT_EQ(before["process"], 0);
  EXPECT_EQ(before["parent"], 0);

  ASSERT_TRUE(program.Show()) << program.Error();
  auto after = RunProbe(*desktop_, program.Pid(), 1);
  EXPECT_EQ(after["listed"], 1);
  EXPECT_EQ(after["window"], static_cast<int64_t>(program.Window()));
  EXPECT_EQ(after["process"], static_cast<int64_t>(program.Pid()));
  // The test process has no window on that desktop.
  EXPECT_EQ(after["parent"], 0);
}

TEST_F(WindowsOfProcessesOnX11, EachProgramGetsItsOwnWindow) {
  x11test::WindowProgram first(*desktop_);
  x11test::WindowProgram second(*desktop_);
  ASSERT_EQ(first.Error(), "");
  ASSERT_EQ(second.Error(), "");
  ASSERT_TRUE(first.Show()) << first.Error();
  ASSERT_TRUE(second.Show()) << second.Error();
  ASSERT_NE(first.Window(), second.Window());

  auto ofFirst = RunProbe(*desktop_, first.Pid(), 1);
  auto ofSecond = RunProbe(*desktop_, second.Pid(), 1);
  EXPECT_EQ(ofFirst["window"], static_cast<int64_t>(first.Window()));
  EXPECT_EQ(ofFirst["process"], static_cast<int64_t>(first.Pid()));
  EXPECT_EQ(ofSecond["window"], static_cast<int64_t>(second.Window()));
  EXPECT_EQ(ofSecond["process"], static_cast<int64_t>(second.Pid()));
}

TEST_F(WindowsOfProcessesOnX11, ADialogOnTopIsPassedOverForTheWindowItBelongsTo) {
  x11test::WindowProgram program(*desktop_);
  ASSERT_EQ(program.Error(), "");
  ASSERT_TRUE(program.Show()) << program.Error();
  uint32_t dialog = program.ShowDialog();
  ASSERT_NE(dialog, 0u) << program.Error();

  auto report = RunProbe(*desktop_, program.Pid(), 2);
  EXPECT_EQ(report["listed"], 2);
  // The dialog is the program's topmost window, yet the one found is the window it belongs to.
  EXPECT_EQ(report["topmost"], static_cast<int64_t>(dialog));
  EXPECT_EQ(report["window"], static_cast<int64_t>(program.Window()));
  // The dialog's process is known all the same.
  EXPECT_EQ(report["topmostProcess"], static_cast<int64_t>(program.Pid()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--probe") == 0)
    return Probe(static_cast<int32_t>(std::atoi(argv[2])), static_cast<size_t>(std::atoi(argv[3])));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
