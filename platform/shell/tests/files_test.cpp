// Folders, existence tests and the file statements, with the error numbers they raise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"
#include "scratch.h"
#include "shell/files.h"

namespace {

TEST(Folders, AppPathIsTheRunningProgramsFolder) {
  std::string app = AppPath();
  EXPECT_EQ(std::filesystem::canonical(app), std::filesystem::canonical(SHELL_TEST_DIR));
  EXPECT_NE(app.back(), '/');
}

TEST(Folders, TempFolderIsTheUsersOwnFolderInsideTmpdirOrTmp) {
  const std::string name = "reelwright-" + std::to_string(::getuid());
  const std::string own = "/tmp/" + name + "/";
  const std::string scratch = std::string(std::getenv("SUITE_TEST_SCRATCH") ? std::getenv("SUITE_TEST_SCRATCH")
                                                                             : "/tmp") + "/tempfolder-cases";
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  struct Case {
    bool set;
    std::string tmpdir;
    std::string expectedStart;
  } cases[] = {
      {false, "", own},
      {true, "", own},
      {true, scratch, scratch + "/" + name + "/"},
      {true, scratch + "/", scratch + "/" + name + "/"},
      {true, "/nonexistent/scratch", own},  // no folder can be had there: as without $TMPDIR
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.set ? c.tmpdir : "(unset)");
    EnvOverride tmp("TMPDIR", c.set ? c.tmpdir.c_str() : nullptr);
    std::string folder = TempFolder();
    // Another user's folder or a link at the usual name would have moved ours to "-1" or later.
    EXPECT_EQ(folder.rfind(c.expectedStart.substr(0, c.expectedStart.size() - 1), 0), 0u) << folder;
    EXPECT_EQ(folder.back(), '/');
    struct stat st;
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
  }
}

TEST(Folders, ProgramFolderCanBeNamedForTests) {
  const std::string real = AppPath();
  struct Case {
    const char* value;  // nullptr: unset
    std::string expected;
  } cases[] = {
      {nullptr, real},
      {"", real},
      {"/srv/suite", "/srv/suite"},
      {"/srv/suite//", "/srv/suite"},
  };
  for (const Case& c : cases) {
    EnvOverride folder("SUITE_PROGRAM_FOLDER", c.value);
    EXPECT_EQ(AppPath(), c.expected) << (c.value ? c.value : "(unset)");
    EXPECT_EQ(AppFile("\\Lotkiln.exe"), c.expected + "/Lotkiln");
  }
}

TEST(Folders, SystemDirectoryIsThePlatformsLibraryFolderOrTheOverride) {
  {
    EnvOverride none("SUITE_SYSTEM_FOLDER", nullptr);
    const std::string folder = SystemDirectory();
    EXPECT_TRUE(std::filesystem::exists(folder + "/libplatform_shell.so")) << folder;
  }
  EnvOverride set("SUITE_SYSTEM_FOLDER", "/opt/system/");
  EXPECT_EQ(SystemDirectory(), "/opt/system");
}

class FilesTest : public ScratchTest {};

TEST_F(FilesTest, ChDirAndCurDir) {
  std::string before = CurDir();
  ChDir(folder_);
  EXPECT_EQ(std::filesystem::canonical(CurDir()), std::filesystem::canonical(folder_));
  EXPECT_EQ(ErrorOf([&] { ChDir(At("missing")); }), vbErrPathNotFound);
  ChDir(before);
}

