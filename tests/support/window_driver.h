#pragma once
// Drives the real windows of a test in process, as a user would, without Qt in the test: mouse
// clicks, a press-move-release from one control onto another, files dropped as a file manager
// drops them, the choice of an item of a popped-up menu, and an action that runs when a named
// form is shown modally. Every event goes through the window system's event delivery of the
// process (the application's event filters, the widgets' handlers), so the controls' own event
// handling runs as it does for a real user.
//
//   driver::Click(*frm.FindControl("cmdOK"));
//   auto tips = driver::WhenShownModally("frmStartTips", [](Form& f) { driver::Click(*f.FindControl("Command1")); });
//   driver::ChooseNextPopupItem("&Delete");
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Control;
class Form;

namespace driver {

// Left-button press and release at the control's middle (or at x, y in its own pixels); `shift`
// holds the runtime's Shift mask (1 Shift, 2 Ctrl, 4 Alt).
void Click(Control& control, int16_t shift = 0);
void ClickAt(Control& control, int x, int y, int16_t shift = 0);
void DblClick(Control& control);
// A click on the list item (ListBox, FileListBox): Ctrl and Shift extend the selection as the
// list's MultiSelect allows. DblClickListItem double-clicks it.
void ClickListItem(Control& list, int16_t index, int16_t shift = 0);
void DblClickListItem(Control& list, int16_t index);
// A control hosted on a form (an ActiveX control such as a storyboard tile) holds controls of
// its own, named in its design ("Image2", "cmbTransitions"). ClickInner clicks the named one at
// its middle. ChooseInnerComboItem drops down the named combo box's list and clicks the line
// with this text, as a user picks an entry; a box or line that is not there fails the test.
void ClickInner(Control& host, const std::string& inner);
void ChooseInnerComboItem(Control& host, const std::string& inner, const std::string& text);
// A press of `button` (1 left, 2 right) on `control` at x, y (its pixels).
void Press(Control& control, int x, int y, int16_t button = 1);

// Presses the left button on `from`, moves the pointer in steps past the desktop's drag distance
// and onto the middle of `to`, and releases it there. The moves and the release go to the
// widget that took the press, as the window system delivers them.
void DragOnto(Control& from, Control& to);

// Drops the files onto the control as a file manager does: a file-URL list offered for copying,
// entering, moving over and dropped at the control's middle, delivered to the widget there that
// accepts drops (or its nearest ancestor that does). Answers whether the drop was accepted.
bool DropFiles(Control& target, const std::vector<std::string>& paths);

// The next menu that pops up (PopupMenu) chooses the item with this caption ("&" access keys
// ignored) by keyboard, as a user does; a caption it does not hold closes the menu and fails
// the test. Nested items: "Parent|Item".
void ChooseNextPopupItem(const std::string& caption);

// While the returned watch lives, every modal Show of the form named `formName` runs `action`
// once, inside the modal loop (the window is visible and modal then).
class ModalWatch {
 public:
  struct Impl;
  explicit ModalWatch(std::unique_ptr<Impl> impl);
  ~ModalWatch();
  ModalWatch(ModalWatch&&) noexcept;
  ModalWatch& operator=(ModalWatch&&) noexcept;
  // How many times the action ran.
  int Count() const;

 private:
  std::unique_ptr<Impl> d_;
};
ModalWatch WhenShownModally(const std::string& formName, std::function<void(Form&)> action);

// Lets the windows' timers and the process's events run (DoEvents, a 2 ms pause between turns)
// until the condition holds; false when it still does not after a minute, a guard that keeps a
// broken run from hanging the suite.
bool RunUntil(const std::function<bool()>& done);

}  // namespace driver
