#include "userfolder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"

namespace shell_detail {

namespace {

// Whether folder is this user's own folder with mode 0700 (a wider one is narrowed). Checked on
// the folder itself, opened without following a link, so that nothing swapped in at that name
// between the checks is taken for it.
bool IsOwnPrivateFolder(const std::string& folder) {
  struct stat named;
  if (::lstat(folder.c_str(), &named) != 0) return false;
  if (!S_ISDIR(named.st_mode) || named.st_uid != ::geteuid()) return false;  // a link, a file, another's
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool own = ::fstat(fd, &st) == 0 && st.st_dev == named.st_dev && st.st_ino == named.st_ino &&
             st.st_uid == ::geteuid() && S_ISDIR(st.st_mode);
  if (own && (st.st_mode & 07777) != 0700) own = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return own;
}

}  // namespace

std::string OwnFolderIn(const std::string& base, const std::string& name) {
  std::string prefix = base;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix != "/") prefix += '/';
  for (int n = 0; n < 100; ++n) {
    const std::string folder = prefix + name + (n == 0 ? std::string() : "-" + std::to_string(n));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Raise(vbErrPathNotFound);
    if (IsOwnPrivateFolder(folder)) return folder + "/";
  }
  Raise(vbErrPathNotFound);
}

}  // namespace shell_detail
