#include "windows/frmDivx.h"

#include "forms/app.h"

bool DivxMessageHidden = false;

namespace {

StdFont NoticeFont(bool bold) {
  StdFont f;
  f.Name = "MS Sans Serif";
  f.Size = 9.75f;
  f.Bold = bold;
  return f;
}

}  // namespace

frmDivx::frmDivx() : Form("frmDivx") {
  On("Form_Load", [this] {
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
  });
  On("Check1_Click", [this] { DivxMessageHidden = Check1->Value() == vbChecked; });
  On("Command1_Click", [this] { Unload(); });
}

void frmDivx::Design() {
  Caption("DivX to MPEG Conversion");
  BorderStyle(vbFixedDouble);
  Size(6300, 3540);
  Place({
      {"Label", "Label2", -1, "", 240, 180, 5700, 255, "The new, repaired file: ", {}, NoticeFont(false)},
      {"Label", "Label1", -1, "", 240, 480, 5700, 495, "", {{"WordWrap", Variant(true)}}, NoticeFont(false)},
      {"Label", "Label3", -1, "", 240, 1020, 5700, 255, "will replace the original in your storyboard.", {},
       NoticeFont(false)},
      {"Label", "Label4", -1, "", 240, 1380, 5700, 15, "", {{"BackColor", Variant(int32_t{0x808080})}},
       NoticeFont(false)},
      {"Label", "Label5", -1, "", 240, 1500, 5700, 735,
       "If the repaired file generates an error or does not play, try repairing it with VirtualDub from the main "
       "menu.",
       {{"WordWrap", Variant(true)}}, NoticeFont(true)},
      {"CheckBox", "Check1", -1, "", 240, 2400, 3900, 300, "Don't show this screen in the future.",
       {{"Visible", Variant(false)}, {"Value", Variant(int16_t{0})}}},
      {"CommandButton", "Command1", -1, "", 4620, 2400, 1335, 435, "OK",
       {{"Default", Variant(true)}, {"Cancel", Variant(true)}}},
  });
}
