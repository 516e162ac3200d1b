#include "capture/ruled_text.h"

#include <gtest/gtest.h>

#include "capture/code_page.h"

using namespace tabvoro::capture;

TEST(RuledText, DrawsChineseTableInGb18030Widths)
{
    CodePageWidths widths("GB18030");
    EXPECT_EQ(MakeRuledText("名称,价格\r\n苹果,5\r\n", ",", widths),
              "┏━━┯━━┓\r\n"
              "┃名称│价格┃\r\n"
              "┠──┼──┨\r\n"
              "┃苹果│   5┃\r\n"
              "┗━━┷━━┛\r\n");
}

TEST(RuledText, WidthsFollowTheCodePage)
{
    CodePageWidths widths("UTF-8");
    EXPECT_EQ(MakeRuledText("名称,价格\r\n苹果,5\r\n", ",", widths),
              "┏━━━┯━━━┓\r\n"
              "┃名称│价格┃\r\n"
              "┠───┼───┨\r\n"
              "┃苹果│     5┃\r\n"
              "┗━━━┷━━━┛\r\n");
}

TEST(RuledText, OneColumnHasNoJoins)
{
    CodePageWidths widths("GB18030");
    EXPECT_EQ(MakeRuledText("a\r\nb\r\n", ",", widths),
              "┏━┓\r\n┃a ┃\r\n┠─┨\r\n┃b ┃\r\n┗━┛\r\n");
}

// The first line fixes the columns: a short row is padded with empty cells, a long row loses
// its extra fields, blanks around a row go, and an empty column is still drawn.
TEST(RuledText, RowsFitTheFirstLine)
{
    CodePageWidths widths("GB18030");
    EXPECT_EQ(MakeRuledText("a,,abc\r\n  c  \r\nd,e,f,g\r\n", ",", widths),
              "┏━┯━┯━━┓\r\n"
              "┃a │  │abc ┃\r\n"
              "┠─┼─┼──┨\r\n"
              "┃c │  │    ┃\r\n"
              "┠─┼─┼──┨\r\n"
              "┃d │e │f   ┃\r\n"
              "┗━┷━┷━━┛\r\n");
}

TEST(RuledText, LastLineIsARowUnlessBlank)
{
    CodePageWidths widths("GB18030");
    EXPECT_EQ(MakeRuledText("a\r\nb", ",", widths),
              "┏━┓\r\n┃a ┃\r\n┠─┨\r\n┃b ┃\r\n┗━┛\r\n");
    EXPECT_EQ(MakeRuledText("a\r\n   ", ",", widths), "┏━┓\r\n┃a ┃\r\n┗━┛\r\n");
}

TEST(RuledText, NumbersAlignRight)
{
    struct Case {
        std::string_view cell;
        bool right;
    };
    const Case cases[] = {
        {"1,234", true}, {"12.5%", true}, {"-3", true},  {"1.5E+3", true}, {"%", false},
        {"12,34", false}, {"abc", false}, {"1a", false}, {"", false},
    };
    CodePageWidths widths("GB18030");
    for (const auto &c : cases) {
        const std::string text = "12345678\r\n" + std::string(c.cell) + "\r\n";
        const std::string padding(8 - c.cell.size(), ' ');
        const std::string cell = c.right ? padding + std::string(c.cell) : std::string(c.cell) + padding;
        const std::string ruled = MakeRuledText(text, "\t", widths);
        EXPECT_NE(ruled.find("┃" + cell + "┃"), std::string::npos) << c.cell << "\n" << ruled;
    }
}

TEST(RuledText, UndrawableTextIsReturnedUnchanged)
{
    CodePageWidths widths("GB18030");
    for (std::string_view text : {"", "\r\n", "\r\na,b\r\n", "   "})
        EXPECT_EQ(MakeRuledText(text, ",", widths), text);
}
