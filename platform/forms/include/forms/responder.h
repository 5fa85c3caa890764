#pragma once
// Every message box, input box and common dialog of the program goes through one replaceable
// responder. The program's responder shows real windows; a test installs a ScriptedResponder
// that answers from a script in order and records what was asked.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/hresult.h"
#include "core/msgbox.h"
#include "forms/font.h"
#include "forms/hwnd.h"

enum class DialogKind { Open, Save, Color, Font, Folder, Input, Network };
const char* DialogKindName(DialogKind kind);

// What a dialog asks. Only the fields of its kind are meaningful.
struct DialogRequest {
  DialogKind kind = DialogKind::Open;
  std::string title;        // DialogTitle, the input box's title, folder browsing's window title
  std::string prompt;       // the input box's prompt, folder browsing's instruction text (and the
                            // network dialog's)
  std::string defaultText;  // the input box's default answer
  std::string filter;       // "desc|pattern|desc|pattern"
  int16_t filterIndex = 0;  // 1-based
  std::string fileName;
  std::string initDir;
  std::string defaultExt;
  int32_t flags = 0;
  OLE_COLOR color = 0;
  StdFont font;
  HWND owner = 0;
};

// A dialog's answer: accepted false is Cancel.
struct DialogAnswer {
  bool accepted = false;
  std::string text;                    // file name (with folder), folder, or typed text
  std::vector<std::string> fileNames;  // multi-select: every chosen file with its folder
  int16_t filterIndex = 0;             // 0 keeps the request's
  OLE_COLOR color = 0;
  StdFont font;
  static DialogAnswer Cancel() { return {}; }
  static DialogAnswer Ok(std::string text) {
    DialogAnswer a;
    a.accepted = true;
    a.text = std::move(text);
    return a;
  }
};

class Responder {
 public:
  virtual ~Responder() = default;
  // Answers with one of the VbMsgBoxResult values.
  virtual int MessageBox(const MsgBoxRequest& request) = 0;
  virtual DialogAnswer Dialog(const DialogRequest& request) = 0;
};

// Installs a responder (nullptr restores the default); returns the previous one. The default is
// the window responder, except under the test harness (SUITE_TEST_SCRATCH set), where it is a
// ScriptedResponder with an empty script: an unscripted box ends the test run.
std::shared_ptr<Responder> SetResponder(std::shared_ptr<Responder> responder);
// The responder in force; the reference held keeps it alive while a box it shows is open, even
// if another responder is installed meanwhile.
std::shared_ptr<Responder> CurrentResponder();

// The responder that shows Qt's own message boxes and dialogs.
std::shared_ptr<Responder> MakeWindowResponder();

// Answers from a script, in order, and records every request. A request the script does not
// expect (none left, or the next answer is for another kind) is reported to the unexpected
// handler and answered with Cancel (or the box's default button).
class ScriptedResponder : public Responder {
 public:
  struct Asked {
    bool isMsgBox = false;
    MsgBoxRequest msgBox;
    DialogRequest dialog;
  };
  using UnexpectedHandler = std::function<void(const std::string& what)>;

  // By default an unexpected request prints it and aborts the process.
  ScriptedResponder();
  // The next message box answers `result` (vbYes, vbOK, ...).
  ScriptedResponder& AnswerMsgBox(int result);
  // The next dialog of `kind` answers `answer`.
  ScriptedResponder& AnswerDialog(DialogKind kind, DialogAnswer answer);
  void OnUnexpected(UnexpectedHandler handler) { unexpected_ = std::move(handler); }

  const std::vector<Asked>& Requests() const { return asked_; }
  // The message boxes asked so far.
  std::vector<MsgBoxRequest> MsgBoxes() const;
  std::vector<DialogRequest> Dialogs() const;
  // Answers still waiting for their request.
  size_t Remaining() const { return script_.size(); }

  int MessageBox(const MsgBoxRequest& request) override;
  DialogAnswer Dialog(const DialogRequest& request) override;

 private:
  struct Step {
    bool isMsgBox = false;
    int result = 0;
    DialogKind kind = DialogKind::Open;
    DialogAnswer answer;
  };
  std::deque<Step> script_;
  std::vector<Asked> asked_;
  UnexpectedHandler unexpected_;
};

// The input box: prompt, title (the program's title when empty) and default text; answers the
// typed text, or "" on Cancel.
std::string InputBox(const std::string& prompt, const std::string& title = {},
                     const std::string& defaultText = {});

// Folder browsing: the chosen folder, or "" on Cancel.
std::string BrowseForFolder(const std::string& instruction, HWND owner = 0,
                            const std::string& initDir = {});

// Folder browsing as the shell's folder dialog is called: the owner window, the instruction text
// shown above the folders ("title"), the BIF_ flags and the folder to start in. Answers the whole
// path of the chosen folder (never cut to a length), "" on Cancel.
constexpr uint32_t BIF_RETURNONLYFSDIRS = 0x0001;
constexpr uint32_t BIF_NEWDIALOGSTYLE = 0x0040;
constexpr uint32_t BIF_NONEWFOLDERBUTTON = 0x0200;
constexpr uint32_t BIF_BROWSEINCLUDEFILES = 0x4000;
struct BrowseInfo {
  HWND owner = 0;
  std::string title;
  uint32_t flags = 0;
  std::string initDir;
};
std::string BrowseForFolder(const BrowseInfo& info);
