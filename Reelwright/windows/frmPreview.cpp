#include "windows/frmPreview.h"

#include <algorithm>
#include <cctype>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_math.h"
#include "dshow/uuids.h"
#include "forms/app.h"
#include "mainwindow/modMain.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"

namespace {

constexpr const char* kMovieFilter =
    "Movies (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm)|*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm";
constexpr LONG kClipStyle = 0x06000000;  // WS_CLIPCHILDREN | WS_CLIPSIBLINGS
const double kRates[] = {0.5, 1, 2};

// Dispatch identifiers of the storyboard tile's properties.
constexpr DISPID kDispidAllowDragDrop = 0x68030000;
constexpr DISPID kDispidShowTransitions = 0x68030001;
constexpr DISPID kDispidTransition = 0x68030004;
constexpr DISPID kDispidMediaFile = 0x6803000A;

// Whole numbers, halves to even.
int32_t Whole(double x) { return CLng(Variant(x)); }

void PutProperty(IDispatch* object, DISPID id, const Variant& value) {
  if (!object) Raise(vbErrObjectNotSet);
  Variant arg = value;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&arg, &named, 1, 1};
  Check(object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
}

// The main window's storyboard tile with the highest index, looked up anew at each call.
IDispatch* LastTile() {
  Form* show = MainWindow();
  if (!show) Raise(vbErrObjectNotLoaded, "The main window is not there", "frmPreview");
  std::vector<int16_t> tiles = show->ElementIndexes("ctrlSourceClip");
  if (tiles.empty()) Raise(vbErrObjectNotLoaded, "The storyboard has no tiles", "frmPreview");
  Control* tile = show->FindControl("ctrlSourceClip", tiles.back());
  return tile ? tile->DispatchObject() : nullptr;
}

}  // namespace

bool frmPreview::IsSmallPreviewSize(const std::string& activeWindow) { return IsSmallFrameSize(activeWindow); }

frmPreview::frmPreview() : Form("frmPreview") {
  On("Form_Load", [this] { Form_Load(); });
  On("Form_Resize", [this] { Form_Resize(); });
  On("Form_QueryUnload", [this](int16_t&, int16_t) { StopGraph(); });
  On("Form_Unload", [this](int16_t&) { Cleanup(); });
  On("cmdPlay_Click", [this] { Play(); });
  On("cmdPause_Click", [this] { PauseGraph(); });
  On("cmdStop_Click", [this] { StopGraph(); });
  On("mnuOpen_Click", [this] { OpenFromMenu(); });
  On("mnuAdd_Click", [this] { AddToStoryboard(); });
  On("Command2_Click", [this] { AddToStoryboard(); });
  On("mnuExit_Click", [this] { Exit(); });
  On("cmdExit_Click", [this] { Exit(); });
  On("mnuControls_Click", [this] { ToggleView(); });
  On("Command3_Click", [this] { ToggleView(); });
  On("Command1_Click", [this] { ToggleView(); });
  On("optPlaybackRate_Click", [this](int16_t Index) { SetRate(Index); });
  On("tmrTimer_Timer", [this] { Tick(); });
  On("Timer1_Timer", [this] {  // the start nudge, once
    Top(Top() + 30);
    Left(Left() - 30);
    DoEvents();
    Centre();
    Timer1->Enabled(false);
  });
  auto volume = [this] {
    if (objBasicAudio) Step([&] { Check(objBasicAudio->put_Volume(slVolume->Value())); });
  };
  auto balance = [this] {
    if (objBasicAudio) Step([&] { Check(objBasicAudio->put_Balance(slBalance->Value())); });
  };
  On("slVolume_Change", volume);
  On("slVolume_MouseMove", [volume](int16_t, int16_t, float, float) { volume(); });
  On("slBalance_Change", balance);
  On("slBalance_MouseMove", [balance](int16_t, int16_t, float, float) { balance(); });
  On("Picture1_Resize", [this] {  // the button bar's right-hand buttons, 2 pixels apart
    Step([&] {
      Control& exit = *FindControl("cmdExit");
      Control& add = *FindControl("Command2");
      Control& controls = *FindControl("Command3");
      exit.Left(static_cast<int32_t>(Picture1->ScaleWidth()) - exit.Width() - 2);
      add.Left(exit.Left() - add.Width() - 2);
      controls.Left(add.Left() - controls.Width() - 2);
    });
  });
  On("Picture2_Resize", [this] {
    Step([&] { FindControl("Command1")->Top(Picture2->Height() * 15 - 1000); });
  });
}

