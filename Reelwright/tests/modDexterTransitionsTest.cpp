// The transition table and the lookup from a display name to the effect class identifier.
#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <set>
#include <string>

#include "core/guid.h"
#include "engine/modDexter.h"

namespace {

struct LookupCase {
  const char* name;
  const char* language;
  const char* expected;
};

const LookupCase kLookupCases[] = {
    // letter case of the name does not matter
    {"fade", "EN-US", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"FADE", "EN-US", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"Fade", "EN-US", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"wormhole", "EN-US", "{0E6AE022-0C83-11D2-8CD4-00104BC75D9A}"},
    // blanks are part of the name
    {"Fade ", "EN-US", ""},
    {" Fade", "EN-US", ""},
    {"SMPTE Wipe", "EN-US", "{dE75D012-7A65-11D2-8CEA-00A0C9441E20}"},
    {"smpte wipe", "EN-US", "{dE75D012-7A65-11D2-8CEA-00A0C9441E20}"},
    {"SMPTEWipe", "EN-US", ""},
    // identifiers come back exactly as stored, lower-case letters included
    {"Barn", "EN-US", "{C3BDF740-0B58-11d2-A484-00C04F8EFB69}"},
    {"Zigzag", "en-us", "{E6E73D20-0C8A-11d2-A484-00C04F8EFB69}"},
    // "None", the empty name and misspellings are no rows
    {"None", "EN-US", ""},
    {"", "EN-US", ""},
    {"Fad", "EN-US", ""},
    {"FadeWhiteX", "EN-US", ""},
    // the language: any letter case of EN-US, nothing else
    {"Fade", "en-us", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"Fade", "En-Us", "{16B280C5-EE70-11D1-9066-00C04FD9189D}"},
    {"Fade", "EN-GB", ""},
    {"Fade", "EN", ""},
    {"Fade", "", ""},
    {"Fade", "EN-US ", ""},
    {"Fade", "DE-DE", ""},
};

TEST(TransitionLookup, CasesOfNameAndLanguage) {
  for (const LookupCase& c : kLookupCases) {
    std::string name = c.name;
    std::string language = c.language;
    EXPECT_EQ(GetTransitionCLSID(name, language), c.expected)
        << "name \"" << c.name << "\", language \"" << c.language << "\"";
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(language, c.language);
  }
}

TEST(TransitionLookup, EveryRowIsFoundByItsOwnNameAndNoOtherLanguage) {
  for (const TransitionName& row : TransitionNames) {
    EXPECT_EQ(GetTransitionCLSID(row.DisplayName, "EN-US"), row.EffectClsid) << row.DisplayName;
    EXPECT_EQ(GetTransitionCLSID(row.DisplayName, "FR-FR"), "") << row.DisplayName;
  }
}

TEST(TransitionTable, RowsAreAlphabeticalUniqueAndParseable) {
  ASSERT_EQ(TransitionNames.size(), 37u);
  std::string previous;
  std::set<GUID> identifiers;
  for (const TransitionName& row : TransitionNames) {
    std::string upper = row.DisplayName;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_NE(upper, "NONE");
    // Lists show the rows in this order; it is alphabetical without regard to letter case, so a
    // strictly rising sequence also rules out two rows that differ only in case.
    EXPECT_LT(previous, upper) << row.DisplayName;
    previous = upper;
    // Each identifier must be one the platform can parse, and each effect is named once.
    std::optional<GUID> clsid = GuidFromString(row.EffectClsid);
    ASSERT_TRUE(clsid.has_value()) << row.EffectClsid;
    EXPECT_TRUE(identifiers.insert(*clsid).second) << "duplicate identifier " << row.EffectClsid;
  }
}

}  // namespace
