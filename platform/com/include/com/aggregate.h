#pragma once
// Aggregation: a ComObject<> class made so that an outer object can take it in. Created with an
// outer unknown, the object's interfaces delegate IUnknown to the outer object and the outer
// object holds the inner, non-delegating IUnknown that controls the object's life.
//
//   RegisterPlatformClass(CLSID_Foo, "Lib.Foo", AggregatableCreator<Foo>());
#include <utility>

#include "com/com.h"
#include "com/interfaces.h"
#include "com/object.h"

template <class T>
class Aggregated final : public T {
 public:
  template <class... Args>
  explicit Aggregated(IUnknown* outer, Args&&... args)
      : T(std::forward<Args>(args)...), outer_(outer), inner_(this) {}

  // The delegating IUnknown of every interface of the object.
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // The non-delegating IUnknown the outer object holds.
  IUnknown* Inner() { return &inner_; }

 private:
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(Aggregated* self) : self_(self) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
      if (!ppv) return E_POINTER;
      if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      // The interfaces handed out delegate their reference counting to the outer object.
      return self_->T::QueryInterface(riid, ppv);
    }
    ULONG AddRef() override { return self_->T::AddRef(); }
    ULONG Release() override { return self_->T::Release(); }

   private:
    Aggregated* self_;
  };

  IUnknown* outer_;
  InnerUnknown inner_;
};

// Creates T, aggregated when outer is given (then only IUnknown may be asked for, COM's rule).
template <class T, class... Args>
HRESULT CreateAggregatable(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  try {
    if (outer) {
      if (riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
      auto* object = new Aggregated<T>(outer, std::forward<Args>(args)...);
      IUnknown* inner = object->Inner();
      inner->AddRef();
      *ppv = inner;
      return S_OK;
    }
    ComPtr<T> object = MakeComObject<T>(std::forward<Args>(args)...);
    return object->QueryInterface(riid, ppv);
  } catch (...) {
    return HResultFromCurrentException();
  }
}

// Creates T without aggregation: CLASS_E_NOAGGREGATION when an outer unknown is given.
template <class T, class... Args>
HRESULT CreatePlain(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  try {
    ComPtr<T> object = MakeComObject<T>(std::forward<Args>(args)...);
    return object->QueryInterface(riid, ppv);
  } catch (...) {
    return HResultFromCurrentException();
  }
}

template <class T>
PlatformClassCreator AggregatableCreator() {
  return [](IUnknown* outer, REFIID riid, void** ppv) { return CreateAggregatable<T>(outer, riid, ppv); };
}
template <class T>
PlatformClassCreator PlainCreator() {
  return [](IUnknown* outer, REFIID riid, void** ppv) { return CreatePlain<T>(outer, riid, ppv); };
}
