// The driver list: the platform's video compressors as "vidc.<FOURCC>" values of the drivers32
// key, the way the system lists its installed video codecs.
#include <optional>
#include <string>

#include "core/bstr.h"
#include "dshow/encoders.h"
#include "dshow/uuids.h"
#include "registry/registry.h"
#include "vfw/vfw.h"

namespace vfw {

const char* const kDriversKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers32";

namespace {

std::string ValueName(uint32_t fourcc) {
  std::string name = "vidc.";
  for (int i = 0; i < 4; ++i) name += static_cast<char>((fourcc >> (8 * i)) & 0xFF);
  return name;
}

template <class F>
void ForEachVideoCompressor(F f) {
  for (const dshow::CompressorInfo& c : dshow::Compressors())
    if (c.category == CLSID_VideoCompressorCategory) f(ValueName(c.fourcc), Utf16ToUtf8(c.name));
}

}  // namespace

HRESULT RegisterDriverList() {
  bool ok = true;
  ForEachVideoCompressor([&](const std::string& name, const std::string& data) {
    // A value another driver wrote for the same code is left as it is.
    std::optional<std::string> existing = registry::ReadString(HKEY_LOCAL_MACHINE, kDriversKey, name);
    if (existing && *existing != data) return;
    ok = registry::WriteString(HKEY_LOCAL_MACHINE, kDriversKey, name, data) && ok;
  });
  return ok ? S_OK : E_FAIL;
}

HRESULT UnregisterDriverList() {
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return S_OK;
  bool ok = true;
  ForEachVideoCompressor([&](const std::string& name, const std::string& data) {
    // Only a value this list wrote: another driver's value of the same name stays.
    if (registry::ReadString(HKEY_LOCAL_MACHINE, kDriversKey, name) == data)
      ok = RegDeleteValue(key, name) == ERROR_SUCCESS && ok;
  });
  RegCloseKey(key);
  return ok ? S_OK : E_FAIL;
}

}  // namespace vfw
