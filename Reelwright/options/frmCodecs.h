#pragma once
// frmCodecs: the "Installed Codecs" window: the registered filters whose name contains "video"
// and two labels that explain the manual codec choice. It changes nothing.
#include "core/unknown.h"
#include "dshow/interfaces.h"
#include "forms/controls.h"
#include "forms/form.h"

class frmCodecs : public Form {
 public:
  frmCodecs();
  // Refills List2 as the options window's procedure of that name does.
  void RefreshRegFilters();

  Ctl<ListBox> List2{this, "List2"};
  Ctl<Label> Label1{this, "Label1"};
  Ctl<Label> Label2{this, "Label2"};
  Ctl<CommandButton> Command1{this, "Command1"};

 protected:
  void Design() override;

 private:
  ComPtr<IMediaControl> m_objFilgraph;
  ComPtr<IAMCollection> m_objRegFilters;
};
