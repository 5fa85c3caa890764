// The common controls: keyed collections, the toolbar and its image list, progress bar, slider,
// status bar, tab strip, tabbed dialog and list view, with the rules of their events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSlider>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "forms/comctl.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms_test_support.h"

namespace {

using forms_detail::WidgetOf;

Picture Square(QColor color) {
  QImage img(16, 16, QImage::Format_RGB32);
  img.fill(color);
  return PictureFromImage(img);
}

// A form with one of each common control, built from a control table.
class frmCommon : public Form {
 public:
  frmCommon() : Form("frmCommon") {}
  std::vector<std::string> events;  // "control_event:argument"

 protected:
  void Design() override {
    Width(9600);
    Height(7200);
    Place({
        {"ImageList", "ImageList1", -1, "", 0, 0, 0, 0, ""},
        {"Toolbar", "Toolbar1", -1, "", 0, 0, 9480, 420, ""},
        {"PictureBox", "picToolCaption", -1, "Toolbar1", 7665, 0, 1620, 270, ""},
        {"ProgressBar", "ProgressBar1", -1, "", 0, 6000, 9435, 300, ""},
        {"Slider", "ctrlSlider", -1, "", 45, 600, 3000, 630, ""},
        {"StatusBar", "StaEncoderStat", -1, "", 0, 0, 0, 375, ""},
        {"TabStrip", "TabStripCodecs", -1, "", 120, 1500, 3600, 2400, ""},
        {"SSTab", "SSTab1", -1, "", 4000, 1500, 5000, 3600, "Configure", {{"Tabs", Variant(int16_t{2})}}},
        {"ListView", "LvwKilnhand", -1, "", 120, 4000, 4800, 1800, "", {{"View", Variant(int16_t{lvwReport})}}},
    });
  }
};

class CommonControls : public ::testing::Test {
 protected:
  void SetUp() override {
    form = MakeForm<frmCommon>();
    form->Load();
    for (const char* ev : {"Toolbar1_ButtonClick", "ctrlSlider_Scroll", "ctrlSlider_Change", "StaEncoderStat_PanelClick",
                           "TabStripCodecs_Click", "SSTab1_Click", "LvwKilnhand_ItemClick", "LvwKilnhand_ColumnClick"}) {
      std::string name = ev;
      form->SetHandler(name, [this, name](EventArgs& args) {
        std::string arg;
        if (!args.empty()) {
          Variant v = args[0].Deref();
          if (v.IsObject()) {
            arg = ItemOf<CollectionItem>(v).Key();
          } else {
            arg = forms_detail::StringOf(v);
          }
        }
        form->events.push_back(name + (arg.empty() ? "" : ":" + arg));
      });
    }
  }
  void TearDown() override { form.reset(); }
  template <class T>
  T& C(const char* name) {
    return dynamic_cast<T&>(*form->FindControl(name));
  }
  std::vector<std::string> TakeEvents() { return std::exchange(form->events, {}); }

