#include "options/frmOptions.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_math.h"
#include "core/runtime_strings.h"
#include "engine/modDexterTransitions.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "mainwindow/modMain.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/files.h"

using namespace modOptions;

namespace {

constexpr const char* kTimeAboveDelay = "Transition time cannot exceed the delay time of a still slide.";

// The compression group: element and stored method.
struct CompressionChoice {
  int16_t element;
  const char* method;
};
constexpr CompressionChoice kCompressionChoices[] = {
    {0, "Crunchbox"}, {1, "WME"}, {3, "VirtualDub"}, {5, "Batch"}, {6, "Manual"}};

std::string Get(const char* section, const char* key, const std::string& fallback) {
  return GetSetting(kSettingsApp, section, key, fallback);
}
void Save(const char* section, const char* key, const std::string& value) {
  SaveSetting(kSettingsApp, section, key, value);
}
int16_t Box(bool ticked) { return ticked ? vbChecked : vbUnchecked; }

bool ProgramThere(const std::string& path) { return !path.empty() && modGeneral::FileExists(path); }
bool EncoderThere() {
  return !EncoderInstallDir.empty() && ProgramThere(FolderFile(EncoderInstallDir, "\\WMEnc.exe"));
}

}  // namespace

frmOptions::frmOptions() : Form("frmOptions") {
  On("Form_Load", [this] { Form_Load(); });
  On("Check1_Click", [this] { EnableTransitionControls(); });
  On("chkResize_Click", [this] { ResizeStreamEnabled = chkResize->Value() == vbChecked; });
  On("List1_Click", [this] { ListsClicked(false); });
  On("lstDelay_Click", [this] { ListsClicked(true); });
  On("Text2_DblClick", [this] { Text2->Text(GetPaintPath()); });
  On("Command4_Click", [this] {
    CommonDialogObject& d = CommonDialog1->Dialog();
    d.CancelError = true;
    d.Filter = "Programs (*.exe)|*.exe";
    d.FileName = "";
    if (!Step([&] { CommonDialog1->ShowOpen(); })) {
      Err().Clear();
      return;
    }
    Text2->Text(d.FileName);
  });
  On("Command3_Click", [this] {
    BrowseInfo info;
    info.owner = hWnd();
    info.title = "Browse for folder";
    info.flags = 3;
    const std::string folder = BrowseForFolder(info);
    if (!folder.empty()) Text1->Text(folder);  // the whole path
  });
  On("Command1_Click", [this] { Command1_Click(); });
  On("Command2_Click", [this] { Unload(); });
}

