#pragma once
// Shared pieces of the runtime's functions: numeric text, calendar arithmetic, UTF-8 walking.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Variant;

namespace core_detail {

// Outcome of reading a whole text as a number the way the runtime's conversions do.
enum class NumberText { Ok, NotNumeric, Overflow };

// Reads a complete numeric text: blanks around it, an optional sign, digits with "," thousands
// separators in the integer part, a "." fraction, an exponent E or D, or "&H" hex / "&O" (or "&")
// octal. Hex and octal values up to &HFFFF read as Integer and up to &HFFFFFFFF as Long (two's
// complement).
NumberText ParseNumberText(std::string_view text, double& value);

// The number a Variant stands for (Empty 0, Boolean -1/0, text parsed); raises 94 for Null, 13
// for anything that is not a number, 6 for text out of the Double range.
double NumberOf(const Variant& v);

// Rounds half to even, then checks the range [lo, hi]; raises 6 when out of it.
double RoundedInRange(double d, double lo, double hi);

// Shortest text of a number with at most `digits` significant digits, in the runtime's form.
std::string NumberToText(double d, int digits);

// Calendar: an OLE date (days since 1899-12-30, time as the fraction) split into its parts,
// rounded to the nearest second.
struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int weekday = 7;  // 1 = Sunday .. 7 = Saturday
  bool hasDate = false;  // the day part is not 0
  bool hasTime = false;  // the time part is not 0
};
DateParts SplitDate(double oleDate);
// Days since 1899-12-30 of a calendar date (months and days outside their range roll over).
int64_t SerialDay(int64_t year, int64_t month, int64_t day);
// "M/d/yyyy", "h:mm:ss AM" and the general date text of an OLE date.
std::string ShortDateText(const DateParts& p);
std::string LongTimeText(const DateParts& p);
std::string GeneralDateText(double oleDate);

// UTF-8: reads one character at s[i] and moves i past it; false (i unchanged) when the bytes
// there are not a well-formed character. AppendUtf8 writes one code point.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& cp);
void AppendUtf8(std::string& out, char32_t cp);
// The code points of a text, and back.
std::u32string Decode(std::string_view utf8);
std::string Encode(std::u32string_view text);
std::string Encode(char32_t c);

// Case folding used by text comparison (Latin-1 and the common Unicode letters).
char32_t FoldUpper(char32_t c);
char32_t FoldLower(char32_t c);

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace core_detail
