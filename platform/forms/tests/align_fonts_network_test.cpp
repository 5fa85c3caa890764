// Picture boxes aligned to the form's edge, font names the machine lacks, pictures without a
// reader, and the network folder dialog.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPushButton>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/netdialog.h"
#include "forms/picture.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace {

QWidget* W(Control& c) { return WidgetFromHwnd(c.hWnd()); }

TEST(PictureBoxAlign, AnAlignedBoxKeepsToItsEdgeAcrossTheFormsWidth) {
  struct Case {
    int16_t align;
    bool atBottom;
  };
  for (const Case& c : {Case{vbAlignTop, false}, Case{vbAlignBottom, true}}) {
    SCOPED_TRACE(c.align);
    int resizes = 0;
    TestForm f("frmAlign", [&](TestForm& f) {
      f.Place({{"PictureBox", "picBar", -1, "", 300, 900, 2000, 600, "", {{"Align", Variant(c.align)}}}});
    });
    f.On("picBar_Resize", [&] { ++resizes; });
    // The form's Resize reads the bar already at the form's new width.
    std::vector<int32_t> gaps;
    f.On("Form_Resize", [&] {
      gaps.push_back(f.FindControl("picBar")->Width() - static_cast<int32_t>(std::lround(f.ScaleWidth())));
    });
    f.Size(6000, 4500);
    f.Show();
    auto& bar = dynamic_cast<PictureBox&>(*f.FindControl("picBar"));
    EXPECT_EQ(bar.Align(), c.align);
    QWidget* box = W(bar);
    QWidget* client = box->parentWidget();
    auto check = [&] {
      EXPECT_EQ(box->x(), 0);
      EXPECT_EQ(box->width(), client->width());
      EXPECT_EQ(box->height(), 40);
      EXPECT_EQ(box->y(), c.atBottom ? client->height() - 40 : 0);
    };
    check();
    int before = resizes;
    f.Width(f.Width() + 1500);
    f.Height(f.Height() + 900);
    check();
    EXPECT_GT(resizes, before) << "the wider box raises Resize";
    ASSERT_FALSE(gaps.empty());
    EXPECT_EQ(gaps, std::vector<int32_t>(gaps.size(), 0));
    EXPECT_EQ(bar.GetProperty("Align").i2(), c.align);
    f.Unload();
  }
  TestForm f("frmAlign");
  f.Load();
  auto& pic = dynamic_cast<PictureBox&>(f.Add({"PictureBox", "picFree", -1, "", 0, 0, 600, 600, ""}));
  EXPECT_EQ(pic.Align(), vbAlignNone);
  EXPECT_EQ(ErrorOf([&] { pic.Align(5); }), vbErrInvalidPropertyValue);
  f.Unload();
}

TEST(FontNames, AFontTheMachineLacksReadsBackAsSetAndDrawsWithASubstitute) {
  const std::string missing = "MS Sans Serif";
  ASSERT_FALSE(QFontDatabase::hasFamily(QString::fromStdString(missing))) << "this machine has the font";
  TestForm f("frmFonts", [](TestForm& f) {
    f.Place({{"Label", "lblText", -1, "", 0, 0, 2000, 300, "Sample"}});
  });
  f.Load();
  Control& label = *f.FindControl("lblText");
  label.FontName(missing);
  EXPECT_EQ(label.Font().Name, missing);
  EXPECT_EQ(label.GetProperty("FontName").bstr().Utf8(), missing);
  std::string drawnWith = QFontInfo(W(label)->font()).family().toStdString();
  EXPECT_NE(drawnWith, missing);
  EXPECT_FALSE(drawnWith.empty());
  StdFont font = f.Font();
  font.Name = missing;
  f.Font(font);
  EXPECT_EQ(f.Font().Name, missing);

  // A font dialog left on the substitute answers the name it was given; another family is taken.
  EXPECT_EQ(forms_detail::ChosenFontName(missing, QFont(QString::fromStdString(drawnWith))), missing);
  QString other = QFontDatabase::families().value(0);
  if (other.toStdString() != drawnWith) {
    EXPECT_EQ(forms_detail::ChosenFontName(missing, QFont(other)), other.toStdString());
  }
  EXPECT_EQ(forms_detail::ChosenFontName("DejaVu Sans", QFont("DejaVu Sans")), "DejaVu Sans");
  f.Unload();
}

