#include "hive.h"

#include "registry/registry.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <chrono>
#include <cstdio>

// The text form of a hive:
//
//   REELWRIGHT REGISTRY HIVE 1 HKEY_CURRENT_USER
//   [] written=133...
//   [Software] written=133...
//   [Software\Vendor\Program] written=133...
//   "Name"=sz:"text"
//   ""=sz:"the key's default value"
//   "List"=multi_sz:"one","two"
//   "Path"=expand_sz:"%HOME%/x"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "Odd"=hex(1):41,00,42,00
//   ; end of hive
//
// Every key has a "[path]" line (path parts joined by "\"), parents before children; its values
// follow it. In a key path the bytes "%", "[", "]", control characters and bytes that are not
// UTF-8 are written as %XX. Value names and texts are quoted; inside the quotes "\\", "\"", "\n",
// "\r", "\t" and "\xHH" (control characters and bytes that are not UTF-8) are escapes. A value
// whose data has no exact text form (a REG_SZ without its terminating NUL, a DWORD of other than
// four bytes, ...) is written as hex(type). The last line marks the end, so that a truncated file
// is recognised. Lines starting with ";" are comments; blank lines are ignored.

namespace registry::detail {
namespace {

constexpr std::string_view kMagic = "REELWRIGHT REGISTRY HIVE 1 ";
constexpr std::string_view kEnd = "; end of hive";

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there are not one.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

char HexDigit(unsigned v) { return "0123456789abcdef"[v & 15]; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Copies s to out: UTF-8 sequences of more than one byte pass through, every other byte goes to
// escape, which appends its written form.
template <class Escape>
void AppendEscaped(std::string& out, std::string_view s, Escape escape) {
  for (size_t i = 0; i < s.size();) {
    size_t n = Utf8SequenceLength(s, i);
    if (n > 1) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      escape(static_cast<unsigned char>(s[i++]));
    }
  }
}

void AppendHexByte(std::string& out, char lead, unsigned char c) {
  out += lead;
  out += HexDigit(c >> 4);
  out += HexDigit(c);
}

// Writes text so that every byte comes back: escapes for quotes, backslashes, control
// characters and bytes that are not UTF-8.
void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  AppendEscaped(out, s, [&out](unsigned char c) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          out += '\\';
          AppendHexByte(out, 'x', c);
        } else {
          out += static_cast<char>(c);
        }
    }
  });
  out += '"';
}

void AppendKeyPart(std::string& out, std::string_view s) {
  AppendEscaped(out, s, [&out](unsigned char c) {
    if (c < 0x20 || c >= 0x7F || c == '%' || c == '[' || c == ']' || c == '\\') {
      AppendHexByte(out, '%', c);
    } else {
      out += static_cast<char>(c);
    }
  });
}

std::vector<uint8_t> TextData(std::string_view s) {
  std::vector<uint8_t> d(s.begin(), s.end());
  d.push_back(0);
  return d;
}

std::vector<uint8_t> MultiTextData(const std::vector<std::string>& parts) {
  std::vector<uint8_t> d;
  for (const auto& p : parts) {
    d.insert(d.end(), p.begin(), p.end());
    d.push_back(0);
  }
  d.push_back(0);
  return d;
}

void AppendHex(std::string& out, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out += ',';
    out += HexDigit(data[i] >> 4);
    out += HexDigit(data[i]);
  }
}

