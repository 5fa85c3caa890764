// The filter graph manager: filters and connections, intelligent connection and rendering,
// states with the reference clock, events, position and rate, forwarding of the renderers'
// audio and video interfaces.
#include "graph.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "com/com.h"
#include "com/enumerator.h"
#include "forms/hwnd.h"
#include "typelib.h"

namespace dshow {

// --- Clock ----------------------------------------------------------------------------------

int64_t SystemClockNow() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

namespace {

class SystemClock : public ComObject<IReferenceClock> {
 public:
  HRESULT GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    *time = SystemClockNow();
    return S_OK;
  }
};

using FilterEnum = SnapshotEnum<IEnumFilters, IBaseFilter*, ComPtr<IBaseFilter>>;

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* f) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(f->EnumPins(e.put())) || !e) return pins;
  IPin* p = nullptr;
  ULONG got = 0;
  while (e->Next(1, &p, &got) == S_OK && got == 1) pins.push_back(ComPtr<IPin>::Attach(p));
  return pins;
}

PIN_DIRECTION DirectionOf(IPin* p) {
  PIN_DIRECTION d = PINDIR_INPUT;
  p->QueryDirection(&d);
  return d;
}

bool Connected(IPin* p) {
  ComPtr<IPin> other;
  return SUCCEEDED(p->ConnectedTo(other.put())) && other;
}

ComPtr<IBaseFilter> OwnerOf(IPin* p) {
  PIN_INFO info;
  if (FAILED(p->QueryPinInfo(&info))) return nullptr;
  return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

std::vector<MediaType> TypesOf(IPin* p) {
  std::vector<MediaType> types;
  ComPtr<IEnumMediaTypes> e;
  if (FAILED(p->EnumMediaTypes(e.put())) || !e) return types;
  AM_MEDIA_TYPE* mt = nullptr;
  ULONG got = 0;
  while (types.size() < 64 && e->Next(1, &mt, &got) == S_OK && got == 1) {
    types.emplace_back(*mt);
    DeleteMediaType(mt);
  }
  return types;
}

bool TemplateAccepts(const FilterTemplate& t, const std::vector<MediaType>& types) {
  for (const auto& mt : types)
    for (const auto& [major, sub] : t.inputs)
      if ((major == GUID_NULL || major == mt.majortype) && (sub == GUID_NULL || sub == mt.subtype))
        return true;
  return false;
}

Filter* Ours(IBaseFilter* f) { return dynamic_cast<Filter*>(f); }

}  // namespace

ComPtr<IReferenceClock> MakeSystemClock() {
  return ComPtr<IReferenceClock>(MakeComObject<SystemClock>().Get());
}

// --- Graph ----------------------------------------------------------------------------------

namespace {

// Holds a reference to the graph through a call that may answer window messages while it waits
// (a stop waiting for the streaming threads, WaitForCompletion): a handler among them may drop
// what was the last reference, and the graph must not be taken apart under the waiting call. Made
// before the call takes the graph's lock, so that a teardown at its end finds the lock free.
class KeepAlive {
 public:
  explicit KeepAlive(FilterGraph* graph) : graph_(graph) { graph_->AddRef(); }
  KeepAlive(const KeepAlive&) = delete;
  KeepAlive& operator=(const KeepAlive&) = delete;
  ~KeepAlive() { graph_->Release(); }

 private:
  FilterGraph* graph_;
};

}  // namespace

FilterGraph::FilterGraph() : clock_(MakeSystemClock()) { BindAutomation(); }

FilterGraph::~FilterGraph() = default;

