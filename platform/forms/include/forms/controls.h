#pragma once
// The intrinsic controls. Each raises its events to the form's handlers named
// "<control>_<event>" (with Index first for array elements):
//   Label         Change (Caption set to another text), Click, DblClick, mouse events
//   TextBox       Change (typing, or Text set to another text), KeyDown/KeyPress/KeyUp,
//                 GotFocus/LostFocus/Validate
//   CommandButton Click (also from Value = True, Enter on the Default, Esc on the Cancel button)
//   CheckBox      Click (user, or Value set from code to another value)
//   OptionButton  Click (user, or Value set True from code); one chosen per container
//   Frame, PictureBox (containers), Image: Click, DblClick, mouse events; PictureBox Paint
//   ListBox       Click (selection by the user, or ListIndex/Selected set from code), DblClick
//   ComboBox      Change (text typed or Text set), Click (entry chosen or ListIndex set)
//   HScrollBar/VScrollBar  Change (Value changed, on release after a drag), Scroll (while the
//                 user drags)
//   Timer         Timer (every Interval ms while Enabled; Interval 0 ticks never)
//   Menu          Click
//   DriveListBox/DirListBox Change; FileListBox Click, DblClick, PathChange, PatternChange
#include <cstdint>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/picture.h"

enum AlignmentConstants : int16_t { vbLeftJustify = 0, vbRightJustify = 1, vbCenter = 2 };
enum CheckBoxConstants : int16_t { vbUnchecked = 0, vbChecked = 1, vbGrayed = 2 };
enum ListBoxMultiSelect : int16_t { vbMultiSelectNone = 0, vbMultiSelectSimple = 1, vbMultiSelectExtended = 2 };
enum ComboBoxStyle : int16_t { vbComboDropdown = 0, vbComboSimple = 1, vbComboDropdownList = 2 };
enum ButtonStyle : int16_t { vbButtonStandard = 0, vbButtonGraphical = 1 };
enum ShapeConstants : int16_t {
  vbShapeRectangle = 0,
  vbShapeSquare = 1,
  vbShapeOval = 2,
  vbShapeCircle = 3,
  vbShapeRoundedRectangle = 4,
  vbShapeRoundedSquare = 5,
};

