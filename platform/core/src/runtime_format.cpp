#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/error.h"
#include "core/runtime_convert.h"
#include "core/runtime_format.h"
#include "runtime_internal.h"

using namespace core_detail;

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string LowerAscii(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = Lower(c);
  return out;
}

// The pattern's sections, split at ";" outside quotes and escapes.
std::vector<std::string> Sections(const std::string& p) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    if (c == '"') {
      size_t e = p.find('"', i + 1);
      if (e == std::string::npos) e = p.size() - 1;
      out.back() += p.substr(i, e - i + 1);
      i = e;
    } else if (c == '\\' && i + 1 < p.size()) {
      out.back() += p.substr(i, 2);
      ++i;
    } else if (c == ';') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// Calls f(char, literal) for each character of a section; quoted and escaped characters come
// with literal = true.
template <class F>
void Walk(const std::string& s, F&& f) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '"') {
      size_t e = s.find('"', i + 1);
      if (e == std::string::npos) e = s.size();
      for (size_t k = i + 1; k < e; ++k) f(s[k], true);
      i = e;
    } else if (s[i] == '\\' && i + 1 < s.size()) {
      f(s[++i], true);
    } else {
      f(s[i], false);
    }
  }
}

bool IsDatePattern(const std::string& section) {
  bool date = false;
  Walk(section, [&](char c, bool literal) {
    if (literal) return;
    switch (Lower(c)) {
      case 'd': case 'w': case 'm': case 'q': case 'y': case 'h': case 'n': case 's': case 'c': case 't':
        date = true;
        break;
      default: break;
    }
  });
  return date;
}

bool HasDigitPlaceholder(const std::string& section) {
  bool any = false;
  Walk(section, [&](char c, bool literal) { any = any || (!literal && (c == '0' || c == '#')); });
  return any;
}

// ---- numbers ----

// |v| as decimal digits with v = 0.digits x 10^exp, 15 significant digits, no trailing zeros.
struct Decimal {
  std::string digits;
  int exp = 0;
};

Decimal ToDecimal(double v) {
  Decimal d;
  v = std::fabs(v);
  if (v == 0 || !std::isfinite(v)) return d;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  std::string s(buf);
  size_t e = s.find('e');
  d.digits = s.substr(0, 1) + s.substr(2, e - 2);
  d.exp = std::atoi(s.c_str() + e + 1) + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Rounds to `places` digits after the decimal point, halves away from zero.
void RoundDecimal(Decimal& d, int places) {
  int keep = d.exp + places;
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) { d.digits.clear(); d.exp = 0; return; }
  bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exp;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exp = 0;
}

std::string IntegerDigits(const Decimal& d) {
  if (d.exp <= 0) return {};
  std::string s = d.digits.substr(0, static_cast<size_t>(std::min<int>(d.exp, static_cast<int>(d.digits.size()))));
  s.append(static_cast<size_t>(d.exp) - s.size(), '0');
  return s;
}

std::string FractionDigits(const Decimal& d, int places) {
  std::string s;
  for (int k = 0; k < places; ++k) {
    int idx = d.exp + k;
    s.push_back(idx >= 0 && idx < static_cast<int>(d.digits.size()) ? d.digits[static_cast<size_t>(idx)] : '0');
  }
  return s;
}

struct NumToken {
  enum Kind { Digit, Point, Comma, Exp, Literal };
  NumToken(Kind k, char ch = 0, std::string t = {}, bool p = false)
      : kind(k), c(ch), text(std::move(t)), plus(p) {}
  Kind kind;
  char c = 0;  // '0' or '#' for Digit; 'E'/'e' for Exp
  std::string text;  // Literal
  bool plus = false;  // Exp: "E+"
};

std::string GroupThousands(const std::string& digits) {
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[static_cast<size_t>(i)]);
  }
  return out;
}

