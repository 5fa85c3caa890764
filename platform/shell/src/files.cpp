#include "shell/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/error.h"
#include "core/system_messages.h"
#include "oserror.h"
#include "programname.h"
#include "userfolder.h"

using shell_detail::Missing;
using shell_detail::RaiseErrno;

namespace {

bool StatIs(const std::string& path, mode_t type) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes and reports a failure of the close itself (a delayed write error).
  int CloseChecked() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The runtime's wildcards: * any run of characters, ? any one character; letter case ignored.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

std::string AppPath() {
  if (const char* folder = std::getenv("SUITE_PROGRAM_FOLDER"); folder != nullptr && *folder != '\0') {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) RaiseErrno(errno, Missing::File);
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string exe(buffer.data(), static_cast<size_t>(n));
      return exe.substr(0, exe.rfind('/'));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string CurDir() {
  std::vector<char> buffer(PATH_MAX);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) RaiseErrno(errno, Missing::Path);
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

void ChDir(const std::string& path) {
  if (path.empty()) Raise(vbErrPathNotFound);
  if (::chdir(path.c_str()) != 0) RaiseErrno(errno, Missing::Path);
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp == nullptr || *tmp == '\0') {
    return shell_detail::OwnFolderIn("/tmp", "reelwright-" + std::to_string(::getuid()));
  }
  std::string folder = tmp;
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string SystemDirectory() {
  const char* override = std::getenv("SUITE_SYSTEM_FOLDER");
  if (override != nullptr && *override != '\0') {
    std::string folder = override;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  // This library's own folder.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&SystemDirectory), &info) == 0 || info.dli_fname == nullptr) return AppPath();
  std::error_code ec;
  std::filesystem::path lib = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? AppPath() : lib.parent_path().string();
}

bool FileExists(const std::string& path) { return StatIs(path, S_IFREG); }

bool FolderExists(const std::string& path) { return StatIs(path, S_IFDIR); }

bool PathExists(const std::string& path) { return shell_detail::AnythingAt(path); }

void Kill(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
    if (!path.empty() && errno != ENOENT) RaiseErrno(errno, Missing::File);
    Raise(vbErrFileNotFound);
  }
  if (S_ISDIR(st.st_mode)) Raise(vbErrFileNotFound);
  if (::unlink(path.c_str()) != 0) RaiseErrno(errno, Missing::File);
}

void DeletePath(const std::string& path) {
  struct stat st;
  if (shell_detail::EndsInDotPart(path)) Raise(vbErrFileNotFound);
  if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
    if (!path.empty() && errno != ENOENT) RaiseErrno(errno, Missing::File);
    Raise(vbErrFileNotFound);
  }
  if (!S_ISDIR(st.st_mode)) {
    if (::unlink(path.c_str()) != 0) RaiseErrno(errno, Missing::File);
    return;
  }
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) RaiseErrno(ec.value(), Missing::File);
}

void MkDir(const std::string& path) {
  if (path.empty()) Raise(vbErrPathNotFound);
  if (::mkdir(path.c_str(), 0777) != 0) {
    if (errno == EEXIST) Raise(vbErrPathFileAccess);
    RaiseErrno(errno, Missing::Path);
  }
}

void RmDir(const std::string& path) {
  if (path.empty()) Raise(vbErrPathNotFound);
  if (::rmdir(path.c_str()) != 0) {
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST) Raise(vbErrPathFileAccess);
    RaiseErrno(err, Missing::Path);
  }
}

int64_t FileLen(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    if (!path.empty() && errno != ENOENT) RaiseErrno(errno, Missing::File);
    Raise(vbErrFileNotFound);
  }
  if (!S_ISREG(st.st_mode)) Raise(vbErrFileNotFound);
  return static_cast<int64_t>(st.st_size);
}

