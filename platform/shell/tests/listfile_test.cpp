// The list-file hand-off: appends and takes from several processes at once lose, duplicate and
// tear no line.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/error.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/listfile.h"

namespace {

// A line that shows whether it arrived whole: writer, number, then a body derived from both.
std::string Body(int writer, int number) {
  std::string body;
  for (int i = 0; i < 40; ++i) body += static_cast<char>('a' + (writer * 7 + number + i) % 26);
  return body + std::string(160, static_cast<char>('A' + number % 26));
}

std::string LineOf(int writer, int number) {
  return "w" + std::to_string(writer) + " n" + std::to_string(number) + " " + Body(writer, number);
}

// Counts each line taken; a line that is not exactly as written counts as torn.
struct Tally {
  std::map<std::string, int> seen;
  int torn = 0;
  void Add(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      int writer = -1, number = -1;
      char body[256] = {};
      if (std::sscanf(line.c_str(), "w%d n%d %255s", &writer, &number, body) != 3 || line != LineOf(writer, number)) {
        ++torn;
        continue;
      }
      ++seen[line];
    }
  }
  // Every line of every writer exactly once.
  void ExpectEachOnce(int writers, int lines) const {
    int missing = 0, repeated = 0;
    for (int w = 0; w < writers; ++w) {
      for (int n = 0; n < lines; ++n) {
        auto it = seen.find(LineOf(w, n));
        if (it == seen.end()) {
          ++missing;
        } else if (it->second > 1) {
          ++repeated;
        }
      }
    }
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(repeated, 0);
    EXPECT_EQ(seen.size(), static_cast<size_t>(writers * lines)) << "lines nobody wrote";
  }
};

// Starts a process that appends count lines as the given writer and ends.
pid_t StartWriter(const std::string& path, int writer, int count) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int code = 0;
    try {
      for (int n = 0; n < count; ++n) AppendLine(path, LineOf(writer, n));
    } catch (...) {
      code = 1;
    }
    ::_exit(code);
  }
  return pid;
}

// Whether every writer has ended (each with exit code 0, else the test fails).
bool AllEnded(std::vector<pid_t>& writers) {
  for (pid_t& pid : writers) {
    if (pid == 0) continue;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      pid = 0;
    }
  }
  for (pid_t pid : writers) {
    if (pid != 0) return false;
  }
  return true;
}

class ListFileTest : public ScratchTest {};

TEST_F(ListFileTest, AppendWritesWholeLinesWithCrLfAndTakeRemovesTheFile) {
  AppendLine(At("list.lst"), "first clip.avi");
  AppendLine(At("list.lst"), "");
  AppendLine(At("list.lst"), "third");
  EXPECT_EQ(ReadBytes(At("list.lst")), "first clip.avi\r\n\r\nthird\r\n");
  EXPECT_EQ(TakeLines(At("list.lst")), (std::vector<std::string>{"first clip.avi", "", "third"}));
  EXPECT_FALSE(PathExists(At("list.lst")));
  EXPECT_TRUE(TakeLines(At("list.lst")).empty()) << "no file: nothing to take";
}

TEST_F(ListFileTest, TakeLinesSplitsEveryLineEnd) {
  struct Case {
    const char* bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
  };
  for (const Case& c : cases) {
    WriteBytes(At("list.lst"), c.bytes);
    EXPECT_EQ(TakeLines(At("list.lst")), c.lines) << c.bytes;
    EXPECT_FALSE(PathExists(At("list.lst")));
  }
}

TEST_F(ListFileTest, TakeFileRenamesTheWholeFile) {
  EXPECT_FALSE(TakeFile(At("list.lst"), At("taken.1")));
  EXPECT_FALSE(PathExists(At("taken.1")));
  AppendLine(At("list.lst"), "one");
  EXPECT_TRUE(TakeFile(At("list.lst"), At("taken.1")));
  EXPECT_FALSE(PathExists(At("list.lst")));
  AppendLine(At("list.lst"), "two");
  EXPECT_EQ(TakeLines(At("taken.1")), std::vector<std::string>{"one"});
  EXPECT_EQ(TakeLines(At("list.lst")), std::vector<std::string>{"two"});
}

TEST_F(ListFileTest, ThingsThatAreNotFilesAreRefusedWithoutBlocking) {
  MkDir(At("folder"));
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  for (const char* name : {"folder", "fifo"}) {
    EXPECT_EQ(ErrorOf([&] { AppendLine(At(name), "x"); }), vbErrPathFileAccess) << name;
    EXPECT_EQ(ErrorOf([&] { TakeLines(At(name)); }), vbErrPathFileAccess) << name;
    EXPECT_EQ(ErrorOf([&] { TakeFile(At(name), At("taken")); }), vbErrPathFileAccess) << name;
    EXPECT_TRUE(PathExists(At(name)));
  }
  EXPECT_EQ(ErrorOf([&] { AppendLine(At("missing/list.lst"), "x"); }), vbErrPathNotFound);
}

TEST_F(ListFileTest, AppendingAndTakingInTwoProcessesKeepsEveryLineOnce) {
  const std::string list = At("list.lst");
  std::vector<pid_t> writers{StartWriter(list, 0, 5000)};
  Tally tally;
  bool ended = false;
  while (!ended) {
    ended = AllEnded(writers);  // a last take after the writer ended collects the rest
    tally.Add(TakeLines(list));
  }
  tally.ExpectEachOnce(1, 5000);
}

TEST_F(ListFileTest, FourWritersAndATakerByRenameKeepEveryLineOnce) {
  const std::string list = At("list.lst");
  std::vector<pid_t> writers;
  for (int w = 0; w < 4; ++w) writers.push_back(StartWriter(list, w, 500));
  Tally tally;
  int taken = 0;
  bool ended = false;
  while (!ended) {
    ended = AllEnded(writers);
    const std::string mine = At("taken." + std::to_string(taken));
    if (TakeFile(list, mine)) {
      ++taken;
      tally.Add(TakeLines(mine));
    }
  }
  tally.ExpectEachOnce(4, 500);
}

}  // namespace
