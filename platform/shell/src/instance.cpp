#include "shell/instance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"
#include "userfolder.h"

namespace {

std::string LockPath(const std::string& programName) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder;
  if (runtime != nullptr && runtime[0] == '/') {
    folder = shell_detail::OwnFolderIn(runtime, "reelwright");
  } else {
    folder = shell_detail::OwnFolderIn("/tmp", "reelwright-" + std::to_string(::getuid()));
  }
  return folder + programName + ".instance";
}

// Opens the lock file (created when absent, never through a link). -1 when it cannot be opened.
int OpenLock(const std::string& programName) {
  try {
    return ::open(LockPath(programName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  } catch (const VBError&) {
    return -1;
  }
}

// Tries the lock: true when taken (fd then holds it), false when someone else holds it.
bool TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

bool AnotherInstanceRuns(const std::string& programName) {
  static std::mutex mutex;
  static std::map<std::string, bool> answers;
  std::lock_guard<std::mutex> hold(mutex);
  auto known = answers.find(programName);
  if (known != answers.end()) return known->second;
  bool another = false;
  int fd = OpenLock(programName);
  if (fd >= 0) {
    if (TryLock(fd)) {
      // Kept open, and so locked, until the process ends.
    } else {
      another = errno == EWOULDBLOCK;
      ::close(fd);
    }
  }
  answers[programName] = another;
  return another;
}

bool ProgramRuns(const std::string& programName) {
  int fd = OpenLock(programName);
  if (fd < 0) return false;
  bool free = TryLock(fd);
  bool held = !free && errno == EWOULDBLOCK;
  ::close(fd);  // drops the lock when it was taken here
  return held;
}
