#include "ModuleResources.h"

namespace graphparts {

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> VersionData(const std::vector<std::pair<std::string, std::string>>& entries,
                                 bool selfRegister) {
  std::string text;
  for (const auto& [name, value] : entries) text += name + "=" + value + "\n";
  if (selfRegister) text += "OLESelfRegister\n";
  return Text(text);
}

}  // namespace graphparts