std::string FormatNumber(double v, const std::string& section, bool minus) {
  std::vector<NumToken> tokens;
  int region = 0;  // 0 integer, 1 fraction, 2 exponent
  int percents = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    if (c == '"') {
      size_t e = section.find('"', i + 1);
      if (e == std::string::npos) e = section.size();
      tokens.push_back({NumToken::Literal, 0, section.substr(i + 1, e - i - 1)});
      i = e;
    } else if (c == '\\' && i + 1 < section.size()) {
      tokens.push_back({NumToken::Literal, 0, std::string(1, section[++i])});
    } else if (c == '0' || c == '#') {
      tokens.push_back({NumToken::Digit, c});
    } else if (c == '.' && region == 0) {
      tokens.push_back({NumToken::Point});
      region = 1;
    } else if (c == ',' && region == 0) {
      tokens.push_back({NumToken::Comma});
    } else if (c == ',') {
      // a separator in the fraction shows nothing
    } else if ((c == 'E' || c == 'e') && region < 2 && i + 1 < section.size() &&
               (section[i + 1] == '+' || section[i + 1] == '-')) {
      tokens.push_back({NumToken::Exp, c, {}, section[i + 1] == '+'});
      region = 2;
      ++i;
    } else {
      if (c == '%') ++percents;
      tokens.push_back({NumToken::Literal, 0, std::string(1, c)});
    }
  }

  // Placeholders per region; thousands grouping and scaling.
  int intPlaces = 0, fracPlaces = 0, expPlaces = 0, intMin = 0, fracMin = 0, expMin = 0;
  bool grouping = false, scientific = false;
  int scale = 0;
  {
    int r = 0;
    bool seenZero = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
      const NumToken& t = tokens[i];
      if (t.kind == NumToken::Point) r = 1;
      else if (t.kind == NumToken::Exp) { r = 2; scientific = true; }
      else if (t.kind == NumToken::Digit) {
        if (r == 0) {
          ++intPlaces;
          if (t.c == '0') seenZero = true;
          if (seenZero) ++intMin;
        } else if (r == 1) {
          ++fracPlaces;
          if (t.c == '0') fracMin = fracPlaces;
        } else {
          ++expPlaces;
          if (t.c == '0') ++expMin;
        }
      } else if (t.kind == NumToken::Comma) {
        bool digitFollows = false;
        for (size_t k = i + 1; k < tokens.size() && tokens[k].kind != NumToken::Point &&
                               tokens[k].kind != NumToken::Exp; ++k) {
          if (tokens[k].kind == NumToken::Digit) digitFollows = true;
        }
        bool digitBefore = false;
        for (size_t k = 0; k < i; ++k) digitBefore = digitBefore || tokens[k].kind == NumToken::Digit;
        if (digitFollows && digitBefore) grouping = true;
        else if (digitBefore) ++scale;
      }
    }
  }

  double x = std::fabs(v);
  for (int i = 0; i < percents; ++i) x *= 100;
  for (int i = 0; i < scale; ++i) x /= 1000;

  Decimal d = ToDecimal(x);
  int exponent = 0;
  if (scientific && !d.digits.empty()) {
    int shift = intPlaces > 0 ? intPlaces : 0;
    exponent = d.exp - shift;
    d.exp = shift;
    RoundDecimal(d, fracPlaces);
    if (d.exp > shift && shift > 0) {  // 9.99 rounded up to 10.0
      exponent += d.exp - shift;
      d.exp = shift;
    }
  } else {
    RoundDecimal(d, fracPlaces);
  }
  if (d.digits.empty()) minus = false;  // rounds to zero: no sign

  std::string intDigits = IntegerDigits(d);
  if (static_cast<int>(intDigits.size()) < intMin) intDigits.insert(0, static_cast<size_t>(intMin) - intDigits.size(), '0');
  std::string frac = FractionDigits(d, fracPlaces);
  while (static_cast<int>(frac.size()) > fracMin && frac.back() == '0') frac.pop_back();

  std::string expDigits = std::to_string(std::abs(exponent));
  if (static_cast<int>(expDigits.size()) < expMin) expDigits.insert(0, static_cast<size_t>(expMin) - expDigits.size(), '0');

  std::string out = minus ? "-" : "";
  int intSeen = 0, fracSeen = 0;
  bool expDone = false;
  const int excess = static_cast<int>(intDigits.size()) - intPlaces;
  for (const NumToken& t : tokens) {
    switch (t.kind) {
      case NumToken::Literal: out += t.text; break;
      case NumToken::Comma: break;
      case NumToken::Point:
        if (intPlaces == 0) out += intDigits;  // ".00" still shows the whole part
        out.push_back('.');
        break;
      case NumToken::Exp:
        out.push_back(t.c);
        if (exponent < 0) out.push_back('-');
        else if (t.plus) out.push_back('+');
        break;
      case NumToken::Digit:
        if (intSeen < intPlaces) {
          int i = intSeen++;
          if (grouping) {
            if (i == 0) out += GroupThousands(intDigits);
          } else if (i == 0) {
            if (excess >= 0) out += intDigits.substr(0, static_cast<size_t>(excess) + 1);
          } else if (excess + i >= 0) {
            out.push_back(intDigits[static_cast<size_t>(excess + i)]);
          }
        } else if (fracSeen < fracPlaces) {
          int k = fracSeen++;
          if (k < static_cast<int>(frac.size())) out.push_back(frac[static_cast<size_t>(k)]);
        } else {
          if (!expDone) out += expDigits;
          expDone = true;
        }
        break;
    }
  }
  return out;
}

