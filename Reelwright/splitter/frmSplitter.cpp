#include "splitter/frmSplitter.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <vector>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_format.h"
#include "core/runtime_math.h"
#include "des/timeline.h"
#include "dshow/interfaces.h"
#include "engine/ObjectCast.h"
#include "engine/modGeneral.h"
#include "engine/modGeneralGraph.h"
#include "engine/modRegistry.h"
#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/htmlhelp.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "splitter/WzTick.h"

bool SelectionUnsaved = false;

namespace {

std::string*& Holder() {
  static std::string own;
  static std::string* holder = &own;
  return holder;
}

constexpr const char* kCrLf = "\r\n";
constexpr const char* kVideoType = "{73646976-0000-0010-8000-00AA00389B71}";
constexpr const char* kAudioType = "{73647561-0000-0010-8000-00AA00389B71}";
constexpr const char* kNoVideo = "The Selected File does not contain an editable video stream.";
constexpr const char* kError5 =
    "Error creating file.  Verify that the start/stop times are valid before continuing.";
constexpr const char* kAppSettings = "Reelwright_S";

// Init/HideSelected read as a Boolean: "True" and "False" in any case, or a number (non-zero is
// True). A value that is neither reads as False.
bool StoredHideSelected() {
  return ValueOr(false, [] { return CBool(Variant(GetSetting(kAppSettings, "Init", "HideSelected", "False"))); });
}

constexpr int32_t kHKLM = static_cast<int32_t>(0x80000002);

// Whole numbers, halves to even (the runtime's conversion to Long).
int32_t Whole(double x) { return CLng(Variant(x)); }
// The runtime's number-to-text conversion, trimmed.
std::string Text(double x) { return CStr(Variant(x)); }
std::string Text(int32_t x) { return std::to_string(x); }
bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

using modGeneral::Cast;

Variant Invoke(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args = {}) {
  if (!object) Raise(vbErrObjectNotSet);
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  Variant result;
  Check(object->Invoke(id, GUID_NULL, 0, flags, &params, &result, nullptr, nullptr));
  return result;
}

// Toolbar pictures: 16 x 16 glyphs drawn here, as 24-bit BMP data.
Picture Glyph(const std::string& key) {
  constexpr int n = 16;
  std::vector<uint32_t> px(n * n, 0xC0C0C0);
  auto rect = [&](int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) px[y * n + x] = c;
  };
  auto tri = [&](int x0, int x1, bool right, uint32_t c) {  // a triangle pointing left or right
    for (int x = x0; x <= x1; ++x) {
      const int h = right ? (x1 - x) : (x - x0);
      const int half = h * 6 / std::max(1, x1 - x0);
      rect(x, 7 - half, x, 8 + half, c);
    }
  };
  if (key == "SaveAs") {
    rect(2, 2, 13, 13, 0x203080);
    rect(4, 2, 11, 6, 0xFFFFFF);
    rect(5, 9, 10, 13, 0x808080);
  } else if (key == "ShowHide") {
    rect(1, 3, 6, 12, 0x000080);
    rect(9, 3, 14, 12, 0xFFFFFF);
    rect(9, 3, 14, 3, 0x000000);
  } else if (key == "PreviewTrimmed") {
    tri(4, 12, true, 0x008000);
  } else if (key == "FirstFrame") {
    rect(2, 2, 3, 13, 0x000000);
    tri(5, 13, false, 0x000080);
  } else if (key == "LastFrame") {
    rect(12, 2, 13, 13, 0x000000);
    tri(2, 10, true, 0x000080);
  } else if (key == "Help") {
    rect(3, 3, 12, 12, 0x0060C0);
    rect(6, 5, 9, 6, 0xFFFFFF);
    rect(8, 7, 9, 8, 0xFFFFFF);
    rect(7, 10, 8, 11, 0xFFFFFF);
  } else if (key == "Stop") {
    rect(3, 3, 12, 12, 0xC00000);
  } else {  // Exit: a door and an arrow
    rect(2, 1, 8, 14, 0x805020);
    rect(9, 7, 14, 8, 0x000000);
    rect(12, 5, 12, 10, 0x000000);
  }
  std::vector<unsigned char> bmp(54 + n * n * 3, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, n);
  put32(22, n);
  bmp[26] = 1;
  bmp[28] = 24;
  put32(34, n * n * 3);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const uint32_t c = px[(n - 1 - y) * n + x];
      const size_t at = 54 + (static_cast<size_t>(y) * n + x) * 3;
      bmp[at] = static_cast<unsigned char>(c & 0xFF);
      bmp[at + 1] = static_cast<unsigned char>((c >> 8) & 0xFF);
      bmp[at + 2] = static_cast<unsigned char>((c >> 16) & 0xFF);
    }
  return LoadPictureData(bmp.data(), bmp.size());
}

struct ToolDef {
  const char* key;
  const char* tip;
};
const ToolDef kTools[] = {{"SaveAs", "Save trimmed file as..."}, {"ShowHide", ""},
                          {"PreviewTrimmed", "Preview Trimmed Movie"}, {"FirstFrame", "Go to First Frame"},
                          {"LastFrame", "Go to Last Frame"}, {"Help", "Help"}, {"Stop", "Stop"},
                          {"Exit", "Exit"}};

// A render's target is written into a new file beside it (made here, never through a link) and
// renamed over it when complete. "" when none can be made there, with why: the system's text for
// the cause.
std::string PartName(const std::string& target, std::string& why) {
  const std::filesystem::path p(target);
  return modGeneral::NewRenderSideFile(target, (p.parent_path() / ("." + p.filename().string() + ".")).string(),
                                       ".part.avi", why);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec) && !ec;
}

// A platform call of the render. Its failure reaches the render's handler under the number the
// runtime shows for it, except error 287, which is forgotten: the render goes on with its next
// statement.
void RenderCall(HRESULT hr) {
  try {
    CheckWithInfo(hr);
  } catch (const VBError& e) {
    if (e.Number() != 287) throw;
    Err().Clear();
  }
}

}  // namespace

void SetLoadedFileNameHolder(std::string* holder) {
  static std::string own;
  Holder() = holder ? holder : &own;
}
std::string& LoadedFileNameHolder() { return *Holder(); }

frmSplitter::frmSplitter() : Form("frmSplitter") {
  // Form_Initialize: the window's empty detector.
  Step([&] {
    Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, objMediaDet.put_void()));
  });
  Err().Clear();
  On("Form_Load", [this] { Form_Load(); });
  On("Form_Resize", [this] { Form_Resize(); });
  On("Form_QueryUnload", [this](int16_t& Cancel, int16_t) { Form_QueryUnload(Cancel); });
  On("Toolbar1_ButtonClick", [this](Variant b) {
    std::string key;
    if (Step([&] { key = ItemOf<Button>(b).Key(); })) ToolbarClick(key);
  });
  On("cmdSelStart_Click", [this] { cmdSelStart_Click(); });
  On("cmdSetStop_Click", [this] { cmdSetStop_Click(); });
  On("cmdStartDown_Click", [this] { cmdStartDown_Click(); });
  On("cmdStartUp_Click", [this] { cmdStartUp_Click(); });
  On("cmdEndDown_Click", [this] { cmdEndDown_Click(); });
  On("cmdEndUp_Click", [this] { cmdEndUp_Click(); });
  On("Command1_Click", [this] { Command1_Click(); });
  On("Command2_Click", [this] { Command2_Click(); });
  On("txtStart_KeyPress", [this](int16_t& KeyAscii) {
    if (KeyAscii == 13) {
      KeyAscii = 0;
      cmdSelStart_Click();
    }
  });
  On("txtEnd_KeyPress", [this](int16_t& KeyAscii) {
    if (KeyAscii == 13) {
      KeyAscii = 0;
      cmdSetStop_Click();
    }
  });
  On("Label4_DblClick", [this] {
    txtStart->Text("1");
    cmdSelStart_Click();
  });
  On("Label5_DblClick", [this] {
    txtEnd->Text(Text(lFrameCount));
    cmdSetStop_Click();
  });
  On("lblCurrentFrameValue_Change", [this] {
    Step([&] {
      const std::string c = lblCurrentFrameValue->Caption();
      Command1->ToolTipText("Set the Start Frame to frame number " + c + ".");
      Command2->ToolTipText("Set the End Frame to frame number " + c + ".");
    });
  });
  On("lblFrameNo_Change", [this] { Step([&] { lblCounter->Caption(lblFrameNo->Caption()); }); });
  On("WzTick1_TickClick", [this](int16_t& Button, int16_t& Index, float& X) { WzTick1_TickClick(Button, Index, X); });
  On("ctrlSlider_Scroll", [this] { ScrollHandling(); });
  On("ctrlSlider_MouseDown", [this](int16_t, int16_t, float, float) { Step([&] { tmrTimer->Enabled(false); }); });
  On("ctrlSlider_MouseUp", [this](int16_t, int16_t, float, float) {
    DoEvents();
    Step([&] { tmrTimer->Enabled(true); });
  });
  On("tmrTimer_Timer", [this] { tmrTimer_Timer(); });
  On("Timer1_Timer", [this] { Timer1_Timer(); });
  On("mnuSave_Click", [this] { mnuSave_Click(); });
  On("mnuHideSelected_Click", [this] { mnuHideSelected_Click(); });
  On("mnuGenHelp_Click", [this] { Help(); });
  On("mnuExit_Click", [this] { Exit(); });

  // Dragging the markers.
  On("imgSplitter_MouseDown",
     [this](int16_t, int16_t, float, float) { BeginMarkerDrag(imgSplitter, picSplitter, bDragStart); });
  On("imgSplitter_MouseMove", [this](int16_t, int16_t, float X, float) {
    if (bDragStart) DragMarker(imgSplitter, picSplitter, X, true);
  });
  On("imgSplitter_MouseUp", [this](int16_t, int16_t, float, float) {
    EndMarkerDrag(imgSplitter, picSplitter, bDragStart, &frmSplitter::SetLength, &frmSplitter::Command1_Click);
  });
  On("imgSplitter2_MouseDown",
     [this](int16_t, int16_t, float, float) { BeginMarkerDrag(imgSplitter2, picSplitter2, bDragEnd); });
  On("imgSplitter2_MouseMove", [this](int16_t, int16_t, float X, float) {
    if (bDragEnd) DragMarker(imgSplitter2, picSplitter2, X, false);
  });
  On("imgSplitter2_MouseUp", [this](int16_t, int16_t, float, float) {
    EndMarkerDrag(imgSplitter2, picSplitter2, bDragEnd, &frmSplitter::SetLength2, &frmSplitter::Command2_Click);
  });
  Err().Clear();
}

