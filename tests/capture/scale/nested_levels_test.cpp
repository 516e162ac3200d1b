// Tables nested 50,000 deep (grids and record lists 5,000), and a list of 100,000 records,
// captured and listed whole. Work that grows with the
// square of the levels takes minutes here (it did: 67 s to capture, 130 s to list); work that
// grows with the levels takes a fraction of a second. The test has a ctest time-out of its own,
// far above the second: bench/hostile_pages_bench measures the growth itself.

#include <gtest/gtest.h>

#include <string>

#include "capture/capture_table.h"
#include "capture/document/static_document.h"
#include "capture/table_listing.h"

namespace tabvoro::capture {
namespace {

constexpr int kLevels = 50000;

const std::string kTable[] = {"<table><tr><td>", "</td></tr></table>"};
// A grid of roles, its row in a row group, its cell in an element without a role. Grids nest
// 5,000 deep only: the parser itself takes time that grows with the square of the depth of
// nested elements other than tables.
const std::string kGrid[] = {"<div role=grid><div role=rowgroup><div role=row><span><div role=gridcell>",
                             "</div></span></div></div></div>"};
constexpr int kGridLevels = 5000;
// A record list in the last record of a record list: each level a list of three records.
const std::string kRecords[] = {"<ul><li><b>a</b><i>b</i></li><li><b>c</b><i>d</i></li><li><b>x</b><i>y</i>",
                                "</li></ul>"};

int levelsOf(const std::string *level) { return level == kTable ? kLevels : kGridLevels; }

std::unique_ptr<StaticDocument> nestedPage(const std::string *level)
{
    std::string page = "<!DOCTYPE html><html><body>";
    for (int i = 0; i < levelsOf(level); ++i)
        page += level[0];
    page += "x";
    for (int i = 0; i < levelsOf(level); ++i)
        page += level[1];
    return StaticDocument::parse(page + "</body></html>", "http://h/");
}

TEST(NestedLevels, FiftyThousandLevelsAreCapturedWhole)
{
    for (const auto &level : {kTable, kGrid}) {
        SCOPED_TRACE(level[0]);
        const auto page = nestedPage(level);
        CaptureSettings settings;
        settings.includeHeader = true;
        CaptureSession session;
        const auto outcome = CaptureTable(*page, settings, session);
        ASSERT_TRUE(outcome.kept);
        EXPECT_EQ(session.recordCount, levelsOf(level));
        std::string expected;
        for (int i = 0; i < levelsOf(level); ++i)
            expected += "x\r\n";
        EXPECT_EQ(outcome.text, expected);
    }
}

TEST(NestedLevels, FiftyThousandLevelsAreListed)
{
    for (const auto &level : {kTable, kGrid}) {
        SCOPED_TRACE(level[0]);
        const auto page = nestedPage(level);
        const auto test = captureTest(*page, false, "");
        const std::string count = std::to_string(levelsOf(level));
        EXPECT_NE(test.text.find("此页面含有 " + count + " 个表"), std::string::npos);
        const auto listing = listPageTables(*page);
        ASSERT_EQ(listing.entries.size(), static_cast<std::size_t>(levelsOf(level)));
        EXPECT_EQ(entryText(listing.entries.back()), count + "--x,");
        EXPECT_EQ(listing.chosen, 0);
    }
}

TEST(NestedLevels, RecordListsInRecordsAreCapturedWhole)
{
    std::string html = "<!DOCTYPE html><html><body>";
    for (int i = 0; i < kGridLevels; ++i)
        html += kRecords[0];
    for (int i = 0; i < kGridLevels; ++i)
        html += kRecords[1];
    const auto page = StaticDocument::parse(html + "</body></html>", "http://h/");
    ASSERT_EQ(page->tableCount().value_or(0), static_cast<std::size_t>(kGridLevels));
    CaptureSettings settings;
    CaptureSession session;
    const auto outcome = CaptureTable(*page, settings, session);
    ASSERT_TRUE(outcome.kept);
    EXPECT_EQ(session.recordCount, 3 * kGridLevels);
    EXPECT_TRUE(outcome.text.starts_with("a,b\r\nc,d\r\nx,y\r\na,b\r\n"));
}

TEST(RecordListScale, HundredThousandRecordsAreCapturedWhole)
{
    constexpr int kRecordCount = 100000;
    std::string html = "<!DOCTYPE html><html><body><div class=results>";
    for (int i = 0; i < kRecordCount; ++i)
        html += "<div class=hit><h2><a href=/r/" + std::to_string(i) + ">Result " + std::to_string(i) +
                "</a></h2><p class=snippet>text " + std::to_string(i) + "</p></div>";
    const auto page = StaticDocument::parse(html + "</div></body></html>", "http://h/");
    CaptureSettings settings;
    settings.includeLinks = true;
    CaptureSession session;
    const auto outcome = CaptureTable(*page, settings, session);
    ASSERT_TRUE(outcome.kept);
    EXPECT_EQ(session.recordCount, kRecordCount);
    EXPECT_TRUE(outcome.text.starts_with("http://h/r/0,text 0\r\n"));
    EXPECT_TRUE(outcome.text.ends_with("http://h/r/99999,text 99999\r\n"));
    const auto listing = listPageTables(*page);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(entryText(listing.entries[0]), "1--Result 0,text 0,");
}

}  // namespace
}  // namespace tabvoro::capture
