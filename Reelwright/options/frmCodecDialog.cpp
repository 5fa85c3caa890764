#include "options/frmCodecDialog.h"

#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "forms/app.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"

namespace {

constexpr const char* kCrLf = "\r\n";

// The string list's members by dispatch identifier.
constexpr DISPID kListAdd = 1;
constexpr DISPID kListGet = 2;
constexpr DISPID kListRemoveAll = 3;

// The control's members by dispatch identifier.
constexpr DISPID kListCodecs = 1;
constexpr DISPID kTranslateError = 2;
constexpr DISPID kHasAbout = 4;
constexpr DISPID kHasConfigure = 5;
constexpr DISPID kShowAbout = 6;
constexpr DISPID kShowConfigure = 7;
constexpr DISPID kInsertCompressors = 8;

}  // namespace

std::string frmCodecDialog::InformationText() {
  return std::string(
             "Below is a list of the codecs installed on your computer. A codec (acronym for compress/decompress) is an "
             "installed component that translates video and audio between an uncompressed size and compressed size "
             "using a method similar to that used in .zip file compression and decompression technology.") +
         kCrLf + kCrLf +
         "The size and quality of your output file depends upon how well the codec does its job. Cutwright has no "
         "control over the codecs installed on your machine, how well they work or if they work at all. The illegal, "
         "hacked DivX ;-) version 3 and earlier codecs including Angel Potion will probably crash this application "
         "and your operating system." +
         kCrLf + kCrLf +
         "To use an external encoder/compression tool select ''Do not compress'' from the list, save your file and "
         "then select the uncompressed file in the encoder. Uncompressed files are very large so you will need "
         "adequate drive space.";
}

frmCodecDialog::frmCodecDialog() : Form("frmCodecDialog") {
  On("Form_Load", [this] { Form_Load(); });
  On("Check1_Click", [this] { Check1_Click(); });
  On("TabStripCodecs_Click", [this] {
    Tab* tab = TabStripCodecs->SelectedItem();
    const bool video = tab && tab->Caption() == "Video Codec";
    ListVideoCodecs->Visible(video);
    ListAudioCodecs->Visible(!video);
  });
  On("ListVideoCodecs_Click", [this] { EnableAboutConfigButtons(); });
  On("ListAudioCodecs_Click", [this] { EnableAboutConfigButtons(); });
  On("CmdAbout_Click", [this] {
    const std::string id = GetSelectedItemGuid(0);
    if (!id.empty()) CallKitbroker(kShowAbout, {Variant(static_cast<int32_t>(hWnd())), Variant(id)});
  });
  On("CmdConfig_Click", [this] {
    const std::string id = GetSelectedItemGuid(0);
    if (!id.empty()) CallKitbroker(kShowConfigure, {Variant(static_cast<int32_t>(hWnd())), Variant(id)});
  });
  On("CmdOK_Click", [this] { CmdOK_Click(); });
  On("CmdCancel_Click", [this] {
    m_bCancelled = true;
    Unload();
  });
  On("Form_QueryUnload", [this](int16_t&, int16_t UnloadMode) {
    // A close by the title bar is a Cancel.
    if (UnloadMode == vbFormControlMenu) m_bCancelled = true;
    Step([&] {
      SaveSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, Check1->Value() == vbUnchecked ? "False" : "True");
    });
    Err().Clear();
  });
  On("Kitbroker_CompressionCodecListed", [this](const std::string& CodecName, const std::string& CodecGuid,
                                                int32_t CodecCategory) {
    if (CodecCategory != 0) {
      ListAudioCodecs->AddItem(CodecName);
      InvokeDispatch(m_objAudioGuids.Get(), kListAdd, DISPATCH_METHOD, {Variant(CodecGuid)});
    } else {
      ListVideoCodecs->AddItem(CodecName);
      InvokeDispatch(m_objVideoGuids.Get(), kListAdd, DISPATCH_METHOD, {Variant(CodecGuid)});
    }
  });
}

void frmCodecDialog::Design() {
  Caption("Select a Compression Codec");
  BorderStyle(vbFixedDouble);
  Size(6045, 6975);
  Place({
      {"TextBox", "Text1", -1, "", 75, 60, 5775, 2100, "",
       {{"MultiLine", Variant(true)}, {"ScrollBars", Variant(int16_t{2})}, {"Locked", Variant(true)}}},
      {"CheckBox", "Check1", -1, "", 75, 2220, 3615, 255, "Hide Codec Information Message"},
      {"Frame", "FrameCodecs", -1, "", 75, 2595, 5775, 3855, ""},
      {"TabStrip", "TabStripCodecs", -1, "FrameCodecs", 120, 120, 5535, 2895, ""},
      {"ListBox", "ListVideoCodecs", -1, "FrameCodecs", 240, 540, 5295, 2340, ""},
      {"ListBox", "ListAudioCodecs", -1, "FrameCodecs", 240, 540, 5295, 2340, "", {{"Visible", Variant(false)}}},
      {"CommandButton", "CmdAbout", -1, "FrameCodecs", 120, 3120, 1215, 375, "About...", {{"Enabled", Variant(false)}}},
      {"CommandButton", "CmdConfig", -1, "FrameCodecs", 1440, 3120, 1215, 375, "Configure...",
       {{"Enabled", Variant(false)}}},
      {"CommandButton", "CmdOK", -1, "FrameCodecs", 3120, 3120, 1215, 375, "OK", {{"Default", Variant(true)}}},
      {"CommandButton", "CmdCancel", -1, "FrameCodecs", 4440, 3120, 1215, 375, "Cancel", {{"Cancel", Variant(true)}}},
      {"Kitbroker.KitbrokerObj", "Kitbroker", -1, "FrameCodecs", 0, 0, 480, 480, ""},
  });
  Tabs& tabs = TabStripCodecs->TabsOf();
  tabs.Add({}, {}, "Video Codec");
  tabs.Add({}, {}, "Audio Codec");
}

