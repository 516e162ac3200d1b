#pragma once

// The page document model: everything the engine knows of a page goes through these interfaces.
// Two implementations exist: a static document parsed from HTML text (saved pages, tests, the
// command line) and the live document of the browser view (a snapshot taken through script).
//
// Every read may fail (a frame from another site, a missing property, a page that cannot be
// read); a failure is an ordinary value, never an exception, and each caller decides what a
// failing read means for it.
//
// Text rules shared by both implementations:
//  - every line break handed to the engine is CR LF;
//  - a cell's text is the browser's innerText of the cell;
//  - a row's text is its cells' texts one after the other with nothing between them, and a
//    table's text is its rows' texts joined by CR LF, so a table's text begins with the texts
//    of its first row's cells;
//  - inner HTML is serialised as a browser does: lower-case attribute names, values in double
//    quotes, "&amp;" for "&" in attribute values.

#include <cstddef>
#include <string>
#include <vector>

#include "capture/error.h"
#include "capture/text_rules.h"

namespace tabvoro::capture {

template <class T>
using Read = Result<T>;

// One HTML table: its own rows only (never those of a table nested in one of its cells), in the
// order a browser's `rows` collection gives them (thead, tbody and tfoot rows in document order).
// A table made of roles reads the same way: its rows are the role="row" elements it owns (found
// through role="rowgroup" and through elements without a role, never inside a nested grid or
// <table>), a row's cells the cell, gridcell, columnheader and rowheader elements the row owns,
// their spans aria-colspan and aria-rowspan.
// A list of repeated records reads the same way too: a parent whose element children repeat one
// structure, each child a row, its cells the pieces of text of the record lined up in columns
// by their place in it, an empty cell where a record lacks one; a cell's inner HTML is the piece
// itself (a link keeps its address), every span 1. The rule is in document/record_lists.h.
class Table {
public:
    virtual ~Table() = default;

    virtual Read<std::string> text() const = 0;
    // Whether text() begins with `prefix`; an implementation may answer without building the
    // whole text of a large table.
    virtual Read<bool> textStartsWith(const std::string &prefix) const;
    // The number of Unicode characters of text(); a snapshot of the first rows only knows it
    // without the text.
    virtual Read<std::size_t> textLength() const;
    virtual Read<std::size_t> rowCount() const = 0;
    virtual Read<std::string> rowInnerHtml(std::size_t row) const = 0;
    // Whether the row's inner HTML contains `needle`. A snapshot may answer this without
    // holding the row's whole HTML.
    virtual Read<bool> rowHtmlContains(std::size_t row, const std::string &needle) const;

    virtual Read<std::size_t> cellCount(std::size_t row) const = 0;
    virtual Read<std::string> cellText(std::size_t row, std::size_t cell) const = 0;
    virtual Read<std::string> cellInnerHtml(std::size_t row, std::size_t cell) const = 0;
    // As a browser reads them: 1 for a plain cell, an absent or invalid attribute or 0.
    virtual Read<int> cellColSpan(std::size_t row, std::size_t cell) const = 0;
    virtual Read<int> cellRowSpan(std::size_t row, std::size_t cell) const = 0;

    // A list of repeated records (see below): it has no header row, its first row is a record
    // like the others.
    virtual bool isRecordList() const { return false; }

    // Rows of the table before the first one this holds: a read of the live page that goes on
    // from the rows an earlier read took, unchanged since, holds only the rows after them. Its
    // row numbers count from the first row it holds.
    virtual std::size_t rowsBefore() const { return 0; }
};

// One element of the document's `all` list.
class Element {
public:
    virtual ~Element() = default;

    virtual Read<std::string> tagName() const = 0;  // upper case for HTML elements, as a browser gives it
    virtual Read<std::string> innerHtml() const = 0;
    // Whether the inner HTML contains `needle`; a snapshot may answer without holding the HTML.
    virtual Read<bool> innerHtmlContains(const std::string &needle) const;
    virtual Read<std::string> type() const = 0;
    virtual Read<std::string> value() const = 0;
    virtual Read<std::string> name() const = 0;
};

class Document;

struct Frame {
    std::string name;
    const Document *document = nullptr;  // owned by the document the frame belongs to
};

class Document {
public:
    virtual ~Document() = default;

    // The address the document's relative links resolve against.
    virtual Read<std::string> baseUrl() const = 0;
    // A mark of the document as the browser showed it, given by whoever read it: two reads with
    // the same mark are of one document, perhaps changed in place by its scripts since. Empty
    // when unknown (a saved page).
    const std::string &identity() const { return m_identity; }
    void setIdentity(std::string identity) { m_identity = std::move(identity); }
    // The mark the page gave the tables of this read, under which a later read of the same
    // document may go on from the rows this one took (Table::rowsBefore). Empty when none.
    const std::string &readMark() const { return m_readMark; }
    void setReadMark(std::string mark) { m_readMark = std::move(mark); }
    // innerText of the body; empty for a frameset page.
    virtual Read<std::string> bodyText() const = 0;

    // Frame `index` (from 0) of the document's frames collection: `frame` and `iframe` elements
    // of this document in document order. Fails for a missing frame and for one whose document
    // cannot be read (another site, a file that cannot be loaded).
    virtual Read<Frame> frame(std::size_t index) const = 0;

    // All tables: the <table> elements in document order, nested tables included, each one a
    // table of its own; then the other tables, the ones made of ARIA roles (role table, grid or
    // treegrid) and the lists of repeated records, together in document order, numbered on after
    // them.
    virtual Read<std::size_t> tableCount() const = 0;
    // How many of the tables are <table> elements: tables 0 up to this one.
    virtual Read<std::size_t> htmlTableCount() const { return tableCount(); }
    virtual Read<const Table *> table(std::size_t index) const = 0;

    // The `all` list: every element in document order, the root element at position 0.
    virtual Read<std::size_t> elementCount() const = 0;
    virtual Read<const Element *> element(std::size_t index) const = 0;
    // The first element at or after `index` that the document holds: `index` itself but for a
    // list taken in part, which skips the elements it did not take (up to elementCount()).
    virtual std::size_t nextElement(std::size_t index) const { return index; }

    // The absolute addresses of the document's links (`a` and `area` with an href), in order.
    virtual Read<std::vector<std::string>> links() const = 0;

private:
    std::string m_identity;
    std::string m_readMark;
};

}  // namespace tabvoro::capture
