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
//   sink->On(1, [](EventArgs& a) { ... a.String(0) ... a.Set(2, Variant(true)); });
//   DWORD cookie = ConnectEvents(source, DIID__ProbeEvents, sink.Get());
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "com/object.h"
#include "core/variant.h"

// One connection point of an object. Its reference count is the owning object's (it lives
// inside it); sinks are called in the order they were advised.
class ConnectionPoint final : public IConnectionPoint {
 public:
  // owner: the object's controlling IUnknown (not counted); container: its
  // IConnectionPointContainer; aliases: further interface identifiers a sink may answer instead.
  ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid,
                  std::vector<IID> aliases = {});
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;
  ~ConnectionPoint();

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetConnectionInterface(IID* iid) override;
  HRESULT GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT Unadvise(DWORD cookie) override;
  HRESULT EnumConnections(IEnumConnections** out) override;

  REFIID Iid() const { return iid_; }
  bool Accepts(REFIID iid) const;
  size_t SinkCount() const;
  // The sinks as advised (each as the interface it answered), in order.
  std::vector<ComPtr<IUnknown>> Sinks() const;
  // Raises a dispatch event: IDispatch::Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
  // DISPATCH_METHOD) on every sink in order, the arguments given in their natural order and
  // passed last first. By-reference arguments (Variant::ByRef) let a sink write back. The sinks'
  // results are ignored; a sink advised or unadvised during the event does not change this round.
  void FireDispatch(DISPID id, std::vector<Variant> args = {});
  // Calls fn on every sink of a custom interface (IPropertyNotifySink, ...).
  template <class I, class F>
  void ForEach(F&& fn) {
    for (auto& s : Sinks()) fn(static_cast<I*>(s.Get()));
  }

 private:
  IUnknown* owner_;
  IConnectionPointContainer* container_;
  IID iid_;
  std::vector<IID> aliases_;
  std::vector<std::pair<DWORD, ComPtr<IUnknown>>> sinks_;
  DWORD nextCookie_ = 1;
};

// IConnectionPointContainer over the connection points a class adds in its constructor. List it
// among the interfaces of ComObject<>.
class ConnectionPointContainerImpl : public IConnectionPointContainer {
 public:
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

 protected:
  ConnectionPointContainerImpl();
  ~ConnectionPointContainerImpl();
  // owner: the object's controlling IUnknown (ComObject::Unknown()).
  ConnectionPoint& AddConnectionPoint(IUnknown* owner, REFIID iid, std::vector<IID> aliases = {});
  ConnectionPoint* FindPoint(REFIID iid) const;

 private:
  std::vector<std::unique_ptr<ConnectionPoint>> points_;
};

// The arguments of an event as a sink receives them, in their natural order.
class EventArgs {
 public:
  explicit EventArgs(DISPPARAMS* params) : params_(params) {}
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
  using Handler = std::function<void(EventArgs&)>;
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

// Advises sink on source's connection point for iid and returns the cookie; raises a runtime
// error when the source has no such point or refuses the sink.
DWORD ConnectEvents(IUnknown* source, REFIID iid, IUnknown* sink);
void DisconnectEvents(IUnknown* source, REFIID iid, DWORD cookie);
