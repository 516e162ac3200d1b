#include "capture/output/spreadsheet_cells.h"

#include <cmath>

#include <gtest/gtest.h>

using namespace tabvoro::capture;

// What becomes a number: the numeric-text test, except where a spreadsheet would change the
// field (a leading zero lost, digits past 15 rounded) or cannot hold it.
TEST(SpreadsheetCells, NumbersAndTextThatStaysText)
{
    struct Case {
        std::string_view field;
        std::optional<double> number;
    };
    const Case cases[] = {
        {"0", 0},          {"0.5", 0.5},       {".5", 0.5},        {"-3", -3},
        {"+5", 5},         {"1,234.50", 1234.5}, {" 12 ", 12},     {"1.5E+3", 1500},
        {"-0", 0},         {"3.", 3},          {"123456789012345", 123456789012345.0},
        {"0.000123456789012345", 0.000123456789012345},
        {"0123", {}},      {"-0123", {}},      {"00", {}},         {"0,123", {}},
        {"1234567890123456", {}},  {"13800138000123456", {}},  {"1.234567890123456", {}},
        {"", {}},          {" ", {}},          {"12,34", {}},      {"12.5%", {}},
        {"1a", {}},        {"1E999", {}},      {"1E-999", {}},     {"-", {}},
    };
    for (const auto &c : cases) {
        const auto number = spreadsheetNumber(c.field);
        EXPECT_EQ(number.has_value(), c.number.has_value()) << c.field;
        if (number && c.number) {
            EXPECT_DOUBLE_EQ(*number, *c.number) << c.field;
        }
    }
    EXPECT_FALSE(std::signbit(*spreadsheetNumber("-0")));
}

// Nothing in the program's ".csv" is quoted: a quote is text of its field.
TEST(SpreadsheetCells, CsvFieldsSplitAtEveryComma)
{
    std::vector<std::string_view> fields;
    splitCsvLine("a,\"b,c\",,", fields);
    EXPECT_EQ(fields, (std::vector<std::string_view>{"a", "\"b", "c\"", "", ""}));
    splitCsvLine("", fields);
    EXPECT_EQ(fields, (std::vector<std::string_view>{""}));
}

TEST(SpreadsheetCells, RuledLines)
{
    std::vector<std::string_view> cells;
    EXPECT_EQ(readRuledLine("┏━━┯━┓", cells), RuledLine::Rule);
    EXPECT_EQ(readRuledLine("┠──┼─┨", cells), RuledLine::Rule);
    EXPECT_EQ(readRuledLine("┗━━┷━┛", cells), RuledLine::Rule);
    EXPECT_EQ(readRuledLine("┃名称│   5│  ┃", cells), RuledLine::Cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{"名称", "5", ""}));
    EXPECT_EQ(readRuledLine("┃┃", cells), RuledLine::Cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{""}));
    for (std::string_view other : {"a,b", "", "┃", "┃a"})
        EXPECT_EQ(readRuledLine(other, cells), RuledLine::Other) << other;
}
