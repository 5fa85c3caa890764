// Forms: the life cycle, the window, the control table, control arrays, focus events.
#include "forms/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <string_view>
#include <utility>
#include <cctype>
#include <cmath>
#include <map>

#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/end_requests.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/picture_qt.h"
#include "comctl_internal.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

int g_depth = 0;
Form* g_activeForm = nullptr;
std::vector<Form*> g_allForms;  // every live form object
bool g_deadControls = false;     // some form's graveyard may hold controls to delete
// Windows of forms unloaded while a handler ran: deleted with the graveyards.
std::vector<QPointer<QWidget>> g_deadWindows;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Whether two names are the same, letter case aside (Lower(a) == Lower(b), without copies).
bool SameLower(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

void FlushGraveyards();
void ScheduleFlush();

class FormClient;

// The form's top-level window.
class FormWindow : public QWidget {
 public:
  explicit FormWindow(Form* form) : form_(form) {
    setAttribute(Qt::WA_DeleteOnClose, false);
  }
  void Detach() { form_ = nullptr; }
  // The window system's window of a top-level form, made before the first show so its frame is
  // known. Made without asking for a native handle (winId would): a form window that later goes
  // into a container (a user control's surface, a property page) is then an ordinary child there.
  // A native child would make its siblings and ancestors native too, and their first paint can
  // be lost under load on X11.
  void EnsureCreated() {
    if (isWindow() && !testAttribute(Qt::WA_WState_Created)) create();
  }

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  Form* form_;
};

// The inner area that holds the controls.
class FormClient : public QWidget {
 public:
  explicit FormClient(Form* form, QWidget* parent) : QWidget(parent), form_(form) {}
  // The form unloaded: events still queued for the area (a pointer move Qt made up) reach it no
  // more, even when the form object itself is gone before the area is deleted.
  void Detach() { form_ = nullptr; }

 protected:
  bool event(QEvent* e) override {
    if (!form_) {
      switch (e->type()) {
        case QEvent::Paint:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
          return true;
        default:
          break;
      }
    }
    return QWidget::event(e);
  }
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override { Mouse("Form_MouseDown", e, ButtonOf(e->button())); }
  void mouseReleaseEvent(QMouseEvent* e) override {
    Mouse("Form_MouseUp", e, ButtonOf(e->button()));
    if (rect().contains(e->position().toPoint())) Raise0("Form_Click");
  }
  void mouseDoubleClickEvent(QMouseEvent*) override { Raise0("Form_DblClick"); }
  void mouseMoveEvent(QMouseEvent* e) override { Mouse("Form_MouseMove", e, ButtonOf(e->buttons())); }
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override {
    Guard([&] {
      EventArgs a{Variant(KeyCodeOf(e->key())), Variant(ShiftOf(e->modifiers()))};
      form_->RaiseEvent("Form_KeyUp", a);
    });
  }

 private:
  void Raise0(const char* name) {
    Guard([&] {
      EventArgs a;
      form_->RaiseEvent(name, a);
    });
  }
  void Mouse(const char* name, QMouseEvent* e, int16_t button) {
    Guard([&] {
      ScaleInfo s = ScaleOf(*form_, nullptr);
      EventArgs a{Variant(button), Variant(ShiftOf(e->modifiers())),
                  Variant(static_cast<float>(e->position().x() * s.unitsPerPixelX + s.left)),
                  Variant(static_cast<float>(e->position().y() * s.unitsPerPixelY + s.top))};
      form_->RaiseEvent(name, a);
    });
  }
  Form* form_;
};

}  // namespace

struct Form::Impl {
  Form* self = nullptr;
  std::string name;
  std::map<std::string, EventHandler> handlers;  // lower-case names
  bool initialized = false;
  bool loaded = false;
  bool unloading = false;
  QPointer<FormWindow> window;
  QPointer<FormClient> client;
  QPointer<QMenuBar> menuBar;
  std::vector<std::unique_ptr<Control>> controls;
  std::vector<std::unique_ptr<Control>> graveyard;
  std::map<std::string, ControlDef> arrayDefs;       // lower-case name -> design row of the array
  std::map<std::string, std::vector<int16_t>> designElements;  // elements placed by the table
  std::vector<QEventLoop*> modalLoops;
  int16_t scaleMode = vbTwips;
  double scaleLeft = 0, scaleTop = 0, scaleW = 0, scaleH = 0;  // vbUser
  bool keyPreview = false;
  int16_t borderStyle = vbSizable;
  bool borderlessAtLoad = false;  // BorderlessAtLoad
  bool controlBox = true;
  Picture icon;
  OLE_COLOR backColor = 0x8000000F;
  OLE_COLOR foreColor = 0x80000012;
  StdFont font;
  int16_t mousePointer = 0;
  int quiet = 0;  // design values are being applied: they raise no events
  std::string defaultButton, cancelButton;  // "name#index"
  bool ambientUserMode = true;  // what hosted controls see as the ambient UserMode

