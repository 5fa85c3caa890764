// Conversions against the runtime's documented results.
#include <gtest/gtest.h>

#include <cfloat>

#include "core/error.h"
#include "core/runtime.h"
#include "test_util.h"

namespace {

struct IntCase {
  Variant in;
  int32_t expected;  // meaningful when error is 0
  int32_t error;     // expected error number, 0 for none
};

TEST(Convert, CIntRoundsHalfToEvenAndChecksRange) {
  const IntCase cases[] = {
      {Variant("2.5"), 2, 0},         {Variant("3.5"), 4, 0},
      {Variant(-2.5), -2, 0},         {Variant(-3.5), -4, 0},
      {Variant(0.5), 0, 0},           {Variant(1.5), 2, 0},
      {Variant(2.4999), 2, 0},        {Variant("  42  "), 42, 0},
      {Variant("&H1F"), 31, 0},       {Variant("&hff"), 255, 0},
      {Variant("&HFFFF"), -1, 0},     {Variant("&O17"), 15, 0},
      {Variant("&17"), 15, 0},        {Variant("1e3"), 1000, 0},
      {Variant("1D2"), 100, 0},       {Variant("1,000"), 1000, 0},
      {Variant("-7"), -7, 0},         {Variant("+7"), 7, 0},
      {Variant(".5"), 0, 0},          {Variant("5."), 5, 0},
      {Variant(true), -1, 0},         {Variant(false), 0, 0},
      {Variant(), 0, 0},              {Variant(32767.4), 32767, 0},
      {Variant(-32768.5), -32768, 0}, {Variant(32767.5), 0, 6},
      {Variant("40000"), 0, 6},       {Variant(-32769), 0, 6},
      {Variant("abc"), 0, 13},        {Variant(""), 0, 13},
      {Variant("1 2"), 0, 13},        {Variant("12abc"), 0, 13},
      {Variant("e3"), 0, 13},         {Variant("1e"), 0, 13},
      {Variant("&H"), 0, 13},         {Variant("&HG"), 0, 13},
      {Variant(","), 0, 13},          {Variant(",5"), 0, 13},
      {Variant("True"), 0, 13},       {Variant::Null(), 0, 94},
      {Variant("1e400"), 0, 6},       {Variant("&H1FFFFFFFF"), 0, 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.in.vt() << " text '" << c.in.bstr().Utf8() << "'");
    if (c.error) {
      EXPECT_EQ(ErrorOf([&] { CInt(c.in); }), c.error);
    } else {
      EXPECT_EQ(CInt(c.in), c.expected);
    }
  }
}

TEST(Convert, CLngAndCByteRanges) {
  const IntCase lngCases[] = {
      {Variant("2147483647"), 2147483647, 0},
      {Variant("-2147483648"), -2147483647 - 1, 0},
      {Variant("2147483647.5"), 0, 6},
      {Variant("&HFFFFFFFF"), -1, 0},
      {Variant("&H10000"), 65536, 0},
      {Variant("&H8000"), -32768, 0},
      {Variant("1,234,567"), 1234567, 0},
      {Variant(int16_t{-5}), -5, 0},
      {Variant(uint8_t{200}), 200, 0},
      {Variant(2.5f), 2, 0},
      {Variant::Date(36526.75), 36527, 0},
      {Variant("x"), 0, 13},
  };
  for (const auto& c : lngCases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.in.vt() << " text '" << c.in.bstr().Utf8() << "'");
    if (c.error) EXPECT_EQ(ErrorOf([&] { CLng(c.in); }), c.error);
    else EXPECT_EQ(CLng(c.in), c.expected);
  }
  const IntCase byteCases[] = {
      {Variant(255.4), 255, 0}, {Variant(-0.5), 0, 0},  {Variant(255.5), 0, 6},
      {Variant(-1), 0, 6},      {Variant("12"), 12, 0}, {Variant(true), 0, 6},
  };
  for (const auto& c : byteCases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.in.vt());
    if (c.error) EXPECT_EQ(ErrorOf([&] { CByte(c.in); }), c.error);
    else EXPECT_EQ(CByte(c.in), c.expected);
  }
}

