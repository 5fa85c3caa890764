// Menus (captions with access keys, separators, shortcuts, Checked, Visible, Enabled, PopupMenu),
// the drive, folder and file lists, and form activation.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

namespace {

std::unique_ptr<TestForm> MakeMenuForm() {
  auto f = std::make_unique<TestForm>("frmMenus", [](TestForm& f) {
    f.Place({
        {"Menu", "mnuFile", -1, "", 0, 0, 0, 0, "&File"},
        {"Menu", "mnuSave", -1, "mnuFile", 0, 0, 0, 0, "&Save As...", {{"Shortcut", Variant("^S")}}},
        {"Menu", "mnuSpacer", -1, "mnuFile", 0, 0, 0, 0, "-"},
        {"Menu", "mnuExit", -1, "mnuFile", 0, 0, 0, 0, "E&xit"},
        {"Menu", "mnuHidden", -1, "", 0, 0, 0, 0, "Tile", {{"Visible", Variant(false)}}},
        {"Menu", "mnuDelete", -1, "mnuHidden", 0, 0, 0, 0, "&Delete"},
        {"Menu", "mnuRecent", 0, "mnuFile", 0, 0, 0, 0, "recent 0"},
    });
  });
  f->LogEvents({"mnuFile_Click", "mnuSave_Click", "mnuExit_Click", "mnuDelete_Click"});
  f->On("mnuRecent_Click", [p = f.get()](int16_t Index) { p->log.push_back("mnuRecent_Click " + std::to_string(Index)); });
  return f;
}

QAction* ActionOf(Form& f, const char* name) {
  QWidget* w = WidgetFromHwnd(f.hWnd());
  return w->findChild<QAction*>(name);
}

fs::path MakeFolder() {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / "lists";
  fs::remove_all(dir);
  fs::create_directories(dir / "Sub B");
  fs::create_directories(dir / "sub a");
  for (const char* name : {"b.AVI", "a.avi", "c.mpg", "notes.txt", "d.Mpg", "noext"}) {
    std::ofstream(dir / name) << "x";
  }
  return dir;
}

}  // namespace

TEST(Menus, ItemsCarryTheirDesignState) {
  auto f = MakeMenuForm();
  f->Load();
  QAction* save = ActionOf(*f, "mnuSave");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->text(), "&Save As...") << "the access key stays marked";
  EXPECT_EQ(save->shortcut(), QKeySequence("Ctrl+S"));
  EXPECT_TRUE(ActionOf(*f, "mnuSpacer")->isSeparator());
  EXPECT_EQ(ActionOf(*f, "mnuSpacer")->text(), "") << "a separator is a bare line, without its caption's dash";
  EXPECT_EQ(Ctl<Menu>(f.get(), "mnuSpacer")->Caption(), "-");
  EXPECT_FALSE(ActionOf(*f, "mnuHidden")->isVisible());
  Ctl<Menu> mnuSave(f.get(), "mnuSave");
  mnuSave->Checked(true);
  EXPECT_TRUE(save->isChecked());
  mnuSave->Enabled(false);
  EXPECT_FALSE(save->isEnabled());
  mnuSave->Trigger();
  EXPECT_TRUE(f->log.empty()) << "a disabled item does not click";
  mnuSave->Enabled(true);
  save->trigger();
  Ctl<Menu>(f.get(), "mnuExit")->Trigger();
  CtlArray<Menu>(f.get(), "mnuRecent").Load(1).Caption("recent 1");
  CtlArray<Menu>(f.get(), "mnuRecent")(1).Trigger();
  EXPECT_EQ(f->log, (Log{"mnuSave_Click", "mnuExit_Click", "mnuRecent_Click 1"}));
  // Opening a menu is its Click.
  f->log.clear();
  emit ActionOf(*f, "mnuFile")->menu()->aboutToShow();
  EXPECT_EQ(f->log, (Log{"mnuFile_Click"}));
  EXPECT_THROW(mnuSave->Shortcut("^{NOSUCHKEY}"), VBError);
  mnuSave->Shortcut("{F5}");
  EXPECT_EQ(save->shortcut(), QKeySequence("F5"));
  f->Unload();
}

TEST(Menus, PopupMenuReturnsAfterTheChosenItemsClick) {
  auto f = MakeMenuForm();
  f->Show();
  Ctl<Menu> hidden(f.get(), "mnuHidden");
  QTimer::singleShot(0, [] {
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    popup->actions().front()->trigger();
    popup->close();
  });
  f->PopupMenu(*hidden);
  f->log.push_back("after PopupMenu");
  EXPECT_EQ(f->log, (Log{"mnuDelete_Click", "after PopupMenu"}));
  Ctl<Menu> exit(f.get(), "mnuExit");
  EXPECT_THROW(f->PopupMenu(*exit), VBError) << "an item without items cannot pop up";
  f->Unload();
}

