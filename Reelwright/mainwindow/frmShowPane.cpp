// frmShow: the selected clip's preview pane (load, play, pause, timer, progress), the DivX check
// and repair of a load, picture editing, and the menu commands that open windows and start
// programs (batch encoder, capture tool, VirtualDub, title maker, movie preview, help, support,
// about).
#include <cmath>
#include <optional>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_datetime.h"
#include "core/runtime_math.h"
#include "core/runtime_strings.h"
#include "dshow/uuids.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/desktop_windows.h"
#include "forms/htmlhelp.h"
#include "forms/picture.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmAbout.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modDivx.h"
#include "mainwindow/modSettings.h"
#include "options/frmCompOpt.h"
#include "options/frmDuration.h"
#include "options/frmOptions.h"
#include "options/modOptions.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/process.h"
#include "splitter/frmSplitter.h"
#include "windows/frmCapture.h"
#include "windows/frmPreview.h"
#include "windows/frmSupport.h"

namespace {

bool IsPictureFile(const std::string& path) {
  const std::string e = LCase(Right(path, 3));
  return e == "bmp" || e == "gif" || e == "jpg";
}

// A duration or position as the pane shows it: rounded to two decimals, the runtime's text.
std::string SecondsText(double seconds) { return CStr(Variant(Round(seconds, 2))); }

// A top-level window of ours by its handle, another program's by the window system's id.
bool PlaceWindow(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height) {
  const HWND hwnd = static_cast<HWND>(window);
  if (IsWindow(hwnd)) return MoveWindow(hwnd, x, y, width, height, true);
  return DesktopMoveWindow(hwnd, x, y, width, height);
}

}  // namespace

const char* const frmShow::kPortraitNotice =
    "The height of this clip is greater than the width.\r\n\r\n"
    "Unless you resize it to standard dimensions\r\n"
    "it will be distorted to match the size of movie clips.";
const char* const frmShow::kCaptureDownloadAddress = "https://www.example.com/reelwright/capture";

void frmShow::RegisterPaneHandlers() {
  On("cmdPlayLoaded_Click", [this] { cmdPlayLoaded_Click(); });
  On("cmdPause_Click", [this] { cmdPause_Click(); });
  On("tmrTimer_Timer", [this] { tmrTimer_Timer(); });
  On("txtDuration_Change", [this] { txtDuration_Change(); });
  On("txtElapsed_Change", [this] { txtElapsed_Change(); });
  On("lblFileName_Change", [this] { lblFileName_Change(); });
  On("cmdEdit_Click", [this] { mnuEdit_Click(); });
  On("cmdSplit_Click", [this] { cmdSplit_Click(); });
  On("mnuEdit_Click", [this] { mnuEdit_Click(); });
  On("Image2_DblClick", [this] { Image2_DblClick(); });
  On("Picture2_DblClick", [this] { Picture2_DblClick(); });
  On("Timer1_Timer", [this] { Timer1_Timer(); });
  On("mnuBatch_Click", [this] { mnuBatch_Click(); });
  On("mnuCapture_Click", [this] { mnuCapture_Click(); });
  On("mnuTitleMaker_Click", [this] { mnuTitleMaker_Click(); });
  On("mnuVirtualDub_Click", [this] { mnuVirtualDub_Click(); });
  On("mnuMoviePreview_Click", [this] { mnuMoviePreview_Click(); });
  On("mnuGenHelp_Click", [this] { mnuGenHelp_Click(); });
  On("mnuSupport_Click", [this] { mnuSupport_Click(); });
  On("mnuAbout_Click", [this] { mnuAbout_Click(); });
  On("mnuOptions_Click", [this] { mnuOptions_Click(); });
  On("mnuSettings_Click", [this] { mnuSettings_Click(); });
  On("mnuSplitter_Click", [this] { mnuSplitter_Click(); });
  On("mnuDuration_Click", [this] { mnuDuration_Click(); });
}

// ---- Load -----------------------------------------------------------------------------------

