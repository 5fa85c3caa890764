#include "modProfiles.h"

#include <string>
#include <vector>

#include "core/error.h"
#include "modKilnhand.h"

namespace kilnhand {

void FillProfileList(ComboBox& box) {
  std::vector<std::string> names;
  try {
    ProfileNames(names);
  } catch (const VBError&) {
    for (const auto& n : names) box.AddItem(n);
    throw;
  }
  bool preferred = false;
  for (const auto& n : names) {
    box.AddItem(n);
    preferred = preferred || n == kPreferredProfile;
  }
  if (preferred) box.Text(kPreferredProfile);
  else if (!names.empty()) box.Text(names.front());
}

}  // namespace kilnhand
