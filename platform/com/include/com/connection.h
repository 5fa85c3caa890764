#pragma once
// Connection points: the source side (a class holds its sinks and raises events to them) and
// the host side (a sink that maps events onto C++ handlers).
//
// Source side:
//   class Probe : public DispatchObject<IProbe, ConnectionPointContainerImpl> {
//     Probe() { events_ = &AddConnectionPoint(Unknown(), DIID__ProbeEvents); }
//     void Raise() { events_->FireDispatch(1, {Variant("text"), Variant(int32_t{7})}); }
//     ConnectionPoint* events_;
//   };
//
// Host side:
//   auto sink = MakeComObject<EventSink>(DIID__ProbeEvents);
//   sink->On(1, [](SinkArgs& a) { ... a.String(0) ... a.Set(2, Variant(true)); });
//   DWORD cookie = ConnectEvents(source, DIID__ProbeEvents, sink.Get());
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/connectionpoint.h"
#include "com/interfaces.h"
#include "com/object.h"
#include "core/variant.h"

// The arguments of an event as a sink receives them, in their natural order.
class SinkArgs {
 public:
  explicit SinkArgs(DISPPARAMS* params) : params_(params) {}
  size_t Count() const;
  // The i-th argument's value (by-reference arguments read through).
  Variant Get(size_t i) const;
  int32_t Long(size_t i) const;
  double Double(size_t i) const;
  bool Bool(size_t i) const;
  std::string String(size_t i) const;
  // Writes a by-reference argument back to the source (raises a type mismatch for a by-value
  // argument, whose change the source could not see).
  void Set(size_t i, const Variant& value);

 private:
  Variant& Raw(size_t i) const;
  DISPPARAMS* params_;
};

// A sink for a dispinterface of events: each handled DISPID runs its handler; events without a
// handler are accepted and ignored. QueryInterface answers IUnknown, IDispatch and the event
// interface (and its aliases).
class EventSink : public ComObject<IDispatch> {
 public:
  using Handler = std::function<void(SinkArgs&)>;
  explicit EventSink(REFIID eventIid, std::vector<IID> aliases = {});
  EventSink& On(DISPID id, Handler handler);

  HRESULT GetTypeInfoCount(uint32_t* count) override;
  HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out) override;
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid,
                        DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr) override;

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override;

 private:
  IID iid_;
  std::vector<IID> aliases_;
  std::map<DISPID, Handler> handlers_;
};

