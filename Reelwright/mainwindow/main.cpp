// The program Reelwright: Main, then the message loop until no window is loaded.
#include "forms/app.h"
#include "mainwindow/modMain.h"
#include "splitter/WzTick.h"

int main() {
  RegisterWzTick();  // the splitter's ruler, a control of the program itself
  Main();
  RunMessageLoop();
  return 0;
}
