#pragma once
// frmShow: the storyboard main window. It holds the column of clip tiles (the control array
// ctrlSourceClip of hosted Tilecard.MediaClip controls, read and written late bound by dispatch
// identifier), the selected clip's preview pane, the clip list, the menus and the toolbar.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/unknown.h"
#include "des/timeline.h"
#include "dshow/interfaces.h"
#include "engine/IStreamResize.h"
#include "forms/activex.h"
#include "forms/comctl.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/wzpanel.h"
#include "mainwindow/PictureEditor.h"

// The storyboard's editing objects, made when the main window is initialised.
extern ComPtr<IAMTimeline> StoryboardTimeline;
extern ComPtr<IRenderEngine> StoryboardRenderEngine;
// Flags a running join or joined preview polls; the close request sets both.
extern bool RenderCancelRequested;
extern bool PreviewStopRequested;
// The transition names of the filled tiles, collected by a join or a joined preview for the
// transition builder (entry i = tile i's Transition; grows and keeps stale entries).
extern std::vector<std::string> ClipTransitions;
// The joined preview's pause and resume requests (set by its buttons, polled by its loop).
extern bool PreviewPaused;
extern bool PreviewResumeRequested;
// The joined preview's objects and the code of its last wait for completion (1: completed); they
// outlive one call of PlayTimeline, so that a call without a timeline can release them.
struct JoinedPreview {
  LONG eventCode = 0;
  ComPtr<IRenderEngine> engine;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  ComPtr<IVideoWindow> videoWindow;
  ComPtr<IMediaPosition> position;
  ComPtr<IMediaPosition> secondPosition;
};
extern JoinedPreview JoinedPreviewState;
// Kept by the preview pane's DivX check: the file in the tile is a repaired copy of this one.
extern bool DivxConverted;
extern std::string DivxOriginalFile;

// Dispatch identifiers of the clip tile and of its container's extender.
namespace tile {
constexpr DISPID kAllowDragDrop = 0x68030000;
constexpr DISPID kShowTransitions = 0x68030001;
constexpr DISPID kEnabled = 0x68030002;
constexpr DISPID kTransition = 0x68030004;
constexpr DISPID kClipNumber = 0x68030005;
constexpr DISPID kMediaType = 0x68030006;
constexpr DISPID kDuration = 0x68030007;
constexpr DISPID kMediaFile = 0x6803000A;
constexpr DISPID kBorderColor = 0x6803000D;
constexpr DISPID kTop = static_cast<DISPID>(0x80010004);
constexpr DISPID kHeight = static_cast<DISPID>(0x80010006);
constexpr DISPID kVisible = static_cast<DISPID>(0x80010007);
constexpr int32_t kNormalBorder = 0x404040;
constexpr int32_t kTargetBorder = 0xFF0000;
}  // namespace tile

class frmShow : public Form {
 public:
  frmShow();
  ~frmShow() override;

  // Public members, in the window's slot order.
  bool m_boolEnableDragDrop = false;
  std::string sLoadedFileName;
  bool bShowErrors = false;
  bool bShowMaker = false;
  bool bStreamSizeErr = false;
  ComPtr<IStreamResize> gobjStreamSize;
  bool CheckFile(const std::string& loadedFileName);
  void DeleteClip(int16_t Index);
  void FillHeightWidthCombo();
  void LoadToolBar();
  void ReloadFile(const std::string& bstrFileName);
  void ShowHideToolbar(bool bShowOrHide);
  void ctrlSourceClip_ImportFile(int16_t Index, std::string& bstrFileName, bool& Cancel);
  void LoadFile();
  void mnuDelete_Click();

  // Commands other windows and the toolbar reach.
  void cmdExit_Click();
  void cmdStop_Click();
  void mnuNew_Click();
  void mnuOpen_Click();
  void mnuSaveProject_Click();
  void mnuImport_Click();
  void mnuMoveUp_Click();
  void mnuMoveDown_Click();
  void mnuLoadNew_Click();
  void ctrlSourceClip_Click(int16_t Index);
  void ctrlSourceClip_MenuClick(int16_t Index);
  void ctrlSourceClip_MediaError(int16_t Index);
  void RefreshClipList();
  void SetControlState(bool bEnable, bool bAllowDragDrop, bool bEnableExit);

  // Tile access by dispatch identifier (element `index` of ctrlSourceClip).
  Variant TileGet(int16_t index, DISPID id);
  void TilePut(int16_t index, DISPID id, const Variant& value);
  std::string TileFile(int16_t index);
  int16_t TileUBound();

