#pragma once

// A run over a page that grows by its "加载更多" button, measured against the page's own loading
// of the same rows: see load_more_run.cpp and README.md.

namespace tabvoro::bench {

struct LoadMoreOptions {
    int clicks = 50;   // presses of the button before it goes
    int rows = 500;    // rows the page starts with, and rows each press brings
    int runs = 3;      // load-only passes and runs, the best of each kept
    bool detail = false;
};

// Prints its result line; false when the run failed or lost or doubled rows.
bool loadMoreBench(const LoadMoreOptions &options);

}  // namespace tabvoro::bench
