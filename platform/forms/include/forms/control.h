#pragma once
// The control base: what every control of a form has (name, index in a control array,
// position in its container's scale units, visibility, fonts, colours, focus, handle) and the
// late-bound property access that control tables and automation use.
//
// A control type is one class derived from Control plus one registration:
//   static const bool registered = RegisterControlClass<MyControl>("MyControl");
// after which control tables can name the type. See docs/ARCHITECTURE.md (forms).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/hresult.h"
#include "core/variant.h"
#include "forms/events.h"
#include "forms/font.h"
#include "forms/hwnd.h"
#include "forms/picture.h"

class Form;
class Control;
struct ControlDef;

// Where an aligned control (picture box, tool bar, status bar) keeps itself in its form.
enum AlignConstants : int16_t { vbAlignNone = 0, vbAlignTop = 1, vbAlignBottom = 2, vbAlignLeft = 3, vbAlignRight = 4 };

// Where a new control goes: its form, name, index (-1 outside control arrays), container
// (nullptr: the form itself) and the type name it was created under.
struct ControlSite {
  Form* form = nullptr;
  std::string name;
  int16_t index = -1;
  Control* container = nullptr;
  std::string typeName;
  // The control-table row the control is made from (null for controls made otherwise).
  const ControlDef* row = nullptr;
};

class Control {
 public:
  explicit Control(const ControlSite& site);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const;
  // The element's index in its control array; -1 for a control outside any array.
  int16_t Index() const;
  const std::string& TypeName() const;
  Form& Parent() const;
  // The containing frame or picture box; nullptr when the form holds the control directly.
  Control* Container() const;
  // Whether this control can hold others (frames, picture boxes).
  virtual bool IsContainer() const { return false; }

  // Position and size in the container's scale units (twips unless the container's ScaleMode
  // says otherwise). Controls without a window (timers, menus) raise 438.
  int32_t Left() const;
  void Left(int32_t v);
  int32_t Top() const;
  void Top(int32_t v);
  int32_t Width() const;
  void Width(int32_t v);
  int32_t Height() const;
  void Height(int32_t v);
  // Negative width or height keeps the current one.
  void Move(int32_t left, int32_t top, int32_t width = -1, int32_t height = -1);

  virtual bool Visible() const;
  virtual void Visible(bool v);
  virtual bool Enabled() const;
  virtual void Enabled(bool v);
  int16_t TabIndex() const;
  void TabIndex(int16_t v);
  bool TabStop() const;
  void TabStop(bool v);
  bool CausesValidation() const;
  void CausesValidation(bool v);
  const std::string& ToolTipText() const;
  void ToolTipText(const std::string& v);
  const std::string& Tag() const;
  void Tag(const std::string& v);
  int16_t MousePointer() const;
  void MousePointer(int16_t v);
  StdFont Font() const;
  void Font(const StdFont& f);
  void FontName(const std::string& v);
  void FontSize(float v);
  void FontBold(bool v);
  void FontItalic(bool v);
  OLE_COLOR ForeColor() const;
  void ForeColor(OLE_COLOR c);
  OLE_COLOR BackColor() const;
  void BackColor(OLE_COLOR c);
  // 0 brings the control to the front of its container, 1 sends it to the back.
  void ZOrder(int16_t position = 0);
  void SetFocus();
  virtual void Refresh();
  HWND hWnd() const;

  // Drag and drop inside the program. DragMode 1 (automatic) starts a drag when the mouse button
  // goes down on the control; Drag(1) starts one from code (0 cancels it, 2 drops where the pointer
  // is). While the pointer moves, the control or form under it raises DragOver(Source, X, Y,
  // State: 0 entering, 1 leaving, 2 over); at the release it raises DragDrop(Source, X, Y), X and Y
  // in its own twips. Source is the dragged control's automation object (empty for intrinsic
  // controls); DragSource() names the dragged control during those events.
  int16_t DragMode() const;
  void DragMode(int16_t v);
  void Drag(int16_t action = 1);
  // The automation object of the control (hosted controls); nullptr for intrinsic ones.
  virtual IDispatch* DispatchObject() const { return nullptr; }

  // Late-bound properties by name (any letter case): control tables and automation. Unknown
  // names raise 438; bad values raise 380.
  virtual void SetProperty(const std::string& name, const Variant& value);
  virtual Variant GetProperty(const std::string& name) const;

  // The raising side of the control's events (used by the control classes): the form's handler
  // "Name_Event" runs; elements of an array get their Index first. Answers the arguments as the
  // handler left them.
  EventArgs Raise(const std::string& event, EventArgs args = {});
  bool HasHandler(const std::string& event) const;

  struct Native;
  Native& native() const { return *native_; }

 protected:
  // For control classes without a window of their own (timers, menus).
  void RequireWindow() const;

 private:
  std::unique_ptr<Native> native_;
};

// The control being dragged, nullptr when no drag runs.
Control* DragSource();

using ControlFactory = std::function<std::unique_ptr<Control>(const ControlSite&)>;
// Makes a type known to control tables (and to Form::Add) by name.
void RegisterControlType(const std::string& typeName, ControlFactory factory);
bool IsControlTypeRegistered(const std::string& typeName);

template <class T>
bool RegisterControlClass(const std::string& typeName) {
  RegisterControlType(typeName, [](const ControlSite& site) { return std::make_unique<T>(site); });
  return true;
}
