// The program Reelwright: Main, then the message loop until no window is loaded.
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modMain.h"

int main() {
  SetMainWindow([]() -> Form& { return DefaultForm<frmShow>(); });
  Main();
  RunMessageLoop();
  return 0;
}