  FormWindow* W() {
    if (!loaded) self->Load();
    if (!window) ::Raise(vbErrObjectNotLoaded, "Object was unloaded");
    return window;
  }

  void CreateWindow() {
    EnsureApplication();
    window = new FormWindow(self);
    window->setObjectName(Q(name));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    client = new FormClient(self, window);
    client->setObjectName(Q(name + ".client"));
    client->setFocusPolicy(Qt::StrongFocus);
    client->setMouseTracking(true);
    layout->addWidget(client, 1);
    window->resize(4800 / 15, 3600 / 15);
    ApplyColors(client, foreColor, backColor, true);
    HwndFromWidget(window);
  }

  void ApplyFlags() {
    if (!window) return;
    bool visible = window->isVisible();
    Qt::WindowFlags f = Qt::Window;
    switch (borderStyle) {
      case vbBSNone: f |= Qt::FramelessWindowHint; break;
      case vbFixedDouble: f |= Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint; break;
      case vbFixedToolWindow:
      case vbSizableToolWindow: f |= Qt::Tool; break;
      default: break;
    }
    if (borderStyle != vbBSNone) {
      f |= Qt::WindowTitleHint | Qt::CustomizeWindowHint;
      if (controlBox) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      if (borderStyle == vbSizable) f |= Qt::WindowMinMaxButtonsHint;
    }
    window->setWindowFlags(f);
    ApplyFixedSize();
    if (visible) window->show();
  }

  bool FixedSize() const {
    return borderStyle == vbFixedSingle || borderStyle == vbFixedDouble || borderStyle == vbFixedToolWindow;
  }

