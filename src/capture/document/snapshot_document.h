#pragma once

// The live page's document as plain data: what one read of the browser view took from the page,
// kept so the engine can read it as often as it likes without going back to the page.
//
// A snapshot holds only the parts the operation that took it asked for. Every other part reads
// as a failure saying what is missing, never as empty data: an operation that forgot to ask for
// something finds out at its first read instead of capturing nothing.
//
// Texts are packed into one buffer per kind (cell texts, tag names...), so a table of 100,000
// rows costs its text bytes and a few machine words a cell, not a string object per cell.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/document/page_document.h"

namespace tabvoro::capture {

// Many texts appended one after another into one buffer.
class TextList {
public:
    void append(std::string_view text);
    // Appends by writing into the buffer directly: `write` is called with the buffer and must
    // only append to it; whatever it appends becomes the next text.
    template <class Writer>
    void appendWith(Writer &&write)
    {
        write(m_bytes);
        m_ends.push_back(m_bytes.size());
    }
    void reserve(std::size_t texts, std::size_t bytes);

    std::size_t size() const { return m_ends.size(); }
    std::string_view operator[](std::size_t index) const;

private:
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
};

// How much of each cell's inner HTML a snapshot holds.
enum class CellHtmlForm {
    None,
    Whole,
    // What the link mode of a capture reads, and no more: the inner HTML up to and including
    // the double quote that closes the value after its first "href" (all of it when no quote
    // follows), and "" for a cell whose HTML holds no "href". A big table of links then costs
    // its addresses, not its markup.
    ThroughFirstHref,
};

// `html` cut as CellHtmlForm::ThroughFirstHref says.
std::string_view throughFirstHref(std::string_view html);

class SnapshotTable final : public Table {
public:
    explicit SnapshotTable(std::size_t index) : m_index(index) {}

    // ---- Filling. The rows whose cells are taken are the table's first rows, added in order.
    // setRowCount tells how many rows the table has when fewer were taken; without it the rows
    // added are all of them.
    void setRowCount(std::size_t rows);
    // The rows of the live table before the first one added (Table::rowsBefore).
    void setRowsBefore(std::size_t rows) { m_rowsBefore = rows; }
    void addRow();
    // Adds a cell to the row added last.
    void addCell(std::string_view text, int colSpan = 1, int rowSpan = 1);
    // Set before the cells: the form each cell's HTML is given in, through addCellHtml, once
    // for every cell added, in the same order.
    void setCellHtmlForm(CellHtmlForm form);
    void addCellHtml(std::string_view html);
    // The whole inner HTML of each row, from the first.
    void addRowHtml(std::string_view html);
    // Whether each row's inner HTML contains `needle`, as the page answered it, from the
    // first row: rowHtmlContains then answers for this needle without the rows' HTML.
    void setRowNeedle(std::string needle);
    void addRowNeedleAnswer(bool contains);
    // The table's text as the page gave it; without it the text is built from the cells.
    void setText(std::string text);
    // The size of the text (UTF-8 bytes, Unicode characters) measured in the page, for a
    // snapshot that holds fewer rows than the table has.
    void setTextMeasure(std::size_t bytes, std::size_t characters);
    void reserve(std::size_t rows, std::size_t cells, std::size_t textBytes);
    // The table is a list of repeated records (a table without header row).
    void setRecordList(bool recordList) { m_recordList = recordList; }

    // ---- Reading: the Table interface, and what the page measured.
    Read<std::string> text() const override;
    Read<bool> textStartsWith(const std::string &prefix) const override;
    Read<std::size_t> textLength() const override;
    Read<std::size_t> rowCount() const override;
    Read<std::string> rowInnerHtml(std::size_t row) const override;
    Read<bool> rowHtmlContains(std::size_t row, const std::string &needle) const override;
    Read<std::size_t> cellCount(std::size_t row) const override;
    Read<std::string> cellText(std::size_t row, std::size_t cell) const override;
    Read<std::string> cellInnerHtml(std::size_t row, std::size_t cell) const override;
    Read<int> cellColSpan(std::size_t row, std::size_t cell) const override;
    Read<int> cellRowSpan(std::size_t row, std::size_t cell) const override;
    bool isRecordList() const override { return m_recordList; }
    std::size_t rowsBefore() const override { return m_rowsBefore; }

    // Bytes of text() in UTF-8.
    Read<std::size_t> textSize() const;
    // Rows whose cells the snapshot holds.
    std::size_t rowsTaken() const { return m_rowEnds.size(); }

private:
    struct Cell {
        std::int32_t colSpan;
        std::int32_t rowSpan;
    };

    bool allRowsTaken() const;
    std::string what(const std::string &part) const;
    Read<std::size_t> cellIndex(std::size_t row, std::size_t cell) const;

