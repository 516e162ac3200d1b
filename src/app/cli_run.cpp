#include "cli_run.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <expected>
#include <optional>
#include <iostream>

#include <QFile>
#include <QMessageBox>
#include <QRadioButton>
#include <fstream>
#include <map>
#include <sstream>

#include "browser/web_browser.h"
#include "capture/output/code_page.h"
#include "capture/output/url_list.h"
#include "browser/web_engine_setup.h"
#include "cli_options.h"
#include "ui/frmmain.h"
#include "ui/mouse_label.h"

namespace tabvoro::cli {

namespace {

constexpr int kLoadTimeoutMs = 120000;

// What `run` adds to the capture options: how the run pages and when it stops.
struct RunOptions {
    std::optional<int> paging;  // Option1 index
    std::string from, to;       // txtYs, txtYw
    std::string urlListFile;
    std::string dropDown;       // Txtxd
    std::optional<int> timerMs;
    std::optional<long> maxPages;
    double timeoutSeconds = 600;
};

// Takes the run options out of `args`, leaving the capture options and the URL.
std::expected<RunOptions, std::string> takeRunOptions(std::vector<std::string> &args)
{
    RunOptions run;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        static const std::map<std::string, int> names = {
            {"--paging", 0}, {"--from", 1}, {"--to", 2}, {"--url-list", 3},
            {"--dropdown", 4}, {"--timer", 5}, {"--max-pages", 6}, {"--timeout", 7}};
        const auto name = names.find(arg);
        if (name == names.end()) {
            rest.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size())
            return std::unexpected(arg + " needs a value");
        const std::string value = args[++i];
        auto number = [&](double low) -> std::expected<double, std::string> {
            char *end = nullptr;
            const double n = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(n >= low))
                return std::unexpected(arg + " needs a number of at least " + std::to_string(static_cast<long>(low)));
            return n;
        };
        switch (name->second) {
        case 0: {
            static const std::map<std::string, int> modes = {{"link", 0}, {"number", 1}, {"list", 2}, {"dropdown", 3}};
            const auto mode = modes.find(value);
            if (mode == modes.end())
                return std::unexpected("unknown --paging '" + value + "' (link, number, list or dropdown)");
            run.paging = mode->second;
            break;
        }
        case 1: run.from = value; break;
        case 2: run.to = value; break;
        case 3: run.urlListFile = value; break;
        case 4: run.dropDown = value; break;
        case 5: {
            const auto ms = number(1);
            if (!ms) return std::unexpected(ms.error());
            run.timerMs = static_cast<int>(*ms);
            break;
        }
        case 6: {
            const auto pages = number(1);
            if (!pages) return std::unexpected(pages.error());
            run.maxPages = static_cast<long>(*pages);
            break;
        }
        case 7: {
            const auto seconds = number(0);
            if (!seconds) return std::unexpected(seconds.error());
            run.timeoutSeconds = *seconds;
            break;
        }
        }
    }
    args = std::move(rest);
    return run;
}

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

QString qs(const std::string &text) { return QString::fromStdString(text); }

// Sets the window's controls as a user would from the capture options.
void applyOptions(ui::Frmmain &w, const CaptureOptions &options)
{
    const capture::CaptureSettings &s = options.settings;
    w.txtGjz->setText(qs(s.keyword));
    if (s.keywordMode)
        w.Labgjz->setText(capture::keywordModeCaption(*s.keywordMode));
    w.CheckKj->setChecked(s.inFrame);
    w.txtKj->setText(qs(s.frameText));
    w.CheckBt->setChecked(s.includeHeader);
    w.CheckLj->setChecked(s.includeLinks);
    w.txtNp->setText(qs(s.nextPageText));
    w.List2->clear();
    for (const auto &field : s.fields) {
        auto *item = new QListWidgetItem(qs(field.name), w.List2);
        item->setSelected(field.selected);
    }
}

// The window opens the blank page as it starts. A load begun before that one has been taken up
// can be overtaken by it and never reported, and the run would wait for it in vain: the blank
// page's load is let through first.
void waitForBlankPage(ui::Frmmain &w)
{
    QCoreApplication::processEvents();
    if (!w.webBrowser()->isLoading())
        return;
    QEventLoop loop;
    QObject::connect(w.webBrowser(), &browser::WebBrowser::DocumentComplete, &loop, &QEventLoop::quit);
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits for the main frame's document to complete at an address other than the blank page.
bool waitForPage(ui::Frmmain &w)
{
    QEventLoop loop;
    bool ok = false;
    QObject::connect(w.webBrowser(), &browser::WebBrowser::DocumentComplete, &loop,
                     [&](const QUrl &url, bool success) {
                         if (url.toString() == "about:blank")
                             return;
                         ok = success;
                         loop.quit();
                     });
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return ok;
}

}  // namespace