TEST_F(FilesTest, ExistenceTests) {
  WriteBytes(At("file.txt"), "x");
  std::filesystem::create_directory(At("folder"));
  std::filesystem::create_symlink(At("file.txt"), At("link-to-file"));
  std::filesystem::create_symlink(At("folder"), At("link-to-folder"));
  std::filesystem::create_symlink(At("nowhere"), At("dangling"));
  struct Case {
    std::string path;
    bool file, folder, anything;
  } cases[] = {
      {At("file.txt"), true, false, true},
      {At("folder"), false, true, true},
      {At("folder/"), false, true, true},
      {At("link-to-file"), true, false, true},
      {At("link-to-folder"), false, true, true},
      {At("dangling"), false, false, true},
      {At("missing"), false, false, false},
      {At("file.txt/inner"), false, false, false},
      {"", false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExists(c.path), c.file) << c.path;
    EXPECT_EQ(FolderExists(c.path), c.folder) << c.path;
    EXPECT_EQ(PathExists(c.path), c.anything) << c.path;
    EXPECT_EQ(ShortPathName(c.path), c.anything ? c.path : "") << c.path;
  }
}

TEST_F(FilesTest, ErrorNumbersForMissingAndWrongThings) {
  WriteBytes(At("file.txt"), "x");
  std::filesystem::create_directory(At("folder"));
  WriteBytes(At("folder/inside"), "y");
  struct Case {
    const char* what;
    std::function<void()> call;
    int32_t expected;
  } cases[] = {
      {"Kill missing", [&] { Kill(At("missing")); }, vbErrFileNotFound},
      {"Kill folder", [&] { Kill(At("folder")); }, vbErrFileNotFound},
      {"Kill empty", [&] { Kill(""); }, vbErrFileNotFound},
      {"FileLen missing", [&] { FileLen(At("missing")); }, vbErrFileNotFound},
      {"FileLen folder", [&] { FileLen(At("folder")); }, vbErrFileNotFound},
      {"FileCopy missing source", [&] { FileCopy(At("missing"), At("copy")); }, vbErrFileNotFound},
      {"FileCopy into missing folder", [&] { FileCopy(At("file.txt"), At("nofolder/copy")); },
       vbErrPathNotFound},
      {"FileCopy onto itself", [&] { FileCopy(At("file.txt"), At("./file.txt")); }, vbErrPermissionDenied},
      {"FileCopy onto a folder", [&] { FileCopy(At("file.txt"), At("folder")); }, vbErrPathFileAccess},
      {"Name missing", [&] { Name(At("missing"), At("other")); }, vbErrFileNotFound},
      {"Name onto existing", [&] { Name(At("file.txt"), At("folder/inside")); }, vbErrFileAlreadyExists},
      {"MkDir existing", [&] { MkDir(At("folder")); }, vbErrPathFileAccess},
      {"MkDir without parent", [&] { MkDir(At("a/b")); }, vbErrPathNotFound},
      {"RmDir missing", [&] { RmDir(At("missing")); }, vbErrPathNotFound},
      {"RmDir not empty", [&] { RmDir(At("folder")); }, vbErrPathFileAccess},
      {"DeletePath missing", [&] { DeletePath(At("missing")); }, vbErrFileNotFound},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.expected) << c.what;
  // None of the refused calls touched what was there.
  EXPECT_EQ(ReadBytes(At("file.txt")), "x");
  EXPECT_EQ(ReadBytes(At("folder/inside")), "y");
}

TEST_F(FilesTest, FileStatementsDoTheirWork) {
  WriteBytes(At("a.bin"), std::string("abc\0def", 7));
  EXPECT_EQ(FileLen(At("a.bin")), 7);
  // A movie beyond the runtime's Long: a sparse file takes no room on the disk.
  WriteBytes(At("big.avi"), "");
  std::filesystem::resize_file(At("big.avi"), int64_t{3} << 30);
  EXPECT_EQ(FileLen(At("big.avi")), int64_t{3} << 30);

  WriteBytes(At("old-copy"), "a much longer old content");
  FileCopy(At("a.bin"), At("old-copy"));
  EXPECT_EQ(ReadBytes(At("old-copy")), std::string("abc\0def", 7));

  Name(At("old-copy"), At("renamed"));
  EXPECT_FALSE(PathExists(At("old-copy")));
  EXPECT_EQ(ReadBytes(At("renamed")), std::string("abc\0def", 7));

  Kill(At("renamed"));
  EXPECT_FALSE(PathExists(At("renamed")));

  MkDir(At("new"));
  EXPECT_TRUE(FolderExists(At("new")));
  RmDir(At("new"));
  EXPECT_FALSE(PathExists(At("new")));

  MkDir(At("tree"));
  MkDir(At("tree/sub"));
  WriteBytes(At("tree/sub/f"), "1");
  DeletePath(At("tree"));
  EXPECT_FALSE(PathExists(At("tree")));
}

