// The settings store: defaults, empty values, errors for bad names, deletion, listing.
#include <gtest/gtest.h>

#include <functional>

#include "core/error.h"
#include "registry/settings.h"
#include "registry_fixture.h"

namespace {

class Settings : public RegistryFolder {};

int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const VBError& e) {
    return e.Number();
  }
  return 0;
}

TEST_F(Settings, AnEmptyStoredValueIsNotTheDefault) {
  EXPECT_EQ(GetSetting("App", "Init", "Missing", "fallback"), "fallback");
  EXPECT_EQ(GetSetting("App", "Init", "Missing"), "");
  SaveSetting("App", "Init", "Empty", "");
  EXPECT_EQ(GetSetting("App", "Init", "Empty", "fallback"), "");
  SaveSetting("App", "Init", "Word", "TRUE");
  EXPECT_EQ(GetSetting("app", "INIT", "word", "x"), "TRUE");
  ReopenFromDisk();
  EXPECT_EQ(GetSetting("App", "Init", "Empty", "fallback"), "");
  EXPECT_EQ(registry::ReadString(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\App\\Init", "Word"),
            "TRUE")
      << "settings live where the runtime keeps them";
}

TEST_F(Settings, KeyNamesMayHoldSeparatorsSectionsMayNest) {
  SaveSetting("App", "S", "a\\b/c", "value");
  EXPECT_EQ(GetSetting("App", "S", "a\\b/c"), "value");
  EXPECT_EQ(GetAllSettings("App", "S").size(), 1u);
  SaveSetting("App", "Outer\\Inner", "k", "nested");
  EXPECT_EQ(registry::ReadString(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\App\\Outer\\Inner", "k"),
            "nested");
}

TEST_F(Settings, ValuesOfOtherTypesReadAsTheDefault) {
  ASSERT_TRUE(registry::WriteDword(HKEY_CURRENT_USER, "Software\\VB and VBA Program Settings\\App\\S", "n", 7));
  EXPECT_EQ(GetSetting("App", "S", "n", "def"), "def");
}

TEST_F(Settings, EmptyNamesRaiseInvalidProcedureCall) {
  SaveSetting("App", "S", "k", "v");
  struct Case {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"get, no app", [] { GetSetting("", "S", "k"); }},
      {"get, no section", [] { GetSetting("App", "", "k"); }},
      {"get, no key", [] { GetSetting("App", "S", ""); }},
      {"save, no app", [] { SaveSetting("", "S", "k", "v"); }},
      {"save, no section", [] { SaveSetting("App", "", "k", "v"); }},
      {"save, no key", [] { SaveSetting("App", "S", "", "v"); }},
      {"delete, no app", [] { DeleteSetting("", "S", "k"); }},
      {"delete, no section", [] { DeleteSetting("App", "", "k"); }},
      {"delete, no key", [] { DeleteSetting("App", "S", std::string()); }},
      {"list, no app", [] { GetAllSettings("", "S"); }},
      {"list, no section", [] { GetAllSettings("App", ""); }},
      {"delete a key that is not there", [] { DeleteSetting("App", "S", std::string("nothing")); }},
      {"delete a section that is not there", [] { DeleteSetting("App", "Nothing"); }},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorNumberOf(c.call), vbErrInvalidProcedureCall) << c.what;
  EXPECT_EQ(GetSetting("App", "S", "k"), "v") << "nothing was lost on the way";
}

TEST_F(Settings, DeleteRemovesOneKeyOrTheWholeSection) {
  SaveSetting("App", "S", "a", "1");
  SaveSetting("App", "S", "b", "2");
  SaveSetting("App", "Other", "c", "3");
  DeleteSetting("App", "S", std::string("A"));
  EXPECT_EQ(GetSetting("App", "S", "a", "gone"), "gone");
  EXPECT_EQ(GetSetting("App", "S", "b"), "2");
  DeleteSetting("App", "S");
  EXPECT_EQ(GetSetting("App", "S", "b", "gone"), "gone");
  EXPECT_TRUE(GetAllSettings("App", "S").empty());
  EXPECT_EQ(GetSetting("App", "Other", "c"), "3");
}

TEST_F(Settings, AllSettingsComeInStoredOrder) {
  SaveSetting("App", "S", "Zulu", "z");
  SaveSetting("App", "S", "Alpha", "");
  SaveSetting("App", "S", "Mike", "m\nwith a line break = and \"quotes\"");
  SaveSetting("App", "S", "ZULU", "z2");
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  Pairs expected{{"Zulu", "z2"}, {"Alpha", ""}, {"Mike", "m\nwith a line break = and \"quotes\""}};
  EXPECT_EQ(GetAllSettings("App", "S"), expected);
  ReopenFromDisk();
  EXPECT_EQ(GetAllSettings("App", "S"), expected);
  EXPECT_TRUE(GetAllSettings("App", "Absent").empty());
}

}  // namespace
