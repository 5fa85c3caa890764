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

}  // namespace modGeneral
