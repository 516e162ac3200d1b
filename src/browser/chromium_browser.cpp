#include "browser/chromium_browser.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>

#include "browser/answer_wait.h"
#include "browser/chromium_process.h"
#include "browser/devtools_connection.h"
#include "browser/frame_reading.h"
#include "browser/page_scripts.h"

namespace tabvoro::browser {

namespace {

const QUrl kBlank(QStringLiteral("about:blank"));
const QString kWorldName = QStringLiteral("tabvoro");
constexpr int kCommandMs = 10000;

QString messageText(const QJsonArray &args)
{
    QStringList parts;
    for (const QJsonValue &arg : args) {
        const QJsonObject object = arg.toObject();
        const QJsonValue value = object["value"];
        if (value.isString())
            parts << value.toString();
        else if (!value.isUndefined() && !value.isNull())
            parts << QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
        else
            parts << object["description"].toString(object["type"].toString());
    }
    return parts.join(u' ');
}

}  // namespace

ChromiumBrowser::ChromiumBrowser(QObject *parent) : BrowserEngine(parent) {}

ChromiumBrowser::~ChromiumBrowser()
{
    // Nothing of Chromium may reach our handlers once this object is going.
    if (m_connection)
        m_connection->abort();
    m_connection.reset();
    m_process.reset();
}

bool ChromiumBrowser::isRunning() const { return m_connection && m_connection->isOpen() && m_process && m_process->isRunning(); }

qint64 ChromiumBrowser::processGroup() const { return m_process && m_process->isRunning() ? m_process->processGroup() : 0; }

QUrl ChromiumBrowser::devToolsEndpoint() const
{
    return isRunning() ? QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)) : QUrl();
}

capture::Result<void> ChromiumBrowser::start()
{
    if (isRunning() && !m_sessionId.isEmpty())
        return {};
    if (m_connection)
        m_connection->abort();
    m_connection.reset();
    m_process = std::make_unique<ChromiumProcess>();
    const auto socketUrl = m_process->start();
    if (!socketUrl) {
        m_process.reset();
        return std::unexpected(socketUrl.error());
    }
    connect(m_process.get(), &ChromiumProcess::finished, this, &ChromiumBrowser::chromiumLost);
    m_port = static_cast<quint16>(socketUrl->port());
    m_connection = std::make_unique<DevToolsConnection>();
    connect(m_connection.get(), &DevToolsConnection::event, this, &ChromiumBrowser::onEvent);
    connect(m_connection.get(), &DevToolsConnection::closed, this, &ChromiumBrowser::chromiumLost);
    m_connection->open(*socketUrl);
    if (auto opened = openPage(); !opened) {
        m_connection->abort();
        m_connection.reset();
        m_process.reset();
        return opened;
    }
    return {};
}

capture::Result<void> ChromiumBrowser::openPage()
{
    m_openingPage = true;
    const auto opened = openPageTarget();
    m_openingPage = false;
    return opened;
}

capture::Result<void> ChromiumBrowser::openPageTarget()
{
    m_sessionId.clear();
    m_isolatedContext = 0;
    m_scriptRequests.clear();
    m_scriptRequestsIdle.invalidate();
    const auto created = m_connection->call("Target.createTarget", {{"url", kBlank.toString()}});
    if (!created)
        return std::unexpected(created.error());
    m_targetId = (*created)["targetId"].toString();
    const auto attached = m_connection->call("Target.attachToTarget", {{"targetId", m_targetId}, {"flatten", true}});
    if (!attached)
        return std::unexpected(attached.error());
    m_sessionId = (*attached)["sessionId"].toString();
    m_url = kBlank;
    prepareSession(m_sessionId, true);
    // A new page is still taking in its blank document for a while, and that would cancel the
    // first address sent to it: it is given the blank page once more, and waited for.
    m_connection->call("Page.navigate", {{"url", kBlank.toString()}}, m_sessionId);
    for (QDeadlineTimer settled(2000); !settled.hasExpired();) {
        const auto state = m_connection->call("Runtime.evaluate", evaluateParams("document.readyState"), m_sessionId);
        if (!state || evaluatedValue(*state).value_or(QJsonValue()).toString() == "complete")
            break;
        QEventLoop pause;
        waitAtMost(pause, 20);
    }

    // The tab Chromium opened by itself is no page of ours; from now on any other page is a
    // pop-up, closed as it appears.
    if (const auto targets = m_connection->call("Target.getTargets")) {
        for (const QJsonValue &entry : (*targets)["targetInfos"].toArray()) {
            const QJsonObject info = entry.toObject();
            if (info["type"].toString() == "page" && info["targetId"].toString() != m_targetId)
                m_connection->send("Target.closeTarget", {{"targetId", info["targetId"]}});
        }
    }
    // A run saves tables, not the files a page offers.
    m_connection->send("Browser.setDownloadBehavior", {{"behavior", "deny"}});
    const auto discovering = m_connection->call("Target.setDiscoverTargets", {{"discover", true}});
    if (!discovering)
        return std::unexpected(discovering.error());
    return {};
}

