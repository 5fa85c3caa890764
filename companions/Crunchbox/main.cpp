// The program Crunchbox: Main, then the message loop until no window is loaded.
#include "forms/app.h"
#include "modMain.h"

int main() {
  App().Title(kCrunchboxTitle);
  Main();
  RunMessageLoop();
  return 0;
}
