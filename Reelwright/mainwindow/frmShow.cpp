// frmShow: design, life cycle (initialise, load, close request, Exit, unload), control state,
// toolbar and layout. The storyboard's own commands are in frmShowStoryboard.cpp.
#include "mainwindow/frmShow.h"

#include <cstdio>

#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_strings.h"
#include "engine/modGeneral.h"
#include "engine/modRegistry.h"
#include "forms/app.h"
#include "forms/picture.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/StreamSizeEvents.h"
#include "mainwindow/ToolbarPictures.h"
#include "mainwindow/frmSplash.h"
#include "mainwindow/modMain.h"
#include "mainwindow/modSettings.h"
#include "options/frmCompOpt.h"
#include "options/modOptions.h"
#include "registry/registry.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/instance.h"
#include "splitter/frmSplitter.h"
#include "windows/frmStartTips.h"

ComPtr<IAMTimeline> StoryboardTimeline;
ComPtr<IRenderEngine> StoryboardRenderEngine;
bool RenderCancelRequested = false;
bool PreviewStopRequested = false;
bool DivxConverted = false;
std::string DivxOriginalFile;

const char* const frmShow::kProjectFilter = "Reelwright Files (*.wzj)|*.wzj";
const char* const frmShow::kMultimediaFilter =
    "Multimedia (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.bmp;*.jpg;*.gif)|*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm;*.bmp;"
    "*.jpg;*.gif";

namespace {

using Prop = std::pair<std::string, Variant>;
Prop Tip(const char* t) { return {"ToolTipText", Variant(t)}; }
Prop Vis(bool v) { return {"Visible", Variant(v)}; }
Prop Ena(bool v) { return {"Enabled", Variant(v)}; }

// A stored option that does not convert takes its default for this run; the store is left as it is.
void LoadOrDefault(const char* key, void (*load)(), void (*fallback)()) {
  try {
    load();
  } catch (const VBError& e) {
    std::fprintf(stderr, "Reelwright: the stored value of %s is not usable (%s); its default is used\n", key,
                 e.Description().c_str());
    fallback();
  }
}

void LoadOptionsTolerant() {
  LoadOrDefault("Options/AllowTranstions", LoadTransitionsSetting, [] { TransitionsEnabled = false; });
  LoadOrDefault("Options/DrapDrag", LoadDragDropSetting, [] { DragDropEnabled = true; });
  LoadOrDefault("Options/Transition", LoadDefaultTransitionSetting, [] { DefaultTransition = kDefaultTransition; });
  LoadOrDefault("Options/TransitionTime", LoadTransitionSecondsSetting, [] { TransitionSeconds = 1; });
  LoadOrDefault("Options/DefaultDuration", LoadDefaultClipDurationSetting, [] { DefaultClipDuration = 5; });
  LoadOrDefault("Options/ImageEditor", LoadImageEditorSetting, [] { ImageEditorPath = kDefaultImageEditor; });
  LoadOrDefault("Options/ShowToolbar", LoadShowToolbarSetting, [] { ShowToolbarEnabled = false; });
}

// A drop-down combo box's one line, in twips.
constexpr int32_t kComboBoxHeight = 315;

bool HasPictureExtension(const std::string& path) {
  const std::string e = LCase(Right(path, 3));
  return e == "bmp" || e == "gif" || e == "jpg";
}

}  // namespace

frmShow::frmShow() : Form("frmShow") {
  On("Form_Initialize", [this] { Form_Initialize(); });
  On("Form_Load", [this] { Form_Load(); });
  On("Form_QueryUnload", [this](int16_t& Cancel, int16_t UnloadMode) { Form_QueryUnload(Cancel, UnloadMode); });
  On("Form_Unload", [this](int16_t&) { Form_Unload(); });
  On("Form_Resize", [this] { Form_Resize(); });
  On("cmdExit_Click", [this] { cmdExit_Click(); });
  On("mnuExit_Click", [this] { cmdExit_Click(); });
  On("Toolbar1_ButtonClick", [this](Variant button) {
    Toolbar1_ButtonClick(ItemOf<Button>(button).Key());
  });
  On("picTop_Resize", [this] { Step([&] { ctrlProgress->Width(picTop->Width() - 120); }); });
  On("Picture1_Resize", [this] {
    Step([&] { ProgressBar1->Width(Picture1->Width() - 2 * ProgressBar1->Left()); });
  });
  for (const char* name : {"Form_MouseMove", "cmdWriteAVI_MouseMove", "cmdWriteXTL_MouseMove", "cmdExit_MouseMove",
                           "ctrlProgress_MouseMove", "fraOptions_MouseMove", "txtMaxMediaLength_MouseMove"}) {
    On(name, [this](EventArgs&) { ResetTileBorders(); });
  }
  On("ctrlSourceClip_ImportFile", [this](int16_t Index, std::string& file, bool& Cancel) {
    ctrlSourceClip_ImportFile(Index, file, Cancel);
  });
  On("ctrlSourceClip_Click", [this](int16_t Index) { ctrlSourceClip_Click(Index); });
  On("ctrlSourceClip_MenuClick", [this](int16_t Index) { ctrlSourceClip_MenuClick(Index); });
  On("ctrlSourceClip_MediaError", [this](int16_t Index) { ctrlSourceClip_MediaError(Index); });
  On("ctrlSourceClip_DragOver", [this](int16_t Index, Variant) { EndQuietly([&] { MarkTile(Index); }); });
  On("ctrlSourceClip_DragDrop", [this](int16_t Index, Variant Source) { ctrlSourceClip_DragDrop(Index, Source); });
  On("Combo1_Click", [this] { Combo1_Click(); });
  On("VScroll1_Change", [this] { ScrollStoryboard(); });
  On("VScroll1_Scroll", [this] { ScrollStoryboard(); });
  On("mnuNew_Click", [this] { mnuNew_Click(); });
  On("mnuOpen_Click", [this] { mnuOpen_Click(); });
  On("mnuSaveProject_Click", [this] { mnuSaveProject_Click(); });
  On("mnuImport_Click", [this] { mnuImport_Click(); });
  On("mnuMoveUp_Click", [this] { mnuMoveUp_Click(); });
  On("mnuMoveDown_Click", [this] { mnuMoveDown_Click(); });
  On("mnuDelete_Click", [this] { mnuDelete_Click(); });
  On("mnuLoadNew_Click", [this] { mnuLoadNew_Click(); });
  On("cmdStop_Click", [this] { cmdStop_Click(); });
  RegisterPaneHandlers();
  HookJoinEvents();
  HookPreviewEvents();
  InstallOptionsServices();
}

