#pragma once

// The capture of one page: find the tables that match the keyword, walk their rows with merged
// cells resolved, keep the chosen fields, and build the capture text (fields separated by ",",
// lines ending in CR LF, never quoted: a field never holds a "," of its own except a link
// address). A capture identical to the previous kept one is dropped.

#include <string>

#include "capture/capture_session.h"
#include "capture/capture_settings.h"
#include "capture/document/page_document.h"
#include "capture/output/save_capture.h"

namespace tabvoro::capture {

struct CaptureOutcome {
    bool kept = false;   // false: a repeat of the last kept capture, or refused; nothing is saved
    std::string text;    // the capture text, blank lines collapsed; what the save step receives
    std::string status;  // the tally for the status row, "本次已采集表格数:N个,记录:M条"
    std::string error;   // why the capture was refused (too large); empty otherwise
    // The read went on from rows read before (Table::rowsBefore), but this capture needs the
    // whole table (another table matches now, the lines would change width): nothing was
    // captured, and the page is to be read again without going on.
    bool readWhole = false;
};

// Captures `page` (or its frame, by the settings) and updates the tally in `session`. Never
// fails on the page: a document, frame, table or cell that cannot be read counts as absent, as
// the rules below say, and the capture goes on. A capture whose text would pass `maxTextBytes`
// is refused whole, with `error` (also the session's status text) saying so, and leaves the
// session's repeat check and tally as they were.
CaptureOutcome CaptureTable(const Document &page, const CaptureSettings &settings,
                            CaptureSession &session, std::size_t maxTextBytes = kMaxCaptureBytes);

// Whether `page` (or its frame, by the settings) holds a table the keyword matches that has a
// row: a page whose rows are still to come is told from one whose capture would find nothing.
bool hasMatchingTable(const Document &page, const CaptureSettings &settings);

// The value a cell gives: its text (link mode: its first link's address).
// Exposed for the tests and the table preview.
std::string cellValue(const Table &table, std::size_t row, std::size_t cell, bool links,
                      const std::string &baseUrl);

// Collapses runs of blank lines in a capture text the way repeated replacement of
// CR LF CR LF by CR LF does, in one pass.
std::string collapseBlankLines(std::string text);

// The document the capture reads: the page itself or, with the frame choice, the frame whose
// number leads the frame text. Fails when that frame cannot be read.
Read<const Document *> targetDocument(const Document &page, bool inFrame,
                                      const std::string &frameText);

}  // namespace tabvoro::capture