void frmSplitter::Design() {
  Caption("Reelwright");
  Size(9600, 7200);
  const Variant yes(true), no(false);
  auto tip = [](const char* t) { return std::pair<std::string, Variant>{"ToolTipText", Variant(t)}; };
  auto back = [](int32_t c) { return std::pair<std::string, Variant>{"BackColor", Variant(c)}; };
  const std::pair<std::string, Variant> hidden{"Visible", no};
  const std::pair<std::string, Variant> opaque{"BackStyle", Variant(int16_t{1})};
  const std::pair<std::string, Variant> sizeWE{"MousePointer", Variant(int16_t{9})};
  Place({
      {"Toolbar", "Toolbar1", -1, "", 0, 0, 9480, 420, ""},
      {"ImageList", "ImageList1", -1, "", 0, 0, 0, 0, ""},
      {"PictureBox", "picToolCaption", -1, "Toolbar1", 7665, 0, 1620, 270, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "lblCounter", -1, "picToolCaption", 0, 0, 1620, 195, "", {{"Alignment", Variant(int16_t{1})}}},
      {"PictureBox", "picTop", -1, "", 0, 0, 9480, 1200, ""},
      {"CommandButton", "cmdPreview", -1, "picTop", 120, 120, 1000, 300, "Preview"},
      {"CommandButton", "CmdCancel", -1, "picTop", 1200, 120, 1000, 300, "Cancel"},
      {"CommandButton", "cmdPlay", -1, "picTop", 2280, 120, 1000, 300, "Start"},
      {"ProgressBar", "ctrlProgress", -1, "picTop", 3360, 120, 2000, 300, ""},
      {"Label", "lblFileName", -1, "picTop", 120, 480, 900, 255, "File Name:"},
      {"Label", "lblSaveAs", -1, "picTop", 120, 720, 900, 255, "Save As:"},
      {"Label", "lblPlay", -1, "picTop", 120, 960, 900, 255, "Play:"},
      {"Label", "lblReadFileName", -1, "picTop", 1080, 480, 6000, 255, ""},
      {"Label", "lblWriteFileName", -1, "picTop", 1080, 720, 6000, 255, ""},
      {"Label", "lblPlaybackFileName", -1, "picTop", 1080, 960, 6000, 255, ""},
      {"Label", "Label1", -1, "picTop", 5400, 120, 1500, 255, "File Information"},
      {"Label", "lblFrameNo", -1, "picTop", 7000, 120, 1500, 255, ""},
      {"ProgressBar", "ProgressBar1", -1, "", 0, 7935, 9435, 300, "", {hidden}},
      {"Label", "lblInfo", -1, "", 120, 750, 9180, 195, "Video Information"},
      {"PictureBox", "picFPS", -1, "", 150, 1320, 8985, 300, "", {back(0x808080), {"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "Label8", -1, "picFPS", 6700, 45, 1400, 210, "Frame Count:", {opaque, back(0x808080)}},
      {"Label", "lblFrameCount", -1, "picFPS", 8535, 45, 420, 210, "0", {opaque, back(0x808080)}},
      {"Label", "lblStreams", -1, "picFPS", 4970, 45, 1000, 210, "Streams:", {opaque, back(0x808080)}},
      {"Label", "lblStreamsValue", -1, "picFPS", 5800, 45, 400, 210, "0", {opaque, back(0x808080)}},
      {"Label", "lblVideoStream", -1, "picFPS", 2300, 45, 1400, 210, "Video Stream:", {opaque, back(0x808080)}},
      {"Label", "lblVideoStreamValue", -1, "picFPS", 3730, 45, 300, 210, "0", {opaque, back(0x808080)}},
      {"Label", "lblFPS", -1, "picFPS", 120, 45, 450, 210, "FPS:", {opaque, back(0x808080)}},
      {"Label", "lblFPSValue", -1, "picFPS", 600, 45, 800, 210, "0", {opaque, back(0x808080)}},
      {"WzPanel", "pnlPreview", -1, "", 135, 1665, 2985, 1275, ""},
      {"Slider", "ctrlSlider", -1, "pnlPreview", 45, 60, 2880, 420, "",
       {hidden, {"SelectRange", yes}, {"TickStyle", Variant(int16_t{3})}}},
      {"CommandButton", "Command1", -1, "pnlPreview", 60, 540, 1000, 300, "Set Start", {hidden}},
      {"CommandButton", "Command2", -1, "pnlPreview", 1925, 540, 1000, 300, "Set End", {hidden}},
      {"Label", "Label2", -1, "pnlPreview", 60, 900, 1000, 195, "Selected:"},
      {"Label", "lblCurrentFrameValue", -1, "pnlPreview", 1080, 900, 700, 195, "0"},
      {"Label", "lblCurrentTimeValue", -1, "pnlPreview", 1800, 900, 1100, 195, "0"},
      {"WzPanel", "pnlStart", -1, "", 3150, 1665, 2985, 1275, ""},
      {"Label", "Label4", -1, "pnlStart", 60, 60, 600, 195, "Start"},
      {"Label", "lblStartFrameValue", -1, "pnlStart", 700, 60, 900, 195, "0"},
      {"Label", "lblStartTimeValue", -1, "pnlStart", 1620, 60, 1000, 195, "0"},
      {"CommandButton", "cmdSelStart", -1, "pnlStart", 60, 360, 1800, 330, "Set &Start Frame to:",
       {hidden, tip("Set the starting frame")}},
      {"TextBox", "txtStart", -1, "pnlStart", 1900, 360, 700, 330, "", {hidden}},
      {"PictureBox", "picStartSlider", -1, "pnlStart", 2730, 360, 225, 690, "", {hidden}},
      {"CommandButton", "cmdStartUp", -1, "pnlStart", 2730, 360, 225, 330, "+", {hidden, tip("Start one frame later")}},
      {"CommandButton", "cmdStartDown", -1, "pnlStart", 2730, 720, 225, 330, "-", {hidden, tip("Start one frame earlier")}},
      {"WzPanel", "pnlEnd", -1, "", 6165, 1665, 2985, 1275, ""},
      {"Label", "Label5", -1, "pnlEnd", 60, 60, 600, 195, "End"},
      {"Label", "lblStopFrameValue", -1, "pnlEnd", 700, 60, 900, 195, "0"},
      {"Label", "lblStopTimeValue", -1, "pnlEnd", 1620, 60, 1000, 195, "0"},
      {"CommandButton", "cmdSetStop", -1, "pnlEnd", 60, 360, 1800, 330, "Set &End Frame to:",
       {hidden, tip("Set the ending frame")}},
      {"TextBox", "txtEnd", -1, "pnlEnd", 1900, 360, 700, 330, "", {hidden}},
      {"PictureBox", "picEndSlider", -1, "pnlEnd", 2730, 360, 225, 690, "", {hidden}},
      {"CommandButton", "cmdEndUp", -1, "pnlEnd", 2730, 360, 225, 330, "+", {hidden, tip("End one frame later")}},
      {"CommandButton", "cmdEndDown", -1, "pnlEnd", 2730, 720, 225, 330, "-", {hidden, tip("End one frame earlier")}},
      {"PictureBox", "picPreview", -1, "", 135, 2970, 2985, 2655, "", {back(0)}},
      {"Image", "imgPreviewStart", -1, "", 3150, 2970, 2985, 2655, "", {{"Stretch", yes}, {"BorderStyle", Variant(int16_t{1})}}},
      {"Image", "imgPreviewStop", -1, "", 6165, 2970, 2985, 2655, "", {{"Stretch", yes}, {"BorderStyle", Variant(int16_t{1})}}},
      {"Reelwright.WzTick", "WzTick1", -1, "", 135, 5715, 9090, 165, "", {hidden}},
      {"PictureBox", "PositionBar", -1, "", 135, 5985, 8955, 285, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"Label", "lblSelected", -1, "PositionBar", 90, 0, 8700, 240, "", {opaque, back(0x800000)}},
      {"Label", "imgSplitter", -1, "PositionBar", 0, 0, 90, 240, "",
       {opaque, back(0x00C000), tip("Set Start Position"), sizeWE}},
      {"Label", "imgSplitter2", -1, "PositionBar", 8815, 0, 90, 240, "",
       {opaque, back(0x0000FF), tip("Set End Position"), sizeWE}},
      {"PictureBox", "picSplitter", -1, "PositionBar", 0, 0, 45, 240, "", {hidden, back(0x008000), {"BorderStyle", Variant(int16_t{0})}}},
      {"PictureBox", "picSplitter2", -1, "PositionBar", 8815, 0, 45, 240, "", {hidden, back(0x0000C0), {"BorderStyle", Variant(int16_t{0})}}},
      {"Timer", "tmrTimer", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}}},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}}},
      {"CommonDialog", "ctrlCommonDialog", -1, "", 0, 0, 0, 0, ""},
      {"Menu", "mnuFile", -1, "", 0, 0, 0, 0, "File", {hidden}},
      {"Menu", "mnuNew", -1, "mnuFile", 0, 0, 0, 0, "Open"},
      {"Menu", "mnuSave", -1, "mnuFile", 0, 0, 0, 0, "Save As...", {{"Enabled", no}}},
      {"Menu", "mnuPlay", -1, "mnuFile", 0, 0, 0, 0, "Play", {{"Enabled", no}}},
      {"Menu", "mnuExit", -1, "mnuFile", 0, 0, 0, 0, "Exit"},
      {"Menu", "mnuTools", -1, "", 0, 0, 0, 0, "Tools", {hidden}},
      {"Menu", "mnuHideSelected", -1, "mnuTools", 0, 0, 0, 0, "Hide Selected Panel"},
      {"Menu", "mnuFile2", -1, "", 0, 0, 0, 0, "File", {hidden}},
      {"Menu", "mnuReturn", -1, "mnuFile2", 0, 0, 0, 0, "Return to Reelwright"},
      {"Menu", "mnuHelp", -1, "", 0, 0, 0, 0, "Help", {hidden}},
      {"Menu", "mnuGenHelp", -1, "mnuHelp", 0, 0, 0, 0, "General Help"},
      {"Menu", "mnuSpacer", -1, "mnuHelp", 0, 0, 0, 0, "-"},
      {"Menu", "mnuAbout", -1, "mnuHelp", 0, 0, 0, 0, "About"},
  });
}