frmShow::~frmShow() {
  // The options windows and the splitter stop reaching this window.
  modOptions::SetMainWindowServices({});
  SetLoadedFileNameHolder(nullptr);
}

// ---- Design ---------------------------------------------------------------------------------

void frmShow::Design() {
  Caption("Reelwright");
  Size(9600, 7875);
  const Variant graphical(int16_t{1});
  Place({
      {"ImageList", "ImageList1", -1, "", 0, 0, 0, 0, "",
       {{"ImageWidth", Variant(int32_t{16})}, {"ImageHeight", Variant(int32_t{16})}}},
      {"Toolbar", "Toolbar1", -1, "", 0, 0, 9600, 630, ""},
      {"WzPanel", "pnlStoryBoard", -1, "", 0, 645, 3150, 6600, ""},
      {"PictureBox", "Picture3", 0, "", 0, 645, 150, 6600, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"PictureBox", "Picture3", 1, "", 2985, 645, 165, 6600, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Tilecard.MediaClip", "ctrlSourceClip", 0, "", 150, 990, 2835, 3330, "", {{"DragMode", Variant(int16_t{0})}}},
      {"VScrollBar", "VScroll1", -1, "", 3150, 645, 270, 6600, "",
       {{"Min", Variant(int32_t{0})}, {"Max", Variant(int32_t{0})}, {"SmallChange", Variant(int32_t{1})},
        {"LargeChange", Variant(int32_t{2})}}},
      {"PictureBox", "picTop", -1, "", 3480, 645, 8805, 360, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "lblFileName", -1, "picTop", 60, 60, 8600, 255, "No File Selected"},
      {"ProgressBar", "ctrlProgress", -1, "picTop", 60, 60, 8685, 255, "", {Vis(false)}},
      {"PictureBox", "picPrev", -1, "", 3480, 1065, 4800, 3600, "",
       {{"BackColor", Variant(int32_t{0})}, {"ForeColor", Variant(int32_t{0xFFFFFF})}, Vis(false)}},
      {"Image", "Image2", -1, "", 3480, 1065, 4800, 3600, "", {Vis(false), {"Stretch", Variant(true)}}},
      {"Label", "lblPreview", -1, "", 3480, 1065, 4800, 3600, "", {{"BackStyle", Variant(int16_t{0})}}},
      {"PictureBox", "Picture2", -1, "", 3480, 1065, 4800, 3600, "", {Vis(false)}},
      {"WzPanel", "pnlVideoFile", -1, "", 3480, 4845, 6030, 870, ""},
      {"Label", "Label1", 0, "pnlVideoFile", 210, 30, 2400, 255, "Preview Joined Movie"},
      {"Label", "Label1", 1, "pnlVideoFile", 3600, 30, 2400, 255, "Preview Selected Clip"},
      {"CommandButton", "cmdPlayVideoWindow", -1, "pnlVideoFile", 105, 285, 585, 555, "Play",
       {Tip("Play joined movie"), Ena(false)}},
      {"CommandButton", "cmdPauseVidWindow", -1, "pnlVideoFile", 720, 285, 585, 555, "Pause",
       {Tip("Pause joined movie"), Ena(false)}},
      {"CommandButton", "cmdStopVidWin", -1, "pnlVideoFile", 1335, 285, 585, 555, "Stop",
       {Tip("Stop joined movie"), Ena(false)}},
      {"CommandButton", "cmdEdit", -1, "pnlVideoFile", 2400, 285, 585, 555, "Edit", {Tip("Edit still image"), Ena(false)}},
      {"CommandButton", "cmdSplit", -1, "pnlVideoFile", 3015, 285, 585, 555, "Split",
       {Tip("Split or trim movie"), Ena(false)}},
      {"CommandButton", "cmdPlayLoaded", -1, "pnlVideoFile", 3600, 285, 585, 555, "Play",
       {Tip("Play selected clip"), Ena(false)}},
      {"CommandButton", "cmdPause", -1, "pnlVideoFile", 4215, 285, 585, 555, "Pause",
       {Tip("Pause selected clip"), Ena(false)}},
      {"CommandButton", "cmdStop", -1, "pnlVideoFile", 4830, 285, 585, 555, "Stop",
       {Tip("Stop selected clip"), Ena(false)}},
      {"WzPanel", "pnlCancel", -1, "", 3480, 4845, 6030, 870, "", {Vis(false)}},
      {"Image", "Image1", -1, "pnlCancel", 120, 120, 480, 480, ""},
      {"Label", "Label2", -1, "pnlCancel", 720, 120, 3000, 255, "Rendering..."},
      {"Label", "lblCancel", -1, "pnlCancel", 0, 480, 6030, 255, "Close the window to cancel"},
      {"Label", "lblLabelProj", -1, "", 3480, 5775, 600, 255, "Project:"},
      {"Label", "lblProject", -1, "", 4080, 5775, 5400, 255, ""},
      {"ComboBox", "Combo1", -1, "", 3480, 6045, 8730, 315, "", {Tip("Clips on the storyboard")}},
      // The output frame size, under the clip list (shown while the frame-size option is on).
      {"Label", "Label10", -1, "", 3480, 6420, 1200, 255, "Video Size:"},
      {"ComboBox", "CmbVideoSizes", -1, "", 4740, 6390, 1680, 315, "", {{"Style", Variant(int16_t{2})}}},
      {"PictureBox", "Picture1", -1, "", 0, 7200, 9600, 375, "",
       {{"Align", Variant(int16_t{2})}, {"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "lblSelected", -1, "Picture1", 120, 60, 9000, 255, "No file selected"},
      {"ProgressBar", "ProgressBar1", -1, "Picture1", 120, 60, 9360, 255, "", {Vis(false)}},
      {"TextBox", "txtDuration", -1, "", 0, 0, 900, 285, "", {Vis(false)}},
      {"TextBox", "txtElapsed", -1, "", 0, 0, 900, 285, "", {Vis(false)}},
      {"TextBox", "txtRate", -1, "", 0, 0, 900, 285, "", {Vis(false)}},
      {"Timer", "tmrTimer", -1, "", 0, 0, 0, 0, "", {Ena(false)}},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}, Ena(false)}},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
      {"Frame", "fraOptions", -1, "", 0, 0, 3135, 2175, "Options", {Vis(false)}},
      {"CommandButton", "cmdWriteAVI", -1, "fraOptions", 120, 240, 1400, 375, "&Write AVI", {Tip("Join media as a new AVI movie")}},
      {"CommandButton", "cmdWriteXTL", -1, "fraOptions", 1600, 240, 1400, 375, "Write &XTL", {Tip("Save as XTL")}},
      {"CommandButton", "cmdExit", -1, "fraOptions", 120, 720, 1400, 375, "&Exit", {Tip("Exit Reelwright")}},
      {"TextBox", "txtMaxMediaLength", -1, "fraOptions", 1600, 720, 600, 285, "2"},
      {"CommandButton", "cmdPrev", -1, "fraOptions", 2280, 720, 720, 375, "Preview", {Tip("Preview Joined Movie")}},
      {"Label", "lblPlaybackFileName", -1, "fraOptions", 120, 1560, 2900, 255, ""},
      {"Label", "lblWriteFileName", -1, "fraOptions", 120, 1830, 2900, 255, ""},
      // Menus.
      {"Menu", "mnuFile", -1, "", 0, 0, 0, 0, "File"},
      {"Menu", "mnuNew", -1, "mnuFile", 0, 0, 0, 0, "New Project"},
      {"Menu", "mnuOpen", -1, "mnuFile", 0, 0, 0, 0, "Open Project"},
      {"Menu", "mnuSaveProject", -1, "mnuFile", 0, 0, 0, 0, "Save Project"},
      {"Menu", "mnuExit", -1, "mnuFile", 0, 0, 0, 0, "E&xit"},
      {"Menu", "mnuProject", -1, "", 0, 0, 0, 0, "Storyboard"},
      {"Menu", "mnuImport", -1, "mnuProject", 0, 0, 0, 0, "Add File to Storyboard"},
      {"Menu", "mnuPreview", -1, "mnuProject", 0, 0, 0, 0, "Preview Joined Movie", {Vis(false)}},
      {"Menu", "mnuWriteAVI", -1, "mnuProject", 0, 0, 0, 0, "Save Joined Files as AVI"},
      {"Menu", "mnuEdit", -1, "mnuProject", 0, 0, 0, 0, "Edit", {Ena(false)}},
      {"Menu", "mnuWriteXTL", -1, "mnuProject", 0, 0, 0, 0, "Save as XTL", {Vis(false), Ena(false)}},
      {"Menu", "mnuTools", -1, "", 0, 0, 0, 0, "Tools"},
      {"Menu", "mnuBatch", -1, "mnuTools", 0, 0, 0, 0, "Batch Encoder"},
      {"Menu", "mnuCapture", -1, "mnuTools", 0, 0, 0, 0, "Capture Video"},
      {"Menu", "mnuOptions", -1, "mnuTools", 0, 0, 0, 0, "Compression Tools"},
      {"Menu", "mnuASF", -1, "mnuTools", 0, 0, 0, 0, "Divx Repair Tool", {Vis(false)}},
      {"Menu", "mnuSplitter", -1, "mnuTools", 0, 0, 0, 0, "Movie Splitter", {Vis(false)}},
      {"Menu", "mnuTitleMaker", -1, "mnuTools", 0, 0, 0, 0, "Title Maker"},
      {"Menu", "mnuVirtualDub", -1, "mnuTools", 0, 0, 0, 0, "VirtualDub"},
      {"Menu", "mnuBlank3", -1, "mnuTools", 0, 0, 0, 0, "-"},
      {"Menu", "mnuMoviePreview", -1, "mnuTools", 0, 0, 0, 0, "Preview Movie File"},
      {"Menu", "mnuBlank2", -1, "mnuTools", 0, 0, 0, 0, "-"},
      {"Menu", "mnuSettings", -1, "mnuTools", 0, 0, 0, 0, "Settings and Preferences"},
      {"Menu", "mnuHelp", -1, "", 0, 0, 0, 0, "Help"},
      {"Menu", "mnuGenHelp", -1, "mnuHelp", 0, 0, 0, 0, "General Help", {{"Shortcut", Variant("F1")}}},
      {"Menu", "mnuSupport", -1, "mnuHelp", 0, 0, 0, 0, "Customer Support"},
      {"Menu", "mnuSplitterHelp", -1, "mnuHelp", 0, 0, 0, 0, "Splitter Help", {Vis(false)}},
      {"Menu", "mnuBar1", -1, "mnuHelp", 0, 0, 0, 0, "-"},
      {"Menu", "mnuAbout", -1, "mnuHelp", 0, 0, 0, 0, "About"},
      {"Menu", "mnuHidden", -1, "", 0, 0, 0, 0, "Hidden"},
      {"Menu", "mnuMoveUp", -1, "mnuHidden", 0, 0, 0, 0, "Move Up"},
      {"Menu", "mnuMoveDown", -1, "mnuHidden", 0, 0, 0, 0, "Move Down"},
      {"Menu", "mnuDelete", -1, "mnuHidden", 0, 0, 0, 0, "Delete"},
      {"Menu", "mnuLoadNew", -1, "mnuHidden", 0, 0, 0, 0, "Reload File"},
      {"Menu", "mnuDuration", -1, "mnuHidden", 0, 0, 0, 0, "Change Duration"},
  });
  ListImages& images = ImageList1->ListImagesOf();
  for (const std::string& key : ToolbarPictureKeys()) {
    const std::vector<uint8_t> bmp = ToolbarPictureBmp(key);
    images.Add(Variant(), key, LoadPictureData(bmp.data(), bmp.size()));
  }
}

// ---- Initialise, load -----------------------------------------------------------------------

void frmShow::Form_Initialize() {
  EndQuietly([&] {
    StoryboardTimeline = CreateObject<IAMTimeline>("{78530B75-61F9-11D2-8CAD-00A024580902}");
    StoryboardRenderEngine = CreateObject<IRenderEngine>("{64D8A8E0-80A2-11D2-8CF3-00A0C9441E20}");
    gobjStreamSize = CreateObject<IStreamResize>("SizewardenPrj.StreamResize");
    streamSizeSink_ = SinkStreamSizeErrors(gobjStreamSize.Get(), [this] { bStreamSizeErr = true; }, streamSizeCookie_);
  });
  Err().Clear();
}

void frmShow::WarnHackedCodecs() {
  std::vector<std::string> names;
  int32_t count = 0;
  RegistryEnumerateValues(static_cast<int32_t>(HKEY_LOCAL_MACHINE),
                          "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers32", names, count);
  names.resize(static_cast<size_t>(std::max<int32_t>(0, std::min<int32_t>(count, static_cast<int32_t>(names.size())))));
  const std::string message = HackedCodecMessage(names);
  if (!message.empty()) MsgBox(message, vbOKOnly);
}

std::string frmShow::HackedCodecMessage(const std::vector<std::string>& valueNames) {
  for (const std::string& raw : valueNames) {
    const std::string name = LCase(raw);
    if (name.find("angelpotion") != std::string::npos) {
      return "There is a hacked video codec installed on your machine called AngelPotion.\r\n"
             "This codec will damage your system and is not supported.\r\n"
             "If you choose not to remove the codec please remove\r\n"
             "this software from your computer.";
    }
    if (name.find("div3") != std::string::npos) {
      return "There is a hacked video codec installed on your machine called DivX ;-).\r\n"
             "This file can damage your system.\r\n"
             "If you choose not to remove this codec please remove\r\n"
             "this software from your computer.";
    }
  }
  return {};
}

void frmShow::Form_Load() {
  const std::string program = AppPath();
  // Group A: a failure leaves the window loaded and hidden.
  const bool groupA = EndQuietly([&] {
    LoadOrDefault("Init/MultiSelect", LoadMultiSelectSetting, [] {});
    LoadOrDefault("Init/ResizeStream", LoadResizeStreamSetting, [] { ResizeStreamEnabled = false; });
    if (!ResizeStreamEnabled) {
      Label10->Visible(false);
      CmbVideoSizes->Visible(false);
    }
    WarnHackedCodecs();
    bShowErrors = true;
    pnlVideoFile->Width(2655);
    Toolbar1->ButtonsOf().Clear();
    bShowMaker = true;
    cmdSplit->Visible(bShowMaker);
    LoadOrDefault("Init/ShowProject", LoadShowProjectSetting, [] { ShowProjectEnabled = false; });
    Toolbar1->SetImageList(&*ImageList1);
    LoadToolBar();
    mnuVirtualDub->Visible(FileExists(program + "/VirtualDub/VirtualDub"));
    LoadOptionsTolerant();
    TilePut(0, tile::kShowTransitions, Variant(TransitionsEnabled));
    TilePut(0, tile::kTransition, Variant(DefaultTransition));
    TilePut(0, tile::kAllowDragDrop, Variant(DragDropEnabled));
    Step([&] { TilePut(0, tile::kBorderColor, Variant(tile::kNormalBorder)); });
    mnuHidden->Visible(false);
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
    pnlCancel->Top(pnlVideoFile->Top());
    mnuSaveProject->Enabled(false);
    SetControlState(false, true, true);
    txtMaxMediaLength->Text("2");
    ProjectChanged = false;
    mnuSaveProject->Enabled(false);
  });
  if (!groupA) return;
  // Group B: each failing step is skipped.
  Step([&] {
    Size(9600, 7875);
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
  });
  Step([&] { LoadEncoderInstallDir(); });
  // The compression chooser's encoder option follows the encoder's presence; touching it loads
  // the chooser (its own load runs) without showing it.
  Step([&] {
    frmCompOpt& chooser = DefaultForm<frmCompOpt>();
    if (!EncoderInstallDir.empty() && FileExists(EncoderInstallDir + "/WMEnc")) {
      chooser.Option1(1).Enabled(true);
      mnuBatch->Visible(true);
    } else {
      EncoderInstallDir.clear();
      chooser.Option1(1).Enabled(false);
      mnuBatch->Visible(false);
    }
  });
  Step([&] {
    if (!FileExists(program + "/Lotkiln")) mnuBatch->Visible(false);
  });
  Step([&] { MkDir(program + "/Output"); });
  Step([&] { LoadOrDefault("Options/Output", LoadOutputFolderSetting, [] { OutputFolder = AppPath() + "/Output"; }); });
  Step([&] {
    lblPlaybackFileName->Caption(OutputFolder + "/Output.avi");
    lblWriteFileName->Caption(OutputFolder + "/Output.avi");
  });
  Err().Clear();
  // Group C: a failure leaves the window shown and the rest undone.
  const bool groupC = EndQuietly([&] {
    Show(vbModeless);
    ShowHideToolbar(ShowToolbarEnabled);
    LoadOrDefault("Options/DrapDrag", LoadDragDropSetting, [] { DragDropEnabled = true; });
    DefaultForm<frmSplash>().Unload();
    mnuSplitterHelp->Visible(false);
    mnuSplitter->Visible(false);
    TilePut(0, tile::kEnabled, Variant(true));
    // Drawn into the preview box itself, so a picture shown over the pane covers it.
    picPrev->FontSize(12);
    picPrev->Print("Preview Window");
    if (!FileExists(program + "/wmcap")) mnuCapture->Visible(false);
    if (StartTipsWanted()) DefaultForm<frmStartTips>().Show(vbModal);
  });
  Err().Clear();
  if (!groupC) return;
  // Group D: each failing step is skipped. The hand-off files of a batch encoder that still runs
  // for this user hold movies it has not taken yet: they are kept.
  Step([&] {
    if (ProgramRuns("Lotkiln")) return;
    Step([&] { Kill(program + "/KilnhandRunning"); });
    Step([&] { Kill(program + "/lotkiln.lst"); });
  });
  Step([&] {
    LONG count = 0;
    if (!gobjStreamSize) Raise(vbErrObjectNotSet);
    Check(gobjStreamSize->get_SizeCount(&count));
    const int16_t n = static_cast<int16_t>(count);
    if (n < 2) {
      Label10->Visible(false);
      CmbVideoSizes->Visible(false);
      return;
    }
    for (int16_t i = 1; i <= n; ++i) {
      LONG cx = 0, cy = 0;
      Bstr description;
      ErrorValue result = errVal_FatalError;
      if (SUCCEEDED(gobjStreamSize->QuerySize(i, &cx, &cy, &description, &result)) && result == errVal_NoError) {
        CmbVideoSizes->AddItem(description.Utf8());
      }
    }
    CmbVideoSizes->ListIndex(2);
  });
  Err().Clear();
}

// ---- Closing --------------------------------------------------------------------------------

void frmShow::UnloadEveryWindow(bool hide, bool dropReferences) {
  (void)dropReferences;
  const int32_t awayX = 8 * Screen().Width(), awayY = 8 * Screen().Height();
  for (Form* f : std::vector<Form*>(Forms())) {
    Step([&] { f->Move(awayX, awayY); });
    if (hide) Step([&] { f->Visible(false); });
    Step([&] { f->Unload(); });
  }
}

void frmShow::Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) {
  cmdStop_Click();
  RenderCancelRequested = true;
  PreviewStopRequested = true;
  DoEvents();
  // One question per close: a close already answered with No (carried out after a run, or the
  // window's own unload inside it) goes on without asking again. A termination request (a
  // signal) asks nothing: nobody may be there to answer.
  if (UnloadMode != vbAppTaskManager && !closeAnswered_ && ShowProjectEnabled && TileUBound() > 0 &&
      ProjectChanged) {
    const int answer = MsgBox("Do you want to save your changes?", vbYesNoCancel);
    if (answer == vbYes) {
      Cancel = 99;
      mnuSaveProject_Click();
      return;
    }
    if (answer == vbCancel) {
      Cancel = 99;
      return;
    }
  }
  // A join or joined preview further up the stack still runs: it sees the flags, and the close
  // is carried out when it has ended (a termination request too: the join removes its unfinished
  // file first, and the old movie stays).
  if (runDepth_ > 0) {
    closeAnswered_ = true;
    deferredClose_ = UnloadMode;
    Cancel = 1;
    return;
  }
  const bool answeredBefore = closeAnswered_;
  closeAnswered_ = true;
  const bool done = EndQuietly([&] {
    // A joined preview's objects still held are released.
    {
      ComPtr<IAMTimeline> none;
      PlayTimeline(none);
    }
    if (UnloadMode == vbFormCode || UnloadMode == vbFormMDIForm) return;
    UnloadEveryWindow(true, false);
    if (UnloadMode == vbAppTaskManager) std::exit(0);
    if (gobjStreamSize) {
      Check(gobjStreamSize->DestroyObjects());
      UnsinkStreamSizeErrors(gobjStreamSize.Get(), streamSizeCookie_);
      streamSizeCookie_ = 0;
      gobjStreamSize = nullptr;
    }
  });
  closeAnswered_ = answeredBefore;
  if (!done) std::exit(0);
}

