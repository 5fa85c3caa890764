#pragma once
// IDispatch served from a type description, and late-bound calls from the caller's side.
//
// A class binds the members of its interface's description to handlers, one per DISPID and
// access kind:
//
//   class Probe : public DispatchObject<IProbe> {
//    public:
//     Probe() : DispatchObject(kLibId, 1, 0, IProbe::iid) {
//       Dispatch().Method(1, [this](DispatchArgs& a) { return Variant(Add(a.Long(0), a.Long(1))); })
//                 .Get(2, [this](DispatchArgs&) { return Variant(label_); })
//                 .Put(2, [this](DispatchArgs& a) { label_ = a.String(0); return Variant(); });
//     }
//   };
//
// Invoke takes the arguments as COM passes them (last argument first), converts each to its
// declared type, supplies omitted optional arguments, writes by-reference arguments back, and
// returns the handler's result as the retval. A handler that throws reaches the caller as
// DISP_E_EXCEPTION with EXCEPINFO filled from the error.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com/interfaces.h"
#include "com/object.h"
#include "com/typeinfo.h"
#include "core/variant.h"

// Automation's value conversion: src converted to vt (a base type, or VT_VARIANT for no
// conversion). DISP_E_TYPEMISMATCH when the value cannot be converted, DISP_E_OVERFLOW when it
// does not fit.
HRESULT VariantChangeType(Variant* dest, const Variant& src, uint16_t flags, VARTYPE vt);

// The arguments of one call, in declaration order.
class DispatchArgs {
 public:
  DispatchArgs(std::vector<Variant> values, std::vector<bool> supplied);
  size_t Count() const { return values_.size(); }
  // The i-th argument, converted to its declared type (Variant::Missing for an omitted
  // optional argument without a default).
  const Variant& operator[](size_t i) const;
  bool IsMissing(size_t i) const;
  int16_t Integer(size_t i) const;
  int32_t Long(size_t i) const;
  float Single(size_t i) const;
  double Double(size_t i) const;
  bool Bool(size_t i) const;
  std::string String(size_t i) const;
  Bstr BString(size_t i) const;
  ComPtr<IUnknown> Unknown(size_t i) const;
  ComPtr<IDispatch> Dispatch(size_t i) const;
  // Gives a by-reference argument a new value, written back to the caller's storage.
  void Set(size_t i, const Variant& value);
  bool WasSet(size_t i) const { return i < written_.size() && written_[i]; }

 private:
  const Variant& At(size_t i) const;
  std::vector<Variant> values_;
  std::vector<bool> supplied_;
  std::vector<bool> written_;
};

// A handler returns the member's retval (ignored for members without one).
using DispatchHandler = std::function<Variant(DispatchArgs&)>;

class Dispatcher {
 public:
  // Serves the interface or dispinterface iid of the published library (FindPublishedTypeLib;
  // the library loads it if needed). Throws VBError when the library or interface is unknown.
  Dispatcher(REFGUID libid, uint16_t major, uint16_t minor, REFIID iid);
  Dispatcher(std::shared_ptr<const TypeLibDesc> lib, REFIID iid);

  Dispatcher& Method(DISPID id, DispatchHandler h) { return On(id, INVOKE_FUNC, std::move(h)); }
  Dispatcher& Get(DISPID id, DispatchHandler h) { return On(id, INVOKE_PROPERTYGET, std::move(h)); }
  Dispatcher& Put(DISPID id, DispatchHandler h) { return On(id, INVOKE_PROPERTYPUT, std::move(h)); }
  Dispatcher& PutRef(DISPID id, DispatchHandler h) { return On(id, INVOKE_PROPERTYPUTREF, std::move(h)); }
  // Binds a member of the description; throws std::logic_error for a member it does not have.
  Dispatcher& On(DISPID id, INVOKEKIND kind, DispatchHandler h);
  Dispatcher& On(const std::string& name, INVOKEKIND kind, DispatchHandler h);

  const TypeDesc& Interface() const { return *itf_; }
  const TypeLibDesc& Library() const { return *lib_; }
  // Source of the errors a handler raises without one: "<library>.<interface>".
  std::string ErrorSource() const;

  // The IDispatch members.
  HRESULT GetTypeInfoCount(uint32_t* count);
  HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out);
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid, DISPID* ids);
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr);

 private:
  HRESULT InvokeMember(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* excepInfo, uint32_t* argErr);
  std::shared_ptr<const TypeLibDesc> lib_;
  const TypeDesc* itf_ = nullptr;
  std::map<std::pair<DISPID, int32_t>, DispatchHandler> handlers_;
};

// Base for a class whose IDispatch (of its first, dual interface) is served by a Dispatcher.
template <class Dual, class... More>
class DispatchObject : public ComObject<Dual, More...> {
 public:
  HRESULT GetTypeInfoCount(uint32_t* count) override { return dispatcher_.GetTypeInfoCount(count); }
  HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** out) override {
    return dispatcher_.GetTypeInfo(index, lcid, out);
  }
  HRESULT GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID lcid,
                        DISPID* ids) override {
    return dispatcher_.GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr) override {
    return dispatcher_.Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
  }

 protected:
  DispatchObject(REFGUID libid, uint16_t major, uint16_t minor, REFIID iid)
      : dispatcher_(libid, major, minor, iid) {}
  Dispatcher& Dispatch() { return dispatcher_; }

 private:
  Dispatcher dispatcher_;
};

// IProvideClassInfo2 of a class described in a published library: its class's type information
// and default source. List it among the interfaces of ComObject<> and call SetClassInfoSource in
// the constructor; answer IProvideClassInfo itself from QueryOther.
class ProvideClassInfoImpl : public IProvideClassInfo2 {
 public:
  HRESULT GetClassInfo(ITypeInfo** out) override;
  HRESULT GetGUID(DWORD guidKind, GUID* out) override;

 protected:
  void SetClassInfoSource(REFGUID libid, uint16_t major, uint16_t minor, REFCLSID clsid);

 private:
  GUID libid_;
  uint16_t major_ = 1, minor_ = 0;
  CLSID clsid_;
};

// Late-bound calls, as the runtime makes them. Arguments are given in their natural order;
// pass Variant::ByRef(...) for by-reference arguments and Variant::Missing() to omit one.
// Failures are raised as runtime errors: an unknown member as error 438, a type mismatch as 13,
// a wrong argument count as 450, a failing member with its own number and description.
DISPID GetDispId(IDispatch* object, const std::string& name);
Variant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args = {});
// flags: DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT or DISPATCH_PROPERTYPUTREF
// (the runtime's vbMethod, vbGet, vbLet, vbSet); a put takes the new value as its last argument.
Variant CallByName(IDispatch* object, const std::string& name, WORD flags,
                   std::vector<Variant> args = {});
