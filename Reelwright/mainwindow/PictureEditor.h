#pragma once
// Picture editing in an outside editor: starting the editor on a picture and watching its window.
// The main window runs a request through EditPicture; when that arms the watch it turns its
// one-second Timer1 on and hides itself, and at each tick asks EditorWindowGone; once that answers
// true it shows itself again and reloads the picture.
#include <cstdint>
#include <string>

class PictureEditor {
 public:
  // Whether an editor setting names the system's Paint program: "mspaint.exe", or a path whose
  // last 11 characters are that, letter case aside.
  static bool IsPaintEditor(const std::string& editor);

  // Starts editor on file and looks for its window. An empty editor is Paint, looked for as the
  // program "mspaint" (program folder, current folder, PATH); editor then reads "mspaint.exe".
  // A named editor is a file path, a bare name found in the current folder. The command is the
  // editor as written, a blank and the picture in double quotes, started in a normal window with
  // the focus. The editor's window is looked for after the start and again after each half-second
  // pause (window messages keep running) until it shows, the editor ends, or 10 s have passed.
  // Returns true when the watch is armed: the window was found and has a caption (kept whole in
  // EditorWindowTitle). Messages: "Can't find <editor> on your system." for an editor that is not
  // there, "Can't start <editor>." for one that cannot be started, and the "could not get
  // control" message for a window without caption. A request while another one waits for its
  // window or is watched does nothing and returns false.
  bool EditPicture(std::string& file, std::string& editor);

  // The watch's tick: false while the editor's window found by EditPicture exists (whatever its
  // caption has become) or some top-level window has the kept caption; true once neither holds,
  // which ends the watch.
  bool EditorWindowGone();

  // A request waits for its window or a watch is armed.
  bool Busy() const { return waiting_ || watching_; }
  bool Watching() const { return watching_; }

  // The caption of the editor's main window, read once it was found.
  std::string EditorWindowTitle;

  static constexpr double kWindowWaitSeconds = 10.0;

 private:
  bool waiting_ = false;
  bool watching_ = false;
  int32_t editorWindow_ = 0;  // the watched window: our handle, or the window system's id
};
