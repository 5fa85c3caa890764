// ControlHost's form driven in process: load a GIF, set NumberOfPlays on the property page, play
// it twice with the events listed, and find the properties again after a restart.
#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ControlHostForm.h"
#include "caption_fit.h"
#include "com/dispatch.h"
#include "core/runtime.h"
#include "flickgem_test_setup.h"
#include "forms/activex.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "forms/usercontrol.h"
#include "gifwriter.h"
#include "registry/settings.h"
#include "scripted_responder.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kProgId = "WzAnimatedGif.Flickgem";

std::string Scratch(const std::string& sub) { return AreaScratch("controlhost", sub); }

class ControlHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFlickgemWithOwnTemp("controlhost");
  }
  static void Click(Form& f, const char* button) {
    EventArgs none;
    f.RaiseEvent(std::string(button) + "_Click", none);
  }
  static UserControl* Uc(ControlHostForm& f) {
    ComPtr<IUnknown> obj = static_cast<ActiveXHost&>(f.Hosted()).Object();
    return dynamic_cast<UserControl*>(obj.Get());
  }
  static std::vector<std::string> Events(ControlHostForm& f) {
    auto* list = dynamic_cast<ListBox*>(f.FindControl("lstEvents"));
    std::vector<std::string> out;
    for (int16_t i = 0; i < list->ListCount(); ++i) {
      std::string item = list->List(i);
      std::string name = item.substr(0, item.find(' '));
      if (name != "Resize") out.push_back(name);  // the control's placement resizes it
    }
    return out;
  }
  ScriptScope responder_;
};

TEST_F(ControlHostTest, PlaysTwiceAfterThePropertyPageAndRemembersItsProperties) {
  if (!EndQuietly([] { DeleteSetting("ControlHost", kProgId); })) Err().Clear();
  gifw::Gif g = gifw::Screen(6, 4, {255, 0, 0, 0, 0, 255});
  g.images = {gifw::Solid(0, 0, 6, 4, 0), gifw::Solid(1, 1, 2, 2, 1), gifw::Solid(3, 1, 2, 2, 1)};
  const std::string gif = Scratch("gifs") + "/play.gif";
  gifw::WriteFile(gif, gifw::Encode(g));

  auto form = MakeForm<ControlHostForm>(kProgId);
  form->Show();
  form->LoadFile(gif);
  EXPECT_EQ(CStr(CallByName(form->Hosted().DispatchObject(), "GifFileName", DISPATCH_PROPERTYGET)), gif);
  auto previous = SetPropertyFramePresenter([](QDialog& frame, OAHWND) {
    QWidget* w = frame.findChild<QWidget*>("txtNumberOfPlays");
    auto* edit = qobject_cast<QLineEdit*>(w);
    if (!edit && w) edit = w->findChild<QLineEdit*>();
    if (!edit) return false;
    edit->setText("2");
    frame.findChild<QPushButton*>("ok")->click();
    return frame.result() == QDialog::Accepted;
  });
  Click(*form, "cmdProperties");
  SetPropertyFramePresenter(previous);
  EXPECT_EQ(CallByName(form->Hosted().DispatchObject(), "NumberOfPlays", DISPATCH_PROPERTYGET).i4(), 2);

  Click(*form, "cmdStart");
  for (int i = 0; i < 6; ++i) {
    EventArgs none;
    Uc(*form)->RaiseEvent("Timer1_Timer", none);
  }
  EXPECT_EQ(Events(*form), (std::vector<std::string>{"PlayStarted", "PlayEnded"}));
  form->Unload();
  form.reset();
  EXPECT_EQ(GetSetting("ControlHost", kProgId, "NumberOfPlays", ""), "2");
  EXPECT_EQ(GetSetting("ControlHost", kProgId, "GifFileName", ""), gif);

  auto again = MakeForm<ControlHostForm>(kProgId);
  again->Show();
  EXPECT_EQ(CallByName(again->Hosted().DispatchObject(), "NumberOfPlays", DISPATCH_PROPERTYGET).i4(), 2);
  EXPECT_EQ(CStr(CallByName(again->Hosted().DispatchObject(), "GifFileName", DISPATCH_PROPERTYGET)), gif);
  again->Unload();
}