  void ApplyFixedSize() {
    if (!window) return;
    if (FixedSize()) {
      window->setFixedSize(window->size());
    } else {
      window->setMinimumSize(0, 0);
      window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
  }

  // Outer frame in pixels.
  QRect Frame() const {
    EnsureFrameKnown();
    return window->frameGeometry();
  }

  // The frame's size is known once the window exists on the window system. A window without a
  // frame (a borderless one, a user control's surface) has none to learn and is left alone: a
  // user control's surface goes into its container's site next.
  void EnsureFrameKnown() const {
    if (borderStyle == vbBSNone) return;
    window->EnsureCreated();
  }

  void SetOuter(int x, int y, int w, int h) {
    EnsureFrameKnown();
    QRect fr = window->frameGeometry();
    QRect in = window->geometry();
    int dw = fr.width() - in.width();
    int dh = fr.height() - in.height();
    window->move(x, y);
    QSize inner(std::max(1, w - dw), std::max(1, h - dh));
    if (FixedSize()) {
      window->setFixedSize(inner);
    } else {
      window->resize(inner);
    }
  }

  ScaleInfo Scale() const {
    return ScaleFor(scaleMode, scaleLeft, scaleTop, scaleW, scaleH, client ? client->size() : QSize());
  }

  void Teardown() {
    for (QEventLoop* l : modalLoops) l->quit();
    auto& loadedForms = LoadedForms();
    loadedForms.erase(std::remove(loadedForms.begin(), loadedForms.end(), self), loadedForms.end());
    if (g_activeForm == self) g_activeForm = nullptr;
    for (auto& c : controls) {
      c->native().unloaded = true;
      graveyard.push_back(std::move(c));
    }
    g_deadControls = g_deadControls || !graveyard.empty();
    controls.clear();
    tabDense = true;
    tabLast = nullptr;
    defaultButton.clear();
    cancelButton.clear();
    if (client) client->Detach();
    if (window) {
      window->Detach();
      ReleaseHandles(window);
      window->hide();
      // A handler still running below (a tool bar's click whose message processing saw the
      // unload) may be inside a widget of this window: the window goes once no handler runs,
      // after its controls, and not from a nested loop's deferred deletions.
      if (g_depth == 0) {
        window->deleteLater();
      } else {
        g_deadWindows.emplace_back(window.data());
        g_deadControls = true;
      }
    }
    window = nullptr;
    client = nullptr;
    menuBar = nullptr;
    loaded = false;
    if (g_depth == 0) {
      graveyard.clear();
    } else {
      ScheduleFlush();
    }
  }

  bool DoUnload(int16_t mode) {
    if (!loaded || unloading) return loaded ? false : true;
    unloading = true;
    struct Reset {
      bool& b;
      ~Reset() { b = false; }
    } reset{unloading};
    EventArgs q{Variant(static_cast<int16_t>(0)), Variant(mode)};
    self->RaiseEvent("Form_QueryUnload", q);
    if (LongOf(q[0]) != 0) return false;
    // Forms this one owns go with it (their unload mode says the owner closes); one that
    // refuses keeps its owner loaded as well. A form whose window is already gone (a user
    // control's surface deleted with its container's window) owns none.
    for (Form* f : window ? std::vector<Form*>(LoadedForms()) : std::vector<Form*>()) {
      if (f == self || !f->impl().window || f->impl().window->parentWidget() != window.data()) continue;
      if (!f->impl().DoUnload(vbFormOwner)) return false;
    }
    EventArgs u{Variant(static_cast<int16_t>(0))};
    self->RaiseEvent("Form_Unload", u);
    if (LongOf(u[0]) != 0) return false;
    Teardown();
    return true;
  }

  Control* Find(const std::string& n, int16_t index) const {
    for (auto& c : controls) {
      if (c->Index() == index && SameLower(c->Name(), n)) return c.get();
    }
    return nullptr;
  }

  void ApplyTabOrder() {
    std::vector<Control*> order;
    for (auto& c : controls) {
      if (c->native().widget && c->native().widget->focusPolicy() != Qt::NoFocus) order.push_back(c.get());
    }
    std::stable_sort(order.begin(), order.end(), [](Control* a, Control* b) { return a->TabIndex() < b->TabIndex(); });
    for (size_t i = 1; i < order.size(); ++i) {
      QWidget::setTabOrder(order[i - 1]->native().widget, order[i]->native().widget);
    }
    tabLast = order.empty() ? nullptr : order.back()->native().widget.data();
  }

  // A control added last takes the last tab index. While the indexes run 0..n-1 without a gap
  // (so that none of the others moves up), it only follows the focusable control at the end
  // of the order: adding many controls (a storyboard's tiles) never sorts them all each time.
  // Answers false when the order has a gap (a control left it) and needs the full renumbering.
  bool AppendToTabOrder(Control& c) {
    if (!tabDense) return false;
    c.native().tabIndex = static_cast<int16_t>(controls.size() - 1);
    QWidget* w = c.native().widget;
    if (w && w->focusPolicy() != Qt::NoFocus) {
      if (tabLast && tabLast != w) QWidget::setTabOrder(tabLast, w);
      tabLast = w;
    }
    return true;
  }
  bool tabDense = true;     // the tab indexes run 0..n-1 (after a renumbering; false once one left)
  QPointer<QWidget> tabLast;  // the focusable control's widget at the end of the tab order

  void Activated() {
    if (g_activeForm == self || !loaded) return;
    Form* previous = g_activeForm;
    g_activeForm = self;
    EventArgs none;
    if (previous) {
      EventArgs a;
      previous->RaiseEvent("Form_Deactivate", a);
    }
    self->RaiseEvent("Form_Activate", none);
  }
};

namespace {

void FlushGraveyards() {
  if (g_depth != 0) return;
  g_deadControls = false;
  // Deleting a control may delete forms (a hosted user control's surface): walk a copy.
  for (Form* f : std::vector<Form*>(g_allForms)) {
    if (std::find(g_allForms.begin(), g_allForms.end(), f) == g_allForms.end()) continue;
    auto dead = std::move(f->impl().graveyard);
    f->impl().graveyard.clear();
  }
  for (QPointer<QWidget>& w : std::exchange(g_deadWindows, {}))
    if (w) w->deleteLater();
}

// Unloaded controls are deleted from the event loop once no handler runs: Qt may still be inside
// a function of the widget (or timer) whose handler unloaded them.
void ScheduleFlush() {
  if (g_deadControls && QCoreApplication::instance()) {
    QMetaObject::invokeMethod(qApp, [] { FlushGraveyards(); }, Qt::QueuedConnection);
  }
}

void FormWindow::closeEvent(QCloseEvent* e) {
  e->ignore();
  if (!form_ || Ended()) return;
  Form* f = form_;
  Guard([&] { f->impl().DoUnload(vbFormControlMenu); });
}

void FormWindow::changeEvent(QEvent* e) {
  QWidget::changeEvent(e);
  if (e->type() == QEvent::ActivationChange && isActiveWindow() && form_ && !Ended()) {
    Form* f = form_;
    Guard([&] { f->impl().Activated(); });
  }
}

void FormWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  // The client area and the controls aligned to its edges take the new size first: Resize
  // handlers read them (a tool bar's width) as the window system has them then.
  if (layout()) layout()->activate();
  if (form_ && form_->impl().client) ApplyAlignedControls(form_->impl().client);
  if (form_ && form_->impl().loaded && !Ended()) {
    Form* f = form_;
    Guard([&] {
      EventArgs a;
      f->RaiseEvent("Form_Resize", a);
    });
  }
}

void FormClient::paintEvent(QPaintEvent*) {
  Guard([&] {
    EventArgs a;
    form_->RaiseEvent("Form_Paint", a);
  });
}

void FormClient::keyPressEvent(QKeyEvent* e) {
  Guard([&] {
    if (FormKey(*form_, nullptr, e->key())) return;
    EventArgs a{Variant(KeyCodeOf(e->key())), Variant(ShiftOf(e->modifiers()))};
    form_->RaiseEvent("Form_KeyDown", a);
    if (!e->text().isEmpty() && e->text()[0].unicode() < 256) {
      EventArgs p{Variant(static_cast<int16_t>(e->text()[0].unicode()))};
      form_->RaiseEvent("Form_KeyPress", p);
    }
  });
}

// Focus moves between controls: Validate on the control losing the focus (when the one gaining
// it causes validation), then LostFocus and GotFocus.
void OnFocusChanged(QWidget* old, QWidget* now) {
  static bool reverting = false;
  if (reverting || Ended()) return;
  Control* oc = ControlOfWidget(old);
  Control* nc = ControlOfWidget(now);
  if (oc == nc) return;
  Guard([&] {
    if (oc && nc && &oc->Parent() == &nc->Parent() && nc->CausesValidation() && oc->HasHandler("Validate")) {
      EventArgs a = oc->Raise("Validate", {Variant(false)});
      if (BoolOf(a[0])) {
        reverting = true;
        if (QWidget* w = oc->native().widget) w->setFocus(Qt::OtherFocusReason);
        reverting = false;
        return;
      }
    }
    if (oc) oc->Raise("LostFocus");
    if (nc) nc->Raise("GotFocus");
  });
}

void HookFocus() {
  static bool hooked = false;
  if (hooked) return;
  hooked = true;
  QObject::connect(qApp, &QApplication::focusChanged, qApp, &OnFocusChanged);
}

std::string ButtonKey(Control* c) { return c ? Lower(c->Name()) + "#" + std::to_string(c->Index()) : std::string(); }

Control* ButtonByKey(Form& f, const std::string& key) {
  if (key.empty()) return nullptr;
  for (Control* c : f.Controls()) {
    if (ButtonKey(c) == key) return c;
  }
  return nullptr;
}

}  // namespace

