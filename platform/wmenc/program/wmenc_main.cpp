// The encoder program: the five configuration pages in one property-page shell, Start, Stop
// and Exit, and the statistics page below. The command tail, whole, is the source file.
//   WMEnc [file]        the window
//   WMEnc /regserver    records the install folder in the registry (the main program looks
//                       for this program there); /unregserver removes it again.
//   WMEnc /?            prints the usage (also -?, -h and --help).
// The switches are one argument alone, in any case.
#include <strings.h>

#include <cstdio>
#include <string>

#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/waitevents.h"
#include "registry/registry.h"
#include "shell/process.h"
#include "wmenc/wmenc.h"

namespace {

const char* const kEncoderKey = "SOFTWARE\\Microsoft\\Windows Media\\Encoder";

const char* const kUsage =
    "Usage: WMEnc [file]       opens the encoder with the file as its source\n"
    "       WMEnc /regserver   records the program folder as the encoder's install folder\n"
    "       WMEnc /unregserver removes that record\n"
    "       WMEnc /?           shows this text\n";

bool IsWord(const char* argument, const char* word) { return strcasecmp(argument, word) == 0; }

bool IsHelp(const char* argument) {
  for (const char* word : {"/?", "-?", "-h", "--help"})
    if (IsWord(argument, word)) return true;
  return false;
}

int RegisterInstallDir(bool add) {
  if (!add) {
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kEncoderKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValue(key, "InstallDir");
      RegCloseKey(key);
    }
    return 0;
  }
  HKEY key = 0;
  if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kEncoderKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return 1;
  const std::string dir = App().Path();
  LSTATUS s = RegSetValueEx(key, "InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                            static_cast<DWORD>(dir.size() + 1));
  RegCloseKey(key);
  return s == ERROR_SUCCESS ? 0 : 1;
}

class frmWMEnc : public Form {
 public:
  frmWMEnc() : Form("frmWMEnc") {
    On("Form_Load", [this] { FormLoad(); });
    On("cmdStart_Click", [this] { StartClick(); });
    On("cmdStop_Click", [this] {
      if (encoder_) encoder_->Stop();
    });
    On("cmdExit_Click", [this] { Unload(); });
    On("tmrState_Timer", [this] { ShowState(); });
    On("Form_Unload", [this](int16_t&) { Close(); });
  }

 protected:
  void Design() override {
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

 private:
  Ctl<CommandButton> cmdStart{this, "cmdStart"};
  Ctl<CommandButton> cmdStop{this, "cmdStop"};

  IDispatch* ShellOf(const char* name) { return FindControl(name)->DispatchObject(); }

  void FormLoad() {
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

  static Variant Page(REFCLSID clsid) {
    ComPtr<IUnknown> p;
    Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, p.put_void()));
    return Variant(p.Get());
  }

  void StartClick() {
    if (!encoder_) return;
    try {
      InvokeDispatch(ShellOf("PropPageShell"), 6, DISPATCH_METHOD);
      CheckWithInfo(encoder_->Start());
    } catch (const VBError& e) {
      MsgBox("Error starting the encoder: " + e.Description(), vbExclamation);
    }
    ShowState();
  }

  void ShowState() {
    int32_t state = 5;
    if (encoder_) encoder_->get_RunState(&state);
    cmdStart->Enabled(state == WMENC_ENCODER_STOPPED);
    cmdStop->Enabled(state == WMENC_ENCODER_RUNNING);
  }

  // Closing stops a run and waits (messages processed) until the file is complete.
  void Close() {
    if (!encoder_) return;
    encoder_->Stop();
    int32_t state = 0;
    for (int i = 0; i < 100000 && SUCCEEDED(encoder_->get_RunState(&state)) && state != WMENC_ENCODER_STOPPED; ++i)
      DoEventsWaiting(100);
    encoder_ = nullptr;
  }

  ComPtr<IWMEncoder> encoder_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && IsHelp(argv[1])) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && (IsWord(argv[1], "/regserver") || IsWord(argv[1], "/unregserver")))
    return RegisterInstallDir(IsWord(argv[1], "/regserver"));
  SetAppTitle("WMEnc");
  WMEncPresetSourceFile(CommandTail());
  auto form = MakeForm<frmWMEnc>();
  form->Show();
  RunMessageLoop();
  return 0;
}
