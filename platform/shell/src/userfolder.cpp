#include "userfolder.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

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

std::string Prefix(const std::string& base) {
  std::string prefix = base;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (prefix != "/") prefix += '/';
  return prefix;
}

// The process id in a name stem + <pid> + "." + six characters; 0 when the name has other form.
pid_t ProcessOfFolderName(const std::string& entry, const std::string& stem) {
  if (entry.size() <= stem.size() + 7 || entry.compare(0, stem.size(), stem) != 0) return 0;
  const std::string rest = entry.substr(stem.size());
  const size_t dot = rest.find('.');
  if (dot == 0 || dot == std::string::npos || dot > 9 || rest.size() - dot - 1 != 6) return 0;
  const std::string digits = rest.substr(0, dot);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<pid_t>(std::stol(digits));
}

// Removes the process folders (stem + <pid> + "." + six characters) of this user whose process
// no longer runs.
void RemoveEndedProcessFolders(const std::string& prefix, const std::string& stem) {
  DIR* dir = ::opendir(prefix.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> ended;
  while (dirent* entry = ::readdir(dir)) {
    const pid_t pid = ProcessOfFolderName(entry->d_name, stem);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ended.push_back(prefix + entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& folder : ended) {
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
}

}  // namespace

std::string OwnFolderIn(const std::string& base, const std::string& name) {
  const std::string prefix = Prefix(base);
  for (int n = 0; n < 100; ++n) {
    const std::string folder = prefix + name + (n == 0 ? std::string() : "-" + std::to_string(n));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) Raise(vbErrPathNotFound);
    if (IsOwnPrivateFolder(folder)) return folder + "/";
  }
  Raise(vbErrPathNotFound);
}

std::string ProcessFolderIn(const std::string& base, const std::string& name) {
  static std::mutex mutex;
  static std::map<std::string, std::string> made;  // base + "/" + name -> this process's folder
  const std::string prefix = Prefix(base);
  const std::string stem = name + "." + std::to_string(::getpid()) + ".";
  std::lock_guard<std::mutex> hold(mutex);
  const auto known = made.find(prefix + name);
  if (known != made.end() && IsOwnPrivateFolder(known->second)) return known->second + "/";
  RemoveEndedProcessFolders(prefix, name + ".");
  std::string pattern = prefix + stem + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr || !IsOwnPrivateFolder(pattern)) Raise(vbErrPathNotFound);
  made[prefix + name] = pattern;
  return pattern + "/";
}

bool IsClosedOwnFolder(const std::string& folder) {
  struct stat st;
  return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace shell_detail
