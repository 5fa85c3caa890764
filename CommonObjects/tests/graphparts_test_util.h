#pragma once
// Helpers of the graph component tests: the libraries registered into the test's own registry,
// event sinks that record what they hear and on which thread, and a pass-through filter that
// refuses every sample as a compressor that cannot take the frame size does.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "com/com.h"
#include "com/connection.h"
#include "dshow/baseclasses.h"
#include "registry/registry.h"

namespace graphparts_test {

inline std::string BinDir() {
  const char* bin = std::getenv("SUITE_BIN_DIR");
  return bin ? bin : ".";
}
inline std::string LibraryPath(const std::string& name) { return BinDir() + "/" + name + ".so"; }

// regsvr's exit code: registers, or with unregister removes, a library of the program folder.
inline int Regsvr(const std::string& library, bool unregister = false) {
  std::string cmd = "'" + BinDir() + "/regsvr' /s " + (unregister ? "/u " : "") + "'" + LibraryPath(library) + "'";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <class I>
ComPtr<I> Create(REFCLSID clsid) {
  ComPtr<I> out;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::iid, out.put_void()), S_OK);
  return out;
}

// Every key and value below a key of HKEY_CLASSES_ROOT, one line each, subkeys in order.
inline void DumpKey(const std::string& path, std::vector<std::string>& lines) {
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  lines.push_back("[" + path + "]");
  for (DWORD i = 0;; ++i) {
    char name[512];
    BYTE data[4096];
    DWORD cchName = sizeof name, cbData = sizeof data, type = 0;
    if (RegEnumValue(key, i, name, &cchName, nullptr, &type, data, &cbData) != ERROR_SUCCESS) break;
    std::string value(reinterpret_cast<char*>(data), cbData);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    lines.push_back(path + " \"" + std::string(name, cchName) + "\"=" + value);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD cch = sizeof name;
    if (RegEnumKeyEx(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name, cch);
  }
  RegCloseKey(key);
  for (const auto& s : subkeys) DumpKey(path + "\\" + s, lines);
}
inline std::vector<std::string> Dump(const std::vector<std::string>& roots) {
  std::vector<std::string> lines;
  for (const auto& r : roots) DumpKey(r, lines);
  return lines;
}
inline bool KeyExists(const std::string& path) {
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// One event as a sink heard it.
struct Heard {
  std::vector<Variant> args;  // natural order
  std::thread::id thread;
};

// Advises a recording sink on an object's event interface for as long as it lives.
class Recorder {
 public:
  Recorder(IUnknown* source, REFIID events, DISPID id) : source_(source), iid_(events) {
    sink_ = MakeComObject<EventSink>(events);
    sink_->On(id, [this](EventArgs& a) {
      Heard h;
      for (size_t i = 0; i < a.Count(); ++i) h.args.push_back(a.Get(i));
      h.thread = std::this_thread::get_id();
      heard.push_back(std::move(h));
      if (onEvent) onEvent();
    });
    cookie_ = ConnectEvents(source, events, sink_.Get());
  }
  ~Recorder() {
    if (cookie_) DisconnectEvents(source_.Get(), iid_, cookie_);
  }
  std::vector<Heard> heard;
  std::function<void()> onEvent;

 private:
  ComPtr<IUnknown> source_;
  IID iid_;
  ComPtr<EventSink> sink_;
  DWORD cookie_ = 0;
};

// A pass-through "compressor" whose every sample is refused downstream-style: Receive fails
// with VFW_E_UNSUPPORTED_VIDEO (pins "XForm In" / "XForm Out").
class RefusingFilter : public dshow::InPlaceTransformFilter {
 public:
  RefusingFilter() : InPlaceTransformFilter(u"Refusing Compressor", GUID_NULL, false) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
  HRESULT Receive(dshow::Pin*, IMediaSample*) override {
    ++refused;
    return refuseWith;
  }
  std::atomic<int> refused{0};
  HRESULT refuseWith = static_cast<HRESULT>(0x80040242);
};

}  // namespace graphparts_test
