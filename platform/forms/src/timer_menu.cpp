// The Timer control and menus.
#include <QAction>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include "core/error.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- Timer -------------------------------------------------------------------------------------

struct TimerControl::Impl {
  QTimer timer;
  int32_t interval = 0;
  bool enabled = true;
  bool ticking = false;  // the Timer handler is running: no nested tick of the same timer
  void Apply() {
    if (enabled && interval > 0) {
      timer.start(interval);  // (re)starts the count
    } else {
      timer.stop();
    }
  }
};

TimerControl::TimerControl(const ControlSite& site) : Control(site), d_(std::make_unique<Impl>()) {
  QObject::connect(&d_->timer, &QTimer::timeout, [this] {
    if (native().unloaded) d_->timer.stop();
    if (Ended() || d_->ticking || native().unloaded) return;
    d_->ticking = true;
    Guard([&] { Raise("Timer"); });
    d_->ticking = false;
  });
}
TimerControl::~TimerControl() { d_->timer.stop(); }
int32_t TimerControl::Interval() const { return d_->interval; }
void TimerControl::Interval(int32_t ms) {
  if (ms < 0 || ms > 65535) ::Raise(vbErrInvalidPropertyValue);
  d_->interval = ms;
  d_->Apply();
}
bool TimerControl::Enabled() const { return d_->enabled; }
void TimerControl::Enabled(bool v) {
  d_->enabled = v;
  d_->Apply();
}
void TimerControl::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Interval")) return Interval(LongOf(v));
  if (Is(n, "Enabled")) return Enabled(BoolOf(v));
  if (Is(n, "Tag")) return Control::SetProperty(n, v);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}
Variant TimerControl::GetProperty(const std::string& n) const {
  if (Is(n, "Interval")) return Variant(Interval());
  if (Is(n, "Enabled")) return Variant(Enabled());
  if (Is(n, "Name") || Is(n, "Index") || Is(n, "Tag")) return Control::GetProperty(n);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}

// ---- Menu --------------------------------------------------------------------------------------

struct Menu::Impl {
  Menu* self = nullptr;
  QPointer<QAction> action;
  QPointer<QMenu> submenu;
  std::string caption;
  std::string shortcut;
  bool visible = true;
  bool enabled = true;

  QMenu* Submenu() {
    if (!submenu) {
      QWidget* owner = WidgetOf(*self) ? WidgetOf(*self) : MenuBarOf(self->Parent())->window();
      submenu = new QMenu(owner);
      submenu->setTitle(Q(caption));
      action->setMenu(submenu.data());
      QObject::connect(submenu.data(), &QMenu::aboutToShow, submenu.data(), [s = self] {
        // Opening a menu is its Click.
        Guard([&] { s->Raise("Click"); });
      });
    }
    return submenu;
  }
};

namespace {
// "^S" (Ctrl), "+" (Shift), "%" (Alt), "{F5}" as well as "Ctrl+S".
QKeySequence ShortcutOf(const std::string& text) {
  if (text.empty()) return {};
  std::string t = text;
  std::string mods;
  size_t i = 0;
  while (i < t.size() && (t[i] == '^' || t[i] == '+' || t[i] == '%') && i + 1 < t.size()) {
    mods += t[i] == '^' ? "Ctrl+" : t[i] == '+' ? "Shift+" : "Alt+";
    ++i;
  }
  std::string key = t.substr(i);
  if (key.size() > 2 && key.front() == '{' && key.back() == '}') key = key.substr(1, key.size() - 2);
  if (key == "DEL") key = "Del";
  if (key == "INSERT") key = "Ins";
  if (key == "BKSP") key = "Backspace";
  return QKeySequence::fromString(Q(mods + key));
}
}  // namespace

Menu::Menu(const ControlSite& site) : Control(site), d_(std::make_unique<Impl>()) {
  d_->self = this;
  QWidget* bar = MenuBarOf(Parent());
  d_->action = new QAction(bar->window());
  d_->action->setObjectName(Q(Name()));
  QObject::connect(d_->action.data(), &QAction::triggered, d_->action.data(), [this] {
    if (d_->submenu) return;  // a menu that opens a submenu has its Click on opening
    Guard([&] { Raise("Click"); });
  });
  if (auto* parent = dynamic_cast<Menu*>(Container())) {
    parent->d_->Submenu()->addAction(d_->action.data());
  } else if (Container()) {
    ::Raise(vbErrInvalidPropertyValue, "A menu belongs to the form or to another menu");
  } else {
    static_cast<QMenuBar*>(bar)->addAction(d_->action.data());
  }
}
Menu::~Menu() {
  if (d_->action) {
    d_->action->disconnect();
    d_->action->deleteLater();
  }
  if (d_->submenu) {
    d_->submenu->disconnect();
    d_->submenu->deleteLater();
  }
}
std::string Menu::Caption() const { return d_->caption; }
void Menu::Caption(const std::string& v) {
  d_->caption = v;
  d_->action->setSeparator(v == "-");
  // A separator's text would be drawn beside its line (as a section title).
  d_->action->setText(v == "-" ? QString() : Q(v));
  if (d_->submenu) d_->submenu->setTitle(Q(v));
}
bool Menu::Checked() const { return d_->action->isChecked(); }
void Menu::Checked(bool v) {
  d_->action->setCheckable(v || d_->action->isCheckable());
  d_->action->setChecked(v);
}
bool Menu::Visible() const { return d_->visible; }
void Menu::Visible(bool v) {
  d_->visible = v;
  d_->action->setVisible(v);
}
bool Menu::Enabled() const { return d_->enabled; }
void Menu::Enabled(bool v) {
  d_->enabled = v;
  d_->action->setEnabled(v);
}
std::string Menu::Shortcut() const { return d_->shortcut; }
void Menu::Shortcut(const std::string& v) {
  QKeySequence k = ShortcutOf(v);
  if (!v.empty() && (k.count() != 1 || k[0].key() == Qt::Key_unknown)) ::Raise(vbErrInvalidPropertyValue);
  d_->shortcut = v;
  d_->action->setShortcut(k);
  d_->action->setShortcutContext(Qt::WindowShortcut);
}
void Menu::Trigger() {
  if (!d_->enabled) return;
  if (d_->submenu) {
    Raise("Click");
  } else {
    d_->action->trigger();
  }
}
void Menu::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "Checked")) return Checked(BoolOf(v));
  if (Is(n, "Visible")) return Visible(BoolOf(v));
  if (Is(n, "Enabled")) return Enabled(BoolOf(v));
  if (Is(n, "Shortcut")) return Shortcut(StringOf(v));
  if (Is(n, "Tag")) return Control::SetProperty(n, v);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}
Variant Menu::GetProperty(const std::string& n) const {
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "Checked")) return Variant(Checked());
  if (Is(n, "Visible")) return Variant(Visible());
  if (Is(n, "Enabled")) return Variant(Enabled());
  if (Is(n, "Shortcut")) return Variant(Shortcut());
  if (Is(n, "Name") || Is(n, "Index") || Is(n, "Tag")) return Control::GetProperty(n);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}

void Form::PopupMenu(Menu& menu) {
  Load();
  QMenu* sub = menu.menuImpl().submenu;
  if (!sub || sub->actions().isEmpty()) ::Raise(vbErrInvalidProcedureCall, "The menu has no items");
  sub->exec(QCursor::pos());
}

namespace {
const bool kRegistered = RegisterControlClass<TimerControl>("Timer") && RegisterControlClass<Menu>("Menu");
}
