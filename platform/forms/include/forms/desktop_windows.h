#pragma once
// The top-level windows of every program on the desktop, as the window manager lists them. Only
// an X11 display has such a list; without one (the offscreen platform, a Wayland session) the
// list is empty and our own windows are reached through the handle table of forms/hwnd.h.
#include <cstdint>
#include <vector>

#include "forms/hwnd.h"

struct DesktopWindow {
  HWND window = 0;         // the window system's own id of the window
  uint32_t processId = 0;  // the process the window manager records for it; 0 when unknown
  HWND owner = 0;          // the window a dialog or tool window belongs to (its transient-for); 0 for none
};

// The top-level windows the window manager manages, topmost first: those shown and the minimised
// ones. A window that was never shown, or was hidden again, is not managed and not listed. The
// ids are the window system's, not handles of forms/hwnd.h (our own windows are listed too, under
// the window system's ids).
std::vector<DesktopWindow> DesktopTopLevelWindows();
