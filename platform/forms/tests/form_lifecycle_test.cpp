// The form life cycle: load, show, unload, modal loops, the Forms collection, control arrays.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QWidget>

#include "forms/app.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/hwnd.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

using Log = std::vector<std::string>;

TEST(FormLifeCycle, EventsRunInTheRuntimesOrder) {
  auto f = MakeForm<TestForm>("frmOrder", [](TestForm& f) { f.Caption("Order"); });
  f->LogEvents({"Form_Initialize", "Form_Load", "Form_Resize", "Form_Activate", "Form_Unload", "Form_Terminate"});
  TestForm* raw = f.get();
  f->On("Form_QueryUnload", [raw](int16_t& Cancel, int16_t UnloadMode) {
    raw->log.push_back("Form_QueryUnload " + std::to_string(UnloadMode));
    (void)Cancel;
  });
  f->Show();
  ASSERT_TRUE(PumpUntil([&] { return !f->log.empty() && f->log.back() == "Form_Activate"; }));
  EXPECT_TRUE(f->Unload());
  EXPECT_EQ(f->log, (Log{"Form_Initialize", "Form_Load", "Form_Resize", "Form_Activate", "Form_QueryUnload 1",
                         "Form_Unload"}));
  f->log.clear();
  f->Load();
  EXPECT_EQ(f->log, (Log{"Form_Load"})) << "Initialize runs once per object; no Resize while hidden";
  f->Show();
  f->log.clear();
  f->Width(f->Width() + 300);
  EXPECT_EQ(f->log, (Log{"Form_Resize"})) << "a visible form resized by code";
  Log* log = &raw->log;
  log->clear();
  // Releasing the object unloads it first, then Terminate.
  std::vector<std::string> seen;
  raw->SetHandler("Form_Terminate", [&](EventArgs&) { seen = *log; seen.push_back("Form_Terminate"); });
  f.reset();
  EXPECT_EQ(seen, (Log{"Form_QueryUnload 1", "Form_Unload", "Form_Terminate"}));
}

TEST(FormLifeCycle, TouchingAPropertyOfAnUnloadedFormLoadsIt) {
  auto f = MakeForm<TestForm>("frmTouch", [](TestForm& f) {
    f.Caption("Design caption");
    f.Place({{"TextBox", "txtName", -1, "", 120, 120, 2000, 300, "design"}});
  });
  f->LogEvents({"Form_Load"});
  EXPECT_FALSE(f->IsLoaded());
  EXPECT_EQ(f->Caption(), "Design caption");
  EXPECT_TRUE(f->IsLoaded());
  EXPECT_EQ(f->log, (Log{"Form_Load"}));
  EXPECT_FALSE(f->Visible()) << "loading does not show";
  f->Unload();
  // A control reference loads the form as well.
  Ctl<TextBox> txt(f.get(), "txtName");
  EXPECT_EQ(txt->Text(), "design");
  EXPECT_EQ(f->log, (Log{"Form_Load", "Form_Load"}));
}

TEST(FormLifeCycle, ControlsReturnToDesignValuesWhileFormVariablesStay) {
  struct Dialog : TestForm {
    Dialog() : TestForm("frmDialog", [](TestForm& f) {
      f.Place({{"CheckBox", "Check1", -1, "", 100, 100, 2000, 300, "Hide"}});
    }) {}
    bool m_bCancelled = false;
    Ctl<CheckBox> Check1{this, "Check1"};
  } f;
  f.Check1->Value(vbChecked);
  f.Caption("changed");
  f.m_bCancelled = true;
  f.Unload();
  EXPECT_EQ(f.Check1->Value(), vbUnchecked);
  EXPECT_EQ(f.Caption(), "frmDialog") << "the caption returns to its design value (the name)";
  EXPECT_TRUE(f.m_bCancelled);
}