void frmPreview::Design() {
  Caption("Preview");
  Size(5625, 5000);
  const Variant yes(true), no(false);
  auto tip = [](const char* t) { return std::pair<std::string, Variant>{"ToolTipText", Variant(t)}; };
  const std::pair<std::string, Variant> graphical{"Style", Variant(int16_t{1})};
  Place({
      {"PictureBox", "picVideoWindow", -1, "", 0, 0, 4800, 3600, "",
       {{"BackColor", Variant(int32_t{0})}, {"BorderStyle", Variant(int16_t{0})}}},
      // The bar's buttons stand 2 pixels inside its client area (34 pixels high within its border).
      {"PictureBox", "Picture1", -1, "", 0, 4000, 5625, 570, "",
       {{"ScaleMode", Variant(int16_t{3})}, {"Align", Variant(int16_t{2})}}},
      {"CommandButton", "cmdPlay", -1, "Picture1", 2, 2, 50, 30, "Play", {tip("Play"), graphical}},
      {"CommandButton", "cmdPause", -1, "Picture1", 54, 2, 50, 30, "Pause", {tip("Pause"), graphical}},
      {"CommandButton", "cmdStop", -1, "Picture1", 106, 2, 50, 30, "Stop", {tip("Stop"), graphical}},
      {"CommandButton", "Command3", -1, "Picture1", 200, 2, 60, 30, "Controls", {tip("Show Controls"), graphical}},
      {"CommandButton", "Command2", -1, "Picture1", 262, 2, 60, 30, "Add", {tip("Add to Storyboard"), graphical}},
      {"CommandButton", "cmdExit", -1, "Picture1", 324, 2, 50, 30, "Exit", {tip("Exit"), graphical}},
      {"CommonDialog", "CommonDialog1", -1, "Picture1", 0, 0, 0, 0, ""},
      {"PictureBox", "Picture2", -1, "", 0, 0, 5500, 5200, "", {{"Visible", no}, {"BorderStyle", Variant(int16_t{0})}}},
      {"Frame", "frameVolume", -1, "Picture2", 120, 120, 2535, 1095, "Volume"},
      {"Slider", "slVolume", -1, "frameVolume", 120, 240, 2295, 435, "",
       {{"Min", Variant(int32_t{-10000})}, {"Max", Variant(int32_t{0})}, {"LargeChange", Variant(int32_t{1000})},
        {"SmallChange", Variant(int32_t{500})}, {"TickFrequency", Variant(int32_t{1000})}, {"Value", Variant(int32_t{0})}}},
      {"Label", "Label6", -1, "frameVolume", 120, 720, 600, 255, "Min"},
      {"Label", "Label7", -1, "frameVolume", 1935, 720, 480, 255, "Max"},
      {"Frame", "frameBalance", -1, "Picture2", 2775, 120, 2535, 1095, "Balance"},
      {"Slider", "slBalance", -1, "frameBalance", 120, 240, 2295, 435, "",
       {{"Min", Variant(int32_t{-5000})}, {"Max", Variant(int32_t{5000})}, {"LargeChange", Variant(int32_t{1000})},
        {"SmallChange", Variant(int32_t{500})}, {"TickFrequency", Variant(int32_t{1000})}, {"Value", Variant(int32_t{0})}}},
      {"Label", "Label8", -1, "frameBalance", 120, 720, 600, 255, "Left"},
      {"Label", "Label9", -1, "frameBalance", 1935, 720, 480, 255, "Right"},
      {"Frame", "fraInfo", -1, "Picture2", 120, 1320, 5190, 2655, "Information:"},
      {"Label", "Label10", -1, "fraInfo", 120, 300, 1400, 255, "Length:"},
      {"TextBox", "txtDuration", -1, "fraInfo", 1560, 270, 1095, 315, "", {tip("Media Length (Seconds)")}},
      {"Label", "Label11", -1, "fraInfo", 120, 690, 1400, 255, "Elapsed Time:"},
      {"TextBox", "txtElapsed", -1, "fraInfo", 1560, 660, 1095, 315, "", {tip("Elapsed Time (Seconds)")}},
      {"Label", "Label12", -1, "fraInfo", 120, 1080, 1400, 255, "Playback speed:"},
      {"TextBox", "txtRate", -1, "fraInfo", 1560, 1050, 1095, 315, "", {tip("Playback Speed (Frames Per Second)")}},
      {"Label", "Label13", -1, "fraInfo", 2880, 300, 1800, 255, "Reset speed:"},
      {"OptionButton", "optPlaybackRate", 0, "fraInfo", 2880, 570, 2100, 255, "50%", {tip("Half Speed")}},
      {"OptionButton", "optPlaybackRate", 1, "fraInfo", 2880, 840, 2100, 255, "Normal (100%)", {tip("Normal Speed")}},
      {"OptionButton", "optPlaybackRate", 2, "fraInfo", 2880, 1110, 2100, 255, "200%", {tip("Double Speed")}},
      {"Label", "Label14", -1, "fraInfo", 120, 1560, 900, 255, "Width:"},
      {"Label", "Label3", -1, "fraInfo", 1080, 1560, 900, 255, ""},
      {"Label", "Label15", -1, "fraInfo", 120, 1890, 900, 255, "Height:"},
      {"Label", "Label5", -1, "fraInfo", 1080, 1890, 900, 255, ""},
      {"CommandButton", "Command1", -1, "Picture2", 4080, 4200, 1215, 375, "Close"},
      {"Timer", "tmrTimer", -1, "", 0, 0, 0, 0, ""},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{2000})}}},
      {"Menu", "mnuFile", -1, "", 0, 0, 0, 0, "File"},
      {"Menu", "mnuOpen", -1, "mnuFile", 0, 0, 0, 0, "Open"},
      {"Menu", "mnuAdd", -1, "mnuFile", 0, 0, 0, 0, "Add to Storyboard"},
      {"Menu", "mnuExit", -1, "mnuFile", 0, 0, 0, 0, "Exit"},
      {"Menu", "mnuControls", -1, "", 0, 0, 0, 0, "Show Controls"},
  });
  // The window works in pixels from here on (the table above is in twips).
  ScaleMode(vbPixels);
}