void FilterGraph::BindAutomation() {
  dispatch_ = std::make_unique<Dispatcher>(AutomationTypeLib(), DIID_FilgraphManagerAutomation);
  Dispatcher& d = *dispatch_;
  using Getter = HRESULT (FilterGraph::*)(LONG*);
  using Setter = HRESULT (FilterGraph::*)(LONG);
  auto longProperty = [&](DISPID id, Getter get, Setter put) {
    d.Get(id, [this, get](DispatchArgs&) {
      LONG v = 0;
      Ok((this->*get)(&v));
      return Variant(v);
    });
    d.Put(id, [this, put](DispatchArgs& a) {
      Ok((this->*put)(a.Long(0)));
      return Variant();
    });
  };
  using GetterD = HRESULT (FilterGraph::*)(REFTIME*);
  using SetterD = HRESULT (FilterGraph::*)(REFTIME);
  auto doubleProperty = [&](DISPID id, GetterD get, SetterD put) {
    d.Get(id, [this, get](DispatchArgs&) {
      double v = 0;
      Ok((this->*get)(&v));
      return Variant(v);
    });
    if (put)
      d.Put(id, [this, put](DispatchArgs& a) {
        Ok((this->*put)(a.Double(0)));
        return Variant();
      });
  };
  d.Method(1, [this](DispatchArgs&) { Ok(Run()); return Variant(); })
      .Method(2, [this](DispatchArgs&) { Ok(Pause()); return Variant(); })
      .Method(3, [this](DispatchArgs&) { Ok(Stop()); return Variant(); })
      .Method(4, [this](DispatchArgs& a) {
        OAFilterState st = 0;
        HRESULT hr = GetState(a.Long(0), &st);
        a.Set(1, Variant(static_cast<int32_t>(st)));
        Ok(hr);
        return Variant();
      })
      .Method(5, [this](DispatchArgs& a) { Ok(RenderFile(a.BString(0))); return Variant(); })
      .Method(6, [this](DispatchArgs& a) {
        ComPtr<IDispatch> info;
        Ok(AddSourceFilter(a.BString(0), info.put()));
        a.Set(1, Variant(info.Get()));
        return Variant();
      })
      .Get(7, [this](DispatchArgs&) {
        ComPtr<IDispatch> c;
        Ok(get_FilterCollection(c.put()));
        return Variant(c.Get());
      })
      .Get(8, [this](DispatchArgs&) {
        ComPtr<IDispatch> c;
        Ok(get_RegFilterCollection(c.put()));
        return Variant(c.Get());
      })
      .Method(9, [this](DispatchArgs&) { Ok(StopWhenReady()); return Variant(); })
      .Method(11, [this](DispatchArgs& a) {
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = 0;
        HRESULT hr = GetEvent(&code, &p1, &p2, a.Long(3));
        a.Set(0, Variant(code));
        a.Set(1, Variant(static_cast<int32_t>(p1)));
        a.Set(2, Variant(static_cast<int32_t>(p2)));
        Ok(hr);
        return Variant();
      })
      .Method(12, [this](DispatchArgs& a) {
        LONG code = 0;
        HRESULT hr = WaitForCompletion(a.Long(0), &code);
        a.Set(1, Variant(code));
        Ok(hr);
        return Variant();
      })
      .Method(13, [this](DispatchArgs& a) { Ok(CancelDefaultHandling(a.Long(0))); return Variant(); })
      .Method(14, [this](DispatchArgs& a) { Ok(RestoreDefaultHandling(a.Long(0))); return Variant(); })
      .Method(25, [this](DispatchArgs&) {
        LONG v = 0;
        Ok(CanSeekForward(&v));
        return Variant(v);
      })
      .Method(26, [this](DispatchArgs&) {
        LONG v = 0;
        Ok(CanSeekBackward(&v));
        return Variant(v);
      })
      .Get(61, [this](DispatchArgs&) {
        LONG v = 0;
        Ok(get_BitRate(&v));
        return Variant(v);
      })
      .Get(62, [this](DispatchArgs&) {
        LONG v = 0;
        Ok(get_VideoWidth(&v));
        return Variant(v);
      })
      .Get(63, [this](DispatchArgs&) {
        LONG v = 0;
        Ok(get_VideoHeight(&v));
        return Variant(v);
      })
      .Method(64, [this](DispatchArgs& a) {
        LONG w = 0, h = 0;
        HRESULT hr = GetVideoSize(&w, &h);
        a.Set(0, Variant(w));
        a.Set(1, Variant(h));
        Ok(hr);
        return Variant();
      })
      .Method(52, [this](DispatchArgs& a) {
        Ok(SetWindowPosition(a.Long(0), a.Long(1), a.Long(2), a.Long(3)));
        return Variant();
      })
      .Method(53, [this](DispatchArgs& a) {
        LONG l = 0, t = 0, w = 0, h = 0;
        HRESULT hr = GetWindowPosition(&l, &t, &w, &h);
        a.Set(0, Variant(l));
        a.Set(1, Variant(t));
        a.Set(2, Variant(w));
        a.Set(3, Variant(h));
        Ok(hr);
        return Variant();
      })
      .Method(54, [this](DispatchArgs& a) { Ok(SetWindowForeground(a.Long(0))); return Variant(); })
      .Get(40, [this](DispatchArgs&) {
        Bstr c;
        Ok(get_Caption(&c));
        return Variant(c);
      })
      .Put(40, [this](DispatchArgs& a) { Ok(put_Caption(a.BString(0))); return Variant(); });
  doubleProperty(20, &FilterGraph::get_Duration, nullptr);
  doubleProperty(21, &FilterGraph::get_CurrentPosition, &FilterGraph::put_CurrentPosition);
  doubleProperty(22, &FilterGraph::get_StopTime, &FilterGraph::put_StopTime);
  doubleProperty(23, &FilterGraph::get_PrerollTime, &FilterGraph::put_PrerollTime);
  doubleProperty(24, &FilterGraph::get_Rate, &FilterGraph::put_Rate);
  doubleProperty(60, &FilterGraph::get_AvgTimePerFrame, nullptr);
  longProperty(30, &FilterGraph::get_Volume, &FilterGraph::put_Volume);
  longProperty(31, &FilterGraph::get_Balance, &FilterGraph::put_Balance);
  longProperty(41, &FilterGraph::get_WindowStyle, &FilterGraph::put_WindowStyle);
  longProperty(42, &FilterGraph::get_WindowStyleEx, &FilterGraph::put_WindowStyleEx);
  longProperty(43, &FilterGraph::get_AutoShow, &FilterGraph::put_AutoShow);
  longProperty(44, &FilterGraph::get_WindowState, &FilterGraph::put_WindowState);
  longProperty(45, &FilterGraph::get_Visible, &FilterGraph::put_Visible);
  longProperty(46, &FilterGraph::get_Left, &FilterGraph::put_Left);
  longProperty(47, &FilterGraph::get_Width, &FilterGraph::put_Width);
  longProperty(48, &FilterGraph::get_Top, &FilterGraph::put_Top);
  longProperty(49, &FilterGraph::get_Height, &FilterGraph::put_Height);
  d.Get(50, [this](DispatchArgs&) {
    OAHWND v = 0;
    Ok(get_Owner(&v));
    return Variant(static_cast<int32_t>(v));
  });
  d.Put(50, [this](DispatchArgs& a) {
    Ok(put_Owner(static_cast<OAHWND>(static_cast<uint32_t>(a.Long(0)))));
    return Variant();
  });
  d.Get(51, [this](DispatchArgs&) {
    OAHWND v = 0;
    Ok(get_MessageDrain(&v));
    return Variant(static_cast<int32_t>(v));
  });
  d.Put(51, [this](DispatchArgs& a) {
    Ok(put_MessageDrain(static_cast<OAHWND>(static_cast<uint32_t>(a.Long(0)))));
    return Variant();
  });
}

HRESULT FilterGraph::QueryOther(REFIID riid, void** ppv) {
  IUnknown* p = nullptr;
  if (riid == IFilterGraph::iid) p = static_cast<IFilterGraph*>(this);
  else if (riid == IMediaEvent::iid) p = static_cast<IMediaEvent*>(this);
  if (!p) return E_NOINTERFACE;
  *ppv = p;
  AddRef();
  return S_OK;
}

ULONG FilterGraph::Release() {
  ULONG n = --refs_;
  if (n == 0 && !dying_) {
    dying_ = true;
    ++refs_;  // references taken and dropped while tearing down do not come back here
    TearDown();
    delete this;
  }
  return n;
}

void FilterGraph::TearDown() {
  std::lock_guard lock(lock_);
  StopLocked();
  for (auto& e : entries_)
    for (auto& pin : PinsOf(e.filter.Get())) pin->Disconnect();
  for (auto& e : entries_) e.filter->JoinFilterGraph(nullptr, nullptr);
  entries_.clear();
}

