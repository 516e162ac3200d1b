#pragma once

// The capture test and the table choice: the page's text, every table listed with its first row,
// the largest preselected; a chosen entry turned into the table keyword and the field list.

#include <optional>
#include <string>
#include <vector>

#include "capture/document/page_document.h"

namespace tabvoro::capture {

inline constexpr const char *kNextPageWord = "下一页";

// A table's first row: each cell's text without blanks at its ends, followed by ","; a cell
// spanning n columns is followed by n - 1 further ",". Empty when there is no first row.
// `startUp`: the form of the start-up report: line breaks (CR LF) removed from the cell texts.
std::string tableSignature(const Table &table, bool startUp = false);

// A row of the table list: the table it stands for and the first row it shows.
struct TableEntry {
    std::size_t number = 0;  // the table's number from 1
    std::string signature;
    bool operator==(const TableEntry &) const = default;
};

// The text a row of the table list shows: the table's number, "--" and its signature.
std::string entryText(const TableEntry &entry);

struct TableChoice {
    std::vector<std::string> fields;  // the field list, every field selected
    std::string keyword;              // the table keyword
};

// The fields and keyword of a chosen entry, read from the signature without its leading
// characters up to "9" (digits, blanks, ASCII punctuation), as from the row's text beyond its
// number: with more than three fields the first three joined, otherwise the first field. A first
// row of numbers only ("2014,2015,2016,2017,") gives its own fields ("201420152016") where it has
// a first field; where it has none, the whole row text stands for the signature.
TableChoice chooseTable(const TableEntry &entry);

// The text of the last table of `document` whose text contains `keyword`: the preview of the
// chosen table. Nothing when no table contains it or the tables cannot be read.
std::optional<std::string> tablePreview(const Document &document, const std::string &keyword);

struct TableListing {
    std::vector<TableEntry> entries;
    int chosen = -1;  // the table with the most text (the first of equals); -1 for no table
};

TableListing listPageTables(const Document &document);

// What the capture test leaves in the window.
struct CaptureTestResult {
    std::string text;                       // Text1
    bool nextPageWordFound = false;         // txtNp receives "下一页"
    std::optional<std::string> frameText;   // txtKj receives this (a frame holding tables)
    bool tickFrameBox = false;              // CheckKj is ticked (a frame page was surveyed)
};

// The capture test of `page`. `inFrame` and `frameText` are the frame choice before the test;
// the listing that follows uses the choice as the result leaves it.
CaptureTestResult captureTest(const Document &page, bool inFrame, const std::string &frameText);

// The number of frames of `page`: frames are read from 0 until one fails.
std::size_t countFrames(const Document &page);

}  // namespace tabvoro::capture
