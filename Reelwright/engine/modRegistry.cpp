#include "engine/modRegistry.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "registry/registry.h"

namespace {

HKEY ToKey(int32_t root) { return static_cast<HKEY>(static_cast<uint32_t>(root)); }

// The calls see the text only up to its first NUL, as the system's text calls do.
std::string ApiText(const std::string& s) { return s.substr(0, s.find('\0')); }

// A failure other than a failing registry call: shown, then the procedure ends.
void ShowFailure(const char* procedure) {
  core_detail::TrapCurrentException();
  MsgBox("Error: " + std::to_string(Err().Number) + ". " + Err().Description, vbOKOnly,
         std::string(procedure) + "\"");
  Err().Clear();
}

}  // namespace

void RegistryEnumerateValues(int32_t root, const std::string& subkey, std::vector<std::string>& names,
                             int32_t& count) {
  HKEY key = 0;
  try {
    if (RegOpenKeyEx(ToKey(root), ApiText(subkey), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      key = 0;
      return;
    }
    DWORD values = 0, longestName = 0;
    if (RegQueryInfoKey(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longestName,
                        nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      RegCloseKey(key);
      return;
    }
    if (values > 0) {
      names.assign(values, std::string());
      std::vector<char> buffer(longestName + 2, '\0');  // the longest name, one character more, the NUL
      for (DWORD index = 0;; ++index) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (RegEnumValue(key, index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
          break;
        // A value added since the count was taken lies beyond the array: subscript out of range.
        names.at(index) = std::string(buffer.data());
      }
    }
    count = static_cast<int32_t>(values);
    RegCloseKey(key);
  } catch (...) {
    if (key) RegCloseKey(key);
    ShowFailure("RegistryEnumerateValues");
  }
}

Variant RegistryGetKeyValue(int32_t root, const std::string& subkey, const std::string& valueName) {
  HKEY key = 0;
  try {
    Variant result;
    if (RegOpenKeyEx(ToKey(root), ApiText(subkey), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      key = 0;
      return result;
    }
    const std::string name = ApiText(valueName);
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      RegCloseKey(key);
      return result;
    }
    switch (type) {
      case REG_SZ:
        if (size > 0) {
          std::vector<BYTE> buffer(size, 0);
          DWORD got = size;
          if (RegQueryValueEx(key, name, nullptr, nullptr, buffer.data(), &got) == ERROR_SUCCESS) {
            std::string text(reinterpret_cast<const char*>(buffer.data()), got);
            result = Variant(text.substr(0, text.find('\0')));
          }
        } else {
          result = Variant(std::string());
        }
        break;
      case REG_BINARY:
        if (size > 0) {
          std::vector<uint8_t> bytes(size, 0);
          DWORD got = size;
          if (RegQueryValueEx(key, name, nullptr, nullptr, bytes.data(), &got) == ERROR_SUCCESS) {
            bytes.resize(got);
            result = Variant(std::move(bytes), 0);
          }
        } else {
          result = Variant(std::vector<uint8_t>(), 0);
        }
        break;
      case REG_DWORD: {
        uint32_t number = 0;
        DWORD got = sizeof number;
        if (RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &got) == ERROR_SUCCESS)
          result = Variant(static_cast<int32_t>(number));
        break;
      }
      default:
        break;
    }
    RegCloseKey(key);
    return result;
  } catch (...) {
    if (key) RegCloseKey(key);
    ShowFailure("RegistryGetKeyValue");
    return Variant();
  }
}
