// The Win32-style calls: value types and their sizes, names, enumeration, deletion, handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "registry_fixture.h"

namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

HKEY Create(HKEY root, const std::string& path, DWORD* disposition = nullptr) {
  HKEY k = 0;
  EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, disposition), ERROR_SUCCESS)
      << path;
  return k;
}

LSTATUS Set(HKEY k, const std::string& name, DWORD type, const std::vector<uint8_t>& data) {
  return RegSetValueEx(k, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

std::vector<std::string> ValueNames(HKEY k) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char buf[300];
    DWORD cch = sizeof buf;
    if (RegEnumValue(k, i, buf, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(buf, cch);
  }
  return names;
}

struct TypeCase {
  const char* what;
  DWORD type;
  std::vector<uint8_t> written;
  std::vector<uint8_t> stored;  // what a read gives back; its size is the reported size
};

std::vector<uint8_t> AllBytes() {
  std::vector<uint8_t> b;
  for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

const std::string kAwkward = std::string("line one\nline two\r\n\"quoted\" a=b \\x41 \t tab \x01\x7f") +
                             "\xff\xfe not UTF-8, caf\xc3\xa9 is";

std::vector<TypeCase> TypeCases() {
  auto withNul = [](std::string s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
  };
  return {
      {"text with its NUL", REG_SZ, withNul("hello"), withNul("hello")},
      {"text without its NUL gains one", REG_SZ, Bytes("hello"), withNul("hello")},
      {"empty text", REG_SZ, withNul(""), withNul("")},
      {"empty text given as no bytes", REG_SZ, {}, withNul("")},
      {"text with every awkward byte", REG_SZ, withNul(kAwkward), withNul(kAwkward)},
      {"text holding a NUL inside", REG_SZ, Bytes(std::string("a\0b\0", 4)), Bytes(std::string("a\0b\0", 4))},
      {"expandable text", REG_EXPAND_SZ, withNul("%HOME%/x"), withNul("%HOME%/x")},
      {"list of texts", REG_MULTI_SZ, Bytes(std::string("a\0bc\0\0", 6)), Bytes(std::string("a\0bc\0\0", 6))},
      {"list missing its final NUL", REG_MULTI_SZ, Bytes(std::string("a\0bc\0", 5)),
       Bytes(std::string("a\0bc\0\0", 6))},
      {"list with an empty entry", REG_MULTI_SZ, Bytes(std::string("a\0\0b\0\0", 6)),
       Bytes(std::string("a\0\0b\0\0", 6))},
      {"list of awkward texts", REG_MULTI_SZ, Bytes(kAwkward + std::string("\0=\"\0\0", 5)),
       Bytes(kAwkward + std::string("\0=\"\0\0", 5))},
      {"number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}, {0x78, 0x56, 0x34, 0x12}},
      {"every byte", REG_BINARY, AllBytes(), AllBytes()},
      {"no bytes", REG_BINARY, {}, {}},
      {"a type of its own", 11, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
  };
}

class RegistryTypes : public RegistryFolder {};

// Reads a value the way callers do: size first, then a buffer of that size, then one too small.
void ExpectValue(HKEY k, const std::string& name, DWORD type, const std::vector<uint8_t>& stored) {
  DWORD t = 0, size = 0;
  ASSERT_EQ(RegQueryValueEx(k, name, nullptr, &t, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(t, type);
  EXPECT_EQ(size, stored.size());
  std::vector<BYTE> buf(size + 8, 0xEE);
  DWORD got = static_cast<DWORD>(buf.size());
  ASSERT_EQ(RegQueryValueEx(k, name, nullptr, &t, buf.data(), &got), ERROR_SUCCESS);
  EXPECT_EQ(got, stored.size());
  EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + got), stored);
  EXPECT_EQ(buf[got], 0xEE) << "wrote past the value";
  if (!stored.empty()) {
    DWORD small = size - 1;
    EXPECT_EQ(RegQueryValueEx(k, name, nullptr, &t, buf.data(), &small), ERROR_MORE_DATA);
    EXPECT_EQ(small, stored.size());
  }
}

TEST_F(RegistryTypes, ValuesKeepTheirTypeDataAndSizeAlsoThroughTheFile) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Types");
  auto cases = TypeCases();
  for (size_t i = 0; i < cases.size(); ++i)
    ASSERT_EQ(Set(k, "v" + std::to_string(i), cases[i].type, cases[i].written), ERROR_SUCCESS) << cases[i].what;
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    ExpectValue(k, "v" + std::to_string(i), cases[i].type, cases[i].stored);
  }
  RegCloseKey(k);

  ReopenFromDisk();
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Types", 0, KEY_READ, &k), ERROR_SUCCESS);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(std::string("after reading the file: ") + cases[i].what);
    ExpectValue(k, "v" + std::to_string(i), cases[i].type, cases[i].stored);
  }
  RegCloseKey(k);
}

TEST_F(RegistryTypes, TheFileIsReadableText) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Vendor\\Program");
  ASSERT_EQ(Set(k, "Greeting", REG_SZ, Bytes(std::string("hello\0", 6))), ERROR_SUCCESS);
  ASSERT_EQ(Set(k, "Count", REG_DWORD, {10, 0, 0, 0}), ERROR_SUCCESS);
  RegCloseKey(k);
  std::string text = ReadFile(HiveFile());
  EXPECT_NE(text.find("[Software\\Vendor\\Program]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Greeting\"=sz:\"hello\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Count\"=dword:0000000a\n"), std::string::npos) << text;
  for (const auto& e : std::filesystem::directory_iterator(folder_))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << "left behind: " << e.path();
}

TEST_F(RegistryTypes, BadSizesAndBuffersAreRefused) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Types");
  EXPECT_EQ(Set(k, "short", REG_DWORD, {1, 2}), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(k, "nodata", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(Set(k, "v", REG_SZ, Bytes("abc")), ERROR_SUCCESS);
  BYTE buf[8];
  EXPECT_EQ(RegQueryValueEx(k, "v", nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueEx(k, "missing", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(k, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND)
      << "a key without a default value";
  RegCloseKey(k);
}

class RegistryNames : public RegistryFolder {};

TEST_F(RegistryNames, KeysAndValuesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  DWORD disposition = 0;
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\MyVendor\\Café", &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(Set(k, "Path", REG_SZ, Bytes("first")), ERROR_SUCCESS);
  ASSERT_EQ(Set(k, "PATH", REG_SZ, Bytes("second")), ERROR_SUCCESS);
  RegCloseKey(k);

  HKEY again = Create(HKEY_CURRENT_USER, "SOFTWARE/myvendor/CAFÉ/", &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(ValueNames(again), std::vector<std::string>{"Path"});
  EXPECT_EQ(registry::ReadString(HKEY_CURRENT_USER, "software\\MYVENDOR\\café", "path"), "second");
  RegCloseKey(again);
  EXPECT_EQ(registry::SubKeys(HKEY_CURRENT_USER, "SOFTWARE"), std::vector<std::string>{"MyVendor"});
  EXPECT_EQ(registry::SubKeys(HKEY_CURRENT_USER, "software\\myvendor"), std::vector<std::string>{"Café"});
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Straße"));
  EXPECT_FALSE(registry::KeyExists(HKEY_CURRENT_USER, "Software\\STRASSE")) << "letters compare one by one";
}

TEST_F(RegistryNames, MalformedPathsAreRefused) {
  HKEY k = 0;
  for (const char* bad : {"\\Software", "Software\\\\Vendor", "a\\/b"}) {
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, bad, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_INVALID_PARAMETER)
        << bad;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, bad, 0, KEY_READ, &k), ERROR_INVALID_PARAMETER) << bad;
  }
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, std::string(256, 'x'), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                           nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryNames, HivesAreSeparate) {
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", "Where", "machine"));
  ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "SOFTWARE\\Shared", "Where", "user"));
  EXPECT_EQ(registry::ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", "Where"), "machine");
  EXPECT_EQ(registry::ReadString(HKEY_CURRENT_USER, "SOFTWARE\\Shared", "Where"), "user");
  EXPECT_FALSE(registry::KeyExists(HKEY_CLASSES_ROOT, "SOFTWARE\\Shared"));
  EXPECT_TRUE(std::filesystem::exists(HiveFile("HKEY_LOCAL_MACHINE")));
}

class RegistryEnumeration : public RegistryFolder {};

TEST_F(RegistryEnumeration, SubkeysComeSortedValuesInTheOrderWritten) {
  for (const char* name : {"zeta", "Alpha", "beta", "Gamma"}) RegCloseKey(Create(HKEY_CURRENT_USER, std::string("E\\") + name));
  EXPECT_EQ(registry::SubKeys(HKEY_CURRENT_USER, "E"), (std::vector<std::string>{"Alpha", "beta", "Gamma", "zeta"}));

  HKEY k = Create(HKEY_CURRENT_USER, "E");
  for (const char* name : {"second", "First", "third"}) ASSERT_EQ(Set(k, name, REG_SZ, Bytes(name)), ERROR_SUCCESS);
  ASSERT_EQ(Set(k, "FIRST", REG_SZ, Bytes("rewritten keeps its place")), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"second", "First", "third"}));
  ASSERT_EQ(RegDeleteValue(k, "second"), ERROR_SUCCESS);
  ASSERT_EQ(Set(k, "second", REG_SZ, Bytes("again")), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"First", "third", "second"}));
  RegCloseKey(k);

  ReopenFromDisk();
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "e", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(k), (std::vector<std::string>{"First", "third", "second"}));
  RegCloseKey(k);
}

