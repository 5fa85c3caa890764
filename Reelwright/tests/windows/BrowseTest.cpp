// The multi-select file browser: its design and placing, the file types, the folder and drive
// lists (a drive that is gone), selection with Ctrl and Shift through real clicks, what each way
// of closing leaves in bNoCancel, and the strip that moves the borderless window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "PrivateRegistry.h"
#include "WindowsTestSupport.h"
#include "forms/app.h"
#include "mainwindow/modMain.h"
#include "scripted_responder.h"
#include "window_driver.h"
#include "windows/frmBrowse.h"

namespace fs = std::filesystem;

namespace {

class Browse : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    dir_ = windows_test::Scratch("browse") / "clips";
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    for (const char* name : {"a.AVI", "b.mov", "c.MPG", "d.mpeg", "e.wmv", "f.BMP", "g.jpg", "h.gif", "i.wza",
                             "j.wzm", "k.jpeg", ".hidden.avi", "notes.txt"}) {
      std::ofstream(dir_ / name) << "x";
    }
    std::ofstream(dir_ / "sub" / "inner.avi") << "x";
  }
  void TearDown() override {
    f_.Unload();
    SetMainWindow(nullptr);
    PrivateRegistry::TearDown();
  }
  // Loads the window and presets the folder as the main program's opener does.
  void Open() {
    f_.Load();
    f_.Drive1->Drive(dir_.string());
    f_.Dir1->Path(dir_.string());
    f_.File1->Path(dir_.string());
    f_.lbPath->Caption(dir_.string());
  }
  std::vector<std::string> Listed() {
    std::vector<std::string> names;
    for (int16_t i = 0; i < f_.File1->ListCount(); ++i) names.push_back(f_.File1->List(i));
    return names;
  }
  std::vector<std::string> Selected() {
    std::vector<std::string> names;
    for (int16_t i = 0; i < f_.File1->ListCount(); ++i) {
      if (f_.File1->Selected(i)) names.push_back(f_.File1->List(i));
    }
    return names;
  }
  fs::path dir_;
  frmBrowse f_;
};

const std::vector<std::string> kMultimedia = {"a.AVI", "b.mov", "c.MPG", "d.mpeg", "e.wmv", "f.BMP",
                                              "g.jpg", "h.gif", "i.wza", "j.wzm"};

}  // namespace

TEST_F(Browse, DesignSizeAndPlace) {
  Form main("frmShow");
  main.Move(1500, 1200, 9600, 8190);
  SetMainWindow([&main]() -> Form& { return main; });
  Open();
  EXPECT_EQ(f_.Caption(), "Open");
  EXPECT_EQ(f_.BorderStyle(), vbBSNone);
  EXPECT_NEAR(f_.Width(), f_.Panel1->Width() - 15, 15);
  EXPECT_EQ(f_.Height(), f_.Panel1->Height());
  EXPECT_EQ(f_.Left(), 1500) << "over the main window's top-left corner";
  EXPECT_EQ(f_.Top(), 1200);
  EXPECT_EQ(f_.Label4->Caption(),
            "Hold down the Ctrl key and left click to select multiple files. Hold down the shift and click for a range.");
  EXPECT_EQ(f_.Panel2->GetPicture().PixelWidth(), 640) << "the strip's picture";
  EXPECT_EQ(f_.Combo1->ListCount(), 2);
  EXPECT_EQ(f_.Combo1->List(0), "Multimedia (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.wmv;*.bmp;*.jpg;*.gif)");
  EXPECT_EQ(f_.Combo1->List(1), "All Files (*.*)");
  EXPECT_EQ(f_.File1->MultiSelect(), 2);
  main.Unload();
}

TEST_F(Browse, FileTypesListTheMatchingFiles) {
  Open();
  EXPECT_EQ(f_.Combo1->ListIndex(), 0);
  EXPECT_EQ(f_.Text1->Text(), "*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.wmv;*.bmp;*.jpg;*.gif");
  EXPECT_EQ(Listed(), kMultimedia) << ".wmv in; .jpeg, text and hidden files out";
  EXPECT_EQ(f_.lbPath->Caption(), dir_.string());
  f_.Combo1->ListIndex(1);
  EXPECT_EQ(f_.Text1->Text(), "*.*");
  std::vector<std::string> all = kMultimedia;
  all.insert(all.end(), {"k.jpeg", "notes.txt"});
  std::sort(all.begin(), all.end(), [](const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  });
  EXPECT_EQ(Listed(), all);
  f_.Combo1->ListIndex(0);
  EXPECT_EQ(Listed(), kMultimedia);
  // Typing a pattern and ticking Read Only change nothing.
  f_.Text1->Text("*.txt");
  driver::Click(*f_.Check1);
  EXPECT_EQ(Listed(), kMultimedia);
}

