#include "FrmCrunchboxEncodeOptions.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_strings.h"
#include "core/system_messages.h"
#include "dshow/uuids.h"
#include "forms/app.h"
#include "frmCrunchbox.h"
#include "modMain.h"
#include "shell/files.h"
#include "shell/system.h"
#include "vfw/vfw.h"

namespace {

constexpr const char* kVideoMajorType = "{73646976-0000-0010-8000-00AA00389B71}";
constexpr const char* kAudioMajorType = "{73647561-0000-0010-8000-00AA00389B71}";
constexpr OLE_COLOR kLightGrey = 0xC0C0C0;  // red, green and blue 192
constexpr OLE_COLOR kWhite = 0xFFFFFF;

frmCrunchbox& MainForm() { return DefaultForm<frmCrunchbox>(); }

// Walks the graph manager's registered filters in order; the first whose name matches joins
// the graph, and its IFilterInfo is the result. Without a match the result keeps its value.
void AddFilterMatching(IMediaControl* graph, const std::function<bool(const std::string&)>& matches,
                       ComPtr<IFilterInfo>& result) {
  ComPtr<IDispatch> registered;
  Check(graph->get_RegFilterCollection(registered.put()));
  ComPtr<IAMCollection> filters;
  Check(registered->QueryInterface(IAMCollection::iid, filters.put_void()));
  LONG count = 0;
  Check(filters->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    Check(filters->Item(i, item.put()));
    ComPtr<IRegFilterInfo> info;
    Check(item->QueryInterface(IRegFilterInfo::iid, info.put_void()));
    Bstr name;
    Check(info->get_Name(&name));
    if (!matches(name.Utf8())) continue;
    ComPtr<IDispatch> added;
    Check(info->Filter(added.put()));
    Check(added->QueryInterface(IFilterInfo::iid, result.put_void()));
    return;
  }
}

void AddFilterByName(IMediaControl* graph, const std::string& name, ComPtr<IFilterInfo>& result) {
  AddFilterMatching(graph, [&](const std::string& n) { return n == name; }, result);
}

void AddFilterByPattern(IMediaControl* graph, const std::string& pattern, ComPtr<IFilterInfo>& result) {
  AddFilterMatching(graph, [&](const std::string& n) { return Like(n, pattern); }, result);
}

// The pins of a filter, in its order.
std::vector<ComPtr<IPinInfo>> PinsOf(IFilterInfo* filter) {
  if (!filter) Raise(vbErrObjectNotSet);
  ComPtr<IDispatch> pins;
  Check(filter->get_Pins(pins.put()));
  ComPtr<IAMCollection> collection;
  Check(pins->QueryInterface(IAMCollection::iid, collection.put_void()));
  LONG count = 0;
  Check(collection->get_Count(&count));
  std::vector<ComPtr<IPinInfo>> result;
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    Check(collection->Item(i, item.put()));
    ComPtr<IPinInfo> pin;
    Check(item->QueryInterface(IPinInfo::iid, pin.put_void()));
    result.push_back(pin);
  }
  return result;
}

std::string PinName(IPinInfo* pin) {
  Bstr name;
  Check(pin->get_Name(&name));
  return name.Utf8();
}

// The first pin of the filter with the name; nullptr when it has none.
ComPtr<IPinInfo> PinNamed(IFilterInfo* filter, const std::string& name) {
  for (ComPtr<IPinInfo>& pin : PinsOf(filter)) {
    if (PinName(pin.Get()) == name) return pin;
  }
  return nullptr;
}

// When one of the pin's media types has the major type, the pin becomes the result.
void FindPinByMediaType(IPinInfo* pin, const std::string& majorType, ComPtr<IPinInfo>& result) {
  ComPtr<IDispatch> types;
  Check(pin->get_MediaTypes(types.put()));
  ComPtr<IAMCollection> collection;
  Check(types->QueryInterface(IAMCollection::iid, collection.put_void()));
  LONG count = 0;
  Check(collection->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    ComPtr<IUnknown> item;
    Check(collection->Item(i, item.put()));
    ComPtr<IMediaTypeInfo> type;
    Check(item->QueryInterface(IMediaTypeInfo::iid, type.put_void()));
    Bstr major;
    Check(type->get_Type(&major));
    if (major.Utf8() == majorType) {
      result = ComPtr<IPinInfo>(pin);
      return;
    }
  }
}

