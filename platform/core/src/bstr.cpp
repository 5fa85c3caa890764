#include "core/bstr.h"

#include "runtime_internal.h"

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t cp;
    if (!core_detail::DecodeUtf8(s, i, cp)) {
      out.push_back(u'\uFFFD');
      ++i;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    core_detail::AppendUtf8(out, cp);
  }
  return out;
}

Bstr Bstr::FromUtf8(std::string_view utf8) { return Bstr(Utf8ToUtf16(utf8)); }

const std::u16string& Bstr::Utf16() const {
  static const std::u16string empty;
  return s_ ? *s_ : empty;
}

std::string Bstr::Utf8() const { return s_ ? Utf16ToUtf8(*s_) : std::string(); }
