#pragma once
// "Kilnqueue": the batch encoder's main window: the queue, the run, the drop-file hand-off,
// the batch list file and the timed session.
#include <memory>
#include <string>

#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "modKilnhand.h"

class FrmKilnhandIn : public Form {
 public:
  FrmKilnhandIn();

  std::string sDefaultProfile;
  // The queue's procedures.
  void FillCombo();
  void Populate_List(const std::string& InputFile, std::string& OutputFile, const std::string& Profile,
                     int16_t& hResult);
  void CmdStart_Click();
  void CmdStop_Click();
  // A run is under way (the idle test of the drop file is CmdAdd's Enabled state).
  bool Running() const { return running_; }

  Ctl<ListView> LvwKilnhand{this, "LvwKilnhand"};
  Ctl<ComboBox> CmbProfile{this, "CmbProfile"};
  Ctl<StatusBar> StaEncoderStat{this, "StaEncoderStat"};
  Ctl<PictureBox> picButtons{this, "picButtons"};
  Ctl<CommandButton> CmdAdd{this, "CmdAdd"};
  Ctl<CommandButton> cmdMultiAdd{this, "cmdMultiAdd"};
  Ctl<CommandButton> CmdRemove{this, "CmdRemove"};
  Ctl<CommandButton> CmdRemoveAll{this, "CmdRemoveAll"};
  Ctl<CommandButton> CmdClearResults{this, "CmdClearResults"};
  Ctl<CommandButton> CmdSave{this, "CmdSave"};
  Ctl<CommandButton> CmdLoad{this, "CmdLoad"};
  Ctl<CommandButton> CmdStart{this, "CmdStart"};
  Ctl<CommandButton> CmdStop{this, "CmdStop"};
  Ctl<CommandButton> CmdExit{this, "CmdExit"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<ListBox> lstHour{this, "lstHour"};
  Ctl<ListBox> lstMinute{this, "lstMinute"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<Label> lblSysTime{this, "lblSysTime"};
  Ctl<Label> lblTimerStatus{this, "lblTimerStatus"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<TimerControl> Timer2{this, "Timer2"};
  Ctl<TimerControl> Timer3{this, "Timer3"};
  Ctl<CommonDialog> DlgBat{this, "DlgBat"};

 protected:
  void Design() override;

 private:
  void FormLoad();
  void Timer3_Timer();
  void FormQueryUnload(int16_t& Cancel, int16_t UnloadMode);
  void CmdExit_Click();
  void CmdAdd_Click();
  void cmdMultiAdd_Click();
  void CmdRemove_Click();
  void CmdRemoveAll_Click();
  void CmdClearResults_Click();
  void CmdSave_Click();
  void CmdLoad_Click();
  void LvwKilnhand_Click();
  void FormResize();
  void Command1_Click();
  void Timer1_Timer();
  void Timer2_Timer();
  void ProcessInput(IWMEncoder* encoder, const std::string& InputFile, const std::string& OutputFile,
                    const std::string& Profile, int32_t& hResult);
  void GetProfile(const std::string& Profile, IWMEncProfileCollection* PrfCol, IWMEncSourceGroup* SrcGrp,
                  int16_t& hResult);
  void RowsAdded();
  void SelectFirstRow();
  void EndSession();
  void SelectNextHour();
  std::string Countdown(bool* startNow);
  // Stops a run and waits (messages processed, at most 10 s) for the file to be complete.
  void StopAndWait();

  ComPtr<IWMEncoder> Encoder;
  std::unique_ptr<kilnhand::EncoderEvents> events_;
  int32_t lStopCode = 0;
  bool bTimedSession = false;
  bool running_ = false;
  bool stopped_ = false;   // Stop (or a close) ended the run
  bool closing_ = false;   // the window went away during the run
  int32_t lStartNumber = 0;
  int32_t currentRow_ = 0;  // the row the run encodes
  kilnhand::DropFileTaker taker_;
};

FrmKilnhandIn& TheMainWindow();

// The program's start: loads the main window (a command-line run happens inside its load) and
// shows it, unless the window was closed during that load; the program then ends as after any
// close, with no window shown again.
void StartMainWindow(FrmKilnhandIn& main);
