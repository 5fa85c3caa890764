// The handle table and the window-message calls.
#include "forms/hwnd.h"

#include <unistd.h>

#include <QCursor>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QVariant>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "forms/desktop_windows.h"
#include "forms/qt/hwnd_qt.h"

namespace {

// Messages waiting for one thread's next DoEvents or event-loop turn.
struct Pending {
  HWND hwnd = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  bool posted = false;  // PostMessage: nobody waits
  std::thread::id sender = std::this_thread::get_id();
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  LRESULT result = 0;
  // The first answer counts (a sender let go early keeps the answer it was given).
  void Complete(LRESULT r) {
    std::lock_guard lock(m);
    if (done) return;
    result = r;
    done = true;
    cv.notify_all();
  }
};

// The cross-thread messages the calling thread is answering, innermost last.
thread_local std::vector<Pending*> tAnswering;

struct Pump {
  QThread* thread = nullptr;
  QPointer<QObject> context;  // an object living on that thread, for waking it up
  std::deque<std::shared_ptr<Pending>> queue;
};

struct Entry {
  HWND hwnd = 0;
  bool messageWindow = false;
  QPointer<QWidget> widget;  // widget windows only; touched on the window thread
  WNDPROC proc;              // message windows
  std::string caption;       // message windows
  std::shared_ptr<Pump> pump;
  uint64_t order = 0;
};

struct Table {
  std::recursive_mutex m;
  std::map<HWND, std::shared_ptr<Entry>> entries;
  std::map<QThread*, std::shared_ptr<Pump>> pumps;
  HWND next = 0x00010010;
  uint64_t order = 0;
  std::atomic<bool> shutdown{false};
};

Table& T() {
  static Table* t = new Table;  // lives until the process ends: senders on other threads use it
  return *t;
}

const char* const kHwndProperty = "_forms_hwnd";

std::shared_ptr<Pump> PumpOfCurrentThread() {
  Table& t = T();
  std::lock_guard lock(t.m);
  QThread* th = QThread::currentThread();
  auto& p = t.pumps[th];
  if (!p) {
    p = std::make_shared<Pump>();
    p->thread = th;
    if (QCoreApplication::instance() && QCoreApplication::instance()->thread() == th) {
      p->context = QCoreApplication::instance();
    } else {
      // A plain object owned by the thread; deleted when the thread finishes.
      auto* ctx = new QObject;
      p->context = ctx;
      QObject::connect(th, &QThread::finished, ctx, &QObject::deleteLater);
    }
  }
  return p;
}

std::shared_ptr<Entry> Find(HWND h) {
  Table& t = T();
  std::lock_guard lock(t.m);
  auto it = t.entries.find(h);
  return it == t.entries.end() ? nullptr : it->second;
}

// Releases the senders of every message still queued for a handle.
void FailQueuedFor(HWND h) {
  Table& t = T();
  std::lock_guard lock(t.m);
  for (auto& [th, pump] : t.pumps) {
    for (auto it = pump->queue.begin(); it != pump->queue.end();) {
      if ((*it)->hwnd == h) {
        (*it)->Complete(0);
        it = pump->queue.erase(it);
      } else {
        ++it;
      }
    }
  }
}

std::string WidgetText(QWidget* w) {
  if (w->isWindow()) return w->windowTitle().toStdString();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
  QVariant v = w->property("text");
  if (v.isValid()) return v.toString().toStdString();
  return w->windowTitle().toStdString();
}

void SetWidgetText(QWidget* w, const std::string& text) {
  QString q = QString::fromStdString(text);
  if (w->isWindow()) {
    w->setWindowTitle(q);
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(q);
  } else if (w->property("text").isValid()) {
    w->setProperty("text", q);
  } else {
    w->setWindowTitle(q);
  }
}

// Moves a window with the mouse until the button is released: the caption drag for windows
// without a title bar when the window system cannot move the window itself.
class CaptionDrag : public QObject {
 public:
  CaptionDrag(QWidget* window, QPoint start) : window_(window), start_(start), origin_(window->pos()) {
    qApp->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    if (!window_) {
      deleteLater();
      return false;
    }
    if (e->type() == QEvent::MouseMove) {
      auto* me = static_cast<QMouseEvent*>(e);
      if (me->buttons() & Qt::LeftButton) {
        QPoint d = me->globalPosition().toPoint() - start_;
        window_->move(origin_ + d);
        return true;
      }
    }
    if (e->type() == QEvent::MouseButtonRelease) {
      qApp->removeEventFilter(this);
      deleteLater();
    }
    return false;
  }

