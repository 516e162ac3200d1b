#pragma once

// The ruled-text format: a capture text drawn as a table with box-drawing lines, columns
// lined up by their width in bytes of the code page.

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

}  // namespace tabvoro::capture
