// The program Tagswapper: Form1, then the message loop until it unloads.
#include "Form1.h"
#include "forms/app.h"

int main() {
  App().Title(kTagswapperTitle);
  static Form1 form;
  form.Show();
  RunMessageLoop();
  return 0;
}
