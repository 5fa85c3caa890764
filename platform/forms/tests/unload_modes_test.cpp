// Close requests by their source: the close box, code, the session's end and a termination
// request (SIGTERM) each reach QueryUnload with their unload mode; and a form that sets its own
// size inside Resize gets the nested Resize at once.
#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>
#include <csignal>

#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

using Log = std::vector<std::string>;

namespace {

// Logs "<form> <mode>" for each QueryUnload; `refuse` forms cancel while the flag is set.
struct Logged {
  Log log;
  std::vector<std::unique_ptr<TestForm>> forms;
  bool refuseB = false;
  Logged() {
    for (const char* name : {"frmA", "frmB", "frmC"}) {
      auto f = std::make_unique<TestForm>(name);
      TestForm* raw = f.get();
      f->On("Form_QueryUnload", [this, raw](int16_t& Cancel, int16_t UnloadMode) {
        log.push_back(raw->Name() + " " + std::to_string(UnloadMode));
        if (refuseB && raw->Name() == "frmB") Cancel = 1;
      });
      f->Show();
      forms.push_back(std::move(f));
    }
  }
};

}  // namespace

TEST(UnloadModes, CloseBoxAndCodeGiveTheirModes) {
  Logged l;
  WidgetFromHwnd(l.forms[0]->hWnd())->close();
  l.forms[1]->Unload();
  EXPECT_EQ(l.log, (Log{"frmA 0", "frmB 1"}));
  l.forms[2]->Unload();
}

TEST(UnloadModes, SessionEndAsksEveryFormInOrderAndStopsAtARefusal) {
  Logged l;
  l.refuseB = true;
  EXPECT_FALSE(AskFormsToClose(vbAppWindows));
  EXPECT_EQ(l.log, (Log{"frmA 2", "frmB 2"}));
  EXPECT_FALSE(l.forms[0]->IsLoaded());
  EXPECT_TRUE(l.forms[1]->IsLoaded()) << "the refusing form stays";
  EXPECT_TRUE(l.forms[2]->IsLoaded()) << "the round stopped there";
  l.refuseB = false;
  l.log.clear();
  EXPECT_TRUE(AskFormsToClose(vbAppWindows));
  EXPECT_EQ(l.log, (Log{"frmB 2", "frmC 2"}));
}

TEST(UnloadModes, SigtermIsHandledOnTheWindowThreadAndEndsTheLoop) {
  Logged l;
  QTimer::singleShot(0, [] { std::raise(SIGTERM); });
  RunMessageLoop();
  EXPECT_EQ(l.log, (Log{"frmA 3", "frmB 3", "frmC 3"}));
  for (auto& f : l.forms) EXPECT_FALSE(f->IsLoaded());
}

TEST(UnloadModes, ARefusedSigtermLeavesTheProgramRunningAndTheNextOneAsksAgain) {
  Logged l;
  l.refuseB = true;
  bool second = false;
  std::function<void()> poll = [&] {
    if (l.log.size() < 2) {
      QTimer::singleShot(0, poll);
      return;
    }
    // The first request was refused: the program still runs; the next one asks again.
    second = true;
    EXPECT_TRUE(l.forms[1]->IsLoaded());
    EXPECT_TRUE(l.forms[2]->IsLoaded());
    l.refuseB = false;
    std::raise(SIGTERM);
  };
  QTimer::singleShot(0, [&] {
    std::raise(SIGTERM);
    QTimer::singleShot(0, poll);
  });
  RunMessageLoop();
  EXPECT_TRUE(second);
  ASSERT_EQ(l.log.size(), 4u);
  EXPECT_EQ((Log{l.log[0], l.log[1]}), (Log{"frmA 3", "frmB 3"}));
  EXPECT_EQ((Log{l.log[2], l.log[3]}), (Log{"frmB 3", "frmC 3"}));
  for (auto& f : l.forms) EXPECT_FALSE(f->IsLoaded());
}

TEST(FormResize, SettingTheOwnSizeInsideResizeRaisesTheNestedResizeAtOnce) {
  TestForm f("frmMin", [](TestForm& t) { t.Size(9600, 8190); });
  Log log;
  int depth = 0;
  f.On("Form_Resize", [&] {
    ++depth;
    log.push_back(std::to_string(depth) + " begin " + std::to_string(f.Width()));
    if (f.Width() < 9600) f.Width(9600);
    if (f.Height() < 8190) f.Height(8190);
    log.push_back(std::to_string(depth) + " end " + std::to_string(f.Width()));
    --depth;
  });
  f.Show();
  ASSERT_TRUE(PumpUntil([&] { return !log.empty(); }));
  log.clear();
  f.Width(6000);
  EXPECT_EQ(log, (Log{"1 begin 6000", "2 begin 9600", "2 end 9600", "1 end 9600"}));
  EXPECT_EQ(f.Width(), 9600);
  log.clear();
  f.Size(6000, 6000);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "1 begin 6000");
  EXPECT_EQ(log.back(), "1 end 9600");
  EXPECT_EQ(f.Height(), 8190);
  f.Unload();
}
