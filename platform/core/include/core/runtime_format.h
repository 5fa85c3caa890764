#pragma once
// The runtime's Format function.
#include <string>

#include "core/variant.h"

// Format(value, pattern): a number, date or text as the pattern says.
//
// Numbers (numeric text counts as a number): "0" a digit or 0, "#" a digit or nothing, "." the
// decimal point (always shown: Format(25, "##.##") = "25."), "," thousands grouping (or, right
// before the decimal point, division by 1,000), "%" percent, "E+"/"E-" exponent; "\x" and
// "quoted text" are shown as they stand; up to four sections separated by ";" for positive,
// negative, zero and Null values. Halves round away from zero on the number's decimal text.
// Named formats: "General Number", "Currency", "Fixed", "Standard", "Percent", "Scientific",
// "Yes/No", "True/False", "On/Off" (any letter case).
//
// Dates (a Date value, or a number with a date pattern): d dd ddd dddd ddddd dddddd, w ww, m mm
// mmm mmmm (minutes after h or before s), q, y yy yyyy, h hh, n nn, s ss, ttttt, c, AM/PM am/pm
// A/P a/p AMPM, "/" and ":". Named formats: "General Date", "Long Date", "Medium Date",
// "Short Date", "Long Time", "Medium Time", "Short Time".
//
// Text: "@" a character or a blank, "&" a character or nothing, "<" lower case, ">" upper case,
// "!" fill from the left. Text that is not a number, formatted with a number pattern, comes back
// unchanged. Without a pattern a value gives its CStr text; Null gives "" (or the fourth section).
std::string Format(const Variant& value, const std::string& pattern = std::string());
