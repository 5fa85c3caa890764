// The system device enumerator: the registered filters of a category as device monikers, each
// with a property bag ("FriendlyName", "CLSID", for video compressors "FccHandler") and bound
// to a new filter instance on request. Display names:
//   compressors:        @device:cm:{category}\<friendly name>
//   other filters:      @device:sw:{category}\{CLSID}
// MkParseDisplayName turns them back into monikers.
#include <cstring>
#include <mutex>

#include "com/com.h"
#include "com/enumerator.h"
#include "core/guid.h"
#include "dshow/uuids.h"
#include "encoders/encoders_internal.h"
#include "internal.h"

namespace dshow {

namespace {

constexpr char16_t kPrefix[] = u"@device:";

bool IsCompressorCategory(REFCLSID category) {
  return category == CLSID_VideoCompressorCategory || category == CLSID_AudioCompressorCategory;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameText(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::u16string GuidText(const GUID& g) { return Utf8ToUtf16(GuidToString(g)); }

char16_t* TaskString(const std::u16string& s) {
  auto* p = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (!p) return nullptr;
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  return p;
}

// What a moniker names: a category and, within it, a compressor by name or a filter by class.
struct Device {
  CLSID category;
  bool compressor = false;
  std::u16string name;  // compressors
  CLSID clsid;          // other filters
};

// The registered filter a device names; false when it is not (or no longer) registered.
bool FindTemplate(const Device& d, FilterTemplate* out) {
  for (auto& t : RegisteredFilters()) {
    if (t.category != d.category) continue;
    if (d.compressor ? SameText(t.name, d.name) : t.clsid == d.clsid) {
      *out = t;
      return true;
    }
  }
  return false;
}

class DevicePropertyBag : public ComObject<IPropertyBag> {
 public:
  explicit DevicePropertyBag(FilterTemplate t) : t_(std::move(t)) {}

  HRESULT Read(const char16_t* name, Variant* value, IUnknown*) override {
    if (!name || !value) return E_POINTER;
    std::u16string key(name);
    Bstr text;
    if (key == u"FriendlyName") {
      text = Bstr(t_.name);
    } else if (key == u"CLSID") {
      text = Bstr(GuidText(t_.clsid));
    } else if (key == u"FccHandler" && t_.category == CLSID_VideoCompressorCategory) {
      uint32_t fourcc = 0;
      if (!VideoCompressorFourCC(t_.clsid, &fourcc)) return E_INVALIDARG;
      std::u16string fcc;
      for (int i = 0; i < 4; ++i) fcc += static_cast<char16_t>((fourcc >> (8 * i)) & 0xFF);
      text = Bstr(fcc);
    } else {
      return E_INVALIDARG;
    }
    if (value->vt() != VT_EMPTY && value->vt() != VT_BSTR) return E_FAIL;  // no other type stored
    *value = Variant(text);
    return S_OK;
  }

  // The entries describe registered filters; they are not written through the bag.
  HRESULT Write(const char16_t* name, const Variant* value) override {
    if (!name || !value) return E_POINTER;
    return E_ACCESSDENIED;
  }

 private:
  FilterTemplate t_;
};

class DeviceMoniker : public ComObject<IMoniker> {
 public:
  explicit DeviceMoniker(Device d) : d_(std::move(d)) {}

  HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    FilterTemplate t;
    if (!FindTemplate(d_, &t)) return MK_E_NOOBJECT;
    ComPtr<IBaseFilter> filter;
    HRESULT hr = t.create(filter.put());
    if (FAILED(hr)) return hr;
    if (!filter) return E_UNEXPECTED;
    return filter->QueryInterface(riid, ppv);
  }

  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IPropertyBag::iid && riid != IID_IUnknown) return E_NOINTERFACE;
    FilterTemplate t;
    if (!FindTemplate(d_, &t)) return MK_E_NOOBJECT;
    return MakeComObject<DevicePropertyBag>(std::move(t))->QueryInterface(riid, ppv);
  }

