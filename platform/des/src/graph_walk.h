#pragma once
// The filters of a graph and the pins of a filter, in enumeration order.
#include <vector>

#include "dshow/interfaces.h"

namespace des_detail {

inline std::vector<ComPtr<IBaseFilter>> FiltersOf(IFilterGraph* graph) {
  std::vector<ComPtr<IBaseFilter>> filters;
  ComPtr<IEnumFilters> e;
  if (FAILED(graph->EnumFilters(e.put())) || !e) return filters;
  IBaseFilter* f = nullptr;
  ULONG got = 0;
  while (e->Next(1, &f, &got) == S_OK && got == 1) filters.push_back(ComPtr<IBaseFilter>::Attach(f));
  return filters;
}

inline std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(filter->EnumPins(e.put())) || !e) return pins;
  IPin* p = nullptr;
  ULONG got = 0;
  while (e->Next(1, &p, &got) == S_OK && got == 1) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

}  // namespace des_detail