 private:
  QPointer<QWidget> window_;
  QPoint start_;
  QPoint origin_;
};

void StartCaptionDrag(QWidget* w) {
  QWidget* top = w->window();
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  if (top->windowHandle() && top->windowHandle()->startSystemMove()) return;
  new CaptionDrag(top, QCursor::pos());
}

// WM_GETTEXT's answer: the text into the caller's buffer of wParam bytes (cut to fit, with its
// terminating NUL), and the number of bytes copied.
LRESULT CopyText(const std::string& s, WPARAM size, LPARAM buffer) {
  auto* buf = reinterpret_cast<char*>(buffer);
  if (!buf || size == 0) return 0;
  size_t n = std::min<size_t>(s.size(), size - 1);
  std::memcpy(buf, s.data(), n);
  buf[n] = '\0';
  return static_cast<LRESULT>(n);
}

LRESULT WidgetProc(QWidget* w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_GETTEXT:
      return CopyText(WidgetText(w), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(WidgetText(w).size());
    case WM_SETTEXT:
      SetWidgetText(w, lParam ? reinterpret_cast<const char*>(lParam) : "");
      return 1;
    case WM_CLOSE:
      w->window()->close();
      return 0;
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) StartCaptionDrag(w);
      return 0;
    default:
      return 0;
  }
}

// Delivers one message on the window's own thread.
LRESULT Deliver(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto e = Find(h);
  if (!e) return 0;
  if (e->messageWindow) {
    WNDPROC proc = e->proc;
    return proc ? proc(h, msg, wParam, lParam) : 0;
  }
  if (!e->widget) return 0;
  return WidgetProc(e->widget, msg, wParam, lParam);
}

void Wake(const std::shared_ptr<Pump>& pump) {
  QObject* ctx = pump->context;
  if (ctx) QMetaObject::invokeMethod(ctx, [] { forms_detail::DrainThreadMessages(); }, Qt::QueuedConnection);
}

bool OnOwnThread(const Entry& e) { return e.pump && e.pump->thread == QThread::currentThread(); }

HWND AddEntry(std::shared_ptr<Entry> e) {
  Table& t = T();
  std::lock_guard lock(t.m);
  e->hwnd = t.next;
  t.next += 4;
  e->order = ++t.order;
  t.entries[e->hwnd] = e;
  return e->hwnd;
}

void RemoveEntry(HWND h) {
  {
    Table& t = T();
    std::lock_guard lock(t.m);
    t.entries.erase(h);
  }
  FailQueuedFor(h);
}

}  // namespace

namespace forms_detail {

void DrainThreadMessages() {
  std::shared_ptr<Pump> pump = PumpOfCurrentThread();
  for (;;) {
    std::shared_ptr<Pending> p;
    {
      std::lock_guard lock(T().m);
      if (pump->queue.empty()) return;
      p = pump->queue.front();
      pump->queue.pop_front();
    }
    tAnswering.push_back(p.get());
    struct Answered {
      ~Answered() { tAnswering.pop_back(); }
    } answered;
    LRESULT r = Deliver(p->hwnd, p->msg, p->wParam, p->lParam);
    p->Complete(r);
  }
}

bool ReleaseSendersFrom(std::thread::id sender) {
  bool released = false;
  for (Pending* p : tAnswering)
    if (!p->posted && p->sender == sender) {
      p->Complete(0);
      released = true;
    }
  return released;
}

void ReleaseHandles(QWidget* widget) {
  if (!widget) return;
  QList<QWidget*> all = widget->findChildren<QWidget*>();
  all.prepend(widget);
  for (QWidget* w : all) {
    QVariant v = w->property(kHwndProperty);
    if (!v.isValid()) continue;
    RemoveEntry(v.toUInt());
    w->setProperty(kHwndProperty, QVariant());
  }
}

void ShutdownMessages() {
  Table& t = T();
  t.shutdown = true;
  std::lock_guard lock(t.m);
  for (auto& [th, pump] : t.pumps) {
    for (auto& p : pump->queue) p->Complete(0);
    pump->queue.clear();
  }
}

}  // namespace forms_detail

