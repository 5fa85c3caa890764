// The show style a program was started with applies to the first window it shows.
//
// The window manager is told before the window is mapped: a minimised window starts in its iconic
// state, a window without focus asks not to be activated (_NET_WM_USER_TIME 0). Both hints go on
// the native window, so it is made first; Qt applies neither to a window it creates at show time.
// A window manager that has no iconic state, or that focuses every new window, maps such a window
// normally and gives it the focus anyway: the window then hands the focus back to the window that
// had it, and a window that was to be minimised goes below the others.
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "forms_internal.h"
#include "shell/process.h"
#include "xcb_calls.h"

namespace {

#ifdef FORMS_HAVE_XCB

using namespace forms_detail::xcb;

constexpr uint32_t kIconicState = 3;     // WM_STATE's IconicState
constexpr uint32_t kSourcePager = 2;     // a _NET_ACTIVE_WINDOW request on behalf of the user
// How long after being managed a late focus is still the map's, with a window manager that cannot
// be asked whether it is done with the window.
constexpr int kSettleMilliseconds = 3000;

// Watches the first window from its show until the window manager has placed it: the focus the
// manager gives it goes back, and a window the manager left normal that was to be minimised goes
// below. Ends at the first of: the focus handed back, the window iconic, the user pressing a key
// or button in the program, the window gone, or the manager done with the window. A manager that
// answers frame-extents requests is asked once it took the window: it answers in its order, after
// whatever it did about the map, so its answer ends the watch. With another manager, the watch
// ends a while after the manager took the window.
class FirstShowWatch : public QObject, public QAbstractNativeEventFilter {
 public:
  FirstShowWatch(QWidget* widget, xcb_connection_t* c, bool keepFocusAway, bool minimize)
      : widget_(widget), c_(c), keepFocusAway_(keepFocusAway), minimize_(minimize) {
    window_ = static_cast<xcb_window_t>(widget->winId());
    root_ = Root(c);
    wmState_ = Atom(c, "WM_STATE");
    activeWindow_ = Atom(c, "_NET_ACTIVE_WINDOW");
    requestExtents_ = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    frameExtents_ = Atom(c, "_NET_FRAME_EXTENTS");
    if (requestExtents_ && frameExtents_) {
      std::vector<uint32_t> supported = Values32(c, root_, Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
      answersExtents_ = std::find(supported.begin(), supported.end(), requestExtents_) != supported.end();
    }
    // The window the user works in now: the window manager's active window, else the input focus.
    std::vector<uint32_t> active = Values32(c, root_, activeWindow_, XCB_ATOM_WINDOW);
    if (!active.empty() && active.front() > 1) previous_ = active.front();
    if (!previous_) {
      const Calls& x = XcbCalls();
      xcb_generic_error_t* error = nullptr;
      xcb_get_input_focus_reply_t* r = x.get_input_focus_reply(c, x.get_input_focus(c), &error);
      std::free(error);
      if (r && r->focus > 1 && r->focus != root_) previous_ = r->focus;  // 0 None, 1 PointerRoot
      std::free(r);
    }
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMilliseconds);
    QObject::connect(&settle_, &QTimer::timeout, this, [this] { End(); });
    QObject::connect(widget, &QObject::destroyed, this, [this] { End(); });
    QCoreApplication::instance()->installNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (ended_ || eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
      case XCB_PROPERTY_NOTIFY: {
        auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (e->window == window_ && e->atom == wmState_ && wmState_) Managed();
        if (asking_ && e->window == asked_ && e->atom == frameExtents_) End();  // the manager is done
        break;
      }
      case XCB_FOCUS_IN: {
        auto* e = reinterpret_cast<xcb_focus_in_event_t*>(event);
        if (e->event == window_ && e->mode == XCB_NOTIFY_MODE_NORMAL && e->detail != XCB_NOTIFY_DETAIL_POINTER)
          FocusTaken();
        break;
      }
      case XCB_KEY_PRESS:
      case XCB_BUTTON_PRESS:
        // From here on the focus is the user's choice.
        End();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  void Managed() {
    std::vector<uint32_t> state = Values32(c_, window_, wmState_, wmState_);
    if (state.empty()) return;  // withdrawn again
    if (state.front() == kIconicState) {
      End();
      return;
    }
    if (minimize_ && !lowered_) {
      lowered_ = true;
      if (widget_) widget_->lower();
    }
    if (keepFocusAway_ && FocusIsOurs()) {
      FocusTaken();
      return;
    }
    if (answersExtents_) {
      AskWhetherDone();
    } else if (!settle_.isActive()) {
      settle_.start();
    }
  }

  // Asks the window manager for the frame extents of a window of our own that it never manages
  // (made, not shown): the answer, a property on that window, comes once the manager has handled
  // everything before the request.
  void AskWhetherDone() {
    if (asking_) return;
    asking_ = std::make_unique<QWindow>();
    asked_ = static_cast<xcb_window_t>(asking_->winId());
    const Calls& x = XcbCalls();
    xcb_client_message_event_t m{};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = asked_;
    m.type = requestExtents_;
    x.send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&m));
    x.flush(c_);
  }