// ---- forms_detail ------------------------------------------------------------------------------

namespace forms_detail {

Form* FormOfWindow(QWidget* window) {
  for (Form* f : g_allForms) {
    if (f->impl().window && f->impl().window.data() == window) return f;
  }
  return nullptr;
}

QWidget* ClientOf(Form& form, Control* container) {
  form.Load();
  if (container) {
    QWidget* w = container->native().widget;
    if (!w) ::Raise(vbErrInvalidPropertyValue, "Container has no window");
    return w;
  }
  return form.impl().client;
}

QWidget* MenuBarOf(Form& form) {
  Form::Impl& d = form.impl();
  form.Load();
  if (!d.menuBar) {
    d.menuBar = new QMenuBar(d.window);
    d.menuBar->setNativeMenuBar(false);
    static_cast<QVBoxLayout*>(d.window->layout())->setMenuBar(d.menuBar);
  }
  return d.menuBar;
}

void SetDefaultButton(Form& form, Control* button) {
  if (!button) return;
  form.impl().defaultButton = ButtonKey(button);
}

void SetCancelButton(Form& form, Control* button) {
  if (!button) return;
  form.impl().cancelButton = ButtonKey(button);
}

// Enter and Esc in a form: the focused button, else the Default button, takes Enter; the
// Cancel button takes Esc. Answers whether the key was used.
bool FormKey(Form& form, Control* focused, int key) {
  Form::Impl& d = form.impl();
  Control* target = nullptr;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (focused && dynamic_cast<CommandButton*>(focused)) {
      target = focused;
    } else {
      target = ButtonByKey(form, d.defaultButton);
    }
  } else if (key == Qt::Key_Escape) {
    target = ButtonByKey(form, d.cancelButton);
  }
  if (!target || !target->Visible() || !target->Enabled()) return false;
  target->SetProperty("Value", Variant(true));
  return true;
}

