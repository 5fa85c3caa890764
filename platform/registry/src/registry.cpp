// The registry's calls on top of the hive files.
//
// Each hive lives in its own text file (<folder>/HKEY_CURRENT_USER.reg, ...). A process keeps the
// tree it last read and compares the file's identity (device, inode, size, modification time) on
// every call: a file that another process replaced is read again. The file is never changed in
// place; a write builds the whole new text in a temporary file, syncs it and renames it over the
// old one, so a crash leaves either the old or the new file. Every read-modify-write holds an
// exclusive flock on <folder>/<hive>.lock and re-reads the file under it first, so that writers in
// several processes never lose each other's changes. The file that was read is kept open, so its
// inode number cannot be handed to a newer file while we still compare against it.
//
// A hive file that cannot be parsed (cut short, garbled, not a hive file) is reported once on
// standard error and renamed to <file>.damaged-<date>-<time> (never overwritten, never deleted);
// the hive then starts empty. When the damaged file cannot be set aside, the hive is not used at
// all and the calls fail with ERROR_BADDB, so that nothing is written over it. Something that is
// no regular file at a hive's path (a FIFO, a device) is never read: it is reported once, left
// where it is, and the hive reads as empty (writes fail). Temporary files of writers killed while
// saving are removed the first time a process uses the hive, under the hive's lock.
#include "registry/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "hive.h"

namespace {

using registry::detail::FileTimeNow;
using registry::detail::Fold;
using registry::detail::Key;
using registry::detail::Value;

constexpr int kHiveCount = 3;
constexpr const char* kHiveNames[kHiveCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                "HKEY_LOCAL_MACHINE"};
constexpr size_t kMaxKeyNameLength = 255;

struct Hive {
  Key root;
  bool loaded = false;
  std::string path;  // the file the tree was read from
  bool fileExists = false;
  int heldFd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};

  void Hold(int fd, const struct stat& st) {
    if (heldFd >= 0) close(heldFd);
    heldFd = fd;
    fileExists = true;
    dev = st.st_dev;
    ino = st.st_ino;
    size = st.st_size;
    mtime = st.st_mtim;
  }
  void Empty(const std::string& file) {
    root = Key();
    if (heldFd >= 0) close(heldFd);
    heldFd = -1;
    fileExists = false;
    loaded = true;
    path = file;
  }
  bool Matches(const struct stat& st) const {
    return fileExists && dev == st.st_dev && ino == st.st_ino && size == st.st_size &&
           mtime.tv_sec == st.st_mtim.tv_sec && mtime.tv_nsec == st.st_mtim.tv_nsec;
  }
};

struct OpenKey {
  int hive = 0;
  std::vector<std::string> path;  // folded names below the hive's root
  REGSAM sam = 0;
};

struct State {
  std::mutex mutex;
  Hive hives[kHiveCount];
  std::map<HKEY, OpenKey> handles;
  HKEY next = 0x1000;
  std::set<std::string> reported;  // files whose trouble has been reported already
  std::set<std::string> swept;     // hive files whose folder was cleared of stale temporary files
};

State& S() {
  static State* s = new State;  // lives as long as the process: other globals may still call us
  return *s;
}

std::string HivePath(int h) { return registry::Folder() + "/" + kHiveNames[h] + ".reg"; }

void ReportOnce(State& s, const std::string& file, const std::string& message) {
  if (!s.reported.insert(file + "\n" + message).second) return;
  std::fprintf(stderr, "registry: %s\n", message.c_str());
}

LSTATUS ErrnoStatus(int e) { return e == EACCES || e == EPERM || e == EROFS ? ERROR_ACCESS_DENIED : ERROR_BADDB; }

