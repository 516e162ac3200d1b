#pragma once

// The page behind the browser view. Nothing a page does may open a window or a dialog: a modal
// box shown while the window is offscreen or unattended stalls the load behind it for good.

#include <QWebEnginePage>
#include <QWebEngineScript>

namespace tabvoro::browser {

class WebPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit WebPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // The scripts put into every document and frame before the page's own scripts run, in the
    // order they run. Pages written for old browsers expect these dialogs and pop-ups gone.
    static const QStringList &pageScripts();
    // The script in every document and frame, in our isolated world, by which a frame from
    // another origin answers our read of it (frame_reading.h).
    static QWebEngineScript frameAnswerer();

signals:
    // A pop-up asked for `url`; `userInitiated` when a click or key of the user opened it (a
    // link with target=_blank), not a script of the page by itself.
    void popupRequested(const QUrl &url, bool userInitiated);
    // A message a script of the page, or one of ours, wrote to the console.
    void consoleMessage(const QString &message);

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    void installPageScripts();
    void refuseRequests();
};

}  // namespace tabvoro::browser
