#include "core/variant.h"

#include <cmath>

#include "core/error.h"
#include "core/runtime_convert.h"

int32_t SafeArray::Count() const {
  switch (elementType) {
    case VT_UI1: return static_cast<int32_t>(bytes.size());
    case VT_BSTR: return static_cast<int32_t>(strings.size());
    default: return static_cast<int32_t>(variants.size());
  }
}

bool IsSameObject(IUnknown* a, IUnknown* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  ComPtr<IUnknown> ua, ub;
  if (FAILED(a->QueryInterface(IID_IUnknown, ua.put_void()))) return false;
  if (FAILED(b->QueryInterface(IID_IUnknown, ub.put_void()))) return false;
  return ua.Get() == ub.Get();
}

Variant::Variant(const Variant& o) : vt_(o.vt_), u_(o.u_), str_(o.str_), obj_(o.obj_) {
  if (o.arr_) arr_ = std::make_shared<SafeArray>(*o.arr_);
}
Variant::Variant(Variant&& o) noexcept
    : vt_(std::exchange(o.vt_, VT_EMPTY)), u_(o.u_), str_(std::move(o.str_)), obj_(std::move(o.obj_)),
      arr_(std::move(o.arr_)) {}
Variant& Variant::operator=(const Variant& o) {
  if (this != &o) {
    Variant tmp(o);
    *this = std::move(tmp);
  }
  return *this;
}
Variant& Variant::operator=(Variant&& o) noexcept {
  if (this != &o) {
    vt_ = std::exchange(o.vt_, VT_EMPTY);
    u_ = o.u_;
    str_ = std::move(o.str_);
    obj_ = std::move(o.obj_);
    arr_ = std::move(o.arr_);
  }
  return *this;
}
Variant::~Variant() = default;

Variant::Variant(IDispatch* p) : vt_(VT_DISPATCH), obj_(static_cast<IUnknown*>(p)) {}
Variant::Variant(IUnknown* p) : vt_(VT_UNKNOWN), obj_(p) {}
Variant::Variant(std::vector<uint8_t> bytes, int32_t lowerBound) : vt_(VT_ARRAY | VT_UI1) {
  arr_ = std::make_shared<SafeArray>();
  arr_->elementType = VT_UI1;
  arr_->lowerBound = lowerBound;
  arr_->bytes = std::move(bytes);
}

Variant Variant::Array(std::shared_ptr<SafeArray> a) {
  Variant v;
  v.vt_ = static_cast<VARTYPE>(VT_ARRAY | (a ? a->elementType : static_cast<VARTYPE>(VT_VARIANT)));
  v.arr_ = std::move(a);
  return v;
}

Variant Variant::ByRef(VARTYPE baseType, void* storage) {
  Variant v;
  v.vt_ = static_cast<VARTYPE>(baseType | VT_BYREF);
  v.u_.ref = storage;
  return v;
}

IDispatch* Variant::pdisp() const {
  return vt_ == VT_DISPATCH ? static_cast<IDispatch*>(obj_.Get()) : nullptr;
}

Variant Variant::Deref() const {
  if (!IsByRef()) return *this;
  void* p = u_.ref;
  if (!p) return Variant();
  VARTYPE base = static_cast<VARTYPE>(vt_ & ~VT_BYREF);
  if (base & VT_ARRAY) {
    auto& a = *static_cast<std::shared_ptr<SafeArray>*>(p);
    return a ? Array(std::make_shared<SafeArray>(*a)) : Variant();
  }
  switch (base) {
    case VT_I2: return Variant(*static_cast<int16_t*>(p));
    case VT_I4: return Variant(*static_cast<int32_t*>(p));
    case VT_R4: return Variant(*static_cast<float*>(p));
    case VT_R8: return Variant(*static_cast<double*>(p));
    case VT_DATE: return Date(*static_cast<double*>(p));
    case VT_BOOL: { Variant v; v.vt_ = VT_BOOL; v.u_.b = *static_cast<VARIANT_BOOL*>(p); return v; }
    case VT_UI1: return Variant(*static_cast<uint8_t*>(p));
    case VT_ERROR: return Error(*static_cast<HRESULT*>(p));
    case VT_BSTR: return Variant(*static_cast<Bstr*>(p));
    case VT_DISPATCH: return Variant(static_cast<ComPtr<IDispatch>*>(p)->Get());
    case VT_UNKNOWN: return Variant(static_cast<ComPtr<IUnknown>*>(p)->Get());
    case VT_VARIANT: return static_cast<Variant*>(p)->Deref();
    default: Raise(vbErrTypeMismatch);
  }
}

