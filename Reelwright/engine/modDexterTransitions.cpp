#include "engine/modDexterTransitions.h"

#include <cstddef>
#include <string_view>

#include "core/error.h"

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The names and the language tag are plain ASCII; a text with other characters can equal none
// of them, whatever its case.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string GetTransitionCLSID(const std::string& name, const std::string& language) {
  std::string clsid;
  // Every failure of the body is cleared and gives the empty text.
  if (!EndQuietly([&] {
        if (!EqualIgnoringCase(language, "EN-US")) return;
        for (const TransitionName& row : TransitionNames) {
          if (EqualIgnoringCase(name, row.DisplayName)) {
            clsid = row.EffectClsid;
            return;
          }
        }
      })) {
    Err().Clear();
    clsid.clear();
  }
  return clsid;
}
