#pragma once
// The multi-select file browser's core: a borderless window captioned "Open" with a drive list,
// a folder list, a file list with extended selection, a file-type chooser, OK, Cancel, "X", a
// Network button, and a strip with a hint text that drags the window. It only lets the user
// choose; its opener reads bNoCancel and the lists after the modal show and then unloads it.
//
// One source for every program that has such a browser: the main program's frmBrowse and the
// batch encoder's picker derive from it (their own placement, OK button, extra controls).
// It uses the platform only (forms, shell), nothing of the main program.
#include <cstdint>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/picture.h"
#include "forms/wzpanel.h"

class BrowseCore : public Form {
 public:
  // The two file-type entries and the patterns they apply.
  static constexpr const char* kMultimediaEntry =
      "Multimedia (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.wmv;*.bmp;*.jpg;*.gif)";
  static constexpr const char* kMultimediaPattern = "*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.wmv;*.bmp;*.jpg;*.gif";
  static constexpr const char* kAllFilesEntry = "All Files (*.*)";
  static constexpr const char* kAllFilesPattern = "*.*";

  // True after OK (or a double click on a file), False after Cancel or "X".
  bool bNoCancel = false;

  Ctl<WzPanel> Panel1{this, "Panel1"};
  Ctl<WzPanel> Panel2{this, "Panel2"};
  Ctl<Label> Label4{this, "Label4"};
  Ctl<TextBox> Text1{this, "Text1"};
  Ctl<FileListBox> File1{this, "File1"};
  Ctl<ComboBox> Combo1{this, "Combo1"};
  Ctl<Label> lbPath{this, "lbPath"};
  Ctl<DirListBox> Dir1{this, "Dir1"};
  Ctl<DriveListBox> Drive1{this, "Drive1"};
  Ctl<CheckBox> Check1{this, "Check1"};

 protected:
  // okButton: the name of the OK button ("Command1", "cmdOK"); panelWidth and panelHeight:
  // Panel1's size, which sets the window's.
  BrowseCore(const std::string& formName, std::string okButton, int32_t panelWidth, int32_t panelHeight);

  void Design() override;
  // The controls of a fuller form, placed after the core's.
  virtual void DesignExtras() {}
  // The strip's picture (the empty picture by default).
  virtual Picture StripPicture() { return Picture(); }
  // Load step 2: where the window opens.
  virtual void PlaceWindow() = 0;
  // OK and a double click on a file.
  virtual void Confirm();
  // Closes as Cancel ("Cancel", "X").
  void Dismiss();

 private:
  void Form_Load();
  void Drive1_Change();
  std::string okButton_;
  int32_t panelWidth_, panelHeight_;
  bool restoringDrive_ = false;
};
