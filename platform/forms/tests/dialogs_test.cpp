// The common dialog object, control and automation object, all answered by the responder.
#include <gtest/gtest.h>

#include "com/com.h"
#include "com/dispatch.h"
#include "forms/commondialog.h"
#include "forms/form.h"
#include "forms_test_support.h"

namespace {
DialogAnswer Files(std::vector<std::string> names) {
  DialogAnswer a;
  a.accepted = true;
  a.fileNames = std::move(names);
  a.text = a.fileNames.front();
  return a;
}
}  // namespace

TEST(CommonDialogObject, OpenPassesItsPropertiesAndReadsTheAnswer) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok("/media/clips/intro.avi"));
  CommonDialogObject d;
  d.DialogTitle = "Open a movie";
  d.Filter = "Movies (*.avi;*.mpg)|*.avi;*.mpg|All Files (*.*)|*.*";
  d.FilterIndex = 2;
  d.InitDir = "/media";
  d.Flags = cdlOFNFileMustExist | cdlOFNHideReadOnly;
  d.ShowOpen();
  EXPECT_EQ(d.FileName, "/media/clips/intro.avi");
  EXPECT_EQ(d.FileTitle, "intro.avi");
  DialogRequest r = script->Dialogs().at(0);
  EXPECT_EQ(r.kind, DialogKind::Open);
  EXPECT_EQ(r.title, "Open a movie");
  EXPECT_EQ(r.filter, d.Filter);
  EXPECT_EQ(r.filterIndex, 2);
  EXPECT_EQ(r.initDir, "/media");
  EXPECT_EQ(r.flags, cdlOFNFileMustExist | cdlOFNHideReadOnly);
}

TEST(CommonDialogObject, CancelRaisesOnlyWithCancelError) {
  struct Case {
    bool cancelError;
    DialogKind kind;
    std::function<void(CommonDialogObject&)> show;
  };
  const Case cases[] = {
      {false, DialogKind::Save, [](CommonDialogObject& d) { d.ShowSave(); }},
      {true, DialogKind::Save, [](CommonDialogObject& d) { d.ShowSave(); }},
      {true, DialogKind::Open, [](CommonDialogObject& d) { d.ShowOpen(); }},
      {true, DialogKind::Color, [](CommonDialogObject& d) { d.ShowColor(); }},
      {true, DialogKind::Font, [](CommonDialogObject& d) { d.ShowFont(); }},
      {false, DialogKind::Color, [](CommonDialogObject& d) { d.ShowColor(); }},
  };
  for (const Case& c : cases) {
    ScriptScope script;
    script->AnswerDialog(c.kind, DialogAnswer::Cancel());
    CommonDialogObject d;
    d.CancelError = c.cancelError;
    d.FileName = "/old/name.avi";
    d.Color = 0x123456;
    int32_t error = 0;
    try {
      c.show(d);
    } catch (const VBError& e) {
      error = e.Number();
    }
    EXPECT_EQ(error, c.cancelError ? 32755 : 0) << DialogKindName(c.kind);
    if (c.kind == DialogKind::Save && !c.cancelError) {
      EXPECT_EQ(d.FileName, "");
    }
    if (c.kind == DialogKind::Color) {
      EXPECT_EQ(d.Color, 0x123456u) << "a cancelled colour keeps the old one";
    }
  }
}

TEST(CommonDialogObject, SaveAddsTheDefaultExtension) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/out/joined"))
      .AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/out/joined.mpg"));
  CommonDialogObject d;
  d.DefaultExt = "avi";
  d.ShowSave();
  EXPECT_EQ(d.FileName, "/out/joined.avi");
  d.ShowSave();
  EXPECT_EQ(d.FileName, "/out/joined.mpg");
}

