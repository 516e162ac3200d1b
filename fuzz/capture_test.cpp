// The capture test and table listing of a page, as the capture-test button and `tabvoro-cli
// list` run them, and every read of the document as its dump makes them.

#include "fuzz_support.h"

#include "capture/capture_table.h"
#include "capture/document/document_dump.h"
#include "capture/document/html_charset.h"
#include "capture/document/html_tree.h"
#include "capture/document/inner_text.h"
#include "capture/document/static_document.h"
#include "capture/table_listing.h"

namespace tabvoro::fuzz {

using namespace capture;

namespace {

// The cells of a tree that hold tables read from the one walk of the page what they read alone.
void checkCellTexts(const std::string &page)
{
    struct Cells {
        std::vector<const GumboNode *> found;
        bool enter(const GumboNode *node)
        {
            if (html::isHtmlElement(node, GUMBO_TAG_TD) || html::isHtmlElement(node, GUMBO_TAG_TH))
                found.push_back(node);
            return node->type == GUMBO_NODE_ELEMENT;
        }
        void leave(const GumboNode *) {}
    };
    const html::ParsedHtml tree(page);
    const html::CellTexts texts(tree.document());
    Cells cells;
    html::walkBelow(tree.document(), cells);
    for (const GumboNode *cell : cells.found)
        if (const auto text = texts.find(cell))
            expect(*text == html::innerText(cell), "a cell reads in the page's walk what it reads alone");
}

}  // namespace

void captureTest(std::string_view input)
{
    TailReader tail(input);
    const bool inFrame = tail.flag();
    const std::string frameText = tail.flag() ? std::string(tail.slice(6)) : std::to_string(tail.byte() % 3);
    const std::string needle(tail.slice(10));

    const std::string html = html::pageTextAsUtf8(std::string(input));
    auto page = StaticDocument::parse(html, "file:///fuzz/page.html",
                                      [&html](const std::string &) -> Result<std::string> { return html; });
    const auto test = capture::captureTest(*page, inFrame, frameText);
    const std::string frame = test.frameText.value_or(frameText);
    const auto target = targetDocument(*page, inFrame || test.tickFrameBox, frame);
    if (!target)
        return;
    const Document &document = **target;
    const auto listing = listPageTables(document);
    const std::size_t tables = document.tableCount().value_or(0);
    expect(listing.entries.size() == tables, "every table is listed");
    expect(listing.chosen < static_cast<int>(tables), "the chosen table is one of them");
    if (listing.chosen >= 0) {
        const auto choice = chooseTable(listing.entries[static_cast<std::size_t>(listing.chosen)]);
        tablePreview(document, choice.keyword);
    }

    // The pager-row test of a row answers what a search of the row's own HTML answers.
    for (std::size_t t = 0; t < tables; ++t) {
        const auto table = document.table(t);
        if (!table)
            continue;
        const std::size_t rows = (*table)->rowCount().value_or(0);
        for (std::size_t r = 0; r < rows; ++r) {
            const auto contains = (*table)->rowHtmlContains(r, needle);
            const auto rowHtml = (*table)->rowInnerHtml(r);
            expect(contains.has_value() == rowHtml.has_value(), "a row readable one way is readable the other");
            if (contains && rowHtml)
                expect(*contains == (rowHtml->find(needle) != std::string::npos), "the pager-row test reads the row's HTML");
        }
    }
    dumpDocument(*page);
    checkCellTexts(html);
}

}  // namespace tabvoro::fuzz
