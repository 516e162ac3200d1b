// An after-load run over many pages measured against the loads of those pages alone.
//
// A run that follows a "下一页" link page after page is bound by the page loads: the user waits
// for them anyway. What the run adds on top (the capture of each page, the search for the next
// link, the click) is what this program weighs, with the real window and the browser it drives:
//
//   ENGINE 50 pages  load only Xs  run Ys  ratio Y/X = R  target <= 1.15
//
// ENGINE is the browser the window's pages are opened in: its own view (webengine) or the
// system's Chromium without a window (chromium). --engine both measures each in a process of
// its own, one under the other, and then weighs Chromium's run against the view's. See
// bench/README.md.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "bench_window.h"
#include "load_more_run.h"
#include "browser/browser_engine.h"
#include "browser/chromium_browser.h"
#include "browser/page_snapshot.h"
#include "browser/web_engine_setup.h"
#include "capture/capture_settings.h"
#include "capture/capture_table.h"
#include "capture/output/code_page.h"
#include "capture/next_page.h"
#include "capture/output/save_capture.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

extern char **environ;

using namespace tabvoro;
using namespace tabvoro::bench;

namespace {

constexpr double kTarget = 1.15;
// Chromium's run against the view's, over the same pages.
constexpr double kEngineTarget = 1.3;
// A run that neither loads nor captures for this long has stalled (a page notice it never took).
constexpr int kStallMs = 60'000;
// How long a page is left to itself before the breakdown's settled first call.
constexpr int kSettleMs = 200;

const char *const kNextText = "下一页";
const char *const kHeader[] = {"序号", "名称", "城市", "销量", "金额", "类别", "日期", "备注"};
const char *const kCities[] = {"北京市", "上海市", "广州市", "深圳市", "杭州市", "成都市", "武汉市", "南京市",
                               "重庆市", "天津市", "西安市", "苏州市", "长沙市", "郑州市", "青岛市", "沈阳市"};
const char *const kProducts[] = {"名称", "销量", "库存", "单价", "金额", "数量", "型号", "规格", "品牌", "产地"};
const char *const kWords[] = {"alpha", "beta", "gamma", "delta", "omega", "sigma", "kappa", "lambda", "theta",
                              "vector", "matrix", "sample", "report", "quarter", "region", "market"};
const char *const kStates[] = {"正常", "缺货", "停售", "预售", "在售"};

enum class Engine { WebEngine, Chromium, Both };
const char *const kEngineNames[] = {"webengine", "chromium", "both"};

struct Options {
    int pages = 50;
    int rows = 200;
    int runs = 3;
    bool detail = false;
    Engine engine = Engine::WebEngine;
    // Which runs: the pages chained by links, the page grown by its button, or both. The
    // growing page is run in the view only.
    bool paging = true;
    bool loadMore = true;
    LoadMoreOptions more;
    // Where a measure run for --engine both writes its best load-only time and run.
    std::string resultFile;
};

[[noreturn]] void usage(int status)
{
    std::fprintf(status ? stderr : stdout,
                 "usage: paging_run_bench [--only paging|load-more] [--pages N] [--rows R] [--clicks C]\n"
                 "                        [--batch B] [--runs K] [--detail] [--engine E]\n"
                 "  --only W     one of the two runs (both by default)\n"
                 "  --pages N    pages chained by a \"下一页\" link (default 50)\n"
                 "  --rows R     data rows of each page's table (default 200)\n"
                 "  --clicks C   presses of the \"加载更多\" button of the growing page (default 50)\n"
                 "  --batch B    rows the growing page starts with and each press brings (default 500)\n"
                 "  --runs K     load-only passes and runs, the best of each kept (default 3)\n"
                 "  --detail     always print where the run's time goes (printed anyway when the run\n"
                 "               misses its target)\n"
                 "  --engine E   webengine (the window's view, default), chromium (the system's, without\n"
                 "               a window) or both, each in a process of its own, then Chromium's run\n"
                 "               against the view's; the growing page is run in the view only\n");
    std::exit(status);
}

int positive(const char *text)
{
    int value = 0;
    const auto end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || value <= 0)
        usage(2);
    return value;
}

