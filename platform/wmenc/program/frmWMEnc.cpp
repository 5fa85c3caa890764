// The encoder program's window.
#include "frmWMEnc.h"

#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/waitevents.h"

namespace {

Variant Page(REFCLSID clsid) {
  ComPtr<IUnknown> p;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, p.put_void()));
  return Variant(p.Get());
}

}  // namespace

frmWMEnc::frmWMEnc() : Form("frmWMEnc") {
  On("Form_Load", [this] { FormLoad(); });
  On("cmdStart_Click", [this] { StartClick(); });
  On("cmdStop_Click", [this] {
    if (encoder_) encoder_->Stop();
  });
  On("cmdExit_Click", [this] { Unload(); });
  On("tmrState_Timer", [this] { ShowState(); });
  On("Form_Unload", [this](int16_t&) { Close(); });
}

void frmWMEnc::Design() {
  Caption("Windows Media Encoder");
  Size(9600, 8400);
  Place({
      {"MSPROPSHELLLibCtl.MSPropShell", "PropPageShell", -1, "", 120, 120, 9240, 4440, ""},
      {"MSPROPSHELLLibCtl.MSPropShell", "PageShell", -1, "", 120, 4680, 9240, 2520, ""},
      {"CommandButton", "cmdStart", -1, "", 5205, 7320, 1155, 375, "&Start"},
      {"CommandButton", "cmdStop", -1, "", 6465, 7320, 1155, 375, "S&top", {{"Enabled", Variant(false)}}},
      {"CommandButton", "cmdExit", -1, "", 7725, 7320, 1155, 375, "E&xit"},
      {"Timer", "tmrState", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{250})}}},
  });
}

IDispatch* frmWMEnc::ShellOf(const char* name) { return FindControl(name)->DispatchObject(); }

void frmWMEnc::FormLoad() {
  Left((Screen().Width() - Width()) / 2);
  Top((Screen().Height() - Height()) / 2);
  try {
    encoder_ = CreateObject<IWMEncoder>("{632B606A-BBC6-11D2-A329-006097C4E476}");
    Variant enc(static_cast<IDispatch*>(encoder_.Get()));
    InvokeDispatch(ShellOf("PageShell"), 4, DISPATCH_METHOD, {enc});
    InvokeDispatch(ShellOf("PageShell"), 1, DISPATCH_METHOD, {Page(CLSID_WMEncStatisticsPage)});
    InvokeDispatch(ShellOf("PropPageShell"), 4, DISPATCH_METHOD, {enc});
    for (const CLSID& c : {CLSID_WMEncSourcesPage, CLSID_WMEncOutputPage, CLSID_WMEncCompressionPage,
                           CLSID_WMEncAttributesPage, CLSID_WMEncSummaryPage})
      InvokeDispatch(ShellOf("PropPageShell"), 1, DISPATCH_METHOD, {Page(c)});
  } catch (const VBError& e) {
    MsgBox("Error loading the encoder's pages: " + e.Description(), vbCritical);
  }
}

void frmWMEnc::StartClick() {
  if (!encoder_) return;
  try {
    InvokeDispatch(ShellOf("PropPageShell"), 6, DISPATCH_METHOD);
    CheckWithInfo(encoder_->Start());
  } catch (const VBError& e) {
    MsgBox("Error starting the encoder: " + e.Description(), vbExclamation);
  }
  ShowState();
}

void frmWMEnc::ShowState() {
  int32_t state = 5;
  if (encoder_) encoder_->get_RunState(&state);
  cmdStart->Enabled(state == WMENC_ENCODER_STOPPED);
  cmdStop->Enabled(state == WMENC_ENCODER_RUNNING);
}

void frmWMEnc::Close() {
  if (!encoder_) return;
  encoder_->Stop();
  int32_t state = 0;
  for (int i = 0; i < 100000 && SUCCEEDED(encoder_->get_RunState(&state)) && state != WMENC_ENCODER_STOPPED; ++i)
    DoEventsWaiting(100);
  encoder_ = nullptr;
}