// The designs are laid out for the classic dialog faces at 96 dots an inch: those names draw with
// the face of the same character widths, and a size in points takes the pixels it takes at 96 dots
// an inch, whatever the screen's dots per inch (Qt's offscreen screen reports its own).
TEST(FontNames, TheDesignFacesDrawWithTheDialogFaceAtTheDesignsPixelSize) {
  ASSERT_TRUE(QFontDatabase::hasFamily("Liberation Sans")) << "the dialog face is not installed (scripts/deps.sh)";
  struct Case {
    const char* name;
    float size;
    const char* drawnWith;
    int pixels;
  };
  const Case cases[] = {
      {"MS Sans Serif", 8.25f, "Liberation Sans", 11},
      {"MS Sans Serif", 8.0f, "Liberation Sans", 11},
      {"ms sans serif", 9.75f, "Liberation Sans", 13},
      {"Microsoft Sans Serif", 8.25f, "Liberation Sans", 11},
      {"Arial", 12.0f, "Liberation Sans", 16},
      {"Tahoma", 8.0f, "Liberation Sans", 11},
      {"MS Sans Serif", 18.0f, "Liberation Sans", 24},
      {"DejaVu Serif", 12.0f, "DejaVu Serif", 16},
      {"DejaVu Sans", 13.5f, "DejaVu Sans", 18},
  };
  TestForm f("frmFaces", [](TestForm& f) {
    f.Place({{"Label", "lblText", -1, "", 0, 0, 2000, 300, "Sample"},
             {"PictureBox", "picText", -1, "", 0, 300, 2000, 600, ""}});
  });
  f.Load();
  Control& label = *f.FindControl("lblText");
  auto& pic = dynamic_cast<PictureBox&>(*f.FindControl("picText"));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.size));
    StdFont font;
    font.Name = c.name;
    font.Size = c.size;
    label.Font(font);
    EXPECT_EQ(label.Font().Name, c.name) << "the name reads back as set";
    const QFontInfo drawn(W(label)->font());
    EXPECT_EQ(drawn.family().toStdString(), c.drawnWith);
    EXPECT_EQ(drawn.pixelSize(), c.pixels);
    // A picture box measures its text with the same face and size.
    pic.Font(font);
    QFont expected(c.drawnWith);
    expected.setPixelSize(c.pixels);
    const QFontMetricsF fm(expected);
    EXPECT_NEAR(pic.TextWidth("Default Delay for Still Images"),
                fm.horizontalAdvance("Default Delay for Still Images") * 15, 15);
  }
  f.Unload();
}

// What the runtime builds with Qt's own widgets (message boxes, file dialogs, the property frame's
// buttons, menus) draws with the same dialog face and pixel size as the designs' controls.
TEST(FontNames, TheApplicationsOwnDialogsUseTheDialogFace) {
  TestForm f("frmAppFace", [](TestForm& f) { f.Place({{"Label", "lblText", -1, "", 0, 0, 2000, 300, "Sample"}}); });
  f.Load();
  const QFontInfo app(QApplication::font());
  EXPECT_EQ(app.family().toStdString(), "Liberation Sans");
  EXPECT_EQ(app.pixelSize(), 11);
  QPushButton button("OK");
  EXPECT_EQ(QFontInfo(button.font()).family(), QFontInfo(W(*f.FindControl("lblText"))->font()).family());
  EXPECT_EQ(QFontInfo(button.font()).pixelSize(), 11);
  f.Unload();
}