void Connect(IPinInfo* from, IPinInfo* to) {
  if (from && to) Check(from->Connect(to));
}

// Whether the file holds at least one video frame the AVI reader can find.
bool HoldsAFrame(const std::string& path) {
  if (!FileExists(path)) return false;
  AVIFileInit();
  PAVIFILE file = nullptr;
  bool frames = false;
  if (AVIFileOpen(&file, path.c_str(), OF_READ, nullptr) == 0 && file) {
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == 0 && stream) {
      AVISTREAMINFO info;
      frames = AVIStreamInfo(stream, &info, sizeof info) == 0 && info.dwLength > 0;
      AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
  }
  AVIFileExit();
  return frames;
}

// Whether two names lead to the same file (links followed).
bool SameFile(const std::string& a, const std::string& b) {
  const std::string ra = ValueOr(a, [&] { return ResolveLinks(a); });
  const std::string rb = ValueOr(b, [&] { return ResolveLinks(b); });
  if (ra == rb) return true;
  std::error_code ec;
  return std::filesystem::equivalent(ra, rb, ec) && !ec;
}

// A new empty side file in the folder of target, named with this process's id (so that one left
// by a killed run is removed by the next); "" when none can be made there.
std::string NewFileBeside(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return ValueOr(std::string(), [&] { return NewSideFile(folder + "." + base + ".crunching-", ".avi"); });
}

// The failure a run's graph reported when it aborted (the abort's code from its event queue);
// E_FAIL when none is queued.
HRESULT AbortCause(IMediaEvent* events) {
  HRESULT found = E_FAIL;
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  while (SUCCEEDED(events->GetEvent(&code, &p1, &p2, 0))) {
    if ((code == EC_ERRORABORT || code == EC_STREAM_ERROR_STOPPED) && found == E_FAIL &&
        FAILED(static_cast<HRESULT>(p1)))
      found = static_cast<HRESULT>(p1);
    events->FreeEventParams(code, p1, p2);
  }
  return found;
}

// The system's words for a failure code.
std::string FailureText(HRESULT hr) {
  char buffer[512] = {};
  if (AMGetErrorText(hr, buffer, sizeof buffer) > 0) return buffer;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 static_cast<DWORD>(hr), 0x0400, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? ErrorDescription(hr) : text;
}

void RemoveQuietly(const std::string& path) {
  if (path.empty()) return;
  Step([&] {
    if (FileExists(path)) Kill(path);
  });
  Err().Clear();
}

}  // namespace