TEST_F(Browse, TheFolderListMovesTheFileListAndThePathLabel) {
  Open();
  f_.Dir1->Path((dir_ / "sub").string());
  EXPECT_EQ(f_.File1->Path(), (dir_ / "sub").string());
  EXPECT_EQ(f_.lbPath->Caption(), (dir_ / "sub").string());
  EXPECT_EQ(Listed(), std::vector<std::string>{"inner.avi"});
}

TEST_F(Browse, ADriveThatIsGoneReportsAndReturnsToTheFoldersDrive) {
  fs::path gone = windows_test::Scratch("browse") / "gone";
  fs::remove_all(gone);
  fs::path table = windows_test::Scratch("browse") / "mounts";
  std::ofstream(table) << "/dev/sda1 / ext4 rw 0 0\n/dev/sdz1 " << gone.string() << " vfat rw 0 0\n";
  setenv("SUITE_MOUNT_TABLE", table.c_str(), 1);
  Open();
  unsetenv("SUITE_MOUNT_TABLE");
  ASSERT_EQ(f_.Drive1->ListCount(), 2);
  EXPECT_EQ(f_.Drive1->Drive(), "/");
  f_.Drive1->ListIndex(1);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].buttons, vbOKOnly) << "OK only, no icon";
  EXPECT_FALSE(boxes_[0].prompt.empty()) << "the failure's own description";
  EXPECT_EQ(f_.Drive1->Drive(), "/") << "back on the drive of the folder shown";
  EXPECT_EQ(f_.Dir1->Path(), dir_.string()) << "the folder stays";
  EXPECT_EQ(f_.File1->Path(), dir_.string());
}

TEST_F(Browse, CtrlAndShiftSelectThroughRealClicksAndEachButtonSetsTheFlag) {
  struct Case {
    const char* name;
    const char* button;  // a button's name, or "dblclick"
    bool expected;
  };
  const Case cases[] = {{"OK", "Command1", true},
                        {"double click", "dblclick", true},
                        {"Cancel", "Command2", false},
                        {"X", "Command4", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open();
    f_.bNoCancel = !c.expected;
    auto watch = driver::WhenShownModally("frmBrowse", [&](Form&) {
      driver::ClickListItem(*f_.File1, 1);
      driver::ClickListItem(*f_.File1, 3, vbCtrlMask);
      driver::ClickListItem(*f_.File1, 5, vbCtrlMask);
      EXPECT_EQ(Selected(), (std::vector<std::string>{"b.mov", "d.mpeg", "f.BMP"}));
      driver::ClickListItem(*f_.File1, 7, vbShiftMask);
      EXPECT_EQ(Selected(), (std::vector<std::string>{"b.mov", "d.mpeg", "f.BMP", "g.jpg", "h.gif"}));
      if (std::string(c.button) == "dblclick") {
        driver::DblClickListItem(*f_.File1, 2);
      } else {
        driver::Click(*f_.FindControl(c.button));
      }
    });
    f_.Show(vbModal);
    EXPECT_EQ(watch.Count(), 1);
    EXPECT_EQ(f_.bNoCancel, c.expected);
    EXPECT_TRUE(f_.IsLoaded()) << "hidden, never unloaded";
    EXPECT_FALSE(f_.Visible());
    if (std::string(c.button) == "dblclick") {
      EXPECT_EQ(Selected(), std::vector<std::string>{"c.MPG"});
    } else {
      EXPECT_EQ(Selected().size(), 5u);
    }
    f_.Unload();
  }
}

TEST_F(Browse, NetworkCancelledChangesNothing) {
  Open();
  f_.Show();
  ScriptScope script;
  script->AnswerDialog(DialogKind::Network, DialogAnswer::Cancel());
  driver::Click(*f_.FindControl("Command3"));
  ASSERT_EQ(script->Dialogs().size(), 1u);
  EXPECT_EQ(script->Dialogs()[0].kind, DialogKind::Network);
  EXPECT_EQ(script->Dialogs()[0].owner, f_.hWnd());
  EXPECT_EQ(f_.Dir1->Path(), dir_.string());
  EXPECT_EQ(Listed(), kMultimedia);
  EXPECT_TRUE(f_.Visible());
}

TEST_F(Browse, TheStripMovesTheWindow) {
  Open();
  f_.Move(600, 600);
  f_.Show();
  const int32_t left = f_.Left(), top = f_.Top();
  driver::DragOnto(*f_.Label4, *f_.FindControl("Command3"));
  EXPECT_NE(f_.Left(), left);
  EXPECT_NE(f_.Top(), top);
  EXPECT_TRUE(boxes_.empty());
}
