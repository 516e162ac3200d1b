#pragma once

// WebBrowser1: the embedded browser view. The rest of the program reaches the web engine only
// through this class. Pages cannot stall the program: alert, confirm, prompt and
// showModalDialog answer silently, a new window the user asked for opens in this same view and
// one a script opened by itself is suppressed, a script closing the window shows the blank
// page, permission requests are denied, and a crashed renderer is reloaded.

#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include "browser/page_encoding_check.h"
#include "capture/error.h"

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineView;

namespace tabvoro::browser {

class WebPage;

class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // Opens an address in this view. Text without a scheme is taken as http, a local path as a
    // file address.
    void Navigate(const QString &address);
    // The address Navigate() opens for `address`.
    static QUrl urlFromAddress(const QString &address);
    // The address shown; "about:blank" for the blank page.
    QString LocationURL() const;
    // The page's title, or its address when it has none.
    QString LocationName() const;
    bool isLoading() const;
    // The address of the top-level load under way, or of the last one.
    QUrl loadingUrl() const { return m_loadingUrl; }

    // Where evaluate() runs a script. Isolated: a world of our own that sees the page's DOM but
    // none of its script globals, so a page that replaces builtins cannot disturb us. Page: the
    // page's own world, for reading what the page's scripts see.
    enum class ScriptWorld { Isolated, Page };

    // Runs `script` in the main frame of the page shown and waits for its result in a nested
    // event loop: timers, page signals and clicks keep being handled meanwhile, so callers must
    // guard against re-entry. Fails on timeout, when a new document replaces the page before it
    // answered, when the renderer dies or when this view goes; a script that starts a navigation
    // (a click on a link) still gets its answer.
    capture::Result<QVariant> evaluate(const QString &script, int timeoutMs = 30000,
                                       ScriptWorld world = ScriptWorld::Isolated);
    // As evaluate(), for a step the program takes as the user would (a click on a next-page
    // link): a new window it opens shortly after is opened in this view, as the user's own click
    // on a link with target=_blank is.
    capture::Result<QVariant> performAction(const QString &script);

    // The last top-level load that failed: its address and the engine's reason.
    struct LoadFailure {
        QUrl url;
        QString reason;
    };
    // Whether the page shown is the engine's error page of a failed load (or no page at all
    // after one): nothing of it may be taken as the page asked for.
    bool showsFailedLoad() const { return m_showsFailedLoad; }
    LoadFailure lastFailure() const { return m_lastFailure; }

    QWebEnginePage *page() const;
    QWebEngineView *view() const;

    void goBack();
    void goForward();
    void stop();
    void reload();

signals:
    void StatusTextChange(const QString &text);
    void ProgressChange(int progress, int maximum);
    // Command 1 is navigate forward, 2 navigate back.
    void CommandStateChange(int command, bool enable);
    void TitleChange(const QString &title);
    // A navigation of the main frame has committed (the new document exists).
    void NavigateComplete(const QUrl &url);
    // A top-level load has begun.
    void LoadStarted();
    // The main frame's document has finished loading; once per top-level load, never for frames.
    // `ok` false: the load failed (lastFailure() says why) and `url` is the address that failed.
    // A load replaced by another one before it finished is not reported.
    void DocumentComplete(const QUrl &url, bool ok);
    // The view lost the keyboard focus to nothing in particular (the window was left, a page
    // script took it away): not when the user moved it to another control.
    void LostFocus();
    // A message written to the page's console, by the page or by a script of ours.
    void ConsoleMessage(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectPage();
    void loadEnded(const QWebEngineLoadingInfo &info);
    void watchFocusProxy();
    void showPopup(const QUrl &url, bool userInitiated);
    void recoverFromCrash();
    QString displayTitle(const QString &title) const;

    QWebEngineView *m_view;
    WebPage *m_page;
    bool m_loading = false;
    // Whether the load under way has had its NavigateComplete.
    bool m_navigationReported = false;
    bool m_backEnabled = false;
    bool m_forwardEnabled = false;
    // The address reloaded after the renderer died; dying again there gives up on it.
    QUrl m_crashReloadUrl;
    QPointer<QWidget> m_focusProxy;
    bool m_showsFailedLoad = false;
    QUrl m_loadingUrl;
    LoadFailure m_lastFailure;
    // Until then a new window is the program's own step's (performAction), not a script's.
    qint64 m_actionPopupsUntilMs = 0;
    // What a step's script writes on the console as it begins, and whether that is still to
    // come; random, so that a page cannot write it.
    QString m_stepMarker;
    bool m_awaitingStepMarker = false;
    int m_loadStarts = 0;
    PageEncodingCheck m_encodingCheck{*this};
};

}  // namespace tabvoro::browser
