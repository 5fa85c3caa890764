#include <algorithm>

#include "core/error.h"
#include "core/runtime_strings.h"
#include "runtime_internal.h"

using namespace core_detail;

namespace {
[[noreturn]] void BadArgument() { Raise(vbErrInvalidProcedureCall); }

void CheckCompare(int compare) {
  if (compare != vbBinaryCompare && compare != vbTextCompare) BadArgument();
}

bool Same(char32_t a, char32_t b, int compare) {
  return a == b || (compare == vbTextCompare && FoldLower(a) == FoldLower(b));
}

bool MatchAt(const std::u32string& hay, size_t at, const std::u32string& needle, int compare) {
  if (at + needle.size() > hay.size()) return false;
  for (size_t k = 0; k < needle.size(); ++k) {
    if (!Same(hay[at + k], needle[k], compare)) return false;
  }
  return true;
}

// First index >= from where needle occurs, or npos.
size_t Find(const std::u32string& hay, const std::u32string& needle, size_t from, int compare) {
  if (needle.size() > hay.size()) return std::u32string::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (MatchAt(hay, i, needle, compare)) return i;
  }
  return std::u32string::npos;
}

int32_t Length(const std::u32string& s) { return static_cast<int32_t>(s.size()); }
}  // namespace

int32_t Len(const std::string& s) { return Length(Decode(s)); }

std::string LTrim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

std::string RTrim(const std::string& s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string::npos ? std::string() : s.substr(0, e + 1);
}

std::string Trim(const std::string& s) { return LTrim(RTrim(s)); }

std::string UCase(const std::string& s) {
  std::u32string t = Decode(s);
  for (char32_t& c : t) c = FoldUpper(c);
  return Encode(t);
}

std::string LCase(const std::string& s) {
  std::u32string t = Decode(s);
  for (char32_t& c : t) c = FoldLower(c);
  return Encode(t);
}

int32_t InStr(const std::string& s1, const std::string& s2, int compare) { return InStr(1, s1, s2, compare); }

int32_t InStr(int32_t start, const std::string& s1, const std::string& s2, int compare) {
  if (start < 1) BadArgument();
  CheckCompare(compare);
  std::u32string hay = Decode(s1), needle = Decode(s2);
  if (hay.empty()) return 0;
  if (start > Length(hay)) return 0;
  if (needle.empty()) return start;
  size_t at = Find(hay, needle, static_cast<size_t>(start - 1), compare);
  return at == std::u32string::npos ? 0 : static_cast<int32_t>(at) + 1;
}

int32_t InStrRev(const std::string& s1, const std::string& s2, int32_t start, int compare) {
  if (start == 0 || start < -1) BadArgument();
  CheckCompare(compare);
  std::u32string hay = Decode(s1), needle = Decode(s2);
  if (hay.empty()) return 0;
  if (start == -1) start = Length(hay);
  if (start > Length(hay)) return 0;
  if (needle.empty()) return start;
  // The match must end at or before `start`.
  for (int32_t p = start - Length(needle) + 1; p >= 1; --p) {
    if (MatchAt(hay, static_cast<size_t>(p - 1), needle, compare)) return p;
  }
  return 0;
}

std::string Mid(const std::string& s, int32_t start, std::optional<int32_t> length) {
  if (start < 1) BadArgument();
  if (length && *length < 0) BadArgument();
  std::u32string t = Decode(s);
  if (start > Length(t)) return {};
  size_t from = static_cast<size_t>(start - 1);
  size_t n = length ? static_cast<size_t>(*length) : t.size();
  return Encode(std::u32string_view(t).substr(from, n));
}

void MidAssign(std::string& target, int32_t start, std::optional<int32_t> length,
               const std::string& replacement) {
  if (length && *length < 0) BadArgument();
  std::u32string t = Decode(target), r = Decode(replacement);
  if (start < 1 || start > Length(t)) BadArgument();
  size_t from = static_cast<size_t>(start - 1);
  size_t n = std::min(r.size(), t.size() - from);
  if (length) n = std::min(n, static_cast<size_t>(*length));
  std::copy_n(r.begin(), n, t.begin() + static_cast<std::ptrdiff_t>(from));
  target = Encode(t);
}