void frmShow::EndRun() {
  if (runDepth_ > 0) --runDepth_;
  if (runDepth_ == 0) ApplyDeferredClose();
}

void frmShow::ApplyDeferredClose() {
  if (deferredClose_ < 0) return;
  const int16_t mode = deferredClose_;
  deferredClose_ = -1;
  if (IsLoaded()) {
    if (mode == vbFormCode || mode == vbFormMDIForm) {
      Unload();
    } else {
      int16_t cancel = 0;
      Form_QueryUnload(cancel, mode);
      if (cancel == 0) Unload();
    }
  }
  closeAnswered_ = false;
}

void frmShow::cmdExit_Click() {
  if (ShowProjectEnabled && TileUBound() >= 1 && ProjectChanged) {
    const int answer = MsgBox("Your project has changed.\r\nDo you want to save your changes?", vbYesNoCancel);
    if (answer == vbYes) {
      mnuSaveProject_Click();
      return;
    }
    if (answer == vbCancel) return;
    ProjectChanged = false;
  }
  Step([&] { Hide(); });
  const int32_t awayX = 8 * Screen().Width(), awayY = 8 * Screen().Height();
  for (Form* f : std::vector<Form*>(Forms())) {
    Step([&] { f->Move(awayX, awayY); });
    Step([&] { f->Unload(); });
  }
  Err().Clear();
}

