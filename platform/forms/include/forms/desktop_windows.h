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
};

// The managed top-level windows, topmost first (hidden and minimised ones included).
std::vector<DesktopWindow> DesktopTopLevelWindows();
