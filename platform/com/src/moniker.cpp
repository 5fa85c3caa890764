// The Running Object Table of this process, item monikers, bind contexts and display-name parsing.
#include "com/moniker.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "com/com.h"
#include "com/interfaces.h"
#include "com/typeinfo.h"
#include "com/enumerator.h"

namespace {

// The display name of a moniker as a string (empty when it has none).
std::u16string DisplayNameOf(IMoniker* m) {
  if (!m) return {};
  char16_t* name = nullptr;
  if (FAILED(m->GetDisplayName(nullptr, nullptr, &name)) || !name) return {};
  std::u16string out(name);
  CoTaskMemFree(name);
  return out;
}

char16_t* TaskCopy(const std::u16string& s) {
  auto* p = static_cast<char16_t*>(CoTaskMemAlloc((s.size() + 1) * sizeof(char16_t)));
  if (!p) return nullptr;
  std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(char16_t));
  return p;
}

// ---- The table ----

class RunningObjectTable final : public ComObject<IRunningObjectTable> {
 public:
  HRESULT Register(DWORD, IUnknown* object, IMoniker* name, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!object || !name) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    bool already = FindLocked(name) != entries_.end();
    *cookie = next_++;
    entries_.push_back(Entry{*cookie, ComPtr<IUnknown>(object), ComPtr<IMoniker>(name)});
    return already ? MK_S_MONIKERALREADYREGISTERED : S_OK;
  }
  HRESULT Revoke(DWORD cookie) override {
    ComPtr<IUnknown> released;  // let go outside the lock: the object's end may use the table
    ComPtr<IMoniker> name;
    {
      std::lock_guard lock(mutex_);
      for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->cookie == cookie) {
          released = std::move(it->object);
          name = std::move(it->name);
          entries_.erase(it);
          return S_OK;
        }
    }
    return E_INVALIDARG;
  }
  HRESULT IsRunning(IMoniker* name) override {
    if (!name) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    return FindLocked(name) != entries_.end() ? S_OK : S_FALSE;
  }
  HRESULT GetObject(IMoniker* name, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!name) return E_INVALIDARG;
    std::lock_guard lock(mutex_);
    auto it = FindLocked(name);
    if (it == entries_.end()) return MK_E_UNAVAILABLE;
    *out = ComPtr<IUnknown>(it->object).Detach();
    return S_OK;
  }
  HRESULT EnumRunning(IEnumMoniker** out) override {
    if (!out) return E_POINTER;
    std::vector<ComPtr<IMoniker>> names;
    {
      std::lock_guard lock(mutex_);
      for (auto& e : entries_) names.push_back(e.name);
    }
    *out = MakeComObject<SnapshotEnum<IEnumMoniker, IMoniker*, ComPtr<IMoniker>>>(std::move(names)).Detach();
    return S_OK;
  }

  // Drops every registration (at the end of the process, before the objects' libraries go).
  void Clear() {
    std::vector<Entry> gone;
    {
      std::lock_guard lock(mutex_);
      gone.swap(entries_);
    }
  }

 private:
  struct Entry {
    DWORD cookie;
    ComPtr<IUnknown> object;
    ComPtr<IMoniker> name;
  };
  std::vector<Entry>::iterator FindLocked(IMoniker* name) {
    // Monikers of one kind compare themselves; monikers of different kinds by display name.
    std::u16string display;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->name->IsEqual(name) == S_OK) return it;
      if (display.empty()) display = DisplayNameOf(name);
      if (!display.empty() && DisplayNameOf(it->name.Get()) == display) return it;
    }
    return entries_.end();
  }
  std::mutex mutex_;
  std::vector<Entry> entries_;
  DWORD next_ = 1;
};

RunningObjectTable& Rot() {
  // One table for the process; registrations still held at exit are let go then.
  struct Holder {
    ComPtr<RunningObjectTable> table = MakeComObject<RunningObjectTable>();
    ~Holder() { table->Clear(); }
  };
  static Holder holder;
  return *holder.table.Get();
}

// ---- Bind context ----

class BindCtx final : public ComObject<IBindCtx> {
 public:
  HRESULT GetRunningObjectTable(IRunningObjectTable** out) override { return ::GetRunningObjectTable(0, out); }
  HRESULT RegisterObjectBound(IUnknown* object) override {
    if (!object) return E_INVALIDARG;
    bound_.emplace_back(object);
    return S_OK;
  }
  HRESULT ReleaseBoundObjects() override {
    bound_.clear();
    return S_OK;
  }

 private:
  std::vector<ComPtr<IUnknown>> bound_;
};

// ---- Item moniker ----

class ItemMoniker final : public ComObject<IMoniker> {
 public:
  ItemMoniker(std::u16string delimiter, std::u16string item)
      : delimiter_(std::move(delimiter)), item_(std::move(item)) {}

  HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // Items inside a container object need the container's item lookup, which no object offers.
    if (left) return MK_E_NOOBJECT;
    ComPtr<IRunningObjectTable> rot;
    HRESULT hr = ctx ? ctx->GetRunningObjectTable(rot.put()) : ::GetRunningObjectTable(0, rot.put());
    if (FAILED(hr)) return hr;
    ComPtr<IUnknown> object;
    hr = rot->GetObject(this, object.put());
    if (FAILED(hr)) return MK_E_NOOBJECT;
    hr = object->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && ctx) ctx->RegisterObjectBound(object.Get());
    return hr;
  }
  HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID, void** ppv) override {
    if (ppv) *ppv = nullptr;
    return MK_E_NOOBJECT;  // an item in the table has no storage of its own
  }
  HRESULT GetDisplayName(IBindCtx*, IMoniker* left, char16_t** name) override {
    if (!name) return E_POINTER;
    std::u16string text = DisplayNameOf(left) + delimiter_ + item_;
    *name = TaskCopy(text);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT IsEqual(IMoniker* other) override {
    if (!other) return S_FALSE;
    if (other == this) return S_OK;
    // Items compare by name without regard to letter case; the delimiter does not count.
    auto* item = dynamic_cast<ItemMoniker*>(other);
    if (!item) return S_FALSE;
    return SameName(item_, item->item_) ? S_OK : S_FALSE;
  }
  HRESULT Hash(DWORD* hash) override {
    if (!hash) return E_POINTER;
    DWORD h = 0;
    for (char16_t c : item_) h = h * 31 + static_cast<DWORD>(c >= u'a' && c <= u'z' ? c - 32 : c);
    *hash = h;
    return S_OK;
  }
  HRESULT IsRunning(IBindCtx* ctx, IMoniker* left, IMoniker* newlyRunning) override {
    if (newlyRunning && IsEqual(newlyRunning) == S_OK) return S_OK;
    if (left) return S_FALSE;
    ComPtr<IRunningObjectTable> rot;
    HRESULT hr = ctx ? ctx->GetRunningObjectTable(rot.put()) : ::GetRunningObjectTable(0, rot.put());
    if (FAILED(hr)) return hr;
    return rot->IsRunning(this);
  }

 private:
  std::u16string delimiter_;
  std::u16string item_;
};

struct Parsers {
  std::mutex mutex;
  std::vector<std::pair<std::u16string, DisplayNameParser>> list;
};
Parsers& ParserTable() {
  static Parsers parsers;
  return parsers;
}

}  // namespace

HRESULT GetRunningObjectTable(DWORD, IRunningObjectTable** out) {
  if (!out) return E_POINTER;
  RunningObjectTable& rot = Rot();
  rot.AddRef();
  *out = &rot;
  return S_OK;
}

HRESULT CreateBindCtx(DWORD, IBindCtx** out) {
  if (!out) return E_POINTER;
  *out = MakeComObject<BindCtx>().Detach();
  return S_OK;
}

HRESULT CreateItemMoniker(const char16_t* delimiter, const char16_t* item, IMoniker** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!item) return E_INVALIDARG;
  *out = MakeComObject<ItemMoniker>(delimiter ? std::u16string(delimiter) : std::u16string(), item).Detach();
  return S_OK;
}

void RegisterDisplayNameParser(const std::u16string& prefix, DisplayNameParser parser) {
  auto& t = ParserTable();
  std::lock_guard lock(t.mutex);
  for (auto& p : t.list)
    if (p.first == prefix) {
      p.second = std::move(parser);
      return;
    }
  t.list.emplace_back(prefix, std::move(parser));
}

HRESULT MkParseDisplayName(IBindCtx* ctx, const char16_t* name, ULONG* eaten, IMoniker** out) {
  if (!out || !eaten) return E_POINTER;
  *out = nullptr;
  *eaten = 0;
  if (!name) return E_INVALIDARG;
  std::u16string_view text(name);
  DisplayNameParser parser;
  {
    auto& t = ParserTable();
    std::lock_guard lock(t.mutex);
    size_t best = 0;
    for (auto& p : t.list)
      if (text.size() >= p.first.size() && p.first.size() > best &&
          SameName(text.substr(0, p.first.size()), p.first)) {
        parser = p.second;
        best = p.first.size();
      }
  }
  if (parser) return parser(ctx, text, eaten, out);
  // An item: a delimiter and a non-empty name.
  if (text.size() >= 2 && std::u16string_view(u"!/\\:").find(text[0]) != std::u16string_view::npos) {
    HRESULT hr = CreateItemMoniker(std::u16string(text.substr(0, 1)).c_str(),
                                   std::u16string(text.substr(1)).c_str(), out);
    if (SUCCEEDED(hr)) *eaten = static_cast<ULONG>(text.size());
    return hr;
  }
  return MK_E_SYNTAX;
}
