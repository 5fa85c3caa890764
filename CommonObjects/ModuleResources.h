#pragma once
// Resource bytes both graph component libraries carry: dialog templates, version data and the
// 16-colour pictures of the control library.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace graphparts {

std::vector<uint8_t> Text(const std::string& text);
// Version data: one "Name=Value" line per entry (the entries in their order), "OLESelfRegister"
// alone on its line for a self-registering library.
std::vector<uint8_t> VersionData(const std::vector<std::pair<std::string, std::string>>& entries,
                                 bool selfRegister);

}  // namespace graphparts