Button* frmSplitter::ToolButton(const std::string& key) {
  Buttons& buttons = Toolbar1->ButtonsOf();
  for (int32_t i = 1; i <= buttons.Count(); ++i) {
    Button& b = buttons.Item(i);
    if (SameText(b.Key(), key)) return &b;
  }
  return nullptr;
}

void frmSplitter::Form_Load() {
  // Steps 1 to 4.
  for (const ToolDef& t : kTools) ImageList1->ListImagesOf().Add(Variant(), t.key, Glyph(t.key));
  Toolbar1->SetImageList(&*ImageList1);
  for (const ToolDef& t : kTools) {
    Button& b = Toolbar1->ButtonsOf().Add(Variant(), t.key, "", tbrDefault, Variant(t.key));
    b.ToolTipText(t.tip);
  }
  ToolButton("Stop")->Visible(false);
  ToolButton("PreviewTrimmed")->Enabled(false);
  ToolButton("SaveAs")->Enabled(false);
  Toolbar1->Align(vbAlignTop);
  Toolbar1->Visible(true);
  picTop->Align(vbAlignBottom);
  picTop->Visible(false);
  FindControl("mnuFile2")->Visible(false);
  bHideSelected = StoredHideSelected();
  mnuHideSelected->Caption(bHideSelected ? "Show Selected Panel" : "Hide Selected Panel");
  ToolButton("ShowHide")->ToolTipText(mnuHideSelected->Caption());
  // From here a failing step is skipped.
  Step([&] { Size(9600, 7200); });
  Step([&] { Move(Screen().Width() / 2 - Width() / 2, Screen().Height() / 2 - Height() / 2); });
  Step([&] { LoadEncoderInstallDir(); });
  Step([&] { MkDir(AppPath() + "/Output"); });
  Step([&] {
    lblPlaybackFileName->Caption(AppPath() + "/Output/Output.avi");
    lblWriteFileName->Caption(AppPath() + "/Output/Output.avi");
  });
  Step([&] { PositionBar->Enabled(false); });
  Step([&] { mnuNew->Enabled(true); });
  Step([&] { mnuSave->Enabled(false); });
  Step([&] { mnuPlay->Enabled(false); });
  Step([&] { FindControl("lblSaveAs")->Enabled(false); });
  Step([&] { FindControl("lblPlay")->Enabled(false); });
  Step([&] {
    std::string t = GetTempFolder();
    // No temporary folder stays "": the frame picture then has no file (never "/bitmap.bmp").
    if (!t.empty() && t.back() != '/') t += "/";
    sTempDirectory = t;
  });
  Step([&] { Timer1->Enabled(true); });
  Step([&] { tmrTimer->Enabled(true); });
  Err().Clear();
}

IDispatch* frmSplitter::Ruler() {
  Control* c = FindControl("WzTick1");
  return c ? c->DispatchObject() : nullptr;
}

float frmSplitter::TickSpace() {
  return CSng(Invoke(Ruler(), wztick::kTickSpace, DISPATCH_PROPERTYGET));
}

int32_t frmSplitter::BarWidth() { return PositionBar->Width(); }

double frmSplitter::GetCurrentTime() {
  return ValueOr(0.0, [&] { return dFrameRate != 0 ? ctrlSlider->Value() / dFrameRate : 0.0; });
}

void frmSplitter::FramePictureSize(LONG& width, LONG& height) {
  width = Whole(picPreview->Width() / 15.0);
  height = Whole(picPreview->Height() / 15.0);
  if (lVideoWidth <= 0 || lVideoHeight <= 0) return;
  const double insideW = std::max(1.0, std::floor(picPreview->ScaleWidth() / 15.0));
  const double insideH = std::max(1.0, std::floor(picPreview->ScaleHeight() / 15.0));
  const double scale = std::min(insideW / lVideoWidth, insideH / lVideoHeight);
  width = std::clamp<LONG>(Whole(lVideoWidth * scale), 1, static_cast<LONG>(insideW));
  height = std::clamp<LONG>(Whole(lVideoHeight * scale), 1, static_cast<LONG>(insideH));
}

void frmSplitter::ShowFramePicture() {
  const Picture p = LoadFramePicture();
  picPreview->SetPicture(Picture());
  picPreview->Cls();
  picPreview->PaintPicture(p, std::floor((picPreview->ScaleWidth() / 15.0f - static_cast<float>(p.PixelWidth())) / 2) * 15,
                           std::floor((picPreview->ScaleHeight() / 15.0f - static_cast<float>(p.PixelHeight())) / 2) * 15);
}

Picture frmSplitter::ShownFramePicture() { return picPreview->Image(); }

void frmSplitter::WriteFrame(double t) {
  if (!objMediaDet) Raise(vbErrObjectNotSet);
  LONG w = 0, h = 0;
  FramePictureSize(w, h);
  Check(objMediaDet->WriteBitmapBits(t, w, h, Bstr(FramePictureFile())));
}

std::string frmSplitter::FramePictureFile() const {
  if (sTempDirectory.empty()) Raise(vbErrPathNotFound);
  return sTempDirectory + "bitmap.bmp";
}

Picture frmSplitter::LoadFramePicture() { return LoadPicture(FramePictureFile()); }

void frmSplitter::ShowFrame(int32_t f) {
  if (dFrameRate == 0) Raise(vbErrDivisionByZero);
  ShowFrameAt(f / dFrameRate);
}

void frmSplitter::ShowFrameAt(double t, bool pumpAfterWrite) {
  WriteFrame(t);
  if (pumpAfterWrite) DoEvents();
  ShowFramePicture();
}

float frmSplitter::BarPosition(int32_t frame) {
  if (lFrameCount == 0) Raise(vbErrDivisionByZero);
  return static_cast<float>(static_cast<double>(BarWidth()) * frame / lFrameCount);
}

void frmSplitter::BeginMarkerDrag(Ctl<Label>& marker, Ctl<PictureBox>& ghost, bool& dragging) {
  Step([&] { marker->Visible(false); });
  Step([&] { ghost->Move(marker->Left(), marker->Top(), marker->Width() / 2, marker->Height()); });
  Step([&] { ghost->Visible(true); });
  Step([&] { lblSelected->Visible(false); });
  dragging = true;
}

void frmSplitter::DragMarker(Ctl<Label>& marker, Ctl<PictureBox>& ghost, float X, bool start) {
  Step([&] {
    const double a = marker->Left() + X;
    // The start marker stays a tick's space before the end marker, the end marker as far after
    // the start marker.
    const double limit = start ? imgSplitter2->Left() - TickSpace() : imgSplitter->Left() + TickSpace();
    double left;
    if (start ? a < limit : a > limit) left = a < 0 ? 0 : (a <= Width() ? a : Width());
    else left = limit;
    ghost->Left(Whole(left));
  });
}

void frmSplitter::EndMarkerDrag(Ctl<Label>& marker, Ctl<PictureBox>& ghost, bool& dragging,
                                void (frmSplitter::*setLength)(float&), void (frmSplitter::*mark)()) {
  DoEvents();
  Screen().MousePointer(vbArrowHourglass);
  Step([&] {
    float x = static_cast<float>(ghost->Left());
    (this->*setLength)(x);
  });
  Step([&] { ghost->Visible(false); });
  dragging = false;
  Step([&] { lblSelected->Visible(true); });
  Step([&] { marker->Visible(true); });
  Step([&] { ctrlSlider->SelLength(lEndFrame - lStartFrame); });
  (this->*mark)();
  Screen().MousePointer(vbDefault);
}

