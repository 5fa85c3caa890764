#include "mainwindow/frmAbout.h"

#include <cstddef>

#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/picture.h"

// The logo, drawn at build time (make_splash).
extern const unsigned char kAboutLogoPicture[];
extern const size_t kAboutLogoPictureSize;

frmAbout::frmAbout() : Form("frmAbout") {
  On("Form_Load", [this] { Form_Load(); });
  On("Command1_Click", [this] { Unload(); });
  On("Command2_Click", [] { OpenSupportPage(); });
  On("Label1_Click", [] { SendMailToMaker(); });
}

std::string frmAbout::VersionLine(int major, int minor, int revision) {
  return "Version: " + std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(revision);
}

void frmAbout::Design() {
  Caption("About Reelwright");
  BorderStyle(vbFixedDouble);
  Size(5865, 3795);
  Place({
      {"PictureBox", "Picture1", -1, "", 0, 0, 5745, 1815, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "Label1", -1, "", 720, 1860, 4200, 195, "Reelwright is a product of Lumenhall.",
       {{"Alignment", Variant(int16_t{2})}}},
      {"PictureBox", "Picture2", -1, "", 0, 2175, 5745, 1725, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "lblDisclaimer", -1, "Picture2", 120, 180, 3660, 1290,
       "Warning: this program is protected by copyright law. Unauthorized copying or distribution of it, or of "
       "any part of it, may result in severe civil and criminal penalties.",
       {{"WordWrap", Variant(true)}}},
      {"Label", "Label2", -1, "Picture2", 3975, 165, 1635, 210, ""},
      {"CommandButton", "Command2", -1, "Picture2", 3930, 495, 1725, 540, "Check for Update",
       {{"ToolTipText", Variant(std::string("Check for update..."))}}},
      {"CommandButton", "Command1", -1, "Picture2", 3930, 1065, 1725, 540, "OK",
       {{"ToolTipText", Variant(std::string("Close"))}, {"Default", Variant(true)}, {"Cancel", Variant(true)}}},
  });
  Picture1->SetPicture(LoadPictureData(kAboutLogoPicture, kAboutLogoPictureSize));
}

void frmAbout::Form_Load() {
  Width(5865);
  Height(3795);
  Top(Screen().Height() / 2 - Height() / 2);
  Left(Screen().Width() / 2 - Width() / 2);
  Label2->Caption(VersionLine(App().Major, App().Minor, App().Revision));
}
