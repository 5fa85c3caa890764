// The program Reelwright: Main, then the message loop until no window is loaded.
#include "forms/app.h"
#include "forms/desktop_windows.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modMain.h"
#include "splitter/WzTick.h"

int main() {
  // The picture editor and the capture tool are watched by their windows: X11 when there is one.
  PreferX11Platform();
  SetMainWindow([]() -> Form& { return DefaultForm<frmShow>(); });
  RegisterWzTick();  // the splitter's ruler, a control of the program itself
  Main();
  RunMessageLoop();
  return 0;
}
