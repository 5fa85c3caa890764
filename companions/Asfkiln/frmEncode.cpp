#include "frmEncode.h"

#include <chrono>
#include <thread>

#include "Module1.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"

namespace {

// The configuration pages, in the order they are added.
const CLSID kConfigurationPages[] = {CLSID_WMEncSourcesPage, CLSID_WMEncOutputPage, CLSID_WMEncCompressionPage,
                                     CLSID_WMEncAttributesPage, CLSID_WMEncSummaryPage};
// Operations of the property-page shell.
constexpr DISPID kShellAddPage = 1;
constexpr DISPID kShellEditObject = 4;
constexpr DISPID kShellApply = 6;
// The longest wait for a stopping encoder when the window closes.
constexpr auto kStopWait = std::chrono::seconds(10);

ComPtr<IUnknown> NewPage(REFCLSID clsid) {
  ComPtr<IUnknown> page;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, page.put_void()));
  return page;
}

void Box(const char* text) { MsgBox(text, vbOKOnly, kAsfkilnTitle); }

}  // namespace

frmEncode::frmEncode() : Form("frmEncode") {
  On("Form_Load", [this] { Form_Load(); });
  On("Form_Unload", [this](int16_t&) { Form_Unload(); });
  On("CmdOk_Click", [this] { CmdOk_Click(); });
  On("SSTab1_Click", [this](int16_t PreviousTab) { SSTab1_Click(PreviousTab); });
  On("CmdConfigure_Click", [this] {
    try {
      SSTab1->Tab(0);
    } catch (const VBError&) {
      Err().Clear();
      Box("Error configuring the property pages");
    }
  });
  On("CmdStart_Click", [this] {
    try {
      CheckWithInfo(objEncoder()->Start());
    } catch (const VBError&) {
      Err().Clear();
      Box("Error starting the encoder");
      return;
    }
    CmdStart->Enabled(false);
    CmdStop->Enabled(true);
  });
  On("CmdStop_Click", [this] {
    try {
      CheckWithInfo(objEncoder()->Stop());
    } catch (const VBError&) {
      Err().Clear();
      Box("Error stopping the encoder");
      return;
    }
    CmdStop->Enabled(false);
    CmdStart->Enabled(true);
  });
  On("cmdCancel_Click", [this] { Unload(); });
  On("CmdExit_Click", [this] { Unload(); });
}

void frmEncode::Design() {
  Caption("Windows Media Encoder");
  Size(9270, 6450);
  Size(9270 + (Width() - static_cast<int32_t>(ScaleWidth())), 6450 + (Height() - static_cast<int32_t>(ScaleHeight())));
  Place({{"SSTab", "SSTab1", -1, "", 75, 75, 9075, 6270, "Configure", {{"Tabs", Variant(int16_t{2})}}}});
  auto& tab = dynamic_cast<SSTab&>(*FindControl("SSTab1"));
  tab.TabCaption(0, "Configure");
  tab.TabCaption(1, "Encoder");
  const Variant no(false);
  for (const ControlDef& def : {
           ControlDef{"MSPROPSHELLLibCtl.MSPropShell", "PropPageShell", -1, "SSTab1", 180, 465, 8745, 5175, ""},
           ControlDef{"CommandButton", "CmdOk", -1, "SSTab1", 7770, 5730, 1155, 375, "OK"},
           ControlDef{"CommandButton", "cmdCancel", -1, "SSTab1", 6540, 5730, 1155, 375, "Cancel"},
       }) {
    Add(def);
  }
  for (const ControlDef& def : {
           ControlDef{"MSPROPSHELLLibCtl.MSPropShell", "PageShell", -1, "SSTab1", 180, 465, 8745, 5175, ""},
           ControlDef{"CommandButton", "CmdConfigure", -1, "SSTab1", 3945, 5730, 1155, 375, "&Configure"},
           ControlDef{"CommandButton", "CmdStart", -1, "SSTab1", 5205, 5730, 1155, 375, "&Start"},
           ControlDef{"CommandButton", "CmdStop", -1, "SSTab1", 6465, 5730, 1155, 375, "S&top", {{"Enabled", no}}},
           ControlDef{"CommandButton", "CmdExit", -1, "SSTab1", 7725, 5730, 1155, 375, "E&xit"},
       }) {
    tab.MoveToTab(Add(def), 1);
  }
}