// ---- dates ----

struct DateToken {
  DateToken(char k, int n = 1, std::string t = {}) : kind(k), count(n), text(std::move(t)) {}
  char kind;  // 'd','w','m','M' (minute),'q','y','h','n','s','t','c','A' (AM/PM), 'L' literal
  int count = 1;
  std::string text;  // literal text, or the AM/PM form as written
};

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

std::string FormatDate(double ole, const std::string& section) {
  std::vector<DateToken> tokens;
  bool twelveHour = false;
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    char l = Lower(c);
    auto run = [&](char letter) {
      size_t k = i;
      while (k < section.size() && Lower(section[k]) == letter) ++k;
      int n = static_cast<int>(k - i);
      i = k - 1;
      return n;
    };
    auto startsWith = [&](const char* word) {
      size_t n = std::char_traits<char>::length(word);
      return LowerAscii(section.substr(i, n)) == word;
    };
    if (c == '"') {
      size_t e = section.find('"', i + 1);
      if (e == std::string::npos) e = section.size();
      tokens.push_back({'L', 1, section.substr(i + 1, e - i - 1)});
      i = e;
    } else if (c == '\\' && i + 1 < section.size()) {
      tokens.push_back({'L', 1, std::string(1, section[++i])});
    } else if (startsWith("am/pm")) {
      tokens.push_back({'A', 5, section.substr(i, 5)});
      twelveHour = true;
      i += 4;
    } else if (startsWith("a/p")) {
      tokens.push_back({'A', 3, section.substr(i, 3)});
      twelveHour = true;
      i += 2;
    } else if (startsWith("ampm")) {
      tokens.push_back({'A', 4, "AMPM"});
      twelveHour = true;
      i += 3;
    } else if (l == 'd' || l == 'w' || l == 'm' || l == 'q' || l == 'y' || l == 'h' || l == 'n' ||
               l == 's' || l == 'c') {
      int n = run(l);
      tokens.push_back({l, n});
    } else if (l == 't' && startsWith("ttttt")) {
      tokens.push_back({'t', 5});
      i += 4;
    } else {
      tokens.push_back({'L', 1, std::string(1, c)});
    }
  }
  // "m" and "mm" right after an hour or right before a second mean minutes.
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != 'm' || tokens[i].count > 2) continue;
    bool minute = false;
    for (size_t k = i; k-- > 0;) {
      if (tokens[k].kind == 'L') continue;
      minute = tokens[k].kind == 'h';
      break;
    }
    for (size_t k = i + 1; !minute && k < tokens.size(); ++k) {
      if (tokens[k].kind == 'L') continue;
      minute = tokens[k].kind == 's';
      break;
    }
    if (minute) tokens[i].kind = 'M';
  }

  DateParts p = SplitDate(ole);
  int64_t jan1 = SerialDay(p.year, 1, 1);
  int64_t serial = SerialDay(p.year, p.month, p.day);
  int dayOfYear = static_cast<int>(serial - jan1) + 1;
  int jan1Weekday = SplitDate(static_cast<double>(jan1)).weekday;
  int hour12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  int shownHour = twelveHour ? hour12 : p.hour;

  std::string out;
  for (const DateToken& t : tokens) {
    switch (t.kind) {
      case 'L': out += t.text; break;
      case 'c': out += GeneralDateText(ole); break;
      case 'd':
        if (t.count == 1) out += std::to_string(p.day);
        else if (t.count == 2) out += Two(p.day);
        else if (t.count == 3) out += std::string(kDays[p.weekday - 1]).substr(0, 3);
        else if (t.count == 4) out += kDays[p.weekday - 1];
        else if (t.count == 5) out += ShortDateText(p);
        else out += std::string(kDays[p.weekday - 1]) + ", " + kMonths[p.month - 1] + " " + Two(p.day) + ", " +
                    std::to_string(p.year);
        break;
      case 'w':
        if (t.count == 1) out += std::to_string(p.weekday);
        else out += std::to_string((dayOfYear + jan1Weekday - 2) / 7 + 1);
        break;
      case 'm':
        if (t.count == 1) out += std::to_string(p.month);
        else if (t.count == 2) out += Two(p.month);
        else if (t.count == 3) out += std::string(kMonths[p.month - 1]).substr(0, 3);
        else out += kMonths[p.month - 1];
        break;
      case 'M': out += t.count == 1 ? std::to_string(p.minute) : Two(p.minute); break;
      case 'q': out += std::to_string((p.month - 1) / 3 + 1); break;
      case 'y':
        if (t.count == 1) out += std::to_string(dayOfYear);
        else if (t.count == 2) out += Two(p.year % 100);
        else if (t.count == 3) out += Two(p.year % 100) + std::to_string(dayOfYear);
        else out += std::to_string(p.year);
        break;
      case 'h': out += t.count == 1 ? std::to_string(shownHour) : Two(shownHour); break;
      case 'n': out += t.count == 1 ? std::to_string(p.minute) : Two(p.minute); break;
      case 's': out += t.count == 1 ? std::to_string(p.second) : Two(p.second); break;
      case 't': out += LongTimeText(p); break;
      case 'A': {
        bool am = p.hour < 12;
        if (t.count == 4) out += am ? "AM" : "PM";
        else if (t.count == 5) out += am ? t.text.substr(0, 2) : t.text.substr(3, 2);
        else out += am ? t.text.substr(0, 1) : t.text.substr(2, 1);
        break;
      }
      default: break;
    }
  }
  return out;
}