void frmOptions::Design() {
  Caption("Options");
  BorderStyle(vbFixedDouble);
  Size(9840, 7380);
  Place({
      {"Frame", "Frame1", -1, "", 120, 120, 4695, 3135, "Transitions"},
      {"CheckBox", "Check1", -1, "Frame1", 120, 300, 2415, 255, "Allow Transitions"},
      {"Label", "Label1", -1, "Frame1", 120, 660, 1695, 255, "Default Transition:"},
      {"ComboBox", "Combo1", -1, "Frame1", 1920, 600, 2655, 315, ""},
      {"Label", "Label2", -1, "Frame1", 120, 1080, 1695, 255, "Transition Time:"},
      {"ListBox", "List1", -1, "Frame1", 1920, 1020, 735, 285, ""},
      {"Label", "Label3", -1, "Frame1", 2760, 1080, 1095, 255, "in seconds."},
      {"Label", "Label4", -1, "Frame1", 120, 1560, 2415, 255, "Default Delay for Still Frames"},
      {"ListBox", "lstDelay", -1, "Frame1", 2640, 1500, 735, 285, ""},
      {"Label", "Label5", -1, "Frame1", 3480, 1560, 1095, 255, "seconds."},
      {"Label", "Label6", -1, "Frame1", 120, 2040, 4455, 975,
       "Some of the listed DirectX transitions may not actually be installed on your system. \"Slide\" is generally "
       "used when a selected transition is not installed.",
       {{"WordWrap", Variant(true)}}},
      {"Frame", "Frame2", -1, "", 120, 3360, 4695, 2055, "Default Compression Tool"},
      {"OptionButton", "Option1", 0, "Frame2", 120, 300, 4455, 255, "Compress an AVI file to an Crunchbox 5 AVI"},
      {"OptionButton", "Option1", 1, "Frame2", 120, 600, 4455, 255, "Compress an AVI file using Windows Media Encoder"},
      {"OptionButton", "Option1", 3, "Frame2", 120, 900, 4455, 255, "Compress Using VirtualDub"},
      {"OptionButton", "Option1", 5, "Frame2", 120, 1200, 4455, 255, "Compress using Batch Encoder"},
      {"OptionButton", "Option1", 6, "Frame2", 120, 1500, 4455, 255, "Manually Select a Codec with Each Save.",
       {{"Value", Variant(true)}}},
      {"Frame", "Frame3", -1, "", 120, 5520, 4695, 1215, "Installed Compression Codecs"},
      {"ListBox", "List2", -1, "Frame3", 120, 240, 4455, 855, ""},
      {"Frame", "Frame4", -1, "", 4920, 120, 4695, 2775, "Program Options"},
      {"CheckBox", "chkProject", -1, "Frame4", 120, 300, 2175, 255, "Use Projects"},
      {"CheckBox", "chkResize", -1, "Frame4", 2400, 300, 2175, 255, "Allow Resize"},
      {"CheckBox", "Check5", -1, "Frame4", 120, 600, 2175, 255, "Allow Multi Select"},
      {"CheckBox", "Check4", -1, "Frame4", 2400, 600, 2175, 255, "Auto-Fit", {{"Visible", Variant(false)}}},
      {"CheckBox", "Check3", -1, "Frame4", 2400, 900, 2175, 255, "Show Toolbar", {{"Visible", Variant(false)}}},
      {"CheckBox", "Check2", -1, "Frame4", 120, 900, 4455, 255, "Allow Drop and Drag File Import"},
      {"Label", "Label7", -1, "Frame4", 120, 1260, 1815, 255, "Default Video Size:"},
      {"ComboBox", "Combo2", -1, "Frame4", 2040, 1200, 2535, 315, ""},
      {"Label", "Label8", -1, "Frame4", 120, 1680, 2415, 255, "Default Output Folder"},
      {"TextBox", "Text1", -1, "Frame4", 120, 1980, 3855, 315, ""},
      {"CommandButton", "Command3", -1, "Frame4", 4080, 1980, 495, 315, "..."},
      {"Frame", "Frame5", -1, "", 4920, 3000, 4695, 735, "Still Image Editor"},
      {"TextBox", "Text2", -1, "Frame5", 120, 300, 3855, 315, "",
       {{"ToolTipText", Variant(std::string("Double click to find MS-Paint"))}}},
      {"CommandButton", "Command4", -1, "Frame5", 4080, 300, 495, 315, "..."},
      {"Frame", "Frame6", -1, "", 4920, 3840, 4695, 975, "Messages"},
      {"CheckBox", "chkTips", -1, "Frame6", 120, 300, 4455, 255, "Show Tips at Startup"},
      {"CheckBox", "chkShowDivX", -1, "Frame6", 120, 600, 4455, 255, "Check for DivX 3 and AngelPotion at start up",
       {{"Enabled", Variant(false)},
        {"ToolTipText", Variant(std::string("You cannot change this in the current version."))}}},
      {"Frame", "Frame7", -1, "", 4920, 4920, 4695, 1335, "Additional Tools Installed "},
      {"ListBox", "List3", -1, "Frame7", 120, 240, 4455, 975, ""},
      {"CommandButton", "Command1", -1, "", 6240, 6360, 1575, 375, "Save and Exit"},
      {"CommandButton", "Command2", -1, "", 7920, 6360, 1575, 375, "Cancel"},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
  });
  for (const char* line : {"5", "6", "7", "8", "9", "10"}) List1->AddItem(line);
}

void frmOptions::RefreshRegFilters() { modOptions::RefreshRegFilters(*List2, m_objFilgraph, m_objRegFilters); }

