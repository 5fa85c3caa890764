#include "mainwindow/frmSplash.h"

#include <iterator>
#include <string>

#include "core/msgbox.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/picture.h"
#include "mainwindow/modMain.h"

extern const unsigned char kSplashPicture[];
extern const size_t kSplashPictureSize;

namespace {
// The design size: the window is centred by it, then takes the picture's width.
constexpr int32_t kDesignWidth = 5850;
constexpr int32_t kDesignHeight = 3075;
}  // namespace

const char* const frmSplash::kFailureTitle = "Windows COM Object Failure";

std::string frmSplash::FailureQuestion() {
  return "The Microsoft DirectX version 8 engine or an ActiveX component has failed to initialize.\r\n"
         "Do you want to end this program now? (Press ''No'' to wait 15 more seconds.)";
}

std::string frmSplash::FailureExplanation() {
  const std::string lines[] = {
      "The most likely cause of this error is Microsoft DirectX.",
      "Microsoft DirectX version 8 must be installed, repaired or reinstalled",
      "on your computer or this application will not operate.",
      "",
      "See DirectX help for information about diagnosing DirectX problems.",
      "There is also a less likely possibility of a missing, unregistered or incorrect",
      "version of an ActiveX component.",
      "If you have just installed this product, open the install.log in the",
      "installation folder and look for any objects that failed to register",
      "during the installation.",
      "",
      std::string("If the problem remains, please contact technical support at ") + kSupportMailAddress + ".",
  };
  std::string text;
  for (size_t i = 0; i < std::size(lines); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

frmSplash::frmSplash() : Form("frmSplash") {
  On("Form_Load", [this] { Form_Load(); });
  On("Timer2_Timer", [this] { Timer2_Timer(); });
}

void frmSplash::Design() {
  Caption("Reelwright");
  BorderStyle(vbBSNone);
  Size(kDesignWidth, kDesignHeight);
  StdFont version;
  version.Name = "MS Sans Serif";
  version.Size = 12;
  version.Bold = true;
  Place({
      {"PictureBox", "Picture1", -1, "", 0, 0, 5715, 3075, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "Label1", -1, "Picture1", 1500, 1440, 4000, 255, "Join, trim and title your movies.",
       {{"BackStyle", Variant(int16_t{0})}, {"ForeColor", Variant(int32_t{0xF0E6E6})}}},
      {"Label", "Label2", 0, "Picture1", 2715, 2730, 2900, 315, "Version 4.2.2",
       {{"BackStyle", Variant(int16_t{0})}, {"ForeColor", Variant(int32_t{0x000000})},
        {"Alignment", Variant(int16_t{1})}},
       version},
      {"Label", "Label2", 1, "Picture1", 2700, 2730, 2900, 315, "Version 4.2.2",
       {{"BackStyle", Variant(int16_t{0})}, {"ForeColor", Variant(int32_t{0x0000FF})},
        {"Alignment", Variant(int16_t{1})}},
       version},
      {"Timer", "Timer2", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{15000})}}},
  });
  Picture1->SetPicture(LoadPictureData(kSplashPicture, kSplashPictureSize));
}

void frmSplash::Form_Load() {
  Picture1->ScaleMode(vbTwips);
  ScaleMode(vbTwips);
  Top(Screen().Height() / 2 - Height() / 2);
  Left(Screen().Width() / 2 - Width() / 2);
  const std::string version = "Version: " + std::to_string(App().Major) + "." + std::to_string(App().Minor) + "." +
                              std::to_string(App().Revision);
  Label2(0).Caption(version);
  Label2(1).Caption(version);
  Label2(1).ZOrder(0);
}

void frmSplash::Timer2_Timer() {
  Form* show = MainWindow();
  if (show && show->IsLoaded() && show->Visible()) {
    Unload();
    return;
  }
  if (MsgBox(FailureQuestion(), vbYesNo + vbCritical, std::string(kFailureTitle)) == vbNo) return;
  MsgBox(FailureExplanation(), vbOKOnly + vbCritical, std::string(kFailureTitle));
  End();
}
