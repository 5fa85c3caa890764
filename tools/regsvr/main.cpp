// regsvr [/u] [/s] <library>: registers an in-process COM server library (its DllRegisterServer)
// or unregisters it (/u, its DllUnregisterServer). /s reports nothing. Switches begin with "/" or
// "-" and are read in any case; /? (also -?, -h, /help and --help) prints the usage on standard output
// and does nothing else. The exit code is 0 on success and after the usage; 1 for bad arguments,
// 3 when the library cannot be loaded (a missing file, no library, a damaged library: checked
// before loading), 4 when it lacks the entry point, 5 when the entry point fails.
#include <dlfcn.h>

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "com/library.h"

namespace {

using EntryPoint = HRESULT (*)();

const char* const kUsage =
    "Usage: regsvr [/u] [/s] <library>\n"
    "  registers the COM server library; /u unregisters it, /s reports nothing\n";

struct Options {
  bool unregister = false;
  bool silent = false;
  bool help = false;
  std::string library;
};

bool IsSwitch(const std::string& a, char letter) {
  return a.size() == 2 && (a[0] == '/' || a[0] == '-') &&
         std::tolower(static_cast<unsigned char>(a[1])) == letter;
}

bool IsHelp(const std::string& a) {
  return IsSwitch(a, '?') || IsSwitch(a, 'h') || strcasecmp(a.c_str(), "--help") == 0 ||
         strcasecmp(a.c_str(), "/help") == 0;
}

std::string Hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (IsHelp(a)) o.help = true;
    else if (IsSwitch(a, 'u')) o.unregister = true;
    else if (IsSwitch(a, 's')) o.silent = true;
    else if (a.size() > 1 && a[0] == '-') files.push_back("");  // an unknown switch
    else files.push_back(a);
  }
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (files.size() != 1 || files[0].empty()) {
    if (!o.silent) std::fputs(kUsage, stderr);
    return 1;
  }
  o.library = files[0];
  // A bare name would be searched on the library path; a file named here is meant as it stands.
  std::string path = o.library.find('/') == std::string::npos ? "./" + o.library : o.library;

  // The file is checked first: a library cut short would kill this process inside the loader.
  HRESULT failure = S_OK;
  std::string why;
  void* handle = OpenLibraryChecked(path, &failure, &why);
  if (!handle) {
    if (!o.silent)
      std::fprintf(stderr, "Loading \"%s\" failed (%s): %s\n", o.library.c_str(), Hex(failure).c_str(), why.c_str());
    return 3;
  }
  const char* entry = o.unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<EntryPoint>(dlsym(handle, entry));
  if (!fn) {
    if (!o.silent)
      std::fprintf(stderr, "\"%s\" was loaded, but the entry point %s was not found.\n", o.library.c_str(), entry);
    dlclose(handle);
    return 4;
  }
  HRESULT hr = fn();
  int code = 0;
  if (FAILED(hr)) {
    std::string detail;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK) {
      Bstr d;
      info->GetDescription(&d);
      detail = d.Utf8();
    }
    if (!o.silent)
      std::fprintf(stderr, "%s in \"%s\" failed. Return code was: %s%s%s\n", entry, o.library.c_str(), Hex(hr).c_str(),
                   detail.empty() ? "" : ": ", detail.c_str());
    code = 5;
  } else if (!o.silent) {
    std::printf("%s in \"%s\" succeeded.\n", entry, o.library.c_str());
  }
  dlclose(handle);
  return code;
}
