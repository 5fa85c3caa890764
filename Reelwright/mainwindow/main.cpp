// The program Reelwright: Main, then the message loop until no window is loaded.
#include "forms/app.h"
#include "mainwindow/modMain.h"

int main() {
  Main();
  RunMessageLoop();
  return 0;
}
