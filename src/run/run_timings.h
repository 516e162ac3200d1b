#pragma once

// Every wait of a run. The defaults are the program's; tests give milliseconds, so that they
// wait for what the run does rather than through real seconds.

#include <vector>

#include "capture/page_load_retry.h"

namespace tabvoro::run {

struct RunTimings {
    // The waits before a failed page is tried again, one per retry.
    std::vector<int> retryWaitsMs{capture::kLoadRetryWaitsMs.begin(), capture::kLoadRetryWaitsMs.end()};
    // A page of a run that has shown no progress for this long (no bytes arriving, its
    // document not growing) has failed; a page a script turns in place that has not changed by
    // then did not come.
    int pageTimeoutMs = capture::kDefaultPageTimeoutMs;
    // How long a next-page step has to start a new document before the run looks for the next
    // page in the page itself.
    int stepNavigationMs = 1000;
    // How long the tables of a page must stay still (and a loaded page be without a request of
    // its own outstanding) before it counts as there.
    int settleMs = 500;
    // A page whose tables a step changed in place, with no request of its own outstanding and
    // no load started, counts as there once they have been still this long. Rows that come
    // after its capture are captured before the next step.
    int stillMs = 20;
    // How long a scroll to the page's end has to bring new rows before it counts as one that
    // brought none.
    int scrollWaitMs = 5000;
    // How long a loaded page still fetching its rows, or still without the table asked for, is
    // waited for before what it shows is captured; 0: captured at its load.
    int settleLimitMs = capture::kDefaultSettleLimitMs;
    // A grid that draws only the rows in view is scrolled through before the capture: the pause
    // between two scrolls, and how many rows of all grids are kept at most.
    int gridScrollPauseMs = 50;
    int drawnRowLimit = 1'000'000;
    // The pause between two captures of the page-number step waiting for its page: the page
    // needs time to arrive, and a loop without a pause would only spin.
    int recapturePauseMs = 50;
    // How often a page-changed notice that came while the run was busy is looked at again.
    int busyRecheckMs = 50;
};

}  // namespace tabvoro::run
