// Cutting command lines, starting programs and handing targets to the desktop's opener.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/wait.h>

#include "core/error.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/process.h"

namespace {

TEST(CommandLines, ProgramAndTail) {
  struct Case {
    const char* line;
    const char* program;
    const char* tail;
  } cases[] = {
      {"prog", "prog", ""},
      {"prog a b", "prog", "a b"},
      {"prog   a  b  ", "prog", "a  b  "},
      {"prog\t\"x y\"", "prog", "\"x y\""},
      {"\"/opt/My Programs/prog\" /tmp/a.avi", "/opt/My Programs/prog", "/tmp/a.avi"},
      {"\"/opt/My Programs/prog\"", "/opt/My Programs/prog", ""},
      {"\"unterminated prog", "unterminated prog", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    CommandLineParts parts = SplitCommandLine(c.line);
    EXPECT_EQ(parts.Program, c.program) << c.line;
    EXPECT_EQ(parts.Tail, c.tail) << c.line;
  }
}

TEST(CommandLines, TailToArguments) {
  struct Case {
    const char* tail;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"a b\tc", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"\"\"", {""}},
      {"a\"b c\"d", {"ab cd"}},
      {"C:\\Movies\\clip.avi", {"C:\\Movies\\clip.avi"}},
      {"\"C:\\My Movies\\\\\" next", {"C:\\My Movies\\", "next"}},
      {"a\\\\\\\"b", {"a\\\"b"}},    // 3 backslashes and a quote: one backslash and a quote
      {"a\\\\\"b c\"", {"a\\b c"}},  // 2 backslashes and a quote: one backslash, quote groups
      {"\"a \"\"quoted\"\" word\"", {"a \"quoted\" word"}},
      {"/tmp/clip.avi <RUN>", {"/tmp/clip.avi", "<RUN>"}},
  };
  for (const Case& c : cases) EXPECT_EQ(CommandLineToArgv(c.tail), c.args) << c.tail;
}

TEST(CommandLines, QuotedArgumentsComeBackUnchanged) {
  const std::vector<std::string> args = {
      "plain", "", "two words", "tab\there", "quote\"inside", "ends\\", "C:\\My Movies\\", "\\\\\"", "\"\""};
  std::string tail;
  for (const std::string& a : args) tail += (tail.empty() ? "" : " ") + QuoteArgument(a);
  EXPECT_EQ(CommandLineToArgv(tail), args) << tail;
  EXPECT_EQ(QuoteArgument("plain"), "plain");
}

struct ChildReport {
  std::map<std::string, std::string> values;
  std::vector<std::string> args;
};

TEST(Programs, FindExecutableLooksWhereShellLooks) {
  const std::string child = SHELL_TEST_CHILD;
  const std::string childName = child.substr(child.rfind('/') + 1);
  struct Case {
    std::string name;
    std::string expected;
  } cases[] = {
      {childName, child},           // in the program folder
      {childName + ".EXE", child},  // "Name.exe" is the program "Name"
      {child, child},               // a path as given
      {"no-such-program-here", ""},
      {SHELL_TEST_DIR, ""},  // a folder is no program
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FindExecutable(c.name), c.expected) << c.name;
  // A bare name that is neither in the program folder nor the current one comes from $PATH.
  std::string sh = FindExecutable("sh");
  EXPECT_TRUE(FileExists(sh)) << sh;
  EXPECT_EQ(sh.substr(sh.rfind('/')), "/sh");
}

class ProcessTest : public ScratchTest {
 protected:
  // Waits for the started child's report (it runs on its own; there is no process to wait for).
  ChildReport WaitForReport(const std::string& path) {
    for (int i = 0; i < 6000 && !std::filesystem::exists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ChildReport report;
    std::istringstream in(ReadBytes(path));
    std::string line;
    while (std::getline(in, line)) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "arg") {
        report.args.push_back(value);
      } else {
        report.values[key] = value;
      }
    }
    return report;
  }

