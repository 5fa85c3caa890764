#pragma once
// frmPreview: the modal preview player. It plays one movie file through a filter graph whose
// video window is embedded in the window, with play, pause, stop, volume, balance, three rates,
// elapsed time and length, and "Add to Storyboard", which puts the file on the main window's
// storyboard as a new tile.
#include <cstdint>
#include <string>

#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"

class frmPreview : public Form {
 public:
  frmPreview();

  // Opens the file in a new graph, embeds its video, applies volume, balance and rate, shows the
  // length and plays it. A file that cannot be played gives "Error the file is empty." and the
  // window unloads; FileOpen itself returns normally.
  void FileOpen(std::string& sPassedFileName);

  std::string sFileName;
  double dDuration = 0;
  double dStartPosition = 0;
  double dPlaybackRate = 0;
  bool bPlaying = false;
  ComPtr<IMediaControl> objMediaControl;
  ComPtr<IBasicAudio> objBasicAudio;
  ComPtr<IVideoWindow> objVideoWindow;
  ComPtr<IMediaEvent> objMediaEvent;
  ComPtr<IMediaPosition> objMediaPosition;

  // Whether an Options/ActiveWindow value names the small (320 x 240) preview: "320X240" in any
  // letter case, with or without blanks around the "x".
  static bool IsSmallPreviewSize(const std::string& activeWindow);

  Ctl<PictureBox> picVideoWindow{this, "picVideoWindow"};
  Ctl<PictureBox> Picture1{this, "Picture1"};
  Ctl<PictureBox> Picture2{this, "Picture2"};
  Ctl<CommandButton> cmdPlay{this, "cmdPlay"};
  Ctl<CommandButton> cmdPause{this, "cmdPause"};
  Ctl<CommandButton> cmdStop{this, "cmdStop"};
  Ctl<Slider> slVolume{this, "slVolume"};
  Ctl<Slider> slBalance{this, "slBalance"};
  Ctl<TextBox> txtDuration{this, "txtDuration"};
  Ctl<TextBox> txtElapsed{this, "txtElapsed"};
  Ctl<TextBox> txtRate{this, "txtRate"};
  CtlArray<OptionButton> optPlaybackRate{this, "optPlaybackRate"};
  Ctl<Label> Label3{this, "Label3"};
  Ctl<Label> Label5{this, "Label5"};
  Ctl<Menu> mnuControls{this, "mnuControls"};
  Ctl<TimerControl> tmrTimer{this, "tmrTimer"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Form_Resize();
  void Play();
  void PauseGraph();
  void StopGraph();
  void Cleanup();
  void Tick();
  void SetRate(int16_t index);
  void ToggleView();
  void OpenFromMenu();
  void AddToStoryboard();
  void Exit();
  void Centre();
  int32_t VideoWidth();
  int32_t VideoHeight();
};
