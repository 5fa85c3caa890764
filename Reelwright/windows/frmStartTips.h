#pragma once
// frmStartTips: the tips window ("Tips and Tricks") the main window shows while it starts. It
// shows one of nineteen tips, at random, steps through them without wrapping around, opens the
// tutorial, and stores whether it is shown at the next start (Init/StartTips "Show" or "Hide").
#include <cstdint>
#include <string>
#include <vector>

#include "forms/controls.h"
#include "forms/form.h"

class frmStartTips : public Form {
 public:
  frmStartTips();

  // The tips, tip 1 first.
  static const std::vector<std::string>& Tips();
  // The tip shown, 1 to 19.
  int16_t TipNumber() const { return tip_; }

  Ctl<Label> Label1{this, "Label1"};
  Ctl<Label> Label2{this, "Label2"};
  CtlArray<Label> Label3{this, "Label3"};
  Ctl<CheckBox> Check1{this, "Check1"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void ShowTip();
  void StoreChoice();
  int16_t tip_ = 0;
};
