// List box text set from code, option arrays with gaps, folder browsing with its owner, title
// and flags, the open dialog's set-up (typed new names, programs filters) and the common
// dialog's members by number.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <filesystem>
#include <fstream>

#include "com/com.h"
#include "com/dispatch.h"
#include "core/runtime_convert.h"
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

// A list box shows whole rows of its font: the height asked for shrinks to a whole number of rows
// (at least one) plus the border, so no row is cut at the bottom; IntegralHeight False keeps the
// height asked for. A new font fits the height asked for again.
TEST(ListBoxHeight, ShowsWholeRowsOnlyUnlessIntegralHeightIsOff) {
  struct Case {
    const char* type;
    const char* name;
    int32_t height;  // twips asked for
    int rows;        // whole rows shown; 0: IntegralHeight False, the height stays as asked
    float fontSize;  // 0: the dialog face
  };
  const std::vector<Case> cases = {
      {"ListBox", "lstSpinner", 285, 1, 0},     // one row tall: the scroll arrows make it a spinner
      {"ListBox", "lstTiny", 165, 1, 0},        // shorter than a row: one row still
      {"ListBox", "lstTwo", 450, 2, 0},
      {"ListBox", "lstCodecs", 855, 0, 0},      // computed below from the row height
      {"ListBox", "lstTall", 2010, 0, 0},
      {"ListBox", "lstBig", 975, 0, 14},
      {"FileListBox", "filFiles", 3180, 0, 0},
      {"DirListBox", "dirFolders", 1515, 0, 0},
      {"ListBox", "lstFree", 855, -1, 0},       // IntegralHeight False
  };
  TestForm f("frmListHeights", [&](TestForm& f) {
    int32_t left = 0;
    for (const Case& c : cases) {
      ControlDef row{c.type, c.name, -1, "", left, 0, 1500, c.height, ""};
      if (c.rows < 0) row.props.push_back({"IntegralHeight", Variant(false)});
      f.Place({row});
      left += 1600;
    }
  });
  f.Size(15000, 4500);
  f.Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Control* control = f.FindControl(c.name);
    ASSERT_NE(control, nullptr);
    if (c.fontSize > 0) control->FontSize(c.fontSize);
    auto* list = qobject_cast<QListWidget*>(WidgetFromHwnd(control->hWnd()));
    ASSERT_NE(list, nullptr);
    if (auto* box = dynamic_cast<ListBox*>(control); box && !dynamic_cast<FileListBox*>(box)) {
      for (int i = 0; i < 40; ++i) box->AddItem("line " + std::to_string(i));
    } else {
      for (int i = 0; i < 40; ++i) list->addItem(QStringLiteral("entry %1").arg(i));
    }
    const int row = list->sizeHintForRow(0);
    ASSERT_GT(row, 0);
    const int border = list->height() - list->viewport()->height();
    const int asked = c.height / 15;
    EXPECT_EQ(control->Height(), list->height() * 15) << "Height reads back the height the list took";
    if (c.rows < 0) {
      EXPECT_EQ(list->height(), asked);
      EXPECT_FALSE(CBool(control->GetProperty("IntegralHeight")));
      continue;
    }
    if (std::string(c.type) == "ListBox") {
      EXPECT_TRUE(CBool(control->GetProperty("IntegralHeight")));
    }
    const int rows = c.rows > 0 ? c.rows : (asked - border) / row;
    EXPECT_EQ(list->viewport()->height(), rows * row) << "whole rows, no cut row";
    EXPECT_LE(list->height(), std::max(asked, row + border)) << "the list shrinks, it does not grow past a row";
    // What the list draws: its last visible row ends at the bottom of the visible area.
    list->scrollToTop();
    const QRect last = list->visualItemRect(list->item(rows - 1));
    EXPECT_EQ(last.bottom(), list->viewport()->rect().bottom());
    EXPECT_GT(list->visualItemRect(list->item(rows)).top(), list->viewport()->rect().bottom());
  }
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
