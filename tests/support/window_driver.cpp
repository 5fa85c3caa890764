// Drives real windows in process: mouse, drag, file drops, pop-up menus and modal forms.
#include "window_driver.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "forms/app.h"
#include "forms/control.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/hwnd_qt.h"

namespace driver {
namespace {

QWidget* WidgetOf(Control& c) {
  QWidget* w = WidgetFromHwnd(c.hWnd());
  if (!w) ADD_FAILURE() << "control " << c.Name() << " has no window";
  return w;
}

Qt::KeyboardModifiers Modifiers(int16_t shift) {
  Qt::KeyboardModifiers m;
  if (shift & 1) m |= Qt::ShiftModifier;
  if (shift & 2) m |= Qt::ControlModifier;
  if (shift & 4) m |= Qt::AltModifier;
  return m;
}

Qt::MouseButton ButtonOf(int16_t button) {
  return button == 2 ? Qt::RightButton : button == 4 ? Qt::MiddleButton : Qt::LeftButton;
}

// The widget a real pointer at `local` (in w's pixels) would hit: the deepest child there.
QWidget* HitWidget(QWidget* w, QPoint& local) {
  QWidget* hit = w->childAt(local);
  if (!hit) return w;
  local = hit->mapFrom(w, local);
  return hit;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods) {
  QPointF global = target->mapToGlobal(QPointF(local));
  QCursor::setPos(global.toPoint());
  QMouseEvent e(type, QPointF(local), global, button, buttons, mods);
  QApplication::sendEvent(target, &e);
}

void ClickWidget(QWidget* target, QPoint local, Qt::KeyboardModifiers mods, bool twice) {
  QPointer<QWidget> guard = target;
  SendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton, mods);
  if (guard) SendMouse(target, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton, mods);
  if (!twice) return;
  if (guard) SendMouse(target, QEvent::MouseButtonDblClick, local, Qt::LeftButton, Qt::LeftButton, mods);
  if (guard) SendMouse(target, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton, mods);
}

QAbstractItemView* ItemViewOf(QWidget* w) {
  if (auto* v = qobject_cast<QAbstractItemView*>(w)) return v;
  return w->findChild<QAbstractItemView*>();
}

void ClickItem(Control& list, int16_t index, int16_t shift, bool twice) {
  QWidget* w = WidgetOf(list);
  if (!w) return;
  QAbstractItemView* view = ItemViewOf(w);
  if (!view) {
    ADD_FAILURE() << list.Name() << " is no list";
    return;
  }
  QModelIndex item = view->model()->index(index, 0, view->rootIndex());
  if (!item.isValid()) {
    ADD_FAILURE() << list.Name() << " has no item " << index;
    return;
  }
  view->scrollTo(item);
  ClickWidget(view->viewport(), view->visualRect(item).center(), Modifiers(shift), twice);
}

std::string WithoutAccessKeys(const QString& text) {
  std::string out;
  std::string in = text.toStdString();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '&' && i + 1 < in.size() && in[i + 1] != '&') continue;
    if (in[i] == '&') ++i;
    out += in[i];
  }
  if (auto tab = out.find('\t'); tab != std::string::npos) out.resize(tab);  // shortcut text
  return out;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// Chooses items of the next pop-up menus, one step of the path per menu shown.
class PopupChooser : public QObject {
 public:
  explicit PopupChooser(std::vector<std::string> path) : path_(std::move(path)) { qApp->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    auto* menu = qobject_cast<QMenu*>(o);
    if (e->type() != QEvent::Show || !menu || !menu->isWindow()) return false;
    QPointer<QMenu> m = menu;
    QTimer::singleShot(0, this, [this, m] { Choose(m); });
    return false;
  }

 private:
  void Choose(QMenu* menu) {
    if (!menu || path_.empty()) return;
    std::string want = WithoutAccessKeys(QString::fromStdString(path_.front()));
    path_.erase(path_.begin());
    QAction* found = nullptr;
    for (QAction* a : menu->actions()) {
      if (a->isVisible() && !a->isSeparator() && WithoutAccessKeys(a->text()) == want) found = a;
      if (found) break;
    }
    if (!found) {
      ADD_FAILURE() << "the pop-up menu has no item \"" << want << "\"";
      menu->close();
      deleteLater();
      return;
    }
    bool last = path_.empty();
    if (last) {
      qApp->removeEventFilter(this);
      deleteLater();
    }
    menu->setActiveAction(found);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(menu, &press);
  }
  std::vector<std::string> path_;
};

// A hosted control's own control, by the name its design gives it.
QWidget* InnerWidget(Control& host, const std::string& inner) {
  QWidget* w = WidgetOf(host);
  if (!w) return nullptr;
  QWidget* found = w->findChild<QWidget*>(QString::fromStdString(inner));
  if (!found) ADD_FAILURE() << host.Name() << " holds no control " << inner;
  return found;
}

}  // namespace

void ClickInner(Control& host, const std::string& inner) {
  QWidget* w = InnerWidget(host, inner);
  if (!w) return;
  QPoint local(w->width() / 2, w->height() / 2);
  QWidget* target = HitWidget(w, local);
  ClickWidget(target, local, Qt::NoModifier, false);
}

