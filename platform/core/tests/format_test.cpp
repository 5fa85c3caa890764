// Format against the runtime's documented results.
#include <gtest/gtest.h>

#include "core/runtime.h"
#include "core/runtime_format.h"

namespace {

struct Case {
  Variant value;
  const char* pattern;
  const char* expected;
};

void Check(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pattern '" << c.pattern << "' expected '" << c.expected << "'");
    EXPECT_EQ(Format(c.value, c.pattern), c.expected);
  }
}

TEST(Format, NumberCodes) {
  Check({
      {Variant(5459.4), "##,##0.00", "5,459.40"},
      {Variant(334.9), "###0.00", "334.90"},
      {Variant(5), "0.00%", "500.00%"},
      {Variant(25), "##.##", "25."},
      {Variant(25.0), "##.##", "25."},
      {Variant(29.97002997), "##.##", "29.97"},
      {Variant(0.5), "##.##", ".5"},
      {Variant(0), "##.##", "."},
      {Variant(0), "#", ""},
      {Variant(5), "00", "05"},
      {Variant(123), "00", "123"},
      {Variant(7), "#0", "7"},
      {Variant(1234567), "#,##0", "1,234,567"},
      {Variant(123), "#,##0", "123"},
      {Variant(1234567), "#,##0,", "1,235"},
      {Variant(1234567), "0,,", "1"},
      {Variant(2.5), "0", "3"},
      {Variant(-2.5), "0", "-3"},
      {Variant(2.675), "0.00", "2.68"},
      {Variant(0.005), "0.00", "0.01"},
      {Variant(9.999), "0.00", "10.00"},
      {Variant(-0.001), "0.00", "0.00"},
      {Variant(12.5), ".00", "12.50"},
      {Variant(5551234567.0), "(000) 000-0000", "(555) 123-4567"},
      {Variant(5), "\\$0", "$5"},
      {Variant(5), "\"kg \"0", "kg 5"},
      {Variant(1.5f), "0.0", "1.5"},
      {Variant(true), "0", "-1"},
      {Variant("12.5"), "0.00", "12.50"},
      {Variant("1,000"), "#,##0.0", "1,000.0"},
  });
}

TEST(Format, SectionsAndExponents) {
  Check({
      {Variant(-5), "0;(0)", "(5)"},
      {Variant(5), "0;(0)", "5"},
      {Variant(-5), "0", "-5"},
      {Variant(-5), "$0.00", "-$5.00"},
      {Variant(0), "0;(0);\"Zero\"", "Zero"},
      {Variant(-5), "0;;\"Zero\"", "-5"},
      {Variant(12345), "0.00E+00", "1.23E+04"},
      {Variant(0.000123), "0.00E-00", "1.23E-04"},
      {Variant(0.000123), "0.00E+00", "1.23E-04"},
      {Variant(12345), "0.00E-00", "1.23E04"},
      {Variant(99999), "0.00E+00", "1.00E+05"},
      {Variant(0), "0.00E+00", "0.00E+00"},
      {Variant(12345), "00.0E+0", "12.3E+3"},
      {Variant(0.0000123456789), "0.00000#e-#", "1.234568e-5"},
      {Variant(-12345), "0.00E+00", "-1.23E+04"},
      {Variant(1234.5), "#,##0.00 \"MB\"", "1,234.50 MB"},
      {Variant::Null(), "0;0;0;\"nothing\"", "nothing"},
      {Variant::Null(), "0.00", ""},
  });
}

TEST(Format, NamedFormats) {
  Check({
      {Variant(1234.5), "Currency", "$1,234.50"},
      {Variant(-1234.5), "Currency", "($1,234.50)"},
      {Variant(1234.5), "Fixed", "1234.50"},
      {Variant(0.5), "fixed", "0.50"},
      {Variant(1234.5), "Standard", "1,234.50"},
      {Variant(0.256), "Percent", "25.60%"},
      {Variant(1234.5), "Scientific", "1.23E+03"},
      {Variant(1234.5), "General Number", "1234.5"},
      {Variant(0), "Yes/No", "No"},
      {Variant(-5), "Yes/No", "Yes"},
      {Variant(2), "True/False", "True"},
      {Variant(0), "On/Off", "Off"},
      {Variant("abc"), "Fixed", "abc"},
  });
}

TEST(Format, DateCodes) {
  // Thursday, 2 January 2003, 16:05:06.
  const Variant d = Variant::Date(37623.0 + (16 * 3600 + 5 * 60 + 6) / 86400.0);
  Check({
      {d, "General Date", "1/2/2003 4:05:06 PM"},
      {d, "Long Date", "Thursday, January 02, 2003"},
      {d, "Medium Date", "02-Jan-03"},
      {d, "Short Date", "1/2/2003"},
      {d, "Long Time", "4:05:06 PM"},
      {d, "Medium Time", "04:05 PM"},
      {d, "Short Time", "16:05"},
      {d, "hh:mm:ss", "16:05:06"},
      {d, "HH:MM:SS", "16:05:06"},
      {d, "h:mm AM/PM", "4:05 PM"},
      {d, "h:mm am/pm", "4:05 pm"},
      {d, "h A/P", "4 P"},
      {d, "yyyy-mm-dd", "2003-01-02"},
      {d, "dddd d mmmm yyyy", "Thursday 2 January 2003"},
      {d, "ddd, mmm d, yy", "Thu, Jan 2, 03"},
      {d, "m/d/yy", "1/2/03"},
      {d, "mm:ss", "05:06"},
      {d, "n:s", "5:6"},
      {d, "q", "1"},
      {d, "y", "2"},
      {d, "w", "5"},
      {d, "ww", "1"},
      {d, "c", "1/2/2003 4:05:06 PM"},
      {d, "ddddd", "1/2/2003"},
      {d, "ttttt", "4:05:06 PM"},
      {d, "\"at\" hh\\h", "at 16h"},
      {Variant(0.5), "hh:mm", "12:00"},
      {Variant::Date(0.25), "h:mm AMPM", "6:00 AM"},
      {d, "0.00", "37623.67"},
  });
}

TEST(Format, TextCodesAndNoPattern) {
  Check({
      {Variant("abc"), ">", "ABC"},
      {Variant("ABC"), "<", "abc"},
      {Variant("5551234"), "@@@-@@@@", "555-1234"},
      {Variant("ab"), "@@@@", "  ab"},
      {Variant("ab"), "!@@@@", "ab  "},
      {Variant("ab"), "&&&&", "ab"},
      {Variant("abcdef"), "@@@", "abcdef"},
      {Variant("abcdef"), "!@@@", "abcdef"},
      {Variant(""), "@;\"(none)\"", "(none)"},
      {Variant("abc"), "0.00", "abc"},
      {Variant(1.5), "", "1.5"},
      {Variant(true), "", "True"},
      {Variant(), "", ""},
      {Variant::Null(), "", ""},
      {Variant::Date(36526.0), "", "1/1/2000"},
  });
}

}  // namespace