bool MakeFolders(const std::string& folder) {
  std::string part;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = folder.find('/', pos + 1);
    part = folder.substr(0, pos);
    if (part.empty()) continue;
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The exclusive lock every read-modify-write of a hive holds.
class HiveLock {
 public:
  HiveLock() = default;
  HiveLock(const HiveLock&) = delete;
  HiveLock& operator=(const HiveLock&) = delete;
  ~HiveLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the flock
  }
  LSTATUS Acquire(int h) {
    std::string folder = registry::Folder();
    if (!MakeFolders(folder)) return ErrnoStatus(errno);
    std::string file = folder + "/" + kHiveNames[h] + ".lock";
    fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return ErrnoStatus(errno);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return ErrnoStatus(errno);
    }
    return ERROR_SUCCESS;
  }

 private:
  int fd_ = -1;
};

bool ReadAll(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    out.append(buf, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Moves a damaged hive file out of the way under a name of its own. Called with the hive's
// lock held. Returns the new name, or "" when the file could not be moved.
std::string SetAside(const std::string& file) {
  char stamp[32];
  time_t now = time(nullptr);
  struct tm tmv;
  localtime_r(&now, &tmv);
  strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tmv);
  for (int n = 1; n < 1000; ++n) {
    std::string target = file + ".damaged-" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
    if (link(file.c_str(), target.c_str()) == 0) {
      if (unlink(file.c_str()) != 0) {
        unlink(target.c_str());
        return {};
      }
      return target;
    }
    if (errno == EEXIST) continue;
    // No hard links on this file system: rename, having checked the name is free (we hold the lock).
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) continue;
    if (rename(file.c_str(), target.c_str()) == 0) return target;
    return {};
  }
  return {};
}

// Removes the temporary files (<hive>.reg.tmp-<pid>) of writers that were killed while they
// saved: under the hive's lock no save is under way, and a file whose process no longer runs
// (or is this process) will never be renamed into place.
void SweepTemporaries(int h, bool haveLock) {
  const std::string folder = registry::Folder();
  const std::string prefix = std::string(kHiveNames[h]) + ".reg.tmp-";
  std::vector<std::pair<std::string, pid_t>> found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
      std::string digits = name.substr(prefix.size());
      if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
      found.emplace_back(folder + "/" + name, static_cast<pid_t>(std::stol(digits)));
    }
    closedir(dir);
  }
  if (found.empty()) return;
  HiveLock lock;
  if (!haveLock && lock.Acquire(h) != ERROR_SUCCESS) return;
  for (const auto& [path, pid] : found) {
    bool gone = pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH);
    struct stat st;
    if (gone && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
  }
}

// Brings the hive's tree up to date with its file.
LSTATUS Refresh(State& s, int h, bool haveLock) {
  Hive& hv = s.hives[h];
  std::string file = HivePath(h);
  if (s.swept.insert(file).second) SweepTemporaries(h, haveLock);
  for (int attempt = 0; attempt < 8; ++attempt) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        if (!hv.loaded || hv.fileExists || hv.path != file) hv.Empty(file);
        return ERROR_SUCCESS;
      }
      ReportOnce(s, file, "cannot read " + file + ": " + std::strerror(errno));
      return ErrnoStatus(errno);
    }
    if (!S_ISREG(st.st_mode)) {
      // A FIFO, device or folder: reading it could block for good or never end. It is no hive;
      // it is left where it is (and never written over), and the hive starts empty.
      ReportOnce(s, file, file + " is not a regular file; it is left alone and the " + kHiveNames[h] +
                              " hive starts empty");
      if (!hv.loaded || hv.fileExists || hv.path != file) hv.Empty(file);
      return ERROR_SUCCESS;
    }
    if (hv.loaded && hv.path == file && hv.Matches(st)) return ERROR_SUCCESS;

    int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // replaced or removed meanwhile
      ReportOnce(s, file, "cannot read " + file + ": " + std::strerror(errno));
      return ErrnoStatus(errno);
    }
    struct stat fst;
    if (fstat(fd, &fst) == 0 && !S_ISREG(fst.st_mode)) {
      close(fd);  // replaced by something else meanwhile: look again
      continue;
    }
    std::string text;
    if (fstat(fd, &fst) != 0 || !ReadAll(fd, text)) {
      int e = errno;
      close(fd);
      ReportOnce(s, file, "cannot read " + file + ": " + std::strerror(e));
      return ERROR_BADDB;
    }
    Key fresh;
    std::string reason;
    if (registry::detail::Parse(text, kHiveNames[h], fresh, reason)) {
      hv.root = std::move(fresh);
      hv.Hold(fd, fst);
      hv.loaded = true;
      hv.path = file;
      return ERROR_SUCCESS;
    }

    // Damaged. Set it aside under the lock, unless another process has replaced it meanwhile.
    HiveLock lock;
    if (!haveLock) {
      if (LSTATUS r = lock.Acquire(h); r != ERROR_SUCCESS) {
        close(fd);
        ReportOnce(s, file, file + " is damaged (" + reason + ") and cannot be set aside; the " +
                                kHiveNames[h] + " hive is not used");
        return ERROR_BADDB;
      }
    }
    struct stat now;
    bool same = stat(file.c_str(), &now) == 0 && now.st_dev == fst.st_dev && now.st_ino == fst.st_ino;
    close(fd);
    if (!same) continue;
    std::string kept = SetAside(file);
    if (kept.empty()) {
      ReportOnce(s, file, file + " is damaged (" + reason + ") and cannot be set aside (" +
                              std::strerror(errno) + "); the " + kHiveNames[h] + " hive is not used");
      return ERROR_BADDB;
    }
    ReportOnce(s, file, file + " is damaged (" + reason + "); it is kept as " + kept + " and the " +
                            kHiveNames[h] + " hive starts empty");
    hv.Empty(file);
    return ERROR_SUCCESS;
  }
  return ERROR_BADDB;
}

