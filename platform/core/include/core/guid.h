#pragma once
// GUIDs (class, interface and type identifiers) and their "{...}" text form.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  std::array<uint8_t, 8> Data4{};

  friend bool operator==(const GUID&, const GUID&) = default;
  friend auto operator<=>(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

constexpr GUID GUID_NULL{};
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional, any letter case).
std::optional<GUID> GuidFromString(std::string_view text);
// Registry form: braces, upper-case hex.
std::string GuidToString(const GUID& g);
// Compile-time GUID from text; throws (at compile time: fails to compile) on a malformed text.
consteval GUID MakeGuid(const char* s);

namespace core_detail {
consteval int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw "bad hex digit in GUID";
}
consteval uint64_t Hex(const char* s, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v * 16 + static_cast<uint64_t>(HexDigit(s[i]));
  return v;
}
}  // namespace core_detail

consteval GUID MakeGuid(const char* s) {
  using namespace core_detail;
  if (s[0] == '{') ++s;
  GUID g;
  g.Data1 = static_cast<uint32_t>(Hex(s, 8));
  if (s[8] != '-') throw "bad GUID";
  g.Data2 = static_cast<uint16_t>(Hex(s + 9, 4));
  if (s[13] != '-') throw "bad GUID";
  g.Data3 = static_cast<uint16_t>(Hex(s + 14, 4));
  if (s[18] != '-') throw "bad GUID";
  g.Data4[0] = static_cast<uint8_t>(Hex(s + 19, 2));
  g.Data4[1] = static_cast<uint8_t>(Hex(s + 21, 2));
  if (s[23] != '-') throw "bad GUID";
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<uint8_t>(Hex(s + 24 + 2 * i, 2));
  return g;
}

template <>
struct std::hash<GUID> {
  size_t operator()(const GUID& g) const noexcept {
    uint64_t a, b;
    static_assert(sizeof(GUID) == 16);
    std::memcpy(&a, &g, 8);
    std::memcpy(&b, reinterpret_cast<const char*>(&g) + 8, 8);
    return std::hash<uint64_t>{}(a ^ (b * 0x9E3779B97F4A7C15ull));
  }
};
