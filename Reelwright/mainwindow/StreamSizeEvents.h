#pragma once
// The frame-size object's OnError event, sunk to a handler of the main window.
#include <functional>

#include "core/unknown.h"

// Connects a sink for OnError (arguments: the error value and its description) to `source`;
// returns the sink (kept by the caller) and sets `cookie`. Raises when the source has no such
// connection point.
ComPtr<IUnknown> SinkStreamSizeErrors(IUnknown* source, std::function<void()> onError, DWORD& cookie);
void UnsinkStreamSizeErrors(IUnknown* source, DWORD cookie);
