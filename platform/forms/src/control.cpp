// The control base, the control-type registry and the events every control shares.
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <vector>
#include <strings.h>

#include "core/error.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

std::map<std::string, ControlFactory>& Factories() {
  static std::map<std::string, ControlFactory> f;
  return f;
}
std::mutex g_factoryMutex;

std::map<QWidget*, Control*>& WidgetControls() {
  static std::map<QWidget*, Control*> m;
  return m;
}

std::map<Control*, ScaleProvider>& Scales() {
  static std::map<Control*, ScaleProvider> m;
  return m;
}

// The control that took a press keeps the mouse until the button is released, also when its own
// MouseDown hid it (as the window system's capture keeps it for the pressed window): Qt gives up
// a hidden widget's implicit grab, so the window's moves and the release are sent on to it here.
class PressCapture : public QObject {
 public:
  static void Start(QWidget* pressed, QObject* events) {
    Stop();
    Current() = new PressCapture(pressed, events);
    qApp->installEventFilter(Current());
  }
  static void Stop() {
    if (QPointer<PressCapture>& c = Current()) {
      qApp->removeEventFilter(c);
      c->deleteLater();
      c = nullptr;
    }
  }

  bool eventFilter(QObject* obj, QEvent* e) override {
    if (e->type() != QEvent::MouseMove && e->type() != QEvent::MouseButtonRelease) return false;
    if (!obj->isWindowType()) return false;  // each system event once, as its window gets it
    auto* me = static_cast<QMouseEvent*>(e);
    // A move without a button held: the release went elsewhere, the press is over.
    const bool over = e->type() == QEvent::MouseMove && me->buttons() == Qt::NoButton;
    if (!pressed_ || pressed_->isVisible() || over) {
      if (!pressed_ || over || e->type() == QEvent::MouseButtonRelease) Stop();
      return false;  // a shown widget has Qt's own grab
    }
    const QPointF local = pressed_->mapFromGlobal(me->globalPosition());
    QMouseEvent routed(e->type(), local, local, me->globalPosition(), me->button(), me->buttons(), me->modifiers());
    // Straight to the control's own event routing: the hidden widget itself takes no part.
    QPointer<QWidget> target = pressed_;
    QPointer<QObject> events = events_;
    if (e->type() == QEvent::MouseButtonRelease) Stop();
    if (target && events) events->eventFilter(target, &routed);
    return true;
  }

 private:
  PressCapture(QWidget* pressed, QObject* events) : pressed_(pressed), events_(events) {}
  static QPointer<PressCapture>& Current() {
    static QPointer<PressCapture> c;
    return c;
  }
  QPointer<QWidget> pressed_;
  QPointer<QObject> events_;
};

// Routes a control widget's mouse and key input to the control's handlers.
class ControlEvents : public QObject {
 public:
  explicit ControlEvents(Control* c, QObject* parent) : QObject(parent), c_(c) {}

  bool eventFilter(QObject* obj, QEvent* e) override {
    if (Ended()) return false;
    bool used = false;
    Guard([&] { used = Filter(obj, e); });
    return used;
  }

