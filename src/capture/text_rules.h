#pragma once

// The small text rules every part of the engine shares. All text is UTF-8.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture {

inline constexpr std::string_view kCrLf = "\r\n";

// A text box is set when its text is not exactly the empty string; blanks count as set.
inline bool isSet(std::string_view text) { return !text.empty(); }

// The number at the start of a text box, 0 when the text does not begin with one.
// Leading blanks (U+0020) and tabs are skipped; then an optional sign, digits and an optional
// fraction ("1a" gives 1, "a1" gives 0, " 2.5x" gives 2.5, "-3" gives -3).
double leadingNumber(std::string_view text);

// A number typed as a 0-based position (a frame number) as an index: nothing when it is below 0;
// a fraction is cut off, and a number past any count gives an index past any count, so that it
// names nothing (a double that large does not fit an integer).
std::optional<std::size_t> indexFromNumber(double number);

// Removes U+0020 blanks from both ends, and nothing else (tabs and line breaks stay).
std::string_view trimSpaces(std::string_view text);

// The numeric-text test of cell values. Accepts, with optional blanks around it:
//   an optional sign, then digits in which "," may group the integer part in threes
//   ("1,234", "12,345,678.50"; the first group 1 to 3 digits, every later group exactly 3),
//   an optional "." fraction (".5", "3." too), and an optional exponent ("1.5E+3").
// Rejects anything else, notably "12,34" and "1,,234", so a list like "1,2" is never merged
// into one number.
bool isNumericText(std::string_view text);

// Removes every CR LF pair; a lone CR or LF stays.
std::string removeCrLf(std::string_view text);

// Replaces every occurrence of `from` (not empty) by `to`.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// Lower-cases ASCII letters only.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);

// Plain decimal text of a whole or fractional number as the window writes it: no blanks,
// no exponent, no trailing zeros ("3", "2.5", "-1").
std::string formatNumber(double value);

// Appends a code point (at most U+10FFFF) to a UTF-8 text.
void appendUtf8(char32_t codePoint, std::string &out);

// Number of Unicode characters in a UTF-8 text (invalid bytes count one each).
std::size_t utf8Length(std::string_view text);

// The first `count` Unicode characters of a UTF-8 text.
std::string_view utf8Prefix(std::string_view text, std::size_t count);

}  // namespace tabvoro::capture