  HRESULT GetDisplayName(IBindCtx*, IMoniker*, char16_t** name) override {
    if (!name) return E_POINTER;
    *name = TaskString(DisplayName());
    return *name ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT IsEqual(IMoniker* other) override {
    if (!other) return E_INVALIDARG;
    char16_t* text = nullptr;
    if (FAILED(other->GetDisplayName(nullptr, nullptr, &text)) || !text) return S_FALSE;
    bool same = SameText(DisplayName(), text);
    CoTaskMemFree(text);
    return same ? S_OK : S_FALSE;
  }

  HRESULT Hash(DWORD* hash) override {
    if (!hash) return E_POINTER;
    DWORD h = 2166136261u;
    for (char16_t c : DisplayName()) h = (h ^ Lower(c)) * 16777619u;
    *hash = h;
    return S_OK;
  }

  // Devices are bound anew each time; none is "running".
  HRESULT IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }

  std::u16string DisplayName() const {
    return DeviceDisplayName(d_.category, d_.name, d_.clsid, d_.compressor);
  }

 private:
  Device d_;
};

using DeviceEnum = SnapshotEnum<IEnumMoniker, IMoniker*, ComPtr<IMoniker>>;

class SystemDeviceEnum : public ComObject<ICreateDevEnum> {
 public:
  HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** ppEnum, DWORD) override {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::vector<ComPtr<IMoniker>> devices;
    bool compressor = IsCompressorCategory(category);
    for (auto& t : RegisteredFilters())
      if (t.category == category)
        devices.emplace_back(MakeComObject<DeviceMoniker>(Device{category, compressor, t.name, t.clsid}).Get());
    if (devices.empty()) return S_FALSE;
    *ppEnum = MakeComObject<DeviceEnum>(std::move(devices)).Detach();
    return S_OK;
  }
};

// "@device:cm:{category}\name" or "@device:sw:{category}\{clsid}".
HRESULT ParseDeviceName(IBindCtx*, std::u16string_view text, ULONG* eaten, IMoniker** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (eaten) *eaten = 0;
  std::u16string_view prefix(kPrefix);
  if (text.size() < prefix.size() + 3 || !SameText(std::u16string(text.substr(0, prefix.size())), std::u16string(prefix)))
    return MK_E_SYNTAX;
  std::u16string_view rest = text.substr(prefix.size());
  std::u16string kind(rest.substr(0, 3));
  Device d;
  if (SameText(kind, u"cm:"))
    d.compressor = true;
  else if (!SameText(kind, u"sw:"))
    return MK_E_SYNTAX;
  rest = rest.substr(3);
  size_t slash = rest.find(u'\\');
  if (slash == std::u16string_view::npos || slash + 1 >= rest.size()) return MK_E_SYNTAX;
  auto category = GuidFromString(Utf16ToUtf8(rest.substr(0, slash)));
  if (!category) return MK_E_SYNTAX;
  d.category = *category;
  std::u16string item(rest.substr(slash + 1));
  if (d.compressor) {
    d.name = item;
  } else {
    auto clsid = GuidFromString(Utf16ToUtf8(item));
    if (!clsid) return MK_E_SYNTAX;
    d.clsid = *clsid;
  }
  *out = MakeComObject<DeviceMoniker>(std::move(d)).Detach();
  if (eaten) *eaten = static_cast<ULONG>(text.size());
  return S_OK;
}

}  // namespace

std::u16string DeviceDisplayName(REFCLSID category, const std::u16string& friendlyName,
                                 REFCLSID clsid, bool compressor) {
  std::u16string s(kPrefix);
  s += compressor ? u"cm:" : u"sw:";
  s += GuidText(category);
  s += u'\\';
  s += compressor ? friendlyName : GuidText(clsid);
  return s;
}

void RegisterDeviceEnumeration() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCompressorFilters();
    RegisterPlatformClass(CLSID_SystemDeviceEnum, "", [](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
      if (!ppv) return E_POINTER;
      *ppv = nullptr;
      if (outer) return CLASS_E_NOAGGREGATION;
      return MakeComObject<SystemDeviceEnum>()->QueryInterface(riid, ppv);
    });
    RegisterDisplayNameParser(kPrefix, ParseDeviceName);
  });
}

namespace {
// The enumerator and the compressors are there as soon as the library is loaded.
struct AutoRegister {
  AutoRegister() { RegisterDeviceEnumeration(); }
} gAutoRegister;
}  // namespace

}  // namespace dshow
