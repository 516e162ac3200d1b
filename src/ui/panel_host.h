#pragma once

// What the panels of the main window ask of the window they sit in: the panels own their
// controls' handlers and state; the window owns the browser, the text box, the status row, the
// address and the output folder.

#include <QString>
#include <functional>
#include <string>

#include "capture/capture_settings.h"

class QUrl;
class QWidget;

namespace tabvoro::browser {
class BrowserEngine;
}

namespace tabvoro::ui {

struct PanelHost {
    QWidget *window = nullptr;                  // the parent of the panels' dialogs
    browser::BrowserEngine *browser = nullptr;  // the page the panels read
    std::function<void(const QString &)> setText1;
    std::function<void(int index, const QString &)> showStatus;  // Labar(index)
    std::function<capture::CaptureSettings()> captureSettings;
    std::function<void(const QString &)> openAddress;      // opens an address as entered
    std::function<void(const QString &)> rememberAddress;  // adds it to the address drop-down
    std::function<QString()> outputFolder;                 // ending in "/"
    std::function<std::string()> codePage;                 // of the output files
    std::function<bool(const QUrl &)> openUrl;             // with the default program
};

}  // namespace tabvoro::ui
