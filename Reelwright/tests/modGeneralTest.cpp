// The file, window and system procedures of modGeneral.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/msgbox.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/hwnd.h"
#include "forms/responder.h"
#include "scripted_responder.h"

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the scope and puts the old value back after it.
class EnvOverride {
 public:
  EnvOverride(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvOverride() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A clock under the test's control for the scope.
class ClockScope {
 public:
  explicit ClockScope(ClockFunction clock) { SetClockForTesting(std::move(clock)); }
  ~ClockScope() { SetClockForTesting({}); }
};

class ModGeneralTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = (fs::path(scratch ? scratch : fs::temp_directory_path().string()) / "modGeneral" / info->name()).string();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  std::string At(const std::string& name) const { return folder_ + "/" + name; }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
  }

  std::string folder_;
};

TEST(StripNulls, KeepsEveryOtherCharacterInOrder) {
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {std::string("a\0b\0\0", 5), "ab"},
      {"", ""},
      {std::string("\0\0\0", 3), ""},
      {std::string("\0/tmp/\0", 7), "/tmp/"},
      {"caf\xC3\xA9 clip", "caf\xC3\xA9 clip"},
  };
  for (const Case& c : cases) EXPECT_EQ(StripNulls(c.text), c.expected) << c.text.size();
}

TEST(GetFileNameFromPath, TakesThePartAfterTheLastSlash) {
  struct Case {
    const char* path;
    const char* expected;
  } cases[] = {
      {"/Movies/a.avi", "a.avi"},
      {"a.avi", "a.avi"},
      {"/Movies/", ""},
      {"", ""},
      {"/", ""},
      {"/home/me/My Movies/clip 1.final.mpg", "clip 1.final.mpg"},
      // a backslash is an ordinary character of a name here
      {"C:\\Movies\\a.avi", "C:\\Movies\\a.avi"},
      {"/in\\out/b.avi", "b.avi"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetFileNameFromPath(c.path), c.expected) << c.path;
}

TEST_F(ModGeneralTest, TempFolderEndsWithASlashSoThatNamesAppendDirectly) {
  fs::create_directories(At("tmp"));
  EnvOverride tmp("TMPDIR", At("tmp"));
  std::string folder = GetTempFolder();
  // The user's own folder inside $TMPDIR, private to the user.
  const std::string own = At("tmp/reelwright-" + std::to_string(::getuid()) + "/");
  EXPECT_EQ(folder, own);
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  Write(folder + "bitmap.bmp", "x");
  EXPECT_TRUE(fs::exists(own + "bitmap.bmp"));
}

TEST_F(ModGeneralTest, WithoutTmpdirTheTempFolderIsTheUsersOwn) {
  EnvOverride tmp("TMPDIR", "");  // empty counts as unset
  std::string folder = GetTempFolder();
  const std::string own = "/tmp/reelwright-" + std::to_string(::getuid());
  EXPECT_EQ(folder.rfind(own, 0), 0u) << folder;
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(fs::symlink_status(folder).type(), fs::file_type::directory);
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << "private to the user";
}

TEST_F(ModGeneralTest, ALongTempFolderComesBackWhole) {
  // Far beyond the classic 255-character path buffer: the folder is still the folder, never "".
  std::string deep = At("tmp");
  while (deep.size() < 300) deep += "/a_rather_long_folder_name";
  fs::create_directories(deep);
  EnvOverride tmp("TMPDIR", deep);
  EXPECT_EQ(GetTempFolder(), deep + "/reelwright-" + std::to_string(::getuid()) + "/");
}

TEST_F(ModGeneralTest, FileExistsIsTrueForFilesOnly) {
  Write(At("clip.avi"), "movie");
  fs::create_directories(At("folder"));
  fs::create_symlink(At("clip.avi"), At("link.avi"));
  fs::create_symlink(At("gone.avi"), At("dangling.avi"));
  Write(At("held.avi"), "movie");
  std::ofstream held(At("held.avi"), std::ios::app);  // open in this process while asked
  struct Case {
    std::string path;
    bool expected;
  } cases[] = {
      {At("clip.avi"), true}, {At("held.avi"), true},     {At("link.avi"), true},
      {At("folder"), false},  {At("folder/"), false},     {"", false},
      {At("missing.avi"), false}, {At("dangling.avi"), false},
  };
  for (const Case& c : cases) EXPECT_EQ(modGeneral::FileExists(c.path), c.expected) << c.path;
}

TEST_F(ModGeneralTest, DeleteForGoodTakesFoldersAndDropsTheTrailingSlash) {
  fs::create_directories(At("Old/inner"));
  Write(At("Old/inner/a.avi"), "a");
  // A folder whose name differs only in letter case is another folder and stays.
  fs::create_directories(At("OLD"));
  Write(At("OLD/keep.avi"), "k");
  std::string path = At("Old/");
  EXPECT_EQ(DeleteToRecycleBin(path, false, false, false), 0);
  EXPECT_EQ(path, At("Old"));
  EXPECT_FALSE(fs::exists(At("Old")));
  EXPECT_TRUE(fs::exists(At("OLD/keep.avi")));

  // A link to a folder goes, not what the folder holds.
  fs::create_directories(At("Kept"));
  Write(At("Kept/clip.avi"), "c");
  fs::create_directory_symlink(At("Kept"), At("Shortcut"));
  path = At("Shortcut/");
  EXPECT_EQ(DeleteToRecycleBin(path, false, false, false), 0);
  EXPECT_EQ(path, At("Shortcut"));
  EXPECT_FALSE(fs::is_symlink(At("Shortcut")));
  EXPECT_TRUE(fs::exists(At("Kept/clip.avi")));

  Write(At("bitmap.bmp"), "b");
  path = At("bitmap.bmp");
  EXPECT_EQ(DeleteToRecycleBin(path, false, false, false), 0);
  EXPECT_EQ(path, At("bitmap.bmp"));
  EXPECT_FALSE(fs::exists(At("bitmap.bmp")));
}

TEST_F(ModGeneralTest, DeleteOfNothingAnswersZeroAndTouchesNothing) {
  Write(At("other.avi"), "o");
  fs::create_directories(At("Kept"));
  Write(At("Kept/clip.avi"), "c");
  struct Case {
    std::string path;
    std::string after;
  } cases[] = {
      {At("missing.avi"), At("missing.avi")},
      {At("missing/"), At("missing")},
      {"", ""},
      {"/", ""},  // never the root folder
      // only one trailing slash goes; what still ends with one names nothing
      {At("Kept//"), At("Kept/")},
      {At("other.avi//"), At("other.avi/")},
  };
  for (Case& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(DeleteToRecycleBin(path, true, false, false), 0) << c.path;
    EXPECT_EQ(path, c.after);
  }
  EXPECT_TRUE(fs::exists(At("other.avi")));
  EXPECT_TRUE(fs::exists(At("Kept/clip.avi")));
}

TEST_F(ModGeneralTest, DeleteOfAPathEndingInDotOrDotDotTouchesNothing) {
  EnvOverride dataHome("XDG_DATA_HOME", At("data"));
  fs::create_directories(At("dir/sub"));
  Write(At("dir/a.avi"), "a");
  Write(At("dir/sub/b.avi"), "b");
  for (bool undo : {true, false}) {
    for (const char* name : {"dir/.", "dir/./", "dir/sub/..", "dir/sub/../", "dir/sub/.", "dir/.."}) {
      std::string path = At(name);
      EXPECT_EQ(DeleteToRecycleBin(path, undo, false, false), 0) << name << (undo ? " to the trash" : " for good");
    }
  }
  EXPECT_TRUE(fs::exists(At("dir/a.avi")));
  EXPECT_TRUE(fs::exists(At("dir/sub/b.avi")));
  EXPECT_FALSE(fs::exists(At("data/Trash/files"))) << "nothing went to the trash";
}

TEST_F(ModGeneralTest, DeleteWithUndoMovesIntoTheTrash) {
  EnvOverride dataHome("XDG_DATA_HOME", At("data"));
  Write(At("clip.avi"), "movie");
  fs::create_directories(At("Project/sub"));
  Write(At("Project/sub/x.txt"), "x");

  std::string file = At("clip.avi");
  EXPECT_EQ(DeleteToRecycleBin(file, true, false, false), 0);
  EXPECT_FALSE(fs::exists(At("clip.avi")));
  std::ifstream trashed(At("data/Trash/files/clip.avi"));
  std::string content((std::istreambuf_iterator<char>(trashed)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "movie");
  EXPECT_TRUE(fs::exists(At("data/Trash/info/clip.avi.trashinfo")));

  std::string folder = At("Project/");
  EXPECT_EQ(DeleteToRecycleBin(folder, true, false, false), 0);
  EXPECT_EQ(folder, At("Project"));
  EXPECT_FALSE(fs::exists(At("Project")));
  EXPECT_TRUE(fs::exists(At("data/Trash/files/Project/sub/x.txt")));
}

TEST_F(ModGeneralTest, DeleteThatCannotBeDoneAnswersTheErrorAndKeepsTheFile) {
  // The trash cannot be made below a file.
  Write(At("blocker"), "");
  EnvOverride dataHome("XDG_DATA_HOME", At("blocker/data"));
  Write(At("clip.avi"), "movie");
  std::string path = At("clip.avi");
  EXPECT_NE(DeleteToRecycleBin(path, true, false, false), 0);
  EXPECT_TRUE(fs::exists(At("clip.avi")));
}

TEST_F(ModGeneralTest, DeleteWithConfirmationAsksFirst) {
  EnvOverride dataHome("XDG_DATA_HOME", At("data"));
  Write(At("a.avi"), "a");
  ScriptScope script;
  script->AnswerMsgBox(vbNo).AnswerMsgBox(vbYes).AnswerMsgBox(vbYes);
  std::string path = At("a.avi");
  EXPECT_EQ(DeleteToRecycleBin(path, false, true, false), 1223);
  EXPECT_TRUE(fs::exists(At("a.avi")));
  EXPECT_EQ(DeleteToRecycleBin(path, false, true, false), 0);
  EXPECT_FALSE(fs::exists(At("a.avi")));
  Write(At("b.avi"), "b");
  path = At("b.avi");
  EXPECT_EQ(DeleteToRecycleBin(path, true, true, true), 0);
  EXPECT_TRUE(fs::exists(At("data/Trash/files/b.avi")));
  auto boxes = script->MsgBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_NE(boxes[0].prompt.find("\"a.avi\""), std::string::npos) << boxes[0].prompt;
  EXPECT_EQ(boxes[0].buttons, vbYesNo | vbQuestion);
  EXPECT_NE(boxes[2].prompt.find("trash"), std::string::npos) << boxes[2].prompt;
}

TEST(ShowSaveDialog, AsksTheSaveDialogAndAnswersThePathOrNothing) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/home/me/Movies/story.xtl"));
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/home/me/Movies/story"));
  EXPECT_EQ(ShowSaveDialog("/home/me/Movies", "xtl", "XTL Files (*.xtl)|*.xtl"), "");
  EXPECT_EQ(ShowSaveDialog("/home/me", "avi", "AVI|*.avi|All|*.*"), "/home/me/Movies/story.xtl");
  // A name typed without an extension gets the default one.
  EXPECT_EQ(ShowSaveDialog("/home/me", "xtl", "XTL Files (*.xtl)|*.xtl"), "/home/me/Movies/story.xtl");
  auto asked = script->Dialogs();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].kind, DialogKind::Save);
  EXPECT_EQ(asked[0].initDir, "/home/me/Movies");
  EXPECT_EQ(asked[0].defaultExt, "xtl");
  EXPECT_EQ(asked[0].filter, "XTL Files (*.xtl)|*.xtl");
  // No overwrite question and no error on cancel are asked for.
  EXPECT_EQ(asked[0].flags, 0);
  EXPECT_EQ(asked[1].filter, "AVI|*.avi|All|*.*");
}