void frmSplitter::SetFrameLabels(int32_t value) {
  Step([&] { lblCurrentFrameValue->Caption(Text(value)); });
  if (dFrameRate != 0) Step([&] { lblCurrentTimeValue->Caption(Text(value / dFrameRate)); });
}

void frmSplitter::ScrollHandling() {
  if (!bFileLoaded) return;
  if (!Step([&] {
        lblCurrentFrameValue->Caption(Text(ctrlSlider->Value()));
        if (dFrameRate != 0) lblCurrentTimeValue->Caption(Text(ctrlSlider->Value() / dFrameRate));
        bSliderMoved = true;
      }))
    Err().Clear();
}

// ---- Opening --------------------------------------------------------------------------------

int32_t frmSplitter::FrameCount(double length, double rate) { return Whole(length * rate); }

void frmSplitter::InitFrameRange(double& dLength, double& dRate) {
  EndQuietly([&] {
    dFrameRate = dRate;
    lFrameCount = FrameCount(dLength, dRate);
    ctrlSlider->SelStart(0);
    ctrlSlider->SelLength(0);
    ctrlSlider->Min(0);
    ctrlSlider->Max(lFrameCount);
    Invoke(Ruler(), wztick::kCreateTicks, DISPATCH_METHOD, {Variant(lFrameCount)});
    Invoke(Ruler(), wztick::kRefresh, DISPATCH_METHOD);
    ctrlSlider->LargeChange(Whole(lFrameCount / 10.0));
    ctrlSlider->SmallChange(Whole(lFrameCount / 100.0));
    ctrlSlider->TickFrequency(100);
    lblStartTimeValue->Caption("0");
    lblStopTimeValue->Caption(Text(lFrameCount));
    lblFPSValue->Caption(Format(Variant(dRate), "##.##"));
  });
  Err().Clear();
}

void frmSplitter::OpenFile(std::string& sPassedFile) {
  Err().Clear();
  const std::string path = sPassedFile;
  Screen().MousePointer(vbArrowHourglass);
  if (!modGeneral::FileExists(path)) {
    Screen().MousePointer(vbDefault);
    return;
  }
  ComPtr<IMediaDet> det;
  Step([&] {
    ComPtr<IMediaDet> d;
    Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, d.put_void()));
    Check(d->put_Filename(Bstr(path)));
    det = d;
  });
  DoEvents();
  // The stream scan, on the new detector alone: a file without video changes nothing.
  bool audio = false;
  LONG streams = 0, video = -1;
  double length = 0, rate = 0;
  int32_t pictureWidth = 0, pictureHeight = 0;
  if (det) {
    Step([&] { Check(det->get_OutputStreams(&streams)); });
    for (LONG i = 0; i < streams; ++i) {
      Step([&] {
        Check(det->put_CurrentStream(i));
        Bstr type;
        Check(det->get_StreamTypeB(&type));
        const std::string t = type.Utf8();
        if (SameText(t, kVideoType)) {
          double l = 0, r = 0;
          Check(det->get_StreamLength(&l));
          Check(det->get_FrameRate(&r));
          video = i;
          length = l;
          rate = r;
          pictureWidth = pictureHeight = 0;
          AM_MEDIA_TYPE mt{};
          if (SUCCEEDED(det->get_StreamMediaType(&mt))) {
            if (mt.formattype == FORMAT_VideoInfo && mt.pbFormat && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
              const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
              pictureWidth = vih->bmiHeader.biWidth;
              pictureHeight = std::abs(vih->bmiHeader.biHeight);
            }
            FreeMediaType(mt);
          }
        } else if (SameText(t, kAudioType)) {
          audio = true;
        }
      });
    }
  }
  // A video stream whose first or last picture cannot be had (no decoder, a file cut short or
  // damaged) is no editable video either.
  if (video >= 0 && !Step([&] {
        const double frames = std::round(length * rate);
        for (double t : {0.0, frames > 1 && rate > 0 ? (frames - 1) / rate : 0.0}) {
          LONG size = 0;
          Check(det->GetBitmapBits(t, &size, nullptr, 16, 16));
          std::vector<char> buffer(static_cast<size_t>(size));
          Check(det->GetBitmapBits(t, &size, buffer.data(), 16, 16));
        }
      }))
    video = -1;
  Err().Clear();
  if (video < 0) {
    // The movie opened before is the window's no longer: nothing of it can be marked, previewed
    // or saved under this file's name, and there is no selection left to save.
    bFileLoaded = false;
    SelectionUnsaved = false;
    Step([&] { ToolButton("PreviewTrimmed")->Enabled(false); });
    Step([&] { ToolButton("SaveAs")->Enabled(false); });
    Step([&] { mnuSave->Enabled(false); });
    Err().Clear();
    MsgBox(kNoVideo, vbOKOnly | vbExclamation);
    Screen().MousePointer(vbDefault);
    Err().Number = 5;  // the caller unloads the window without showing it
    Err().Description = kNoVideo;
    return;
  }
  Step([&] {
    lblReadFileName->Caption(path);
    const std::string stem = path.size() >= 4 ? path.substr(0, path.size() - 4) : std::string();
    if (path.size() < 4) Raise(vbErrInvalidProcedureCall);
    lblWriteFileName->Caption(stem + "_temp.avi");
    lblPlaybackFileName->Caption(stem + "_temp.avi");
  });
  DoEvents();
  bHasAudio = audio;
  InitFrameRange(length, rate);
  Step([&] { lblSelected->Visible(false); });
  objMediaDet = det;
  lVideoWidth = pictureWidth;
  lVideoHeight = pictureHeight;
  if (!path.empty()) sSourceFile = path;
  Step([&] { lblStreamsValue->Caption(Text(static_cast<int32_t>(streams))); });
  Step([&] { lblVideoStreamValue->Caption(Text(static_cast<int32_t>(video + 1))); });
  Step([&] { lblFrameCount->Caption(Text(lFrameCount)); });
  Step([&] { ShowFrameAt(0); });
  DoEvents();
  bFileLoaded = true;
  bSliderMoved = false;
  Step([&] { ctrlSlider->Value(0); });
  ScrollHandling();
  DoEvents();
  SetFrameLabels(ValueOr(0, [&] { return ctrlSlider->Value(); }));
  Step([&] { imgSplitter->Left(0); });
  Step([&] { imgSplitter2->Left(PositionBar->Width() - 140); });
  Step([&] { lblSelected->Left(imgSplitter->Width()); });
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left() - 30); });
  DoEvents();
  Step([&] {
    float x = static_cast<float>(imgSplitter->Left());
    SetLength(x);
  });
  DoEvents();
  Step([&] { PositionBar->Enabled(true); });
  Step([&] { PositionBar->Visible(true); });
  for (const char* name : {"ctrlSlider", "Command1", "Command2", "cmdSelStart", "cmdSetStop", "txtStart", "txtEnd",
                           "cmdStartUp", "cmdStartDown", "cmdEndUp", "cmdEndDown", "picStartSlider", "picEndSlider",
                           "lblSelected", "WzTick1"})
    Step([&] { FindControl(name)->Visible(true); });
  Step([&] { ToolButton("PreviewTrimmed")->Enabled(true); });
  Step([&] { ToolButton("SaveAs")->Enabled(true); });
  Step([&] { mnuSave->Enabled(true); });
  Step([&] { Invoke(Ruler(), wztick::kRefresh, DISPATCH_METHOD); });
  Screen().MousePointer(vbDefault);
  SetFrameLabels(ValueOr(0, [&] { return ctrlSlider->Value(); }));
  Step([&] { txtStart->Text("0"); });
  Step([&] { txtEnd->Text(Text(lFrameCount)); });
  DoEvents();
  cmdSetStop_Click();
  DoEvents();
  lStartFrame = 0;
  lEndFrame = lFrameCount;
  Err().Clear();
}

std::string frmSplitter::SetFilter() {
  return std::string(
             "All Video Files(*.avi;*.mpg;*.mpeg;*.mpe;*.m1v;*.mp2;*.mpv2;*.mpa;*.ivf;*.wza;*.wzm)|*.avi;*.mpg;*.mpeg;*.mpe;*.m1v;*.mp2;*.mpv2;*.mpa;*.ivf;*.wza;*.wzm") +
         "|Video files (*.avi)|*.avi" +
         "|MPEG Movie files (*.mpg;*.mpeg;*.mpe;*.m1v;*.mp2;*.mpv2;*.mpa)|*.mpg;*.mpeg;*.mpe;*.m1v;*.mp2;*.mpv2;*.mpa" +
         "|Crunchbox Video (*.ivf)|*.ivf" + "|Lumenhall files (*.wza;*.wzm)|*.wza;*.wzm";
}

// ---- Marks ----------------------------------------------------------------------------------

// A marker position X on a bar W twips wide: the slider goes to the frame at that place, the frame
// labels follow, and X becomes the frame's own place on the bar; false (X kept) while the slider
// has no range.
bool frmSplitter::SnapToFrame(float& X, double W) {
  const double r = X / W;
  const int32_t max = ValueOr(0, [&] { return ctrlSlider->Max(); });
  Step([&] { ctrlSlider->Value(Whole(max * r)); });
  SetFrameLabels(ValueOr(0, [&] { return ctrlSlider->Value(); }));
  DoEvents();
  return Step([&] {
    if (max == 0) Raise(vbErrDivisionByZero);
    X = static_cast<float>((W - 140) / max * Whole(max * r));
  });
}

