#include "capture/output/file_lines.h"

#include <gtest/gtest.h>

#include "capture/output/code_page.h"

namespace tabvoro::capture {
namespace {

std::string gb(const std::string &utf8) { return encodeText(utf8, "GB18030").value().bytes; }

TEST(FileLines, PreviewLeavesOutACharacterCutAtTheEnd)
{
    struct Case {
        std::string bytes;
        bool more;
        std::string text;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF" "a\r\n中", false, "a\r\n中"},
        {gb("北京,1"), false, "北京,1"},
        {"ab" + std::string("中").substr(0, 2), true, "ab"},  // still read as UTF-8
        {gb("中") + gb("😀").substr(0, 2), true, "中"},      // four-byte character cut
        {gb("中"), true, "中"},  // D6 D0: whole, though its last byte could start a character
        {"ab" + gb("中").substr(0, 1), false, "ab\xEF\xBF\xBD"},  // the file really ends there
    };
    for (const auto &c : cases)
        EXPECT_EQ(previewText(c.bytes, c.more, "GB18030").value(), c.text) << c.text;
    // In a UTF-8 code page, a sequence past U+10FFFF is no character: one U+FFFD for each byte.
    EXPECT_EQ(previewText("a\xF4\x9F\x98\x80", false, "UTF-8").value(), "a\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(FileLines, RemovesTheLinesThatContainTheString)
{
    struct Case {
        std::string bytes, needle, kept;
    };
    const Case cases[] = {
        {"1 abc\r\n2\r\n3 ABC\r\nabc 4\r\n5\r\n", "abc", "2\r\n3 ABC\r\n5\r\n"},
        {"abc\r\nlast", "abc", "last\r\n"},                  // the last line gets its line end
        {"a\rb\nc\r\n\r\n", "b", "a\r\nc\r\n\r\n"},        // lone CR and LF end lines; empty lines stay
        {"a\nb", "", "a\r\nb\r\n"},                         // an empty string removes nothing
        {"\xEF\xBB\xBF" "abc\r\nd", "abc", "\xEF\xBB\xBF" "d\r\n"},
        {gb("北京,1\r\n上海,2\r\n广州"), "上海", gb("北京,1\r\n广州\r\n")},  // bytes kept in the code page
        {gb("丄\r\nA"), "A", gb("丄\r\n")},  // 丄 is 81 41: its trail byte is no letter A
    };
    for (const auto &c : cases)
        EXPECT_EQ(removeLinesContaining(c.bytes, c.needle, "GB18030").value().bytes, c.kept) << c.needle;
    EXPECT_FALSE(removeLinesContaining(gb("中"), "x", "NO-SUCH-PAGE"));
}

}  // namespace
}  // namespace tabvoro::capture
