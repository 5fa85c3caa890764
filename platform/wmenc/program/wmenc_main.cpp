// The encoder program (its window is frmWMEnc). The command tail, whole, is the source file.
//   WMEnc [file]        the window
//   WMEnc /regserver    records the install folder in the registry (the main program looks
//                       for this program there); /unregserver removes it again.
//   WMEnc /?            prints the usage (also -?, -h, /h, /help and --help).
// The switches are one argument alone, in any case.
#include <strings.h>

#include <cstdio>
#include <string>

#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/form.h"
#include "frmWMEnc.h"
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
  for (const char* word : {"/?", "-?", "-h", "/h", "--help", "/help"})
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
