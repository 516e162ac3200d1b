#pragma once

// The live document: the page shown in the browser view read into a capture::SnapshotDocument by
// one script call that hands everything back as one JSON text. Texts are the browser's innerText
// (body, cells) and the controls' values, with every line break made CR LF; inner HTML is the
// browser's own serialisation.
//
// Reading the page costs more than anything the engine does with it (every cell's innerText
// forces layout; inner HTML and the whole element list cost several times the texts), so each
// operation asks for the parts it reads and nothing else; a part not asked for reads as a
// failure in the snapshot.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QVariant>

#include "capture/capture_settings.h"
#include "capture/error.h"
#include "capture/document/snapshot_document.h"
#include "capture/table_growth.h"

namespace tabvoro::browser {

// Runs a script in the page and gives its result. It must run the script in an isolated world,
// where page scripts cannot replace the builtins the snapshot script calls (BrowserEngine::evaluate
// does by default).
using EvaluateFn = std::function<capture::Result<QVariant>(const QString &script)>;

struct SnapshotRequest {
    // The document read: the page, or the page's frame with this number (from 0). For a frame
    // the snapshot is the page's, holding its frame list, and that frame's document holds the
    // parts asked for below; the page's other frames read with nothing in them.
    std::optional<std::size_t> frame;

    bool bodyText = false;

    enum class Tables {
        None,
        Count,      // the number of tables only
        FirstRows,  // rows: the row count, the first row's cells (text, spans), and the size of
                    // the table text (SnapshotTable::textSize/textLength)
        Cells,      // every row's cells: text and spans
    };
    Tables tables = Tables::None;
    // With FirstRows or Cells: the tables whose rows are taken (by position from 0); nullopt:
    // every table. The others read as not taken; the count covers them all.
    std::optional<std::vector<std::size_t>> onlyTables;
    // The cells' inner HTML, with Tables::Cells or FirstRows. ThroughFirstHref is what the
    // capture's link mode needs.
    capture::CellHtmlForm cellHtml = capture::CellHtmlForm::None;
    // Every row's whole inner HTML: costly; what the engine asks of rows is answered by
    // rowNeedle instead.
    bool rowHtml = false;
    // Whether each row's inner HTML contains this text, asked in the page (the pager rows of a
    // capture): rowHtmlContains answers for this needle without the rows' HTML.
    std::optional<std::string> rowNeedle;
    // Marks the tables taken, so that a later read may go on from the rows this one took
    // (SnapshotDocument::readMark); the page's own document only.
    bool markTables = false;
    // Takes this table from the given row on, when the page's scripts have changed nothing in
    // it up to there since the marked read (capture::TableContinuation). Otherwise, and for
    // every other table, the table is taken whole.
    std::optional<capture::TableContinuation> continuation;

    // The `all` list: every element's tag name (as the DOM gives it: upper case for HTML), type
    // and value (of INPUT, BUTTON, SELECT and TEXTAREA, as the page holds them now; "" for any
    // other element) and name (its name attribute).
    bool elements = false;
    // For the elements whose tag name is listed in elementHtmlTags (all of them when the list is
    // empty: costly, each element serialises all it holds): the whole inner HTML, and/or whether
    // it contains elementNeedle (SnapshotElement::innerHtmlContains).
    bool elementHtml = false;
    std::optional<std::string> elementNeedle;
    std::vector<std::string> elementHtmlTags = {"A", "IMG", "BUTTON"};
    // With elementNeedle and without elementHtml: of the `all` list only the elements a
    // next-page step acts on are taken (those of elementHtmlTags whose HTML holds the needle,
    // and the form controls); the others are counted. A page of many rows of links then costs
    // the step its few candidates, not an entry for every element. The list's length is then
    // exact only for a needle that is a number (a position): otherwise it may end after the
    // last element taken.
    bool stepElementsOnly = false;

    bool links = false;

    enum class Frames {
        None,
        Names,     // each frame's name and whether it can be read
        Contents,  // and each readable frame's document, with the parts asked above
    };
    Frames frames = Frames::None;

    // Everything, in full: the tests comparing a live page with its static document.
    static SnapshotRequest everything();
    // What CaptureTable reads with these settings.
    static SnapshotRequest forCapture(const capture::CaptureSettings &settings);
    // The table listing: each table's row count, first row and text size.
    static SnapshotRequest forTableListing(const capture::CaptureSettings &settings);
    // The frame survey of the table test: each frame's name, body text and number of tables.
    static SnapshotRequest forFrameSurvey();
    // The next-page step: the element list with, for links, images and buttons, whether their
    // HTML holds `needle`.
    static SnapshotRequest forNextPage(const std::string &needle);
    // What the next-page step of these settings reads: in the link mode aimed at the frame the
    // settings name.
    static SnapshotRequest forNextPage(const capture::CaptureSettings &settings);
    // Adds the element list and links `other` reads (the next-page step's parts), so that one
    // read serves both; false, and nothing added, when it reads another document or more.
    bool include(const SnapshotRequest &other);
};

// The script that takes `request`, for a caller that runs it some other way (the DevTools
// protocol); its result, a JSON text, goes to parseSnapshot with the same request.
// `frameAnswers`: the token under which the answers of frames from other origins wait for it
// (frame_reading.h).
QString snapshotScript(const SnapshotRequest &request, const QString &frameAnswers = {});
// The snapshot script's function, not yet called, and the request it is called with.
const QString &snapshotFunction();
QString snapshotRequestJson(const SnapshotRequest &request, const QString &frameAnswers = {});

capture::Result<std::unique_ptr<capture::SnapshotDocument>> parseSnapshot(const QString &json,
                                                                          const SnapshotRequest &request);

// Reads the page through `evaluate`: one call, whatever the request.
capture::Result<std::unique_ptr<capture::SnapshotDocument>> takeSnapshot(EvaluateFn evaluate,
                                                                         const SnapshotRequest &request);

}  // namespace tabvoro::browser
