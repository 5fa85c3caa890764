#pragma once
// The batch encoder's file picker: the multi-select browser with an output frame (root name,
// start number, profile, output folder), remembered output settings and an OK that asks before
// the first output file of the sequence would be replaced.
#include <string>

#include "windows/BrowseCore.h"

class frmBrowse : public BrowseCore {
 public:
  frmBrowse();

  Ctl<TextBox> TxtOutput{this, "TxtOutput"};
  Ctl<TextBox> txtStart{this, "txtStart"};
  Ctl<ComboBox> CmbProfile{this, "CmbProfile"};
  Ctl<TextBox> txtFilePath{this, "txtFilePath"};

  // The output name parts as the main window and OK read them: the root (before the first
  // ".", "Output" when empty) and the extension (from the first ".", ".wmv" when there is none).
  static void SplitOutputName(const std::string& text, std::string* root, std::string* extension);
  // The start number as typed: read as a number, rounded half to even, at least 1.
  static int32_t StartNumber(const std::string& text);
  // The folder with a trailing "/".
  static std::string FolderOf(const std::string& text);

 protected:
  void DesignExtras() override;
  void PlaceWindow() override;
  void Confirm() override;

 private:
  void LoadProfiles();
};

frmBrowse& ThePicker();
