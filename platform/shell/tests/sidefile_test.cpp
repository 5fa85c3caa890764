// The private temporary folder, side files beside a target, links planted in shared folders, and
// files that are not files (FIFOs, devices, folders) given where a document is read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "fixtures.h"
#include "hang_guard.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/textfile.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class PrivateTempTest : public ScratchTest {
 protected:
  // A folder every user may write, as /tmp is.
  std::string Shared() {
    const std::string shared = At("shared");
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 01777);
    return shared;
  }
};

TEST_F(PrivateTempTest, TheFolderInsideTmpdirIsChecked) {
  const std::string name = "reelwright-" + std::to_string(::getuid());
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* what;
    std::function<void(const std::string& at, const std::string& victim)> plant;
    std::string expected;  // the name taken
    bool victimUntouched;
  } cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}, name, true},
      {"a link to another folder",
       [](const std::string& at, const std::string& victim) { fs::create_directory_symlink(victim, at); },
       name + "-1", true},
      {"a dangling link", [](const std::string& at, const std::string&) { fs::create_symlink("/nowhere/x", at); },
       name + "-1", true},
      {"a file", [](const std::string& at, const std::string&) { std::ofstream(at) << "x"; }, name + "-1", true},
      {"an own folder open to all", [](const std::string& at, const std::string&) {
         fs::create_directory(at);
         ::chmod(at.c_str(), 0777);
       },
       name, true},
      {"another user's folder", [root](const std::string& at, const std::string&) {
         fs::create_directory(at);
         ::chmod(at.c_str(), 0700);
         if (root) (void)::lchown(at.c_str(), kOtherUser, kOtherUser);
       },
       root ? name + "-1" : name, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string shared = Shared();
    const std::string victim = At("victim");
    fs::create_directories(victim);
    ::chmod(victim.c_str(), 0755);
    c.plant(shared + "/" + name, victim);
    EnvOverride tmp("TMPDIR", shared);
    const std::string folder = TempFolder();
    EXPECT_EQ(folder, shared + "/" + c.expected + "/");
    struct stat st;
    ASSERT_EQ(::lstat(folder.substr(0, folder.size() - 1).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(ModeOf(victim), 0755u) << "the link's target was changed";
    EXPECT_TRUE(fs::is_empty(victim));
    fs::remove_all(shared);
    fs::remove_all(victim);
  }
}

TEST_F(PrivateTempTest, AFixedNameInTheTempFolderNeverReachesALinkPlantedInSharedTmpdir) {
  const std::string shared = Shared();
  const std::string precious = At("precious.txt");
  WriteBytes(precious, "keep me");
  fs::create_symlink(precious, shared + "/bitmap.bmp");
  EnvOverride tmp("TMPDIR", shared);
  const std::string file = TempFolder() + "bitmap.bmp";
  ASSERT_NE(file, shared + "/bitmap.bmp");
  EXPECT_FALSE(PathExists(file));
  const std::string part = NewSideFile(TempFolder() + "bitmap.");
  WriteFileBytes(part, {'B', 'M'});
  ReplaceFile(part, file);
  EXPECT_EQ(ReadBytes(file), "BM");
  EXPECT_EQ(ReadBytes(precious), "keep me");
}

// Every name reelwright-<uid>, -1 ... -99 taken by another user (a folder of theirs; without the
// superuser's rights to give one away, a link, which is taken for anyone) in $TMPDIR and in the
// shared folder: the user still gets a folder of their own, never "".
TEST_F(PrivateTempTest, WhenAnotherUserHoldsEveryFixedNameTheUserStillGetsAFolderOfTheirOwn) {
  const std::string name = "reelwright-" + std::to_string(::getuid());
  const std::string pid = std::to_string(::getpid());
  const auto takeAll = [&](const std::string& base) {
    fs::create_directories(base);
    ::chmod(base.c_str(), 01777);
    for (int n = 0; n < 100; ++n) {
      const std::string at = base + "/" + name + (n == 0 ? "" : "-" + std::to_string(n));
      if (::geteuid() == 0) {
        fs::create_directory(at);
        ::chmod(at.c_str(), 0700);
        ASSERT_EQ(::lchown(at.c_str(), kOtherUser, kOtherUser), 0);
      } else {
        fs::create_symlink("/nowhere", at);
      }
    }
  };
  enum Runtime { kNoRuntime, kOwnRuntime, kOpenRuntime };
  struct Case {
    const char* what;
    bool tmpdir;      // $TMPDIR set (to a folder with every name taken)
    Runtime runtime;  // $XDG_RUNTIME_DIR
    std::string expectedStart;  // below the test's folder; "" when no folder can be had
  } cases[] = {
      {"a process folder inside TMPDIR", true, kNoRuntime, "tmpdir/" + name + "." + pid + "."},
      {"the user's own runtime folder", true, kOwnRuntime, "runtime/reelwright/"},
      {"a runtime folder others may write is no refuge", true, kOpenRuntime, "tmpdir/" + name + "." + pid + "."},
      {"a process folder inside the shared folder", false, kNoRuntime, "shared/" + name + "." + pid + "."},
      {"no folder anywhere", false, kNoRuntime, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool none = c.expectedStart.empty();
    takeAll(At("tmpdir"));
    if (!none) takeAll(At("shared"));
    fs::create_directories(At("runtime"));
    ::chmod(At("runtime").c_str(), c.runtime == kOpenRuntime ? 0777 : 0700);
    EnvOverride tmp("TMPDIR", c.tmpdir ? At("tmpdir").c_str() : nullptr);
    EnvOverride shared("SUITE_SHARED_TEMP", none ? At("missing") : At("shared"));
    EnvOverride runtime("XDG_RUNTIME_DIR", c.runtime == kNoRuntime ? nullptr : At("runtime").c_str());
    if (none) {
      EXPECT_EQ(ErrorOf([] { TempFolder(); }), vbErrPathNotFound);
    } else {
      const std::string folder = TempFolder();
      EXPECT_EQ(folder.rfind(At(c.expectedStart), 0), 0u) << folder;
      EXPECT_EQ(folder.back(), '/');
      struct stat st;
      ASSERT_EQ(::lstat(folder.substr(0, folder.size() - 1).c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
      EXPECT_EQ(st.st_uid, ::geteuid());
      EXPECT_EQ(st.st_mode & 07777, 0700u);
      EXPECT_EQ(TempFolder(), folder) << "one folder for the whole run";
      const std::string part = NewSideFile(folder + "bitmap.");
      WriteFileBytes(part, {'B', 'M'});
      ReplaceFile(part, folder + "bitmap.bmp");
      EXPECT_EQ(ReadBytes(folder + "bitmap.bmp"), "BM");
    }
    for (const char* base : {"tmpdir", "shared", "runtime"}) fs::remove_all(At(base));
  }
}

// The process folders of ended runs go when the next one is made, with the files they hold; those
// of running processes and of other users stay.
TEST_F(PrivateTempTest, AProcessFolderOfAnEndedRunIsRemovedByTheNextRun) {
  const std::string name = "reelwright-" + std::to_string(::getuid());
  const std::string shared = Shared();
  for (int n = 0; n < 100; ++n) {
    fs::create_symlink("/nowhere", shared + "/" + name + (n == 0 ? "" : "-" + std::to_string(n)));
  }
  const std::string ended = shared + "/" + name + "." + std::to_string(fixtures::EndedProcessId()) + ".aB3xYz";
  const std::string running = shared + "/" + name + "." + std::to_string(::getppid()) + ".Qw12er";
  const std::string others = shared + "/" + name + "." + std::to_string(fixtures::EndedProcessId()) + ".oTh3rs";
  for (const std::string& folder : {ended, running, others}) {
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    WriteBytes(folder + "/bitmap.bmp", "left");
  }
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::lchown(others.c_str(), kOtherUser, kOtherUser), 0);
  }
  EnvOverride tmp("TMPDIR", shared);
  EnvOverride alsoShared("SUITE_SHARED_TEMP", shared);
  EnvOverride runtime("XDG_RUNTIME_DIR", nullptr);
  const std::string folder = TempFolder();
  EXPECT_EQ(folder.rfind(shared + "/" + name + "." + std::to_string(::getpid()) + ".", 0), 0u) << folder;
  EXPECT_FALSE(PathExists(ended)) << "a killed run's leftovers";
  EXPECT_TRUE(FileExists(running + "/bitmap.bmp"));
  if (root) {
    EXPECT_TRUE(FileExists(others + "/bitmap.bmp"));
  }
  fs::remove_all(shared);
}

class SideFileTest : public ScratchTest {};

TEST_F(SideFileTest, ANewSideFileIsEmptyOwnerOnlyAndNamedAfterItsStemAndProcess) {
  const std::string a = NewSideFile(At(".list.bwm.saving-"));
  const std::string b = NewSideFile(At(".list.bwm.saving-"));
  EXPECT_NE(a, b);
  for (const std::string& side : {a, b}) {
    const std::string prefix = At(".list.bwm.saving-") + std::to_string(::getpid()) + "-";
    EXPECT_EQ(side.rfind(prefix, 0), 0u) << side;
    EXPECT_EQ(fs::file_size(side), 0u);
    EXPECT_EQ(ModeOf(side), 0600u);
  }
  const std::string avi = NewSideFile(At(".clip.avi.joining-"), ".avi");
  EXPECT_EQ(avi.substr(avi.size() - 4), ".avi");
  EXPECT_EQ(ErrorOf([&] { NewSideFile(At("missing/.x.")); }), vbErrPathNotFound);
}

TEST_F(SideFileTest, SideFilesOfEndedProcessesAreRemovedOthersKept) {
  const std::string ended = std::to_string(fixtures::EndedProcessId());
  const std::string running = std::to_string(::getppid());
  const std::string own = std::to_string(::getpid());
  WriteBytes(At("elsewhere.txt"), "keep");
  struct Case {
    std::string name;
    bool link;
    bool stays;
  } cases[] = {
      {"p.wzj.part-" + ended + "-1f", false, false},
      {"p.wzj.part-" + ended + "-0123456789abcdef", false, false},
      {"p.wzj.part-" + running + "-2b", false, true},  // a save under way elsewhere
      {"p.wzj.part-" + own + "-3c", false, true},      // one of this process's writers
      {"p.wzj.part-" + ended + "-4d", true, true},     // no regular file: left alone
      {"p.wzj.part-notes", false, true},
      {"p.wzj.part-" + ended + "-xyz", false, true},
      {"p.wzj", false, true},
      {"q.wzj.part-" + ended + "-5e", false, true},  // another target's
  };
  for (const Case& c : cases) {
    if (c.link) {
      fs::create_symlink(At("elsewhere.txt"), At(c.name));
    } else {
      WriteBytes(At(c.name), "old");
    }
  }
  const std::string made = NewSideFile(At("p.wzj.part-"));
  for (const Case& c : cases) EXPECT_EQ(PathExists(At(c.name)), c.stays) << c.name;
  EXPECT_TRUE(FileExists(made));
  EXPECT_EQ(ReadBytes(At("elsewhere.txt")), "keep");
}

// A target's name may be as long as the folder takes (255 bytes); the side files of every kind of
// save beside it still fit, the finished file gets the exact name, and a killed run's side file of
// that target is still found and removed.
TEST_F(SideFileTest, SideFilesFitBesideTargetsWithTheLongestNames) {
  struct Maker {
    const char* what;
    std::function<std::string(const std::string& target)> stem;
    std::string suffix;
  } makers[] = {
      {"join", [](const std::string& t) { return fs::path(t).parent_path().string() + "/." + fs::path(t).filename().string() + ".joining-"; }, ".avi"},
      {"saving", [](const std::string& t) { return t + ".saving-"; }, ""},
      {"part", [](const std::string& t) { return t + ".part-"; }, ""},
      {"hidden part", [](const std::string& t) { return fs::path(t).parent_path().string() + "/." + fs::path(t).filename().string() + ".part-"; }, ""},
      {"piece", [](const std::string& t) { return fs::path(t).parent_path().string() + "/." + fs::path(t).filename().string() + "."; }, ".part.avi"},
  };
  std::string accented;  // 2-byte characters: a cut never splits one
  while (accented.size() < 246) accented += "\xC3\xA9";
  const std::string names[] = {std::string(246, 'j') + ".avi", std::string(251, 'k') + ".avi",
                               accented + ".avi", std::string(255, 'm')};
  const std::string ended = std::to_string(fixtures::EndedProcessId());
  for (const Maker& m : makers) {
    for (const std::string& name : names) {
      SCOPED_TRACE(std::string(m.what) + " " + std::to_string(name.size()));
      const std::string target = At(name);
      const std::string stem = m.stem(target);
      const std::string side = NewSideFile(stem, m.suffix);
      const std::string sideName = fs::path(side).filename().string();
      EXPECT_LE(sideName.size(), 255u);
      EXPECT_EQ(side.substr(side.size() - m.suffix.size()), m.suffix);
      EXPECT_EQ(side.rfind(stem.substr(0, folder_.size() + 100), 0), 0u) << "the target's name starts the side file's";
      EXPECT_NE(sideName.find(std::to_string(::getpid()) + "-"), std::string::npos);
      EXPECT_EQ(std::count(sideName.begin(), sideName.end(), '\xC3'), std::count(sideName.begin(), sideName.end(), '\xA9'))
          << "a character cut in two";
      // A side file a killed run left for this target: found again and removed.
      const std::string pidPart = std::to_string(::getpid()) + "-";
      const size_t at = side.rfind(pidPart);
      ASSERT_NE(at, std::string::npos);
      const std::string stale = side.substr(0, at) + ended + "-1f" + m.suffix;
      WriteBytes(stale, "old");
      WriteFileBytes(side, {'n', 'e', 'w'});
      ReplaceFile(side, target);
      EXPECT_EQ(ReadBytes(target), "new") << "the finished file has the target's exact name";
      const std::string again = NewSideFile(stem, m.suffix);
      EXPECT_FALSE(PathExists(stale));
      Kill(again);
      Kill(target);
    }
  }
}

TEST_F(SideFileTest, LeftoversNeverMakeANewSideFileFail) {
  // Hundreds of side files of a running process (and of the old counted names) in the way.
  const std::string running = std::to_string(::getppid());
  for (int n = 0; n < 300; ++n) {
    WriteBytes(At("p.wzj.part-" + running + "-" + std::to_string(n)), "x");
    WriteBytes(At("p.wzj.part" + std::to_string(n)), "x");
  }
  std::vector<std::string> made;
  for (int n = 0; n < 50; ++n) made.push_back(NewSideFile(At("p.wzj.part-")));
  std::sort(made.begin(), made.end());
  EXPECT_EQ(std::unique(made.begin(), made.end()), made.end());
}

// A side file still at its name when the program ends (a run its end stopped) is removed then;
// one renamed into place is not touched, and a forked child that exits leaves its parent's alone.
TEST_F(SideFileTest, SideFilesStillAtTheirNamesGoWhenTheProgramEnds) {
  const pid_t program = ::fork();
  if (program == 0) {
    const std::string unfinished = NewSideFile(At("unfinished."), ".tmp");
    const std::string finished = NewSideFile(At("finished."), ".tmp");
    if (::rename(finished.c_str(), At("finished.txt").c_str()) != 0) ::_exit(2);
    const pid_t child = ::fork();
    if (child == 0) std::exit(0);
    ::waitpid(child, nullptr, 0);
    ::_exit(PathExists(unfinished) ? 0 : 3);  // the child's end left it; no removal on _exit
  }
  ASSERT_GT(program, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(program, &status, 0), program);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "2: no rename, 3: a forked child's exit removed its parent's file";
  // Killed: the file stays for the next writer's removal of ended processes' files.
  bool leftover = false;
  for (const auto& e : fs::directory_iterator(folder_))
    leftover |= e.path().filename().string().rfind("unfinished.", 0) == 0;
  EXPECT_TRUE(leftover);
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  // Ended: the program's end removes what is still at its side file's name.
  const pid_t ended = ::fork();
  if (ended == 0) {
    NewSideFile(At("unfinished."), ".tmp");
    const std::string finished = NewSideFile(At("finished."), ".tmp");
    ::rename(finished.c_str(), At("finished.txt").c_str());
    std::exit(0);
  }
  ASSERT_EQ(::waitpid(ended, &status, 0), ended);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder_)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"finished.txt"});
}

