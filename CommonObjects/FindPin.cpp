#include "FindPin.h"

namespace graphparts {

HRESULT FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index, bool connected, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  if (!filter) return E_POINTER;
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(pins.put());
  if (FAILED(hr)) return hr;
  if (!pins) return E_UNEXPECTED;
  int counted = 0;
  for (;;) {
    ComPtr<IPin> candidate;
    ULONG fetched = 0;
    if (pins->Next(1, candidate.put(), &fetched) != S_OK || fetched != 1 || !candidate) break;
    ComPtr<IPin> peer;
    HRESULT connection = candidate->ConnectedTo(peer.put());
    bool qualifies = connected ? connection == S_OK : connection == VFW_E_NOT_CONNECTED;
    if (!qualifies) continue;
    PIN_DIRECTION dir = PINDIR_INPUT;
    if (FAILED(candidate->QueryDirection(&dir)) || dir != direction) continue;
    if (counted++ == index) {
      *pin = candidate.Detach();
      return S_OK;
    }
  }
  return S_FALSE;
}

std::vector<ComPtr<IBaseFilter>> FiltersOf(IFilterGraph* graph) {
  std::vector<ComPtr<IBaseFilter>> all;
  ComPtr<IEnumFilters> filters;
  if (!graph || FAILED(graph->EnumFilters(filters.put())) || !filters) return all;
  for (;;) {
    ComPtr<IBaseFilter> f;
    ULONG fetched = 0;
    if (filters->Next(1, f.put(), &fetched) != S_OK || fetched != 1 || !f) break;
    all.push_back(f);
  }
  return all;
}

}  // namespace graphparts
