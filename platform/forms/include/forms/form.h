#pragma once
// Forms: top-level windows with the runtime's life cycle.
//
//   class frmAbout : public Form {
//    public:
//     frmAbout() : Form("frmAbout") {
//       On("cmdOK_Click", [this] { Unload(); });
//     }
//     Ctl<CommandButton> cmdOK{this, "cmdOK"};
//    protected:
//     void Design() override {          // runs at every Load: design values
//       Caption("About");
//       Size(4800, 3600);
//       Place({
//           // type            name     index container left  top   width height caption
//           {"CommandButton", "cmdOK", -1,   "",       1800, 2640, 1215, 375,  "OK"},
//       });
//     }
//   };
//
// Life cycle: Initialize (first use) -> Load (Design, then Form_Load) -> Show -> Activate ...
// QueryUnload(Cancel, UnloadMode) -> Unload(Cancel) -> (object kept; next touch loads again)
// -> Terminate when the object is released through FormPtr. Touching a property or control of
// an unloaded form loads it. Handlers are registered by name with On().
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "forms/control.h"
#include "forms/events.h"
#include "forms/font.h"
#include "forms/hwnd.h"
#include "forms/picture.h"

class Menu;

enum FormShowConstants : int16_t { vbModeless = 0, vbModal = 1 };
enum QueryUnloadConstants : int16_t {
  vbFormControlMenu = 0,
  vbFormCode = 1,
  vbAppWindows = 2,
  vbAppTaskManager = 3,
  vbFormMDIForm = 4,
  vbFormOwner = 5,
};
enum FormWindowStateConstants : int16_t { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };
enum FormBorderStyleConstants : int16_t {
  vbBSNone = 0,
  vbFixedSingle = 1,
  vbSizable = 2,
  vbFixedDouble = 3,
  vbFixedToolWindow = 4,
  vbSizableToolWindow = 5,
};
enum ScaleModeConstants : int16_t { vbUser = 0, vbTwips = 1, vbPoints = 2, vbPixels = 3 };
enum MouseButtonConstants : int16_t { vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4 };
enum ShiftConstants : int16_t { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

// One row of a control table. Positions and sizes are in the container's scale units (twips);
// a width or height of 0 leaves the control's own default. `props` sets further properties by
// name, in order, after the caption; `font`, when given, is the control's font.
struct ControlDef {
  std::string type;
  std::string name;
  int16_t index = -1;
  std::string container;  // "" for the form; a frame's, picture box's or parent menu's name
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string caption;    // Caption, or Text for text boxes and combo boxes
  std::vector<std::pair<std::string, Variant>> props = {};
  std::optional<StdFont> font = {};
  // A hosted ActiveX control: true makes a new instance (InitNew) instead of loading the row's bag.
  bool newInstance = false;
};

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Name() const;

  // ---- life cycle
  bool IsLoaded() const;
  // Loads the form (Initialize first when due, then Design, then Form_Load); nothing when loaded.
  void Load();
  // Asks QueryUnload (mode vbFormCode) and Unload; answers false when a handler cancelled.
  bool Unload();
  // Loads when needed and shows the window. Modal: returns once the form is hidden or unloaded;
  // raises 400 when the form is already shown modeless.
  void Show(int16_t modal = vbModeless, Form* owner = nullptr);
  void Hide();
  // Whether a modal Show of this form is running.
  bool IsShownModally() const;

  // ---- properties (each loads the form when it is not loaded)
  std::string Caption();
  void Caption(const std::string& v);
  // Outer frame in twips.
  int32_t Left();
  void Left(int32_t v);
  int32_t Top();
  void Top(int32_t v);
  int32_t Width();
  void Width(int32_t v);
  int32_t Height();
  void Height(int32_t v);
  void Size(int32_t width, int32_t height);
  void Move(int32_t left, int32_t top, int32_t width = -1, int32_t height = -1);
  // The inner area in the form's scale units.
  float ScaleWidth();
  void ScaleWidth(float v);
  float ScaleHeight();
  void ScaleHeight(float v);
  int16_t ScaleMode();
  void ScaleMode(int16_t v);
  bool Visible();
  void Visible(bool v);
  bool Enabled();
  void Enabled(bool v);
  int16_t WindowState();
  void WindowState(int16_t v);
  int16_t BorderStyle();
  void BorderStyle(int16_t v);
  Picture Icon();
  void Icon(const Picture& p);
  OLE_COLOR BackColor();
  void BackColor(OLE_COLOR c);
  OLE_COLOR ForeColor();
  void ForeColor(OLE_COLOR c);
  StdFont Font();
  void Font(const StdFont& f);
  int16_t MousePointer();
  void MousePointer(int16_t v);
  bool KeyPreview();
  void KeyPreview(bool v);
  // Shows the title bar's control box (close button); with BorderStyle it decides the frame.
  void ControlBox(bool v);
  void ZOrder(int16_t position = 0);
  void SetFocus();
  void Refresh();
  HWND hWnd();
  // The control that has the focus, nullptr when none.
  Control* ActiveControl();
  // Shows a menu as a pop-up at the mouse pointer and returns when it closes.
  void PopupMenu(Menu& menu);

