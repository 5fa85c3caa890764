// In-memory streams and property bags: the storage a container gives its controls.
#include "com/olecontrol.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "com/dispatch.h"
#include "com/object.h"
#include "com/typeinfo.h"

namespace {

class MemoryStream : public ComObject<IStream> {
 public:
  explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (!buffer && size) return E_POINTER;
    std::lock_guard lock(mutex_);
    size_t left = pos_ < bytes_.size() ? bytes_.size() - pos_ : 0;
    size_t n = std::min<size_t>(size, left);
    if (n) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    if (read) *read = static_cast<ULONG>(n);
    return n == size ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
    if (!buffer && size) return E_POINTER;
    std::lock_guard lock(mutex_);
    if (pos_ + size > bytes_.size()) bytes_.resize(pos_ + size);
    if (size) std::memcpy(bytes_.data() + pos_, buffer, size);
    pos_ += size;
    if (written) *written = size;
    return S_OK;
  }
  HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) override {
    std::lock_guard lock(mutex_);
    int64_t base = origin == STREAM_SEEK_SET ? 0
                   : origin == STREAM_SEEK_CUR ? static_cast<int64_t>(pos_)
                   : origin == STREAM_SEEK_END ? static_cast<int64_t>(bytes_.size())
                                               : -1;
    if (base < 0) return STG_E_INVALIDFUNCTION;
    if (base + move < 0) return STG_E_INVALIDFUNCTION;
    pos_ = static_cast<size_t>(base + move);
    if (newPosition) *newPosition = pos_;
    return S_OK;
  }
  HRESULT SetSize(uint64_t size) override {
    std::lock_guard lock(mutex_);
    bytes_.resize(static_cast<size_t>(size));
    return S_OK;
  }
  std::vector<uint8_t> Bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    // Lets MemoryStreamBytes find the object behind the interface.
    if (riid == kSelf) {
      AddRef();
      *ppv = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }

 public:
  static constexpr IID kSelf = MakeGuid("{6D1C0A5E-2B9F-4E57-8C41-3A7E0F9D2B61}");

 private:
  std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

class MemoryBag : public ComObject<IPropertyBag> {
 public:
  static constexpr IID kSelf = MakeGuid("{6D1C0A5E-2B9F-4E57-8C41-3A7E0F9D2B62}");
  explicit MemoryBag(PropertyList list) : list_(std::move(list)) {}

  HRESULT Read(const char16_t* name, Variant* value, IUnknown* errorLog) override {
    if (!name || !value) return E_POINTER;
    auto it = Find(name);
    if (it == list_.end()) return E_INVALIDARG;
    VARTYPE want = value->vt();
    if (want == VT_EMPTY) {
      *value = it->second;
      return S_OK;
    }
    Variant converted;
    HRESULT hr = VariantChangeType(&converted, it->second, 0, want);
    if (FAILED(hr)) {
      ComPtr<IErrorLog> log;
      if (errorLog && SUCCEEDED(errorLog->QueryInterface(IErrorLog::iid, log.put_void()))) {
        EXCEPINFO info;
        info.scode = hr;
        info.bstrDescription = Bstr("The stored value does not convert to the type asked for");
        log->AddError(name, &info);
      }
      return hr;
    }
    *value = std::move(converted);
    return S_OK;
  }
  HRESULT Write(const char16_t* name, const Variant* value) override {
    if (!name || !value) return E_POINTER;
    auto it = Find(name);
    if (it == list_.end()) {
      list_.emplace_back(Utf16ToUtf8(name), value->Deref());
    } else {
      it->second = value->Deref();
    }
    return S_OK;
  }
  const PropertyList& List() const { return list_; }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == kSelf) {
      AddRef();
      *ppv = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }

 private:
  PropertyList::iterator Find(const char16_t* name) {
    return std::find_if(list_.begin(), list_.end(),
                        [&](const auto& e) { return SameName(Utf8ToUtf16(e.first), name); });
  }
  PropertyList list_;
};

// Stream format of a property list: a count, then per entry its name and a tagged value.
enum Tag : uint8_t { kEmpty = 0, kI2 = 1, kI4 = 2, kR4 = 3, kR8 = 4, kBool = 5, kText = 6, kBytes = 7, kUI1 = 8 };

bool Put(IStream* s, const void* p, size_t n) {
  ULONG w = 0;
  return SUCCEEDED(s->Write(p, static_cast<ULONG>(n), &w)) && w == n;
}
bool Get(IStream* s, void* p, size_t n) {
  ULONG r = 0;
  return s->Read(p, static_cast<ULONG>(n), &r) == S_OK && r == n;
}
bool PutText(IStream* s, const std::string& t) {
  uint32_t n = static_cast<uint32_t>(t.size());
  return Put(s, &n, 4) && Put(s, t.data(), n);
}
bool GetText(IStream* s, std::string* t) {
  uint32_t n = 0;
  if (!Get(s, &n, 4) || n > (64u << 20)) return false;
  t->resize(n);
  return Get(s, t->data(), n);
}

}  // namespace

