#include "KitbrokerControl.h"

#include "com/server.h"
#include "forms/respicture.h"

namespace kitbroker {

KitbrokerControl::KitbrokerControl()
    : KitbrokerCore(kLibId, 1, 0, IKitbrokerObj::iid, CLSID_Kitbroker,
                    ActiveXTraits{32, 32, true, kKitbrokerMiscStatus}) {
  try {
    icon_ = LoadResPicture(ThisComServer().ModulePath(), 201, vbResIcon);
  } catch (...) {
    // Without its icon the control draws nothing; it works the same.
  }
}

void KitbrokerControl::OnDraw(HDC hdc, const RECT& bounds) {
  if (icon_) DrawIcon(hdc, bounds.left, bounds.top, icon_.Handle());
}

}  // namespace kitbroker