// One IDispatch serves every automation interface of the graph manager (their members have
// distinct names and identifiers).
HRESULT FilterGraph::GetTypeInfoCount(uint32_t* n) { return dispatch_->GetTypeInfoCount(n); }
HRESULT FilterGraph::GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out) {
  return dispatch_->GetTypeInfo(index, lcid, out);
}
HRESULT FilterGraph::GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid, DISPID* ids) {
  return dispatch_->GetIDsOfNames(riid, names, count, lcid, ids);
}
HRESULT FilterGraph::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excepInfo, uint32_t* argErr) {
  return dispatch_->Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
}

bool FilterGraph::InGraph(IBaseFilter* f) {
  for (auto& e : entries_)
    if (IsSameObject(e.filter.Get(), f)) return true;
  return false;
}

std::vector<ComPtr<IBaseFilter>> FilterGraph::Filters() {
  std::lock_guard lock(lock_);
  std::vector<ComPtr<IBaseFilter>> out;
  for (auto& e : entries_) out.push_back(e.filter);
  return out;
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filter, const char16_t* name) {
  if (!filter) return E_POINTER;
  std::lock_guard lock(lock_);
  if (InGraph(filter)) return VFW_E_DUPLICATE_NAME;
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), name);
  if (FAILED(hr)) return hr;
  FILTER_INFO info;
  std::u16string actual = name ? name : u"";
  if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
    actual = info.achName;
    if (info.pGraph) info.pGraph->Release();
  }
  filter->SetSyncSource(clock_.Get());
  entries_.push_back({ComPtr<IBaseFilter>(filter), actual});
  return S_OK;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filter) {
  if (!filter) return E_POINTER;
  std::lock_guard lock(lock_);
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (!IsSameObject(it->filter.Get(), filter)) continue;
    // Streaming threads are running through it.
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IBaseFilter> keep = it->filter;
    for (auto& pin : PinsOf(keep.Get())) {
      ComPtr<IPin> other;
      if (SUCCEEDED(pin->ConnectedTo(other.put())) && other) {
        other->Disconnect();
        pin->Disconnect();
      }
    }
    keep->JoinFilterGraph(nullptr, nullptr);
    entries_.erase(it);
    return S_OK;
  }
  return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = MakeComObject<FilterEnum>(Filters()).Detach();
  return S_OK;
}

HRESULT FilterGraph::FindFilterByName(const char16_t* name, IBaseFilter** filter) {
  if (!name || !filter) return E_POINTER;
  std::lock_guard lock(lock_);
  *filter = nullptr;
  for (auto& e : entries_) {
    FILTER_INFO info;
    std::u16string n = e.name;
    if (SUCCEEDED(e.filter->QueryFilterInfo(&info))) {
      n = info.achName;
      if (info.pGraph) info.pGraph->Release();
    }
    if (n == name) {
      *filter = e.filter.Get();
      (*filter)->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) {
  if (!out || !in) return E_POINTER;
  std::lock_guard lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT)
    return VFW_E_INVALID_DIRECTION;
  ComPtr<IBaseFilter> a = OwnerOf(out), b = OwnerOf(in);
  if (!a || !b || !InGraph(a.Get()) || !InGraph(b.Get())) return VFW_E_NOT_IN_GRAPH;
  if (IsSameObject(a.Get(), b.Get())) return VFW_E_CIRCULAR_GRAPH;
  return out->Connect(in, pmt);
}

HRESULT FilterGraph::Reconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(lock_);
  ComPtr<IPin> other;
  if (FAILED(pin->ConnectedTo(other.put()))) return VFW_E_NOT_CONNECTED;
  MediaType mt;
  pin->ConnectionMediaType(&mt);
  IPin* out = DirectionOf(pin) == PINDIR_OUTPUT ? pin : other.Get();
  IPin* in = out == pin ? other.Get() : pin;
  out->Disconnect();
  in->Disconnect();
  HRESULT hr = out->Connect(in, &mt);
  if (FAILED(hr)) hr = out->Connect(in, nullptr);
  return hr;
}

HRESULT FilterGraph::Disconnect(IPin* pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  return pin->Disconnect();
}

HRESULT FilterGraph::SetDefaultSyncSource() {
  std::lock_guard lock(lock_);
  for (auto& e : entries_) e.filter->SetSyncSource(clock_.Get());
  return S_OK;
}

// --- Intelligent connection -----------------------------------------------------------------

namespace {
std::vector<FilterTemplate> ByMerit() {
  auto all = RegisteredFilters();
  std::vector<FilterTemplate> out;
  for (auto& t : all)
    if (t.autoConnect && t.merit > MERIT_DO_NOT_USE) out.push_back(t);
  std::stable_sort(out.begin(), out.end(),
                   [](const FilterTemplate& a, const FilterTemplate& b) { return a.merit > b.merit; });
  return out;
}
}  // namespace

HRESULT FilterGraph::AddRegisteredFilter(const FilterTemplate& t, IBaseFilter** filter) {
  ComPtr<IBaseFilter> f;
  HRESULT hr = t.create(f.put());
  if (FAILED(hr) || !f) return FAILED(hr) ? hr : E_FAIL;
  hr = AddFilter(f.Get(), t.name.c_str());
  if (FAILED(hr)) return hr;
  *filter = f.Detach();
  return S_OK;
}

HRESULT FilterGraph::ConnectVia(IPin* out, IPin* in, int depth) {
  HRESULT hr = out->Connect(in, nullptr);
  if (SUCCEEDED(hr)) return hr;
  if (depth >= 4) return VFW_E_CANNOT_CONNECT;
  auto types = TypesOf(out);
  for (const auto& t : ByMerit()) {
    if (!t.hasOutputs || !TemplateAccepts(t, types)) continue;
    ComPtr<IBaseFilter> f;
    if (FAILED(AddRegisteredFilter(t, f.put()))) continue;
    bool done = false;
    for (auto& fin : PinsOf(f.Get())) {
      if (DirectionOf(fin.Get()) != PINDIR_INPUT || Connected(fin.Get())) continue;
      if (FAILED(out->Connect(fin.Get(), nullptr))) continue;
      for (auto& fout : PinsOf(f.Get())) {
        if (DirectionOf(fout.Get()) != PINDIR_OUTPUT || Connected(fout.Get())) continue;
        if (SUCCEEDED(ConnectVia(fout.Get(), in, depth + 1))) { done = true; break; }
      }
      if (done) break;
      out->Disconnect();
      fin->Disconnect();
    }
    if (done) return S_OK;
    RemoveFilter(f.Get());
  }
  return VFW_E_CANNOT_CONNECT;
}