int runWindow(const std::vector<std::string> &arguments, int argc, char **argv)
{
    std::vector<std::string> args = arguments;
    auto run = takeRunOptions(args);
    if (!run)
        return fail(run.error() + " (see tabvoro-cli run --help)");
    auto parsed = parseCaptureOptions(args);
    const bool listRun = !run->urlListFile.empty();
    // A run over a URL list takes its first address from the list.
    if (!parsed && !(listRun && parsed.error() == "no page to capture"))
        return fail(parsed.error() + " (see tabvoro-cli run --help)");
    CaptureOptions options = parsed ? *parsed : CaptureOptions{};
    if (!parsed) {
        // Parse again with a stand-in page so the other options are still read.
        args.push_back("-");
        auto again = parseCaptureOptions(args);
        if (!again)
            return fail(again.error() + " (see tabvoro-cli run --help)");
        options = *again;
        options.pages.clear();
    }
    if (options.help) {
        std::cout << kRunUsage;
        return 0;
    }
    if (listRun ? !options.pages.empty() : options.pages.size() != 1)
        return fail(listRun ? "run with --url-list takes no URL" : "run takes exactly one URL");
    if (!options.encoding.empty())
        setenv("TABVORO_CODEPAGE", options.encoding.c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::vector<std::string> urlList;
    if (listRun) {
        std::ifstream in(run->urlListFile, std::ios::binary);
        if (!in)
            return fail("cannot read " + run->urlListFile);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        urlList = capture::readUrlListFile(bytes.str(), capture::systemCodePage());
        if (urlList.empty())
            return fail(run->urlListFile + " holds no address");
    }

    browser::prepareWebEngine();
    QApplication app(argc, argv);
    ui::FrmmainOptions windowOptions;
    windowOptions.openStartPage = false;
    // Pages open in a browser on this desktop must not choose the table of a run.
    windowOptions.reportOpenBrowserWindows = false;
    windowOptions.outputFolder = qs(options.outDir);
    ui::Frmmain window(windowOptions);
    // The window is never seen, yet it must count as shown: a view that was never shown gets no
    // answer from its page after the first navigation, and every later capture would time out.
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();

    // The address box and the first page: the URL; in the page-number mode the URL is the
    // template and the first page is its "(*)" replaced by the first number; in the URL-list
    // mode the list's first row.
    QString address = listRun ? qs(urlList.front()) : qs(options.pages.front());
    QString firstPage = address;
    if (!run->from.empty())
        firstPage.replace("(*)", qs(run->from));
    for (const auto &row : urlList)
        window.List3->addItem(qs(row));
    if (listRun)
        window.List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);

    window.CheckBx->setChecked(options.settings.ruled);
    window.Txturl->setText(address);
    waitForBlankPage(window);
    window.OpenAddress(firstPage);
    window.RememberAddress(address);
    applyOptions(window, options);
    if (run->paging)
        window.Option1[*run->paging]->setChecked(true);
    window.txtYs->setText(qs(run->from));
    window.txtYw->setText(qs(run->to));
    window.Txtxd->setText(qs(run->dropDown));
    if (run->timerMs) {
        window.CheckDs->setChecked(true);
        window.Timer1->setInterval(*run->timerMs);
    }
    if (!options.output.empty())
        window.setOutputPath(qs(options.output), true);

    if (!waitForPage(window))
        return fail("cannot load " + firstPage.toStdString());

    // Every kept capture prints its tally; the run stops as the button stops it after the
    // pages asked for, or when the time is up.
    long kept = 0;
    bool saveFailed = false;
    QObject::connect(&window, &ui::Frmmain::captureKept, &window, [&](const QString &status) {
        std::cout << status.toStdString() << std::endl;
        ++kept;
        if (window.lastSaveFailed())
            saveFailed = true;
        if ((saveFailed || (run->maxPages && kept >= *run->maxPages)) &&
            window.Command1->text() != capture::kIdleCaption)
            QTimer::singleShot(0, &window, [&window] { window.Command1->click(); });
    });
    // A message box of the run (a missing "(*)") is answered at once: nobody is there to read it.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::cerr << "tabvoro-cli: " << box->text().trimmed().toStdString() << '\n';
            box->accept();
        }
    });
    answerer.start(50);

    window.Command1->click();
    bool timedOut = false;
    if (window.Command1->text() != capture::kIdleCaption) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (window.Command1->text() == capture::kIdleCaption)
                loop.quit();
        });
        poll.start(50);
        QTimer::singleShot(static_cast<int>(run->timeoutSeconds * 1000), &loop, [&] {
            timedOut = true;
            if (window.Command1->text() != capture::kIdleCaption)
                window.Command1->click();
            loop.quit();
        });
        loop.exec();
    }
    if (saveFailed)
        return fail("cannot write " + window.OutputPath().toStdString() + ": " + window.lastSaveError().toStdString());
    std::cout << window.OutputPath().toStdString() << '\n';
    if (timedOut) {
        std::cerr << "tabvoro-cli: the run did not end within " << run->timeoutSeconds << " s and was stopped\n";
        return 3;
    }
    return 0;
}

}  // namespace tabvoro::cli