// The readable form of a value's data when it has an exact one.
bool AppendReadable(std::string& out, const Value& v) {
  const auto& d = v.data;
  if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) {
    if (d.empty() || d.back() != 0) return false;
    std::string_view text(reinterpret_cast<const char*>(d.data()), d.size() - 1);
    if (text.find('\0') != std::string_view::npos) return false;
    out += v.type == REG_SZ ? "sz:" : "expand_sz:";
    AppendQuoted(out, text);
    return true;
  }
  if (v.type == REG_MULTI_SZ) {
    if (d.empty() || d.back() != 0) return false;
    std::vector<std::string> parts;
    std::string_view all(reinterpret_cast<const char*>(d.data()), d.size() - 1);
    size_t start = 0;
    while (start < all.size()) {
      size_t nul = all.find('\0', start);
      if (nul == std::string_view::npos) return false;
      if (nul == start) return false;  // an empty text has no place in the list form
      parts.emplace_back(all.substr(start, nul - start));
      start = nul + 1;
    }
    if (MultiTextData(parts) != d) return false;
    out += "multi_sz:";
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i) out += ',';
      AppendQuoted(out, parts[i]);
    }
    return true;
  }
  if (v.type == REG_DWORD) {
    if (d.size() != 4) return false;
    uint32_t n = d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<uint32_t>(d[3]) << 24);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
    return true;
  }
  if (v.type == REG_BINARY) {
    out += "hex:";
    AppendHex(out, d);
    return true;
  }
  return false;
}

void SerializeKey(std::string& out, const Key& key, const std::string& path) {
  out += '[';
  out += path;
  out += "] written=";
  out += std::to_string(key.written);
  out += '\n';
  for (const auto& v : key.Values()) {
    AppendQuoted(out, v.name);
    out += '=';
    if (!AppendReadable(out, v)) {
      out += "hex(" + std::to_string(v.type) + "):";
      AppendHex(out, v.data);
    }
    out += '\n';
  }
  for (const auto& sub : key.SubKeys()) {
    std::string subPath = path;
    if (!subPath.empty()) subPath += '\\';
    AppendKeyPart(subPath, sub->Name());
    SerializeKey(out, *sub, subPath);
  }
}

// A cursor over one line of the file.
struct LineReader {
  explicit LineReader(std::string_view text) : s(text) {}
  std::string_view s;
  size_t pos = 0;
  std::string error;

  bool AtEnd() const { return pos >= s.size(); }
  bool Eat(char c) {
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  bool EatWord(std::string_view w) {
    if (s.substr(pos, w.size()) == w) {
      pos += w.size();
      return true;
    }
    return false;
  }
  bool Fail(std::string why) {
    if (error.empty()) error = std::move(why);
    return false;
  }
  bool Quoted(std::string& out) {
    if (!Eat('"')) return Fail("a quoted text was expected");
    out.clear();
    while (pos < s.size()) {
      char c = s[pos++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos >= s.size()) break;
      char e = s[pos++];
      switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          if (pos + 2 > s.size()) return Fail("a broken \\x escape");
          int hi = HexValue(s[pos]), lo = HexValue(s[pos + 1]);
          if (hi < 0 || lo < 0) return Fail("a broken \\x escape");
          out += static_cast<char>(hi * 16 + lo);
          pos += 2;
          break;
        }
        default: return Fail("an unknown escape");
      }
    }
    return Fail("a quoted text is not closed");
  }
  bool HexBytes(std::vector<uint8_t>& out) {
    out.clear();
    if (AtEnd()) return true;
    while (true) {
      if (pos + 2 > s.size()) return Fail("broken hex data");
      int hi = HexValue(s[pos]), lo = HexValue(s[pos + 1]);
      if (hi < 0 || lo < 0) return Fail("broken hex data");
      out.push_back(static_cast<uint8_t>(hi * 16 + lo));
      pos += 2;
      if (AtEnd()) return true;
      if (!Eat(',')) return Fail("broken hex data");
    }
  }
  bool Decimal(uint64_t& out, uint64_t max) {
    size_t start = pos;
    out = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      out = out * 10 + static_cast<uint64_t>(s[pos] - '0');
      if (out > max || pos - start > 20) return Fail("a number out of range");
      ++pos;
    }
    return pos > start ? true : Fail("a number was expected");
  }
};

