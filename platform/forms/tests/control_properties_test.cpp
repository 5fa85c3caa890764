// Properties every control shares, late-bound property access, and the properties of text
// boxes, buttons and forms.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QStyleOptionGroupBox>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

namespace {
std::unique_ptr<TestForm> MakeForm() {
  return std::make_unique<TestForm>("frmProps", [](TestForm& f) {
    f.Place({{"TextBox", "txtName", -1, "", 120, 120, 2400, 285, "Hello world"},
             {"CommandButton", "cmdPlay", -1, "", 120, 600, 1200, 600, "Play"},
             {"Label", "lblInfo", -1, "", 120, 1400, 2400, 255, "Info"},
             {"PictureBox", "picBox", -1, "", 3000, 120, 1500, 1500, ""},
             {"Label", "lblInner", -1, "picBox", 150, 150, 600, 255, "in"}});
  });
}
}  // namespace

TEST(ControlProperties, CommonPropertiesByNameAndByCall) {
  auto f = MakeForm();
  Control& lbl = *f->FindControl("lblInfo");
  struct Case {
    const char* name;
    Variant value;
  };
  const Case cases[] = {
      {"Left", Variant(int32_t{300})},       {"Top", Variant(int32_t{1500})},
      {"Width", Variant(int32_t{1800})},     {"Height", Variant(int32_t{300})},
      {"Visible", Variant(false)},           {"Enabled", Variant(false)},
      {"ToolTipText", Variant("Tip")},       {"Tag", Variant("marker")},
      {"MousePointer", Variant(int16_t{11})}, {"FontSize", Variant(12.0f)},
      {"FontBold", Variant(true)},           {"ForeColor", Variant(int32_t{0x0000FF})},
      {"Caption", Variant("Changed")},
  };
  for (const Case& c : cases) {
    lbl.SetProperty(c.name, c.value);
    EXPECT_EQ(lbl.GetProperty(c.name), c.value) << c.name;
  }
  QWidget* w = WidgetFromHwnd(lbl.hWnd());
  EXPECT_EQ(w->geometry(), QRect(20, 100, 120, 20));
  EXPECT_EQ(w->toolTip(), "Tip");
  EXPECT_TRUE(w->isHidden());
  EXPECT_EQ(w->palette().color(QPalette::Active, QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(w->font().pixelSize(), 12 * 96 / 72) << "12 points at 96 dots an inch";
  EXPECT_TRUE(w->font().bold());
  EXPECT_EQ(ErrorOf([&] { lbl.SetProperty("NoSuchProperty", Variant(1)); }), 438);
  EXPECT_EQ(ErrorOf([&] { lbl.GetProperty("NoSuchProperty"); }), 438);
  EXPECT_EQ(ErrorOf([&] { lbl.SetProperty("Width", Variant("wide")); }), 13);
  // Names compare without regard to case.
  lbl.SetProperty("caption", Variant("lower"));
  EXPECT_EQ(dynamic_cast<Label&>(lbl).Caption(), "lower");
  // Positions inside a container count from the container.
  Control& inner = *f->FindControl("lblInner");
  EXPECT_EQ(inner.Left(), 150);
  EXPECT_EQ(inner.Container(), f->FindControl("picBox"));
  f->Unload();
}

TEST(ControlProperties, ANegativeWidthOrHeightIsAnInvalidPropertyValue) {
  auto f = MakeForm();
  Control& box = *f->FindControl("picBox");
  struct Case {
    const char* what;
    std::function<void()> set;
  };
  const Case cases[] = {
      {"Width(-1)", [&] { box.Width(-1); }},
      {"Height(-15)", [&] { box.Height(-15); }},
      {"Width by name", [&] { box.SetProperty("Width", Variant(int32_t{-300})); }},
      {"Height by name", [&] { box.SetProperty("height", Variant(int32_t{-1})); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.set), vbErrInvalidPropertyValue) << c.what;
    EXPECT_EQ(box.Width(), 1500) << c.what << ": the size stays";
    EXPECT_EQ(box.Height(), 1500) << c.what;
  }
  box.Width(0);
  box.Height(0);
  EXPECT_EQ(box.Width(), 0);
  EXPECT_EQ(box.Height(), 0);
  f->Unload();
}

TEST(ControlProperties, TabIndexTakesItsPlaceAndTheOthersCloseUp) {
  auto f = MakeForm();
  auto order = [&] {
    std::vector<std::string> names(5);
    for (Control* c : f->Controls()) names.at(static_cast<size_t>(c->TabIndex())) = c->Name();
    return names;
  };
  EXPECT_EQ(order(), (std::vector<std::string>{"txtName", "cmdPlay", "lblInfo", "picBox", "lblInner"}));
  f->FindControl("picBox")->TabIndex(0);
  EXPECT_EQ(order(), (std::vector<std::string>{"picBox", "txtName", "cmdPlay", "lblInfo", "lblInner"}));
  f->FindControl("txtName")->TabIndex(99);
  EXPECT_EQ(order(), (std::vector<std::string>{"picBox", "cmdPlay", "lblInfo", "lblInner", "txtName"}));
  // Tab follows the order, not the order of creation: txtExtra, made last, comes second.
  Control& extra = f->Add({"TextBox", "txtExtra", -1, "", 120, 2000, 1200, 285, ""});
  extra.TabIndex(1);
  f->Show();
  ASSERT_TRUE(PumpUntil([&] { return WidgetFromHwnd(f->hWnd())->isActiveWindow(); }));
  extra.SetFocus();
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(WidgetFromHwnd(extra.hWnd()), &tab);
  EXPECT_EQ(f->ActiveControl(), f->FindControl("cmdPlay"));
  f->Unload();
}

// Elements loaded one after another take the last tab index and Tab goes from each to the next;
// after an element leaves the order (the last one, or one in the middle), the next one loaded
// still takes the last index behind the others, closed up, and Tab still follows the indexes.
TEST(ControlProperties, LoadedElementsTakeTheLastTabIndexAfterAnyUnload) {
  TestForm f("frmTabs", [](TestForm& t) {
    t.Place({{"TextBox", "txtA", -1, "", 120, 120, 1200, 285, ""},
             {"TextBox", "txtItem", 0, "", 120, 600, 1200, 285, ""},
             {"Label", "lblB", -1, "", 120, 1000, 1200, 255, "b"}});
  });
  f.Load();
  // The names in tab order, each with its index; the indexes run 0..n-1.
  auto order = [&] {
    std::vector<Control*> all = f.Controls();
    std::vector<std::string> names(all.size());
    for (Control* c : all) {
      names.at(static_cast<size_t>(c->TabIndex())) = c->Name() + (c->Index() >= 0 ? std::to_string(c->Index()) : "");
    }
    return names;
  };
  // Tab from each text box in the order lands on the next text box.
  auto tabFollowsTheOrder = [&] {
    std::vector<Control*> boxes;
    for (Control* c : f.Controls()) {
      if (c->Name() != "lblB") boxes.push_back(c);
    }
    std::sort(boxes.begin(), boxes.end(), [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
    for (size_t i = 0; i + 1 < boxes.size(); ++i) {
      boxes[i]->SetFocus();
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      QApplication::sendEvent(WidgetFromHwnd(boxes[i]->hWnd()), &tab);
      EXPECT_EQ(f.ActiveControl(), boxes[i + 1]) << "Tab from " << boxes[i]->Name() << boxes[i]->Index();
    }
  };
  for (int16_t i = 1; i <= 4; ++i) f.LoadElement("txtItem", i).Visible(true);
  f.Show();
  ASSERT_TRUE(PumpUntil([&] { return WidgetFromHwnd(f.hWnd())->isActiveWindow(); }));
  EXPECT_EQ(order(), (std::vector<std::string>{"txtA", "txtItem0", "lblB", "txtItem1", "txtItem2", "txtItem3", "txtItem4"}));
  tabFollowsTheOrder();

  struct Step {
    const char* what;
    int16_t unload;
    int16_t load;
    std::vector<std::string> order;
  };
  const Step steps[] = {
      {"the last one left", 4, 5, {"txtA", "txtItem0", "lblB", "txtItem1", "txtItem2", "txtItem3", "txtItem5"}},
      {"one in the middle left", 2, 6, {"txtA", "txtItem0", "lblB", "txtItem1", "txtItem3", "txtItem5", "txtItem6"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    f.UnloadElement("txtItem", step.unload);
    f.LoadElement("txtItem", step.load).Visible(true);
    EXPECT_EQ(order(), step.order);
    tabFollowsTheOrder();
  }
  f.Unload();
}

TEST(ControlProperties, SystemColoursAreTranslated) {
  auto f = MakeForm();
  Control& lbl = *f->FindControl("lblInfo");
  lbl.BackColor(0x80000005);  // window background
  QWidget* w = WidgetFromHwnd(lbl.hWnd());
  EXPECT_EQ(w->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Base));
  lbl.BackColor(0x00808080);
  EXPECT_EQ(w->palette().color(QPalette::Window), QColor(128, 128, 128));
  f->Unload();
}

// A disabled control shows grey text, whatever its text colour: the darkest pixel of a disabled
// button's or label's caption is lighter than an enabled one's.
TEST(ControlProperties, DisabledControlsShowGreyText) {
  auto f = MakeForm();
  f->Show();
  auto darkest = [](QWidget* w) {
    const QImage img = w->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    int low = 255;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) low = std::min<int>(low, img.constScanLine(y)[x]);
    return low;
  };
  for (const char* name : {"cmdPlay", "lblInfo"}) {
    SCOPED_TRACE(name);
    Control& c = *f->FindControl(name);
    c.ForeColor(0x000000);  // black text, set by the program
    QWidget* w = WidgetFromHwnd(c.hWnd());
    const int enabled = darkest(w);
    c.Enabled(false);
    const int disabled = darkest(w);
    EXPECT_GT(disabled, enabled + 40) << "enabled " << enabled << ", disabled " << disabled;
    c.Enabled(true);
    EXPECT_EQ(darkest(w), enabled);
  }
  f->Unload();
}

TEST(ControlProperties, TextBoxSelectionLengthAndLocking) {
  auto f = MakeForm();
  Ctl<TextBox> txt(f.get(), "txtName");
  txt->SelStart(6);
  txt->SelLength(5);
  EXPECT_EQ(txt->SelText(), "world");
  txt->SelText("there");
  EXPECT_EQ(txt->Text(), "Hello there");
  EXPECT_EQ(txt->SelStart(), 11);
  txt->SelStart(100);
  EXPECT_EQ(txt->SelStart(), 11) << "beyond the end stops at the end";
  txt->MaxLength(5);
  txt->Text("Longer than five");
  EXPECT_EQ(txt->Text(), "Longe");
  EXPECT_EQ(ErrorOf([&] { txt->MaxLength(-1); }), 380);
  txt->Locked(true);
  EXPECT_TRUE(static_cast<QLineEdit*>(WidgetFromHwnd(txt->hWnd()))->isReadOnly());
  txt->MaxLength(0);
  txt->MultiLine(true);
  txt->Text("one\ntwo");
  EXPECT_EQ(txt->Text(), "one\ntwo");
  // Several lines keep to MaxLength as well, also when the user types.
  txt->Locked(false);
  txt->MaxLength(8);
  int changes = 0;
  f->On("txtName_Change", [&] { ++changes; });
  auto* edit = WidgetFromHwnd(txt->hWnd());
  txt->SelStart(7);
  for (QChar ch : QString("xyz")) {
    QKeyEvent key(QEvent::KeyPress, ch.toUpper().unicode(), Qt::NoModifier, QString(ch));
    QApplication::sendEvent(edit, &key);
  }
  EXPECT_EQ(txt->Text(), "one\ntwox");
  EXPECT_EQ(changes, 1) << "refused keys change nothing";
  txt->Locked(true);
  EXPECT_TRUE(txt->Locked()) << "switching to several lines keeps the other properties";
  EXPECT_EQ(txt->Left(), 120);
  f->Unload();
}

TEST(ControlProperties, GraphicalButtonShowsItsPicture) {
  auto f = MakeForm();
  Ctl<CommandButton> cmd(f.get(), "cmdPlay");
  QImage img(16, 16, QImage::Format_RGB32);
  img.fill(Qt::red);
  fs::path file = fs::temp_directory_path() / "forms_button.bmp";
  img.save(QString::fromStdString(file.string()), "BMP");
  Picture p = LoadPicture(file.string());
  auto* button = static_cast<QAbstractButton*>(WidgetFromHwnd(cmd->hWnd()));
  cmd->SetPicture(p);
  EXPECT_TRUE(button->icon().isNull()) << "a standard button shows no picture";
  cmd->Style(vbButtonGraphical);
  EXPECT_FALSE(button->icon().isNull());
  EXPECT_EQ(button->iconSize(), QSize(16, 16));
  EXPECT_EQ(cmd->GetPicture(), p);
  fs::remove(file);
  f->Unload();
}

TEST(FormProperties, SizesScalesAndStates) {
  auto f = MakeForm();
  f->Move(1500, 900, 6000, 4500);
  EXPECT_EQ(f->Left(), 1500);
  EXPECT_EQ(f->Top(), 900);
  EXPECT_EQ(f->Width(), 6000);
  EXPECT_LE(f->ScaleWidth(), 6000.0f);
  float twips = f->ScaleWidth();
  f->ScaleMode(vbPixels);
  EXPECT_FLOAT_EQ(f->ScaleWidth(), twips / 15);
  EXPECT_EQ(f->FindControl("txtName")->Left(), 8) << "control positions follow the form's scale";
  f->FindControl("txtName")->Left(10);
  f->ScaleMode(vbTwips);
  EXPECT_EQ(f->FindControl("txtName")->Left(), 150);
  EXPECT_EQ(ErrorOf([&] { f->ScaleMode(7); }), 380);
  f->BorderStyle(vbBSNone);
  EXPECT_TRUE(WidgetFromHwnd(f->hWnd())->windowFlags() & Qt::FramelessWindowHint);
  f->Show();
  f->WindowState(vbMaximized);
  EXPECT_EQ(f->WindowState(), vbMaximized);
  f->WindowState(vbNormal);
  EXPECT_EQ(f->WindowState(), vbNormal);
  f->Unload();
}

// A combo box given the button face inside a black frame shows a button-face field with its text
// readable, whichever of the two got its colour first: the frame's colour does not become the
// field's.
TEST(ControlProperties, AFrameOverADarkContainerShowsItsCaptionOnItsOwnBackColour) {
  // The frame's face is transparent, so the dark picture box shows through it; its caption lies
  // on the frame's BackColor (button face) in its ForeColor (button text), whatever colours the
  // container hands down.
  TestForm f("frmDarkBox", [](TestForm& f) {
    f.Place({{"PictureBox", "pic", -1, "", 60, 60, 3600, 2000, ""},
             {"Frame", "fra", -1, "pic", 0, 0, 3000, 1500, "clip number one.avi"}});
  });
  Control& pic = *f.FindControl("pic");
  pic.BackColor(0x404040);
  pic.ForeColor(0xFFFFFF);
  f.Show();
  DoEvents();
  const QColor face = QApplication::palette().color(QPalette::Button);
  auto* frame = qobject_cast<QGroupBox*>(WidgetFromHwnd(f.FindControl("fra")->hWnd()));
  ASSERT_NE(frame, nullptr);
  QStyleOptionGroupBox opt;
  opt.initFrom(frame);
  opt.text = frame->title();
  opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, frame);
  const QImage img = frame->grab().toImage();
  ASSERT_TRUE(img.rect().contains(label));
  int faced = 0, text = 0;
  for (int y = label.top(); y <= label.bottom(); ++y) {
    for (int x = label.left(); x <= label.right(); ++x) {
      const QColor c = img.pixelColor(x, y);
      if (c.rgb() == face.rgb()) ++faced;
      if (c.lightness() < 60) ++text;
    }
  }
  EXPECT_GT(faced, label.width() * label.height() / 2) << "the caption's background is not the frame's";
  EXPECT_GT(text, 20) << "no dark caption text";
  // Below the caption the container still shows through the frame.
  EXPECT_LT(img.pixelColor(img.width() / 2, img.height() / 2).lightness(), 0x48);
  f.Unload();
}

TEST(ControlProperties, AFieldInADarkFrameKeepsItsOwnFieldColour) {
  const QColor face = QApplication::palette().color(QPalette::Button);
  for (bool frameFirst : {true, false}) {
    SCOPED_TRACE(frameFirst ? "frame coloured first" : "combo box coloured first");
    TestForm f("frmDark", [](TestForm& f) {
      f.Place({{"Frame", "fra", -1, "", 60, 60, 3600, 1500, ""},
               {"ComboBox", "cbo", -1, "fra", 120, 300, 2600, 315, ""},
               {"TextBox", "txt", -1, "fra", 120, 800, 2600, 285, ""}});
    });
    Control& fra = *f.FindControl("fra");
    auto& cbo = dynamic_cast<ComboBox&>(*f.FindControl("cbo"));
    if (frameFirst) fra.BackColor(0x000000);
    cbo.BackColor(0x8000000F);  // button face
    if (!frameFirst) fra.BackColor(0x000000);
    cbo.AddItem("None");
    cbo.ListIndex(0);
    f.Show();
    DoEvents();
    QWidget* w = WidgetFromHwnd(cbo.hWnd());
    EXPECT_EQ(w->palette().color(QPalette::Base), face);
    const QImage img = w->grab().toImage();
    int dark = 0, faced = 0;
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width() * 2 / 3; ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c.lightness() < 60) ++dark;
        if (c == face) ++faced;
      }
    }
    EXPECT_GT(faced, img.width() * img.height() / 4) << "the field is not button face";
    EXPECT_GT(dark, 0) << "no text drawn";
    EXPECT_LT(dark, img.width() * img.height() / 4) << "dark field";
    QWidget* t = WidgetFromHwnd(f.FindControl("txt")->hWnd());
    EXPECT_EQ(t->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    f.Unload();
  }
}
