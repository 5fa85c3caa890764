// IDispatch served from a type description, automation's value conversion, and late-bound calls.
#include "com/dispatch.h"

#include <stdexcept>

#include "core/error.h"
#include "core/runtime_convert.h"

// ---- Value conversion --------------------------------------------------------------------------

namespace {
HRESULT HResultOfConversionError(const VBError& e) {
  switch (e.Number()) {
    case vbErrOverflow: return DISP_E_OVERFLOW;
    case vbErrOutOfMemory: return E_OUTOFMEMORY;
    default: return DISP_E_TYPEMISMATCH;
  }
}
}  // namespace

HRESULT VariantChangeType(Variant* dest, const Variant& source, uint16_t, VARTYPE vt) {
  if (!dest) return E_POINTER;
  try {
    Variant src = source.Deref();
    if (vt == VT_VARIANT || vt == src.vt()) {
      *dest = src;
      return S_OK;
    }
    switch (vt) {
      case VT_EMPTY: *dest = Variant(); return S_OK;
      case VT_NULL: *dest = Variant::Null(); return S_OK;
      case VT_I2: *dest = Variant(CInt(src)); return S_OK;
      case VT_I4: *dest = Variant(CLng(src)); return S_OK;
      case VT_R4: *dest = Variant(CSng(src)); return S_OK;
      case VT_R8: *dest = Variant(CDbl(src)); return S_OK;
      case VT_UI1: *dest = Variant(CByte(src)); return S_OK;
      case VT_BOOL: *dest = Variant(CBool(src)); return S_OK;
      case VT_DATE:
        if (src.vt() == VT_BSTR) return DISP_E_TYPEMISMATCH;
        *dest = Variant::Date(CDbl(src));
        return S_OK;
      case VT_BSTR:
        if (src.IsObject() || src.IsArray() || src.vt() == VT_ERROR) return DISP_E_TYPEMISMATCH;
        *dest = Variant(CStr(src));
        return S_OK;
      case VT_ERROR:
        if (src.vt() != VT_ERROR) return DISP_E_TYPEMISMATCH;
        *dest = src;
        return S_OK;
      case VT_DISPATCH:
      case VT_UNKNOWN: {
        if (src.vt() == VT_EMPTY) {
          *dest = vt == VT_DISPATCH ? Variant(static_cast<IDispatch*>(nullptr))
                                    : Variant(static_cast<IUnknown*>(nullptr));
          return S_OK;
        }
        if (!src.IsObject()) return DISP_E_TYPEMISMATCH;
        if (vt == VT_UNKNOWN) {
          *dest = Variant(src.punk());
          return S_OK;
        }
        if (!src.punk()) {
          *dest = Variant(static_cast<IDispatch*>(nullptr));
          return S_OK;
        }
        ComPtr<IDispatch> d;
        if (FAILED(src.punk()->QueryInterface(IID_IDispatch, d.put_void()))) return DISP_E_TYPEMISMATCH;
        *dest = Variant(d.Get());
        return S_OK;
      }
      default:
        if ((vt & VT_ARRAY) && src.IsArray() && src.vt() == vt) {
          *dest = src;
          return S_OK;
        }
        return (vt & ~(VT_ARRAY | VT_TYPEMASK)) ? DISP_E_BADVARTYPE : DISP_E_TYPEMISMATCH;
    }
  } catch (const VBError& e) {
    return HResultOfConversionError(e);
  }
}

// ---- Arguments ---------------------------------------------------------------------------------

DispatchArgs::DispatchArgs(std::vector<Variant> values, std::vector<bool> supplied)
    : values_(std::move(values)), supplied_(std::move(supplied)), written_(values_.size(), false) {}

const Variant& DispatchArgs::At(size_t i) const {
  if (i >= values_.size()) Raise(vbErrWrongArgCount);
  return values_[i];
}

const Variant& DispatchArgs::operator[](size_t i) const { return At(i); }
bool DispatchArgs::IsMissing(size_t i) const { return At(i).IsMissing(); }

namespace {
template <class F>
auto Converted(const Variant& v, F&& convert) {
  if (v.IsMissing()) Raise(449);  // "Argument not optional"
  return convert(v);
}
}  // namespace

