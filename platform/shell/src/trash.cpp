#include "shell/trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "core/error.h"
#include "oserror.h"

using shell_detail::Missing;
using shell_detail::RaiseErrno;

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  Raise(vbErrPathNotFound);
}

void MakeFolders(const std::string& path) {
  std::error_code ec;
  bool created = std::filesystem::create_directories(path, ec);
  if (ec) RaiseErrno(ec.value(), Missing::Path);
  if (created) ::chmod(path.c_str(), 0700);
}

// The trash info's Path is an absolute path written as a URL path: every byte other than the
// unreserved characters and "/" is percent-encoded.
std::string EscapeForInfo(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string LocalTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// The n-th candidate name in the trash for an item called name: name, then "stem.2.ext", ...
std::string Candidate(const std::string& name, int n) {
  if (n == 1) return name;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string TrashFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
  std::string base = (dataHome != nullptr && dataHome[0] == '/') ? dataHome : HomeFolder() + "/.local/share";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Trash";
}

std::string MoveToTrash(const std::string& path) {
  if (shell_detail::EndsInDotPart(path) || !shell_detail::AnythingAt(path)) Raise(vbErrFileNotFound);
  std::error_code ec;
  std::filesystem::path original = std::filesystem::absolute(path, ec).lexically_normal();
  if (ec) RaiseErrno(ec.value(), Missing::Path);
  std::string originalText = original.string();
  while (originalText.size() > 1 && originalText.back() == '/') originalText.pop_back();
  std::string name = std::filesystem::path(originalText).filename().string();
  if (name.empty() || name == "." || name == "..") Raise(vbErrPathFileAccess);

  const std::string trash = TrashFolder();
  MakeFolders(trash);  // private to the user, as are the two folders inside
  MakeFolders(trash + "/files");
  MakeFolders(trash + "/info");

  const std::string info =
      "[Trash Info]\nPath=" + EscapeForInfo(originalText) + "\nDeletionDate=" + LocalTimestamp() + "\n";
  for (int n = 1;; ++n) {
    const std::string candidate = Candidate(name, n);
    const std::string target = trash + "/files/" + candidate;
    const std::string infoPath = trash + "/info/" + candidate + ".trashinfo";
    if (shell_detail::AnythingAt(target)) continue;
    // The info file is created first and exclusively: it reserves the name.
    int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      RaiseErrno(errno, Missing::Path);
    }
    int writeErr = shell_detail::WriteAll(fd, info.data(), info.size());
    if (::close(fd) != 0 && writeErr == 0) writeErr = errno;
    if (writeErr != 0) {
      ::unlink(infoPath.c_str());
      shell_detail::RaiseWriteFailure(writeErr);
    }

    if (::rename(originalText.c_str(), target.c_str()) == 0) return target;
    int err = errno;
    if (err == EXDEV) {
      // Another file system: copy into the trash, then remove the original.
      std::filesystem::copy(
          originalText, target,
          std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks, ec);
      if (!ec) {
        std::filesystem::remove_all(originalText, ec);
        if (!ec) return target;
        // Part of the original may be gone already: the complete copy stays in the trash.
        RaiseErrno(ec.value(), Missing::File);
      }
      err = ec.value();
      std::error_code ignored;
      std::filesystem::remove_all(target, ignored);
    }
    ::unlink(infoPath.c_str());
    RaiseErrno(err, Missing::File);
  }
}
