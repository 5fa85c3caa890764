#pragma once
// Device enumeration: the system device enumerator lists the members of a category (video and
// audio compressors, ...) as monikers; a moniker binds to its property bag ("FriendlyName") and
// to its filter, and its display name parses back into the moniker.
#include "com/moniker.h"
#include "com/olecontrol.h"  // IPropertyBag
#include "core/unknown.h"
#include "core/variant.h"

class ICreateDevEnum : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{29840822-5B84-11D0-BD3B-00A0C911CE86}");
  // S_FALSE and a null enumerator for a category without members.
  virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** ppEnum, DWORD flags) = 0;
};