void frmShow::ReleasePane() {
  PreviewPaneGraph = nullptr;
  PreviewPaneVideoWindow = nullptr;
  Step([&] { tmrTimer->Interval(250); });
  Step([&] { cmdPlayLoaded->Enabled(false); });
  Step([&] { cmdStop->Enabled(false); });
  Step([&] { cmdPause->Enabled(false); });
}

void frmShow::LoadFile() {
  DivxConverted = false;
  if (sLoadedFileName.empty()) return;

  // A new graph for the file; the old one goes with the replacement.
  bool noGraph = false;
  Step([&] {
    ComPtr<IMediaControl> graph;
    const HRESULT made =
        CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, graph.put_void());
    if (FAILED(made)) noGraph = true;
    Check(made);
    PreviewPaneGraph = graph;
    Check(PreviewPaneGraph->RenderFile(Bstr(sLoadedFileName)));
  });
  if (noGraph) {
    NoMediaPlayback();
    return;
  }

  bool repair = false;
  Step([&] {
    if (modDivx::CheckDivxFilters(PreviewPaneGraph.Get(), sLoadedFileName) != modDivx::DivxVerdict::Illegal) return;
    if (!modDivx::AskDivxRepair()) return;
    repair = true;
    DivxOriginalFile = sLoadedFileName;
  });
  if (repair) {
    ReleasePane();
    RepairDivxFile();
    return;
  }

  bool noInterfaces = false;
  Step([&] {
    DoEvents();
    if (!PreviewPaneGraph) Raise(vbErrObjectNotSet);
    ComPtr<IVideoWindow> window;
    ComPtr<IMediaEvent> events;
    ComPtr<IMediaPosition> position;
    if (FAILED(PreviewPaneGraph->QueryInterface(IVideoWindow::iid, window.put_void())) ||
        FAILED(PreviewPaneGraph->QueryInterface(IMediaEvent::iid, events.put_void())) ||
        FAILED(PreviewPaneGraph->QueryInterface(IMediaPosition::iid, position.put_void()))) {
      noInterfaces = true;
      Raise(vbErrObjectNotSet);
    }
    PreviewPaneVideoWindow = window;
    PreviewPaneEvents = events;
    PreviewPanePosition = position;
    Check(PreviewPaneVideoWindow->put_Visible(0));
  });
  if (noInterfaces) {
    NoMediaPlayback();
    return;
  }
  // A graph that gives no duration (the file did not render: missing, empty, no media) has none
  // of its own: the previous clip's duration must not reach the selected tile or decide the
  // buttons, which keep their values, and the timer then ends a Play at its first tick.
  bool durationRead = false;
  Step([&] {
    PreviewPaneDuration = 0;
    if (!PreviewPanePosition) Raise(vbErrObjectNotSet);
    Check(PreviewPanePosition->put_Rate(1.0));
    double length = 0;
    Check(PreviewPanePosition->get_Duration(&length));
    PreviewPaneDuration = Round(length, 2);
    durationRead = true;
    txtDuration->Text(CStr(Variant(PreviewPaneDuration)));
  });
  if (durationRead) {
    Step([&] {
      const int16_t sel = static_cast<int16_t>(SelectedClipIndex);
      TilePut(sel, tile::kDuration, Variant(PreviewPaneDuration));
      if (CDbl(TileGet(sel, tile::kDuration)) == 0) {
        TilePut(sel, tile::kDuration, Variant(static_cast<double>(DefaultClipDuration)));
      }
    });
  }
  PreviewPaneStartPosition = 0;
  Step([&] {
    if (!PreviewPanePosition) Raise(vbErrObjectNotSet);
    Check(PreviewPanePosition->get_Rate(&PreviewPaneRate));
    txtRate->Text(CStr(Variant(PreviewPaneRate)));
  });
  Step([&] { lblFileName->Caption(sLoadedFileName); });
  if (durationRead) {
    Step([&] {
      if (PreviewPaneDuration > 0) {
        cmdPlayLoaded->Enabled(true);
        cmdStop->Enabled(false);
        cmdPause->Enabled(false);
        DoEvents();
      } else {
        cmdPlayLoaded->Enabled(false);
        cmdStop->Enabled(false);
        cmdPause->Enabled(false);
      }
    });
  }
  Step([&] {
    if (!PreviewPaneVideoWindow) Raise(vbErrObjectNotSet);
    Check(PreviewPaneVideoWindow->put_WindowStyle(0x06000000));
    Check(PreviewPaneVideoWindow->put_Width(CLng(Variant(picPrev->Width() / Screen().TwipsPerPixelX()))));
    Check(PreviewPaneVideoWindow->put_Height(CLng(Variant(picPrev->Height() / Screen().TwipsPerPixelY()))));
    Check(PreviewPaneVideoWindow->put_Top(0));
    Check(PreviewPaneVideoWindow->put_Left(0));
    Check(PreviewPaneVideoWindow->put_Owner(static_cast<OAHWND>(picPrev->hWnd())));
    DoEvents();
    if (!PreviewPaneVideoWindow) Raise(vbErrObjectNotSet);
    Check(PreviewPaneVideoWindow->put_Visible(-1));
  });
  Step([&] {
    if (!PreviewPaneGraph) Raise(vbErrObjectNotSet);
    ComPtr<IBasicVideo> video;
    Check(PreviewPaneGraph->QueryInterface(IBasicVideo::iid, video.put_void()));
    LONG width = 0, height = 0;
    Check(video->get_VideoWidth(&width));
    Check(video->get_VideoHeight(&height));
    PreviewVideoWidth = width;
    PreviewVideoHeight = height;
  });
  // The picture test looks at the file just loaded, which is the file the selected tile takes:
  // while a tile raises ImportFile (the load of an added file) its MediaFile still reads the
  // previous one, so asking the tile would never find the added picture.
  Step([&] {
    if (!bShowErrors) return;
    if (IsPictureFile(sLoadedFileName) && PreviewVideoWidth < PreviewVideoHeight) {
      MsgBox(kPortraitNotice, vbOKOnly | vbInformation);
    }
  });
  Err().Clear();
}

