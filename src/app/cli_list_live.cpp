#include "cli_list_live.h"

#include <iostream>

#include <QEventLoop>
#include <QTimer>

#include "browser/chromium_process.h"
#include "browser/page_snapshot.h"
#include "headless_browser.h"
#include "list_report.h"

namespace tabvoro::cli {

namespace {

// How long the page may take to load.
constexpr int kLoadTimeoutMs = 60000;

int fail(const std::string &message)
{
    std::cerr << "tabvoro-cli: " << message << '\n';
    return 2;
}

// Opens `address` and waits for its document to complete: nothing, or why it did not.
std::optional<std::string> load(browser::BrowserEngine &engine, const QString &address)
{
    QEventLoop loop;
    std::optional<std::string> problem = "the page did not load within " + std::to_string(kLoadTimeoutMs / 1000) + " s";
    QObject::connect(&engine, &browser::BrowserEngine::DocumentComplete, &loop, [&](const QUrl &, bool ok) {
        problem.reset();
        if (!ok) {
            const auto failure = engine.lastFailure();
            problem = "cannot load " + failure.url.toString().toStdString() + ": " + failure.reason.toStdString();
        }
        loop.quit();
    });
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    engine.Navigate(address);
    loop.exec();
    return problem;
}

}  // namespace

int runLiveList(const std::vector<std::string> &args, int argc, char **argv)
{
    const auto parsed = parseListArguments(args);
    if (!parsed)
        return fail(parsed.error());
    if (parsed->help) {
        std::cout << kListUsage;
        return 0;
    }
    const capture::RunEngine engine = parsed->engine.value_or(capture::RunEngine::WebEngine);
    const auto app = makeApplication(engine, argc, argv);
    HeadlessBrowser headless;
    const auto opened = headless.open(engine);
    if (!opened)
        return fail("cannot start Chromium (" + browser::chromiumProgram().toStdString() + "): " +
                    opened.error().message);
    if (const auto problem = load(**opened, QString::fromStdString(parsed->page)))
        return fail(*problem);

    // One read, as the capture test button makes it.
    browser::SnapshotRequest request = browser::SnapshotRequest::forFrameSurvey();
    request.tables = browser::SnapshotRequest::Tables::Cells;
    browser::BrowserEngine *page = *opened;
    const auto document =
        browser::takeSnapshot([page](const QString &script) { return page->evaluate(script); }, request);
    if (!document)
        return fail("cannot read " + parsed->page + ": " + document.error().message);
    std::cout << listReport(**document, parsed->inFrame, parsed->frameText) << std::endl;
    return 0;
}

}  // namespace tabvoro::cli
