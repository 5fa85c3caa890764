// Temporary file names, exclusive creation and the system folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>

#include "core/error.h"
#include "core/system_messages.h"
#include "scratch.h"
#include "shell/files.h"
#include "shell/system.h"

namespace {

class TempNameTest : public ScratchTest {};

TEST_F(TempNameTest, NamesAreMadeFromThreePrefixCharactersAndAHexNumber) {
  struct Case {
    const char* prefix;
    std::string pattern;  // of the name without its folder
  } cases[] = {
      {"gif", "gif[0-9A-F]{1,4}\\.TMP"},
      {"longer prefix", "lon[0-9A-F]{1,4}\\.TMP"},
      {" 3", " 3[0-9A-F]{1,4}\\.TMP"},
      {"", "[0-9A-F]{1,4}\\.TMP"},
  };
  for (const std::string& folder : {folder_, folder_ + "/"}) {
    for (const Case& c : cases) {
      char name[260] = {};
      uint32_t number = GetTempFileNameA(folder.c_str(), c.prefix, 0, name);
      ASSERT_NE(number, 0u) << c.prefix;
      std::string path = name;
      ASSERT_EQ(path.rfind(folder_ + "/", 0), 0u) << path;
      std::string last = path.substr(folder_.size() + 1);
      EXPECT_TRUE(std::regex_match(last, std::regex(c.pattern))) << last;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", number);
      EXPECT_NE(last.find(hex), std::string::npos) << last << " " << hex;
      struct stat st;
      ASSERT_EQ(::lstat(name, &st), 0) << "created";
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_EQ(st.st_size, 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << "the owner's alone";
    }
  }
}

TEST_F(TempNameTest, EveryCallMakesANewFile) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    char name[260] = {};
    ASSERT_NE(GetTempFileNameA(folder_.c_str(), "tst", 0, name), 0u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
}

TEST_F(TempNameTest, AGivenNumberOnlyMakesTheName) {
  char name[260] = {};
  EXPECT_EQ(GetTempFileNameA(folder_.c_str(), "abcd", 0x1A2B, name), 0x1A2Bu);
  EXPECT_EQ(std::string(name), At("abc1A2B.TMP"));
  EXPECT_FALSE(PathExists(name));
  EXPECT_EQ(GetTempFileNameA(folder_.c_str(), "x", 0x51A2B, name), 0x1A2Bu) << "the low 16 bits";
}

TEST_F(TempNameTest, FailuresAnswerZeroWithTheLastError) {
  std::string deep = folder_;
  while (deep.size() < 270) deep += "/abcdefghij";
  struct Case {
    std::string folder;
    uint32_t unique;
    DWORD lastError;
  } cases[] = {
      {At("missing"), 0, 3},
      {deep, 0, 111},
      {deep, 7, 111},
  };
  for (const Case& c : cases) {
    char name[260] = {};
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameA(c.folder.c_str(), "abc", c.unique, name), 0u) << c.folder;
    EXPECT_EQ(GetLastError(), c.lastError) << c.folder;
    EXPECT_EQ(name[0], '\0') << "nothing written";
  }
}

TEST_F(TempNameTest, CreateNewFileNeverFollowsOrReplaces) {
  WriteBytes(At("exists.gif"), "keep");
  std::filesystem::create_symlink(At("target.gif"), At("dangling.gif"));
  std::filesystem::create_symlink(At("exists.gif"), At("link.gif"));
  EXPECT_TRUE(CreateNewFile(At("new.gif")));
  EXPECT_EQ(std::filesystem::status(At("new.gif")).permissions(), std::filesystem::perms(0600));
  for (const char* name : {"new.gif", "exists.gif", "dangling.gif", "link.gif"}) {
    EXPECT_FALSE(CreateNewFile(At(name))) << name;
  }
  EXPECT_FALSE(PathExists(At("target.gif"))) << "the link was not followed";
  EXPECT_EQ(ReadBytes(At("exists.gif")), "keep");
  EXPECT_EQ(ErrorOf([&] { CreateNewFile(At("missing/new.gif")); }), vbErrPathNotFound);
}

TEST(SystemFolder, IsThePlatformsLibraryFolderUnlessNamed) {
  char buffer[256];
  std::memset(buffer, ' ', sizeof buffer);
  uint32_t n = GetSystemDirectoryA(buffer, sizeof buffer);
  ASSERT_GT(n, 0u);
  std::string folder(buffer, n);
  EXPECT_EQ(buffer[n], '\0');
  EXPECT_TRUE(std::filesystem::exists(folder + "/libplatform_shell.so")) << folder;
  EXPECT_NE(folder.back(), '/');

  EnvOverride named("SUITE_SYSTEM_FOLDER", "/srv/system/");
  EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 11u);
  EXPECT_STREQ(buffer, "/srv/system");
  char small[5] = "abc";
  EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), 12u) << "the size it needs";
  EXPECT_STREQ(small, "abc") << "nothing written";
}

}  // namespace
