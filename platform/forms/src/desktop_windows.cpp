// The desktop's top-level windows from the X11 window manager's lists (_NET_CLIENT_LIST_STACKING,
// else _NET_CLIENT_LIST) and each window's _NET_WM_PID. The connection is the one of the xcb
// platform plugin; libxcb is reached through the plugin's own copy, so the library does not link
// it and builds without it.
#include "forms/desktop_windows.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#if __has_include(<xcb/xcb.h>) && __has_include(<QtGui/qguiapplication_platform.h>)
#include <QtGui/qguiapplication_platform.h>
#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define FORMS_HAVE_XCB 1
#endif
#endif

#include "forms/qt/hwnd_qt.h"

#ifdef FORMS_HAVE_XCB

namespace {

// The few libxcb entry points used here, looked up in the copy the platform plugin loaded.
struct Xcb {
  decltype(&xcb_intern_atom) intern_atom = nullptr;
  decltype(&xcb_intern_atom_reply) intern_atom_reply = nullptr;
  decltype(&xcb_get_property) get_property = nullptr;
  decltype(&xcb_get_property_reply) get_property_reply = nullptr;
  decltype(&xcb_get_property_value) get_property_value = nullptr;
  decltype(&xcb_get_property_value_length) get_property_value_length = nullptr;
  decltype(&xcb_get_setup) get_setup = nullptr;
  decltype(&xcb_setup_roots_iterator) setup_roots_iterator = nullptr;
  decltype(&xcb_configure_window) configure_window = nullptr;
  decltype(&xcb_get_geometry) get_geometry = nullptr;
  decltype(&xcb_get_geometry_reply) get_geometry_reply = nullptr;
  decltype(&xcb_flush) flush = nullptr;
  bool ok = false;

  Xcb() {
    void* lib = dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return;
    ok = Bind(lib, intern_atom, "xcb_intern_atom") && Bind(lib, intern_atom_reply, "xcb_intern_atom_reply") &&
         Bind(lib, get_property, "xcb_get_property") && Bind(lib, get_property_reply, "xcb_get_property_reply") &&
         Bind(lib, get_property_value, "xcb_get_property_value") &&
         Bind(lib, get_property_value_length, "xcb_get_property_value_length") &&
         Bind(lib, get_setup, "xcb_get_setup") && Bind(lib, setup_roots_iterator, "xcb_setup_roots_iterator") &&
         Bind(lib, configure_window, "xcb_configure_window") && Bind(lib, get_geometry, "xcb_get_geometry") &&
         Bind(lib, get_geometry_reply, "xcb_get_geometry_reply") && Bind(lib, flush, "xcb_flush");
    // The handle stays open: the plugin keeps the library loaded for the program's life anyway.
  }

  template <class F>
  static bool Bind(void* lib, F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
  }
};

const Xcb& XcbCalls() {
  static const Xcb x;
  return x;
}

xcb_atom_t Atom(const Xcb& x, xcb_connection_t* c, const char* name) {
  xcb_generic_error_t* error = nullptr;
  xcb_intern_atom_reply_t* r =
      x.intern_atom_reply(c, x.intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), &error);
  std::free(error);
  if (!r) return 0;
  xcb_atom_t a = r->atom;
  std::free(r);
  return a;
}

// The 32-bit values of a property; empty when the window has no such property (or one of
// another type than asked for).
std::vector<uint32_t> Values32(const Xcb& x, xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  std::vector<uint32_t> out;
  // A window of the list may be gone by the time it is asked about; its error is taken here, so
  // that it does not reach the platform plugin's event queue as a reported failure.
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* r = x.get_property_reply(c, cookie, &error);
  std::free(error);
  if (!r) return out;
  if (r->format == 32) {
    int n = x.get_property_value_length(r) / 4;
    const auto* v = static_cast<const uint32_t*>(x.get_property_value(r));
    out.assign(v, v + n);
  }
  std::free(r);
  return out;
}