// At its start ControlHost loads the file the control's stored properties name, or the file it
// was given instead of it; a stored name whose file has gone gets the control's own box and
// leaves the control empty.
TEST_F(ControlHostTest, LoadsTheStoredOrTheGivenFileAtStart) {
  const std::string gifs = Scratch("start");
  gifw::Gif red = gifw::Screen(6, 4, {255, 0, 0, 0, 0, 255});
  red.images = {gifw::Solid(0, 0, 6, 4, 0), gifw::Solid(1, 1, 2, 2, 1), gifw::Solid(3, 1, 2, 2, 1)};
  gifw::WriteFile(gifs + "/red.gif", gifw::Encode(red));
  gifw::Gif blue = gifw::Screen(6, 4, {255, 0, 0, 0, 0, 255});
  blue.images = {gifw::Solid(0, 0, 6, 4, 1), gifw::Solid(0, 0, 2, 2, 0)};
  gifw::WriteFile(gifs + "/blue.gif", gifw::Encode(blue));
  const std::string gone = gifs + "/gone.gif";
  struct Case {
    std::string stored, given;
    std::string loaded;  // the control's GifFileName afterwards
    int32_t frames;
    QRgb corner;  // the control's top left pixel; 0: not drawn
    std::string box;
  } cases[] = {
      {gifs + "/red.gif", "", gifs + "/red.gif", 2, 0xFFFF0000, ""},
      {gifs + "/red.gif", gifs + "/blue.gif", gifs + "/blue.gif", 1, 0xFF0000FF, ""},
      {"", gifs + "/blue.gif", gifs + "/blue.gif", 1, 0xFF0000FF, ""},
      {gone, "", gone, 0, 0, "The file " + gone + " can not be found."},
      {"", "", "", 0, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stored '" + c.stored + "', given '" + c.given + "'");
    if (!EndQuietly([] { DeleteSetting("ControlHost", kProgId); })) Err().Clear();
    if (!c.stored.empty()) SaveSetting("ControlHost", kProgId, "GifFileName", c.stored);
    if (!c.box.empty()) responder_->AnswerMsgBox(vbOK);
    const size_t boxes = responder_->MsgBoxes().size();
    auto form = MakeForm<ControlHostForm>(kProgId, c.given);
    form->Show();
    for (int i = 0; i < 5; ++i) DoEvents();
    IDispatch* gif = form->Hosted().DispatchObject();
    EXPECT_EQ(CStr(CallByName(gif, "GifFileName", DISPATCH_PROPERTYGET)), c.loaded);
    EXPECT_EQ(CallByName(gif, "NumberofFrames", DISPATCH_PROPERTYGET).i4(), c.frames);
    if (c.corner) {
      QWidget* w = WidgetFromHwnd(Uc(*form)->hWnd());
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(0, 0), c.corner);
    }
    if (c.box.empty()) {
      EXPECT_EQ(responder_->MsgBoxes().size(), boxes);
    } else {
      ASSERT_EQ(responder_->MsgBoxes().size(), boxes + 1);
      EXPECT_EQ(responder_->MsgBoxes().back().prompt, c.box);
    }
    form->Unload();
  }
  if (!EndQuietly([] { DeleteSetting("ControlHost", kProgId); })) Err().Clear();
}

