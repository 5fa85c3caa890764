// Connection points: sinks held by a source object, and sinks that hosts hand to sources.
#include "com/connection.h"

#include <algorithm>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "com/enumerator.h"

using EnumConnectionsImpl =
    SnapshotEnum<IEnumConnections, CONNECTDATA, std::pair<DWORD, ComPtr<IUnknown>>>;
using EnumPointsImpl = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>>;

// ---- ConnectionPoint ---------------------------------------------------------------------------

ConnectionPoint::ConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID iid,
                                 std::vector<IID> aliases)
    : owner_(owner), container_(container), iid_(iid), aliases_(std::move(aliases)) {}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IConnectionPoint::iid) return E_NOINTERFACE;
  *ppv = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}
ULONG ConnectionPoint::AddRef() { return owner_->AddRef(); }
ULONG ConnectionPoint::Release() { return owner_->Release(); }

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  container_->AddRef();
  *out = container_;
  return S_OK;
}

bool ConnectionPoint::Accepts(REFIID iid) const {
  return iid == iid_ || std::find(aliases_.begin(), aliases_.end(), iid) != aliases_.end();
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  ComPtr<IUnknown> answered;
  if (FAILED(sink->QueryInterface(iid_, answered.put_void()))) {
    for (const IID& alias : aliases_)
      if (SUCCEEDED(sink->QueryInterface(alias, answered.put_void()))) break;
  }
  if (!answered) return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  sinks_.emplace_back(*cookie, std::move(answered));
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](auto& s) { return s.first == cookie; });
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  ComPtr<IUnknown> released = std::move(it->second);  // released after the list is consistent
  sinks_.erase(it);
  return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = MakeComObject<EnumConnectionsImpl>(sinks_).Detach();
  return S_OK;
}

size_t ConnectionPoint::SinkCount() const { return sinks_.size(); }

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
  std::vector<ComPtr<IUnknown>> out;
  out.reserve(sinks_.size());
  for (auto& s : sinks_) out.push_back(s.second);
  return out;
}

void ConnectionPoint::FireDispatch(DISPID id, std::vector<Variant> args) {
  auto sinks = Sinks();
  if (sinks.empty()) return;
  // The source object stays alive while its sinks run, even when one of them releases it.
  ComPtr<IUnknown> keepAlive(owner_);
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  for (auto& sink : sinks) {
    // Each sink gets its own copy of by-value arguments; by-reference ones share the storage.
    std::vector<Variant> call = reversed;
    DISPPARAMS params;
    params.rgvarg = call.empty() ? nullptr : call.data();
    params.cArgs = static_cast<uint32_t>(call.size());
    static_cast<IDispatch*>(sink.Get())
        ->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

// ---- ConnectionPointContainerImpl ----------------------------------------------------------------

ConnectionPointContainerImpl::ConnectionPointContainerImpl() = default;
ConnectionPointContainerImpl::~ConnectionPointContainerImpl() = default;

ConnectionPoint& ConnectionPointContainerImpl::AddConnectionPoint(IUnknown* owner, REFIID iid,
                                                                  std::vector<IID> aliases) {
  points_.push_back(std::make_unique<ConnectionPoint>(owner, this, iid, std::move(aliases)));
  return *points_.back();
}

ConnectionPoint* ConnectionPointContainerImpl::FindPoint(REFIID iid) const {
  for (auto& p : points_)
    if (p->Accepts(iid)) return p.get();
  return nullptr;
}

HRESULT ConnectionPointContainerImpl::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  std::vector<ComPtr<IConnectionPoint>> items;
  for (auto& p : points_) items.emplace_back(p.get());
  *out = MakeComObject<EnumPointsImpl>(std::move(items)).Detach();
  return S_OK;
}

HRESULT ConnectionPointContainerImpl::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  ConnectionPoint* p = FindPoint(riid);
  if (!p) return CONNECT_E_NOCONNECTION;
  p->AddRef();
  *out = p;
  return S_OK;
}

// ---- SinkArgs and EventSink -----------------------------------------------------------------------

size_t SinkArgs::Count() const { return params_ ? params_->cArgs : 0; }

Variant& SinkArgs::Raw(size_t i) const {
  if (i >= Count()) Raise(vbErrWrongArgCount);
  return params_->rgvarg[params_->cArgs - 1 - i];
}

Variant SinkArgs::Get(size_t i) const { return Raw(i).Deref(); }
int32_t SinkArgs::Long(size_t i) const { return CLng(Get(i)); }
double SinkArgs::Double(size_t i) const { return CDbl(Get(i)); }
bool SinkArgs::Bool(size_t i) const { return CBool(Get(i)); }
std::string SinkArgs::String(size_t i) const { return CStr(Get(i)); }

void SinkArgs::Set(size_t i, const Variant& value) {
  Variant& target = Raw(i);
  if (!target.IsByRef()) Raise(vbErrTypeMismatch, "The event argument " + std::to_string(i) + " is not passed by reference");
  target.Assign(value);
}

EventSink::EventSink(REFIID eventIid, std::vector<IID> aliases) : iid_(eventIid), aliases_(std::move(aliases)) {}

EventSink& EventSink::On(DISPID id, Handler handler) {
  handlers_[id] = std::move(handler);
  return *this;
}

HRESULT EventSink::QueryOther(REFIID riid, void** ppv) {
  if (riid != iid_ && std::find(aliases_.begin(), aliases_.end(), riid) == aliases_.end()) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

HRESULT EventSink::GetTypeInfoCount(uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(uint32_t, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT EventSink::GetIDsOfNames(REFIID, const char16_t**, uint32_t count, LCID, DISPID* ids) {
  for (uint32_t i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, uint32_t*) {
  if (result) *result = Variant();
  auto it = handlers_.find(id);
  if (it == handlers_.end()) return S_OK;
  // A handler may replace itself or release the sink: run a copy.
  Handler handler = it->second;
  DISPPARAMS none;
  SinkArgs args(params ? params : &none);
  try {
    handler(args);
    return S_OK;
  } catch (...) {
    HRESULT hr = HResultFromCurrentException();
    if (!excepInfo) return hr;
    ComPtr<IErrorInfo> info;
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = hr;
    if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(&excepInfo->bstrDescription);
    return DISP_E_EXCEPTION;
  }
}

namespace {
ComPtr<IConnectionPoint> PointOf(IUnknown* source, REFIID iid) {
  if (!source) Raise(vbErrObjectNotSet);
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  if (FAILED(source->QueryInterface(IConnectionPointContainer::iid, container.put_void())) ||
      FAILED(container->FindConnectionPoint(iid, point.put())))
    Raise(CONNECT_E_NOCONNECTION, "The object raises no events of " + GuidToString(iid));
  return point;
}
}  // namespace

DWORD ConnectEvents(IUnknown* source, REFIID iid, IUnknown* sink) {
  if (!sink) Raise(vbErrObjectNotSet);
  ComPtr<IConnectionPoint> point = PointOf(source, iid);
  DWORD cookie = 0;
  HRESULT hr = point->Advise(sink, &cookie);
  if (FAILED(hr)) Raise(hr, "The object refused the event sink for " + GuidToString(iid));
  return cookie;
}

void DisconnectEvents(IUnknown* source, REFIID iid, DWORD cookie) {
  Check(PointOf(source, iid)->Unadvise(cookie));
}
