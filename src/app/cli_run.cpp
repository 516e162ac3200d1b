#include "cli_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "browser/browser_engine.h"
#include "browser/chromium_process.h"
#include "capture/job/job_progress.h"
#include "capture/output/code_page.h"
#include "capture/output/output_name.h"
#include "capture/output/url_list.h"
#include "cli_job.h"
#include "cli_options.h"
#include "headless_browser.h"
#include "run/capture_run.h"
#include "stop_signals.h"

namespace tabvoro::cli {

namespace {

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

// The output folder as the window makes it: ending in "/", made when missing; `fallBack`: one
// that cannot be written is replaced by the user's data folder.
std::string outputFolder(const std::string &folder, bool fallBack)
{
    QString path = qs(folder);
    if (!path.endsWith('/'))
        path += '/';
    if (fallBack && (!QDir().mkpath(path) || !QFileInfo(path).isWritable()))
        path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/download/";
    QDir().mkpath(path);
    return path.toStdString();
}

// The page a job's run opens first: in the URL-list mode the list's current row (its first when
// none is current), in the page-number mode the address with "(*)" replaced by the first number.
std::string jobFirstPage(run::FixedRunControls &controls)
{
    const auto &s = controls.values;
    if (s.pagingMode == capture::PagingMode::UrlList && !controls.rows.empty()) {
        if (controls.row < 0)
            controls.row = 0;
        return controls.rows[static_cast<std::size_t>(controls.row)];
    }
    if (s.pagingMode == capture::PagingMode::PageNumber && !s.startPage.empty())
        return capture::replaceAll(s.url, "(*)", s.startPage);
    return s.url;
}

}  // namespace

int runPages(const std::vector<std::string> &arguments, int argc, char **argv)
{
    auto parsed = parseJobCommand(arguments, true);
    if (!parsed)
        return fail(parsed.error() + " (see tabvoro-cli run --help)");
    const CaptureOptions &options = parsed->options.capture;
    const RunOptions &runOptions = parsed->options.run;
    const std::string &jobFile = parsed->jobFile;
    const bool listRun = !runOptions.urlListFile.empty();
    if (options.help) {
        std::cout << kRunUsage;
        return 0;
    }
    if (jobFile.empty() && !listRun && options.pages.empty())
        return fail("no page to capture (see tabvoro-cli run --help)");
    // A job holds its address (and its URL list); a URL given replaces the address.
    if (!jobFile.empty() ? options.pages.size() > 1 : listRun ? !options.pages.empty() : options.pages.size() != 1)
        return fail(!jobFile.empty() ? "run --job takes at most one URL"
                    : listRun        ? "run with --url-list takes no URL"
                                     : "run takes exactly one URL");
    std::optional<capture::JobProgress> progress;
    if (parsed->resume) {
        auto read = capture::readProgressFile(capture::progressPath(jobFile));
        if (!read)
            return fail(read.error().message);
        progress = *read;
        if (progress && progress->finished)
            return finishedJob(jobFile);
    }
    if (!options.encoding.empty())
        setenv("TABVORO_CODEPAGE", options.encoding.c_str(), 1);

    std::vector<std::string> urlList;
    if (listRun) {
        std::ifstream in(runOptions.urlListFile, std::ios::binary);
        if (!in)
            return fail("cannot read " + runOptions.urlListFile);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        urlList = capture::readUrlListFile(bytes.str(), capture::systemCodePage());
        if (urlList.empty())
            return fail(runOptions.urlListFile + " holds no address");
    }

    const capture::RunEngine engine = runOptions.engine;
    const auto app = makeApplication(engine, argc, argv);
    // From here on SIGTERM and SIGINT stop the run rather than the program.
    StopSignals stop;
    const auto stopped = [&] {
        std::cerr << "tabvoro-cli: the run was stopped by signal " << stop.received() << " ("
                  << strsignal(stop.received()) << ")\n";
        return stoppedExitStatus(stop.received());
    };
    // One that cannot start is no page that failed to load. It goes before the program, and its
    // whole process group with it.
    HeadlessBrowser runBrowser;
    auto opened = runBrowser.open(engine);
    if (!opened)
        return fail("cannot start Chromium (" + browser::chromiumProgram().toStdString() +
                    "): " + opened.error().message);
    if (stop.received())
        return stopped();

    run::FixedRunControls controls;
    controls.codePageName = capture::systemCodePage();
    run::RunTimings timings;
    timings.pageTimeoutMs = static_cast<int>(runOptions.pageTimeoutSeconds * 1000);
    timings.settleLimitMs = static_cast<int>(runOptions.settleSeconds * 1000);
    run::CaptureRun run(*opened, &controls, timings);
    std::string firstPage;
    if (!jobFile.empty()) {
        // The job's settings with the options given over them; its captures are recorded beside
        // the job file.
        const capture::Job job = jobFromOptions(parsed->options, parsed->job, urlList);
        controls.values = job.settings;
        controls.values.keywordMode = job.settings.keywordMode.value_or(capture::KeywordMode::FirstRowPrefix);
        controls.rows = job.urlList;
        controls.row = job.urlListRow;
        controls.folder = outputFolder(job.outputFolder, false);
        if (!job.encoding.empty())
            controls.codePageName = job.encoding;
        run.timer().setInterval(job.timerMs);
        run.setOutputPath(capture::webcbnm(job.settings.url, job.settings.ruled, controls.folder), false);
        if (!job.output.empty())
            run.setOutputPath(job.output, true);
        run.setJobPath(jobFile);
        if (progress) {
            auto point = run.resumeFrom(*progress, controls.values.url, controls.rows);
            if (!point)
                return fail(point.error().message);
            if (point->address.empty())
                return finishedJob(jobFile);
            if (point->startPage)
                controls.values.startPage = *point->startPage;
            if (point->urlListRow)
                controls.row = *point->urlListRow;
            controls.values.pagingMode = progress->mode;
            firstPage = point->address;
        } else {
            firstPage = jobFirstPage(controls);
        }
    } else {
        // The address and the first page: the URL; in the page-number mode the URL is the
        // template and the first page is its "(*)" replaced by the first number; in the URL-list
        // mode the list's first row.
        controls.values = options.settings;
        controls.values.url = listRun ? urlList.front() : options.pages.front();
        firstPage = capture::replaceAll(controls.values.url, "(*)", runOptions.from);
        if (runOptions.from.empty())
            firstPage = controls.values.url;
        controls.rows = urlList;
        if (listRun)
            controls.row = 0;
        controls.values.pagingMode = static_cast<capture::PagingMode>(runOptions.paging.value_or(0));
        // The link mode's keyword is "下一页" unless another is given, as the help says.
        if (runOptions.paging && controls.values.pagingMode == capture::PagingMode::NextLink &&
            controls.values.nextPageText.empty())
            controls.values.nextPageText = "下一页";
        controls.values.startPage = runOptions.from;
        controls.values.endPage = runOptions.to;
        controls.values.dropDownName = runOptions.dropDown;
        controls.values.timed = runOptions.timerMs.has_value();
        if (runOptions.timerMs)
            run.timer().setInterval(*runOptions.timerMs);
        controls.folder = outputFolder(options.outDir, true);
        run.setOutputPath(capture::webcbnm(controls.values.url, controls.values.ruled, controls.folder), false);
        if (!options.output.empty())
            run.setOutputPath(options.output, true);
    }

    // Every kept capture prints its tally; the run stops as the button stops it after the pages
    // asked for, or when a capture could not be written.
    long kept = 0;
    bool saveFailed = false;
    QString saveError;
    QObject::connect(&run, &run::CaptureRun::captureKept, &run, [&](const run::KeptCapture &capture) {
        std::cout << capture.tally.toStdString() << std::endl;
        // A timer's tick may take a page whose document has only just begun: a capture that
        // found nothing is no page of the count, or the pages asked for would end with one lost.
        if (!capture.shownText.isEmpty())
            ++kept;
        if (!capture.saved) {
            saveFailed = true;
            saveError = capture.saveError;
        }
        if ((saveFailed || (runOptions.maxPages && kept >= *runOptions.maxPages)) && run.isRunning())
            QTimer::singleShot(0, &run, [&run] {
                if (run.isRunning())
                    run.EndRun();
            });
    });
    // A page tried again is told as it happens, as is a message nobody is there to answer.
    QObject::connect(&run, &run::CaptureRun::loadRetried, &run,
                     [](const QString &status) { std::cerr << "tabvoro-cli: " << status.toStdString() << '\n'; });
    QObject::connect(&run, &run::CaptureRun::notice, &run, [](const QString &message) {
        std::cerr << "tabvoro-cli: " << message.trimmed().toStdString() << '\n';
    });

    // The whole run obeys --timeout, its first load included; a signal stops it as the button
    // does: its output compacted, its job's progress written, resumable.
    QEventLoop loop;
    bool outOfTime = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        outOfTime = true;
        run.EndRun(run::RunEnd::TimedOut);
        loop.quit();
    });
    deadline.start(static_cast<int>(runOptions.timeoutSeconds * 1000));
    QObject::connect(&stop, &StopSignals::stopRequested, &loop, [&] {
        run.EndRun();
        loop.quit();
    });
    QObject::connect(&run, &run::CaptureRun::ended, &loop, &QEventLoop::quit);
    run.openAndStart(qs(firstPage), progress.has_value());
    if (run.isRunning() || !run.hasStarted())
        loop.exec();
    deadline.stop();

    const auto outOfTimeExit = [&] {
        std::cerr << "tabvoro-cli: the run did not end within " << runOptions.timeoutSeconds << " s and was stopped\n";
        return 3;
    };
    // A first page that never loaded gave the run nothing: no file to name.
    if (!run.hasStarted()) {
        if (stop.received())
            return stopped();
        if (outOfTime)
            return outOfTimeExit();
        std::cerr << "tabvoro-cli: " << run.endMessage().toStdString() << '\n';
        return 4;
    }
    if (saveFailed)
        return fail("cannot write " + run.session().outputPath + ": " + saveError.toStdString());
    const auto end = run.endReason();
    const QString endMessage = run.endMessage();
    if (!endMessage.isEmpty())
        std::cerr << "tabvoro-cli: " << endMessage.toStdString() << '\n';
    // A run that kept nothing and wrote no file names none.
    std::error_code missing;
    if (kept == 0 && !std::filesystem::exists(run.session().outputPath, missing))
        std::cout << kNothingCaptured << '\n';
    else
        std::cout << run.session().outputPath << '\n';
    if (stop.received())
        return stopped();
    if (end == run::RunEnd::PageFailed)
        return 4;
    if (outOfTime)
        return outOfTimeExit();
    return 0;
}

}  // namespace tabvoro::cli