TEST(Pictures, MetafilesHaveNoReaderAndAreRefused) {
  std::string dir = fixtures::ScratchFolder("metafiles");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> emf(88, 0);
  emf[0] = 1;
  emf[40] = ' ';
  emf[41] = 'E';
  emf[42] = 'M';
  emf[43] = 'F';
  for (const Case& c : {Case{"placeable.wmf", {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0xF0, 0x00,
                                               0xE8, 0x03, 0, 0, 0, 0, 0x31, 0x5B, 1, 0, 9, 0, 0, 3,
                                               0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0}},
                        Case{"plain.wmf", {1, 0, 9, 0, 0, 3, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0}},
                        Case{"drawing.emf", emf}}) {
    SCOPED_TRACE(c.name);
    std::string path = dir + "/" + c.name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()),
                                                static_cast<std::streamsize>(c.bytes.size()));
    EXPECT_EQ(ErrorOf([&] { LoadPicture(path); }), vbErrInvalidPicture);
  }
}

// ---- the network folder dialog ----------------------------------------------------------------

// Puts a stand-in gio first in PATH for the scope: it records its arguments and answers as told.
class FakeGio {
 public:
  FakeGio(int exitCode, const std::string& error) {
    dir_ = fixtures::ScratchFolder("fakegio");
    log_ = dir_ + "/arguments";
    std::filesystem::remove(log_);
    std::string script = dir_ + "/gio";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << log_ << "'\n"
                          << (error.empty() ? "" : "echo '" + error + "' >&2\n") << "exit " << exitCode << "\n";
    chmod(script.c_str(), 0755);
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
  }
  ~FakeGio() { setenv("PATH", oldPath_.c_str(), 1); }
  std::string Arguments() const {
    std::ifstream in(log_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string dir_, log_, oldPath_;
};

TEST(NetworkDialog, OkMountsTheAddressWithGioAndCancelDoesNothing) {
  TestForm owner("frmOwner");
  owner.Load();
  {
    FakeGio gio(0, "");
    ScriptScope script;
    script->AnswerDialog(DialogKind::Network, DialogAnswer::Ok(" smb://server/share "));
    EXPECT_EQ(WNetConnectionDialog(owner.hWnd(), RESOURCETYPE_DISK), NO_ERROR_RESULT);
    EXPECT_EQ(gio.Arguments(), "mount\nsmb://server/share\n");
    ASSERT_EQ(script->Dialogs().size(), 1u);
    EXPECT_EQ(script->Dialogs()[0].owner, owner.hWnd());
  }
  {
    FakeGio gio(0, "");
    ScriptScope script;
    script->AnswerDialog(DialogKind::Network, DialogAnswer::Cancel());
    EXPECT_EQ(WNetConnectionDialog(owner.hWnd(), RESOURCETYPE_DISK), WNET_CANCELLED);
    EXPECT_EQ(gio.Arguments(), "") << "nothing mounted";
  }
  {
    FakeGio gio(0, "");
    ScriptScope script;
    script->AnswerDialog(DialogKind::Network, DialogAnswer::Ok("-u"));
    WNetConnectionDialog(owner.hWnd(), RESOURCETYPE_DISK);
    EXPECT_EQ(gio.Arguments(), "mount\n./-u\n") << "an address is no option";
  }
  ScriptScope script;
  EXPECT_EQ(WNetConnectionDialog(owner.hWnd(), 2), ERROR_NOT_SUPPORTED_RESULT) << "printers: no dialog";
  owner.Unload();
}

TEST(NetworkDialog, AFailedMountShowsGiosErrorText) {
  {
    FakeGio gio(2, "gio: smb://server/share: Connection refused");
    ScriptScope script;
    script->AnswerDialog(DialogKind::Network, DialogAnswer::Ok("smb://server/share")).AnswerMsgBox(vbOK);
    EXPECT_EQ(WNetConnectionDialog(0, RESOURCETYPE_DISK), ERROR_EXTENDED_ERROR_RESULT);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "gio: smb://server/share: Connection refused");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
  }
  // The real gio refuses an address no volume can mount.
  ScriptScope script;
  script->AnswerDialog(DialogKind::Network, DialogAnswer::Ok("smb://nohost.invalid/share")).AnswerMsgBox(vbOK);
  EXPECT_EQ(WNetConnectionDialog(0, RESOURCETYPE_DISK), ERROR_EXTENDED_ERROR_RESULT);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_NE(script->MsgBoxes()[0].prompt.find("smb://nohost.invalid/share"), std::string::npos)
      << script->MsgBoxes()[0].prompt;
}

}  // namespace