bool ParseKeyPath(std::string_view path, std::vector<std::string>& parts, std::string& error) {
  parts.clear();
  if (path.empty()) return true;
  std::string cur;
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '\\') {
      if (cur.empty()) {
        error = "an empty key name";
        return false;
      }
      parts.push_back(std::move(cur));
      cur.clear();
    } else if (c == '%') {
      if (i + 2 >= path.size()) {
        error = "a broken %XX escape";
        return false;
      }
      int hi = HexValue(path[i + 1]), lo = HexValue(path[i + 2]);
      if (hi < 0 || lo < 0) {
        error = "a broken %XX escape";
        return false;
      }
      cur += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']') {
      error = "a key path with a character that must be escaped";
      return false;
    } else {
      cur += c;
    }
  }
  if (cur.empty()) {
    error = "an empty key name";
    return false;
  }
  parts.push_back(std::move(cur));
  for (const auto& p : parts)
    if (p.find('\0') != std::string::npos) {
      error = "a key name with a NUL";
      return false;
    }
  return true;
}

bool ParseValueLine(LineReader& r, Key& key) {
  std::string name;
  if (!r.Quoted(name)) return false;
  if (!r.Eat('=')) return r.Fail("\"=\" was expected after the value name");
  DWORD type;
  std::vector<uint8_t> data;
  bool expand = false;
  if (r.EatWord("sz:") || (expand = r.EatWord("expand_sz:"))) {
    type = expand ? REG_EXPAND_SZ : REG_SZ;
    std::string text;
    if (!r.Quoted(text)) return false;
    if (text.find('\0') != std::string::npos) return r.Fail("a text with a NUL");
    data = TextData(text);
  } else if (r.EatWord("multi_sz:")) {
    type = REG_MULTI_SZ;
    std::vector<std::string> parts;
    if (!r.AtEnd()) {
      do {
        std::string p;
        if (!r.Quoted(p)) return false;
        if (p.empty() || p.find('\0') != std::string::npos)
          return r.Fail("an empty or NUL-holding text in a multi_sz list");
        parts.push_back(std::move(p));
      } while (r.Eat(','));
    }
    data = MultiTextData(parts);
  } else if (r.EatWord("dword:")) {
    type = REG_DWORD;
    if (r.s.size() - r.pos != 8) return r.Fail("a dword needs eight hex digits");
    uint32_t n = 0;
    for (int i = 0; i < 8; ++i) {
      int h = HexValue(r.s[r.pos + i]);
      if (h < 0) return r.Fail("a dword needs eight hex digits");
      n = (n << 4) | static_cast<uint32_t>(h);
    }
    r.pos += 8;
    data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
  } else if (r.EatWord("hex:")) {
    type = REG_BINARY;
    if (!r.HexBytes(data)) return false;
  } else if (r.EatWord("hex(")) {
    uint64_t t;
    if (!r.Decimal(t, 0xFFFFFFFFu)) return false;
    if (!r.EatWord("):")) return r.Fail("\"):\" was expected");
    type = static_cast<DWORD>(t);
    if (!r.HexBytes(data)) return false;
  } else {
    return r.Fail("an unknown value type");
  }
  if (!r.AtEnd()) return r.Fail("unexpected text after the value");
  if (key.FindValue(Fold(name))) return r.Fail("a value written twice");
  key.SetValue(name, type, std::move(data));
  return true;
}

}  // namespace

std::string Fold(std::string_view name) {
  if (IsAscii(name)) {
    std::string s(name);
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  }
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
  if (decoder.hasError()) return std::string(name);  // not text: compared byte for byte
  // One character for one character, as the registry compares (no "SS" for a sharp s).
  QList<uint> points = text.toUcs4();
  for (uint& p : points) p = QChar::toUpper(p);
  return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), points.size()).toStdString();
}

Key::Key(std::string name) : name_(std::move(name)), folded_(Fold(name_)) {}

Key* Key::FindSubKey(std::string_view folded) const {
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), folded,
                             [](const std::unique_ptr<Key>& k, std::string_view f) { return k->folded_ < f; });
  if (it != subkeys_.end() && (*it)->folded_ == folded) return it->get();
  return nullptr;
}

Key* Key::AddSubKey(const std::string& name, bool* created) {
  std::string folded = Fold(name);
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), folded,
                             [](const std::unique_ptr<Key>& k, const std::string& f) { return k->folded_ < f; });
  if (it != subkeys_.end() && (*it)->folded_ == folded) {
    if (created) *created = false;
    return it->get();
  }
  if (created) *created = true;
  return subkeys_.insert(it, std::make_unique<Key>(name))->get();
}

