#pragma once
// frmSplitter: the movie splitter window (caption "Reelwright"). It opens one movie with the
// media detector, lets the user mark a start and an end frame (slider, markers on a bar, the
// WzTick ruler, frame steps, typed frames), previews the marked frames and renders them through a
// timeline and the smart render engine into a new AVI, which it hands back to the main window.
//
// The window object is made once per run (DefaultForm<frmSplitter>()); its state survives from
// one opening to the next.
#include <cstdint>
#include <string>

#include "core/unknown.h"
#include "des/mediadet.h"
#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/wzpanel.h"

// True once a start or end frame was set by Set Start or Set End; a save clears it, and so does
// the start timer once the window is shown. The close question reads it.
extern bool SelectionUnsaved;

// Where the splitter hands a saved piece back: the main window's sLoadedFileName. The main window
// names its own variable here; until then the splitter keeps one of its own.
void SetLoadedFileNameHolder(std::string* holder);
std::string& LoadedFileNameHolder();

class frmSplitter : public Form {
 public:
  frmSplitter();

  // Opens the movie at the path; a file without a video stream gives the no-video message and
  // leaves error 5 set in Err (the caller then unloads the window). The window then holds no
  // movie (bFileLoaded False): the movie opened before can no longer be marked, previewed or
  // saved; the rest of the state stays as it was.
  void OpenFile(std::string& sPassedFile);
  std::string SetFilter();
  // The frame count of a stream: length (seconds) x rate, to the nearest whole number, halves to even.
  static int32_t FrameCount(double length, double rate);
  // Places the start (end) marker at X, twips on the bar; X receives the snapped position.
  void SetLength(float& X);
  void SetLength2(float& X);

  // Window state.
  bool bCancel = false;
  std::string sTempDirectory;
  bool bAutoButton = false;
  double dFrameRate = 0;
  int32_t lFrameCount = 0;
  std::string sSourceFile;
  bool bFileLoaded = false;
  bool bHasAudio = false;
  ComPtr<IMediaDet> objMediaDet;
  int32_t lStartFrame = 0;
  int32_t lEndFrame = 0;
  bool bSliderMoved = false;
  int32_t lSaveCounter = 0;
  bool bDragStart = false;
  bool bDragEnd = false;
  bool bHideSelected = false;
  bool bStopPreview = true;
  bool bPreviewRunning = false;
  bool bRendering = false;
  // The opened movie's picture size in pixels; 0 when its media type does not tell it.
  int32_t lVideoWidth = 0;
  int32_t lVideoHeight = 0;

  // Handlers reachable for the window's own roads (and for tests that drive them).
  void cmdSelStart_Click();
  void cmdSetStop_Click();
  void cmdStartDown_Click();
  void cmdStartUp_Click();
  void cmdEndDown_Click();
  void cmdEndUp_Click();
  void Command1_Click();
  void Command2_Click();
  void WzTick1_TickClick(int16_t Button, int16_t Index, float X);
  void tmrTimer_Timer();
  void Timer1_Timer();
  void mnuSave_Click();
  void PlayTrimmedPreview();
  void ToolbarClick(const std::string& key);
  void mnuHideSelected_Click();
  // The ruler's automation object (the host's extender).
  IDispatch* Ruler();

