// Tables nested 50,000 deep (grids 5,000), captured and listed whole. Work that grows with the
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

int levelsOf(const std::string *level) { return level == kGrid ? kGridLevels : kLevels; }

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

}  // namespace
}  // namespace tabvoro::capture
