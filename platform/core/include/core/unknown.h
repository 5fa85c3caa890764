#pragma once
// IUnknown, IDispatch and the ComPtr smart pointer: the object model every platform area uses.
#include <cstdint>
#include <utility>

#include "core/bstr.h"
#include "core/guid.h"
#include "core/hresult.h"

constexpr IID IID_IUnknown = MakeGuid("{00000000-0000-0000-C000-000000000046}");
constexpr IID IID_IDispatch = MakeGuid("{00020400-0000-0000-C000-000000000046}");
constexpr IID IID_ITypeInfo = MakeGuid("{00020401-0000-0000-C000-000000000046}");

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Interface identifier of an interface type: each interface declares
//   static constexpr IID iid = MakeGuid("{...}");
template <class T>
constexpr const IID& IidOf() { return T::iid; }
template <>
constexpr const IID& IidOf<IUnknown>() { return IID_IUnknown; }

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference.
  ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(const ComPtr& o) { ComPtr(o).Swap(*this); return *this; }
  ComPtr& operator=(ComPtr&& o) noexcept { ComPtr(std::move(o)).Swap(*this); return *this; }
  ComPtr& operator=(std::nullptr_t) { Reset(); return *this; }

  // Adopts a reference the caller already owns (an out-parameter's result).
  static ComPtr Attach(T* p) { ComPtr c; c.p_ = p; return c; }
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() { if (auto p = std::exchange(p_, nullptr)) p->Release(); }
  void Swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what it held and hands out the slot.
  T** put() { Reset(); return &p_; }
  void** put_void() { Reset(); return reinterpret_cast<void**>(&p_); }

  template <class U>
  HRESULT As(ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(IidOf<U>(), out.put_void());
  }
  template <class U>
  ComPtr<U> As() const { ComPtr<U> out; As(out); return out; }

  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Same object identity test of COM: compare the IUnknown pointers.
bool IsSameObject(IUnknown* a, IUnknown* b);

class Variant;
using VARIANT = Variant;
class ITypeInfo;

struct DISPPARAMS {
  Variant* rgvarg = nullptr;       // arguments, last argument first
  DISPID* rgdispidNamedArgs = nullptr;
  uint32_t cArgs = 0;
  uint32_t cNamedArgs = 0;
};

struct EXCEPINFO {
  uint16_t wCode = 0;
  Bstr bstrSource;
  Bstr bstrDescription;
  Bstr bstrHelpFile;
  uint32_t dwHelpContext = 0;
  HRESULT scode = S_OK;
};

constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

class IDispatch : public IUnknown {
 public:
  static constexpr IID iid = IID_IDispatch;
  virtual HRESULT GetTypeInfoCount(uint32_t* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(uint32_t iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, const char16_t** rgszNames, uint32_t cNames, LCID lcid,
                                DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                         uint32_t* puArgErr) = 0;
};