  // A copy of the child program at a path of the test's choosing.
  std::string PlaceChild(const std::string& relative) {
    std::string path = At(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(SHELL_TEST_CHILD, path);
    return path;
  }
};

TEST_F(ProcessTest, StartedProgramGetsItsArgumentsTailAndStyle) {
  std::string child = PlaceChild("bin/child");
  struct Case {
    std::string commandLine;
    int16_t style;
    std::string tail;
    std::vector<std::string> args;
  } cases[] = {
      {child + " /m/clip.avi", vbMinimizedFocus, "/m/clip.avi", {"/m/clip.avi"}},
      {child, vbNormalFocus, "", {}},
      {child + "   \"a b\"  c\\\\\"d e\"  ",
       vbMinimizedNoFocus,
       "\"a b\"  c\\\\\"d e\"  ",
       {"a b", "c\\d e"}},
      {"\"" + child + "\" C:\\m\\x.avi <RUN>", vbHide, "C:\\m\\x.avi <RUN>", {"C:\\m\\x.avi", "<RUN>"}},
      // "Name.exe" names the program "Name"
      {child + ".exe tail", vbMaximizedFocus, "tail", {"tail"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string reportPath = At("report" + std::to_string(++n));
    EnvOverride report("SHELL_CHILD_REPORT", reportPath);
    int32_t pid = Shell(c.commandLine, c.style);
    ChildReport r = WaitForReport(reportPath);
    EXPECT_GT(pid, 0) << c.commandLine;
    EXPECT_EQ(r.values["pid"], std::to_string(pid)) << c.commandLine;
    EXPECT_EQ(r.values["envtail"], c.tail) << c.commandLine;
    EXPECT_EQ(r.values["tail"], c.tail) << c.commandLine;
    EXPECT_EQ(r.values["style"], std::to_string(c.style)) << c.commandLine;
    EXPECT_EQ(r.args, c.args) << c.commandLine;
    EXPECT_EQ(r.values["cwd"], CurDir()) << c.commandLine;
    // The program is not a child of ours: nothing here has to wait for it or reap it.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1) << c.commandLine;
    EXPECT_EQ(errno, ECHILD) << c.commandLine;
  }
}

TEST_F(ProcessTest, ProgramsAreLookedUpInANamedProgramFolder) {
  std::string companion = PlaceChild("programs/Companion");
  EnvOverride folder("SUITE_PROGRAM_FOLDER", At("programs"));
  EXPECT_EQ(FindExecutable("Companion.exe"), companion);
  const std::string child = SHELL_TEST_CHILD;
  EXPECT_EQ(FindExecutable(child.substr(child.rfind('/') + 1)), "") << "the build's folder is no longer searched";
}

TEST_F(ProcessTest, UnquotedProgramPathWithBlanksIsFound) {
  std::string child = PlaceChild("My Programs/child");
  std::string reportPath = At("report");
  EnvOverride report("SHELL_CHILD_REPORT", reportPath);
  int32_t pid = Shell(child + " /m/a.avi", vbNormalFocus);
  ChildReport r = WaitForReport(reportPath);
  EXPECT_EQ(r.values["pid"], std::to_string(pid));
  EXPECT_EQ(r.args, std::vector<std::string>{"/m/a.avi"});
}

TEST_F(ProcessTest, TailIsNotTakenOverByAProgramStartedAnotherWay) {
  // The child started directly (not through Shell) while this process carries a tail of its own.
  std::string child = PlaceChild("bin/child");
  std::string reportPath = At("report");
  EnvOverride report("SHELL_CHILD_REPORT", reportPath);
  EnvOverride tail("SUITE_COMMAND_TAIL", "stale tail");
  EnvOverride style("SUITE_SHOW_STYLE", "6");
  EnvOverride pid("SUITE_COMMAND_PID", "1");
  std::string command = "'" + child + "' 'two words' plain >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ChildReport r = WaitForReport(reportPath);
  EXPECT_EQ(r.values["tail"], "\"two words\" plain");
  EXPECT_EQ(r.values["style"], std::to_string(vbNormalFocus));
}

TEST_F(ProcessTest, RefusedStarts) {
  WriteBytes(At("not-a-program"), "data");
  struct Case {
    std::string commandLine;
    int16_t style;
    int32_t expected;
  } cases[] = {
      {At("missing") + " arg", vbNormalFocus, vbErrFileNotFound},
      {At("not-a-program"), vbNormalFocus, vbErrFileNotFound},
      {folder_, vbNormalFocus, vbErrFileNotFound},
      {"", vbNormalFocus, vbErrInvalidProcedureCall},
      {"   ", vbNormalFocus, vbErrInvalidProcedureCall},
      {SHELL_TEST_CHILD, 5, vbErrInvalidProcedureCall},
      {SHELL_TEST_CHILD, -1, vbErrInvalidProcedureCall},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf([&] { Shell(c.commandLine, c.style); }), c.expected) << c.commandLine;
  }
}

TEST_F(ProcessTest, ShellOpenHandsTheTargetToTheOpener) {
  std::string child = PlaceChild("opener");
  EnvOverride opener("SUITE_SHELL_OPENER", child);
  struct Case {
    std::string target;
    std::string received;
  } cases[] = {
      {"https://example.org/support?a=1&b=2", "https://example.org/support?a=1&b=2"},
      {"mailto:someone@example.org", "mailto:someone@example.org"},
      {"/docs/My Help.chm", "/docs/My Help.chm"},
      {"-rf", "./-rf"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string reportPath = At("report" + std::to_string(++n));
    EnvOverride report("SHELL_CHILD_REPORT", reportPath);
    EXPECT_TRUE(ShellOpen(c.target)) << c.target;
    ChildReport r = WaitForReport(reportPath);
    EXPECT_EQ(r.args, std::vector<std::string>{c.received}) << c.target;
    EXPECT_EQ(r.values["envtail"], "(unset)") << c.target;
  }
  EXPECT_FALSE(ShellOpen(""));
  EnvOverride missing("SUITE_SHELL_OPENER", At("no-opener"));
  EXPECT_FALSE(ShellOpen("https://example.org/"));
}

TEST_F(ProcessTest, AStartedProgramRunsUntilItEnds) {
  EXPECT_FALSE(ProcessIsRunning(0));
  EXPECT_FALSE(ProcessIsRunning(-1));
  // A program that waits until it is told to end.
  int32_t waiting = Shell("sleep 600", vbHide);
  ASSERT_GT(waiting, 0);
  EXPECT_TRUE(ProcessIsRunning(waiting));
  ASSERT_EQ(::kill(waiting, SIGTERM), 0);
  bool running = true;
  for (int i = 0; i < 3000 && running; ++i) {
    running = ProcessIsRunning(waiting);
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(running) << "an ended program still counts as running";

  // A program that ends by itself once its report is written.
  std::string child = PlaceChild("bin/child");
  std::string reportPath = At("report-ends");
  EnvOverride report("SHELL_CHILD_REPORT", reportPath);
  int32_t pid = Shell(child, vbHide);
  ASSERT_GT(pid, 0);
  WaitForReport(reportPath);
  running = true;
  for (int i = 0; i < 3000 && running; ++i) {
    running = ProcessIsRunning(pid);
    if (running) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(running);
}

}  // namespace