// ---- text ----

std::string FormatText(const std::string& s, const std::string& section) {
  std::u32string text = Decode(s);
  struct Slot {
    bool placeholder;
    char32_t c;  // '@' or '&' for a placeholder, else the literal character
  };
  std::vector<Slot> slots;
  int caseMode = 0;  // 1 lower, 2 upper
  bool leftToRight = false;
  std::u32string pattern = Decode(section);
  for (size_t i = 0; i < pattern.size(); ++i) {
    char32_t c = pattern[i];
    if (c == '"') {
      size_t e = pattern.find(U'"', i + 1);
      if (e == std::u32string::npos) e = pattern.size();
      for (size_t k = i + 1; k < e; ++k) slots.push_back({false, pattern[k]});
      i = e;
    } else if (c == '\\' && i + 1 < pattern.size()) {
      slots.push_back({false, pattern[++i]});
    } else if (c == '@' || c == '&') {
      slots.push_back({true, c});
    } else if (c == '<') {
      caseMode = 1;
    } else if (c == '>') {
      caseMode = 2;
    } else if (c == '!') {
      leftToRight = true;
    } else {
      slots.push_back({false, c});
    }
  }
  for (char32_t& c : text) c = caseMode == 1 ? FoldLower(c) : caseMode == 2 ? FoldUpper(c) : c;

  int places = 0;
  for (const Slot& s2 : slots) places += s2.placeholder ? 1 : 0;
  if (places == 0) {
    std::u32string out;
    for (const Slot& s2 : slots) out.push_back(s2.c);
    return Encode(out + text);
  }
  const int n = static_cast<int>(text.size());
  std::u32string out;
  int seen = 0;
  for (const Slot& slot : slots) {
    if (!slot.placeholder) { out.push_back(slot.c); continue; }
    int i = seen++;
    // Which character of the text this placeholder shows; extra characters go with the first
    // placeholder (filled from the right) or the last one (filled from the left).
    if (leftToRight) {
      if (i < n) out.push_back(text[static_cast<size_t>(i)]);
      else if (slot.c == '@') out.push_back(' ');
      if (i == places - 1 && n > places) out.append(text, static_cast<size_t>(places), std::u32string::npos);
    } else {
      int idx = n - places + i;
      if (i == 0 && n > places) out.append(text, 0, static_cast<size_t>(n - places));
      if (idx >= 0) out.push_back(text[static_cast<size_t>(idx)]);
      else if (slot.c == '@') out.push_back(' ');
    }
  }
  return Encode(out);
}

