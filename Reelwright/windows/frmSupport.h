#pragma once
// frmSupport: the "Customer Support" window: a mail to technical support, the support web page
// and the tutorial, each handed to the desktop's opener; the window stays open until Exit.
#include "forms/controls.h"
#include "forms/form.h"

class frmSupport : public Form {
 public:
  frmSupport();

 protected:
  void Design() override;
};
