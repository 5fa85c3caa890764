#pragma once
// frmCapture: the "Title Maker". The user loads a movie (one of its frames becomes the
// background) or a picture, types a title in a chosen font and colour over a chosen background
// colour, and saves the slide as a bitmap. The main window reads TitleFileName afterwards.
#include <cstdint>
#include <string>

#include "core/unknown.h"
#include "des/mediadet.h"
#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"

// The path of the last title slide saved; emptied by the opener before the title maker is shown
// and by the close question's No.
extern std::string TitleFileName;

class frmCapture : public Form {
 public:
  frmCapture();

  // Window state.
  double dFrameRate = 0;
  int32_t lFrameCount = 0;
  bool bSliderMoved = false;
  bool bMovieLoaded = false;
  ComPtr<IMediaDet> objMediaDet;
  bool bTitleSaved = false;

  // The frame picture file in the user's temporary folder.
  static std::string FramePictureFile();

  Ctl<Label> lblReadFileName{this, "lblReadFileName"};
  Ctl<PictureBox> picPreview{this, "picPreview"};
  Ctl<PictureBox> picBMP{this, "picBMP"};
  Ctl<Frame> Frame1{this, "Frame1"};
  Ctl<Frame> Frame4{this, "Frame4"};
  Ctl<Slider> ctrlSlider{this, "ctrlSlider"};
  Ctl<Label> lblCurrentFrameValue{this, "lblCurrentFrameValue"};
  Ctl<Label> lblFrameCount{this, "lblFrameCount"};
  Ctl<Label> lblCurrentTimeValue{this, "lblCurrentTimeValue"};
  Ctl<Label> lblBackColor{this, "lblBackColor"};
  Ctl<TextBox> Text1{this, "Text1"};
  Ctl<Label> Label4{this, "Label4"};
  Ctl<CheckBox> Check1{this, "Check1"};
  Ctl<CheckBox> Check2{this, "Check2"};
  Ctl<Label> Label6{this, "Label6"};
  Ctl<Label> Label7{this, "Label7"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<TimerControl> tmrTimer{this, "tmrTimer"};
  Ctl<CommonDialog> ctrlCommonDialog{this, "ctrlCommonDialog"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};
  Ctl<CommonDialog> CommonDialog2{this, "CommonDialog2"};

 protected:
  void Design() override;

 private:
  void Form_Load();
  void Form_QueryUnload();
  void LoadSourceFile();
  void SetupFrameSlider(double seconds, double rate);
  void SliderScroll();
  void RefreshFrame();
  void SetTitleText();
  void SaveTitleSlide();
  // Writes the target box's image to path by way of a finished file beside it; on failure tells
  // the user, leaves any old file as it was and answers false.
  bool WriteSlide(PictureBox& box, const std::string& path);
  void ShowSavedSlide();
  PictureBox& TitleTarget();
  void WriteFrame(double seconds);
};