HRESULT FilterGraph::Connect(IPin* out, IPin* in) {
  if (!out || !in) return E_POINTER;
  std::lock_guard lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (DirectionOf(out) != PINDIR_OUTPUT || DirectionOf(in) != PINDIR_INPUT)
    return VFW_E_INVALID_DIRECTION;
  if (Connected(out) || Connected(in)) return VFW_E_ALREADY_CONNECTED;
  ComPtr<IBaseFilter> a = OwnerOf(out), b = OwnerOf(in);
  if (!a || !b || !InGraph(a.Get()) || !InGraph(b.Get())) return VFW_E_NOT_IN_GRAPH;
  size_t before = entries_.size();
  HRESULT hr = ConnectVia(out, in, 0);
  if (FAILED(hr)) RemoveAddedSince(before);
  return hr;
}

void FilterGraph::RemoveAddedSince(size_t count) {
  while (entries_.size() > count) {
    ComPtr<IBaseFilter> f = entries_.back().filter;
    RemoveFilter(f.Get());
  }
}

HRESULT FilterGraph::RenderOutputs(IBaseFilter* filter, int depth) {
  int outputs = 0, rendered = 0;
  HRESULT lastError = VFW_E_CANNOT_RENDER;
  for (auto& pin : PinsOf(filter)) {
    if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || Connected(pin.Get())) continue;
    ++outputs;
    HRESULT hr = RenderPin(pin.Get(), depth);
    if (SUCCEEDED(hr)) ++rendered;
    else lastError = hr;
  }
  if (outputs == 0) return S_OK;
  if (rendered == 0) return lastError;
  return rendered == outputs ? S_OK : VFW_S_PARTIAL_RENDER;
}

// The filters upstream of a filter (those whose output reaches it), the filter itself included.
static std::vector<ComPtr<IUnknown>> UpstreamOf(IBaseFilter* filter) {
  std::vector<ComPtr<IUnknown>> seen;
  std::vector<ComPtr<IBaseFilter>> todo{ComPtr<IBaseFilter>(filter)};
  while (!todo.empty()) {
    ComPtr<IBaseFilter> f = todo.back();
    todo.pop_back();
    ComPtr<IUnknown> id;
    f->QueryInterface(IID_IUnknown, id.put_void());
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    for (auto& pin : PinsOf(f.Get())) {
      if (DirectionOf(pin.Get()) != PINDIR_INPUT) continue;
      ComPtr<IPin> other;
      if (SUCCEEDED(pin->ConnectedTo(other.put())) && other)
        if (ComPtr<IBaseFilter> up = OwnerOf(other.Get())) todo.push_back(up);
    }
  }
  return seen;
}

HRESULT FilterGraph::RenderPin(IPin* out, int depth) {
  if (depth > 6) return VFW_E_CANNOT_RENDER;
  ComPtr<IBaseFilter> owner = OwnerOf(out);
  // Filters already in the graph come first (none that feeds this pin: that would be a circle).
  std::vector<ComPtr<IBaseFilter>> present;
  for (auto& e : entries_) present.push_back(e.filter);
  auto upstream = owner ? UpstreamOf(owner.Get()) : std::vector<ComPtr<IUnknown>>{};
  for (auto& f : present) {
    ComPtr<IUnknown> id;
    f->QueryInterface(IID_IUnknown, id.put_void());
    if (std::find(upstream.begin(), upstream.end(), id) != upstream.end()) continue;
    for (auto& fin : PinsOf(f.Get())) {
      if (DirectionOf(fin.Get()) != PINDIR_INPUT || Connected(fin.Get())) continue;
      if (SUCCEEDED(out->Connect(fin.Get(), nullptr))) {
        HRESULT hr = RenderOutputs(f.Get(), depth + 1);
        return FAILED(hr) ? VFW_S_PARTIAL_RENDER : hr;
      }
    }
  }
  auto types = TypesOf(out);
  HRESULT lastError = types.empty() ? VFW_E_NO_TYPES : VFW_E_CANNOT_RENDER;
  for (const auto& t : ByMerit()) {
    if (!TemplateAccepts(t, types)) continue;
    size_t before = entries_.size();
    ComPtr<IBaseFilter> f;
    if (FAILED(AddRegisteredFilter(t, f.put()))) continue;
    bool connected = false;
    for (auto& fin : PinsOf(f.Get())) {
      if (DirectionOf(fin.Get()) != PINDIR_INPUT || Connected(fin.Get())) continue;
      HRESULT hr = out->Connect(fin.Get(), nullptr);
      if (SUCCEEDED(hr)) { connected = true; break; }
      lastError = hr;
    }
    if (connected) {
      bool hasOutputs = false;
      for (auto& p : PinsOf(f.Get())) hasOutputs = hasOutputs || DirectionOf(p.Get()) == PINDIR_OUTPUT;
      // A splitter that found nothing it can hand on renders nothing.
      HRESULT hr = t.hasOutputs && !hasOutputs ? VFW_E_UNSUPPORTED_STREAM : RenderOutputs(f.Get(), depth + 1);
      if (SUCCEEDED(hr)) return hr;
      lastError = hr;
      out->Disconnect();
    }
    RemoveAddedSince(before);
  }
  if (lastError == VFW_E_NO_ACCEPTABLE_TYPES || lastError == VFW_E_TYPE_NOT_ACCEPTED)
    lastError = VFW_E_CANNOT_RENDER;
  return lastError;
}