int HandlerDepth() { return g_depth; }

void ApplyTabOrder(Form& form) {
  // Called after a renumbering of every index.
  form.impl().tabDense = true;
  form.impl().ApplyTabOrder();
}

ScaleInfo FormScale(Form& form) {
  form.Load();
  return form.impl().Scale();
}

void Guard(const std::function<void()>& f) {
  // Code Qt called counts as a running handler until it returns: unloaded controls are deleted
  // after it.
  struct Depth {
    Depth() { ++g_depth; }
    ~Depth() {
      if (--g_depth == 0) ScheduleFlush();
    }
  } depth;
  try {
    f();
  } catch (const VBError& e) {
    MsgBox("Run-time error '" + std::to_string(e.Number()) + "':\r\n\r\n" + e.Description(), vbCritical);
  } catch (const std::exception& e) {
    MsgBox(std::string("Run-time error:\r\n\r\n") + e.what(), vbCritical);
  }
}

}  // namespace forms_detail

// ---- Form --------------------------------------------------------------------------------------

Form::Form(std::string name) : d_(std::make_unique<Impl>()) {
  d_->self = this;
  d_->name = std::move(name);
  g_allForms.push_back(this);
}

Form::~Form() {
  if (d_->loaded) d_->Teardown();
  d_->graveyard.clear();
  g_allForms.erase(std::remove(g_allForms.begin(), g_allForms.end(), this), g_allForms.end());
  if (g_activeForm == this) g_activeForm = nullptr;
}

const std::string& Form::Name() const { return d_->name; }
bool Form::IsLoaded() const { return d_->loaded; }

void Form::Load() {
  if (d_->loaded) return;
  if (Ended()) ::Raise(vbErrObjectNotLoaded, "Object was unloaded");
  EnsureApplication();
  HookFocus();
  if (!d_->initialized) {
    d_->initialized = true;
    EventArgs a;
    RaiseEvent("Form_Initialize", a);
  }
  d_->scaleMode = vbTwips;
  d_->keyPreview = false;
  d_->borderStyle = d_->borderlessAtLoad ? vbBSNone : vbSizable;
  d_->controlBox = true;
  d_->icon = Picture();
  d_->backColor = 0x8000000F;
  d_->foreColor = 0x80000012;
  d_->font = StdFont();
  d_->mousePointer = 0;
  d_->arrayDefs.clear();
  d_->designElements.clear();
  d_->CreateWindow();
  d_->loaded = true;
  LoadedForms().push_back(this);
  d_->window->setWindowTitle(Q(d_->name));
  ++g_depth;
  ++d_->quiet;
  try {
    Design();
  } catch (...) {
    --d_->quiet;
    --g_depth;
    // No half-built form stays: a failing design unloads it again.
    d_->Teardown();
    throw;
  }
  --d_->quiet;
  --g_depth;
  d_->ApplyFlags();
  EventArgs a;
  RaiseEvent("Form_Load", a);
}

bool Form::Unload() { return d_->DoUnload(vbFormCode); }
bool forms_detail::UnloadForm(Form& form, int16_t unloadMode) { return form.impl().DoUnload(unloadMode); }

void Form::Show(int16_t modal, Form* owner) {
  Load();
  if (!d_->loaded) ::Raise(vbErrObjectNotLoaded, "Object was unloaded");
  FormWindow* w = d_->window;
  if (modal == vbModal && w->isVisible() && d_->modalLoops.empty()) {
    ::Raise(400, "Form already displayed; can't show modally");
  }
  if (owner && owner != this) {
    owner->Load();
    if (w->parentWidget() != owner->impl().window.data()) {
      Qt::WindowFlags f = w->windowFlags();
      w->setParent(owner->impl().window, f | Qt::Window);
    }
  }
  d_->ApplyTabOrder();
  if (modal != vbModal) {
    if (forms_detail::ShowFirstWindow(w)) return;
    w->show();
    w->raise();
    w->activateWindow();
    return;
  }
  w->setWindowModality(Qt::ApplicationModal);
  w->show();
  w->raise();
  w->activateWindow();
  QEventLoop loop;
  d_->modalLoops.push_back(&loop);
  QPointer<FormWindow> guard = w;
  if (guard && guard->isVisible() && d_->loaded) loop.exec();
  d_->modalLoops.erase(std::remove(d_->modalLoops.begin(), d_->modalLoops.end(), &loop), d_->modalLoops.end());
  if (guard) guard->setWindowModality(Qt::NonModal);
}

void Form::Hide() {
  if (!d_->loaded) Load();
  if (d_->window) d_->window->hide();
  for (QEventLoop* l : d_->modalLoops) l->quit();
}