// A local time of day today, as the clock reports it.
std::chrono::system_clock::time_point TodayAt(int hour, int minute, int second, int millis) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm)) + std::chrono::milliseconds(millis);
}

// The clock moves on by a fixed step at every reading; the pause's end is read off the clock.
struct SteppingClock {
  std::chrono::system_clock::time_point start;
  std::chrono::milliseconds step;
  int reads = 0;
  std::chrono::system_clock::time_point Now() { return start + step * reads++; }
  double ElapsedSeconds() const { return std::chrono::duration<double>(step * (reads - 1)).count(); }
};

TEST(Pause, EndsAfterTheSecondsAlsoAcrossMidnight) {
  struct Case {
    int hour, minute, second, millis;
    double seconds;
  } cases[] = {
      {10, 0, 0, 0, 1.0},
      {23, 59, 59, 500, 2.0},  // midnight falls inside the wait
      {23, 59, 58, 0, 5.5},
      {0, 0, 0, 0, 0.25},
  };
  for (const Case& c : cases) {
    SteppingClock clock{TodayAt(c.hour, c.minute, c.second, c.millis), std::chrono::milliseconds(50)};
    {
      ClockScope scope([&clock] { return clock.Now(); });
      Pause(c.seconds);
    }
    EXPECT_GE(clock.ElapsedSeconds(), c.seconds - 1e-9) << c.hour << ":" << c.minute;
    EXPECT_LE(clock.ElapsedSeconds(), c.seconds + 0.051) << c.hour << ":" << c.minute;
  }
}

