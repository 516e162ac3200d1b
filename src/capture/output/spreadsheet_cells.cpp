#include "capture/output/spreadsheet_cells.h"

#include <charconv>
#include <cmath>
#include <string>

#include "capture/text_rules.h"

namespace tabvoro::capture {

namespace {

// The most digits a spreadsheet keeps of a number: past them it rounds.
constexpr int kMostSignificantDigits = 15;

constexpr std::string_view kOuterBar = "┃";
constexpr std::string_view kInnerBar = "│";

}  // namespace

std::optional<double> spreadsheetNumber(std::string_view field)
{
    if (!isNumericText(field))
        return std::nullopt;
    const std::string_view text = trimSpaces(field);
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') {
        if (text[i] == '-')
            plain += '-';
        ++i;
    }
    std::size_t integerDigits = 0;
    bool leadingZero = false;
    bool fraction = false;
    int significant = 0;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        const char c = text[i];
        if (c == ',')
            continue;
        plain += c;
        if (c == '.') {
            fraction = true;
            continue;
        }
        if (!fraction && integerDigits++ == 0)
            leadingZero = c == '0';
        if (significant > 0 || c != '0')
            ++significant;
    }
    if ((leadingZero && integerDigits > 1) || significant > kMostSignificantDigits)
        return std::nullopt;
    plain += text.substr(i);
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value == 0 ? 0.0 : value;  // "-0" is 0, not a negative zero
}

void splitCsvLine(std::string_view line, std::vector<std::string_view> &fields)
{
    fields.clear();
    for (;;) {
        const auto comma = line.find(',');
        fields.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos)
            return;
        line.remove_prefix(comma + 1);
    }
}

RuledLine readRuledLine(std::string_view line, std::vector<std::string_view> &cells)
{
    cells.clear();
    for (const std::string_view corner : {"┏", "┠", "┗"})
        if (line.starts_with(corner))
            return RuledLine::Rule;
    if (line.size() < 2 * kOuterBar.size() || !line.starts_with(kOuterBar) || !line.ends_with(kOuterBar))
        return RuledLine::Other;
    line = line.substr(kOuterBar.size(), line.size() - 2 * kOuterBar.size());
    for (;;) {
        const auto bar = line.find(kInnerBar);
        cells.push_back(trimSpaces(line.substr(0, bar)));
        if (bar == std::string_view::npos)
            return RuledLine::Cells;
        line.remove_prefix(bar + kInnerBar.size());
    }
}

}  // namespace tabvoro::capture
