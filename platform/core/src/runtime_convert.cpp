#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "runtime_internal.h"

namespace core_detail {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int radix) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < radix ? d : -1;
}

// "&H..." / "&O..." / "&..." (octal); `s` starts after the '&'.
NumberText ParseRadix(std::string_view s, double& value) {
  int radix = 8;
  if (!s.empty() && (s[0] == 'H' || s[0] == 'h')) { radix = 16; s.remove_prefix(1); }
  else if (!s.empty() && (s[0] == 'O' || s[0] == 'o')) { s.remove_prefix(1); }
  if (s.empty()) return NumberText::NotNumeric;
  uint64_t v = 0;
  for (char c : s) {
    int d = DigitValue(c, radix);
    if (d < 0) return NumberText::NotNumeric;
    v = v * static_cast<uint64_t>(radix) + static_cast<uint64_t>(d);
    if (v > 0xFFFFFFFFull) return NumberText::Overflow;
  }
  if (v <= 0xFFFF) value = static_cast<int16_t>(static_cast<uint16_t>(v));
  else value = static_cast<int32_t>(static_cast<uint32_t>(v));
  return NumberText::Ok;
}
}  // namespace

NumberText ParseNumberText(std::string_view s, double& value) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  if (s.empty()) return NumberText::NotNumeric;
  if (s[0] == '&') return ParseRadix(s.substr(1), value);

  std::string clean;  // sign, digits, '.', 'e', exponent: what from_chars reads
  size_t i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  bool anyDigit = false;
  while (i < s.size() && (IsDigit(s[i]) || (s[i] == ',' && anyDigit))) {
    if (s[i] != ',') { clean.push_back(s[i]); anyDigit = true; }
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    clean.push_back('.');
    ++i;
    while (i < s.size() && IsDigit(s[i])) { clean.push_back(s[i++]); anyDigit = true; }
  }
  if (!anyDigit) return NumberText::NotNumeric;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    clean.push_back('e');
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean.push_back(s[i++]);
    bool expDigit = false;
    while (i < s.size() && IsDigit(s[i])) { clean.push_back(s[i++]); expDigit = true; }
    if (!expDigit) return NumberText::NotNumeric;
  }
  if (i != s.size()) return NumberText::NotNumeric;
  double d = 0;
  auto [end, ec] = std::from_chars(clean.data(), clean.data() + clean.size(), d);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as 0; only a too-large magnitude is an overflow.
    size_t e = clean.find('e');
    if (e != std::string::npos && clean[e + 1] == '-') d = 0;
    else return NumberText::Overflow;
  } else if (ec != std::errc() || end != clean.data() + clean.size()) {
    return NumberText::NotNumeric;
  }
  if (std::isinf(d)) return NumberText::Overflow;
  value = negative ? -d : d;
  if (value == 0) value = 0;  // no negative zero
  return NumberText::Ok;
}

namespace {
// The value behind a by-reference Variant or an object's default property.
Variant ValueOf(const Variant& v) {
  Variant x = v.Deref();
  if (x.vt() == VT_DISPATCH || x.vt() == VT_UNKNOWN) {
    IDispatch* d = x.pdisp();
    if (!d) {
      if (!x.punk()) Raise(vbErrObjectNotSet);
      Raise(vbErrTypeMismatch);
    }
    DISPPARAMS none;
    Variant result;
    HRESULT hr = d->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT,
                           DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    if (FAILED(hr)) Raise(vbErrObjectDoesntSupport);
    if (result.IsObject()) Raise(vbErrTypeMismatch);
    return result.Deref();
  }
  return x;
}
}  // namespace

double NumberOf(const Variant& value) {
  Variant v = ValueOf(value);
  switch (v.vt()) {
    case VT_EMPTY: return 0;
    case VT_NULL: Raise(94);
    case VT_I2: return v.i2();
    case VT_I4: return v.i4();
    case VT_R4: return v.r4();
    case VT_R8: return v.r8();
    case VT_DATE: return v.date();
    case VT_BOOL: return v.boolVal() ? -1 : 0;
    case VT_UI1: return v.ui1();
    case VT_BSTR: {
      double d = 0;
      switch (ParseNumberText(v.bstr().Utf8(), d)) {
        case NumberText::Ok: return d;
        case NumberText::Overflow: Raise(vbErrOverflow);
        case NumberText::NotNumeric: break;
      }
      Raise(vbErrTypeMismatch);
    }
    default: Raise(vbErrTypeMismatch);
  }
}

double RoundedInRange(double d, double lo, double hi) {
  double r = std::nearbyint(d);  // the default rounding mode rounds half to even
  if (!(r >= lo && r <= hi)) Raise(vbErrOverflow);
  return r;
}

std::string NumberToText(double d, int digits) {
  if (d == 0) return "0";
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-1.#INF" : "1.#INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", digits, d);
  return buf;
}

}  // namespace core_detail

using namespace core_detail;

bool CBool(const Variant& value) {
  Variant v = ValueOf(value);
  if (v.vt() == VT_BSTR) {
    std::string s = v.bstr().Utf8();
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    std::string t;
    for (size_t i = b; i < e; ++i) t.push_back(static_cast<char>(FoldLower(static_cast<unsigned char>(s[i]))));
    if (t == "true") return true;
    if (t == "false") return false;
  }
  return NumberOf(v) != 0;
}

uint8_t CByte(const Variant& v) { return static_cast<uint8_t>(RoundedInRange(NumberOf(v), 0, 255)); }

int16_t CInt(const Variant& v) {
  return static_cast<int16_t>(RoundedInRange(NumberOf(v), -32768, 32767));
}

int32_t CLng(const Variant& v) {
  return static_cast<int32_t>(RoundedInRange(NumberOf(v), -2147483648.0, 2147483647.0));
}

float CSng(const Variant& v) {
  double d = NumberOf(v);
  // Values up to half a unit beyond FLT_MAX still round to it; anything larger overflows.
  const double limit = static_cast<double>(FLT_MAX) + std::ldexp(1.0, 127 - 24);
  if (std::isfinite(d) && std::fabs(d) >= limit) Raise(vbErrOverflow);
  if (std::isfinite(d) && std::fabs(d) > static_cast<double>(FLT_MAX)) return d < 0 ? -FLT_MAX : FLT_MAX;
  return static_cast<float>(d);
}

double CDbl(const Variant& v) { return NumberOf(v); }

std::string CStr(const Variant& value) {
  Variant v = ValueOf(value);
  switch (v.vt()) {
    case VT_EMPTY: return {};
    case VT_NULL: Raise(94);
    case VT_BSTR: return v.bstr().Utf8();
    case VT_BOOL: return v.boolVal() ? "True" : "False";
    case VT_I2: return std::to_string(v.i2());
    case VT_I4: return std::to_string(v.i4());
    case VT_UI1: return std::to_string(v.ui1());
    case VT_R4: return NumberToText(v.r4(), 7);
    case VT_R8: return NumberToText(v.r8(), 15);
    case VT_DATE: return GeneralDateText(v.date());
    default: Raise(vbErrTypeMismatch);
  }
}

bool IsNumeric(const Variant& value) {
  Variant v;
  try {
    v = ValueOf(value);
  } catch (const VBError&) {
    return false;
  }
  switch (v.vt()) {
    case VT_EMPTY: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BOOL: case VT_UI1:
      return true;
    case VT_BSTR: {
      double d = 0;
      return ParseNumberText(v.bstr().Utf8(), d) == NumberText::Ok;
    }
    default: return false;
  }
}
