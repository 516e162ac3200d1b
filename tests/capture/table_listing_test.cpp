#include "capture/table_listing.h"

#include <gtest/gtest.h>

#include <map>

#include "capture/capture_table.h"
#include "capture/document/static_document.h"

namespace tabvoro::capture {
namespace {

const std::string kBase = "http://x.test/";

std::unique_ptr<StaticDocument> page(const std::string &body, FrameLoader loader = {})
{
    return StaticDocument::parse("<!DOCTYPE html><html><body>" + body + "</body></html>", kBase, std::move(loader));
}

// A loader serving the given frame pages by absolute address; any other address fails.
FrameLoader frames(std::map<std::string, std::string> pages)
{
    return [pages = std::move(pages)](const std::string &url) -> Result<std::string> {
        const auto found = pages.find(url);
        if (found == pages.end())
            return failure("no frame page " + url);
        return found->second;
    };
}

std::string firstTableSignature(const std::string &body, bool startUp = false)
{
    const auto document = page(body);
    return tableSignature(*document->table(0).value(), startUp);
}

TEST(TableSignature, FirstRowCellsTrimmedWithACommaPerColumn)
{
    struct Case {
        const char *body;
        std::string expected;
    };
    const Case cases[] = {
        {"<table><tr><td colspan=3>A</td><td>B</td></tr><tr><td>x</td></tr></table>", "A,,,B,"},
        {"<table><tr><td> 姓名 </td><td>年龄</td><td></td><td>备注</td></tr></table>", "姓名,年龄,,备注,"},
        // Only the first row speaks for the table.
        {"<table><tr><td>h</td></tr><tr><td>a</td><td>b</td></tr></table>", "h,"},
        {"<table></table>", ""},
        // A span of 0 reads as 1, as a browser reads it.
        {"<table><tr><td colspan=0>A</td><td>B</td></tr></table>", "A,B,"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(firstTableSignature(c.body), c.expected) << c.body;
}

TEST(TableSignature, LineBreakInACellKeptUnlessForTheStartUpReport)
{
    const std::string body = "<table><tr><td>上<br>下</td><td>B</td></tr></table>";
    EXPECT_EQ(firstTableSignature(body), "上\r\n下,B,");
    EXPECT_EQ(firstTableSignature(body, true), "上下,B,");
}

std::string cells(std::size_t characters) { return "<tr><td>" + std::string(characters, 'x') + "</td></tr>"; }

TEST(ListPageTables, EntriesNumberedFromOneAndTheLargestChosen)
{
    const auto document = page("<table><tr><td>A</td><td>B</td></tr>" + cells(8) + "</table>"
                               "<table>" + cells(40) + "</table>"
                               "<table>" + cells(40) + "</table>");
    const TableListing listing = listPageTables(*document);
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.entries[0], (TableEntry{1, "A,B,"}));
    EXPECT_EQ(listing.entries[1], (TableEntry{2, std::string(40, 'x') + ","}));
    // The row shows the number, "--" and the signature.
    EXPECT_EQ(entryText(listing.entries[0]), "1--A,B,");
    EXPECT_EQ(entryText(listing.entries[1]), "2--" + std::string(40, 'x') + ",");
    // Equal lengths: the first of them.
    EXPECT_EQ(listing.chosen, 1);
}

TEST(ListPageTables, NestedTablesAreListedAndAPageWithoutTablesChoosesNothing)
{
    const auto nested = page("<table><tr><td>out<table><tr><td>in</td></tr></table></td></tr></table>");
    const TableListing listing = listPageTables(*nested);
    ASSERT_EQ(listing.entries.size(), 2u);
    // The inner table is a block of the cell's text.
    EXPECT_EQ(listing.entries[0], (TableEntry{1, "out\r\nin,"}));
    EXPECT_EQ(listing.entries[1], (TableEntry{2, "in,"}));
    EXPECT_EQ(listing.chosen, 0);

    const TableListing none = listPageTables(*page("<p>text</p>"));
    EXPECT_TRUE(none.entries.empty());
    EXPECT_EQ(none.chosen, -1);
}

TEST(ChooseTable, EntryGivesFieldsAndKeyword)
{
    struct Case {
        TableEntry entry;
        std::vector<std::string> fields;
        std::string keyword;
    };
    const Case cases[] = {
        {{12, "Name,Price,"}, {"Name", "Price"}, "Name"},
        // The number is skipped up to the first character beyond "9": digits of the first field too.
        {{5, "2014年,销量,"}, {"年", "销量"}, "年"},
        {{6, ",B,C,"}, {"B", "C"}, "B"},
        // More than three fields: the first three make the keyword.
        {{2, "姓名,年龄,城市,电话,"}, {"姓名", "年龄", "城市", "电话"}, "姓名年龄城市"},
        {{1, "姓名,年龄,城市,"}, {"姓名", "年龄", "城市"}, "姓名"},
        {{3, "A,,,B,"}, {"A", "", "", "B"}, "A"},
        {{4, "A,"}, {"A"}, "A"},
        // Nothing beyond "9": the row after the entry's number, rather than an empty keyword
        // that every table contains.
        {{2, "2014,2015,2016,2017,"}, {"2014", "2015", "2016", "2017"}, "201420152016"},
        {{7, "2014,2015,"}, {"2014", "2015"}, "2014"},
        {{9, "-1,-2.5,"}, {"-1", "-2.5"}, "-1"},
        // Where that gives no keyword, the whole entry, which matches no table.
        {{8, ""}, {}, "8--"},
        {{10, ",2015,"}, {"10--", "2015"}, "10--"},
    };
    for (const auto &c : cases) {
        const TableChoice choice = chooseTable(c.entry);
        EXPECT_EQ(choice.fields, c.fields) << entryText(c.entry);
        EXPECT_EQ(choice.keyword, c.keyword) << entryText(c.entry);
    }
}

TEST(TablePreview, TheLastTableHoldingTheKeyword)
{
    const auto document = page("<table><tr><td>价格</td></tr><tr><td>1</td></tr></table>"
                               "<table><tr><td>名称</td></tr></table>"
                               "<table><tr><td>价格</td></tr><tr><td>2</td></tr></table>");
    EXPECT_EQ(tablePreview(*document, "价格"), "价格\r\n2");
    EXPECT_EQ(tablePreview(*document, "名称"), "名称");
    EXPECT_EQ(tablePreview(*document, "重量"), std::nullopt);
}

TEST(CaptureTest, PageWithTextGivesItsTextAndTableCount)
{
    const CaptureTestResult plain = captureTest(*page("<p>正文</p>"), false, "");
    EXPECT_EQ(plain.text, "正文\r\n");
    EXPECT_FALSE(plain.nextPageWordFound);
    EXPECT_FALSE(plain.tickFrameBox);
    EXPECT_EQ(plain.frameText, std::nullopt);

    const CaptureTestResult tables =
        captureTest(*page("<table><tr><td>a</td></tr></table><table><tr><td>b</td></tr></table><a href=\"/2\">下一页</a>"),
                    false, "");
    EXPECT_EQ(tables.text, "a\r\nb\r\n下一页\r\n此页面含有 2 个表\r\n");
    EXPECT_TRUE(tables.nextPageWordFound);
}

const std::string kFrameset =
    "<!DOCTYPE html><html><frameset cols=\"30%,30%,40%\">"
    "<frame name=\"nav\" src=\"nav.html\"><frame name=\"main\" src=\"main.html\"><frame name=\"foot\" src=\"foot.html\">"
    "</frameset></html>";

TEST(CaptureTest, FramesetIsSurveyedFrameByFrame)
{
    const auto document = StaticDocument::parse(
        kFrameset, kBase,
        frames({{"http://x.test/nav.html", "<body>导航</body>"},
                {"http://x.test/main.html", "<body><table><tr><td>数据</td></tr></table><a href=\"/2\">下一页</a></body>"},
                {"http://x.test/foot.html", "<body>版权所有</body>"}}));
    const CaptureTestResult result = captureTest(*document, false, "");
    const std::string crlf = "\r\n";
    const std::string stars = std::string(50, '*') + crlf + crlf;
    EXPECT_EQ(result.text,
              crlf + "    当前网页是框架网页,各框架序号、名称、部分内容如下，请根据实际情况设置采集参数：" + crlf + crlf +
                  "0、nav" + crlf + "导航......" + crlf + crlf + "此框架没有内容没有表 " + crlf + stars +
                  "1、main" + crlf + "数据\r\n下一页......" + crlf + crlf + "此框架含有 1 个表" + crlf + stars +
                  "2、foot" + crlf + "版权所有......" + crlf + crlf + "此框架不含表 " + crlf + stars);
    EXPECT_EQ(result.frameText, "1");
    EXPECT_TRUE(result.tickFrameBox);
    EXPECT_TRUE(result.nextPageWordFound);
    EXPECT_EQ(countFrames(*document), 3u);

    // The listing that follows reads the frame the survey pointed at.
    const auto target = targetDocument(*document, true, *result.frameText);
    ASSERT_TRUE(target);
    EXPECT_EQ(listPageTables(**target).entries, (std::vector<TableEntry>{{1, "数据,"}}));
}

TEST(CaptureTest, FramesetWhoseFirstFrameFailsHasNoTable)
{
    const auto document =
        StaticDocument::parse(kFrameset, kBase, frames({{"http://x.test/main.html", "<body>内容</body>"}}));
    const CaptureTestResult result = captureTest(*document, false, "");
    EXPECT_EQ(result.text, "     当前页面没有表格!   ");
    EXPECT_FALSE(result.tickFrameBox);
    EXPECT_EQ(result.frameText, std::nullopt);
    EXPECT_EQ(countFrames(*document), 0u);
}

TEST(CaptureTest, TickedFrameBoxReadsThatFrame)
{
    const auto document = page("<p>外</p><iframe src=\"in.html\"></iframe>",
                               frames({{"http://x.test/in.html", "<body><table><tr><td>内</td></tr></table></body>"}}));
    EXPECT_EQ(captureTest(*document, true, "0").text, "内\r\n此页面含有 1 个表\r\n");
    EXPECT_EQ(captureTest(*document, false, "0").text, "外\r\n");
}

}  // namespace
}  // namespace tabvoro::capture
