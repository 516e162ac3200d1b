// A run over a page that grows in place, measured against the page's own loading of its rows.
//
// A listing that shows its first rows and fetches the next ones when "加载更多" is pressed is
// paged by that button as by a next-page link: the run presses it, waits for the rows it
// brings, and keeps only those. The user would wait for the rows anyway; what the run adds on
// top (each capture, the search for the button, the wait for the rows to be in) is what this
// weighs, with the real window and its real web view, the page served on 127.0.0.1:
//
//   load more 50 clicks  load only Xs  run Ys  ratio Y/X = R  target <= 1.2
//
// The reference opens the page and presses the button itself, each press as soon as the rows
// of the last one are in (the page says so on its console).

#include "load_more_run.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "bench_window.h"
#include "browser/browser_engine.h"
#include "support/local_http_server.h"
#include "ui/frmmain.h"

namespace tabvoro::bench {

namespace {

constexpr double kTarget = 1.2;
const char *const kMoreText = "加载更多";
const char *const kRowsMessage = "bench-rows ";
const char *const kHeader[] = {"序号", "名称", "城市", "销量", "金额", "类别", "日期", "备注"};
const char *const kCities[] = {"北京市", "上海市", "广州市", "深圳市", "杭州市", "成都市", "武汉市", "南京市"};
const char *const kWords[] = {"alpha", "beta", "gamma", "delta", "omega", "sigma", "kappa", "lambda"};
const char *const kStates[] = {"正常", "缺货", "停售", "预售", "在售"};

// The cells of row `id`, as HTML, the same on every run.
std::vector<std::string> rowCells(int id)
{
    Random rng{0x4c6f61644d6fULL * 31 + static_cast<std::uint64_t>(id)};
    const std::string n = std::to_string(id);
    std::string words;
    for (int w = 0; w < 3; ++w)
        words += std::string(w ? " " : "") + rng.pick(kWords);
    return {n,
            "<a href=\"item.html?id=" + n + "&amp;x=1\">名称" + n + "</a>",
            rng.pick(kCities),
            grouped(rng.between(1000, 9'999'999)),
            grouped(rng.between(1000, 999'999)) + ".5",
            std::string("类别") + rng.pick(kStates),
            "2023-0" + std::to_string(rng.between(1, 9)) + "-1" + std::to_string(rng.between(0, 9)),
            words + ", " + rng.pick(kStates)};
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Batch `batch` (from 1) as the server hands it to the page's script: rows of cell HTML.
QByteArray batchJson(int batch, int rows)
{
    std::string json = "[";
    for (int i = 0; i < rows; ++i) {
        json += i ? ",[" : "[";
        const auto cells = rowCells((batch - 1) * rows + i + 1);
        for (std::size_t c = 0; c < cells.size(); ++c)
            json += (c ? "," : "") + jsonString(cells[c]);
        json += "]";
    }
    return QByteArray::fromStdString(json + "]");
}

// The page: its first batch in the markup, the others fetched one per press of the button,
// which goes once the last batch is in.
QByteArray pageHtml(int clicks, int rows)
{
    std::string html = "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>销售明细</title>\n</head>\n<body>\n<h1>销售明细</h1>\n"
                       "<table class=\"list\" border=\"1\">\n<thead>\n<tr>";
    for (const char *h : kHeader)
        html += std::string("<th>") + h + "</th>";
    html += "</tr>\n</thead>\n<tbody id=\"rows\">\n";
    for (int i = 0; i < rows; ++i) {
        html += i % 2 ? "<tr class=\"odd\">" : "<tr class=\"even\">";
        for (const std::string &cell : rowCells(i + 1))
            html += "<td>" + cell + "</td>";
        html += "</tr>\n";
    }
    html += "</tbody>\n</table>\n<p><button id=\"more\" type=\"button\">";
    html += kMoreText;
    html += "</button></p>\n<script>\n"
            "const body = document.getElementById('rows');\n"
            "const more = document.getElementById('more');\n"
            "let next = 2;\n"
            "const last = " + std::to_string(clicks + 1) + ";\n"
            "more.addEventListener('click', () => {\n"
            "  if (more.disabled) return;\n"
            "  more.disabled = true;\n"
            "  fetch('rows/' + next + '.json').then(r => r.json()).then(batch => {\n"
            "    let html = '';\n"
            "    batch.forEach((row, i) => {\n"
            "      html += i % 2 ? '<tr class=\"odd\">' : '<tr class=\"even\">';\n"
            "      for (const cell of row) html += '<td>' + cell + '</td>';\n"
            "      html += '</tr>';\n"
            "    });\n"
            "    body.insertAdjacentHTML('beforeend', html);\n"
            "    if (++next > last) more.remove(); else more.disabled = false;\n"
            "    console.log('" + kRowsMessage + "' + body.rows.length);\n"
            "  });\n"
            "});\n"
            "</script>\n</body>\n</html>\n";
    return QByteArray::fromStdString(html);
}

double msSince(const QElapsedTimer &clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

// When the page said each batch was in, from the start of the measure.
struct Arrivals {
    std::vector<double> at;
    int lastRows = 0;
    void watch(ui::Frmmain &w, QObject *context, const QElapsedTimer &clock)
    {
        QObject::connect(w.browserEngine(), &browser::BrowserEngine::ConsoleMessage, context,
                         [this, &clock](const QString &message) {
                             if (!message.startsWith(QLatin1String(kRowsMessage)))
                                 return;
                             lastRows = message.mid(static_cast<int>(std::strlen(kRowsMessage))).toInt();
                             at.push_back(msSince(clock));
                         });
    }
};

struct Measure {
    bool ok = false;
    double seconds = std::numeric_limits<double>::infinity();
    std::vector<double> arrivals, kept;
    long long lines = -1;
};

// The page's own loading: opened, then pressed as soon as each batch is in.
Measure loadOnly(const QUrl &warmUp, const QUrl &page, int clicks)
{
    BenchWindow w = openBenchWindow(warmUp, nullptr, "paging_run_bench");
    Measure m;
    QObject context;
    QElapsedTimer clock;
    Arrivals arrivals;
    clock.start();
    arrivals.watch(*w.window, &context, clock);
    if (!openAndWait(*w.window, page))
        return m;
    for (int k = 1; k <= clicks; ++k) {
        QEventLoop loop;
        QObject::connect(w.window->browserEngine(), &browser::BrowserEngine::ConsoleMessage, &loop,
                         [&](const QString &message) {
                             if (message.startsWith(QLatin1String(kRowsMessage)))
                                 loop.quit();
                         });
        QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
        const std::size_t before = arrivals.at.size();
        w.window->browserEngine()->performAction(QStringLiteral("document.getElementById('more').click()"));
        if (arrivals.at.size() == before)
            loop.exec();
        if (arrivals.at.size() == before)
            return m;
    }
    m.seconds = msSince(clock) / 1000;
    m.arrivals = arrivals.at;
    m.ok = true;
    w.window.reset();
    flushDeletes();
    return m;
}

// The run: the page opened, the run started on it with "加载更多" as the next-page text, until
// the run ends because the button is gone.
Measure run(const QUrl &warmUp, const QUrl &page)
{
    BenchWindow w = openBenchWindow(warmUp, nullptr, "paging_run_bench");
    ui::Frmmain &f = *w.window;
    Measure m;
    f.txtNp->setText(QString::fromUtf8(kMoreText));
    f.Option1[0]->setChecked(true);
    f.CheckDs->setChecked(false);
    QObject context;
    QElapsedTimer clock;
    Arrivals arrivals;
    clock.start();
    arrivals.watch(f, &context, clock);
    QObject::connect(&f, &ui::Frmmain::captureKept, &context, [&] { m.kept.push_back(msSince(clock)); });
    if (!openAndWait(f, page))
        return m;
    // Set after the load: opening an address clears the keyword.
    f.txtGjz->setText(QString::fromUtf8(kHeader[0]));
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(1);
    double lastProgress = 0;
    QObject::connect(&f, &ui::Frmmain::captureKept, &loop, [&] { lastProgress = msSince(clock); });
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!f.running() || msSince(clock) - lastProgress > kLoadTimeoutMs)
            loop.quit();
    });
    lastProgress = msSince(clock);
    f.Command1->click();
    poll.start();
    if (f.running())
        loop.exec();
    poll.stop();
    m.seconds = msSince(clock) / 1000;
    m.arrivals = arrivals.at;
    const bool stalled = f.running();
    if (stalled)
        f.Command1->click();  // the pause: ends the armed run before the window goes
    m.lines = countLines(f.OutputPath());
    m.ok = !stalled;
    w.window.reset();
    flushDeletes();
    return m;
}

double sumOf(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return sum;
}

// The run cut at the page's reports: from each batch in to the capture kept after it (the
// wait for the rows to settle, the read, the save), and from that capture to the next batch in
// (the search for the button, the press, the fetch and the page's own work).
void printDetail(const Measure &reference, const Measure &m)
{
    std::vector<double> settleAndCapture, stepAndLoad, refLoad;
    for (std::size_t k = 0; k < m.arrivals.size(); ++k) {
        // The capture of the first batch is kept before any press; capture k+1 follows batch k.
        if (k + 1 < m.kept.size())
            settleAndCapture.push_back(m.kept[k + 1] - m.arrivals[k]);
        if (k < m.kept.size())
            stepAndLoad.push_back(m.arrivals[k] - m.kept[k]);
    }
    for (std::size_t k = 1; k < reference.arrivals.size(); ++k)
        refLoad.push_back(reference.arrivals[k] - reference.arrivals[k - 1]);
    const auto line = [](const char *what, const std::vector<double> &values) {
        std::printf("    %-52s %8.0f ms  %7.1f ms/press\n", what, sumOf(values),
                    values.empty() ? 0.0 : sumOf(values) / static_cast<double>(values.size()));
    };
    std::printf("  where the time goes\n");
    line("load only: one batch in to the next", refLoad);
    line("run: batch in to its capture kept (settle, read, save)", settleAndCapture);
    line("run: capture kept to the next batch in (step, load)", stepAndLoad);
    std::printf("    captures kept %zu, batches in %zu\n", m.kept.size(), m.arrivals.size());
}

}  // namespace

bool loadMoreBench(const LoadMoreOptions &options)
{
    test::LocalHttpServer server;
    server.addPage(QStringLiteral("/warm.html"),
                   "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>准备</body></html>");
    server.addPage(QStringLiteral("/more.html"), pageHtml(options.clicks, options.rows));
    for (int batch = 2; batch <= options.clicks + 1; ++batch)
        server.addPage(QStringLiteral("/rows/%1.json").arg(batch), batchJson(batch, options.rows),
                       "application/json");
    const QUrl warmUp = server.url(QStringLiteral("/warm.html"));
    const QUrl page = server.url(QStringLiteral("/more.html"));

    Measure bestLoad, bestRun;
    bool allOk = true;
    const long long expected = static_cast<long long>(options.clicks + 1) * options.rows;
    for (int i = 0; i < options.runs; ++i) {
        Measure load = loadOnly(warmUp, page, options.clicks);
        Measure r = run(warmUp, page);
        if (options.detail)
            std::printf("  pass %d: load only %.2fs  run %.2fs  captures %zu  lines %lld\n", i + 1, load.seconds,
                        r.seconds, r.kept.size(), r.lines);
        if (!load.ok) {
            std::printf("load more %d clicks  load only FAILED\n", options.clicks);
            return false;
        }
        allOk = allOk && r.ok && r.lines == expected;
        if (load.seconds < bestLoad.seconds)
            bestLoad = std::move(load);
        if (r.ok && r.seconds < bestRun.seconds)
            bestRun = std::move(r);
    }
    if (!bestRun.ok) {
        std::printf("load more %d clicks  load only %.2fs  run FAILED (stalled)\n", options.clicks, bestLoad.seconds);
        return false;
    }
    const double ratio = bestRun.seconds / bestLoad.seconds;
    std::printf("load more %d clicks  load only %.2fs  run %.2fs  ratio Y/X = %.2f  target <= %.2f\n", options.clicks,
                bestLoad.seconds, bestRun.seconds, ratio, kTarget);
    std::printf("  captures %zu  output lines %lld of %lld%s\n", bestRun.kept.size(), bestRun.lines, expected,
                bestRun.lines == expected ? "" : "  MISMATCH");
    if (ratio > kTarget)
        std::printf("  target missed\n");
    if (options.detail || ratio > kTarget)
        printDetail(bestLoad, bestRun);
    std::fflush(stdout);
    return allOk;
}

}  // namespace tabvoro::bench