FrmCrunchboxEncodeOptions::FrmCrunchboxEncodeOptions() : Form("FrmCrunchboxEncodeOptions") {
  On("Form_Load", [this] {
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
  });
  On("Form_Activate", [this] { InitForm(); });
  On("Form_QueryUnload", [this](int16_t&, int16_t) { Form_QueryUnload(); });
  auto digitsOnly = [](int16_t& KeyAscii) {
    if ((KeyAscii >= '0' && KeyAscii <= '9') || KeyAscii == 8) return;
    KeyAscii = 0;
    Beep();
  };
  On("KeyFrameRate_KeyPress", digitsOnly);
  On("DataRate_KeyPress", digitsOnly);
  On("AccessKey_KeyPress", digitsOnly);
  On("KeyFrameRate_Change",
     [this] { NumberChanged(*KeyFrameRate, keyFrameRateText_, &IV50EncodeOptions::put_KeyFrameRate); });
  On("DataRate_Change", [this] { NumberChanged(*DataRate, dataRateText_, &IV50EncodeOptions::put_DataRate); });
  On("AccessKey_Change", [this] { NumberChanged(*AccessKey, accessKeyText_, &IV50EncodeOptions::put_AccessKey); });
  On("Quality_Scroll", [this] {
    if (g_CrunchboxEncodeOA) Check(g_CrunchboxEncodeOA->put_Quality(Quality->Value() * 100));
    QLabel->Caption("Quality: " + std::to_string(Quality->Value()) + "%");
  });
  On("DREnable_Click", [this] {
    const bool dataRate = DREnable->Value() == vbChecked;
    DataRate->Enabled(dataRate);
    Quality->Enabled(!dataRate);
    QLabel->Enabled(!dataRate);
  });
  On("Scalability_Click", [this] {
    if (g_CrunchboxEncodeOA) {
      Check(g_CrunchboxEncodeOA->put_Scalability(Scalability->Value() == vbChecked ? int16_t{-1} : int16_t{0}));
    }
  });
  On("QuickCompress_Click", [this] { QuickCompress_Click(); });
  On("AKEnabled_Click", [this] { AKEnabled_Click(); });
  On("Transparency_Click", [this] {
    if (g_CrunchboxEncodeOA) {
      Check(g_CrunchboxEncodeOA->put_Transparency(static_cast<int16_t>(Transparency->ListIndex() + 1)));
    }
  });
  On("ViewportSize_Click", [this] {
    const int16_t index = ViewportSize->ListIndex();
    const int32_t size = index == 1 ? 64 : index == 2 ? 128 : index == 3 ? 256 : 0;
    if (!g_CrunchboxEncodeOA) return;
    Check(g_CrunchboxEncodeOA->put_ViewportSize2(size));
    Check(g_CrunchboxEncodeOA->put_ViewportSize1(size));
  });
  On("BrowseBTN_Click", [this] { BrowseBTN_Click(); });
  On("Encode_Click", [this] { Encode_Click(); });
  On("OK_Click", [this] { OK_Click(); });
  On("Timer1_Timer", [this] { Timer1_Timer(); });
}

void FrmCrunchboxEncodeOptions::Design() {
  Caption("Crunchbox Encode options");
  BorderStyle(vbFixedSingle);
  Size(5775, 4665);
  Size(5775 + (Width() - static_cast<int32_t>(ScaleWidth())), 4665 + (Height() - static_cast<int32_t>(ScaleHeight())));
  const Variant no(false);
  const std::pair<std::string, Variant> list{"Style", Variant(int16_t{2})};
  Place({
      {"Label", "Label4", -1, "", 120, 150, 975, 255, "Output File:"},
      {"TextBox", "OutFile", -1, "", 1080, 120, 4065, 285, ""},
      {"CommandButton", "BrowseBTN", -1, "", 5220, 120, 300, 285, "..."},
      {"Label", "KFRLabel", -1, "", 120, 600, 1335, 255, "Keyframe interval:"},
      {"TextBox", "KeyFrameRate", -1, "", 1920, 600, 615, 285, "Text1"},
      {"CheckBox", "DREnable", -1, "", 120, 1080, 1815, 375, "Data Rate (kb/sec):"},
      {"TextBox", "DataRate", -1, "", 1920, 1170, 615, 285, "Text1"},
      {"CheckBox", "Scalability", -1, "", 120, 1545, 1095, 255, "Scalabilty"},
      {"CheckBox", "QuickCompress", -1, "", 120, 1920, 1575, 255, "Quick Compress"},
      {"Label", "TLabel", -1, "", 120, 2400, 1095, 255, "Transparency:"},
      {"ComboBox", "Transparency", -1, "", 120, 2640, 2235, 315, "", {list}},
      {"Frame", "AccessKeyFrame", -1, "", 3345, 555, 2175, 1455, "Access Key"},
      {"CheckBox", "AKEnabled", -1, "AccessKeyFrame", 240, 360, 1095, 255, "Enable"},
      {"Label", "Key", -1, "AccessKeyFrame", 240, 720, 375, 255, "Key:"},
      {"TextBox", "AccessKey", -1, "AccessKeyFrame", 240, 960, 1215, 285, "Text1"},
      {"Label", "ViewPortSizeLabel", -1, "", 3315, 2400, 1215, 255, "Viewport Size:"},
      {"ComboBox", "ViewportSize", -1, "", 3315, 2640, 2205, 315, "", {list}},
      {"Label", "QLabel", -1, "", 135, 3180, 1095, 255, "Quality"},
      {"Slider", "Quality", -1, "", 0, 3405, 5700, 495, "",
       {{"Min", Variant(int32_t{0})}, {"Max", Variant(int32_t{100})}, {"LargeChange", Variant(int32_t{5})},
        {"SmallChange", Variant(int32_t{1})}}},
      {"CommandButton", "Encode", -1, "", 3720, 4065, 855, 375, "Encode"},
      {"CommandButton", "OK", -1, "", 4665, 4065, 852, 372, "Close"},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1})}}},
      {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
  });
  keyFrameRateText_ = dataRateText_ = accessKeyText_ = "Text1";
}

