#include "capture/code_page.h"

#include <cstdlib>

#include <gtest/gtest.h>

using namespace tabvoro::capture;

namespace {

std::string repeat(std::string_view piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

}  // namespace

TEST(CodePage, SystemCodePageFollowsEnvironment)
{
    const char *saved = std::getenv("TABVORO_CODEPAGE");
    const std::string previous = saved ? saved : "";

    unsetenv("TABVORO_CODEPAGE");
    EXPECT_EQ(systemCodePage(), "GB18030");
    setenv("TABVORO_CODEPAGE", "", 1);
    EXPECT_EQ(systemCodePage(), "GB18030");
    setenv("TABVORO_CODEPAGE", "UTF-8", 1);
    EXPECT_EQ(systemCodePage(), "UTF-8");

    if (saved)
        setenv("TABVORO_CODEPAGE", previous.c_str(), 1);
    else
        unsetenv("TABVORO_CODEPAGE");
}

TEST(CodePage, Gb18030HoldsEverythingAndRoundTrips)
{
    const std::string text = "中a😀\r\n";
    const auto encoded = encodeText(text, "GB18030");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->bytes, "\xD6\xD0" "a" "\x94\x39\xFC\x36" "\r\n");
    EXPECT_EQ(encoded->substituted, 0u);
    EXPECT_EQ(decodeText(encoded->bytes, "GB18030").value(), text);
}

TEST(CodePage, MissingCharactersBecomeReferences)
{
    const auto encoded = encodeText("a😀b中", "GBK");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->bytes, "a&#x1F600;b\xD6\xD0");
    EXPECT_EQ(encoded->substituted, 1u);

    const auto latin = encodeText("é\xC2\xA0" "€", "ISO-8859-1");
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->bytes, "\xE9\xA0&#x20AC;");
}

// The output buffer grows many times over a long text; substitutions must land in order at
// every point, not only within the first buffer.
TEST(CodePage, LongTextKeepsEverySubstitution)
{
    const std::size_t times = 200000;
    const auto encoded = encodeText(repeat("中a😀", times), "GBK");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->substituted, times);
    EXPECT_EQ(encoded->bytes, repeat("\xD6\xD0" "a&#x1F600;", times));
}

TEST(CodePage, UnknownCodePageIsAnError)
{
    const auto encoded = encodeText("a", "NO-SUCH-PAGE");
    ASSERT_FALSE(encoded);
    EXPECT_NE(encoded.error().message.find("NO-SUCH-PAGE"), std::string::npos);
    EXPECT_FALSE(decodeText("a", "NO-SUCH-PAGE"));
}

TEST(CodePage, BrokenInputBecomesReplacementCharacters)
{
    EXPECT_EQ(decodeText("\xD6\xD0\xFF" "a", "GBK").value(), "中\uFFFDa");
    EXPECT_EQ(decodeText("a\xD6", "GBK").value(), "a\uFFFD");
    // A broken UTF-8 byte on the way out: GB18030 has U+FFFD, GBK only the reference.
    EXPECT_EQ(encodeText("a\xFF" "b", "GB18030")->bytes, "a\x84\x31\xA4\x37" "b");
    EXPECT_EQ(encodeText("a\xFF" "b", "GBK")->bytes, "a&#xFFFD;b");
}

TEST(CodePage, ValidUtf8)
{
    struct Case {
        std::string_view bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain", true},
        {"\xEF\xBB\xBF中文😀", true},
        {"\xC0\xAF", false},          // overlong "/"
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE4\xB8", false},          // cut short
        {"\xD6\xD0", false},          // GBK "中"
    };
    for (const auto &c : cases)
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.bytes;
}

TEST(CodePage, FileTextIsUtf8OrCodePage)
{
    EXPECT_EQ(decodeFileText("\xEF\xBB\xBF中", "GBK").value(), "中");
    EXPECT_EQ(decodeFileText("中", "GBK").value(), "中");
    EXPECT_EQ(decodeFileText("\xD6\xD0", "GBK").value(), "中");
}

// Ruled text lines up only if a width is exactly what the encoded cell takes in the file.
TEST(CodePage, WidthMatchesEncodedSize)
{
    const std::string samples[] = {"", "abc", "中文", "😀", "a😀中", "\xC2\xA0", "한국어", "a\xFF"};
    for (const char *page : {"GB18030", "GBK", "UTF-8", "ISO-8859-1"}) {
        CodePageWidths widths(page);
        for (int pass = 0; pass < 2; ++pass)
            for (const auto &sample : samples)
                EXPECT_EQ(widths.width(sample), encodeText(sample, page)->bytes.size())
                    << page << " " << sample;
    }
}
