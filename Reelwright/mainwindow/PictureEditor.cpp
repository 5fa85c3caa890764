#include "mainwindow/PictureEditor.h"

#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "engine/modGeneral.h"
#include "forms/desktop_windows.h"
#include "forms/hwnd.h"
#include "shell/files.h"
#include "shell/process.h"

namespace {

constexpr const char* kPaint = "mspaint.exe";

std::string NotFound(const std::string& editor) { return "Can't find " + editor + " on your system."; }

// Clears a flag when the scope ends, however it ends.
class Raised {
 public:
  explicit Raised(bool& flag) : flag_(flag) { flag_ = true; }
  ~Raised() { flag_ = false; }
  Raised(const Raised&) = delete;
  Raised& operator=(const Raised&) = delete;

 private:
  bool& flag_;
};

}  // namespace

bool PictureEditor::IsPaintEditor(const std::string& editor) {
  const std::string lower = LCase(editor);
  return lower == kPaint || (lower.size() >= 11 && lower.compare(lower.size() - 11, 11, kPaint) == 0);
}

bool PictureEditor::EditPicture(std::string& file, std::string& editor) {
  if (Busy()) return false;
  std::string command;
  if (!editor.empty()) {
    if (!modGeneral::FileExists(editor)) {
      MsgBox(NotFound(editor), vbOKOnly);
      return false;
    }
    command = editor + " \"" + file + "\"";
  } else {
    editor = kPaint;
    const std::string paint = FindExecutable(editor);
    if (LCase(modGeneral::GetFileNameFromPath(paint)) != "mspaint") {
      MsgBox(NotFound(editor), vbOKOnly);
      return false;
    }
    command = paint + " \"" + file + "\"";
  }

  int32_t processId = 0;
  try {
    processId = Shell(command, vbNormalFocus);
  } catch (const VBError&) {
    Err().Clear();
    MsgBox("Can't start " + editor + ".", vbOKOnly);
    return false;
  }

  int32_t window = 0;
  {
    Raised waiting(waiting_);
    const double start = Timer();
    for (;;) {
      window = modGeneral::FindWindowOfProcess(processId);
      if (window != 0 || !ProcessIsRunning(processId)) break;
      double waited = Timer() - start;
      if (waited < 0) waited += 86400;  // the timer restarted at midnight
      if (waited >= kWindowWaitSeconds) break;
      modGeneral::Pause(0.5);
    }
  }
  if (window == 0) return false;

  // One of our own windows by its handle, another program's by the window system's id.
  const HWND hwnd = static_cast<HWND>(window);
  EditorWindowTitle = IsWindow(hwnd) ? GetWindowText(hwnd) : DesktopWindowText(hwnd);
  if (EditorWindowTitle.empty()) {
    MsgBox("Reelwright could not get control of the editor.\r\n"
           "If you make any changes to this image, please\r\n"
           "reload the edited file into the project.",
           vbOKOnly);
    return false;
  }
  editorWindow_ = window;
  watching_ = true;
  return true;
}

bool PictureEditor::EditorWindowGone() {
  if (!watching_) return false;
  // The window found stays the one watched whatever its caption becomes: editors that show the
  // picture's changed state or a new name in their caption keep the watch until they close.
  const HWND hwnd = static_cast<HWND>(editorWindow_);
  if (IsWindow(hwnd) || DesktopWindowExists(static_cast<uint32_t>(editorWindow_))) return false;
  if (FindWindow(nullptr, EditorWindowTitle.c_str()) != 0) return false;
  watching_ = false;
  editorWindow_ = 0;
  return true;
}
