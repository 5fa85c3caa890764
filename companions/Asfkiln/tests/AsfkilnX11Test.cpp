// Asfkiln's property pages on a real X11 desktop with a full window manager, clicked with
// xdotool's pointer as a user's hand: a click on a page's tab shows the page, a click on a text
// field puts the caret there for typing, a click on the profile list opens it and a click on an
// entry chooses it. The clicks run in this test program started again on the desktop's xcb
// platform; the test started on the offscreen platform only runs that second program and reports
// its outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <cstdlib>
#include <string>
#include <vector>

#include "Module1.h"
#include "forms/qt/control_qt.h"
#include "frmEncode.h"
#include "scripted_responder.h"
#include "x11_clicks.h"
#include "x11_desktop.h"

namespace {

using x11test::ClickOn;
using x11test::Exposed;
using x11test::WaitFor;
constexpr const char* kOnDesktop = "ASFKILN_ON_DESKTOP";

bool OnDesktop() { return std::getenv(kOnDesktop) != nullptr; }

class PagesOnDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnDesktop()) GTEST_SKIP() << "runs inside AsfkilnPages.OnAnX11Desktop";
  }
  void TearDown() override {
    if (OnDesktop()) EncodeWindow().Unload();
  }
};

// Clicks the page's tab; the page once it shows.
QWidget* ShowPage(QTabWidget* pages, const char* title) {
  for (int i = 0; i < pages->count(); ++i) {
    if (pages->tabText(i) != title) continue;
    QTabBar* bar = pages->tabBar();
    if (!ClickOn(bar, bar->tabRect(i).center())) return nullptr;
    if (!WaitFor([&] { return pages->currentIndex() == i && pages->currentWidget()->isVisible(); })) return nullptr;
    return pages->currentWidget()->findChild<QWidget*>(title);
  }
  return nullptr;
}

}  // namespace

// ---- run on the desktop -------------------------------------------------------------------------

TEST_F(PagesOnDesktop, ClicksReachEveryPagesFields) {
  ScriptScope script;
  frmEncode& f = EncodeWindow();
  f.Show();
  auto* pages = qobject_cast<QTabWidget*>(forms_detail::WidgetOf(*f.FindControl("PropPageShell")));
  ASSERT_NE(pages, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Exposed(pages); })) << "the window did not come on screen";

  // A text field of each page that has one: a click puts the caret there, typing fills it.
  struct Field {
    const char* page;
    const char* name;
  };
  for (const Field& field : std::vector<Field>{{"Output", "file"}, {"Sources", "file"}, {"Attributes", "title"}}) {
    SCOPED_TRACE(std::string(field.page) + " " + field.name);
    QWidget* page = ShowPage(pages, field.page);
    ASSERT_NE(page, nullptr) << "a click on the tab did not show the page";
    auto* edit = page->findChild<QLineEdit*>(field.name);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(ClickOn(edit));
    ASSERT_TRUE(WaitFor([&] { return edit->hasFocus(); })) << "a click on the field did not put the caret there";
    ASSERT_TRUE(x11test::RunXdotool({"key", "ctrl+a"}));
    ASSERT_TRUE(x11test::RunXdotool({"type", "typed"}));
    EXPECT_TRUE(WaitFor([&] { return edit->text() == "typed"; })) << edit->text().toStdString();
  }

  // The profile list: a click opens it, a click on another entry chooses that one.
  QWidget* page = ShowPage(pages, "Compression");
  ASSERT_NE(page, nullptr) << "a click on the tab did not show the page";
  auto* profiles = page->findChild<QComboBox*>("profile");
  ASSERT_NE(profiles, nullptr);
  ASSERT_GE(profiles->count(), 2);
  const int before = profiles->currentIndex();
  const int other = before == 1 ? 0 : 1;
  ASSERT_TRUE(ClickOn(profiles));
  QAbstractItemView* list = profiles->view();
  ASSERT_TRUE(WaitFor([&] { return list->isVisible() && Exposed(list); })) << "a click did not open the list";
  ASSERT_TRUE(ClickOn(list->viewport(), list->visualRect(profiles->model()->index(other, 0)).center()));
  EXPECT_TRUE(WaitFor([&] { return profiles->currentIndex() == other && !list->isVisible(); }))
      << "a click on an entry did not choose it";
}

// ---- the test run on the offscreen platform -------------------------------------------------------

TEST(AsfkilnPages, OnAnX11Desktop) {
  if (OnDesktop()) GTEST_SKIP();
  x11test::Desktop desktop(x11test::WindowManager::Full);
  ASSERT_EQ(desktop.Error(), "");
  x11test::ExpectOneTestPassesOnDesktop(desktop, kOnDesktop, "PagesOnDesktop.*");
}
