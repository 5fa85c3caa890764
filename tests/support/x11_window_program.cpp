// A stand-in for another program on an X11 desktop, for tests: it creates one top-level window
// and writes "created <X11 window id>" to its standard output, then waits for the line "show" on
// its standard input, shows the window and writes "shown" once the window is on screen. Each
// further line "dialog" shows a dialog that belongs to the window and writes "dialog <X11 window
// id>" once it is on screen; "minimize" minimises the window and writes "minimized" once the
// window manager has done so; "hide" hides it and writes "hidden". "drag <file>|<file>..." writes
// "armed"; the next mouse press on the window then starts a drag of those files (as a file
// manager drags them: text/uri-list, a copy offered), writes "dragging", and once the drag ends
// "dragged <action>" (1 copy, 0 none). It keeps running until it is killed or its standard input
// closes.
//
// Started by the program under test (as an outside program it starts), it is driven through
// environment variables instead: SUITE_WINDOW_PROGRAM_ARGS names a file it writes its arguments
// to, one a line; SUITE_WINDOW_PROGRAM_CAPTION is its window's first caption;
// SUITE_WINDOW_PROGRAM_LATE=1 keeps the window hidden until the command "show";
// SUITE_WINDOW_PROGRAM_FIFO names a FIFO it reads commands from, one a line: "caption <text>",
// "show", "close" (the window closes and the program ends).
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDrag>
#include <QEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The next line of standard input; false at its end.
bool ReadLine(std::string& line) {
  line.clear();
  char c = 0;
  for (;;) {
    ssize_t n = read(0, &c, 1);
    if (n <= 0) return false;
    if (c == '\n') return true;
    line += c;
  }
}

// Writes a line once the watched window is first on screen.
class ExposeReporter : public QObject {
 public:
  explicit ExposeReporter(std::string line) : line_(std::move(line)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWindow*>(watched);
    if (!reported_ && window && event->type() == QEvent::Expose && window->isExposed()) {
      reported_ = true;
      std::printf("%s\n", line_.c_str());
      std::fflush(stdout);
    }
    return false;
  }

 private:
  std::string line_;
  bool reported_ = false;
};

// Starts a drag of the armed files at the next mouse press on the watched widget.
class DragStarter : public QObject {
 public:
  QList<QUrl> files;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (files.isEmpty() || event->type() != QEvent::MouseButtonPress) return false;
    auto* mime = new QMimeData;
    mime->setUrls(std::exchange(files, {}));
    QDrag drag(watched);
    drag.setMimeData(mime);
    // Told once the drag's own event loop runs: the drag has then taken the pointer, so the
    // motions that follow are the drag's (told before, on a busy machine they could pass first).
    QTimer::singleShot(0, [] {
      std::printf("dragging\n");
      std::fflush(stdout);
    });
    Qt::DropAction action = drag.exec(Qt::CopyAction);
    std::printf("dragged %d\n", action == Qt::CopyAction ? 1 : 0);
    std::fflush(stdout);
    return true;
  }
};

// The program as an outside program the program under test started.
int Driven(QApplication& app, int argc, char** argv) {
  if (const char* argsFile = std::getenv("SUITE_WINDOW_PROGRAM_ARGS")) {
    // Written under another name and renamed, so that a reader never sees half of it.
    std::string temp = std::string(argsFile) + ".part";
    if (FILE* f = std::fopen(temp.c_str(), "w")) {
      for (int i = 1; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
      std::fclose(f);
      std::rename(temp.c_str(), argsFile);
    }
  }
  QWidget window;
  const char* caption = std::getenv("SUITE_WINDOW_PROGRAM_CAPTION");
  window.setWindowTitle(QString::fromUtf8(caption ? caption : "x11 window program"));
  window.resize(240, 120);
  const char* late = std::getenv("SUITE_WINDOW_PROGRAM_LATE");
  if (!late || std::string(late) != "1") window.show();
  const char* fifo = std::getenv("SUITE_WINDOW_PROGRAM_FIFO");
  if (!fifo) return app.exec();
  // Opened for writing as well, so that the FIFO never reports its end when a writer closes it.
  int fd = open(fifo, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 2;
  std::string pending;
  QSocketNotifier commands(fd, QSocketNotifier::Read);
  QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    pending.append(buffer, static_cast<size_t>(n));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (line.rfind("caption ", 0) == 0) {
        window.setWindowTitle(QString::fromUtf8(line.substr(8)));
      } else if (line == "show") {
        window.show();
      } else if (line == "close") {
        window.close();
        app.quit();
      }
    }
  });
  int rc = app.exec();
  close(fd);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (std::getenv("SUITE_WINDOW_PROGRAM_FIFO") || std::getenv("SUITE_WINDOW_PROGRAM_ARGS")) {
    return Driven(app, argc, argv);
  }
  QWidget window;
  window.setWindowTitle("x11 window program");
  window.resize(240, 120);
  // winId() makes the native window now, without showing it.
  std::printf("created %llu\n", static_cast<unsigned long long>(window.winId()));
  std::fflush(stdout);

  std::string line;
  if (!ReadLine(line) || line != "show") return 0;
  ExposeReporter shown("shown");
  window.windowHandle()->installEventFilter(&shown);
  window.show();

  DragStarter dragStarter;
  window.installEventFilter(&dragStarter);
  std::vector<std::unique_ptr<QDialog>> dialogs;
  std::vector<std::unique_ptr<ExposeReporter>> reporters;
  std::string pending;
  // Further commands come while the event loop runs; the program ends when whoever started it
  // closes our standard input (or kills us).
  QSocketNotifier input(0, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char c = 0;
    if (read(0, &c, 1) <= 0) {
      input.setEnabled(false);
      app.quit();
      return;
    }
    if (c != '\n') {
      pending += c;
      return;
    }
    if (pending == "dialog") {
      auto dialog = std::make_unique<QDialog>(&window);
      dialog->setWindowTitle("x11 window program dialog");
      dialog->resize(160, 80);
      WId id = dialog->winId();
      reporters.push_back(std::make_unique<ExposeReporter>("dialog " + std::to_string(id)));
      dialog->windowHandle()->installEventFilter(reporters.back().get());
      dialog->show();
      dialogs.push_back(std::move(dialog));
    } else if (pending == "minimize") {
      // Reported once the window manager has taken the window to its iconic state.
      QObject::connect(window.windowHandle(), &QWindow::windowStateChanged, &app, [](Qt::WindowState state) {
        if (state == Qt::WindowMinimized) {
          std::printf("minimized\n");
          std::fflush(stdout);
        }
      });
      window.showMinimized();
    } else if (pending.rfind("drag ", 0) == 0) {
      for (const QString& file : QString::fromStdString(pending.substr(5)).split('|', Qt::SkipEmptyParts))
        dragStarter.files.push_back(QUrl::fromLocalFile(file));
      std::printf("armed\n");
      std::fflush(stdout);
    } else if (pending == "hide") {
      window.hide();
      std::printf("hidden\n");
      std::fflush(stdout);
    }
    pending.clear();
  });
  int rc = app.exec();
  dialogs.clear();
  return rc;
}
