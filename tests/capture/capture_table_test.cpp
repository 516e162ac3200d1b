#include "capture/capture_table.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

#include "capture/document/static_document.h"

namespace tabvoro::capture {
namespace {

const std::string kBase = "http://www.shop.example/list/page.htm";

std::unique_ptr<StaticDocument> page(const std::string &body)
{
    return StaticDocument::parse("<!DOCTYPE html><html><body>" + body + "</body></html>", kBase);
}

// Captures `body` with a fresh session, the header row included unless the test says not.
std::string capture(const std::string &body, CaptureSettings settings = {})
{
    CaptureSession session;
    return CaptureTable(*page(body), settings, session).text;
}

CaptureSettings withHeader()
{
    CaptureSettings settings;
    settings.includeHeader = true;
    return settings;
}

TEST(CaptureTableKeyword, EachModeSelectsItsTables)
{
    const std::string body =
        "<table><tr><td>Name</td><td>Price</td></tr><tr><td>a</td><td>1</td></tr></table>"
        "<table><tr><td>City</td></tr><tr><td>b <table><tr><td>inner Price</td></tr></table></td></tr></table>"
        "<table><tr><td>Zone</td></tr></table>";
    struct Case {
        KeywordMode mode;
        std::string keyword;
        std::string expected;
    };
    const Case cases[] = {
        {KeywordMode::FirstRowPrefix, "NamePr", "Name,Price\r\na,1\r\n"},
        {KeywordMode::FirstRowPrefix, "name", ""},
        // Later tables are walked as wide as the widest before them.
        {KeywordMode::FirstRowPrefix, "", "Name,Price\r\na,1\r\nCity,\r\nbinner Price,\r\ninner Price,\r\nZone,\r\n"},
        // The keyword in a nested table matches the outer table and the inner one.
        {KeywordMode::CommonText, "Price", "Name,Price\r\na,1\r\nCity,\r\nbinner Price,\r\ninner Price,\r\n"},
        // Nested tables are counted among the positions.
        {KeywordMode::Position, "3", "inner Price\r\n"},
        {KeywordMode::Position, " 4th", "Zone\r\n"},
        {KeywordMode::Position, "", ""},
        {KeywordMode::Position, "2.5", ""},
    };
    for (const auto &c : cases) {
        CaptureSettings settings = withHeader();
        settings.keywordMode = c.mode;
        settings.keyword = c.keyword;
        EXPECT_EQ(capture(body, settings), c.expected) << "mode " << int(c.mode) << " keyword " << c.keyword;
    }
    CaptureSettings unknownMode = withHeader();
    unknownMode.keywordMode = std::nullopt;
    EXPECT_EQ(capture(body, unknownMode), "");
}

// A page that captured before grids were tables captures the same: a keyword looks at the
// grids only when no <table> matches it. Positions number the grids after every <table>.
TEST(CaptureTableKeyword, GridsCountOnlyWhereNoTableMatches)
{
    const std::string grid =
        "<div role=grid><div role=row><div role=columnheader>Name</div><div role=columnheader>Price</div></div>"
        "<div role=rowgroup><div role=row><div role=gridcell aria-colspan=2>wide</div><div role=gridcell>9</div>"
        "</div></div></div>";
    const std::string table = "<table><tr><td>Name</td><td>Price</td></tr><tr><td>t</td><td>1</td></tr></table>";
    const std::string both = grid + table;
    struct Case {
        const std::string &body;
        KeywordMode mode;
        std::string keyword;
        std::string expected;
    };
    const Case cases[] = {
        {both, KeywordMode::FirstRowPrefix, "NamePr", "Name,Price\r\nt,1\r\n"},
        {both, KeywordMode::CommonText, "Price", "Name,Price\r\nt,1\r\n"},
        {both, KeywordMode::CommonText, "wide", "Name,Price,\r\nwide,,9\r\n"},
        {grid, KeywordMode::FirstRowPrefix, "NamePr", "Name,Price,\r\nwide,,9\r\n"},
        {both, KeywordMode::Position, "1", "Name,Price\r\nt,1\r\n"},
        {both, KeywordMode::Position, "2", "Name,Price,\r\nwide,,9\r\n"},
    };
    for (const auto &c : cases) {
        CaptureSettings settings = withHeader();
        settings.keywordMode = c.mode;
        settings.keyword = c.keyword;
        EXPECT_EQ(capture(c.body, settings), c.expected) << "mode " << int(c.mode) << " keyword " << c.keyword
                                                         << (&c.body == &grid ? " (grid only)" : "");
    }
}

// A record list has no header row: its first record is captured, header row ticked or not,
// and a piece it lacks stays empty instead of taking the field's name. Keywords look at record
// lists with the grids, only where no <table> matches.
TEST(CaptureTableRecords, FirstRecordIsDataAndListsCountWithTheGrids)
{
    const std::string list =
        "<ul><li><a href=\"/p/1\">One</a><b>1.50</b></li>"
        "<li><a href=\"/p/2\">Two</a><b>2.50</b><i>Shop B</i></li>"
        "<li><a href=\"p/3\">Three</a><b>3.50</b><i>Shop C</i></li></ul>";
    const std::string table = "<table><tr><td>One</td><td>x</td></tr><tr><td>t</td><td>1</td></tr></table>";
    const std::string both = list + table;
    const std::vector<Field> named = {{"title"}, {"price"}, {"shop"}};
    struct Case {
        const std::string &body;
        bool header;
        bool links;
        std::vector<Field> fields;
        std::optional<KeywordMode> mode;
        std::string keyword;
        std::string expected;
    };
    const std::string records = "One,1.50,\r\nTwo,2.50,Shop B\r\nThree,3.50,Shop C\r\n";
    const Case cases[] = {
        {list, true, false, {}, KeywordMode::FirstRowPrefix, "", records},
        {list, false, false, {}, KeywordMode::FirstRowPrefix, "", records},
        {list, true, false, named, KeywordMode::FirstRowPrefix, "One", records},
        {list, false, true, {}, KeywordMode::FirstRowPrefix, "",
         "http://www.shop.example/p/1,1.50,\r\nhttp://www.shop.example/p/2,2.50,Shop B\r\n"
         "http://www.shop.example/list/p/3,3.50,Shop C\r\n"},
        {both, true, false, {}, KeywordMode::FirstRowPrefix, "One", "One,x\r\nt,1\r\n"},
        {both, true, false, {}, KeywordMode::CommonText, "Shop", records},
        {both, false, false, {}, KeywordMode::Position, "1", "t,1\r\n"},
        {both, false, false, {}, KeywordMode::Position, "2", records},
    };
    for (const auto &c : cases) {
        CaptureSettings settings;
        settings.includeHeader = c.header;
        settings.includeLinks = c.links;
        settings.fields = c.fields;
        settings.keywordMode = c.mode;
        settings.keyword = c.keyword;
        EXPECT_EQ(capture(c.body, settings), c.expected)
            << "header " << c.header << " links " << c.links << " keyword " << c.keyword
            << (&c.body == &list ? " (list only)" : "");
    }
}

TEST(CaptureTableKeyword, LabelCyclesThroughTheThreeModes)
{
    EXPECT_EQ(nextKeywordMode(KeywordMode::FirstRowPrefix), KeywordMode::CommonText);
    EXPECT_EQ(nextKeywordMode(KeywordMode::CommonText), KeywordMode::Position);
    EXPECT_EQ(nextKeywordMode(KeywordMode::Position), KeywordMode::FirstRowPrefix);
}

TEST(CaptureTableSpans, MergedCellsKeepTheColumnsAligned)
{
    const std::map<std::string, std::string> cases = {
        // A header spanning two columns over rows of three cells.
        {"<tr><td colspan=2>A</td><td>B</td></tr><tr><td>1</td><td>2</td><td>3</td></tr>",
         "A,,B\r\n1,2,3\r\n"},
        // A cell spanning two rows leaves an empty field in the row below.
        {"<tr><td>h1</td><td>h2</td></tr><tr><td rowspan=2>X</td><td>1</td></tr><tr><td>2</td></tr>",
         "h1,h2\r\nX,1\r\n,2\r\n"},
        // A block spanning two rows and two columns.
        {"<tr><td rowspan=2 colspan=2>B</td><td>c</td></tr><tr><td>d</td></tr><tr><td>e</td><td>f</td><td>g</td></tr>",
         "B,,c\r\n,,d\r\ne,f,g\r\n"},
        // A short row gets one empty field per missing position.
        {"<tr><td>a</td><td>b</td><td>c</td></tr><tr><td>d</td></tr>", "a,b,c\r\nd,,\r\n"},
        // The row pushed right by a row span from above keeps its last cell.
        {"<tr><td rowspan=2>A</td><td>B</td></tr><tr><td>C</td><td>D</td></tr>", "A,B,\r\n,C,D\r\n"},
        // A row span past the last row is harmless.
        {"<tr><td rowspan=9>A</td><td>B</td></tr><tr><td>C</td></tr>", "A,B\r\n,C\r\n"},
        // A short row still gives the field of a position covered further right.
        {"<tr><td>a</td><td>b</td><td rowspan=2>c</td><td>d</td></tr><tr><td>e</td></tr>", "a,b,c,d\r\ne,,,\r\n"},
        // Row spans of different lengths side by side end each in its own row.
        {"<tr><td rowspan=3>A</td><td rowspan=2>B</td><td>C</td></tr><tr><td>D</td></tr><tr><td>E</td><td>F</td></tr>",
         "A,B,C\r\n,,D\r\n,E,F\r\n"},
    };
    for (const auto &[rows, expected] : cases)
        EXPECT_EQ(capture("<table>" + rows + "</table>", withHeader()), expected) << rows;
}

TEST(CaptureTableSpans, WidthCarriesOverToLaterTablesOfOneCapture)
{
    const std::string body = "<table><tr><td>a</td><td>b</td><td>c</td></tr></table>"
                             "<table><tr><td>x</td></tr></table>";
    EXPECT_EQ(capture(body, withHeader()), "a,b,c\r\nx,,\r\n");
}

// A few kilobytes of column spans can ask for gigabytes of empty fields. A capture past the
// limit is refused whole, at once, and leaves the repeat check and the tally as they were.
TEST(CaptureTableSize, CaptureThatWouldPassTheLimitIsRefusedWhole)
{
    std::string wide = "<table><tr>";
    for (int i = 0; i < 1000; ++i)
        wide += "<td colspan=1000>h</td>";
    wide += "</tr>";
    for (int i = 0; i < 2000; ++i)
        wide += "<tr><td>x</td></tr>";
    wide += "</table>";
    const std::string tall = "<table><tr><td>0123456789</td></tr><tr><td>0123456789</td></tr>"
                             "<tr><td>0123456789</td></tr></table>";
    struct Case {
        const char *what;
        const std::string &body;
        std::size_t limit;
        bool kept;
    };
    const Case cases[] = {
        {"a million columns of 2,000 rows", wide, kMaxCaptureBytes, false},
        {"rows of long cells", tall, 35, false},
        {"exactly at the limit", tall, 36, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CaptureSession session;
        session.lastCapture = "previous";
        session.captureCount = 3;
        const auto outcome = CaptureTable(*page(c.body), withHeader(), session, c.limit);
        EXPECT_EQ(outcome.kept, c.kept);
        if (c.kept) {
            EXPECT_EQ(outcome.text.size(), c.limit);
            continue;
        }
        EXPECT_EQ(outcome.error, tooLargeMessage(c.limit));
        EXPECT_EQ(session.statusText, outcome.error);
        EXPECT_TRUE(outcome.text.empty());
        EXPECT_EQ(session.lastCapture, "previous");
        EXPECT_EQ(session.captureCount, 3);
    }
}

TEST(CaptureTableHeader, FirstRowLeftOutUnlessAsked)
{
    const std::string table = "<table><tr><td rowspan=2>H</td><td>h</td></tr>"
                              "<tr><td>1</td><td>2</td></tr></table>";
    // Without the header row its row span is never recorded: the next row starts at position 0.
    EXPECT_EQ(capture(table), "1,2\r\n");
    EXPECT_EQ(capture(table, withHeader()), "H,h,\r\n,1,2\r\n");
}

TEST(CaptureTableFields, OnlySelectedPositionsAreKept)
{
    const std::string table = "<table><tr><td>a</td><td>b</td><td>c</td></tr>"
                              "<tr><td>d</td><td rowspan=2>e</td><td>f</td></tr>"
                              "<tr><td>g</td><td>h</td></tr></table>";
    CaptureSettings settings = withHeader();
    settings.fields = {{"A", true}, {"B", false}, {"C", true}};
    // A position covered from above still gives its empty field.
    EXPECT_EQ(capture(table, settings), "a,c\r\nd,f\r\ng,,h\r\n");

    // With none selected only the position covered from above gives its (empty) field.
    settings.fields = {{"A", false}, {"B", false}, {"C", false}};
    EXPECT_EQ(capture(table, settings), "\r\n");
    EXPECT_EQ(capture("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>", settings), "");

    // Positions past the end of the field list give empty fields.
    settings.fields = {{"A", true}};
    EXPECT_EQ(capture(table, settings), "a,,\r\nd,,\r\ng,,\r\n");
}

TEST(CaptureTableFields, BlankHeaderCellTakesTheFieldName)
{
    const std::string table = "<table><tr><td></td><td> </td><td>c</td></tr>"
                              "<tr><td></td><td>2</td><td>3</td></tr></table>";
    CaptureSettings settings = withHeader();
    settings.fields = {{"名称", true}, {" ", true}, {"价格", true}};
    EXPECT_EQ(capture(table, settings), "名称,,c\r\n,2,3\r\n");
    // Without the header row no row 0 is walked, so no name is taken.
    settings.includeHeader = false;
    EXPECT_EQ(capture(table, settings), ",2,3\r\n");
}

TEST(CaptureTableFields, DeselectedSpanPositionsGiveNoField)
{
    const std::string table = "<table><tr><td colspan=3>A</td><td>B</td></tr>"
                              "<tr><td>1</td><td>2</td><td>3</td><td>4</td></tr></table>";
    CaptureSettings settings = withHeader();
    settings.fields = {{"A", true}, {"", false}, {"", true}, {"B", true}};
    EXPECT_EQ(capture(table, settings), "A,,B\r\n1,3,4\r\n");
}

TEST(CaptureTableValues, TextModeCleansEveryCell)
{
    const std::map<std::string, std::string> cases = {
        {"1,234", "1234"},
        {"12,345.50", "12345.50"},
        {"red, green", "red， green"},
        {"12,34", "12，34"},
        {"  padded  ", "padded"},
        {"line<br>break", "linebreak"},
        {"<a href=\"http://x.example/\">shown text</a>", "shown text"},
    };
    for (const auto &[cell, expected] : cases)
        EXPECT_EQ(capture("<table><tr><td>" + cell + "</td></tr></table>", withHeader()), expected + "\r\n")
            << cell;
}

TEST(CaptureTableValues, LinkModeGivesTheFirstLinksAddress)
{
    const std::map<std::string, std::string> cases = {
        {"<a href=\"http://x.example/a?b=1&amp;c=2\">text</a>", "http://x.example/a?b=1&c=2"},
        {"<a href=\"https://x.example/a,b\">text</a>", "https://x.example/a,b"},
        {"<a href=\"detail.htm?id=7\">text</a>", "http://www.shop.example/list/detail.htm?id=7"},
        {"<a href=\"/top\">one</a><a href=\"http://second.example/\">two</a>", "http://www.shop.example/top"},
        // No link: the text, with every comma made full-width, numbers included.
        {"1,234", "1，234"},
        {"plain, text", "plain， text"},
    };
    for (const auto &[cell, expected] : cases) {
        CaptureSettings settings;
        settings.includeLinks = true;
        EXPECT_EQ(capture("<table><tr><td>h</td></tr><tr><td>" + cell + "</td></tr></table>", settings),
                  expected + "\r\n")
            << cell;
    }
}

TEST(CaptureTablePager, PagerRowsAreLeftOut)
{
    const std::string table = "<table><tr><td>h</td></tr><tr><td>1</td></tr>"
                              "<tr><td><a href=\"p2\">下一页</a></td></tr>"
                              "<tr><td><a href=\"p2\">Next</a></td></tr></table>";
    EXPECT_EQ(capture(table), "1\r\nNext\r\n");
    CaptureSettings settings;
    settings.nextPageText = "Next";
    EXPECT_EQ(capture(table, settings), "1\r\n下一页\r\n");
}

// What a run writes of a page it captured before: a table grown in place gives only its new
// rows; with unique rows, no row already written in the run, within one page or across pages.
TEST(CaptureTableKeptRows, GrowthInPlaceAndUniqueRows)
{
    struct Capture {
        std::string rows;      // one row of one cell per character
        std::string identity;  // the document's mark ("" unknown)
        std::string written;   // the text written, each character a row
    };
    struct Case {
        const char *name;
        bool header;
        bool unique;
        std::vector<Capture> captures;
    };
    const Case cases[] = {
        {"grown in place: only the new rows", false, false, {{"h12", "A", "12"}, {"h1234", "A", "34"}, {"h123456", "A", "56"}}},
        {"grown in place: the header once", true, false, {{"h12", "A", "h12"}, {"h1234", "A", "34"}}},
        {"a new document is captured whole", false, false, {{"h12", "A", "12"}, {"h1234", "B", "1234"}}},
        {"an unknown document is captured whole", false, false, {{"h12", "", "12"}, {"h1234", "", "1234"}}},
        {"rows replaced in place are captured whole", false, false, {{"h12", "A", "12"}, {"h34", "A", "34"}}},
        {"rows taken from the top are no growth", false, false, {{"h12", "A", "12"}, {"h23", "A", "23"}}},
        {"unique rows across overlapping pages", false, true, {{"h123", "A", "123"}, {"h345", "B", "45"}}},
        {"unique rows within one page", false, true, {{"h1212", "A", "12"}}},
        {"unique rows: the header once", true, true, {{"h12", "A", "h12"}, {"h34", "B", "34"}}},
        {"unique rows: nothing new writes nothing", false, true, {{"h12", "A", "12"}, {"h21", "B", ""}}},
        {"growth and unique rows together", false, true, {{"h12", "A", "12"}, {"h121", "A", ""}, {"h1213", "A", "3"}}},
    };
    const auto table = [](const std::string &rows) {
        std::string html = "<table>";
        for (const char c : rows)
            html += std::string("<tr><td>") + c + "</td></tr>";
        return html + "</table>";
    };
    const auto lines = [](const std::string &rows) {
        std::string text;
        for (const char c : rows)
            text += std::string(1, c) + "\r\n";
        return text;
    };
    for (const Case &c : cases) {
        CaptureSession session;
        CaptureSettings settings;
        settings.includeHeader = c.header;
        settings.uniqueRows = c.unique;
        std::int64_t total = 0;
        for (const Capture &capture : c.captures) {
            auto doc = page(table(capture.rows));
            doc->setIdentity(capture.identity);
            const auto outcome = CaptureTable(*doc, settings, session);
            EXPECT_TRUE(outcome.kept) << c.name;
            EXPECT_EQ(outcome.text, lines(capture.written)) << c.name;
            total += static_cast<std::int64_t>(capture.written.size());
            EXPECT_EQ(session.recordTotal, total) << c.name << ": the tally counts the rows written";
        }
    }
}

TEST(CaptureTableTally, RepeatsAreDroppedAndKeptCapturesCounted)
{
    CaptureSession session;
    CaptureSettings settings;
    auto first = page("<table><tr><td>h</td></tr><tr><td>1</td></tr><tr><td>2</td></tr></table>");
    auto outcome = CaptureTable(*first, settings, session);
    EXPECT_TRUE(outcome.kept);
    EXPECT_EQ(outcome.status, "本次已采集表格数:1个,记录:2条");
    EXPECT_EQ(session.recordCount, 2);

    outcome = CaptureTable(*first, settings, session);
    EXPECT_FALSE(outcome.kept);
    EXPECT_EQ(session.recordCount, 0);
    EXPECT_EQ(session.captureCount, 1);

    // A page without the table after a kept capture is not a repeat: it is counted.
    auto empty = page("<p>nothing</p>");
    outcome = CaptureTable(*empty, settings, session);
    EXPECT_TRUE(outcome.kept);
    EXPECT_EQ(outcome.text, "");
    EXPECT_EQ(outcome.status, "本次已采集表格数:2个,记录:2条");
    EXPECT_EQ(session.statusText, outcome.status);

    // An empty capture on a fresh session repeats the empty last capture.
    CaptureSession fresh;
    EXPECT_FALSE(CaptureTable(*empty, settings, fresh).kept);
}

TEST(CaptureTableRows, RowWithoutFieldsDoesNotEatTheLineBefore)
{
    // With every field deselected only the position covered from above gives a field; the
    // rows that give none must still end in a whole CR LF.
    const std::string body = "<table><tr><td rowspan=2>X</td><td>Y</td></tr><tr><td>Z</td></tr>"
                             "<tr><td>W</td><td>V</td></tr></table>";
    CaptureSettings settings = withHeader();
    settings.fields = {{"A", false}, {"B", false}};
    EXPECT_EQ(capture(body, settings), "\r\n\r\n");
}

TEST(CaptureTableRows, BlankLinesCollapseLikeRepeatedReplacement)
{
    const std::map<std::string, std::string> cases = {
        {"a\r\n\r\nb\r\n", "a\r\nb\r\n"},
        {"a\r\n\r\n\r\n\r\n\r\nb", "a\r\nb"},
        // An empty line at the very start alone is left.
        {"\r\n\r\na", "\r\n\r\na"},
        {"\r\n\r\n\r\na", "\r\n\r\na"},
        // Passes forced elsewhere shrink the run at the start too.
        {"\r\n\r\na\r\n\r\nb", "\r\na\r\nb"},
        {"\r\n\r\n\r\n\r\n\r\n", "\r\n\r\n"},
        {"a\r\r\n\nb", "a\r\r\n\nb"},
        {"", ""},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(collapseBlankLines(text), expected);
}

class FramedPage : public ::testing::Test {
protected:
    std::unique_ptr<StaticDocument> framed()
    {
        const std::map<std::string, std::string> frames = {
            {"http://www.shop.example/list/f0.htm", "<table><tr><td>zero</td></tr></table>"},
            {"http://www.shop.example/list/f1.htm", "<table><tr><td>one</td></tr></table>"},
        };
        FrameLoader loader = [frames](const std::string &url) -> Result<std::string> {
            if (auto it = frames.find(url); it != frames.end())
                return it->second;
            return failure("no such page " + url);
        };
        return StaticDocument::parse("<html><frameset><frame name=a src=f0.htm><frame name=b src=f1.htm>"
                                     "<frame name=c src=gone.htm></frameset></html>",
                                     kBase, loader);
    }
};

TEST_F(FramedPage, FrameNumberLeadsTheFrameText)
{
    auto doc = framed();
    CaptureSettings settings = withHeader();
    settings.inFrame = true;
    const std::map<std::string, std::string> cases = {
        {"", "zero\r\n"}, {"1a", "one\r\n"}, {"a1", "zero\r\n"}, {"2", ""}, {"7", ""},
        // A number past any frame count names no frame, however large.
        {"99999999999999999999999", ""}, {"1e400", "one\r\n"}, {"-1", ""},
    };
    for (const auto &[frameText, expected] : cases) {
        settings.frameText = frameText;
        CaptureSession session;
        session.lastCapture = "previous";
        EXPECT_EQ(CaptureTable(*doc, settings, session).text, expected) << frameText;
    }
    // Without the frame choice the frameset page itself has no table.
    CaptureSession session;
    session.lastCapture = "previous";
    EXPECT_EQ(CaptureTable(*doc, withHeader(), session).text, "");
}

}  // namespace
}  // namespace tabvoro::capture
