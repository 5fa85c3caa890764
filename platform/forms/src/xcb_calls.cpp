#include "xcb_calls.h"

#ifdef FORMS_HAVE_XCB

#include <dlfcn.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

#include "forms/qt/hwnd_qt.h"

namespace forms_detail::xcb {

namespace {

template <class F>
bool Bind(void* lib, F& f, const char* name) {
  f = reinterpret_cast<F>(dlsym(lib, name));
  return f != nullptr;
}

}  // namespace

Calls::Calls() {
  void* lib = dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD);
  if (!lib) return;
  ok = Bind(lib, intern_atom, "xcb_intern_atom") && Bind(lib, intern_atom_reply, "xcb_intern_atom_reply") &&
       Bind(lib, get_property, "xcb_get_property") && Bind(lib, get_property_reply, "xcb_get_property_reply") &&
       Bind(lib, get_property_value, "xcb_get_property_value") &&
       Bind(lib, get_property_value_length, "xcb_get_property_value_length") &&
       Bind(lib, get_setup, "xcb_get_setup") && Bind(lib, setup_roots_iterator, "xcb_setup_roots_iterator") &&
       Bind(lib, configure_window, "xcb_configure_window") && Bind(lib, get_geometry, "xcb_get_geometry") &&
       Bind(lib, get_geometry_reply, "xcb_get_geometry_reply") &&
       Bind(lib, get_input_focus, "xcb_get_input_focus") &&
       Bind(lib, get_input_focus_reply, "xcb_get_input_focus_reply") &&
       Bind(lib, set_input_focus, "xcb_set_input_focus") && Bind(lib, send_event, "xcb_send_event") &&
       Bind(lib, flush, "xcb_flush");
  // The handle stays open: the plugin keeps the library loaded for the program's life anyway.
}

const Calls& XcbCalls() {
  static const Calls x;
  return x;
}

xcb_connection_t* Connection() {
  forms_detail::EnsureApplication();
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !XcbCalls().ok) return nullptr;
  return x11->connection();
}

xcb_window_t Root(xcb_connection_t* c) {
  const Calls& x = XcbCalls();
  xcb_screen_iterator_t it = x.setup_roots_iterator(x.get_setup(c));
  return it.data ? it.data->root : 0;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  const Calls& x = XcbCalls();
  xcb_generic_error_t* error = nullptr;
  xcb_intern_atom_reply_t* r =
      x.intern_atom_reply(c, x.intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), &error);
  std::free(error);
  if (!r) return 0;
  xcb_atom_t a = r->atom;
  std::free(r);
  return a;
}

std::vector<uint32_t> Values32(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  const Calls& x = XcbCalls();
  std::vector<uint32_t> out;
  // A window asked about may be gone by then; its error is taken here, so that it does not reach
  // the platform plugin's event queue as a reported failure.
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

std::vector<uint32_t> Values32(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
  if (!prop) return {};
  return Values32(c, XcbCalls().get_property(c, 0, w, prop, type, 0, 1u << 16));
}

}  // namespace forms_detail::xcb

#endif
