#include "runtime_internal.h"

#include <cmath>
#include <cstdio>

#include "core/error.h"

namespace core_detail {

namespace {
constexpr int64_t kUnixEpochSerial = 25569;  // 1970-01-01 as days since 1899-12-30

// Civil date of a day count since 1970-01-01 (proleptic Gregorian calendar).
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
}  // namespace

int64_t SerialDay(int64_t year, int64_t month, int64_t day) {
  // Months outside 1..12 roll into neighbouring years; days roll by simple addition.
  int64_t m0 = month - 1;
  year += FloorDiv(m0, 12);
  month = m0 - FloorDiv(m0, 12) * 12 + 1;
  return DaysFromCivil(year, month, 1) + (day - 1) + kUnixEpochSerial;
}

DateParts SplitDate(double oleDate) {
  // The runtime's dates run from 1 January 100 to 31 December 9999.
  if (!(oleDate > -657435.0 && oleDate < 2958466.0)) Raise(vbErrOverflow);
  DateParts p;
  double dayPart = std::trunc(oleDate);
  double frac = std::fabs(oleDate - dayPart);
  int64_t day = static_cast<int64_t>(dayPart);
  int64_t secs = std::llround(frac * 86400.0);
  if (secs >= 86400) { secs -= 86400; ++day; }
  p.hasDate = day != 0;
  p.hasTime = secs != 0;
  CivilFromDays(day - kUnixEpochSerial, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  int64_t w = ((day % 7) + 7) % 7;  // day 0 was a Saturday
  p.weekday = w == 0 ? 7 : static_cast<int>(w);
  return p;
}

std::string ShortDateText(const DateParts& p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%04d", p.month, p.day, p.year);
  return buf;
}

std::string LongTimeText(const DateParts& p) {
  char buf[32];
  int h = p.hour % 12 == 0 ? 12 : p.hour % 12;
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
  return buf;
}

std::string GeneralDateText(double oleDate) {
  DateParts p = SplitDate(oleDate);
  if (!p.hasDate) return LongTimeText(p);
  if (!p.hasTime) return ShortDateText(p);
  return ShortDateText(p) + " " + LongTimeText(p);
}

bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int extra;
  if (c < 0x80) { cp = c; ++i; return true; }
  if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
  else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
  else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
  else return false;
  if (i + static_cast<size_t>(extra) >= s.size()) return false;
  char32_t v = cp;
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((cc & 0xC0) != 0x80) return false;
    v = (v << 6) | (cc & 0x3F);
  }
  // Overlong forms, encoded surrogates and values beyond U+10FFFF are not characters.
  static const char32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
  if (v < minimum[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
  cp = v;
  i += static_cast<size_t>(extra) + 1;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Bytes that are not valid UTF-8 are carried as U+DC80..U+DCFF and written back unchanged, so
// text functions never alter data they cannot read.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp;
    if (DecodeUtf8(s, i, cp)) {
      out.push_back(cp);
    } else {
      out.push_back(0xDC00 + static_cast<unsigned char>(s[i]));
      ++i;
    }
  }
  return out;
}

std::string Encode(char32_t cp) {
  std::string out;
  if (cp >= 0xDC80 && cp <= 0xDCFF) out.push_back(static_cast<char>(cp - 0xDC00));
  else AppendUtf8(out, cp);
  return out;
}

std::string Encode(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c >= 0xDC80 && c <= 0xDCFF) out.push_back(static_cast<char>(c - 0xDC00));
    else AppendUtf8(out, c);
  }
  return out;
}

char32_t FoldUpper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x137 && (c & 1)) return c - 1;
  if (c >= 0x139 && c <= 0x148 && !(c & 1)) return c - 1;
  if (c >= 0x14A && c <= 0x177 && (c & 1)) return c - 1;
  if (c >= 0x179 && c <= 0x17E && !(c & 1)) return c - 1;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

char32_t FoldLower(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0x80) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x137 && !(c & 1)) return c + 1;
  if (c >= 0x139 && c <= 0x148 && (c & 1)) return c + 1;
  if (c >= 0x14A && c <= 0x177 && !(c & 1)) return c + 1;
  if (c >= 0x179 && c <= 0x17E && (c & 1)) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

}  // namespace core_detail
