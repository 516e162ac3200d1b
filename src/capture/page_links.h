#pragma once

// Link extraction for the URL list: the page's links that hold a text or match a wildcard
// pattern, each added once.

#include <optional>
#include <string>
#include <vector>

#include "capture/document/page_document.h"

namespace tabvoro::capture {

struct LinkExtraction {
    std::vector<std::string> added;  // appended to the list, in the page's order
    // The list's current row afterwards: the row it added last (`newIndex` when it added none).
    // Nothing when no link matched, and the current row stays as it is.
    std::optional<int> currentRow;
};

// The links of `page` that contain `pattern`, or match it as a wildcard pattern when it holds
// "*", "?" or "#" (letter case significant either way), in document order. A link is added
// unless a row of the list (`listed`, then the rows added before it) already begins with it,
// ignoring ASCII letter case. `newIndex` is the row the list added last, -1 for none since a
// removal. Nothing when the page's links cannot be read.
std::optional<LinkExtraction> extractPageLinks(const Document &page, const std::string &pattern, const std::vector<std::string> &listed,
                                               int newIndex);

}  // namespace tabvoro::capture