    std::size_t m_index;
    std::optional<std::size_t> m_rowCount;
    std::vector<std::size_t> m_rowEnds;  // end of each taken row's cells in m_cells
    std::vector<Cell> m_cells;
    TextList m_cellTexts;
    CellHtmlForm m_cellHtmlForm = CellHtmlForm::None;
    TextList m_cellHtml;
    TextList m_rowHtml;
    std::optional<std::string> m_rowNeedle;
    std::vector<bool> m_rowHasNeedle;
    std::optional<std::string> m_text;
    std::optional<std::size_t> m_textBytes;
    std::optional<std::size_t> m_textCharacters;
    bool m_recordList = false;
    std::size_t m_rowsBefore = 0;
};

class SnapshotDocument;

// One element of a snapshot's `all` list: a view into its document's packed columns.
class SnapshotElement final : public Element {
public:
    SnapshotElement(const SnapshotDocument *document, std::size_t index)
        : m_document(document), m_index(index)
    {
    }

    Read<std::string> tagName() const override;
    Read<std::string> innerHtml() const override;
    Read<std::string> type() const override;
    Read<std::string> value() const override;
    Read<std::string> name() const override;
    // From the HTML when the snapshot holds it, or from the answer the page gave for this very
    // needle.
    Read<bool> innerHtmlContains(const std::string &needle) const override;

private:
    const SnapshotDocument *m_document;
    std::size_t m_index;
};

class SnapshotDocument final : public Document {
public:
    SnapshotDocument();
    ~SnapshotDocument() override;
    // Elements and frames point back at their document: it stays where it was made.
    SnapshotDocument(const SnapshotDocument &) = delete;
    SnapshotDocument &operator=(const SnapshotDocument &) = delete;

    // ---- Filling.
    void setBaseUrl(std::string url);
    void setBodyText(std::string text);
    // The number of tables; each one's contents are then taken, or not, one by one.
    void setTableCount(std::size_t count);
    // How many of them are <table> elements (all of them unless set).
    void setHtmlTableCount(std::size_t count);
    SnapshotTable &takeTable(std::size_t index);

    // The `all` list is taken (even when no element is added).
    void takeElements(std::size_t expectedCount = 0);
    void addElement(std::string_view tagName, std::string_view type, std::string_view value,
                    std::string_view name);
    // A list taken in part: of the `count` elements of the list only those added with
    // addElementAt were taken, and reading another fails. For such a list, the `index` below is
    // the element's place among those added.
    void setElementCount(std::size_t count);
    void addElementAt(std::size_t index, std::string_view tagName, std::string_view type, std::string_view value,
                      std::string_view name);
    // The inner HTML of element `index`, added in increasing order of index.
    void setElementHtml(std::size_t index, std::string_view html);
    // Whether element `index` holds `needle` in its inner HTML, as the page answered it; the
    // needle is the same for every element of one snapshot.
    void setElementNeedle(std::string needle);
    void setElementContains(std::size_t index, bool contains);

    void setLinks(std::vector<std::string> links);

    // The frame list is taken (even when no frame is added). Frames are added in order.
    void takeFrames();
    // A readable frame, with its document to fill (with nothing in it when only the frame's
    // name was taken).
    SnapshotDocument &addFrame(std::string name);
    // A frame whose document cannot be read; `reason` says why.
    void addFailingFrame(std::string name, std::string reason);

    // ---- Reading.
    Read<std::string> baseUrl() const override;
    Read<std::string> bodyText() const override;
    Read<Frame> frame(std::size_t index) const override;
    Read<std::size_t> tableCount() const override;
    Read<std::size_t> htmlTableCount() const override;
    Read<const Table *> table(std::size_t index) const override;
    Read<std::size_t> elementCount() const override;
    Read<const Element *> element(std::size_t index) const override;
    std::size_t nextElement(std::size_t index) const override;
    Read<std::vector<std::string>> links() const override;

    Read<const SnapshotTable *> snapshotTable(std::size_t index) const;
    Read<const SnapshotElement *> snapshotElement(std::size_t index) const;
    // Number of frames in the frame list.
    Read<std::size_t> frameCount() const;

private:
    friend class SnapshotElement;
    struct Elements;
    struct FrameEntry {
        std::string name;
        std::unique_ptr<SnapshotDocument> document;  // null for a frame that cannot be read
        std::string failure;
    };

    std::optional<std::string> m_baseUrl;
    std::optional<std::string> m_bodyText;
    std::optional<std::vector<std::unique_ptr<SnapshotTable>>> m_tables;
    std::optional<std::size_t> m_htmlTables;
    std::unique_ptr<Elements> m_elements;
    std::optional<std::vector<std::string>> m_links;
    std::optional<std::vector<FrameEntry>> m_frames;
};

}  // namespace tabvoro::capture
