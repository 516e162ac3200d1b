#pragma once

// What both engines keep of the page's top-level loads, and how they tell of them, so that a run
// sees the same notices in the same order whichever engine it drives: LoadStarted as a load
// begins; NavigateComplete once for its new document; at its end the progress mark "0/0", then
// DocumentComplete, and for a failed load what showsFailedLoad() and lastFailure() say. Also
// which new windows are the program's own step's, and the title shown for a page without one.

#include <QString>
#include <QUrl>

#include "browser/browser_engine.h"

namespace tabvoro::browser {

// The page's title, or its address when it has none. An engine names a document without a
// title by its address, often shortened (without "http://", without the slash after a bare
// host, a file by its name alone): those stand for no title either.
QString titleOrAddress(const QString &title, const QUrl &url);

class LoadTracker {
public:
    // Tells of the loads through `engine`'s signals.
    explicit LoadTracker(BrowserEngine &engine) : m_engine(engine) {}

    bool isLoading() const { return m_loading; }
    // The address of the load under way, or of the last one.
    QUrl loadingUrl() const { return m_loadingUrl; }
    void setLoadingUrl(const QUrl &url) { m_loadingUrl = url; }
    bool showsFailedLoad() const { return m_showsFailedLoad; }
    BrowserEngine::LoadFailure lastFailure() const { return m_lastFailure; }

    // A top-level load of `url` (empty: the address already set) has begun. The windows the
    // new document asks for are its own, not the step's that led to it.
    void began(const QUrl &url = {});
    // The main frame's new document is in place, or the page moved within its document.
    void committed(const QUrl &url);
    // The load under way ended without a page to report: stopped, or given up for another.
    void stopped();
    // The load of `url` ended: the page is failed or not, and its document was told of.
    // Only complete() says it is complete, so that an engine may first show it again.
    void ended(const QUrl &url, bool ok, const QString &reason = {});
    void complete(const QUrl &url, bool ok) { emit m_engine.DocumentComplete(url, ok); }
    // ended() and complete().
    void finished(const QUrl &url, bool ok, const QString &reason = {});

    // The program's step (performAction) is about to be sent; a window asked for before it
    // began is the page's own.
    void actionBegins();
    // The step's script began: the windows it asks for are the step's, for a while.
    void actionStarted();
    // The step has answered. `started`: whether its script is known to have run (an engine that
    // marks the step's windows itself passes true). A new window asked for shortly after is
    // the step's still, unless the step has already led to a new load.
    void actionAnswered(bool started);
    // Whether a new window asked for `url` is opened in the page: one the user asked for (a
    // click on a link with target=_blank) or the step did; never one a script opened by itself
    // (an advertisement on a timer would replace the page being harvested), nor one without an
    // address, which would only blank the page that opened it.
    bool admitsPopup(const QUrl &url, bool userInitiated) const;

private:
    BrowserEngine &m_engine;
    bool m_loading = false;
    // Whether the load under way has had its NavigateComplete.
    bool m_navigationReported = false;
    QUrl m_loadingUrl;
    bool m_showsFailedLoad = false;
    BrowserEngine::LoadFailure m_lastFailure;
    int m_loadStarts = 0;

    // Until then a new window is the program's own step's, not a script's.
    qint64 m_actionPopupsUntilMs = 0;
    // What the step found before it was sent, to tell whether it led to a new load.
    QUrl m_loadingUrlBeforeAction;
    bool m_loadingBeforeAction = false;
    int m_loadStartsBeforeAction = 0;
};

}  // namespace tabvoro::browser
