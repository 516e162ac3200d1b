// Pages built to make the static path slow: tables nested 50,000 deep (every level's text and
// pager test must not walk the levels below it again) and column spans that ask for gigabytes.
// The reference for the nested pages is the same page ten times shallower: time that grows
// with the levels gives a ratio near 10, time that grows with their square near 100.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "capture/capture_table.h"
#include "capture/document/static_document.h"
#include "capture/table_listing.h"

using namespace tabvoro::capture;

namespace {

double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string nestedPage(int levels)
{
    std::string page = "<!DOCTYPE html><html><body>";
    for (int i = 0; i < levels; ++i)
        page += "<table><tr><td>";
    page += "x";
    for (int i = 0; i < levels; ++i)
        page += "</td></tr></table>";
    return page + "</body></html>";
}

std::string spannedPage(int headerCells, int rows)
{
    std::string page = "<!DOCTYPE html><html><body><table><tr>";
    for (int i = 0; i < headerCells; ++i)
        page += "<td colspan=1000>h</td>";
    page += "</tr>";
    for (int i = 0; i < rows; ++i)
        page += "<tr><td>x</td></tr>";
    return page + "</table></body></html>";
}

struct Times {
    double capture, list;
};

// The capture button's work (header row included) and the capture test with its listing.
Times nested(int levels)
{
    const std::string html = nestedPage(levels);
    Times times{};
    times.capture = seconds([&] {
        auto page = StaticDocument::parse(html, "http://bench/");
        CaptureSettings settings;
        settings.includeHeader = true;
        CaptureSession session;
        CaptureTable(*page, settings, session);
        if (session.recordCount != levels)
            std::printf("  capture walked %lld rows, not %d\n", static_cast<long long>(session.recordCount), levels);
    });
    times.list = seconds([&] {
        auto page = StaticDocument::parse(html, "http://bench/");
        captureTest(*page, false, "");
        const auto listing = listPageTables(*page);
        if (listing.chosen >= 0)
            tablePreview(*page, chooseTable(listing.entries[static_cast<std::size_t>(listing.chosen)]).keyword);
    });
    return times;
}

}  // namespace

int main()
{
    const Times shallow = nested(5000);
    const Times deep = nested(50000);
    std::printf("nested  5,000 levels: capture %.2fs  list %.2fs\n", shallow.capture, shallow.list);
    std::printf("nested 50,000 levels: capture %.2fs  list %.2fs  ratio to 5,000: capture %.1fx  list %.1fx"
                "  (linear 10x, quadratic 100x; target under 5 s)\n",
                deep.capture, deep.list, deep.capture / shallow.capture, deep.list / shallow.list);

    for (const auto &[cells, rows] : {std::pair{100, 200}, std::pair{1000, 2000}}) {
        const std::string html = spannedPage(cells, rows);
        std::size_t bytes = 0;
        std::string error;
        const double time = seconds([&] {
            auto page = StaticDocument::parse(html, "http://bench/");
            CaptureSession session;
            const auto outcome = CaptureTable(*page, CaptureSettings{}, session);
            bytes = outcome.text.size();
            error = outcome.error;
        });
        std::printf("spans %2zu KB page (%d cells of colspan=1000, %d rows): %.2fs, %s\n", html.size() / 1024,
                    cells, rows, time, error.empty() ? (std::to_string(bytes >> 20) + " MB capture").c_str() : "refused");
    }
    return 0;
}
