#include "frmReport.h"

#include "FrmKilnhandIn.h"
#include "forms/app.h"

frmReport::frmReport() : Form("frmReport") {
  On("Form_Load", [this] {
    Left((Screen().Width() - Width()) / 2);
    Top((Screen().Height() - Height()) / 2);
  });
  On("Command1_Click", [this] {
    if (TheMainWindow().WindowState() == vbMinimized) TheMainWindow().WindowState(vbNormal);
    Unload();
  });
}

void frmReport::Design() {
  Caption("Scheduled Session Report");
  Size(6900, 5100);
  Place({
      {"Label", "Label1", -1, "", 120, 120, 6500, 255,
       "The following results were recorded during the scheduled session. "},
      {"Label", "lblStart", -1, "", 120, 480, 6500, 255, "Session start time:"},
      {"ListBox", "List1", -1, "", 120, 840, 6500, 2895, ""},
      {"Label", "lblEndTime", -1, "", 120, 3840, 6500, 255, "Session end time:"},
      {"CommandButton", "Command1", -1, "", 2760, 4200, 1215, 375, "OK"},
  });
}

frmReport& TheReport() {
  // Lives as long as the program, past the forms runtime's own end.
  static frmReport* report = MakeForm<frmReport>().release();
  return *report;
}