void frmShow::Form_Unload() {
  EndQuietly([&] {
    if (StoryboardTimeline) StoryboardTimeline = nullptr;
    if (StoryboardRenderEngine) StoryboardRenderEngine = nullptr;
    PreviewPaneVideoWindow = nullptr;
    PreviewPaneEvents = nullptr;
    PreviewPanePosition = nullptr;
    PreviewPaneGraph = nullptr;
    if (gobjStreamSize) {
      UnsinkStreamSizeErrors(gobjStreamSize.Get(), streamSizeCookie_);
      streamSizeCookie_ = 0;
      gobjStreamSize = nullptr;
    }
  });
  Err().Clear();
}

// ---- Control state and toolbar --------------------------------------------------------------

void frmShow::SetControlState(bool bEnable, bool bAllowDragDrop, bool bEnableExit) {
  Step([&] {
    for (int16_t i : ElementIndexes("ctrlSourceClip")) TilePut(i, tile::kEnabled, Variant(bEnable));
  });
  Step([&] { Combo1->Enabled(bEnable); });
  Step([&] { cmdPrev->Enabled(bEnable); });
  Step([&] {
    if (HasPictureExtension(TileFile(static_cast<int16_t>(SelectedClipIndex)))) cmdPlayVideoWindow->Enabled(bEnable);
  });
  Step([&] { mnuPreview->Enabled(bEnable); });
  Step([&] { cmdWriteAVI->Enabled(bEnable); });
  Step([&] { mnuWriteAVI->Enabled(bEnable); });
  Step([&] { cmdWriteXTL->Enabled(bEnable); });
  Step([&] { mnuWriteXTL->Enabled(bEnable); });
  Step([&] { Toolbar1->ButtonsOf().Item("Save").Enabled(bEnable); });
  Step([&] { Toolbar1->ButtonsOf().Item("Join").Enabled(bEnable); });
  Step([&] { cmdPause->Enabled(false); });
  Step([&] { cmdPlayLoaded->Enabled(HasPictureExtension(sLoadedFileName) ? false : bEnable); });
  Step([&] { cmdStop->Enabled(false); });
  Step([&] { LoadDragDropSetting(); });
  Step([&] { m_boolEnableDragDrop = DragDropEnabled && bAllowDragDrop; });
  Step([&] { cmdExit->Enabled(bEnableExit); });
  Err().Clear();
}