TEST(FileLists, PatternMasksAndMultiSelect) {
  fs::path dir = MakeFolder();
  TestForm f("frmFiles", [](TestForm& f) {
    f.Place({{"DriveListBox", "Drive1", -1, "", 0, 0, 2000, 300, ""},
             {"DirListBox", "Dir1", -1, "", 0, 400, 2000, 2000, ""},
             {"FileListBox", "File1", -1, "", 2100, 0, 2000, 2400, "", {{"MultiSelect", Variant(int16_t{2})}}}});
  });
  f.LogEvents({"File1_PathChange", "File1_PatternChange", "Dir1_Change", "Drive1_Change"});
  Ctl<FileListBox> file(&f, "File1");
  Ctl<DirListBox> folder(&f, "Dir1");
  file->Path(dir.string());
  file->Pattern("*.avi;*.mpg");
  std::vector<std::string> names;
  for (int16_t i = 0; i < file->ListCount(); ++i) names.push_back(file->List(i));
  EXPECT_EQ(names, (std::vector<std::string>{"a.avi", "b.AVI", "c.mpg", "d.Mpg"}));
  file->Pattern("*.*");
  EXPECT_EQ(file->ListCount(), 6) << "*.* takes names without a dot too";
  file->Pattern("*.avi");
  file->Selected(0, true);
  file->Selected(1, true);
  EXPECT_EQ(file->SelCount(), 2);
  file->FileName("b.AVI");
  EXPECT_EQ(file->FileName(), "b.AVI");

  folder->Path(dir.string());
  EXPECT_EQ(folder->ListCount(), 2);
  EXPECT_EQ(folder->List(0), (dir / "sub a").string()) << "subfolders sorted without regard to case";
  EXPECT_EQ(folder->List(-1), dir.string());
  EXPECT_EQ(folder->List(-2), dir.parent_path().string());
  EXPECT_EQ(folder->ListIndex(), -1);
  try {
    folder->Path((dir / "missing").string());
    ADD_FAILURE();
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 76);
  }
  Ctl<DriveListBox> drive(&f, "Drive1");
  EXPECT_EQ(drive->List(0), "/");
  drive->Drive(dir.string());
  EXPECT_FALSE(drive->Drive().empty());
  EXPECT_EQ(f.log, (Log{"File1_PathChange", "File1_PatternChange", "File1_PatternChange", "File1_PatternChange",
                        "Dir1_Change"}));
  f.Unload();
}

TEST(Activation, ActivateAndDeactivateFollowTheActiveForm) {
  TestForm a("frmA"), b("frmB");
  a.LogEvents({"Form_Activate", "Form_Deactivate"});
  b.LogEvents({"Form_Activate", "Form_Deactivate"});
  a.Show();
  ASSERT_TRUE(PumpUntil([&] { return Screen().ActiveForm() == &a; }));
  b.Show();
  ASSERT_TRUE(PumpUntil([&] { return Screen().ActiveForm() == &b; }));
  EXPECT_EQ(a.log, (Log{"Form_Activate", "Form_Deactivate"}));
  EXPECT_EQ(b.log, (Log{"Form_Activate"}));
  a.Unload();
  b.Unload();
}

TEST(Activation, KeyPreviewLetsTheFormSeeKeysFirst) {
  TestForm f("frmKeys", [](TestForm& f) {
    f.KeyPreview(true);
    f.Place({{"TextBox", "txtFrame", -1, "", 0, 0, 1500, 300, ""}});
  });
  f.On("Form_KeyPress", [&](int16_t& KeyAscii) {
    f.log.push_back("Form_KeyPress");
    if (KeyAscii < '0' || KeyAscii > '9') KeyAscii = 0;
  });
  f.On("txtFrame_KeyPress", [&](int16_t) { f.log.push_back("txtFrame_KeyPress"); });
  f.Show();
  QWidget* w = WidgetFromHwnd(f.FindControl("txtFrame")->hWnd());
  for (QChar ch : QString("1x2")) {
    QKeyEvent e(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &e);
  }
  EXPECT_EQ(Ctl<TextBox>(&f, "txtFrame")->Text(), "12");
  EXPECT_EQ(f.log, (Log{"Form_KeyPress", "txtFrame_KeyPress", "Form_KeyPress", "Form_KeyPress",
                        "txtFrame_KeyPress"}));
  f.Unload();
}
