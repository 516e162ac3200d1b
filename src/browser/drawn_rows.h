#pragma once

// Grids that draw only the rows in view: the data-grid components of business pages keep a
// window of rows in the document (each with its aria-rowindex) and say in aria-rowcount how many
// there are. Before such a page is read, each grid's scrolling box is scrolled through and every
// row it draws is kept once, in aria-rowindex order; the read then takes those rows as the
// grid's. The box is scrolled back where it was.

#include <QString>

#include "browser/page_snapshot.h"

namespace tabvoro::browser {

class BrowserEngine;

// Whether a change stamp (see page_change_watch.h) says the page holds an element with
// aria-rowcount: only then is there anything to gather.
bool stampShowsRowCounts(const QString &stamp);

struct DrawnRowsLimits {
    int rowLimit = 1'000'000;  // rows kept of all grids together, at most
    int pauseMs = 50;          // between two scrolls: the grid draws the rows come into view
    int timeoutMs = 60'000;    // for the whole gathering
};

struct DrawnRows {
    int grids = 0;          // grids scrolled through
    int rows = 0;           // rows kept
    bool bounded = false;   // a limit stopped it, or a grid claimed rows it never drew
};

// Scrolls every grid that draws fewer rows than it claims through, keeping its rows for the next
// read of the page; waits between scrolls in a nested event loop.
capture::Result<DrawnRows> gatherDrawnRows(BrowserEngine *browser, const DrawnRowsLimits &limits);
// Lets the grids go back to the rows they draw.
void releaseDrawnRows(BrowserEngine *browser);

}  // namespace tabvoro::browser