TEST_F(FilesTest, DirLooksUpNormalFiles) {
  WriteBytes(At("b.avi"), "");
  WriteBytes(At("A.AVI"), "");
  WriteBytes(At("notes"), "");
  WriteBytes(At(".hidden.avi"), "");
  std::filesystem::create_directory(At("dir.avi"));
  struct Case {
    std::string pattern;
    const char* expected;
  } cases[] = {
      {At("b.avi"), "b.avi"},
      {At("B.avi"), ""},  // an exact name is looked up as it is written
      {At("missing"), ""},
      {At("dir.avi"), ""},
      {At("*.avi"), "A.AVI"},
      {At("?.avi"), "A.AVI"},
      {At("b*"), "b.avi"},
      {At("*.*"), "A.AVI"},
      {At("no*"), "notes"},
      {At("*.mpg"), ""},
      {At("nofolder/*.avi"), ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Dir(c.pattern), c.expected) << c.pattern;
}

TEST(ProgramNames, BackslashSuffixesBecomePaths) {
  struct Case {
    const char* folder;
    const char* suffix;
    const char* expected;
  } cases[] = {
      {"/opt/suite", "\\Lotkiln.exe", "/opt/suite/Lotkiln"},
      {"/opt/suite", "\\VirtualDub\\VirtualDub.exe", "/opt/suite/VirtualDub/VirtualDub"},
      {"/opt/suite", "\\WMEnc.EXE", "/opt/suite/WMEnc"},
      {"/opt/suite", "\\lotkiln.lst", "/opt/suite/lotkiln.lst"},
      {"/opt/suite", "\\~temp.tmp", "/opt/suite/~temp.tmp"},
      {"/opt/suite", "\\Output", "/opt/suite/Output"},
      {"/opt/suite", "\\.exe", "/opt/suite/.exe"},
      {"/opt/suite", "\\exe.d\\readme", "/opt/suite/exe.d/readme"},
      {"", "\\KilnhandRunning", "/KilnhandRunning"},
      {"/opt/suite", "\\Reelwright.chm", "/opt/suite/Reelwright.help"},
      {"/opt/suite", "\\docs\\ReelwrightWiz.CHM", "/opt/suite/docs/ReelwrightWiz.help"},
      {"/opt/suite", "\\.chm", "/opt/suite/.chm"},
      {"/opt/suite", "\\chm.d\\notes.chm.txt", "/opt/suite/chm.d/notes.chm.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(FolderFile(c.folder, c.suffix), c.expected) << c.suffix;
  EXPECT_EQ(AppFile("\\VirtualDub\\VirtualDub.exe"), AppPath() + "/VirtualDub/VirtualDub");
}

}  // namespace

namespace {

class ReplaceTest : public ScratchTest {};

TEST_F(ReplaceTest, FinishedFileTakesTheTargetsPlaceAndPermissions) {
  namespace fs = std::filesystem;
  MkDir(At("real"));
  struct Case {
    const char* what;
    std::function<void()> plant;   // what is at the target before
    std::string target;            // the name handed to ReplaceFile
    std::string replaced;          // where the new content must end up
    bool targetStaysLink;
  } cases[] = {
      {"a plain file", [&] { WriteBytes(At("clip.bmp"), "old"); }, At("clip.bmp"), At("clip.bmp"), false},
      {"nothing yet", [] {}, At("new.bmp"), At("new.bmp"), false},
      {"an absolute link",
       [&] {
         WriteBytes(At("real/a.bmp"), "old");
         fs::create_symlink(At("real/a.bmp"), At("link-a.bmp"));
       },
       At("link-a.bmp"), At("real/a.bmp"), true},
      {"a chain of relative links",
       [&] {
         WriteBytes(At("real/b.bmp"), "old");
         fs::create_symlink("b.bmp", At("real/link-b.bmp"));
         fs::create_symlink("real/link-b.bmp", At("link-link-b.bmp"));
       },
       At("link-link-b.bmp"), At("real/b.bmp"), true},
  };
  for (const Case& c : cases) {
    c.plant();
    WriteBytes(At("finished.tmp"), std::string("new content of ") + c.what);
    const bool existed = PathExists(c.replaced);
    if (existed) fs::permissions(c.replaced, fs::perms(0640));
    ReplaceFile(At("finished.tmp"), c.target);
    EXPECT_EQ(ReadBytes(c.replaced), std::string("new content of ") + c.what) << c.what;
    EXPECT_FALSE(PathExists(At("finished.tmp"))) << c.what;
    EXPECT_EQ(fs::is_symlink(c.target), c.targetStaysLink) << c.what;
    if (existed) {
      EXPECT_EQ(fs::perms(0640), fs::status(c.replaced).permissions()) << c.what;
    }
  }
}

TEST_F(ReplaceTest, ANewTargetGetsTheUsualPermissionsOfANewFile) {
  namespace fs = std::filesystem;
  const mode_t old = ::umask(027);
  WriteBytes(At("finished.tmp"), "new");
  fs::permissions(At("finished.tmp"), fs::perms(0600));  // written owner-only, as temporary files are
  ReplaceFile(At("finished.tmp"), At("brand-new.avi"));
  ::umask(old);
  EXPECT_EQ(fs::status(At("brand-new.avi")).permissions(), fs::perms(0640));
}

TEST_F(ReplaceTest, TargetsThatAreNoFilesAreRefusedAndLeftAlone) {
  MkDir(At("folder"));
  ASSERT_EQ(::mkfifo(At("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(At("fifo"), At("link-to-fifo"));
  for (const char* name : {"folder", "fifo", "link-to-fifo"}) {
    WriteBytes(At("finished.tmp"), "new");
    EXPECT_EQ(ErrorOf([&] { ReplaceFile(At("finished.tmp"), At(name)); }), vbErrPathFileAccess) << name;
    EXPECT_EQ(ReadBytes(At("finished.tmp")), "new") << name;
    EXPECT_FALSE(CanReplace(At(name))) << name;
  }
  EXPECT_TRUE(FolderExists(At("folder")));
  EXPECT_EQ(std::filesystem::status(At("fifo")).type(), std::filesystem::file_type::fifo);
  EXPECT_EQ(ErrorOf([&] { ReplaceFile(At("missing.tmp"), At("x")); }), vbErrFileNotFound);
}

TEST_F(ReplaceTest, CanReplaceWantsAWritableFolderAndAWritableFile) {
  namespace fs = std::filesystem;
  WriteBytes(At("writable.avi"), "x");
  WriteBytes(At("readonly.avi"), "x");
  fs::permissions(At("readonly.avi"), fs::perms(0444));
  MkDir(At("locked"));
  WriteBytes(At("locked/inside.avi"), "x");
  fs::permissions(At("locked"), fs::perms(0555));
  fs::create_symlink(At("writable.avi"), At("link.avi"));
  fs::create_symlink(At("locked/inside.avi"), At("link-into-locked.avi"));
  struct Case {
    std::string target;
    bool expected;
  } cases[] = {
      {At("writable.avi"), true},  {At("absent.avi"), true},        {At("link.avi"), true},
      {At("readonly.avi"), false}, {At("locked/inside.avi"), false}, {At("locked/absent.avi"), false},
      {At("link-into-locked.avi"), false}, {At("missing/absent.avi"), false}, {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CanReplace(c.target), c.expected) << c.target;
  fs::permissions(At("locked"), fs::perms(0755));
}

}  // namespace
