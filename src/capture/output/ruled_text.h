#pragma once

// The ruled-text format: a capture text drawn as a table with box-drawing lines, columns
// lined up by their width in columns (CodePageWidths).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tabvoro::capture {

class CodePageWidths;

// The ruled table of a capture text whose lines end in CR LF and whose fields are separated by
// `separator`. The line of the most fields gives the column count; shorter lines get empty cells
// at their end. Returns the input unchanged when it cannot be drawn (an empty text, a first line
// that is empty).
std::string MakeRuledText(std::string_view captureText, std::string_view separator,
                          CodePageWidths &widths);

// The same, but nothing when the ruled table would be longer than `maxBytes`; it is then
// never built, however large it would be.
std::optional<std::string> MakeRuledText(std::string_view captureText, std::string_view separator,
                                         CodePageWidths &widths, std::size_t maxBytes);

}  // namespace tabvoro::capture
