#pragma once

// Changes a page's own scripts make to the page shown, seen by a mutation observer in the page
// (in our isolated world, where the page's scripts cannot see or stop it) rather than by the
// program asking again and again.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "browser/page_snapshot.h"

namespace tabvoro::browser {

class BrowserEngine;

// Reads through `browser` as BrowserEngine::evaluate does, and keeps in `stamp` a mark of the
// document answered and of every change made to it so far, taken with the answer: two equal
// stamps mean the same document, unchanged in between.
EvaluateFn stampedEvaluate(BrowserEngine *browser, QString *stamp);
// The stamp of the page shown now (empty when the page cannot be asked).
QString currentChangeStamp(BrowserEngine *browser);
// The start of a function body that returns false unless the document shown is still the one
// `stamp` was taken of: a step worked out on one page must not land on the page that replaced
// it meanwhile (a click meant for page 3 would turn page 4 into page 5). Changes the page's
// scripts make in place do not count. Empty for an empty stamp.
QString sameDocumentGuard(const QString &stamp);
// As sameDocumentGuard(), stricter: the start of a function body that answers
// unchangedPageRefusal() unless the page shown is exactly as `stamp` found it, the same document
// with no change made to it since. A step worked out on a read taken earlier checks that the
// read still holds in the call that carries it out, rather than in a call of its own.
QString unchangedPageGuard(const QString &stamp);
// What a script guarded by unchangedPageGuard() answers when the page has changed.
QString unchangedPageRefusal();

// Tells when a page whose next page comes by script has shown it: start() before the step that
// asks for it (the change may come at once), arm() once it is clear that no new document is
// coming; settled() follows when the page's tables (of the page or of its readable frames) have
// changed and then stayed unchanged for the settle time. It follows sooner, armed or not, when
// they have stayed unchanged for the still time while the page has no request of its own
// outstanding and no load under way.
class TableChangeWatch : public QObject {
    Q_OBJECT
public:
    explicit TableChangeWatch(BrowserEngine *browser, int settleMs = 500, int stillMs = 20);

    bool start();
    // As start(), within another script: the expression that starts the watch, true when it
    // did, for that script to run before the step; startedInPage() is then told its answer.
    QString startExpression();
    void startedInPage(bool started);
    // False when the watch is gone (a new document replaced the page it watched).
    bool arm();
    // Stops listening; cheap enough for the moment a new document arrives.
    void cancel();
    bool isActive() const { return !m_token.isEmpty(); }

signals:
    void settled();

private:
    void onConsoleMessage(const QString &message);

    BrowserEngine *m_browser;
    int m_settleMs;
    int m_stillMs;
    QString m_token;
};

// The requests the page shown has outstanding, made by its own scripts, as the engine counts
// them or else as the page does (0 when it cannot be asked: a page that does not answer has
// nothing to wait for here).
int outstandingRequests(BrowserEngine *browser);

// Tells when a page that has loaded has settled: quiet() once it has had no request of its own
// outstanding and no change to its tables for the quiet time, or, at the latest, when the limit
// has passed since start(). It asks the page a tiny question every poll; the tables' changes
// are counted by a mutation observer in the page (our isolated world), the requests by the
// engine or by the count the document scripts keep in the page's own world.
class PageSettleWatch : public QObject {
    Q_OBJECT
public:
    explicit PageSettleWatch(BrowserEngine *browser, int quietMs = 500);

    void start(int limitMs);
    // The page was not yet what was waited for at the last quiet(): the next one comes once
    // its tables have changed again and then been quiet, or at the limit.
    void awaitChange();
    // Without a round trip, as for start() again or a new document.
    void cancel();
    bool isActive() const { return m_active; }

signals:
    // `atLimit`: the limit has passed, quiet or not.
    void quiet(bool atLimit);

private:
    void poll();

    BrowserEngine *m_browser;
    int m_quietMs;
    int m_pollMs;
    int m_limitMs = 0;
    bool m_active = false;
    bool m_polling = false;
    // awaitChange(): the table changes counted when it was called (-1: no change awaited).
    long long m_changesAwaited = -1;
    long long m_changes = 0;
    QElapsedTimer m_since;
    QTimer m_poll;
};

}  // namespace tabvoro::browser