void frmShow::NoMediaPlayback() {
  MsgBox("DirectX Movie was unable to initialize.\r\nPlease install DirectX 8 to use all the features of Reelwright!",
         vbOKOnly);
  PreviewPaneEvents = nullptr;
  PreviewPanePosition = nullptr;
  ReleasePane();
  Err().Clear();
}

void frmShow::RepairDivxFile() {
  const std::string copy = modDivx::DivxRepairCopy(sLoadedFileName);
  const bool made = modDivx::MakeDivxRepairCopy(sLoadedFileName, copy);
  DoEvents();
  DoEvents();
  // The notice names a repaired file: there is one only when the copy was made.
  if (made) Step([&] { modDivx::ShowDivxNotice(copy); });
  sLoadedFileName = copy;
  DivxConverted = true;
  Step([&] { Combo1->Clear(); });
  Step([&] { TilePut(static_cast<int16_t>(SelectedClipIndex), tile::kMediaFile, Variant(sLoadedFileName)); });
  Step([&] { RefreshClipList(); });
  DoEvents();
  Step([&] { LoadFile(); });
  Err().Clear();
}

// ---- Play, pause, timer ---------------------------------------------------------------------

void frmShow::cmdPlayLoaded_Click() {
  EndQuietly([&] {
    LoadFile();
    PreviewPanePlaying = true;
    picPrev->Visible(true);
    cmdPlayVideoWindow->Enabled(false);
    tmrTimer->Interval(250);
    tmrTimer->Enabled(true);
    if (!PreviewPanePosition) Raise(vbErrObjectNotSet);
    double position = 0;
    Check(PreviewPanePosition->get_CurrentPosition(&position));
    const double now = Round(position), start = Round(PreviewPaneStartPosition);
    if (now < start || now == Round(PreviewPaneDuration)) Check(PreviewPanePosition->put_CurrentPosition(start));
    DoEvents();
    if (!PreviewPaneGraph) Raise(vbErrObjectNotSet);
    Check(PreviewPaneGraph->Run());
    DoEvents();
    PreviewPanePlaying = true;
    cmdPlayLoaded->Enabled(false);
    cmdStop->Enabled(true);
    cmdPause->Enabled(true);
  });
  Err().Clear();
}

