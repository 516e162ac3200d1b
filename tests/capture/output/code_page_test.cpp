#include "capture/output/code_page.h"

#include <string>

#include <gtest/gtest.h>

using namespace tabvoro::capture;

TEST(CodePage, EncodesWithReferencesForMissingCharacters)
{
    const std::string text = "中a😀\r\n";
    const auto full = encodeText(text, "GB18030");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->bytes, "\xD6\xD0" "a" "\x94\x39\xFC\x36" "\r\n");
    EXPECT_EQ(full->substituted, 0u);
    EXPECT_EQ(decodeText(full->bytes, "GB18030").value(), text);

    const auto gbk = encodeText(text, "GBK");
    ASSERT_TRUE(gbk);
    EXPECT_EQ(gbk->bytes, "\xD6\xD0" "a&#x1F600;\r\n");
    EXPECT_EQ(gbk->substituted, 1u);
}

// The output buffer grows many times over a long text; substitutions must land in order at
// every point, not only within the first buffer.
TEST(CodePage, LongTextKeepsEverySubstitution)
{
    std::string text, expected;
    for (int i = 0; i < 200000; ++i) {
        text += "中a😀";
        expected += "\xD6\xD0" "a&#x1F600;";
    }
    const auto encoded = encodeText(text, "GBK");
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->substituted, 200000u);
    EXPECT_EQ(encoded->bytes, expected);
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

TEST(CodePage, FileTextIsUtf8OrCodePage)
{
    for (std::string_view valid : {"", "plain", "\xEF\xBB\xBF中文😀"})
        EXPECT_TRUE(isValidUtf8(valid)) << valid;
    // Overlong "/", a surrogate, past U+10FFFF, cut short, GBK "中".
    for (std::string_view invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\xD6\xD0"})
        EXPECT_FALSE(isValidUtf8(invalid)) << invalid;

    EXPECT_EQ(decodeFileText("\xEF\xBB\xBF中", "GBK").value(), "中");
    EXPECT_EQ(decodeFileText("中", "GBK").value(), "中");
    EXPECT_EQ(decodeFileText("\xD6\xD0", "GBK").value(), "中");
}

// Columns as a double-byte code page shows them: ASCII one, any other character two, a
// character the code page lacks its reference. For GBK that is exactly its bytes in the file.
TEST(CodePage, WidthCountsColumns)
{
    const std::string samples[] = {"", "abc", "中文", "😀", "a😀中", "\xC2\xA0", "한국어", "a\xFF", "a•b", "€"};
    for (int pass = 0; pass < 2; ++pass) {
        CodePageWidths gbk("GBK");
        for (const auto &sample : samples)
            EXPECT_EQ(gbk.width(sample), encodeText(sample, "GBK")->bytes.size()) << sample;
    }
    struct Case {
        const char *codePage;
        std::string_view text;
        std::size_t width;
    };
    const Case cases[] = {
        {"GB18030", "a•b", 4}, {"GB18030", "😀", 2}, {"GB18030", "한국어", 6}, {"GB18030", "\xC2\xA0", 2},
        {"UTF-8", "中文", 4},  {"UTF-8", "a😀中", 5}, {"UTF-8-BOM", "a•b", 4},  {"ISO-8859-1", "\xC2\xA0", 1},
        {"ISO-8859-1", "中", 8},  // &#x4E2D;
    };
    for (const auto &c : cases) {
        CodePageWidths widths(c.codePage);
        EXPECT_EQ(widths.width(c.text), c.width) << c.codePage << " " << c.text;
    }
}

// UTF-8-BOM writes and reads as UTF-8; only a new file gets the mark (see SaveCapture).
TEST(CodePage, Utf8BomIsUtf8WithAMark)
{
    EXPECT_EQ(encodeText("中😀", "UTF-8-BOM")->bytes, "中😀");
    EXPECT_EQ(decodeText("a\xFF", "utf-8-bom").value(), "a\uFFFD");
    for (const char *page : {"UTF-8-BOM", "utf8bom", "Utf_8_Bom"})
        EXPECT_TRUE(writesByteOrderMark(page)) << page;
    for (const char *page : {"UTF-8", "GB18030", ""})
        EXPECT_FALSE(writesByteOrderMark(page)) << page;
}
