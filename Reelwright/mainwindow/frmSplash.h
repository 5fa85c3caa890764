#pragma once
// frmSplash: the splash window shown while the program starts. Its picture is stored with the
// window; its version line names the program's version; its watchdog timer (15 s) unloads it once
// the main window is visible and otherwise offers to end the program.
#include "forms/controls.h"
#include "forms/form.h"

class frmSplash : public Form {
 public:
  frmSplash();

  Ctl<PictureBox> Picture1{this, "Picture1"};
  CtlArray<Label> Label2{this, "Label2"};
  Ctl<Label> Label1{this, "Label1"};
  Ctl<TimerControl> Timer2{this, "Timer2"};

  // Texts of the watchdog's boxes.
  static const char* const kFailureTitle;
  static std::string FailureQuestion();
  static std::string FailureExplanation();

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Timer2_Timer();
};
