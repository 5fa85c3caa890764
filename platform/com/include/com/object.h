#pragma once
// Base for implementing COM objects in C++:
//
//   class Foo : public ComObject<IFoo, IBar> { ... };
//   ComPtr<IFoo> p = MakeComObject<Foo>(args...);
//
// Reference counting is atomic; the object deletes itself at its last Release. QueryInterface
// answers IUnknown, each listed interface's iid, IDispatch for the first listed interface that
// derives from it, and whatever QueryOther answers (override it for further interfaces or for
// interfaces of base interfaces).
#include <atomic>
#include <type_traits>

#include "core/unknown.h"

template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else if (!Find<First, Rest...>(riid, ppv)) {
      if (riid == IID_IDispatch) FindDispatch<First, Rest...>(ppv);
      if (!*ppv) {
        HRESULT hr = QueryOther(riid, ppv);
        if (FAILED(hr) || !*ppv) { *ppv = nullptr; return E_NOINTERFACE; }
        return S_OK;  // QueryOther added its own reference
      }
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) {
      FinalRelease();
      delete this;
    }
    return n;
  }
  // The object's own IUnknown.
  IUnknown* Unknown() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

 protected:
  virtual ~ComObject() = default;
  // Further interfaces: set *ppv with a reference (AddRef) and return S_OK.
  virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }
  // Runs once before deletion.
  virtual void FinalRelease() {}
  ULONG RefCount() const { return refs_; }

 private:
  template <class I, class... More>
  bool Find(REFIID riid, void** ppv) {
    if (riid == I::iid) {
      *ppv = static_cast<I*>(this);
      return true;
    }
    if constexpr (sizeof...(More) > 0) return Find<More...>(riid, ppv);
    return false;
  }
  template <class I, class... More>
  void FindDispatch(void** ppv) {
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      *ppv = static_cast<IDispatch*>(static_cast<I*>(this));
    } else if constexpr (sizeof...(More) > 0) {
      FindDispatch<More...>(ppv);
    }
  }
  std::atomic<ULONG> refs_{0};
};

// Creates an object and hands out its first reference.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}