 private:
  bool Filter(QObject* obj, QEvent* e) {
    Control::Native& n = c_->native();
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
        // A disabled control, or one inside a disabled container, responds to no user input:
        // the widget's own handling passes the event on to its container.
        if (obj->isWidgetType() && !static_cast<QWidget*>(obj)->isEnabled()) return false;
        break;
      default:
        return false;
    }
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(e);
        QWidget* w = static_cast<QWidget*>(obj);
        QPointF p = me->position();
        if (w != n.widget.data() && n.widget) p = w->mapTo(n.widget.data(), p.toPoint());
        QPointF u = n.toEventUnits ? n.toEventUnits(p) : QPointF(p.x() * 15, p.y() * 15);
        int16_t shift = ShiftOf(me->modifiers());
        if (e->type() == QEvent::MouseMove) {
          c_->Raise("MouseMove", {Variant(ButtonOf(me->buttons())), Variant(shift), Variant(static_cast<float>(u.x())),
                                  Variant(static_cast<float>(u.y()))});
          return false;
        }
        // A container sees the mouse events its inner controls left unhandled: they are theirs.
        if (e->type() != QEvent::MouseMove && c_->IsContainer() && n.widget) {
          QWidget* hit = n.widget->childAt(p.toPoint());
          Control* inner = hit ? ControlOfWidget(hit) : nullptr;
          if (inner && inner != c_) return false;
        }
        int16_t button = ButtonOf(me->button());
        if (e->type() == QEvent::MouseButtonPress && n.dragMode == 1 && !n.dragPastDistance && button == vbLeftButton) {
          // An automatic drag takes the press: the control's own mouse events do not run.
          BeginDrag(*c_);
          return true;
        }
        if (e->type() == QEvent::MouseButtonRelease) {
          c_->Raise("MouseUp", {Variant(button), Variant(shift), Variant(static_cast<float>(u.x())),
                                Variant(static_cast<float>(u.y()))});
          if (n.clickOnRelease && n.widget && n.widget->rect().contains(p.toPoint())) c_->Raise("Click");
          return false;
        }
        if (e->type() == QEvent::MouseButtonDblClick && n.dblClick) {
          c_->Raise("DblClick");
          return false;
        }
        c_->Raise("MouseDown", {Variant(button), Variant(shift), Variant(static_cast<float>(u.x())),
                                Variant(static_cast<float>(u.y()))});
        if (e->type() == QEvent::MouseButtonPress && n.widget && !n.widget->isVisible()) PressCapture::Start(n.widget, this);
        return false;
      }
      case QEvent::KeyPress:
        return KeyPress(obj, static_cast<QKeyEvent*>(e));
      case QEvent::KeyRelease: {
        auto* ke = static_cast<QKeyEvent*>(e);
        EventArgs a{Variant(KeyCodeOf(ke->key())), Variant(ShiftOf(ke->modifiers()))};
        if (c_->Parent().KeyPreview()) {
          EventArgs fa = a;
          c_->Parent().RaiseEvent("Form_KeyUp", fa);
          if (LongOf(fa[0]) == 0) return true;
        }
        a = c_->Raise("KeyUp", a);
        return LongOf(a[0]) == 0;
      }
      default:
        return false;
    }
  }

  bool KeyPress(QObject* target, QKeyEvent* ke) {
    if (replaying_) return false;
    Form& form = c_->Parent();
    if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter || ke->key() == Qt::Key_Escape) &&
        FormKey(form, c_, ke->key())) {
      return true;
    }
    int16_t code = KeyCodeOf(ke->key());
    int16_t shift = ShiftOf(ke->modifiers());
    EventArgs down{Variant(code), Variant(shift)};
    if (form.KeyPreview()) {
      form.RaiseEvent("Form_KeyDown", down);
      if (LongOf(down[0]) == 0) return true;
    }
    down = c_->Raise("KeyDown", down);
    if (LongOf(down[0]) == 0) return true;
    QString text = ke->text();
    if (!text.isEmpty() && text[0].unicode() < 256 && text[0].unicode() != 127) {
      int16_t ascii = static_cast<int16_t>(text[0].unicode());
      EventArgs press{Variant(ascii)};
      if (form.KeyPreview()) {
        form.RaiseEvent("Form_KeyPress", press);
        if (LongOf(press[0]) == 0) return true;
      }
      press = c_->Raise("KeyPress", press);
      int32_t changed = LongOf(press[0]);
      if (changed == 0) return true;
      if (changed != ascii) {
        // The handler replaced the key: deliver the replacement instead.
        QChar ch(changed);
        QKeyEvent replaced(QEvent::KeyPress, ch.toUpper().unicode(), ke->modifiers(), QString(ch));
        replaying_ = true;
        QApplication::sendEvent(target, &replaced);
        replaying_ = false;
        return true;
      }
    }
    return false;
  }
  Control* c_;
  bool replaying_ = false;
};

}  // namespace

// ---- registry ---------------------------------------------------------------------------------

void RegisterControlType(const std::string& typeName, ControlFactory factory) {
  std::lock_guard lock(g_factoryMutex);
  Factories()[typeName] = std::move(factory);
}

bool IsControlTypeRegistered(const std::string& typeName) {
  std::lock_guard lock(g_factoryMutex);
  return Factories().count(typeName) != 0;
}

