#pragma once
// Programs are named as "Name.exe" by the suite and are the file "Name" here.
#include <string>

namespace shell_detail {

// The path without a final ".exe" (any letter case) on its last part; other paths unchanged.
std::string WithoutExeExtension(const std::string& path);

}  // namespace shell_detail
