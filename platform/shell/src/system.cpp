#include "shell/system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <climits>
#include <string>
#include <unistd.h>

#include "core/error.h"
#include "core/system_messages.h"
#include "shell/files.h"
#include "oserror.h"

namespace {

constexpr size_t kMaxPath = 260;

// Win32 codes for a failed create: a missing folder, a full disk, else the folder refused it.
DWORD LastErrorOf(int err) {
  const DWORD code = shell_detail::LastErrorFromErrno(err);
  return code == 3 || code == 112 ? code : 5;
}

std::string TempName(const std::string& folder, const std::string& prefix, uint32_t number) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(number));
  return folder + prefix + hex + ".TMP";
}

// A starting number that differs between calls and processes.
uint32_t StartNumber() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  uint32_t n = static_cast<uint32_t>(now.tv_nsec / 1000) ^ static_cast<uint32_t>(::getpid() * 2654435761u);
  n &= 0xFFFFu;
  return n == 0 ? 1 : n;
}

}  // namespace

uint32_t GetTempFileNameA(const char* pathName, const char* prefix, uint32_t unique, char* tempFileName) {
  if (tempFileName == nullptr) {
    SetLastError(87);
    return 0;
  }
  std::string folder = pathName != nullptr ? pathName : "";
  if (folder.empty()) {
    try {
      folder = CurDir();
    } catch (const VBError&) {
      SetLastError(3);
      return 0;
    }
  }
  if (folder.back() != '/') folder += '/';
  std::string shortPrefix = prefix != nullptr ? std::string(prefix).substr(0, 3) : std::string();
  auto give = [&](const std::string& name) {
    std::memcpy(tempFileName, name.c_str(), name.size() + 1);
  };

  unique &= 0xFFFFu;
  if (unique != 0) {
    std::string name = TempName(folder, shortPrefix, unique);
    if (name.size() >= kMaxPath) {
      SetLastError(111);
      return 0;
    }
    give(name);
    return unique;
  }
  const uint32_t start = StartNumber();
  uint32_t number = start;
  do {
    std::string name = TempName(folder, shortPrefix, number);
    if (name.size() >= kMaxPath) {
      SetLastError(111);
      return 0;
    }
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      give(name);
      return number;
    }
    if (errno != EEXIST) {
      SetLastError(LastErrorOf(errno));
      return 0;
    }
    number = number == 0xFFFFu ? 1 : number + 1;
  } while (number != start);
  SetLastError(80);  // every name is taken
  return 0;
}

uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) {
  const std::string folder = SystemDirectory();
  if (buffer == nullptr || folder.size() + 1 > size) return static_cast<uint32_t>(folder.size() + 1);
  std::memcpy(buffer, folder.c_str(), folder.size() + 1);
  return static_cast<uint32_t>(folder.size());
}
