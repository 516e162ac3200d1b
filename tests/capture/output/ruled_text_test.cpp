#include "capture/output/ruled_text.h"

#include <gtest/gtest.h>

#include "capture/output/code_page.h"

using namespace tabvoro::capture;

// The line of the most fields fixes the columns: shorter rows, the first one too, get empty
// cells at their end, so a wider table after a narrower one keeps its fields; blanks around a
// row go, an empty column is still drawn, and text after the last CR LF is a row unless blank.
TEST(RuledText, Draws)
{
    struct Case {
        const char *codePage;
        std::string_view text, ruled;
    };
    const Case cases[] = {
        {"GB18030", "名称,价格\r\n苹果,5\r\n",
         "┏━━┯━━┓\r\n┃名称│价格┃\r\n┠──┼──┨\r\n┃苹果│   5┃\r\n┗━━┷━━┛\r\n"},
        {"UTF-8", "名称,价格\r\n苹果,5\r\n",
         "┏━━┯━━┓\r\n┃名称│价格┃\r\n┠──┼──┨\r\n┃苹果│   5┃\r\n┗━━┷━━┛\r\n"},
        // A character of four bytes in GB18030 takes two columns as any other; GBK, which
        // writes it as "&#x2022;", lines up its reference.
        {"GB18030", "a•b,x\r\nabcd,y\r\n", "┏━━┯━┓\r\n┃a•b│x ┃\r\n┠──┼─┨\r\n┃abcd│y ┃\r\n┗━━┷━┛\r\n"},
        {"GBK", "a•b,x\r\nabcd,y\r\n",
         "┏━━━━━┯━┓\r\n┃a•b│x ┃\r\n┠─────┼─┨\r\n┃abcd      │y ┃\r\n┗━━━━━┷━┛\r\n"},
        {"GB18030", "a\r\nb\r\n", "┏━┓\r\n┃a ┃\r\n┠─┨\r\n┃b ┃\r\n┗━┛\r\n"},
        {"GB18030", "a\r\nb", "┏━┓\r\n┃a ┃\r\n┠─┨\r\n┃b ┃\r\n┗━┛\r\n"},
        {"GB18030", "a\r\n   ", "┏━┓\r\n┃a ┃\r\n┗━┛\r\n"},
        {"GB18030", "a,,abc\r\n  c  \r\nd,e,f,g\r\n",
         "┏━┯━┯━━┯━┓\r\n┃a │  │abc │  ┃\r\n┠─┼─┼──┼─┨\r\n┃c │  │    │  ┃\r\n"
         "┠─┼─┼──┼─┨\r\n┃d │e │f   │g ┃\r\n┗━┷━┷━━┷━┛\r\n"},
        {"GB18030", "", ""},
        {"GB18030", "\r\n", "\r\n"},
        {"GB18030", "\r\na,b\r\n", "\r\na,b\r\n"},
        {"GB18030", "   ", "   "},
    };
    for (const auto &c : cases) {
        CodePageWidths widths(c.codePage);
        EXPECT_EQ(MakeRuledText(c.text, ",", widths), c.ruled) << c.text;
    }
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
