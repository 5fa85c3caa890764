#pragma once
// The report of a timed session.
#include "forms/controls.h"
#include "forms/form.h"

class frmReport : public Form {
 public:
  frmReport();
  Ctl<Label> lblStart{this, "lblStart"};
  Ctl<Label> lblEndTime{this, "lblEndTime"};
  Ctl<ListBox> List1{this, "List1"};

 protected:
  void Design() override;
};

frmReport& TheReport();
