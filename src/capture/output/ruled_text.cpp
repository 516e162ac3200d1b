#include "capture/output/ruled_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "capture/output/code_page.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

// Each box-drawing piece is one character that takes two bytes in the code pages the format
// was made for, which is why a column of width w is ruled with w/2 of them.
struct RulePieces {
    std::string_view left, fill, join, right;
};

constexpr RulePieces kTopRule{"┏", "━", "┯", "┓"};
constexpr RulePieces kMiddleRule{"┠", "─", "┼", "┨"};
constexpr RulePieces kBottomRule{"┗", "━", "┷", "┛"};
constexpr std::string_view kOuterBar = "┃";
constexpr std::string_view kInnerBar = "│";

std::string ruleLine(const RulePieces &pieces, const std::vector<std::size_t> &widths)
{
    std::string line(pieces.left);
    for (std::size_t j = 0; j < widths.size(); ++j) {
        if (j > 0)
            line += pieces.join;
        for (std::size_t k = 0; k < widths[j] / 2; ++k)
            line += pieces.fill;
    }
    line += pieces.right;
    line += kCrLf;
    return line;
}

// Walks the fields of one row; past the last field every further field is empty.
class FieldReader {
public:
    FieldReader(std::string_view row, std::string_view separator)
        : m_rest(row), m_separator(separator), m_done(false)
    {
    }

    std::string_view next()
    {
        if (m_done)
            return {};
        const auto hit = m_rest.find(m_separator);
        if (hit == std::string_view::npos) {
            m_done = true;
            return m_rest;
        }
        const std::string_view field = m_rest.substr(0, hit);
        m_rest.remove_prefix(hit + m_separator.size());
        return field;
    }

private:
    std::string_view m_rest;
    std::string_view m_separator;
    bool m_done;
};

std::size_t countFields(std::string_view line, std::string_view separator)
{
    std::size_t count = 1;
    for (auto hit = line.find(separator); hit != std::string_view::npos;
         hit = line.find(separator, hit + separator.size()))
        ++count;
    return count;
}

bool isNumericCell(std::string_view cell)
{
    if (isNumericText(cell))
        return true;
    if (cell.find('%') == std::string_view::npos)
        return false;
    return isNumericText(replaceAll(cell, "%", ""));
}

}  // namespace

std::string MakeRuledText(std::string_view captureText, std::string_view separator,
                          CodePageWidths &widths)
{
    return *MakeRuledText(captureText, separator, widths, std::numeric_limits<std::size_t>::max());
}

std::optional<std::string> MakeRuledText(std::string_view captureText, std::string_view separator,
                                         CodePageWidths &widths, std::size_t maxBytes)
{
    // What cannot be drawn is handed back as it is, within the same limit.
    const auto unchanged = [&]() -> std::optional<std::string> {
        if (captureText.size() > maxBytes)
            return std::nullopt;
        return std::string(captureText);
    };
    if (captureText.empty() || separator.empty())
        return unchanged();

    std::vector<std::string_view> rows;
    for (std::size_t pos = 0;;) {
        const auto end = captureText.find(kCrLf, pos);
        if (end == std::string_view::npos) {
            rows.push_back(captureText.substr(pos));
            break;
        }
        rows.push_back(captureText.substr(pos, end - pos));
        pos = end + kCrLf.size();
    }
    if (rows.front().empty())
        return unchanged();
    // Every capture line ends in CR LF, so the text after the last one is no row of its own.
    if (trimSpaces(rows.back()).empty())
        rows.pop_back();
    if (rows.empty())
        return unchanged();

    // The widest line decides the columns: a capture of several tables holds lines of different
    // lengths, and no field of any of them may be lost.
    std::size_t columns = 0;
    for (const std::string_view row : rows)
        columns = std::max(columns, countFields(trimSpaces(row), separator));
    // Each cell takes at least a piece and a bar on its line: a table wider than the limit
    // allows is refused before its cells are measured.
    const std::size_t leastCellBytes = 2 + kInnerBar.size();
    if (columns > maxBytes / leastCellBytes / rows.size())
        return std::nullopt;
    std::vector<std::size_t> columnWidths(columns, 0);
    std::vector<std::uint32_t> cellWidths;
    cellWidths.reserve(rows.size() * columns);
    std::size_t cellBytes = 0;
    std::size_t cellWidthSum = 0;
    for (const std::string_view row : rows) {
        FieldReader fields(trimSpaces(row), separator);
        for (std::size_t j = 0; j < columns; ++j) {
            const std::string_view cell = fields.next();
            const std::size_t w = widths.width(cell);
            cellWidths.push_back(static_cast<std::uint32_t>(w));
            cellBytes += cell.size();
            cellWidthSum += w;
            if (w > columnWidths[j])
                columnWidths[j] = w;
        }
    }
    // Rule pieces are two bytes wide, so every column is made even and at least one piece wide.
    std::size_t widthSum = 0;
    for (std::size_t &w : columnWidths) {
        if (w == 0)
            w = 2;
        else if (w % 2 == 1)
            ++w;
        widthSum += w;
    }

    const std::string top = ruleLine(kTopRule, columnWidths);
    const std::string middle = ruleLine(kMiddleRule, columnWidths);
    const std::string bottom = ruleLine(kBottomRule, columnWidths);
    const std::size_t rowOverhead = 2 * kOuterBar.size() + (columns - 1) * kInnerBar.size() + kCrLf.size();

    // Every cell line holds the cells' own bytes and their padding up to the column widths.
    const long double size = static_cast<long double>(top.size() + bottom.size()) +
                             static_cast<long double>(rows.size() - 1) * middle.size() +
                             static_cast<long double>(cellBytes) - static_cast<long double>(cellWidthSum) +
                             static_cast<long double>(rows.size()) * (widthSum + rowOverhead);
    if (size > static_cast<long double>(maxBytes))
        return std::nullopt;
    std::string out;
    out.reserve(static_cast<std::size_t>(size));
    out += top;
    std::size_t cellIndex = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FieldReader fields(trimSpaces(rows[i]), separator);
        out += kOuterBar;
        for (std::size_t j = 0; j < columns; ++j) {
            if (j > 0)
                out += kInnerBar;
            const std::string_view cell = fields.next();
            const std::size_t padding = columnWidths[j] - cellWidths[cellIndex++];
            if (isNumericCell(cell)) {
                out.append(padding, ' ');
                out += cell;
            } else {
                out += cell;
                out.append(padding, ' ');
            }
        }
        out += kOuterBar;
        out += kCrLf;
        out += i + 1 < rows.size() ? middle : bottom;
    }
    return out;
}

}  // namespace tabvoro::capture