  ScriptScope script;  // an unexpected message box fails the test
  FormPtr<frmCommon> form;
};

// ---- collections -----------------------------------------------------------------------------

TEST_F(CommonControls, CollectionsFindItemsByIndexAndKeyAndRefuseBadKeys) {
  ListImages& images = C<ImageList>("ImageList1").ListImagesOf();
  images.Add({}, "New", Square(Qt::red));
  images.Add({}, "Open", Square(Qt::green));
  images.Add(1, "First", Square(Qt::blue));  // inserted in front
  EXPECT_EQ(images.Count(), 3);
  EXPECT_EQ(images(1).Key(), "First");
  EXPECT_EQ(images("Open").Index(), 3);
  EXPECT_EQ(images.ItemOf(Variant("New")).Index(), 2);
  EXPECT_EQ(images.ItemOf(Variant(int16_t{3})).Key(), "Open");

  struct Case {
    const char* what;
    std::function<void()> call;
    int32_t error;
  } cases[] = {
      {"duplicate key", [&] { images.Add({}, "New", Square(Qt::red)); }, ccErrKeyNotUnique},
      {"numeric key", [&] { images.Add({}, "12", Square(Qt::red)); }, ccErrInvalidKey},
      {"empty picture", [&] { images.Add({}, "Blank", Picture()); }, vbErrInvalidPropertyValue},
      {"missing key", [&] { images("Nope"); }, ccErrElementNotFound},
      {"keys are exact", [&] { images("new"); }, ccErrElementNotFound},
      {"index 0", [&] { images(0); }, ccErrIndexOutOfBounds},
      {"index past the end", [&] { images(4); }, ccErrIndexOutOfBounds},
      {"insert past the end", [&] { images.Add(9, "Far", Square(Qt::red)); }, ccErrIndexOutOfBounds},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.error) << c.what;
  EXPECT_EQ(images.Count(), 3) << "failed adds add nothing";

  // A removed item keeps living for whoever holds it, outside the collection.
  ListImage& open = images("Open");
  ComPtr<ListImage> held(&open);
  images.Remove("Open");
  EXPECT_EQ(held->Index(), 0);
  EXPECT_EQ(images.Count(), 2);
  images.Remove(1);
  EXPECT_EQ(images(1).Key(), "New");
  EXPECT_EQ(images(1).Index(), 1);
}

// ---- toolbar ---------------------------------------------------------------------------------

class ToolbarTest : public CommonControls {
 protected:
  void SetUp() override {
    CommonControls::SetUp();
    ListImages& images = C<ImageList>("ImageList1").ListImagesOf();
    for (const char* key : {"Add", "Join", "Save", "Help", "Exit", "Options"}) images.Add({}, key, Square(Qt::gray));
  }
  Toolbar& Bar() { return C<Toolbar>("Toolbar1"); }
  QToolButton* ButtonWidget(Button& b) {
    auto* bar = static_cast<QToolBar*>(WidgetOf(Bar()));
    int n = 0;
    for (QAction* a : bar->actions()) {
      if (++n == b.Index()) return qobject_cast<QToolButton*>(bar->widgetForAction(a));
    }
    return nullptr;
  }
};

TEST_F(ToolbarTest, ButtonsTakeImagesFromTheImageListByKey) {
  Buttons& buttons = Bar().ButtonsOf();
  EXPECT_EQ(ErrorOf([&] { buttons.Add({}, "Add").Image(Variant("Add")); }), ccErrNoImageList);
  buttons.Clear();
  Bar().SetImageList(&C<ImageList>("ImageList1"));
  // Built as the main window builds its bar: key and style, then picture and tool tip.
  for (const char* key : {"Add", "Join", "", "Help", "Exit"}) {
    Button& b = buttons.Add({}, key, "", *key ? tbrDefault : tbrSeparator);
    if (*key) {
      b.Image(Variant(key));
      b.ToolTipText(std::string("Tip ") + key);
    }
  }
  EXPECT_EQ(buttons.Count(), 5);
  EXPECT_EQ(buttons(3).Style(), tbrSeparator);
  EXPECT_EQ(buttons("Help").Index(), 4);
  EXPECT_EQ(ErrorOf([&] { buttons("Help").Image(Variant("Title")); }), ccErrElementNotFound);
  EXPECT_EQ(ErrorOf([&] { buttons("Save"); }), ccErrElementNotFound);
  EXPECT_EQ(ErrorOf([&] { buttons.Add({}, "Odd", "", 9); }), vbErrInvalidPropertyValue);

  QToolButton* join = ButtonWidget(buttons("Join"));
  ASSERT_NE(join, nullptr);
  EXPECT_EQ(join->toolTip(), "Tip Join");
  EXPECT_FALSE(join->icon().isNull());
  buttons("Join").Enabled(false);
  EXPECT_FALSE(ButtonWidget(buttons("Join"))->isEnabled());
}

TEST_F(ToolbarTest, ButtonClickComesFromTheUserOnlyAndCheckButtonsToggleFirst) {
  Bar().SetImageList(&C<ImageList>("ImageList1"));
  Buttons& buttons = Bar().ButtonsOf();
  buttons.Add({}, "Add", "", tbrDefault, Variant("Add"));
  buttons.Add({}, "", "", tbrSeparator);
  buttons.Add({}, "Options", "", tbrCheck, Variant("Options"));
  buttons.Add({}, "Gap", "", tbrPlaceholder);
  std::vector<int16_t> valueAtClick;
  form->On("Toolbar1_ButtonClick", [&](Variant Button) {
    form->events.push_back("click:" + ItemOf<::Button>(Button).Key());
    valueAtClick.push_back(ItemOf<::Button>(Button).Value());
  });

  ButtonWidget(buttons("Add"))->click();
  ButtonWidget(buttons("Options"))->click();
  ButtonWidget(buttons("Options"))->click();
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"click:Add", "click:Options", "click:Options"}));
  EXPECT_EQ(valueAtClick, (std::vector<int16_t>{tbrUnpressed, tbrPressed, tbrUnpressed}));

  // From code: the state changes, no event.
  buttons("Options").Value(tbrPressed);
  EXPECT_TRUE(ButtonWidget(buttons("Options"))->isChecked());
  buttons("Add").Visible(false);
  EXPECT_FALSE(static_cast<QToolBar*>(WidgetOf(Bar()))->actions().at(0)->isVisible());
  EXPECT_TRUE(TakeEvents().empty());
  EXPECT_EQ(ErrorOf([&] { buttons("Options").Value(2); }), vbErrInvalidPropertyValue);
}