void frmShow::LoadToolBar() {
  Buttons& buttons = Toolbar1->ButtonsOf();
  buttons.Clear();
  auto add = [&](const char* key, const char* tip) {
    Button& b = buttons.Add(Variant(), key, "", tbrDefault);
    b.Image(Variant(key));
    b.ToolTipText(tip);
  };
  auto separator = [&] { buttons.Add(Variant(), "", "", tbrSeparator); };
  if (ShowProjectEnabled) {
    add("New", "Create a new project");
    add("Open", "Open an existing project");
    add("Save", "Save your existing project");
    separator();
    mnuNew->Visible(true);
    mnuOpen->Visible(true);
    mnuSaveProject->Visible(true);
  } else {
    mnuNew->Visible(false);
    mnuOpen->Visible(false);
    mnuSaveProject->Visible(false);
  }
  add("Add", "Add new media to the project storyboard");
  add("Join", "Join media as a new AVI movie");
  separator();
  add("Compression", "Compression Tools Wizard");
  add("Preview", "Preview a movie file from disk");
  add("Options", "Settings and Preferences");
  add("Title", "Title Maker");
  separator();
  add("Help", "Help");
  add("Exit", "Exit Reelwright");
}

void frmShow::ShowHideToolbar(bool) {
  // The toolbar always shows: every layout of the window shows it again.
  Toolbar1->Visible(true);
  VScroll1->Value(VScroll1->Min());
  Height(Screen().Height() > 8325 ? 8325 : 7200);
  TilePut(0, tile::kTop, Variant(static_cast<float>(Toolbar1->Height() + 360)));
  pnlStoryBoard->Top(Toolbar1->Height() + 15);
  Step([&] { LayoutTiles(); });
  Step([&] { Form_Resize(); });
  Err().Clear();
}

