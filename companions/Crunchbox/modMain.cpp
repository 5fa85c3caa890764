#include "modMain.h"

#include "forms/app.h"
#include "frmCrunchbox.h"

void Main() {
  frmCrunchbox& main = DefaultForm<frmCrunchbox>();
  main.Load();
  std::string tail = Command();
  if (!tail.empty()) {
    main.open_video_worker(tail);
    main.sNewName = tail + "_out.avi";
  }
  main.Show();
}
