#pragma once
// Inside the encoder library: the page classes' registration and the sources page's preset; what
// the output page checks before it applies.
#include <atomic>
#include <string>

#include "wmenc/wmenc.h"

namespace wmenc {
void RegisterPages();
void PresetSource(const std::string& path);
// Whether the two paths name one file: the same path once links are resolved, or the same file.
bool NamesSameFile(const std::string& a, const std::string& b);
// The file the group's AutoSetFileSource took; empty when none (or not this library's group).
std::string GroupSourceFile(IWMEncSourceGroup* group);
// Set by SetWMEncConfigurationPagesFailForTesting.
extern std::atomic<bool> gConfigurationPagesFail;
}  // namespace wmenc
