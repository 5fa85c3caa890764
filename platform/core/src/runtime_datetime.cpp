#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/clock.h"
#include "core/error.h"
#include "core/runtime_datetime.h"
#include "runtime_internal.h"

using namespace core_detail;

namespace {
struct LocalNow {
  std::tm tm{};
  double fraction = 0;  // of the current second
};

LocalNow ReadClock() {
  using namespace std::chrono;
  auto now = ClockNow();
  auto secs = floor<seconds>(now);
  LocalNow out;
  out.fraction = duration<double>(now - secs).count();
  std::time_t t = system_clock::to_time_t(system_clock::time_point(secs));
  localtime_r(&t, &out.tm);
  return out;
}

int64_t TodaySerial(const std::tm& tm) { return SerialDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday); }
int32_t SecondsOfDay(const std::tm& tm) { return tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec; }

// An OLE date from a day and a time of day: the fraction counts away from zero on negative days.
double OleDate(int64_t day, double secondsOfDay) {
  double f = secondsOfDay / 86400.0;
  return day >= 0 ? static_cast<double>(day) + f : static_cast<double>(day) - f;
}

DateParts PartsOf(const Variant& v) {
  Variant d = v.Deref();
  if (d.IsNull()) Raise(94);
  return SplitDate(d.vt() == VT_DATE ? d.date() : NumberOf(d));
}
}  // namespace

double Timer() {
  LocalNow n = ReadClock();
  return SecondsOfDay(n.tm) + n.fraction;
}

Variant Now() {
  LocalNow n = ReadClock();
  return Variant::Date(OleDate(TodaySerial(n.tm), SecondsOfDay(n.tm)));
}

Variant Date() { return Variant::Date(static_cast<double>(TodaySerial(ReadClock().tm))); }

Variant Time() { return Variant::Date(SecondsOfDay(ReadClock().tm) / 86400.0); }

std::string DateStr() {
  std::tm tm = ReadClock().tm;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  return buf;
}

std::string TimeStr() {
  std::tm tm = ReadClock().tm;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

Variant DateSerial(int32_t year, int32_t month, int32_t day) {
  int64_t y = year;
  if (y >= 0 && y <= 29) y += 2000;
  else if (y >= 30 && y <= 99) y += 1900;
  int64_t serial = SerialDay(y, month, day);
  if (serial < -657434 || serial > 2958465) Raise(vbErrInvalidProcedureCall);
  return Variant::Date(static_cast<double>(serial));
}

Variant TimeSerial(int32_t hour, int32_t minute, int32_t second) {
  int64_t total = int64_t{hour} * 3600 + int64_t{minute} * 60 + second;
  int64_t day = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  int64_t rest = total - day * 86400;
  if (day < -657434 || day > 2958465) Raise(vbErrInvalidProcedureCall);
  return Variant::Date(OleDate(day, static_cast<double>(rest)));
}

int32_t Year(const Variant& d) { return PartsOf(d).year; }
int32_t Month(const Variant& d) { return PartsOf(d).month; }
int32_t Day(const Variant& d) { return PartsOf(d).day; }
int32_t Hour(const Variant& d) { return PartsOf(d).hour; }
int32_t Minute(const Variant& d) { return PartsOf(d).minute; }
int32_t Second(const Variant& d) { return PartsOf(d).second; }
int32_t Weekday(const Variant& d) { return PartsOf(d).weekday; }
