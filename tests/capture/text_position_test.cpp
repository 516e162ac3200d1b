#include "capture/text_position.h"

#include <gtest/gtest.h>

#include <climits>

namespace tabvoro::capture {
namespace {

TEST(TextPosition, CaretRowAndColumn)
{
    struct Case {
        std::u16string text;
        std::size_t position, row, column;
    };
    const Case cases[] = {
        {u"one\ntwo\nabcdefgh", 8 + 5, 3, 6},  // third line, after its fifth character
        {u"one\ntwo", 0, 1, 1},
        {u"one\ntwo", 4, 2, 1},           // right after a line break
        {u"中文ab", 2, 1, 3},             // a Chinese character counts once
        {u"x\n\U0001F600y", 4, 2, 2},     // so does one of two code units
        {u"abc", 99, 1, 4},               // past the end: the end
    };
    for (const auto &c : cases) {
        const RowColumn at = caretRowColumn(c.text, c.position);
        EXPECT_EQ(at.row, c.row) << c.position;
        EXPECT_EQ(at.column, c.column) << c.position;
    }
}

// One click on the find-next label: from where the caret or selection stands, with a caret at the
// very start moved after the first character first.
TEST(TextPosition, FindNextFromTheSelection)
{
    struct Case {
        std::u16string text, needle;
        TextSelection shown;
        std::optional<TextSelection> found;
    };
    const Case cases[] = {
        {u"abcabc", u"abc", {1, 0}, TextSelection{3, 3}},
        {u"abcabc", u"abc", {0, 0}, TextSelection{3, 3}},  // the first abc is passed over
        {u"abcabc", u"abc", {3, 3}, std::nullopt},          // no wrap to the start
        {u"aa", u"a", {0, 0}, TextSelection{1, 1}},         // found right at the start position
        {u"aa", u"a", {1, 1}, std::nullopt},
        {u"abcABC", u"ABC", {0, 2}, TextSelection{3, 3}},   // a selection from the start is dropped
        {u"abc", u"ABC", {1, 0}, std::nullopt},
        {u"\U0001F600a", u"a", {0, 0}, TextSelection{2, 1}},  // never between a pair's halves
        {u"", u"a", {0, 0}, std::nullopt},
        {u"abc", u"", {0, 0}, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(findNext(c.text, c.needle, searchOrigin(c.text, c.shown)), c.found) << c.shown.start;
}

TEST(TextPosition, TimerIntervalSteps)
{
    struct Case {
        int interval, shorter, longer;
    };
    const Case cases[] = {
        {2000, 1900, 2100},
        {100, 100, 200},
        {150, 50, 250},
        {INT_MAX - 99, INT_MAX - 199, INT_MAX - 99},  // the timer could hold no more
    };
    for (const auto &c : cases) {
        EXPECT_EQ(shorterTimerInterval(c.interval), c.shorter) << c.interval;
        EXPECT_EQ(longerTimerInterval(c.interval), c.longer) << c.interval;
    }
}

}  // namespace
}  // namespace tabvoro::capture