TEST_F(ToolbarTest, AHandlerMayRebuildTheBarFromInsideAClick) {
  Bar().SetImageList(&C<ImageList>("ImageList1"));
  Buttons& buttons = Bar().ButtonsOf();
  buttons.Add({}, "Options", "", tbrDefault, Variant("Options"));
  int clicks = 0;
  form->On("Toolbar1_ButtonClick", [&](Variant Button) {
    ++clicks;
    EXPECT_EQ(ItemOf<::Button>(Button).Key(), "Options");
    buttons.Clear();
    buttons.Add({}, "Save", "", tbrDefault, Variant("Save"));
    buttons.Add({}, "Exit", "", tbrDefault, Variant("Exit"));
  });
  ButtonWidget(buttons("Options"))->click();
  DoEvents();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(buttons.Count(), 2);
  EXPECT_EQ(static_cast<QToolBar*>(WidgetOf(Bar()))->actions().size(), 2);
}

TEST_F(ToolbarTest, AlignedToTheTopItSpansTheFormAndHoldsControls) {
  form->Show();
  form->Width(12000);
  DoEvents();
  Toolbar& bar = Bar();
  EXPECT_EQ(bar.Top(), 0);
  EXPECT_EQ(bar.Left(), 0);
  EXPECT_EQ(bar.Height(), 420);
  EXPECT_NEAR(bar.Width(), form->ScaleWidth(), 15);
  Control& caption = *form->FindControl("picToolCaption");
  EXPECT_EQ(caption.Container(), &bar);
  EXPECT_EQ(caption.Left(), 7665);
  bar.Align(vbAlignNone);
  bar.Width(3000);
  form->Width(9600);
  DoEvents();
  EXPECT_EQ(bar.Width(), 3000);
  EXPECT_EQ(ErrorOf([&] { bar.Align(7); }), vbErrInvalidPropertyValue);
}

TEST_F(ToolbarTest, ItCoversWhatLiesBeneathIt) {
  form->Show();
  DoEvents();
  // A red picture box under the bar's left part, the bar brought to the front over it.
  Control& under = form->Add({"PictureBox", "picUnder", -1, "", 0, 0, 4500, 420, "",
                              {{"BackColor", Variant(int32_t{0x0000FF})}, {"BorderStyle", Variant(int16_t{0})}}});
  Bar().ZOrder(0);
  DoEvents();
  QWidget* bar = WidgetOf(Bar());
  QImage shot = bar->parentWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint inside = bar->geometry().topLeft() + QPoint(150, bar->height() / 2);
  ASSERT_TRUE(WidgetOf(under)->geometry().contains(inside));
  EXPECT_NE(shot.pixelColor(inside), QColor(255, 0, 0)) << "the bar paints its own background";
  EXPECT_EQ(shot.pixelColor(inside), bar->palette().color(QPalette::Window));
}

// ---- progress bar ----------------------------------------------------------------------------

TEST_F(CommonControls, ProgressBarRefusesValuesOutsideItsRangeAndKeepsItsState) {
  ProgressBar& bar = C<ProgressBar>("ProgressBar1");
  auto* widget = static_cast<QProgressBar*>(WidgetOf(bar));
  bar.Max(40.0f);
  bar.Value(10.0f);
  int shown = widget->value();
  EXPECT_EQ(shown, widget->maximum() / 4);
  struct Case {
    const char* what;
    std::function<void()> call;
  } refused[] = {
      {"above Max", [&] { bar.Value(40.5f); }},
      {"below Min", [&] { bar.Value(-0.01f); }},
      {"Max at Min", [&] { bar.Max(0.0f); }},
      {"Min at Max", [&] { bar.Min(40.0f); }},
      {"late-bound", [&] { bar.SetProperty("Value", Variant(99.0)); }},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(ErrorOf(c.call), vbErrInvalidPropertyValue) << c.what;
    EXPECT_EQ(bar.Value(), 10.0f) << c.what;
    EXPECT_EQ(bar.Min(), 0.0f) << c.what;
    EXPECT_EQ(bar.Max(), 40.0f) << c.what;
    EXPECT_EQ(widget->value(), shown) << c.what;
  }
  bar.Value(40.0f);
  EXPECT_EQ(widget->value(), widget->maximum());
  bar.Value(0.5f);
  EXPECT_EQ(bar.Value(), 0.5f);
  // A narrower range takes the value along instead of leaving it outside.
  bar.Min(2.0f);
  EXPECT_EQ(bar.Value(), 2.0f);
  bar.Value(30.0f);
  bar.Max(20.0f);
  EXPECT_EQ(bar.Value(), 20.0f);
}