void FrmCrunchboxEncodeOptions::NumberChanged(TextBox& box, std::string& lastValid,
                                              HRESULT (IV50EncodeOptions::*put)(int32_t)) {
  const std::string text = box.Text();
  if (text.empty()) return;
  bool ok = Step([&] {
    const int32_t value = CLng(Variant(text));
    if (g_CrunchboxEncodeOA) Check((g_CrunchboxEncodeOA.Get()->*put)(value));
  });
  if (ok) {
    lastValid = text;
    return;
  }
  // Beyond 32 bits, or a value the codec refuses: the box keeps its last valid text.
  Err().Clear();
  Beep();
  if (lastValid != text) box.Text(lastValid);
}

void FrmCrunchboxEncodeOptions::InitForm() {
  std::string folder(256, ' ');
  GetSystemDirectoryA(folder.data(), 256);
  folder = Trim(folder);
  if (!folder.empty()) folder.pop_back();  // the terminating null

  BuildCompressionGraph();
  Scalability->Value(vbUnchecked);
  QuickCompress->Value(vbUnchecked);
  // Without an options object (the codec is missing) the boxes keep what they show.
  if (g_CrunchboxEncodeOA) {
    int32_t value = 0;
    Check(g_CrunchboxEncodeOA->get_KeyFrameRate(&value));
    KeyFrameRate->Text(std::to_string(value));
    Check(g_CrunchboxEncodeOA->get_DataRate(&value));
    DataRate->Text(std::to_string(value));
    Check(g_CrunchboxEncodeOA->get_Quality(&value));
    Quality->Value(CLng(Variant(value / 100.0)));
  }
  QLabel->Caption("Quality: " + std::to_string(Quality->Value()) + "%");
  AKEnabled->Value(vbUnchecked);
  QuickCompress->Enabled(Dir(folder + "/ir50_qcx.dll") != "" && Dir(folder + "/ir50_qc.dll") != "");
  AccessKey->Enabled(false);
  AccessKey->Text("0");
  AccessKey->BackColor(kLightGrey);
  if (Transparency->ListCount() == 0) {
    Transparency->AddItem("None");
    Transparency->AddItem("First Frame Analysis");
    Transparency->AddItem("Alpha Channel");
  }
  Transparency->ListIndex(0);
  if (ViewportSize->ListCount() == 0) {
    ViewportSize->AddItem("Full Image");
    ViewportSize->AddItem("64x64");
    ViewportSize->AddItem("128x128");
    ViewportSize->AddItem("256x256");
  }
  ViewportSize->ListIndex(0);
  if (g_CrunchboxEncodeOA) {
    int32_t enabled = 0;
    Check(g_CrunchboxEncodeOA->get_AccessKeyEnabled(&enabled));
    AKEnabled->Value(enabled == 1 ? vbChecked : vbUnchecked);
  }
}

