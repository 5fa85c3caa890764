// The runtime's settings store on the registry.
#include "registry/settings.h"

#include "core/error.h"
#include "registry/registry.h"

namespace {

const char* const kSettingsRoot = "Software\\VB and VBA Program Settings";

void CheckName(const std::string& name) {
  if (name.empty()) Raise(vbErrInvalidProcedureCall);
}

std::string SectionPath(const std::string& appName, const std::string& section) {
  CheckName(appName);
  CheckName(section);
  return std::string(kSettingsRoot) + "\\" + appName + "\\" + section;
}

// The text of a REG_SZ / REG_EXPAND_SZ value, or nothing for an absent or other value.
std::optional<std::string> ReadText(HKEY key, const std::string& name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::vector<BYTE> buf;
  LSTATUS r;
  do {
    buf.assign(size + 1, 0);
    r = RegQueryValueEx(key, name, nullptr, &type, buf.data(), &size);
  } while (r == ERROR_MORE_DATA);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(buf.data()), size);
  return text.substr(0, text.find('\0'));
}

}  // namespace

std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                       const std::string& def) {
  std::string path = SectionPath(appName, section);
  CheckName(key);
  HKEY k;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return def;
  std::optional<std::string> text = ReadText(k, key);
  RegCloseKey(k);
  return text ? *text : def;
}

void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& setting) {
  std::string path = SectionPath(appName, section);
  CheckName(key);
  HKEY k;
  LSTATUS r = RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  if (r == ERROR_SUCCESS) {
    r = RegSetValueEx(k, key, 0, REG_SZ, reinterpret_cast<const BYTE*>(setting.c_str()),
                      static_cast<DWORD>(setting.size() + 1));
    RegCloseKey(k);
  }
  if (r != ERROR_SUCCESS)
    Raise(vbErrInvalidProcedureCall, "The setting " + section + "/" + key + " of " + appName +
                                         " could not be saved (registry error " + std::to_string(r) + ")");
}

void DeleteSetting(const std::string& appName, const std::string& section, const std::optional<std::string>& key) {
  std::string path = SectionPath(appName, section);
  if (!key) {
    if (RegDeleteTree(HKEY_CURRENT_USER, path) != ERROR_SUCCESS) Raise(vbErrInvalidProcedureCall);
    return;
  }
  CheckName(*key);
  HKEY k;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS)
    Raise(vbErrInvalidProcedureCall);
  LSTATUS r = RegDeleteValue(k, *key);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) Raise(vbErrInvalidProcedureCall);
}

std::vector<std::pair<std::string, std::string>> GetAllSettings(const std::string& appName,
                                                                const std::string& section) {
  std::vector<std::pair<std::string, std::string>> all;
  std::string path = SectionPath(appName, section);
  HKEY k;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return all;
  DWORD count = 0, maxName = 0;
  if (RegQueryInfoKey(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, nullptr,
                      nullptr, nullptr) == ERROR_SUCCESS) {
    std::vector<char> name(maxName + 1);
    for (DWORD i = 0;; ++i) {
      DWORD cch = static_cast<DWORD>(name.size());
      DWORD type = 0;
      LSTATUS r = RegEnumValue(k, i, name.data(), &cch, nullptr, &type, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) {  // a longer name arrived meanwhile
        name.resize(name.size() * 2 + 64);
        --i;
        continue;
      }
      if (r != ERROR_SUCCESS) break;
      if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
      std::string valueName(name.data(), cch);
      if (std::optional<std::string> text = ReadText(k, valueName)) all.emplace_back(valueName, *text);
    }
  }
  RegCloseKey(k);
  return all;
}
