#pragma once
// Device enumeration: the system device enumerator lists the members of a category (video and
// audio compressors, ...) as monikers; a moniker binds to its property bag ("FriendlyName") and
// to its filter, and its display name parses back into the moniker.
#include "core/unknown.h"
#include "core/variant.h"

class IBindCtx : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000000E-0000-0000-C000-000000000046}");
};

class IPropertyBag : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{55272A00-42CB-11CE-8135-00AA004BB851}");
  // *value's type on entry asks for a type (VT_EMPTY: the stored type).
  virtual HRESULT Read(const char16_t* name, Variant* value, IUnknown* errorLog) = 0;
  virtual HRESULT Write(const char16_t* name, const Variant* value) = 0;
};

class IMoniker : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000000F-0000-0000-C000-000000000046}");
  virtual HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
  virtual HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
  // *name: CoTaskMemAlloc'ed text the caller frees.
  virtual HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, char16_t** name) = 0;
};

class IEnumMoniker : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000102-0000-0000-C000-000000000046}");
  virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMoniker** ppEnum) = 0;
};

class ICreateDevEnum : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{29840822-5B84-11D0-BD3B-00A0C911CE86}");
  // S_FALSE and a null enumerator for a category without members.
  virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** ppEnum, DWORD flags) = 0;
};