namespace forms_detail {

std::unique_ptr<Control> CreateControl(const ControlSite& site) {
  ControlFactory f;
  {
    std::lock_guard lock(g_factoryMutex);
    auto it = Factories().find(site.typeName);
    if (it != Factories().end()) f = it->second;
  }
  if (!f) return CreateHostedControl(site);
  return f(site);
}

// ---- conversions ----------------------------------------------------------------------------

double DoubleOf(const Variant& in) {
  Variant v = in.Deref();
  switch (v.vt()) {
    case VT_EMPTY: return 0;
    case VT_I2: return v.i2();
    case VT_I4: return v.i4();
    case VT_R4: return v.r4();
    case VT_R8:
    case VT_DATE: return v.r8();
    case VT_BOOL: return v.boolVal() ? -1 : 0;
    case VT_UI1: return v.ui1();
    case VT_BSTR: {
      std::string s = v.bstr().Utf8();
      char* end = nullptr;
      double d = std::strtod(s.c_str(), &end);
      if (s.empty() || (end && *end && !std::isspace(static_cast<unsigned char>(*end)))) ::Raise(vbErrTypeMismatch);
      return d;
    }
    default: ::Raise(vbErrTypeMismatch);
  }
}

int32_t LongOf(const Variant& v) {
  double d = DoubleOf(v);
  d = std::nearbyint(d);
  if (d < -2147483648.0 || d > 2147483647.0) ::Raise(vbErrOverflow);
  return static_cast<int32_t>(d);
}

bool BoolOf(const Variant& in) {
  Variant v = in.Deref();
  if (v.vt() == VT_BSTR) {
    std::string s = v.bstr().Utf8();
    if (strcasecmp(s.c_str(), "true") == 0) return true;
    if (strcasecmp(s.c_str(), "false") == 0) return false;
  }
  return DoubleOf(v) != 0;
}

std::string StringOf(const Variant& in) {
  Variant v = in.Deref();
  switch (v.vt()) {
    case VT_EMPTY: return {};
    case VT_BSTR: return v.bstr().Utf8();
    case VT_BOOL: return v.boolVal() ? "True" : "False";
    case VT_I2: return std::to_string(v.i2());
    case VT_I4: return std::to_string(v.i4());
    case VT_UI1: return std::to_string(v.ui1());
    case VT_R4:
    case VT_R8: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", DoubleOf(v));
      return buf;
    }
    default: ::Raise(vbErrTypeMismatch);
  }
}

bool Is(const std::string& name, const char* property) { return strcasecmp(name.c_str(), property) == 0; }

// ---- widgets ----------------------------------------------------------------------------------

QWidget* WidgetOf(const Control& c) { return c.native().widget.data(); }

void RouteEvents(Control& c, QWidget* inner) {
  if (!c.native().events || !inner) return;
  inner->setMouseTracking(true);
  inner->installEventFilter(c.native().events);
}

namespace {

// Marks the widgets of windowless controls with their place among the windowless ones (the
// widget may outlive its control): placed later or brought to the front is higher.
constexpr const char* kWindowless = "formsWindowless";
qlonglong g_frontOrder = 0, g_backOrder = 0;

// Whether w can be restacked now. Not a widget without a window under a parent that has one
// (restacking would create it), nor a native one that is hidden: its window has the window
// system's default size until it shows, and restacking reports that size back to the widget.
bool CanRestack(QWidget* w) {
  const bool parentCreated = w->parentWidget() && w->parentWidget()->testAttribute(Qt::WA_WState_Created);
  if (!w->testAttribute(Qt::WA_WState_Created)) return !parentCreated;
  return !w->testAttribute(Qt::WA_NativeWindow) || w->isVisible();
}

// Sends the windowless children of parent to the bottom, keeping their order among themselves:
// every windowed child then lies over them. Only lower() restacks native windows (stackUnder
// reorders Qt's list alone), so the stack is rebuilt from the top windowless child down. Those
// that cannot be restacked now are restacked when they show.
void RestackWindowless(QWidget* parent) {
  std::vector<QWidget*> windowless;
  for (QObject* o : parent->children()) {
    auto* s = qobject_cast<QWidget*>(o);
    if (s && s->property(kWindowless).isValid()) windowless.push_back(s);
  }
  // Their own order, not the list's: one that could not be restacked may stand out of place.
  std::stable_sort(windowless.begin(), windowless.end(), [](QWidget* a, QWidget* b) {
    return a->property(kWindowless).toLongLong() < b->property(kWindowless).toLongLong();
  });
  for (auto it = windowless.rbegin(); it != windowless.rend(); ++it) {
    if (CanRestack(*it)) (*it)->lower();
  }
}

// Watches a windowless control's widget: each time it shows, its container is restacked once the
// showing is complete (the Show event comes before the native window has its geometry).
class RestackWhenShown : public QObject {
 public:
  explicit RestackWhenShown(QWidget* w) : QObject(w) { w->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::Show) return false;
    QPointer<QWidget> parent = static_cast<QWidget*>(watched)->parentWidget();
    if (!parent || parent->property(kPending).toBool()) return false;
    parent->setProperty(kPending, true);
    QMetaObject::invokeMethod(
        parent.data(),
        [parent] {
          if (!parent) return;
          parent->setProperty(kPending, false);
          RestackWindowless(parent);
        },
        Qt::QueuedConnection);
    return false;
  }