TEST(Pause, ZeroOrLessReturnsAtOnce) {
  for (double seconds : {0.0, -1.0}) {
    SteppingClock clock{TodayAt(12, 0, 0, 0), std::chrono::milliseconds(50)};
    ClockScope scope([&clock] { return clock.Now(); });
    Pause(seconds);
    EXPECT_LE(clock.reads, 1) << seconds;
  }
}

TEST(Pause, WindowEventsRunDuringTheWaitUnderTheBusyPointer) {
  std::vector<int16_t> pointerAtMessage;
  HWND window = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
    if (msg == WM_USER + 1) pointerAtMessage.push_back(Screen().MousePointer());
    return 0;
  });
  ASSERT_NE(window, 0u);
  Screen().MousePointer(vbHourglass);
  ASSERT_TRUE(PostMessage(window, WM_USER + 1, 0, 0));
  SteppingClock clock{TodayAt(9, 30, 0, 0), std::chrono::milliseconds(100)};
  {
    ClockScope scope([&clock] { return clock.Now(); });
    Pause(1.0);
  }
  EXPECT_EQ(pointerAtMessage, std::vector<int16_t>{vbArrowHourglass});
  EXPECT_EQ(Screen().MousePointer(), vbDefault);
  DestroyWindow(window);
}

TEST(WindowsOfProcesses, OwnWindowsAreFoundThroughTheirHandles) {
  HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, "modGeneral probe");
  ASSERT_NE(window, 0u);
  int32_t self = static_cast<int32_t>(getpid());
  EXPECT_EQ(GetWindowProcessId(static_cast<int32_t>(window)), self);
  int32_t found = FindWindowOfProcess(self);
  ASSERT_NE(found, 0);
  EXPECT_EQ(GetWindowProcessId(found), self);
  EXPECT_EQ(GetParent(static_cast<HWND>(found)), 0u);

  EXPECT_EQ(GetWindowProcessId(0), 0);
  EXPECT_EQ(GetWindowProcessId(0x7FFFFFF0), 0);
  DestroyWindow(window);
  EXPECT_EQ(GetWindowProcessId(static_cast<int32_t>(window)), 0);
  // A process without windows (here: the one that started the test) has none to find.
  EXPECT_EQ(FindWindowOfProcess(static_cast<int32_t>(getppid())), 0);
  EXPECT_EQ(FindWindowOfProcess(0), 0);
}

TEST_F(ModGeneralTest, SupportPageAndMailGoToTheDesktopOpener) {
  // An opener that writes what it was given into a report file.
  std::string opener = At("opener.sh");
  Write(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"$OPENER_REPORT.part\" && mv \"$OPENER_REPORT.part\" \"$OPENER_REPORT\"\n");
  chmod(opener.c_str(), 0755);
  EnvOverride useOpener("SUITE_SHELL_OPENER", opener);
  auto received = [&](const std::string& report) {
    for (int i = 0; i < 1000 && !fs::exists(report); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream f(report);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  };
  {
    EnvOverride report("OPENER_REPORT", At("page"));
    OpenSupportPage();
    EXPECT_EQ(received(At("page")), "https://www.example.com/reelwright/support");
  }
  {
    EnvOverride report("OPENER_REPORT", At("mail"));
    SendMailToMaker();
    EXPECT_EQ(received(At("mail")), "mailto:support@example.com");
  }
}

}  // namespace
