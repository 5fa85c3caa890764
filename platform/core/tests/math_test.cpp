// Number functions and the random generator against the runtime's documented results.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "test_util.h"

namespace {

TEST(Numbers, StrPutsABlankBeforeNonNegativeNumbers) {
  struct Case {
    Variant in;
    const char* expected;
  };
  const Case cases[] = {
      {Variant(5), " 5"},         {Variant(-5), "-5"},        {Variant(0.0), " 0"},
      {Variant(1.5), " 1.5"},     {Variant(-0.25), "-0.25"},  {Variant(1e15), " 1E+15"},
      {Variant("12"), " 12"},     {Variant(true), "True"},    {Variant(2.5f), " 2.5"},
      {Variant(), " 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Str(c.in), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Str(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { Str("abc"); }), vbErrTypeMismatch);
}

TEST(Numbers, ValReadsTheLeadingNumber) {
  struct Case {
    const char* in;
    double expected;
  };
  const Case cases[] = {
      {"2457", 2457},          {" 2 45 7", 2457},      {"24 and 57", 24},
      {"1615 198th Street N.E.", 1615198},             {"", 0},
      {"abc", 0},              {"-12.5xyz", -12.5},    {"  +3", 3},
      {"1,000", 1},            {"1e3", 1000},          {"1.5E-2", 0.015},
      {"2D2", 200},            {"1e", 1},              {"1e+", 1},
      {"&HFFFF", -1},          {"&HFF", 255},          {"&H10000", 65536},
      {"&O17", 15},            {"&17", 15},            {"&H", 0},
      {"&HZZ", 0},             {".5", 0.5},            {"-", 0},
      {"..5", 0},              {"5..", 5},             {"\t7\r\n8", 78},
      {"&HFFFFFFFF", -1},      {"3.14.15", 3.14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_DOUBLE_EQ(Val(c.in), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Val("1e999"); }), vbErrOverflow);
  EXPECT_EQ(ErrorOf([] { Val("&H123456789"); }), vbErrOverflow);
}

TEST(Numbers, RoundIntFixSgnAbs) {
  struct Case {
    double x;
    int32_t digits;
    double expected;
  };
  const Case cases[] = {
      {2.5, 0, 2},       {3.5, 0, 4},          {-2.5, 0, -2},       {-3.5, 0, -4},
      {0.5, 0, 0},       {1.5, 0, 2},          {2.4, 0, 2},         {2.6, 0, 3},
      {1.25, 1, 1.2},    {1.35, 1, 1.4},       {2.675, 2, 2.68},    {2.665, 2, 2.66},
      {1.005, 2, 1.0},   {0.125, 2, 0.12},     {-0.125, 2, -0.12},  {12.3456, 2, 12.35},
      {29.97002997, 2, 29.97}, {123.0, 5, 123.0}, {0.014999999, 2, 0.01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " at " << c.digits);
    EXPECT_DOUBLE_EQ(Round(c.x, c.digits), c.expected);
  }
  EXPECT_EQ(ErrorOf([] { Round(1.0, -1); }), vbErrInvalidProcedureCall);

  EXPECT_EQ(Int(8.4), 8);
  EXPECT_EQ(Int(-8.4), -9);
  EXPECT_EQ(Fix(-8.4), -8);
  EXPECT_EQ(Fix(8.9), 8);
  EXPECT_EQ(Sgn(-0.1), -1);
  EXPECT_EQ(Sgn(0), 0);
  EXPECT_EQ(Sgn(7), 1);
  EXPECT_EQ(Abs(-3.5), 3.5);
}

TEST(Numbers, HexAndOctKeepTheValuesWidth) {
  struct Case {
    Variant in;
    const char* hex;
    const char* oct;
  };
  const Case cases[] = {
      {Variant(int16_t{-1}), "FFFF", "177777"},
      {Variant(int32_t{-1}), "FFFFFFFF", "37777777777"},
      {Variant(255), "FF", "377"},
      {Variant(uint8_t{16}), "10", "20"},
      {Variant(10.5), "A", "12"},
      {Variant(11.5), "C", "14"},
      {Variant("255"), "FF", "377"},
      {Variant(), "0", "0"},
      {Variant(true), "FFFF", "177777"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hex);
    EXPECT_EQ(Hex(c.in), c.hex);
    EXPECT_EQ(Oct(c.in), c.oct);
  }
  EXPECT_EQ(ErrorOf([] { Hex(Variant::Null()); }), 94);
  EXPECT_EQ(ErrorOf([] { Hex(5e9); }), vbErrOverflow);
}

TEST(Random, SequenceMatchesTheRuntimesGenerator) {
  // Rnd(-1) reseeds to a fixed state; its values are the runtime's well-known ones.
  EXPECT_FLOAT_EQ(Rnd(-1), 0.224007f);
  float first = Rnd();
  float second = Rnd();
  EXPECT_FLOAT_EQ(Rnd(0), second);
  EXPECT_FLOAT_EQ(Rnd(-1), 0.224007f);
  EXPECT_EQ(Rnd(), first);
  EXPECT_EQ(Rnd(5), second);
  // The state after each step follows x1 = (x0 * 1140671485 + 12820163) mod 2^24.
  uint32_t x = static_cast<uint32_t>(Rnd(0) * 16777216.0f);
  for (int i = 0; i < 100; ++i) {
    x = (x * 1140671485u + 12820163u) & 0xFFFFFFu;
    ASSERT_EQ(Rnd(), static_cast<float>(x) / 16777216.0f);
  }
}

TEST(Random, RandomizeMixesItsNumberIntoTheState) {
  Rnd(-1);
  Randomize(1.0);
  float a = Rnd();
  Rnd(-1);
  Randomize(1.0);
  EXPECT_EQ(Rnd(), a);
  Rnd(-1);
  Randomize(2.0);
  EXPECT_NE(Rnd(), a);
  for (int i = 0; i < 1000; ++i) {
    float r = Rnd();
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
  }
}

}  // namespace