 private:
  static constexpr const char* kPending = "formsRestackPending";
};

}  // namespace

bool IsWindowless(const Control& c) {
  const std::string& t = c.TypeName();
  return t == "Label" || t == "Image" || t == "Line" || t == "Shape";
}

void KeepWindowlessBeneath(Control& c, int16_t position) {
  QWidget* w = c.native().widget;
  if (!w || !w->parentWidget()) return;
  if (IsWindowless(c)) {
    if (!w->property(kWindowless).isValid()) new RestackWhenShown(w);
    if (position == 1) {
      w->setProperty(kWindowless, --g_backOrder);
    } else if (position == 0 || !w->property(kWindowless).isValid()) {
      w->setProperty(kWindowless, ++g_frontOrder);
    }
  }
  RestackWindowless(w->parentWidget());
}

Control* ControlOfWidget(QWidget* w) {
  auto& m = WidgetControls();
  for (; w; w = w->parentWidget()) {
    auto it = m.find(w);
    if (it != m.end()) return it->second;
  }
  return nullptr;
}

void SetContainerScale(Control& container, ScaleProvider provider) { Scales()[&container] = std::move(provider); }

ScaleInfo ScaleOf(Form& form, Control* container) {
  if (!container) return FormScale(form);
  auto it = Scales().find(container);
  if (it != Scales().end()) return it->second();
  return ScaleInfo{};
}

ScaleInfo ScaleFor(int16_t scaleMode, double left, double top, double width, double height, QSize inner) {
  ScaleInfo s;
  switch (scaleMode) {
    case vbPixels: s.unitsPerPixelX = s.unitsPerPixelY = 1; break;
    case vbPoints: s.unitsPerPixelX = s.unitsPerPixelY = 0.75; break;
    case vbUser:
      s.left = left;
      s.top = top;
      s.unitsPerPixelX = inner.width() > 0 ? width / inner.width() : 15;
      s.unitsPerPixelY = inner.height() > 0 ? height / inner.height() : 15;
      break;
    default: break;
  }
  return s;
}

void ApplyFont(QWidget* w, const StdFont& f) { w->setFont(QtFont(f, w->font())); }

void ApplyColors(QWidget* w, OLE_COLOR fore, OLE_COLOR back, bool paintBackground) {
  QPalette p = w->palette();
  QColor f = ColorFromOle(fore);
  QColor b = ColorFromOle(back);
  // The text colour is that of an enabled control; a disabled one keeps the desktop's grey
  // text, as a disabled control shows whatever its colours.
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(g, QPalette::WindowText, f);
    p.setColor(g, QPalette::Text, f);
    p.setColor(g, QPalette::ButtonText, f);
  }
  p.setColor(QPalette::Window, b);
  // A text field's back colour is its field's (a combo box in button face shows a grey field).
  // Other controls take an explicit colour or the window colour as their base; given another
  // system colour, they keep the desktop's base rather than one their container's colour left in
  // the inherited palette (a black frame would otherwise give its fields black on black).
  const bool field = w->property(kTextFieldProperty).toBool() || qobject_cast<QComboBox*>(w) ||
                     qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractScrollArea*>(w) ||
                     qobject_cast<QAbstractSpinBox*>(w);
  if (field || !(back & 0x80000000u) || (back & 0xFF) == 5) {
    p.setColor(QPalette::Base, b);
  } else {
    p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
  }
  p.setColor(QPalette::Button, b);
  w->setPalette(p);
  w->setAutoFillBackground(paintBackground);
}

QString MnemonicText(const std::string& caption) {
  // The runtime and Qt agree: "&" marks the access key, "&&" stands for "&".
  return Q(caption);
}

int16_t KeyCodeOf(int k) {
  if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return static_cast<int16_t>(k);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return static_cast<int16_t>(112 + (k - Qt::Key_F1));
  switch (k) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    default: return static_cast<int16_t>(k & 0x7FFF);
  }
}

