#pragma once
// The Running Object Table of this process, item monikers and bind contexts.
#include <functional>
#include <string>
#include <string_view>

#include "core/unknown.h"

class IRunningObjectTable;
class IMoniker;

class IEnumMoniker : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000102-0000-0000-C000-000000000046}");
  virtual HRESULT Next(ULONG count, IMoniker** items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMoniker** out) = 0;
};

class IBindCtx : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000000E-0000-0000-C000-000000000046}");
  virtual HRESULT GetRunningObjectTable(IRunningObjectTable** out) = 0;
  // Keeps an object alive until the bind context is released or ReleaseBoundObjects.
  virtual HRESULT RegisterObjectBound(IUnknown* object) = 0;
  virtual HRESULT ReleaseBoundObjects() = 0;
};

class IMoniker : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{0000000F-0000-0000-C000-000000000046}");
  // Binds to the object the moniker names.
  virtual HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
  // Binds to the storage of the object (a property bag and the like).
  virtual HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
  // The display name, allocated with CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
  virtual HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, char16_t** name) = 0;
  // S_OK when the other moniker names the same object.
  virtual HRESULT IsEqual(IMoniker* other) = 0;
  virtual HRESULT Hash(DWORD* hash) = 0;
  // S_OK when the named object is in the Running Object Table.
  virtual HRESULT IsRunning(IBindCtx* ctx, IMoniker* left, IMoniker* newlyRunning) = 0;
};

constexpr DWORD ROTFLAGS_REGISTRATIONKEEPSALIVE = 0x1;
constexpr DWORD ROTFLAGS_ALLOWANYCLIENT = 0x2;
constexpr HRESULT MK_S_MONIKERALREADYREGISTERED = MakeHResult(0x000401E7);

class IRunningObjectTable : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{00000010-0000-0000-C000-000000000046}");
  // The table keeps a reference to the object until Revoke.
  virtual HRESULT Register(DWORD flags, IUnknown* object, IMoniker* name, DWORD* cookie) = 0;
  virtual HRESULT Revoke(DWORD cookie) = 0;
  virtual HRESULT IsRunning(IMoniker* name) = 0;
  virtual HRESULT GetObject(IMoniker* name, IUnknown** out) = 0;
  virtual HRESULT EnumRunning(IEnumMoniker** out) = 0;
};

HRESULT GetRunningObjectTable(DWORD reserved, IRunningObjectTable** out);
HRESULT CreateBindCtx(DWORD reserved, IBindCtx** out);
// An item moniker: display name delimiter + item ("!" and "Item" give "!Item"); item names are
// compared without regard to letter case.
HRESULT CreateItemMoniker(const char16_t* delimiter, const char16_t* item, IMoniker** out);
// Parses a display name into a moniker: "!name" (or another delimiter "/", "\\", ":" followed by
// a name) gives an item moniker; names with a registered prefix go to that prefix's parser.
// *eaten is the number of characters used; MK_E_SYNTAX for a name nothing parses.
HRESULT MkParseDisplayName(IBindCtx* ctx, const char16_t* name, ULONG* eaten, IMoniker** out);

// Lets a platform area parse display names of its own monikers (device monikers "@device:...").
using DisplayNameParser =
    std::function<HRESULT(IBindCtx* ctx, std::u16string_view name, ULONG* eaten, IMoniker** out)>;
void RegisterDisplayNameParser(const std::u16string& prefix, DisplayNameParser parser);
