#pragma once
// The runtime's conversion functions. Each takes any value a Variant can hold (text, numbers,
// Booleans, dates, Empty) and converts it with the runtime's rules:
//   - Empty converts to 0 / False / ""; Null raises 94 (Invalid use of Null);
//   - text is read as a number when it is one: blanks around it, a sign, "," thousands
//     separators, a "." fraction, an exponent ("1e3", "1D3"), "&H1F" hex or "&O17" octal;
//     other text raises 13 (Type mismatch);
//   - integer conversions round half to even (2.5 -> 2, 3.5 -> 4) and raise 6 (Overflow)
//     outside their range.
#include <cstdint>
#include <string>

#include "core/variant.h"

// Boolean: numbers are True unless 0; text "True"/"False" in any letter case, or numeric text.
bool CBool(const Variant& v);
// Byte: 0 to 255.
uint8_t CByte(const Variant& v);
// Integer: -32,768 to 32,767.
int16_t CInt(const Variant& v);
// Long: -2,147,483,648 to 2,147,483,647.
int32_t CLng(const Variant& v);
// Single: raises 6 beyond the Single range.
float CSng(const Variant& v);
// Double.
double CDbl(const Variant& v);
// String: numbers with up to 15 (Double) or 7 (Single) significant digits, "." as decimal point,
// no trailing zeros, exponent form "1E+15" / "1.5E-07" for very large and small values;
// Booleans "True"/"False"; a date as its general date text ("1/2/2003 4:05:06 PM").
std::string CStr(const Variant& v);

// Whether a value counts as a number: numbers, Booleans, Empty and numeric text (not dates, not
// Null, not objects).
bool IsNumeric(const Variant& v);