bool Form::IsShownModally() const { return !d_->modalLoops.empty(); }

std::string Form::Caption() { return S(d_->W()->windowTitle()); }
void Form::Caption(const std::string& v) { d_->W()->setWindowTitle(Q(v)); }

int32_t Form::Left() { d_->W(); return d_->Frame().x() * 15; }
int32_t Form::Top() { d_->W(); return d_->Frame().y() * 15; }
int32_t Form::Width() { d_->W(); return d_->Frame().width() * 15; }
int32_t Form::Height() { d_->W(); return d_->Frame().height() * 15; }
void Form::Left(int32_t v) { Move(v, Top()); }
void Form::Top(int32_t v) { Move(Left(), v); }
void Form::Width(int32_t v) { Move(Left(), Top(), v, -1); }
void Form::Height(int32_t v) { Move(Left(), Top(), -1, v); }
void Form::Size(int32_t width, int32_t height) { Move(Left(), Top(), width, height); }

void Form::Move(int32_t left, int32_t top, int32_t width, int32_t height) {
  d_->W();
  QRect fr = d_->Frame();
  int w = width < 0 ? fr.width() : static_cast<int>(std::lround(width / 15.0));
  int h = height < 0 ? fr.height() : static_cast<int>(std::lround(height / 15.0));
  d_->SetOuter(static_cast<int>(std::lround(left / 15.0)), static_cast<int>(std::lround(top / 15.0)), w, h);
}

float Form::ScaleWidth() {
  d_->W();
  d_->window->layout()->activate();
  return static_cast<float>(d_->client->width() * d_->Scale().unitsPerPixelX);
}
float Form::ScaleHeight() {
  d_->W();
  d_->window->layout()->activate();
  return static_cast<float>(d_->client->height() * d_->Scale().unitsPerPixelY);
}
void Form::ScaleWidth(float v) {
  d_->W();
  if (d_->scaleMode != vbUser) {
    d_->scaleLeft = d_->scaleTop = 0;
    d_->scaleH = ScaleHeight();
  }
  d_->scaleMode = vbUser;
  d_->scaleW = v;
}
void Form::ScaleHeight(float v) {
  d_->W();
  if (d_->scaleMode != vbUser) {
    d_->scaleLeft = d_->scaleTop = 0;
    d_->scaleW = ScaleWidth();
  }
  d_->scaleMode = vbUser;
  d_->scaleH = v;
}
int16_t Form::ScaleMode() { d_->W(); return d_->scaleMode; }
void Form::ScaleMode(int16_t v) {
  d_->W();
  if (v < vbUser || v > vbPixels) ::Raise(vbErrInvalidPropertyValue);
  d_->scaleMode = v;
}

bool Form::Visible() { return d_->W()->isVisible(); }
void Form::Visible(bool v) {
  if (v) {
    Show();
  } else {
    Hide();
  }
}
bool Form::Enabled() { return d_->W()->isEnabled(); }
void Form::Enabled(bool v) { d_->W()->setEnabled(v); }

int16_t Form::WindowState() {
  Qt::WindowStates s = d_->W()->windowState();
  if (s & Qt::WindowMinimized) return vbMinimized;
  if (s & Qt::WindowMaximized) return vbMaximized;
  return vbNormal;
}
void Form::WindowState(int16_t v) {
  FormWindow* w = d_->W();
  switch (v) {
    case vbMinimized: w->setWindowState(Qt::WindowMinimized); break;
    case vbMaximized: w->setWindowState(Qt::WindowMaximized); break;
    case vbNormal: w->setWindowState(Qt::WindowNoState); break;
    default: ::Raise(vbErrInvalidPropertyValue);
  }
}

void Form::BorderlessAtLoad() { d_->borderlessAtLoad = true; }

int16_t Form::BorderStyle() { d_->W(); return d_->borderStyle; }
void Form::BorderStyle(int16_t v) {
  d_->W();
  if (v < vbBSNone || v > vbSizableToolWindow) ::Raise(vbErrInvalidPropertyValue);
  d_->borderStyle = v;
  d_->ApplyFlags();
}
void Form::ControlBox(bool v) {
  d_->W();
  d_->controlBox = v;
  d_->ApplyFlags();
}

Picture Form::Icon() { d_->W(); return d_->icon; }
void Form::Icon(const Picture& p) {
  d_->W();
  d_->icon = p;
  d_->window->setWindowIcon(p.IsEmpty() ? QIcon() : QIcon(QPixmap::fromImage(ImageOf(p))));
}

