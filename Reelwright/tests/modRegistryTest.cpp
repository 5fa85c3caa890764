// The registry procedures: value types, missing keys and values, enumeration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrivateRegistry.h"
#include "engine/modRegistry.h"
#include "registry/registry.h"

namespace {

const int32_t kMachine = static_cast<int32_t>(HKEY_LOCAL_MACHINE);
const std::string kEncoderKey = "SOFTWARE\\Microsoft\\Windows Media\\Encoder\\";
const std::string kDriversKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers32";

class RegistryProcedures : public PrivateRegistry {
 protected:
  static void Put(const std::string& path, const std::string& name, DWORD type, const std::vector<uint8_t>& data) {
    HKEY k = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(k);
  }
  static std::vector<uint8_t> Text(const std::string& s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
  }
};

struct ValueCase {
  const char* what;
  DWORD type;
  std::vector<uint8_t> stored;
  VARTYPE vt;
  std::string text;             // VT_BSTR
  int32_t number = 0;           // VT_I4
  std::vector<uint8_t> bytes{};  // VT_ARRAY | VT_UI1
};

TEST_F(RegistryProcedures, EachTypeGivesItsVariant) {
  const ValueCase cases[] = {
      {"text stored with its NUL", REG_SZ, Text("/opt/Encoder"), VT_BSTR, "/opt/Encoder"},
      {"empty text", REG_SZ, Text(""), VT_BSTR, ""},
      {"text of no bytes at all", REG_SZ, {}, VT_BSTR, ""},
      {"text cut at its first NUL", REG_SZ, {'a', 'b', 0, 'c', 0}, VT_BSTR, "ab"},
      {"expandable text is not read", REG_EXPAND_SZ, Text("%PATH%"), VT_EMPTY, ""},
      {"a list of texts is not read", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, VT_EMPTY, ""},
      {"bytes", REG_BINARY, {0, 1, 0xFF, '\n'}, VT_ARRAY | VT_UI1, "", 0, {0, 1, 0xFF, '\n'}},
      {"no bytes", REG_BINARY, {}, VT_ARRAY | VT_UI1, "", 0, {}},
      {"a number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, VT_I4, "", 0x12345678},
      {"the largest number is a Long of -1", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, VT_I4, "", -1},
      {"another type", 11, {1, 2, 3, 4, 5, 6, 7, 8}, VT_EMPTY, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string name = "Value" + std::to_string(++n);
    Put(kEncoderKey, name, c.type, c.stored);
    Variant v = RegistryGetKeyValue(kMachine, kEncoderKey, name);
    ASSERT_EQ(v.vt(), c.vt);
    if (c.vt == VT_BSTR) {
      EXPECT_EQ(v.bstr().Utf8(), c.text);
    }
    if (c.vt == VT_I4) {
      EXPECT_EQ(v.i4(), c.number);
    }
    if (c.vt == (VT_ARRAY | VT_UI1)) {
      ASSERT_TRUE(v.array());
      EXPECT_EQ(v.array()->lowerBound, 0);
      EXPECT_EQ(v.array()->bytes, c.bytes);
    }
  }
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryProcedures, WhatIsNotThereIsTheEmptyVariantAndNothingIsCreated) {
  // The encoder is not installed: no key at all.
  EXPECT_TRUE(RegistryGetKeyValue(kMachine, kEncoderKey, "InstallDir").IsEmpty());
  Put(kEncoderKey, "Other", REG_SZ, Text("x"));
  EXPECT_TRUE(RegistryGetKeyValue(kMachine, kEncoderKey, "InstallDir").IsEmpty()) << "the value is missing";
  EXPECT_TRUE(RegistryGetKeyValue(0, kEncoderKey, "Other").IsEmpty()) << "not a root key";
  EXPECT_TRUE(RegistryGetKeyValue(kMachine, "SOFTWARE\\Nobody\\Here", "").IsEmpty());
  EXPECT_FALSE(registry::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody"));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryProcedures, AnEmptyValueNameReadsTheDefaultValue) {
  Put(kEncoderKey, "", REG_SZ, Text("the default"));
  Put(kEncoderKey, "Named", REG_SZ, Text("named"));
  Variant v = RegistryGetKeyValue(kMachine, kEncoderKey, "");
  ASSERT_EQ(v.vt(), VT_BSTR);
  EXPECT_EQ(v.bstr().Utf8(), "the default");
}

TEST_F(RegistryProcedures, EnumerationListsTheNamesInTheRegistrysOrder) {
  Put(kDriversKey, "vidc.DIV3", REG_SZ, Text("divxc32.dll"));
  Put(kDriversKey, "msacm.imaadpcm", REG_SZ, Text("imaadp32.acm"));
  Put(kDriversKey, "VIDC.a=b longest name", REG_SZ, Text("x.dll"));
  std::vector<std::string> names{"old 1", "old 2", "old 3", "old 4", "old 5"};
  int32_t count = -1;
  RegistryEnumerateValues(kMachine, kDriversKey, names, count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(names, (std::vector<std::string>{"vidc.DIV3", "msacm.imaadpcm", "VIDC.a=b longest name"}))
      << "earlier contents are dropped";
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(RegistryProcedures, EnumerationOfAnEmptyOrMissingKey) {
  const std::vector<std::string> before{"kept"};
  std::vector<std::string> names = before;
  int32_t count = 7;
  RegistryEnumerateValues(kMachine, kDriversKey, names, count);
  EXPECT_EQ(count, 7) << "a missing key leaves count as it was";
  EXPECT_EQ(names, before);

  HKEY k = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, kDriversKey + "\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                           nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  RegistryEnumerateValues(kMachine, kDriversKey, names, count);
  EXPECT_EQ(count, 0) << "a key with subkeys but no values";
  EXPECT_EQ(names, before);
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
