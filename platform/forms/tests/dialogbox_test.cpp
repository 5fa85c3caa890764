// Template dialogs: the template's text, the dialog procedure's messages, Enter, Esc and the close
// box, EndDialog, the presenter that answers for the user, and the active window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "forms/dialogbox.h"
#include "forms/qt/hwnd_qt.h"

namespace {

constexpr const char* kAbout =
    "DIALOG 0 0 268 85\n"
    "STYLE MODALFRAME CAPTION SYSMENU\n"
    "CAPTION \"About \"\"It\"\"\"\n"
    "FONT 8 \"MS Sans Serif\"\n"
    "DEFPUSHBUTTON \"OK\" 1 109 64 50 14\n"
    "PUSHBUTTON \"More\" 7 20 64 50 14\n"
    "LTEXT \"First line\" -1 29 21 217 14\n";

struct Log {
  std::vector<std::pair<UINT, WPARAM>> messages;
  LPARAM initParam = 0;
};

DLGPROC Recording(Log& log, bool endOnMore = false) {
  return [&log, endOnMore](HWND dialog, UINT msg, WPARAM w, LPARAM l) -> intptr_t {
    log.messages.push_back({msg, w});
    if (msg == WM_INITDIALOG) log.initParam = l;
    if (msg == WM_COMMAND && endOnMore && w == 7) {
      EndDialog(dialog, 70);
      return 1;
    }
    return 0;
  };
}

DialogTemplate Parsed(const char* text = kAbout) {
  DialogTemplate t;
  EXPECT_TRUE(ParseDialogTemplate(text, &t));
  return t;
}

TEST(DialogBox, ReadsTheTemplate) {
  DialogTemplate t = Parsed();
  EXPECT_EQ(t.caption, "About \"It\"");
  EXPECT_EQ(t.width, 268);
  EXPECT_EQ(t.height, 85);
  EXPECT_EQ(t.fontName, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(t.items[0].kind, "DEFPUSHBUTTON");
  EXPECT_EQ(t.items[1].id, 7);
  EXPECT_EQ(t.items[2].text, "First line");
  EXPECT_EQ(t.items[2].width, 217);
  for (const char* bad : {"", "LTEXT \"x\" 1 2 3 4 5\n", "DIALOG 0 0 0 10\n", "DIALOG 0 0 10 10\nBUTTONX 1\n",
                          "DIALOG 0 0 10 10\nLTEXT \"open 1 2 3 4 5\n"}) {
    DialogTemplate out;
    EXPECT_FALSE(ParseDialogTemplate(bad, &out)) << bad;
  }
  EXPECT_EQ(DialogBoxParam("/nonexistent/library.so", 102, 0, nullptr, 0), -1);
}

TEST(DialogBox, APresenterAnswersWithAButtonId) {
  forms_detail::EnsureApplication();
  DialogBoxRequest seen;
  auto previous = SetDialogBoxPresenter([&](const DialogBoxRequest& r) {
    seen = r;
    return 7;
  });
  Log log;
  EXPECT_EQ(DialogBoxIndirectParam(Parsed(), 0, Recording(log, true), 42), 70);
  EXPECT_EQ(seen.caption, "About \"It\"");
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"OK", "More", "First line"}));
  ASSERT_EQ(log.messages.size(), 2u);
  EXPECT_EQ(log.messages[0].first, WM_INITDIALOG);
  EXPECT_EQ(log.initParam, 42);
  EXPECT_EQ(log.messages[1], (std::pair<UINT, WPARAM>{WM_COMMAND, 7}));
  // Ids 1 and 2 end the dialog when the procedure leaves them.
  for (int id : {IDOK, IDCANCEL}) {
    SetDialogBoxPresenter([id](const DialogBoxRequest&) { return id; });
    Log l;
    EXPECT_EQ(DialogBoxIndirectParam(Parsed(), 0, Recording(l), 0), id);
  }
  SetDialogBoxPresenter(previous);
}

// Sends a key or a close request to the modal dialog once it shows.
void Soon(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* w = QApplication::activeModalWidget();
    ASSERT_TRUE(w);
    act(w);
  });
}

TEST(DialogBox, EnterEscAndTheCloseBoxGiveOneAndTwo) {
  forms_detail::EnsureApplication();
  struct Case {
    std::function<void(QWidget*)> act;
    intptr_t result;
  };
  auto key = [](int k) {
    return [k](QWidget* w) {
      QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
      QApplication::sendEvent(w, &press);
    };
  };
  const Case cases[] = {
      {key(Qt::Key_Return), IDOK},
      {key(Qt::Key_Escape), IDCANCEL},
      {[](QWidget* w) { w->close(); }, IDCANCEL},
      {[](QWidget* w) {
         for (auto* b : w->findChildren<QPushButton*>())
           if (b->text() == "More") b->click();
       },
       70},
  };
  for (const Case& c : cases) {
    Log log;
    HWND active = 0;
    Soon([&, c](QWidget* w) {
      active = GetActiveWindow();
      EXPECT_EQ(active, HwndFromWidget(w));
      EXPECT_EQ(w->font().styleHint(), QFont::SansSerif);
      EXPECT_EQ(w->windowTitle().toStdString(), "About \"It\"");
      c.act(w);
    });
    EXPECT_EQ(DialogBoxIndirectParam(Parsed(), 0, Recording(log, true), 0), c.result);
    EXPECT_NE(active, 0u);
  }
}

TEST(DialogBox, EndDialogDuringInitialisationShowsNothing) {
  forms_detail::EnsureApplication();
  auto previous = SetDialogBoxPresenter([](const DialogBoxRequest&) -> int {
    ADD_FAILURE() << "shown";
    return IDOK;
  });
  EXPECT_EQ(DialogBoxIndirectParam(Parsed(), 0,
                                   [](HWND d, UINT msg, WPARAM, LPARAM) -> intptr_t {
                                     if (msg == WM_INITDIALOG) EndDialog(d, 5);
                                     return 1;
                                   },
                                   0),
            5);
  EXPECT_FALSE(EndDialog(12345, 1));
  SetDialogBoxPresenter(previous);
}

}  // namespace
