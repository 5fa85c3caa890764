// Single-instance locks between processes, and the user's own folder they live in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../src/userfolder.h"
#include "core/error.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/instance.h"

namespace {

class InstanceTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    runtime_ = std::make_unique<EnvOverride>("XDG_RUNTIME_DIR", folder_);
  }
  void TearDown() override { runtime_.reset(); }
  std::unique_ptr<EnvOverride> runtime_;
};

// Another process (the test child program) that claims a program's instance lock, says
// whether it saw another instance, and ends when its input closes.
class OtherInstance {
 public:
  explicit OtherInstance(const std::string& program) {
    int answer[2], stop[2];
    EXPECT_EQ(::pipe2(answer, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(stop, O_CLOEXEC), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(stop[0], 0);
      ::dup2(answer[1], 1);
      ::setenv("SHELL_CHILD_INSTANCE", program.c_str(), 1);
      ::execl(SHELL_TEST_CHILD, SHELL_TEST_CHILD, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(answer[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    EXPECT_EQ(::read(answer[0], &answer_, 1), 1);
    ::close(answer[0]);
  }
  ~OtherInstance() { End(); }
  // What the other process's AnotherInstanceRuns answered.
  bool SawAnother() const { return answer_ == 'y'; }
  void End() {
    if (pid_ <= 0) return;
    ::close(stop_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int stop_ = -1;
  char answer_ = '?';
};

TEST_F(InstanceTest, ARunningProgramIsSeenUntilItEnds) {
  EXPECT_FALSE(ProgramRuns("Lotkiln"));
  OtherInstance lotkiln("Lotkiln");
  EXPECT_FALSE(lotkiln.SawAnother()) << "the first instance";
  EXPECT_TRUE(ProgramRuns("Lotkiln"));
  EXPECT_TRUE(ProgramRuns("Lotkiln")) << "asking keeps nothing";
  EXPECT_FALSE(ProgramRuns("Crunchbox")) << "locks are per program";
  {
    OtherInstance second("Lotkiln");
    EXPECT_TRUE(second.SawAnother());
  }
  EXPECT_TRUE(ProgramRuns("Lotkiln")) << "a second instance that ended leaves the first's lock";
  lotkiln.End();
  EXPECT_FALSE(ProgramRuns("Lotkiln")) << "an ended program no longer runs";
}

TEST_F(InstanceTest, TheFirstAnswerOfThisProcessHolds) {
  const std::string name = "InstanceTestProgram" + std::to_string(::getpid());
  EXPECT_FALSE(AnotherInstanceRuns(name));
  EXPECT_TRUE(ProgramRuns(name)) << "this process holds the lock now";
  OtherInstance other(name);
  EXPECT_TRUE(other.SawAnother());
  EXPECT_FALSE(AnotherInstanceRuns(name)) << "this process stays the first";
  EXPECT_TRUE(PathExists(folder_ + "/reelwright/" + name + ".instance"));
}

class OwnFolderTest : public ScratchTest {};

TEST_F(OwnFolderTest, LinksFilesAndOtherUsersFoldersAreSkipped) {
  namespace fs = std::filesystem;
  MkDir(At("elsewhere"));
  MkDir(At("mine"));
  fs::permissions(At("mine"), fs::perms(0755));
  fs::create_symlink(At("elsewhere"), At("linked"));
  WriteBytes(At("plain"), "x");
  MkDir(At("theirs"));
  const bool canGiveAway = ::chown(At("theirs").c_str(), 65534, 65534) == 0;
  struct Case {
    std::string name;
    std::string expected;
  } cases[] = {
      {"fresh", At("fresh/")},
      {"mine", At("mine/")},  // narrowed to 0700
      {"linked", At("linked-1/")},
      {"plain", At("plain-1/")},
      {"theirs", canGiveAway ? At("theirs-1/") : At("theirs/")},
  };
  for (const Case& c : cases) {
    std::string folder = shell_detail::OwnFolderIn(folder_, c.name);
    EXPECT_EQ(folder, c.expected) << c.name;
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
  }
  EXPECT_TRUE(fs::is_empty(At("elsewhere"))) << "nothing made through the link";
  EXPECT_EQ(ReadBytes(At("plain")), "x");
}

}  // namespace
