#pragma once
// The type description of the graph manager's automation ("QuartzTypeLib") and a base for its
// automation objects, whose IDispatch is served from it.
#include <memory>

#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "internal.h"

namespace dshow {

constexpr GUID LIBID_QuartzTypeLib = MakeGuid("{56A868B0-0AD4-11CE-B03A-0020AF0BA770}");
// The graph manager answers its automation interfaces through one IDispatch: this
// dispinterface gathers their members (IMediaControl, IMediaEvent, IMediaPosition,
// IBasicAudio, IVideoWindow, IBasicVideo).
constexpr IID DIID_FilgraphManagerAutomation = MakeGuid("{9E2F4A61-3B7C-4D58-A1E0-6C4B2D8F7A31}");

std::shared_ptr<const TypeLibDesc> QuartzTypeLib();

template <class I>
class AutomationObject : public ComObject<I> {
 public:
  HRESULT GetTypeInfoCount(uint32_t* count) override { return dispatcher_.GetTypeInfoCount(count); }
  HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out) override {
    return dispatcher_.GetTypeInfo(index, lcid, out);
  }
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid,
                        DISPID* ids) override {
    return dispatcher_.GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr) override {
    return dispatcher_.Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
  }

 protected:
  AutomationObject() : dispatcher_(QuartzTypeLib(), I::iid) {}
  Dispatcher& Dispatch() { return dispatcher_; }

 private:
  Dispatcher dispatcher_;
};

// Raises a failed result as the automation error it is.
inline void Ok(HRESULT hr) {
  if (FAILED(hr)) Check(hr);
}

}  // namespace dshow
