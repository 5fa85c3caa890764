#pragma once
// The pin lookup both graph component libraries use.
#include "dshow/interfaces.h"

namespace graphparts {

// The index-th (from 0) pin of the filter in the direction that is connected (ConnectedTo answers
// S_OK) or unconnected (ConnectedTo answers VFW_E_NOT_CONNECTED); a pin answering anything else
// never counts. S_OK and the pin with a reference; S_FALSE and null when there is none; the
// enumeration's failure and null when the pins cannot be enumerated.
HRESULT FindPin(IBaseFilter* filter, PIN_DIRECTION direction, int index, bool connected, IPin** pin);

}  // namespace graphparts
