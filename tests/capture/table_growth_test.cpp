#include "capture/table_growth.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capture_table.h"
#include "capture/document/snapshot_document.h"

namespace tabvoro::capture {
namespace {

// A row: cells separated by "|"; a cell "x^2" spans two rows, "x>2" two columns.
using Rows = std::vector<std::string>;

void addRows(SnapshotTable &table, const Rows &rows, std::size_t from, const std::string &pager)
{
    table.setRowNeedle(pager);
    for (std::size_t r = from; r < rows.size(); ++r) {
        table.addRow();
        std::size_t start = 0;
        for (std::size_t bar = 0; bar != std::string::npos; start = bar + 1) {
            bar = rows[r].find('|', start);
            std::string cell = rows[r].substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            int rowSpan = 1, colSpan = 1;
            if (const auto at = cell.find_first_of("^>"); at != std::string::npos) {
                (cell[at] == '^' ? rowSpan : colSpan) = std::stoi(cell.substr(at + 1));
                cell.resize(at);
            }
            table.addCell(cell, colSpan, rowSpan);
        }
        table.addRowNeedleAnswer(rows[r].find(pager) != std::string::npos);
    }
}

// The live document of one read: the tables as the page holds them, the first taken from row
// `from` on when the read goes on from there.
std::unique_ptr<SnapshotDocument> read(const std::vector<Rows> &tables, std::size_t from, const std::string &mark,
                                       const CaptureSettings &settings)
{
    auto doc = std::make_unique<SnapshotDocument>();
    doc->setBaseUrl("http://shop.example/list");
    doc->setIdentity("doc");
    doc->setReadMark(mark);
    doc->setTableCount(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) {
        SnapshotTable &table = doc->takeTable(t);
        const std::size_t skipped = t == 0 ? from : 0;
        table.setRowsBefore(skipped);
        table.setRowCount(tables[t].size() - skipped);
        addRows(table, tables[t], skipped, pagerRowText(settings));
    }
    return doc;
}

// Each read of a page growing in place, captured by a run that goes on from the rows read
// before wherever the page vouches for them, gives what reading the whole page each time gives.
TEST(TableGrowth, ReadGoingOnCapturesWhatTheWholeReadCaptures)
{
    struct Case {
        const char *name;
        std::vector<std::vector<Rows>> reads;  // the page's tables at each read
        bool wentOn;                           // some read went on from rows read before
        bool header = false;
        bool unique = false;
        KeywordMode mode = KeywordMode::FirstRowPrefix;
    };
    const Case cases[] = {
        {"rows added below", {{{"h", "1", "2"}}, {{"h", "1", "2", "3", "4"}}, {{"h", "1", "2", "3", "4", "5"}}}, true},
        {"the header once", {{{"h", "1"}}, {{"h", "1", "2"}}}, true, true},
        {"the pager row stays below", {{{"h", "1", "下一页"}}, {{"h", "1", "2", "下一页"}}, {{"h", "1", "2", "3"}}}, true},
        {"a pager row among the rows", {{{"h", "下一页", "1"}}, {{"h", "下一页", "1", "2"}}}, true},
        {"nothing new, then more", {{{"h", "1"}}, {{"h", "1"}}, {{"h", "1", "2"}}}, true},
        {"unique rows", {{{"h", "1", "2"}}, {{"h", "1", "2", "1", "3"}}}, true, false, true},
        {"a wider row is read again whole", {{{"h|x", "1|a"}}, {{"h|x", "1|a", "2|b|c"}}}, false},
        {"a wider pager row gone", {{{"h|x", "1|a", "下一页>3"}}, {{"h|x", "1|a", "2|b"}}}, false},
        {"a span down past the rows read", {{{"h|x", "1^3|a"}}, {{"h|x", "1^3|a", "b", "c"}}}, false},
        {"a second table matching now", {{{"h", "1"}}, {{"h", "1", "2"}, {"h", "9"}}}, false},
        {"a keyword anywhere in the text", {{{"h", "1"}}, {{"h", "1", "2"}}}, false, false, false, KeywordMode::CommonText},
        {"by position", {{{"h", "1"}}, {{"h", "1", "2"}}}, true, false, false, KeywordMode::Position},
    };
    for (const Case &c : cases) {
        CaptureSettings settings;
        settings.keyword = c.mode == KeywordMode::Position ? "1" : "h";
        settings.keywordMode = c.mode;
        settings.includeHeader = c.header;
        settings.uniqueRows = c.unique;
        CaptureSession goingOn, whole;
        bool wentOn = false;
        for (std::size_t k = 0; k < c.reads.size(); ++k) {
            const std::string mark = "read" + std::to_string(k);
            const auto from = continuationFor(goingOn, settings);
            auto outcome = CaptureTable(*read(c.reads[k], from ? from->rows : 0, mark, settings), settings, goingOn);
            if (outcome.readWhole)
                outcome = CaptureTable(*read(c.reads[k], 0, mark, settings), settings, goingOn);
            else
                wentOn = wentOn || from;
            const auto reference = CaptureTable(*read(c.reads[k], 0, "", settings), settings, whole);
            EXPECT_EQ(outcome.kept, reference.kept) << c.name << ", read " << k;
            EXPECT_EQ(outcome.text, reference.text) << c.name << ", read " << k;
            EXPECT_EQ(goingOn.recordTotal, whole.recordTotal) << c.name << ", read " << k;
        }
        EXPECT_EQ(wentOn, c.wentOn) << c.name;
    }
}

TEST(TableGrowth, NoContinuationForOtherSettingsOrAnotherRead)
{
    CaptureSettings settings;
    settings.keyword = "h";
    CaptureSession session;
    (void)CaptureTable(*read({{"h", "1", "2"}}, 0, "m1", settings), settings, session);
    ASSERT_TRUE(continuationFor(session, settings));
    EXPECT_EQ(continuationFor(session, settings)->rows, 3u);
    EXPECT_EQ(continuationFor(session, settings)->readMark, "m1");

    CaptureSettings links = settings;
    links.includeLinks = true;
    EXPECT_FALSE(continuationFor(session, links)) << "lines built otherwise";

    // A read that goes on from rows of another read, or of another document, is not used.
    auto stale = read({{"h", "1", "2", "3"}}, 3, "m1", settings);
    stale->setIdentity("other");
    EXPECT_TRUE(CaptureTable(*stale, settings, session).readWhole);
    EXPECT_FALSE(continuationFor(session, settings));
}

}  // namespace
}  // namespace tabvoro::capture
