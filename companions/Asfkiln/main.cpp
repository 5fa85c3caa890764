// The program Asfkiln: Main, then the message loop until its window unloads.
#include "Module1.h"
#include "forms/app.h"

int main() {
  App().Title(kAsfkilnTitle);
  if (!Main()) return 0;
  RunMessageLoop();
  return 0;
}
