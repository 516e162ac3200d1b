#pragma once

// The box the window draws over the table chosen in its table list, so the user sees which table
// a row stands for. The box is drawn over the page, not in it: a read of the page while it shows
// gives what it gives without it (table_outline.js says how).

#include <cstddef>
#include <optional>

#include "browser/browser_engine.h"
#include "capture/error.h"

namespace tabvoro::browser {

// Takes away any box shown, then draws one over table `number` (from 1, as the table list numbers
// them: the <table> elements, then grids and record lists) of the page, or of its frame `frame`
// (from 0), and scrolls the table into view. A failure says why nothing was drawn: no such table
// or frame, a frame of another origin, a page that did not answer.
capture::Result<void> showTableOutline(BrowserEngine &engine, std::size_t number, std::optional<std::size_t> frame);

// Takes away any box shown, in the page and in the frames it may read.
capture::Result<void> clearTableOutline(BrowserEngine &engine);

}  // namespace tabvoro::browser
