#pragma once
// The runtime's text functions on UTF-8 strings. Lengths and positions count characters, and
// positions start at 1. A bad argument (a start below 1, a negative length or count) raises 5
// (Invalid procedure call or argument). Text comparison ignores letter case; binary comparison
// compares character codes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum VbCompareMethod : int { vbBinaryCompare = 0, vbTextCompare = 1 };

int32_t Len(const std::string& s);

// Blanks (" ") only; tabs and line ends are kept.
std::string Trim(const std::string& s);
std::string LTrim(const std::string& s);
std::string RTrim(const std::string& s);

std::string UCase(const std::string& s);
std::string LCase(const std::string& s);

// Position of s2 in s1 from `start` (1-based), 0 when absent; an empty s2 gives `start`.
int32_t InStr(const std::string& s1, const std::string& s2, int compare = vbBinaryCompare);
int32_t InStr(int32_t start, const std::string& s1, const std::string& s2, int compare = vbBinaryCompare);
// Last position of s2 in s1 that ends at or before `start` (-1: the end of s1).
int32_t InStrRev(const std::string& s1, const std::string& s2, int32_t start = -1,
                 int compare = vbBinaryCompare);

// Mid(s, start[, length]); a start beyond the end gives "".
std::string Mid(const std::string& s, int32_t start, std::optional<int32_t> length = std::nullopt);
// The Mid statement: overwrites characters of `target` from `start` with those of `replacement`
// (at most `length` of them), never changing the target's length.
void MidAssign(std::string& target, int32_t start, std::optional<int32_t> length,
               const std::string& replacement);
std::string Left(const std::string& s, int32_t length);
std::string Right(const std::string& s, int32_t length);

// Replaces `find` by `replacement` in the part of `expression` that starts at `start`, at most
// `count` times (-1: all); the result begins at `start`, as the runtime's Replace does.
std::string Replace(const std::string& expression, const std::string& find, const std::string& replacement,
                    int32_t start = 1, int32_t count = -1, int compare = vbBinaryCompare);

// Split: the pieces between delimiters; at most `limit` pieces (-1: all; the last keeps the
// rest). An empty expression gives no pieces; an empty delimiter gives the whole expression.
std::vector<std::string> Split(const std::string& expression, const std::string& delimiter = " ",
                               int32_t limit = -1, int compare = vbBinaryCompare);
std::string Join(const std::vector<std::string>& pieces, const std::string& delimiter = " ");

// -1, 0 or 1.
int32_t StrComp(const std::string& a, const std::string& b, int compare = vbBinaryCompare);

std::string Space(int32_t count);
// The runtime's String(n, character): n copies of the first character of `character`, or of the
// character with the given code (0 to 255).
std::string StringOf(int32_t count, const std::string& character);
std::string StringOf(int32_t count, int32_t charCode);
std::string StrReverse(const std::string& s);

// Characters of the ANSI code page (Windows-1252) by code 0 to 255, and back; a character
// outside it reads as 63 ("?").
std::string Chr(int32_t code);
int32_t Asc(const std::string& s);
// Unicode code points.
std::string ChrW(int32_t code);
int32_t AscW(const std::string& s);

// The Like operator with binary comparison: "*" any run of characters, "?" one character,
// "#" one digit, "[abc]" / "[a-z]" one of a set, "[!abc]" one character not in it. A malformed
// pattern (an unclosed "[", a descending range) raises 93 (Invalid pattern string).
bool Like(const std::string& s, const std::string& pattern);
