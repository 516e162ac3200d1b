#pragma once

// The URL list import file: one address per line, in UTF-8 or the code page.

#include <string>
#include <string_view>
#include <vector>

namespace tabvoro::capture {

// The lines of a text file, each taken whole (no trimming); a line ends at CR LF, a lone CR or a
// lone LF. `keepEmpty` keeps empty lines (the address drop-down lists them as empty rows); the
// URL list skips them.
std::vector<std::string> splitFileLines(std::string_view text, bool keepEmpty);

// The addresses of an import file's bytes: decoded (UTF-8 when valid, else the code page), split
// into lines, empty lines skipped.
std::vector<std::string> readUrlListFile(std::string_view bytes, const std::string &codePage);

}  // namespace tabvoro::capture
