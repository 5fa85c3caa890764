#pragma once
// BSTR: the automation string. A null BSTR (no string at all) stays distinct from an empty one.
#include <optional>
#include <string>
#include <string_view>

class Bstr {
 public:
  Bstr() = default;  // null
  Bstr(std::nullptr_t) {}
  Bstr(std::u16string s) : s_(std::move(s)) {}
  Bstr(const char16_t* s) { if (s) s_ = std::u16string(s); }
  // From UTF-8 text (the suite's String).
  static Bstr FromUtf8(std::string_view utf8);
  Bstr(const std::string& utf8) : Bstr(FromUtf8(utf8)) {}
  Bstr(const char* utf8) { if (utf8) *this = FromUtf8(utf8); }

  bool IsNull() const { return !s_.has_value(); }
  // Length in UTF-16 units; 0 for a null BSTR (SysStringLen's rule).
  size_t Length() const { return s_ ? s_->size() : 0; }
  // The text; a null BSTR reads as the empty string.
  const std::u16string& Utf16() const;
  std::string Utf8() const;

  friend bool operator==(const Bstr& a, const Bstr& b) = default;

 private:
  std::optional<std::u16string> s_;
};
using BSTR = Bstr;

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
