// The desktop's top-level windows from the X11 window manager's lists (_NET_CLIENT_LIST_STACKING,
// else _NET_CLIENT_LIST) and each window's _NET_WM_PID, on the xcb platform plugin's connection.
#include "forms/desktop_windows.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "xcb_calls.h"
#include "forms/qt/hwnd_qt.h"

#ifdef FORMS_HAVE_XCB

namespace {

using namespace forms_detail::xcb;
using Xcb = Calls;

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
  xcb_atom_t pidAtom = Atom(c, "_NET_WM_PID");
  std::vector<uint32_t> list = Values32(c, root, Atom(c, "_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW);
  bool bottomUp = !list.empty();  // the stacking list runs from the bottom to the top
  if (list.empty()) list = Values32(c, root, Atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
  // All questions go out before the first answer is read: one round trip for the whole list.
  // _NET_WM_PID is a CARDINAL, but it is taken in whatever 32-bit type a program wrote it.
  std::vector<xcb_get_property_cookie_t> pids, owners;
  for (uint32_t w : list) {
    if (pidAtom) pids.push_back(x.get_property(c, 0, w, pidAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1));
    owners.push_back(x.get_property(c, 0, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1));
  }
  for (size_t i = 0; i < list.size(); ++i) {
    std::vector<uint32_t> pid = pidAtom ? Values32(c, pids[i]) : std::vector<uint32_t>{};
    std::vector<uint32_t> owner = Values32(c, owners[i]);
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
  std::string name = TextProperty(x, c, window, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), &present);
  if (present) return name;
  // WM_NAME in whatever text type the program wrote it (STRING is Latin-1).
  std::string legacy = TextProperty(x, c, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, &present);
  return QString::fromLatin1(legacy.data(), static_cast<qsizetype>(legacy.size())).toStdString();
}

uint32_t DesktopWindowProcess(uint32_t window) {
  xcb_connection_t* c = Connection();
  if (!c) return 0;
  std::vector<uint32_t> pid = Values32(c, window, Atom(c, "_NET_WM_PID"), XCB_GET_PROPERTY_TYPE_ANY);
  return pid.empty() ? 0u : pid.front();
}

bool DesktopMoveWindow(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height) {
  xcb_connection_t* c = Connection();
  if (!c || !DesktopWindowExists(window)) return false;
  const Xcb& xc = XcbCalls();
  // The size asked is the frame's: the window manager's frame (_NET_FRAME_EXTENTS: left, right,
  // top, bottom) comes off it.
  std::vector<uint32_t> extents =
      Values32(c, window, Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
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
