#pragma once
// frmDuration: the "Change Duration" window, where the user picks how many seconds (1 to 60) the
// selected still picture is shown. OK stores the choice in ChosenClipDuration; the window records
// whether this showing ended with OK, so that a close by the title bar applies nothing.
#include <cstdint>

#include "forms/controls.h"
#include "forms/form.h"

// The seconds chosen by the last OK (0: none selected); 0 when the program starts.
extern int32_t ChosenClipDuration;

class frmDuration : public Form {
 public:
  frmDuration();
  // Whether the last showing ended with OK (false after a close by the title bar). The
  // "Change Duration" command gives ChosenClipDuration to the tile only then.
  bool OkPressed() const { return okPressed_; }

  Ctl<ListBox> lstDelay{this, "lstDelay"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<CommandButton> Command1{this, "Command1"};

 protected:
  void Design() override;

 private:
  bool okPressed_ = false;
};
