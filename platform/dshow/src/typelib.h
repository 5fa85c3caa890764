#pragma once
// The type description of the graph manager's automation ("FilterGraphAutomation") and a base for its
// automation objects, whose IDispatch is served from it.
#include <memory>

#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "internal.h"

namespace dshow {

constexpr GUID LIBID_FilterGraphAutomation = MakeGuid("{56A868B0-0AD4-11CE-B03A-0020AF0BA770}");
// The graph manager answers its automation interfaces through one IDispatch: this
// dispinterface gathers their members (IMediaControl, IMediaEvent, IMediaPosition,
// IBasicAudio, IVideoWindow, IBasicVideo).
constexpr IID DIID_FilgraphManagerAutomation = MakeGuid("{9E2F4A61-3B7C-4D58-A1E0-6C4B2D8F7A31}");

std::shared_ptr<const TypeLibDesc> AutomationTypeLib();

// An automation object of the graph manager: its IDispatch is served from its type description.
template <class I>
class AutomationObject : public DispatchObject<I> {
 protected:
  AutomationObject() : DispatchObject<I>((AutomationTypeLib(), LIBID_FilterGraphAutomation), 1, 0, I::iid) {}
};

// Raises a failed result as the automation error it is.
inline void Ok(HRESULT hr) {
  if (FAILED(hr)) Check(hr);
}

}  // namespace dshow
