#include "options/frmDuration.h"

#include <string>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"

int32_t ChosenClipDuration = 0;

frmDuration::frmDuration() : Form("frmDuration") {
  On("Form_Load", [this] {
    okPressed_ = false;
    lstDelay->Clear();
    for (int i = 1; i <= 60; ++i) lstDelay->AddItem(std::to_string(i));
    lstDelay->Text(std::to_string(DefaultClipDuration));
    Label2->Caption("All other still images in the Storyboard will be unchanged.\r\n\r\nThe default setting for new still "
                    "images is currently set to " +
                    std::to_string(DefaultClipDuration) +
                    " seconds. You may change this in Settings and Preferences from the main menu.");
    Top((Screen().Height() - Height()) / 2);
    Left((Screen().Width() - Width()) / 2);
  });
  On("Command1_Click", [this] {
    const int16_t at = lstDelay->ListIndex();
    ChosenClipDuration = at >= 0 ? CLng(Variant(lstDelay->List(at))) : 0;
    okPressed_ = true;
    Unload();
  });
}

void frmDuration::Design() {
  Caption("Change Duration");
  BorderStyle(vbFixedDouble);
  Size(4515, 3930);
  Place({
      {"Label", "Label1", -1, "", 120, 120, 4155, 615,
       "Click a number between 1 and 60 to set the time in seconds that this Still Frame will be displayed.",
       {{"WordWrap", Variant(true)}}},
      {"ListBox", "lstDelay", -1, "", 120, 840, 1215, 2010, ""},
      {"Label", "Label2", -1, "", 1440, 840, 2835, 2010, "", {{"WordWrap", Variant(true)}}},
      {"CommandButton", "Command1", -1, "", 3060, 3000, 1215, 375, "OK", {{"Default", Variant(true)}}},
  });
}