TEST(FormLifeCycle, QueryUnloadAndUnloadCanCancel) {
  for (const char* handler : {"Form_QueryUnload", "Form_Unload"}) {
    for (int16_t mode : {vbFormCode, vbFormControlMenu}) {
      TestForm f("frmCancel");
      f.SetHandler(handler, [](EventArgs& a) { a[0] = Variant(static_cast<int16_t>(99)); });
      f.Show();
      if (mode == vbFormCode) {
        EXPECT_FALSE(f.Unload()) << handler;
      } else {
        SendMessage(f.hWnd(), WM_CLOSE, 0, 0);
      }
      EXPECT_TRUE(f.IsLoaded()) << handler << " mode " << mode;
      EXPECT_TRUE(f.Visible());
      f.SetHandler(handler, [](EventArgs&) {});
      EXPECT_TRUE(f.Unload());
    }
  }
}

TEST(FormLifeCycle, CloseBoxAsksWithControlMenuMode) {
  TestForm f("frmClose");
  int16_t mode = -1;
  f.On("Form_QueryUnload", [&](int16_t&, int16_t UnloadMode) { mode = UnloadMode; });
  f.Show();
  QWidget* w = WidgetFromHwnd(f.hWnd());
  ASSERT_NE(w, nullptr);
  w->close();
  EXPECT_EQ(mode, vbFormControlMenu);
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed()) << "closing the last window must not quit";
}

TEST(FormLifeCycle, FormsCollectionIsInLoadOrder) {
  TestForm a("frmA"), b("frmB"), c("frmC");
  size_t before = Forms().size();
  b.Load();
  a.Load();
  c.Load();
  std::vector<Form*> forms = Forms();
  ASSERT_EQ(forms.size(), before + 3);
  EXPECT_EQ(forms[before], &b);
  EXPECT_EQ(forms[before + 1], &a);
  EXPECT_EQ(forms[before + 2], &c);
  a.Unload();
  forms = Forms();
  EXPECT_EQ(std::count(forms.begin(), forms.end(), &a), 0);
  EXPECT_EQ(DoEvents(), static_cast<int16_t>(before + 2)) << "DoEvents answers the loaded forms";
  b.Unload();
  c.Unload();
}

TEST(FormLifeCycle, UnloadInsideItsOwnHandlerIsSafe) {
  TestForm f("frmSelf", [](TestForm& f) {
    f.Place({{"CommandButton", "cmdClose", -1, "", 100, 100, 1200, 375, "Close"},
             {"TextBox", "txtAfter", -1, "", 100, 600, 1200, 300, ""}});
  });
  bool ranToEnd = false;
  f.On("cmdClose_Click", [&] {
    f.Unload();
    // The form object and this handler's captures are still there.
    ranToEnd = !f.IsLoaded();
  });
  f.Show();
  Ctl<CommandButton> cmd(&f, "cmdClose");
  QWidget* button = WidgetFromHwnd(cmd->hWnd());
  static_cast<QAbstractButton*>(button)->click();
  EXPECT_TRUE(ranToEnd);
  DoEvents();
  EXPECT_FALSE(f.IsLoaded());
}

// A close that arrives while a handler processes messages (Exit clicked during a long click's
// work): the window and the clicked control's widget stay until that handler has returned, even
// when it goes on processing messages after the unload, and go after it.
TEST(FormLifeCycle, AFormUnloadedInsideANestedLoopKeepsItsWindowUntilTheHandlersReturn) {
  TestForm f("frmNested", [](TestForm& f) {
    f.Place({{"CommandButton", "cmdWork", -1, "", 100, 100, 1200, 375, "Work"},
             {"CommandButton", "cmdClose", -1, "", 100, 600, 1200, 375, "Close"}});
  });
  f.Show();
  Ctl<CommandButton> work(&f, "cmdWork"), close(&f, "cmdClose");
  QPointer<QWidget> workButton = WidgetFromHwnd(work->hWnd());
  QPointer<QWidget> closeButton = WidgetFromHwnd(close->hWnd());
  QPointer<QWidget> window = WidgetFromHwnd(f.hWnd());
  ASSERT_TRUE(workButton && closeButton && window);
  f.On("cmdClose_Click", [&] { f.Unload(); });
  bool unloadedInside = false, keptWhileRunning = false;
  f.On("cmdWork_Click", [&] {
    QMetaObject::invokeMethod(
        qApp, [&] { static_cast<QAbstractButton*>(closeButton.data())->click(); }, Qt::QueuedConnection);
    DoEvents();
    unloadedInside = !f.IsLoaded();
    // The handler's own end processes messages again.
    for (int i = 0; i < 3; ++i) DoEvents();
    keptWhileRunning = workButton && window;
  });
  static_cast<QAbstractButton*>(workButton.data())->click();
  EXPECT_TRUE(unloadedInside);
  EXPECT_TRUE(keptWhileRunning);
  for (int i = 0; i < 50 && window; ++i) DoEvents();
  EXPECT_TRUE(window.isNull()) << "the window goes once no handler runs";
  EXPECT_FALSE(f.IsLoaded());
}

