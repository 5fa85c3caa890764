#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "core/runtime_datetime.h"
#include "core/runtime_math.h"
#include "runtime_internal.h"

using namespace core_detail;

std::string Str(const Variant& value) {
  Variant v = value.Deref();
  switch (v.vt()) {
    case VT_NULL: Raise(94);
    case VT_BOOL: case VT_DATE: return CStr(v);
    case VT_I2: case VT_I4: case VT_UI1: case VT_R4: case VT_R8: break;
    default: v = Variant(NumberOf(v)); break;
  }
  std::string s = CStr(v);
  return s[0] == '-' ? s : " " + s;
}

double Val(const std::string& text) {
  std::string s;  // the text without blanks
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s.push_back(c);
  }
  size_t i = 0;
  if (i < s.size() && s[i] == '&') {
    ++i;
    int radix = 8;
    if (i < s.size() && (s[i] == 'H' || s[i] == 'h')) { radix = 16; ++i; }
    else if (i < s.size() && (s[i] == 'O' || s[i] == 'o')) ++i;
    size_t b = i;
    while (i < s.size()) {
      char c = s[i];
      bool ok = radix == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '7');
      if (!ok) break;
      ++i;
    }
    if (i == b) return 0;
    double d = 0;
    if (ParseNumberText(s.substr(0, i), d) == NumberText::Overflow) Raise(vbErrOverflow);
    return d;
  }
  // Longest prefix of the form [sign] digits [. digits] [E|D [sign] digits].
  auto digits = [&](size_t& k) {
    size_t b = k;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') ++k;
    return k > b;
  };
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool any = digits(i);
  if (i < s.size() && s[i] == '.') {
    ++i;
    any = digits(i) || any;
  }
  if (!any) return 0;
  size_t end = i;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t k = i + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (digits(k)) end = k;
  }
  double d = 0;
  if (ParseNumberText(s.substr(0, end), d) == NumberText::Overflow) Raise(vbErrOverflow);
  return d;
}

double Round(double x, int32_t digits) {
  if (digits < 0 || digits > 22) Raise(vbErrInvalidProcedureCall);
  if (!std::isfinite(x)) return x;
  double scale = std::pow(10.0, digits);
  double y = x * scale;
  if (!std::isfinite(y)) return x;
  double r = std::nearbyint(y);
  // A product that lands a hair off the half (2.675 * 100 = 267.49999999999997) is taken as the
  // half the decimal text shows.
  double frac = std::fabs(y - std::trunc(y));
  if (digits > 0 && std::fabs(frac - 0.5) <= 8 * DBL_EPSILON * std::max(1.0, std::fabs(y))) {
    double t = std::trunc(y);
    double away = t + (y < 0 ? -1 : 1);
    r = std::fmod(t, 2.0) == 0 ? t : away;
  }
  double out = r / scale;
  return out == 0 ? 0.0 : out;
}

double Int(double x) { return std::floor(x); }
double Fix(double x) { return std::trunc(x); }
double Abs(double x) { return std::fabs(x); }
int16_t Sgn(double x) { return x > 0 ? 1 : (x < 0 ? -1 : 0); }

namespace {
std::string Radix(const Variant& value, const char* fmt) {
  Variant v = value.Deref();
  uint32_t bits;
  switch (v.vt()) {
    case VT_NULL: Raise(94);
    case VT_I2: bits = static_cast<uint16_t>(v.i2()); break;
    case VT_UI1: bits = v.ui1(); break;
    case VT_BOOL: bits = static_cast<uint16_t>(v.boolVal()); break;
    case VT_EMPTY: bits = 0; break;
    default: bits = static_cast<uint32_t>(CLng(v)); break;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, fmt, bits);
  return buf;
}
}  // namespace

std::string Hex(const Variant& v) { return Radix(v, "%X"); }
std::string Oct(const Variant& v) { return Radix(v, "%o"); }

namespace {
std::mutex g_rndMutex;
uint32_t g_rndSeed = 0x50000;  // the generator's state at program start

float Current() { return static_cast<float>(g_rndSeed) / 16777216.0f; }
void Advance() { g_rndSeed = (g_rndSeed * 1140671485u + 12820163u) & 0xFFFFFFu; }
}  // namespace

float Rnd() { return Rnd(1.0f); }

float Rnd(float number) {
  std::lock_guard lock(g_rndMutex);
  if (number == 0) return Current();
  if (number < 0) {
    uint32_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    g_rndSeed = ((bits & 0xFFFFFFu) + (bits >> 24)) & 0xFFFFFFu;
  }
  Advance();
  return Current();
}

// The timer is taken at Single precision, the type the runtime's Timer has always had.
void Randomize() { Randomize(static_cast<double>(static_cast<float>(Timer()))); }

void Randomize(double number) {
  uint64_t bits;
  std::memcpy(&bits, &number, sizeof bits);
  uint32_t high = static_cast<uint32_t>(bits >> 32);
  uint32_t mixed = ((high >> 16) ^ high) & 0xFFFFu;
  std::lock_guard lock(g_rndMutex);
  g_rndSeed = (g_rndSeed & 0xFF0000FFu) | (mixed << 8);
}