void PumpSentMessages() { forms_detail::DrainThreadMessages(); }

QWidget* WidgetFromHwnd(HWND hwnd) {
  auto e = Find(hwnd);
  return e && !e->messageWindow ? e->widget.data() : nullptr;
}

HWND HwndFromWidget(QWidget* widget) {
  if (!widget) return 0;
  QVariant v = widget->property(kHwndProperty);
  if (v.isValid()) return v.toUInt();
  auto e = std::make_shared<Entry>();
  e->widget = widget;
  e->pump = PumpOfCurrentThread();
  HWND h = AddEntry(e);
  widget->setProperty(kHwndProperty, QVariant::fromValue<uint>(h));
  QObject::connect(widget, &QObject::destroyed, [h] { RemoveEntry(h); });
  return h;
}

HWND CreateMessageWindow(WNDPROC proc, const std::string& caption) {
  if (!QCoreApplication::instance()) forms_detail::EnsureApplication();
  auto e = std::make_shared<Entry>();
  e->messageWindow = true;
  e->proc = std::move(proc);
  e->caption = caption;
  e->pump = PumpOfCurrentThread();
  return AddEntry(e);
}

bool DestroyWindow(HWND hwnd) {
  auto e = Find(hwnd);
  if (!e || !e->messageWindow || !OnOwnThread(*e)) return false;
  if (e->proc) e->proc(hwnd, WM_DESTROY, 0, 0);
  RemoveEntry(hwnd);
  return true;
}

bool IsWindow(HWND hwnd) {
  if (forms_detail::IsForeignHandle(hwnd)) return forms_detail::ForeignIsWindow(hwnd);
  auto e = Find(hwnd);
  if (!e) return false;
  return e->messageWindow || !e->widget.isNull();
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto e = Find(hwnd);
  if (!e) return 0;
  if (OnOwnThread(*e)) return Deliver(hwnd, msg, wParam, lParam);
  Table& t = T();
  if (t.shutdown) return 0;
  auto p = std::make_shared<Pending>();
  p->hwnd = hwnd;
  p->msg = msg;
  p->wParam = wParam;
  p->lParam = lParam;
  {
    std::lock_guard lock(t.m);
    if (!t.entries.count(hwnd)) return 0;
    e->pump->queue.push_back(p);
  }
  Wake(e->pump);
  std::unique_lock lock(p->m);
  // Wakes up now and then to notice a program end that left the window thread gone.
  while (!p->done) {
    if (p->cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return p->done; })) break;
    if (t.shutdown) return 0;
  }
  return p->result;
}

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto e = Find(hwnd);
  if (!e || T().shutdown) return false;
  auto p = std::make_shared<Pending>();
  p->hwnd = hwnd;
  p->msg = msg;
  p->wParam = wParam;
  p->lParam = lParam;
  p->posted = true;
  {
    std::lock_guard lock(T().m);
    e->pump->queue.push_back(p);
  }
  Wake(e->pump);
  return true;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto e = Find(hwnd);
  if (!e) return 0;
  if (!e->messageWindow) {
    QWidget* w = e->widget;
    return w ? WidgetProc(w, msg, wParam, lParam) : 0;
  }
  switch (msg) {
    case WM_GETTEXT:
      return CopyText(GetWindowText(hwnd), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(GetWindowText(hwnd).size());
    case WM_SETTEXT:
      SetWindowText(hwnd, lParam ? reinterpret_cast<const char*>(lParam) : "");
      return 1;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    default:
      return 0;
  }
}

