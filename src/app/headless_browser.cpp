#include "headless_browser.h"

#include <cstdlib>

#include <QApplication>

#include "browser/web_engine_setup.h"

namespace tabvoro::cli {

std::unique_ptr<QCoreApplication> makeApplication(capture::RunEngine engine, int &argc, char **argv)
{
    if (engine == capture::RunEngine::Chromium)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    browser::prepareWebEngine();
    return std::make_unique<QApplication>(argc, argv);
}

capture::Result<browser::BrowserEngine *> HeadlessBrowser::open(capture::RunEngine engine)
{
    if (engine == capture::RunEngine::Chromium) {
        m_chromium = std::make_unique<browser::ChromiumBrowser>();
        if (auto started = m_chromium->start(); !started)
            return std::unexpected(started.error());
        return m_chromium.get();
    }
    m_window = std::make_unique<QMainWindow>();
    m_window->setAttribute(Qt::WA_DontShowOnScreen);
    m_window->resize(1024, 768);
    m_view = new browser::WebBrowser(m_window.get());
    m_window->setCentralWidget(m_view->widget());
    m_window->show();
    return m_view;
}

}  // namespace tabvoro::cli