void frmPreview::Centre() {
  Top((Screen().Height() - Height()) / 2);
  Left((Screen().Width() - Width()) / 2);
}

void frmPreview::Form_Load() {
  optPlaybackRate(1).Value(true);
  tmrTimer->Interval(250);
  cmdPlay->Enabled(false);
  cmdStop->Enabled(false);
  cmdPause->Enabled(false);
  Centre();
}

int32_t frmPreview::VideoWidth() {
  LONG w = 0;
  Check(objVideoWindow ? objVideoWindow->get_Width(&w) : E_POINTER);
  return w;
}

int32_t frmPreview::VideoHeight() {
  LONG h = 0;
  Check(objVideoWindow ? objVideoWindow->get_Height(&h) : E_POINTER);
  return h;
}

void frmPreview::FileOpen(std::string& sPassedFileName) {
  // Each step that fails is skipped.
  Step([&] { Cleanup(); });
  sFileName = sPassedFileName;
  Step([&] {
    ComPtr<IMediaControl> graph;
    Check(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, graph.put_void()));
    objMediaControl = graph;
    Check(objMediaControl->RenderFile(Bstr(sFileName)));
  });
  Step([&] {
    Check(objMediaControl->QueryInterface(IBasicAudio::iid, objBasicAudio.put_void()));
    Check(objBasicAudio->put_Volume(slVolume->Value()));
    Check(objBasicAudio->put_Balance(slBalance->Value()));
  });
  Step([&] {
    Check(objMediaControl->QueryInterface(IVideoWindow::iid, objVideoWindow.put_void()));
    Check(objVideoWindow->put_WindowStyle(kClipStyle));
    // The renderer's window here has no caption or border to push out of sight: it sits at the
    // video area's corner, so the picture fills the area exactly (no band beside or under it).
    Check(objVideoWindow->put_Top(0));
    Check(objVideoWindow->put_Left(0));
    picVideoWindow->Width(VideoWidth());
    picVideoWindow->Height(VideoHeight());
    Check(objVideoWindow->put_Owner(static_cast<OAHWND>(picVideoWindow->hWnd())));
  });
  Step([&] {
    Check(objMediaControl->QueryInterface(IMediaEvent::iid, objMediaEvent.put_void()));
    Check(objMediaControl->QueryInterface(IMediaPosition::iid, objMediaPosition.put_void()));
  });
  Step([&] {
    for (int16_t i = 0; i <= 2; ++i) {
      if (!optPlaybackRate(i).Value()) continue;
      if (objMediaPosition) Check(objMediaPosition->put_Rate(kRates[i]));
      break;
    }
  });
  Step([&] {
    double length = 0;
    Check(objMediaPosition->get_Duration(&length));
    dDuration = Round(length, 2);
    txtDuration->Text(CStr(Variant(dDuration)));
  });
  dStartPosition = 0;
  Step([&] {
    Check(objMediaPosition->get_Rate(&dPlaybackRate));
    txtRate->Text(CStr(Variant(dPlaybackRate)));
  });
  cmdPlay->Enabled(true);
  cmdStop->Enabled(false);
  cmdPause->Enabled(false);
  Step([&] { Width(15 * std::max<int32_t>(375, VideoWidth())); });
  Step([&] { Height(std::max<int32_t>(5000, Picture1->Height() * 15 + VideoHeight())); });
  Step([&] { Centre(); });
  Play();
}

