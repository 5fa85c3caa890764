#include "shell/listfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"
#include "oserror.h"

using shell_detail::Missing;
using shell_detail::RaiseErrno;

namespace {

// A descriptor of the list file that holds its exclusive lock until it is closed.
class LockedFile {
 public:
  LockedFile() = default;
  ~LockedFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;

  // Opens path with flags and locks it. Opened without blocking (a FIFO would wait for a writer
  // for good) and refused unless it is a regular file. After the lock is held, the path must
  // still name the locked file: a reader may have removed or renamed it meanwhile, in which case
  // the open starts again. Returns false when there is no file and flags do not create one.
  bool Open(const std::string& path, int flags) {
    if (path.empty()) Raise(vbErrBadFileNameOrNumber);
    for (;;) {
      int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
      if (fd < 0) {
        int err = errno;
        if (err == EINTR) continue;
        if (err == ENOENT && (flags & O_CREAT) == 0) return false;
        if (err == EISDIR) Raise(vbErrPathFileAccess);
        RaiseErrno(err, Missing::Path);
      }
      fd_ = fd;
      struct stat locked;
      if (::fstat(fd, &locked) != 0) RaiseErrno(errno, Missing::File);
      if (!S_ISREG(locked.st_mode)) Raise(vbErrPathFileAccess);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) RaiseErrno(errno, Missing::File);
      }
      struct stat named;
      if (::stat(path.c_str(), &named) == 0 && named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) {
        return true;
      }
      ::close(fd);  // taken by someone else: that file is theirs now
      fd_ = -1;
    }
  }

  int Get() const { return fd_; }

  // Closes the file (and so drops the lock); reports a failure of the close itself.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

std::string ReadAll(int fd) {
  std::string data;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseErrno(errno, Missing::File);
    }
    if (n == 0) return data;
    data.append(buffer, static_cast<size_t>(n));
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace

void AppendLine(const std::string& path, std::string_view line) {
  std::string record(line);
  record += "\r\n";
  LockedFile file;
  file.Open(path, O_WRONLY | O_APPEND | O_CREAT);
  // One write: a reader that takes the file sees the whole line or none of it.
  ssize_t written;
  do {
    written = ::write(file.Get(), record.data(), record.size());
  } while (written < 0 && errno == EINTR);
  int err = written < 0 ? errno : 0;
  if (written >= 0 && static_cast<size_t>(written) != record.size()) {
    // Only a full disk writes part of a line: take the part back out.
    struct stat st;
    if (::fstat(file.Get(), &st) == 0) (void)::ftruncate(file.Get(), st.st_size - written);
    err = ENOSPC;
  }
  int closeErr = file.Close();
  if (err == 0) err = closeErr;
  if (err != 0) shell_detail::RaiseWriteFailure(err);
}

std::vector<std::string> TakeLines(const std::string& path) {
  LockedFile file;
  if (!file.Open(path, O_RDONLY)) return {};
  std::string text = ReadAll(file.Get());
  if (::unlink(path.c_str()) != 0) RaiseErrno(errno, Missing::File);
  return SplitLines(text);
}

bool TakeFile(const std::string& path, const std::string& privatePath) {
  if (privatePath.empty()) Raise(vbErrBadFileNameOrNumber);
  LockedFile file;
  if (!file.Open(path, O_RDONLY)) return false;
  if (::rename(path.c_str(), privatePath.c_str()) != 0) RaiseErrno(errno, Missing::Path);
  return true;
}