void frmSplitter::SetLength(float& X) {
  const double W = BarWidth();
  Step([&] { imgSplitter->Left(Whole(X)); });
  Step([&] { lblSelected->Left(Whole(X + 30.0)); });
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left()); });
  if (SnapToFrame(X, W) && X < 0) X = 0;
  DoEvents();
  Step([&] { imgSplitter->Left(Whole(X)); });
  Step([&] { lblSelected->Left(Whole(X + 30.0)); });
  ShowStartFrame();
  DoEvents();
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left()); });
  Err().Clear();
}

void frmSplitter::SetLength2(float& X) {
  const double W = BarWidth();
  SnapToFrame(X, W);
  DoEvents();
  if (X > W - 140) X = static_cast<float>(W - 140);
  Step([&] { imgSplitter2->Left(Whole(X)); });
  DoEvents();
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left()); });
  DoEvents();
  ShowEndFrame();
  Err().Clear();
}

void frmSplitter::ShowStartFrame() {
  Screen().MousePointer(vbArrowHourglass);
  if (!bFileLoaded) {
    Screen().MousePointer(vbDefault);
    return;
  }
  if (!Step([&] {
        lblStartTimeValue->Caption(Text(GetCurrentTime()));
        lblStartFrameValue->Caption(Text(ctrlSlider->Value()));
        lStartFrame = ctrlSlider->Value();
      })) {
    Err().Clear();
    Screen().MousePointer(vbDefault);
    return;
  }
  Step([&] {
    if (ctrlSlider->Value() > ctrlSlider->SelStart()) ctrlSlider->SelStart(ctrlSlider->Value());
  });
  ShowMarkPicture(imgPreviewStart);
}

void frmSplitter::ShowEndFrame() {
  Screen().MousePointer(vbArrowHourglass);
  if (!bFileLoaded) {
    Screen().MousePointer(vbDefault);
    return;
  }
  Step([&] { lblStopTimeValue->Caption(Text(GetCurrentTime())); });
  Step([&] {
    lblStopFrameValue->Caption(Text(ctrlSlider->Value()));
    lEndFrame = ctrlSlider->Value();
  });
  Step([&] {
    if (ctrlSlider->Value() < ctrlSlider->SelStart()) ctrlSlider->SelStart(ctrlSlider->Value());
  });
  ShowMarkPicture(imgPreviewStop);
}

// What the start and end marks share once the mark's frame is taken: the selection's length, the
// frame shown in picPreview and the mark's picture.
void frmSplitter::ShowMarkPicture(Ctl<Image>& picture) {
  Step([&] { ctrlSlider->SelLength(lEndFrame - lStartFrame); });
  bSliderMoved = true;
  ApplySelection();
  Step([&] { picture->SetPicture(ShownFramePicture()); });
  DoEvents();
  Screen().MousePointer(vbDefault);
}

void frmSplitter::ApplySelection() {
  Screen().MousePointer(vbArrowHourglass);
  Step([&] { ctrlSlider->SelStart(Whole(Val(lblStartFrameValue->Caption()))); });
  Step([&] {
    ctrlSlider->SelLength(Whole(Val(lblStopFrameValue->Caption()) - Val(lblStartFrameValue->Caption())));
  });
  Step([&] { ctrlSlider->Value(Whole(Val(lblCurrentFrameValue->Caption()))); });
  Step([&] { ShowFrameAt(GetCurrentTime()); });
  Screen().MousePointer(vbDefault);
  Err().Clear();
}

void frmSplitter::WzTick1_TickClick(int16_t Button, int16_t, float X) {
  Screen().MousePointer(vbArrowHourglass);
  float x = X;
  if (Button == 1) SetLength(x);
  else SetLength2(x);
  Screen().MousePointer(vbDefault);
}

void frmSplitter::Command1_Click() {
  Step([&] { txtStart->Text(Text(ctrlSlider->Value())); });
  cmdSelStart_Click();
}

void frmSplitter::Command2_Click() {
  Step([&] { txtEnd->Text(Text(ctrlSlider->Value())); });
  cmdSetStop_Click();
}

void frmSplitter::tmrTimer_Timer() {
  if (bAutoButton) return;
  if (bSliderMoved && bFileLoaded) {
    bSliderMoved = false;
    Step([&] { ShowFrameAt(GetCurrentTime(), true); });
  }
  Step([&] {
    ToolButton("PreviewTrimmed")
        ->ToolTipText(bFileLoaded ? "Preview Trimmed Movie from frame " + lblStartFrameValue->Caption() + " to frame " +
                                        lblStopFrameValue->Caption() + "."
                                  : std::string("Preview Trimmed Movie"));
  });
  Err().Clear();
}

// ---- Typed frames and steps ------------------------------------------------------------------

// The frame number typed into the box, into value; false (after saying so and putting the focus
// back into the box) when the text is not a number from 0 to the frame count.
bool frmSplitter::ReadTypedFrame(const Ctl<TextBox>& box, double& value) {
  const std::string text = box->Text();
  if (!IsNumeric(Variant(text))) {
    MsgBox("Please enter a number.", vbOKOnly);
    Step([&] { box->SetFocus(); });
    return false;
  }
  value = Val(text);
  if (value > lFrameCount || value < 0) {
    MsgBox("Please enter a number between 0 and " + Text(lFrameCount) + ".", vbOKOnly);
    Step([&] { box->SetFocus(); });
    return false;
  }
  return true;
}

// The start (or end) frame typed into its box, into value; false (after saying why) when it is no
// frame number or comes after the end frame (before the start frame). Failures are cleared.
bool frmSplitter::ReadTypedMark(const Ctl<TextBox>& box, double& value, bool start) {
  bool pass = false;
  Step([&] {
    if (!ReadTypedFrame(box, value)) return;
    if (start ? value > lEndFrame : value < lStartFrame) {
      MsgBox(start ? "The starting frame number must be lower than the ending frame number."
                   : "The ending frame number must be higher than the starting frame number.",
             vbOKOnly);
      return;
    }
    pass = true;
  });
  Err().Clear();
  return pass;
}

void frmSplitter::cmdSelStart_Click() {
  if (!bFileLoaded) return;
  double value = 0;
  if (!ReadTypedMark(txtStart, value, true)) return;
  lStartFrame = Whole(value);
  Step([&] { ctrlSlider->Value(lStartFrame); });
  Step([&] { ctrlSlider->SelStart(lStartFrame); });
  Step([&] { ctrlSlider->SelLength(Whole(Val(lblStopFrameValue->Caption()) - lStartFrame)); });
  Step([&] { lblCurrentFrameValue->Caption(Text(lStartFrame)); });
  if (dFrameRate != 0) Step([&] { lblCurrentTimeValue->Caption(Text(ctrlSlider->Value() / dFrameRate)); });
  Step([&] { lblStartTimeValue->Caption(lblCurrentTimeValue->Caption()); });
  ApplySelection();
  Step([&] {
    float x = BarPosition(lStartFrame);
    SetLength(x);
  });
  SelectionUnsaved = true;
  Err().Clear();
}

void frmSplitter::cmdSetStop_Click() {
  if (!bFileLoaded) return;
  double value = 0;
  if (!ReadTypedMark(txtEnd, value, false)) return;
  Step([&] { ctrlSlider->Value(Whole(value)); });
  ScrollHandling();
  Step([&] { lblStopFrameValue->Caption(Text(ctrlSlider->Value())); });
  lEndFrame = Whole(value);
  Step([&] { lStartFrame = Whole(Val(lblStartFrameValue->Caption())); });
  Step([&] { ctrlSlider->SelStart(Whole(Val(lblStartFrameValue->Caption()))); });
  Step([&] {
    ctrlSlider->SelLength(Whole(Val(lblStopFrameValue->Caption()) - Val(lblStartFrameValue->Caption())));
  });
  bSliderMoved = true;
  Step([&] {
    ShowFrame(lEndFrame);
    imgPreviewStop->SetPicture(ShownFramePicture());
  });
  DoEvents();
  Step([&] {
    float x = BarPosition(lEndFrame);
    SetLength2(x);
  });
  bAutoButton = false;
  SelectionUnsaved = true;
  Err().Clear();
}

// The part the start steps share once the new start frame s is on the slider and in the box:
// the frame labels, the selection from s and the start time.
void frmSplitter::StepStartTo(int32_t s) {
  bSliderMoved = true;
  SetFrameLabels(ValueOr(0, [&] { return ctrlSlider->Value(); }));
  lStartFrame = s;
  Step([&] { ctrlSlider->SelStart(s); });
  Step([&] { ctrlSlider->SelLength(Whole(Val(lblStopFrameValue->Caption()) - s)); });
  Step([&] { lblStartTimeValue->Caption(lblCurrentTimeValue->Caption()); });
}

void frmSplitter::cmdStartDown_Click() {
  if (bAutoButton || !bFileLoaded) return;
  bAutoButton = true;
  const int32_t s = std::max(0, Whole(Val(ValueOr(std::string("0"), [&] { return lblStartFrameValue->Caption(); }))) - 1);
  Step([&] { ctrlSlider->Value(s); });
  Step([&] { lblStartFrameValue->Caption(Text(s)); });
  Step([&] { txtStart->Text(Text(s)); });
  StepStartTo(s);
  Step([&] { ShowFrameAt(GetCurrentTime()); });
  Step([&] {
    float x = BarPosition(lStartFrame);
    SetLength(x);
  });
  bAutoButton = false;
  Err().Clear();
}