TEST(Convert, CBoolFromTextAndNumbers) {
  struct Case {
    Variant in;
    bool expected;
    int32_t error;
  };
  const Case cases[] = {
      {Variant("True"), true, 0},   {Variant("TRUE"), true, 0},   {Variant("tRuE"), true, 0},
      {Variant("False"), false, 0}, {Variant("false"), false, 0}, {Variant(" True "), true, 0},
      {Variant("0"), false, 0},     {Variant("-1"), true, 0},     {Variant("0.0"), false, 0},
      {Variant("2.5"), true, 0},    {Variant(0.0), false, 0},     {Variant(0.1), true, 0},
      {Variant(), false, 0},        {Variant("yes"), false, 13},  {Variant(""), false, 13},
      {Variant("Truex"), false, 13}, {Variant::Null(), false, 94},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "text '" << c.in.bstr().Utf8() << "'");
    if (c.error) EXPECT_EQ(ErrorOf([&] { CBool(c.in); }), c.error);
    else EXPECT_EQ(CBool(c.in), c.expected);
  }
}

TEST(Convert, CDblAndCSng) {
  EXPECT_DOUBLE_EQ(CDbl("1,000.25"), 1000.25);
  EXPECT_DOUBLE_EQ(CDbl(" -1.5E-3 "), -0.0015);
  EXPECT_DOUBLE_EQ(CDbl("1e-400"), 0.0);
  EXPECT_DOUBLE_EQ(CDbl(Variant(true)), -1.0);
  EXPECT_EQ(CSng("0.1"), 0.1f);
  EXPECT_EQ(CSng(3.4e38), 3.4e38f);
  EXPECT_EQ(ErrorOf([] { CSng(1e39); }), vbErrOverflow);
  EXPECT_EQ(ErrorOf([] { CDbl("1.2.3"); }), vbErrTypeMismatch);
  EXPECT_EQ(ErrorOf([] { CDbl(Variant::Null()); }), 94);
}

TEST(Convert, ByReferenceValuesAreReadThrough) {
  int16_t i = 7;
  Bstr text(u"12.5");
  EXPECT_EQ(CLng(Variant::ByRef(VT_I2, &i)), 7);
  EXPECT_EQ(CInt(Variant::ByRef(VT_BSTR, &text)), 12);
  EXPECT_EQ(CStr(Variant::ByRef(VT_BSTR, &text)), "12.5");
}

TEST(Convert, CStrOfNumbers) {
  struct Case {
    Variant in;
    const char* expected;
  };
  const Case cases[] = {
      {Variant(0.0), "0"},
      {Variant(-0.0), "0"},
      {Variant(1.0), "1"},
      {Variant(-1.5), "-1.5"},
      {Variant(0.1), "0.1"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(2.0 / 3.0), "0.666666666666667"},
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(1e15), "1E+15"},
      {Variant(1.5e-7), "1.5E-07"},
      {Variant(0.0001), "0.0001"},
      {Variant(1e100), "1E+100"},
      {Variant(-2.5e-10), "-2.5E-10"},
      {Variant(29.97002997), "29.97002997"},
      {Variant(0.1f), "0.1"},
      {Variant(1.0f / 3.0f), "0.3333333"},
      {Variant(1e7f), "1E+07"},
      {Variant(1234567.0f), "1234567"},
      {Variant(int16_t{-32768}), "-32768"},
      {Variant(int32_t{2147483647}), "2147483647"},
      {Variant(uint8_t{255}), "255"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(), ""},
      {Variant("text"), "text"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(CStr(c.in), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Error(E_FAIL)); }), vbErrTypeMismatch);
}

TEST(Convert, CStrOfDatesIsTheGeneralDate) {
  struct Case {
    double date;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, "12:00:00 AM"},
      {0.5, "12:00:00 PM"},
      {0.75, "6:00:00 PM"},
      {36526.0, "1/1/2000"},
      {37623.6709027778, "1/2/2003 4:06:06 PM"},
      {2.0, "1/1/1900"},
      {-1.25, "12/29/1899 6:00:00 AM"},
      {45291.99999999, "1/1/2024"},
      {60.0, "2/28/1900"},
      {61.0, "3/1/1900"},
      {2958465.0, "12/31/9999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(CStr(Variant::Date(c.date)), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { CStr(Variant::Date(1e12)); }), vbErrOverflow);
}

TEST(Convert, IsNumeric) {
  struct Case {
    Variant in;
    bool expected;
  };
  const Case cases[] = {
      {Variant("12"), true},      {Variant(" 1.5e3 "), true}, {Variant("&HFF"), true},
      {Variant("1,000"), true},   {Variant("-.5"), true},     {Variant(3.0), true},
      {Variant(true), true},      {Variant(), true},          {Variant(""), false},
      {Variant("abc"), false},    {Variant("1a"), false},     {Variant::Null(), false},
      {Variant::Date(1.0), false}, {Variant("."), false},     {Variant("- 1"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "vt " << c.in.vt() << " '" << c.in.bstr().Utf8() << "'");
    EXPECT_EQ(IsNumeric(c.in), c.expected);
  }
}

}  // namespace