Variant frmCodecDialog::CallKitbroker(DISPID id, std::vector<Variant> args) {
  ComPtr<IDispatch> control = Kitbroker->ObjectDispatch();
  if (!control) Raise(vbErrObjectNotSet);
  return InvokeDispatch(control.Get(), id, DISPATCH_METHOD, std::move(args));
}

void frmCodecDialog::Form_Load() {
  // 1. The information text and the left edges.
  Text1->Text(InformationText());
  Width(6045);
  FrameCodecs->Left(75);
  Text1->Left(75);
  Check1->Left(75);
  // 2. The information layout, applied and saved whatever the box held before.
  const std::string hide = GetSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, kDefaultHideCodecMsg);
  Check1->Value(hide != "False" ? vbChecked : vbUnchecked);
  Check1_Click();
  // 3. Centred.
  Top((Screen().Height() - Height()) / 2);
  Left((Screen().Width() - Width()) / 2);
  // 4. The identifier lists, emptied.
  for (ComPtr<IDispatch>* list : {&m_objVideoGuids, &m_objAudioGuids}) {
    if (!*list) *list = CreateObject<IDispatch>("Kitbroker.StringList");
    InvokeDispatch(list->Get(), kListRemoveAll, DISPATCH_METHOD);
  }
  // 5. Sound first, then video; the results are not read.
  Screen().MousePointer(vbHourglass);
  Step([&] { CallKitbroker(kListCodecs, {Variant(int32_t{1})}); });
  Step([&] { CallKitbroker(kListCodecs, {Variant(int32_t{0})}); });
  Err().Clear();
  Screen().MousePointer(vbDefault);
}

void frmCodecDialog::Check1_Click() {
  if (Check1->Value() == vbUnchecked) {
    SaveSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, "False");
    Text1->Visible(true);
    FrameCodecs->Top(2595);
    Height(6975);
    Check1->Top(2220);
  } else {
    SaveSetting(kSettingsApp, kSectionInit, kKeyHideCodecMsg, "True");
    Text1->Visible(false);
    FrameCodecs->Top(60);
    Height(4700);
    Check1->Top(ScaleHeight() - Check1->Height() - 50);
  }
}

std::string frmCodecDialog::GetSelectedItemGuid(int32_t category) {
  if (category == 0) {
    Tab* tab = TabStripCodecs->SelectedItem();
    category = tab && tab->Caption() == "Video Codec" ? 1 : 2;
  }
  if (category != 1 && category != 2) return "";
  ListBox& list = category == 1 ? *ListVideoCodecs : *ListAudioCodecs;
  IDispatch* ids = (category == 1 ? m_objVideoGuids : m_objAudioGuids).Get();
  const int16_t at = list.ListIndex();
  if (at < 0 || !ids) return "";
  return CStr(InvokeDispatch(ids, kListGet, DISPATCH_METHOD, {Variant(int32_t{at})}));
}

void frmCodecDialog::EnableAboutConfigButtons() {
  const std::string id = GetSelectedItemGuid(0);
  if (id.empty()) {
    CmdAbout->Enabled(false);
    CmdConfig->Enabled(false);
    return;
  }
  CmdAbout->Enabled(ValueOr(false, [&] { return CBool(CallKitbroker(kHasAbout, {Variant(id)})); }));
  CmdConfig->Enabled(ValueOr(false, [&] { return CBool(CallKitbroker(kHasConfigure, {Variant(id)})); }));
  Err().Clear();
}

void frmCodecDialog::CmdOK_Click() {
  m_bCancelled = false;
  const std::string video = GetSelectedItemGuid(1);
  const std::string audio = GetSelectedItemGuid(2);
  if (ListVideoCodecs->ListIndex() >= 0) {
    int32_t result = 0;
    std::string failure;  // an error the control raised instead of answering
    try {
      result = CLng(CallKitbroker(kInsertCompressors, {Variant(m_objGraph.Get()), Variant(video), Variant(audio)}));
    } catch (const VBError& e) {
      result = -1;
      failure = e.Description().empty() ? "Unspecified Error" : e.Description();
    }
    if (result == 0) {
      m_bVideoCodecSelected = !video.empty();
      m_bRetry = false;
    } else {
      m_bRetry = true;
      std::string text = failure;
      if (text.empty()) text = ValueOr(std::string("Unspecified Error"), [&] {
        return CStr(CallKitbroker(kTranslateError, {Variant(result)}));
      });
      Err().Clear();
      std::string prompt;
      if (ResizeStreamEnabled) {
        prompt = std::string("There was an error inserting the codec into the graph.") + kCrLf + kCrLf +
                 "There is either a problem with the codec or" + kCrLf +
                 "your system does not support stream resizing." + kCrLf +
                 "Please try another codec or if you believe that" + kCrLf +
                 "the codec is not at fault, try turning off the resize" + kCrLf +
                 "option in your settings and preferences." + kCrLf + kCrLf + "Would you like to select aother codec?";
      } else {
        prompt = std::string("There was an error inserting the codec into the graph:") + kCrLf + text + kCrLf +
                 "Would you like to select aother codec?";
      }
      m_bCancelled = MsgBox(prompt, vbCritical | vbYesNo) != vbYes;
    }
  }
  Unload();
}

bool frmCodecDialog::Popup(IUnknown* pGraph, Form* parent) {
  m_objGraph = ComPtr<IUnknown>(pGraph);
  m_bRetry = false;
  Show(vbModal, parent);
  if (m_bCancelled) return false;
  if (!m_bRetry) return true;
  return Popup(pGraph, parent);
}
