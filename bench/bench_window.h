#pragma once

// What the window benchmarks share of the window: a fresh main window in a program folder of
// its own, and the wait for a page of it to load.

#include <QEventLoop>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "browser/browser_engine.h"
#include "ui/frmmain.h"

namespace tabvoro::bench {

// How long a page is waited for before the measure gives it up.
constexpr int kLoadTimeoutMs = 60'000;

// A window of its own for every measure, in a program folder of its own: the capture session is
// new (no page is dropped as a repeat of an earlier run) and the output file holds this run alone.
struct BenchWindow {
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<ui::Frmmain> window;
};

// Waits until the main frame has completed `url`; the blank page a new window opens with, or an
// earlier page, may complete meanwhile and is not it. `start` begins the load.
template <typename Start>
bool loadAndWait(ui::Frmmain &window, const QUrl &url, Start start)
{
    QEventLoop loop;
    bool done = false;
    bool ok = false;
    QObject::connect(window.browserEngine(), &browser::BrowserEngine::DocumentComplete, &loop,
                     [&](const QUrl &completed, bool success) {
                         if (completed != url)
                             return;
                         done = true;
                         ok = success;
                         loop.quit();
                     });
    QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
    start();
    if (!done)
        loop.exec();
    return ok;
}

// Opens `url` as the address box does.
bool openAndWait(ui::Frmmain &window, const QUrl &url);

// A new window driving `engine` (null: its own view), shown off screen, that has loaded the
// warm-up page: a user starts a run in a window already up, its renderer running. Exits the
// program, naming `program`, when the warm-up page does not load.
BenchWindow openBenchWindow(const QUrl &warmUp, browser::BrowserEngine *engine, const char *program);

}  // namespace tabvoro::bench
