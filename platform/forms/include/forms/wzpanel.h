#pragma once
// The panel control WzPanel: a plain container. It fills itself with its BackColor (the button
// face unless set), draws its Picture at its top-left corner and a thin raised edge around it.
// What it holds moves, shows, hides and goes to the front with it. It raises no events of its
// own: clicks reach the controls it holds.
#include "forms/control.h"
#include "forms/picture.h"

class WzPanel : public Control {
 public:
  explicit WzPanel(const ControlSite& site);
  bool IsContainer() const override { return true; }
  Picture GetPicture() const;
  void SetPicture(const Picture& p);
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;
};