int16_t ShiftOf(Qt::KeyboardModifiers m) {
  int16_t s = 0;
  if (m & Qt::ShiftModifier) s |= vbShiftMask;
  if (m & Qt::ControlModifier) s |= vbCtrlMask;
  if (m & Qt::AltModifier) s |= vbAltMask;
  return s;
}

int16_t ButtonOf(Qt::MouseButtons b) {
  int16_t r = 0;
  if (b & Qt::LeftButton) r |= vbLeftButton;
  if (b & Qt::RightButton) r |= vbRightButton;
  if (b & Qt::MiddleButton) r |= vbMiddleButton;
  return r;
}

void AdoptWidget(Control& c, QWidget* w) {
  Control::Native& n = c.native();
  QWidget* parent = ClientOf(*n.form, n.container);
  if (w->parentWidget() != parent) w->setParent(parent);
  ApplyFont(w, n.font);
}

void AttachWidget(Control& c, QWidget* w) {
  Control::Native& n = c.native();
  QWidget* parent = ClientOf(*n.form, n.container);
  if (w->parentWidget() != parent) w->setParent(parent);
  w->setObjectName(Q(n.name));
  n.widget = w;
  WidgetControls()[w] = &c;
  QObject::connect(w, &QObject::destroyed, [w] { WidgetControls().erase(w); });
  auto* filter = new ControlEvents(&c, w);
  n.events = filter;
  // MouseMove is raised while the pointer passes over a control, not only during a drag.
  w->setMouseTracking(true);
  w->installEventFilter(filter);
  for (QWidget* child : w->findChildren<QWidget*>()) {
    child->setMouseTracking(true);
    child->installEventFilter(filter);
  }
  HwndFromWidget(w);
  ApplyFont(w, n.font);
  w->show();
}

}  // namespace forms_detail

// ---- Control -----------------------------------------------------------------------------------

Control::Control(const ControlSite& site) : native_(std::make_unique<Native>()) {
  native_->form = site.form;
  native_->name = site.name;
  native_->index = site.index;
  native_->container = site.container;
  native_->typeName = site.typeName;
  native_->self = this;
}

Control::~Control() {
  ForgetDrag(*this);
  Scales().erase(this);
  if (QWidget* w = native_->widget) {
    // The widget goes later (Qt may still be inside one of its functions); from now on it
    // reports nothing to this object.
    WidgetControls().erase(w);
    ReleaseHandles(w);
    delete native_->events;
    QObject::disconnect(w, nullptr, w, nullptr);
    for (QObject* child : w->findChildren<QObject*>()) QObject::disconnect(child, nullptr, w, nullptr);
    w->hide();
    w->deleteLater();
  }
}

const std::string& Control::Name() const { return native_->name; }
int16_t Control::Index() const { return native_->index; }
const std::string& Control::TypeName() const { return native_->typeName; }
Form& Control::Parent() const { return *native_->form; }
Control* Control::Container() const { return native_->container; }

void Control::RequireWindow() const {
  if (!native_->widget) ::Raise(vbErrObjectDoesntSupport);
}

namespace {
// Pixel geometry <-> scale units of the control's container.
ScaleInfo ScaleFor(const Control& c) { return ScaleOf(c.Parent(), c.Container()); }
}  // namespace

int32_t Control::Left() const {
  RequireWindow();
  ScaleInfo s = ScaleFor(*this);
  return static_cast<int32_t>(std::lround(native_->widget->x() * s.unitsPerPixelX + s.left));
}
int32_t Control::Top() const {
  RequireWindow();
  ScaleInfo s = ScaleFor(*this);
  return static_cast<int32_t>(std::lround(native_->widget->y() * s.unitsPerPixelY + s.top));
}
int32_t Control::Width() const {
  RequireWindow();
  return static_cast<int32_t>(std::lround(native_->widget->width() * ScaleFor(*this).unitsPerPixelX));
}
int32_t Control::Height() const {
  RequireWindow();
  return static_cast<int32_t>(std::lround(native_->widget->height() * ScaleFor(*this).unitsPerPixelY));
}
void Control::Left(int32_t v) { Move(v, Top()); }
void Control::Top(int32_t v) { Move(Left(), v); }
void Control::Width(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  Move(Left(), Top(), v, -1);
}
void Control::Height(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  Move(Left(), Top(), -1, v);
}