class Label : public Control {
 public:
  explicit Label(const ControlSite& site);
  std::string Caption() const;
  void Caption(const std::string& v);
  int16_t Alignment() const;
  void Alignment(int16_t v);
  bool AutoSize() const;
  void AutoSize(bool v);
  bool WordWrap() const;
  void WordWrap(bool v);
  // 0 transparent, 1 opaque.
  int16_t BackStyle() const;
  void BackStyle(int16_t v);
  int16_t BorderStyle() const;
  void BorderStyle(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

class TextBox : public Control {
 public:
  explicit TextBox(const ControlSite& site);
  std::string Text() const;
  void Text(const std::string& v);
  bool MultiLine() const;
  // Normally a design value; changing it later keeps the text and the other settings.
  void MultiLine(bool v);
  bool Locked() const;
  void Locked(bool v);
  int32_t MaxLength() const;
  void MaxLength(int32_t v);
  int32_t SelStart() const;
  void SelStart(int32_t v);
  int32_t SelLength() const;
  void SelLength(int32_t v);
  std::string SelText() const;
  void SelText(const std::string& v);
  std::string PasswordChar() const;
  void PasswordChar(const std::string& v);
  int16_t Alignment() const;
  void Alignment(int16_t v);
  // 0 none, 1 horizontal, 2 vertical, 3 both.
  int16_t ScrollBars() const;
  void ScrollBars(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

class CommandButton : public Control {
 public:
  explicit CommandButton(const ControlSite& site);
  std::string Caption() const;
  void Caption(const std::string& v);
  bool Default() const;
  void Default(bool v);
  bool Cancel() const;
  void Cancel(bool v);
  int16_t Style() const;
  void Style(int16_t v);
  Picture GetPicture() const;
  void SetPicture(const Picture& p);
  // Setting True clicks the button.
  bool Value() const;
  void Value(bool v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  int16_t style_ = 0;
  Picture picture_;
};

class CheckBox : public Control {
 public:
  explicit CheckBox(const ControlSite& site);
  std::string Caption() const;
  void Caption(const std::string& v);
  int16_t Value() const;
  void Value(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};

class OptionButton : public Control {
 public:
  explicit OptionButton(const ControlSite& site);
  std::string Caption() const;
  void Caption(const std::string& v);
  bool Value() const;
  void Value(bool v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};

class Frame : public Control {
 public:
  explicit Frame(const ControlSite& site);
  bool IsContainer() const override { return true; }
  std::string Caption() const;
  void Caption(const std::string& v);
  int16_t BorderStyle() const;
  void BorderStyle(int16_t v);
  // 1 (manual) raises OLEDragOver and OLEDragDrop for files dragged from other programs
  // (forms/oledrop.h); 0 (none) accepts no drop.
  int16_t OLEDropMode() const;
  void OLEDropMode(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};

// A container that draws: text and graphics go to the visible surface, or with AutoRedraw to a
// persistent image that Image answers and repaints from.
class PictureBox : public Control {
 public:
  explicit PictureBox(const ControlSite& site);
  ~PictureBox() override;
  bool IsContainer() const override { return true; }
  Picture GetPicture() const;
  void SetPicture(const Picture& p);
  // The persistent image (AutoRedraw True): what has been drawn, over the Picture.
  Picture Image() const;
  bool AutoRedraw() const;
  void AutoRedraw(bool v);
  bool AutoSize() const;
  void AutoSize(bool v);
  int16_t BorderStyle() const;
  void BorderStyle(int16_t v);
  // Scale: vbTwips (default), vbPixels, vbPoints, or vbUser through ScaleLeft/Top/Width/Height.
  int16_t ScaleMode() const;
  void ScaleMode(int16_t v);
  float ScaleLeft() const;
  void ScaleLeft(float v);
  float ScaleTop() const;
  void ScaleTop(float v);
  float ScaleWidth() const;
  void ScaleWidth(float v);
  float ScaleHeight() const;
  void ScaleHeight(float v);
  void Scale(float x1, float y1, float x2, float y2);
  float CurrentX() const;
  void CurrentX(float v);
  float CurrentY() const;
  void CurrentY(float v);
  int16_t DrawWidth() const;
  void DrawWidth(int16_t v);
  // Clears drawing (back to the background and Picture) and sets CurrentX/Y to 0.
  void Cls();
  // Prints text at CurrentX/Y; CurrentY moves to the next line, CurrentX back to 0.
  void Print(const std::string& text);
  // Text size in the scale units with the current font.
  float TextWidth(const std::string& text) const;
  float TextHeight(const std::string& text) const;
  // A line (color -1: ForeColor); box: 0 line, 1 box outline ("B"), 2 filled box ("BF").
  void Line(float x1, float y1, float x2, float y2, int64_t color = -1, int16_t box = 0);
  void PSet(float x, float y, int64_t color = -1);
  OLE_COLOR Point(float x, float y) const;
  void PaintPicture(const Picture& p, float x, float y, float width = -1, float height = -1);
  void Refresh() override;
  // 0 none; 1 top, 2 bottom (kept at that edge of the form across its width as the form is
  // resized, raising Resize); 3 left, 4 right (across its height).
  int16_t Align() const;
  void Align(int16_t v);
  // 1 (manual) raises OLEDragOver and OLEDragDrop for files dragged from other programs
  // (forms/oledrop.h); 0 (none) accepts no drop.
  int16_t OLEDropMode() const;
  void OLEDropMode(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

class Image : public Control {
 public:
  explicit Image(const ControlSite& site);
  Picture GetPicture() const;
  void SetPicture(const Picture& p);
  bool Stretch() const;
  void Stretch(bool v);
  int16_t BorderStyle() const;
  void BorderStyle(int16_t v);
  // 1 (manual) raises OLEDragOver and OLEDragDrop for files dragged from other programs
  // (forms/oledrop.h); 0 (none) accepts no drop.
  int16_t OLEDropMode() const;
  void OLEDropMode(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};

class ListBox : public Control {
 public:
  explicit ListBox(const ControlSite& site);
  // index -1 appends (or sorts in when Sorted).
  void AddItem(const std::string& item, int16_t index = -1);
  void RemoveItem(int16_t index);
  void Clear();
  int16_t ListCount() const;
  std::string List(int16_t index) const;
  void List(int16_t index, const std::string& v);
  int16_t ListIndex() const;
  void ListIndex(int16_t v);
  int32_t ItemData(int16_t index) const;
  void ItemData(int16_t index, int32_t v);
  int16_t NewIndex() const;
  bool Selected(int16_t index) const;
  void Selected(int16_t index, bool v);
  int16_t SelCount() const;
  int16_t TopIndex() const;
  void TopIndex(int16_t v);
  // The selected line's text; setting it selects the line of that text (the first one equal to
  // it, else the first equal without regard to case), or no line when none has it.
  std::string Text() const;
  void Text(const std::string& v);
  bool Sorted() const;
  void Sorted(bool v);
  int16_t MultiSelect() const;
  void MultiSelect(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 protected:
  std::shared_ptr<Impl> d_;
};

class ComboBox : public Control {
 public:
  explicit ComboBox(const ControlSite& site);
  void AddItem(const std::string& item, int16_t index = -1);
  void RemoveItem(int16_t index);
  void Clear();
  int16_t ListCount() const;
  std::string List(int16_t index) const;
  int16_t ListIndex() const;
  void ListIndex(int16_t v);
  int32_t ItemData(int16_t index) const;
  void ItemData(int16_t index, int32_t v);
  int16_t NewIndex() const;
  std::string Text() const;
  void Text(const std::string& v);
  bool Sorted() const;
  void Sorted(bool v);
  int16_t Style() const;
  void Style(int16_t v);
  bool Locked() const;
  void Locked(bool v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  void ConnectEdit();
  void MakeList();
  std::shared_ptr<Impl> d_;
};

class ScrollBar : public Control {
 public:
  ScrollBar(const ControlSite& site, bool horizontal);
  int16_t Min() const;
  void Min(int16_t v);
  int16_t Max() const;
  void Max(int16_t v);
  int16_t Value() const;
  // Raises 380 outside Min..Max.
  void Value(int16_t v);
  int16_t SmallChange() const;
  void SmallChange(int16_t v);
  int16_t LargeChange() const;
  void LargeChange(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};
class HScrollBar : public ScrollBar {
 public:
  explicit HScrollBar(const ControlSite& site) : ScrollBar(site, true) {}
};
class VScrollBar : public ScrollBar {
 public:
  explicit VScrollBar(const ControlSite& site) : ScrollBar(site, false) {}
};

// The Timer control (its C++ name keeps clear of the runtime's Timer function).
class TimerControl : public Control {
 public:
  explicit TimerControl(const ControlSite& site);
  ~TimerControl() override;
  int32_t Interval() const;
  // Restarts the count; 0 stops the ticks.
  void Interval(int32_t ms);
  bool Enabled() const override;
  void Enabled(bool v) override;
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::unique_ptr<Impl> d_;
};

// A menu or menu item. Top-level menus (no container) sit on the form's menu bar; items name
// their parent menu as container. Caption "-" is a separator; "&" marks the access key.
class Menu : public Control {
 public:
  explicit Menu(const ControlSite& site);
  ~Menu() override;
  std::string Caption() const;
  void Caption(const std::string& v);
  bool Checked() const;
  void Checked(bool v);
  bool Visible() const override;
  void Visible(bool v) override;
  bool Enabled() const override;
  void Enabled(bool v) override;
  // "Ctrl+S", "F5", "Ctrl+Shift+N", ...; "" for none.
  std::string Shortcut() const;
  void Shortcut(const std::string& v);
  // Runs the item as a click would.
  void Trigger();
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
  Impl& menuImpl() const { return *d_; }
 private:
  std::unique_ptr<Impl> d_;
};

class DriveListBox : public Control {
 public:
  explicit DriveListBox(const ControlSite& site);
  // The chosen drive: a mount point ("/" for the root file system).
  std::string Drive() const;
  void Drive(const std::string& v);
  int16_t ListCount() const;
  std::string List(int16_t index) const;
  int16_t ListIndex() const;
  void ListIndex(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};

// The folder list: the chain of folders down to Path, then Path's subfolders. ListIndex -1 is
// Path itself, -2 its parent and so on; 0.. the subfolders.
class DirListBox : public Control {
 public:
  explicit DirListBox(const ControlSite& site);
  std::string Path() const;
  // Raises 76 for a folder that does not exist; Change when it differs.
  void Path(const std::string& v);
  int16_t ListCount() const;
  std::string List(int16_t index) const;
  int16_t ListIndex() const;
  void ListIndex(int16_t v);
  void Refresh() override;
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

// The files of Path that match Pattern ("*.avi;*.mpg"), sorted by name.
class FileListBox : public ListBox {
 public:
  explicit FileListBox(const ControlSite& site);
  std::string Path() const;
  void Path(const std::string& v);
  std::string Pattern() const;
  void Pattern(const std::string& v);
  // The selected file's name (without folder); setting a name selects it.
  std::string FileName() const;
  void FileName(const std::string& v);
  void Refresh() override;
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

 private:
  std::string path_;
  std::string pattern_ = "*.*";
};

class LineControl : public Control {
 public:
  explicit LineControl(const ControlSite& site);
  float X1() const;
  void X1(float v);
  float Y1() const;
  void Y1(float v);
  float X2() const;
  void X2(float v);
  float Y2() const;
  void Y2(float v);
  OLE_COLOR BorderColor() const;
  void BorderColor(OLE_COLOR c);
  int16_t BorderWidth() const;
  void BorderWidth(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};

class Shape : public Control {
 public:
  explicit Shape(const ControlSite& site);
  int16_t ShapeKind() const;
  void ShapeKind(int16_t v);
  OLE_COLOR BorderColor() const;
  void BorderColor(OLE_COLOR c);
  int16_t BorderWidth() const;
  void BorderWidth(int16_t v);
  OLE_COLOR FillColor() const;
  void FillColor(OLE_COLOR c);
  // 0 solid, 1 transparent (the default).
  int16_t FillStyle() const;
  void FillStyle(int16_t v);
  // 0 transparent (the default), 1 opaque.
  int16_t BackStyle() const;
  void BackStyle(int16_t v);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

  struct Impl;
 private:
  std::shared_ptr<Impl> d_;
};
