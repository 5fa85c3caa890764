#pragma once
// An X11 desktop of a test's own: a virtual X server (Xvfb) on a free display number with a small
// window manager (evilwm) that keeps the desktop's window lists, plus the child processes a test
// runs on it. Nothing here touches the developer's own display.
//
// Waiting is bounded only as a guard against hangs: every wait ends at its event (a line read, a
// property set, a process gone) and gives up after a generous deadline.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace x11test {

// A child process with, when asked, a pipe to its standard input and one from its standard output.
class Child {
 public:
  struct Options {
    bool pipeStdin = false;
    bool pipeStdout = false;
    bool quiet = false;                // standard output and error go to /dev/null
    std::vector<std::string> env;      // "NAME=value" entries that replace the inherited ones
    int passFd = -1;                   // a descriptor the child gets as passedFdNumber
  };
  static constexpr int passedFdNumber = 9;

  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  // Starts argv[0] (searched in PATH when it holds no "/"); false with the reason in *error.
  bool Start(const std::vector<std::string>& argv, const Options& options, std::string* error);
  pid_t Pid() const { return pid_; }
  bool Running();

  bool WriteLine(const std::string& line);
  // The next line of the child's standard output without its newline; false at its end or when
  // none comes within the hang guard.
  bool ReadLine(std::string& line);
  // Everything the child writes until it closes its standard output.
  bool ReadToEnd(std::string& text);
  void CloseStdin();
  // Waits for the child to end; its wait status, or -1 when it did not end within the hang guard.
  int Wait();
  // Ends the child (SIGTERM, then SIGKILL if it lingers) and collects it.
  void Stop();

 private:
  bool Fill();  // reads more of the child's output into buffer_; false at its end or on the guard
  pid_t pid_ = 0;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

// The full path of a program found in PATH, or the empty string.
std::string FindProgram(const std::string& name);

// The window manager a desktop runs: a minimal one that keeps the desktop's window lists but has
// no minimised state and focuses every new window (evilwm), or a full one that has an iconic
// state and honours a window's request not to be activated (openbox).
enum class WindowManager { Minimal, Full };

// A virtual X server with a window manager, for the life of the object.
class Desktop {
 public:
  explicit Desktop(WindowManager manager = WindowManager::Minimal);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // Empty when the desktop runs; otherwise what went wrong (a missing program names its package).
  const std::string& Error() const { return error_; }
  // The display name for DISPLAY (":N").
  const std::string& Display() const { return display_; }
  // The environment entries that put a Qt program on this desktop's xcb platform.
  std::vector<std::string> Environment() const;

 private:
  bool StartServer();
  bool StartWindowManager(WindowManager manager);
  Child server_;
  Child windowManager_;
  std::string display_;
  std::string error_;
};

// The test window program (x11_window_program, built beside the tests) on a desktop: it creates
// its top-level window at start and shows it when told.
class WindowProgram {
 public:
  explicit WindowProgram(const Desktop& desktop);
  // Empty while all went well so far.
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return child_.Pid(); }
  // The X11 id of its top-level window, reported once the window exists (before it is shown).
  uint32_t Window() const { return window_; }
  // Tells the program to show its window; true once the program reports the window on screen.
  bool Show();
  // Tells the program to show a dialog that belongs to its window; the dialog's X11 id once the
  // program reports it on screen, 0 when it does not.
  uint32_t ShowDialog();
  // Tells the program to minimise its window; true once the window manager has minimised it.
  bool Minimize();
  // Tells the program to hide its window; true once the program has hidden it (the window manager
  // learns of it a moment later).
  bool Hide();
  // Arms a drag of the files from the program's window: the next mouse press on it starts one.
  bool ArmDrag(const std::vector<std::string>& files);
  // Waits for the program's next report, which must be `expected` (or start with it when it ends
  // with a blank); the whole line in `answer`.
  bool Report(const std::string& expected, const std::string& what, std::string& answer);

 private:
  // Sends a command and reads the answer: the answer is `expected`, or starts with it when it ends
  // with a blank. On anything else Error() tells what was missing.
  bool Ask(const std::string& command, const std::string& expected, const std::string& what,
           std::string& answer);
  Child child_;
  uint32_t window_ = 0;
  std::string error_;
};

// The path of the test window program.
std::string WindowProgramPath();

// Base of a test suite whose tests share one desktop, started once for the suite.
// Runs xdotool with the given environment ("NAME=value" entries; empty: the inherited one); true
// when it succeeded. A missing xdotool is a test failure naming its package.
bool RunXdotool(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
// Reads the child's output up to the next line that starts with prefix (earlier lines are
// skipped); false when its output ends first.
bool NextLineStartingWith(Child& child, const std::string& prefix, std::string& line);

class DesktopSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { desktop_ = new Desktop(); }
  static void TearDownTestSuite() {
    delete desktop_;
    desktop_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(desktop_->Error(), "") << "no X11 desktop for the test"; }
  static inline Desktop* desktop_ = nullptr;
};

}  // namespace x11test
