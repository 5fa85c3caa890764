#pragma once
// Helpers of the graph component tests: the libraries registered into the test's own registry
// and the keys registration wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "com/com.h"
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

}  // namespace graphparts_test
