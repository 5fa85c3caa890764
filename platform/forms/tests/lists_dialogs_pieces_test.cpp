// List box text set from code, option arrays with gaps, folder browsing with its owner, title
// and flags, the open dialog's set-up (typed new names, programs filters) and the common
// dialog's members by number.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileDialog>
#include <QFileInfo>
#include <filesystem>
#include <fstream>

#include "com/com.h"
#include "com/dispatch.h"
#include "fixtures.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/file_dialog_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace {

TEST(ListBoxText, SettingTheTextSelectsItsLineOrNone) {
  TestForm f("frmList", [](TestForm& f) { f.Place({{"ListBox", "lstSizes", -1, "", 0, 0, 2000, 1500, ""}}); });
  int clicks = 0;
  f.On("lstSizes_Click", [&] { ++clicks; });
  f.Load();
  auto& list = dynamic_cast<ListBox&>(*f.FindControl("lstSizes"));
  for (const char* item : {"320 x 240", "640 x 480", "640 X 480", "720 x 576"}) list.AddItem(item);
  struct Case {
    std::string text;
    int16_t index;
  };
  for (const Case& c : std::vector<Case>{{"640 X 480", 2},   // exact first
                                         {"720 x 576", 3},
                                         {"320 X 240", 0},   // else without regard to case
                                         {"1024 x 768", -1}, // none: no line
                                         {"", -1}}) {
    SCOPED_TRACE(c.text);
    list.Text(c.text);
    EXPECT_EQ(list.ListIndex(), c.index);
    EXPECT_EQ(list.Text(), c.index < 0 ? "" : list.List(c.index));
  }
  EXPECT_EQ(clicks, 4) << "each change of the selection clicks, as ListIndex set in code does";
  list.SetProperty("Text", Variant(std::string("640 x 480")));
  EXPECT_EQ(list.ListIndex(), 1);
  f.Unload();
}

TEST(OptionArrays, AnArrayWithAGapWorksByItsElementsIndexes) {
  // As the compression chooser's array: elements 0, 1, 3, 4, 5, 6.
  TestForm f("frmCompOpt", [](TestForm& f) {
    f.Place({{"OptionButton", "Option1", 0, "", 0, 0, 3000, 255, "zero"},
             {"OptionButton", "Option1", 1, "", 0, 300, 3000, 255, "one"},
             {"OptionButton", "Option1", 3, "", 0, 600, 3000, 255, "three"},
             {"OptionButton", "Option1", 4, "", 0, 900, 3000, 255, "four"},
             {"OptionButton", "Option1", 5, "", 0, 1200, 3000, 255, "five"},
             {"OptionButton", "Option1", 6, "", 0, 1500, 3000, 255, "six"}});
  });
  std::vector<int16_t> clicked;
  f.On("Option1_Click", [&](int16_t Index) { clicked.push_back(Index); });
  CtlArray<OptionButton> option(&f, "Option1");
  EXPECT_EQ(option.LBound(), 0);
  EXPECT_EQ(option.UBound(), 6);
  EXPECT_EQ(option.Count(), 6);
  EXPECT_FALSE(option.Exists(2));
  EXPECT_EQ(ErrorOf([&] { option(2); }), 340);
  option(4).Value(true);
  option(6).Value(true);
  EXPECT_FALSE(option(4).Value()) << "one chosen in the whole array, across the gap";
  EXPECT_TRUE(option(6).Value());
  option(1).Enabled(false);
  EXPECT_FALSE(option(1).Enabled());
  EXPECT_EQ(clicked, (std::vector<int16_t>{4, 6}));
  // Every element by its index, the gap left out: as the Set as Default road looks for the chosen one.
  int16_t chosen = -1;
  for (int16_t i = option.LBound(); i <= option.UBound(); ++i) {
    if (option.Exists(i) && option(i).Value()) chosen = i;
  }
  EXPECT_EQ(chosen, 6);
  // A new element may fill the gap.
  option.Load(2);
  EXPECT_EQ(option.Count(), 7);
  EXPECT_FALSE(option(2).Visible());
  f.Unload();
}

TEST(FolderBrowsing, TheOwnerTitleAndFlagsReachTheDialogAndTheWholePathComesBack) {
  TestForm owner("frmOptions");
  owner.Load();
  std::string longPath = "/mnt/media";
  while (longPath.size() < 400) longPath += "/a folder with a rather long name";
  ScriptScope script;
  script->AnswerDialog(DialogKind::Folder, DialogAnswer::Ok(longPath)).AnswerDialog(DialogKind::Folder,
                                                                                     DialogAnswer::Cancel());
  BrowseInfo info;
  info.owner = owner.hWnd();
  info.title = "Select the folder for temporary files";
  info.flags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  EXPECT_EQ(BrowseForFolder(info), longPath) << "never cut to 260 characters";
  EXPECT_EQ(BrowseForFolder(info), "");
  ASSERT_EQ(script->Dialogs().size(), 2u);
  DialogRequest r = script->Dialogs()[0];
  EXPECT_EQ(r.owner, owner.hWnd());
  EXPECT_EQ(r.prompt, info.title);
  EXPECT_EQ(r.flags, static_cast<int32_t>(BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE));
  owner.Unload();
}