HRESULT FilterGraph::Render(IPin* out) {
  if (!out) return E_POINTER;
  std::lock_guard lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (DirectionOf(out) != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
  if (Connected(out)) return VFW_E_ALREADY_CONNECTED;
  size_t before = entries_.size();
  HRESULT hr = RenderPin(out, 0);
  if (FAILED(hr)) RemoveAddedSince(before);
  return hr;
}

HRESULT FilterGraph::AddSourceFilter(const char16_t* file, const char16_t* filterName,
                                     IBaseFilter** filter) {
  if (!file) return E_POINTER;
  std::string path = U8(file);
  ComPtr<IBaseFilter> src;
  HRESULT hr = CreateFileSource(path, src.put());
  if (FAILED(hr)) return hr;
  hr = AddFilter(src.Get(), filterName && *filterName ? filterName : file);
  if (FAILED(hr)) return hr;
  if (filter) *filter = src.Detach();
  return S_OK;
}

HRESULT FilterGraph::RenderFile(const char16_t* file, const char16_t*) {
  if (!file) return E_POINTER;
  std::lock_guard lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  size_t before = entries_.size();
  ComPtr<IBaseFilter> src;
  HRESULT hr = AddSourceFilter(file, nullptr, src.put());
  if (FAILED(hr)) return hr;
  hr = RenderOutputs(src.Get(), 0);
  if (FAILED(hr)) {
    RemoveAddedSince(before);
    return hr;
  }
  return hr;
}

// --- States ---------------------------------------------------------------------------------

std::vector<ComPtr<IBaseFilter>> FilterGraph::Ordered(bool upstreamFirst) {
  // Level of a filter: the longest chain of filters upstream of it.
  std::map<IBaseFilter*, int> level;
  std::vector<ComPtr<IBaseFilter>> all;
  for (auto& e : entries_) all.push_back(e.filter);
  std::map<IUnknown*, IBaseFilter*> byIdentity;
  for (auto& f : all) {
    ComPtr<IUnknown> id;
    f->QueryInterface(IID_IUnknown, id.put_void());
    byIdentity[id.Get()] = f.Get();
    level[f.Get()] = 0;
  }
  std::map<IBaseFilter*, std::vector<IBaseFilter*>> upstream;
  for (auto& f : all)
    for (auto& pin : PinsOf(f.Get())) {
      if (DirectionOf(pin.Get()) != PINDIR_INPUT) continue;
      ComPtr<IPin> other;
      if (FAILED(pin->ConnectedTo(other.put())) || !other) continue;
      ComPtr<IBaseFilter> up = OwnerOf(other.Get());
      ComPtr<IUnknown> id;
      if (up) up->QueryInterface(IID_IUnknown, id.put_void());
      if (auto it = byIdentity.find(id.Get()); it != byIdentity.end())
        upstream[f.Get()].push_back(it->second);
    }
  for (size_t round = 0; round < all.size(); ++round) {
    bool changed = false;
    for (auto& [f, ups] : upstream)
      for (IBaseFilter* u : ups)
        if (level[f] < level[u] + 1) { level[f] = level[u] + 1; changed = true; }
    if (!changed) break;
  }
  std::stable_sort(all.begin(), all.end(), [&](const auto& a, const auto& b) {
    return upstreamFirst ? level[a.Get()] < level[b.Get()] : level[a.Get()] > level[b.Get()];
  });
  return all;
}

HRESULT FilterGraph::PauseLocked() {
  if (state_ == State_Paused) return S_OK;
  if (state_ == State_Stopped) {
    std::lock_guard ev(eventLock_);
    renderers_ = 0;
    completed_ = 0;
    finished_ = 0;
    running_ = true;
    paced_ = false;
    for (auto& e : entries_)
      if (Filter* f = Ours(e.filter.Get())) {
        bool connected = false;
        for (int i = 0; i < f->PinCount(); ++i)
          if (Pin* p = f->GetPin(i); p && p->IsConnected()) connected = true;
        if (!connected) continue;
        if (f->IsRenderer()) ++renderers_;
        if (f->IsPaced()) paced_ = true;
      }
    progress_ = 0;
  } else {
    std::lock_guard t(timeLock_);
    if (clockRunning_) {
      baseStream_ += static_cast<REFERENCE_TIME>((SystemClockNow() - runClockStart_) * rate_);
      clockRunning_ = false;
    }
  }
  HRESULT result = S_OK;
  for (auto& f : Ordered(false)) {
    HRESULT hr = f->Pause();
    if (FAILED(hr)) result = hr;
  }
  state_ = State_Paused;
  if (FAILED(result)) {
    StopLocked();
    return result;
  }
  return S_OK;
}

// Waits until the pause that starts a run has taken hold: every connected renderer has had a
// sample or the end of its stream, and so has every input of a filter that joins streams (a
// multiplexer writes one stream's samples before another's first arrives), or a stream failed,
// or every streaming thread waits in a paused renderer (one thread feeds several renderers in
// turn). At most 5 s; window messages sent by streaming threads are answered meanwhile. False
// when the time ran out.
bool FilterGraph::AwaitCue() {
  std::vector<Filter*> sinks;
  std::vector<Pin*> joined;
  int sources = 0;
  for (auto& e : entries_) {
    Filter* f = Ours(e.filter.Get());
    if (!f) continue;
    bool in = false, out = false;
    std::vector<Pin*> inputs;
    for (int i = 0; i < f->PinCount(); ++i)
      if (Pin* p = f->GetPin(i); p && p->IsConnected()) {
        (p->Direction() == PINDIR_INPUT ? in : out) = true;
        if (p->Direction() == PINDIR_INPUT) inputs.push_back(p);
      }
    if (f->IsRenderer() && (in || out)) sinks.push_back(f);
    if (f->SourceDuration() >= 0 && out) ++sources;
    if (inputs.size() > 1) joined.insert(joined.end(), inputs.begin(), inputs.end());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::unique_lock ev(eventLock_);
  auto ready = [&] {
    if (finished_ != 0 || !running_) return true;
    if (sources > 0 && held_ >= sources) return true;
    return std::all_of(sinks.begin(), sinks.end(), [](Filter* f) { return f->Cued(); }) &&
           std::all_of(joined.begin(), joined.end(), [](Pin* p) { return p->Cued(); });
  };
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    eventCond_.wait_for(ev, std::chrono::milliseconds(10), ready);
    if (ready()) break;
    ev.unlock();
    RunStreamingWaitPump();
    ev.lock();
  }
  return true;
}

void FilterGraph::StreamHeld(bool held) {
  held_ += held ? 1 : -1;
  eventCond_.notify_all();
}

HRESULT FilterGraph::RunLocked() {
  if (state_ == State_Running) return S_OK;
  const bool fromStopped = state_ == State_Stopped;
  HRESULT hr = PauseLocked();
  if (FAILED(hr)) return hr;
  bool cued = true;
  if (fromStopped) {
    cued = AwaitCue();
    // A message answered while waiting stopped the graph (or ran it).
    if (state_ != State_Paused) return S_FALSE;
  }
  REFERENCE_TIME start;
  {
    std::lock_guard t(timeLock_);
    runClockStart_ = SystemClockNow();
    clockRunning_ = true;
    start = runClockStart_ - static_cast<REFERENCE_TIME>(baseStream_ / rate_);
  }
  HRESULT result = S_OK;
  for (auto& f : Ordered(false)) {
    hr = f->Run(start);
    if (FAILED(hr)) result = hr;
  }
  state_ = State_Running;
  {
    std::lock_guard ev(eventLock_);
    if (renderers_ == 0 && finished_ == 0) {
      finished_ = EC_COMPLETE;
      events_.push_back({EC_COMPLETE, S_OK, 0});
      eventCond_.notify_all();
    }
  }
  if (FAILED(result)) {
    StopLocked();
    return result;
  }
  return cued ? S_OK : S_FALSE;
}

HRESULT FilterGraph::StopLocked() {
  if (state_ == State_Stopped) return S_OK;
  REFERENCE_TIME pos = PositionTime();
  auto order = Ordered(true);
  for (auto& f : order)
    if (Filter* ours = Ours(f.Get())) ours->BeginStop();
  for (auto& f : order) f->Stop();
  state_ = State_Stopped;
  {
    std::lock_guard t(timeLock_);
    clockRunning_ = false;
    baseStream_ = 0;
    seekBase_ = pos;
  }
  {
    std::lock_guard ev(eventLock_);
    running_ = false;
    finished_ = 0;
    eventCond_.notify_all();
  }
  // The next run continues from where this one stopped.
  for (auto& e : entries_)
    if (Filter* f = Ours(e.filter.Get()); f && f->SourceDuration() >= 0) f->SetSourcePosition(pos);
  progress_ = 0;
  return S_OK;
}

HRESULT FilterGraph::Run() {
  KeepAlive keep(this);
  std::lock_guard lock(lock_);
  return RunLocked();
}

HRESULT FilterGraph::Pause() {
  KeepAlive keep(this);
  std::lock_guard lock(lock_);
  return PauseLocked();
}

HRESULT FilterGraph::Stop() {
  KeepAlive keep(this);
  std::lock_guard lock(lock_);
  return StopLocked();
}

HRESULT FilterGraph::StopWhenReady() { return Stop(); }

HRESULT FilterGraph::GetState(LONG, OAFilterState* state) {
  if (!state) return E_POINTER;
  std::lock_guard lock(lock_);
  *state = state_;
  return S_OK;
}

HRESULT FilterGraph::RenderFile(const Bstr& fileName) {
  return RenderFile(fileName.Utf16().c_str(), nullptr);
}

HRESULT FilterGraph::AddSourceFilter(const Bstr& fileName, IDispatch** unk) {
  if (!unk) return E_POINTER;
  *unk = nullptr;
  ComPtr<IBaseFilter> src;
  HRESULT hr = AddSourceFilter(fileName.Utf16().c_str(), nullptr, src.put());
  if (FAILED(hr)) return hr;
  *unk = MakeFilterInfo(this, src.Get()).Detach();
  return S_OK;
}

HRESULT FilterGraph::get_FilterCollection(IDispatch** unk) {
  if (!unk) return E_POINTER;
  *unk = MakeFilterCollection(this).Detach();
  return S_OK;
}

HRESULT FilterGraph::get_RegFilterCollection(IDispatch** unk) {
  if (!unk) return E_POINTER;
  *unk = MakeRegFilterCollection(this).Detach();
  return S_OK;
}

// --- Events ---------------------------------------------------------------------------------

HRESULT FilterGraph::Notify(LONG code, LONG_PTR p1, LONG_PTR p2) {
  std::lock_guard ev(eventLock_);
  if (code == EC_COMPLETE) {
    ++completed_;
    if (completed_ < renderers_ || finished_ != 0) return S_OK;
    finished_ = EC_COMPLETE;
  } else if (code == EC_ERRORABORT || code == EC_USERABORT || code == EC_STREAM_ERROR_STOPPED) {
    if (finished_ == 0) finished_ = code;
  }
  events_.push_back({code, p1, p2});
  if (events_.size() > 1000) events_.pop_front();
  eventCond_.notify_all();
  // A window asked to hear of events gets a message for each (it fetches them with GetEvent).
  if (notifyWindow_ && notifyFlags_ == 0)
    PostMessage(static_cast<HWND>(notifyWindow_), static_cast<UINT>(notifyMessage_), 0,
                static_cast<LPARAM>(notifyData_));
  return S_OK;
}

HRESULT FilterGraph::GetEventHandle(OAEVENT* handle) {
  if (!handle) return E_POINTER;
  *handle = reinterpret_cast<OAEVENT>(&eventCond_);
  return S_OK;
}

HRESULT FilterGraph::GetEvent(LONG* code, LONG_PTR* p1, LONG_PTR* p2, LONG msTimeout) {
  if (!code || !p1 || !p2) return E_POINTER;
  std::unique_lock ev(eventLock_);
  auto ready = [&] { return !events_.empty(); };
  if (msTimeout < 0) eventCond_.wait(ev, ready);
  else eventCond_.wait_for(ev, std::chrono::milliseconds(msTimeout), ready);
  if (events_.empty()) {
    *code = 0;
    return E_ABORT;
  }
  *code = events_.front().code;
  *p1 = events_.front().p1;
  *p2 = events_.front().p2;
  events_.pop_front();
  return S_OK;
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* code) {
  if (!code) return E_POINTER;
  *code = 0;
  KeepAlive keep(this);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<LONG>(msTimeout, 0));
  std::unique_lock ev(eventLock_);
  if (finished_ == 0 && !running_) return VFW_E_WRONG_STATE;
  auto ready = [&] { return finished_ != 0 || !running_; };
  // Waits in slices: between them a streaming thread that waits on this thread (a synchronous
  // window message) gets its answer, so a long wait cannot lock the two threads together.
  while (!ready()) {
    auto now = std::chrono::steady_clock::now();
    if (msTimeout >= 0 && now >= deadline) break;
    auto slice = std::chrono::milliseconds(10);
    if (msTimeout >= 0) slice = std::min(slice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                                    std::chrono::milliseconds(1));
    eventCond_.wait_for(ev, slice, ready);
    if (ready()) break;
    ev.unlock();
    RunStreamingWaitPump();
    ev.lock();
  }
  if (finished_ == 0) return E_ABORT;
  *code = finished_;
  return S_OK;
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND hwnd, LONG msg, LONG_PTR data) {
  std::lock_guard ev(eventLock_);
  notifyWindow_ = hwnd;
  notifyMessage_ = msg;
  notifyData_ = data;
  return S_OK;
}