TEST(FormLifeCycle, ModalShowEndsWithHide) {
  TestForm dlg("frmModal", [](TestForm& f) {
    f.Place({{"Timer", "tmrClose", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{10})}}}});
  });
  int ticks = 0;
  dlg.On("tmrClose_Timer", [&] {
    ++ticks;
    EXPECT_TRUE(dlg.IsShownModally());
    dlg.Hide();
  });
  dlg.Show(vbModal);
  EXPECT_GE(ticks, 1);
  EXPECT_TRUE(dlg.IsLoaded()) << "Hide keeps the form loaded";
  EXPECT_FALSE(dlg.Visible());
  EXPECT_FALSE(dlg.IsShownModally());
  dlg.Unload();
}

TEST(FormLifeCycle, NestedModalFormsUnloadFromInside) {
  TestForm outer("frmOuter", [](TestForm& f) {
    f.Place({{"Timer", "tmrOpen", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{5})}}}});
  });
  TestForm inner("frmInner", [](TestForm& f) {
    f.Place({{"Timer", "tmrDone", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{5})}}}});
  });
  Log order;
  outer.On("tmrOpen_Timer", [&] {
    Ctl<TimerControl>(&outer, "tmrOpen")->Enabled(false);
    order.push_back("inner shown");
    inner.Show(vbModal, &outer);
    order.push_back("inner returned");
    // Unloading the outer form from inside its own modal loop ends that loop too.
    outer.Unload();
  });
  inner.On("tmrDone_Timer", [&] {
    order.push_back("inner unloads");
    inner.Unload();
  });
  outer.Show(vbModal);
  EXPECT_EQ(order, (Log{"inner shown", "inner unloads", "inner returned"}));
  EXPECT_FALSE(outer.IsLoaded());
  EXPECT_FALSE(inner.IsLoaded());
}

TEST(FormLifeCycle, ModalShowOfAVisibleFormFails) {
  TestForm f("frmTwice");
  f.Show();
  try {
    f.Show(vbModal);
    ADD_FAILURE() << "no error";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Number(), 400);
  }
  f.Unload();
}

