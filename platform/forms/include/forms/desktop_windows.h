#pragma once
// The top-level windows of every program on the desktop, as the window manager lists them. Only
// an X11 display has such a list; without one (the offscreen platform, a Wayland session) the
// list is empty and our own windows are reached through the handle table of forms/hwnd.h.
#include <cstdint>
#include <string>
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

// One window of the desktop by the window system's id: whether it still exists, its caption
// (_NET_WM_NAME, else WM_NAME; whole, at any length), the process recorded for it (0 when
// unknown), and placing its frame through the window manager (pixels; false when it is gone).
bool DesktopWindowExists(uint32_t window);
std::string DesktopWindowText(uint32_t window);
uint32_t DesktopWindowProcess(uint32_t window);
bool DesktopMoveWindow(uint32_t window, int32_t x, int32_t y, int32_t width, int32_t height);

// For a program that works with other programs' windows: run it on the X11 platform (XWayland on
// a Wayland desktop) when DISPLAY is set and no platform is chosen (QT_QPA_PLATFORM). Call before
// the first window.
void PreferX11Platform();

namespace forms_detail {
// Other programs' top-level windows behind handles of forms/hwnd.h (FindWindow gives them out):
// the handle calls ask these for handles of that kind.
HWND FindForeignWindow(const std::string& caption);
bool IsForeignHandle(HWND hwnd);
bool ForeignIsWindow(HWND hwnd);
std::string ForeignWindowText(HWND hwnd);
uint32_t ForeignWindowProcess(HWND hwnd);
bool ForeignMoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height);
}  // namespace forms_detail
