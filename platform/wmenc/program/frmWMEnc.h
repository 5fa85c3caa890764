#pragma once
// The encoder program's window: the five configuration pages in one property-page shell, Start,
// Stop and Exit, and the statistics page below. A library of its own so that tests drive it in
// process.
#include "com/com.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "wmenc/wmenc.h"

class frmWMEnc : public Form {
 public:
  frmWMEnc();

 protected:
  void Design() override;

 private:
  Ctl<CommandButton> cmdStart{this, "cmdStart"};
  Ctl<CommandButton> cmdStop{this, "cmdStop"};

  IDispatch* ShellOf(const char* name);
  void FormLoad();
  void StartClick();
  void ShowState();
  // Closing stops a run and waits (messages processed) until the file is complete.
  void Close();

  ComPtr<IWMEncoder> encoder_;
};
