#include "oserror.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

uint32_t LastErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return 3;
    case EACCES:
    case EPERM:
      return 5;
    case EROFS:
      return 19;
    case ENOSPC:
    case EDQUOT:
      return 112;
    case ENAMETOOLONG:
      return 206;
    case EIO:
      return 1117;
    default:
      return 0;
  }
}

void RaiseErrno(int err, Missing missing) { Raise(VbErrorFromErrno(err, missing)); }

int OpenFileDescriptor(const std::string& path, int flags, Missing missing) {
  if (path.empty()) Raise(vbErrBadFileNameOrNumber);
  // Opened without waiting (a FIFO would block the open until the other side comes), and kept
  // only when it is a regular file: a FIFO or a device never ends and never answers for sure.
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    int err = errno;
    if (err == EISDIR || err == ENXIO) Raise(vbErrPathFileAccess);
    RaiseErrno(err, missing);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Raise(vbErrPathFileAccess);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

void RaiseWriteFailure(int err) {
  Raise(err == ENOSPC || err == EDQUOT || err == EFBIG ? vbErrDiskFull : vbErrDeviceIO);
}

bool AnythingAt(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool EndsInDotPart(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return false;
  size_t start = path.find_last_of('/', end);
  start = start == std::string::npos ? 0 : start + 1;
  std::string last = path.substr(start, end + 1 - start);
  return last == "." || last == "..";
}

}  // namespace shell_detail
