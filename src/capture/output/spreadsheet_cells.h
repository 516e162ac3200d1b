#pragma once

// What a line of an output file holds as spreadsheet cells: the fields of a ".csv" line or the
// cells of a ruled ".txt" row, and which of them a spreadsheet takes as numbers.

#include <optional>
#include <string_view>
#include <vector>

namespace tabvoro::capture {

// The value of a field that passes the numeric-text test (isNumericText: "1,234.50", "-3",
// "1.5E+3", blanks around it allowed), or nothing for a field that stays text: any other, one
// whose integer part has a leading zero ("0123", "-00"; "0" and "0.5" are numbers), one of more
// than 15 digits from its first non-zero one (past what a spreadsheet keeps exactly: IDs, phone
// and account numbers) and one outside the range of a double.
std::optional<double> spreadsheetNumber(std::string_view field);

// The fields of a ".csv" line as the program writes them: separated by ",", nothing quoted (a
// comma inside a cell is written as "，", one inside a number is removed), so a quote is part of
// its field. `fields` is cleared first; an empty line is one empty field.
void splitCsvLine(std::string_view line, std::vector<std::string_view> &fields);

enum class RuledLine {
    Rule,   // a box-drawn rule above, between or below rows
    Cells,  // a row of cells between "┃" bars
    Other,  // a line outside any drawn table (a capture that could not be drawn)
};

// Reads one line of a ruled ".txt": for a row, its cells without the blanks that pad them to
// their column's width (an empty cell is empty).
RuledLine readRuledLine(std::string_view line, std::vector<std::string_view> &cells);

}  // namespace tabvoro::capture
