#include "frmCrunchbox.h"

#include <algorithm>
#include <cmath>

#include "FrmCrunchboxDecodeOptions.h"
#include "FrmCrunchboxEncodeOptions.h"
#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "dshow/uuids.h"
#include "forms/app.h"
#include "modMain.h"

namespace {

constexpr const char* kNotACrunchboxClip =
    "This is not an Crunchbox compressed clip.  You may now encode it to Crunchbox video but decode "
    "options are not available.";
constexpr int32_t kMinWidth = 9600;
constexpr int32_t kMinHeight = 7200;

}  // namespace

frmCrunchbox::frmCrunchbox() : Form("frmCrunchbox") {
  On("Form_Load", [this] { Form_Load(); });
  On("Form_Resize", [this] { Form_Resize(); });
  On("Form_Activate", [this] { Form_Activate(); });
  On("Form_QueryUnload", [](int16_t&, int16_t) {
    Step([] { DefaultForm<FrmCrunchboxEncodeOptions>().Unload(); });
    Step([] { DefaultForm<FrmCrunchboxDecodeOptions>().Unload(); });
  });
  On("Form_Unload", [this](int16_t&) {
    // The program ends with this window: its preview graph goes with it.
    Step([&] { Timer1->Enabled(false); });
    decodeOptions = nullptr;
    ReleasePreview();
  });
  On("open_video_Click", [this] { open_video_Click(); });
  On("play_video_Click", [this] { play_video_Click(); });
  On("stop_video_Click", [this] { stop_video_Click(); });
  On("pause_video_Click", [this] { pause_video_Click(); });
  On("Crunchbox_Decode_Options_Click", [this] { Crunchbox_Decode_Options_Click(); });
  On("Compress_video_Click", [this] { Compress_video_Click(); });
  On("cmdCancel_Click", [] { DefaultForm<FrmCrunchboxEncodeOptions>().OK_Click(); });
  On("Command1_Click", [this] { Unload(); });
  On("Timer1_Timer", [this] {
    // Every failure is ignored; "not yet" answers event code 0.
    Step([&] {
      if (!g_objMC) return;
      ComPtr<IMediaEvent> events;
      Check(g_objMC->QueryInterface(IMediaEvent::iid, events.put_void()));
      LONG code = 0;
      events->WaitForCompletion(0, &code);
      if (code != 0) stop_video_Click();
    });
  });
}

void frmCrunchbox::Design() {
  Caption("Crunchbox video 5 Compression");
  Size(kMinWidth, kMinHeight);
  const Variant no(false);
  auto tip = [](const char* t) { return std::pair<std::string, Variant>{"ToolTipText", Variant(t)}; };
  const std::pair<std::string, Variant> graphical{"Style", Variant(int16_t{1})};
  const std::pair<std::string, Variant> disabled{"Enabled", no};
  Place({
      {"WzPanel", "Panel1", -1, "", 0, 0, 9390, 750, ""},
      {"CommandButton", "open_video", -1, "Panel1", 90, 75, 612, 612, "Open", {tip("Open video clip"), graphical}},
      {"CommandButton", "play_video", -1, "Panel1", 1335, 75, 612, 612, "Play",
       {tip("Play open video"), graphical, disabled}},
      {"CommandButton", "stop_video", -1, "Panel1", 1995, 75, 612, 612, "Stop",
       {tip("Stop playing video"), graphical, disabled}},
      {"CommandButton", "pause_video", -1, "Panel1", 2655, 75, 612, 612, "Pause",
       {tip("Pause playing video"), graphical, disabled}},
      {"CommandButton", "Crunchbox_Decode_Options", -1, "Panel1", 4020, 75, 612, 612, "Decode",
       {tip("Crunchbox decode options"), graphical, disabled}},
      {"CommandButton", "Compress_video", -1, "Panel1", 4665, 75, 612, 612, "Encode",
       {tip("Crunchbox compression"), graphical, disabled}},
      {"CommandButton", "cmdCancel", -1, "Panel1", 5415, 75, 3150, 615, "Cancel Compressing Operation",
       {tip("Cancel"), {"FontBold", Variant(true)}, {"Visible", no}}},
      {"CommandButton", "Command1", -1, "Panel1", 8670, 75, 612, 615, "Exit", {tip("Exit"), graphical}},
      {"Label", "Label1", -1, "", 105, 840, 1500, 255, "Open Filename:"},
      {"Label", "openfilename", -1, "", 105, 1095, 9300, 270, ""},
      {"Label", "Label3", -1, "", 105, 1410, 9285, 45, "", {{"BorderStyle", Variant(int16_t{1})}}},
      {"PictureBox", "Picture1", -1, "", 105, 1545, 9300, 5190, ""},
      // Placed after the picture box, so that the message line stays readable above it.
      {"Label", "Label2", -1, "", 150, 1530, 9105, 195, ""},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1})}, disabled}},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
  });
}

