#include "shell/files.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <random>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
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
  const std::string name = "reelwright-" + std::to_string(::getuid());
  std::vector<std::string> bases;
  if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') bases.emplace_back(tmp);
  const char* shared = std::getenv("SUITE_SHARED_TEMP");
  bases.emplace_back(shared != nullptr && *shared != '\0' ? shared : "/tmp");
  // The fixed names, which the next run finds again (and with them a killed run's leftovers).
  for (const std::string& base : bases) {
    try {
      return shell_detail::OwnFolderIn(base, name);
    } catch (const VBError&) {
      // No folder of our own can be had there: the next place.
    }
  }
  // Every fixed name taken by others: the user's own runtime folder, where nobody else can take
  // a name, else a folder of this process's own that nobody can keep from being made.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && runtime[0] == '/' && shell_detail::IsClosedOwnFolder(runtime)) {
    try {
      return shell_detail::OwnFolderIn(runtime, "reelwright");
    } catch (const VBError&) {
    }
  }
  for (const std::string& base : bases) {
    try {
      return shell_detail::ProcessFolderIn(base, name);
    } catch (const VBError&) {
    }
  }
  Raise(vbErrPathNotFound);
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

namespace {

// Copies everything from in to out; returns 0 or the errno of the failure.
int CopyData(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (int err = shell_detail::WriteAll(out, buffer.data(), static_cast<size_t>(n)); err != 0) return err;
  }
}

// The source of a copy: opened without waiting (a FIFO), and only a regular file.
int OpenCopySource(const std::string& source, struct stat& st) {
  if (source.empty()) Raise(vbErrFileNotFound);
  int fd = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) RaiseErrno(errno, Missing::File);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    Raise(vbErrFileNotFound);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

void CopyIntoCreatedFile(const std::string& source, const std::string& created) {
  struct stat sourceStat;
  Fd in(OpenCopySource(source, sourceStat));
  CreatedFile out(created);
  int err = CopyData(in.Get(), out.Descriptor());
  const int closeErr = out.Close();
  if (err == 0) err = closeErr;
  if (err != 0) RaiseErrno(err == ENOENT ? EIO : err, Missing::File);
}

void FileCopy(const std::string& source, const std::string& target) {
  if (source.empty()) Raise(vbErrFileNotFound);
  if (target.empty()) Raise(vbErrPathNotFound);
  struct stat sourceStat;
  Fd in(OpenCopySource(source, sourceStat));

  struct stat targetStat;
  bool targetExisted = ::stat(target.c_str(), &targetStat) == 0;
  if (targetExisted) {
    // Opening the target for writing would empty the source itself.
    if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) {
      Raise(vbErrPermissionDenied);
    }
    if (S_ISDIR(targetStat.st_mode)) Raise(vbErrPathFileAccess);
  }
  // A new target is made exclusively; an existing one (the statement replaces it) is written
  // through, but only when it is a regular file (a FIFO would block, a device be written to).
  Fd out(::open(target.c_str(),
                targetExisted ? (O_WRONLY | O_NONBLOCK | O_CLOEXEC)
                              : (O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC),
                sourceStat.st_mode & 0777));
  if (out.Get() < 0) RaiseErrno(errno, Missing::Path);
  struct stat outStat;
  if (::fstat(out.Get(), &outStat) != 0 || !S_ISREG(outStat.st_mode)) Raise(vbErrPathFileAccess);
  ::fcntl(out.Get(), F_SETFL, ::fcntl(out.Get(), F_GETFL) & ~O_NONBLOCK);
  int err = targetExisted && outStat.st_size > 0 && ::ftruncate(out.Get(), 0) != 0 ? errno : 0;
  if (err == 0) err = CopyData(in.Get(), out.Get());
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