// Writes the hive's tree to its file: temporary file, sync, rename, sync of the folder.
LSTATUS Save(State& s, int h) {
  Hive& hv = s.hives[h];
  std::string file = HivePath(h);
  std::string temp = file + ".tmp-" + std::to_string(getpid());
  std::string text = registry::detail::Serialize(hv.root, kHiveNames[h]);
  struct stat existing;
  if (stat(file.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
    ReportOnce(s, file, "cannot write " + file + ": it is not a regular file");
    return ERROR_BADDB;
  }
  // A leftover of this process id (an earlier process) goes; the file is then made anew, never
  // through a link.
  unlink(temp.c_str());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return ErrnoStatus(errno);
  struct stat st;
  if (!WriteAll(fd, text) || fsync(fd) != 0 || fstat(fd, &st) != 0 ||
      rename(temp.c_str(), file.c_str()) != 0) {
    int e = errno;
    close(fd);
    unlink(temp.c_str());
    ReportOnce(s, file, "cannot write " + file + ": " + std::strerror(e));
    return ErrnoStatus(e);
  }
  int dir = open(registry::Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  hv.Hold(fd, st);
  hv.loaded = true;
  hv.path = file;
  return ERROR_SUCCESS;
}

// A read-modify-write of one hive. change returns its status and sets changed when it altered
// the tree; it must leave the tree alone when it fails.
LSTATUS Mutate(State& s, int h, const std::function<LSTATUS(Key& root, bool& changed)>& change) {
  HiveLock lock;
  if (LSTATUS r = lock.Acquire(h); r != ERROR_SUCCESS) return r;
  if (LSTATUS r = Refresh(s, h, true); r != ERROR_SUCCESS) return r;
  bool changed = false;
  LSTATUS r = change(s.hives[h].root, changed);
  if (changed) {
    if (LSTATUS w = Save(s, h); w != ERROR_SUCCESS) {
      s.hives[h].loaded = false;  // the file is what counts: read it again next time
      return w;
    }
  }
  return r;
}

LSTATUS Resolve(State& s, HKEY key, OpenKey& out) {
  if (key >= HKEY_CLASSES_ROOT && key <= HKEY_LOCAL_MACHINE) {
    out.hive = static_cast<int>(key - HKEY_CLASSES_ROOT);
    out.path.clear();
    out.sam = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  auto it = s.handles.find(key);
  if (it == s.handles.end()) return ERROR_INVALID_HANDLE;
  out = it->second;
  return ERROR_SUCCESS;
}

// Splits a subkey path into folded names; a trailing separator is allowed.
LSTATUS SplitPath(const std::string& sub, std::vector<std::string>& names, std::vector<std::string>* spelled = nullptr) {
  names.clear();
  if (spelled) spelled->clear();
  if (sub.find('\0') != std::string::npos) return ERROR_INVALID_PARAMETER;
  size_t end = sub.size();
  while (end > 0 && (sub[end - 1] == '\\' || sub[end - 1] == '/')) --end;
  if (end == 0) return ERROR_SUCCESS;
  size_t start = 0;
  while (start <= end) {
    size_t sep = sub.find_first_of("\\/", start);
    if (sep == std::string::npos || sep > end) sep = end;
    std::string part = sub.substr(start, sep - start);
    if (part.empty() || part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    names.push_back(Fold(part));
    if (spelled) spelled->push_back(std::move(part));
    start = sep + 1;
  }
  return ERROR_SUCCESS;
}

// The key a handle stands for and the folded names of a subkey path below it.
LSTATUS ResolvePath(State& s, HKEY key, const std::string& subKey, OpenKey& ok, std::vector<std::string>& names,
                    std::vector<std::string>* spelled = nullptr) {
  if (LSTATUS r = Resolve(s, key, ok); r != ERROR_SUCCESS) return r;
  return SplitPath(subKey, names, spelled);
}

Key* Walk(Key& root, const std::vector<std::string>& path, size_t count = SIZE_MAX) {
  Key* k = &root;
  for (size_t i = 0; i < path.size() && i < count && k; ++i) k = k->FindSubKey(path[i]);
  return k;
}

HKEY NewHandle(State& s, int hive, std::vector<std::string> path, REGSAM sam) {
  HKEY h = s.next;
  s.next += 4;
  s.handles[h] = OpenKey{hive, std::move(path), sam};
  return h;
}

LSTATUS CopyData(const std::vector<uint8_t>& value, BYTE* data, DWORD* cbData) {
  if (!cbData) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(value.size());
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, value.data(), size);
  }
  *cbData = size;
  return ERROR_SUCCESS;
}

void PutFileTime(void* out, uint64_t t) {
  if (out) std::memcpy(out, &t, sizeof t);
}

// Opens the key behind a handle for reading: resolves, checks access, refreshes the hive.
LSTATUS ReadableKey(State& s, HKEY key, REGSAM need, Key*& k) {
  OpenKey ok;
  if (LSTATUS r = Resolve(s, key, ok); r != ERROR_SUCCESS) return r;
  if ((ok.sam & need) != need) return ERROR_ACCESS_DENIED;
  if (LSTATUS r = Refresh(s, ok.hive, false); r != ERROR_SUCCESS) return r;
  k = Walk(s.hives[ok.hive].root, ok.path);
  return k ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LSTATUS WriteToKey(State& s, HKEY key, REGSAM need, const std::function<LSTATUS(Key&, bool&)>& change) {
  OpenKey ok;
  if (LSTATUS r = Resolve(s, key, ok); r != ERROR_SUCCESS) return r;
  if ((ok.sam & need) != need) return ERROR_ACCESS_DENIED;
  return Mutate(s, ok.hive, [&](Key& root, bool& changed) -> LSTATUS {
    Key* k = Walk(root, ok.path);
    if (!k) return ERROR_KEY_DELETED;
    return change(*k, changed);
  });
}

}  // namespace

LSTATUS RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD /*options*/, REGSAM sam, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = 0;
  State& s = S();
  std::lock_guard guard(s.mutex);
  OpenKey ok;
  std::vector<std::string> names;
  if (LSTATUS r = ResolvePath(s, key, subKey, ok, names); r != ERROR_SUCCESS) return r;
  if (LSTATUS r = Refresh(s, ok.hive, false); r != ERROR_SUCCESS) return r;
  Key* k = Walk(s.hives[ok.hive].root, ok.path);
  if (!k) return ERROR_KEY_DELETED;
  for (const auto& n : names) {
    k = k->FindSubKey(n);
    if (!k) return ERROR_FILE_NOT_FOUND;
  }
  ok.path.insert(ok.path.end(), names.begin(), names.end());
  *result = NewHandle(s, ok.hive, std::move(ok.path), sam);
  return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD /*reserved*/, const char* /*klass*/,
                       DWORD /*options*/, REGSAM sam, void* /*security*/, HKEY* result, DWORD* disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = 0;
  State& s = S();
  std::lock_guard guard(s.mutex);
  OpenKey ok;
  std::vector<std::string> names, spelled;
  if (LSTATUS r = ResolvePath(s, key, subKey, ok, names, &spelled); r != ERROR_SUCCESS) return r;

  // Most calls find the key there already: no lock and no write for those.
  if (LSTATUS r = Refresh(s, ok.hive, false); r != ERROR_SUCCESS) return r;
  Key* base = Walk(s.hives[ok.hive].root, ok.path);
  if (!base) return ERROR_KEY_DELETED;
  bool created = false;
  Key* k = base;
  for (const auto& n : names)
    if (k) k = k->FindSubKey(n);
  if (!k) {
    if (!(ok.sam & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    LSTATUS r = Mutate(s, ok.hive, [&](Key& root, bool& changed) -> LSTATUS {
      Key* cur = Walk(root, ok.path);
      if (!cur) return ERROR_KEY_DELETED;
      uint64_t now = FileTimeNow();
      for (const auto& part : spelled) {
        bool made = false;
        Key* next = cur->AddSubKey(part, &made);
        if (made) {
          cur->written = now;
          next->written = now;
          created = changed = true;
        }
        cur = next;
      }
      return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return r;
  }
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  ok.path.insert(ok.path.end(), names.begin(), names.end());
  *result = NewHandle(s, ok.hive, std::move(ok.path), sam);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (key >= HKEY_CLASSES_ROOT && key <= HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  State& s = S();
  std::lock_guard guard(s.mutex);
  return s.handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* /*reserved*/, DWORD* type,
                        BYTE* data, DWORD* cbData) {
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  State& s = S();
  std::lock_guard guard(s.mutex);
  Key* k = nullptr;
  if (LSTATUS r = ReadableKey(s, key, KEY_QUERY_VALUE, k); r != ERROR_SUCCESS) return r;
  const Value* v = k->FindValue(Fold(valueName));
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  return CopyData(v->data, data, cbData);
}

LSTATUS RegSetValueEx(HKEY key, const std::string& valueName, DWORD /*reserved*/, DWORD type,
                      const BYTE* data, DWORD cbData) {
  if (!data && cbData) return ERROR_INVALID_PARAMETER;
  if (valueName.find('\0') != std::string::npos) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> bytes(data, data + (data ? cbData : 0));
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      // The stored size always counts the terminating NUL, also when the caller left it out.
      if (bytes.empty() || bytes.back() != 0) bytes.push_back(0);
      break;
    case REG_MULTI_SZ:
      if (bytes.empty() || bytes.back() != 0) bytes.push_back(0);
      if (bytes.size() > 1 && bytes[bytes.size() - 2] != 0) bytes.push_back(0);
      break;
    case REG_DWORD:
      if (cbData != 4) return ERROR_INVALID_PARAMETER;
      break;
    default:
      break;
  }
  State& s = S();
  std::lock_guard guard(s.mutex);
  // An unchanged value is not written again.
  OpenKey ok;
  if (LSTATUS r = Resolve(s, key, ok); r != ERROR_SUCCESS) return r;
  if (!(ok.sam & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (Refresh(s, ok.hive, false) == ERROR_SUCCESS) {
    Key* k = Walk(s.hives[ok.hive].root, ok.path);
    const Value* v = k ? k->FindValue(Fold(valueName)) : nullptr;
    if (v && v->type == type && v->data == bytes) return ERROR_SUCCESS;
  }
  return WriteToKey(s, key, KEY_SET_VALUE, [&](Key& k, bool& changed) -> LSTATUS {
    k.SetValue(valueName, type, std::move(bytes));
    k.written = FileTimeNow();
    changed = true;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValue(HKEY key, const std::string& valueName) {
  State& s = S();
  std::lock_guard guard(s.mutex);
  return WriteToKey(s, key, KEY_SET_VALUE, [&](Key& k, bool& changed) -> LSTATUS {
    if (!k.RemoveValue(Fold(valueName))) return ERROR_FILE_NOT_FOUND;
    k.written = FileTimeNow();
    changed = true;
    return ERROR_SUCCESS;
  });
}

namespace {
// Deletes the key subKey below key: leaves only (its subkeys must be gone) or whole trees.
LSTATUS DeleteKey(HKEY key, const std::string& subKey, bool tree) {
  State& s = S();
  std::lock_guard guard(s.mutex);
  OpenKey ok;
  std::vector<std::string> names;
  if (LSTATUS r = ResolvePath(s, key, subKey, ok, names); r != ERROR_SUCCESS) return r;
  std::vector<std::string> path = ok.path;
  path.insert(path.end(), names.begin(), names.end());
  if (path.empty() && !tree) return ERROR_ACCESS_DENIED;  // a hive's root cannot be deleted
  return Mutate(s, ok.hive, [&](Key& root, bool& changed) -> LSTATUS {
    if (!Walk(root, ok.path)) return ERROR_KEY_DELETED;
    if (tree && names.empty()) {
      // Without a subkey the tree below the key goes, the key itself stays.
      Key* k = Walk(root, ok.path);
      if (k->SubKeys().empty() && k->Values().empty()) return ERROR_SUCCESS;
      k->ClearSubKeys();
      k->ClearValues();
      k->written = FileTimeNow();
      changed = true;
      return ERROR_SUCCESS;
    }
    Key* parent = Walk(root, path, path.size() - 1);
    Key* target = parent ? parent->FindSubKey(path.back()) : nullptr;
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (!tree && !target->SubKeys().empty()) return ERROR_ACCESS_DENIED;
    parent->RemoveSubKey(path.back());
    parent->written = FileTimeNow();
    changed = true;
    return ERROR_SUCCESS;
  });
}
}  // namespace

LSTATUS RegDeleteKey(HKEY key, const std::string& subKey) { return DeleteKey(key, subKey, false); }

LSTATUS RegDeleteTree(HKEY key, const std::string& subKey) { return DeleteKey(key, subKey, true); }

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, char* name, DWORD* cchName, DWORD* /*reserved*/,
                     char* klass, DWORD* cchClass, void* lastWriteTime) {
  if (!name || !cchName) return ERROR_INVALID_PARAMETER;
  State& s = S();
  std::lock_guard guard(s.mutex);
  Key* k = nullptr;
  if (LSTATUS r = ReadableKey(s, key, KEY_ENUMERATE_SUB_KEYS, k); r != ERROR_SUCCESS) return r;
  if (index >= k->SubKeys().size()) return ERROR_NO_MORE_ITEMS;
  const Key& sub = *k->SubKeys()[index];
  const std::string& n = sub.Name();
  if (*cchName < n.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *cchName = static_cast<DWORD>(n.size());
  if (cchClass) {  // keys carry no class text
    if (klass && *cchClass < 1) return ERROR_MORE_DATA;
    if (klass) klass[0] = '\0';
    *cchClass = 0;
  }
  PutFileTime(lastWriteTime, sub.written);
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValue(HKEY key, DWORD index, char* valueName, DWORD* cchValueName, DWORD* /*reserved*/,
                     DWORD* type, BYTE* data, DWORD* cbData) {
  if (!valueName || !cchValueName) return ERROR_INVALID_PARAMETER;
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  State& s = S();
  std::lock_guard guard(s.mutex);
  Key* k = nullptr;
  if (LSTATUS r = ReadableKey(s, key, KEY_QUERY_VALUE, k); r != ERROR_SUCCESS) return r;
  if (index >= k->Values().size()) return ERROR_NO_MORE_ITEMS;
  const Value& v = k->Values()[index];
  if (*cchValueName < v.name.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(valueName, v.name.c_str(), v.name.size() + 1);
  *cchValueName = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  return CopyData(v.data, data, cbData);
}

LSTATUS RegQueryInfoKey(HKEY key, char* klass, DWORD* cchClass, DWORD* /*reserved*/, DWORD* subKeys,
                        DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen,
                        DWORD* maxValueLen, DWORD* securityDescriptor, void* lastWriteTime) {
  State& s = S();
  std::lock_guard guard(s.mutex);
  Key* k = nullptr;
  if (LSTATUS r = ReadableKey(s, key, KEY_QUERY_VALUE, k); r != ERROR_SUCCESS) return r;
  if (cchClass) {
    if (klass && *cchClass < 1) return ERROR_MORE_DATA;
    if (klass) klass[0] = '\0';
    *cchClass = 0;
  }
  DWORD maxSub = 0, maxName = 0, maxData = 0;
  for (const auto& sub : k->SubKeys()) maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(sub->Name().size()));
  for (const auto& v : k->Values()) {
    maxName = std::max<DWORD>(maxName, static_cast<DWORD>(v.name.size()));
    maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(k->SubKeys().size());
  if (maxSubKeyLen) *maxSubKeyLen = maxSub;
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = static_cast<DWORD>(k->Values().size());
  if (maxValueNameLen) *maxValueNameLen = maxName;
  if (maxValueLen) *maxValueLen = maxData;
  if (securityDescriptor) *securityDescriptor = 0;  // keys carry no security descriptor
  PutFileTime(lastWriteTime, k->written);
  return ERROR_SUCCESS;
}

namespace registry {

std::string Folder() {
  if (const char* d = std::getenv("SUITE_REGISTRY_DIR"); d && *d) return d;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') return std::string(x) + "/reelwright/registry";
  std::string home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  return home + "/.config/reelwright/registry";
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyEx(root, path, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return std::nullopt;
  std::optional<std::string> result;
  DWORD type = 0, size = 0;
  if (RegQueryValueEx(k, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::vector<BYTE> buf(size + 1, 0);
    DWORD got = size;
    // The value may change between the two calls; a second size query settles it.
    LSTATUS r;
    while ((r = RegQueryValueEx(k, name, nullptr, &type, buf.data(), &got)) == ERROR_MORE_DATA) {
      buf.assign(got + 1, 0);
    }
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
      std::string text(reinterpret_cast<const char*>(buf.data()), got);
      result = text.substr(0, text.find('\0'));
    }
  }
  RegCloseKey(k);
  return result;
}

bool WriteString(HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  HKEY k;
  if (RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return false;
  LSTATUS r = RegSetValueEx(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

std::optional<uint32_t> ReadDword(HKEY root, const std::string& path, const std::string& name) {
  HKEY k;
  if (RegOpenKeyEx(root, path, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return std::nullopt;
  uint32_t v = 0;
  DWORD type = 0, size = sizeof v;
  LSTATUS r = RegQueryValueEx(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_DWORD || size != sizeof v) return std::nullopt;
  return v;
}

bool WriteDword(HKEY root, const std::string& path, const std::string& name, uint32_t value) {
  HKEY k;
  if (RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return false;
  LSTATUS r = RegSetValueEx(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY k;
  if (RegOpenKeyEx(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY k;
  if (RegOpenKeyEx(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS) return names;
  std::vector<char> buf(kMaxKeyNameLength + 1);
  for (DWORD i = 0;; ++i) {
    DWORD cch = static_cast<DWORD>(buf.size());
    if (RegEnumKeyEx(k, i, buf.data(), &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(buf.data(), cch);
  }
  RegCloseKey(k);
  return names;
}

bool DeleteTree(HKEY root, const std::string& path) { return RegDeleteTree(root, path) == ERROR_SUCCESS; }

}  // namespace registry
