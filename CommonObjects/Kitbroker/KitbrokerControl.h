#pragma once
// The codec manager control class: the automation members with the class's information for its
// host (its default source found through IProvideClassInfo2).
#include "KitbrokerObj.h"

namespace kitbroker {

class KitbrokerControl : public KitbrokerCore<ProvideClassInfoImpl> {
 public:
  KitbrokerControl() { SetClassInfoSource(kLibId, 1, 0, CLSID_Kitbroker); }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid != IProvideClassInfo::iid) return E_NOINTERFACE;
    *ppv = static_cast<IProvideClassInfo*>(static_cast<ProvideClassInfoImpl*>(this));
    AddRef();
    return S_OK;
  }
};

}  // namespace kitbroker