// The command line: a lone argument naming a file is the GIF for the default control, a lone
// registered ProgID is the control, the usage switches ask for the usage, and anything else names
// nothing to host. A lone GIF's command hosts the control with that file loaded.
TEST_F(ControlHostTest, ReadsALoneFileAsTheGifAndOtherwiseTheUsage) {
  const std::string gifs = Scratch("command");
  gifw::Gif g = gifw::Screen(6, 4, {255, 0, 0, 0, 0, 255});
  g.images = {gifw::Solid(0, 0, 6, 4, 0), gifw::Solid(1, 1, 2, 2, 1)};
  const std::string gif = gifs + "/lone.gif";
  gifw::WriteFile(gif, gifw::Encode(g));
  struct Case {
    std::vector<std::string> args;
    std::string progId, file;
    bool help, wrong;
  } cases[] = {
      {{}, kProgId, "", false, false},
      {{gif}, kProgId, gif, false, false},
      {{gifs}, kProgId, gifs, false, false},
      {{kProgId}, kProgId, "", false, false},
      {{kProgId, gif}, kProgId, gif, false, false},
      {{"Other.Control", gif}, "Other.Control", gif, false, false},
      {{gifs + "/missing.gif"}, kProgId, "", false, true},
      {{"No.Such.Control"}, kProgId, "", false, true},
      {{kProgId, gif, gif}, kProgId, "", false, true},
      {{"/?"}, kProgId, "", true, false},
      {{"-h"}, kProgId, "", true, false},
      {{"/H"}, kProgId, "", true, false},
      {{"/help"}, kProgId, "", true, false},
      {{"/HELP"}, kProgId, "", true, false},
      {{"--help"}, kProgId, "", true, false},
      {{gif, "/help"}, kProgId, "", true, false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "'" + a + "' ";
    SCOPED_TRACE(shown);
    const ControlHostCommand command = ReadControlHostCommand(c.args);
    EXPECT_EQ(command.progId, c.progId);
    EXPECT_EQ(command.file, c.file);
    EXPECT_EQ(command.help, c.help);
    EXPECT_EQ(command.wrong, c.wrong);
  }
  const ControlHostCommand lone = ReadControlHostCommand({gif});
  const size_t boxes = responder_->MsgBoxes().size();
  auto form = MakeForm<ControlHostForm>(lone.progId, lone.file);
  form->Show();
  IDispatch* control = form->Hosted().DispatchObject();
  EXPECT_EQ(CStr(CallByName(control, "GifFileName", DISPATCH_PROPERTYGET)), gif);
  EXPECT_EQ(CallByName(control, "NumberofFrames", DISPATCH_PROPERTYGET).i4(), 1);
  EXPECT_EQ(responder_->MsgBoxes().size(), boxes);
  form->Unload();
  if (!EndQuietly([] { DeleteSetting("ControlHost", kProgId); })) Err().Clear();
}

// The program prints its usage for the usage switches (standard output, exit code 0) and for
// arguments that name nothing to host (standard error, exit code 1), without a window or a box; a
// program that showed a box instead would be ended by `timeout` (exit code 124).
TEST_F(ControlHostTest, TheProgramPrintsItsUsageInsteadOfABox) {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  ASSERT_TRUE(bin);
  const std::string folder = Scratch("usage");
  struct Case {
    const char* argument;
    int exitCode;
    bool onOutput;
  } cases[] = {
      {"/help", 0, true},
      {"/H", 0, true},
      {"/?", 0, true},
      {"nothing-here.gif", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const std::string out = folder + "/out.txt", err = folder + "/err.txt";
    const std::string cmd = "cd '" + folder + "' && timeout 120 '" + bin + "/ControlHost' '" + c.argument + "' >'" +
                            out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
    std::ifstream o(out), e(err);
    const std::string printed((std::istreambuf_iterator<char>(o)), std::istreambuf_iterator<char>());
    const std::string errors((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
    EXPECT_EQ((c.onOutput ? printed : errors).rfind("Usage: ControlHost [ProgID] [file]", 0), 0u) << printed << errors;
    EXPECT_EQ(c.onOutput ? errors : printed, "");
  }
}

TEST_F(ControlHostTest, Base64RoundTrips) {
  for (size_t n : {0u, 1u, 2u, 3u, 4u, 200u}) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 5);
    EXPECT_EQ(Base64Decode(Base64Encode(bytes)), bytes) << n;
  }
  EXPECT_EQ(Base64Encode({'M', 'a', 'n'}), "TWFu");
  EXPECT_EQ(Base64Encode({'M', 'a'}), "TWE=");
}

}  // namespace

// The host's window and the control's property page, as they show a loaded GIF: no caption needs
// more room than its control has, and the page's pictures lie beside the check boxes, not over them.
TEST_F(ControlHostTest, CaptionsFitAndThePagesPicturesLeaveTheCheckBoxesFree) {
  gifw::Gif g = gifw::Screen(60, 40, {255, 0, 0, 0, 0, 255});
  g.images = {gifw::Solid(0, 0, 60, 40, 0), gifw::Solid(10, 10, 20, 20, 1)};
  const std::string gif = Scratch("gifs") + "/fit.gif";
  gifw::WriteFile(gif, gifw::Encode(g));
  auto form = MakeForm<ControlHostForm>(kProgId);
  form->Show();
  form->LoadFile(gif);
  EXPECT_EQ(fit::CutCaptions(*form), std::vector<std::string>{});
  bool shown = false;
  auto previous = SetPropertyFramePresenter([&](QDialog& frame, OAHWND) {
    shown = true;
    // Shown, so that the frame's and the page's layouts place what they hold.
    frame.show();
    EXPECT_EQ(fit::CutCaptionsShown(frame), std::vector<std::string>{});
    bool picture = false;
    for (QWidget* w : frame.findChildren<QWidget*>())
      if (w->objectName().startsWith("Image") && w->isVisible()) picture = true;
    EXPECT_TRUE(picture) << "the page shows the loaded GIF";
    for (const char* check : {"chkAutoSize", "chkAutoPlay"}) {
      auto* box = frame.findChild<QWidget*>(check);
      EXPECT_TRUE(box) << check;
      if (!box) continue;
      const QRect boxRect(box->mapTo(&frame, QPoint(0, 0)), box->size());
      for (QWidget* w : frame.findChildren<QWidget*>()) {
        if (!w->objectName().startsWith("Image") || !w->isVisible()) continue;
        const QRect picture(w->mapTo(&frame, QPoint(0, 0)), w->size());
        EXPECT_FALSE(picture.intersects(boxRect)) << w->objectName().toStdString() << " over " << check;
      }
    }
    frame.findChild<QPushButton*>("cancel")->click();
    return false;
  });
  Click(*form, "cmdProperties");
  SetPropertyFramePresenter(previous);
  EXPECT_TRUE(shown);
  form->Unload();
}
