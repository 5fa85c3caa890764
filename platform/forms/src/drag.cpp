// Drag and drop of controls inside the program: DragOver and DragDrop on the control or form
// under the pointer.
#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPointer>
#include <cmath>

#include "core/error.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

enum DragState : int16_t { vbEnter = 0, vbLeave = 1, vbOver = 2 };

// What the pointer is over: a control, or a form's background.
struct Target {
  Control* control = nullptr;
  Form* form = nullptr;
  QWidget* widget = nullptr;  // the control's window, or the form's inner area
  bool operator==(const Target& o) const { return control == o.control && form == o.form; }
  explicit operator bool() const { return control || form; }
};

Target TargetAt(QPoint global) {
  for (Form* f : LoadedForms()) {
    QWidget* window = WidgetFromHwnd(f->hWnd());
    if (!window || !window->isWindow() || !window->isVisible() || !window->frameGeometry().contains(global)) continue;
    QWidget* hit = window->childAt(window->mapFromGlobal(global));
    Target t;
    // The form's own control under the pointer (a hosted control's inner controls are its own).
    // A disabled control takes no drop: the pointer is over its enabled container.
    Control* own = nullptr;
    for (QWidget* w = hit; w && w != window && !own; w = w->parentWidget())
      if (Control* c = ControlOfWidget(w); c && &c->Parent() == f && w->isEnabled()) own = c;
    if (Control* c = own) {
      t.control = c;
      t.widget = c->native().widget;
    } else {
      t.form = f;
      t.widget = window;
      if (hit) {
        // The form's inner area holds the controls.
        for (QWidget* w = hit; w && w != window; w = w->parentWidget()) t.widget = w;
      }
    }
    return t;
  }
  return {};
}

class DragTracker : public QObject {
 public:
  explicit DragTracker(Control* source) : source_(source) { qApp->installEventFilter(this); }
  ~DragTracker() override { qApp->removeEventFilter(this); }
  Control* Source() const { return source_; }

  // Raises DragOver with the state on the target under the pointer (and Leave on the last).
  void Move(QPoint global) {
    Target t = TargetAt(global);
    if (last_ && !(t == last_)) Raise(last_, "DragOver", global, vbLeave);
    if (t) Raise(t, "DragOver", global, t == last_ ? vbOver : vbEnter);
    last_ = t;
  }
  void Drop(QPoint global) {
    Target t = TargetAt(global);
    if (last_ && !(t == last_)) Raise(last_, "DragOver", global, vbLeave);
    last_ = {};
    if (t) Raise(t, "DragDrop", global, -1);
  }

 private:
  void Raise(const Target& t, const char* event, QPoint global, int16_t state) {
    QPointF p = t.widget ? QPointF(t.widget->mapFromGlobal(global)) : QPointF();
    EventArgs args{Variant(source_->DispatchObject()), Variant(static_cast<float>(p.x() * 15)),
                   Variant(static_cast<float>(p.y() * 15))};
    if (state >= 0) args.emplace_back(state);
    if (t.control) {
      t.control->Raise(event, std::move(args));
    } else {
      t.form->RaiseEvent(std::string("Form_") + event, args);
    }
  }

  bool eventFilter(QObject*, QEvent* e) override;

  Control* source_;
  Target last_;
};

std::unique_ptr<DragTracker>& Current() {
  static std::unique_ptr<DragTracker> t;
  return t;
}

Control* g_dropSource = nullptr;  // the dragged control while its DragDrop runs

void EndDrag(bool drop, QPoint global) {
  // The tracker goes first: handlers of the drop may start a new drag.
  std::unique_ptr<DragTracker> t = std::move(Current());
  if (!t || !drop) return;
  g_dropSource = t->Source();
  Guard([&] { t->Drop(global); });
  g_dropSource = nullptr;
}

bool DragTracker::eventFilter(QObject*, QEvent* e) {
  switch (e->type()) {
    case QEvent::MouseMove: {
      QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
      Guard([&] { Move(g); });
      return true;
    }
    case QEvent::MouseButtonRelease: {
      QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
      EndDrag(true, g);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

namespace forms_detail {

void BeginDrag(Control& source) {
  Current() = std::make_unique<DragTracker>(&source);
}

void ForgetDrag(Control& source) {
  if (Current() && Current()->Source() == &source) Current().reset();
  if (g_dropSource == &source) g_dropSource = nullptr;
}

}  // namespace forms_detail

Control* DragSource() { return Current() ? Current()->Source() : g_dropSource; }

int16_t Control::DragMode() const { return native().dragMode; }

void Control::DragMode(int16_t v) {
  if (v != 0 && v != 1) ::Raise(vbErrInvalidPropertyValue);
  native().dragMode = v;
}

void Control::Drag(int16_t action) {
  switch (action) {
    case 0:
      EndDrag(false, QCursor::pos());
      break;
    case 1:
      BeginDrag(*this);
      break;
    case 2:
      if (Current() && Current()->Source() == this) EndDrag(true, QCursor::pos());
      break;
    default:
      ::Raise(vbErrInvalidProcedureCall);
  }
}
