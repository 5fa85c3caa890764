#include "core/guid.h"

#include <cstdio>

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadHex(std::string_view s, size_t pos, int digits, uint64_t& out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexValue(s[pos + i]);
    if (d < 0) return false;
    out = out * 16 + static_cast<uint64_t>(d);
  }
  return true;
}
}  // namespace

std::optional<GUID> GuidFromString(std::string_view s) {
  if (s.size() == 38) {
    if (s.front() != '{' || s.back() != '}') return std::nullopt;
    s = s.substr(1, 36);
  }
  if (s.size() != 36) return std::nullopt;
  if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return std::nullopt;
  GUID g;
  uint64_t v;
  if (!ReadHex(s, 0, 8, v)) return std::nullopt;
  g.Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(s, 9, 4, v)) return std::nullopt;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(s, 14, 4, v)) return std::nullopt;
  g.Data3 = static_cast<uint16_t>(v);
  for (int i = 0; i < 2; ++i) {
    if (!ReadHex(s, 19 + 2 * i, 2, v)) return std::nullopt;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  for (int i = 0; i < 6; ++i) {
    if (!ReadHex(s, 24 + 2 * i, 2, v)) return std::nullopt;
    g.Data4[2 + i] = static_cast<uint8_t>(v);
  }
  return g;
}

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}
