#pragma once
// A folder of this user's own inside a shared one (/tmp).
#include <string>

namespace shell_detail {

// base + "/" + name + "/", created with mode 0700 when absent (76 when base takes no folder). A name that is a symbolic link,
// no folder, or a folder owned by another user is refused, and the next name is tried
// (name + "-1", name + "-2", ...); a folder of this user with wider permissions is narrowed to
// 0700. 76 when no name can be had.
std::string OwnFolderIn(const std::string& base, const std::string& name);

}  // namespace shell_detail