int16_t DispatchArgs::Integer(size_t i) const { return Converted(At(i), CInt); }
int32_t DispatchArgs::Long(size_t i) const { return Converted(At(i), CLng); }
float DispatchArgs::Single(size_t i) const { return Converted(At(i), CSng); }
double DispatchArgs::Double(size_t i) const { return Converted(At(i), CDbl); }
bool DispatchArgs::Bool(size_t i) const { return Converted(At(i), CBool); }
std::string DispatchArgs::String(size_t i) const { return Converted(At(i), CStr); }
Bstr DispatchArgs::BString(size_t i) const {
  const Variant& v = At(i);
  if (v.vt() == VT_BSTR) return v.bstr();  // keeps a null BSTR null
  return Bstr::FromUtf8(Converted(v, CStr));
}
ComPtr<IUnknown> DispatchArgs::Unknown(size_t i) const {
  const Variant& v = At(i);
  if (v.vt() == VT_EMPTY) return nullptr;
  if (!v.IsObject()) Raise(vbErrTypeMismatch);
  return ComPtr<IUnknown>(v.punk());
}
ComPtr<IDispatch> DispatchArgs::Dispatch(size_t i) const {
  ComPtr<IUnknown> u = Unknown(i);
  if (!u) return nullptr;
  ComPtr<IDispatch> d;
  if (FAILED(u.As(d))) Raise(vbErrTypeMismatch);
  return d;
}

void DispatchArgs::Set(size_t i, const Variant& value) {
  At(i);
  values_[i] = value.Deref();
  written_[i] = true;
}

// ---- Dispatcher ---------------------------------------------------------------------------------

namespace {
std::shared_ptr<const TypeLibDesc> RequireLib(REFGUID libid, uint16_t major, uint16_t minor) {
  auto lib = FindPublishedTypeLib(libid, major, minor);
  if (!lib) {
    ComPtr<ITypeLib> loaded;
    if (SUCCEEDED(LoadRegTypeLib(libid, major, minor, 0, loaded.put()))) lib = loaded->Description();
  }
  if (!lib) Raise(TYPE_E_LIBNOTREGISTERED, "Library not registered: " + GuidToString(libid));
  return lib;
}
}  // namespace

Dispatcher::Dispatcher(REFGUID libid, uint16_t major, uint16_t minor, REFIID iid)
    : Dispatcher(RequireLib(libid, major, minor), iid) {}

Dispatcher::Dispatcher(std::shared_ptr<const TypeLibDesc> lib, REFIID iid) : lib_(std::move(lib)) {
  if (!lib_) Raise(TYPE_E_LIBNOTREGISTERED);
  itf_ = lib_->Find(iid);
  if (!itf_ || (itf_->kind != TKIND_INTERFACE && itf_->kind != TKIND_DISPATCH))
    Raise(TYPE_E_ELEMENTNOTFOUND, "The library " + lib_->name + " has no interface " + GuidToString(iid));
}

Dispatcher& Dispatcher::On(DISPID id, INVOKEKIND kind, DispatchHandler h) {
  bool described = false;
  for (const MemberDesc* m : itf_->MembersWithId(id)) described |= m->kind == kind;
  if (!described)
    throw std::logic_error("member " + std::to_string(id) + " of kind " + std::to_string(kind) +
                           " is not in the description of " + itf_->name);
  handlers_[{id, kind}] = std::move(h);
  return *this;
}

Dispatcher& Dispatcher::On(const std::string& name, INVOKEKIND kind, DispatchHandler h) {
  std::u16string wanted = Utf8ToUtf16(name);
  for (const auto& m : itf_->members)
    if (m.kind == kind && SameName(Utf8ToUtf16(m.name), wanted)) return On(m.id, kind, std::move(h));
  throw std::logic_error("member " + name + " is not in the description of " + itf_->name);
}

std::string Dispatcher::ErrorSource() const { return lib_->name + "." + itf_->name; }