// ---- slider ----------------------------------------------------------------------------------

class SliderTest : public CommonControls {
 protected:
  Slider& S() { return C<Slider>("ctrlSlider"); }
  QSlider* W() { return static_cast<QSlider*>(WidgetOf(S())); }
  void Key(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(W(), &press);
  }
};

TEST_F(SliderTest, CodeRaisesChangeOnlyAndTheUserScrollToo) {
  S().Max(1000);
  S().SmallChange(10);
  S().LargeChange(100);
  TakeEvents();
  S().Value(500);
  S().Value(500);  // no change, no event
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"ctrlSlider_Change"});

  W()->setFocus();
  Key(Qt::Key_Right);
  EXPECT_EQ(S().Value(), 510);
  // The keys move as on the runtime's slider: Page Down and Down towards Max, Home to Min.
  Key(Qt::Key_PageDown);
  EXPECT_EQ(S().Value(), 610);
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"ctrlSlider_Scroll", "ctrlSlider_Change", "ctrlSlider_Scroll",
                                                    "ctrlSlider_Change"}));
  Key(Qt::Key_Down);
  EXPECT_EQ(S().Value(), 620);
  Key(Qt::Key_Up);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(S().Value(), 510);
  Key(Qt::Key_End);
  EXPECT_EQ(S().Value(), 1000);
  Key(Qt::Key_Home);
  EXPECT_EQ(S().Value(), 0);
  TakeEvents();
  S().Value(610);
  TakeEvents();
  EXPECT_EQ(ErrorOf([&] { S().Value(1001); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { S().Value(-1); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(S().Value(), 610);
  EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(SliderTest, DraggingScrollsAllTheWayAndChangesOnceAtTheEnd) {
  form->Show();
  DoEvents();
  S().Max(100);
  S().Value(0);
  TakeEvents();
  QSlider* w = W();
  // The thumb of the value 0 sits at the left end.
  int thumb = w->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, w);
  QPoint at(thumb / 2 + 1, w->height() / 2);
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  ASSERT_TRUE(w->isSliderDown());
  for (int dx : {20, 40, 60}) {
    QPoint p = at + QPoint(dx, 0);
    QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
  }
  QPoint end = at + QPoint(60, 0);
  QMouseEvent release(QEvent::MouseButtonRelease, end, w->mapToGlobal(end), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &release);
  std::vector<std::string> ev = TakeEvents();
  ASSERT_GE(ev.size(), 2u);
  EXPECT_EQ(ev.back(), "ctrlSlider_Change");
  ev.pop_back();
  for (const std::string& e : ev) EXPECT_EQ(e, "ctrlSlider_Scroll");
  EXPECT_GT(S().Value(), 0);
}

TEST_F(SliderTest, TheSelectedRangeIsDrawnAndChecked) {
  form->Show();
  S().Max(100);
  S().TickFrequency(10);
  S().Value(0);
  DoEvents();
  QImage before = W()->grab().toImage();
  S().SelStart(20);
  S().SelLength(50);
  QImage with = W()->grab().toImage();
  EXPECT_NE(before, with) << "the selection shows on the channel";
  S().SelectRange(false);
  EXPECT_EQ(W()->grab().toImage(), before);
  S().SelectRange(true);

  EXPECT_EQ(ErrorOf([&] { S().SelStart(101); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { S().SelLength(-1); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { S().TickStyle(4); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(S().SelStart(), 20);
  EXPECT_EQ(S().SelLength(), 50);
  // Small movies: steps and ticks of 0 are allowed.
  S().SmallChange(0);
  S().TickFrequency(0);
  EXPECT_EQ(S().TickFrequency(), 0);
  W()->grab();
}

// The edge bars are opaque: a control lying behind one (a storyboard tile scrolled up under the
// tool bar) does not show through between its buttons or panels.
TEST(CommonControlBars, EdgeBarsHideTheControlsBehindThem) {
  struct Case {
    const char* type;
    int16_t align;
  };
  for (const Case& c : {Case{"Toolbar", vbAlignTop}, Case{"StatusBar", vbAlignBottom}}) {
    SCOPED_TRACE(c.type);
    TestForm f("frmBars", [&](TestForm& f) {
      f.Add({"PictureBox", "picBehind", -1, "", 0, 0, 4800, 3600, "", {{"BackColor", Variant(int32_t{0x0000FF})}}});
      f.Add({c.type, "bar", -1, "", 0, 0, 0, 420, "", {{"Align", Variant(c.align)}}});
    });
    f.Size(4800, 3600);
    f.Show();
    f.FindControl("bar")->ZOrder(0);
    DoEvents();
    QWidget* bar = WidgetOf(*f.FindControl("bar"));
    const QImage shot = bar->window()->grab().toImage();
    const QPoint inside = bar->mapTo(bar->window(), QPoint(bar->width() - 4, bar->height() / 2));
    EXPECT_NE(shot.pixel(inside) | 0xFF000000u, qRgb(255, 0, 0)) << "the control behind shows through";
    const QPoint outside = bar->mapTo(bar->window(), QPoint(bar->width() / 2, c.align == vbAlignTop ? bar->height() + 8 : -8));
    EXPECT_EQ(shot.pixel(outside) | 0xFF000000u, qRgb(255, 0, 0)) << "the control behind shows beside the bar";
    f.Unload();
  }
}

TEST(CommonControlTables, PropertiesSetByNameInATable) {
  ScriptScope script;
  class frmPreview : public Form {
   public:
    frmPreview() : Form("frmPreview") {}

   protected:
    void Design() override {
      Place({
          {"ImageList", "ImageList1", -1, "", 0, 0, 0, 0, ""},
          {"Toolbar", "Toolbar1", -1, "", 0, 0, 0, 420, "", {{"ImageList", Variant("ImageList1")}}},
          {"Slider", "slVolume", -1, "", 120, 600, 2400, 450, "",
           {{"Min", Variant(-10000)}, {"Max", Variant(0)}, {"LargeChange", Variant(1000)},
            {"SmallChange", Variant(500)}, {"TickFrequency", Variant(1000)}, {"Value", Variant(0)}}},
          {"ProgressBar", "ProgressBar1", -1, "", 120, 1200, 2400, 255, "", {{"Max", Variant(7.5)}}},
          {"StatusBar", "StaEncoderStat", -1, "", 0, 0, 0, 375, "",
           {{"Style", Variant(int16_t{sbrSimple})}, {"SimpleText", Variant("Encoder Stopped")}}},
      });
    }
  };
  auto form = MakeForm<frmPreview>();
  Ctl<Slider> slVolume(form.get(), "slVolume");
  EXPECT_EQ(slVolume->Min(), -10000);
  EXPECT_EQ(slVolume->Max(), 0);
  EXPECT_EQ(slVolume->LargeChange(), 1000);
  EXPECT_EQ(slVolume->SmallChange(), 500);
  EXPECT_EQ(slVolume->TickFrequency(), 1000);
  EXPECT_EQ(slVolume->GetProperty("value").i4(), 0);
  Ctl<Toolbar> toolbar(form.get(), "Toolbar1");
  EXPECT_EQ(toolbar->GetImageList(), form->FindControl("ImageList1"));
  EXPECT_EQ(Ctl<ProgressBar>(form.get(), "ProgressBar1")->Max(), 7.5f);
  EXPECT_EQ(Ctl<StatusBar>(form.get(), "StaEncoderStat")->SimpleText(), "Encoder Stopped");
  EXPECT_EQ(ErrorOf([&] { form->Add({"Toolbar", "Toolbar2", -1, "", 0, 0, 0, 0, "", {{"ImageList", Variant("Nope")}}}); }),
            vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { slVolume->SetProperty("Value", Variant(1)); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { slVolume->SetProperty("NoSuchProperty", Variant(1)); }), vbErrObjectDoesntSupport);
}

// ---- status bar ------------------------------------------------------------------------------

TEST_F(CommonControls, StatusBarShowsSimpleTextOrPanels) {
  form->Show();
  DoEvents();
  StatusBar& bar = C<StatusBar>("StaEncoderStat");
  EXPECT_EQ(bar.PanelsOf().Count(), 1);
  EXPECT_NEAR(bar.Top() + bar.Height(), form->ScaleHeight(), 15) << "aligned to the bottom";
  bar.Style(sbrSimple);
  bar.SimpleText("Encoder Stopped");
  auto labels = WidgetOf(bar)->findChildren<QLabel*>();
  bool shown = false;
  for (QLabel* l : labels) shown |= l->isVisibleTo(WidgetOf(bar)) && l->text() == "Encoder Stopped";
  EXPECT_TRUE(shown);

  bar.Style(sbrNormal);
  Panel& state = bar.PanelsOf().Add({}, "State", "Idle");
  bar.PanelsOf()(1).Text("Ready");
  for (QLabel* l : WidgetOf(bar)->findChildren<QLabel*>()) {
    if (l->text() == "Idle" && l->isVisibleTo(WidgetOf(bar))) {
      QPoint c = l->rect().center();
      QMouseEvent release(QEvent::MouseButtonRelease, c, l->mapToGlobal(c), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
      QApplication::sendEvent(l, &release);
    }
  }
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"StaEncoderStat_PanelClick:State"});
  EXPECT_EQ(state.Index(), 2);
  EXPECT_EQ(bar.SimpleText(), "Encoder Stopped");
  EXPECT_EQ(ErrorOf([&] { bar.Style(2); }), vbErrInvalidPropertyValue);
}

// ---- tab strip -------------------------------------------------------------------------------

TEST_F(CommonControls, TabStripClickFollowsEveryChangeOfTheSelectedTab) {
  TabStrip& strip = C<TabStrip>("TabStripCodecs");
  EXPECT_EQ(strip.SelectedItem(), nullptr);
  Tabs& tabs = strip.TabsOf();
  tabs.Add({}, "Video", "Video Codec");
  tabs.Add({}, "Audio", "Audio Codec");
  EXPECT_EQ(strip.SelectedItem(), &tabs(1)) << "the first tab starts selected";
  EXPECT_TRUE(tabs("Video").Selected());
  EXPECT_TRUE(TakeEvents().empty());

  tabs("Audio").Selected(true);
  tabs("Audio").Selected(true);  // already selected: no event
  EXPECT_EQ(strip.SelectedItem()->Caption(), "Audio Codec");
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"TabStripCodecs_Click"});

  auto* bar = WidgetOf(strip)->findChild<QTabBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->currentIndex(), 1);
  bar->setCurrentIndex(0);  // as a user's click does
  EXPECT_EQ(strip.SelectedItem()->Key(), "Video");
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"TabStripCodecs_Click"});

  tabs.Remove("Video");
  EXPECT_EQ(strip.SelectedItem()->Key(), "Audio");
  EXPECT_EQ(bar->count(), 1);
  tabs.Clear();
  EXPECT_EQ(strip.SelectedItem(), nullptr);
  EXPECT_TRUE(TakeEvents().empty());
}

// ---- SSTab -----------------------------------------------------------------------------------

TEST_F(CommonControls, SSTabKeepsEachTabsControlsToItself) {
  SSTab& tab = C<SSTab>("SSTab1");
  form->Show();
  EXPECT_EQ(tab.Tabs(), 2);
  EXPECT_EQ(tab.TabCaption(0), "Configure");
  tab.TabCaption(1, "Encoder");
  // Controls go onto the tab that is current when they are placed.
  Control& ok = form->Add({"CommandButton", "CmdOk", -1, "SSTab1", 7770, 1725, 1155, 375, "OK"});
  Control& start = form->Add({"CommandButton", "CmdStart", -1, "SSTab1", 5205, 1000, 1155, 375, "&Start"});
  tab.MoveToTab(start, 1);
  EXPECT_EQ(tab.TabOf(ok), 0);
  EXPECT_EQ(tab.TabOf(start), 1);
  EXPECT_EQ(ok.Left(), 7770);
  EXPECT_EQ(ok.Top(), 1725) << "positions count from the SSTab's corner, tab row included";
  EXPECT_EQ(WidgetOf(ok)->mapTo(WidgetOf(tab), QPoint(0, 0)), QPoint(7770 / 15, 1725 / 15));
  EXPECT_TRUE(WidgetOf(ok)->isVisible());
  EXPECT_FALSE(WidgetOf(start)->isVisible());
  start.Visible(true);  // its own Visible does not show it on a hidden tab
  EXPECT_FALSE(WidgetOf(start)->isVisible());

  std::vector<int16_t> previous;
  form->On("SSTab1_Click", [&](int16_t PreviousTab) {
    previous.push_back(PreviousTab);
    // Selecting the current tab again from inside the handler changes nothing.
    if (tab.Tab() != 1) tab.Tab(1);
  });
  tab.Tab(1);
  tab.Tab(1);
  EXPECT_EQ(previous, std::vector<int16_t>{0});
  EXPECT_TRUE(WidgetOf(start)->isVisible());
  EXPECT_FALSE(WidgetOf(ok)->isVisible());
  EXPECT_EQ(ok.Visible(), true);

  auto* bar = WidgetOf(tab)->findChild<QTabBar*>();
  bar->setCurrentIndex(0);  // the user
  EXPECT_EQ(previous, (std::vector<int16_t>{0, 1, 0})) << "the handler moved on to tab 1 again";
  EXPECT_EQ(tab.Tab(), 1);
  EXPECT_EQ(ErrorOf([&] { tab.Tab(2); }), vbErrInvalidPropertyValue);
  EXPECT_EQ(ErrorOf([&] { tab.Tabs(0); }), vbErrInvalidPropertyValue);

  // Fewer tabs: the controls of the tabs that go move to the last one left.
  tab.Tabs(1);
  EXPECT_EQ(tab.TabOf(start), 0);
  EXPECT_EQ(tab.Tab(), 0);
  EXPECT_EQ(start.Left(), 5205);
}

// ---- list view -------------------------------------------------------------------------------

class ListViewTest : public CommonControls {
 protected:
  ListView& L() { return C<ListView>("LvwKilnhand"); }
  QTreeWidget* W() { return static_cast<QTreeWidget*>(WidgetOf(L())); }
  ListItem& AddRow(const std::string& input) {
    ListItem& item = L().ListItemsOf().Add(L().ListItemsOf().Count() + 1, "", input);
    item.ListSubItemsOf().Add({}, "OutputFile", input + ".wmv");
    item.ListSubItemsOf().Add({}, "Profile", "Wz Movie Tools 320X240");
    item.ListSubItemsOf().Add({}, "Result", "");
    return item;
  }
  void SetUp() override {
    CommonControls::SetUp();
    ColumnHeaders& cols = L().ColumnHeadersOf();
    cols.Add({}, "Input", "Input File", 1200);
    cols.Add({}, "Output", "Output File", 1200);
    cols.Add({}, "Profile", "Profile", 1200);
    cols.Add({}, "Result", "Result", 1200);
  }
};

TEST_F(ListViewTest, RowsShowTheirSubItemsUnderTheColumns) {
  form->Show();
  ListItem& first = AddRow("/media/song.mp3");
  AddRow("/media/clip.avi");
  DoEvents();
  QImage plain = W()->viewport()->grab().toImage();
  L().DropHighlight(&first);
  EXPECT_NE(W()->viewport()->grab().toImage(), plain) << "the drop-highlighted row is marked";
  L().DropHighlight(nullptr);
  EXPECT_EQ(W()->viewport()->grab().toImage(), plain);
  EXPECT_EQ(W()->columnCount(), 4);
  EXPECT_EQ(W()->headerItem()->text(1), "Output File");
  EXPECT_EQ(W()->topLevelItemCount(), 2);
  EXPECT_EQ(W()->topLevelItem(1)->text(2), "Wz Movie Tools 320X240");
  first.ListSubItemsOf()("Result").Text("Error:5B");
  EXPECT_EQ(W()->topLevelItem(0)->text(3), "Error:5B");
  EXPECT_EQ(first.SubItems(3), "Error:5B");
  first.SubItems(1, "/out/a.wmv");
  EXPECT_EQ(first.ListSubItemsOf()("OutputFile").Text(), "/out/a.wmv");
  EXPECT_EQ(first.SubItems(7), "");
  EXPECT_EQ(L().ColumnHeadersOf()("Result").SubItemIndex(), 3);
  EXPECT_EQ(W()->columnWidth(0), 80);
  EXPECT_EQ(ErrorOf([&] { first.ListSubItemsOf().Add({}, "Result", ""); }), ccErrKeyNotUnique);
  EXPECT_EQ(ErrorOf([&] { first.SubItems(0); }), ccErrIndexOutOfBounds);
}

TEST_F(ListViewTest, SelectionFromCodeIsSilentAndTheUsersRaisesItemClick) {
  ListItems& items = L().ListItemsOf();
  ListItem& first = AddRow("/a.avi");
  ListItem& second = AddRow("/b.avi");
  AddRow("/c.avi");
  EXPECT_EQ(L().SelectedItem(), nullptr);
  L().SelectedItem(&first);
  L().DropHighlight(&first);
  EXPECT_TRUE(first.Selected());
  EXPECT_EQ(W()->currentItem(), W()->topLevelItem(0));
  EXPECT_TRUE(TakeEvents().empty());

  W()->setCurrentItem(W()->topLevelItem(2));  // as a user's click or arrow key does
  EXPECT_EQ(L().SelectedItem(), &items(3));
  EXPECT_EQ(L().DropHighlight(), &first) << "the drop highlight stays where the code put it";
  std::vector<std::string> ev = TakeEvents();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0], "LvwKilnhand_ItemClick");

  second.Selected(true);
  EXPECT_EQ(L().SelectedItem(), &second);
  items.Remove(2);
  EXPECT_EQ(L().SelectedItem(), nullptr) << "the selected row went";
  EXPECT_EQ(items(2).Text(), "/c.avi");
  EXPECT_EQ(W()->topLevelItemCount(), 2);
  // Rows are removed from the last to the first until none is left.
  while (items.Count() > 0) items.Remove(items.Count());
  EXPECT_EQ(L().DropHighlight(), nullptr);
  EXPECT_EQ(W()->topLevelItemCount(), 0);
  EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(ListViewTest, AMouseClickOnARowRaisesItemClickThenClick) {
  form->Show();
  AddRow("/a.avi");
  AddRow("/b.avi");
  DoEvents();
  form->On("LvwKilnhand_Click", [&] { form->events.push_back("LvwKilnhand_Click"); });
  form->On("LvwKilnhand_DblClick", [&] { form->events.push_back("LvwKilnhand_DblClick"); });
  QWidget* viewport = W()->viewport();
  QPoint at = W()->visualItemRect(W()->topLevelItem(1)).center();
  for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    Qt::MouseButtons held = t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent e(t, at, viewport->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(viewport, &e);
  }
  EXPECT_EQ(TakeEvents(), (std::vector<std::string>{"LvwKilnhand_ItemClick", "LvwKilnhand_Click"}));
  EXPECT_EQ(L().SelectedItem()->Text(), "/b.avi");
  QMouseEvent dbl(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(viewport, &dbl);
  EXPECT_EQ(TakeEvents(), std::vector<std::string>{"LvwKilnhand_DblClick"});
}

// A batch list of a few thousand files is filled one row at a time: each change touches only its
// own row (a mark put on a row's widget item survives the others' changes), and the rows show
// the items in order throughout.
TEST_F(ListViewTest, AddingAndChangingRowsLeavesTheOtherRowsAlone) {
  constexpr int kMark = Qt::UserRole + 77;
  ListItems& items = L().ListItemsOf();
  AddRow("/drop/0.avi");
  W()->topLevelItem(0)->setData(0, kMark, 1);
  for (int i = 1; i < 3000; ++i) AddRow("/drop/" + std::to_string(i) + ".avi");
  ASSERT_EQ(items.Count(), 3000);
  EXPECT_EQ(W()->topLevelItem(0)->data(0, kMark).toInt(), 1) << "the first row was rebuilt";
  W()->topLevelItem(1)->setData(0, kMark, 2);
  L().SelectedItem(&items(1500));
  L().DropHighlight(&items(20));
  items(2).SubItems(3, "Error:5B");
  items.Add(1, "first", "/drop/new.avi");  // before every other row
  items.Remove(4);
  items.Add(3001, "", "/drop/last.avi");
  EXPECT_EQ(W()->topLevelItem(1)->data(0, kMark).toInt(), 1);
  EXPECT_EQ(W()->topLevelItem(2)->data(0, kMark).toInt(), 2);
  ASSERT_EQ(W()->topLevelItemCount(), items.Count());
  for (int r = 0; r < items.Count(); ++r) {
    ListItem& item = items(r + 1);
    QTreeWidgetItem* row = W()->topLevelItem(r);
    ASSERT_EQ(row->text(0).toStdString(), item.Text()) << r;
    for (int s = 1; s < 4; ++s) ASSERT_EQ(row->text(s).toStdString(), item.SubItems(static_cast<int16_t>(s))) << r;
  }
  EXPECT_EQ(W()->topLevelItem(2)->text(3), "Error:5B");
  EXPECT_EQ(items(4).Text(), "/drop/3.avi");
  EXPECT_EQ(items(3001).Text(), "/drop/last.avi");
  EXPECT_EQ(L().SelectedItem()->Text(), "/drop/1499.avi");
  EXPECT_EQ(L().SelectedItem()->Index(), 1500);
  EXPECT_EQ(W()->currentItem(), W()->topLevelItem(1499)) << "the selection follows its row";
  EXPECT_EQ(L().DropHighlight()->Text(), "/drop/19.avi");
  items.Remove(1500);
  EXPECT_EQ(L().SelectedItem(), nullptr);
  EXPECT_EQ(W()->topLevelItemCount(), 3000);
  EXPECT_TRUE(TakeEvents().empty());
}

TEST_F(ListViewTest, ItemClickPassesTheRowItself) {
  AddRow("/a.avi");
  L().ListItemsOf().Add({}, "keyed", "/k.avi");
  std::string clicked;
  form->On("LvwKilnhand_ItemClick", [&](Variant Item) { clicked = ItemOf<ListItem>(Item).Text(); });
  W()->setCurrentItem(W()->topLevelItem(1));
  EXPECT_EQ(clicked, "/k.avi");
  EXPECT_EQ(ErrorOf([&] { ItemOf<ColumnHeader>(Variant(static_cast<IUnknown*>(L().SelectedItem()))); }),
            vbErrTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { ItemOf<ListItem>(Variant("text")); }), vbErrTypeMismatch);
}

}  // namespace