HRESULT FilterGraph::SetNotifyFlags(LONG flags) {
  if (flags != 0 && flags != 1) return E_INVALIDARG;
  std::lock_guard ev(eventLock_);
  notifyFlags_ = flags;
  return S_OK;
}

HRESULT FilterGraph::GetNotifyFlags(LONG* flags) {
  if (!flags) return E_POINTER;
  std::lock_guard ev(eventLock_);
  *flags = notifyFlags_;
  return S_OK;
}

// --- Time and position ----------------------------------------------------------------------

REFERENCE_TIME FilterGraph::StreamTime() {
  std::lock_guard t(timeLock_);
  if (!clockRunning_) return baseStream_;
  return baseStream_ + static_cast<REFERENCE_TIME>((SystemClockNow() - runClockStart_) * rate_);
}

void FilterGraph::ReportProgress(REFERENCE_TIME t) {
  REFERENCE_TIME prev = progress_.load();
  while (t > prev && !progress_.compare_exchange_weak(prev, t)) {
  }
}

REFERENCE_TIME FilterGraph::DurationTime() {
  REFERENCE_TIME d = 0;
  for (auto& e : entries_)
    if (Filter* f = Ours(e.filter.Get())) d = std::max(d, f->SourceDuration());
  return d;
}

REFERENCE_TIME FilterGraph::PositionTime() {
  REFERENCE_TIME duration = DurationTime();
  {
    std::lock_guard ev(eventLock_);
    if (finished_ == EC_COMPLETE) return duration;
  }
  REFERENCE_TIME base;
  {
    std::lock_guard t(timeLock_);
    base = seekBase_;
  }
  REFERENCE_TIME pos = base + (state_ == State_Stopped ? 0 : (paced_ ? StreamTime() : progress_.load()));
  return std::clamp<REFERENCE_TIME>(pos, 0, std::max<REFERENCE_TIME>(duration, 0));
}

