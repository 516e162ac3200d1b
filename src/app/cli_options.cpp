#include "cli_options.h"

#include <cstdlib>
#include <limits>

#include "command_line.h"

namespace tabvoro::cli {

using capture::KeywordMode;

const char *const kCaptureUsage = R"(Usage: tabvoro-cli capture [options] PAGE...
       tabvoro-cli capture --job FILE [options] PAGE...

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
  --unique-rows      a row whose fields equal those of a row already written (in this
                     capture, or in this run; a resumed run counts the rows of its file)
                     is not written again
  --next-text TEXT   rows whose HTML holds TEXT are pager rows and left out (default 下一页)
  --fields LIST      field list, names separated by "," in column order; a name beginning
                     with "!" is a field that is not captured; empty names are allowed
  --url URL          the page address the output file is named after (default: none, "data")
  --out-dir DIR      output folder (default ./download, created when missing)
  --output FILE      write to exactly this file instead
  --encoding NAME    code page of the output (default GB18030, or TABVORO_CODEPAGE); UTF-8-BOM
                     is UTF-8 with a byte-order mark at the start of a new file
  --job FILE         the settings of a saved job; the options given win over them
  --help             show this text

Exit status: 0 on success; 2 with a message on stderr for bad arguments, a page that cannot
be read, or an output that cannot be written.
)";

const char *const kRunUsage = R"usage(Usage: tabvoro-cli run [capture options] [run options] URL
       tabvoro-cli run [capture options] [run options] --url-list FILE
       tabvoro-cli run --job FILE [capture options] [run options] [URL]
       tabvoro-cli run --job FILE --resume

Opens URL in a browser without a window (the web view offscreen when there is no display, or
Chromium with --engine chromium), waits for the page to complete and makes the capture run the
capture button makes, with the settings the options give. Without --paging the page is
captured once; with it the run goes on page after page until the pages run out, --max-pages
is reached or --timeout expires. Each kept capture prints its
tally; the output file's path is printed last, or, when the run kept no capture and wrote no
file, "nothing captured: no table matched, no file written". The page on which the next-page
keyword is found no more, where a link run ends, is named on stderr.

Capture options: those of `tabvoro-cli capture` (--url excepted: the address box holds URL);
--out-dir sets the output folder (default ./download), --output the exact file.

Run options:
  --paging MODE      how the next page is opened:
                       link      by the next-page keyword (--next-text, default 下一页)
                       number    by the page number in URL, which holds "(*)"
                       list      by the next address of --url-list
                       dropdown  by advancing the page-number drop-down (--dropdown)
                       scroll    by scrolling the page (or its table's box) to the end, for
                                 pages that load more rows as they are scrolled; only the
                                 new rows are written, and the run ends after 3 scrolls in
                                 a row that bring none
  --from N, --to M   the page numbers of the first and last page (number mode); the page
                     opened first is URL with every "(*)" replaced by N
  --url-list FILE    the URL list, one address per line; its first address is opened first
  --dropdown NAME    the name of the page-number drop-down
  --timer MS         capture every MS milliseconds instead of after each page load
  --max-pages N      stop the run after N kept captures
  --timeout S        stop the run, first load included, after S seconds (default 600)
                     and exit with 3
  --page-timeout S   a page loading with no progress for S seconds (default 60) has failed; a failed
                     page is tried again after 1, 2 and 4 s, then the run ends with 4
  --settle S         a loaded page still fetching its rows, or without the table asked for,
                     is captured once it has had no request outstanding and no change to
                     its tables for 0.5 s, or after S seconds as it is (default 10; 0: at
                     its load)
  --engine NAME      the browser the run opens its pages in:
                       webengine  the window's own view (default)
                       chromium   the system's Chromium, without a window: large pages, and
                                  an engine that gets security updates

Jobs (tabvoro-cli job save writes one):
  --job FILE         the settings of a saved job; the options given win over them and URL
                     replaces its address. Every kept capture is recorded in FILE.progress
  --resume           go on from FILE.progress, appending to the same output file; a job
                     whose pages ran out says so and exits with 0

Exit status: 0 when the run has ended; 2 with a message on stderr for bad arguments, a job
file that cannot be read or an output that cannot be written; 3 when the run was stopped by --timeout; 4 when a page failed
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

void addCaptureOptions(CommandLine &line, CaptureOptions &options)
{
    auto &s = options.settings;
    line.flag("--header", [&s] { s.includeHeader = true; s.includeLinks = false; });
    line.flag("--links", [&s] { s.includeLinks = true; s.includeHeader = false; });
    line.flag("--ruled", [&s] { s.ruled = true; });
    line.flag("--unique-rows", [&s] { s.uniqueRows = true; });
    line.flag("--help", [&options] { options.help = true; });
    line.option("--keyword", [&s](const std::string &v) { s.keyword = v; });
    line.option("--mode", [&s](const std::string &v) {
        if (v == "first-row") s.keywordMode = KeywordMode::FirstRowPrefix;
        else if (v == "every-row") s.keywordMode = KeywordMode::CommonText;
        else if (v == "position") s.keywordMode = KeywordMode::Position;
        else throw ArgumentError("unknown --mode '" + v + "' (first-row, every-row or position)");
    });
    line.option("--frame", [&s](const std::string &v) {
        s.inFrame = true;
        s.frameText = v;
    });
    line.option("--next-text", [&s](const std::string &v) { s.nextPageText = v; });
    line.option("--fields", [&s](const std::string &v) { s.fields = parseFieldList(v); });
    line.option("--url", [&s](const std::string &v) { s.url = v; });
    const auto nonEmpty = [](std::string &target, std::string what) {
        return [&target, what = std::move(what)](const std::string &v) {
            if (v.empty())
                throw ArgumentError(what);
            target = v;
        };
    };
    line.option("--out-dir", nonEmpty(options.outDir, "--out-dir needs a folder"));
    line.option("--output", nonEmpty(options.output, "--output needs a file"));
    line.option("--encoding", nonEmpty(options.encoding, "--encoding needs a code page name"));
}

namespace {

// Times in seconds must fit a timer's milliseconds.
constexpr double kMaxSeconds = std::numeric_limits<int>::max() / 1000;

// A number of `name` from low to high. Numbers past `high` would overflow the timers they set,
// and a timer of a negative interval never fires: they are refused rather than run wrong.
double number(const std::string &name, const std::string &value, double low, double high)
{
    char *end = nullptr;
    const double n = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(n >= low))
        throw ArgumentError(name + " needs a number of at least " + std::to_string(static_cast<long>(low)));
    if (!(n <= high))
        throw ArgumentError(name + " needs a number of at most " + std::to_string(static_cast<long long>(high)));
    return n;
}

}  // namespace