IWMEncoder* frmEncode::objEncoder() {
  if (!encoder_) {
    Check(CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, encoder_.put_void()));
  }
  return encoder_.Get();
}

IDispatch* frmEncode::Shell(const char* name) {
  Control* shell = FindControl(name);
  IDispatch* object = shell ? shell->DispatchObject() : nullptr;
  if (!object) Raise(vbErrObjectNotSet);
  return object;
}

void frmEncode::Form_Load() {
  loadFailed = false;
  try {
    SSTab1->Tab(0);
    Top(Screen().Height() / 2 - Height() / 2);
    Left(Screen().Width() / 2 - Width() / 2);
    EncoderMain(ComPtr<IWMEncoder>(objEncoder()));
    ComPtr<IUnknown> statistics = NewPage(CLSID_WMEncStatisticsPage);
    InvokeDispatch(Shell("PageShell"), kShellEditObject, DISPATCH_METHOD,
                   {Variant(static_cast<IDispatch*>(objEncoder()))});
    InvokeDispatch(Shell("PageShell"), kShellAddPage, DISPATCH_METHOD, {Variant(statistics.Get())});
  } catch (const VBError&) {
    Err().Clear();
    loadFailed = true;
    Box("Error loading the statistics page");
    return;
  }
  try {
    InvokeDispatch(Shell("PropPageShell"), kShellEditObject, DISPATCH_METHOD,
                   {Variant(static_cast<IDispatch*>(objEncoder()))});
    for (const CLSID& clsid : kConfigurationPages) {
      ComPtr<IUnknown> page = NewPage(clsid);
      InvokeDispatch(Shell("PropPageShell"), kShellAddPage, DISPATCH_METHOD, {Variant(page.Get())});
    }
  } catch (const VBError&) {
    Err().Clear();
    loadFailed = true;
    Box("Error adding encoder property pages");
    return;
  }
  Show();
}

void frmEncode::CmdOk_Click() {
  // A failing step returns to the configuration pages, which say what is wrong.
  try {
    InvokeDispatch(Shell("PropPageShell"), kShellApply, DISPATCH_METHOD);
    if (!encoderMain_) Raise(vbErrObjectNotSet);
    CheckWithInfo(encoderMain_->put_AutoStop(VARIANT_TRUE));
    if (SSTab1->Tab() != 1) SSTab1->Tab(1);
  } catch (const VBError&) {
    Err().Clear();
    Step([&] { SSTab1->Tab(0); });
  }
}

void frmEncode::SSTab1_Click(int16_t PreviousTab) {
  FindControl("PropPageShell")->Visible(false);
  FindControl("PageShell")->Visible(false);
  if (PreviousTab == 0) CmdOk_Click();
  DoEvents();
  FindControl("PropPageShell")->Visible(true);
  FindControl("PageShell")->Visible(true);
}

void frmEncode::Form_Unload() {
  // A running encoder is stopped first; the close waits for it a bounded time.
  if (encoder_) {
    Step([&] {
      int32_t state = 0;
      Check(encoder_->get_RunState(&state));
      if (state != WMENC_ENCODER_STOPPED && state != WMENC_ENCODER_STOPPING) Check(encoder_->Stop());
    });
    const auto limit = std::chrono::steady_clock::now() + kStopWait;
    for (;;) {
      int32_t state = WMENC_ENCODER_STOPPED;
      Step([&] { Check(encoder_->get_RunState(&state)); });
      if (state == WMENC_ENCODER_STOPPED || std::chrono::steady_clock::now() >= limit) break;
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  encoder_ = nullptr;
  encoderMain_ = nullptr;
}