TEST(FileDialogs, AnOpenDialogTakesATypedNewNameUnlessTheFileMustExist) {
  forms_detail::EnsureApplication();
  struct Case {
    DialogKind kind;
    int32_t flags;
    QFileDialog::FileMode mode;
  };
  for (const Case& c : {Case{DialogKind::Open, cdlOFNHideReadOnly, QFileDialog::AnyFile},
                        Case{DialogKind::Open, cdlOFNFileMustExist, QFileDialog::ExistingFile},
                        Case{DialogKind::Open, cdlOFNAllowMultiselect, QFileDialog::ExistingFiles},
                        Case{DialogKind::Save, 0, QFileDialog::AnyFile}}) {
    SCOPED_TRACE(c.flags);
    DialogRequest r;
    r.kind = c.kind;
    r.flags = c.flags;
    r.filter = "AVI files (*.avi)|*.avi|All Files (*.*)|*.*";
    r.filterIndex = 2;
    auto d = forms_detail::MakeFileDialog(r, nullptr);
    EXPECT_EQ(d->fileMode(), c.mode);
    EXPECT_EQ(d->acceptMode(), c.kind == DialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    EXPECT_EQ(d->nameFilters(), (QStringList{"AVI files (*.avi)", "All Files (*.*)"}));
    EXPECT_EQ(d->selectedNameFilter(), "All Files (*.*)");
  }
}

TEST(FileDialogs, AProgramsFilterShowsExecutables) {
  forms_detail::EnsureApplication();
  std::string dir = fixtures::ScratchFolder("programs");
  std::ofstream(dir + "/painter") << "#!/bin/sh\n";
  chmod((dir + "/painter").c_str(), 0755);
  std::ofstream(dir + "/notes.txt") << "notes";
  std::ofstream(dir + "/SETUP.EXE") << "MZ";
  std::filesystem::create_directories(dir + "/bin");
  struct Case {
    const char* name;
    bool shown;
  };
  for (const Case& c : {Case{"painter", true}, Case{"notes.txt", false}, Case{"SETUP.EXE", true}, Case{"bin", true}}) {
    EXPECT_EQ(forms_detail::ShownAsProgram(QFileInfo(QString::fromStdString(dir + "/" + c.name))), c.shown)
        << c.name;
  }
  std::string filter = "Programs (*.exe)|*.exe|All Files (*.*)|*.*";
  EXPECT_TRUE(forms_detail::IsProgramFilter(filter, 0));
  EXPECT_FALSE(forms_detail::IsProgramFilter(filter, 1));
  EXPECT_FALSE(forms_detail::IsProgramFilter(filter, 2));
  DialogRequest r;
  r.kind = DialogKind::Open;
  r.filter = filter;
  r.filterIndex = 1;
  auto d = forms_detail::MakeFileDialog(r, nullptr);
  EXPECT_EQ(d->nameFilters(), (QStringList{"Programs (*)", "All Files (*.*)"}))
      << "every name reaches the programs filter";
  EXPECT_TRUE(d->testOption(QFileDialog::HideNameFilterDetails));
  ASSERT_NE(d->proxyModel(), nullptr);
}

TEST(CommonDialogAutomation, FilterIndexIsSetAndReadByNumber23) {
  ComPtr<IDispatch> d = CreateObject<IDispatch>("MSComDlg.CommonDialog.1");
  ASSERT_TRUE(d);
  EXPECT_EQ(GetDispId(d.Get(), "FilterIndex"), 23);
  InvokeDispatch(d.Get(), 23, DISPATCH_PROPERTYPUT, {Variant(int16_t{2})});
  EXPECT_EQ(CallByName(d.Get(), "FilterIndex", DISPATCH_PROPERTYGET).i2(), 2);

  // The control on a form answers late-bound callers alike, and its dialog uses the index.
  TestForm f("frmEncode", [](TestForm& f) { f.Place({{"CommonDialog", "dlgFile", -1, "", 0, 0, 0, 0, ""}}); });
  f.Load();
  auto& dlg = dynamic_cast<CommonDialog&>(*f.FindControl("dlgFile"));
  IDispatch* late = dlg.DispatchObject();
  ASSERT_NE(late, nullptr);
  CallByName(late, "Filter", DISPATCH_PROPERTYPUT, {Variant(std::string("AVI files (*.avi)|*.avi|All Files (*.*)|*.*"))});
  InvokeDispatch(late, 23, DISPATCH_PROPERTYPUT, {Variant(int16_t{1})});
  EXPECT_EQ(dlg.Dialog().FilterIndex, 1);
  ScriptScope script;
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok("/m/new output.avi"));
  InvokeDispatch(late, 1, DISPATCH_METHOD);
  EXPECT_EQ(script->Dialogs().at(0).filterIndex, 1);
  EXPECT_EQ(dlg.Dialog().FileName, "/m/new output.avi") << "a name of a file that does not exist is taken";
  ComPtr<IDispatch> kept(late);
  f.Unload();
  f.Load();  // a new control; the old object's control is gone
  EXPECT_EQ(ErrorOf([&] { CallByName(kept.Get(), "FilterIndex", DISPATCH_PROPERTYGET); }), vbErrObjectNotLoaded);
  f.Unload();
}

}  // namespace