void Control::Move(int32_t left, int32_t top, int32_t width, int32_t height) {
  RequireWindow();
  ScaleInfo s = ScaleFor(*this);
  QWidget* w = native_->widget;
  int x = static_cast<int>(std::lround((left - s.left) / s.unitsPerPixelX));
  int y = static_cast<int>(std::lround((top - s.top) / s.unitsPerPixelY));
  int wd = width < 0 ? w->width() : static_cast<int>(std::lround(width / s.unitsPerPixelX));
  int ht = height < 0 ? w->height() : static_cast<int>(std::lround(height / s.unitsPerPixelY));
  if (height >= 0 && native_->fitHeight) ht = native_->fitHeight(std::max(0, ht));
  w->setGeometry(x, y, std::max(0, wd), std::max(0, ht));
}

bool Control::Visible() const { return native_->visible; }
void Control::Visible(bool v) {
  native_->visible = v;
  if (native_->widget) native_->widget->setVisible(v);
}
bool Control::Enabled() const { return native_->enabled; }
void Control::Enabled(bool v) {
  native_->enabled = v;
  if (native_->widget) native_->widget->setEnabled(v);
}
int16_t Control::TabIndex() const { return native_->tabIndex; }
void Control::TabIndex(int16_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  // The control takes that place in the form's order; the others close up behind it.
  std::vector<Control*> order;
  for (Control* c : Parent().Controls()) {
    if (c != this) order.push_back(c);
  }
  std::stable_sort(order.begin(), order.end(), [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
  size_t at = std::min<size_t>(static_cast<size_t>(v), order.size());
  order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), this);
  for (size_t i = 0; i < order.size(); ++i) order[i]->native_->tabIndex = static_cast<int16_t>(i);
  ApplyTabOrder(Parent());
}
bool Control::TabStop() const { return native_->tabStop; }
void Control::TabStop(bool v) {
  native_->tabStop = v;
  if (native_->widget && native_->widget->focusPolicy() != Qt::NoFocus) {
    native_->widget->setFocusPolicy(v ? Qt::StrongFocus : Qt::ClickFocus);
  }
}
bool Control::CausesValidation() const { return native_->causesValidation; }
void Control::CausesValidation(bool v) { native_->causesValidation = v; }
const std::string& Control::ToolTipText() const { return native_->toolTip; }
void Control::ToolTipText(const std::string& v) {
  native_->toolTip = v;
  if (native_->widget) native_->widget->setToolTip(Q(v));
}
const std::string& Control::Tag() const { return native_->tag; }
void Control::Tag(const std::string& v) { native_->tag = v; }
int16_t Control::MousePointer() const { return native_->mousePointer; }
void Control::MousePointer(int16_t v) {
  native_->mousePointer = v;
  if (!native_->widget) return;
  if (v == 0) {
    native_->widget->unsetCursor();
  } else {
    native_->widget->setCursor(CursorOf(v));
  }
}
StdFont Control::Font() const { return native_->font; }
void Control::Font(const StdFont& f) {
  native_->font = f;
  if (native_->widget) ApplyFont(native_->widget, f);
}
void Control::FontName(const std::string& v) {
  StdFont f = Font();
  f.Name = v;
  Font(f);
}
void Control::FontSize(float v) {
  StdFont f = Font();
  f.Size = v;
  Font(f);
}
void Control::FontBold(bool v) {
  StdFont f = Font();
  f.Bold = v;
  Font(f);
}
void Control::FontItalic(bool v) {
  StdFont f = Font();
  f.Italic = v;
  Font(f);
}
OLE_COLOR Control::ForeColor() const { return native_->foreColor; }
void Control::ForeColor(OLE_COLOR c) {
  native_->foreColor = c;
  if (native_->widget) ApplyColors(native_->widget, native_->foreColor, native_->backColor, native_->widget->autoFillBackground());
}
OLE_COLOR Control::BackColor() const { return native_->backColor; }
void Control::BackColor(OLE_COLOR c) {
  native_->backColor = c;
  if (native_->widget) ApplyColors(native_->widget, native_->foreColor, native_->backColor, true);
}
void Control::ZOrder(int16_t position) {
  RequireWindow();
  if (position == 0) {
    native_->widget->raise();
  } else {
    native_->widget->lower();
  }
  forms_detail::KeepWindowlessBeneath(*this, position == 0 ? 0 : 1);
}
void Control::SetFocus() {
  RequireWindow();
  if (!native_->widget->isVisible() || !native_->widget->isEnabled()) {
    ::Raise(vbErrInvalidProcedureCall);
  }
  native_->widget->setFocus(Qt::OtherFocusReason);
}
void Control::Refresh() {
  if (native_->widget) native_->widget->repaint();
}
HWND Control::hWnd() const {
  RequireWindow();
  return HwndFromWidget(native_->widget);
}

