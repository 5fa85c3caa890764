#pragma once
// Window handles and the window-message calls.
//
// Every form and every control has a 32-bit handle (its hWnd). Hidden message windows are created
// with a window procedure; SendMessage from the window's own thread calls the procedure at once,
// from another thread it blocks until the window's thread handles the message in its next
// DoEvents or event-loop turn. A message to a handle that is gone (or goes while the sender
// waits) answers 0 and does nothing else.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using HWND = uint32_t;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window procedure of a message window.
using WNDPROC = std::function<LRESULT(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_NCLBUTTONDOWN = 0x00A1;
constexpr UINT WM_USER = 0x0400;
constexpr WPARAM HTCAPTION = 2;

constexpr UINT GW_HWNDFIRST = 0;
constexpr UINT GW_HWNDLAST = 1;
constexpr UINT GW_HWNDNEXT = 2;
constexpr UINT GW_HWNDPREV = 3;
constexpr UINT GW_OWNER = 4;
constexpr UINT GW_CHILD = 5;

// Creates a hidden message window on the calling thread; its procedure receives every message
// sent or posted to it. The caption makes it findable with FindWindow.
HWND CreateMessageWindow(WNDPROC proc, const std::string& caption = {});
// Destroys a window created by CreateMessageWindow (WM_DESTROY reaches its procedure first);
// senders waiting on it are released with 0. Other handles are left alone. Returns whether the
// handle was a message window of this thread.
bool DestroyWindow(HWND hwnd);

// Whether the handle names a window that still exists.
bool IsWindow(HWND hwnd);

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// What a window does with a message its procedure leaves to the system: WM_GETTEXT,
// WM_GETTEXTLENGTH and WM_SETTEXT work on the caption, WM_CLOSE destroys a message window (a form
// gets its close request); everything else answers 0.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Handles, on the calling thread, the messages other threads have sent to its windows and are
// waiting on. Code that waits for another thread (stopping a graph whose streaming thread may
// be sending to a window of this thread) calls it while it waits, so the sender is not blocked
// forever; DoEvents does it as well.
void PumpSentMessages();

// Queues the message for the window's thread; false when the handle is gone.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The first top-level window (form or message window) whose caption equals the text; without a
// caption (nullptr) the first top-level window of all. A class name is accepted for the call's
// shape and ignored. 0 when none. When none of ours has the caption, another program's top-level
// window on the X11 desktop that has it exactly (forms/desktop_windows.h): its handle works with
// IsWindow, GetWindowText, MoveWindow (through the window manager) and GetWindowThreadProcessId
// (its process).
HWND FindWindow(const char* className, const char* caption);
// A window's caption, or a control's text.
std::string GetWindowText(HWND hwnd);
bool SetWindowText(HWND hwnd, const std::string& text);
// The control's container, or the owner of an owned form; 0 for others.
HWND GetParent(HWND hwnd);
// Walks the top-level windows (in the order they were made): GW_HWNDFIRST, GW_HWNDLAST,
// GW_HWNDNEXT, GW_HWNDPREV, GW_OWNER; GW_CHILD answers the first control of a form.
HWND GetWindow(HWND hwnd, UINT cmd);
// Places a window in pixels (left, top and size of the outer frame for top-level windows,
// relative to the container for controls).
bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint = true);
// Ends any mouse capture of this program.
bool ReleaseCapture();
// The process that owns a window of this program (this process), 0 for an unknown handle.
uint32_t GetWindowThreadProcessId(HWND hwnd, uint32_t* processId);
// Every live top-level handle (forms and message windows), in creation order.
std::vector<HWND> TopLevelWindows();
