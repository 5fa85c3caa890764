// Lotkiln, the batch encoder: its start window is FrmKilnhandIn.
#include "FrmKilnhandIn.h"
#include "core/msgbox.h"
#include "forms/app.h"
#include "forms/end_requests.h"

int main() {
  InstallEndRequests();  // a command-line run happens inside the window's load
  SetAppTitle("Kilnhand");
  App().Title("Kilnhand");
  StartMainWindow(TheMainWindow());
  RunMessageLoop();
  return 0;
}