void ChromiumBrowser::prepareSession(const QString &sessionId, bool mainPage)
{
    DevToolsConnection &c = *m_connection;
    c.send("Page.enable", {}, sessionId);
    for (const QString &source : documentScripts())
        c.send("Page.addScriptToEvaluateOnNewDocument", {{"source", guardedPageScript(source)}}, sessionId);
    c.send("Page.addScriptToEvaluateOnNewDocument",
           {{"source", guardedPageScript(frameAnswerScript())}, {"worldName", kWorldName}}, sessionId);
    if (mainPage) {
        c.send("Runtime.enable", {}, sessionId);
        c.send("Network.enable", {}, sessionId);
        c.send("Inspector.enable", {}, sessionId);
    }
    // Frames from other sites run in processes of their own, each a target of its own: they
    // are held at their start until they have the scripts too.
    c.send("Target.setAutoAttach", {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}},
           sessionId);
    if (!mainPage)
        c.send("Runtime.runIfWaitingForDebugger", {}, sessionId);
}

void ChromiumBrowser::onEvent(const QString &method, const QJsonObject &params, const QString &sessionId)
{
    if (method == "Page.javascriptDialogOpening") {
        // Alert dismissed, confirm accepted, prompt answered with its default text; a page
        // asking whether to be left is left.
        const QString type = params["type"].toString();
        m_connection->send("Page.handleJavaScriptDialog",
                           {{"accept", type != "alert"}, {"promptText", params["defaultPrompt"].toString()}}, sessionId);
        return;
    }
    if (method == "Target.attachedToTarget") {
        const QString child = params["sessionId"].toString();
        if (params["targetInfo"].toObject()["type"].toString() == "iframe")
            prepareSession(child, false);
        else
            m_connection->send("Runtime.runIfWaitingForDebugger", {}, child);
        return;
    }
    if (sessionId.isEmpty()) {
        const QJsonObject info = params["targetInfo"].toObject();
        const QString targetId = info.contains("targetId") ? info["targetId"].toString() : params["targetId"].toString();
        // While our page is being opened its id is not known yet; openPage() closes the
        // others once it is.
        if (method == "Target.targetCreated" && info["type"].toString() == "page" && targetId != m_targetId &&
            !m_openingPage) {
            m_connection->send("Target.closeTarget", {{"targetId", targetId}});
        } else if (method == "Target.targetInfoChanged" && targetId == m_targetId) {
            setTitle(info["title"].toString());
        } else if (method == "Target.targetCrashed" && targetId == m_targetId) {
            onPageEvent("Inspector.targetCrashed", {});
        } else if (method == "Target.targetDestroyed" && targetId == m_targetId) {
            // A script closed the window: the blank page takes its place.
            QTimer::singleShot(0, this, [this] {
                if (!m_connection || !m_connection->isOpen())
                    return;
                emit pageLost(QPrivateSignal());
                if (!openPage()) {
                    chromiumLost();
                    return;
                }
                // The new page is blank already: it is reported as the blank page's load.
                m_loads.began(kBlank);
                m_loads.committed(kBlank);
                m_loads.finished(kBlank, true);
            });
        }
        return;
    }
    if (sessionId == m_sessionId)
        onPageEvent(method, params);
}

