// The program's own responder: real Qt message boxes and dialogs, answered here by finding the
// open box and pressing its buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "caption_fit.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "forms/qt/hwnd_qt.h"

namespace {

// Runs `act` on the first modal window once it is open.
void WhenModalOpens(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      act(w);
    }
  });
  timer->start();
}

struct WindowResponderScope {
  WindowResponderScope() {
    forms_detail::EnsureApplication();
    previous = SetResponder(MakeWindowResponder());
  }
  ~WindowResponderScope() { SetResponder(previous); }
  std::shared_ptr<Responder> previous;
};

}  // namespace

TEST(WindowResponder, MessageBoxShowsTextTitleIconAndButtons) {
  WindowResponderScope scope;
  struct Case {
    int style;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton press;
    QMessageBox::StandardButton defaultButton;
    int answer;
  };
  const Case cases[] = {
      {vbYesNoCancel | vbQuestion | vbDefaultButton2, QMessageBox::Question, QMessageBox::Cancel, QMessageBox::No,
       vbCancel},
      {vbYesNo | vbCritical, QMessageBox::Critical, QMessageBox::No, QMessageBox::Yes, vbNo},
      {vbOKOnly, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, vbOK},
      {vbRetryCancel | vbExclamation, QMessageBox::Warning, QMessageBox::Retry, QMessageBox::Retry, vbRetry},
      {vbAbortRetryIgnore | vbInformation | vbDefaultButton3, QMessageBox::Information, QMessageBox::Ignore,
       QMessageBox::Ignore, vbIgnore},
  };
  for (const Case& c : cases) {
    std::string seenTitle, seenText;
    QMessageBox::Icon seenIcon{};
    QMessageBox::StandardButton seenDefault{};
    WhenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      seenTitle = box->windowTitle().toStdString();
      seenText = box->text().toStdString();
      seenIcon = box->icon();
      seenDefault = box->standardButton(box->defaultButton());
      box->button(c.press)->click();
    });
    EXPECT_EQ(MsgBox("Do you want to save your changes?", c.style, std::string("Reelwright")), c.answer);
    EXPECT_EQ(seenTitle, "Reelwright");
    EXPECT_EQ(seenText, "Do you want to save your changes?");
    EXPECT_EQ(seenIcon, c.icon);
    EXPECT_EQ(seenDefault, c.defaultButton);
  }
}

TEST(WindowResponder, ABoxIsWideEnoughForItsTitle) {
  WindowResponderScope scope;
  // A short text under a long title: the title bar's text (bold) and its furniture still fit.
  const std::string title = "Default Compression Tool Started, a title longer than the text";
  int width = 0, titleWidth = 0;
  WhenModalOpens([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    QFont bold = box->font();
    bold.setBold(true);
    titleWidth = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
    width = box->width();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(MsgBox("Done.", vbOKOnly | vbInformation, title), vbOK);
  EXPECT_GT(width, titleWidth + 100) << "title " << titleWidth << " px";
}

// The box's text as the box shows it, whatever its shape: no line is cut by the box, and the box
// is wide enough for its title.
TEST(WindowResponder, ABoxsTextFitsTheBox) {
  WindowResponderScope scope;
  const std::string path = "/home/someone/Videos/" + std::string(120, 'x') + "/a clip with a long name.avi";
  struct Case {
    const char* shape;
    std::string text;
  } cases[] = {
      {"one short line", "Done."},
      {"a long sentence",
       "The movie could not be joined, because one of its clips has a frame size that the chosen compressor "
       "does not take; choose another compressor or another frame size and try again."},
      {"a long path", "The file " + path + " can not be found."},
      {"lines", "Windows Media Encoder is set as your default compressor\r\nbut it can't be found on your system."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape);
    std::vector<std::string> cut = {"not shown"};
    WhenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      cut = fit::CutCaptionsShown(*box);
      box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(MsgBox(c.text, vbOKOnly | vbExclamation, std::string("Reelwright")), vbOK);
    EXPECT_EQ(cut, std::vector<std::string>{});
  }
}

TEST(WindowResponder, InputBoxAnswersTheTypedTextOrNothing) {
  WindowResponderScope scope;
  for (bool accept : {true, false}) {
    WhenModalOpens([&](QWidget* w) {
      auto* dlg = qobject_cast<QInputDialog*>(w);
      ASSERT_NE(dlg, nullptr);
      EXPECT_EQ(dlg->labelText(), "Frame number:");
      EXPECT_EQ(dlg->textValue(), "12");
      dlg->setTextValue("34");
      if (accept) {
        dlg->accept();
      } else {
        dlg->reject();
      }
    });
    EXPECT_EQ(InputBox("Frame number:", "Go to", "12"), accept ? "34" : "");
  }
}

TEST(WindowResponder, FileDialogGetsTheFiltersFolderAndAnswer) {
  WindowResponderScope scope;
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  std::filesystem::path dir = std::filesystem::path(scratch ? scratch : "/tmp") / "filedialog";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "clip.avi") << "x";
  QStringList filters;
  QString selectedFilter, folder, title;
  WhenModalOpens([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    filters = dlg->nameFilters();
    selectedFilter = dlg->selectedNameFilter();
    folder = dlg->directory().absolutePath();
    title = dlg->windowTitle();
    dlg->selectFile(QString::fromStdString((dir / "clip.avi").string()));
    QMetaObject::invokeMethod(dlg, "accept");
  });
  DialogRequest r;
  r.kind = DialogKind::Open;
  r.title = "Open a movie";
  r.filter = "Movies (*.avi;*.mpg)|*.avi;*.mpg|All Files (*.*)|*.*";
  r.filterIndex = 2;
  r.initDir = dir.string();
  DialogAnswer a = CurrentResponder()->Dialog(r);
  // Patterns the description names already are not repeated.
  EXPECT_EQ(filters, (QStringList{"Movies (*.avi *.mpg)", "All Files (*.*)"}));
  EXPECT_EQ(selectedFilter, "All Files (*.*)");
  EXPECT_EQ(folder.toStdString(), dir.string());
  EXPECT_EQ(title, "Open a movie");
  ASSERT_TRUE(a.accepted);
  EXPECT_EQ(a.text, (dir / "clip.avi").string());
  EXPECT_EQ(a.filterIndex, 2);
}

TEST(WindowResponder, AnOpenDialogTakesATypedNameOfANewFile) {
  WindowResponderScope scope;
  const char* scratch = std::getenv("SUITE_TEST_SCRATCH");
  std::filesystem::path dir = std::filesystem::path(scratch ? scratch : "/tmp") / "newfile";
  std::filesystem::create_directories(dir);
  std::filesystem::path wanted = dir / "new output.avi";
  std::filesystem::remove(wanted);
  WhenModalOpens([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->selectFile(QString::fromStdString(wanted.string()));
    QMetaObject::invokeMethod(dlg, "accept");
  });
  DialogRequest r;
  r.kind = DialogKind::Open;
  r.filter = "AVI files (*.avi)|*.avi|All Files (*.*)|*.*";
  r.flags = 4;  // no read-only box; the file need not exist
  r.initDir = dir.string();
  DialogAnswer a = CurrentResponder()->Dialog(r);
  ASSERT_TRUE(a.accepted);
  EXPECT_EQ(a.text, wanted.string());
  EXPECT_FALSE(std::filesystem::exists(wanted)) << "nothing is created";
}
