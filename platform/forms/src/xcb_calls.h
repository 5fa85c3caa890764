#pragma once
// The X11 connection of the xcb platform plugin and the few libxcb calls the forms runtime makes
// on it. libxcb is reached through the plugin's own copy, so the library does not link it and
// builds without it; FORMS_HAVE_XCB says whether this build can reach it at all.
#include <cstdint>
#include <vector>

#if __has_include(<xcb/xcb.h>) && __has_include(<QtGui/qguiapplication_platform.h>)
#include <QtGui/qguiapplication_platform.h>
#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define FORMS_HAVE_XCB 1
#endif
#endif

#ifdef FORMS_HAVE_XCB

namespace forms_detail::xcb {

// The libxcb entry points used, looked up in the copy the platform plugin loaded.
struct Calls {
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
  decltype(&xcb_get_input_focus) get_input_focus = nullptr;
  decltype(&xcb_get_input_focus_reply) get_input_focus_reply = nullptr;
  decltype(&xcb_set_input_focus) set_input_focus = nullptr;
  decltype(&xcb_send_event) send_event = nullptr;
  decltype(&xcb_flush) flush = nullptr;
  bool ok = false;
  Calls();
};

const Calls& XcbCalls();
// The xcb platform's connection; nullptr without one (or without the calls).
xcb_connection_t* Connection();
// The root window of the connection's first screen.
xcb_window_t Root(xcb_connection_t* c);
// An existing atom by name; 0 when no program has made it (or the server did not answer).
xcb_atom_t Atom(xcb_connection_t* c, const char* name);
// The 32-bit values of a property; empty when the window has no such property (or one of
// another type than asked for, or the window is gone).
std::vector<uint32_t> Values32(xcb_connection_t* c, xcb_get_property_cookie_t cookie);
std::vector<uint32_t> Values32(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type);

}  // namespace forms_detail::xcb

#endif
