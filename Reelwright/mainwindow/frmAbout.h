#pragma once
// frmAbout: the about box: the product's logo, the program's version, a warning against copying,
// the ownership notice (a click mails the maker) and "Check for Update" (the support page).
#include <string>

#include "forms/controls.h"
#include "forms/form.h"

class frmAbout : public Form {
 public:
  frmAbout();

  // "Version: " & major & "." & minor & "." & revision, plain decimal numbers.
  static std::string VersionLine(int major, int minor, int revision);

  Ctl<PictureBox> Picture1{this, "Picture1"};
  Ctl<Label> Label1{this, "Label1"};
  Ctl<PictureBox> Picture2{this, "Picture2"};
  Ctl<Label> lblDisclaimer{this, "lblDisclaimer"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<CommandButton> Command1{this, "Command1"};

 protected:
  void Design() override;

 private:
  void Form_Load();
};