// Every way into a file this program made refuses a link planted at its name.
TEST_F(SideFileTest, WritersIntoCreatedFilesNeverFollowALink) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> write;
  } cases[] = {
      {"WriteFileBytes", [](const std::string& p) { WriteFileBytes(p, {'x'}); }},
      {"CreatedFile", [](const std::string& p) { CreatedFile f(p); }},
      {"CopyIntoCreatedFile", [this](const std::string& p) {
         WriteBytes(At("source.bin"), "data");
         CopyIntoCreatedFile(At("source.bin"), p);
       }},
      {"CreateNewFile", [](const std::string& p) {
         if (!CreateNewFile(p)) Raise(vbErrFileAlreadyExists);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(At("precious.txt"), "keep me");
    ::chmod(At("precious.txt").c_str(), 0644);
    fs::remove(At("side"));
    fs::create_symlink(At("precious.txt"), At("side"));
    EXPECT_NE(ErrorOf([&] { c.write(At("side")); }), 0);
    EXPECT_EQ(ReadBytes(At("precious.txt")), "keep me");
    EXPECT_EQ(ModeOf(At("precious.txt")), 0644u);
    // A second name of another file (a hard link) is refused as well.
    fs::remove(At("side"));
    fs::create_hard_link(At("precious.txt"), At("side"));
    if (std::string(c.what) != "CreateNewFile") {
      EXPECT_NE(ErrorOf([&] { c.write(At("side")); }), 0);
      EXPECT_EQ(ReadBytes(At("precious.txt")), "keep me");
    }
    fs::remove(At("side"));
  }
}

TEST_F(SideFileTest, LinksOfOtherUsersInSharedFoldersAreNotFollowedForWriting) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to give a link to another user";
  const std::string sticky = At("sticky");
  const std::string open = At("open");
  fs::create_directories(sticky);
  fs::create_directories(open);
  ::chmod(sticky.c_str(), 01777);
  ::chmod(open.c_str(), 0777);
  WriteBytes(At("precious.txt"), "keep me");
  auto link = [&](const std::string& at, uid_t owner) {
    fs::create_symlink(At("precious.txt"), at);
    EXPECT_EQ(::lchown(at.c_str(), owner, owner), 0);
  };
  struct Case {
    std::string at;
    uid_t owner;
    bool followed;
  } cases[] = {
      {sticky + "/mine.bmp", ::geteuid(), true},
      {sticky + "/planted.bmp", kOtherUser, false},
      {open + "/theirs.bmp", kOtherUser, true},  // no sticky folder: the system follows it too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    link(c.at, c.owner);
    if (c.followed) {
      EXPECT_EQ(ResolveLinksForWriting(c.at), At("precious.txt"));
    } else {
      EXPECT_EQ(ErrorOf([&] { ResolveLinksForWriting(c.at); }), vbErrPermissionDenied);
      const std::string part = NewSideFile(sticky + "/.part-");
      WriteFileBytes(part, {'B', 'M'});
      EXPECT_EQ(ErrorOf([&] { ReplaceFile(part, c.at); }), vbErrPermissionDenied);
      EXPECT_FALSE(CanReplace(c.at));
      fs::remove(part);
    }
    EXPECT_EQ(ResolveLinks(c.at), At("precious.txt"));  // reading follows as before
    EXPECT_EQ(ReadBytes(At("precious.txt")), "keep me");
  }
}