void frmShow::LayoutTiles() {
  const float height = CSng(TileGet(0, tile::kHeight));
  const int16_t top = TileUBound();
  for (int16_t i = 1; i <= top; ++i) {
    TilePut(i, tile::kTop, Variant(height + CSng(TileGet(static_cast<int16_t>(i - 1), tile::kTop))));
  }
}

void frmShow::Toolbar1_ButtonClick(const std::string& key) {
  const std::string k = LCase(key);
  if (k == "new") {
    mnuNew_Click();
  } else if (k == "open") {
    mnuOpen_Click();
  } else if (k == "save") {
    mnuSaveProject_Click();
  } else if (k == "add") {
    mnuImport_Click();
  } else if (k == "exit") {
    cmdExit_Click();
  } else if (k == "title") {
    mnuTitleMaker_Click();
  } else if (k == "help") {
    mnuGenHelp_Click();
  } else if (k == "preview") {
    mnuMoviePreview_Click();
  } else if (k == "join") {
    Join();
  } else if (k == "compression") {
    mnuOptions_Click();
  } else if (k == "options") {
    mnuSettings_Click();
  }
}

void frmShow::FillHeightWidthCombo() {
  Step([&] {
    LONG count = 0;
    if (!gobjStreamSize) Raise(vbErrObjectNotSet);
    Check(gobjStreamSize->get_SizeCount(&count));
    const int16_t n = static_cast<int16_t>(count);
    for (int16_t i = 1; i <= n; ++i) {
      Step([&] {
        LONG cx = 0, cy = 0;
        Bstr description;
        ErrorValue result = errVal_FatalError;
        Check(gobjStreamSize->QuerySize(i, &cx, &cy, &description, &result));
        if (result == errVal_NoError && frameSizeBox) frameSizeBox->AddItem(description.Utf8());
      });
    }
  });
  Step([&] {
    if (!frameSizeBox) Raise(vbErrObjectNotSet);
    frameSizeBox->ListIndex(2);
  });
  Err().Clear();
}

