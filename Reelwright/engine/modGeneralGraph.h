#pragma once
// modGeneral's graph procedures: preparing a render engine's filter graph for writing an AVI
// file. The multiplexer and the file writer are added unconnected; rendering the engine's group
// outputs afterwards connects through them, since rendering prefers filters already in the graph.
#include <string>

#include "des/timeline.h"
#include "dshow/interfaces.h"

namespace modGeneral {

// The graph's description of a pin (the same pin object, found among the pins of the graph's
// filters in collection order), or no object. Any failure gives no object.
ComPtr<IPinInfo> FindPinInfo(IMediaControl* graph, IPin* pin);

// Adds every registered "file writer" and "avi mux" (names compared trimmed and without regard to
// letter case) to the graph and gives the last writer added the target path. Nothing is
// connected. Any failure ends the procedure silently.
void AddFileWriterAndMux(IMediaControl* graph, const std::string& target);

// Renders every group output of the engine's graph (found through the graph's own description of
// the pin), so that each connects through the filters already in the graph. A group whose pin
// cannot be found or rendered is skipped; nothing is reported.
void RenderGroupOutputs(IRenderEngine* engine, IAMTimeline* timeline);

// The text of a graph's failure: the media layer's own text of the code, else the system's
// (without its line end), else the runtime's description of the number.
std::string GraphErrorText(HRESULT hr);

// The HRESULT of an abort the graph reported (EC_ERRORABORT or EC_STREAM_ERROR_STOPPED), taken
// from its event queue, which this empties; E_FAIL when none is queued.
HRESULT AbortResult(IMediaControl* graph);

}  // namespace modGeneral
