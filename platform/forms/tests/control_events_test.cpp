// The runtime's event rules for the intrinsic controls, which differ from Qt's signals.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWindow>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

using Log = std::vector<std::string>;

namespace {

// Every control kind once, with every event handler logging.
std::unique_ptr<TestForm> MakeEventForm() {
  auto f = std::make_unique<TestForm>("frmEvents", [](TestForm& f) {
    f.Place({
        {"Frame", "fraA", -1, "", 60, 60, 3000, 1200, "A"},
        {"OptionButton", "optA1", -1, "fraA", 120, 240, 1500, 255, "A1"},
        {"OptionButton", "optA2", -1, "fraA", 120, 540, 1500, 255, "A2"},
        {"Frame", "fraB", -1, "", 3200, 60, 3000, 1200, "B"},
        {"OptionButton", "optB1", -1, "fraB", 120, 240, 1500, 255, "B1"},
        {"CheckBox", "chkHide", -1, "", 60, 1400, 2000, 255, "Hide"},
        {"TextBox", "txtName", -1, "", 60, 1800, 2000, 285, "start"},
        {"TextBox", "txtOther", -1, "", 60, 2200, 2000, 285, ""},
        {"Label", "lblInfo", -1, "", 60, 2600, 2000, 255, "info"},
        {"ListBox", "lstCodecs", -1, "", 3200, 1400, 2000, 1200, ""},
        {"ComboBox", "cboSize", -1, "", 3200, 2700, 2000, 315, ""},
        {"ComboBox", "cboList", -1, "", 3200, 3100, 2000, 315, "", {{"Style", Variant(int16_t{2})}}},
        {"HScrollBar", "hsbVolume", -1, "", 60, 3000, 2000, 255, "", {{"Max", Variant(int16_t{100})}}},
        {"CommandButton", "cmdOK", -1, "", 60, 3400, 1200, 375, "OK", {{"Default", Variant(true)}}},
        {"CommandButton", "cmdCancel", -1, "", 1400, 3400, 1200, 375, "Cancel", {{"Cancel", Variant(true)}}},
    });
  });
  f->Size(6600, 4800);
  for (const char* name : {"optA1", "optA2", "optB1", "chkHide", "lstCodecs", "cboSize", "cboList", "cmdOK",
                           "cmdCancel", "lblInfo"}) {
    f->LogEvents({(std::string(name) + "_Click").c_str()});
  }
  f->LogEvents({"txtName_Change", "lblInfo_Change", "cboSize_Change", "hsbVolume_Change", "hsbVolume_Scroll",
                "lblInfo_DblClick", "txtName_GotFocus", "txtName_LostFocus", "txtOther_GotFocus",
                "txtOther_LostFocus"});
  return f;
}

template <class T>
T& C(Form& f, const char* name) {
  return dynamic_cast<T&>(*f.FindControl(name));
}

QWidget* W(Control& c) { return WidgetFromHwnd(c.hWnd()); }

void Type(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

void Key(QWidget* w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

void Mouse(QWidget* w, QEvent::Type type) {
  QPointF at(3, 3);
  QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(ControlEvents, EachRuleRaisesExactlyItsEvents) {
  struct Case {
    const char* rule;
    std::function<void(TestForm&)> act;
    Log expected;
  };
  const Case cases[] = {
      {"CheckBox Value from code raises Click", [](TestForm& f) { C<CheckBox>(f, "chkHide").Value(vbChecked); },
       {"chkHide_Click"}},
      {"CheckBox Value set to what it is raises nothing", [](TestForm& f) { C<CheckBox>(f, "chkHide").Value(vbUnchecked); },
       {}},
      {"a user click on a CheckBox raises Click",
       [](TestForm& f) { static_cast<QAbstractButton*>(W(C<CheckBox>(f, "chkHide")))->click(); }, {"chkHide_Click"}},
      {"OptionButton Value True from code raises Click",
       [](TestForm& f) { C<OptionButton>(f, "optA2").Value(true); }, {"optA2_Click"}},
      {"OptionButton Value False from code raises nothing",
       [](TestForm& f) {
         C<OptionButton>(f, "optA2").Value(true);
         C<OptionButton>(f, "optA2").Value(false);
       },
       {"optA2_Click"}},
      {"TextBox Text from code raises Change", [](TestForm& f) { C<TextBox>(f, "txtName").Text("other"); },
       {"txtName_Change"}},
      {"TextBox Text set to the same text raises nothing", [](TestForm& f) { C<TextBox>(f, "txtName").Text("start"); }, {}},
      {"typing into a TextBox raises Change per key", [](TestForm& f) { Type(W(C<TextBox>(f, "txtName")), "ab"); },
       {"txtName_Change", "txtName_Change"}},
      {"Label Caption from code raises Change", [](TestForm& f) { C<Label>(f, "lblInfo").Caption("new"); },
       {"lblInfo_Change"}},
      {"Label Caption set to the same text raises nothing", [](TestForm& f) { C<Label>(f, "lblInfo").Caption("info"); },
       {}},
      {"ListBox ListIndex from code raises Click",
       [](TestForm& f) {
         auto& l = C<ListBox>(f, "lstCodecs");
         l.AddItem("one");
         l.AddItem("two");
         l.ListIndex(1);
         l.ListIndex(1);
       },
       {"lstCodecs_Click"}},
      {"ListBox: a user selection raises Click",
       [](TestForm& f) {
         auto& l = C<ListBox>(f, "lstCodecs");
         l.AddItem("one");
         static_cast<QListWidget*>(W(l))->setCurrentRow(0);
       },
       {"lstCodecs_Click"}},
      {"ListBox: Click comes before DblClick",
       [](TestForm& f) {
         auto& l = C<ListBox>(f, "lstCodecs");
         f.LogEvents({"lstCodecs_DblClick"});
         l.AddItem("one");
         auto* lw = static_cast<QListWidget*>(W(l));
         lw->setCurrentRow(0);
         emit lw->itemDoubleClicked(lw->item(0));
       },
       {"lstCodecs_Click", "lstCodecs_DblClick"}},
      {"ComboBox Text from code raises Change", [](TestForm& f) { C<ComboBox>(f, "cboSize").Text("320 x 240"); },
       {"cboSize_Change"}},
      {"typing into a ComboBox raises Change",
       [](TestForm& f) { Type(W(C<ComboBox>(f, "cboSize"))->findChild<QComboBox*>()->lineEdit(), "3"); },
       {"cboSize_Change"}},
      {"choosing a ComboBox entry raises Click only",
       [](TestForm& f) {
         auto& c = C<ComboBox>(f, "cboSize");
         c.AddItem("160 x 120");
         c.AddItem("320 x 240");
         auto* box = W(c)->findChild<QComboBox*>();
         box->setCurrentIndex(1);
         emit box->activated(1);
       },
       {"cboSize_Click"}},
      {"ComboBox ListIndex from code raises Click (and Change when the text changes)",
       [](TestForm& f) {
         auto& list = C<ComboBox>(f, "cboList");
         list.AddItem("a");
         list.AddItem("b");
         list.ListIndex(1);
         auto& c = C<ComboBox>(f, "cboSize");
         c.AddItem("x");
         c.ListIndex(0);
       },
       {"cboList_Click", "cboSize_Change", "cboSize_Click"}},
      {"ScrollBar Value from code raises Change, not Scroll",
       [](TestForm& f) { C<HScrollBar>(f, "hsbVolume").Value(40); }, {"hsbVolume_Change"}},
      {"ScrollBar drag raises Scroll while moving and Change at release",
       [](TestForm& f) {
         auto* sb = static_cast<QScrollBar*>(W(C<HScrollBar>(f, "hsbVolume")));
         sb->setSliderDown(true);
         emit sb->sliderPressed();
         sb->setSliderPosition(10);
         sb->setSliderPosition(20);
         sb->setSliderDown(false);
       },
       {"hsbVolume_Scroll", "hsbVolume_Scroll", "hsbVolume_Change"}},
      {"ScrollBar arrow click raises Change only",
       [](TestForm& f) {
         auto* sb = static_cast<QScrollBar*>(W(C<HScrollBar>(f, "hsbVolume")));
         sb->triggerAction(QAbstractSlider::SliderSingleStepAdd);
       },
       {"hsbVolume_Change"}},
      {"ScrollBar Max or Min that moves the Value raises Change; one that keeps it, none",
       [](TestForm& f) {
         auto& sb = C<HScrollBar>(f, "hsbVolume");
         sb.Value(40);
         sb.Max(60);
         sb.Max(10);
         if (sb.Value() != 10) f.log.push_back("value not moved to the new Max");
         sb.Max(100);
         sb.Min(50);
         if (sb.Value() != 50) f.log.push_back("value not moved to the new Min");
       },
       {"hsbVolume_Change", "hsbVolume_Change", "hsbVolume_Change"}},
      {"Label: DblClick comes after Click",
       [](TestForm& f) {
         QWidget* w = W(C<Label>(f, "lblInfo"));
         Mouse(w, QEvent::MouseButtonPress);
         Mouse(w, QEvent::MouseButtonRelease);
         Mouse(w, QEvent::MouseButtonDblClick);
         Mouse(w, QEvent::MouseButtonRelease);
       },
       {"lblInfo_Click", "lblInfo_DblClick", "lblInfo_Click"}},
      {"Enter in a text box clicks the Default button", [](TestForm& f) { Key(W(C<TextBox>(f, "txtOther")), Qt::Key_Return); },
       {"cmdOK_Click"}},
      {"Esc clicks the Cancel button", [](TestForm& f) { Key(W(C<TextBox>(f, "txtOther")), Qt::Key_Escape); },
       {"cmdCancel_Click"}},
      {"CommandButton Value True clicks it", [](TestForm& f) { C<CommandButton>(f, "cmdCancel").Value(true); },
       {"cmdCancel_Click"}},
  };
  for (const Case& c : cases) {
    auto f = MakeEventForm();
    f->Load();
    f->log.clear();
    c.act(*f);
    EXPECT_EQ(f->log, c.expected) << c.rule;
    f->Unload();
  }
}

TEST(ControlEvents, SimpleComboShowsItsListAndChoosesFromIt) {
  auto f = MakeEventForm();
  auto& c = C<ComboBox>(*f, "cboSize");
  c.Style(vbComboSimple);
  c.Move(c.Left(), c.Top(), 2000, 1500);
  c.AddItem("160 x 120");
  c.AddItem("320 x 240");
  f->Show();
  auto* list = W(c)->findChild<QListView*>();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(list->model()->rowCount(), 2);
  f->log.clear();
  emit list->clicked(list->model()->index(1, 0));
  EXPECT_EQ(f->log, (Log{"cboSize_Click"}));
  EXPECT_EQ(c.Text(), "320 x 240");
  EXPECT_EQ(c.ListIndex(), 1);
  c.ListIndex(0);
  EXPECT_EQ(list->currentIndex().row(), 0) << "the list follows a choice made by code";
  Type(W(c)->findChild<QComboBox*>()->lineEdit(), "x");
  EXPECT_EQ(f->log.back(), "cboSize_Change");
  f->Unload();
}

// Adding entries neither chooses one nor changes the text, whatever the box shows.
TEST(ControlEvents, AddingComboEntriesKeepsTextAndChoice) {
  struct Case {
    const char* rule;
    const char* text;  // typed or set before the entries come
    int16_t chosen;    // ListIndex chosen before ("" entries when -1)
  } cases[] = {
      {"an empty box stays empty", "", -1},
      {"a typed text stays", "my own", -1},
      {"a text that is an entry stays unchosen", "b", -1},
      {"a chosen entry stays chosen", "", 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.rule);
    auto f = MakeEventForm();
    auto& c = C<ComboBox>(*f, "cboSize");
    if (k.chosen >= 0) {
      c.AddItem("first");
      c.ListIndex(k.chosen);
    } else if (*k.text) {
      c.Text(k.text);
    }
    const std::string text = c.Text();
    const int16_t index = c.ListIndex();
    f->log.clear();
    for (const char* item : {"a", "b", "c"}) c.AddItem(item);
    c.AddItem("z", 0);
    EXPECT_EQ(c.Text(), text);
    EXPECT_EQ(c.ListIndex(), index < 0 ? -1 : index + 1);
    EXPECT_EQ(c.ListCount(), k.chosen >= 0 ? 5 : 4);
    EXPECT_TRUE(f->log.empty());
    f->Unload();
  }
}

// The drop-down list of an editable box: all its entries, scrolling with a scroll bar.
TEST(ControlEvents, DropdownComboDropsItsEntries) {
  auto f = MakeEventForm();
  auto& c = C<ComboBox>(*f, "cboSize");
  for (int i = 0; i < 40; ++i) c.AddItem("entry " + std::to_string(i));
  f->Show();
  auto* box = W(c)->findChild<QComboBox*>();
  ASSERT_NE(box, nullptr);
  box->showPopup();
  EXPECT_TRUE(box->view()->isVisible());
  EXPECT_EQ(box->view()->model()->rowCount(), 40);
  EXPECT_EQ(box->view()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  box->hidePopup();
  f->Unload();
}

TEST(ControlEvents, MouseMoveWithoutAButtonReportsTwips) {
  auto f = MakeEventForm();
  std::vector<float> seen;
  f->On("cmdOK_MouseMove", [&](int16_t Button, int16_t Shift, float X, float Y) {
    seen = {static_cast<float>(Button), static_cast<float>(Shift), X, Y};
  });
  f->Show();
  QWidget* w = W(C<CommandButton>(*f, "cmdOK"));
  EXPECT_TRUE(w->hasMouseTracking()) << "the pointer passing over a control raises MouseMove";
  QMouseEvent move(QEvent::MouseMove, QPointF(4, 2), w->mapToGlobal(QPointF(4, 2)), Qt::NoButton, Qt::NoButton,
                   Qt::ShiftModifier);
  QApplication::sendEvent(w, &move);
  EXPECT_EQ(seen, (std::vector<float>{0, vbShiftMask, 60, 30}));
  f->Unload();
}

// A control whose MouseDown hides it (a marker replaced by its drag image) still gets the moves
// and the release of that press, in its own coordinates, as the window system's capture gives
// them; afterwards the window's mouse events go where they point again.
TEST(ControlEvents, AControlHiddenByItsMouseDownKeepsThePressUntilTheRelease) {
  TestForm f("frmMarker", [](TestForm& f) {
    f.Place({{"Label", "lblMarker", -1, "", 600, 300, 300, 600, ""}});
  });
  std::vector<std::string> log;
  auto at = [](const char* what, float x, float y) {
    return std::string(what) + " " + std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y));
  };
  f.On("lblMarker_MouseDown", [&](int16_t, int16_t, float X, float Y) {
    log.push_back(at("down", X, Y));
    f.FindControl("lblMarker")->Visible(false);
  });
  f.On("lblMarker_MouseMove", [&](int16_t, int16_t, float X, float Y) { log.push_back(at("move", X, Y)); });
  f.On("lblMarker_MouseUp", [&](int16_t, int16_t, float X, float Y) { log.push_back(at("up", X, Y)); });
  f.On("Form_MouseMove", [&](int16_t, int16_t, float, float) { log.push_back("form move"); });
  f.Show();
  QWidget* marker = W(C<Label>(f, "lblMarker"));
  QWidget* top = marker->window();
  ASSERT_NE(top->windowHandle(), nullptr);
  auto send = [&](QEvent::Type type, QPoint inMarker, Qt::MouseButtons buttons) {
    const QPointF p = marker->mapTo(top, inMarker);
    QMouseEvent e(type, p, top->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(top->windowHandle(), &e);
  };
  send(QEvent::MouseButtonPress, QPoint(5, 10), Qt::LeftButton);
  send(QEvent::MouseMove, QPoint(105, 12), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, QPoint(125, 12), Qt::NoButton);
  EXPECT_EQ(log, (std::vector<std::string>{"down 75,150", "move 1575,180", "up 1875,180"}));
  log.clear();
  send(QEvent::MouseMove, QPoint(105, 12), Qt::NoButton);
  EXPECT_EQ(log, std::vector<std::string>{"form move"});
  // A release that never came: the next move without a button ends the press.
  f.FindControl("lblMarker")->Visible(true);
  log.clear();
  send(QEvent::MouseButtonPress, QPoint(5, 10), Qt::LeftButton);
  send(QEvent::MouseMove, QPoint(105, 12), Qt::NoButton);
  send(QEvent::MouseButtonRelease, QPoint(110, 12), Qt::NoButton);
  EXPECT_EQ(log, (std::vector<std::string>{"down 75,150", "form move"})) << "no MouseUp after the press ended";
  f.Unload();
}

TEST(ControlEvents, DragOverAndDragDropReachTheControlUnderThePointer) {
  TestForm f("frmDrag", [](TestForm& f) {
    f.Size(6000, 3000);
    f.Place({{"Label", "lblTile", 0, "", 150, 150, 1500, 1500, "tile 0", {{"DragMode", Variant(int16_t{1})}}},
             {"Label", "lblTile", 1, "", 3000, 150, 1500, 1500, "tile 1", {{"DragMode", Variant(int16_t{1})}}}});
  });
  Log log;
  f.On("lblTile_DragOver", [&](int16_t Index, Variant, float X, float Y, int16_t State) {
    log.push_back("over " + std::to_string(Index) + " state " + std::to_string(State) + " at " +
                  std::to_string(static_cast<int>(X)) + "," + std::to_string(static_cast<int>(Y)));
  });
  f.On("lblTile_DragDrop", [&](int16_t Index, Variant, float, float) {
    Control* src = DragSource();
    log.push_back("drop on " + std::to_string(Index) + " from " + std::to_string(src ? src->Index() : -1));
  });
  f.On("Form_DragOver", [&](Variant, float, float, int16_t State) { log.push_back("form " + std::to_string(State)); });
  f.On("lblTile_MouseDown", [&](int16_t Index) { log.push_back("mouse down " + std::to_string(Index)); });
  f.Show();
  QWidget* from = W(*f.FindControl("lblTile", 0));
  QWidget* to = W(*f.FindControl("lblTile", 1));
  auto send = [&](QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  send(from, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
  // The moves reach the pressed widget; the tracker finds what lies under the pointer.
  send(from, QEvent::MouseMove, from->mapFrom(from->window(), to->mapTo(to->window(), QPoint(2, 4))), Qt::LeftButton);
  send(from, QEvent::MouseMove, from->mapFrom(from->window(), to->mapTo(to->window(), QPoint(3, 4))), Qt::LeftButton);
  send(from, QEvent::MouseMove, from->mapFrom(from->window(), QPoint(395, 195)), Qt::LeftButton);
  send(from, QEvent::MouseMove, from->mapFrom(from->window(), to->mapTo(to->window(), QPoint(5, 5))), Qt::LeftButton);
  send(from, QEvent::MouseButtonRelease, from->mapFrom(from->window(), to->mapTo(to->window(), QPoint(5, 5))),
       Qt::NoButton);
  EXPECT_EQ(log, (Log{"over 1 state 0 at 30,60", "over 1 state 2 at 45,60", "over 1 state 1 at 2925,2775",
                      "form 0", "form 1", "over 1 state 0 at 75,75", "drop on 1 from 0"}));
  EXPECT_EQ(DragSource(), nullptr) << "the drag ends at the release";
  f.Unload();
}

TEST(ControlEvents, DesignValuesRaiseNoEvents) {
  TestForm f("frmDesign", [](TestForm& f) {
    f.Place({{"CheckBox", "chkHide", -1, "", 0, 0, 1500, 255, "Hide", {{"Value", Variant(int16_t{1})}}},
             {"OptionButton", "optA", 0, "", 0, 300, 1500, 255, "A", {{"Value", Variant(true)}}},
             {"TextBox", "txtName", -1, "", 0, 600, 1500, 285, "design text"},
             {"Label", "lblInfo", -1, "", 0, 900, 1500, 255, "design caption"},
             {"HScrollBar", "hsbPos", -1, "", 0, 1200, 1500, 255, "", {{"Max", Variant(int16_t{9})}, {"Value", Variant(int16_t{4})}}}});
  });
  f.LogEvents({"chkHide_Click", "optA_Click", "txtName_Change", "lblInfo_Change", "hsbPos_Change"});
  f.Load();
  CtlArray<OptionButton>(&f, "optA").Load(1);
  EXPECT_TRUE(f.log.empty()) << f.log.front();
  EXPECT_EQ(Ctl<CheckBox>(&f, "chkHide")->Value(), vbChecked);
  EXPECT_EQ(Ctl<HScrollBar>(&f, "hsbPos")->Value(), 4);
  Ctl<CheckBox>(&f, "chkHide")->Value(vbUnchecked);
  EXPECT_EQ(f.log, (Log{"chkHide_Click"})) << "after the load, code raises events again";
  f.Unload();
}

TEST(ControlEvents, TheFormsOwnMouseAndKeyEvents) {
  TestForm f("frmSurface");
  Log log;
  f.On("Form_MouseDown", [&](int16_t Button, int16_t, float X, float Y) {
    log.push_back("down " + std::to_string(Button) + " " + std::to_string(static_cast<int>(X)) + "," +
                  std::to_string(static_cast<int>(Y)));
  });
  f.On("Form_MouseUp", [&](int16_t Button) { log.push_back("up " + std::to_string(Button)); });
  f.On("Form_Click", [&] { log.push_back("click"); });
  f.On("Form_DblClick", [&] { log.push_back("dblclick"); });
  f.On("Form_KeyDown", [&](int16_t KeyCode, int16_t Shift) {
    log.push_back("key " + std::to_string(KeyCode) + " " + std::to_string(Shift));
  });
  f.Show();
  QWidget* client = WidgetFromHwnd(f.hWnd())->childAt(10, 10);
  ASSERT_NE(client, nullptr);
  Mouse(client, QEvent::MouseButtonPress);
  Mouse(client, QEvent::MouseButtonRelease);
  Mouse(client, QEvent::MouseButtonDblClick);
  QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::ControlModifier);
  QApplication::sendEvent(client, &f5);
  EXPECT_EQ(log, (Log{"down 1 45,45", "up 1", "click", "dblclick", "key 116 2"}));
  f.Unload();
}

TEST(ControlEvents, OptionButtonsFormOneGroupPerContainer) {
  auto f = MakeEventForm();
  C<OptionButton>(*f, "optA1").Value(true);
  C<OptionButton>(*f, "optB1").Value(true);
  C<OptionButton>(*f, "optA2").Value(true);
  EXPECT_FALSE(C<OptionButton>(*f, "optA1").Value()) << "same frame: switched off";
  EXPECT_TRUE(C<OptionButton>(*f, "optB1").Value()) << "other frame: untouched";
  EXPECT_TRUE(C<OptionButton>(*f, "optA2").Value());
}

TEST(ControlEvents, KeyPressCanSwallowOrReplaceTheKey) {
  auto f = MakeEventForm();
  f->On("txtOther_KeyPress", [](int16_t& KeyAscii) {
    if (KeyAscii == 'x') KeyAscii = 0;
    if (KeyAscii == 'a') KeyAscii = 'A';
  });
  f->Load();
  Type(W(C<TextBox>(*f, "txtOther")), "xab");
  EXPECT_EQ(C<TextBox>(*f, "txtOther").Text(), "Ab");
}

TEST(ControlEvents, FocusMovesWithValidateLostFocusGotFocus) {
  auto f = MakeEventForm();
  bool refuse = true;
  f->On("txtName_Validate", [&](bool& Cancel) {
    f->log.push_back("txtName_Validate");
    Cancel = refuse;
  });
  f->Show();
  ASSERT_TRUE(PumpUntil([&] { return W(C<TextBox>(*f, "txtName"))->window()->isActiveWindow(); }));
  C<TextBox>(*f, "txtName").SetFocus();
  DoEvents();
  f->log.clear();
  // Validate refuses: the focus stays and neither LostFocus nor GotFocus run.
  C<TextBox>(*f, "txtOther").SetFocus();
  DoEvents();
  EXPECT_EQ(f->log, (Log{"txtName_Validate"}));
  EXPECT_EQ(f->ActiveControl(), f->FindControl("txtName"));
  f->log.clear();
  refuse = false;
  C<TextBox>(*f, "txtOther").SetFocus();
  DoEvents();
  EXPECT_EQ(f->log, (Log{"txtName_Validate", "txtName_LostFocus", "txtOther_GotFocus"}));
  EXPECT_EQ(f->ActiveControl(), f->FindControl("txtOther"));
  // A control with CausesValidation False takes the focus without asking.
  f->log.clear();
  C<TextBox>(*f, "txtName").SetFocus();
  C<TextBox>(*f, "txtOther").CausesValidation(false);
  f->log.clear();
  C<TextBox>(*f, "txtOther").SetFocus();
  EXPECT_EQ(f->log, (Log{"txtName_LostFocus", "txtOther_GotFocus"}));
  f->Unload();
}

TEST(ControlEvents, ScrollBarValueOutsideItsRangeFails) {
  auto f = MakeEventForm();
  auto& sb = C<HScrollBar>(*f, "hsbVolume");
  for (int16_t bad : {int16_t{-1}, int16_t{101}}) {
    try {
      sb.Value(bad);
      ADD_FAILURE() << bad;
    } catch (const VBError& e) {
      EXPECT_EQ(e.Number(), vbErrInvalidPropertyValue);
    }
  }
  EXPECT_EQ(sb.Value(), 0);
}

TEST(ControlEvents, ListBoxKeepsSortedOrderItemDataAndSelections) {
  auto f = MakeEventForm();
  auto& l = C<ListBox>(*f, "lstCodecs");
  l.Sorted(true);
  for (const char* s : {"Indeo", "cinepak", "MJPEG", "Zebra"}) {
    l.AddItem(s);
    l.ItemData(l.NewIndex(), static_cast<int32_t>(std::string(s).size()));
  }
  std::vector<std::string> items;
  for (int16_t i = 0; i < l.ListCount(); ++i) items.push_back(l.List(i));
  EXPECT_EQ(items, (std::vector<std::string>{"cinepak", "Indeo", "MJPEG", "Zebra"}));
  EXPECT_EQ(l.ItemData(0), 7);
  EXPECT_EQ(l.ListIndex(), -1);
  l.MultiSelect(vbMultiSelectExtended);
  l.Selected(1, true);
  l.Selected(3, true);
  EXPECT_EQ(l.SelCount(), 2);
  EXPECT_TRUE(l.Selected(3));
  EXPECT_FALSE(l.Selected(0));
  l.RemoveItem(0);
  EXPECT_EQ(l.List(0), "Indeo");
}
