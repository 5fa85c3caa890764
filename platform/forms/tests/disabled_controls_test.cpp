// A disabled control, and every control inside a disabled container (a picture box, a frame, a
// user control), responds to no user input: clicks, presses, keys and drops raise none of its
// events; enabled again, it responds as before.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/dispatch.h"
#include "forms/activex.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/usercontrol.h"
#include "forms_test_support.h"
#include "window_driver.h"

using Log = std::vector<std::string>;

namespace {

constexpr GUID kPadLib = MakeGuid("{3B8E1F60-2C47-4D19-A6E3-7F0C5D2B9E11}");
constexpr IID kIidPad = MakeGuid("{3B8E1F60-2C47-4D19-A6E3-7F0C5D2B9E12}");
constexpr IID kDiidPadEvents = MakeGuid("{3B8E1F60-2C47-4D19-A6E3-7F0C5D2B9E13}");
constexpr CLSID kClsidPad = MakeGuid("{3B8E1F60-2C47-4D19-A6E3-7F0C5D2B9E14}");

class IPad : public IDispatch {
 public:
  static constexpr IID iid = kIidPad;
};

// A user control holding a picture of its own, as a storyboard tile holds its thumbnail.
class Pad : public UserControlObject<IPad> {
 public:
  Pad() : UserControlObject({"Pad", kPadLib, 1, 0, kClsidPad, kIidPad, {}, kDiidPadEvents, {}, 0}) {}

 protected:
  void Design() override { Place({{"PictureBox", "picThumb", -1, "", 0, 0, 900, 600, ""}}); }
};

void RegisterPad() {
  static const bool done = [] {
    using namespace desc;
    TypeLibDesc lib;
    lib.libid = kPadLib;
    lib.name = "PadLib";
    lib.types = {DualInterface(kIidPad, "_Pad", {}), DispInterface(kDiidPadEvents, "__Pad", {}),
                 ControlClass(kClsidPad, "Pad",
                              {{kIidPad, IMPLTYPEFLAG_FDEFAULT}, {kDiidPadEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}})};
    PublishTypeLib(lib);
    RegisterUserControlClass<Pad>(kClsidPad, "Suite.Pad");
    return true;
  }();
  (void)done;
}

std::unique_ptr<TestForm> MakeForm() {
  RegisterPad();
  auto f = std::make_unique<TestForm>("frmDisabled", [](TestForm& f) {
    f.Place({
        {"Label", "lblSelf", -1, "", 60, 60, 1500, 400, "label"},
        {"Image", "imgSelf", -1, "", 1700, 60, 1500, 900, ""},
        {"PictureBox", "picBox", -1, "", 60, 1100, 2400, 1500, ""},
        {"Label", "lblInPic", -1, "picBox", 150, 150, 1200, 400, "in picture"},
        {"Frame", "fraBox", -1, "", 2600, 1100, 2400, 1500, "frame"},
        {"Image", "imgInFrame", -1, "fraBox", 200, 400, 1200, 600, ""},
        {"PictureBox", "picInFrame", -1, "fraBox", 1500, 400, 700, 600, ""},
        {"TextBox", "txtSelf", -1, "", 60, 2800, 2000, 285, ""},
        {"Suite.Pad", "pad", -1, "", 3400, 60, 900, 600, ""},
        {"Label", "lblDropOn", -1, "", 60, 3300, 1500, 600, "drop here"},
        {"Label", "lblDragFrom", -1, "", 1700, 3300, 1500, 600, "drag me", {{"DragMode", Variant(int16_t{1})}}},
        {"Image", "imgFiles", -1, "", 3400, 3300, 1500, 900, "", {{"OLEDropMode", Variant(int16_t{1})}}},
    });
  });
  f->Size(6000, 4800);
  return f;
}

// The hosted pad's own object (its inner controls raise their events on it).
UserControl* PadOf(Form& f, ComPtr<IUnknown>& keep) {
  auto* host = dynamic_cast<ActiveXHost*>(f.FindControl("pad"));
  if (!host) return nullptr;
  keep = host->Object();
  return dynamic_cast<UserControl*>(keep.Get());
}

QWidget* InnerWidget(Form& owner, const char* name) { return WidgetFromHwnd(owner.FindControl(name)->hWnd()); }

}  // namespace

