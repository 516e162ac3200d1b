#include "bench_window.h"

#include <QLineEdit>

#include <cstdio>
#include <cstdlib>

namespace tabvoro::bench {

bool openAndWait(ui::Frmmain &window, const QUrl &url)
{
    return loadAndWait(window, url, [&] {
        window.Txturl->setText(url.toString());
        window.OpenAddress(url.toString());
    });
}

BenchWindow openBenchWindow(const QUrl &warmUp, browser::BrowserEngine *engine, const char *program)
{
    BenchWindow b;
    b.folder = std::make_unique<QTemporaryDir>();
    ui::FrmmainOptions options;
    options.programFolder = b.folder->path() + "/";
    options.openStartPage = false;
    options.reportOpenBrowserWindows = false;
    options.browserEngine = engine;
    b.window = std::make_unique<ui::Frmmain>(options);
    // A view that was never shown stops answering scripts once it has navigated.
    b.window->setAttribute(Qt::WA_DontShowOnScreen);
    b.window->show();
    // The warm-up page keeps the start of the renderer process out of every measure.
    if (!openAndWait(*b.window, warmUp)) {
        std::fprintf(stderr, "%s: the warm-up page did not load\n", program);
        std::exit(1);
    }
    return b;
}

}  // namespace tabvoro::bench