std::vector<uint32_t> Values32(const Xcb& x, xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
  if (!prop) return {};
  return Values32(x, c, x.get_property(c, 0, w, prop, type, 0, 1u << 16));
}

// The xcb platform's connection; nullptr without one (or without the calls).
xcb_connection_t* Connection() {
  forms_detail::EnsureApplication();
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !XcbCalls().ok) return nullptr;
  return x11->connection();
}

// A whole text property: every part of it, however long.
std::string TextProperty(const Xcb& x, xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type,
                         bool* present) {
  std::string out;
  *present = false;
  if (!prop) return out;
  uint32_t offset = 0;  // in 32-bit units
  for (;;) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* r =
        x.get_property_reply(c, x.get_property(c, 0, w, prop, type, offset, 1u << 16), &error);
    std::free(error);
    if (!r) return out;
    bool more = false;
    if (r->type != XCB_ATOM_NONE && r->format == 8) {
      *present = true;
      int n = x.get_property_value_length(r);
      out.append(static_cast<const char*>(x.get_property_value(r)), static_cast<size_t>(n));
      offset += static_cast<uint32_t>(n) / 4;
      more = r->bytes_after > 0 && n > 0;
    }
    std::free(r);
    if (!more) return out;
  }
}

}  // namespace

std::vector<DesktopWindow> DesktopTopLevelWindows() {
  std::vector<DesktopWindow> out;
  xcb_connection_t* c = Connection();
  if (!c) return out;
  const Xcb& x = XcbCalls();
  xcb_screen_iterator_t it = x.setup_roots_iterator(x.get_setup(c));
  if (!it.data) return out;
  xcb_window_t root = it.data->root;
  xcb_atom_t pidAtom = Atom(x, c, "_NET_WM_PID");
  std::vector<uint32_t> list = Values32(x, c, root, Atom(x, c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
  bool bottomUp = !list.empty();  // the stacking list runs from the bottom to the top
  if (list.empty()) list = Values32(x, c, root, Atom(x, c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
  // All questions go out before the first answer is read: one round trip for the whole list.
  // _NET_WM_PID is a CARDINAL, but it is taken in whatever 32-bit type a program wrote it.
  std::vector<xcb_get_property_cookie_t> pids, owners;
  for (uint32_t w : list) {
    if (pidAtom) pids.push_back(x.get_property(c, 0, w, pidAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1));
    owners.push_back(x.get_property(c, 0, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1));
  }
  for (size_t i = 0; i < list.size(); ++i) {
    std::vector<uint32_t> pid = pidAtom ? Values32(x, c, pids[i]) : std::vector<uint32_t>{};
    std::vector<uint32_t> owner = Values32(x, c, owners[i]);
    DesktopWindow d;
    d.window = static_cast<HWND>(list[i]);
    d.processId = pid.empty() ? 0u : pid.front();
    // A transient window names the window it belongs to; some programs name the root window for
    // "the whole program", which is no owner.
    d.owner = owner.empty() || owner.front() == root ? 0u : static_cast<HWND>(owner.front());
    out.push_back(d);
  }
  if (bottomUp) std::reverse(out.begin(), out.end());
  return out;
}

bool DesktopWindowExists(uint32_t window) {
  xcb_connection_t* c = Connection();
  if (!c) return false;
  const Xcb& x = XcbCalls();
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* r = x.get_geometry_reply(c, x.get_geometry(c, window), &error);
  std::free(error);
  bool exists = r != nullptr;
  std::free(r);
  return exists;
}

std::string DesktopWindowText(uint32_t window) {
  xcb_connection_t* c = Connection();
  if (!c) return {};
  const Xcb& x = XcbCalls();
  bool present = false;
  std::string name = TextProperty(x, c, window, Atom(x, c, "_NET_WM_NAME"), Atom(x, c, "UTF8_STRING"), &present);
  if (present) return name;
  // WM_NAME in whatever text type the program wrote it (STRING is Latin-1).
  std::string legacy = TextProperty(x, c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, &present);
  return QString::fromLatin1(legacy.data(), static_cast<qsizetype>(legacy.size())).toStdString();
}

uint32_t DesktopWindowProcess(uint32_t window) {
  xcb_connection_t* c = Connection();
  if (!c) return 0;
  const Xcb& x = XcbCalls();
  std::vector<uint32_t> pid = Values32(x, c, window, Atom(x, c, "_NET_WM_PID"), XCB_GET_PROPERTY_TYPE_ANY);
  return pid.empty() ? 0u : pid.front();
}

bool DesktopMoveWindow(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height) {
  xcb_connection_t* c = Connection();
  if (!c || !DesktopWindowExists(window)) return false;
  const Xcb& xc = XcbCalls();
  // The size asked is the frame's: the window manager's frame (_NET_FRAME_EXTENTS: left, right,
  // top, bottom) comes off it.
  std::vector<uint32_t> extents =
      Values32(xc, c, window, Atom(xc, c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
  int32_t dw = 0, dh = 0;
  if (extents.size() == 4) {
    dw = static_cast<int32_t>(extents[0] + extents[1]);
    dh = static_cast<int32_t>(extents[2] + extents[3]);
  }
  // A request to the window's own geometry goes to the window manager, which places its frame.
  const uint32_t values[] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                             static_cast<uint32_t>(std::max(1, width - dw)), static_cast<uint32_t>(std::max(1, height - dh))};
  xc.configure_window(c, window,
                      XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                      values);
  xc.flush(c);
  return true;
}

#else

std::vector<DesktopWindow> DesktopTopLevelWindows() { return {}; }
bool DesktopWindowExists(uint32_t) { return false; }
std::string DesktopWindowText(uint32_t) { return {}; }
uint32_t DesktopWindowProcess(uint32_t) { return 0; }
bool DesktopMoveWindow(uint32_t, int32_t, int32_t, int32_t, int32_t) { return false; }

#endif

// ---- other programs' windows behind handles ------------------------------------------------------

namespace {

// Handles given to other programs' windows, from a range of their own.
struct ForeignHandles {
  std::mutex m;
  std::map<HWND, uint32_t> windows;
  std::map<uint32_t, HWND> handles;
  HWND next = 0x70000000;
};

ForeignHandles& Foreign() {
  static ForeignHandles f;
  return f;
}

uint32_t ForeignWindow(HWND hwnd) {
  ForeignHandles& f = Foreign();
  std::lock_guard lock(f.m);
  auto it = f.windows.find(hwnd);
  return it == f.windows.end() ? 0u : it->second;
}

}  // namespace

namespace forms_detail {

bool IsForeignHandle(HWND hwnd) { return ForeignWindow(hwnd) != 0; }

HWND FindForeignWindow(const std::string& caption) {
  for (const DesktopWindow& w : DesktopTopLevelWindows()) {
    if (DesktopWindowText(w.window) != caption) continue;
    ForeignHandles& f = Foreign();
    std::lock_guard lock(f.m);
    HWND& h = f.handles[w.window];
    if (!h) {
      h = f.next;
      f.next += 4;
      f.windows[h] = w.window;
    }
    return h;
  }
  return 0;
}

bool ForeignIsWindow(HWND hwnd) {
  uint32_t w = ForeignWindow(hwnd);
  return w && DesktopWindowExists(w);
}

std::string ForeignWindowText(HWND hwnd) {
  uint32_t w = ForeignWindow(hwnd);
  return w ? DesktopWindowText(w) : std::string();
}

uint32_t ForeignWindowProcess(HWND hwnd) {
  uint32_t w = ForeignWindow(hwnd);
  return w && DesktopWindowExists(w) ? DesktopWindowProcess(w) : 0u;
}

bool ForeignMoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height) {
  uint32_t w = ForeignWindow(hwnd);
  return w && DesktopMoveWindow(w, x, y, width, height);
}

}  // namespace forms_detail

void PreferX11Platform() {
  const char* display = std::getenv("DISPLAY");
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (display && *display && (!platform || !*platform)) setenv("QT_QPA_PLATFORM", "xcb", 1);
}
