// Ending requests from the desktop: the session manager's quit request and SIGTERM, SIGINT, SIGHUP.
#include "forms/end_requests.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <vector>

#include "forms/app.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

int g_termPipe[2] = {-1, -1};
bool g_terminating = false;
constexpr int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

void SetEndSignals(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : kEndSignals) sigaction(sig, &sa, nullptr);
}

void OnTerm(int) {
  // Only async-signal-safe calls here. A second request while this one waits for the window
  // thread ends the process.
  const int saved = errno;
  SetEndSignals(SIG_DFL);
  const char byte = 1;
  ssize_t written = ::write(g_termPipe[1], &byte, 1);
  (void)written;
  errno = saved;
}

}  // namespace

bool AskFormsToClose(int16_t unloadMode) {
  for (Form* f : std::vector<Form*>(LoadedForms())) {
    if (!f->IsLoaded()) continue;  // gone with an earlier one
    if (!UnloadForm(*f, unloadMode)) return false;
  }
  return true;
}

bool TerminationRequested() { return g_terminating; }

void InstallEndRequests() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QApplication* app = EnsureApplication();
  QObject::connect(app, &QGuiApplication::commitDataRequest, app, [](QSessionManager& manager) {
    bool closed = true;
    Guard([&] { closed = AskFormsToClose(vbAppWindows); });
    if (!closed && manager.allowsInteraction()) manager.cancel();
  });
  if (::pipe2(g_termPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_termPipe[0], QSocketNotifier::Read, app);
  QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
    char buf[16];
    while (::read(g_termPipe[0], buf, sizeof buf) > 0) {
    }
    bool closed = false;
    g_terminating = true;
    Guard([&] { closed = AskFormsToClose(vbAppTaskManager); });
    g_terminating = closed;
    // Every window has closed in order. The message loop then ends by itself; before it runs
    // (a run started from the command line inside the first window's load) the program ends here.
    if (closed && !MessageLoopRuns()) End();
    SetEndSignals(OnTerm);
  });
  SetEndSignals(OnTerm);
}
