// Tables nested in other tables' cells: every level reads as it would alone, and reading all
// of them costs no more than the page (a row of a table n deep is part of the n rows around it).

#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace tabvoro::capture
