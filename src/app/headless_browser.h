#pragma once

// The browser a command opens its page in without a window, and the application object that
// engine needs: Chromium needs no display and no Qt WebEngine process; the web view needs a
// QApplication, offscreen when there is no display.

#include <memory>

#include <QCoreApplication>
#include <QMainWindow>

#include "browser/browser_engine.h"
#include "browser/chromium_browser.h"
#include "browser/web_browser.h"
#include "capture/error.h"
#include "capture/job/job.h"

namespace tabvoro::cli {

// `argc` is kept by reference by the application, as Qt requires.
std::unique_ptr<QCoreApplication> makeApplication(capture::RunEngine engine, int &argc, char **argv);

// Chromium without a window, or the web view, which is never seen but must count as shown (a
// view never shown gets no answer from its page after the first navigation).
class HeadlessBrowser {
public:
    // A Chromium that cannot be started is a failure; it goes before the program, and its whole
    // process group with it.
    capture::Result<browser::BrowserEngine *> open(capture::RunEngine engine);

private:
    std::unique_ptr<browser::ChromiumBrowser> m_chromium;
    std::unique_ptr<QMainWindow> m_window;
    browser::WebBrowser *m_view = nullptr;  // the window's
};

}  // namespace tabvoro::cli