namespace {

// Follows the links at path to what they name (40 hops at most). For writing, a link that another
// user owns in a folder everyone may write (and that the folder's owner does not own) is refused,
// as the kernel refuses to follow it for a program of this user.
std::string FollowLinks(const std::string& path, bool forWriting) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (current.empty() || ::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    if (forWriting && st.st_uid != ::geteuid()) {
      const size_t slash = current.rfind('/');
      const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : current.substr(0, slash));
      struct stat dir;
      if (::stat(folder.c_str(), &dir) != 0) RaiseErrno(errno, Missing::Path);
      const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
      if (shared && dir.st_uid != st.st_uid) Raise(vbErrPermissionDenied);
    }
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

}  // namespace

std::string ResolveLinks(const std::string& path) { return FollowLinks(path, false); }

std::string ResolveLinksForWriting(const std::string& path) { return FollowLinks(path, true); }

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

// The side files of a stem and suffix: (path, pid) of every name stem + digits + "-" + rest +
// suffix in the stem's folder.
std::vector<std::pair<std::string, pid_t>> SideFiles(const std::string& stem, const std::string& suffix) {
  std::vector<std::pair<std::string, pid_t>> found;
  const size_t slash = stem.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : stem.substr(0, slash));
  const std::string prefix = slash == std::string::npos ? stem : stem.substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return found;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 9) continue;
    const std::string digits = middle.substr(0, dash);
    if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string rest = middle.substr(dash + 1);
    if (rest.empty() || rest.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
    found.emplace_back(folder + "/" + name, static_cast<pid_t>(std::stol(digits)));
  }
  ::closedir(dir);
  return found;
}

// The stem of side files of a stem and suffix, its name part cut so that every side file's name
// (that part, a process id of up to 9 digits, "-", 16 hex digits and the suffix) fits the
// folder's longest name however long the target's name is. The middle of the name part goes:
// its start (the target's name) and its last 16 bytes (the kind of side file) stay, cut at whole
// UTF-8 characters. The same stem and suffix always give the same name part, so leftovers are
// found again.
std::string FittingStem(const std::string& stem, const std::string& suffix) {
  constexpr size_t kTail = 16;
  const size_t slash = stem.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : stem.substr(0, slash));
  long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  const size_t reserved = 9 + 1 + 16 + suffix.size();
  if (static_cast<size_t>(longest) < reserved + 2 * kTail) return stem;  // no room to cut into
  const size_t room = static_cast<size_t>(longest) - reserved;
  if (stem.size() - start <= room) return stem;
  const auto continuation = [&](size_t at) { return (static_cast<unsigned char>(stem[at]) & 0xC0) == 0x80; };
  size_t tail = stem.size() - kTail;
  while (tail < stem.size() && continuation(tail)) ++tail;
  size_t headEnd = start + room - (stem.size() - tail);
  while (headEnd > start && continuation(headEnd)) --headEnd;
  return stem.substr(0, headEnd) + stem.substr(tail);
}

}  // namespace

unsigned NewFilePermissions() { return NewFileMode(); }

void RemoveStaleSideFiles(const std::string& stem, const std::string& suffix) {
  for (const auto& [path, pid] : SideFiles(FittingStem(stem, suffix), suffix)) {
    if (pid == ::getpid() || pid <= 0) continue;  // this process's own are its writers' business
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
      ::unlink(path.c_str());
    }
  }
}

