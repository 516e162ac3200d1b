#include "cli_run.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>

#include "browser/browser_engine.h"
#include "browser/chromium_browser.h"
#include "browser/chromium_process.h"
#include "browser/web_engine_setup.h"
#include "capture/job/job_progress.h"
#include "capture/output/code_page.h"
#include "capture/output/url_list.h"
#include "capture/page_load_retry.h"
#include "cli_job.h"
#include "cli_options.h"
#include "stop_signals.h"
#include "ui/frmmain.h"
#include "ui/qt_translations.h"
#include "ui/mouse_label.h"

namespace tabvoro::cli {

namespace {

// The blank page the window opens as it starts is a local page; a minute is more than plenty.
constexpr int kBlankPageTimeoutMs = 60000;

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

int finishedJob(const std::string &jobFile)
{
    std::cerr << "tabvoro-cli: the job " << jobFile << " is finished: its pages ran out, nothing is left to capture\n";
    return 0;
}

QString qs(const std::string &text) { return QString::fromStdString(text); }

// The page a job's run opens first: in the URL-list mode the list's current row (its first when
// none is current), in the page-number mode the address with "(*)" replaced by the first number.
QString jobFirstPage(ui::Frmmain &w)
{
    if (w.Option1[2]->isChecked() && w.List3->count() > 0) {
        if (w.List3->currentRow() < 0)
            w.List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        return w.List3->currentItem()->text();
    }
    QString page = w.Txturl->text();
    if (w.Option1[1]->isChecked() && !w.txtYs->text().isEmpty())
        page.replace("(*)", w.txtYs->text());
    return page;
}

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
void waitForBlankPage(ui::Frmmain &w, const StopSignals &stop)
{
    QCoreApplication::processEvents();
    if (!w.browserEngine()->isLoading())
        return;
    QEventLoop loop;
    QObject::connect(w.browserEngine(), &browser::BrowserEngine::DocumentComplete, &loop, &QEventLoop::quit);
    QObject::connect(&stop, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
    QTimer::singleShot(kBlankPageTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or the deadline passes; false on the deadline.
bool waitUntil(const QDeadlineTimer &deadline, const std::function<bool()> &done)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    bool met = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            met = true;
        if (met || deadline.hasExpired())
            loop.quit();
    });
    poll.start(20);
    loop.exec();
    return met;
}

enum class FirstPage { Loaded, Failed, OutOfTime, Stopped };

// Loads the run's first page as the run loads every page: a load that fails or does not finish
// within the page time-out is tried again after the run's waits, and after the last try the
// run does not start.
FirstPage loadFirstPage(ui::Frmmain &w, const QString &address, const QDeadlineTimer &runDeadline,
                        const StopSignals &stop)
{
    capture::PageLoadRetry retry;
    QString url = address;
    for (;;) {
        std::optional<bool> loaded;
        QString failedUrl = url;
        QString reason;
        const auto connection = QObject::connect(
            w.browserEngine(), &browser::BrowserEngine::DocumentComplete, &w, [&](const QUrl &page, bool ok) {
                if (page.toString() == "about:blank")
                    return;
                loaded = ok;
                if (!ok) {
                    failedUrl = page.toString();
                    reason = w.browserEngine()->lastFailure().reason;
                }
            });
        const QDeadlineTimer pageDeadline(w.pageTimeout());
        const bool finished = waitUntil(
            runDeadline, [&] { return loaded.has_value() || pageDeadline.hasExpired() || stop.received(); });
        QObject::disconnect(connection);
        if (stop.received())
            return FirstPage::Stopped;
        if (!finished)
            return FirstPage::OutOfTime;
        if (loaded == true)
            return FirstPage::Loaded;
        if (!loaded) {
            failedUrl = w.browserEngine()->loadingUrl().toString();
            w.browserEngine()->stop();
            reason = QString::fromStdString(capture::pageTimeoutReason(w.pageTimeout()));
        }
        const auto step = retry.onFailure(failedUrl.toStdString(), reason.toStdString());
        if (const auto *give = std::get_if<capture::GiveUpLoad>(&step)) {
            std::cerr << "tabvoro-cli: " << give->message << '\n';
            return FirstPage::Failed;
        }
        const auto &again = std::get<capture::RetryLoad>(step);
        std::cerr << "tabvoro-cli: " << again.status << '\n';
        const QDeadlineTimer wait(again.waitMs);
        if (!waitUntil(runDeadline, [&] { return wait.hasExpired() || stop.received(); }))
            return FirstPage::OutOfTime;
        if (stop.received())
            return FirstPage::Stopped;
        url = QString::fromStdString(again.url);
        w.browserEngine()->Navigate(url);
    }
}

}  // namespace

int runWindow(const std::vector<std::string> &arguments, int argc, char **argv)
{
    auto parsed = parseJobCommand(arguments, true);
    if (!parsed)
        return fail(parsed.error() + " (see tabvoro-cli run --help)");
    const CaptureOptions &options = parsed->options.capture;
    const RunOptions &run = parsed->options.run;
    const QString jobFile = qs(parsed->jobFile);
    const bool listRun = !run.urlListFile.empty();
    if (options.help) {
        std::cout << kRunUsage;
        return 0;
    }
    if (jobFile.isEmpty() && !listRun && options.pages.empty())
        return fail("no page to capture (see tabvoro-cli run --help)");
    // A job holds its address (and its URL list); a URL given replaces the address.
    if (!jobFile.isEmpty() ? options.pages.size() > 1 : listRun ? !options.pages.empty() : options.pages.size() != 1)
        return fail(!jobFile.isEmpty() ? "run --job takes at most one URL"
                    : listRun          ? "run with --url-list takes no URL"
                                       : "run takes exactly one URL");
    std::optional<capture::JobProgress> progress;
    if (parsed->resume) {
        auto read = capture::readProgressFile(capture::progressPath(parsed->jobFile));
        if (!read)
            return fail(read.error().message);
        progress = *read;
        if (progress && progress->finished)
            return finishedJob(parsed->jobFile);
    }
    if (!options.encoding.empty())
        setenv("TABVORO_CODEPAGE", options.encoding.c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::vector<std::string> urlList;
    if (listRun) {
        std::ifstream in(run.urlListFile, std::ios::binary);
        if (!in)
            return fail("cannot read " + run.urlListFile);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        urlList = capture::readUrlListFile(bytes.str(), capture::systemCodePage());
        if (urlList.empty())
            return fail(run.urlListFile + " holds no address");
    }

    browser::prepareWebEngine();
    QApplication app(argc, argv);
    // The same window as the window program's, with the same dialogs.
    ui::installChineseQtTranslations(app);
    // From here on SIGTERM and SIGINT stop the run rather than the program.
    StopSignals stop;
    const auto stopped = [&] {
        std::cerr << "tabvoro-cli: the run was stopped by signal " << stop.received() << " ("
                  << strsignal(stop.received()) << ")\n";
        return stoppedExitStatus(stop.received());
    };
    // Chromium, when the run is to be made in it, is started before the window, which opens its
    // blank page in it at once: one that cannot start is no page that failed to load. It goes
    // after the window, and its whole process group with it.
    std::optional<browser::ChromiumBrowser> chromium;
    if (run.engine == capture::RunEngine::Chromium) {
        chromium.emplace();
        if (auto started = chromium->start(); !started)
            return fail("cannot start Chromium (" + browser::chromiumProgram().toStdString() +
                        "): " + started.error().message);
    }
    if (stop.received())
        return stopped();
    ui::FrmmainOptions windowOptions;
    if (chromium)
        windowOptions.browserEngine = &*chromium;
    windowOptions.openStartPage = false;
    // Pages open in a browser on this desktop must not choose the table of a run.
    windowOptions.reportOpenBrowserWindows = false;
    windowOptions.outputFolder = qs(options.outDir);
    ui::Frmmain window(windowOptions);
    // The window is never seen, yet it must count as shown: a view that was never shown gets no
    // answer from its page after the first navigation, and every later capture would time out.
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();

    QString firstPage;
    if (!jobFile.isEmpty()) {
        // The job's settings with the options given over them, set as the window's own job
        // menu sets them; its captures are recorded beside the job file.
        waitForBlankPage(window, stop);
        window.applyJob(jobFromOptions(parsed->options, parsed->job, urlList));
        window.setJobPath(jobFile);
        auto start = progress ? window.prepareResume() : std::expected<QString, QString>(jobFirstPage(window));
        if (!start)
            return fail(start.error().toStdString());
        if (start->isEmpty())
            return finishedJob(parsed->jobFile);
        firstPage = *start;
        window.RememberAddress(window.Txturl->text());
        window.browserEngine()->Navigate(firstPage);
    } else {
        // The address box and the first page: the URL; in the page-number mode the URL is the
        // template and the first page is its "(*)" replaced by the first number; in the
        // URL-list mode the list's first row.
        QString address = listRun ? qs(urlList.front()) : qs(options.pages.front());
        firstPage = address;
        if (!run.from.empty())
            firstPage.replace("(*)", qs(run.from));
        for (const auto &row : urlList)
            window.List3->addItem(qs(row));
        if (listRun)
            window.List3->setCurrentRow(0, QItemSelectionModel::NoUpdate);

        window.CheckBx->setChecked(options.settings.ruled);
        window.Txturl->setText(address);
        waitForBlankPage(window, stop);
        window.OpenAddress(firstPage);
        window.RememberAddress(address);
        applyOptions(window, options);
        if (run.paging)
            window.Option1[*run.paging]->setChecked(true);
        window.txtYs->setText(qs(run.from));
        window.txtYw->setText(qs(run.to));
        window.Txtxd->setText(qs(run.dropDown));
        if (run.timerMs) {
            window.CheckDs->setChecked(true);
            window.Timer1->setInterval(*run.timerMs);
        }
        if (!options.output.empty())
            window.setOutputPath(qs(options.output), true);
    }

    window.setPageTimeout(static_cast<int>(run.pageTimeoutSeconds * 1000));

    // The whole run obeys --timeout, its first load included.
    const QDeadlineTimer deadline(static_cast<qint64>(run.timeoutSeconds * 1000));
    const auto outOfTime = [&] {
        std::cerr << "tabvoro-cli: the run did not end within " << run.timeoutSeconds << " s and was stopped\n";
        return 3;
    };
    switch (loadFirstPage(window, firstPage, deadline, stop)) {
    case FirstPage::Loaded:
        break;
    case FirstPage::Failed:
        return 4;
    case FirstPage::OutOfTime:
        return outOfTime();
    case FirstPage::Stopped:
        return stopped();
    }

    // Every kept capture prints its tally; the run stops as the button stops it after the
    // pages asked for, or when the time is up.
    long kept = 0;
    bool saveFailed = false;
    QObject::connect(&window, &ui::Frmmain::captureKept, &window, [&](const QString &status) {
        std::cout << status.toStdString() << std::endl;
        ++kept;
        if (window.lastSaveFailed())
            saveFailed = true;
        if ((saveFailed || (run.maxPages && kept >= *run.maxPages)) && window.running())
            QTimer::singleShot(0, &window, [&window] { window.Command1->click(); });
    });
    // A page tried again is told as it happens.
    QObject::connect(&window, &ui::Frmmain::loadRetried, &window,
                     [](const QString &status) { std::cerr << "tabvoro-cli: " << status.toStdString() << '\n'; });
    // A message box of the run (a missing "(*)") is answered at once: nobody is there to read it.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::cerr << "tabvoro-cli: " << box->text().trimmed().toStdString() << '\n';
            box->accept();
        }
    });
    answerer.start(50);

    if (progress)
        window.startResumedRun();
    else
        window.Command1->click();
    // Stopped by the time limit or a signal, the run ends as the button ends it: its output
    // compacted, its job's progress written, resumable.
    const bool ended = waitUntil(deadline, [&] { return !window.running() || stop.received(); });
    if (window.running())
        window.Command1->click();
    if (saveFailed)
        return fail("cannot write " + window.OutputPath().toStdString() + ": " + window.lastSaveError().toStdString());
    if (!window.runEndMessage().isEmpty())
        std::cerr << "tabvoro-cli: " << window.runEndMessage().toStdString() << '\n';
    std::cout << window.OutputPath().toStdString() << '\n';
    if (stop.received())
        return stopped();
    if (window.runEndedOnFailedPage())
        return 4;
    if (!ended)
        return outOfTime();
    return 0;
}

}  // namespace tabvoro::cli
