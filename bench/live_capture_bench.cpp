// The live capture of the main window measured against the page load it follows.
//
// A user opens a page, then captures it; a run does the same page after page. What the capture
// adds on top of the load is what this program weighs: the real window, the real web view, a
// page with one large listing table. One line per table size:
//
//   ENGINE rows N  load Xs  capture Ys (snapshot+extract+save)  ratio Y/X = R  target <= 0.33  peak RSS Z MB
//
// ENGINE is the browser the window's pages are opened in: its own view (webengine) or the
// system's Chromium without a window (chromium); --engine both measures each, side by side.
// Without --rows both sizes run, each size and engine in a process of its own, so each peak is
// its own. See bench/README.md.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

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
#include "browser/chromium_browser.h"
#include "browser/page_snapshot.h"
#include "browser/web_browser.h"
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

constexpr double kTarget = 0.33;
constexpr int kDefaultRows[] = {20'000, 100'000};
constexpr int kLoadTimeoutMs = 600'000;
// The breakdown reads the page itself and must see the whole cost, however long it is.
constexpr int kScriptTimeoutMs = 600'000;

const char *const kHeader[] = {"序号", "名称", "城市", "销量", "金额", "代码", "类别", "占比", "日期", "备注"};
const char *const kCities[] = {"北京市", "上海市", "广州市", "深圳市", "杭州市", "成都市", "武汉市", "南京市",
                               "重庆市", "天津市", "西安市", "苏州市", "长沙市", "郑州市", "青岛市", "沈阳市"};
const char *const kProducts[] = {"名称", "销量", "库存", "单价", "金额", "数量", "型号", "规格", "品牌", "产地"};
const char *const kWords[] = {"alpha", "beta", "gamma", "delta", "omega", "sigma", "kappa", "lambda", "theta",
                              "vector", "matrix", "sample", "report", "quarter", "region", "market"};
const char *const kStates[] = {"正常", "缺货", "停售", "预售", "在售"};

enum class Engine { WebEngine, Chromium, Both };
const char *const kEngineNames[] = {"webengine", "chromium", "both"};

struct Options {
    std::vector<int> rows;
    int runs = 3;
    bool detail = false;
    Engine engine = Engine::WebEngine;
};

[[noreturn]] void usage(int status)
{
    std::fprintf(status ? stderr : stdout,
                 "usage: live_capture_bench [--rows N] [--runs K] [--detail] [--engine E]\n"
                 "  --rows N     one table of N rows (default: 20000, then 100000, each in its own process)\n"
                 "  --runs K     page loads and captures per size, the best of each kept (default 3)\n"
                 "  --detail     always print where the capture's time goes (printed anyway when the\n"
                 "               capture misses its target)\n"
                 "  --engine E   webengine (the window's view, default), chromium (the system's, without\n"
                 "               a window) or both, each size measured in one and then the other\n");
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
        if (arg == "--rows" && i + 1 < argc)
            options.rows.push_back(positive(argv[++i]));
        else if (arg == "--runs" && i + 1 < argc)
            options.runs = positive(argv[++i]);
        else if (arg == "--detail")
            options.detail = true;
        else if (arg == "--engine" && i + 1 < argc) {
            const std::string_view name = argv[++i];
            const auto known = std::find(std::begin(kEngineNames), std::end(kEngineNames), name);
            if (known == std::end(kEngineNames))
                usage(2);
            options.engine = static_cast<Engine>(known - std::begin(kEngineNames));
        }
        else if (arg == "--help" || arg == "-h")
            usage(0);
        else
            usage(2);
    }
    return options;
}

// ---- The page



