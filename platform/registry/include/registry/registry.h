#pragma once
// The system registry's stand-in: hives HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, kept in human-readable text files under a per-user folder
// ($SUITE_REGISTRY_DIR, else $XDG_CONFIG_HOME/reelwright/registry, else ~/.config/reelwright/registry).
// The Win32-style calls return Win32 error codes (ERROR_SUCCESS = 0) and follow Win32's size rules.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/hresult.h"

using HKEY = uintptr_t;
using REGSAM = uint32_t;
using LSTATUS = int32_t;

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_NO_MORE_ITEMS = 259;
constexpr LSTATUS ERROR_KEY_DELETED = 1018;
constexpr LSTATUS ERROR_BADDB = 1009;

// Key names are compared without regard to letter case, and "\" separates path parts
// ("/" is accepted too). Texts are UTF-8. A value name of "" is the key's default value.
LSTATUS RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, REGSAM sam, HKEY* result);
LSTATUS RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD reserved, const char* klass,
                       DWORD options, REGSAM sam, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
// cbData counts bytes; a REG_SZ's size includes its terminating NUL. data may be null to ask for
// the size; too small a buffer gives ERROR_MORE_DATA with the needed size in *cbData.
LSTATUS RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* reserved, DWORD* type,
                        BYTE* data, DWORD* cbData);
LSTATUS RegSetValueEx(HKEY key, const std::string& valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD cbData);
LSTATUS RegDeleteValue(HKEY key, const std::string& valueName);
// Deletes a key that has no subkeys.
LSTATUS RegDeleteKey(HKEY key, const std::string& subKey);
// Deletes a key with everything below it.
LSTATUS RegDeleteTree(HKEY key, const std::string& subKey);
// cchName counts characters without the NUL on return, with it on input (Win32's rule).
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* reserved,
                     char* klass, DWORD* cchClass, void* lastWriteTime);
LSTATUS RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* cchValueName, DWORD* reserved,
                     DWORD* type, BYTE* data, DWORD* cbData);
LSTATUS RegQueryInfoKey(HKEY key, char* klass, DWORD* cchClass, DWORD* reserved, DWORD* subKeys,
                        DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values,
                        DWORD* maxValueNameLen, DWORD* maxValueLen, DWORD* securityDescriptor,
                        void* lastWriteTime);

// Convenience for the platform's own registration code (COM classes, type descriptions).
namespace registry {
std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name = "");
bool WriteString(HKEY root, const std::string& path, const std::string& name, const std::string& value);
std::optional<uint32_t> ReadDword(HKEY root, const std::string& path, const std::string& name);
bool WriteDword(HKEY root, const std::string& path, const std::string& name, uint32_t value);
bool KeyExists(HKEY root, const std::string& path);
std::vector<std::string> SubKeys(HKEY root, const std::string& path);
bool DeleteTree(HKEY root, const std::string& path);
// The folder the hive files live in.
std::string Folder();
}  // namespace registry
