// Tables nested in other tables' cells: every level reads as it would alone, and reading all
// of them costs no more than the page (a row of a table n deep is part of the n rows around it).

#include "capture/document/html_tree.h"
#include "capture/document/inner_text.h"
#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace tabvoro::capture {
namespace {

namespace fs = std::filesystem;

// The pager-row test answers for every row and needle what a search of the row's own inner
// HTML answers, nested rows, needles across a row's edge and the empty needle included.
TEST(NestedTables, RowHtmlContainsAgreesWithTheRowsHtml)
{
    const std::string needles[] = {"", "td", "<td>", "</td><td>", "</td>", "<tr>", "</tr>", "a",
                                   "下一页", "<table", "colspan", "inner", "</td></tr><tr><td>"};
    std::vector<std::unique_ptr<StaticDocument>> documents;
    documents.push_back(StaticDocument::parse(
        "<table><tr><td>a</td><td><table><tr><td>inner 下一页</td></tr><tr><td>x</td></tr></table></td></tr>"
        "<tr><td>下一</td></tr><tr><td>页</td></tr></table>",
        "http://h/"));
    for (const char *folder : {"document", "realpages"})
        for (const auto &entry : fs::directory_iterator(fs::path(TABVORO_FIXTURES) / folder))
            if (entry.path().extension() == ".html")
                documents.push_back(std::move(loadStaticDocument(entry.path().string()).value()));
    std::size_t rows = 0;
    for (const auto &document : documents) {
        for (std::size_t t = 0; t < document->tableCount().value(); ++t) {
            const Table &table = *document->table(t).value();
            for (std::size_t r = 0; r < table.rowCount().value(); ++r, ++rows) {
                const std::string html = table.rowInnerHtml(r).value();
                for (const auto &needle : needles)
                    EXPECT_EQ(table.rowHtmlContains(r, needle).value(), html.find(needle) != std::string::npos)
                        << "table " << t << " row " << r << " needle " << needle;
            }
        }
    }
    EXPECT_GT(rows, 100u);
}

// Every cell that holds a table reads, from the one walk of the page, what it reads alone:
// whatever stands before it, blanks and line breaks at its edges, preformatted and hidden parts.
TEST(NestedTables, CellTextsOfOneWalkAreTheCellsOwn)
{
    std::vector<std::string> pages = {
        "x<table><tr><td> y<table><tr><td>z</td></tr></table> w</td></tr></table>",
        "<pre><table><tr><td>  a <table><tr><td> b  c </td></tr></table>\n d</td></tr></table></pre>",
        "<div hidden><table><tr><td>a<table><tr><td>b</td></tr></table></td></tr></table></div>",
        "<b>x </b><table><tr><td> <br>y <table><tr><td></td></tr></table></td><td>q <i> </i></td></tr></table>",
        "<table><tr><td><p>a</p><table><tr><td><p>b</p></td><td>c</td></tr><tr><td>d</td></tr></table><p>e</p></td></tr></table>",
        "<table><caption>cap<table><tr><td>in caption</td></tr></table></caption><tr><td>"
        "<table><tr><td><select><option>1<option>2</select><textarea> t </textarea></td></tr></table> "
        "<span style=\"display:none\"><table><tr><td>gone</td></tr></table></span>tail</td></tr></table>",
        "<table><tr><td><table></table></td><td><table><tr><td></td></tr></table></td></tr></table>",
        "<ul><li>item<table><tr><td>a</td><th> <table><tr><td>b</td></tr></table> </th></tr></table></li></ul>",
    };
    for (const char *folder : {"document", "realpages"})
        for (const auto &entry : fs::directory_iterator(fs::path(TABVORO_FIXTURES) / folder))
            if (entry.path().extension() == ".html")
                pages.push_back(test::readBytes(entry.path()));

    struct AllCells {
        std::vector<const GumboNode *> cells;
        bool enter(const GumboNode *node)
        {
            if (html::isHtmlElement(node, GUMBO_TAG_TD) || html::isHtmlElement(node, GUMBO_TAG_TH))
                cells.push_back(node);
            return node->type == GUMBO_NODE_ELEMENT;
        }
        void leave(const GumboNode *) {}
    };
    std::size_t compared = 0;
    for (const auto &page : pages) {
        const html::ParsedHtml tree(page);
        const html::CellTexts texts(tree.document());
        AllCells all;
        html::walkBelow(tree.document(), all);
        for (const GumboNode *cell : all.cells) {
            if (const auto text = texts.find(cell)) {
                EXPECT_EQ(*text, html::innerText(cell)) << page.substr(0, 120);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 5u);
}

}  // namespace
}  // namespace tabvoro::capture
