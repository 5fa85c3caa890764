#pragma once
// The pin and filter lookups both graph component libraries use.
#include <vector>

#include "dshow/interfaces.h"

namespace graphparts {

// The index-th (from 0) pin of the filter in the direction that is connected (ConnectedTo answers
// S_OK) or unconnected (ConnectedTo answers VFW_E_NOT_CONNECTED); a pin answering anything else
// never counts. S_OK and the pin with a reference; S_FALSE and null when there is none; the
// enumeration's failure and null when the pins cannot be enumerated.
HRESULT FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index, bool connected, IPin** pin);

// The graph's filters in its order, each with a reference (empty when they cannot be listed).
std::vector<ComPtr<IBaseFilter>> FiltersOf(IFilterGraph* graph);

}  // namespace graphparts