// Files that are not files, given where a document is read: refused at once, never read for ever.
TEST_F(SideFileTest, DocumentsThatAreNoRegularFilesAreRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  fs::create_directories(At("folder"));
  std::string longLine(kMaxTextLine + 10, 'a');
  WriteBytes(At("long.wzj"), "first\r\n" + longLine + "\r\nlast\r\n");
  WriteBytes(At("fine.txt"), "a\r\nb\r\n");
  WriteBytes(At("limit.txt"), std::string(kMaxTextLine, 'b') + "\r\n");
  struct Case {
    std::string path;
    int32_t expected;  // the error of reading the whole file as text lines; 0: read
  } cases[] = {
      {At("fifo"), vbErrPathFileAccess},
      {"/dev/zero", vbErrPathFileAccess},
      {"/dev/null", vbErrPathFileAccess},
      {At("folder"), vbErrPathFileAccess},
      {At("long.wzj"), vbErrPathFileAccess},
      {At("fine.txt"), 0},
      {At("limit.txt"), 0},  // a line of exactly the bound is still a line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    HangGuard guard("reading " + c.path);
    EXPECT_EQ(ErrorOf([&] {
                TextFile in(c.path, TextFileMode::Input);
                while (!in.AtEnd()) in.LineInput();
              }),
              c.expected);
    if (c.expected != 0 && c.path != At("long.wzj")) {  // the other readers of a non-file
      EXPECT_NE(ErrorOf([&] { ReadFileBytes(c.path); }), 0);
      EXPECT_NE(ErrorOf([&] { FileCopy(c.path, At("copy")); }), 0);
      EXPECT_NE(ErrorOf([&] { BinaryFile f(c.path, BinaryAccess::Read); }), 0);
    }
  }
  EXPECT_FALSE(PathExists(At("copy")));
  // Writing to them is refused as well (a FIFO without a reader would block, a device swallow).
  for (const std::string& path : {At("fifo"), std::string("/dev/null")}) {
    HangGuard guard("writing " + path);
    EXPECT_EQ(ErrorOf([&] { TextFile out(path, TextFileMode::Output); }), vbErrPathFileAccess) << path;
    EXPECT_NE(ErrorOf([&] { FileCopy(At("fine.txt"), path); }), 0) << path;
  }
}

}  // namespace
