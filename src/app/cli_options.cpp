#include "cli_options.h"

#include <functional>
#include <map>

namespace tabvoro::cli {

using capture::KeywordMode;

const char *const kCaptureUsage = R"(Usage: tabvoro-cli capture [options] PAGE...

Captures the tables of saved HTML pages (their frames load from files beside them), in order,
as the pages of one run: same settings, one repeat check and tally, one output file, blank
lines removed at the end. After each page the capture's tally is printed (nothing for a page
that repeats the one before); the last line is the output file's path, or, when no page gave
a capture, "nothing captured: no table matched, no file written".

Options:
  --keyword TEXT     table keyword (default empty)
  --mode MODE        how the keyword picks tables:
                       first-row  the table's text begins with the keyword (default)
                       every-row  the keyword occurs in the table's text
                       position   the keyword is the table's number, from 1
  --frame N          look for the table in frame N of the page (from 0)
  --header           capture the table's first row too
  --links            a cell holding a link gives the link's address
                     (--header and --links exclude each other: the later one wins)
  --ruled            write a ruled text table (.txt) instead of comma-separated text (.csv)
  --next-text TEXT   rows whose HTML holds TEXT are pager rows and left out (default 下一页)
  --fields LIST      field list, names separated by "," in column order; a name beginning
                     with "!" is a field that is not captured; empty names are allowed
  --url URL          the page address the output file is named after (default: none, "data")
  --out-dir DIR      output folder (default ./download, created when missing)
  --output FILE      write to exactly this file instead
  --encoding NAME    code page of the output (default GB18030, or TABVORO_CODEPAGE)
  --help             show this text

Exit status: 0 on success; 2 with a message on stderr for bad arguments, a page that cannot
be read, or an output that cannot be written.
)";

const char *const kRunUsage = R"usage(Usage: tabvoro-cli run [capture options] [run options] URL
       tabvoro-cli run [capture options] [run options] --url-list FILE

Opens URL in the main window, hidden (offscreen when there is no display), with its controls
set from the options, waits for the page to complete and presses the capture button as a user
would. Without --paging the page is captured once; with it the run goes on page after page until
the pages run out, --max-pages is reached or --timeout expires. Each kept capture prints its
tally; the output file's path is printed last.

Capture options: those of `tabvoro-cli capture` (--url excepted: the address box holds URL);
--out-dir sets the output folder (default ./download), --output the exact file.

Run options:
  --paging MODE      how the next page is opened:
                       link      by the next-page keyword (--next-text)
                       number    by the page number in URL, which holds "(*)"
                       list      by the next address of --url-list
                       dropdown  by advancing the page-number drop-down (--dropdown)
  --from N, --to M   the page numbers of the first and last page (number mode); the page
                     opened first is URL with every "(*)" replaced by N
  --url-list FILE    the URL list, one address per line; its first address is opened first
  --dropdown NAME    the name of the page-number drop-down
  --timer MS         capture every MS milliseconds instead of after each page load
  --max-pages N      stop the run after N kept captures
  --timeout S        stop the run, first load included, after S seconds (default 600)
                     and exit with 3
  --page-timeout S   a page not loaded after S seconds (default 60) has failed; a failed
                     page is tried again after 1, 2 and 4 s, then the run ends with 4

Exit status: 0 when the run has ended; 2 with a message on stderr for bad arguments or an
output that cannot be written; 3 when the run was stopped by --timeout; 4 when a page failed
to load after its retries.
)usage";

std::vector<capture::Field> parseFieldList(const std::string &list)
{
    std::vector<capture::Field> fields;
    if (list.empty())
        return fields;
    std::size_t start = 0;
    while (true) {
        const auto comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const bool deselected = name.starts_with('!');
        if (deselected)
            name.erase(0, 1);
        fields.push_back({std::move(name), !deselected});
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return fields;
}

std::expected<CaptureOptions, std::string> parseCaptureOptions(const std::vector<std::string> &args)
{
    CaptureOptions options;
    auto &s = options.settings;
    const std::map<std::string, std::function<void()>> flags = {
        {"--header", [&] { s.includeHeader = true; s.includeLinks = false; }},
        {"--links", [&] { s.includeLinks = true; s.includeHeader = false; }},
        {"--ruled", [&] { s.ruled = true; }},
        {"--help", [&] { options.help = true; }},
    };
    const std::map<std::string, std::function<std::expected<void, std::string>(const std::string &)>> valued = {
        {"--keyword", [&](const std::string &v) -> std::expected<void, std::string> { s.keyword = v; return {}; }},
        {"--mode", [&](const std::string &v) -> std::expected<void, std::string> {
             if (v == "first-row") s.keywordMode = KeywordMode::FirstRowPrefix;
             else if (v == "every-row") s.keywordMode = KeywordMode::CommonText;
             else if (v == "position") s.keywordMode = KeywordMode::Position;
             else return std::unexpected("unknown --mode '" + v + "' (first-row, every-row or position)");
             return {};
         }},
        {"--frame", [&](const std::string &v) -> std::expected<void, std::string> {
             s.inFrame = true;
             s.frameText = v;
             return {};
         }},
        {"--next-text", [&](const std::string &v) -> std::expected<void, std::string> { s.nextPageText = v; return {}; }},
        {"--fields", [&](const std::string &v) -> std::expected<void, std::string> { s.fields = parseFieldList(v); return {}; }},
        {"--url", [&](const std::string &v) -> std::expected<void, std::string> { s.url = v; return {}; }},
        {"--out-dir", [&](const std::string &v) -> std::expected<void, std::string> {
             if (v.empty()) return std::unexpected("--out-dir needs a folder");
             options.outDir = v;
             return {};
         }},
        {"--output", [&](const std::string &v) -> std::expected<void, std::string> {
             if (v.empty()) return std::unexpected("--output needs a file");
             options.output = v;
             return {};
         }},
        {"--encoding", [&](const std::string &v) -> std::expected<void, std::string> {
             if (v.empty()) return std::unexpected("--encoding needs a code page name");
             options.encoding = v;
             return {};
         }},
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (optionsEnded || !arg.starts_with("--")) {
            options.pages.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        if (const auto flag = flags.find(name); flag != flags.end() && !inlineValue) {
            flag->second();
            continue;
        }
        const auto option = valued.find(name);
        if (option == valued.end())
            return std::unexpected("unknown option " + arg);
        if (!inlineValue) {
            if (i + 1 >= args.size())
                return std::unexpected(name + " needs a value");
            value = args[++i];
        }
        if (auto applied = option->second(value); !applied)
            return std::unexpected(applied.error());
    }
    if (!options.help && options.pages.empty())
        return std::unexpected(std::string("no page to capture"));
    return options;
}

}  // namespace tabvoro::cli