void frmOptions::EnableTransitionControls() {
  const bool on = Check1->Value() == vbChecked;
  Combo1->Enabled(on);
  lstDelay->Enabled(on);
}

void frmOptions::Form_Load() {
  delay_.Forget();
  transitionTime_.Forget();
  // 1. Centred on the screen.
  Step([&] {
    Left((Screen().Width() - Width()) / 2);
    Top((Screen().Height() - Height()) / 2);
  });
  // 2. The frame sizes, from the main window.
  Step([&] {
    Combo2->Clear();
    const auto& fill = MainWindowCalls().FillHeightWidthCombo;
    if (!fill) Raise(vbErrObjectNotSet);
    fill(*Combo2);
  });
  // 3. The registered video filters and the default codec's line.
  Step([&] { RefreshRegFilters(); });
  Step([&] { List2->Text(Get(kSectionInit, kKeyDefaultCodec, kDefaultDefaultCodec)); });
  // 4. The still delay.
  Step([&] {
    lstDelay->Clear();
    for (int i = 5; i <= 60; ++i) lstDelay->AddItem(std::to_string(i));
  });
  Step([&] {
    ReadWhole(Get(kSectionOptions, kKeyDefaultDuration, kDefaultDefaultDuration), DefaultClipDuration);
    delay_.Set(*lstDelay, std::to_string(DefaultClipDuration));
  });
  // 5. Transitions, output folder, drag and drop.
  Step([&] {
    Combo1->Clear();
    for (const auto& t : TransitionNames) Combo1->AddItem(t.DisplayName);
    Combo1->AddItem("None");
  });
  Step([&] {
    DefaultTransition = Get(kSectionOptions, kKeyTransition, kDefaultTransition);
    Combo1->Text(DefaultTransition);
  });
  Step([&] {
    OutputFolder = Get(kSectionOptions, kKeyOutput, AppPath() + "/Output");
    Text1->Text(OutputFolder);
  });
  Step([&] {
    ReadBoolean(Get(kSectionOptions, kKeyDragDrop, kDefaultDragDrop), DragDropEnabled);
    Check2->Value(Box(DragDropEnabled));
  });
  // 6.
  Step([&] { EnableTransitionControls(); });
  // 7. The compression tool and "Allow Transitions" (whose click runs).
  Step([&] {
    const std::string method = LCase(Get(kSectionOptions, kKeyCompression, kDefaultCompression));
    for (const auto& c : kCompressionChoices)
      if (method == LCase(c.method)) Option1(c.element).Value(true);
  });
  Step([&] {
    ReadBoolean(Get(kSectionOptions, kKeyAllowTransitions, kDefaultAllowTransitions), TransitionsEnabled);
    Check1->Value(Box(TransitionsEnabled));
  });
  Step([&] { EnableTransitionControls(); });
  // 8. Transition time, image editor, toolbar, frame size, the two messages.
  Step([&] {
    ReadWhole(Get(kSectionOptions, kKeyTransitionTime, kDefaultTransitionTime), TransitionSeconds);
    transitionTime_.Set(*List1, std::to_string(TransitionSeconds));
  });
  Step([&] {
    ImageEditorPath = Get(kSectionOptions, kKeyImageEditor, kDefaultImageEditor);
    Text2->Text(LCase(GetFileNameFromPath(ImageEditorPath)) == "mspaint.exe" ? GetPaintPath() : ImageEditorPath);
  });
  Step([&] {
    ReadBoolean(Get(kSectionOptions, kKeyShowToolbar, kDefaultShowToolbar), ShowToolbarEnabled);
    Check3->Value(Box(ShowToolbarEnabled));
  });
  Step([&] { Combo2->Text(Get(kSectionOptions, kKeyActiveWindow, kDefaultActiveWindow)); });
  // The DivX box is ticked only by a stored "Show": a missing key shows it cleared.
  Step([&] { chkShowDivX->Value(Box(LCase(Get(kSectionInit, kKeyDivXMessage, "")) == "show")); });
  Step([&] { chkTips->Value(Box(LCase(Get(kSectionInit, kKeyStartTips, kDefaultStartTips)) != "hide")); });
  // 9. The additional tools found.
  Step([&] {
    List3->Clear();
    List3->AddItem("Tagswapper");
    List3->AddItem("Crunchbox Video Encoder");
    List3->AddItem("Title Maker");
    if (ProgramThere(AppFile("\\VirtualDub\\VirtualDub.exe"))) List3->AddItem("VirtualDub");
    if (ProgramThere(AppFile("\\Lotkiln.exe"))) List3->AddItem("Lotkiln");
    if (EncoderThere()) List3->AddItem("Windows Media Encoder");
    if (ProgramThere(AppFile("\\wmcap.exe"))) List3->AddItem("Video Capture");
  });
  // 10.
  Step([&] { Check4->Value(Box(UCase(Get(kSectionInit, kKeyAutoFit, "")) == "TRUE")); });
  // 11. Tools that are not there cannot be chosen.
  Step([&] {
    auto off = [&](int16_t element) {
      Option1(element).Value(false);
      Option1(element).Enabled(false);
    };
    if (!ProgramThere(AppFile("\\Crunchbox.exe"))) off(0);
    if (!ProgramThere(AppFile("\\VirtualDub\\VirtualDub.exe"))) off(3);
    if (!EncoderThere()) {
      off(1);
      off(5);
    }
  });
  // 12. Multi-select (missing reads as the main program reads it: on), resize (whose click
  // runs), projects from the global.
  Step([&] { Check5->Value(Box(UCase(Get(kSectionInit, kKeyMultiSelect, kDefaultMultiSelect)) != "FALSE")); });
  Step([&] {
    ReadBoolean(Get(kSectionInit, kKeyResizeStream, kDefaultResizeStream), ResizeStreamEnabled);
    chkResize->Value(Box(ResizeStreamEnabled));
  });
  Step([&] { chkProject->Value(Box(ShowProjectEnabled)); });
  Err().Clear();
}

