#pragma once
// Internal to the platform: the Qt side of forms and controls, for the control classes of this
// library and of extensions (common controls, hosted controls). Suite code does not include it.
#include <QPointer>
#include <QPointF>
#include <QWidget>
#include <functional>

#include "forms/control.h"
#include "forms/form.h"

struct Control::Native {
  Form* form = nullptr;
  std::string name;
  int16_t index = -1;
  Control* container = nullptr;
  std::string typeName;
  Control* self = nullptr;
  QPointer<QWidget> widget;  // nullptr for controls without a window
  // Its form unloaded it (it waits to be deleted once no handler runs): it raises no events.
  bool unloaded = false;
  bool visible = true;
  bool enabled = true;
  int16_t tabIndex = 0;
  bool tabStop = true;
  bool causesValidation = true;
  std::string toolTip;
  std::string tag;
  int16_t mousePointer = 0;
  OLE_COLOR foreColor = 0x80000012;  // button text
  OLE_COLOR backColor = 0x8000000F;  // button face
  StdFont font;
  // Mouse release inside raises Click, a double click DblClick (labels, images, pictures,
  // frames); controls with their own click logic leave these off.
  bool clickOnRelease = false;
  bool dblClick = false;
  // Mouse coordinates in the units the control's events report (default twips).
  std::function<QPointF(QPointF pixels)> toEventUnits;
  QObject* events = nullptr;  // the event router AttachWidget installed
  int16_t dragMode = 0;
  // Hosted controls: an automatic drag starts once the pointer moved past the drag distance (the
  // press still reaches the control), and the row's further properties are the control's own.
  bool dragPastDistance = false;
  bool rowPropsTaken = false;
  // The height in pixels the control takes when asked for one (a list box keeps whole rows);
  // unset: the height asked for.
  std::function<int(int asked)> fitHeight;
};

namespace forms_detail {

// Gives a control its widget: parents it into the container's client area (or the form's),
// names it, gives it a handle, applies font and colours and routes mouse, key and focus
// events to the control's handlers. The widget starts visible at 0,0 with its own size.
void AttachWidget(Control& control, QWidget* widget);
QWidget* WidgetOf(const Control& control);
// Puts a control's widget into its container with the control's font before AttachWidget, so
// that inner widgets made next are made in the font they keep (a font change makes a combo box
// build its drop-down list at once).
void AdoptWidget(Control& control, QWidget* widget);
// Routes the input of an inner widget made after AttachWidget (an edit field) to the control.
void RouteEvents(Control& control, QWidget* inner);
// Labels, images, lines and shapes have no window of their own: they are drawn on their
// container's surface, so every windowed control of that container lies over them.
bool IsWindowless(const Control& control);
// Keeps the windowless controls of a control's container beneath its windowed ones, in their own
// order: placing order, changed by ZOrder (position 0 front, 1 back, -1 a new control placed).
// One whose native window cannot be restacked yet is restacked when it shows. Form::Add calls it
// for a new windowless control, ZOrder for every control.
void KeepWindowlessBeneath(Control& control, int16_t position = -1);
// The control that owns a widget (or one of the widget's ancestors), nullptr when none.
Control* ControlOfWidget(QWidget* widget);

// The widget that holds a container's children: the form's client area for nullptr.
QWidget* ClientOf(Form& form, Control* container);
// Pixels per scale unit of a container (the form for nullptr) and its scale origin.
struct ScaleInfo {
  double left = 0, top = 0;           // scale units at the client's top-left corner
  double unitsPerPixelX = 15, unitsPerPixelY = 15;
};
ScaleInfo ScaleOf(Form& form, Control* container);
// The scale of a drawing area of the given inner size in pixels: vbTwips, vbPoints, vbPixels, or
// vbUser with its left, top, width and height.
ScaleInfo ScaleFor(int16_t scaleMode, double left, double top, double width, double height, QSize inner);
// A form's own scale (its inner area).
ScaleInfo FormScale(Form& form);
using ScaleProvider = std::function<ScaleInfo()>;
// Containers with a scale of their own (picture boxes) register it here.
void SetContainerScale(Control& container, ScaleProvider provider);

// Applies font and colours to a widget.
void ApplyFont(QWidget* w, const StdFont& f);
void ApplyColors(QWidget* w, OLE_COLOR fore, OLE_COLOR back, bool paintBackground);
// A widget property marking a control's outer widget whose back colour is its text field's (a
// combo box's frame): ApplyColors gives its base the back colour, as for an edit or a list.
inline constexpr const char* kTextFieldProperty = "formsTextField";
// Runtime text with "&" access keys as Qt shows it.
QString MnemonicText(const std::string& caption);

// Keyboard codes of the runtime (the window system's virtual keys) and the Shift argument.
int16_t KeyCodeOf(int qtKey);
int16_t ShiftOf(Qt::KeyboardModifiers m);
int16_t ButtonOf(Qt::MouseButtons b);

// The form's Default and Cancel buttons react to Enter and Esc.
void SetDefaultButton(Form& form, Control* button);
void SetCancelButton(Form& form, Control* button);
// Enter (the focused button, else the Default button) and Esc (the Cancel button); answers
// whether a button took the key.
bool FormKey(Form& form, Control* focused, int key);

// Depth of running handlers; deletions of unloaded controls wait until it is 0.
int HandlerDepth();

// Property names compare without regard to case.
bool Is(const std::string& name, const char* property);
// Values for late-bound property sets.
int32_t LongOf(const Variant& v);
double DoubleOf(const Variant& v);
bool BoolOf(const Variant& v);
std::string StringOf(const Variant& v);

}  // namespace forms_detail

namespace forms_detail {
// Runs code that Qt called (a signal, an event): a runtime error that escapes it is reported in a
// message box ("Run-time error 'n':") instead of unwinding through Qt.
void Guard(const std::function<void()>& f);
// Starts an automatic drag of the control (its DragMode is 1) at a mouse press.
void BeginDrag(Control& source);
// Ends a drag the control is the source of (it is being deleted): no drop.
void ForgetDrag(Control& source);
// Chains the form's controls in TabIndex order for the Tab key.
void ApplyTabOrder(Form& form);
// Creates a control of a registered type.
std::unique_ptr<Control> CreateControl(const ControlSite& site);
// The form's ambient UserMode for the controls it hosts (SetAmbientUserMode).
bool& AmbientUserModeOf(Form& form);
// Lets events through while the form applies design values (a hosted control raises its events
// while it loads its properties during the form's load).
class LiftQuiet {
 public:
  explicit LiftQuiet(Form& form);
  ~LiftQuiet();
  LiftQuiet(const LiftQuiet&) = delete;
  LiftQuiet& operator=(const LiftQuiet&) = delete;

 private:
  Form& form_;
  int saved_;
};
// Hosts the ActiveX control the site's type names (ProgID or "{CLSID}").
std::unique_ptr<Control> CreateHostedControl(const ControlSite& site);
// The form's menu bar (made on first use), for top-level menus.
QWidget* MenuBarOf(Form& form);
}  // namespace forms_detail