bool Key::RemoveSubKey(std::string_view folded) {
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), folded,
                             [](const std::unique_ptr<Key>& k, std::string_view f) { return k->folded_ < f; });
  if (it == subkeys_.end() || (*it)->folded_ != folded) return false;
  subkeys_.erase(it);
  return true;
}

const Value* Key::FindValue(std::string_view folded) const {
  auto it = valueIndex_.find(std::string(folded));
  return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

void Key::SetValue(const std::string& name, DWORD type, std::vector<uint8_t> data) {
  std::string folded = Fold(name);
  auto it = valueIndex_.find(folded);
  if (it != valueIndex_.end()) {
    values_[it->second].type = type;
    values_[it->second].data = std::move(data);
    return;
  }
  valueIndex_.emplace(std::move(folded), values_.size());
  values_.push_back(Value{name, type, std::move(data)});
}

bool Key::RemoveValue(std::string_view folded) {
  auto it = valueIndex_.find(std::string(folded));
  if (it == valueIndex_.end()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
  valueIndex_.clear();
  for (size_t i = 0; i < values_.size(); ++i) valueIndex_.emplace(Fold(values_[i].name), i);
  return true;
}

void Key::ClearValues() {
  values_.clear();
  valueIndex_.clear();
}

uint64_t FileTimeNow() {
  using namespace std::chrono;
  auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint64_t>(since1970 / 100) + 116444736000000000ull;
}

std::string Serialize(const Key& root, std::string_view hiveName) {
  std::string out;
  out += kMagic;
  out += hiveName;
  out += '\n';
  SerializeKey(out, root, "");
  out += kEnd;
  out += '\n';
  return out;
}

bool Parse(std::string_view text, std::string_view hiveName, Key& root, std::string& reason) {
  auto fail = [&](size_t line, const std::string& why) {
    reason = "line " + std::to_string(line) + ": " + why;
    root.ClearSubKeys();
    root.ClearValues();
    return false;
  };
  // Split into lines (a CR before the line break is dropped: the file may have been edited
  // with CR LF line ends); the last line must be the end marker.
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    start = nl == std::string_view::npos ? text.size() : nl + 1;
  }
  if (lines.empty()) return fail(1, "the file is empty");
  std::string header = std::string(kMagic) + std::string(hiveName);
  if (lines[0] != header) return fail(1, "not a registry file of this hive");
  size_t last = lines.size();
  while (last > 1 && lines[last - 1].empty()) --last;
  if (last <= 1 || lines[last - 1] != kEnd) return fail(lines.size(), "the end marker is missing (the file was cut short)");
  Key* key = nullptr;
  std::vector<std::string> parts;
  for (size_t i = 1; i + 1 < last; ++i) {
    std::string_view line = lines[i];
    if (line.empty() || line[0] == ';') continue;
    if (line.find('\0') != std::string_view::npos) return fail(i + 1, "a NUL byte");
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close == std::string_view::npos) return fail(i + 1, "a key line without \"]\"");
      std::string error;
      if (!ParseKeyPath(line.substr(1, close - 1), parts, error)) return fail(i + 1, error);
      Key* k = &root;
      for (const auto& p : parts) k = k->AddSubKey(p);
      LineReader r{line.substr(close + 1)};
      if (r.EatWord(" written=")) {
        uint64_t t;
        if (!r.Decimal(t, UINT64_MAX / 10)) return fail(i + 1, r.error);
        k->written = t;
      }
      if (!r.AtEnd()) return fail(i + 1, "unexpected text after the key");
      key = k;
    } else if (line[0] == '"') {
      if (!key) return fail(i + 1, "a value before the first key");
      LineReader r{line};
      if (!ParseValueLine(r, *key)) return fail(i + 1, r.error);
    } else {
      return fail(i + 1, "a line that is neither a key nor a value");
    }
  }
  return true;
}

}  // namespace registry::detail
