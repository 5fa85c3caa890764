// The window driver on real forms, from a test that includes no Qt header: clicks (with Ctrl and
// Shift on lists), a drag from one control onto another, a file drop, a pop-up menu's item and an
// action on a modal form.
#include "window_driver.h"

#include <gtest/gtest.h>

#include "forms/app.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "scripted_responder.h"

using Log = std::vector<std::string>;

namespace {

class DriverForm : public Form {
 public:
  DriverForm() : Form("frmDriver") {
    for (const char* h : {"cmdGo_Click", "lblFrom_MouseDown", "lblTo_DragDrop", "lstItems_DblClick", "mnuDelete_Click",
                          "mnuMove_Click", "mnuUp_Click", "cmdInner_Click", "cmbPick_Click"}) {
      std::string name = h;
      SetHandler(name, [this, name](EventArgs&) { log.push_back(name); });
    }
    On("cmdGo_MouseUp", [this](int16_t Button, int16_t Shift, float, float) {
      log.push_back("cmdGo_MouseUp " + std::to_string(Button) + " " + std::to_string(Shift));
    });
  }
  Log log;

 protected:
  void Design() override {
    Size(7200, 6000);
    Place({{"CommandButton", "cmdGo", -1, "", 120, 120, 1200, 400, "&Go"},
           {"Label", "lblFrom", -1, "", 120, 700, 1500, 600, "from", {{"DragMode", Variant(int16_t{1})}}},
           {"Label", "lblTo", -1, "", 3000, 700, 1500, 600, "to"},
           {"Label", "lblManual", -1, "", 120, 1000, 1500, 300, "manual"},
           {"ListBox", "lstItems", -1, "", 120, 1500, 2400, 2400, "", {{"MultiSelect", Variant(int16_t{2})}}},
           {"TextBox", "txtDrop", -1, "", 3000, 1500, 3000, 1500, "", {{"MultiLine", Variant(true)}}},
           {"Menu", "mnuHidden", -1, "", 0, 0, 0, 0, "Tile", {{"Visible", Variant(false)}}},
           {"Menu", "mnuDelete", -1, "mnuHidden", 0, 0, 0, 0, "&Delete"},
           {"Menu", "mnuMove", -1, "mnuHidden", 0, 0, 0, 0, "&Move"},
           {"Menu", "mnuUp", -1, "mnuMove", 0, 0, 0, 0, "Move &Up"},
           {"Frame", "fraHost", -1, "", 120, 4100, 4500, 1200, "host"},
           {"CommandButton", "cmdInner", -1, "fraHost", 120, 300, 1200, 400, "Inner"},
           {"ComboBox", "cmbPick", -1, "fraHost", 1500, 300, 2400, 315, ""}});
    auto& list = dynamic_cast<ListBox&>(*FindControl("lstItems"));
    for (const char* s : {"zero", "one", "two", "three", "four", "five"}) list.AddItem(s);
    auto& pick = dynamic_cast<ComboBox&>(*FindControl("cmbPick"));
    for (const char* s : {"None", "Barn", "Fade", "Wipe"}) pick.AddItem(s);
  }
};

class Dialog : public Form {
 public:
  Dialog() : Form("frmAsk") {
    On("cmdOK_Click", [this] {
      answered = true;
      Hide();
    });
  }
  bool answered = false;

 protected:
  void Design() override { Place({{"CommandButton", "cmdOK", -1, "", 120, 120, 1200, 400, "OK"}}); }
};

std::vector<int16_t> SelectedOf(ListBox& l) {
  std::vector<int16_t> s;
  for (int16_t i = 0; i < l.ListCount(); ++i) {
    if (l.Selected(i)) s.push_back(i);
  }
  return s;
}

}  // namespace

TEST(WindowDriver, ClicksReachTheControlsHandlers) {
  DriverForm f;
  f.Show();
  driver::Click(*f.FindControl("cmdGo"));
  driver::Click(*f.FindControl("cmdGo"), vbShiftMask | vbCtrlMask);
  EXPECT_EQ(f.log, (Log{"cmdGo_MouseUp 1 0", "cmdGo_Click", "cmdGo_MouseUp 1 3", "cmdGo_Click"}));
  f.Unload();
}

