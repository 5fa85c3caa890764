#include "windows/frmSupport.h"

#include "engine/modGeneral.h"
#include "forms/app.h"
#include "shell/shell.h"
#include "windows/modTutorial.h"

frmSupport::frmSupport() : Form("frmSupport") {
  On("Form_Load", [this] {
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
  });
  // Each opener's outcome is not looked at; the window stays open.
  On("Command2_Click", [] { SendMailToMaker(); });
  On("Command5_Click", [] { OpenSupportPage(); });
  On("Command3_Click", [] {
    if (modTutorial::TutorialExists()) ShellOpen(modTutorial::TutorialPath());
  });
  On("Command4_Click", [this] { Unload(); });
}

void frmSupport::Design() {
  Caption("Customer Support");
  BorderStyle(vbFixedDouble);
  Size(6375, 4335);
  Place({
      {"Image", "Image1", -1, "", 120, 120, 975, 975, ""},
      {"Label", "Label1", -1, "", 1200, 120, 4935, 975,
       "We at Lumenhall want you to get the full functionality of our products and have devised several methods to "
       "help you toward that goal. Please select a button below:",
       {{"WordWrap", Variant(true)}}},
      {"Label", "Label2", 0, "", 120, 1200, 6015, 15, "", {{"BackColor", Variant(int32_t{0x808080})}}},
      {"CommandButton", "Command2", -1, "", 600, 1440, 5055, 435, "Email Technical Support"},
      {"CommandButton", "Command5", -1, "", 600, 1950, 5055, 435, "Customer Support Web"},
      {"CommandButton", "Command3", -1, "", 600, 2460, 5055, 435, "Tutorial"},
      {"CommandButton", "Command1", -1, "", 600, 2970, 5055, 435, "Audi/Visual Forum"},
      {"CommandButton", "Command4", -1, "", 600, 3480, 5055, 435, "E&xit", {{"Cancel", Variant(true)}}},
  });
}
