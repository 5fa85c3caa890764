// Text functions and the Like operator against the runtime's documented results.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_util.h"

namespace {

const std::string kAccents = "\xC3\xA9t\xC3\xA9";  // "été": 3 characters, 5 bytes
const std::string kClef = "a\xF0\x9D\x84\x9E" "b";   // "a𝄞b": a character outside the BMP

TEST(Strings, LengthsAndPositionsCountCharacters) {
  EXPECT_EQ(Len(""), 0);
  EXPECT_EQ(Len(kAccents), 3);
  EXPECT_EQ(Len(kClef), 3);
  EXPECT_EQ(Mid(kAccents, 2, 1), "t");
  EXPECT_EQ(Mid(kClef, 2, 1), "\xF0\x9D\x84\x9E");
  EXPECT_EQ(Left(kAccents, 1), "\xC3\xA9");
  EXPECT_EQ(Right(kClef, 2), "\xF0\x9D\x84\x9E" "b");
  EXPECT_EQ(InStr(kAccents, "\xC3\xA9", vbBinaryCompare), 1);
  EXPECT_EQ(InStr(2, kAccents, "\xC3\xA9"), 3);
  EXPECT_EQ(StrReverse(kClef), "b\xF0\x9D\x84\x9E" "a");
  EXPECT_EQ(UCase(kAccents), "\xC3\x89T\xC3\x89");
  // Bytes that are not UTF-8 pass through unchanged.
  const std::string raw = "a\xFF\xFE" "b";
  EXPECT_EQ(Len(raw), 4);
  EXPECT_EQ(Mid(raw, 2, 2), "\xFF\xFE");
  EXPECT_EQ(UCase(raw), "A\xFF\xFE" "B");
}

TEST(Strings, MidLeftRight) {
  struct Case {
    const char* s;
    int32_t start;
    std::optional<int32_t> length;
    const char* expected;
  };
  const Case cases[] = {
      {"Mid Function Demo", 1, 3, "Mid"}, {"Mid Function Demo", 14, 4, "Demo"},
      {"Mid Function Demo", 5, std::nullopt, "Function Demo"}, {"abc", 4, 1, ""},
      {"abc", 2, 0, ""}, {"abc", 2, 99, "bc"}, {"", 1, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.s);
    EXPECT_EQ(Mid(c.s, c.start, c.length), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Mid("abc", 0); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Mid("abc", 1, -1); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(Left("Hello World", 5), "Hello");
  EXPECT_EQ(Left("Hi", 5), "Hi");
  EXPECT_EQ(Right("Hello World", 5), "World");
  EXPECT_EQ(Right("Hi", 0), "");
  EXPECT_EQ(ErrorOf([] { Left("a", -1); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Right("a", -1); }), vbErrInvalidProcedureCall);
}

TEST(Strings, MidStatementOverwritesInPlace) {
  struct Case {
    int32_t start;
    std::optional<int32_t> length;
    const char* replacement;
    const char* expected;
  };
  const Case cases[] = {
      {5, 3, "fox", "The fox jumps over the dog"},
      {5, std::nullopt, "cow", "The cow jumps over the dog"},
      {5, std::nullopt, "cow jumped over", "The cow jumped overthe dog"},
      {24, std::nullopt, "duck", "The dog jumps over the duc"},
      {1, 1, "xyz", "xhe dog jumps over the dog"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    std::string s = "The dog jumps over the dog";
    MidAssign(s, c.start, c.length, c.replacement);
    EXPECT_EQ(s, c.expected);
  }
  std::string s = "abc";
  EXPECT_EQ(ErrorOf([&] { MidAssign(s, 4, std::nullopt, "x"); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { MidAssign(s, 0, std::nullopt, "x"); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(s, "abc");
}

TEST(Strings, TrimRemovesBlanksOnly) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(LTrim("  a b  "), "a b  ");
  EXPECT_EQ(RTrim("  a b  "), "  a b");
  EXPECT_EQ(Trim("\tx\t"), "\tx\t");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(UCase("Hello, World 1"), "HELLO, WORLD 1");
  EXPECT_EQ(LCase("Hello, WORLD \xC3\x80"), "hello, world \xC3\xA0");
}

TEST(Strings, InStrAndInStrRev) {
  struct Case {
    int32_t start;
    const char* s1;
    const char* s2;
    int compare;
    int32_t expected;
  };
  const Case cases[] = {
      {1, "XXpXXpXXPXXP", "P", vbTextCompare, 3},  {4, "XXpXXpXXPXXP", "P", vbTextCompare, 6},
      {1, "XXpXXpXXPXXP", "P", vbBinaryCompare, 9}, {1, "XXpXXpXXPXXP", "W", vbBinaryCompare, 0},
      {1, "", "a", vbBinaryCompare, 0},             {3, "abc", "", vbBinaryCompare, 3},
      {4, "abc", "a", vbBinaryCompare, 0},          {1, "abc", "abcd", vbBinaryCompare, 0},
      {2, "aaa", "aa", vbBinaryCompare, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.s1 << " / " << c.s2 << " from " << c.start);
    EXPECT_EQ(InStr(c.start, c.s1, c.s2, c.compare), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { InStr(0, "a", "a"); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { InStr(1, "a", "a", 7); }), vbErrInvalidProcedureCall);

  const Case rev[] = {
      {-1, "XXpXXpXXPXXP", "P", vbBinaryCompare, 12}, {10, "XXpXXpXXPXXP", "P", vbBinaryCompare, 9},
      {10, "XXpXXpXXPXXP", "P", vbTextCompare, 9},    {8, "XXpXXpXXPXXP", "P", vbTextCompare, 6},
      {-1, "c:\\dir\\file.avi", "\\", vbBinaryCompare, 7}, {-1, "abc", "", vbBinaryCompare, 3},
      {5, "abc", "a", vbBinaryCompare, 0},            {2, "abcabc", "bc", vbBinaryCompare, 0},
      {3, "abcabc", "bc", vbBinaryCompare, 2},        {-1, "", "a", vbBinaryCompare, 0},
  };
  for (const auto& c : rev) {
    SCOPED_TRACE(testing::Message() << c.s1 << " / " << c.s2 << " from " << c.start);
    EXPECT_EQ(InStrRev(c.s1, c.s2, c.start, c.compare), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { InStrRev("a", "a", 0); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { InStrRev("a", "a", -2); }), vbErrInvalidProcedureCall);
}

TEST(Strings, Replace) {
  struct Case {
    const char* expr;
    const char* find;
    const char* with;
    int32_t start, count;
    int compare;
    const char* expected;
  };
  const Case cases[] = {
      {"abcdabcd", "b", "X", 1, -1, vbBinaryCompare, "aXcdaXcd"},
      {"abcdabcd", "b", "X", 3, -1, vbBinaryCompare, "cdaXcd"},
      {"abcdabcd", "b", "X", 1, 1, vbBinaryCompare, "aXcdabcd"},
      {"aBcdabcd", "b", "X", 1, -1, vbTextCompare, "aXcdaXcd"},
      {"aBcdabcd", "b", "X", 1, -1, vbBinaryCompare, "aBcdaXcd"},
      {"abc", "", "X", 1, -1, vbBinaryCompare, "abc"},
      {"abc", "b", "", 1, -1, vbBinaryCompare, "ac"},
      {"abc", "b", "X", 9, -1, vbBinaryCompare, ""},
      {"aaa", "aa", "b", 1, -1, vbBinaryCompare, "ba"},
      {"abc", "b", "X", 1, 0, vbBinaryCompare, "abc"},
      {"a.b.c", ".", "..", 1, -1, vbBinaryCompare, "a..b..c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Replace(c.expr, c.find, c.with, c.start, c.count, c.compare), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Replace("a", "a", "b", 0); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Replace("a", "a", "b", 1, -2); }), vbErrInvalidProcedureCall);
}

TEST(Strings, SplitAndJoin) {
  using V = std::vector<std::string>;
  struct Case {
    const char* expr;
    const char* delim;
    int32_t limit;
    int compare;
    V expected;
  };
  const Case cases[] = {
      {"a b c", " ", -1, vbBinaryCompare, V{"a", "b", "c"}},
      {"a,,b", ",", -1, vbBinaryCompare, V{"a", "", "b"}},
      {"a,b,c,d", ",", 2, vbBinaryCompare, V{"a", "b,c,d"}},
      {"aXbxc", "x", -1, vbTextCompare, V{"a", "b", "c"}},
      {"aXbxc", "x", -1, vbBinaryCompare, V{"aXb", "c"}},
      {"", ",", -1, vbBinaryCompare, V{}},
      {"abc", "", -1, vbBinaryCompare, V{"abc"}},
      {"a,b", ",", 0, vbBinaryCompare, V{}},
      {",", ",", -1, vbBinaryCompare, V{"", ""}},
      {"a||b", "||", -1, vbBinaryCompare, V{"a", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(Split(c.expr, c.delim, c.limit, c.compare), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Split("a", ",", -2); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(Join({"a", "b", "c"}), "a b c");
  EXPECT_EQ(Join({"a", "b"}, ""), "ab");
  EXPECT_EQ(Join({}, ","), "");
  EXPECT_EQ(Join(Split("x;y;;z", ";"), ";"), "x;y;;z");
}

TEST(Strings, StrComp) {
  struct Case {
    const char* a;
    const char* b;
    int compare;
    int32_t expected;
  };
  const Case cases[] = {
      {"ABCD", "abcd", vbTextCompare, 0}, {"ABCD", "abcd", vbBinaryCompare, -1},
      {"abcd", "ABCD", vbBinaryCompare, 1}, {"abc", "abcd", vbTextCompare, -1},
      {"b", "A", vbTextCompare, 1},       {"", "", vbBinaryCompare, 0},
      {"\xC3\xA9", "\xC3\x89", vbTextCompare, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    EXPECT_EQ(StrComp(c.a, c.b, c.compare), c.expected);
  }
}

TEST(Strings, SpaceStringChrAsc) {
  EXPECT_EQ(Space(3), "   ");
  EXPECT_EQ(Space(0), "");
  EXPECT_EQ(StringOf(5, "*"), "*****");
  EXPECT_EQ(StringOf(3, "ABC"), "AAA");
  EXPECT_EQ(StringOf(2, 42), "**");
  EXPECT_EQ(StringOf(2, 256 + 65), "AA");
  EXPECT_EQ(StringOf(2, "\xC3\xA9x"), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(ErrorOf([] { Space(-1); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { StringOf(2, ""); }), vbErrInvalidProcedureCall);

  struct Case {
    int32_t code;
    const char* text;
  };
  const Case cases[] = {{65, "A"}, {13, "\r"}, {0, ""},
                        {0xE9, "\xC3\xA9"}, {0x80, "\xE2\x82\xAC"}, {0x93, "\xE2\x80\x9C"}, {0xFF, "\xC3\xBF"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::string expected = c.code == 0 ? std::string(1, '\0') : std::string(c.text);
    EXPECT_EQ(Chr(c.code), expected);
    EXPECT_EQ(Asc(expected), c.code);
  }
  EXPECT_EQ(Asc("Apple"), 65);
  EXPECT_EQ(Asc("\xE4\xB8\xAD"), 63);  // not in the ANSI code page
  EXPECT_EQ(ErrorOf([] { Chr(256); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Chr(-1); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([] { Asc(""); }), vbErrInvalidProcedureCall);
  EXPECT_EQ(ChrW(0x4E2D), "\xE4\xB8\xAD");
  EXPECT_EQ(AscW("\xE4\xB8\xAD"), 0x4E2D);
}

TEST(Like, Patterns) {
  struct Case {
    const char* s;
    const char* pattern;
    bool expected;
  };
  const Case cases[] = {
      {"aBBBa", "a*a", true},     {"F", "[A-Z]", true},       {"F", "[!A-Z]", false},
      {"a2a", "a#a", true},       {"aM5b", "a[L-P]#[!c-e]", true}, {"BAT123khg", "B?T*", true},
      {"CAT123khg", "B?T*", false}, {"ab", "a*b*", true},     {"", "*", true},
      {"", "", true},             {"a", "", false},           {"abc", "a?c", true},
      {"ac", "a?c", false},       {"a*c", "a[*]c", true},     {"abc", "a[*]c", false},
      {"a?c", "a[?]c", true},     {"a#", "a[#]", true},       {"a[", "a[[]", true},
      {"a]", "a]", true},         {"-", "[-a]", true},        {"-", "[a-]", true},
      {"x!", "x[a!]", true},      {"ab", "a[]b", true},
      {"A", "a", false},          {"file.AVI", "*.AVI", true}, {"file.avi", "*.AVI", false},
      {"\xC3\xA9", "?", true},    {"mississippi", "*sip*", true}, {"aaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*c", false},
      {"5", "[0-9]", true},       {"a", "[abc][!x]", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.s << "' Like '" << c.pattern << "'");
    EXPECT_EQ(Like(c.s, c.pattern), c.expected);
  }
  for (const char* bad : {"[a-", "a[bc", "[z-a]"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ErrorOf([&] { Like("a", bad); }), 93);
  }
}

}  // namespace