Options parseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--pages" && i + 1 < argc)
            options.pages = positive(argv[++i]);
        else if (arg == "--rows" && i + 1 < argc)
            options.rows = positive(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            options.runs = options.more.runs = positive(argv[++i]);
        else if (arg == "--clicks" && i + 1 < argc)
            options.more.clicks = positive(argv[++i]);
        else if (arg == "--batch" && i + 1 < argc)
            options.more.rows = positive(argv[++i]);
        else if (arg == "--only" && i + 1 < argc) {
            const std::string_view which = argv[++i];
            if (which != "paging" && which != "load-more")
                usage(2);
            options.paging = which == "paging";
            options.loadMore = !options.paging;
        }
        else if (arg == "--detail")
            options.detail = options.more.detail = true;
        else if (arg == "--engine" && i + 1 < argc) {
            const std::string_view name = argv[++i];
            const auto known = std::find(std::begin(kEngineNames), std::end(kEngineNames), name);
            if (known == std::end(kEngineNames))
                usage(2);
            options.engine = static_cast<Engine>(known - std::begin(kEngineNames));
        } else if (arg == "--result-file" && i + 1 < argc)
            options.resultFile = argv[++i];
        else if (arg == "--help" || arg == "-h")
            usage(0);
        else
            usage(2);
    }
    return options;
}

// ---- The site



std::string twoDigits(int n)
{
    std::string text = std::to_string(n);
    if (text.size() < 2)
        text.insert(0, 1, '0');
    return text;
}

QString pageName(int page) { return QStringLiteral("page%1.html").arg(page, 3, 10, QLatin1Char('0')); }

