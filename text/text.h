// Text values of the program and the byte-string routines shared by every module.
//
// A Text is a byte string in the ANSI code page (GBK) that holds no zero byte; Bytes may
// hold zero bytes. Positions count bytes from 1; "not found" is -1. A byte of 0x80 or more
// starts a two-byte character together with the byte after it: searches match only at
// character starts, lower-casing never touches a second byte, blanks (0x20 and the
// full-width space A1 A1) are recognised only at character starts.
#pragma once

#include <optional>
#include <string>

namespace quorvane {

using Text = std::string;   // never holds a zero byte
using Bytes = std::string;  // may hold zero bytes

// The bytes up to the first zero byte, or all of them when there is none.
Text TextFromBytes(const Bytes& bytes);

// Position of `what` in `text`, tried only at character starts at or after `start`
// (a start inside a two-byte character tries from the next character).
// A start below 1 means 1; a start past the end finds nothing; an empty `what` gives 1
// when the searched part is not empty, else -1.
int FindText(const Text& text, const Text& what, int start = 1);
// The same, with the ASCII letters A-Z and a-z equal to their other case (second bytes
// of two-byte characters compare exactly).
int FindTextNoCase(const Text& text, const Text& what, int start = 1);
// True when `what` occurs in `text` (case-insensitive, ASCII letters only).
bool ContainsNoCase(const Text& text, const Text& what);

// A-Z to a-z; second bytes of two-byte characters stay as they are.
Text LowerAscii(const Text& text);
// Blanks removed at both ends; tab, CR and LF stay.
Text TrimBlanks(const Text& text);
// True when `text` begins with `prefix`, ASCII letters compared without case.
bool StartsWithNoCase(const Text& text, const Text& prefix);

// First / last n bytes: n of 0 or less gives "", n past the length gives all.
Text LeftBytes(const Text& text, int n);
Text RightBytes(const Text& text, int n);
// n bytes from position p: "" when p < 1, p past the end or n <= 0; else what is left.
Text MidBytes(const Text& text, int position, int n);
// Delete n bytes at p (p held within 1..length+1; n < 0 deletes nothing; n past the end
// deletes to the end), then insert `insert` there.
Text DeleteAndInsert(const Text& text, int position, int n, const Text& insert = {});
// Replace occurrences of `what` by `with`, left to right, never overlapping, from `start`
// (the text before it stays), at most `count` times (omitted: all; 0: none). An empty
// `what` or text returns the text unchanged.
Text ReplaceText(const Text& text, const Text& what, const Text& with = {}, int start = 1,
                 std::optional<int> count = std::nullopt);

// "真" for true, "假" for false (GBK).
Text BoolText(bool value);
// Signed decimal digits.
Text IntText(long long value);
// Full-width forms folded to ASCII, leading white space (the full-width space A1 A1
// included) skipped, the longest decimal
// prefix (sign, digits, fraction, exponent) read; 0 when there is none.
double TextToNumber(const Text& text);
// TextToNumber truncated toward zero, held within the range of int.
int TextToInt(const Text& text);

}  // namespace quorvane