void frmSplitter::cmdStartUp_Click() {
  if (bAutoButton || !bFileLoaded) return;
  bAutoButton = true;
  const int32_t s =
      std::min(lFrameCount, Whole(Val(ValueOr(std::string("0"), [&] { return lblStartFrameValue->Caption(); }))) + 1);
  Step([&] { ctrlSlider->Value(s); });
  Step([&] { txtStart->Text(Text(s)); });
  Step([&] { lblStartFrameValue->Caption(Text(s)); });
  StepStartTo(s);
  const double W = BarWidth();
  Step([&] {
    if (lFrameCount == 0) Raise(vbErrDivisionByZero);
    double x = W * lStartFrame / lFrameCount;
    imgSplitter->Left(Whole(x));
    lblSelected->Left(Whole(x + 30));
    lblSelected->Width(imgSplitter2->Left() - lblSelected->Left());
  });
  Step([&] {
    if (lFrameCount == 0) Raise(vbErrDivisionByZero);
    const double max = ctrlSlider->Max();
    const double r = (W * lStartFrame / lFrameCount) / W;
    double x = (W - 140) / max * Whole(max * r);
    if (x < 0) x = 0;
    imgSplitter->Left(Whole(x));
    lblSelected->Left(Whole(x + 30));
  });
  Step([&] {
    ShowFrameAt(GetCurrentTime(), true);
    DoEvents();
    imgPreviewStart->SetPicture(ShownFramePicture());
  });
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left()); });
  bAutoButton = false;
  Err().Clear();
}

namespace {
int32_t EndStepTarget(int32_t current, int32_t delta, int32_t count) {
  return std::clamp(current + delta, 0, std::max(0, count));
}
}  // namespace

void frmSplitter::EndStep(int32_t delta) {
  if (bAutoButton || !bFileLoaded) return;
  bAutoButton = true;
  Step([&] { tmrTimer->Enabled(false); });
  const int32_t e = EndStepTarget(
      Whole(Val(ValueOr(std::string("0"), [&] { return lblStopFrameValue->Caption(); }))), delta, lFrameCount);
  Step([&] { ctrlSlider->Value(e); });
  Step([&] { txtEnd->Text(Text(e)); });
  SetFrameLabels(ValueOr(0, [&] { return ctrlSlider->Value(); }));
  Step([&] { lblStopFrameValue->Caption(Text(e)); });
  Step([&] { lblStopTimeValue->Caption(lblCurrentTimeValue->Caption()); });
  lEndFrame = e;
  Step([&] { lStartFrame = Whole(Val(lblStartFrameValue->Caption())); });
  Step([&] { ctrlSlider->SelStart(lStartFrame); });
  Step([&] { ctrlSlider->SelLength(e - lStartFrame); });
  bSliderMoved = true;
  Step([&] {
    if (lFrameCount == 0) Raise(vbErrDivisionByZero);
    const double max = ctrlSlider->Max();
    const double r = static_cast<double>(lEndFrame) / lFrameCount;
    ctrlSlider->Value(Whole(max * r));
    SetFrameLabels(ctrlSlider->Value());
    const double W = BarWidth();
    double x = (W - 140) / max * ctrlSlider->Value();
    if (x > W - 140) x = W - 140;
    imgSplitter2->Left(Whole(x));
    lblSelected->Width(imgSplitter2->Left() - lblSelected->Left());
  });
  Step([&] {
    ShowFrameAt(GetCurrentTime());
    DoEvents();
    imgPreviewStop->SetPicture(ShownFramePicture());
    DoEvents();
  });
  bAutoButton = false;
  Step([&] { tmrTimer->Enabled(true); });
  Err().Clear();
}

void frmSplitter::cmdEndDown_Click() { EndStep(-1); }
void frmSplitter::cmdEndUp_Click() { EndStep(1); }

// ---- Saving ---------------------------------------------------------------------------------

void frmSplitter::mnuSave_Click() {
  if (SaveRoad()) Unload();
}

bool frmSplitter::SaveRoad() {
  if (bRendering) return false;  // one render at a time
  if (!bFileLoaded) return false;  // no movie (the last open failed): nothing to save
  std::string target;
  // Until the replace question any failure ends the road silently.
  try {
    const std::string source = lblReadFileName->Caption();
    if (source.size() < 4) Raise(vbErrInvalidProcedureCall);
    const std::string proposed = source.substr(0, source.size() - 4) + "_" + Text(lSaveCounter) + ".avi";
    lblWriteFileName->Caption(proposed);
    ctrlCommonDialog->Dialog().CancelError = true;
    ctrlCommonDialog->Dialog().FileName = proposed;
    ctrlCommonDialog->Dialog().Filter = SetFilter();
    ctrlCommonDialog->ShowSave();
    target = ctrlCommonDialog->Dialog().FileName;
    if (target.empty()) return false;
    lblWriteFileName->Caption(target);
    lblPlaybackFileName->Caption(target);
  } catch (const VBError&) {
    Err().Clear();
    return false;
  }
  if (SameFile(target, sSourceFile)) {
    MsgBox("The movie being split cannot be replaced by a piece of itself." + std::string(kCrLf) +
               "Please use another name.",
           vbOKOnly | vbExclamation);
    return false;
  }
  Step([&] {
    if (ctrlSlider->SelLength() == 0) {
      float x = static_cast<float>(picSplitter2->Left());
      SetLength2(x);
    }
  });
  if (modGeneral::FileExists(target) || PathExists(target)) {
    if (MsgBox("A file named " + target + " already exists." + kCrLf + "Do you want to replace it?", vbYesNo) != vbYes)
      return false;
    DoEvents();
    // The old file stays until the new piece is complete; one that cannot be replaced is refused now.
    if (!modGeneral::FileExists(target) || !CanReplace(target)) {
      MsgBox(std::string("There was a sharing error trying to delete the old file.") + kCrLf +
                 "Please use another name or manually delete the old file and refresh Explorer.",
             vbOKOnly | vbCritical);
      return false;
    }
  }
  Screen().MousePointer(vbArrowHourglass);
  ++lSaveCounter;
  DisableControls();
  Step([&] { ToolButton("Stop")->Visible(true); });
  bCancel = false;
  const Outcome outcome = RenderSelection(target);
  Step([&] { ToolButton("Stop")->Visible(false); });
  EnableControls();
  Screen().MousePointer(vbDefault);
  Err().Clear();
  if (outcome != Outcome::Done) return false;
  LoadedFileNameHolder() = target;
  SelectionUnsaved = false;
  return true;
}

