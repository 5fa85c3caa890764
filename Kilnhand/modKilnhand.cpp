// Shared procedures of the batch encoder.
#include "modKilnhand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "com/com.h"
#include "com/connection.h"
#include "core/error.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "shell/listfile.h"

namespace kilnhand {

namespace {
std::string& FolderOverride() {
  static std::string folder;
  return folder;
}
constexpr const char* kTakenPrefix = ".lotkiln-taken-";
}  // namespace

std::string ProgramFolder() { return FolderOverride().empty() ? App().Path() : FolderOverride(); }
void SetProgramFolderForTesting(const std::string& folder) { FolderOverride() = folder; }
std::string MarkerFile() { return ProgramFolder() + "/KilnhandRunning"; }
std::string DropFile() { return ProgramFolder() + "/lotkiln.lst"; }

std::string HandOffOutput(const std::string& input) {
  if (input.size() < 3) return input + ".wmv";
  std::string last = input.substr(input.size() - 3);
  std::transform(last.begin(), last.end(), last.begin(), [](unsigned char c) { return std::tolower(c); });
  if (last == "wma") return input + "_1.wma";
  return input.substr(0, input.size() - 3) + "wmv";
}

std::string DerivedOutput(const std::string& input, bool soundOnly) {
  std::string name = input;
  size_t dot = name.rfind('.');
  size_t slash = name.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.erase(dot);
  return name + (soundOnly ? ".wma" : ".wmv");
}

std::string ErrorResult(int32_t code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", static_cast<uint32_t>(code));
  return std::string("Error:") + buf;
}

bool FileFound(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return !name.empty() && name[0] != '.';
}

std::string MountPointOf(const std::string& folder) {
  struct stat st {};
  if (folder.empty() || folder[0] != '/' || stat(folder.c_str(), &st) != 0) return "/";
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // Up the folders while the device stays the same.
  for (;;) {
    size_t slash = path.rfind('/');
    std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    struct stat up {};
    if (path == "/" || stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) return path;
    path = parent;
  }
}

std::string BrowseForFolder(uint32_t ownerHwnd, const std::string& prompt) {
  // The whole path comes back, however long.
  return ::BrowseForFolder(prompt, static_cast<HWND>(ownerHwnd));
}

ComPtr<IWMEncoder> NewEncoder() {
  ComPtr<IWMEncoder> enc;
  HRESULT hr = CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void());
  if (FAILED(hr)) RaiseCantCreate("WMEncEng.WMEncoder", hr);
  return enc;
}

void ProfileNames(std::vector<std::string>& names) {
  ComPtr<IWMEncoder> enc = NewEncoder();
  ComPtr<IWMEncProfileCollection> col;
  CheckWithInfo(enc->get_ProfileCollection(col.put()));
  int32_t n = 0;
  CheckWithInfo(col->get_Count(&n));
  for (int32_t i = 0; i < n; ++i) {
    ComPtr<IWMEncProfile> p;
    CheckWithInfo(col->Item(i, p.put()));
    Bstr name;
    CheckWithInfo(p->get_Name(&name));
    names.push_back(name.Utf8());
  }
}

EncoderEvents::EncoderEvents(IWMEncoder* encoder, std::function<void(int32_t)> onError) : encoder_(encoder) {
  auto sink = MakeComObject<EventSink>(DIID__IWMEncoderEvents);
  sink->On(DISPID_WMENC_ONERROR, [onError](SinkArgs& a) { onError(a.Long(0)); });
  sink_ = ComPtr<IUnknown>(static_cast<IDispatch*>(sink.Get()));
  cookie_ = ConnectEvents(encoder_.Get(), DIID__IWMEncoderEvents, sink_.Get());
}

EncoderEvents::~EncoderEvents() {
  try {
    DisconnectEvents(encoder_.Get(), DIID__IWMEncoderEvents, cookie_);
  } catch (...) {
  }
}

std::vector<std::string> DropFileTaker::Tick(bool idle) {
  namespace fs = std::filesystem;
  std::vector<std::string> lines;
  if (idle) {
    std::vector<std::string> taken;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(ProgramFolder(), ec)) {
      std::string name = e.path().filename().string();
      if (name.rfind(kTakenPrefix, 0) == 0) taken.push_back(e.path().string());
    }
    std::sort(taken.begin(), taken.end());  // the names sort by the time they were taken
    for (const auto& path : taken) {
      try {
        for (auto& line : TakeLines(path)) lines.push_back(std::move(line));
      } catch (const VBError&) {
        // unreadable for now: tried again at the next tick
      }
    }
  }
  try {
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    char name[96];
    std::snprintf(name, sizeof name, "%s%015lld-%06u.lst", kTakenPrefix, static_cast<long long>(now.count()),
                  static_cast<unsigned>(++sequence_ % 1000000));
    std::string priv = ProgramFolder() + "/" + name;
    TakeFile(DropFile(), priv);
  } catch (const VBError&) {
    // stays for the next tick
  }
  return lines;
}

}  // namespace kilnhand
