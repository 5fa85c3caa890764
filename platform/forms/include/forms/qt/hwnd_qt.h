#pragma once
// Internal to the platform: the bridge between window handles and Qt widgets. Suite code does not
// include this header (it exposes Qt types); platform areas that draw into a form's window (the
// media framework's video renderer) do.
#include <QApplication>
#include <QWidget>
#include <thread>

#include "forms/hwnd.h"

// The widget behind a form's or control's handle; nullptr for message windows, unknown handles
// and widgets already destroyed. Call on the window thread.
QWidget* WidgetFromHwnd(HWND hwnd);

// The handle of a widget, giving it one on first use; the handle is forgotten when the widget
// is destroyed. Top-level widgets join the list GetWindow and FindWindow walk.
HWND HwndFromWidget(QWidget* widget);

namespace forms_detail {
// Makes sure the application object exists (created on first use from the process's own
// command line); returns it. Call on the thread that runs the windows.
QApplication* EnsureApplication();
// Runs the cross-thread messages queued for windows of the calling thread.
void DrainThreadMessages();
// Lets a thread waiting in SendMessage go on with the answer 0 while the calling thread is still
// answering its message (the handler goes on; its own answer is dropped). For a handler that must
// wait for the sending thread itself, as a stop waits for a streaming thread. True when such a
// message was being answered.
bool ReleaseSendersFrom(std::thread::id sender);
// Releases every waiting sender and refuses further cross-thread sends (program end).
void ShutdownMessages();
// Forgets the handles of a widget and of everything inside it (a window that is unloaded is
// gone for the message calls at once, even while Qt deletes it later).
void ReleaseHandles(QWidget* widget);
// Whether End has been called: no more events are raised.
bool Ended();
}  // namespace forms_detail