frmSplitter::Outcome frmSplitter::RenderSelection(const std::string& target) {
  // The marks as shown must be what the slider holds, and the piece must have frames.
  bool valid = false;
  Step([&] {
    const int32_t start = Whole(Val(lblStartFrameValue->Caption()));
    const int32_t end = Whole(Val(lblStopFrameValue->Caption()));
    valid = end > start && start == lStartFrame && end == lEndFrame && ctrlSlider->SelStart() == start &&
            ctrlSlider->SelLength() == end - start;
  });
  Err().Clear();
  if (!valid) {
    MsgBox(kError5, vbOKOnly | vbExclamation);
    return Outcome::Refused;
  }
  std::string part;
  bRendering = true;
  Outcome outcome = Outcome::Failed;
  std::string failure;
  ComPtr<IAMTimeline> timeline;
  ComPtr<IRenderEngine> engine;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  ComPtr<IMediaPosition> position;
  float M = 0;
  try {
    std::string why;
    part = PartName(target, why);
    if (part.empty()) Raise(vbErrPathFileAccess, why);  // the message names the cause
    auto node = [&](LONG kind) {
      ComPtr<IAMTimelineObj> obj;
      RenderCall(timeline->CreateEmptyNode(obj.put(), kind));
      return obj;
    };
    RenderCall(
        CoCreateInstance(CLSID_AMTimeline, nullptr, CLSCTX_INPROC_SERVER, IAMTimeline::iid, timeline.put_void()));
    const double r = dFrameRate > 0 ? dFrameRate : 15.0;
    const double start = ctrlSlider->SelStart() / r;
    const double length = ctrlSlider->SelLength() / r;
    double stop = start + length;
    if (stop == 0) stop = 1.0;
    else if (stop == start) stop = start + 1.0;
    auto addGroup = [&](LONG type) {
      ComPtr<IAMTimelineObj> groupObj = node(128);
      ComPtr<IAMTimelineGroup> group = Cast<IAMTimelineGroup>(groupObj.Get());
      RenderCall(group->SetMediaTypeForVB(type));
      RenderCall(timeline->AddGroup(groupObj.Get()));
      ComPtr<IAMTimelineObj> trackObj = node(2);
      RenderCall(Cast<IAMTimelineComp>(groupObj.Get())->VTrackInsBefore(trackObj.Get(), -1));
      ComPtr<IAMTimelineObj> srcObj = node(4);
      RenderCall(srcObj->SetStartStop2(0, length));
      ComPtr<IAMTimelineSrc> src = Cast<IAMTimelineSrc>(srcObj.Get());
      RenderCall(src->SetMediaTimes2(start, stop));
      RenderCall(src->SetMediaName(Bstr(sSourceFile)));
      RenderCall(Cast<IAMTimelineTrack>(trackObj.Get())->SrcAdd(srcObj.Get()));
      return std::pair{group, src};
    };
    auto [videoGroup, videoSrc] = addGroup(0);
    ComPtr<IAMTimelineSrc> last = videoSrc;
    if (bHasAudio) last = addGroup(1).second;
    RenderCall(videoGroup->SetRecompFormatFromSource(last.Get()));
    RenderCall(CoCreateInstance(CLSID_SmartRenderEngine, nullptr, CLSCTX_INPROC_SERVER, IRenderEngine::iid,
                                engine.put_void()));
    RenderCall(engine->SetTimelineObject(timeline.Get()));
    RenderCall(engine->ConnectFrontEnd());
    ComPtr<IGraphBuilder> graph;
    RenderCall(engine->GetFilterGraph(graph.put()));
    control = Cast<IMediaControl>(graph.Get());
    events = Cast<IMediaEvent>(graph.Get());
    position = Cast<IMediaPosition>(graph.Get());
    std::error_code ec;
    std::filesystem::remove(part, ec);
    modGeneral::AddFileWriterAndMux(control.Get(), part);
    modGeneral::RenderGroupOutputs(engine.Get(), timeline.Get());
    RenderCall(control->Run());
    Step([&] { ctrlProgress->Value(0); });
    Step([&] { ProgressBar1->Value(0); });
    Step([&] { ctrlProgress->Visible(true); });
    Step([&] { ProgressBar1->Visible(true); });
    REFTIME D = 0;
    Step([&] { Check(position->get_Duration(&D)); });
    M = static_cast<float>(D);
    Step([&] { ctrlProgress->Max(M); });
    Step([&] { ProgressBar1->Max(M); });
    float previous = 0;
    for (;;) {
      REFTIME p = 0;
      Step([&] { Check(position->get_CurrentPosition(&p)); });
      DoEvents();
      if (length > 0) {
        Step([&] { ProgressBar1->Value(std::min(previous, M)); });
        if (M < static_cast<float>(p)) M += 1;
        previous = std::min(static_cast<float>(p), M);
        Step([&] { ctrlProgress->Max(M); });
        Step([&] { ctrlProgress->Value(previous); });
        Step([&] { ProgressBar1->Max(M); });
      }
      if (bCancel) {
        Step([&] { ToolButton("Stop")->Visible(false); });
        outcome = Outcome::Stopped;
        break;
      }
      LONG code = 0;
      events->WaitForCompletion(100, &code);
      if (code == EC_COMPLETE) {
        outcome = Outcome::Done;
        break;
      }
      if (code == EC_ERRORABORT || code == EC_USERABORT || code == EC_STREAM_ERROR_STOPPED) {
        failure = modGeneral::GraphErrorText(modGeneral::AbortResult(control.Get()));
        break;
      }
    }
  } catch (const VBError& e) {
    if (e.Number() == 5 || e.Number() == E_INVALIDARG) {
      MsgBox(kError5, vbOKOnly | vbExclamation);
      outcome = Outcome::Refused;
    } else {
      // A platform code without a description of the callee's own gets the media layer's text.
      failure = e.Number() < 0 && e.Description() == ErrorDescription(e.Number()) ? modGeneral::GraphErrorText(e.Number())
                                                                                  : e.Description();
    }
    Err().Clear();
  }
  // Closing steps: the graph is stopped before it is taken apart.
  Step([&] { ctrlProgress->Value(M); });
  Step([&] { ProgressBar1->Max(M); });
  Step([&] { ctrlProgress->Visible(false); });
  Step([&] { ProgressBar1->Visible(false); });
  Step([&] { mnuSave->Enabled(true); });
  Step([&] { ToolButton("SaveAs")->Enabled(true); });
  if (control) Step([&] { control->Stop(); });
  if (engine) Step([&] { Check(engine->ScrapIt()); });
  position = nullptr;
  events = nullptr;
  control = nullptr;
  engine = nullptr;
  timeline = nullptr;
  Err().Clear();
  // Only a complete piece that reads back as a movie replaces the target.
  if (outcome == Outcome::Done) {
    bool readable = false;
    Step([&] {
      ComPtr<IMediaDet> check;
      Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, check.put_void()));
      Check(check->put_Filename(Bstr(part)));
      LONG n = 0;
      Check(check->get_OutputStreams(&n));
      readable = n > 0;
    });
    if (!readable) {
      outcome = Outcome::Failed;
      failure = "The rendered file cannot be read.";
    } else if (!Step([&] { ReplaceFile(part, target); })) {
      outcome = Outcome::Failed;
      failure = Err().Description;
    }
    Err().Clear();
  }
  if (outcome != Outcome::Done && !part.empty()) {
    std::error_code ec;
    std::filesystem::remove(part, ec);
  }
  if (outcome == Outcome::Failed)
    MsgBox("The piece could not be saved as " + target + "." + kCrLf + failure, vbOKOnly | vbExclamation);
  bRendering = false;
  return outcome;
}

// ---- Trimmed preview ------------------------------------------------------------------------

void frmSplitter::RestorePanel() {
  Step([&] { bHideSelected = StoredHideSelected(); });
  Step([&] { mnuHideSelected->Caption(bHideSelected ? "Show Selected Panel" : "Hide Selected Panel"); });
  Step([&] { ToolButton("ShowHide")->ToolTipText(mnuHideSelected->Caption()); });
  Form_Resize();
}

void frmSplitter::EndPreview() {
  bStopPreview = true;
  Step([&] { cmdPlay->Caption("Start"); });
  Step([&] { ToolButton("PreviewTrimmed")->ToolTipText("Preview Trimmed Movie"); });
  Step([&] { ShowFrame(Whole(Val(lblCurrentFrameValue->Caption()))); });
  EnableControls();
  Step([&] { lblFrameNo->Visible(false); });
  Step([&] { lblFrameNo->Caption(""); });
  bPreviewRunning = false;
  Err().Clear();
}

void frmSplitter::PlayTrimmedPreview() {
  // A close asked during the preview's end (Exit or the close box once the controls are enabled
  // again) runs when the outermost call has returned: unloading the window under it would leave
  // the rest of the preview's end touching (and so loading again) a window that went.
  {
    struct Calls {
      int& n;
      ~Calls() { --n; }
    } calls{++previewCalls_};
    StartOrStopPreview();
  }
  if (previewCalls_ == 0 && closeAfterPreview_) {
    closeAfterPreview_ = false;
    if (IsLoaded()) Unload();
  }
}

