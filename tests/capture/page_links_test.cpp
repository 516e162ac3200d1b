#include "capture/page_links.h"

#include <gtest/gtest.h>

#include "capture/document/snapshot_document.h"
#include "capture/document/static_document.h"

namespace tabvoro::capture {
namespace {

const std::string kSite = "http://x.test/";

// Links to list_1, list_2 (relative), list_12, another page, list_1 again and another site.
const std::string kLinks = "<html><body><a href=\"/list_1.htm\">1</a><a href=\"list_2.htm\">2</a>"
                           "<a href=\"/list_12.htm\">12</a><a href=\"/other.htm\">x</a>"
                           "<a href=\"/list_1.htm\">1 again</a><area href=\"http://b.test/list_3.htm\">"
                           "</body></html>";

TEST(PageLinks, LinksHoldingTheTextOrMatchingThePatternAreAddedOnce)
{
    struct Case {
        std::string pattern;
        std::vector<std::string> added;
    };
    const Case cases[] = {
        {"list_", {kSite + "list_1.htm", kSite + "list_2.htm", kSite + "list_12.htm", "http://b.test/list_3.htm"}},
        {kSite + "list_#.htm", {kSite + "list_1.htm", kSite + "list_2.htm"}},
        {kSite + "list_*.htm", {kSite + "list_1.htm", kSite + "list_2.htm", kSite + "list_12.htm"}},
        // A pattern matches the whole address; its text alone is found anywhere in it.
        {"list_#.htm", {}},
        {"/list_1.", {kSite + "list_1.htm"}},
        {"LIST_", {}},
    };
    const auto page = StaticDocument::parse(kLinks, kSite);
    for (const auto &c : cases) {
        const auto extraction = extractPageLinks(*page, c.pattern, {}, -1);
        ASSERT_TRUE(extraction);
        EXPECT_EQ(extraction->added, c.added) << c.pattern;
        // The current row goes to the row added last, and stays put when nothing matched.
        EXPECT_EQ(extraction->currentRow, c.added.empty() ? std::nullopt : std::optional<int>(int(c.added.size()) - 1))
            << c.pattern;
    }
}

TEST(PageLinks, AnAddressARowBeginsWithIsNotAddedAgain)
{
    const auto page = StaticDocument::parse(
        "<a href=\"/list_1.htm\">1</a><a href=\"/list_2.htm\">2</a><a href=\"/list_3.htm\">3</a>", kSite);
    struct Case {
        std::vector<std::string> listed;
        int newIndex;
        std::vector<std::string> added;
        std::optional<int> currentRow;
    };
    const Case cases[] = {
        // Letter case aside, and whatever follows in the row.
        {{"HTTP://X.TEST/LIST_2.HTM#top", "http://a.test/other"}, -1, {kSite + "list_1.htm", kSite + "list_3.htm"}, 3},
        // Every link listed: the current row is the one the list added last...
        {{kSite + "list_1.htm", kSite + "list_2.htm", kSite + "list_3.htm", "x"}, 2, {}, 2},
        // ...none since a removal.
        {{kSite + "list_1.htm", kSite + "list_2.htm", kSite + "list_3.htm"}, -1, {}, -1},
        // A row the link only begins with does not hold it.
        {{kSite + "list_"}, 0, {kSite + "list_1.htm", kSite + "list_2.htm", kSite + "list_3.htm"}, 3},
    };
    for (const auto &c : cases) {
        const auto extraction = extractPageLinks(*page, "list_", c.listed, c.newIndex);
        ASSERT_TRUE(extraction);
        EXPECT_EQ(extraction->added, c.added) << c.listed.front();
        EXPECT_EQ(extraction->currentRow, c.currentRow) << c.listed.front();
    }
}

TEST(PageLinks, APageWhoseLinksCannotBeReadGivesNothing)
{
    const SnapshotDocument unread;
    EXPECT_FALSE(extractPageLinks(unread, "x", {}, 4));
}

}  // namespace
}  // namespace tabvoro::capture