  Ctl<Toolbar> Toolbar1{this, "Toolbar1"};
  Ctl<ImageList> ImageList1{this, "ImageList1"};
  Ctl<PictureBox> picTop{this, "picTop"};
  Ctl<CommandButton> cmdPlay{this, "cmdPlay"};
  Ctl<ProgressBar> ctrlProgress{this, "ctrlProgress"};
  Ctl<Label> lblReadFileName{this, "lblReadFileName"};
  Ctl<Label> lblWriteFileName{this, "lblWriteFileName"};
  Ctl<Label> lblPlaybackFileName{this, "lblPlaybackFileName"};
  Ctl<Label> lblFrameNo{this, "lblFrameNo"};
  Ctl<Label> lblCounter{this, "lblCounter"};
  Ctl<PictureBox> picToolCaption{this, "picToolCaption"};
  Ctl<ProgressBar> ProgressBar1{this, "ProgressBar1"};
  Ctl<Label> lblInfo{this, "lblInfo"};
  Ctl<PictureBox> picFPS{this, "picFPS"};
  Ctl<Label> lblFrameCount{this, "lblFrameCount"};
  Ctl<Label> Label8{this, "Label8"};
  Ctl<Label> lblStreams{this, "lblStreams"};
  Ctl<Label> lblStreamsValue{this, "lblStreamsValue"};
  Ctl<Label> lblVideoStream{this, "lblVideoStream"};
  Ctl<Label> lblVideoStreamValue{this, "lblVideoStreamValue"};
  Ctl<Label> lblFPSValue{this, "lblFPSValue"};
  Ctl<WzPanel> pnlPreview{this, "pnlPreview"};
  Ctl<WzPanel> pnlStart{this, "pnlStart"};
  Ctl<WzPanel> pnlEnd{this, "pnlEnd"};
  Ctl<PictureBox> picPreview{this, "picPreview"};
  Ctl<Image> imgPreviewStart{this, "imgPreviewStart"};
  Ctl<Image> imgPreviewStop{this, "imgPreviewStop"};
  Ctl<PictureBox> PositionBar{this, "PositionBar"};
  Ctl<Label> imgSplitter{this, "imgSplitter"};
  Ctl<Label> imgSplitter2{this, "imgSplitter2"};
  Ctl<PictureBox> picSplitter{this, "picSplitter"};
  Ctl<PictureBox> picSplitter2{this, "picSplitter2"};
  Ctl<Label> lblSelected{this, "lblSelected"};
  Ctl<Slider> ctrlSlider{this, "ctrlSlider"};
  Ctl<CommandButton> Command1{this, "Command1"};
  Ctl<CommandButton> Command2{this, "Command2"};
  Ctl<Label> lblCurrentFrameValue{this, "lblCurrentFrameValue"};
  Ctl<Label> lblCurrentTimeValue{this, "lblCurrentTimeValue"};
  Ctl<Label> lblStartFrameValue{this, "lblStartFrameValue"};
  Ctl<Label> lblStartTimeValue{this, "lblStartTimeValue"};
  Ctl<Label> lblStopFrameValue{this, "lblStopFrameValue"};
  Ctl<Label> lblStopTimeValue{this, "lblStopTimeValue"};
  Ctl<Label> Label4{this, "Label4"};
  Ctl<Label> Label5{this, "Label5"};
  Ctl<TextBox> txtStart{this, "txtStart"};
  Ctl<TextBox> txtEnd{this, "txtEnd"};
  Ctl<CommandButton> cmdSelStart{this, "cmdSelStart"};
  Ctl<CommandButton> cmdSetStop{this, "cmdSetStop"};
  Ctl<CommandButton> cmdStartUp{this, "cmdStartUp"};
  Ctl<CommandButton> cmdStartDown{this, "cmdStartDown"};
  Ctl<CommandButton> cmdEndUp{this, "cmdEndUp"};
  Ctl<CommandButton> cmdEndDown{this, "cmdEndDown"};
  Ctl<PictureBox> picStartSlider{this, "picStartSlider"};
  Ctl<PictureBox> picEndSlider{this, "picEndSlider"};
  Ctl<TimerControl> tmrTimer{this, "tmrTimer"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<CommonDialog> ctrlCommonDialog{this, "ctrlCommonDialog"};
  Ctl<Menu> mnuNew{this, "mnuNew"};
  Ctl<Menu> mnuSave{this, "mnuSave"};
  Ctl<Menu> mnuPlay{this, "mnuPlay"};
  Ctl<Menu> mnuHideSelected{this, "mnuHideSelected"};

 protected:
  void Design() override;

 private:
  enum class Outcome { Done, Stopped, Failed, Refused };
  // PlayTrimmedPreview calls under way (a Stop click runs one inside the running preview); a
  // close asked while one is, once the preview is over (its end still lays the window out and
  // processes messages), waits for the outermost to return and then runs.
  int previewCalls_ = 0;
  bool closeAfterPreview_ = false;
  void Form_Load();
  void Form_Resize();
  void Form_QueryUnload(int16_t& Cancel);
  void InitFrameRange(double& dLength, double& dRate);
  double GetCurrentTime();
  void ShowStartFrame();
  void ShowEndFrame();
  void ApplySelection();
  void ScrollHandling();
  void WriteFrame(double t);
  void ShowFrame(int32_t f);
  // The frame picture for t seconds written and shown in picPreview, with pending messages
  // processed between the two when asked.
  void ShowFrameAt(double t, bool pumpAfterWrite = false);
  // Where frame f stands on the position bar (twips); raises 11 while there are no frames.
  float BarPosition(int32_t frame);
  // Dragging a marker (imgSplitter or imgSplitter2) through its stand-in picture box; the end of
  // the drag places the marker with setLength and marks its frame with mark.
  void BeginMarkerDrag(Ctl<Label>& marker, Ctl<PictureBox>& ghost, bool& dragging);
  void EndMarkerDrag(Ctl<Label>& marker, Ctl<PictureBox>& ghost, bool& dragging, void (frmSplitter::*setLength)(float&),
                     void (frmSplitter::*mark)());
  void DragMarker(Ctl<Label>& marker, Ctl<PictureBox>& ghost, float X, bool start);
  void StepStartTo(int32_t s);
  bool SnapToFrame(float& X, double W);
  void ShowMarkPicture(Ctl<Image>& picture);
  bool ReadTypedMark(const Ctl<TextBox>& box, double& value, bool start);
  // The frame picture's file: bitmap.bmp in the temporary folder (76 without one).
  std::string FramePictureFile() const;
  Picture LoadFramePicture();
  // The frame picture's size in pixels: the movie's picture scaled to the largest size that fits
  // inside picPreview, its aspect kept (picPreview's own size while the movie's is unknown).
  void FramePictureSize(LONG& width, LONG& height);
  // The frame picture file shown in picPreview, centred on its back colour.
  void ShowFramePicture();
  // What picPreview shows, for the start or end picture (stretched to a box of its size).
  Picture ShownFramePicture();
  int32_t BarWidth();
  float TickSpace();
  void DisableControls();
  void EnableControls();
  void SetControlsEnabled(bool enabled);
  void RestorePanel();
  void EndPreview();
  // The body of PlayTrimmedPreview: the Stop of a running preview, or a preview from the start
  // to the end frame.
  void StartOrStopPreview();
  void Help();
  void Exit();
  // The save road up to the hand-back; true when a piece was handed back.
  bool SaveRoad();
  Outcome RenderSelection(const std::string& target);
  Button* ToolButton(const std::string& key);
  void SetFrameLabels(int32_t value);
  bool ReadTypedFrame(const Ctl<TextBox>& box, double& value);
  void EndStep(int32_t delta);
};