namespace {

// The side files this process made, removed when it ends (exit, End, the end of main) if they are
// still at their names: a finished one has been renamed over its target, an unfinished one is
// left by a run that stopped because the program ended. Kept for the process that made them only
// (a forked child that exits leaves its parent's alone).
std::mutex g_ownSideFilesLock;
std::vector<std::string>* g_ownSideFiles = nullptr;  // never freed: read at exit
pid_t g_ownSideFilesPid = 0;

bool OwnRegularFile(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

void RemoveOwnSideFiles() {
  std::unique_lock lock(g_ownSideFilesLock, std::try_to_lock);
  if (!lock.owns_lock() || !g_ownSideFiles || g_ownSideFilesPid != ::getpid()) return;
  for (const std::string& path : *g_ownSideFiles) {
    if (OwnRegularFile(path)) ::unlink(path.c_str());
  }
  g_ownSideFiles->clear();
}

void RememberSideFile(const std::string& path) {
  std::lock_guard lock(g_ownSideFilesLock);
  if (!g_ownSideFiles) {
    g_ownSideFiles = new std::vector<std::string>();
    std::atexit(RemoveOwnSideFiles);
  }
  if (g_ownSideFilesPid != ::getpid()) {
    g_ownSideFiles->clear();
    g_ownSideFilesPid = ::getpid();
  }
  // Those gone from their names (renamed into place or removed) need no watching any more.
  std::erase_if(*g_ownSideFiles, [](const std::string& p) { return !OwnRegularFile(p); });
  g_ownSideFiles->push_back(path);
}

}  // namespace

std::string NewSideFile(const std::string& stem, const std::string& suffix) {
  if (stem.empty()) Raise(vbErrBadFileNameOrNumber);
  RemoveStaleSideFiles(stem, suffix);
  const std::string fitting = FittingStem(stem, suffix);
  static std::atomic<uint64_t> sequence{0};
  // Seeded once per thread: the names only need to be hard to foresee, and opening the system's
  // source of randomness again for every side file was a good part of a file's making.
  thread_local std::mt19937_64 random = [] {
    std::random_device seed;
    return std::mt19937_64((static_cast<uint64_t>(seed()) << 32) ^ seed());
  }();
  for (int attempt = 0;; ++attempt) {
    char unique[17];
    std::snprintf(unique, sizeof unique, "%llx",
                  static_cast<unsigned long long>(random() ^ sequence.fetch_add(1)));
    const std::string path = fitting + std::to_string(::getpid()) + "-" + unique + suffix;
    if (CreateNewFile(path)) {
      RememberSideFile(path);
      return path;
    }
    if (attempt > 1000) Raise(vbErrPathFileAccess);  // a folder that takes no new name
  }
}

CreatedFile::CreatedFile(const std::string& path, bool truncate) {
  if (path.empty()) Raise(vbErrBadFileNameOrNumber);
  fd_ = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    if (errno == ELOOP) Raise(vbErrPathFileAccess);
    RaiseErrno(errno, Missing::Path);
  }
  struct stat st{};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
    ::close(fd_);
    Raise(vbErrPathFileAccess);
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  if (truncate && st.st_size > 0 && ::ftruncate(fd_, 0) != 0) {
    const int err = errno;
    ::close(fd_);
    shell_detail::RaiseWriteFailure(err);
  }
  name_ = "/proc/self/fd/" + std::to_string(fd_);
}

CreatedFile::~CreatedFile() { Close(); }

int CreatedFile::Close() {
  if (fd_ < 0) return 0;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0 ? 0 : errno;
}

void ReplaceFile(const std::string& finished, const std::string& target) {
  struct stat finishedStat;
  if (finished.empty() || ::lstat(finished.c_str(), &finishedStat) != 0) Raise(vbErrFileNotFound);
  if (!S_ISREG(finishedStat.st_mode)) Raise(vbErrPathFileAccess);
  if (target.empty()) Raise(vbErrBadFileNameOrNumber);
  const std::string resolved = ResolveLinksForWriting(target);
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
  const std::string nearby = NewSideFile(FolderOf(resolved) + "/.replace-", ".tmp");
  try {
    CopyIntoCreatedFile(finished, nearby);
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
    const std::string resolved = ResolveLinksForWriting(target);
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
  // Without waiting: a FIFO would block the open until a writer comes.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) RaiseErrno(errno, Missing::File);
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) Raise(vbErrPathFileAccess);
  ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
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
  CreatedFile file(path);
  if (int err = shell_detail::WriteAll(file.Descriptor(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
      err != 0) {
    shell_detail::RaiseWriteFailure(err);
  }
  if (int err = file.Close(); err != 0) shell_detail::RaiseWriteFailure(err);
}