void ChromiumBrowser::onPageEvent(const QString &method, const QJsonObject &params)
{
    // The new page's own first load is no load of the program's.
    if (m_openingPage)
        return;
    const auto isMainFrame = [&](const QJsonValue &frameId) { return frameId.toString() == m_targetId; };
    if (method.startsWith(QLatin1String("Network.")))
        noteScriptRequest(method, params);
    if (method == "Page.frameStartedLoading" && isMainFrame(params["frameId"])) {
        // Chromium may report one load as started twice.
        if (m_loads.isLoading())
            return;
        m_crashReported = false;
        m_failedUrl.clear();
        m_navigationSent = false;
        m_loads.began();
        emit ProgressChange(10, 100);
    } else if (method == "Network.requestWillBeSent") {
        if (params["type"].toString() == "Document" && isMainFrame(params["frameId"])) {
            m_documentRequests.insert(params["requestId"].toString());
            m_loads.setLoadingUrl(QUrl(params["request"].toObject()["url"].toString()));
            m_failureReason.clear();
        }
    } else if (method == "Network.dataReceived" || method == "Network.responseReceived") {
        // The bytes of the page and of what it loads with it, as they arrive.
        if (m_loads.isLoading())
            emit LoadProgressed();
    } else if (method == "Network.loadingFailed") {
        if (m_documentRequests.erase(params["requestId"].toString()))
            m_failureReason = params["errorText"].toString();
    } else if (method == "Network.loadingFinished") {
        m_documentRequests.erase(params["requestId"].toString());
        if (m_loads.isLoading())
            emit LoadProgressed();
    } else if (method == "Page.frameNavigated") {
        const QJsonObject frame = params["frame"].toObject();
        if (frame.contains("parentId"))
            return;
        m_url = QUrl(frame["url"].toString());
        m_failedUrl = QUrl(frame["unreachableUrl"].toString());
        // The old document's contexts are gone by now (Runtime.executionContextsCleared); the
        // new one's world may already have been told of.
        m_scriptRequests.clear();
        m_scriptRequestsIdle.start();
        m_loads.committed(m_failedUrl.isEmpty() ? m_url : m_failedUrl);
        updateHistoryState();
    } else if (method == "Page.navigatedWithinDocument" && isMainFrame(params["frameId"])) {
        m_url = QUrl(params["url"].toString());
        emit NavigateComplete(m_url);
        updateHistoryState();
    } else if (method == "Page.domContentEventFired") {
        if (m_loads.isLoading())
            emit ProgressChange(50, 100);
    } else if (method == "Page.loadEventFired") {
        readTitle();
        if (m_loads.isLoading())
            loadEnded();
    } else if (method == "Page.frameStoppedLoading" && isMainFrame(params["frameId"])) {
        // Stopped, or replaced by a download: no page to report.
        if (m_loads.isLoading())
            m_loads.stopped();
    } else if (method == "Page.windowOpen") {
        openPopup(QUrl(params["url"].toString()), params["userGesture"].toBool());
    } else if (method == "Runtime.executionContextCreated") {
        // Our world is made in every new document (its script is one of the document scripts):
        // its context is taken as told, rather than asked for again before the first script.
        const QJsonObject context = params["context"].toObject();
        if (context["name"].toString() == kWorldName && isMainFrame(context["auxData"].toObject()["frameId"])) {
            m_isolatedContext = context["id"].toInt();
            m_isolatedContextTold = true;
        }
    } else if (method == "Runtime.executionContextDestroyed") {
        if (params["executionContextId"].toInt() == m_isolatedContext)
            m_isolatedContext = 0;
    } else if (method == "Runtime.executionContextsCleared") {
        m_isolatedContext = 0;
    } else if (method == "Runtime.consoleAPICalled") {
        emit ConsoleMessage(messageText(params["args"].toArray()));
    } else if (method == "Inspector.targetCrashed") {
        if (m_crashReported)
            return;
        m_crashReported = true;
        emit pageLost(QPrivateSignal());
        m_loads.finished(m_loads.isLoading() ? m_loads.loadingUrl() : m_url, false,
                         QStringLiteral("the page's renderer process ended"));
    }
}

void ChromiumBrowser::loadEnded()
{
    const bool ok = m_failedUrl.isEmpty();
    // The history has its new entry by now, which it may not have had when the document came.
    updateHistoryState();
    m_loads.finished(ok ? m_url : m_failedUrl, ok, m_failureReason);
}

void ChromiumBrowser::chromiumLost()
{
    if (!m_connection && !m_process)
        return;
    // Ended from a handler of the connection or the process: they go once it has returned.
    if (m_connection) {
        m_connection->abort();
        m_connection.release()->deleteLater();
    }
    if (m_process) {
        m_process->disconnect(this);
        m_process.release()->deleteLater();
    }
    m_sessionId.clear();
    m_targetId.clear();
    m_isolatedContext = 0;
    m_navigationSent = false;
    emit pageLost(QPrivateSignal());
    m_loads.finished(m_loads.isLoading() ? m_loads.loadingUrl() : m_url, false, QStringLiteral("Chromium ended"));
}