OLE_COLOR Form::BackColor() { d_->W(); return d_->backColor; }
void Form::BackColor(OLE_COLOR c) {
  d_->W();
  d_->backColor = c;
  ApplyColors(d_->client, d_->foreColor, d_->backColor, true);
}
OLE_COLOR Form::ForeColor() { d_->W(); return d_->foreColor; }
void Form::ForeColor(OLE_COLOR c) {
  d_->W();
  d_->foreColor = c;
  ApplyColors(d_->client, d_->foreColor, d_->backColor, true);
}
StdFont Form::Font() { d_->W(); return d_->font; }
void Form::Font(const StdFont& f) {
  d_->W();
  d_->font = f;
  ApplyFont(d_->client, f);
}
int16_t Form::MousePointer() { d_->W(); return d_->mousePointer; }
void Form::MousePointer(int16_t v) {
  d_->W();
  d_->mousePointer = v;
  if (v == 0) {
    d_->window->unsetCursor();
  } else {
    d_->window->setCursor(CursorOf(v));
  }
}
bool Form::KeyPreview() { d_->W(); return d_->keyPreview; }
void Form::KeyPreview(bool v) { d_->W(); d_->keyPreview = v; }

void Form::ZOrder(int16_t position) {
  FormWindow* w = d_->W();
  if (position == 0) {
    w->raise();
  } else {
    w->lower();
  }
}
void Form::SetFocus() {
  FormWindow* w = d_->W();
  if (!w->isVisible()) ::Raise(vbErrInvalidProcedureCall);
  w->activateWindow();
  d_->client->setFocus();
}
void Form::Refresh() { d_->W()->repaint(); }
HWND Form::hWnd() { return HwndFromWidget(d_->W()); }

Control* Form::ActiveControl() {
  FormWindow* w = d_->W();
  QWidget* f = QApplication::focusWidget();
  if (!f || f->window() != w) return nullptr;
  return ControlOfWidget(f);
}

// ---- control table ---------------------------------------------------------------------------

void Form::Place(std::initializer_list<ControlDef> table) {
  for (const ControlDef& def : table) {
    Add(def);
    if (def.index >= 0) d_->designElements[Lower(def.name)].push_back(def.index);
  }
}

Control& Form::Add(const ControlDef& def) {
  Load();
  if (FindControl(def.name, def.index)) {
    ::Raise(360, "Object already loaded");
  }
  Control* container = nullptr;
  if (!def.container.empty()) {
    container = FindControl(def.container);
    if (!container) ::Raise(340, "Container '" + def.container + "' doesn't exist");
  }
  ControlSite site{this, def.name, def.index, container, def.type, &def};
  // A new control takes its design values without raising events.
  ++d_->quiet;
  struct Loud {
    int& q;
    ~Loud() { --q; }
  } loud{d_->quiet};
  std::unique_ptr<Control> c = CreateControl(site);
  Control& ref = *c;
  d_->controls.push_back(std::move(c));
  if (!d_->AppendToTabOrder(ref)) ref.TabIndex(static_cast<int16_t>(d_->controls.size() - 1));
  if (def.index >= 0 && !d_->arrayDefs.count(Lower(def.name))) d_->arrayDefs[Lower(def.name)] = def;
  if (def.font) ref.Font(*def.font);
  if (ref.native().widget) {
    ref.Move(def.left, def.top, def.width > 0 ? def.width : -1, def.height > 0 ? def.height : -1);
  }
  // A new windowed control is on top already; a windowless one goes beneath the windowed.
  if (ref.native().widget && forms_detail::IsWindowless(ref)) forms_detail::KeepWindowlessBeneath(ref);
  if (ref.native().rowPropsTaken) return ref;  // a hosted control took the row's properties
  if (!def.caption.empty()) {
    try {
      ref.SetProperty("Caption", Variant(def.caption));
    } catch (const VBError& e) {
      if (e.Number() != vbErrObjectDoesntSupport) throw;
      ref.SetProperty("Text", Variant(def.caption));
    }
  }
  for (const auto& [name, value] : def.props) ref.SetProperty(name, value);
  return ref;
}

std::vector<Control*> Form::Controls() {
  Load();
  std::vector<Control*> out;
  for (auto& c : d_->controls) out.push_back(c.get());
  return out;
}

Control* Form::FindControl(const std::string& name, int16_t index) {
  Load();
  return d_->Find(name, index);
}

