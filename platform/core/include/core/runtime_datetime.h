#pragma once
// Dates and times. A date is the runtime's Date value: a Variant of type VT_DATE holding days
// since 30 December 1899 with the time of day as the fraction; CStr gives its text ("1/2/2003",
// "4:05:06 PM", "1/2/2003 4:05:06 PM"). All of these read the clock of core/clock.h in local time.
#include <cstdint>
#include <string>

#include "core/variant.h"

// Seconds since local midnight (restarts at 0 each midnight), with the clock's resolution.
double Timer();

// The current date and time, today's date (no time), and the time of day (no date).
Variant Now();
Variant Date();
Variant Time();
// The runtime's Date$ ("mm-dd-yyyy") and Time$ ("hh:mm:ss", 24-hour) texts.
std::string DateStr();
std::string TimeStr();

// A date from its parts (months and days beyond their range roll over: DateSerial(2000, 13, 1)
// is 1/1/2001); a time from hours, minutes and seconds. Years 0 to 29 mean 2000 to 2029, 30 to
// 99 mean 1930 to 1999. Results outside 1/1/100 to 12/31/9999 raise 5.
Variant DateSerial(int32_t year, int32_t month, int32_t day);
Variant TimeSerial(int32_t hour, int32_t minute, int32_t second);

// Parts of a date value (a number or numeric text is taken as a date; Null raises 94).
int32_t Year(const Variant& date);
int32_t Month(const Variant& date);
int32_t Day(const Variant& date);
int32_t Hour(const Variant& date);
int32_t Minute(const Variant& date);
int32_t Second(const Variant& date);
// 1 = Sunday .. 7 = Saturday.
int32_t Weekday(const Variant& date);