void ChromiumBrowser::Navigate(const QString &address)
{
    navigateTo(urlFromAddress(address));
}

void ChromiumBrowser::navigateTo(const QUrl &url)
{
    if (auto started = start(); !started) {
        const QString reason = QString::fromStdString(started.error().message);
        // Reported as a load that failed, after the caller has returned, as any other.
        QTimer::singleShot(0, this, [this, url, reason] {
            m_loads.began(url);
            m_loads.finished(url, false, reason);
        });
        return;
    }
    m_loads.setLoadingUrl(url);
    m_navigationSent = true;
    // An address Chromium refuses to open at all gets no error page: it fails here.
    const QPointer<ChromiumBrowser> self(this);
    m_connection->send("Page.navigate", {{"url", url.toString(QUrl::FullyEncoded)}}, m_sessionId,
                       [self, url](const capture::Result<QJsonObject> &result) {
                           if (!self)
                               return;
                           // By the answer the load has begun, or never will (a move within the document).
                           self->m_navigationSent = false;
                           if (!result && self->m_connection && self->m_connection->isOpen())
                               self->m_loads.finished(url, false, QString::fromStdString(result.error().message));
                       });
}

QString ChromiumBrowser::LocationURL() const { return m_url.isEmpty() ? kBlank.toString() : m_url.toString(); }

QString ChromiumBrowser::LocationName() const { return titleOrAddress(m_title, m_url); }

void ChromiumBrowser::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit TitleChange(LocationName());
}

void ChromiumBrowser::readTitle()
{
    // Chromium tells of a page's new address, but not of the title its document then gives.
    const QPointer<ChromiumBrowser> self(this);
    m_connection->send("Runtime.evaluate", evaluateParams(QStringLiteral("document.title")), m_sessionId,
                       [self](const capture::Result<QJsonObject> &answer) {
                           if (!self || !answer)
                               return;
                           if (const auto title = evaluatedValue(*answer); title && title->isString())
                               self->setTitle(title->toString());
                       });
}

void ChromiumBrowser::noteScriptRequest(const QString &method, const QJsonObject &params)
{
    // Counted as the page's own count does (see documentScripts()): the main frame's
    // XMLHttpRequest and fetch(), neither a worker's (no loader) nor a long-lived EventSource.
    const QString id = params["requestId"].toString();
    if (method == "Network.requestWillBeSent") {
        const QString type = params["type"].toString();
        if ((type == "XHR" || type == "Fetch") && params["frameId"].toString() == m_targetId &&
            !params["loaderId"].toString().isEmpty())
            m_scriptRequests.insert(id);
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
        if (m_scriptRequests.erase(id) && m_scriptRequests.empty())
            m_scriptRequestsIdle.start();
    }
}

std::optional<BrowserEngine::ScriptRequests> ChromiumBrowser::scriptRequests() const
{
    // Before its first document Chromium has told of nothing: the page is asked.
    if (!m_scriptRequestsIdle.isValid())
        return std::nullopt;
    return ScriptRequests{static_cast<int>(m_scriptRequests.size()),
                          m_scriptRequests.empty() ? m_scriptRequestsIdle.elapsed() : 0};
}

capture::Result<int> ChromiumBrowser::isolatedContext()
{
    if (m_isolatedContext)
        return m_isolatedContext;
    const auto world = m_connection->call("Page.createIsolatedWorld", {{"frameId", m_targetId}, {"worldName", kWorldName}},
                                          m_sessionId, kCommandMs);
    if (!world)
        return std::unexpected(world.error());
    m_isolatedContext = (*world)["executionContextId"].toInt();
    m_isolatedContextTold = false;
    return m_isolatedContext;
}

capture::Result<QVariant> ChromiumBrowser::evaluate(const QString &script, int timeoutMs, ScriptWorld world)
{
    return run(script, timeoutMs, world, false);
}

