#pragma once
// frmCompress: the "Video for Windows Compression" window. It recompresses the video stream of
// one AVI file into a new AVI file (video only) with a compressor the user picks in the system's
// compression dialog, shows the save's progress and lets the user cancel it.
#include <string>

#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"

class frmCompress : public Form {
 public:
  frmCompress();

  // The source chosen in the open dialog and the file to write (the save dialog's choice or the
  // name proposed for the source). The text boxes only show them.
  std::string m_sSourceFile;
  std::string m_sTargetFile;

  // The status box's change: the progress bar follows CompressPercent and "%" shows while the
  // box holds a number.
  void txtStatus_Change();

  Ctl<TextBox> Text1{this, "Text1"};
  Ctl<TextBox> Text2{this, "Text2"};
  Ctl<CommandButton> cmdOpenAVIFile{this, "cmdOpenAVIFile"};
  Ctl<CommandButton> Command3{this, "Command3"};
  Ctl<TextBox> txtStatus{this, "txtStatus"};
  Ctl<Label> Label3{this, "Label3"};
  Ctl<ProgressBar> ProgressBar1{this, "ProgressBar1"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<CommandButton> cmdCancelSave{this, "cmdCancelSave"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

 protected:
  void Design() override;

 private:
  void cmdOpenAVIFile_Click();
  void Command3_Click();
  void Command2_Click();
  void EnableCompress();
  bool running_ = false;
};