void FrmCrunchboxEncodeOptions::BuildCompressionGraph() {
  ComPtr<IPinInfo> audioPin;
  g_objMCEnc = nullptr;
  Check(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid,
                         g_objMCEnc.put_void()));
  g_CrunchboxEncodeOA = nullptr;
  ComPtr<IDispatch> sourceDispatch;
  Check(g_objMCEnc->AddSourceFilter(Bstr(MainForm().g_InputFileName), sourceDispatch.put()));
  ComPtr<IFilterInfo> source;
  Check(sourceDispatch->QueryInterface(IFilterInfo::iid, source.put_void()));

  const bool built = Step([&] {
    IMediaControl* graph = g_objMCEnc.Get();
    ComPtr<IPinInfo> sourceOut = PinNamed(source.Get(), "Output");
    ComPtr<IFilterInfo> splitter;
    AddFilterByName(graph, "AVI Splitter", splitter);
    ComPtr<IPinInfo> splitterIn = PinNamed(splitter.Get(), "input pin");
    Connect(sourceOut.Get(), splitterIn.Get());
    ComPtr<IPinInfo> videoPin;
    for (ComPtr<IPinInfo>& pin : PinsOf(splitter.Get())) {
      if (PinName(pin.Get()) == "input pin") continue;
      FindPinByMediaType(pin.Get(), kVideoMajorType, videoPin);
      FindPinByMediaType(pin.Get(), kAudioMajorType, audioPin);
    }
    ComPtr<IFilterInfo> tee;
    AddFilterByPattern(graph, "Infinite Pin Tee*", tee);
    ComPtr<IPinInfo> teeIn = PinNamed(tee.Get(), "Input");
    ComPtr<IPinInfo> teeOut1 = PinNamed(tee.Get(), "Output1");
    Connect(videoPin.Get(), teeIn.Get());
    if (!teeOut1) Raise(vbErrObjectNotSet);
    Check(teeOut1->Render());
    ComPtr<IPinInfo> teeOut2 = PinNamed(tee.Get(), "Output2");
    ComPtr<IFilterInfo> compressor;
    AddFilterByPattern(graph, CompressorNamePattern, compressor);
    Check(CoCreateInstance(CLSID_IV50EncodeOptions, nullptr, CLSCTX_INPROC_SERVER, IV50EncodeOptions::iid,
                           g_CrunchboxEncodeOA.put_void()));
    Check(g_CrunchboxEncodeOA->AttachGraph(graph));
    ComPtr<IPinInfo> xformIn = PinNamed(compressor.Get(), "XForm In");
    ComPtr<IPinInfo> xformOut = PinNamed(compressor.Get(), "XForm Out");
    Connect(teeOut2.Get(), xformIn.Get());
    ComPtr<IFilterInfo> mux;
    AddFilterByName(graph, "AVI Mux", mux);
    ComPtr<IPinInfo> muxIn1 = PinNamed(mux.Get(), "Input 01");
    ComPtr<IPinInfo> muxOut = PinNamed(mux.Get(), "AVI Out");
    Connect(xformOut.Get(), muxIn1.Get());
    if (audioPin) {
      ComPtr<IPinInfo> muxIn2 = PinNamed(mux.Get(), "Input 02");
      Connect(audioPin.Get(), muxIn2.Get());
    }
    ComPtr<IFilterInfo> writer;
    AddFilterByName(graph, "File writer", writer);
    ComPtr<IPinInfo> writerIn = PinNamed(writer.Get(), "in");
    Connect(muxOut.Get(), writerIn.Get());
  });
  if (!built) {
    Err().Clear();
    MsgBox("Could not create the compression filter graph.", vbOKOnly, kCrunchboxTitle);
  }
}

void FrmCrunchboxEncodeOptions::SetGraphOutputFile(const std::string& fileName) {
  ComPtr<IV50OutputNamer> namer;
  Check(CoCreateInstance(CLSID_IV50OutputNamer, nullptr, CLSCTX_INPROC_SERVER, IV50OutputNamer::iid,
                         namer.put_void()));
  Check(namer->SetGraph(g_objMCEnc.Get()));
  Check(namer->SetFileName(Bstr(fileName).Utf16().c_str()));
  Check(namer->ApplyToGraph(g_objMCEnc.Get()));
}