  // The preview pane, picture editing and the menus that open windows and start programs
  // (frmShowPane.cpp).
  void cmdPlayLoaded_Click();
  void cmdPause_Click();
  void tmrTimer_Timer();
  void txtDuration_Change();
  void txtElapsed_Change();
  void lblFileName_Change();
  void cmdSplit_Click();
  void mnuEdit_Click();
  void Image2_DblClick();
  void Picture2_DblClick();
  void EditPicture(std::string& file, std::string& editor);
  void Timer1_Timer();
  void mnuBatch_Click();
  void mnuCapture_Click();
  void mnuTitleMaker_Click();
  void mnuVirtualDub_Click();
  void mnuMoviePreview_Click();
  void mnuGenHelp_Click();
  void mnuSupport_Click();
  void mnuAbout_Click();
  void mnuOptions_Click();
  void mnuSettings_Click();
  void mnuSplitter_Click();
  void mnuDuration_Click();
  // Gives the options windows this window's frame sizes, drag-and-drop flag and toolbar.
  void InstallOptionsServices();
  static const char* const kPortraitNotice;
  static const char* const kCaptureDownloadAddress;
  static std::string CaptureMissingMessage();
  // How long the capture command waits for the capture tool's window.
  static constexpr double kCaptureWaitSeconds = 30.0;
  int32_t PreviewVideoWidth = 0;
  int32_t PreviewVideoHeight = 0;
  std::string EditorWindowTitle;

  // Form-level state.
  bool ProjectChanged = false;
  int32_t StoryboardTileCounter = 0;
  int32_t SelectedClipIndex = 0;
  int16_t MenuClipIndex = 0;
  int32_t StoryboardScrollOffset = 0;
  ComPtr<IMediaControl> PreviewPaneGraph;
  ComPtr<IVideoWindow> PreviewPaneVideoWindow;
  ComPtr<IMediaEvent> PreviewPaneEvents;
  ComPtr<IMediaPosition> PreviewPanePosition;
  double PreviewPaneDuration = 0;
  double PreviewPaneStartPosition = 0;
  double PreviewPaneRate = 0;
  bool PreviewPanePlaying = false;
  // Counts BorderColor writes made by the drag highlight (for the window's own checks).
  int64_t borderWrites = 0;

  // The options window's frame-size box FillHeightWidthCombo fills (set by that window).
  ComboBox* frameSizeBox = nullptr;

  // Controls.
  Ctl<Toolbar> Toolbar1{this, "Toolbar1"};
  Ctl<ImageList> ImageList1{this, "ImageList1"};
  Ctl<WzPanel> pnlStoryBoard{this, "pnlStoryBoard"};
  CtlArray<ActiveXHost> ctrlSourceClip{this, "ctrlSourceClip"};
  Ctl<VScrollBar> VScroll1{this, "VScroll1"};
  Ctl<PictureBox> picTop{this, "picTop"};
  Ctl<Label> lblFileName{this, "lblFileName"};
  Ctl<ProgressBar> ctrlProgress{this, "ctrlProgress"};
  Ctl<PictureBox> picPrev{this, "picPrev"};
  Ctl<Image> Image2{this, "Image2"};
  Ctl<Label> lblPreview{this, "lblPreview"};
  Ctl<PictureBox> Picture2{this, "Picture2"};
  CtlArray<PictureBox> Picture3{this, "Picture3"};
  Ctl<WzPanel> pnlVideoFile{this, "pnlVideoFile"};
  Ctl<CommandButton> cmdPlayVideoWindow{this, "cmdPlayVideoWindow"};
  Ctl<CommandButton> cmdPauseVidWindow{this, "cmdPauseVidWindow"};
  Ctl<CommandButton> cmdStopVidWin{this, "cmdStopVidWin"};
  Ctl<CommandButton> cmdPlayLoaded{this, "cmdPlayLoaded"};
  Ctl<CommandButton> cmdPause{this, "cmdPause"};
  Ctl<CommandButton> cmdStop{this, "cmdStop"};
  Ctl<CommandButton> cmdEdit{this, "cmdEdit"};
  Ctl<CommandButton> cmdSplit{this, "cmdSplit"};
  CtlArray<Label> Label1{this, "Label1"};
  Ctl<WzPanel> pnlCancel{this, "pnlCancel"};
  Ctl<Image> Image1{this, "Image1"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<Label> lblCancel{this, "lblCancel"};
  Ctl<Label> lblLabelProj{this, "lblLabelProj"};
  Ctl<Label> lblProject{this, "lblProject"};
  Ctl<ComboBox> Combo1{this, "Combo1"};
  Ctl<PictureBox> Picture1{this, "Picture1"};
  Ctl<ProgressBar> ProgressBar1{this, "ProgressBar1"};
  Ctl<Label> lblSelected{this, "lblSelected"};
  Ctl<TextBox> txtDuration{this, "txtDuration"};
  Ctl<TextBox> txtElapsed{this, "txtElapsed"};
  Ctl<TextBox> txtRate{this, "txtRate"};
  Ctl<TimerControl> tmrTimer{this, "tmrTimer"};
  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};
  Ctl<Frame> fraOptions{this, "fraOptions"};
  Ctl<CommandButton> cmdWriteAVI{this, "cmdWriteAVI"};
  Ctl<CommandButton> cmdWriteXTL{this, "cmdWriteXTL"};
  Ctl<CommandButton> cmdExit{this, "cmdExit"};
  Ctl<TextBox> txtMaxMediaLength{this, "txtMaxMediaLength"};
  Ctl<CommandButton> cmdPrev{this, "cmdPrev"};
  Ctl<Label> Label10{this, "Label10"};
  Ctl<ComboBox> CmbVideoSizes{this, "CmbVideoSizes"};
  Ctl<Label> lblPlaybackFileName{this, "lblPlaybackFileName"};
  Ctl<Label> lblWriteFileName{this, "lblWriteFileName"};