void frmPreview::Play() {
  const bool ok = Step([&] {
    if (!objMediaPosition || !objMediaControl) Raise(vbErrObjectNotSet);
    double position = 0;
    Check(objMediaPosition->get_CurrentPosition(&position));
    if (Whole(position) < Whole(dStartPosition)) {
      Check(objMediaPosition->put_CurrentPosition(dStartPosition));
    } else {
      Check(objMediaPosition->get_CurrentPosition(&position));
      // A file played to its end starts again from the beginning.
      if (Whole(position) == Whole(dDuration)) Check(objMediaPosition->put_CurrentPosition(dStartPosition));
    }
    Check(objMediaControl->Run());
    bPlaying = true;
    cmdPlay->Enabled(false);
    cmdStop->Enabled(true);
    cmdPause->Enabled(true);
  });
  if (ok) return;
  Err().Clear();
  MsgBox("Error the file is empty.", vbOKOnly);
  Unload();
}

void frmPreview::PauseGraph() {
  Step([&] { Check(objMediaControl ? objMediaControl->Pause() : E_POINTER); });
  bPlaying = false;
  cmdPlay->Enabled(true);
  cmdStop->Enabled(true);
  cmdPause->Enabled(false);
}

void frmPreview::StopGraph() {
  Step([&] { Check(objMediaControl ? objMediaControl->Stop() : E_POINTER); });
  bPlaying = false;
  Step([&] { Check(objMediaPosition ? objMediaPosition->put_CurrentPosition(0) : E_POINTER); });
  Step([&] { txtElapsed->Text("0.0"); });
  Step([&] {
    cmdPlay->Enabled(true);
    cmdStop->Enabled(false);
    cmdPause->Enabled(false);
  });
}

void frmPreview::Cleanup() {
  // Ends silently at a failure.
  EndQuietly([&] {
    bPlaying = false;
    DoEvents();
    if (objMediaControl) Check(objMediaControl->Stop());
    if (objVideoWindow) {
      // Off-screen and without owner, so that the renderer's window never shows on its own.
      Check(objVideoWindow->put_Left(8 * Screen().Width()));
      Check(objVideoWindow->put_Height(8 * Screen().Height()));
      Check(objVideoWindow->put_Owner(0));
    }
  });
  objBasicAudio = nullptr;
  objVideoWindow = nullptr;
  objMediaEvent = nullptr;
  objMediaPosition = nullptr;
  objMediaControl = nullptr;
}