TEST(CommonDialogObject, MultiSelectJoinsFolderAndNames) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Open, Files({"/m/a.avi", "/m/b.avi"}))
      .AnswerDialog(DialogKind::Open, Files({"/m/a.avi", "/m/b.avi"}))
      .AnswerDialog(DialogKind::Open, Files({"/m/only.avi"}));
  CommonDialogObject d;
  d.Flags = cdlOFNAllowMultiselect | cdlOFNExplorer;
  d.ShowOpen();
  EXPECT_EQ(d.FileName, std::string("/m\0a.avi\0b.avi", 14));
  d.Flags = cdlOFNAllowMultiselect;
  d.ShowOpen();
  EXPECT_EQ(d.FileName, "/m a.avi b.avi");
  d.ShowOpen();
  EXPECT_EQ(d.FileName, "/m/only.avi");
}

TEST(CommonDialogObject, ColorAndFontComeBack) {
  ScriptScope script;
  DialogAnswer color;
  color.accepted = true;
  color.color = 0x00FF8000;
  DialogAnswer font;
  font.accepted = true;
  font.font = StdFont{"DejaVu Sans", 14, true, false, false, false};
  script->AnswerDialog(DialogKind::Color, color).AnswerDialog(DialogKind::Font, font);
  CommonDialogObject d;
  d.Color = 0xFF;
  d.ShowColor();
  EXPECT_EQ(d.Color, 0x00FF8000u);
  d.FontName = "Arial";
  d.FontSize = 10;
  d.FontItalic = true;
  d.ShowFont();
  EXPECT_EQ(d.FontName, "DejaVu Sans");
  EXPECT_EQ(d.FontSize, 14.0f);
  EXPECT_TRUE(d.FontBold);
  EXPECT_FALSE(d.FontItalic);
  EXPECT_EQ(script->Dialogs().at(0).color, 0xFFu);
  EXPECT_EQ(script->Dialogs().at(1).font.Name, "Arial");
  EXPECT_TRUE(script->Dialogs().at(1).font.Italic);
}

TEST(CommonDialogControl, BelongsToItsFormAndTakesTableProperties) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok("/x/project.wzj"));
  TestForm f("frmDlg", [](TestForm& f) {
    f.Place({{"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, "",
              {{"Filter", Variant("Projects|*.wzj")}, {"CancelError", Variant(true)}}}});
  });
  Ctl<CommonDialog> dlg(&f, "CommonDialog1");
  dlg->ShowSave();
  EXPECT_EQ(dlg->GetProperty("FileName").bstr().Utf8(), "/x/project.wzj");
  EXPECT_EQ(script->Dialogs().at(0).owner, f.hWnd());
  EXPECT_EQ(script->Dialogs().at(0).filter, "Projects|*.wzj");
  f.Unload();
}

TEST(CommonDialogAutomation, CreatedByProgIdAndDrivenByName) {
  ScriptScope script;
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok("/v/clip.mpg")).AnswerDialog(DialogKind::Open,
                                                                                       DialogAnswer::Cancel());
  ComPtr<IDispatch> d = CreateObject<IDispatch>("MSComDlg.CommonDialog.1");
  ASSERT_TRUE(d);
  CallByName(d.Get(), "Filter", DISPATCH_PROPERTYPUT, {Variant("Video|*.mpg")});
  CallByName(d.Get(), "FilterIndex", DISPATCH_PROPERTYPUT, {Variant(int16_t{1})});
  CallByName(d.Get(), "ShowOpen", DISPATCH_METHOD);
  EXPECT_EQ(CallByName(d.Get(), "FileName", DISPATCH_PROPERTYGET).bstr().Utf8(), "/v/clip.mpg");
  EXPECT_EQ(CallByName(d.Get(), "FileTitle", DISPATCH_PROPERTYGET).bstr().Utf8(), "clip.mpg");
  EXPECT_EQ(script->Dialogs().at(0).filter, "Video|*.mpg");
  CallByName(d.Get(), "CancelError", DISPATCH_PROPERTYPUT, {Variant(true)});
  try {
    CallByName(d.Get(), "ShowOpen", DISPATCH_METHOD);
    ADD_FAILURE() << "no error on Cancel";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 32755);
  }
}
