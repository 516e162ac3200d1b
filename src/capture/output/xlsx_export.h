#pragma once

// An output file as a spreadsheet: a ".csv" or ruled ".txt" the program wrote, as an ".xlsx"
// of one worksheet whose first row stays in view, numbers as numbers and all else as text.

#include <cstddef>
#include <string>

#include "capture/error.h"

namespace tabvoro::capture {

// The spreadsheet beside an output file: the same name with ".xlsx" for its extension.
std::string xlsxPathBeside(const std::string &source);

struct XlsxExport {
    std::string path;  // the spreadsheet written
    std::size_t rows = 0;
};

// Writes the lines of `source` as the rows of the spreadsheet `target` (empty: beside it). A
// ".txt" is read as ruled text: its rules are left out and a row's cells lose their padding;
// any other file as ".csv" lines. The file is UTF-8 when it begins with a byte-order mark or is
// valid UTF-8 throughout, else in `codePage`. Rows are read and written one at a time, so the
// memory taken does not grow with the file. The spreadsheet is written under a temporary name in
// the target's folder and renamed over an older one only when complete: a failure leaves the
// older one whole. Fails with a message for a file that cannot be read, a target that cannot be
// written (or that is the source itself), more rows or columns than a worksheet holds, or a cell
// the spreadsheet cannot hold.
Result<XlsxExport> ExportToXlsx(const std::string &source, const std::string &target, const std::string &codePage);

}  // namespace tabvoro::capture
