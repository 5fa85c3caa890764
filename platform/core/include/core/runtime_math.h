#pragma once
// The runtime's number functions.
#include <cstdint>
#include <string>

#include "core/variant.h"

// Str: the number's text with a leading blank for a number that is not negative
// (Str(5) = " 5", Str(-5) = "-5"); text is read as a number first; Booleans give "True"/"False".
std::string Str(const Variant& v);

// Val: the number at the start of a text. Blanks, tabs and line feeds anywhere are skipped;
// reading stops at the first character that cannot continue the number ("12abc" -> 12,
// "1,000" -> 1, "abc" -> 0); "&H" hex and "&O" octal are read with Integer/Long wrap-around
// ("&HFFFF" -> -1). Only a number beyond the Double range, or a hex or octal number beyond 32
// bits, raises (6, Overflow).
double Val(const std::string& text);

// Round half to even at the given number of decimals (0 to 22; others raise 5).
double Round(double x, int32_t digits = 0);
// Int: the largest whole number not above x (Int(-8.4) = -9); Fix drops the fraction (Fix(-8.4) = -8).
double Int(double x);
double Fix(double x);
double Abs(double x);
// Sgn: -1, 0 or 1.
int16_t Sgn(double x);

// Hex and Oct of a whole number (rounded half to even to a Long; Integer and Byte values keep
// their own width, so Hex(int16_t{-1}) = "FFFF" and Hex(-1) on a Long = "FFFFFFFF").
std::string Hex(const Variant& v);
std::string Oct(const Variant& v);

// Rnd: the runtime's pseudo-random sequence (a 24-bit linear congruential generator, so a
// program sees the same sequence as it always did). Rnd() and Rnd(positive) give the next
// number in [0, 1); Rnd(0) repeats the last one; Rnd(negative) restarts the sequence from that
// number, so Rnd(-1) always gives the same value.
float Rnd();
float Rnd(float number);
// Randomize: mixes a number (without one, Timer()) into the generator's state.
void Randomize();
void Randomize(double number);
