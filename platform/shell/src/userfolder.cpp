#include "userfolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"

namespace shell_detail {

std::string OwnFolderIn(const std::string& base, const std::string& name) {
  std::string prefix = base;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix != "/") prefix += '/';
  for (int n = 0; n < 100; ++n) {
    const std::string folder = prefix + name + (n == 0 ? std::string() : "-" + std::to_string(n));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Raise(vbErrPathNotFound);
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) continue;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;  // a link, a file, another's
    if ((st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) continue;
    return folder + "/";
  }
  Raise(vbErrPathNotFound);
}

}  // namespace shell_detail
