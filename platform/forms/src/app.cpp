// The application object, the screen, DoEvents, End and Beep.
#include "forms/app.h"


#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/msgbox.h"
#include "shell/files.h"
#include "shell/instance.h"
#include "shell/process.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_internal.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_ended{false};

std::vector<std::string> OwnArguments() {
  std::ifstream f("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string a;
  while (std::getline(f, a, '\0')) args.push_back(a);
  return args;
}

fs::path ExePath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : p;
}

}  // namespace

namespace forms_detail {

QApplication* EnsureApplication() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
  // The application object keeps argc and argv for its whole life.
  static std::vector<std::string> args = OwnArguments();
  static std::vector<char*> argv;
  static int argc = 0;
  if (args.empty()) args.push_back("program");
  for (auto& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  argc = static_cast<int>(args.size());
  auto* app = new QApplication(argc, argv.data());
  QApplication::setQuitOnLastWindowClosed(false);
  // The runtime's own dialogs (message boxes, file dialogs, the property frame's buttons) and the
  // menus speak in the designs' dialog face at its pixel size, as the forms' controls do.
  QApplication::setFont(QtFont(StdFont{}));
  // Senders waiting on this program's windows are released when it ends, however it ends.
  QObject::connect(app, &QCoreApplication::aboutToQuit, [] { ShutdownMessages(); });
  QObject::connect(app, &QObject::destroyed, [] { ShutdownMessages(); });
  std::atexit([] { ShutdownMessages(); });
  return app;
}

bool Ended() { return g_ended; }

std::vector<Form*>& LoadedForms() {
  static std::vector<Form*> forms;
  return forms;
}

int LoadedFormCount() { return static_cast<int>(LoadedForms().size()); }

QCursor CursorOf(int16_t pointer) {
  switch (pointer) {
    case vbCrosshair: return Qt::CrossCursor;
    case vbIbeam: return Qt::IBeamCursor;
    case vbSizePointer:
    case vbSizeAll: return Qt::SizeAllCursor;
    case vbSizeNESW: return Qt::SizeBDiagCursor;
    case vbSizeNS: return Qt::SizeVerCursor;
    case vbSizeNWSE: return Qt::SizeFDiagCursor;
    case vbSizeWE: return Qt::SizeHorCursor;
    case vbUpArrow: return Qt::UpArrowCursor;
    case vbHourglass: return Qt::WaitCursor;
    case vbNoDrop: return Qt::ForbiddenCursor;
    case vbArrowHourglass: return Qt::BusyCursor;
    case vbArrowQuestion: return Qt::WhatsThisCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace forms_detail

// ---- App --------------------------------------------------------------------------------------

AppObject& App() {
  static AppObject app = [] {
    AppObject a;
    a.Major = SUITE_VERSION_MAJOR;
    a.Minor = SUITE_VERSION_MINOR;
    a.Revision = SUITE_VERSION_REVISION;
    return a;
  }();
  return app;
}

std::string AppObject::Path() const { return AppPath(); }

std::string AppObject::EXEName() const { return ExePath().stem().string(); }

std::string AppObject::Title() const { return AppTitle(); }
void AppObject::Title(const std::string& title) { SetAppTitle(title); }

bool AppObject::PrevInstance() const { return AnotherInstanceRuns(EXEName()); }

std::string Command() { return CommandTail(); }

// ---- Screen -----------------------------------------------------------------------------------

namespace {
int16_t g_screenPointer = vbDefault;
}

ScreenObject& Screen() {
  static ScreenObject s;
  return s;
}

int32_t ScreenObject::Width() const {
  forms_detail::EnsureApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() * 15 : 0;
}

int32_t ScreenObject::Height() const {
  forms_detail::EnsureApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() * 15 : 0;
}

int16_t ScreenObject::MousePointer() const { return g_screenPointer; }

void ScreenObject::MousePointer(int16_t pointer) {
  forms_detail::EnsureApplication();
  if (g_screenPointer != vbDefault) QApplication::restoreOverrideCursor();
  g_screenPointer = pointer;
  if (pointer != vbDefault) QApplication::setOverrideCursor(forms_detail::CursorOf(pointer));
}

// ---- DoEvents, End, Beep ---------------------------------------------------------------------

int16_t DoEvents() {
  forms_detail::EnsureApplication();
  forms_detail::DrainThreadMessages();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return static_cast<int16_t>(forms_detail::LoadedFormCount());
}

void End() {
  g_ended = true;
  forms_detail::ShutdownMessages();
  if (QCoreApplication::instance()) {
    for (QWidget* w : QApplication::topLevelWidgets()) w->hide();
  }
  std::fflush(nullptr);
  std::exit(0);
}

void Beep() {
  forms_detail::EnsureApplication();
  QApplication::beep();
}