HRESULT Dispatcher::GetTypeInfoCount(uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT Dispatcher::GetTypeInfo(uint32_t index, LCID, ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return MakeTypeLib(lib_)->GetTypeInfoOfGuid(itf_->guid, out);
}

HRESULT Dispatcher::GetIDsOfNames(REFIID riid, const char16_t** names, uint32_t count, LCID, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  HRESULT hr = GetTypeInfo(0, 0, info.put());
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

namespace {
// The member a call reaches: puts by their flag, else a method, else a property get.
const MemberDesc* Choose(const TypeDesc& itf, DISPID id, WORD flags) {
  auto members = itf.MembersWithId(id);
  auto find = [&](INVOKEKIND k) -> const MemberDesc* {
    for (const MemberDesc* m : members)
      if (m->kind == k) return m;
    return nullptr;
  };
  if (flags & DISPATCH_PROPERTYPUTREF) {
    if (auto m = find(INVOKE_PROPERTYPUTREF)) return m;
  }
  if (flags & DISPATCH_PROPERTYPUT) {
    if (auto m = find(INVOKE_PROPERTYPUT)) return m;
  }
  if (flags & DISPATCH_METHOD) {
    if (auto m = find(INVOKE_FUNC)) return m;
  }
  if (flags & DISPATCH_PROPERTYGET) {
    if (auto m = find(INVOKE_PROPERTYGET)) return m;
  }
  return nullptr;
}

void FillException(EXCEPINFO* info, HRESULT scode, const std::string& description, const std::string& source) {
  if (!info) return;
  *info = EXCEPINFO{};
  info->bstrDescription = Bstr::FromUtf8(description);
  info->bstrSource = Bstr::FromUtf8(source);
  info->scode = scode;
}
}  // namespace

HRESULT Dispatcher::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excepInfo, uint32_t* argErr) {
  try {
    return InvokeMember(id, riid, lcid, flags, params, result, excepInfo, argErr);
  } catch (...) {
    // A caller's argument the machinery could not read (a by-reference slot of no known type).
    return HResultFromCurrentException(ErrorSource());
  }
}

HRESULT Dispatcher::InvokeMember(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, uint32_t* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!params) return E_INVALIDARG;
  if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs))
    return E_INVALIDARG;
  const MemberDesc* member = Choose(*itf_, id, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const bool put = member->kind == INVOKE_PROPERTYPUT || member->kind == INVOKE_PROPERTYPUTREF;

  // Named arguments: only the value of a put.
  uint32_t named = params->cNamedArgs;
  if (named > 1 || (named == 1 && (!put || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
    return DISP_E_NONAMEDARGS;

  // Positional slot i (declaration order) -> index into rgvarg, or -1 when not supplied.
  const size_t declared = member->ArgumentCount();
  const size_t given = params->cArgs;
  if (given > declared) return DISP_E_BADPARAMCOUNT;
  std::vector<int> source(declared, -1);
  if (put) {
    if (given == 0) return DISP_E_BADPARAMCOUNT;
    // The value is rgvarg[0] (named or not); the index arguments before it come last first.
    source[declared - 1] = 0;
    size_t indexes = given - 1;
    for (size_t i = 0; i < indexes; ++i) source[i] = static_cast<int>(given - 1 - i);
  } else {
    for (size_t i = 0; i < given; ++i) source[i] = static_cast<int>(given - 1 - i);
  }

  std::vector<Variant> values(declared);
  std::vector<bool> supplied(declared, false);
  for (size_t i = 0; i < declared; ++i) {
    const ParamDesc& p = member->params[i];
    Variant arg;  // the caller's value, read through a by-reference slot
    if (source[i] >= 0) {
      HRESULT hr = VariantChangeType(&arg, params->rgvarg[source[i]], 0, VT_VARIANT);
      if (FAILED(hr)) {
        if (argErr) *argErr = static_cast<uint32_t>(source[i]);
        return hr;
      }
    }
    bool omitted = source[i] < 0 || arg.IsMissing();
    if (omitted) {
      if (!p.IsOptional()) {
        if (source[i] >= 0 && argErr) *argErr = static_cast<uint32_t>(source[i]);
        return source[i] < 0 ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
      }
      values[i] = (p.flags & PARAMFLAG_FHASDEFAULT) ? p.defaultValue : Variant::Missing();
      continue;
    }
    HRESULT hr = VariantChangeType(&values[i], arg, 0, p.BaseType());
    if (FAILED(hr)) {
      if (argErr) *argErr = static_cast<uint32_t>(source[i]);
      return hr;
    }
    supplied[i] = true;
  }

  auto handler = handlers_.find({member->id, member->kind});
  if (handler == handlers_.end()) return E_NOTIMPL;

  DispatchArgs args(std::move(values), supplied);
  Variant value;
  HRESULT failure = S_OK;
  std::string description, errorSource;
  try {
    value = handler->second(args);
  } catch (...) {
    failure = HResultFromCurrentException(ErrorSource());
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK) {
      Bstr d, s;
      info->GetDescription(&d);
      info->GetSource(&s);
      description = d.Utf8();
      errorSource = s.Utf8();
      SetErrorInfo(0, info.Get());  // left for a caller through the interface's own slots
    }
  }

  // By-reference arguments the member wrote go back to the caller's storage.
  for (size_t i = 0; i < declared; ++i) {
    // Only parameters declared by reference are written back, whatever the caller passed.
    if (!args.WasSet(i) || source[i] < 0 || !member->params[i].IsByRef()) continue;
    Variant& target = params->rgvarg[source[i]];
    if (!target.IsByRef()) continue;
    try {
      target.Assign(args[i]);
    } catch (const VBError&) {
      if (argErr) *argErr = static_cast<uint32_t>(source[i]);
      if (SUCCEEDED(failure)) return DISP_E_TYPEMISMATCH;
    }
  }

  if (FAILED(failure)) {
    if (!excepInfo) return failure;
    FillException(excepInfo, failure, description, errorSource);
    return DISP_E_EXCEPTION;
  }
  if (result) {
    VARTYPE rt = member->ResultType();
    if (rt == VT_EMPTY) {
      *result = Variant();
    } else if (FAILED(VariantChangeType(result, value, 0, rt))) {
      *result = value;
    }
  }
  return S_OK;
}

// ---- Class information --------------------------------------------------------------------------

void ProvideClassInfoImpl::SetClassInfoSource(REFGUID libid, uint16_t major, uint16_t minor, REFCLSID clsid) {
  libid_ = libid;
  major_ = major;
  minor_ = minor;
  clsid_ = clsid;
}

HRESULT ProvideClassInfoImpl::GetClassInfo(ITypeInfo** out) {
  return GetRegisteredTypeInfo(libid_, major_, minor_, clsid_, out);
}

HRESULT ProvideClassInfoImpl::GetGUID(DWORD guidKind, GUID* out) {
  if (!out) return E_POINTER;
  *out = GUID_NULL;
  if (guidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  ComPtr<ITypeInfo> info;
  HRESULT hr = GetClassInfo(info.put());
  if (FAILED(hr)) return hr;
  *out = info->Description().DefaultSource();
  return *out == GUID_NULL ? E_UNEXPECTED : S_OK;
}

// ---- Late-bound calls ------------------------------------------------------------------------------

namespace {
[[noreturn]] void RaiseDispatchFailure(HRESULT hr, const EXCEPINFO& info, const std::string& member) {
  switch (hr) {
    case DISP_E_EXCEPTION: {
      HRESULT scode = info.scode ? info.scode : E_FAIL;
      Raise(ErrorNumberFromHResult(scode), info.bstrDescription.Utf8(), info.bstrSource.Utf8());
    }
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME: Raise(vbErrObjectDoesntSupport, {}, member);
    case DISP_E_TYPEMISMATCH: Raise(vbErrTypeMismatch, {}, member);
    case DISP_E_OVERFLOW: Raise(vbErrOverflow, {}, member);
    case DISP_E_BADPARAMCOUNT: Raise(vbErrWrongArgCount, {}, member);
    case DISP_E_PARAMNOTOPTIONAL: Raise(449, {}, member);
    case DISP_E_NONAMEDARGS: Raise(446, {}, member);
    default: CheckWithInfo(hr, member); Raise(hr);
  }
}
}  // namespace

DISPID GetDispId(IDispatch* object, const std::string& name) {
  if (!object) Raise(vbErrObjectNotSet);
  std::u16string wide = Utf8ToUtf16(name);
  const char16_t* names[] = {wide.c_str()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) Raise(vbErrObjectDoesntSupport, {}, name);
  return id;
}

Variant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, std::vector<Variant> args) {
  if (!object) Raise(vbErrObjectNotSet);
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  DISPID namedPut = DISPID_PROPERTYPUT;
  DISPPARAMS params;
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<uint32_t>(reversed.size());
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !reversed.empty()) {
    params.rgdispidNamedArgs = &namedPut;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO info;
  uint32_t argErr = 0;
  HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &info, &argErr);
  if (FAILED(hr)) RaiseDispatchFailure(hr, info, std::to_string(id));
  return result;
}

Variant CallByName(IDispatch* object, const std::string& name, WORD flags, std::vector<Variant> args) {
  DISPID id = GetDispId(object, name);
  try {
    return InvokeDispatch(object, id, flags, std::move(args));
  } catch (const VBError& e) {
    // Failures of the call machinery name the member; a member's own failure keeps its source.
    if (e.Source() == std::to_string(id)) throw VBError(e.Number(), e.Description(), name);
    throw;
  }
}