  Ctl<Menu> mnuFile{this, "mnuFile"};
  Ctl<Menu> mnuNew{this, "mnuNew"};
  Ctl<Menu> mnuOpen{this, "mnuOpen"};
  Ctl<Menu> mnuSaveProject{this, "mnuSaveProject"};
  Ctl<Menu> mnuExit{this, "mnuExit"};
  Ctl<Menu> mnuProject{this, "mnuProject"};
  Ctl<Menu> mnuImport{this, "mnuImport"};
  Ctl<Menu> mnuPreview{this, "mnuPreview"};
  Ctl<Menu> mnuWriteAVI{this, "mnuWriteAVI"};
  Ctl<Menu> mnuEdit{this, "mnuEdit"};
  Ctl<Menu> mnuWriteXTL{this, "mnuWriteXTL"};
  Ctl<Menu> mnuTools{this, "mnuTools"};
  Ctl<Menu> mnuBatch{this, "mnuBatch"};
  Ctl<Menu> mnuCapture{this, "mnuCapture"};
  Ctl<Menu> mnuOptions{this, "mnuOptions"};
  Ctl<Menu> mnuASF{this, "mnuASF"};
  Ctl<Menu> mnuSplitter{this, "mnuSplitter"};
  Ctl<Menu> mnuTitleMaker{this, "mnuTitleMaker"};
  Ctl<Menu> mnuVirtualDub{this, "mnuVirtualDub"};
  Ctl<Menu> mnuMoviePreview{this, "mnuMoviePreview"};
  Ctl<Menu> mnuSettings{this, "mnuSettings"};
  Ctl<Menu> mnuHelp{this, "mnuHelp"};
  Ctl<Menu> mnuGenHelp{this, "mnuGenHelp"};
  Ctl<Menu> mnuSupport{this, "mnuSupport"};
  Ctl<Menu> mnuSplitterHelp{this, "mnuSplitterHelp"};
  Ctl<Menu> mnuAbout{this, "mnuAbout"};
  Ctl<Menu> mnuHidden{this, "mnuHidden"};
  Ctl<Menu> mnuMoveUp{this, "mnuMoveUp"};
  Ctl<Menu> mnuMoveDown{this, "mnuMoveDown"};
  Ctl<Menu> mnuDelete{this, "mnuDelete"};
  Ctl<Menu> mnuLoadNew{this, "mnuLoadNew"};
  Ctl<Menu> mnuDuration{this, "mnuDuration"};

  // Texts the window shows.
  static const char* const kProjectFilter;
  static const char* const kMultimediaFilter;
  static std::string HackedCodecMessage(const std::vector<std::string>& valueNames);
  static std::string MediaErrorMessage(char row, const std::string& file);

 protected:
  void Design() override;