void frmPreview::Tick() {
  if (!bPlaying) return;
  LONG code = 0;
  Step([&] {
    if (objMediaEvent && objMediaEvent->WaitForCompletion(100, &code) != S_OK) code = 0;
  });
  if (code == 0) {
    Step([&] {
      double position = 0;
      Check(objMediaPosition->get_CurrentPosition(&position));
      txtElapsed->Text(CStr(Variant(Round(position, 2))));
    });
    return;
  }
  // Played to its end: the graph is not stopped.
  txtElapsed->Text(CStr(Variant(Round(dDuration, 2))));
  cmdPlay->Enabled(true);
  cmdStop->Enabled(false);
  cmdPause->Enabled(false);
  bPlaying = false;
}

void frmPreview::SetRate(int16_t index) {
  if (!objMediaPosition || index < 0 || index > 2) return;
  Step([&] {
    txtRate->Text(CStr(Variant(kRates[index])));
    Check(objMediaPosition->put_Rate(kRates[index]));
  });
}

void frmPreview::Form_Resize() {
  // Each step that fails is skipped.
  const bool small =
      IsSmallPreviewSize(ValueOr(std::string("320X240"), [] {
        return GetSetting(kSettingsApp, kSectionOptions, kKeyActiveWindow, "320X240");
      }));
  const int32_t areaWidth = small ? 320 : 640, areaHeight = small ? 240 : 480;
  Step([&] {
    picVideoWindow->Width(areaWidth);
    picVideoWindow->Height(areaHeight);
  });
  Step([&] {
    if (!objVideoWindow) return;
    Check(objVideoWindow->put_Height(areaHeight));
    Check(objVideoWindow->put_Width(areaWidth));
  });
  Step([&] {
    const int32_t needed = (areaHeight + Picture1->Height()) * 15;
    if (needed > Height()) Height(needed);
  });
  Step([&] {
    if (mnuControls->Caption() == "Show Controls") Width(areaWidth <= 375 ? 5625 : areaWidth * 15);
    if (Width() < 375) Width(375);
  });
  Step([&] {
    Label3->Caption(CStr(Variant(Width() / 15)));
    Label5->Caption(CStr(Variant(Height() / 15)));
  });
  Step([&] { picVideoWindow->Left(Width() / 15 / 2 - areaWidth / 2); });
}

void frmPreview::ToggleView() {
  Step([&] { Picture2->Height(static_cast<int32_t>(Height() / 15)); });
  if (mnuControls->Caption() == "Show Controls") {
    mnuControls->Caption("Show Video");
    if (objMediaControl) PauseGraph();
    Step([&] {
      Picture2->Move(0, 0);
      Height(6000);
      Width(Picture2->Width() * 15);
      Picture2->Visible(true);
      picVideoWindow->Visible(false);
    });
  } else {
    Step([&] {
      Picture2->Visible(false);
      picVideoWindow->Visible(true);
    });
    mnuControls->Caption("Show Controls");
    Step([&] { Width(15 * std::max<int32_t>(375, VideoWidth())); });
    Step([&] { Height(std::max<int32_t>(5000, Picture1->Height() * 15 + VideoHeight())); });
    if (objMediaControl) Play();
  }
  Step([&] { Centre(); });
}

void frmPreview::OpenFromMenu() {
  StopGraph();
  CommonDialog& dialog = *CommonDialog1;
  dialog->FileName.clear();
  dialog->Filter = kMovieFilter;
  dialog->CancelError = true;
  if (!Step([&] { dialog.ShowOpen(); })) {
    Err().Clear();
    return;
  }
  std::string path = dialog->FileName;
  DoEvents();
  // The caption names the file now shown.
  Caption("Previewing " + path);
  FileOpen(path);
}

void frmPreview::AddToStoryboard() {
  // Each step carried on past a failure: the new drop tile is looked up again for each property.
  Step([&] { PutProperty(LastTile(), kDispidMediaFile, Variant(sFileName)); });
  Step([&] { PutProperty(LastTile(), kDispidShowTransitions, Variant(TransitionsEnabled)); });
  Step([&] { PutProperty(LastTile(), kDispidAllowDragDrop, Variant(DragDropEnabled)); });
  Step([&] { PutProperty(LastTile(), kDispidTransition, Variant(DefaultTransition)); });
  Err().Clear();
  Exit();
}

void frmPreview::Exit() {
  if (objMediaControl) Step([&] { Check(objMediaControl->Stop()); });
  Unload();
}
