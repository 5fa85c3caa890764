#pragma once
// Taking another interface of an object the way the modules' object assignments do: no object
// raises error 91, an object without the interface raises its QueryInterface failure.
#include "core/error.h"
#include "core/unknown.h"

namespace modGeneral {

template <class I>
ComPtr<I> Cast(IUnknown* p) {
  if (!p) Raise(vbErrObjectNotSet);
  ComPtr<I> out;
  Check(p->QueryInterface(IidOf<I>(), out.put_void()));
  return out;
}

// The object a reference holds; an empty reference raises error 91, as a call on Nothing does,
// so a step whose object was never made fails as a step.
template <class I>
I* Held(const ComPtr<I>& p) {
  if (!p) Raise(vbErrObjectNotSet);
  return p.Get();
}

}  // namespace modGeneral
