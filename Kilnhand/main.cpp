// Lotkiln, the batch encoder: its start window is FrmKilnhandIn.
#include "FrmKilnhandIn.h"
#include "core/msgbox.h"
#include "forms/app.h"

int main() {
  SetAppTitle("Kilnhand");
  App().Title("Kilnhand");
  StartMainWindow(TheMainWindow());
  RunMessageLoop();
  return 0;
}