ComPtr<IStream> CreateMemoryStream(std::vector<uint8_t> initial) {
  return MakeComObject<MemoryStream>(std::move(initial));
}

std::vector<uint8_t> MemoryStreamBytes(IStream* stream) {
  MemoryStream* self = nullptr;
  if (!stream || FAILED(stream->QueryInterface(MemoryStream::kSelf, reinterpret_cast<void**>(&self))) || !self)
    return {};
  std::vector<uint8_t> out = self->Bytes();
  self->Release();
  return out;
}

ComPtr<IPropertyBag> CreateMemoryPropertyBag(PropertyList initial) {
  return MakeComObject<MemoryBag>(std::move(initial));
}

PropertyList MemoryPropertyBagContents(IPropertyBag* bag) {
  MemoryBag* self = nullptr;
  if (!bag || FAILED(bag->QueryInterface(MemoryBag::kSelf, reinterpret_cast<void**>(&self))) || !self) return {};
  PropertyList out = self->List();
  self->Release();
  return out;
}

HRESULT WritePropertyListToStream(IStream* stream, const PropertyList& list) {
  if (!stream) return E_POINTER;
  uint32_t count = static_cast<uint32_t>(list.size());
  if (!Put(stream, &count, 4)) return STG_E_READFAULT;
  for (const auto& [name, value] : list) {
    Variant v = value.Deref();
    bool ok = PutText(stream, name);
    uint8_t tag = kEmpty;
    switch (v.vt()) {
      case VT_EMPTY: tag = kEmpty; ok = ok && Put(stream, &tag, 1); break;
      case VT_I2: { tag = kI2; int16_t x = v.i2(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 2); break; }
      case VT_I4: { tag = kI4; int32_t x = v.i4(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 4); break; }
      case VT_R4: { tag = kR4; float x = v.r4(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 4); break; }
      case VT_R8: { tag = kR8; double x = v.r8(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 8); break; }
      case VT_BOOL: { tag = kBool; int16_t x = v.boolVal(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 2); break; }
      case VT_UI1: { tag = kUI1; uint8_t x = v.ui1(); ok = ok && Put(stream, &tag, 1) && Put(stream, &x, 1); break; }
      case VT_BSTR: tag = kText; ok = ok && Put(stream, &tag, 1) && PutText(stream, v.bstr().Utf8()); break;
      default:
        if (v.vt() == (VT_ARRAY | VT_UI1) && v.array()) {
          tag = kBytes;
          const auto& b = v.array()->bytes;
          ok = ok && Put(stream, &tag, 1) && PutText(stream, std::string(b.begin(), b.end()));
          break;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (!ok) return STG_E_READFAULT;
  }
  return S_OK;
}

HRESULT ReadPropertyListFromStream(IStream* stream, PropertyList* list) {
  if (!stream || !list) return E_POINTER;
  list->clear();
  uint32_t count = 0;
  if (!Get(stream, &count, 4)) return STG_E_READFAULT;
  for (uint32_t i = 0; i < count; ++i) {
    std::string name;
    uint8_t tag = 0;
    if (!GetText(stream, &name) || !Get(stream, &tag, 1)) return STG_E_READFAULT;
    Variant v;
    bool ok = true;
    switch (tag) {
      case kEmpty: break;
      case kI2: { int16_t x = 0; ok = Get(stream, &x, 2); v = Variant(x); break; }
      case kI4: { int32_t x = 0; ok = Get(stream, &x, 4); v = Variant(x); break; }
      case kR4: { float x = 0; ok = Get(stream, &x, 4); v = Variant(x); break; }
      case kR8: { double x = 0; ok = Get(stream, &x, 8); v = Variant(x); break; }
      case kBool: { int16_t x = 0; ok = Get(stream, &x, 2); v = Variant(x != 0); break; }
      case kUI1: { uint8_t x = 0; ok = Get(stream, &x, 1); v = Variant(x); break; }
      case kText: { std::string t; ok = GetText(stream, &t); v = Variant(t); break; }
      case kBytes: {
        std::string t;
        ok = GetText(stream, &t);
        v = Variant(std::vector<uint8_t>(t.begin(), t.end()));
        break;
      }
      default: return STG_E_READFAULT;
    }
    if (!ok) return STG_E_READFAULT;
    list->emplace_back(std::move(name), std::move(v));
  }
  return S_OK;
}