void frmCrunchbox::Form_Load() {
  Height(kMinHeight);
  Width(kMinWidth);
  Top(Screen().Height() / 2 - Height() / 2);
  Left(Screen().Width() / 2 - Width() / 2);
  g_objMC = nullptr;
  decodeOptions = nullptr;
  Crunchbox_Decode_Options->Enabled(false);
  pause_video->Enabled(false);
  stop_video->Enabled(false);
  play_video->Enabled(false);
  Compress_video->Enabled(false);
  g_CompressionActive = false;
}

void frmCrunchbox::Form_Resize() {
  // Every failure is ignored.
  Step([&] {
    if (Height() < kMinHeight) Height(kMinHeight);
    if (Width() < kMinWidth) Width(kMinWidth);
  });
  Step([&] {
    Picture1->Height(Height() - Picture1->Top());
    Picture1->Width(Width() - 2 * Picture1->Left());
  });
  Step([&] { Label3->Width(Picture1->Width() - 30); });
  Step([&] {
    Panel1->Width(Width() - 60);
    Command1->Left(Panel1->Width() - Command1->Width() - 75);
  });
}

void frmCrunchbox::FitPreview(IVideoWindow* window) {
  // Every failure is ignored: the preview then shows as far as the window does.
  Step([&] {
    LONG width = 0, height = 0;
    Check(window->get_Width(&width));
    Check(window->get_Height(&height));
    const float tx = Screen().TwipsPerPixelX(), ty = Screen().TwipsPerPixelY();
    // Picture1 reaches past the client area (its size follows the window's outer size): what
    // shows of its inside is bounded by both. A margin as wide as its left one stays free.
    const float margin = static_cast<float>(Picture1->Left());
    const float borderX = static_cast<float>(Picture1->Width()) - Picture1->ScaleWidth();
    const float borderY = static_cast<float>(Picture1->Height()) - Picture1->ScaleHeight();
    const float shownX = std::min(ScaleWidth() - static_cast<float>(Picture1->Left()) - borderX - margin,
                                  Picture1->ScaleWidth());
    const float shownY = std::min(ScaleHeight() - static_cast<float>(Picture1->Top()) - borderY - margin,
                                  Picture1->ScaleHeight());
    const int32_t lackX = static_cast<int32_t>(std::ceil(static_cast<float>(width) * tx - shownX));
    const int32_t lackY = static_cast<int32_t>(std::ceil(static_cast<float>(height) * ty - shownY));
    if (lackX <= 0 && lackY <= 0) return;
    const int32_t screenW = static_cast<int32_t>(Screen().Width()), screenH = static_cast<int32_t>(Screen().Height());
    const int32_t newW = std::min(Width() + std::max(lackX, 0), screenW);
    const int32_t newH = std::min(Height() + std::max(lackY, 0), screenH);
    Move(std::clamp(Left(), 0, std::max(screenW - newW, 0)), std::clamp(Top(), 0, std::max(screenH - newH, 0)), newW,
         newH);
  });
  Err().Clear();
}

void frmCrunchbox::ReleasePreview() {
  if (!g_objMC) return;
  ComPtr<IMediaControl> graph = std::move(g_objMC);
  g_objMC = nullptr;
  Step([&] { Check(graph->Stop()); });
  Step([&] {
    ComPtr<IVideoWindow> window;
    Check(graph->QueryInterface(IVideoWindow::iid, window.put_void()));
    Check(window->put_Visible(0));
  });
}