void frmShow::cmdPause_Click() {
  ProgressBar1->Visible(false);
  EndQuietly([&] {
    if (!PreviewPaneGraph) Raise(vbErrObjectNotSet);
    Check(PreviewPaneGraph->Pause());
    PreviewPanePlaying = false;
    cmdPlayLoaded->Enabled(true);
    cmdStop->Enabled(true);
    cmdPause->Enabled(false);
  });
  Err().Clear();
}

void frmShow::tmrTimer_Timer() {
  if (!PreviewPanePlaying) return;
  const bool notPicture = ValueOr(true, [&] { return !IsPictureFile(Combo1->Text()); });
  // The pane stops showing a clip that has ended, or one without duration.
  auto stopShowing = [&] {
    Step([&] {
      if (notPicture) cmdPlayLoaded->Enabled(true);
    });
    Step([&] { cmdStop->Enabled(false); });
    Step([&] { cmdPause->Enabled(false); });
    PreviewPanePlaying = false;
    Step([&] { ProgressBar1->Visible(false); });
  };
  if (Round(PreviewPaneDuration, 2) != 0) {
    LONG code = 0;
    Step([&] {
      if (!PreviewPaneEvents) Raise(vbErrObjectNotSet);
      LONG result = 0;
      // A wait that times out leaves the code at 0: not finished.
      PreviewPaneEvents->WaitForCompletion(100, &result);
      code = result;
    });
    if (code == 0) {
      Step([&] {
        if (!PreviewPanePosition) Raise(vbErrObjectNotSet);
        double position = 0;
        Check(PreviewPanePosition->get_CurrentPosition(&position));
        txtElapsed->Text(SecondsText(position));
      });
      Step([&] { ProgressBar1->Visible(true); });
    } else {
      Step([&] { txtElapsed->Text(SecondsText(PreviewPaneDuration)); });
      stopShowing();
      Step([&] { picPrev->Visible(false); });
    }
  } else {
    stopShowing();
    Step([&] { tmrTimer->Enabled(false); });
    Step([&] { cmdPlayVideoWindow->Enabled(true); });
  }
  Err().Clear();
}

void frmShow::txtDuration_Change() {
  Step([&] {
    const std::string text = txtDuration->Text();
    if (Val(text) > 0) ProgressBar1->Max(static_cast<float>(CLng(Variant(text))));
  });
  Err().Clear();
}

void frmShow::txtElapsed_Change() {
  Step([&] { ProgressBar1->Value(static_cast<float>(CLng(Variant(txtElapsed->Text())))); });
  Err().Clear();
}

void frmShow::lblFileName_Change() {
  const std::string caption = lblFileName->Caption();
  if (caption.empty()) {
    lblSelected->Caption("");
    return;
  }
  // The file-name part: after the last "/" (the suite's paths).
  lblSelected->Caption("Selected clip: " + modGeneral::GetFileNameFromPath(caption) + " Duration: " +
                       CStr(TileGet(static_cast<int16_t>(SelectedClipIndex), tile::kDuration)));
}

void frmShow::cmdSplit_Click() {
  if (sLoadedFileName.empty() || Dir(sLoadedFileName).empty() || IsPictureFile(sLoadedFileName)) return;
  mnuSplitter_Click();
}

// ---- Picture editing --------------------------------------------------------------------------

bool frmShow::PreviewShowsPicture(bool image) {
  if (image) return Image2->Visible() && !Image2->GetPicture().IsEmpty();
  return Picture2->Visible() && !Picture2->GetPicture().IsEmpty();
}

void frmShow::mnuEdit_Click() {
  const std::string file = TileFile(static_cast<int16_t>(SelectedClipIndex));
  if (file.empty() || !IsPictureFile(file)) return;
  // The selected picture shows in Image2 (a tile's click) or Picture2.
  if (!PreviewShowsPicture(true) && !PreviewShowsPicture(false)) return;
  RequestEdit();
}

