// Names typed into the program's own open and save dialogs (the window responder's Qt dialog,
// driven here in process): a single-file dialog answers exactly the name typed, in the folder
// shown, whatever it holds (quotes, semicolons, blanks, non-ASCII letters, a leading dash); a
// name it cannot use is refused inside the dialog, which stays open.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "fixtures.h"
#include "forms/app.h"
#include "forms/commondialog.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"

namespace fs = std::filesystem;

namespace {

// The program's responder for one test. A dialog still open after a minute (a name the dialog
// took in a way the test did not foresee) is closed as a failure instead of hanging the run.
struct WindowResponderScope {
  WindowResponderScope() {
    forms_detail::EnsureApplication();
    previous = SetResponder(MakeWindowResponder());
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
      ADD_FAILURE() << "a dialog was left open";
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
      }
    });
    guard.start(60000);
  }
  ~WindowResponderScope() { SetResponder(previous); }
  std::shared_ptr<Responder> previous;
  QTimer guard;
};

// Runs `act` once a modal window that `is` accepts is open (polled from the event loop, so it
// also runs inside nested modal loops).
void WhenModalOpens(std::function<bool(QWidget*)> is, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, is, act] {
    QWidget* w = QApplication::activeModalWidget();
    if (w && is(w)) {
      timer->stop();
      timer->deleteLater();
      act(w);
    }
  });
  timer->start();
}

bool IsFileDialog(QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; }
bool IsMessageBox(QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; }

QAbstractButton* AcceptButton(QFileDialog* d) {
  auto* box = d->findChild<QDialogButtonBox*>("buttonBox");
  if (!box) return nullptr;
  return box->button(d->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save);
}

// Types the name into the dialog's name box as a user does and presses its accept button.
// Returns false when the button cannot be pressed.
bool TypeAndAccept(QFileDialog* d, const std::string& name) {
  auto* box = d->findChild<QLineEdit*>("fileNameEdit");
  if (!box) return false;
  box->setFocus();
  box->clear();
  for (const QChar c : QString::fromStdString(name)) box->insert(QString(c));
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  QAbstractButton* ok = AcceptButton(d);
  if (!ok || !ok->isEnabled()) return false;
  ok->click();
  return true;
}

// The next box over the dialog: its text is recorded, and it is answered with `button`.
void AnswerNextBox(QString* text, QMessageBox::StandardButton button) {
  WhenModalOpens(IsMessageBox, [text, button](QWidget* w) {
    auto* box = static_cast<QMessageBox*>(w);
    *text = box->text();
    if (QAbstractButton* b = box->button(button)) {
      b->click();
    } else {
      box->reject();
    }
  });
}

std::string Folder(const std::string& name) {
  const std::string dir = fixtures::ScratchFolder(name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// The files of a folder.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

struct DialogCase {
  const char* what;
  DialogKind kind;
  int32_t flags;
  bool existing;  // the file exists before the dialog (an open dialog that wants one)
};

const DialogCase kDialogs[] = {
    {"save", DialogKind::Save, cdlOFNOverwritePrompt | cdlOFNHideReadOnly, false},
    {"open of a new name", DialogKind::Open, cdlOFNHideReadOnly, false},
    {"open of an existing file", DialogKind::Open, cdlOFNFileMustExist, true},
    {"multi-select open of one file", DialogKind::Open, cdlOFNAllowMultiselect | cdlOFNExplorer | cdlOFNFileMustExist,
     true},
};

const char* const kNames[] = {
    "out 'q' \"d\" \xC3\xBC;x.avi",  // quotes, a semicolon, a non-ASCII letter
    "a\"b.avi",
    "\"quoted\".avi",
    "semi;colon;.avi",
    "two  blanks .avi",
    "-leading dash.avi",
    "\xC3\xBC\xC3\xB1 \xE6\x9D\xB1\xE4\xBA\xAC.avi",
    "tape 5\".avi",
    "~tilde.avi",
};

}  // namespace

// Through the common dialog object and the window responder: FileName is the folder shown and
// the name exactly as typed, FileTitle the name; nothing is created and nothing else is named.
TEST(FileDialogNames, ASingleFileDialogAnswersExactlyTheNameTyped) {
  WindowResponderScope scope;
  int n = 0;
  for (const DialogCase& c : kDialogs) {
    for (const char* name : kNames) {
      SCOPED_TRACE(std::string(c.what) + ": " + name);
      const std::string dir = Folder("names" + std::to_string(n++));
      const std::string wanted = dir + "/" + name;
      if (c.existing) std::ofstream(wanted) << "x";
      bool pressed = false;
      WhenModalOpens(IsFileDialog, [&](QWidget* w) {
        auto* d = static_cast<QFileDialog*>(w);
        pressed = TypeAndAccept(d, name);
        if (!pressed) d->reject();
      });
      CommonDialogObject dialog;
      dialog.Filter = "AVI files (*.avi)|*.avi|All Files (*.*)|*.*";
      dialog.FilterIndex = 1;
      dialog.InitDir = dir;
      dialog.Flags = c.flags;
      if (c.kind == DialogKind::Save) {
        dialog.ShowSave();
      } else {
        dialog.ShowOpen();
      }
      EXPECT_TRUE(pressed) << "the accept button takes the name";
      EXPECT_EQ(dialog.FileName, wanted);
      EXPECT_EQ(dialog.FileTitle, name);
      EXPECT_EQ(FilesIn(dir), c.existing ? std::vector<std::string>{name} : std::vector<std::string>{})
          << "nothing is created";
    }
  }
}

// A name typed without an extension gets the default one; a name that holds one keeps it.
TEST(FileDialogNames, TheDefaultExtensionIsAddedToANameWithout) {
  WindowResponderScope scope;
  const std::string dir = Folder("defaultext");
  struct Case {
    const char* typed;
    const char* answered;
  };
  for (const Case& c : {Case{"tape 5\"", "tape 5\".avi"}, Case{"a \"b\" c", "a \"b\" c.avi"},
                        Case{"-x;y", "-x;y.avi"}, Case{"clip.mpg", "clip.mpg"}}) {
    SCOPED_TRACE(c.typed);
    WhenModalOpens(IsFileDialog, [&](QWidget* w) {
      auto* d = static_cast<QFileDialog*>(w);
      if (!TypeAndAccept(d, c.typed)) d->reject();
    });
    CommonDialogObject dialog;
    dialog.InitDir = dir;
    dialog.DefaultExt = "avi";
    dialog.Filter = "AVI files (*.avi)|*.avi";
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileName, dir + "/" + c.answered);
  }
}

