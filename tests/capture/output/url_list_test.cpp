#include "capture/output/url_list.h"

#include <gtest/gtest.h>

#include "capture/output/code_page.h"

namespace tabvoro::capture {
namespace {

using Lines = std::vector<std::string>;

TEST(UrlListFile, LinesEndAtCrLfCrOrLfAndEmptyLinesAreSkipped)
{
    struct Case {
        std::string bytes;
        Lines expected;
    };
    const Case cases[] = {
        {"http://a/1\r\nhttp://a/2\r\n", {"http://a/1", "http://a/2"}},
        {"http://a/1\rhttp://a/2", {"http://a/1", "http://a/2"}},
        {"http://a/1\nhttp://a/2\n", {"http://a/1", "http://a/2"}},
        {"http://a/1\r\n\r\n\nhttp://a/2", {"http://a/1", "http://a/2"}},
        // Blanks are part of an address line: the line stays as it is.
        {"http://a/1\r\n   \r\n http://a/2 ", {"http://a/1", "   ", " http://a/2 "}},
        {"", {}},
        {"\r\n", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(readUrlListFile(c.bytes, "GB18030"), c.expected) << c.bytes;
}

TEST(UrlListFile, Utf8WithOrWithoutMarkElseTheCodePage)
{
    EXPECT_EQ(readUrlListFile("\xEF\xBB\xBFhttp://a/页1\r\nhttp://a/页2", "GB18030"),
              (Lines{"http://a/页1", "http://a/页2"}));
    EXPECT_EQ(readUrlListFile("http://a/页1", "GB18030"), Lines{"http://a/页1"});
    const std::string gb = encodeText("http://a/数据1\r\nhttp://a/数据2", "GB18030").value().bytes;
    ASSERT_FALSE(isValidUtf8(gb));
    EXPECT_EQ(readUrlListFile(gb, "GB18030"), (Lines{"http://a/数据1", "http://a/数据2"}));
}

TEST(FileLines, EmptyLinesKeptWhenAsked)
{
    EXPECT_EQ(splitFileLines("a\r\n\r\nb\n", true), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitFileLines("a\r\n\r\nb\n", false), (Lines{"a", "b"}));
}

}  // namespace
}  // namespace tabvoro::capture