std::string twoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// A listing table as shop and statistics pages print them: grouped numbers, Chinese text, links
// with an escaped "&", free text with commas, striped rows.
QByteArray listingPage(int rows)
{
    Random rng{0x5461627630ULL + static_cast<std::uint64_t>(rows)};
    std::string html;
    html.reserve(static_cast<std::size_t>(rows) * 280 + 1024);
    html += "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    html += std::to_string(rows) + " 行数据</title>\n</head>\n<body>\n<h1>销售明细</h1>\n";
    html += "<table class=\"list\" border=\"1\">\n<thead>\n<tr>";
    for (const char *h : kHeader)
        html += std::string("<th>") + h + "</th>";
    html += "</tr>\n</thead>\n<tbody>\n";
    for (int i = 0; i < rows; ++i) {
        const std::string id = std::to_string(i + 1);
        const char *city = rng.pick(kCities);
        std::string words;
        for (int w = 0; w < 3; ++w)
            words += std::string(w ? " " : "") + rng.pick(kWords);
        const std::string note = i % 3 == 0 ? words + ", " + rng.pick(kStates)
                                            : std::string(rng.pick(kProducts)) + city + words;
        const int cents = rng.between(0, 99);
        const std::string cells[] = {
            id,
            "<a href=\"/item?id=" + id + "&amp;x=1\">名称" + id + "</a>",
            city,
            grouped(rng.between(1000, 9'999'999)),
            grouped(rng.between(1000, 999'999)) + "." + twoDigits(cents),
            std::string(rng.pick(kWords)) + "-" + std::to_string(rng.between(10, 999)),
            std::string(rng.pick(kProducts)) + rng.pick(kStates),
            std::to_string(rng.between(0, 99)) + "." + std::to_string(rng.between(0, 9)) + "%",
            "2023-" + twoDigits(rng.between(1, 12)) + "-" + twoDigits(rng.between(1, 28)),
            note,
        };
        html += i % 2 ? "<tr class=\"odd\">" : "<tr class=\"even\">";
        for (const std::string &cell : cells)
            html += "<td>" + cell + "</td>";
        html += "</tr>\n";
    }
    html += "</tbody>\n</table>\n</body>\n</html>\n";
    return QByteArray::fromStdString(html);
}


// ---- Measuring

double peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kB on Linux
}

// The renderer runs in a process of its own that getrusage does not see; its high-water mark
// is in /proc while it lives.
double processPeakMb(qint64 pid)
{
    if (pid <= 0)
        return 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}



// The largest high-water mark among the processes of group `group` (Chromium's browser,
// renderers and helpers).
double groupPeakMb(qint64 group)
{
    double peak = 0;
    if (group <= 0)
        return peak;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!entry.toInt() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group)
            peak = std::max(peak, processPeakMb(entry.toLongLong()));
    }
    return peak;
}

// The page of the window's view: the bench measures its renderer.
QWebEnginePage *viewPage(ui::Frmmain &window)
{
    return static_cast<QWebEngineView *>(window.webBrowser()->widget())->page();
}

// The engine's largest process now: the view's renderer, or Chromium's largest process.
double rendererPeakMb(ui::Frmmain &window)
{
    if (auto *chromium = qobject_cast<browser::ChromiumBrowser *>(window.browserEngine()))
        return groupPeakMb(chromium->processGroup());
    return processPeakMb(viewPage(window)->renderProcessPid());
}

// What a load came to. The renderer's high-water mark is sampled while the page loads: a page too
// large for the engine ends its renderer, and /proc forgets a process once it is gone.
struct Load {
    bool ok = false;
    double seconds = 0;
    double rendererPeakMb = 0;
    int rendererEnds = 0;  // renderer processes that ended during the load
};

// Opens `url` as the address box does and waits until the main frame has completed that address;
// the blank page a new window opens with, or an earlier page, may complete meanwhile and is not
// it. A renderer that dies is reloaded once by the view, which then gives up with a failed load.
Load openAndWait(ui::Frmmain &window, const QUrl &url)
{
    Load load;
    QEventLoop loop;
    bool done = false;
    browser::BrowserEngine *engine = window.browserEngine();
    QObject::connect(engine, &browser::BrowserEngine::DocumentComplete, &loop, [&](const QUrl &completed, bool success) {
        if (completed != url)
            return;
        done = true;
        load.ok = success;
        loop.quit();
    });
    QObject::connect(viewPage(window), &QWebEnginePage::renderProcessTerminated, &loop,
                     [&load] { ++load.rendererEnds; });
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &loop, [&load, &window] {
        load.rendererPeakMb = std::max(load.rendererPeakMb, rendererPeakMb(window));
    });
    sampler.start(200);
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    const QString address = url.toString();
    window.Txturl->setText(address);
    QElapsedTimer clock;
    clock.start();
    window.OpenAddress(address);
    if (!done)
        loop.exec();
    load.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    load.rendererPeakMb = std::max(load.rendererPeakMb, rendererPeakMb(window));
    return load;
}

// A window of its own for every measure: its capture session is new, so the capture is never
// dropped as a repeat of the one before, and its output folder is new, so the file counted holds
// this capture alone.
struct Bench {
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<ui::Frmmain> window;
};

// Chromium, when the pages are opened in it: one for the whole measure, started before the
// first window, as a run starts it.
browser::ChromiumBrowser *g_chromium = nullptr;