// Position and rate are a renderer's: a graph without a connected one (a file that did not
// render) has none to tell.
bool FilterGraph::HasConnectedRenderer() {
  for (auto& e : entries_)
    if (Filter* f = Ours(e.filter.Get()); f && f->IsRenderer())
      for (int i = 0; i < f->PinCount(); ++i)
        if (Pin* p = f->GetPin(i); p && p->IsConnected()) return true;
  return false;
}

HRESULT FilterGraph::get_Duration(REFTIME* length) {
  if (!length) return E_POINTER;
  std::lock_guard lock(lock_);
  if (!HasConnectedRenderer()) return E_NOTIMPL;
  *length = static_cast<double>(DurationTime()) / UNITS;
  return S_OK;
}

HRESULT FilterGraph::get_CurrentPosition(REFTIME* time) {
  if (!time) return E_POINTER;
  std::lock_guard lock(lock_);
  if (!HasConnectedRenderer()) return E_NOTIMPL;
  *time = static_cast<double>(PositionTime()) / UNITS;
  return S_OK;
}

HRESULT FilterGraph::put_CurrentPosition(REFTIME time) {
  if (time < 0 || time != time) return E_INVALIDARG;
  KeepAlive keep(this);
  std::lock_guard lock(lock_);
  if (!HasConnectedRenderer()) return E_NOTIMPL;
  REFERENCE_TIME t = std::min(static_cast<REFERENCE_TIME>(time * UNITS), DurationTime());
  FILTER_STATE before = state_;
  StopLocked();
  {
    std::lock_guard tl(timeLock_);
    seekBase_ = t;
  }
  for (auto& e : entries_)
    if (Filter* f = Ours(e.filter.Get()); f && f->SourceDuration() >= 0) f->SetSourcePosition(t);
  if (before == State_Paused) return PauseLocked();
  if (before == State_Running) return RunLocked();
  return S_OK;
}

HRESULT FilterGraph::get_StopTime(REFTIME* time) { return get_Duration(time); }
HRESULT FilterGraph::put_StopTime(REFTIME) { return E_NOTIMPL; }
HRESULT FilterGraph::get_PrerollTime(REFTIME* time) {
  if (!time) return E_POINTER;
  *time = 0;
  return S_OK;
}
HRESULT FilterGraph::put_PrerollTime(REFTIME) { return S_OK; }

HRESULT FilterGraph::put_Rate(double rate) {
  {
    std::lock_guard lock(lock_);
    if (!HasConnectedRenderer()) return E_NOTIMPL;
  }
  if (!(rate > 0) || rate > 16) return E_INVALIDARG;
  std::lock_guard t(timeLock_);
  if (clockRunning_) {
    REFERENCE_TIME now = SystemClockNow();
    baseStream_ += static_cast<REFERENCE_TIME>((now - runClockStart_) * rate_);
    runClockStart_ = now;
  }
  rate_ = rate;
  return S_OK;
}