void frmCrunchbox::open_video_worker(std::string& name) {
  // Up to the decode probe, a failure ends the open silently; what was done stays.
  decodeOptions = nullptr;
  ReleasePreview();
  Label2->Caption("");
  const bool opened = EndQuietly([&] {
    ComPtr<IMediaControl> graph;
    Check(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid,
                           graph.put_void()));
    g_objMC = graph;
    ComPtr<IVideoWindow> window;
    Check(g_objMC->QueryInterface(IVideoWindow::iid, window.put_void()));
    g_InputFileName = name;
    Check(g_objMC->RenderFile(Bstr(name)));
    Check(window->put_Caption(Bstr(name)));
    openfilename->Caption(name);
    play_video->Enabled(true);
    Compress_video->Enabled(true);
    g_CompressionActive = false;
    Check(window->put_Owner(static_cast<OAHWND>(Picture1->hWnd())));
    Check(window->put_Top(0));
    Check(window->put_Left(0));
    FitPreview(window.Get());
    play_video_Click();
    pause_video_Click();
    Crunchbox_Decode_Options->Enabled(false);
  });
  if (!opened) return;
  // The decode probe: only clips the codec can serve take the decode options.
  const bool iv50 = Step([&] {
    ComPtr<IV50DecodeOptions> options;
    Check(CoCreateInstance(CLSID_IV50DecodeOptions, nullptr, CLSCTX_INPROC_SERVER, IV50DecodeOptions::iid,
                           options.put_void()));
    decodeOptions = options;
    Check(decodeOptions->AttachGraph(g_objMC.Get()));
    Crunchbox_Decode_Options->Enabled(true);
  });
  if (!iv50) {
    Label2->Caption(kNotACrunchboxClip);
    decodeOptions = nullptr;
  }
}

void frmCrunchbox::open_video_Click() {
  EndQuietly([&] {
    CommonDialogObject& dialog = CommonDialog1->Dialog();
    dialog.CancelError = true;
    dialog.Filter = "ActiveMovie files (*.mpg;*.avi;*.mov;*.wav)|*.mpg;*.avi;*.mov;*.wav|";
    CommonDialog1->ShowOpen();
    std::string chosen = dialog.FileName;
    open_video_worker(chosen);
    const std::string title = dialog.FileTitle;
    if (title.size() < 4 || chosen.size() < title.size()) Raise(vbErrInvalidProcedureCall);
    sNewName = chosen.substr(0, chosen.size() - title.size()) + title.substr(0, title.size() - 4) + "_out.avi";
  });
}

void frmCrunchbox::play_video_Click() {
  if (!play_video->Enabled()) return;
  if (!g_objMC) {
    std::string again = openfilename->Caption();
    open_video_worker(again);
    DoEvents();
  }
  if (g_objMC) Check(g_objMC->Run());
  Timer1->Enabled(true);
  pause_video->Enabled(true);
  stop_video->Enabled(true);
  play_video->Enabled(false);
}

void frmCrunchbox::pause_video_Click() {
  if (!pause_video->Enabled()) return;
  // With the preview released for a compression there is no graph to pause.
  if (g_objMC) Check(g_objMC->Pause());
  pause_video->Enabled(false);
  stop_video->Enabled(true);
  play_video->Enabled(true);
}

void frmCrunchbox::stop_video_Click() {
  if (!stop_video->Enabled()) return;
  // With the preview released for a compression the graph calls are skipped.
  if (g_objMC) Check(g_objMC->Stop());
  Timer1->Enabled(false);
  if (g_CompressionActive) {
    MsgBox("Clip is compressed.  Re-opening it for you to view it.", vbOKOnly, kCrunchboxTitle);
    std::string output = g_CompressFileName;
    open_video_worker(output);
  } else if (g_objMC) {
    Step([&] {
      ComPtr<IMediaPosition> position;
      Check(g_objMC->QueryInterface(IMediaPosition::iid, position.put_void()));
      Check(position->put_CurrentPosition(0));
    });
    Check(g_objMC->Run());
    Check(g_objMC->Pause());
  }
  pause_video->Enabled(false);
  stop_video->Enabled(false);
  play_video->Enabled(true);
}

void frmCrunchbox::Crunchbox_Decode_Options_Click() {
  play_video_Click();
  stop_video_Click();
  FrmCrunchboxDecodeOptions& options = DefaultForm<FrmCrunchboxDecodeOptions>();
  options.g_CrunchboxDecodeOA = decodeOptions;
  options.InitForm();
  options.Show(vbModal, this);
  if (options.bok) {
    stop_video_Click();
    play_video_Click();
    stop_video_Click();
  }
}

void frmCrunchbox::Compress_video_Click() {
  decodeOptions = nullptr;
  ReleasePreview();
  FrmCrunchboxEncodeOptions& encode = DefaultForm<FrmCrunchboxEncodeOptions>();
  encode.InitForm();
  encode.OutFile->Text(sNewName);
  encode.Show(vbModal, this);
}

void frmCrunchbox::Form_Activate() {
  if (EncodedFile.empty()) return;
  std::string file = EncodedFile;
  open_video_worker(file);
  EncodedFile.clear();
}