Bench openWindow(const QUrl &warmUp)
{
    Bench b;
    b.folder = std::make_unique<QTemporaryDir>();
    ui::FrmmainOptions options;
    options.programFolder = b.folder->path() + "/";
    options.openStartPage = false;
    options.reportOpenBrowserWindows = false;
    options.browserEngine = g_chromium;
    b.window = std::make_unique<ui::Frmmain>(options);
    b.window->show();
    // A user opens the page in a window that is already up, its renderer running: the warm-up
    // page keeps the start of that process out of the load measured.
    if (!openAndWait(*b.window, warmUp).ok) {
        std::fprintf(stderr, "live_capture_bench: the warm-up page did not load\n");
        std::exit(1);
    }
    return b;
}


double msSince(const QElapsedTimer &clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

// The capture taken apart on a page freshly loaded, stage by stage, the way Command1 runs them.
// The page is read once, as the capture reads it, by the same script inside a timer of its own
// that first forces a layout: that splits the engine's layout of the table from the script proper,
// and what the read costs beyond both is the trip of the answer to us. The timings stay in the
// isolated world and are fetched by a second, tiny script.
void printBreakdown(const QUrl &warmUp, const QUrl &page, double captureSeconds)
{
    Bench b = openWindow(warmUp);
    ui::Frmmain &w = *b.window;
    if (!openAndWait(w, page).ok) {
        std::fprintf(stderr, "live_capture_bench: the page did not load for the breakdown\n");
        return;
    }
    w.txtGjz->setText(QString::fromUtf8(kHeader[0]));
    const capture::CaptureSettings settings = w.readCaptureSettings();
    const browser::SnapshotRequest request = browser::SnapshotRequest::forCapture(settings);
    const QString script = browser::snapshotScript(request);

    const QString timed = QStringLiteral(
                              "(function () { const t0 = performance.now(); void document.body.offsetHeight;"
                              " const t1 = performance.now(); const r = (") +
                          script +
                          QStringLiteral("); globalThis.__benchTimes = JSON.stringify([t1 - t0, performance.now() - t1]);"
                                         " return r; })()");
    QElapsedTimer clock;
    clock.start();
    const auto answer = w.browserEngine()->evaluate(timed, kScriptTimeoutMs);
    const double readMs = msSince(clock);
    if (!answer || answer->typeId() != QMetaType::QString) {
        std::fprintf(stderr, "live_capture_bench: the page gave no snapshot for the breakdown\n");
        return;
    }
    double layoutMs = -1, scriptMs = -1;
    if (const auto times = w.browserEngine()->evaluate(QStringLiteral("globalThis.__benchTimes"));
        times && times->typeId() == QMetaType::QString) {
        const QJsonArray parts = QJsonDocument::fromJson(times->toString().toUtf8()).array();
        layoutMs = parts.at(0).toDouble();
        scriptMs = parts.at(1).toDouble();
    }
    const QString json = answer->toString();

    clock.restart();
    const QByteArray jsonUtf8 = json.toUtf8();
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(jsonUtf8, &error);
    const double jsonMs = msSince(clock);
    clock.restart();
    auto document = browser::parseSnapshot(json, request);
    const double parseMs = msSince(clock);
    if (!document) {
        std::fprintf(stderr, "live_capture_bench: %s\n", document.error().message.c_str());
        return;
    }

    capture::CaptureSession session;
    clock.restart();
    const auto outcome = capture::CaptureTable(**document, settings, session);
    const double extractMs = msSince(clock);

    QTemporaryDir out;
    const capture::SaveTarget target{settings.url, settings.ruled, (out.path() + "/").toStdString(),
                                     capture::systemCodePage(), false};
    clock.restart();
    const auto saved = capture::SaveCapture(outcome.text, target, session);
    const double saveMs = msSince(clock);

    clock.restart();
    QString shown = QString::fromStdString(saved.shownText);
    shown.replace("\r\n", "\n");
    w.Text1->setPlainText(shown);
    const double shownMs = msSince(clock);

    const double transferMs = readMs - layoutMs - scriptMs;
    const double toDocumentMs = parseMs - jsonMs;
    const double stages = readMs + parseMs + extractMs + saveMs + shownMs;
    const auto line = [stages](const char *what, double ms) {
        std::printf("    %-52s %9.0f ms  %5.1f%%\n", what, ms, stages > 0 ? 100.0 * ms / stages : 0.0);
    };
    std::printf("  where the capture's time goes (a fresh load; the capture measured above: %.0f ms)\n",
                captureSeconds * 1000);
    line("layout of the page, forced before the script", layoutMs);
    line("snapshot script in the page (texts, spans, JSON)", scriptMs);
    line("answer carried to the program (the rest of the read)", transferMs);
    line("JSON text parsed (QJsonDocument)", jsonMs);
    line("parsed JSON read into the snapshot document", toDocumentMs);
    line("extraction (capture::CaptureTable)", extractMs);
    line("save (capture::SaveCapture, code page + append)", saveMs);
    line("text box filled with the capture (Text1)", shownMs);
    std::printf("    %-52s %9.0f ms\n", "sum", stages);
    std::printf("    answer %.1f M characters, %.1f MB as UTF-8; %lld records; parse %s\n",
                static_cast<double>(json.size()) / 1e6, static_cast<double>(jsonUtf8.size()) / 1048576.0,
                static_cast<long long>(session.recordCount),
                error.error == QJsonParseError::NoError && parsed.isObject() ? "ok" : "failed");
    // The script's own parts, each timed alone on the same page right after: warm by then, so
    // they add up to less than the first read, but their shares show where it goes.
    const QString needle = QString::fromUtf8(
        QJsonDocument(QJsonArray{QString::fromStdString(request.rowNeedle.value_or(std::string()))})
            .toJson(QJsonDocument::Compact));
    const QString probe = QStringLiteral(
        "(function (needle) {"
        " const rows = document.getElementsByTagName('table')[0].rows; const n = rows.length;"
        " let t = performance.now(); const texts = new Array(n);"
        " for (let r = 0; r < n; ++r) { const cells = rows[r].cells; const a = new Array(cells.length);"
        "   for (let c = 0; c < cells.length; ++c) a[c] = cells[c].innerText; texts[r] = a; }"
        " const innerTextMs = performance.now() - t; t = performance.now();"
        " let hits = 0; for (let r = 0; r < n; ++r) if (rows[r].innerHTML.includes(needle)) ++hits;"
        " const rowHtmlMs = performance.now() - t; t = performance.now();"
        " const json = JSON.stringify({r: texts});"
        " const stringifyMs = performance.now() - t; t = performance.now();"
        " let chars = 0; for (let r = 0; r < n; ++r) { const cells = rows[r].cells;"
        "   for (let c = 0; c < cells.length; ++c) chars += cells[c].textContent.length; }"
        " const textContentMs = performance.now() - t;"
        " return JSON.stringify([innerTextMs, rowHtmlMs, stringifyMs, textContentMs, json.length + hits + chars]);"
        "})(%1[0])").arg(needle);
    if (const auto parts = w.browserEngine()->evaluate(probe, kScriptTimeoutMs); parts && parts->typeId() == QMetaType::QString) {
        const QJsonArray ms = QJsonDocument::fromJson(parts->toString().toUtf8()).array();
        std::printf("    inside the script, each part again alone (warm):\n");
        std::printf("      %-50s %9.0f ms\n", "innerText of every cell", ms.at(0).toDouble());
        std::printf("      %-50s %9.0f ms\n", "every row's innerHTML searched for the pager text", ms.at(1).toDouble());
        std::printf("      %-50s %9.0f ms\n", "JSON.stringify of the cell texts", ms.at(2).toDouble());
        std::printf("      %-50s %9.0f ms\n", "(beside it: textContent of every cell)", ms.at(3).toDouble());
    }
    std::printf("    renderer process peak RSS %.0f MB (not in the figure above)\n", rendererPeakMb(w));
}

int measure(int rows, const Options &options, int argc, char **argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    browser::prepareWebEngine();
    QApplication app(argc, argv);
    const char *engineName = kEngineNames[static_cast<int>(options.engine)];
    std::optional<browser::ChromiumBrowser> chromium;
    if (options.engine == Engine::Chromium) {
        chromium.emplace();
        if (auto started = chromium->start(); !started) {
            std::fprintf(stderr, "live_capture_bench: Chromium did not start: %s\n", started.error().message.c_str());
            return 1;
        }
        g_chromium = &*chromium;
    }

    QTemporaryDir pages;
    const QString pagePath = pages.filePath(QStringLiteral("rows%1.html").arg(rows));
    const QString warmPath = pages.filePath(QStringLiteral("warm.html"));
    if (!pages.isValid() || !writeFile(pagePath, listingPage(rows)) ||
        !writeFile(warmPath, "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>准备</body></html>")) {
        std::fprintf(stderr, "live_capture_bench: cannot write the pages\n");
        return 1;
    }
    const QUrl page = QUrl::fromLocalFile(pagePath);
    const QUrl warmUp = QUrl::fromLocalFile(warmPath);

    double bestLoad = std::numeric_limits<double>::infinity();
    double bestCapture = std::numeric_limits<double>::infinity();
    long long lines = -1;
    double rendererPeak = 0;
    for (int run = 0; run < options.runs; ++run) {
        Bench b = openWindow(warmUp);
        ui::Frmmain &w = *b.window;
        const Load load = openAndWait(w, page);
        rendererPeak = std::max(rendererPeak, load.rendererPeakMb);
        if (!load.ok) {
            std::printf("%-9s rows %d  load FAILED after %.2fs%s  renderer peak %.0f MB  peak RSS %.0f MB\n", engineName, rows,
                        load.seconds,
                        load.rendererEnds ? "  (the engine's renderer process ended: the page outgrew it)" : "",
                        rendererPeak, peakRssMb());
            std::fflush(stdout);
            return 1;
        }
        // Set after the load: opening an address clears the keyword.
        w.txtGjz->setText(QString::fromUtf8(kHeader[0]));
        const auto before = w.captureSession().captureCount;
        QElapsedTimer clock;
        clock.start();
        w.Command1->click();
        const double capture = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        // With a next-page text the same click would go on into a run: then it is no longer the
        // capture alone that was timed.
        if (w.running()) {
            std::fprintf(stderr, "live_capture_bench: the capture button started a run\n");
            return 1;
        }
        if (w.captureSession().captureCount == before || w.lastSaveFailed()) {
            std::fprintf(stderr, "live_capture_bench: the capture kept nothing or was not saved: %s\n",
                         qPrintable(w.lastSaveError()));
            return 1;
        }
        lines = countLines(w.OutputPath());
        rendererPeak = std::max(rendererPeak, rendererPeakMb(w));
        bestLoad = std::min(bestLoad, load.seconds);
        bestCapture = std::min(bestCapture, capture);
        if (options.detail)
            std::printf("  run %d: load %.2fs  capture %.2fs\n", run + 1, load.seconds, capture);
        b.window.reset();
        flushDeletes();
    }

    const double ratio = bestCapture / bestLoad;
    std::printf("%-9s rows %d  load %.2fs  capture %.2fs (snapshot+extract+save)  ratio Y/X = %.2f  target <= %.2f"
                "  peak RSS %.0f MB  renderer peak %.0f MB\n",
                engineName, rows, bestLoad, bestCapture, ratio, kTarget, peakRssMb(), rendererPeak);
    std::printf("  output lines %lld of %d%s\n", lines, rows, lines == rows ? "" : "  MISMATCH");
    if (ratio > kTarget)
        std::printf("  target missed\n");
    std::fflush(stdout);
    if (options.detail || ratio > kTarget) {
        std::printf("  renderer process peak RSS over the timed runs %.0f MB\n", rendererPeak);
        printBreakdown(warmUp, page, bestCapture);
    }
    std::fflush(stdout);
    g_chromium = nullptr;
    return lines == rows ? 0 : 1;
}

// Each size and engine in a process of its own: a peak RSS is a high-water mark, and a second
// size measured in the same process would report the first's whenever it is the larger. With
// both engines, each size is measured in one and then the other, so their lines come in pairs.
bool measureInChild(int rows, Engine engine, const Options &options)
{
    std::vector<std::string> args = {"live_capture_bench", "--rows", std::to_string(rows), "--runs",
                                     std::to_string(options.runs), "--engine", kEngineNames[static_cast<int>(engine)]};
    if (options.detail)
        args.emplace_back("--detail");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("live_capture_bench: posix_spawn");
        return false;
    }
    int waitStatus = 0;
    waitpid(child, &waitStatus, 0);
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

int measureEach(const Options &options)
{
    const std::vector<int> sizes =
        options.rows.empty() ? std::vector<int>(std::begin(kDefaultRows), std::end(kDefaultRows)) : options.rows;
    const std::vector<Engine> engines = options.engine == Engine::Both ? std::vector<Engine>{Engine::WebEngine, Engine::Chromium}
                                                                       : std::vector<Engine>{options.engine};
    int status = 0;
    for (int rows : sizes)
        for (Engine engine : engines)
            if (!measureInChild(rows, engine, options))
                status = 1;
    return status;
}

}  // namespace

int main(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);
    if (options.rows.empty() || options.engine == Engine::Both)
        return measureEach(options);
    if (options.rows.size() > 1) {
        std::fprintf(stderr, "live_capture_bench: one --rows per run (none runs every size)\n");
        return 2;
    }
    return measure(options.rows.front(), options, argc, argv);
}
