#pragma once
// frmDivx: the notice shown after a DivX movie was given a repaired copy: it names the copy,
// says what to do when the copy does not play and lets the user switch the notice off
// (DivxMessageHidden, which the caller stores).
#include "forms/controls.h"
#include "forms/form.h"

// True while the notice's "Don't show this screen in the future." is ticked.
extern bool DivxMessageHidden;

class frmDivx : public Form {
 public:
  frmDivx();

  Ctl<Label> Label1{this, "Label1"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<Label> Label3{this, "Label3"};
  Ctl<Label> Label4{this, "Label4"};
  Ctl<Label> Label5{this, "Label5"};
  Ctl<CheckBox> Check1{this, "Check1"};
  Ctl<CommandButton> Command1{this, "Command1"};

 protected:
  void Design() override;
};