// Names the dialog cannot use are refused with a box over it, and it stays open until a usable
// name is given; a save dialog that asks before replacing asks, and No keeps it open.
TEST(FileDialogNames, ANameTheDialogCannotUseIsRefusedInTheDialog) {
  WindowResponderScope scope;
  const std::string dir = Folder("refused");
  std::ofstream(dir + "/there \"already\".avi") << "x";
  fs::create_directories(dir + "/sub \"folder\"");
  std::ofstream(dir + "/sub \"folder\"/fine; \"name\".avi") << "x";
  struct Case {
    const char* what;
    DialogKind kind;
    int32_t flags;
    std::string typed;
    const char* box;  // a part of the box's text
  };
  const Case cases[] = {
      {"a missing folder", DialogKind::Save, 0, "no such folder/x.avi", "does not exist"},
      {"a name too long", DialogKind::Save, 0, std::string(300, 'n') + ".avi", "too long"},
      {"a missing file that must exist", DialogKind::Open, cdlOFNFileMustExist, "missing \"x\".avi", "File not found"},
      {"replacing, answered No", DialogKind::Save, cdlOFNOverwritePrompt, "there \"already\".avi", "already exists"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The open dialog's file must exist; the save dialogs' must not (no second question).
    const std::string final = c.kind == DialogKind::Open ? "fine; \"name\".avi" : "new; \"name\".avi";
    QString shown;
    bool stayedOpen = false;
    WhenModalOpens(IsFileDialog, [&](QWidget* w) {
      auto* d = static_cast<QFileDialog*>(w);
      AnswerNextBox(&shown, QMessageBox::No);
      TypeAndAccept(d, c.typed);
      stayedOpen = d->isVisible();
      // A folder's name opens the folder; a usable name then ends the dialog.
      TypeAndAccept(d, "sub \"folder\"");
      TypeAndAccept(d, final);
    });
    CommonDialogObject dialog;
    dialog.InitDir = dir;
    dialog.Flags = c.flags;
    dialog.Filter = "All Files (*.*)|*.*";
    if (c.kind == DialogKind::Save) {
      dialog.ShowSave();
    } else {
      dialog.ShowOpen();
    }
    EXPECT_TRUE(shown.contains(c.box)) << shown.toStdString();
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialog.FileName, dir + "/sub \"folder\"/" + final);
  }
}

// Answered Yes, the replace question lets the existing name through.
TEST(FileDialogNames, ReplacingAnsweredYesTakesTheName) {
  WindowResponderScope scope;
  const std::string dir = Folder("replace");
  const std::string name = "old \"one\";.avi";
  std::ofstream(dir + "/" + name) << "x";
  QString shown;
  WhenModalOpens(IsFileDialog, [&](QWidget* w) {
    AnswerNextBox(&shown, QMessageBox::Yes);
    if (!TypeAndAccept(static_cast<QFileDialog*>(w), name)) static_cast<QFileDialog*>(w)->reject();
  });
  CommonDialogObject dialog;
  dialog.InitDir = dir;
  dialog.Flags = cdlOFNOverwritePrompt;
  dialog.ShowSave();
  EXPECT_TRUE(shown.contains("already exists")) << shown.toStdString();
  EXPECT_EQ(dialog.FileName, dir + "/" + name);
  EXPECT_EQ(fixtures::ReadFile(dir + "/" + name).size(), 1u) << "the dialog itself writes nothing";
}
