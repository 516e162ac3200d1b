#include "list_report.h"

#include <nlohmann/json.hpp>

#include "capture/capture_table.h"
#include "capture/table_listing.h"
#include "command_line.h"

namespace tabvoro::cli {

const char *const kListUsage = R"(Usage: tabvoro-cli list [--frame N] PAGE
       tabvoro-cli list [--frame N] [--engine webengine|chromium] URL

Runs the capture test, as the capture test button does, with the table-in-frame box ticked and
frame N when --frame is given, and prints one JSON object of what the window then shows:
  entries   the table list, "n--signature" per table
  chosen    the row chosen in it (the table with the most text), -1 for none
  keyword   the table keyword
  fields    the field list
  nextText  the next-page keyword
  inFrame   whether the table-in-frame box is ticked
  frame     the frame number box
  text      the text box

PAGE is a saved page (its frames load from the files beside it). URL (http:, https: or file:)
is opened in a browser without a window, as tabvoro-cli run opens it, and listed once it has
loaded (within 60 s): --engine webengine (the default) is the window's own view, --engine
chromium the system's Chromium, which needs no display.

Exit status: 0; 2 with a message on stderr for bad arguments, a page that cannot be read or an
address that does not load.
)";

namespace {

constexpr const char *kSeeHelp = " (see tabvoro-cli list --help)";

}  // namespace

std::expected<ListArguments, std::string> parseListArguments(const std::vector<std::string> &args)
{
    ListArguments parsed;
    CommandLine line;
    line.flag("--help", [&parsed] { parsed.help = true; });
    line.option("--frame", [&parsed](const std::string &v) {
        parsed.inFrame = true;
        parsed.frameText = v;
    });
    line.option("--engine", [&parsed](const std::string &v) {
        parsed.engine = capture::runEngineNamed(v);
        if (!parsed.engine)
            throw ArgumentError("unknown --engine '" + v + "' (webengine or chromium)");
    });
    const auto pages = line.parse(args);
    if (!pages) {
        // A missing value has always been told without the pointer to --help.
        return std::unexpected(pages.error().message + (pages.error().missingValue ? "" : kSeeHelp));
    }
    if (parsed.help)
        return parsed;
    if (pages->size() != 1)
        return std::unexpected(std::string("list takes exactly one page") + kSeeHelp);
    parsed.page = pages->front();
    if (parsed.engine && !isPageAddress(parsed.page))
        return std::unexpected("--engine opens an address (http:, https: or file:), not a saved page" +
                               std::string(kSeeHelp));
    return parsed;
}

bool isPageAddress(const std::string &page)
{
    std::string scheme;
    for (char c : page.substr(0, page.find(':')))
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return page.find(':') != std::string::npos && (scheme == "http" || scheme == "https" || scheme == "file");
}

std::string listReport(const capture::Document &page, bool inFrame, std::string frameText)
{
    const auto test = capture::captureTest(page, inFrame, frameText);
    std::string text = test.text;
    const std::string nextText = test.nextPageWordFound ? capture::kNextPageWord : "";
    if (test.frameText)
        frameText = *test.frameText;
    inFrame = inFrame || test.tickFrameBox;

    capture::TableListing listing;
    if (const auto target = capture::targetDocument(page, inFrame, frameText))
        listing = capture::listPageTables(**target);
    capture::TableChoice choice;
    if (listing.chosen >= 0) {
        choice = capture::chooseTable(listing.entries[static_cast<std::size_t>(listing.chosen)]);
        if (const auto target = capture::targetDocument(page, inFrame, frameText))
            if (auto preview = capture::tablePreview(**target, choice.keyword))
                text = std::move(*preview);
    }

    nlohmann::ordered_json json;
    std::vector<std::string> entries;
    for (const capture::TableEntry &entry : listing.entries)
        entries.push_back(capture::entryText(entry));
    json["entries"] = entries;
    json["chosen"] = listing.chosen;
    json["keyword"] = choice.keyword;
    json["fields"] = choice.fields;
    json["nextText"] = nextText;
    json["inFrame"] = inFrame;
    json["frame"] = frameText;
    json["text"] = text;
    // The frame box holds what --frame was given, which need not be UTF-8: its stray bytes are
    // written as U+FFFD, so the output stays JSON.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tabvoro::cli
