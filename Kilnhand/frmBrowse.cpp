#include "frmBrowse.h"

#include <sys/stat.h>

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "forms/app.h"
#include "modKilnhand.h"
#include "modProfiles.h"
#include "registry/settings.h"

using namespace kilnhand;

frmBrowse::frmBrowse() : BrowseCore("frmBrowse", "cmdOK", 9630, 6615) {
  On("TxtOutput_LostFocus", [this] {
    if (TxtOutput->Text() != GetSetting(kSettingsApp, kSettingsSection, "FileName", "Output")) txtStart->Text("1");
  });
  On("txtStart_LostFocus", [this] {
    const std::string t = txtStart->Text();
    if (!IsNumeric(Variant(t)) || Val(t) < 1) {
      MsgBox("Please enter a positive numeric value.", vbOKOnly);
      txtStart->Text("1");
      txtStart->SetFocus();
    }
  });
  On("CmdBrowse_Click", [this] {
    try {
      std::string path = kilnhand::BrowseForFolder(static_cast<uint32_t>(hWnd()), "Please select a folder.");
      struct stat st {};
      if (!path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) txtFilePath->Text(path);
    } catch (const VBError&) {
    }
  });
  On("Form_Unload", [this](int16_t&) {
    if (!TxtOutput->Text().empty()) SaveSetting(kSettingsApp, kSettingsSection, "FileName", TxtOutput->Text());
    if (!txtFilePath->Text().empty()) SaveSetting(kSettingsApp, kSettingsSection, "FilePath", txtFilePath->Text());
    if (!CmbProfile->Text().empty()) SaveSetting(kSettingsApp, kSettingsSection, "Profile", CmbProfile->Text());
  });
}

void frmBrowse::DesignExtras() {
  Place({
      {"Frame", "Frame1", -1, "Panel1", 120, 5085, 9390, 1410, "Output File"},
      {"Label", "LblOutput", -1, "Frame1", 120, 330, 1035, 255, "Root Name:"},
      {"TextBox", "TxtOutput", -1, "Frame1", 1200, 285, 2175, 315, "Output"},
      {"Label", "Label7", -1, "Frame1", 3480, 330, 555, 255, "Start:"},
      {"TextBox", "txtStart", -1, "Frame1", 4080, 285, 735, 315, "1"},
      {"Label", "LblProfile", -1, "Frame1", 4920, 330, 855, 255, "&Profile :"},
      {"ComboBox", "CmbProfile", -1, "Frame1", 5820, 285, 3435, 315, ""},
      {"Label", "Label6", -1, "Frame1", 120, 855, 1035, 255, "File Path:"},
      {"TextBox", "txtFilePath", -1, "Frame1", 1200, 810, 6615, 315, ""},
      {"CommandButton", "CmdBrowse", -1, "Frame1", 7920, 795, 1335, 345, "Browse"},
  });
}

void frmBrowse::PlaceWindow() {
  Left((Screen().Width() - Width()) / 2);
  Top((Screen().Height() - Height()) / 2);
  Step([&] { TxtOutput->Text(GetSetting(kSettingsApp, kSettingsSection, "FileName", "Output")); });
  Step([&] { txtFilePath->Text(GetSetting(kSettingsApp, kSettingsSection, "FilePath", ProgramFolder())); });
  Step([&] { CmbProfile->Text(GetSetting(kSettingsApp, kSettingsSection, "Profile", kLanProfile)); });
  Step([&] { LoadProfiles(); });
}

void frmBrowse::LoadProfiles() {
  Left((Screen().Width() - Width()) / 2);
  Top((Screen().Height() - Height()) / 2);
  try {
    FillProfileList(*CmbProfile);
  } catch (const VBError& e) {
    MsgBox("Error Getting Profiles of Encoder", vbCritical, "Error-" + std::to_string(e.Number()));
  }
}

void frmBrowse::SplitOutputName(const std::string& text, std::string* root, std::string* extension) {
  size_t dot = text.find('.');
  *root = dot == std::string::npos ? text : text.substr(0, dot);
  if (root->empty()) *root = "Output";
  *extension = dot == std::string::npos ? ".wmv" : text.substr(dot);
}

int32_t frmBrowse::StartNumber(const std::string& text) {
  int32_t n = 1;
  Step([&] { n = CLng(Variant(Val(text))); });
  return n < 1 ? 1 : n;
}

std::string frmBrowse::FolderOf(const std::string& text) {
  return !text.empty() && text.back() == '/' ? text : text + "/";
}

void frmBrowse::Confirm() {
  bNoCancel = true;
  std::string root, extension;
  SplitOutputName(TxtOutput->Text(), &root, &extension);
  const std::string first = FolderOf(txtFilePath->Text()) + root + std::to_string(StartNumber(txtStart->Text())) + extension;
  struct stat st {};
  if (stat(first.c_str(), &st) == 0) {
    if (MsgBox("A file named " + first + " already exists.\r\nDo you want to replace it and all other files in this "
               "sequence?",
               vbYesNo) != vbYes)
      return;
  }
  BrowseCore::Confirm();
}

frmBrowse& ThePicker() {
  // Lives as long as the program, past the forms runtime's own end.
  static frmBrowse* picker = MakeForm<frmBrowse>().release();
  return *picker;
}
