#pragma once

// The start-up survey of the browser pages already open: their addresses for the address
// drop-down, their tables listed in the start-up form, the table with the most text chosen, and
// a report of what each page holds.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "capture/document/page_document.h"
#include "capture/table_listing.h"

namespace tabvoro::capture {

// A start-up entry's signature is cut to this many characters.
inline constexpr std::size_t kStartUpSignatureLength = 255;

inline constexpr const char *kStartUpReportHeading = "你当前正在浏览的网页及所含表格情况如下：";

struct OpenWindow {
    std::string url;
    // Its document; null when it could not be read, which reads as a page without tables.
    const Document *document = nullptr;
};

struct OpenWindowsReport {
    std::size_t windows = 0;             // windows reported
    std::vector<TableEntry> entries;     // table list rows, numbered from 1 in each window
    std::optional<std::size_t> chosen;   // the entry with the most table text (the first of equals)
    std::string chosenUrl;               // the address of the window that holds it
    bool nextPageWordFound = false;      // a window with listed tables has "下一页" in its body
    std::string text;                    // the report, a block per window
};

// Tables whose first row has fewer than two cells are not listed; a window without listed
// tables is reported as "此页面没有表格".
OpenWindowsReport reportOpenWindows(const std::vector<OpenWindow> &windows);

// The text box after start-up: the heading, the report, an empty line, and what it held before.
std::string startUpReportText(const std::string &report, const std::string &previousText);

}  // namespace tabvoro::capture
