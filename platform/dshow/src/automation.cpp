// The graph manager's automation objects: filter, pin, registered-filter and media-type
// descriptions and their collections.
#include <algorithm>

#include "graph.h"
#include "typelib.h"

namespace dshow {

namespace {

class Collection : public AutomationObject<IAMCollection> {
 public:
  explicit Collection(std::vector<ComPtr<IDispatch>> items) : items_(std::move(items)) {
    this->Dispatch()
        .Get(1, [this](DispatchArgs&) {
          LONG n = 0;
          Ok(get_Count(&n));
          return Variant(n);
        })
        .Method(2, [this](DispatchArgs& a) {
          ComPtr<IUnknown> item;
          Ok(Item(a.Long(0), item.put()));
          a.Set(1, Variant(item.Get()));
          return Variant();
        });
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT Item(LONG index, IUnknown** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return E_INVALIDARG;
    *item = items_[static_cast<size_t>(index)].Get();
    (*item)->AddRef();
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

 private:
  std::vector<ComPtr<IDispatch>> items_;
};

ComPtr<IDispatch> MakeCollection(std::vector<ComPtr<IDispatch>> items) {
  return ComPtr<IDispatch>(static_cast<IDispatch*>(MakeComObject<Collection>(std::move(items)).Get()));
}

class MediaTypeInfo : public AutomationObject<IMediaTypeInfo> {
 public:
  explicit MediaTypeInfo(const AM_MEDIA_TYPE& mt) : mt_(mt) {
    this->Dispatch()
        .Get(1, [this](DispatchArgs&) { return Variant(Bstr(GuidToString(mt_.majortype))); })
        .Get(2, [this](DispatchArgs&) { return Variant(Bstr(GuidToString(mt_.subtype))); });
  }
  HRESULT get_Type(Bstr* type) override {
    if (!type) return E_POINTER;
    *type = Bstr(GuidToString(mt_.majortype));
    return S_OK;
  }
  HRESULT get_Subtype(Bstr* subtype) override {
    if (!subtype) return E_POINTER;
    *subtype = Bstr(GuidToString(mt_.subtype));
    return S_OK;
  }

 private:
  MediaType mt_;
};

ComPtr<IPin> PinOf(IUnknown* unk) {
  if (!unk) return nullptr;
  ComPtr<IPin> pin;
  if (SUCCEEDED(unk->QueryInterface(IPin::iid, pin.put_void())) && pin) return pin;
  ComPtr<IPinInfo> info;
  if (SUCCEEDED(unk->QueryInterface(IPinInfo::iid, info.put_void())) && info) {
    ComPtr<IUnknown> p;
    if (SUCCEEDED(info->get_Pin(p.put())) && p) p->QueryInterface(IPin::iid, pin.put_void());
  }
  return pin;
}

class PinInfo : public AutomationObject<IPinInfo> {
 public:
  PinInfo(FilterGraph* graph, IPin* pin) : graph_(graph), keep_(static_cast<IGraphBuilder*>(graph)), pin_(pin) {
    auto unknown = [this](HRESULT (PinInfo::*get)(IUnknown**)) {
      return [this, get](DispatchArgs&) {
        ComPtr<IUnknown> out;
        Ok((this->*get)(out.put()));
        return Variant(out.Get());
      };
    };
    auto dispatch = [this](HRESULT (PinInfo::*get)(IDispatch**)) {
      return [this, get](DispatchArgs&) {
        ComPtr<IDispatch> out;
        Ok((this->*get)(out.put()));
        return Variant(out.Get());
      };
    };
    auto text = [this](HRESULT (PinInfo::*get)(Bstr*)) {
      return [this, get](DispatchArgs&) {
        Bstr out;
        Ok((this->*get)(&out));
        return Variant(out);
      };
    };
    this->Dispatch()
        .Get(1, unknown(&PinInfo::get_Pin))
        .Get(2, dispatch(&PinInfo::get_ConnectedTo))
        .Get(3, dispatch(&PinInfo::get_ConnectionMediaType))
        .Get(4, dispatch(&PinInfo::get_FilterInfo))
        .Get(5, text(&PinInfo::get_Name))
        .Get(6, [this](DispatchArgs&) {
          LONG d = 0;
          Ok(get_Direction(&d));
          return Variant(d);
        })
        .Get(7, text(&PinInfo::get_PinID))
        .Get(8, dispatch(&PinInfo::get_MediaTypes))
        .Method(9, [this](DispatchArgs& a) { Ok(Connect(a.Unknown(0).Get())); return Variant(); })
        .Method(10, [this](DispatchArgs& a) { Ok(ConnectDirect(a.Unknown(0).Get())); return Variant(); })
        .Method(11, [this](DispatchArgs& a) {
          Ok(ConnectWithType(a.Unknown(0).Get(), a.Dispatch(1).Get()));
          return Variant();
        })
        .Method(12, [this](DispatchArgs&) { Ok(Disconnect()); return Variant(); })
        .Method(13, [this](DispatchArgs&) { Ok(Render()); return Variant(); });
  }
  HRESULT get_Pin(IUnknown** pin) override {
    if (!pin) return E_POINTER;
    *pin = pin_.Get();
    (*pin)->AddRef();
    return S_OK;
  }
  HRESULT get_ConnectedTo(IDispatch** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<IPin> other;
    HRESULT hr = pin_->ConnectedTo(other.put());
    if (FAILED(hr)) return hr;
    *info = MakeComObject<PinInfo>(graph_, other.Get()).Detach();
    return S_OK;
  }
  HRESULT get_ConnectionMediaType(IDispatch** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    MediaType mt;
    HRESULT hr = pin_->ConnectionMediaType(&mt);
    if (FAILED(hr)) return hr;
    *info = MakeComObject<MediaTypeInfo>(mt).Detach();
    return S_OK;
  }
  HRESULT get_FilterInfo(IDispatch** info) override {
    if (!info) return E_POINTER;
    PIN_INFO pi;
    HRESULT hr = pin_->QueryPinInfo(&pi);
    if (FAILED(hr)) return hr;
    ComPtr<IBaseFilter> f = ComPtr<IBaseFilter>::Attach(pi.pFilter);
    *info = MakeFilterInfo(graph_, f.Get()).Detach();
    return S_OK;
  }
  HRESULT get_Name(Bstr* name) override {
    if (!name) return E_POINTER;
    PIN_INFO pi;
    HRESULT hr = pin_->QueryPinInfo(&pi);
    if (FAILED(hr)) return hr;
    if (pi.pFilter) pi.pFilter->Release();
    *name = Bstr(pi.achName);
    return S_OK;
  }
  HRESULT get_Direction(LONG* dir) override {
    if (!dir) return E_POINTER;
    PIN_DIRECTION d;
    HRESULT hr = pin_->QueryDirection(&d);
    *dir = d;
    return hr;
  }
  HRESULT get_PinID(Bstr* id) override {
    if (!id) return E_POINTER;
    char16_t* raw = nullptr;
    HRESULT hr = pin_->QueryId(&raw);
    if (FAILED(hr)) return hr;
    *id = Bstr(raw);
    CoTaskMemFree(raw);
    return S_OK;
  }
  HRESULT get_MediaTypes(IDispatch** types) override {
    if (!types) return E_POINTER;
    std::vector<ComPtr<IDispatch>> items;
    MediaType connected;
    if (SUCCEEDED(pin_->ConnectionMediaType(&connected))) {
      items.push_back(ComPtr<IDispatch>(MakeComObject<MediaTypeInfo>(connected).Get()));
    } else {
      ComPtr<IEnumMediaTypes> e;
      if (SUCCEEDED(pin_->EnumMediaTypes(e.put())) && e) {
        AM_MEDIA_TYPE* mt = nullptr;
        ULONG got = 0;
        while (e->Next(1, &mt, &got) == S_OK && got == 1) {
          items.push_back(ComPtr<IDispatch>(MakeComObject<MediaTypeInfo>(*mt).Get()));
          DeleteMediaType(mt);
        }
      }
    }
    *types = MakeCollection(std::move(items)).Detach();
    return S_OK;
  }
  HRESULT Connect(IUnknown* other) override { return ConnectTo(other, true, nullptr); }
  HRESULT ConnectDirect(IUnknown* other) override { return ConnectTo(other, false, nullptr); }
  HRESULT ConnectWithType(IUnknown* other, IDispatch* type) override {
    ComPtr<IMediaTypeInfo> info;
    if (!type || FAILED(type->QueryInterface(IMediaTypeInfo::iid, info.put_void()))) return E_INVALIDARG;
    Bstr major, sub;
    info->get_Type(&major);
    info->get_Subtype(&sub);
    MediaType mt;
    auto m = GuidFromString(major.Utf8());
    auto s = GuidFromString(sub.Utf8());
    if (!m || !s) return E_INVALIDARG;
    mt.majortype = *m;
    mt.subtype = *s;
    return ConnectTo(other, false, &mt);
  }
  HRESULT Disconnect() override {
    ComPtr<IPin> other;
    if (SUCCEEDED(pin_->ConnectedTo(other.put())) && other) {
      HRESULT hr = graph_->Disconnect(other.Get());
      if (FAILED(hr)) return hr;
    }
    return graph_->Disconnect(pin_.Get());
  }
  HRESULT Render() override { return graph_->Render(pin_.Get()); }

 private:
  HRESULT ConnectTo(IUnknown* other, bool intelligent, const AM_MEDIA_TYPE* mt) {
    ComPtr<IPin> target = PinOf(other);
    if (!target) return E_INVALIDARG;
    PIN_DIRECTION d;
    pin_->QueryDirection(&d);
    IPin* out = d == PINDIR_OUTPUT ? pin_.Get() : target.Get();
    IPin* in = d == PINDIR_OUTPUT ? target.Get() : pin_.Get();
    return intelligent ? graph_->Connect(out, in) : graph_->ConnectDirect(out, in, mt);
  }

  FilterGraph* graph_;
  ComPtr<IGraphBuilder> keep_;
  ComPtr<IPin> pin_;
};

class FilterInfo : public AutomationObject<IFilterInfo> {
 public:
  FilterInfo(FilterGraph* graph, IBaseFilter* filter)
      : graph_(graph), keep_(static_cast<IGraphBuilder*>(graph)), filter_(filter) {
    auto text = [this](HRESULT (FilterInfo::*get)(Bstr*)) {
      return [this, get](DispatchArgs&) {
        Bstr out;
        Ok((this->*get)(&out));
        return Variant(out);
      };
    };
    this->Dispatch()
        .Method(1, [this](DispatchArgs& a) {
          ComPtr<IDispatch> pin;
          Ok(FindPin(a.BString(0), pin.put()));
          a.Set(1, Variant(pin.Get()));
          return Variant();
        })
        .Get(2, text(&FilterInfo::get_Name))
        .Get(3, text(&FilterInfo::get_VendorInfo))
        .Get(4, [this](DispatchArgs&) {
          ComPtr<IUnknown> f;
          Ok(get_Filter(f.put()));
          return Variant(f.Get());
        })
        .Get(5, [this](DispatchArgs&) {
          ComPtr<IDispatch> pins;
          Ok(get_Pins(pins.put()));
          return Variant(pins.Get());
        })
        .Get(6, [this](DispatchArgs&) {
          LONG v = 0;
          Ok(get_IsFileSource(&v));
          return Variant(v);
        })
        .Get(7, text(&FilterInfo::get_Filename))
        .Put(7, [this](DispatchArgs& a) {
          Ok(put_Filename(a.BString(0)));
          return Variant();
        });
  }
  HRESULT FindPin(const Bstr& pinId, IDispatch** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<IPin> pin;
    HRESULT hr = filter_->FindPin(pinId.Utf16().c_str(), pin.put());
    if (FAILED(hr)) return hr;
    *info = MakeComObject<PinInfo>(graph_, pin.Get()).Detach();
    return S_OK;
  }
  HRESULT get_Name(Bstr* name) override {
    if (!name) return E_POINTER;
    FILTER_INFO fi;
    HRESULT hr = filter_->QueryFilterInfo(&fi);
    if (FAILED(hr)) return hr;
    if (fi.pGraph) fi.pGraph->Release();
    *name = Bstr(fi.achName);
    return S_OK;
  }
  HRESULT get_VendorInfo(Bstr* info) override {
    if (!info) return E_POINTER;
    *info = Bstr(u"");
    return S_OK;
  }
  HRESULT get_Filter(IUnknown** filter) override {
    if (!filter) return E_POINTER;
    *filter = filter_.Get();
    (*filter)->AddRef();
    return S_OK;
  }
  HRESULT get_Pins(IDispatch** pins) override {
    if (!pins) return E_POINTER;
    std::vector<ComPtr<IDispatch>> items;
    ComPtr<IEnumPins> e;
    if (SUCCEEDED(filter_->EnumPins(e.put())) && e) {
      IPin* p = nullptr;
      ULONG got = 0;
      while (e->Next(1, &p, &got) == S_OK && got == 1) {
        ComPtr<IPin> pin = ComPtr<IPin>::Attach(p);
        items.push_back(ComPtr<IDispatch>(MakeComObject<PinInfo>(graph_, pin.Get()).Get()));
      }
    }
    *pins = MakeCollection(std::move(items)).Detach();
    return S_OK;
  }
  HRESULT get_IsFileSource(LONG* isSource) override {
    if (!isSource) return E_POINTER;
    ComPtr<IFileSourceFilter> src;
    *isSource = SUCCEEDED(filter_->QueryInterface(IFileSourceFilter::iid, src.put_void())) ? OATRUE : OAFALSE;
    return S_OK;
  }
  HRESULT get_Filename(Bstr* name) override {
    if (!name) return E_POINTER;
    *name = Bstr();
    char16_t* raw = nullptr;
    ComPtr<IFileSourceFilter> src;
    ComPtr<IFileSinkFilter> sink;
    HRESULT hr = E_NOINTERFACE;
    if (SUCCEEDED(filter_->QueryInterface(IFileSourceFilter::iid, src.put_void())))
      hr = src->GetCurFile(&raw, nullptr);
    else if (SUCCEEDED(filter_->QueryInterface(IFileSinkFilter::iid, sink.put_void())))
      hr = sink->GetCurFile(&raw, nullptr);
    if (FAILED(hr)) return hr;
    *name = Bstr(raw);
    CoTaskMemFree(raw);
    return S_OK;
  }
  HRESULT put_Filename(const Bstr& name) override {
    ComPtr<IFileSourceFilter> src;
    if (SUCCEEDED(filter_->QueryInterface(IFileSourceFilter::iid, src.put_void())))
      return src->Load(name.Utf16().c_str(), nullptr);
    ComPtr<IFileSinkFilter> sink;
    if (SUCCEEDED(filter_->QueryInterface(IFileSinkFilter::iid, sink.put_void())))
      return sink->SetFileName(name.Utf16().c_str(), nullptr);
    return E_NOINTERFACE;
  }

 private:
  FilterGraph* graph_;
  ComPtr<IGraphBuilder> keep_;
  ComPtr<IBaseFilter> filter_;
};

class RegFilterInfo : public AutomationObject<IRegFilterInfo> {
 public:
  RegFilterInfo(FilterGraph* graph, FilterTemplate t)
      : graph_(graph), keep_(static_cast<IGraphBuilder*>(graph)), t_(std::move(t)) {
    this->Dispatch()
        .Get(1, [this](DispatchArgs&) { return Variant(Bstr(t_.name)); })
        .Method(2, [this](DispatchArgs& a) {
          ComPtr<IDispatch> info;
          Ok(Filter(info.put()));
          a.Set(0, Variant(info.Get()));
          return Variant();
        });
  }
  HRESULT get_Name(Bstr* name) override {
    if (!name) return E_POINTER;
    *name = Bstr(t_.name);
    return S_OK;
  }
  HRESULT Filter(IDispatch** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    ComPtr<IBaseFilter> f;
    HRESULT hr = graph_->AddRegisteredFilter(t_, f.put());
    if (FAILED(hr)) return hr;
    *info = MakeFilterInfo(graph_, f.Get()).Detach();
    return S_OK;
  }

 private:
  FilterGraph* graph_;
  ComPtr<IGraphBuilder> keep_;
  FilterTemplate t_;
};

}  // namespace

ComPtr<IDispatch> MakeFilterInfo(FilterGraph* graph, IBaseFilter* filter) {
  return ComPtr<IDispatch>(MakeComObject<FilterInfo>(graph, filter).Get());
}

ComPtr<IDispatch> MakeFilterCollection(FilterGraph* graph) {
  std::vector<ComPtr<IDispatch>> items;
  for (auto& f : graph->Filters()) items.push_back(MakeFilterInfo(graph, f.Get()));
  return MakeCollection(std::move(items));
}

ComPtr<IDispatch> MakeRegFilterCollection(FilterGraph* graph) {
  std::vector<ComPtr<IDispatch>> items;
  for (auto& t : RegisteredFilters())
    items.push_back(ComPtr<IDispatch>(MakeComObject<RegFilterInfo>(graph, t).Get()));
  return MakeCollection(std::move(items));
}

}  // namespace dshow