TEST(WindowDriver, ListClicksSelectWithCtrlAndShift) {
  DriverForm f;
  f.Show();
  auto& list = dynamic_cast<ListBox&>(*f.FindControl("lstItems"));
  struct Step {
    int16_t index, shift;
    std::vector<int16_t> selected;
  };
  const Step steps[] = {{1, 0, {1}}, {3, vbShiftMask, {1, 2, 3}}, {5, vbCtrlMask, {1, 2, 3, 5}},
                        {2, vbCtrlMask, {1, 3, 5}}, {0, 0, {0}}};
  for (const Step& s : steps) {
    driver::ClickListItem(list, s.index, s.shift);
    EXPECT_EQ(SelectedOf(list), s.selected) << "after item " << s.index << " shift " << s.shift;
  }
  driver::DblClickListItem(list, 2);
  EXPECT_EQ(f.log, (Log{"lstItems_DblClick"}));
  EXPECT_EQ(SelectedOf(list), (std::vector<int16_t>{2}));
  f.Unload();
}

TEST(WindowDriver, DragOntoAnotherControlDropsThere) {
  DriverForm f;
  f.Show();
  std::string source;
  f.On("lblTo_DragDrop", [&](const Variant&, float, float) {
    source = DragSource() ? DragSource()->Name() : "";
    f.log.push_back("lblTo_DragDrop");
  });
  // Automatic drag mode: the press starts the drag, the control sees no mouse events.
  driver::DragOnto(*f.FindControl("lblFrom"), *f.FindControl("lblTo"));
  EXPECT_EQ(f.log, (Log{"lblTo_DragDrop"}));
  EXPECT_EQ(source, "lblFrom");
  // Manual: the control's own MouseMove starts the drag once the button is held.
  f.log.clear();
  Control* manual = f.FindControl("lblManual");
  f.On("lblManual_MouseMove", [&](int16_t Button, int16_t, float, float) {
    if (Button == vbLeftButton && !DragSource()) {
      f.log.push_back("lblManual_MouseMove");
      manual->Drag(1);
    }
  });
  driver::DragOnto(*manual, *f.FindControl("lblTo"));
  EXPECT_EQ(f.log, (Log{"lblManual_MouseMove", "lblTo_DragDrop"}));
  EXPECT_EQ(source, "lblManual");
  f.Unload();
}

TEST(WindowDriver, FilesDropAsAFileManagerDropsThem) {
  DriverForm f;
  f.Show();
  EXPECT_TRUE(driver::DropFiles(*f.FindControl("txtDrop"), {"/tmp/a clip.avi", "/tmp/b.bmp"}));
  std::string text = dynamic_cast<TextBox&>(*f.FindControl("txtDrop")).Text();
  EXPECT_NE(text.find("/tmp/a clip.avi"), std::string::npos) << text;
  EXPECT_NE(text.find("b.bmp"), std::string::npos) << text;
  EXPECT_FALSE(driver::DropFiles(*f.FindControl("lblTo"), {"/tmp/a.avi"})) << "a label takes no drop";
  f.Unload();
}

TEST(WindowDriver, ChoosesTheItemOfAPoppedUpMenu) {
  DriverForm f;
  f.Show();
  Control* hidden = f.FindControl("mnuHidden");
  driver::ChooseNextPopupItem("&Delete");
  f.PopupMenu(dynamic_cast<Menu&>(*hidden));
  f.log.push_back("returned");
  driver::ChooseNextPopupItem("Move|Move Up");
  f.PopupMenu(dynamic_cast<Menu&>(*hidden));
  // Opening the submenu raises its parent item's Click, as the runtime does.
  EXPECT_EQ(f.log, (Log{"mnuDelete_Click", "returned", "mnuMove_Click", "mnuUp_Click"}));
  f.Unload();
}

TEST(WindowDriver, ReachesTheControlsAContainerHolds) {
  DriverForm f;
  f.Show();
  Control& host = *f.FindControl("fraHost");
  driver::ClickInner(host, "cmdInner");
  driver::ChooseInnerComboItem(host, "cmbPick", "Fade");
  EXPECT_EQ(f.log, (Log{"cmdInner_Click", "cmbPick_Click"}));
  auto& pick = dynamic_cast<ComboBox&>(*f.FindControl("cmbPick"));
  EXPECT_EQ(pick.Text(), "Fade");
  EXPECT_EQ(pick.ListIndex(), 2);
  f.Unload();
}

TEST(WindowDriver, ActsWhenANamedFormIsShownModally) {
  DriverForm f;
  Dialog d;
  f.Show();
  auto watch = driver::WhenShownModally("frmAsk", [](Form& shown) { driver::Click(*shown.FindControl("cmdOK")); });
  d.Show(vbModeless);
  d.Hide();
  DoEvents();
  EXPECT_EQ(watch.Count(), 0) << "a modeless show is not watched";
  d.Show(vbModal, &f);
  EXPECT_TRUE(d.answered);
  EXPECT_EQ(watch.Count(), 1);
  d.answered = false;
  d.Show(vbModal, &f);
  EXPECT_TRUE(d.answered);
  EXPECT_EQ(watch.Count(), 2);
  d.Unload();
  f.Unload();
}