HRESULT FilterGraph::get_Rate(double* rate) {
  if (!rate) return E_POINTER;
  {
    std::lock_guard lock(lock_);
    if (!HasConnectedRenderer()) return E_NOTIMPL;
  }
  std::lock_guard t(timeLock_);
  *rate = rate_;
  return S_OK;
}

HRESULT FilterGraph::CanSeekForward(LONG* can) {
  if (!can) return E_POINTER;
  *can = OATRUE;
  return S_OK;
}
HRESULT FilterGraph::CanSeekBackward(LONG* can) { return CanSeekForward(can); }

// --- Forwarding to the renderers ------------------------------------------------------------

template <class I>
static ComPtr<I> FirstWith(const std::vector<ComPtr<IBaseFilter>>& filters) {
  for (auto& f : filters) {
    ComPtr<I> p;
    if (SUCCEEDED(f->QueryInterface(IidOf<I>(), p.put_void())) && p) return p;
  }
  return nullptr;
}

ComPtr<IVideoWindow> FilterGraph::VideoWindowOf() { return FirstWith<IVideoWindow>(Filters()); }
ComPtr<IBasicVideo> FilterGraph::BasicVideoOf() { return FirstWith<IBasicVideo>(Filters()); }
ComPtr<IBasicAudio> FilterGraph::BasicAudioOf() { return FirstWith<IBasicAudio>(Filters()); }

#define FORWARD(getter, call)              \
  {                                        \
    auto target = getter();                \
    if (!target) return E_NOINTERFACE;     \
    return target->call;                   \
  }

HRESULT FilterGraph::put_Volume(LONG v) FORWARD(BasicAudioOf, put_Volume(v))
HRESULT FilterGraph::get_Volume(LONG* v) FORWARD(BasicAudioOf, get_Volume(v))
HRESULT FilterGraph::put_Balance(LONG v) FORWARD(BasicAudioOf, put_Balance(v))
HRESULT FilterGraph::get_Balance(LONG* v) FORWARD(BasicAudioOf, get_Balance(v))
HRESULT FilterGraph::get_AvgTimePerFrame(REFTIME* v) FORWARD(BasicVideoOf, get_AvgTimePerFrame(v))
HRESULT FilterGraph::get_BitRate(LONG* v) FORWARD(BasicVideoOf, get_BitRate(v))
HRESULT FilterGraph::get_VideoWidth(LONG* v) FORWARD(BasicVideoOf, get_VideoWidth(v))
HRESULT FilterGraph::get_VideoHeight(LONG* v) FORWARD(BasicVideoOf, get_VideoHeight(v))
HRESULT FilterGraph::GetVideoSize(LONG* w, LONG* h) FORWARD(BasicVideoOf, GetVideoSize(w, h))
HRESULT FilterGraph::put_Caption(const Bstr& v) FORWARD(VideoWindowOf, put_Caption(v))
HRESULT FilterGraph::get_Caption(Bstr* v) FORWARD(VideoWindowOf, get_Caption(v))
HRESULT FilterGraph::put_WindowStyle(LONG v) FORWARD(VideoWindowOf, put_WindowStyle(v))
HRESULT FilterGraph::get_WindowStyle(LONG* v) FORWARD(VideoWindowOf, get_WindowStyle(v))
HRESULT FilterGraph::put_WindowStyleEx(LONG v) FORWARD(VideoWindowOf, put_WindowStyleEx(v))
HRESULT FilterGraph::get_WindowStyleEx(LONG* v) FORWARD(VideoWindowOf, get_WindowStyleEx(v))
HRESULT FilterGraph::put_AutoShow(LONG v) FORWARD(VideoWindowOf, put_AutoShow(v))
HRESULT FilterGraph::get_AutoShow(LONG* v) FORWARD(VideoWindowOf, get_AutoShow(v))
HRESULT FilterGraph::put_WindowState(LONG v) FORWARD(VideoWindowOf, put_WindowState(v))
HRESULT FilterGraph::get_WindowState(LONG* v) FORWARD(VideoWindowOf, get_WindowState(v))
HRESULT FilterGraph::put_Visible(LONG v) FORWARD(VideoWindowOf, put_Visible(v))
HRESULT FilterGraph::get_Visible(LONG* v) FORWARD(VideoWindowOf, get_Visible(v))
HRESULT FilterGraph::put_Left(LONG v) FORWARD(VideoWindowOf, put_Left(v))
HRESULT FilterGraph::get_Left(LONG* v) FORWARD(VideoWindowOf, get_Left(v))
HRESULT FilterGraph::put_Width(LONG v) FORWARD(VideoWindowOf, put_Width(v))
HRESULT FilterGraph::get_Width(LONG* v) FORWARD(VideoWindowOf, get_Width(v))
HRESULT FilterGraph::put_Top(LONG v) FORWARD(VideoWindowOf, put_Top(v))
HRESULT FilterGraph::get_Top(LONG* v) FORWARD(VideoWindowOf, get_Top(v))
HRESULT FilterGraph::put_Height(LONG v) FORWARD(VideoWindowOf, put_Height(v))
HRESULT FilterGraph::get_Height(LONG* v) FORWARD(VideoWindowOf, get_Height(v))
HRESULT FilterGraph::put_Owner(OAHWND v) FORWARD(VideoWindowOf, put_Owner(v))
HRESULT FilterGraph::get_Owner(OAHWND* v) FORWARD(VideoWindowOf, get_Owner(v))
HRESULT FilterGraph::put_MessageDrain(OAHWND v) FORWARD(VideoWindowOf, put_MessageDrain(v))
HRESULT FilterGraph::get_MessageDrain(OAHWND* v) FORWARD(VideoWindowOf, get_MessageDrain(v))
HRESULT FilterGraph::SetWindowPosition(LONG l, LONG t, LONG w, LONG h)
    FORWARD(VideoWindowOf, SetWindowPosition(l, t, w, h))
HRESULT FilterGraph::GetWindowPosition(LONG* l, LONG* t, LONG* w, LONG* h)
    FORWARD(VideoWindowOf, GetWindowPosition(l, t, w, h))
HRESULT FilterGraph::SetWindowForeground(LONG f) FORWARD(VideoWindowOf, SetWindowForeground(f))

#undef FORWARD

}  // namespace dshow