std::vector<HWND> TopLevelWindows() {
  std::vector<std::pair<uint64_t, HWND>> v;
  {
    Table& t = T();
    std::lock_guard lock(t.m);
    for (auto& [h, e] : t.entries) {
      if (e->messageWindow || (e->widget && e->widget->isWindow())) v.emplace_back(e->order, h);
    }
  }
  std::sort(v.begin(), v.end());
  std::vector<HWND> out;
  for (auto& [o, h] : v) out.push_back(h);
  return out;
}

HWND FindWindow(const char*, const char* caption) {
  std::vector<HWND> tops = TopLevelWindows();
  if (!caption) return tops.empty() ? 0 : tops.front();
  std::string want = caption;
  for (HWND h : tops) {
    if (GetWindowText(h) == want) return h;
  }
  // Other programs' windows (on an X11 desktop).
  return forms_detail::FindForeignWindow(want);
}

std::string GetWindowText(HWND hwnd) {
  if (forms_detail::IsForeignHandle(hwnd)) return forms_detail::ForeignWindowText(hwnd);
  auto e = Find(hwnd);
  if (!e) return {};
  if (e->messageWindow) {
    std::lock_guard lock(T().m);
    return e->caption;
  }
  return e->widget ? WidgetText(e->widget) : std::string();
}

bool SetWindowText(HWND hwnd, const std::string& text) {
  auto e = Find(hwnd);
  if (!e) return false;
  if (e->messageWindow) {
    std::lock_guard lock(T().m);
    e->caption = text;
    return true;
  }
  if (!e->widget) return false;
  SetWidgetText(e->widget, text);
  return true;
}

HWND GetParent(HWND hwnd) {
  QWidget* w = WidgetFromHwnd(hwnd);
  if (!w || !w->parentWidget()) return 0;
  QWidget* p = w->parentWidget();
  // A control's parent may be an inner client area; the handle belongs to the nearest widget
  // that has one.
  while (p && !p->property(kHwndProperty).isValid()) p = p->parentWidget();
  return p ? HwndFromWidget(p) : 0;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  std::vector<HWND> tops = TopLevelWindows();
  if (tops.empty()) return 0;
  auto it = std::find(tops.begin(), tops.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST:
      return tops.front();
    case GW_HWNDLAST:
      return tops.back();
    case GW_HWNDNEXT:
      if (it == tops.end() || std::next(it) == tops.end()) return 0;
      return *std::next(it);
    case GW_HWNDPREV:
      if (it == tops.end() || it == tops.begin()) return 0;
      return *std::prev(it);
    case GW_OWNER:
      return GetParent(hwnd);
    case GW_CHILD: {
      QWidget* w = WidgetFromHwnd(hwnd);
      if (!w) return 0;
      for (QWidget* c : w->findChildren<QWidget*>()) {
        if (c->property(kHwndProperty).isValid()) return c->property(kHwndProperty).toUInt();
      }
      return 0;
    }
    default:
      return 0;
  }
}

bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint) {
  if (forms_detail::IsForeignHandle(hwnd)) return forms_detail::ForeignMoveWindow(hwnd, x, y, width, height);
  QWidget* w = WidgetFromHwnd(hwnd);
  if (!w) return false;
  if (w->isWindow()) {
    QRect frame = w->frameGeometry();
    QRect inner = w->geometry();
    int dw = frame.width() - inner.width();
    int dh = frame.height() - inner.height();
    w->move(x, y);
    w->resize(std::max(0, width - dw), std::max(0, height - dh));
  } else {
    w->setGeometry(x, y, width, height);
  }
  if (repaint) w->update();
  return true;
}

bool ReleaseCapture() {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  return true;
}

uint32_t GetWindowThreadProcessId(HWND hwnd, uint32_t* processId) {
  if (forms_detail::IsForeignHandle(hwnd)) {
    uint32_t pid = forms_detail::ForeignWindowProcess(hwnd);
    if (processId) *processId = pid;
    return pid;
  }
  if (!IsWindow(hwnd)) {
    if (processId) *processId = 0;
    return 0;
  }
  uint32_t pid = static_cast<uint32_t>(::getpid());
  if (processId) *processId = pid;
  return pid;
}