TEST_F(RegistryEnumeration, BuffersCountsAndTheEnd) {
  HKEY k = Create(HKEY_CURRENT_USER, "E");
  RegCloseKey(Create(HKEY_CURRENT_USER, "E\\LongerSubkey"));
  ASSERT_EQ(Set(k, "name", REG_SZ, Bytes("12345")), ERROR_SUCCESS);
  ASSERT_EQ(Set(k, "n", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8, 9}), ERROR_SUCCESS);

  DWORD subKeys = 9, maxSub = 9, values = 9, maxName = 9, maxData = 9;
  ASSERT_EQ(RegQueryInfoKey(k, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName, &maxData,
                            nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(maxSub, 12u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 4u) << "without the NUL";
  EXPECT_EQ(maxData, 9u);

  char name[8];
  DWORD cch = 4;  // "name" needs 5 with its NUL
  EXPECT_EQ(RegEnumValue(k, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 5;
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegEnumValue(k, 0, name, &cch, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "name");
  EXPECT_EQ(cch, 4u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 6u);
  cch = sizeof name;
  EXPECT_EQ(RegEnumValue(k, 2, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  char sub[16];
  cch = 12;
  EXPECT_EQ(RegEnumKeyEx(k, 0, sub, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = sizeof sub;
  uint64_t written = 0;
  ASSERT_EQ(RegEnumKeyEx(k, 0, sub, &cch, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
  EXPECT_EQ(std::string(sub), "LongerSubkey");
  EXPECT_EQ(cch, 12u);
  EXPECT_GT(written, 116444736000000000ull) << "a write time after 1970";
  cch = sizeof sub;
  EXPECT_EQ(RegEnumKeyEx(k, 1, sub, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(k);
}

class RegistryDeletion : public RegistryFolder {};

TEST_F(RegistryDeletion, KeysWithSubkeysNeedTheTreeCall) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "D\\Parent\\Child"));
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "D\\Parent"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(registry::KeyExists(HKEY_CURRENT_USER, "D\\Parent\\Child"));
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "D\\Parent\\Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "D\\Parent\\Child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "D\\Parent"), ERROR_SUCCESS);

  RegCloseKey(Create(HKEY_CURRENT_USER, "D\\Tree\\A\\B"));
  ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, "D\\Tree\\A", "v", "x"));
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "d\\tree"), ERROR_SUCCESS);
  EXPECT_FALSE(registry::KeyExists(HKEY_CURRENT_USER, "D\\Tree"));
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "D\\Tree"), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(registry::KeyExists(HKEY_CURRENT_USER, "D"));
  EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "a hive's root stays";
}

TEST_F(RegistryDeletion, TheTreeCallWithoutSubkeyEmptiesTheKeyButKeepsIt) {
  HKEY k = Create(HKEY_CURRENT_USER, "D\\Keep");
  RegCloseKey(Create(HKEY_CURRENT_USER, "D\\Keep\\Sub"));
  ASSERT_EQ(Set(k, "v", REG_SZ, Bytes("x")), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(k, ""), ERROR_SUCCESS);
  EXPECT_TRUE(registry::KeyExists(HKEY_CURRENT_USER, "D\\Keep"));
  EXPECT_TRUE(ValueNames(k).empty());
  EXPECT_TRUE(registry::SubKeys(HKEY_CURRENT_USER, "D\\Keep").empty());
  RegCloseKey(k);
}

TEST_F(RegistryDeletion, HandlesOfDeletedKeysAndClosedHandles) {
  HKEY k = Create(HKEY_CURRENT_USER, "D\\Gone");
  ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "D\\Gone"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(k, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(Set(k, "v", REG_SZ, Bytes("x")), ERROR_KEY_DELETED);
  EXPECT_FALSE(registry::KeyExists(HKEY_CURRENT_USER, "D\\Gone")) << "a write through a stale handle recreated it";
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueEx(k, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteValue(HKEY_CURRENT_USER, "never there"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryDeletion, AccessFollowsTheRightsTheKeyWasOpenedWith) {
  RegCloseKey(Create(HKEY_CURRENT_USER, "R"));
  HKEY readOnly = 0, writeOnly = 0;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "R", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "R", 0, KEY_WRITE, &writeOnly), ERROR_SUCCESS);
  EXPECT_EQ(Set(readOnly, "v", REG_SZ, Bytes("x")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValue(readOnly, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Set(writeOnly, "v", REG_SZ, Bytes("x")), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(writeOnly, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegQueryValueEx(readOnly, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(readOnly);
  RegCloseKey(writeOnly);
}

class RegistryThreads : public RegistryFolder {};

TEST_F(RegistryThreads, WritersInOneProcessLoseNothing) {
  constexpr int kThreads = 4, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) {
        HKEY k = 0;
        std::string path = "T\\" + std::to_string(t);
        if (RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != 0) return;
        uint32_t v = static_cast<uint32_t>(i);
        RegSetValueEx(k, "n" + std::to_string(i), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
        RegCloseKey(k);
      }
    });
  for (auto& th : threads) th.join();
  ReopenFromDisk();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(registry::ReadDword(HKEY_CURRENT_USER, "T\\" + std::to_string(t), "n" + std::to_string(i)),
                static_cast<uint32_t>(i));
}

}  // namespace
