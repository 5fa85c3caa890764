// ControlHost's Properties sheet on a real X11 desktop with a full window manager, clicked with
// xdotool's pointer as a user's hand: the button opens the sheet, and clicks on the General page's check box, option button,
// text box and "..." button change them; OK gives the control the new values. The clicks run in
// this test program started again on the desktop's xcb platform; the test started on the
// offscreen platform only runs that second program and reports its outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ControlHostForm.h"
#include "com/dispatch.h"
#include "core/runtime.h"
#include "flickgem_test_setup.h"
#include "forms/controls.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "gifwriter.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "x11_clicks.h"
#include "x11_desktop.h"

namespace {

namespace fs = std::filesystem;
using x11test::ClickOn;
using x11test::Exposed;
using x11test::WaitFor;
constexpr const char* kProgId = "WzAnimatedGif.Flickgem";
constexpr const char* kOnDesktop = "CONTROLHOST_ON_DESKTOP";

bool OnDesktop() { return std::getenv(kOnDesktop) != nullptr; }

std::string Scratch(const std::string& sub) { return AreaScratch("controlhost_x11", sub); }

Variant Property(ControlHostForm& f, const char* name) {
  return CallByName(f.Hosted().DispatchObject(), name, DISPATCH_PROPERTYGET);
}

class SheetOnDesktop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFlickgemWithOwnTemp("controlhost_x11");
  }
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside ControlHostSheet.OnAnX11Desktop";
  }
  ScriptScope responder_;
};

}  // namespace

// ---- run on the desktop -------------------------------------------------------------------------

TEST_F(SheetOnDesktop, ClicksChangeTheGeneralPagesControls) {
  if (!EndQuietly([] { DeleteSetting("ControlHost", kProgId); })) Err().Clear();  // a run before this one
  gifw::Gif g = gifw::Screen(6, 4, {255, 0, 0, 0, 0, 255});
  g.images = {gifw::Solid(0, 0, 6, 4, 0), gifw::Solid(1, 1, 2, 2, 1)};
  const std::string gif = Scratch("gifs") + "/sheet.gif";
  gifw::WriteFile(gif, gifw::Encode(g));
  auto form = MakeForm<ControlHostForm>(kProgId);
  form->Show();
  form->LoadFile(gif);
  ASSERT_FALSE(CBool(Property(*form, "AutoPlay")));
  ASSERT_EQ(CLng(Property(*form, "BorderStyle")), 0);
  const OLE_COLOR chosen = 0x00336699;
  DialogAnswer colour = DialogAnswer::Ok("");
  colour.color = chosen;

  bool presented = false;
  auto previous = SetPropertyFramePresenter([&](QDialog& frame, OAHWND owner) {
    presented = true;
    // As the frame shows itself: over its owner, modal.
    if (QWidget* parent = WidgetFromHwnd(static_cast<HWND>(owner))) frame.setParent(parent, Qt::Dialog);
    frame.setWindowModality(Qt::ApplicationModal);
    frame.show();
    EXPECT_TRUE(WaitFor([&] { return Exposed(&frame); })) << "the sheet did not come on screen";
    auto* check = frame.findChild<QAbstractButton*>("chkAutoPlay");
    QAbstractButton* single = nullptr;
    for (auto* b : frame.findChildren<QAbstractButton*>("Option1"))
      if (b->text() == "Fixed Single") single = b;
    QWidget* text = frame.findChild<QWidget*>("txtNumberOfPlays");
    auto* edit = qobject_cast<QLineEdit*>(text);
    if (!edit && text) edit = text->findChild<QLineEdit*>();
    auto* dots = frame.findChild<QAbstractButton*>("Command3");  // BackColor's "..."
    auto* apply = frame.findChild<QPushButton*>("apply");
    if (!check || !single || !edit || !dots || !apply) {
      ADD_FAILURE() << "the page's controls are missing";
      return false;
    }
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(single->isChecked());
    EXPECT_FALSE(edit->hasFocus());
    // Each step waits for what the click does; the first that does not come ends the walk.
    const bool walked = [&] {
      if (!ClickOn(check) || !WaitFor([&] { return check->isChecked(); })) {
        ADD_FAILURE() << "a click on the check box did not tick it";
        return false;
      }
      EXPECT_TRUE(apply->isEnabled()) << "a changed page offers Apply";
      if (!ClickOn(single) || !WaitFor([&] { return single->isChecked(); })) {
        ADD_FAILURE() << "a click on the option button did not choose it";
        return false;
      }
      if (!ClickOn(edit) || !WaitFor([&] { return edit->hasFocus(); })) {
        ADD_FAILURE() << "a click on the text box did not put the caret there";
        return false;
      }
      if (!x11test::RunXdotool({"key", "ctrl+a"}) || !x11test::RunXdotool({"type", "7"}) ||
          !WaitFor([&] { return edit->text() == "7"; })) {
        ADD_FAILURE() << "typed into the text box: " << edit->text().toStdString();
        return false;
      }
      responder_->AnswerDialog(DialogKind::Color, colour);
      if (!ClickOn(dots) || !WaitFor([&] { return responder_->Remaining() == 0; })) {
        ADD_FAILURE() << "a click on \"...\" did not ask for a colour";
        return false;
      }
      return true;
    }();
    if (!walked) {
      frame.reject();
      return false;
    }
    frame.findChild<QPushButton*>("ok")->click();
    return frame.result() == QDialog::Accepted;
  });
  QWidget* properties = WidgetFromHwnd(form->FindControl("cmdProperties")->hWnd());
  ASSERT_NE(properties, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Exposed(properties); })) << "ControlHost's window did not come on screen";
  EXPECT_TRUE(ClickOn(properties));
  EXPECT_TRUE(WaitFor([&] { return presented; })) << "a click on Properties... did not open the sheet";
  SetPropertyFramePresenter(previous);

  EXPECT_TRUE(CBool(Property(*form, "AutoPlay")));
  EXPECT_EQ(CLng(Property(*form, "BorderStyle")), 1);
  EXPECT_EQ(CLng(Property(*form, "NumberOfPlays")), 7);
  EXPECT_EQ(static_cast<OLE_COLOR>(CLng(Property(*form, "BackColor"))), chosen);
  form->Unload();
}

// ---- the test run on the offscreen platform -------------------------------------------------------

TEST(ControlHostSheet, OnAnX11Desktop) {
  if (OnDesktop()) GTEST_SKIP();
  x11test::Desktop desktop(x11test::WindowManager::Full);
  ASSERT_EQ(desktop.Error(), "");
  x11test::ExpectOneTestPassesOnDesktop(desktop, kOnDesktop, "SheetOnDesktop.*");
}
