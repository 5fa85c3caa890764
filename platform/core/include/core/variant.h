#pragma once
// VARIANT: the automation value. Copying a Variant copies its value (objects gain a reference,
// arrays are copied); a by-reference Variant points at storage the caller owns.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bstr.h"
#include "core/unknown.h"

using VARTYPE = uint16_t;
enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_UI1 = 17,
  VT_USERDEFINED = 29,  // type descriptions only: a type named by GUID
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

using VARIANT_BOOL = int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
// The value of an omitted optional argument: VT_ERROR with this code.
constexpr HRESULT DISP_E_PARAMNOTFOUND_SCODE = MakeHResult(0x80020004);

class Variant;

// A one-dimensional array with a lower bound (SAFEARRAY's stand-in for the arrays the suite uses):
// bytes for VT_UI1 elements, Variants for VT_VARIANT elements, texts for VT_BSTR elements.
struct SafeArray {
  VARTYPE elementType = VT_UI1;
  int32_t lowerBound = 0;
  std::vector<uint8_t> bytes;
  std::vector<Variant> variants;
  std::vector<Bstr> strings;
  // For two-dimensional arrays (GetAllSettings): column count; 0 means one dimension.
  int32_t columns = 0;
  int32_t Count() const;
};

class Variant {
 public:
  Variant() = default;
  Variant(const Variant& o);
  Variant(Variant&& o) noexcept;
  Variant& operator=(const Variant& o);
  Variant& operator=(Variant&& o) noexcept;
  ~Variant();

  // Value constructors.
  Variant(int16_t v) : vt_(VT_I2) { u_.i2 = v; }
  Variant(int32_t v) : vt_(VT_I4) { u_.i4 = v; }
  Variant(float v) : vt_(VT_R4) { u_.r4 = v; }
  Variant(double v) : vt_(VT_R8) { u_.r8 = v; }
  Variant(bool v) : vt_(VT_BOOL) { u_.b = v ? VARIANT_TRUE : VARIANT_FALSE; }
  Variant(uint8_t v) : vt_(VT_UI1) { u_.ui1 = v; }
  Variant(Bstr v) : vt_(VT_BSTR), str_(std::move(v)) {}
  Variant(const std::string& utf8) : vt_(VT_BSTR), str_(Bstr::FromUtf8(utf8)) {}
  Variant(const char* utf8) : vt_(VT_BSTR), str_(Bstr(utf8)) {}
  Variant(IDispatch* p);  // VT_DISPATCH, takes a reference
  Variant(IUnknown* p);   // VT_UNKNOWN, takes a reference
  Variant(std::vector<uint8_t> bytes, int32_t lowerBound = 0);  // VT_ARRAY | VT_UI1

  static Variant Null() { Variant v; v.vt_ = VT_NULL; return v; }
  static Variant Date(double oleDate) { Variant v; v.vt_ = VT_DATE; v.u_.r8 = oleDate; return v; }
  static Variant Error(HRESULT scode) { Variant v; v.vt_ = VT_ERROR; v.u_.scode = scode; return v; }
  // An omitted optional argument.
  static Variant Missing() { return Error(DISP_E_PARAMNOTFOUND_SCODE); }
  static Variant Array(std::shared_ptr<SafeArray> a);
  // By-reference: points at the caller's storage of the given base type (int16_t for VT_I2,
  // int32_t for VT_I4, float, double, VARIANT_BOOL, uint8_t, Bstr, ComPtr<IDispatch>,
  // ComPtr<IUnknown>, Variant for VT_VARIANT, std::shared_ptr<SafeArray> for arrays).
  static Variant ByRef(VARTYPE baseType, void* storage);

  VARTYPE vt() const { return vt_; }
  bool IsByRef() const { return (vt_ & VT_BYREF) != 0; }
  bool IsEmpty() const { return vt_ == VT_EMPTY; }
  bool IsNull() const { return vt_ == VT_NULL; }
  bool IsMissing() const { return vt_ == VT_ERROR && u_.scode == DISP_E_PARAMNOTFOUND_SCODE; }
  bool IsObject() const { VARTYPE t = Deref().vt_; return t == VT_DISPATCH || t == VT_UNKNOWN; }
  bool IsArray() const { return (Deref().vt_ & VT_ARRAY) != 0; }

  // The value behind a by-reference Variant (a copy); a plain Variant returns itself.
  Variant Deref() const;
  // Writes through a by-reference Variant, converting to its base type; a plain Variant is replaced.
  void Assign(const Variant& value);

  // Raw access, valid for the matching vt (no conversion; see the runtime's CInt, CStr, ... for VB's).
  int16_t i2() const { return u_.i2; }
  int32_t i4() const { return u_.i4; }
  float r4() const { return u_.r4; }
  double r8() const { return u_.r8; }
  double date() const { return u_.r8; }
  VARIANT_BOOL boolVal() const { return u_.b; }
  uint8_t ui1() const { return u_.ui1; }
  HRESULT scode() const { return u_.scode; }
  const Bstr& bstr() const { return str_; }
  IUnknown* punk() const { return obj_.Get(); }
  IDispatch* pdisp() const;
  const std::shared_ptr<SafeArray>& array() const { return arr_; }
  void* byref() const { return u_.ref; }

  // Loose equality of value and type (for tests).
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  VARTYPE vt_ = VT_EMPTY;
  union {
    int16_t i2;
    int32_t i4;
    float r4;
    double r8;
    VARIANT_BOOL b;
    uint8_t ui1;
    HRESULT scode;
    void* ref;
  } u_{};
  Bstr str_;
  ComPtr<IUnknown> obj_;  // VT_DISPATCH holds an IDispatch* stored as IUnknown*
  std::shared_ptr<SafeArray> arr_;
};