TEST(DisabledControls, ADisabledControlOrContainerTakesNoClicks) {
  auto f = MakeForm();
  f->Show();
  ComPtr<IUnknown> keep;
  UserControl* pad = PadOf(*f, keep);
  ASSERT_NE(pad, nullptr);
  Log log;
  auto logOn = [&](Form& owner, const std::string& name) {
    for (const char* event : {"MouseDown", "MouseUp", "Click", "DblClick"}) {
      std::string handler = name + "_" + event;
      owner.SetHandler(handler, [&log, handler](EventArgs&) { log.push_back(handler); });
    }
  };
  for (const char* name : {"lblSelf", "imgSelf", "picBox", "lblInPic", "fraBox", "imgInFrame", "picInFrame"})
    logOn(*f, name);
  logOn(*pad, "picThumb");

  struct Case {
    const char* clicked;                        // the control clicked, on the form or on the pad
    bool onPad;
    std::function<void(bool)> enable;           // disables / enables it or its container
  };
  auto control = [&](const char* name) { return [&f, name](bool v) { f->FindControl(name)->Enabled(v); }; };
  const Case cases[] = {
      {"lblSelf", false, control("lblSelf")},
      {"imgSelf", false, control("imgSelf")},
      {"picBox", false, control("picBox")},
      {"lblInPic", false, control("picBox")},
      {"imgInFrame", false, control("fraBox")},
      {"picInFrame", false, control("fraBox")},
      // The user control's own Enabled, as the control sets it for its users...
      {"picThumb", true, [&](bool v) { pad->Enabled(v); }},
      // ...and the container's for the control it hosts.
      {"picThumb", true, control("pad")},
      // A disabled form: none of its controls takes a click.
      {"lblSelf", false, [&](bool v) { f->Enabled(v); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clicked);
    Control& target = *(c.onPad ? pad->FindControl(c.clicked) : f->FindControl(c.clicked));
    const std::string name = c.clicked;
    c.enable(false);
    log.clear();
    driver::Click(target);
    driver::DblClick(target);
    EXPECT_EQ(log, Log{}) << "a disabled control raises no mouse events";
    c.enable(true);
    log.clear();
    driver::Click(target);
    EXPECT_EQ(log, (Log{name + "_MouseDown", name + "_MouseUp", name + "_Click"})) << "enabled again, it does";
  }
  keep = nullptr;
  f->Unload();
}

TEST(DisabledControls, ADisabledControlTakesNoKeysAndNoDrops) {
  auto f = MakeForm();
  f->Show();
  Log& log = f->log;
  f->LogEvents({"txtSelf_KeyDown", "txtSelf_KeyPress", "lblDropOn_DragDrop", "lblDragFrom_DragDrop", "Form_DragDrop",
                "imgFiles_OLEDragDrop"});
  const std::vector<std::string> files{QApplication::applicationFilePath().toStdString()};
  Control& imgFiles = *f->FindControl("imgFiles");
  Control& txt = *f->FindControl("txtSelf");
  Control& dropOn = *f->FindControl("lblDropOn");
  Control& dragFrom = *f->FindControl("lblDragFrom");
  auto type = [&] {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(InnerWidget(*f, "txtSelf"), &press);
  };

  txt.Enabled(false);
  type();
  dropOn.Enabled(false);
  driver::DragOnto(dragFrom, dropOn);
  EXPECT_EQ(log, (Log{"Form_DragDrop"})) << "the drop falls on the form beneath the disabled label";
  imgFiles.Enabled(false);
  EXPECT_FALSE(driver::DropFiles(imgFiles, files)) << "a disabled control takes no files";

  log.clear();
  dropOn.Enabled(true);
  dragFrom.Enabled(false);
  driver::DragOnto(dragFrom, dropOn);
  EXPECT_EQ(log, Log{}) << "a disabled control starts no drag";

  log.clear();
  txt.Enabled(true);
  type();
  dragFrom.Enabled(true);
  driver::DragOnto(dragFrom, dropOn);
  imgFiles.Enabled(true);
  EXPECT_TRUE(driver::DropFiles(imgFiles, files));
  EXPECT_EQ(log, (Log{"txtSelf_KeyDown", "txtSelf_KeyPress", "lblDropOn_DragDrop", "imgFiles_OLEDragDrop"}));
  f->Unload();
}