void FrmCrunchboxEncodeOptions::Encode_Click() {
  ComPtr<IVideoWindow> window;
  if (g_objMCEnc) Step([&] { Check(g_objMCEnc->QueryInterface(IVideoWindow::iid, window.put_void())); });
  Err().Clear();
  const std::string output = OutFile->Text();
  if (output.empty()) {
    MsgBox("Please enter an output filename.", vbOKOnly, kCrunchboxTitle);
    return;
  }
  frmCrunchbox& main = MainForm();
  // The movie being compressed is read while the output is written: never the same file.
  if (SameFile(output, main.g_InputFileName)) {
    MsgBox("Please choose an output file other than the movie being compressed.", vbOKOnly, kCrunchboxTitle);
    return;
  }
  // From naming the output to running the graph, any failure is a run that cannot start (a graph
  // that could not be built has no file writer to name, no options to apply).
  runEnd_ = 0;
  runStarted_ = true;
  const bool started = Step([&] {
    if (!g_objMCEnc || !window) Raise(vbErrObjectNotSet);
    // The run writes a new file beside the output, which takes the output's place only once it
    // holds a usable movie: a file already there stays untouched until then.
    RemoveQuietly(temporary_);
    temporary_ = CanReplace(output) ? NewFileBeside(output) : std::string();
    if (temporary_.empty()) Check(E_ACCESSDENIED);
    SetGraphOutputFile(temporary_);
    if (!g_CrunchboxEncodeOA) Raise(vbErrObjectNotSet);
    if (DREnable->Value() == vbChecked) {
      Check(g_CrunchboxEncodeOA->put_Quality(0));
    } else {
      Check(g_CrunchboxEncodeOA->put_DataRate(0));
    }
    Check(g_CrunchboxEncodeOA->ApplyBegin());
    Check(g_CrunchboxEncodeOA->ApplyFinish());
    g_CrunchboxEncodeOA = nullptr;
    main.g_CompressionActive = true;
    main.g_CompressFileName = output;
    Check(window->put_Caption(Bstr("Encoding - " + output)));
    Check(window->put_Owner(static_cast<OAHWND>(main.Picture1->hWnd())));
    Check(window->put_Top(0));
    Check(window->put_Left(0));
    main.FitPreview(window.Get());
    main.cmdCancel->Visible(true);
    Hide();
    Check(g_objMCEnc->Run());
  });
  Err().Clear();
  if (started) {
    Timer1->Enabled(true);
    return;
  }
  // The run did not start: no completion will come. The encode window stays hidden and loaded,
  // the main window returns to its empty state and the file this run may have begun is removed.
  if (g_objMCEnc) {
    Step([&] { Check(g_objMCEnc->Stop()); });
    if (window) Step([&] { Check(window->put_Visible(0)); });
    Err().Clear();
  }
  Hide();
  main.cmdCancel->Visible(false);
  main.play_video->Enabled(false);
  main.stop_video->Enabled(false);
  main.pause_video->Enabled(false);
  main.Crunchbox_Decode_Options->Enabled(false);
  main.Compress_video->Enabled(false);
  main.openfilename->Caption("");
  RemoveQuietly(temporary_);
  temporary_.clear();
  runEnd_ = EC_ERRORABORT;
}

void FrmCrunchboxEncodeOptions::Timer1_Timer() {
  // Every failure is ignored.
  std::string failure;
  Step([&] {
    if (!g_objMCEnc) return;
    ComPtr<IMediaEvent> events;
    Check(g_objMCEnc->QueryInterface(IMediaEvent::iid, events.put_void()));
    LONG code = 0;
    events->WaitForCompletion(0, &code);
    if (code == 0) return;
    runEnd_ = code;
    if (code != EC_COMPLETE) failure = FailureText(AbortCause(events.Get()));
    Check(g_objMCEnc->Stop());
    ComPtr<IVideoWindow> window;
    Step([&] {
      Check(g_objMCEnc->QueryInterface(IVideoWindow::iid, window.put_void()));
      Check(window->put_Caption(Bstr(OutFile->Text())));
    });
    Timer1->Enabled(false);
    MainForm().cmdCancel->Visible(false);
    const std::string output = OutFile->Text();
    OK_Click();
    // A run the graph aborted (a full disk, a failed write) has left the output as it was: the
    // user is told so, and why.
    if (!failure.empty()) {
      MsgBox("The compressed movie " + output + " could not be written.\r\n" + failure, vbOKOnly | vbExclamation,
             kCrunchboxTitle);
    }
  });
}

