#pragma once

// A table that grows in place ("more" buttons, endless scrolling) is captured again and again on
// one document. Each capture writes only the rows after those captured before; reading the
// earlier rows again every time would make the run's cost grow with the square of the rows.
// So a capture that walked one table leaves a growth point: the rows that later rows cannot
// change, and what the capture's lines were built with. The next read of the live page may then
// take that table from there on only, when the page vouches that nothing up to there changed
// (Table::rowsBefore), and the capture walks the new rows as the whole table's walk would have.

#include <cstddef>
#include <optional>
#include <string>

#include "capture/capture_settings.h"

namespace tabvoro::capture {

// Where a read of the live page may go on from: table `table` of the document, from row `rows`
// on, under the mark the page gave its earlier read (Document::readMark).
struct TableContinuation {
    std::size_t table = 0;
    std::size_t rows = 0;
    std::string readMark;
};

struct GrowthPoint {
    // The table, and its rows before the trailing pager rows: rows after them may come and go
    // without changing the lines of these. None of their cells spans past them.
    TableContinuation from;
    std::string document;         // Document::identity of the read
    std::size_t widthBefore = 0;  // the width those rows alone give the table
    std::size_t widthUsed = 0;    // the width the capture's lines were built with
    CaptureSettings settings;     // the settings it was walked with
};

struct CaptureSession;

// The continuation the next capture's read may ask for with `settings`: none unless they walk
// tables as those of the growth point did.
std::optional<TableContinuation> continuationFor(const CaptureSession &session, const CaptureSettings &settings);

}  // namespace tabvoro::capture