  bool FocusIsOurs() {
    const Calls& x = XcbCalls();
    xcb_generic_error_t* error = nullptr;
    xcb_get_input_focus_reply_t* r = x.get_input_focus_reply(c_, x.get_input_focus(c_), &error);
    std::free(error);
    bool ours = r && r->focus == window_;
    std::free(r);
    return ours;
  }

  void FocusTaken() {
    if (!keepFocusAway_) return;
    if (minimize_ && !lowered_) {
      lowered_ = true;
      if (widget_) widget_->lower();
    }
    if (previous_) {
      const Calls& x = XcbCalls();
      // Asked of the window manager, so that it moves its own idea of the active window too, and
      // set directly for one that does not take such requests. A window gone since is only an
      // error the server reports, taken by the platform plugin's error handler.
      xcb_client_message_event_t m{};
      m.response_type = XCB_CLIENT_MESSAGE;
      m.format = 32;
      m.window = previous_;
      m.type = activeWindow_;
      m.data.data32[0] = kSourcePager;
      m.data.data32[1] = XCB_CURRENT_TIME;
      m.data.data32[2] = window_;
      if (activeWindow_)
        x.send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                     reinterpret_cast<const char*>(&m));
      x.set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, previous_, XCB_CURRENT_TIME);
      x.flush(c_);
    }
    End();
  }

  void End() {
    if (ended_) return;
    ended_ = true;
    settle_.stop();
    QCoreApplication::instance()->removeNativeEventFilter(this);
    deleteLater();
  }

  QPointer<QWidget> widget_;
  xcb_connection_t* c_;
  bool keepFocusAway_;
  bool minimize_;
  xcb_window_t window_ = 0;
  xcb_window_t root_ = 0;
  xcb_window_t previous_ = 0;
  xcb_atom_t wmState_ = 0;
  xcb_atom_t activeWindow_ = 0;
  xcb_atom_t requestExtents_ = 0;
  xcb_atom_t frameExtents_ = 0;
  bool answersExtents_ = false;  // the manager says it answers frame-extents requests
  std::unique_ptr<QWindow> asking_;  // the window whose frame extents were asked for
  xcb_window_t asked_ = 0;
  bool lowered_ = false;
  bool ended_ = false;
  QTimer settle_;
};

#endif

// Shows a top-level window minimised and/or without activating it.
void ShowQuietly(QWidget* window, bool keepFocusAway, bool minimize) {
  window->winId();  // the native window, for the hints below
  QWindow* handle = window->windowHandle();
#ifdef FORMS_HAVE_XCB
  if (xcb_connection_t* c = Connection(); c && handle && window->isWindow() && (keepFocusAway || minimize))
    new FirstShowWatch(window, c, keepFocusAway, minimize);
#endif
  if (minimize) {
    // The show brings the native window's geometry up to the widget's first, and a geometry set
    // on the native window takes its state back to normal: so the geometry goes first.
    if (handle && handle->geometry() != window->geometry()) {
      if (window->testAttribute(Qt::WA_Moved)) handle->setGeometry(window->geometry());
      else handle->resize(window->size());
    }
    window->setWindowState((window->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
  }
  if (keepFocusAway && handle) handle->setProperty("_q_showWithoutActivating", true);
  window->setAttribute(Qt::WA_ShowWithoutActivating, keepFocusAway);
  window->show();
  window->setAttribute(Qt::WA_ShowWithoutActivating, false);
  if (handle) handle->setProperty("_q_showWithoutActivating", QVariant());
  if (!keepFocusAway) window->activateWindow();
}

}  // namespace

namespace forms_detail {

bool ShowFirstWindow(QWidget* window) {
  static std::atomic<bool> shown{false};
  if (shown.exchange(true)) return false;
  switch (StartupWindowStyle()) {
    case vbHide:
      return true;
    case vbMinimizedFocus:
      ShowQuietly(window, false, true);
      return true;
    case vbMinimizedNoFocus:
      ShowQuietly(window, true, true);
      return true;
    case vbMaximizedFocus:
      window->showMaximized();
      window->activateWindow();
      return true;
    case vbNormalNoFocus:
      ShowQuietly(window, true, false);
      return true;
    default:
      return false;
  }
}

}  // namespace forms_detail
