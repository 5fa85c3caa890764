#include "engine/modGeneral.h"

#include <climits>
#include <unistd.h>

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_datetime.h"
#include "core/system_messages.h"
#include "forms/app.h"
#include "forms/commondialog.h"
#include "forms/desktop_windows.h"
#include "forms/hwnd.h"
#include "shell/files.h"
#include "shell/process.h"
#include "shell/trash.h"

namespace modGeneral {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// What a delete declined by the user answers (the system's "cancelled by the user").
constexpr int32_t kDeleteCancelled = 1223;

HWND AsHandle(int32_t window) { return static_cast<HWND>(static_cast<uint32_t>(window)); }
int32_t AsLong(uint32_t value) { return static_cast<int32_t>(value); }

// The system's text for one of its codes, without the line end; "" when it has none.
std::string SystemText(DWORD code) {
  char buffer[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x0400,
                                 buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

constexpr DWORD kAccessDenied = 5;
constexpr DWORD kNameTooLong = 206;

}  // namespace

std::string NewRenderSideFile(const std::string& target, const std::string& stem, const std::string& suffix,
                              std::string& why) {
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  if (base.size() > static_cast<size_t>(longest)) {
    why = SystemText(kNameTooLong);
    return {};
  }
  std::string made;
  SetLastError(0);
  try {
    made = NewSideFile(stem, suffix);
  } catch (const VBError& e) {
    why = SystemText(GetLastError());
    if (why.empty()) why = e.Description();
    Err().Clear();
    return {};
  }
  if (!CanReplace(made)) {
    ::unlink(made.c_str());
    why = SystemText(kAccessDenied);
    return {};
  }
  return made;
}

void OpenSupportPage() { ShellOpen(kSupportPageAddress); }

void SendMailToMaker() { ShellOpen(std::string("mailto:") + kSupportMailAddress); }

std::string StripNulls(const std::string& text) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c != '\0') kept.push_back(c);
  }
  return kept;
}

std::string GetTempFolder() {
  std::string folder;
  EndQuietly([&] { folder = StripNulls(TempFolder()); });
  Err().Clear();
  return folder;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  return ::FileExists(path);
}

int32_t DeleteToRecycleBin(std::string& path, bool allowUndo, bool confirm, bool showProgress) {
  (void)showProgress;  // one item goes at once: there is no progress to show
  int32_t result = 0;
  if (!EndQuietly([&] {
        // A folder named with a trailing slash is the folder itself (and a link to a folder the
        // link, not the folder it leads to). One slash goes; a name that still ends with one
        // names nothing, as the look-up below takes no folder separator at the end.
        if (!path.empty() && path.back() == '/') path.pop_back();
        // Nothing of that name (the empty path and the root folder among them): nothing to do.
        if (path.empty() || path.back() == '/' || !PathExists(path)) return;
        // "dir/." and "dir/sub/.." name a folder through itself or its parent, not one item.
        const std::string last = path.substr(path.find_last_of('/') + 1);
        if (last == "." || last == "..") return;
        if (confirm) {
          std::string name = path.substr(path.find_last_of('/') + 1);
          std::string question = allowUndo ? "Are you sure you want to move \"" + name + "\" to the trash?"
                                           : "Are you sure you want to delete \"" + name + "\" for good?";
          if (MsgBox(question, vbYesNo | vbQuestion) != vbYes) {
            result = kDeleteCancelled;
            return;
          }
        }
        if (allowUndo) {
          MoveToTrash(path);
        } else {
          DeletePath(path);
        }
      })) {
    result = Err().Number;
    Err().Clear();
  }
  return result;
}

std::string ShowSaveDialog(const std::string& initialFolder, const std::string& defaultExtension,
                           const std::string& filter) {
  std::string chosen;
  EndQuietly([&] {
    // No overwrite question and no error on Cancel: a cancelled dialog leaves FileName empty.
    CommonDialogObject dialog;
    dialog.Filter = filter;
    dialog.DefaultExt = defaultExtension;
    dialog.InitDir = initialFolder;
    dialog.ShowSave();
    chosen = dialog.FileName;
  });
  Err().Clear();
  return chosen;
}

void Pause(double seconds) {
  Screen().MousePointer(vbArrowHourglass);
  // The timer counts seconds since midnight and starts again from 0 there; the wait adds up the
  // steps between readings so that a midnight on the way does not stretch it to a day. A clock
  // set back by a little counts as no time passing.
  double elapsed = 0;
  double last = Timer();
  while (elapsed < seconds) {
    DoEvents();
    double now = Timer();
    double step = now - last;
    if (step < 0) step = step < -kSecondsPerDay / 2 ? step + kSecondsPerDay : 0;
    elapsed += step;
    last = now;
  }
  Screen().MousePointer(vbDefault);
}

std::string GetFileNameFromPath(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int32_t GetWindowProcessId(int32_t window) {
  HWND hwnd = AsHandle(window);
  if (hwnd == 0) return 0;
  uint32_t processId = 0;
  if (IsWindow(hwnd)) {
    GetWindowThreadProcessId(hwnd, &processId);
    return AsLong(processId);
  }
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    if (w.window == hwnd) return AsLong(w.processId);
  }
  return 0;
}

int32_t FindWindowOfProcess(int32_t processId) {
  if (processId == 0) return 0;
  if (processId == AsLong(static_cast<uint32_t>(getpid()))) {
    for (HWND w : TopLevelWindows()) {
      if (GetParent(w) == 0) return AsLong(w);
    }
    return 0;
  }
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    if (AsLong(w.processId) == processId && w.owner == 0) return AsLong(w.window);
  }
  return 0;
}

}  // namespace modGeneral