TEST(ControlArrays, ElementsLoadAndUnloadAtRunTime) {
  TestForm f("frmArray", [](TestForm& f) {
    f.Place({{"Frame", "fraOptions", -1, "", 0, 0, 3000, 3000, "Options"},
             {"OptionButton", "Option1", 0, "fraOptions", 120, 240, 2000, 255, "First"},
             {"OptionButton", "Option1", 1, "fraOptions", 120, 540, 2000, 255, "Second"}});
  });
  CtlArray<OptionButton> Option1(&f, "Option1");
  EXPECT_EQ(Option1.LBound(), 0);
  EXPECT_EQ(Option1.UBound(), 1);
  OptionButton& third = Option1.Load(4);
  EXPECT_EQ(Option1.UBound(), 4);
  EXPECT_EQ(Option1.Count(), 3);
  EXPECT_FALSE(third.Visible()) << "new elements start invisible";
  EXPECT_EQ(third.Container(), f.FindControl("fraOptions"));
  EXPECT_EQ(third.Left(), 120);
  EXPECT_EQ(third.Caption(), "First");

  std::vector<int16_t> clicked;
  f.On("Option1_Click", [&](int16_t Index) { clicked.push_back(Index); });
  Option1(4).Value(true);
  Option1(1).Value(true);
  EXPECT_EQ(clicked, (std::vector<int16_t>{4, 1}));

  struct Bad {
    const char* what;
    std::function<void()> call;
    int32_t error;
  };
  const Bad bad[] = {
      {"load an existing element", [&] { Option1.Load(1); }, 360},
      {"unload a design element", [&] { Option1.Unload(0); }, 362},
      {"unload a missing element", [&] { Option1.Unload(7); }, 340},
      {"load into an unknown array", [&] { f.LoadElement("Nothing", 1); }, 340},
      {"touch a missing element", [&] { Option1(3).Value(); }, 340},
  };
  for (const Bad& b : bad) {
    try {
      b.call();
      ADD_FAILURE() << b.what << ": no error";
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), b.error) << b.what;
    }
  }
  Option1.Unload(4);
  EXPECT_EQ(Option1.UBound(), 1);
  EXPECT_FALSE(Option1.Exists(4));
  // At the next load only the design elements come back.
  f.Unload();
  Option1.Load(2);
  f.Unload();
  EXPECT_EQ(Option1.Count(), 2);
}

TEST(FormLifeCycle, RunMessageLoopEndsWhenTheLastFormUnloads) {
  TestForm f("frmLast", [](TestForm& f) {
    f.Place({{"Timer", "tmrEnd", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{5})}}}});
  });
  f.On("tmrEnd_Timer", [&] { f.Unload(); });
  f.Show();
  size_t others = Forms().size() - 1;
  ASSERT_EQ(others, 0u) << "other tests left forms loaded";
  RunMessageLoop();
  EXPECT_FALSE(f.IsLoaded());
}

TEST(FormLifeCycle, EndStopsTheProgramWithoutFurtherEvents) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TestForm f("frmEnd");
        // No unload events run: their mark "~" must not appear.
        f.On("Form_QueryUnload", [] { std::fputs("~QueryUnload\n", stderr); });
        f.On("Form_Unload", [] { std::fputs("~Unload\n", stderr); });
        f.Show();
        End();
      },
      ::testing::ExitedWithCode(0), "^[^~]*$");
}

TEST(FormLifeCycle, OwnedFormsUnloadWithTheirOwner) {
  TestForm owner("frmOwner"), owned("frmOwned");
  int16_t mode = -1;
  owned.On("Form_QueryUnload", [&](int16_t& Cancel, int16_t UnloadMode) {
    mode = UnloadMode;
    Cancel = owned.log.empty() ? 1 : 0;  // refuses the first time
    owned.log.push_back("asked");
  });
  owner.Show();
  owned.Show(vbModeless, &owner);
  EXPECT_FALSE(owner.Unload()) << "an owned form that refuses keeps its owner";
  EXPECT_EQ(mode, vbFormOwner);
  EXPECT_TRUE(owner.IsLoaded());
  EXPECT_TRUE(owner.Unload());
  EXPECT_FALSE(owned.IsLoaded());
}

TEST(FormLifeCycle, UnloadFromFormLoadLeavesNothingToShow) {
  TestForm f("frmRefuse");
  f.On("Form_Load", [&] { f.Unload(); });
  EXPECT_EQ(ErrorOf([&] { f.Show(); }), 364) << "Object was unloaded";
  EXPECT_FALSE(f.IsLoaded());
  std::vector<Form*> forms = Forms();
  EXPECT_EQ(std::count(forms.begin(), forms.end(), &f), 0);
  // With the handler gone the form loads and shows normally.
  f.SetHandler("Form_Load", [](EventArgs&) {});
  f.Show();
  EXPECT_TRUE(f.Visible());
  f.Unload();
}