void FrmCrunchboxEncodeOptions::OK_Click() { Unload(); }

void FrmCrunchboxEncodeOptions::Form_QueryUnload() {
  // Every failure is ignored.
  g_CrunchboxEncodeOA = nullptr;
  frmCrunchbox& main = MainForm();
  std::string output;
  Step([&] { output = OutFile->Text(); });
  main.EncodedFile = output;
  if (g_objMCEnc) {
    // Stopped before it goes, so that the file writer closes a complete (if shorter) file.
    Step([&] { Check(g_objMCEnc->Stop()); });
    Step([&] {
      ComPtr<IVideoWindow> window;
      Check(g_objMCEnc->QueryInterface(IVideoWindow::iid, window.put_void()));
      Check(window->put_Visible(0));
    });
    g_objMCEnc = nullptr;
  }
  if (runStarted_) {
    // A complete run replaces the output. A cancelled run's shorter movie becomes the output only
    // where no file had its name: it never replaces one. A run that failed or wrote no frame
    // leaves the output as it was and nothing to open.
    const bool complete = runEnd_ == EC_COMPLETE;
    const bool cancelled = runEnd_ == 0;
    const bool usable = (complete || (cancelled && !PathExists(output))) && !temporary_.empty() &&
                        HoldsAFrame(temporary_);
    const bool replaced = usable && Step([&] { ReplaceFile(temporary_, output); });
    if (!replaced) {
      RemoveQuietly(temporary_);
      main.EncodedFile.clear();
    }
    temporary_.clear();
  }
  runStarted_ = false;
  Step([&] { main.cmdCancel->Visible(false); });
}

void FrmCrunchboxEncodeOptions::BrowseBTN_Click() {
  EndQuietly([&] {
    CommonDialogObject& dialog = CommonDialog1->Dialog();
    dialog.CancelError = true;
    dialog.Filter = "AVI files (*.avi)|*.avi|All Files (*.*)|*.*";
    dialog.FilterIndex = 1;  // the dialog's property with dispatch identifier 23
    dialog.Flags = cdlOFNHideReadOnly;
    CommonDialog1->ShowOpen();
    OutFile->Text(dialog.FileName);
  });
}

void FrmCrunchboxEncodeOptions::EnableAccessKeyControls(bool enable) {
  if (enable) {
    AccessKeyFrame->Enabled(true);
    AKEnabled->Enabled(true);
    if (AKEnabled->Value() == vbChecked) {
      if (g_CrunchboxEncodeOA) Check(g_CrunchboxEncodeOA->put_AccessKeyEnabled(1));
      AccessKey->Enabled(true);
      AccessKey->BackColor(kWhite);
      Key->Enabled(true);
      return;
    }
  } else {
    AccessKeyFrame->Enabled(false);
    AKEnabled->Enabled(false);
  }
  if (g_CrunchboxEncodeOA) Check(g_CrunchboxEncodeOA->put_AccessKeyEnabled(0));
  AccessKey->Enabled(false);
  AccessKey->BackColor(kLightGrey);
  Key->Enabled(false);
}

void FrmCrunchboxEncodeOptions::QuickCompress_Click() {
  const bool quick = QuickCompress->Value() == vbChecked;
  if (g_CrunchboxEncodeOA) Check(g_CrunchboxEncodeOA->put_QuickCompress(quick ? 1 : 0));
  EnableAccessKeyControls(!quick);
  TLabel->Enabled(!quick);
  Transparency->Enabled(!quick);
}

void FrmCrunchboxEncodeOptions::AKEnabled_Click() {
  const bool on = AKEnabled->Value() == vbChecked;
  if (g_CrunchboxEncodeOA) Check(g_CrunchboxEncodeOA->put_AccessKeyEnabled(on ? 1 : 0));
  AccessKey->Enabled(on);
  AccessKey->BackColor(on ? kWhite : kLightGrey);
}
