// Timer, Now, Date, Time and the date functions with an injected clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/runtime.h"
#include "test_util.h"

namespace {

using namespace std::chrono;

// Pins the clock to a given UTC instant and the local time zone to UTC.
class FixedClock : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz) savedTz_ = tz;
    hadTz_ = tz != nullptr;
    setenv("TZ", "UTC", 1);
    tzset();
    previous_ = SetClockForTesting([this] { return now_; });
  }
  void TearDown() override {
    SetClockForTesting(previous_);
    if (hadTz_) setenv("TZ", savedTz_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  // 2003-01-02 16:05:06 UTC plus an offset.
  void Set(milliseconds offset = milliseconds(0)) {
    now_ = system_clock::time_point(seconds(1041523506)) + offset;
  }

  system_clock::time_point now_{};
  ClockFunction previous_;
  std::string savedTz_;
  bool hadTz_ = false;
};

TEST_F(FixedClock, TimerIsSecondsSinceMidnight) {
  Set(milliseconds(250));
  EXPECT_DOUBLE_EQ(Timer(), 16 * 3600 + 5 * 60 + 6 + 0.25);
  Set(milliseconds(10));
  EXPECT_DOUBLE_EQ(Timer(), 16 * 3600 + 5 * 60 + 6 + 0.01);
  // One millisecond before midnight, and just after it: the timer restarts.
  now_ = system_clock::time_point(seconds(1041552000)) - milliseconds(1);
  EXPECT_NEAR(Timer(), 86399.999, 1e-9);
  now_ = system_clock::time_point(seconds(1041552000)) + milliseconds(500);
  EXPECT_DOUBLE_EQ(Timer(), 0.5);
}

TEST_F(FixedClock, NowDateAndTimeTexts) {
  Set(milliseconds(900));
  EXPECT_EQ(CStr(Now()), "1/2/2003 4:05:06 PM");
  EXPECT_EQ(CStr(Date()), "1/2/2003");
  EXPECT_EQ(CStr(Time()), "4:05:06 PM");
  EXPECT_EQ(Now().vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(CDbl(Date()), 37623.0);
  EXPECT_EQ(DateStr(), "01-02-2003");
  EXPECT_EQ(TimeStr(), "16:05:06");
  now_ = system_clock::time_point(seconds(1041552000));  // midnight
  EXPECT_EQ(CStr(Now()), "1/3/2003");
  EXPECT_EQ(CStr(Time()), "12:00:00 AM");
}

TEST_F(FixedClock, RestoringTheClockGivesTheSystemTime) {
  ClockFunction mine = SetClockForTesting({});
  EXPECT_TRUE(static_cast<bool>(mine));
  auto before = system_clock::now();
  auto now = ClockNow();
  EXPECT_GE(now, before);
  EXPECT_LE(now - before, minutes(1));
  SetClockForTesting(mine);
}

TEST_F(FixedClock, RandomizeWithoutANumberUsesTheTimer) {
  Set(milliseconds(250));
  Rnd(-1);
  Randomize();
  float a = Rnd();
  Rnd(-1);
  Randomize(static_cast<double>(static_cast<float>(Timer())));
  EXPECT_EQ(Rnd(), a);
  Set(milliseconds(750));
  Rnd(-1);
  Randomize();
  EXPECT_NE(Rnd(), a);
}

TEST(Dates, SerialsAndParts) {
  struct Case {
    int32_t y, m, d;
    double serial;
    const char* text;
    int32_t weekday;
  };
  const Case cases[] = {
      {2003, 1, 2, 37623, "1/2/2003", 5},   {2000, 13, 1, 36892, "1/1/2001", 2},
      {2000, 3, 0, 36585, "2/29/2000", 3},  {1899, 12, 30, 0, "12:00:00 AM", 7},
      {5, 6, 7, 38510, "6/7/2005", 3},      {75, 1, 1, 27395, "1/1/1975", 4},
      {9999, 12, 31, 2958465, "12/31/9999", 6}, {100, 1, 1, -657434, "1/1/0100", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Variant d = DateSerial(c.y, c.m, c.d);
    EXPECT_EQ(d.vt(), VT_DATE);
    EXPECT_DOUBLE_EQ(CDbl(d), c.serial);
    EXPECT_EQ(CStr(d), c.text);
    EXPECT_EQ(Weekday(d), c.weekday);
  }
  EXPECT_EQ(ErrorOf([] { DateSerial(10000, 1, 1); }), vbErrInvalidProcedureCall);

  Variant t = TimeSerial(16, 5, 6);
  EXPECT_EQ(CStr(t), "4:05:06 PM");
  EXPECT_EQ(Hour(t), 16);
  EXPECT_EQ(Minute(t), 5);
  EXPECT_EQ(Second(t), 6);
  EXPECT_EQ(CStr(TimeSerial(0, 90, 0)), "1:30:00 AM");
  EXPECT_EQ(CStr(TimeSerial(25, 0, 0)), "12/31/1899 1:00:00 AM");
  EXPECT_EQ(CStr(TimeSerial(-1, 0, 0)), "12/29/1899 11:00:00 PM");
  Variant both = Variant::Date(37623.6709027778);
  EXPECT_EQ(Year(both), 2003);
  EXPECT_EQ(Month(both), 1);
  EXPECT_EQ(Day(both), 2);
  EXPECT_EQ(Hour(both), 16);
  EXPECT_EQ(ErrorOf([] { Year(Variant::Null()); }), 94);
}

}  // namespace