void FileCopy(const std::string& source, const std::string& target) {
  if (source.empty()) Raise(vbErrFileNotFound);
  if (target.empty()) Raise(vbErrPathNotFound);
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.Get() < 0) RaiseErrno(errno, Missing::File);
  struct stat sourceStat;
  if (::fstat(in.Get(), &sourceStat) != 0) RaiseErrno(errno, Missing::File);
  if (!S_ISREG(sourceStat.st_mode)) Raise(vbErrFileNotFound);

  struct stat targetStat;
  bool targetExisted = ::stat(target.c_str(), &targetStat) == 0;
  if (targetExisted) {
    // Opening the target for writing would empty the source itself.
    if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) {
      Raise(vbErrPermissionDenied);
    }
    if (S_ISDIR(targetStat.st_mode)) Raise(vbErrPathFileAccess);
  }
  Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, sourceStat.st_mode & 0777));
  if (out.Get() < 0) RaiseErrno(errno, Missing::Path);

  int err = 0;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    err = shell_detail::WriteAll(out.Get(), buffer.data(), static_cast<size_t>(n));
    if (err != 0) break;
  }
  int closeErr = out.CloseChecked();
  if (err == 0) err = closeErr;
  if (err != 0) {
    ::unlink(target.c_str());
    RaiseErrno(err == ENOENT ? EIO : err, Missing::File);
  }
}

void Name(const std::string& oldPath, const std::string& newPath) {
  struct stat st;
  if (oldPath.empty() || ::lstat(oldPath.c_str(), &st) != 0) {
    if (!oldPath.empty() && errno != ENOENT) RaiseErrno(errno, Missing::File);
    Raise(vbErrFileNotFound);
  }
  if (newPath.empty()) Raise(vbErrBadFileNameOrNumber);
  if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) return;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // A file system without the no-replace rename: test, then rename.
    if (shell_detail::AnythingAt(newPath)) Raise(vbErrFileAlreadyExists);
    if (::rename(oldPath.c_str(), newPath.c_str()) == 0) return;
    err = errno;
  }
  if (err == EXDEV && S_ISREG(st.st_mode)) {
    if (shell_detail::AnythingAt(newPath)) Raise(vbErrFileAlreadyExists);
    FileCopy(oldPath, newPath);
    if (::unlink(oldPath.c_str()) != 0) {
      err = errno;
      ::unlink(newPath.c_str());  // keep the one original rather than two copies
      RaiseErrno(err, Missing::File);
    }
    return;
  }
  RaiseErrno(err, Missing::Path);
}

std::string Dir(const std::string& pattern) {
  if (pattern.empty()) return {};
  size_t slash = pattern.rfind('/');
  std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash == 0 ? 1 : slash);
  std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (last.find_first_of("*?") == std::string::npos) {
    return (!last.empty() && FileExists(pattern)) ? last : std::string();
  }
  if (last == "*.*") last = "*";
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::vector<std::string> matches;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (WildcardMatch(last, name) && FileExists(folder + "/" + name)) matches.push_back(name);
  }
  ::closedir(dir);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

std::string ShortPathName(const std::string& path) { return PathExists(path) ? path : std::string(); }

namespace shell_detail {

std::string WithoutExeExtension(const std::string& path) {
  size_t lastStart = path.rfind('/');
  lastStart = lastStart == std::string::npos ? 0 : lastStart + 1;
  if (path.size() - lastStart <= 4) return path;  // ".exe" alone is a name, not an extension
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = AsciiLower(c);
  return tail == ".exe" ? path.substr(0, path.size() - 4) : path;
}

}  // namespace shell_detail

std::string FolderFile(const std::string& folder, const std::string& backslashSuffix) {
  std::string suffix = backslashSuffix;
  std::replace(suffix.begin(), suffix.end(), '\\', '/');
  return HelpFolderName(shell_detail::WithoutExeExtension(folder + suffix));
}

std::string HelpFolderName(const std::string& path) {
  size_t lastStart = path.rfind('/');
  lastStart = lastStart == std::string::npos ? 0 : lastStart + 1;
  if (path.size() - lastStart <= 4) return path;  // ".chm" alone is a name, not an extension
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = AsciiLower(c);
  return tail == ".chm" ? path.substr(0, path.size() - 4) + ".help" : path;
}

std::string AppFile(const std::string& backslashSuffix) { return FolderFile(AppPath(), backslashSuffix); }

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (current.empty() || ::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
    if (n < 0) RaiseErrno(errno, Missing::File);
    if (static_cast<size_t>(n) >= buffer.size()) continue;  // grew meanwhile: read it again
    std::string target(buffer.data(), static_cast<size_t>(n));
    if (target.empty() || target[0] != '/') {
      size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  Raise(vbErrPathFileAccess);
}

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

namespace {

// The permissions of a newly made file: read and write for all, less the process's umask (read
// from /proc, so the mask itself is never changed, not even for a moment).
mode_t NewFileMode() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return 0666 & ~mask;
}

}  // namespace