// ---- named formats ----

struct NamedPattern {
  const char* name;
  const char* pattern;
};

constexpr NamedPattern kNumberNames[] = {
    {"currency", "$#,##0.00;($#,##0.00)"}, {"fixed", "0.00"},        {"standard", "#,##0.00"},
    {"percent", "0.00%"},                  {"scientific", "0.00E+00"},
    {"yes/no", "\"Yes\";\"Yes\";\"No\""},  {"true/false", "\"True\";\"True\";\"False\""},
    {"on/off", "\"On\";\"On\";\"Off\""},
};

constexpr NamedPattern kDateNames[] = {
    {"long date", "dddddd"},  {"medium date", "dd-mmm-yy"}, {"short date", "ddddd"},
    {"long time", "ttttt"},   {"medium time", "hh:nn AMPM"}, {"short time", "hh:nn"},
};

template <size_t N>
const char* Lookup(const NamedPattern (&table)[N], const std::string& name) {
  for (const NamedPattern& n : table) {
    if (name == n.name) return n.pattern;
  }
  return nullptr;
}

const char* NamedNumberPattern(const std::string& name) { return Lookup(kNumberNames, name); }
const char* NamedDatePattern(const std::string& name) { return Lookup(kDateNames, name); }

std::string FormatWithSections(double v, const std::vector<std::string>& sections) {
  const std::string* section = &sections[0];
  bool minus = v < 0;
  if (v < 0 && sections.size() >= 2 && !sections[1].empty()) {
    section = &sections[1];
    minus = false;
  } else if (v == 0 && sections.size() >= 3 && !sections[2].empty()) {
    section = &sections[2];
  }
  if (section->empty()) return NumberToText(v, 15);
  if (IsDatePattern(*section)) return FormatDate(v, *section);
  return FormatNumber(v, *section, minus);
}

}  // namespace

std::string Format(const Variant& value, const std::string& pattern) {
  Variant v = value.Deref();
  if (v.IsObject()) v = Variant(CStr(v));  // the object's default value
  const std::string name = LowerAscii(pattern);
  std::vector<std::string> sections = Sections(pattern);

  if (v.IsNull()) {
    if (sections.size() >= 4) return FormatNumber(0, sections[3], false);
    return {};
  }
  if (pattern.empty()) return CStr(v);

  if (name == "general date") {
    double d = v.vt() == VT_DATE ? v.date() : NumberOf(v);
    return GeneralDateText(d);
  }
  if (const char* named = NamedDatePattern(name)) {
    double d = v.vt() == VT_DATE ? v.date() : NumberOf(v);
    return FormatDate(d, named);
  }

  // Text that is not a number goes through the text codes.
  double number = 0;
  bool numeric = true;
  if (v.vt() == VT_BSTR) {
    numeric = ParseNumberText(v.bstr().Utf8(), number) == NumberText::Ok;
  } else if (v.vt() == VT_DATE) {
    number = v.date();
  } else if (v.vt() == VT_EMPTY) {
    number = 0;
  } else {
    number = NumberOf(v);
  }
  if (!numeric) {
    std::string s = v.bstr().Utf8();
    if (name == "general number" || NamedNumberPattern(name)) return s;
    const std::string& section = (s.empty() && sections.size() >= 2) ? sections[1] : sections[0];
    if (HasDigitPlaceholder(section)) return s;
    return FormatText(s, section);
  }

  if (name == "general number") return NumberToText(number, 15);
  if (const char* named = NamedNumberPattern(name)) return FormatWithSections(number, Sections(named));
  if (!HasDigitPlaceholder(sections[0]) && !IsDatePattern(sections[0])) {
    bool textCodes = false;
    Walk(sections[0], [&](char c, bool literal) {
      textCodes = textCodes || (!literal && (c == '@' || c == '&' || c == '<' || c == '>' || c == '!'));
    });
    if (textCodes) return FormatText(CStr(v), sections[0]);
  }
  return FormatWithSections(number, sections);
}
