#include "capture/text_rules.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace tabvoro::capture {
namespace {

TEST(TextRules, LeadingNumberReadsTheStartOfABox)
{
    const std::pair<const char *, double> cases[] = {
        {"1a", 1}, {"a1", 0}, {"", 0}, {"   12", 12}, {"2.5x", 2.5}, {"-3", -3}, {"+4", 4},
        {".5", 0.5}, {"7.", 7}, {"1,234", 1}, {"-", 0}, {".", 0}, {"0010", 10},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(text), expected) << '"' << text << '"';
}

TEST(TextRules, IndexFromNumberNeverOverflows)
{
    constexpr auto kPast = std::numeric_limits<std::size_t>::max();
    const std::pair<double, std::optional<std::size_t>> cases[] = {
        {0, 0}, {2.9, 2}, {-0.5, std::nullopt}, {-1, std::nullopt}, {1e23, kPast},
        {18446744073709551616.0, kPast}, {std::numeric_limits<double>::infinity(), kPast},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto &[number, index] : cases)
        EXPECT_EQ(indexFromNumber(number), index) << number;
}

TEST(TextRules, NumericTextAcceptsThousandsGroupsOnly)
{
    const char *numeric[] = {"1,234", "1,234.50", "12,345,678", "0", "  42  ", "-1,000", "+3.5",
                             ".5", "3.", "1.5E+3", "1234567"};
    const char *notNumeric[] = {"", " ", "12,34", "1,,234", ",123", "123,", "1,2345", "red, green",
                                "1.2.3", "12a", "E5", "1e", "--1", "1 234", "１２"};
    for (const char *text : numeric)
        EXPECT_TRUE(isNumericText(text)) << text;
    for (const char *text : notNumeric)
        EXPECT_FALSE(isNumericText(text)) << text;
}

TEST(TextRules, TrimRemovesOnlyBlanks)
{
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(trimSpaces("\ta\t"), "\ta\t");
    EXPECT_EQ(trimSpaces("   "), "");
    EXPECT_EQ(trimSpaces("\u3000x"), "\u3000x");
}

TEST(TextRules, LineBreakAndReplacementHelpers)
{
    EXPECT_EQ(removeCrLf("a\r\nb\rc\nd\r\n"), "ab\rc\nd");
    EXPECT_EQ(replaceAll("a,b,,c", ",", "，"), "a，b，，c");
    EXPECT_EQ(formatNumber(3), "3");
    EXPECT_EQ(formatNumber(-1), "-1");
    EXPECT_EQ(formatNumber(2.5), "2.5");
    EXPECT_EQ(utf8Length("名称ab"), 4u);
    EXPECT_EQ(utf8Prefix("名称ab", 1), "名");
    EXPECT_EQ(utf8Prefix("ab", 5), "ab");
}

}  // namespace
}  // namespace tabvoro::capture
