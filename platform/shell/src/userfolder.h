#pragma once
// A folder of this user's own inside a shared one (/tmp).
#include <string>

namespace shell_detail {

// base + "/" + name + "/", created with mode 0700 when absent (76 when base takes no folder). A name that is a symbolic link,
// no folder, or a folder owned by another user is refused, and the next name is tried
// (name + "-1", name + "-2", ...); a folder of this user with wider permissions is narrowed to
// 0700. 76 when no name can be had.
std::string OwnFolderIn(const std::string& base, const std::string& name);

// A folder of this process's own inside base, for when every name OwnFolderIn tries is taken:
// base + "/" + name + "." + <pid> + "." + six random characters + "/", made with mkdtemp (mode
// 0700; a taken name is passed over, so no other user can keep it from being made). The same
// folder is answered for the same base and name while it stays this user's own. Folders of that
// form whose process no longer runs are removed first, with what they hold (a killed run's
// leftovers); other users' folders are left alone. 76 when base takes no new folder.
std::string ProcessFolderIn(const std::string& base, const std::string& name);

// Whether folder is a folder of this user that no other user may write (a link to one counts).
bool IsClosedOwnFolder(const std::string& folder);

}  // namespace shell_detail