void frmShow::Image2_DblClick() {
  if (!PreviewShowsPicture(true)) return;
  RequestEdit();
}

void frmShow::Picture2_DblClick() {
  if (!PreviewShowsPicture(false)) return;
  RequestEdit();
}

void frmShow::RequestEdit() {
  if (pictureEditor_.Busy()) return;
  ImageEditorPath = GetSetting(kSettingsApp, kSectionOptions, kKeyImageEditor, kDefaultImageEditor);
  std::string file = lblFileName->Caption();
  std::string editor = PictureEditor::IsPaintEditor(ImageEditorPath) ? std::string() : ImageEditorPath;
  EditPicture(file, editor);
}

void frmShow::EditPicture(std::string& file, std::string& editor) {
  if (!pictureEditor_.EditPicture(file, editor)) return;
  EditorWindowTitle = pictureEditor_.EditorWindowTitle;
  Timer1->Interval(1000);
  Timer1->Enabled(true);
  Hide();
}

void frmShow::Timer1_Timer() {
  if (!pictureEditor_.EditorWindowGone()) return;
  Timer1->Enabled(false);
  Show();
  Form_Resize();
  TilePut(static_cast<int16_t>(SelectedClipIndex), tile::kMediaFile, Variant(lblFileName->Caption()));
  Picture2->SetPicture(LoadPicture(lblFileName->Caption()));
}

// ---- Menus that start programs and open windows ---------------------------------------------

void frmShow::StartProgram(const std::string& backslashPath) {
  const std::string path = AppFile(backslashPath);
  if (!FileExists(path)) {
    MsgBox("Can't find " + path + ".", vbOKOnly);
    return;
  }
  Shell(path, vbNormalFocus);
}

void frmShow::mnuBatch_Click() { StartProgram("\\Lotkiln.exe"); }

void frmShow::mnuVirtualDub_Click() { StartProgram("\\VirtualDub\\VirtualDub.exe"); }

std::string frmShow::CaptureMissingMessage() {
  return std::string("The capture add in is not installed.\r\n") +
         "You can download the Microsoft Windows Media Resource Kit from\r\n" + kCaptureDownloadAddress + ".\r\n" +
         "Then copy wmcap.exe to " + AppPath() + ".";
}

void frmShow::mnuCapture_Click() {
  const int32_t H = CLng(Variant(Screen().Height() / 15.0));
  const int32_t W = CLng(Variant(Screen().Width() / 15.0));
  const std::string tool = AppFile("\\wmcap.exe");
  if (!FileExists(tool)) {
    MsgBox(CaptureMissingMessage(), vbOKOnly);
  } else {
    Screen().MousePointer(13);
    const int32_t processId = Shell(tool, vbNormalFocus);
    // The tool's window; the wait ends when the tool has ended without one, or after 30 s.
    int32_t window = 0;
    const double start = ::Timer();
    for (;;) {
      window = modGeneral::FindWindowOfProcess(processId);
      if (window != 0 || !ProcessIsRunning(processId)) break;
      double waited = Timer() - start;
      if (waited < 0) waited += 86400;
      if (waited >= kCaptureWaitSeconds) break;
      modGeneral::Pause(1.0);
    }
    if (window != 0) {
      modGeneral::Pause(1.0);
      const std::string size = GetSetting(kSettingsApp, kSectionOptions, kKeyActiveWindow, kDefaultActiveWindow);
      if (IsSmallFrameSize(size)) {
        PlaceWindow(window, CLng(Variant(W / 2.0 - 160)), CLng(Variant(H / 2.0 - 120)), 320, 300);
      } else {
        PlaceWindow(window, CLng(Variant(W / 2.0 - 320)), CLng(Variant(H / 2.0 - 240)), 640, 540);
      }
    }
  }
  Screen().MousePointer(0);
}

void frmShow::mnuTitleMaker_Click() {
  TitleFileName = "";
  DefaultForm<frmCapture>().Show(vbModal);
  if (TitleFileName.empty()) return;
  EndQuietly([&] {
    PlaceFile(TitleFileName);
    cmdPlayVideoWindow->Enabled(true);
  });
  Err().Clear();
}

