#include "core/msgbox.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <utility>

namespace {
std::mutex g_mutex;
MsgBoxHandler& Handler() {
  static MsgBoxHandler h;
  return h;
}

std::string ProgramName() {
  std::ifstream f("/proc/self/comm");
  std::string name;
  std::getline(f, name);
  return name;
}

std::string& Title() {
  static std::string t = ProgramName();
  return t;
}
}  // namespace

MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler) {
  std::lock_guard lock(g_mutex);
  return std::exchange(Handler(), std::move(handler));
}

const std::string& AppTitle() { return Title(); }
void SetAppTitle(std::string title) { Title() = std::move(title); }

int DefaultMsgBoxAnswer(int buttons) {
  int set = buttons & 7;
  int which = (buttons >> 8) & 3;  // 0 = first button
  static const int answers[6][3] = {
      {vbOK, vbOK, vbOK},           {vbOK, vbCancel, vbCancel}, {vbAbort, vbRetry, vbIgnore},
      {vbYes, vbNo, vbCancel},      {vbYes, vbNo, vbNo},        {vbRetry, vbCancel, vbCancel}};
  if (set > 5) set = 0;
  if (which > 2) which = 2;
  return answers[set][which];
}

int MsgBox(const std::string& prompt, int buttons, const std::optional<std::string>& title) {
  MsgBoxRequest req{prompt, buttons, title ? *title : AppTitle()};
  MsgBoxHandler h;
  {
    std::lock_guard lock(g_mutex);
    h = Handler();
  }
  if (h) return h(req);
  std::fprintf(stderr, "[%s] %s\n", req.title.c_str(), req.prompt.c_str());
  return DefaultMsgBoxAnswer(buttons);
}