void frmSplitter::StartOrStopPreview() {
  if (!SameText(cmdPlay->Caption(), "Start")) {
    EndPreview();
    RestorePanel();
    return;
  }
  if (!bFileLoaded) return;
  try {
    if (mnuHideSelected->Caption() == "Show Selected Panel") {
      mnuHideSelected->Caption("Hide Selected Panel");
      bHideSelected = false;
      ToolButton("ShowHide")->ToolTipText("Hide Selected Panel");
      Form_Resize();
    }
    ToolButton("PreviewTrimmed")->ToolTipText("Stop Preview");
    lblFrameNo->Visible(true);
    cmdPlay->Caption("Stop");
    DisableControls();
    cmdPlay->Enabled(true);
    ToolButton("PreviewTrimmed")->Enabled(true);
    bStopPreview = false;
    bPreviewRunning = true;
    const int32_t last = Whole(Val(txtEnd->Text()));
    const int32_t first = Whole(Val(txtStart->Text()));
    bool warned = false;
    for (int32_t f = first; f <= last; ++f) {
      lblFrameNo->Caption(Text(f));
      ShowFrame(f);
      const double fps = Val(lblFPSValue->Caption());
      if (fps <= 0) Raise(vbErrDivisionByZero);
      const auto t0 = std::chrono::steady_clock::now();
      const auto period = std::chrono::duration<double>(1.0 / fps);
      int n = 0;
      while (std::chrono::steady_clock::now() - t0 < period) {
        ++n;
        DoEvents();
        if (std::chrono::steady_clock::now() - t0 < period) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (n == 0) {
        if (!bStopPreview && !warned) {
          warned = true;
          MsgBox(std::string("Your system may not be able to support this feature.") + kCrLf +
                     "Try closing any other open applications.",
                 vbOKOnly);
        }
        bStopPreview = true;
      }
      if (bStopPreview) {
        EndPreview();
        break;
      }
    }
    EndPreview();
    RestorePanel();
  } catch (const VBError&) {
    // The window stays busy ("Stop" caption, preview running) until the next click stops it.
    Err().Clear();
  }
}

// ---- Frame: layout, toolbar, busy state, timers, help, closing --------------------------------

void frmSplitter::Form_Resize() {
  int32_t W = 0, H = 0;
  Step([&] {
    W = Width();
    H = Height();
  });
  if (H < 7200) {
    H = 7200;
    Step([&] { Height(7200); });
  }
  if (W < 9600) {
    W = 9600;
    Step([&] { Width(9600); });
  }
  Step([&] { lblInfo->Width(W); });
  Step([&] { PositionBar->Top(H - PositionBar->Height() - 825); });
  Step([&] { PositionBar->Width(W - 3 * PositionBar->Left()); });
  Step([&] { imgSplitter->Left(0); });
  Step([&] { imgSplitter2->Left(PositionBar->Width() - 140); });
  Step([&] { lblSelected->Left(imgSplitter->Width()); });
  Step([&] { lblSelected->Width(imgSplitter2->Left() - lblSelected->Left()); });
  Step([&] { picFPS->Width(W - 460); });
  Step([&] { picPreview->Width(picFPS->Width() / (bHideSelected ? 2 : 3) - 75); });
  Step([&] { picPreview->Visible(!bHideSelected); });
  Step([&] { pnlPreview->Visible(!bHideSelected); });
  Step([&] { imgPreviewStart->Width(picPreview->Width()); });
  Step([&] { imgPreviewStart->Left(picPreview->Left() + picPreview->Width() + 120); });
  Step([&] { imgPreviewStop->Left(imgPreviewStart->Left() + imgPreviewStart->Width() + 120); });
  Step([&] { pnlPreview->Width(picPreview->Width()); });
  Step([&] { pnlStart->Width(picPreview->Width()); });
  Step([&] { pnlEnd->Width(picPreview->Width()); });
  Step([&] { pnlStart->Left(imgPreviewStart->Left()); });
  Step([&] { pnlEnd->Left(imgPreviewStop->Left()); });
  Step([&] { Command2->Left(pnlPreview->Width() - Command2->Width() - 60); });
  Step([&] { imgPreviewStop->Width(picPreview->Width()); });
  Step([&] { picPreview->Height(PositionBar->Top() - picPreview->Top()); });
  Step([&] { imgPreviewStart->Height(picPreview->Height()); });
  Step([&] { imgPreviewStop->Height(picPreview->Height()); });
  Step([&] {
    IDispatch* ruler = Ruler();
    Invoke(ruler, wztick::kExtLeft, DISPATCH_PROPERTYPUT, {Variant(static_cast<float>(PositionBar->Left()))});
    Invoke(ruler, wztick::kExtWidth, DISPATCH_PROPERTYPUT, {Variant(static_cast<float>(PositionBar->Width() - 45))});
    Invoke(ruler, wztick::kExtTop, DISPATCH_PROPERTYPUT,
           {Variant(static_cast<float>(imgPreviewStop->Top() + imgPreviewStop->Height()))});
    const bool visible = CBool(Invoke(ruler, wztick::kExtVisible, DISPATCH_PROPERTYGET));
    Invoke(ruler, wztick::kExtVisible, DISPATCH_PROPERTYPUT, {Variant(visible)});
  });
  Step([&] {
    PositionBar->Top(Whole(CSng(Invoke(Ruler(), wztick::kExtTop, DISPATCH_PROPERTYGET)) +
                           CSng(Invoke(Ruler(), wztick::kExtHeight, DISPATCH_PROPERTYGET))));
  });
  Step([&] { ctrlSlider->Width(pnlPreview->Width() - ctrlSlider->Left() - 60); });
  if (bFileLoaded) ScrollHandling();
  for (const char* name : {"cmdStartUp", "cmdStartDown", "picStartSlider"})
    Step([&] { FindControl(name)->Left(pnlStart->Width() - 255); });
  for (const char* name : {"cmdEndUp", "cmdEndDown", "picEndSlider"})
    Step([&] { FindControl(name)->Left(pnlStart->Width() - 255); });
  if (bHideSelected) {
    Step([&] { pnlEnd->Left(pnlStart->Left()); });
    Step([&] { imgPreviewStop->Left(pnlStart->Left()); });
    Step([&] { pnlStart->Left(pnlPreview->Left()); });
    Step([&] { imgPreviewStart->Left(pnlPreview->Left()); });
  }
  Step([&] { txtEnd->Text(lblStopFrameValue->Caption()); });
  Step([&] { txtStart->Text(lblStartFrameValue->Caption()); });
  Step([&] { lblFrameCount->Left(picFPS->Width() - 450); });
  Step([&] { Label8->Left(lblFrameCount->Left() - Label8->Width() - 30); });
  Step([&] { lblStreams->Left(picFPS->Width() / 2 + 480); });
  Step([&] { lblStreamsValue->Left(lblStreams->Left() + lblStreams->Width() + 30); });
  Step([&] { lblVideoStreamValue->Left(picFPS->Width() / 2 - 480 - lblVideoStreamValue->Width()); });
  Step([&] { lblVideoStream->Left(lblVideoStreamValue->Left() - lblVideoStream->Width() - 30); });
  Step([&] { picFPS->Top(1020); });
  Step([&] { ProgressBar1->Move(picFPS->Left(), 675, picFPS->Width()); });
  Step([&] {
    const int32_t top = picFPS->Top() + picFPS->Height() + 30;
    pnlPreview->Top(top);
    pnlStart->Top(top);
    pnlEnd->Top(top);
  });
  Step([&] {
    const int32_t top = pnlEnd->Top() + pnlEnd->Height() + 30;
    picPreview->Top(top);
    imgPreviewStop->Top(top);
    imgPreviewStart->Top(top);
  });
  Step([&] {
    picToolCaption->Move(Toolbar1->Width() - picToolCaption->Width(), 0, -1, Toolbar1->Height());
    lblCounter->Move(0, picToolCaption->Height() / 2 - 150, picToolCaption->Width(), 195);
  });
  if (bFileLoaded && !bRendering && !bPreviewRunning) {
    cmdSelStart_Click();
    cmdSetStop_Click();
  }
  Err().Clear();
}

void frmSplitter::mnuHideSelected_Click() {
  if (mnuHideSelected->Caption() != "Hide Selected Panel") {
    mnuHideSelected->Caption("Hide Selected Panel");
    bHideSelected = false;
    Step([&] { ToolButton("ShowHide")->ToolTipText("Hide Selected Panel"); });
  } else {
    mnuHideSelected->Caption("Show Selected Panel");
    Step([&] { ToolButton("ShowHide")->ToolTipText("Show Selected Panel"); });
    bHideSelected = true;
  }
  Form_Resize();
}

void frmSplitter::SetControlsEnabled(bool enabled) {
  for (const char* name : {"PositionBar", "mnuNew", "mnuSave"}) Step([&] { FindControl(name)->Enabled(enabled); });
  for (const char* key : {"SaveAs", "PreviewTrimmed", "ShowHide", "FirstFrame", "LastFrame", "Help", "Exit"})
    Step([&] {
      if (Button* b = ToolButton(key)) b->Enabled(enabled);
    });
  for (const char* name : {"cmdPlay", "mnuPlay"}) Step([&] { FindControl(name)->Enabled(enabled); });
  for (const char* name : {"lblSaveAs", "lblFileName", "lblPlay"})
    Step([&] {
      FindControl(name)->Enabled(enabled);
      FindControl(name)->Visible(enabled);
    });
  for (const char* name : {"cmdPreview", "cmdSelStart", "Command2", "Command1", "cmdSetStop", "ctrlSlider", "txtEnd",
                           "txtStart", "cmdStartUp", "cmdStartDown", "cmdEndUp", "cmdEndDown"})
    Step([&] { FindControl(name)->Enabled(enabled); });
  Err().Clear();
}

void frmSplitter::DisableControls() { SetControlsEnabled(false); }
void frmSplitter::EnableControls() { SetControlsEnabled(true); }

void frmSplitter::ToolbarClick(const std::string& key) {
  if (SameText(key, "SaveAs")) {
    if (mnuSave->Enabled()) mnuSave_Click();
  } else if (SameText(key, "ShowHide")) {
    mnuHideSelected_Click();
  } else if (SameText(key, "PreviewTrimmed")) {
    PlayTrimmedPreview();
  } else if (SameText(key, "FirstFrame")) {
    if (Label4->Enabled()) {
      txtStart->Text("1");
      cmdSelStart_Click();
    }
  } else if (SameText(key, "LastFrame")) {
    if (Label5->Enabled()) {
      txtEnd->Text(Text(lFrameCount));
      cmdSetStop_Click();
    }
  } else if (SameText(key, "Help")) {
    Help();
  } else if (SameText(key, "Stop")) {
    bCancel = true;
  } else if (SameText(key, "Exit")) {
    Exit();
  }
}

void frmSplitter::Timer1_Timer() {
  if (Visible()) {
    Timer1->Enabled(false);
    SelectionUnsaved = false;
  }
}

void frmSplitter::Help() {
  Step([&] { HtmlHelp(hWnd(), AppPath() + "/Cutwright.chm", 0, 0); });
  Err().Clear();
}

void frmSplitter::Exit() { Unload(); }

void frmSplitter::Form_QueryUnload(int16_t& Cancel) {
  if (TerminationRequested()) {
    // The program ends on a termination request: nothing is asked. A save or a preview under way
    // is stopped; the piece's unfinished file goes when the program ends, the old target stays.
    bCancel = true;
    bStopPreview = true;
  } else if (bPreviewRunning) {
    MsgBox(std::string("Cannot unload while the trimmed frames are being previewed.") + kCrLf +
               "Stop the Trimmed Movie Preview and then exit.",
           vbOKOnly);
    Cancel = 1;
    return;
  } else if (previewCalls_ > 0) {
    closeAfterPreview_ = true;
    Cancel = 1;
    return;
  }
  if (bRendering && !TerminationRequested()) {
    MsgBox(std::string("Cannot unload while the piece is being saved.") + kCrLf + "Stop the save and then exit.",
           vbOKOnly);
    Cancel = 1;
    return;
  }
  if (SelectionUnsaved && !TerminationRequested()) {
    // Yes: the save road; a piece handed back lets this close go on (the window unloads as
    // after any save), otherwise the window stays open.
    if (MsgBox("Do you want to save your file?", vbYesNo) == vbYes && !SaveRoad()) {
      Cancel = 1;
      return;
    }
  }
  DoEvents();
  Step([&] {
    const std::string bitmap = FramePictureFile();
    if (modGeneral::FileExists(bitmap)) Kill(bitmap);
  });
  DoEvents();
  objMediaDet = nullptr;
  DoEvents();
  Step([&] { SaveSetting(kAppSettings, "Init", "HideSelected", bHideSelected ? "True" : "False"); });
  Err().Clear();
}