std::string Left(const std::string& s, int32_t length) {
  if (length < 0) BadArgument();
  std::u32string t = Decode(s);
  if (static_cast<size_t>(length) >= t.size()) return s;
  return Encode(std::u32string_view(t).substr(0, static_cast<size_t>(length)));
}

std::string Right(const std::string& s, int32_t length) {
  if (length < 0) BadArgument();
  std::u32string t = Decode(s);
  if (static_cast<size_t>(length) >= t.size()) return s;
  return Encode(std::u32string_view(t).substr(t.size() - static_cast<size_t>(length)));
}

std::string Replace(const std::string& expression, const std::string& find, const std::string& replacement,
                    int32_t start, int32_t count, int compare) {
  if (start < 1 || count < -1) BadArgument();
  CheckCompare(compare);
  std::u32string e = Decode(expression);
  if (start > Length(e)) return {};
  e.erase(0, static_cast<size_t>(start - 1));
  std::u32string f = Decode(find);
  if (f.empty() || count == 0) return Encode(e);
  std::u32string r = Decode(replacement), out;
  size_t pos = 0;
  int32_t done = 0;
  while (count == -1 || done < count) {
    size_t at = Find(e, f, pos, compare);
    if (at == std::u32string::npos) break;
    out.append(e, pos, at - pos);
    out += r;
    pos = at + f.size();
    ++done;
  }
  out.append(e, pos, std::u32string::npos);
  return Encode(out);
}

std::vector<std::string> Split(const std::string& expression, const std::string& delimiter, int32_t limit,
                               int compare) {
  if (limit < -1) BadArgument();
  CheckCompare(compare);
  std::vector<std::string> pieces;
  if (expression.empty() || limit == 0) return pieces;
  if (delimiter.empty() || limit == 1) {
    pieces.push_back(expression);
    return pieces;
  }
  std::u32string e = Decode(expression), d = Decode(delimiter);
  size_t pos = 0;
  while (limit == -1 || static_cast<int32_t>(pieces.size()) < limit - 1) {
    size_t at = Find(e, d, pos, compare);
    if (at == std::u32string::npos) break;
    pieces.push_back(Encode(std::u32string_view(e).substr(pos, at - pos)));
    pos = at + d.size();
  }
  pieces.push_back(Encode(std::u32string_view(e).substr(pos)));
  return pieces;
}

std::string Join(const std::vector<std::string>& pieces, const std::string& delimiter) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += delimiter;
    out += pieces[i];
  }
  return out;
}

