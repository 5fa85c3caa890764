#pragma once
// The codec manager control class: the automation members on the ActiveX control base, 32 × 32
// pixels with auto-size, invisible at run time, drawing its icon (resource 201) at design time.
#include "KitbrokerObj.h"
#include "forms/activexcontrol.h"
#include "forms/picture.h"

namespace kitbroker {

// OLEMISC flags of the class: recompose on resize, no links inside, inside-out, activate when
// visible, invisible at run time, client site first.
constexpr DWORD kKitbrokerMiscStatus = 132497;

class KitbrokerControl : public KitbrokerCore<ActiveXControl<IKitbrokerObj>> {
 public:
  KitbrokerControl();

 protected:
  void OnDraw(HDC hdc, const RECT& bounds) override;

 private:
  Picture icon_;
};

}  // namespace kitbroker