  // ---- controls
  // Adds controls from a control table, in order (containers before what they hold).
  void Place(std::initializer_list<ControlDef> table);
  Control& Add(const ControlDef& def);
  // The loaded controls in the order they were added.
  std::vector<Control*> Controls();
  // A control by name and index (-1: not an array); nullptr when there is none. Loads the form.
  Control* FindControl(const std::string& name, int16_t index = -1);
  // Control arrays: a new element copies the properties of the array's lowest element
  // (invisible, as the runtime makes it); raises 360 when the element exists, 340 for an
  // unknown array.
  Control& LoadElement(const std::string& name, int16_t index);
  // Raises 362 for an element placed by the control table (only loaded elements go).
  void UnloadElement(const std::string& name, int16_t index);
  std::vector<int16_t> ElementIndexes(const std::string& name);

  // ---- handlers
  template <class F>
  void On(const std::string& handlerName, F handler) {
    SetHandler(handlerName, forms_detail::Adapt(std::move(handler)));
  }
  void SetHandler(const std::string& handlerName, EventHandler handler);
  bool HasHandler(const std::string& handlerName) const;
  // Runs the named handler; false when there is none (or events are stopped).
  bool RaiseEvent(const std::string& handlerName, EventArgs& args);

  struct Impl;
  Impl& impl() const { return *d_; }

 protected:
  // Builds the form's design state: caption, size and the control table. Runs at every Load.
  virtual void Design() {}
  // For a form whose window goes into a container (a property page): every Load starts it
  // borderless, so sizing it in its design never makes it a window of the window system.
  void BorderlessAtLoad();

 private:
  friend struct FormDeleter;
  void Terminate();
  std::unique_ptr<Impl> d_;
};

// Releases a form object the way dropping its last reference does: unloads it when loaded,
// raises Terminate, deletes it.
struct FormDeleter {
  void operator()(Form* f) const;
};
template <class T>
using FormPtr = std::unique_ptr<T, FormDeleter>;
template <class T, class... Args>
FormPtr<T> MakeForm(Args&&... args) {
  return FormPtr<T>(new T(std::forward<Args>(args)...));
}

// The loaded forms in load order.
std::vector<Form*> Forms();
inline void Load(Form& f) { f.Load(); }
inline bool Unload(Form& f) { return f.Unload(); }

// A form's control by name, as the form's code names it (cmdOK->Caption("OK")). Touching it
// loads the form; raises 340 when the control does not exist.
template <class T>
class Ctl {
 public:
  Ctl(Form* form, std::string name) : form_(form), name_(std::move(name)) {}
  T& get() const {
    form_->Load();
    Control* c = form_->FindControl(name_);
    T* t = dynamic_cast<T*>(c);
    if (!t) Raise(340, "Control '" + name_ + "' doesn't exist");
    return *t;
  }
  T* operator->() const { return &get(); }
  T& operator*() const { return get(); }
  const std::string& Name() const { return name_; }

 private:
  Form* form_;
  std::string name_;
};

// A control array by name: Option1(2)->Value(true), Option1.UBound(), Option1.Load(5).
template <class T>
class CtlArray {
 public:
  CtlArray(Form* form, std::string name) : form_(form), name_(std::move(name)) {}
  T& operator()(int16_t index) const {
    form_->Load();
    T* t = dynamic_cast<T*>(form_->FindControl(name_, index));
    if (!t) Raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
    return *t;
  }
  bool Exists(int16_t index) const {
    form_->Load();
    return dynamic_cast<T*>(form_->FindControl(name_, index)) != nullptr;
  }
  int16_t LBound() const { return Bound(true); }
  int16_t UBound() const { return Bound(false); }
  int16_t Count() const {
    form_->Load();
    return static_cast<int16_t>(form_->ElementIndexes(name_).size());
  }
  T& Load(int16_t index) const { return dynamic_cast<T&>(form_->LoadElement(name_, index)); }
  void Unload(int16_t index) const { form_->UnloadElement(name_, index); }
  const std::string& Name() const { return name_; }

 private:
  int16_t Bound(bool lower) const {
    form_->Load();
    auto ix = form_->ElementIndexes(name_);
    if (ix.empty()) Raise(340, "Control array '" + name_ + "' has no elements");
    return lower ? ix.front() : ix.back();
  }
  Form* form_;
  std::string name_;
};