void frmShow::mnuMoviePreview_Click() {
  CommonDialogObject& d =
      PrepareFileDialog("Movies (*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm)|*.avi;*.mov;*.mpg;*.mpeg;*.wza;*.wzm", true);
  EndQuietly([&] {
    CommonDialog1->ShowOpen();
    std::string chosen = d.FileName;
    frmPreview& preview = DefaultForm<frmPreview>();
    preview.Caption("Previewing " + chosen);
    preview.FileOpen(chosen);
    Hide();
    preview.Show(vbModal);
    Show();
    Form_Resize();
  });
  Err().Clear();
}

void frmShow::mnuGenHelp_Click() { HtmlHelp(hWnd(), AppPath() + "/Reelwright.chm", HH_DISPLAY_TOPIC, 0); }

void frmShow::mnuSupport_Click() { DefaultForm<frmSupport>().Show(vbModal); }

void frmShow::mnuAbout_Click() { DefaultForm<frmAbout>().Show(vbModal); }

void frmShow::mnuOptions_Click() { DefaultForm<frmCompOpt>().Show(vbModal); }

void frmShow::mnuSettings_Click() { DefaultForm<frmOptions>().Show(vbModal); }

void frmShow::mnuDuration_Click() {
  frmDuration& dialog = DefaultForm<frmDuration>();
  dialog.Show(vbModal);
  // A close by the title bar applies nothing; only an OK gives the tile the chosen seconds.
  if (!dialog.OkPressed()) return;
  const auto index = static_cast<int16_t>(SelectedClipIndex);
  TilePut(index, tile::kDuration, Variant(static_cast<double>(ChosenClipDuration)));
  if (CDbl(TileGet(index, tile::kDuration)) == 0) {
    TilePut(index, tile::kDuration, Variant(static_cast<double>(DefaultClipDuration)));
  }
}

void frmShow::mnuSplitter_Click() {
  Err().Clear();
  frmSplitter& splitter = DefaultForm<frmSplitter>();
  splitter.Load();
  splitter.Height(Height());
  splitter.Width(Width());
  splitter.Top(Top());
  splitter.Left(Left());
  std::string oldName;
  if (!sLoadedFileName.empty() && FileExists(sLoadedFileName)) {
    oldName = sLoadedFileName;
    std::string opened = sLoadedFileName;
    splitter.OpenFile(opened);
  }
  if (Err().Number == 5) {
    Err().Clear();
    splitter.Unload();
    return;
  }
  Err().Clear();
  splitter.Show(vbModal);
  if (LCase(sLoadedFileName) == LCase(oldName)) return;
  std::optional<int16_t> replaced;
  for (int16_t i : ElementIndexes("ctrlSourceClip")) {
    if (LCase(CStr(TileGet(i, tile::kMediaFile))) == LCase(oldName)) {
      TilePut(i, tile::kMediaFile, Variant(sLoadedFileName));
      replaced = i;
      break;
    }
  }
  RefreshClipList();
  if (!replaced) return;
  // The piece is a movie of its own length, and the join takes a tile's duration: the tile is
  // selected as a choice in the clip list selects it, whose load in the pane gives the tile the
  // piece's duration as it gives an added file its own; the status line then names that duration.
  ctrlSourceClip_Click(*replaced);
  Step([&] { lblFileName_Change(); });
  Err().Clear();
}

void frmShow::InstallOptionsServices() {
  modOptions::MainWindowServices services;
  services.FillHeightWidthCombo = [this](ComboBox& box) {
    frameSizeBox = &box;
    FillHeightWidthCombo();
    frameSizeBox = nullptr;
  };
  services.SetEnableDragDrop = [this](bool enable) { m_boolEnableDragDrop = enable; };
  services.ShowHideToolbar = [this](bool show) { ShowHideToolbar(show); };
  services.LoadToolBar = [this] { LoadToolBar(); };
  modOptions::SetMainWindowServices(std::move(services));
  SetLoadedFileNameHolder(&sLoadedFileName);
}