// One page of a listing split over `pages`: its own rows (ids and values differ from page to
// page, so no capture is dropped as a repeat), and the pager as the table's last row, the way
// listing sites print it. The last page still names "下一页", as plain text: sites grey it out
// rather than drop it, and the row must still read as the pager, not as data.
QByteArray listingPage(int page, int pages, int rows)
{
    Random rng{0x5461627650ULL * 31 + static_cast<std::uint64_t>(page)};
    std::string html;
    html.reserve(static_cast<std::size_t>(rows) * 260 + 2048);
    html += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>销售明细 第";
    html += std::to_string(page) + "页</title>\n</head>\n<body>\n<h1>销售明细</h1>\n";
    html += "<table class=\"list\" border=\"1\">\n<thead>\n<tr>";
    for (const char *h : kHeader)
        html += std::string("<th>") + h + "</th>";
    html += "</tr>\n</thead>\n<tbody>\n";
    for (int i = 0; i < rows; ++i) {
        const std::string id = std::to_string((page - 1) * rows + i + 1);
        const char *city = rng.pick(kCities);
        std::string words;
        for (int w = 0; w < 3; ++w)
            words += std::string(w ? " " : "") + rng.pick(kWords);
        const std::string note = i % 3 == 0 ? words + ", " + rng.pick(kStates)
                                            : std::string(rng.pick(kProducts)) + city + words;
        const std::string cells[] = {
            id,
            "<a href=\"item.html?id=" + id + "&amp;x=1\">名称" + id + "</a>",
            city,
            grouped(rng.between(1000, 9'999'999)),
            grouped(rng.between(1000, 999'999)) + "." + twoDigits(rng.between(0, 99)),
            std::string(rng.pick(kProducts)) + rng.pick(kStates),
            "2023-" + twoDigits(rng.between(1, 12)) + "-" + twoDigits(rng.between(1, 28)),
            note,
        };
        html += i % 2 ? "<tr class=\"odd\">" : "<tr class=\"even\">";
        for (const std::string &cell : cells)
            html += "<td>" + cell + "</td>";
        html += "</tr>\n";
    }
    html += "<tr class=\"pager\"><td colspan=\"8\">";
    if (page > 1)
        html += "<a href=\"" + pageName(page - 1).toStdString() + "\">上一页</a> ";
    html += "第 " + std::to_string(page) + " 页 / 共 " + std::to_string(pages) + " 页 ";
    if (page < pages)
        html += "<a href=\"" + pageName(page + 1).toStdString() + "\">" + kNextText + "</a>";
    else
        html += std::string("<span class=\"off\">") + kNextText + "</span>";
    html += "</td></tr>\n</tbody>\n</table>\n</body>\n</html>\n";
    return QByteArray::fromStdString(html);
}


// ---- Measuring



double msSince(const QElapsedTimer &clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

// Chromium, when the pages are opened in it: one for the whole measure, started before the
// first window, as a run starts it; every window drives it in turn.
browser::ChromiumBrowser *g_chromium = nullptr;

BenchWindow openWindow(const QUrl &warmUp) { return openBenchWindow(warmUp, g_chromium, "paging_run_bench"); }

// Whether `progress` and `maximum` are the mark an engine shows as a load ends: "0/0", told
// just before the page's DocumentComplete.
bool loadEndMark(int progress, int maximum) { return progress == 0 && maximum == 0; }

// When each page's load started and finished, as the engine reports them. The finish is taken
// from the progress mark "0/0", which either engine tells just before DocumentComplete: the run
// took that notice before this bench could (its handler captures the page and steps on before
// it returns), the mark comes before the handler starts.
struct Timeline {
    QElapsedTimer clock;
    std::vector<double> loadStarted, loadFinished, kept;
    double openMs = 0, startMs = 0, endMs = 0;

    void watch(ui::Frmmain &w, QObject *context)
    {
        browser::BrowserEngine *engine = w.browserEngine();
        QObject::connect(engine, &browser::BrowserEngine::LoadStarted, context, [this] { loadStarted.push_back(now()); });
        QObject::connect(engine, &browser::BrowserEngine::ProgressChange, context, [this](int progress, int maximum) {
            // A stop also shows the mark; a load that ends twice is counted once.
            if (loadEndMark(progress, maximum) && loadFinished.size() < loadStarted.size())
                loadFinished.push_back(now());
        });
        QObject::connect(&w, &ui::Frmmain::captureKept, context, [this] { kept.push_back(now()); });
    }
    double now() const { return msSince(clock); }
};

struct LoadOnly {
    bool ok = false;
    double seconds = 0;
    Timeline timeline;
    std::vector<double> navigateCalled;
};

LoadOnly loadOnly(const QUrl &warmUp, const std::vector<QUrl> &urls)
{
    BenchWindow b = openWindow(warmUp);
    ui::Frmmain &w = *b.window;
    LoadOnly result;
    QObject context;
    result.timeline.clock.start();
    result.timeline.watch(w, &context);
    QElapsedTimer clock;
    clock.start();
    for (const QUrl &url : urls) {
        result.navigateCalled.push_back(result.timeline.now());
        if (!loadAndWait(w, url, [&] { w.browserEngine()->Navigate(url.toString()); })) {
            std::fprintf(stderr, "paging_run_bench: %s did not load\n", qPrintable(url.toString()));
            return result;
        }
    }
    result.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    result.timeline.endMs = result.timeline.now();
    result.ok = true;
    b.window.reset();
    flushDeletes();
    return result;
}

struct Run {
    bool ok = false;
    double seconds = 0;      // page 1 opened + the run from the click to the idle caption
    double openSeconds = 0;  // page 1 opened
    int captures = 0;
    long long lines = -1;
    bool stalled = false;
    Timeline timeline;
};

void setRunControls(ui::Frmmain &w)
{
    w.txtNp->setText(QString::fromUtf8(kNextText));
    w.Option1[0]->setChecked(true);
    w.CheckDs->setChecked(false);
}

Run pagingRun(const QUrl &warmUp, const std::vector<QUrl> &urls)
{
    BenchWindow b = openWindow(warmUp);
    ui::Frmmain &w = *b.window;
    Run run;
    setRunControls(w);
    QObject context;
    run.timeline.clock.start();
    run.timeline.watch(w, &context);

    QElapsedTimer clock;
    run.timeline.openMs = run.timeline.now();
    clock.start();
    if (!openAndWait(w, urls.front())) {
        std::fprintf(stderr, "paging_run_bench: the first page did not load\n");
        return run;
    }
    run.openSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // Set after the load: opening an address clears the keyword.
    w.txtGjz->setText(QString::fromUtf8(kHeader[0]));

    QEventLoop loop;
    double lastProgress = 0;
    QObject::connect(&w, &ui::Frmmain::captureKept, &loop, [&] {
        ++run.captures;
        lastProgress = run.timeline.now();
    });
    QObject::connect(w.browserEngine(), &browser::BrowserEngine::DocumentComplete, &loop,
                     [&] { lastProgress = run.timeline.now(); });
    // The end is looked for as a user sees it, by the run no longer being on. A fine poll once the last page is in keeps
    // the wait for it short; a coarse one meanwhile notices an early end or a stall without
    // weighing on the run.
    QTimer fine, coarse;
    fine.setTimerType(Qt::PreciseTimer);
    fine.setInterval(1);
    coarse.setInterval(100);
    const auto check = [&] {
        if (!w.running()) {
            loop.quit();
        } else if (run.timeline.now() - lastProgress > kStallMs) {
            run.stalled = true;
            loop.quit();
        } else if (run.captures >= static_cast<int>(urls.size()) && !fine.isActive()) {
            fine.start();
        }
    };
    QObject::connect(&fine, &QTimer::timeout, &loop, check);
    QObject::connect(&coarse, &QTimer::timeout, &loop, check);

    run.timeline.startMs = run.timeline.now();
    lastProgress = run.timeline.startMs;
    clock.restart();
    w.Command1->click();
    coarse.start();
    if (w.running())
        loop.exec();
    run.seconds = run.openSeconds + static_cast<double>(clock.nsecsElapsed()) / 1e9;
    run.timeline.endMs = run.timeline.now();
    // The polls read the window: neither may fire once it is gone.
    fine.stop();
    coarse.stop();
    if (run.stalled)
        w.Command1->click();  // the pause: ends the armed run before the window goes
    run.lines = countLines(w.OutputPath());
    run.ok = !run.stalled && run.captures == static_cast<int>(urls.size());
    b.window.reset();
    flushDeletes();
    return run;
}

// ---- Where the time goes


double sumOf(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum;
}

// The run's own timeline cut at the engine's reports: for page k, the load (LoadStarted to the
// load's end, the progress mark "0/0"), the capture (to captureKept: snapshot, extraction, save, text box, file
// list), and the step (to the next loadStarted: the yield, the next-page snapshot, the search
// and the click). The load-only pass is cut the same way, its own gap being the one from
// Navigate() to LoadStarted.
void printTimeline(const LoadOnly &reference, const Run &run, int pages)
{
    const Timeline &r = reference.timeline;
    const Timeline &t = run.timeline;
    // The warm-up page was loaded before either clock started: every report counted here is one
    // of the pages measured.
    if (static_cast<int>(r.loadStarted.size()) < pages || static_cast<int>(r.loadFinished.size()) < pages ||
        static_cast<int>(t.loadStarted.size()) < pages || static_cast<int>(t.loadFinished.size()) < pages ||
        static_cast<int>(t.kept.size()) < pages) {
        std::printf("  timeline incomplete (load-only %zu/%zu, run %zu/%zu/%zu reports)\n", r.loadStarted.size(),
                    r.loadFinished.size(), t.loadStarted.size(), t.loadFinished.size(), t.kept.size());
        return;
    }
    std::vector<double> refGap, refLoad, refNotice, runLoad, capture, step;
    for (int k = 0; k < pages; ++k) {
        refGap.push_back(r.loadStarted[k] - reference.navigateCalled[k]);
        refLoad.push_back(r.loadFinished[k] - r.loadStarted[k]);
        const double nextStart = k + 1 < pages ? reference.navigateCalled[k + 1] : r.endMs;
        refNotice.push_back(nextStart - r.loadFinished[k]);
        runLoad.push_back(t.loadFinished[k] - t.loadStarted[k]);
        capture.push_back(t.kept[k] - t.loadFinished[k]);
        if (k + 1 < pages)
            step.push_back(t.loadStarted[k + 1] - t.kept[k]);
    }
    const double refTotal = reference.seconds * 1000;
    const double runTotal = run.seconds * 1000;
    const double page1Gap = t.loadStarted[0] - t.openMs;
    const double clickToFirstStep = t.startMs - t.loadFinished[0];
    const double endWait = t.endMs - t.kept[pages - 1];
    const auto line = [](const char *what, double total, int count) {
        std::printf("    %-58s %8.0f ms  %7.1f ms/page\n", what, total, count ? total / count : 0.0);
    };
    std::printf("  where the time goes (the best load-only pass and the best run, cut at the engine's reports)\n");
    std::printf("   load only (%.0f ms)\n", refTotal);
    line("Navigate() to LoadStarted", sumOf(refGap), pages);
    line("LoadStarted to the load's end (the load)", sumOf(refLoad), pages);
    line("the load's end to the next Navigate() (notice, loop)", sumOf(refNotice), pages);
    std::printf("   run (%.0f ms, %.0f over the loads)\n", runTotal, runTotal - refTotal);
    line("OpenAddress() of page 1 to LoadStarted", page1Gap, 1);
    line("LoadStarted to the load's end (the load)", sumOf(runLoad), pages);
    line("page 1 complete to the click (keyword set, notice)", clickToFirstStep, 1);
    line("the load's end to captureKept (capture)", sumOf(capture), pages);
    line("captureKept to the next LoadStarted (yield, next-page step)", sumOf(step), pages - 1);
    line("last captureKept to the idle caption (last step, end)", endWait, 1);
    std::printf("    load difference, run - load only: %.0f ms (%.1f ms/page)\n", sumOf(runLoad) - sumOf(refLoad),
                (sumOf(runLoad) - sumOf(refLoad)) / pages);
}

struct StageTimes {
    double firstCall = 0, firstCallSettled = 0, layout = 0, layoutCall = 0, emptyCall = 0;
    int immediatePages = 0, settledPages = 0;
    double captureSnapshot = 0, captureScript = 0, parse = 0, extract = 0, save = 0, shown = 0;
    double nextSnapshot = 0, nextSearch = 0, yield = 0;
    int pages = 0;
    int captureChars = 0, nextChars = 0;
};

// Each stage of one page's capture and step timed alone, the way the window runs them, on pages
// loaded in a window of their own (no run armed, so its page notice does nothing). The click and
// the yield before it are not repeated here: the click leaves the page.
StageTimes measureStages(const QUrl &warmUp, const std::vector<QUrl> &urls, int count)
{
    StageTimes parts;
    BenchWindow b = openWindow(warmUp);
    ui::Frmmain &w = *b.window;
    setRunControls(w);
    QTemporaryDir out;
    for (int k = 0; k < count && k < static_cast<int>(urls.size()); ++k) {
        if (!openAndWait(w, urls[k]))
            break;
        w.txtGjz->setText(QString::fromUtf8(kHeader[0]));
        const capture::CaptureSettings settings = w.readCaptureSettings();
        const auto evaluate = [&w](const QString &script) { return w.browserEngine()->evaluate(script); };

        // The capture's read taken apart: the layout it forces first (the load-only pass never
        // lays a page out, the next load comes first), an empty call's round trip, the script
        // in the page, and what is left of the read: its answer carried to the program.
        const auto inPageMs = [&evaluate](const QString &script) {
            const auto ms = evaluate(script);
            return ms && ms->canConvert<double>() ? ms->toDouble() : -1.0;
        };
        // Every other page has some time to itself before the first call: a first call that
        // is slow right after the load and fast then waits on the renderer's work after the
        // load, not on anything of its own.
        const bool settled = k % 2 == 1;
        if (settled) {
            QEventLoop idle;
            QTimer::singleShot(kSettleMs, &idle, &QEventLoop::quit);
            idle.exec();
        }
        QElapsedTimer clock;
        clock.start();
        (void)evaluate(QStringLiteral("0"));
        (settled ? parts.firstCallSettled : parts.firstCall) += msSince(clock);
        ++(settled ? parts.settledPages : parts.immediatePages);
        clock.restart();
        parts.layout += inPageMs(QStringLiteral(
            "(function () { const t = performance.now(); void document.body.offsetHeight;"
            " return performance.now() - t; })()"));
        parts.layoutCall += msSince(clock);
        clock.restart();
        (void)evaluate(QStringLiteral("0"));
        parts.emptyCall += msSince(clock);

        const browser::SnapshotRequest request = browser::SnapshotRequest::forCapture(settings);
        clock.restart();
        const auto answer = evaluate(QStringLiteral("(function () { const t = performance.now(); const r = (") +
                                     browser::snapshotScript(request) +
                                     QStringLiteral("); globalThis.__benchMs = performance.now() - t; return r; })()"));
        parts.captureSnapshot += msSince(clock);
        if (!answer || answer->typeId() != QMetaType::QString)
            break;
        parts.captureScript += inPageMs(QStringLiteral("globalThis.__benchMs"));
        const QString json = answer->toString();
        parts.captureChars = static_cast<int>(json.size());
        clock.restart();
        auto document = browser::parseSnapshot(json, request);
        parts.parse += msSince(clock);
        if (!document)
            break;
        capture::CaptureSession session;
        clock.restart();
        const auto outcome = capture::CaptureTable(**document, settings, session);
        parts.extract += msSince(clock);
        const capture::SaveTarget target{settings.url, settings.ruled, (out.path() + "/").toStdString(),
                                         capture::systemCodePage(), false};
        clock.restart();
        const auto saved = capture::SaveCapture(outcome.text, target, session);
        parts.save += msSince(clock);
        clock.restart();
        QString shown = QString::fromStdString(saved.shownText);
        shown.replace("\r\n", "\n");
        w.Text1->setPlainText(shown);
        parts.shown += msSince(clock);

        clock.restart();
        QCoreApplication::processEvents();
        parts.yield += msSince(clock);

        const browser::SnapshotRequest nextRequest = browser::SnapshotRequest::forNextPage(settings.nextPageText);
        clock.restart();
        const auto nextAnswer = evaluate(browser::snapshotScript(nextRequest));
        parts.nextSnapshot += msSince(clock);
        if (!nextAnswer || nextAnswer->typeId() != QMetaType::QString)
            break;
        parts.nextChars = static_cast<int>(nextAnswer->toString().size());
        clock.restart();
        auto nextPage = browser::parseSnapshot(nextAnswer->toString(), nextRequest);
        if (!nextPage)
            break;
        capture::NextPageInput input;
        input.page = nextPage->get();
        input.captureOnLoad = true;
        const capture::NextPageStep step = capture::OpenNextPage(settings, input);
        parts.nextSearch += msSince(clock);
        const bool clicks = std::holds_alternative<capture::ClickElement>(step.action);
        if (clicks != (k + 1 < static_cast<int>(urls.size())))
            std::printf("    page %d: the step %s\n", k + 1, clicks ? "clicks" : "does not click");
        ++parts.pages;
    }
    b.window.reset();
    flushDeletes();
    return parts;
}

void printStages(const StageTimes &p)
{
    if (p.pages == 0) {
        std::printf("  the stages could not be timed alone\n");
        return;
    }
    const auto line = [&p](const char *what, double total) {
        std::printf("    %-58s %7.1f ms/page\n", what, total / p.pages);
    };
    std::printf("   each stage alone, over %d pages freshly loaded\n", p.pages);
    std::printf("    %-58s %7.1f ms/page\n", "first script call right after the load (an empty one)",
                p.immediatePages ? p.firstCall / p.immediatePages : 0.0);
    const std::string settled = "  the same once the page has had " + std::to_string(kSettleMs) + " ms to itself";
    std::printf("    %-58s %7.1f ms/page\n", settled.c_str(), p.settledPages ? p.firstCallSettled / p.settledPages : 0.0);
    line("layout forced before the capture's read (in the page)", p.layout);
    line("  the call that forced it, in all", p.layoutCall);
    line("an empty script's round trip", p.emptyCall);
    line("capture snapshot once laid out (script call, answer back)", p.captureSnapshot);
    line("  the snapshot script in the page", p.captureScript);
    line("  its JSON read into the snapshot document", p.parse);
    line("  extraction (capture::CaptureTable)", p.extract);
    line("  save (capture::SaveCapture)", p.save);
    line("  text box filled (Text1)", p.shown);
    line("yield (one processEvents)", p.yield);
    line("next-page snapshot (element list, link HTML needle)", p.nextSnapshot);
    line("  its JSON read, the link searched (capture::OpenNextPage)", p.nextSearch);
    std::printf("    answers: capture %.0f k characters, next-page %.0f k characters\n", p.captureChars / 1e3,
                p.nextChars / 1e3);
}

// Measures in this process in the engine of `options`: the best load-only pass and the best run,
// one line, and where the time goes when asked or when the run misses its target.
int measure(const Options &options, int argc, char **argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    const bool loadMore = options.loadMore && options.engine == Engine::WebEngine;
    if (!options.paging) {
        if (!loadMore) {
            std::fprintf(stderr, "paging_run_bench: the growing page is run in the view only\n");
            return 2;
        }
        return loadMoreBench(options.more) ? 0 : 1;
    }
    const char *engineName = kEngineNames[static_cast<int>(options.engine)];
    std::optional<browser::ChromiumBrowser> chromium;
    if (options.engine == Engine::Chromium) {
        chromium.emplace();
        if (auto started = chromium->start(); !started) {
            std::fprintf(stderr, "paging_run_bench: Chromium did not start: %s\n", started.error().message.c_str());
            return 1;
        }
        g_chromium = &*chromium;
    }

    QTemporaryDir site;
    std::vector<QUrl> urls;
    bool written = site.isValid() &&
                   writeFile(site.filePath("warm.html"),
                             "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>准备</body></html>");
    for (int page = 1; written && page <= options.pages; ++page) {
        const QString path = site.filePath(pageName(page));
        written = writeFile(path, listingPage(page, options.pages, options.rows));
        urls.push_back(QUrl::fromLocalFile(path));
    }
    if (!written) {
        std::fprintf(stderr, "paging_run_bench: cannot write the pages\n");
        return 1;
    }
    const QUrl warmUp = QUrl::fromLocalFile(site.filePath("warm.html"));

    LoadOnly bestLoad;
    bestLoad.seconds = std::numeric_limits<double>::infinity();
    Run bestRun;
    bestRun.seconds = std::numeric_limits<double>::infinity();
    bool allOk = true;
    for (int i = 0; i < options.runs; ++i) {
        LoadOnly load = loadOnly(warmUp, urls);
        Run run = pagingRun(warmUp, urls);
        if (options.detail)
            std::printf("  pass %d: load only %.2fs  run %.2fs (page 1 %.2fs)  captures %d  lines %lld%s\n", i + 1,
                        load.seconds, run.seconds, run.openSeconds, run.captures, run.lines,
                        run.stalled ? "  STALLED" : "");
        if (!load.ok) {
            std::printf("%-9s %d pages  load only FAILED\n", engineName, options.pages);
            return 1;
        }
        if (!run.ok) {
            allOk = false;
            std::printf("  run %d: %d captures of %d%s, %lld lines\n", i + 1, run.captures, options.pages,
                        run.stalled ? ", stalled (no load or capture for 60 s)" : "", run.lines);
        }
        if (load.seconds < bestLoad.seconds)
            bestLoad = std::move(load);
        if (run.ok && run.seconds < bestRun.seconds)
            bestRun = std::move(run);
    }
    if (!bestRun.ok) {
        std::printf("%-9s %d pages  load only %.2fs  run FAILED\n", engineName, options.pages, bestLoad.seconds);
        return 1;
    }

    const long long expected = static_cast<long long>(options.pages) * options.rows;
    const double ratio = bestRun.seconds / bestLoad.seconds;
    std::printf("%-9s %d pages  load only %.2fs  run %.2fs  ratio Y/X = %.2f  target <= %.2f\n", engineName,
                options.pages, bestLoad.seconds, bestRun.seconds, ratio, kTarget);
    std::printf("  captures %d of %d  output lines %lld of %lld%s\n", bestRun.captures, options.pages, bestRun.lines,
                expected, bestRun.lines == expected ? "" : "  MISMATCH");
    if (ratio > kTarget)
        std::printf("  target missed\n");
    std::fflush(stdout);
    if (!options.resultFile.empty()) {
        if (std::FILE *out = std::fopen(options.resultFile.c_str(), "w")) {
            std::fprintf(out, "%.6f %.6f\n", bestLoad.seconds, bestRun.seconds);
            std::fclose(out);
        }
    }
    if (options.detail || ratio > kTarget) {
        printTimeline(bestLoad, bestRun, options.pages);
        printStages(measureStages(warmUp, urls, std::min(options.pages, 10)));
    }
    std::fflush(stdout);
    g_chromium = nullptr;
    const bool moreOk = !loadMore || loadMoreBench(options.more);
    return allOk && moreOk && bestRun.lines == expected ? 0 : 1;
}

// The best load-only time and run a measure in a process of its own found.
struct Measured {
    double loadSeconds = 0;
    double runSeconds = 0;
};

// Measures in `engine` in a process of its own, with the other options as given: each engine
// starts from a fresh program, so neither pays for what the other left behind (the view's
// renderer, Chromium's processes), and their lines come one under the other.
std::optional<Measured> measureInChild(Engine engine, const Options &options)
{
    char resultPath[] = "/tmp/paging_run_bench.XXXXXX";
    const int fd = mkstemp(resultPath);
    if (fd < 0) {
        std::perror("paging_run_bench: mkstemp");
        return std::nullopt;
    }
    close(fd);
    std::vector<std::string> args = {"paging_run_bench",
                                     "--pages", std::to_string(options.pages),
                                     "--rows", std::to_string(options.rows),
                                     "--runs", std::to_string(options.runs),
                                     "--clicks", std::to_string(options.more.clicks),
                                     "--batch", std::to_string(options.more.rows),
                                     "--engine", kEngineNames[static_cast<int>(engine)],
                                     "--result-file", resultPath};
    if (!options.loadMore) {
        args.emplace_back("--only");
        args.emplace_back("paging");
    }
    if (options.detail)
        args.emplace_back("--detail");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    pid_t child = 0;
    std::optional<Measured> measured;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("paging_run_bench: posix_spawn");
    } else {
        int waitStatus = 0;
        waitpid(child, &waitStatus, 0);
        // A run that failed writes nothing; one whose output file is short has still been timed.
        if (std::FILE *in = std::fopen(resultPath, "r")) {
            Measured m;
            if (std::fscanf(in, "%lf %lf", &m.loadSeconds, &m.runSeconds) == 2 && WIFEXITED(waitStatus) &&
                WEXITSTATUS(waitStatus) == 0)
                measured = m;
            std::fclose(in);
        }
    }
    unlink(resultPath);
    return measured;
}

// Each engine in a process of its own, the view first, then Chromium's run against the view's.
int measureBoth(const Options &options)
{
    const auto view = measureInChild(Engine::WebEngine, options);
    const auto chromium = measureInChild(Engine::Chromium, options);
    if (!view || !chromium) {
        std::printf("chromium/webengine  no ratio: the %s run failed\n", !view ? "view's" : "Chromium's");
        return 1;
    }
    const double ratio = chromium->runSeconds / view->runSeconds;
    std::printf("chromium/webengine  run %.2fs / %.2fs = %.2f  loads %.2fs / %.2fs = %.2f  target <= %.2f\n",
                chromium->runSeconds, view->runSeconds, ratio, chromium->loadSeconds, view->loadSeconds,
                chromium->loadSeconds / view->loadSeconds, kEngineTarget);
    if (ratio > kEngineTarget)
        std::printf("  target missed\n");
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options = parseOptions(argc, argv);
    if (options.engine == Engine::Both && options.paging)
        return measureBoth(options);
    // The growing page alone: there is nothing to weigh the engines by.
    if (options.engine == Engine::Both)
        options.engine = Engine::WebEngine;
    return measure(options, argc, argv);
}
