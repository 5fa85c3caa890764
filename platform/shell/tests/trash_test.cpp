// Moving files and folders into the desktop's trash (a private XDG_DATA_HOME per test).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "core/error.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/trash.h"

namespace {

class TrashTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    dataHome_ = std::make_unique<EnvOverride>("XDG_DATA_HOME", At("data"));
    MkDir(At("docs"));
  }
  void TearDown() override { dataHome_.reset(); }
  std::string Trash() const { return At("data/Trash"); }

  std::unique_ptr<EnvOverride> dataHome_;
};

TEST_F(TrashTest, FileLeavesItsFolderWithARecordOfWhereItWas) {
  WriteBytes(At("docs/my clip%1.avi"), "movie");
  std::string trashed = MoveToTrash(At("docs/my clip%1.avi"));
  EXPECT_EQ(TrashFolder(), Trash());
  EXPECT_FALSE(PathExists(At("docs/my clip%1.avi")));
  EXPECT_EQ(trashed, Trash() + "/files/my clip%1.avi");
  EXPECT_EQ(ReadBytes(trashed), "movie");
  // A trash made here is the user's alone.
  for (const char* folder : {"", "/files", "/info"}) {
    auto perms = std::filesystem::status(Trash() + folder).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none)
        << folder;
  }

  std::string info = ReadBytes(Trash() + "/info/my clip%1.avi.trashinfo");
  std::string escapedFolder = std::filesystem::absolute(At("docs")).lexically_normal().string();
  std::regex re("\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(info, m, re)) << info;
  EXPECT_EQ(m[1].str(), escapedFolder + "/my%20clip%251.avi");
}

TEST_F(TrashTest, NamesAlreadyInTheTrashGetANumber) {
  struct Case {
    const char* name;
    const char* trashedAs;
  } cases[] = {
      {"clip.avi", "clip.avi"}, {"clip.avi", "clip.2.avi"}, {"clip.avi", "clip.3.avi"},
      {"README", "README"},     {"README", "README.2"},
  };
  for (const Case& c : cases) {
    WriteBytes(At("docs/") + c.name, c.trashedAs);
    EXPECT_EQ(MoveToTrash(At("docs/") + c.name), Trash() + "/files/" + c.trashedAs);
    EXPECT_TRUE(FileExists(Trash() + "/info/" + c.trashedAs + ".trashinfo")) << c.trashedAs;
    EXPECT_EQ(ReadBytes(Trash() + "/files/" + c.trashedAs), c.trashedAs);
  }
}

TEST_F(TrashTest, FolderGoesWithItsContents) {
  MkDir(At("docs/Old"));
  WriteBytes(At("docs/Old/a.txt"), "a");
  // A trailing "/" names the same folder.
  std::string trashed = MoveToTrash(At("docs/Old/"));
  EXPECT_FALSE(PathExists(At("docs/Old")));
  EXPECT_EQ(trashed, Trash() + "/files/Old");
  EXPECT_EQ(ReadBytes(trashed + "/a.txt"), "a");
  EXPECT_NE(ReadBytes(Trash() + "/info/Old.trashinfo").find("/docs/Old\n"), std::string::npos);
}

TEST_F(TrashTest, MissingPathIsFileNotFoundAndTouchesNothing) {
  EXPECT_EQ(ErrorOf([&] { MoveToTrash(At("docs/missing.avi")); }), vbErrFileNotFound);
  EXPECT_FALSE(PathExists(Trash() + "/info/missing.avi.trashinfo"));
}

TEST_F(TrashTest, PathsEndingInDotOrDotDotNameNoItem) {
  MkDir(At("docs/sub"));
  WriteBytes(At("docs/a.avi"), "a");
  WriteBytes(At("docs/sub/b.avi"), "b");
  for (const char* name : {"docs/.", "docs/./", "docs/sub/..", "docs/sub/../", "docs/sub/."}) {
    EXPECT_EQ(ErrorOf([&] { MoveToTrash(At(name)); }), vbErrFileNotFound) << name;
    EXPECT_EQ(ErrorOf([&] { DeletePath(At(name)); }), vbErrFileNotFound) << name;
  }
  EXPECT_EQ(ReadBytes(At("docs/a.avi")), "a");
  EXPECT_EQ(ReadBytes(At("docs/sub/b.avi")), "b");
  EXPECT_FALSE(PathExists(Trash() + "/files"));
}

}  // namespace