 private:
  void Form_Initialize();
  void Form_Load();
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode);
  void Form_Unload();
  void Form_Resize();
  void WarnHackedCodecs();
  void Toolbar1_ButtonClick(const std::string& key);
  void UnloadEveryWindow(bool hideFirst, bool dropReferences);
  void ResetTileBorders();
  void MarkTile(int16_t index);
  void ctrlSourceClip_DragDrop(int16_t Index, const Variant& Source);
  void Combo1_Click();
  void ScrollStoryboard();
  void ResetScrollBar();
  void ClearPreviewPictures();
  // The shared file dialog set up for one use: every property a use relies on is set, so what an
  // earlier use left (the join's default extension) does not carry over.
  CommonDialogObject& PrepareFileDialog(const char* filter, bool cancelError, const char* defaultExt = "");
  void AddFilesFromBrowser();
  void AddFileFromDialog();
  void AddOpeningSteps();
  void PlaceFile(const std::string& path);
  void UpdateEditControls();
  void RebuildStoryboard(const std::vector<std::string>& files, const std::vector<std::pair<double, std::string>>& keep,
                         int32_t firstDuration, const std::string& firstTransition);
  void RemoveTileWithFile(const std::string& file, int16_t index);
  bool RunStoryboardChange(const std::function<void()>& change);
  void StartVirtualDub(const std::string& file);
  void LayoutTiles();
  bool ReadProject(const std::string& path);
  // The project file's dialog (Save Project's or Open Project's); false when nothing was chosen.
  bool ChooseProjectFile(bool save, std::string& path);
  // A tile that has just been given a file: the window's transition and drag settings, and the
  // default duration for the selected tile when it has none. Raises at the first failing step.
  void SetUpFileTile(int16_t index);
  void ApplyDeferredClose();
  // Move Up / Move Down: two tiles exchange file, then duration and transition.
  void SwapTiles(int16_t a, int16_t b);
  // Save Project; true when the project was written.
  bool SaveProject();
  // New Project; false when the user kept the storyboard (Cancel, or a save that did not complete).
  bool NewProject();

  void RegisterPaneHandlers();
  void ReleasePane();
  void NoMediaPlayback();
  void RepairDivxFile();
  bool PreviewShowsPicture(bool image);
  void RequestEdit();
  void StartProgram(const std::string& backslashPath);
  PictureEditor pictureEditor_;

  DWORD streamSizeCookie_ = 0;
  ComPtr<IUnknown> streamSizeSink_;
  // A storyboard change (add, delete, New, Open, drop) is running; commands that would change
  // the storyboard again are ignored until it ends.
  int storyboardBusy_ = 0;
  // Set while the window itself puts a file into a tile, until the tile's ImportFile begins:
  // the ImportFile of a file dropped from outside finds it clear.
  bool ownFileWrite_ = false;
  // A removal asked for by a media error while a change ran: done when it ends.
  std::vector<std::string> deferredRemovals_;
  // A close asked for while a join or joined preview ran further up the stack.
  int runDepth_ = 0;
  int16_t deferredClose_ = -1;
  // The save question of the close under way has been answered with No (or was not needed).
  bool closeAnswered_ = false;

 public:
  // The join (frmShowJoin.cpp): the storyboard as a timeline, written as one AVI file and handed
  // on by the compression method.
  ComPtr<IAMTimeline> BuildTimeline();
  ComPtr<IAMTimeline> BuildTransitionTimeline();
  void WriteJoinedAvi();
  void CompressorHandOff(const std::string& method, const std::string& target);
  void mnuWriteAVI_Click();
  void cmdWriteXTL_Click();
  // The codec dialog of a "Manual" join: shows it on the rendered graph; false when the user
  // cancelled. videoCodecSelected tells whether a video compressor was inserted.
  bool PopupCodecDialog(IMediaControl* graph, bool& videoCodecSelected);
  // The codec dialog itself: ShowCodecDialog unless replaced; emptied, PopupCodecDialog fails (a
  // failing dialog counts as cancelled).
  static std::function<bool(frmShow&, IMediaControl*, bool&)> CodecDialog;
  // The program's codec dialog (frmCodecDialog) popped up over the main window on the graph; its
  // m_bVideoCodecSelected gives videoCodecSelected.
  static bool ShowCodecDialog(frmShow& owner, IMediaControl* graph, bool& videoCodecSelected);
  // The joined preview (frmShowPreview.cpp): the storyboard played in a video window of its own.
  void cmdPrev_Click(int16_t Index);
  void PlayTimeline(ComPtr<IAMTimeline>& timeline);
  void cmdPauseVidWindow_Click();
  void cmdStopVidWin_Click();
  void cmdPlayVideoWindow_Click();
  void mnuPreview_Click();

 private:
  void HookJoinEvents();
  void HookPreviewEvents();
  void Join();

 public:
  // A join, XTL export or joined preview marks its run with this, so a close arriving through
  // the pump while it runs waits until it has ended.
  void BeginRun() { ++runDepth_; }
  void EndRun();
  bool CloseDeferred() const { return deferredClose_ >= 0; }
};
