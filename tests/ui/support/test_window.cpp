#include "support/test_window.h"

#include <QTest>

namespace tabvoro::test {

std::unique_ptr<ui::Frmmain> makeTestWindow(const ScratchDir &dir, const run::RunTimings &timings)
{
    ui::FrmmainOptions options;
    options.runTimings = timings;
    options.programFolder = QString::fromStdString(dir.folder());
    options.openStartPage = false;
    options.reportOpenBrowserWindows = false;
    auto window = std::make_unique<ui::Frmmain>(options);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    return window;
}

}  // namespace tabvoro::test
