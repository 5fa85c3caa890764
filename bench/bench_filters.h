#pragma once
// Filters for the benchmarks' graphs.
#include <string>

#include "com/com.h"
#include "dshow/dshow.h"
#include "dshow/filters.h"

namespace bench {

// A new instance of the registered filter with the name (the first one that can be made), or
// null.
inline ComPtr<IBaseFilter> CreateFilter(const std::u16string& name) {
  for (auto& t : dshow::RegisteredFilters()) {
    if (t.name != name) continue;
    ComPtr<IBaseFilter> f;
    if (SUCCEEDED(t.create(f.put()))) return f;
  }
  return nullptr;
}

// The object's interface I, or null when it has none.
template <class I>
ComPtr<I> As(IUnknown* p) {
  ComPtr<I> out;
  p->QueryInterface(I::iid, out.put_void());
  return out;
}

}  // namespace bench
