#include "capture/document/web_encoding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "capture/document/html_charset.h"
#include "capture/output/code_page.h"

namespace tabvoro::capture::html {
namespace {

TEST(WebEncoding, LabelsNameEncodingsAsBrowsersMapThem)
{
    const std::pair<const char *, std::optional<std::string_view>> cases[] = {
        {"gb2312", "gbk"}, {"GB2312", "gbk"}, {"x-gbk", "gbk"}, {"csGB2312", "gbk"}, {"gb18030", "gb18030"},
        {"iso-8859-1", "windows-1252"}, {"ascii", "windows-1252"}, {"US-ASCII", "windows-1252"},
        {"latin1", "windows-1252"}, {"iso-8859-9", "windows-1254"}, {"tis-620", "windows-874"},
        {"big5-hkscs", "big5"}, {"Big5", "big5"}, {"ks_c_5601-1987", "euc-kr"}, {"x-sjis", "shift_jis"},
        {" \tutf8\r\n", "utf-8"}, {"hz-gb-2312", "replacement"}, {"utf-16", "utf-16le"},
        // What browsers do not know names nothing.
        {"", std::nullopt}, {"utf-7", std::nullopt}, {"x-mac-chinesesimp", std::nullopt},
        {"gbk;", std::nullopt}, {"latin-1", std::nullopt},
    };
    for (const auto &[label, encoding] : cases)
        EXPECT_EQ(encodingForLabel(label), encoding) << '"' << label << '"';
}

TEST(WebEncoding, Windows1252KeepsTheBytesWindowsLeavesUndefined)
{
    std::string bytes;
    for (int b = 0x80; b < 0xA0; ++b)
        bytes.push_back(static_cast<char>(b));
    const std::string text = decodeWebText(bytes + "\xE9\xFF", "windows-1252");
    EXPECT_EQ(text, "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ" "éÿ");
}

TEST(WebEncoding, Gb18030AsTheStandardReadsIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\xD6\xD0\xCE\xC4", "中文"},
        // The byte GBK pages use for the euro sign.
        {"\x80", "€"},
        {"\xA2\xE3", "€"},
        {"\xA8\xBC\xA6\xD9", "\u1E3F\uFE10"},
        // Six codes glibc maps outside the BMP stay in the private use area.
        {"\xFE\x51\xFE\x91", "\uE816\uE855"},
        // Four-byte codes: the BMP by ranges, the rest by arithmetic.
        {"\x81\x30\x81\x30", "\u0080"},
        {"\x81\x35\xF4\x37", "\uE7C7"},
        {"\x84\x31\xA4\x39", "\uFFFF"},
        {"\x82\x35\x90\x37", "\u9FB4"},
        {"\x90\x30\x81\x30", "\U00010000"},
        {"\xE3\x32\x9A\x35", "\U0010FFFF"},
    };
    for (const auto &[bytes, text] : cases) {
        EXPECT_EQ(decodeWebText(bytes, "gbk"), text);
        EXPECT_EQ(decodeWebText(bytes, "gb18030"), text);
    }
}

TEST(WebEncoding, Gb18030ErrorsAreOneReplacementEach)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\xFF" "a", "\uFFFD" "a"},
        // An ASCII byte after a lead byte is read again; any other bad trail goes with its lead.
        {"\x81\x7F" "a", "\uFFFD\x7F" "a"},
        {"\x81" "<", "\uFFFD<"},
        {"\x81\xFF" "a", "\uFFFD" "a"},
        {"\x81\x30" "a", "\uFFFD" "0a"},
        {"\x81\x30\x81" "a", "\uFFFD" "0\u4E64"},
        // A four-byte code no character has.
        {"\x84\x32\x81\x30" "a", "\uFFFD" "a"},
        {"\xE3\x32\x9A\x36", "\uFFFD"},
        // A sequence cut by the end of the text.
        {"a\x81", "a\uFFFD"},
        {"a\x81\x30\x81", "a\uFFFD"},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(decodeWebText(bytes, "gbk"), text);
}

TEST(WebEncoding, OtherEncodings)
{
    EXPECT_EQ(decodeWebText("a\x80\xFF", "x-user-defined"), "a\uF780\uF7FF");
    EXPECT_EQ(decodeWebText("<script>x</script>", "replacement"), "\uFFFD");
    EXPECT_EQ(decodeWebText("", "replacement"), "");
    EXPECT_EQ(decodeWebText("\xA4\xA4", "big5"), "中");
    EXPECT_EQ(decodeWebText("\xE9", "windows-1254"), "é");
    EXPECT_EQ(decodeWebText("a\xF4\x9F\x98\x80", "utf-8"), "a\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(WebEncoding, InvalidUtf8BecomesReplacementCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"\xF0\x9F\x98\x80", "\U0001F600"},
        // Past U+10FFFF: F4 takes no second byte beyond 8F.
        {"\xF4\x9F\x98\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x8F\xBF\xBF", "\U0010FFFF"},
        {"\xF5\x80", "\uFFFD\uFFFD"},
        // Overlong forms and surrogates.
        {"\xC0\xAF\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
        // A sequence broken off: one replacement, and the byte that broke it read again.
        {"\xE4\xB8" "a", "\uFFFD" "a"},
        {"\xF0\x9F\x98", "\uFFFD"},
        {"\xE4\xB8\xE4\xB8\xAD", "\uFFFD中"},
    };
    for (const auto &[bytes, text] : cases) {
        EXPECT_EQ(validUtf8(bytes), text);
        EXPECT_EQ(decodeText(bytes, "UTF-8").value(), text);
        EXPECT_EQ(decodeText(bytes, "utf8").value(), text);
    }
}

TEST(PageCharset, TheMetaTagDecidesAsInABrowser)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<meta charset=gb2312><p>\x80\xD6\xD0", "<meta charset=gb2312><p>€中"},
        {"<meta charset=iso-8859-1><p>\x81\x80\xE9", "<meta charset=iso-8859-1><p>\u0081€é"},
        {"<meta charset=\"ascii\"><p>\x9D", "<meta charset=\"ascii\"><p>\u009D"},
        // A label no browser knows is passed over; the next meta tag counts.
        {"<meta charset=x-bogus><meta charset=gbk><p>\xD6\xD0", "<meta charset=x-bogus><meta charset=gbk><p>中"},
        {"<meta charset=utf-16><p>\xE4\xB8\xAD\xFF", "<meta charset=utf-16><p>中\uFFFD"},
        {"<meta charset=x-user-defined><p>\x80", "<meta charset=x-user-defined><p>€"},
        // A byte-order mark outweighs the meta tag; bytes that are no UTF-8 after it are U+FFFD.
        {"\xEF\xBB\xBF<meta charset=gbk><p>\xD6\xD0\xE4\xB8\xAD", "<meta charset=gbk><p>\uFFFD\uFFFD中"},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(pageTextAsUtf8(bytes), text) << bytes;
    EXPECT_EQ(declaredCharset("<meta charset=utf-7><meta charset=Big5-HKSCS>"), "Big5-HKSCS");
    EXPECT_EQ(declaredCharset("<meta charset=utf-7>"), "");
}

}  // namespace
}  // namespace tabvoro::capture::html