void addRunOptions(CommandLine &line, RunOptions &run)
{
    line.option("--paging", [&run](const std::string &v) {
        if (v == "link") run.paging = 0;
        else if (v == "number") run.paging = 1;
        else if (v == "list") run.paging = 2;
        else if (v == "dropdown") run.paging = 3;
        else if (v == "scroll") run.paging = 4;
        else throw ArgumentError("unknown --paging '" + v + "' (link, number, list, dropdown or scroll)");
    });
    line.option("--from", [&run](const std::string &v) { run.from = v; });
    line.option("--to", [&run](const std::string &v) { run.to = v; });
    line.option("--url-list", [&run](const std::string &v) { run.urlListFile = v; });
    line.option("--dropdown", [&run](const std::string &v) { run.dropDown = v; });
    line.option("--timer", [&run](const std::string &v) {
        run.timerMs = static_cast<int>(number("--timer", v, 1, std::numeric_limits<int>::max()));
    });
    line.option("--max-pages", [&run](const std::string &v) {
        run.maxPages = static_cast<long>(number("--max-pages", v, 1, 1e15));
    });
    line.option("--timeout", [&run](const std::string &v) { run.timeoutSeconds = number("--timeout", v, 0, kMaxSeconds); });
    line.option("--page-timeout", [&run](const std::string &v) {
        run.pageTimeoutSeconds = number("--page-timeout", v, 1, kMaxSeconds);
    });
    line.option("--settle", [&run](const std::string &v) {
        run.settleSeconds = number("--settle", v, 0, capture::kMaxSettleSeconds);
    });
    line.option("--engine", [&run](const std::string &v) {
        const auto engine = capture::runEngineNamed(v);
        if (!engine)
            throw ArgumentError("unknown --engine '" + v + "' (webengine or chromium)");
        run.engine = *engine;
    });
}

std::expected<CaptureOptions, std::string> parseCaptureOptions(const std::vector<std::string> &args)
{
    CaptureOptions options;
    CommandLine line;
    addCaptureOptions(line, options);
    auto pages = line.parse(args);
    if (!pages)
        return std::unexpected(pages.error().message);
    options.pages = std::move(*pages);
    if (!options.help && options.pages.empty())
        return std::unexpected(std::string("no page to capture"));
    return options;
}

std::expected<RunCommandOptions, std::string> parseRunOptions(const std::vector<std::string> &args)
{
    RunCommandOptions options;
    CommandLine line;
    addCaptureOptions(line, options.capture);
    addRunOptions(line, options.run);
    auto pages = line.parse(args);
    if (!pages)
        return std::unexpected(pages.error().message);
    options.capture.pages = std::move(*pages);
    // A run over a URL list takes its first address from the list.
    if (!options.capture.help && options.capture.pages.empty() && options.run.urlListFile.empty())
        return std::unexpected(std::string("no page to capture"));
    return options;
}

}  // namespace tabvoro::cli
