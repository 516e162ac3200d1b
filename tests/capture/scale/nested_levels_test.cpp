// Tables nested 50,000 deep, captured and listed whole. Work that grows with the square of the
// levels takes minutes here (it did: 67 s to capture, 130 s to list); work that grows with the
// levels takes a fraction of a second. The test has a ctest time-out of its own, far above the
// second: bench/hostile_pages_bench measures the growth itself.

#include <gtest/gtest.h>

#include <string>

#include "capture/capture_table.h"
#include "capture/document/static_document.h"
#include "capture/table_listing.h"

namespace tabvoro::capture {
namespace {

constexpr int kLevels = 50000;

std::unique_ptr<StaticDocument> nestedPage()
{
    std::string page = "<!DOCTYPE html><html><body>";
    for (int i = 0; i < kLevels; ++i)
        page += "<table><tr><td>";
    page += "x";
    for (int i = 0; i < kLevels; ++i)
        page += "</td></tr></table>";
    return StaticDocument::parse(page + "</body></html>", "http://h/");
}

TEST(NestedLevels, FiftyThousandLevelsAreCapturedWhole)
{
    const auto page = nestedPage();
    CaptureSettings settings;
    settings.includeHeader = true;
    CaptureSession session;
    const auto outcome = CaptureTable(*page, settings, session);
    ASSERT_TRUE(outcome.kept);
    EXPECT_EQ(session.recordCount, kLevels);
    std::string expected;
    for (int i = 0; i < kLevels; ++i)
        expected += "x\r\n";
    EXPECT_EQ(outcome.text, expected);
}

TEST(NestedLevels, FiftyThousandLevelsAreListed)
{
    const auto page = nestedPage();
    const auto test = captureTest(*page, false, "");
    EXPECT_NE(test.text.find("此页面含有 50000 个表"), std::string::npos);
    const auto listing = listPageTables(*page);
    ASSERT_EQ(listing.entries.size(), static_cast<std::size_t>(kLevels));
    EXPECT_EQ(entryText(listing.entries.back()), "50000--x,");
    EXPECT_EQ(listing.chosen, 0);
}

}  // namespace
}  // namespace tabvoro::capture