// ---- Layout ---------------------------------------------------------------------------------

void frmShow::Form_Resize() {
  bool wasPlaying = false;
  if (PreviewPanePlaying) {
    cmdStop_Click();
    wasPlaying = true;
  }
  const float tx = Screen().TwipsPerPixelX(), ty = Screen().TwipsPerPixelY();
  Step([&] { Toolbar1->Visible(true); });
  Step([&] {
    if (Height() < 8190) Height(8190);
    if (Height() > Screen().Height()) Height(Screen().Height());
  });
  DoEvents();
  Step([&] {
    picTop->Top(Toolbar1->Height() + 30);
    VScroll1->Top(Toolbar1->Height() + 30);
  });
  Step([&] {
    if (Width() < 9600) Width(9600);
  });
  DoEvents();
  const bool large = !(Width() < static_cast<int32_t>(1024 * tx));
  Step([&] { picTop->Width(Width() - picTop->Left() - 120); });
  Step([&] { picPrev->Top(picTop->Top() + picTop->Height() + 60); });
  Step([&] { picPrev->Width(static_cast<int32_t>((large ? 640 : 320) * tx)); });
  Step([&] { picPrev->Left(Width() / 2 - picPrev->Width() / 2 + (VScroll1->Left() + VScroll1->Width()) / 2); });
  Step([&] { picPrev->Height(static_cast<int32_t>((large ? 480 : 240) * ty)); });
  Step([&] { Image2->Move(picPrev->Left(), picPrev->Top(), picPrev->Width(), picPrev->Height()); });
  Step([&] { lblPreview->Move(picPrev->Left(), picPrev->Top(), picPrev->Width(), picPrev->Height()); });
  // Picture2 covers the preview pane (the joined preview's blank, an edited picture).
  Step([&] { Picture2->Move(picPrev->Left(), picPrev->Top(), picPrev->Width(), picPrev->Height()); });
  Step([&] { VScroll1->Height(static_cast<int32_t>(ScaleHeight()) - 390 - VScroll1->Top()); });
  Step([&] {
    VScroll1->Min(0);
    VScroll1->Max(StoryboardTileCounter);
    VScroll1->SmallChange(1);
    VScroll1->LargeChange(2);
    VScroll1->Refresh();
    DoEvents();
  });
  Step([&] {
    for (int16_t i : {int16_t{0}, int16_t{1}}) {
      Picture3(i).Top(VScroll1->Top());
      Picture3(i).Height(VScroll1->Height());
    }
  });
  Step([&] {
    pnlVideoFile->Left(picTop->Left());
    pnlVideoFile->Width(picTop->Width());
  });
  Step([&] { pnlCancel->Width(picTop->Width()); });
  Step([&] { Combo1->Width(picTop->Width() - 75); });
  Step([&] { lblProject->Width(Combo1->Width() - 600); });
  Step([&] { lblCancel->Width(pnlCancel->Width()); });
  Step([&] { cmdStop->Left(pnlVideoFile->Width() - cmdStop->Width() - 60); });
  Step([&] { cmdPause->Left(cmdStop->Left() - cmdPause->Width() - 30); });
  Step([&] { cmdPlayLoaded->Left(cmdPause->Left() - cmdPlayLoaded->Width() - 30); });
  Step([&] { Label1(1).Left(cmdPlayLoaded->Left()); });
  Step([&] {
    if (bShowMaker) {
      cmdSplit->Visible(true);
      cmdEdit->Left(pnlVideoFile->Width() / 2 - cmdEdit->Width() - 15);
      cmdSplit->Left(pnlVideoFile->Width() / 2 + 15);
    } else {
      cmdSplit->Visible(false);
      cmdEdit->Left(pnlVideoFile->Width() / 2 - cmdEdit->Width() / 2);
    }
  });
  Step([&] { pnlVideoFile->Top(picPrev->Top() + picPrev->Height() + 60); });
  Step([&] { pnlCancel->Top(pnlVideoFile->Top()); });
  Step([&] { lblLabelProj->Top(pnlCancel->Top() + pnlCancel->Height() + 60); });
  Step([&] { lblProject->Top(lblLabelProj->Top()); });
  Step([&] { Combo1->Top(lblProject->Top() + lblProject->Height() + 15); });
  Step([&] { Combo1->Height(Picture1->Top() - Combo1->Top()); });
  // The frame-size list stands under the clip list's box, at the right column's left edge.
  Step([&] { Label10->Move(picTop->Left(), Combo1->Top() + kComboBoxHeight + 90); });
  Step([&] { CmbVideoSizes->Move(Label10->Left() + Label10->Width() + 60, Label10->Top() - 30); });
  // A clip that played before the layout plays again, loaded anew, from its start.
  if (wasPlaying) Step([&] { cmdPlayLoaded_Click(); });
  Step([&] { Picture1->ZOrder(0); });
  Step([&] { Toolbar1->ZOrder(0); });
  Err().Clear();
}
