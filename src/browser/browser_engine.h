#pragma once

// What a capture run asks of the browser it drives, whichever engine is behind it: the embedded
// view of the window, or a Chromium process without a window for unattended runs. Both keep
// pages from stalling a run: dialogs are answered silently, pop-ups a script opens by itself are
// suppressed, and one the user (or the program's own step) asked for opens in the same page.

#include <optional>

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

#include "capture/error.h"

namespace tabvoro::browser {

class BrowserEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~BrowserEngine() override = default;

    // Where evaluate() runs a script. Isolated: a world of our own that sees the page's DOM but
    // none of its script globals, so a page that replaces builtins cannot disturb us. Page: the
    // page's own world, for reading what the page's scripts see.
    enum class ScriptWorld { Isolated, Page };

    // The last top-level load that failed: its address and the engine's reason.
    struct LoadFailure {
        QUrl url;
        QString reason;
    };

    // Opens an address. Text without a scheme is taken as http, a local path as a file address.
    // An address opened while the engine is still taking up its first blank page is the load
    // that is reported: callers never wait for the blank page first.
    virtual void Navigate(const QString &address) = 0;
    // The address Navigate() opens for `address`.
    static QUrl urlFromAddress(const QString &address);
    // The address shown; "about:blank" for the blank page.
    virtual QString LocationURL() const = 0;
    // The page's title, or its address when it has none.
    virtual QString LocationName() const = 0;
    virtual bool isLoading() const = 0;
    // The address of the top-level load under way, or of the last one.
    virtual QUrl loadingUrl() const = 0;

    // Runs `script` in the main frame and waits for its result in a nested event loop: timers,
    // page notices and clicks keep being handled meanwhile, so callers guard against re-entry.
    // Fails on timeout, when a new document replaces the page before it answered, when the
    // page's process dies or when the engine goes. A script that throws answers an invalid value.
    virtual capture::Result<QVariant> evaluate(const QString &script, int timeoutMs = 30000,
                                               ScriptWorld world = ScriptWorld::Isolated) = 0;
    // As evaluate(), for a step the program takes as the user would (a click on a next-page
    // link): a new window it opens is opened in this same page.
    virtual capture::Result<QVariant> performAction(const QString &script) = 0;

    // The requests the page's own scripts have under way (XMLHttpRequest, fetch()) and the ms
    // since the last of them ended (since its document began, when none has), as the engine
    // counts them itself; nullopt when only the page can tell (see outstandingRequests()).
    struct ScriptRequests {
        int outstanding = 0;
        qint64 idleMs = 0;
    };
    virtual std::optional<ScriptRequests> scriptRequests() const { return std::nullopt; }

    // Whether the page shown is the result of a failed load (an error page, or none at all):
    // nothing of it may be taken as the page asked for.
    virtual bool showsFailedLoad() const = 0;
    virtual LoadFailure lastFailure() const = 0;

    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void stop() = 0;
    virtual void reload() = 0;
    // Finds the next occurrence of `text` in the page and shows it selected, as the user's own
    // search does; finding nothing changes nothing.
    virtual void findText(const QString &text) = 0;

signals:
    void StatusTextChange(const QString &text);
    // "0/0" (progress 0, maximum 0) once the page is idle.
    void ProgressChange(int progress, int maximum);
    // Whether the history has a page to go back, or forward, to; told when it changes.
    void backEnabledChanged(bool enabled);
    void forwardEnabledChanged(bool enabled);
    void TitleChange(const QString &title);
    // A navigation of the main frame has committed (the new document exists).
    void NavigateComplete(const QUrl &url);
    // A top-level load has begun.
    void LoadStarted();
    // The load under way has shown a sign of progress: bytes of it arrived, or its document
    // grew. A load that gives none for a while has stalled; one that does is still coming.
    void LoadProgressed();
    // The main frame's document has finished loading; once per top-level load, never for frames.
    // `ok` false: the load failed (lastFailure() says why; a dead page process is one) and `url`
    // is the address that failed. A load replaced by another before it finished is not reported.
    void DocumentComplete(const QUrl &url, bool ok);
    // A message written to the page's console, by the page or by a script of ours.
    void ConsoleMessage(const QString &message);
};

}  // namespace tabvoro::browser