EventArgs Control::Raise(const std::string& event, EventArgs args) {
  // An unloaded control may live on until no handler runs (a timer that still ticks, a widget
  // Qt is still inside): nothing of it reaches the form's handlers any more.
  if (native_->unloaded) return args;
  std::string handler = native_->name + "_" + event;
  if (native_->index >= 0) {
    EventArgs withIndex;
    withIndex.reserve(args.size() + 1);
    withIndex.emplace_back(native_->index);
    for (auto& a : args) withIndex.push_back(std::move(a));
    native_->form->RaiseEvent(handler, withIndex);
    withIndex.erase(withIndex.begin());
    return withIndex;
  }
  native_->form->RaiseEvent(handler, args);
  return args;
}

bool Control::HasHandler(const std::string& event) const {
  return native_->form->HasHandler(native_->name + "_" + event);
}

void Control::SetProperty(const std::string& name, const Variant& v) {
  if (Is(name, "Left")) return Left(LongOf(v));
  if (Is(name, "Top")) return Top(LongOf(v));
  if (Is(name, "Width")) return Width(LongOf(v));
  if (Is(name, "Height")) return Height(LongOf(v));
  if (Is(name, "Visible")) return Visible(BoolOf(v));
  if (Is(name, "Enabled")) return Enabled(BoolOf(v));
  if (Is(name, "TabIndex")) return TabIndex(static_cast<int16_t>(LongOf(v)));
  if (Is(name, "TabStop")) return TabStop(BoolOf(v));
  if (Is(name, "CausesValidation")) return CausesValidation(BoolOf(v));
  if (Is(name, "ToolTipText")) return ToolTipText(StringOf(v));
  if (Is(name, "Tag")) return Tag(StringOf(v));
  if (Is(name, "MousePointer")) return MousePointer(static_cast<int16_t>(LongOf(v)));
  if (Is(name, "FontName")) return FontName(StringOf(v));
  if (Is(name, "FontSize")) return FontSize(static_cast<float>(DoubleOf(v)));
  if (Is(name, "FontBold")) return FontBold(BoolOf(v));
  if (Is(name, "FontItalic")) return FontItalic(BoolOf(v));
  if (Is(name, "ForeColor")) return ForeColor(static_cast<OLE_COLOR>(LongOf(v)));
  if (Is(name, "BackColor")) return BackColor(static_cast<OLE_COLOR>(LongOf(v)));
  if (Is(name, "DragMode")) return DragMode(static_cast<int16_t>(LongOf(v)));
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + name + "'");
}

Variant Control::GetProperty(const std::string& name) const {
  if (Is(name, "Name")) return Variant(Name());
  if (Is(name, "Index")) return Variant(Index());
  if (Is(name, "Left")) return Variant(Left());
  if (Is(name, "Top")) return Variant(Top());
  if (Is(name, "Width")) return Variant(Width());
  if (Is(name, "Height")) return Variant(Height());
  if (Is(name, "Visible")) return Variant(Visible());
  if (Is(name, "Enabled")) return Variant(Enabled());
  if (Is(name, "TabIndex")) return Variant(TabIndex());
  if (Is(name, "TabStop")) return Variant(TabStop());
  if (Is(name, "ToolTipText")) return Variant(ToolTipText());
  if (Is(name, "Tag")) return Variant(Tag());
  if (Is(name, "MousePointer")) return Variant(MousePointer());
  if (Is(name, "FontName")) return Variant(Font().Name);
  if (Is(name, "FontSize")) return Variant(Font().Size);
  if (Is(name, "FontBold")) return Variant(Font().Bold);
  if (Is(name, "FontItalic")) return Variant(Font().Italic);
  if (Is(name, "ForeColor")) return Variant(static_cast<int32_t>(ForeColor()));
  if (Is(name, "BackColor")) return Variant(static_cast<int32_t>(BackColor()));
  if (Is(name, "hWnd")) return Variant(static_cast<int32_t>(hWnd()));
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + name + "'");
}