int32_t StrComp(const std::string& a, const std::string& b, int compare) {
  CheckCompare(compare);
  std::u32string x = Decode(a), y = Decode(b);
  if (compare == vbTextCompare) {
    for (char32_t& c : x) c = FoldLower(c);
    for (char32_t& c : y) c = FoldLower(c);
  }
  int r = x.compare(y);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string Space(int32_t count) {
  if (count < 0) BadArgument();
  return std::string(static_cast<size_t>(count), ' ');
}

std::string StringOf(int32_t count, const std::string& character) {
  if (count < 0 || character.empty()) BadArgument();
  std::string one = Encode(Decode(character).substr(0, 1));
  std::string out;
  out.reserve(one.size() * static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) out += one;
  return out;
}

std::string StringOf(int32_t count, int32_t charCode) {
  if (count < 0) BadArgument();
  return StringOf(count, Chr(charCode % 256 + (charCode < 0 ? 256 : 0)));
}

std::string StrReverse(const std::string& s) {
  std::u32string t = Decode(s);
  std::reverse(t.begin(), t.end());
  return Encode(t);
}

namespace {
// Windows-1252 characters 0x80..0x9F; the five unassigned codes keep their own value.
constexpr char32_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string Chr(int32_t code) {
  if (code < 0 || code > 255) BadArgument();
  char32_t c = (code >= 0x80 && code <= 0x9F) ? kAnsiHigh[code - 0x80] : static_cast<char32_t>(code);
  return Encode(c);
}

int32_t Asc(const std::string& s) {
  std::u32string t = Decode(s);
  if (t.empty()) BadArgument();
  char32_t c = t[0];
  if (c >= 0xDC80 && c <= 0xDCFF) return static_cast<int32_t>(c - 0xDC00);  // a raw byte
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int32_t>(c);
  for (int i = 0; i < 32; ++i) {
    if (kAnsiHigh[i] == c) return 0x80 + i;
  }
  return '?';
}

std::string ChrW(int32_t code) {
  if (code < 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) BadArgument();
  return Encode(static_cast<char32_t>(code));
}

int32_t AscW(const std::string& s) {
  std::u32string t = Decode(s);
  if (t.empty()) BadArgument();
  return static_cast<int32_t>(t[0]);
}

namespace {
struct LikeToken {
  enum Kind { Literal, AnyRun, AnyOne, Digit, Set };
  LikeToken(Kind k, char32_t ch = 0) : kind(k), c(ch) {}
  Kind kind;
  char32_t c = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;
};

std::vector<LikeToken> CompileLike(const std::u32string& p) {
  std::vector<LikeToken> tokens;
  for (size_t i = 0; i < p.size(); ++i) {
    char32_t c = p[i];
    if (c == '*') {
      if (tokens.empty() || tokens.back().kind != LikeToken::AnyRun) tokens.push_back({LikeToken::AnyRun});
    } else if (c == '?') {
      tokens.push_back({LikeToken::AnyOne});
    } else if (c == '#') {
      tokens.push_back({LikeToken::Digit});
    } else if (c == '[') {
      size_t close = p.find(U']', i + 1);
      if (close == std::u32string::npos) Raise(93);
      std::u32string body = p.substr(i + 1, close - i - 1);
      i = close;
      if (body.empty()) continue;  // "[]" matches the empty string
      LikeToken t{LikeToken::Set};
      size_t k = 0;
      if (body[0] == '!') {
        t.negated = true;
        k = 1;
        if (body.size() == 1) {  // "[!]" is the character "!"
          tokens.push_back({LikeToken::Literal, U'!'});
          continue;
        }
      }
      for (; k < body.size(); ++k) {
        char32_t lo = body[k];
        if (k + 2 < body.size() && body[k + 1] == '-') {
          char32_t hi = body[k + 2];
          if (hi < lo) Raise(93);
          t.ranges.emplace_back(lo, hi);
          k += 2;
        } else {
          t.ranges.emplace_back(lo, lo);
        }
      }
      tokens.push_back(std::move(t));
    } else {
      tokens.push_back({LikeToken::Literal, c});
    }
  }
  return tokens;
}

bool TokenMatches(const LikeToken& t, char32_t c) {
  switch (t.kind) {
    case LikeToken::Literal: return t.c == c;
    case LikeToken::AnyOne: return true;
    case LikeToken::Digit: return c >= '0' && c <= '9';
    case LikeToken::Set: {
      bool in = std::any_of(t.ranges.begin(), t.ranges.end(),
                            [c](const auto& r) { return c >= r.first && c <= r.second; });
      return in != t.negated;
    }
    case LikeToken::AnyRun: return true;
  }
  return false;
}
}  // namespace

bool Like(const std::string& s, const std::string& pattern) {
  std::vector<LikeToken> tokens = CompileLike(Decode(pattern));
  std::u32string text = Decode(s);
  // can[j]: the tokens seen so far can match the first j characters.
  std::vector<char> can(text.size() + 1, 0), next(text.size() + 1, 0);
  can[0] = 1;
  for (const LikeToken& t : tokens) {
    std::fill(next.begin(), next.end(), 0);
    if (t.kind == LikeToken::AnyRun) {
      char reached = 0;
      for (size_t j = 0; j <= text.size(); ++j) {
        reached = reached || can[j];
        next[j] = reached;
      }
    } else {
      for (size_t j = 0; j < text.size(); ++j) {
        if (can[j] && TokenMatches(t, text[j])) next[j + 1] = 1;
      }
    }
    can.swap(next);
  }
  return can[text.size()] != 0;
}
