#pragma once

// A Chromium process without a window, driven over the DevTools protocol, for unattended runs:
// Debian's current, security-supported Chromium where the embedded view's engine is old and
// runs out of memory on large tables. It behaves as the window's view does: dialogs answered
// (alert dismissed, confirm accepted, prompt with its default text), the dialog-suppression
// scripts in every document and frame, a pop-up a script opens by itself suppressed and one
// the user's (or the program's) click asks for opened in the same page, the progress mark
// "0/0" when idle. The page's process dying, or Chromium itself, is a failed load; the next
// Navigate() starts Chromium again. Chromium never outlives this object.

#include <memory>
#include <unordered_set>

#include <QElapsedTimer>
#include <QJsonObject>

#include "browser/browser_engine.h"
#include "browser/load_tracker.h"

namespace tabvoro::browser {

class ChromiumProcess;
class DevToolsConnection;

class ChromiumBrowser : public BrowserEngine {
    Q_OBJECT
public:
    explicit ChromiumBrowser(QObject *parent = nullptr);
    ~ChromiumBrowser() override;

    // Starts Chromium now and opens its page; otherwise the first Navigate() or evaluate() does.
    capture::Result<void> start();
    bool isRunning() const;
    // Chromium's process group; 0 when it is not running.
    qint64 processGroup() const;
    // Chromium's DevTools HTTP endpoint (http://127.0.0.1:port); empty when not running.
    QUrl devToolsEndpoint() const;

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    QString LocationName() const override;
    bool isLoading() const override { return m_loads.isLoading() || m_navigationSent; }
    QUrl loadingUrl() const override { return m_loads.loadingUrl(); }
    capture::Result<QVariant> evaluate(const QString &script, int timeoutMs = 30000,
                                       ScriptWorld world = ScriptWorld::Isolated) override;
    capture::Result<QVariant> performAction(const QString &script) override;
    bool showsFailedLoad() const override { return m_loads.showsFailedLoad(); }
    LoadFailure lastFailure() const override { return m_loads.lastFailure(); }
    std::optional<ScriptRequests> scriptRequests() const override;
    void goBack() override;
    void goForward() override;
    void stop() override;
    void reload() override;
    void findText(const QString &text) override;

signals:
    // The page or Chromium went: every wait on the page ends.
    void pageLost(QPrivateSignal);

private:
    capture::Result<void> openPage();
    capture::Result<void> openPageTarget();
    void prepareSession(const QString &sessionId, bool mainPage);
    void onEvent(const QString &method, const QJsonObject &params, const QString &sessionId);
    void onPageEvent(const QString &method, const QJsonObject &params);
    void loadEnded();
    void chromiumLost();
    void openPopup(const QUrl &url, bool userGesture);
    void navigateTo(const QUrl &url);
    void goInHistory(int direction);
    void updateHistoryState();
    void readTitle();
    void setTitle(const QString &title);
    capture::Result<QVariant> run(const QString &script, int timeoutMs, ScriptWorld world, bool userGesture);
    capture::Result<int> isolatedContext();
    void noteScriptRequest(const QString &method, const QJsonObject &params);

    std::unique_ptr<ChromiumProcess> m_process;
    std::unique_ptr<DevToolsConnection> m_connection;
    quint16 m_port = 0;
    QString m_targetId;   // our page; also its main frame's id
    QString m_sessionId;  // our page's session
    // Our world in the main frame's document, as Chromium told of it or as asked for.
    int m_isolatedContext = 0;
    bool m_isolatedContextTold = false;
    bool m_openingPage = false;

    QUrl m_url{QStringLiteral("about:blank")};
    QString m_title;
    LoadTracker m_loads{*this};
    // An address sent to the page that has not begun loading yet.
    bool m_navigationSent = false;
    // The main frame's document requests under way, and why the last of them failed.
    std::unordered_set<QString> m_documentRequests;
    QString m_failureReason;
    // The requests of the main frame's scripts under way, and since when it has had none.
    std::unordered_set<QString> m_scriptRequests;
    QElapsedTimer m_scriptRequestsIdle;
    // The address of the error page's load, when the document committed is one.
    QUrl m_failedUrl;
    bool m_backEnabled = false;
    bool m_forwardEnabled = false;
    bool m_crashReported = false;
    // Scripts waiting for their answers, and the pop-up to open once they have it.
    int m_evaluating = 0;
    QUrl m_pendingPopup;
};

}  // namespace tabvoro::browser