Control& Form::LoadElement(const std::string& name, int16_t index) {
  Load();
  auto it = d_->arrayDefs.find(Lower(name));
  if (it == d_->arrayDefs.end()) ::Raise(340, "Control array '" + name + "' doesn't exist");
  if (FindControl(name, index)) ::Raise(360, "Object already loaded");
  if (index < 0) ::Raise(vbErrSubscriptOutOfRange);
  // The element with the lowest index gives the new one its place, size, font and state.
  Control* lowest = nullptr;
  for (auto& c : d_->controls) {
    if (c->Index() >= 0 && SameLower(c->Name(), name) && (!lowest || c->Index() < lowest->Index())) lowest = c.get();
  }
  ControlDef def = it->second;
  def.index = index;
  Control& c = Add(def);
  if (lowest && lowest->native().widget && c.native().widget) {
    c.Move(lowest->Left(), lowest->Top(), lowest->Width(), lowest->Height());
    c.Font(lowest->Font());
    c.Enabled(lowest->Enabled());
  }
  c.Visible(false);
  return c;
}

void Form::UnloadElement(const std::string& name, int16_t index) {
  Load();
  auto& design = d_->designElements[Lower(name)];
  if (std::find(design.begin(), design.end(), index) != design.end()) {
    ::Raise(362, "Can't unload controls created at design time");
  }
  for (auto it = d_->controls.begin(); it != d_->controls.end(); ++it) {
    if ((*it)->Index() == index && SameLower((*it)->Name(), name)) {
      if (QWidget* w = (*it)->native().widget) w->hide();
      (*it)->native().unloaded = true;
      // Only the last of the order leaves it without a gap (the full renumbering finds the new
      // last focusable control when that one goes).
      if ((*it)->TabIndex() + 1 != static_cast<int>(d_->controls.size()) ||
          (d_->tabLast && d_->tabLast == (*it)->native().widget))
        d_->tabDense = false;
      d_->graveyard.push_back(std::move(*it));
      g_deadControls = true;
      d_->controls.erase(it);
      if (g_depth == 0) {
        d_->graveyard.clear();
      } else {
        ScheduleFlush();
      }
      return;
    }
  }
  ::Raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
}

std::vector<int16_t> Form::ElementIndexes(const std::string& name) {
  std::vector<int16_t> out;
  for (auto& c : d_->controls) {
    if (c->Index() >= 0 && SameLower(c->Name(), name)) out.push_back(c->Index());
  }
  std::sort(out.begin(), out.end());
  return out;
}

namespace forms_detail {
bool& AmbientUserModeOf(Form& form) { return form.impl().ambientUserMode; }

LiftQuiet::LiftQuiet(Form& form) : form_(form), saved_(form.impl().quiet) { form.impl().quiet = 0; }
LiftQuiet::~LiftQuiet() { form_.impl().quiet = saved_; }
}  // namespace forms_detail

// ---- handlers ----------------------------------------------------------------------------------

void Form::SetHandler(const std::string& handlerName, EventHandler handler) {
  d_->handlers[Lower(handlerName)] = std::move(handler);
}

bool Form::HasHandler(const std::string& handlerName) const {
  return d_->handlers.count(Lower(handlerName)) != 0;
}

bool Form::RaiseEvent(const std::string& handlerName, EventArgs& args) {
  if (Ended() || d_->quiet > 0) return false;
  auto it = d_->handlers.find(Lower(handlerName));
  if (it == d_->handlers.end()) return false;
  EventHandler h = it->second;  // the handler may replace itself
  ++g_depth;
  try {
    h(args);
  } catch (...) {
    if (--g_depth == 0) ScheduleFlush();
    throw;
  }
  if (--g_depth == 0) ScheduleFlush();
  return true;
}

void Form::Terminate() {
  if (d_->loaded) d_->DoUnload(vbFormCode);
  if (d_->loaded) d_->Teardown();
  if (d_->initialized) {
    EventArgs a;
    RaiseEvent("Form_Terminate", a);
  }
}

void FormDeleter::operator()(Form* f) const {
  if (!f) return;
  f->Terminate();
  delete f;
}

std::vector<Form*> Forms() { return LoadedForms(); }

Form* ScreenObject::ActiveForm() const {
  if (!QCoreApplication::instance()) return nullptr;
  QWidget* w = QApplication::activeWindow();
  Form* f = w ? FormOfWindow(w) : nullptr;
  return f ? f : g_activeForm;
}

namespace {
int g_messageLoops = 0;
}  // namespace

bool forms_detail::MessageLoopRuns() { return g_messageLoops > 0; }

void RunMessageLoop() {
  EnsureApplication();
  InstallEndRequests();
  ++g_messageLoops;
  while (!Ended() && LoadedFormCount() > 0) {
    DrainThreadMessages();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  --g_messageLoops;
}