void ChooseInnerComboItem(Control& host, const std::string& inner, const std::string& text) {
  QWidget* w = InnerWidget(host, inner);
  if (!w) return;
  auto* box = qobject_cast<QComboBox*>(w);
  if (!box) box = w->findChild<QComboBox*>();
  if (!box) {
    ADD_FAILURE() << inner << " is no combo box";
    return;
  }
  const int row = box->findText(QString::fromStdString(text), Qt::MatchExactly);
  if (row < 0) {
    ADD_FAILURE() << inner << " has no entry \"" << text << "\"";
    return;
  }
  box->showPopup();
  QAbstractItemView* view = box->view();
  const QModelIndex item = view->model()->index(row, box->modelColumn(), view->rootIndex());
  view->scrollTo(item);
  ClickWidget(view->viewport(), view->visualRect(item).center(), Qt::NoModifier, false);
  if (view->isVisible()) {
    ADD_FAILURE() << "the list of " << inner << " stayed open";
    box->hidePopup();
  }
}

void Click(Control& control, int16_t shift) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  ClickAt(control, w->width() / 2, w->height() / 2, shift);
}

void ClickAt(Control& control, int x, int y, int16_t shift) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  QPoint local(x, y);
  QWidget* target = HitWidget(w, local);
  ClickWidget(target, local, Modifiers(shift), false);
}

void DblClick(Control& control) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  QPoint local(w->width() / 2, w->height() / 2);
  QWidget* target = HitWidget(w, local);
  ClickWidget(target, local, Qt::NoModifier, true);
}

void ClickListItem(Control& list, int16_t index, int16_t shift) { ClickItem(list, index, shift, false); }
void DblClickListItem(Control& list, int16_t index) { ClickItem(list, index, 0, true); }

void Press(Control& control, int x, int y, int16_t button) {
  QWidget* w = WidgetOf(control);
  if (!w) return;
  QPoint local(x, y);
  QWidget* target = HitWidget(w, local);
  SendMouse(target, QEvent::MouseButtonPress, local, ButtonOf(button), ButtonOf(button), Qt::NoModifier);
}

void DragOnto(Control& from, Control& to) {
  QWidget* src = WidgetOf(from);
  QWidget* dst = WidgetOf(to);
  if (!src || !dst) return;
  QPoint local(src->width() / 2, src->height() / 2);
  QPointer<QWidget> target = HitWidget(src, local);
  QPoint start = target->mapToGlobal(local);
  QPoint end = dst->mapToGlobal(QPoint(dst->width() / 2, dst->height() / 2));
  SendMouse(target, QEvent::MouseButtonPress, local, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  // First past the drag distance, then on towards the target in a few steps.
  const int distance = QApplication::startDragDistance() + 2;
  std::vector<QPoint> steps{start + QPoint(distance, 0), start + QPoint(distance, distance)};
  for (int i = 1; i <= 4; ++i) steps.push_back(start + (end - start) * i / 4);
  for (QPoint g : steps) {
    if (!target) return;
    SendMouse(target, QEvent::MouseMove, target->mapFromGlobal(g), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  }
  if (target) SendMouse(target, QEvent::MouseButtonRelease, target->mapFromGlobal(end), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
}

bool DropFiles(Control& control, const std::vector<std::string>& paths) {
  QWidget* w = WidgetOf(control);
  if (!w) return false;
  QPoint local(w->width() / 2, w->height() / 2);
  QWidget* target = HitWidget(w, local);
  while (target && !target->acceptDrops()) {
    local = target->mapToParent(local);
    target = target->isWindow() ? nullptr : target->parentWidget();
  }
  if (!target) return false;
  QMimeData mime;
  QList<QUrl> urls;
  for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  mime.setUrls(urls);
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QPointer<QWidget> guard = target;
  QDragEnterEvent enter(local, offered, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted() || !guard) return false;
  QDragMoveEvent move(local, offered, &mime, Qt::LeftButton, Qt::NoModifier);
  move.setDropAction(enter.dropAction());
  QApplication::sendEvent(target, &move);
  if (!move.isAccepted() || !guard) return false;
  QDropEvent drop(QPointF(local), offered, &mime, Qt::NoButton, Qt::NoModifier);
  drop.setDropAction(move.dropAction());
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

void ChooseNextPopupItem(const std::string& caption) {
  std::vector<std::string> path;
  size_t start = 0;
  for (size_t bar; (bar = caption.find('|', start)) != std::string::npos; start = bar + 1) {
    path.push_back(caption.substr(start, bar - start));
  }
  path.push_back(caption.substr(start));
  new PopupChooser(std::move(path));
}

struct ModalWatch::Impl : QObject {
  std::string name;
  std::function<void(Form&)> action;
  int count = 0;

  Impl(std::string n, std::function<void(Form&)> a) : name(Lower(std::move(n))), action(std::move(a)) {
    qApp->installEventFilter(this);
  }
  ~Impl() override { qApp->removeEventFilter(this); }

  bool eventFilter(QObject* o, QEvent* e) override {
    auto* w = qobject_cast<QWidget*>(o);
    if (e->type() != QEvent::Show || !w || !w->isWindow()) return false;
    QPointer<QWidget> shown = w;
    QTimer::singleShot(0, this, [this, shown] {
      if (!shown) return;
      for (Form* f : Forms()) {
        if (Lower(f->Name()) != name || !f->IsShownModally()) continue;
        if (WidgetFromHwnd(f->hWnd()) != shown.data()) continue;
        ++count;
        action(*f);
        return;
      }
    });
    return false;
  }
};

ModalWatch::ModalWatch(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}
ModalWatch::~ModalWatch() = default;
ModalWatch::ModalWatch(ModalWatch&&) noexcept = default;
ModalWatch& ModalWatch::operator=(ModalWatch&&) noexcept = default;
int ModalWatch::Count() const { return d_ ? d_->count : 0; }

ModalWatch WhenShownModally(const std::string& formName, std::function<void(Form&)> action) {
  return ModalWatch(std::make_unique<ModalWatch::Impl>(formName, std::move(action)));
}

bool RunUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace driver
