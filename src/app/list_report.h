#pragma once

// `tabvoro-cli list`: its arguments and the JSON object it prints, shared by the listing of a
// saved page (tabvoro-cli) and of a page opened in a browser (tabvoro-run).

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "capture/document/page_document.h"
#include "capture/job/job.h"

namespace tabvoro::cli {

extern const char *const kListUsage;

struct ListArguments {
    bool help = false;
    bool inFrame = false;   // --frame given
    std::string frameText;  // its value, as the frame number box holds it
    std::optional<capture::RunEngine> engine;
    std::string page;       // a saved page's path, or an address
};

// The arguments, or the complaint to print.
std::expected<ListArguments, std::string> parseListArguments(const std::vector<std::string> &args);

// Whether `page` is an address to open in a browser (http, https or file) rather than a path.
bool isPageAddress(const std::string &page);

// The capture test of `page`, then the listing and the choice of the largest table, as the window
// runs them one after the other: what the window then shows, as one line of JSON.
std::string listReport(const capture::Document &page, bool inFrame, std::string frameText);

}  // namespace tabvoro::cli
