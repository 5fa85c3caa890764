#include "oserror.h"

#include <cerrno>
#include <sys/stat.h>

#include "core/error.h"

namespace shell_detail {

int32_t VbErrorFromErrno(int err, Missing missing) {
  switch (err) {
    case ENOENT:
      return missing == Missing::File ? vbErrFileNotFound : vbErrPathNotFound;
    case ENOTDIR:
      return vbErrPathNotFound;
    case EACCES:
    case EPERM:
      return vbErrPermissionDenied;
    case EEXIST:
      return vbErrFileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return vbErrDiskFull;
    case EIO:
      return vbErrDeviceIO;
    case ENAMETOOLONG:
    case EINVAL:
      return vbErrBadFileNameOrNumber;
    case EMFILE:
    case ENFILE:
      return 67;  // Too many files
    case EXDEV:
      return 74;  // Can't rename with different drive
    case ENOMEM:
      return vbErrOutOfMemory;
    default:
      return vbErrPathFileAccess;
  }
}

void RaiseErrno(int err, Missing missing) { Raise(VbErrorFromErrno(err, missing)); }

bool AnythingAt(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

}  // namespace shell_detail
