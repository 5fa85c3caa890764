// Lotkiln, the batch encoder: its start window is FrmKilnhandIn.
#include "FrmKilnhandIn.h"
#include "core/msgbox.h"
#include "forms/app.h"

int main() {
  SetAppTitle("Kilnhand");
  App().Title("Kilnhand");
  FrmKilnhandIn& main = TheMainWindow();
  main.Show();
  RunMessageLoop();
  return 0;
}