void ReplaceFile(const std::string& finished, const std::string& target) {
  struct stat finishedStat;
  if (finished.empty() || ::lstat(finished.c_str(), &finishedStat) != 0) Raise(vbErrFileNotFound);
  if (!S_ISREG(finishedStat.st_mode)) Raise(vbErrPathFileAccess);
  if (target.empty()) Raise(vbErrBadFileNameOrNumber);
  const std::string resolved = ResolveLinks(target);
  struct stat targetStat;
  bool targetExists = ::lstat(resolved.c_str(), &targetStat) == 0;
  if (targetExists && !S_ISREG(targetStat.st_mode)) Raise(vbErrPathFileAccess);
  if (targetExists && targetStat.st_dev == finishedStat.st_dev && targetStat.st_ino == finishedStat.st_ino) return;
  // The replacement keeps the old file's permissions; a new file gets those of any file the user
  // makes (finished files are often made owner-only while they are written).
  const mode_t wanted = targetExists ? (targetStat.st_mode & 07777) : NewFileMode();
  ::chmod(finished.c_str(), wanted);
  if (::rename(finished.c_str(), resolved.c_str()) == 0) return;
  int err = errno;
  if (err != EXDEV) RaiseErrno(err, Missing::Path);
  // Another file system: a complete copy next to the target first, then the rename.
  std::string nearby;
  for (unsigned n = static_cast<unsigned>(::getpid());; ++n) {
    nearby = FolderOf(resolved) + "/.replace-" + std::to_string(n) + ".tmp";
    if (CreateNewFile(nearby)) break;
  }
  try {
    FileCopy(finished, nearby);
  } catch (const VBError&) {
    ::unlink(nearby.c_str());
    throw;
  }
  ::chmod(nearby.c_str(), wanted);
  if (::rename(nearby.c_str(), resolved.c_str()) != 0) {
    err = errno;
    ::unlink(nearby.c_str());
    RaiseErrno(err, Missing::Path);
  }
  ::unlink(finished.c_str());
}

namespace {

// Whether this user may write to path. A file or folder without any write permission counts as
// read-only for the superuser as well (the read-only attribute of the suite's callers).
bool Writable(const std::string& path, const struct stat& st) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

bool CanReplace(const std::string& target) {
  try {
    if (target.empty()) return false;
    const std::string resolved = ResolveLinks(target);
    const std::string folder = FolderOf(resolved);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !Writable(folder, st)) return false;
    if (::lstat(resolved.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && Writable(resolved, st);
  } catch (const VBError&) {
    return false;
  }
}

bool CreateNewFile(const std::string& path) {
  if (path.empty()) Raise(vbErrBadFileNameOrNumber);
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (fd.Get() < 0) {
    const int err = errno;
    if (err == EEXIST) return false;
    SetLastError(shell_detail::LastErrorFromErrno(err));
    RaiseErrno(err, Missing::Path);
  }
  int err = fd.CloseChecked();
  if (err != 0) {
    ::unlink(path.c_str());
    shell_detail::RaiseWriteFailure(err);
  }
  return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t maxBytes) {
  if (path.empty()) Raise(vbErrBadFileNameOrNumber);
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) RaiseErrno(errno, Missing::File);
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) Raise(vbErrPathFileAccess);
  if (static_cast<uint64_t>(st.st_size) > maxBytes) Raise(vbErrOutOfMemory);
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Raise(vbErrPathFileAccess);
    if (n == 0) {  // the file shrank while being read
      bytes.resize(done);
      break;
    }
    done += static_cast<size_t>(n);
  }
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (path.empty()) Raise(vbErrBadFileNameOrNumber);
  Fd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.Get() < 0) RaiseErrno(errno, Missing::Path);
  // Truncating only a file that holds something: a truncated file is flushed at its close by
  // some file systems, which would make every small new file a synchronous write.
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0) RaiseErrno(errno, Missing::Path);
  if (st.st_size > 0 && ::ftruncate(fd.Get(), 0) != 0) shell_detail::RaiseWriteFailure(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) shell_detail::RaiseWriteFailure(errno);
    done += static_cast<size_t>(n);
  }
  int err = fd.CloseChecked();
  if (err != 0) shell_detail::RaiseWriteFailure(err);
}