capture::Result<QVariant> ChromiumBrowser::run(const QString &script, int timeoutMs, ScriptWorld world, bool userGesture)
{
    if (auto started = start(); !started)
        return std::unexpected(started.error());
    QJsonObject params = evaluateParams(script);
    if (world == ScriptWorld::Isolated) {
        const auto context = isolatedContext();
        if (!context)
            return std::unexpected(context.error());
        params["contextId"] = *context;
    }
    if (userGesture)
        params["userGesture"] = true;

    AnswerWait<capture::Result<QJsonObject>> wait(this);
    m_connection->send("Runtime.evaluate", params, m_sessionId, wait.receiver());
    wait.endOn(this, &ChromiumBrowser::pageLost, AnswerWait<capture::Result<QJsonObject>>::End::PageLost);
    ++m_evaluating;
    wait.wait(timeoutMs);
    if (wait.engineGone())
        return std::unexpected(wait.failure());
    // A pop-up the script asked for replaces the page only once the script has answered.
    if (--m_evaluating == 0 && !m_pendingPopup.isEmpty())
        QTimer::singleShot(0, this, [this, url = std::exchange(m_pendingPopup, {})] { navigateTo(url); });
    if (!wait.answer())
        return std::unexpected(wait.failure());
    const capture::Result<QJsonObject> &answer = *wait.answer();
    if (!answer && world == ScriptWorld::Isolated && m_isolatedContextTold &&
        params["contextId"].toInt() == m_isolatedContext &&
        answer.error().message.find("Cannot find context") != std::string::npos) {
        // Our world was taken as told before the news of its document's end came: the script
        // never ran, and is run in the world of the document shown.
        m_isolatedContext = 0;
        return run(script, timeoutMs, world, userGesture);
    }
    if (!answer)
        return capture::failure("the page did not answer: " + answer.error().message);
    const auto value = evaluatedValue(*answer);
    return value ? value->toVariant() : QVariant();
}

capture::Result<QVariant> ChromiumBrowser::performAction(const QString &script)
{
    // The step's script runs as the user's gesture, so the windows it asks for say so. Until it
    // has answered, one that does not say so is the page's own (a timer that fired while the
    // step was on its way); a new window asked for shortly after the step still comes from it.
    m_loads.actionBegins();
    const QPointer<ChromiumBrowser> self(this);
    auto answer = run(script, 30000, ScriptWorld::Isolated, true);
    if (self)
        m_loads.actionAnswered(true);
    return answer;
}

void ChromiumBrowser::openPopup(const QUrl &url, bool userGesture)
{
    // The new page itself is closed as it appears (Target.targetCreated).
    if (!m_loads.admitsPopup(url, userGesture))
        return;
    if (m_evaluating > 0)
        m_pendingPopup = url;
    else
        QTimer::singleShot(0, this, [this, url] { navigateTo(url); });
}

void ChromiumBrowser::updateHistoryState()
{
    const QPointer<ChromiumBrowser> self(this);
    m_connection->send("Page.getNavigationHistory", {}, m_sessionId, [self](const capture::Result<QJsonObject> &history) {
        if (!self || !history)
            return;
        const int current = (*history)["currentIndex"].toInt();
        const int count = static_cast<int>((*history)["entries"].toArray().size());
        if (const bool back = current > 0; back != self->m_backEnabled)
            emit self->backEnabledChanged(self->m_backEnabled = back);
        if (const bool forward = current + 1 < count; forward != self->m_forwardEnabled)
            emit self->forwardEnabledChanged(self->m_forwardEnabled = forward);
    });
}

void ChromiumBrowser::goInHistory(int direction)
{
    if (!isRunning())
        return;
    const QPointer<ChromiumBrowser> self(this);
    m_connection->send("Page.getNavigationHistory", {}, m_sessionId,
                       [self, direction](const capture::Result<QJsonObject> &history) {
                           if (!self || !history || !self->m_connection)
                               return;
                           const QJsonArray entries = (*history)["entries"].toArray();
                           const int index = (*history)["currentIndex"].toInt() + direction;
                           if (index < 0 || index >= entries.size())
                               return;
                           self->m_connection->send("Page.navigateToHistoryEntry",
                                                    {{"entryId", entries[index].toObject()["id"]}}, self->m_sessionId);
                       });
}

void ChromiumBrowser::goBack() { goInHistory(-1); }

void ChromiumBrowser::goForward() { goInHistory(1); }

void ChromiumBrowser::stop()
{
    if (isRunning())
        m_connection->send("Page.stopLoading", {}, m_sessionId);
}

void ChromiumBrowser::reload()
{
    if (isRunning())
        m_connection->send("Page.reload", {}, m_sessionId);
}

void ChromiumBrowser::findText(const QString &text)
{
    // The page's own search, which selects what it finds and scrolls it into view; from the
    // selection on, round the end to the start.
    if (isRunning())
        m_connection->send("Runtime.evaluate",
                           evaluateParams(QStringLiteral("window.find(%1, false, false, true)")
                                              .arg(QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1))),
                           m_sessionId);
}

}  // namespace tabvoro::browser