void Variant::Assign(const Variant& value) {
  if (!IsByRef()) {
    *this = value.Deref();
    return;
  }
  void* p = u_.ref;
  if (!p) Raise(vbErrObjectNotSet);
  Variant src = value.Deref();
  VARTYPE base = static_cast<VARTYPE>(vt_ & ~VT_BYREF);
  if (base & VT_ARRAY) {
    if (!(src.vt() & VT_ARRAY)) Raise(vbErrTypeMismatch);
    *static_cast<std::shared_ptr<SafeArray>*>(p) = src.arr_;
    return;
  }
  switch (base) {
    // Values convert with the runtime's rules (text to numbers and back, rounding half to even,
    // 6 for a value out of range, 94 for Null).
    case VT_I2: *static_cast<int16_t*>(p) = CInt(src); break;
    case VT_I4: *static_cast<int32_t*>(p) = CLng(src); break;
    case VT_R4: *static_cast<float*>(p) = CSng(src); break;
    case VT_R8: *static_cast<double*>(p) = CDbl(src); break;
    case VT_DATE: *static_cast<double*>(p) = src.vt() == VT_DATE ? src.date() : CDbl(src); break;
    case VT_BOOL: *static_cast<VARIANT_BOOL*>(p) = CBool(src) ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_UI1: *static_cast<uint8_t*>(p) = CByte(src); break;
    case VT_ERROR: if (src.vt() != VT_ERROR) Raise(vbErrTypeMismatch); *static_cast<HRESULT*>(p) = src.scode(); break;
    case VT_BSTR:
      if (src.vt() == VT_BSTR) *static_cast<Bstr*>(p) = src.bstr();
      else *static_cast<Bstr*>(p) = Bstr::FromUtf8(CStr(src));
      break;
    case VT_DISPATCH: {
      ComPtr<IDispatch> d;
      if (src.vt() == VT_DISPATCH) {
        d = src.pdisp();
      } else if (src.vt() == VT_UNKNOWN) {
        // An object held as IUnknown is asked for its IDispatch.
        if (src.punk() && FAILED(src.punk()->QueryInterface(IID_IDispatch, d.put_void()))) Raise(vbErrTypeMismatch);
      } else if (src.vt() != VT_EMPTY) {
        Raise(vbErrTypeMismatch);
      }
      *static_cast<ComPtr<IDispatch>*>(p) = d;
      break;
    }
    case VT_UNKNOWN:
      if (!src.IsObject() && src.vt() != VT_EMPTY) Raise(vbErrTypeMismatch);
      *static_cast<ComPtr<IUnknown>*>(p) = ComPtr<IUnknown>(src.punk());
      break;
    case VT_VARIANT: {
      Variant& target = *static_cast<Variant*>(p);
      if (target.IsByRef()) target.Assign(src); else target = src;
      break;
    }
    default: Raise(vbErrTypeMismatch);
  }
}

bool operator==(const Variant& x, const Variant& y) {
  Variant a = x.Deref(), b = y.Deref();
  if (a.vt_ != b.vt_) return false;
  if (a.vt_ & VT_ARRAY) {
    if (!a.arr_ || !b.arr_) return a.arr_ == b.arr_;
    return a.arr_->lowerBound == b.arr_->lowerBound && a.arr_->bytes == b.arr_->bytes &&
           a.arr_->variants == b.arr_->variants && a.arr_->strings == b.arr_->strings &&
           a.arr_->columns == b.arr_->columns;
  }
  switch (a.vt_) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_I2: return a.u_.i2 == b.u_.i2;
    case VT_I4: return a.u_.i4 == b.u_.i4;
    case VT_R4: return a.u_.r4 == b.u_.r4;
    case VT_R8: case VT_DATE: return a.u_.r8 == b.u_.r8;
    case VT_BOOL: return a.u_.b == b.u_.b;
    case VT_UI1: return a.u_.ui1 == b.u_.ui1;
    case VT_ERROR: return a.u_.scode == b.u_.scode;
    case VT_BSTR: return a.str_ == b.str_;
    case VT_DISPATCH: case VT_UNKNOWN: return IsSameObject(a.obj_.Get(), b.obj_.Get());
    default: return false;
  }
}
