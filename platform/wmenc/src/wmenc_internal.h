#pragma once
// Inside the encoder library: the page classes' registration and the sources page's preset.
#include <string>

namespace wmenc {
void RegisterPages();
void PresetSource(const std::string& path);
}  // namespace wmenc
