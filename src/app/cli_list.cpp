#include "cli_list.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "capture/capture_table.h"
#include "capture/document/saved_page.h"
#include "capture/document/static_document.h"
#include "capture/table_listing.h"
#include "command_line.h"

namespace tabvoro::cli {

namespace {

const char *const kListUsage = R"(Usage: tabvoro-cli list [--frame N] PAGE

Runs the capture test on a saved page (its frames load from the files beside it), as the
capture test button does, with the table-in-frame box ticked and frame N when --frame is given,
and prints one JSON object of what the window then shows:
  entries   the table list, "n--signature" per table
  chosen    the row chosen in it (the table with the most text), -1 for none
  keyword   the table keyword
  fields    the field list
  nextText  the next-page keyword
  inFrame   whether the table-in-frame box is ticked
  frame     the frame number box
  text      the text box

Exit status: 0; 2 with a message on stderr for bad arguments or a page that cannot be read.
)";

constexpr const char *kSeeHelp = " (see tabvoro-cli list --help)";

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

}  // namespace

int runList(const std::vector<std::string> &args)
{
    bool help = false;
    bool inFrame = false;
    std::string frameText;
    CommandLine line;
    line.flag("--help", [&help] { help = true; });
    line.option("--frame", [&](const std::string &v) {
        inFrame = true;
        frameText = v;
    });
    const auto pages = line.parse(args);
    if (!pages) {
        // A missing value has always been told without the pointer to --help.
        return fail(pages.error().message + (pages.error().missingValue ? "" : kSeeHelp));
    }
    if (help) {
        std::cout << kListUsage;
        return 0;
    }
    if (pages->size() != 1)
        return fail(std::string("list takes exactly one page") + kSeeHelp);
    const auto document = capture::loadStaticDocument(pages->front());
    if (!document)
        return fail("cannot read page " + pages->front() + ": " + document.error().message);
    const capture::Document &page = **document;

    // The capture test, then the listing and the choice of the largest table, as the window
    // runs them one after the other.
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
    std::cout << json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return 0;
}

}  // namespace tabvoro::cli