void frmOptions::ListsClicked(bool delayClicked) {
  const double delay = Val(DelayValue());
  const double time = Val(TransitionTimeValue());
  if (delay >= time) return;
  MsgBox(kTimeAboveDelay, vbOKOnly);
  if (delayClicked) {
    delay_.Set(*lstDelay, TransitionTimeValue());
  } else {
    transitionTime_.Set(*List1, DelayValue());
  }
}

void frmOptions::Command1_Click() {
  // 1. The still delay may not be shorter than the transition.
  if (Val(DelayValue()) < Val(TransitionTimeValue())) {
    MsgBox(kTimeAboveDelay, vbOKOnly);
    transitionTime_.Set(*List1, "1");
    delay_.Set(*lstDelay, "1");
    return;
  }
  // 2.
  Step([&] {
    if (List2->ListIndex() >= 0) Save(kSectionInit, kKeyDefaultCodec, List2->Text());
  });
  // 3. The still delay, 1 to 60.
  Step([&] {
    std::string value = DelayValue();
    if (!IsNumeric(Variant(value))) value = "1";
    if (Val(value) > 60) value = "60";
    if (Val(value) < 1) value = "1";
    delay_.Set(*lstDelay, value);
    DefaultClipDuration = CLng(Variant(value));
    Save(kSectionOptions, kKeyDefaultDuration, std::to_string(DefaultClipDuration));
  });
  // 4.
  Step([&] {
    DefaultTransition = Combo1->Text();
    Save(kSectionOptions, kKeyTransition, DefaultTransition);
  });
  Step([&] {
    OutputFolder = Text1->Text();
    Save(kSectionOptions, kKeyOutput, OutputFolder);
  });
  Step([&] {
    DragDropEnabled = Check2->Value() == vbChecked;
    Save(kSectionOptions, kKeyDragDrop, DragDropEnabled ? "TRUE" : "FALSE");
  });
  Step([&] {
    const auto& set = MainWindowCalls().SetEnableDragDrop;
    if (!set) Raise(vbErrObjectNotSet);
    set(DragDropEnabled);
  });
  // 5.
  Step([&] {
    std::string method;
    for (const auto& c : kCompressionChoices)
      if (method.empty() && Option1(c.element).Value()) method = c.method;
    Save(kSectionOptions, kKeyCompression, method);
  });
  // 6.
  Step([&] {
    TransitionsEnabled = Check1->Value() == vbChecked;
    Save(kSectionOptions, kKeyAllowTransitions, TransitionsEnabled ? "True" : "False");
  });
  Step([&] {
    TransitionSeconds = CLng(Variant(TransitionTimeValue()));
    Save(kSectionOptions, kKeyTransitionTime, std::to_string(TransitionSeconds));
  });
  // 7. The storyboard's tiles, then the drop tile's transition.
  Step([&] {
    Form* main = MainWindow();
    if (!main) Raise(vbErrObjectNotSet);
    const std::vector<int16_t> tiles = main->ElementIndexes("ctrlSourceClip");
    for (int16_t i : tiles) {
      Step([&] { TilePut(*main, i, tile::kShowTransitions, Variant(TransitionsEnabled)); });
      Step([&] {
        if (CDbl(TileGet(*main, i, tile::kDuration)) < DefaultClipDuration)
          TilePut(*main, i, tile::kDuration, Variant(static_cast<double>(DefaultClipDuration)));
      });
      Step([&] { TilePut(*main, i, tile::kAllowDragDrop, Variant(DragDropEnabled)); });
    }
    if (!tiles.empty()) TilePut(*main, tiles.back(), tile::kTransition, Variant(DefaultTransition));
  });
  // 8. The image editor: an empty box or a name that is no file takes the Paint program's path,
  // which is "" when there is none: the editor is then cleared.
  Step([&] {
    const std::string named = Text2->Text();
    if (named.empty() || !modGeneral::FileExists(named)) {
      const std::string paint = GetPaintPath();
      Text2->Text(paint);
      Save(kSectionOptions, kKeyImageEditor, paint);
    } else {
      ImageEditorPath = named;
      Save(kSectionOptions, kKeyImageEditor, named);
    }
  });
  // 9.
  Step([&] {
    ShowToolbarEnabled = Check3->Value() == vbChecked;
    Save(kSectionOptions, kKeyShowToolbar, ShowToolbarEnabled ? "True" : "False");
  });
  Step([&] { Save(kSectionOptions, kKeyActiveWindow, ActiveWindowValue(Combo2->Text())); });
  Step([&] {
    const auto& show = MainWindowCalls().ShowHideToolbar;
    if (!show) Raise(vbErrObjectNotSet);
    show(ShowToolbarEnabled);
  });
  // 10.
  Step([&] { Save(kSectionInit, kKeyDivXMessage, chkShowDivX->Value() == vbChecked ? "Show" : "Hide"); });
  Step([&] { Save(kSectionInit, kKeyStartTips, chkTips->Value() == vbChecked ? "Show" : "Hide"); });
  Step([&] { Save(kSectionInit, kKeyAutoFit, Check4->Value() == vbChecked ? "TRUE" : "FALSE"); });
  Step([&] { Save(kSectionInit, kKeyMultiSelect, Check5->Value() == vbChecked ? "TRUE" : "FALSE"); });
  // 11. Resize: the main window's size list shows with it.
  Step([&] {
    ResizeStreamEnabled = chkResize->Value() == vbChecked;
    Form* main = MainWindow();
    if (main) {
      for (const char* name : {"Label10", "CmbVideoSizes"}) {
        Step([&] {
          Control* c = main->FindControl(name);
          if (!c) Raise(vbErrObjectNotSet);
          c->Visible(ResizeStreamEnabled);
        });
      }
    }
    Save(kSectionInit, kKeyResizeStream, ResizeStreamEnabled ? "TRUE" : "FALSE");
  });
  // 12.
  Step([&] {
    ShowProjectEnabled = chkProject->Value() == vbChecked;
    Save(kSectionInit, kKeyShowProject, ShowProjectEnabled ? "TRUE" : "FALSE");
  });
  Step([&] {
    const auto& load = MainWindowCalls().LoadToolBar;
    if (!load) Raise(vbErrObjectNotSet);
    load();
  });
  Err().Clear();
  // 13.
  Unload();
}
