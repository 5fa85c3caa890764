// The replaceable responder, the scripted responder, InputBox and folder browsing.
#include "forms/responder.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace {

std::mutex g_mutex;
std::shared_ptr<Responder>& Installed() {
  static std::shared_ptr<Responder> r;
  return r;
}

// Message boxes of the runtime go to the responder from the moment this library is loaded.
const bool g_routed = [] {
  SetMsgBoxHandler([](const MsgBoxRequest& request) { return CurrentResponder()->MessageBox(request); });
  return true;
}();

std::string Describe(const MsgBoxRequest& r) {
  return "message box \"" + r.prompt + "\" titled \"" + r.title + "\" (buttons " + std::to_string(r.buttons) + ")";
}

std::string Describe(const DialogRequest& r) {
  std::string s = std::string(DialogKindName(r.kind)) + " dialog";
  if (!r.title.empty()) s += " titled \"" + r.title + "\"";
  if (!r.prompt.empty()) s += " asking \"" + r.prompt + "\"";
  return s;
}

}  // namespace

const char* DialogKindName(DialogKind kind) {
  switch (kind) {
    case DialogKind::Open: return "open";
    case DialogKind::Save: return "save";
    case DialogKind::Color: return "colour";
    case DialogKind::Font: return "font";
    case DialogKind::Folder: return "folder";
    case DialogKind::Input: return "input";
    case DialogKind::Network: return "network folder";
  }
  return "unknown";
}

std::shared_ptr<Responder> SetResponder(std::shared_ptr<Responder> responder) {
  (void)g_routed;
  std::lock_guard lock(g_mutex);
  return std::exchange(Installed(), std::move(responder));
}

std::shared_ptr<Responder> CurrentResponder() {
  std::lock_guard lock(g_mutex);
  auto& r = Installed();
  if (!r) {
    // Under the test harness nobody is there to answer a real box: a box no test scripted ends
    // the run with what it asked instead of waiting forever.
    if (std::getenv("SUITE_TEST_SCRATCH")) {
      r = std::make_shared<ScriptedResponder>();
    } else {
      r = MakeWindowResponder();
    }
  }
  return r;
}

// ---- ScriptedResponder --------------------------------------------------------------------

ScriptedResponder::ScriptedResponder() {
  unexpected_ = [](const std::string& what) {
    std::fprintf(stderr, "unexpected %s\n", what.c_str());
    std::abort();
  };
}

ScriptedResponder& ScriptedResponder::AnswerMsgBox(int result) {
  Step s;
  s.isMsgBox = true;
  s.result = result;
  script_.push_back(std::move(s));
  return *this;
}

ScriptedResponder& ScriptedResponder::AnswerDialog(DialogKind kind, DialogAnswer answer) {
  Step s;
  s.kind = kind;
  s.answer = std::move(answer);
  script_.push_back(std::move(s));
  return *this;
}

std::vector<MsgBoxRequest> ScriptedResponder::MsgBoxes() const {
  std::vector<MsgBoxRequest> out;
  for (auto& a : asked_) {
    if (a.isMsgBox) out.push_back(a.msgBox);
  }
  return out;
}

std::vector<DialogRequest> ScriptedResponder::Dialogs() const {
  std::vector<DialogRequest> out;
  for (auto& a : asked_) {
    if (!a.isMsgBox) out.push_back(a.dialog);
  }
  return out;
}

int ScriptedResponder::MessageBox(const MsgBoxRequest& request) {
  Asked a;
  a.isMsgBox = true;
  a.msgBox = request;
  asked_.push_back(a);
  if (script_.empty() || !script_.front().isMsgBox) {
    unexpected_(Describe(request));
    return DefaultMsgBoxAnswer(request.buttons);
  }
  int r = script_.front().result;
  script_.pop_front();
  return r;
}

DialogAnswer ScriptedResponder::Dialog(const DialogRequest& request) {
  Asked a;
  a.dialog = request;
  asked_.push_back(a);
  if (script_.empty() || script_.front().isMsgBox || script_.front().kind != request.kind) {
    unexpected_(Describe(request));
    return DialogAnswer::Cancel();
  }
  DialogAnswer r = std::move(script_.front().answer);
  script_.pop_front();
  return r;
}

// ---- InputBox and folder browsing ---------------------------------------------------------

std::string InputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) {
  DialogRequest r;
  r.kind = DialogKind::Input;
  r.prompt = prompt;
  r.title = title.empty() ? AppTitle() : title;
  r.defaultText = defaultText;
  DialogAnswer a = CurrentResponder()->Dialog(r);
  return a.accepted ? a.text : std::string();
}

std::string BrowseForFolder(const std::string& instruction, HWND owner, const std::string& initDir) {
  return BrowseForFolder(BrowseInfo{owner, instruction, BIF_RETURNONLYFSDIRS, initDir});
}

std::string BrowseForFolder(const BrowseInfo& info) {
  DialogRequest r;
  r.kind = DialogKind::Folder;
  r.prompt = info.title;
  r.owner = info.owner;
  r.initDir = info.initDir;
  r.flags = static_cast<int32_t>(info.flags);
  DialogAnswer a = CurrentResponder()->Dialog(r);
  return a.accepted ? a.text : std::string();
}
