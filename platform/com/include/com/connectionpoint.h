#pragma once
// Connection points, the source side: a class holds its sinks and raises events to them.
//
//   class Probe : public DispatchObject<IProbe, ConnectionPointContainerImpl> {
//     Probe() { events_ = &AddConnectionPoint(Unknown(), DIID__ProbeEvents); }
//     void Raise() { events_->FireDispatch(1, {Variant("text"), Variant(int32_t{7})}); }
//     ConnectionPoint* events_;
//   };
//
// (The host side, EventSink, is in com/connection.h.)
#include <memory>
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

// Advises sink on source's connection point for iid and returns the cookie; raises a runtime
// error when the source has no such point or refuses the sink.
DWORD ConnectEvents(IUnknown* source, REFIID iid, IUnknown* sink);
void DisconnectEvents(IUnknown* source, REFIID iid, DWORD cookie);
