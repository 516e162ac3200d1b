#include "browser/web_browser.h"

#include <memory>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFocusEvent>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "browser/web_engine_setup.h"
#include "browser/web_page.h"

namespace tabvoro::browser {

namespace {

const QUrl kBlank(QStringLiteral("about:blank"));

// Schemes written without "//" that still name a whole address; anything else before a colon
// ("localhost:8080/a") is a host with a port.
bool isOpaqueScheme(const QString &scheme)
{
    static const QStringList schemes{"about", "data", "javascript", "mailto", "blob", "file", "view-source", "chrome"};
    return schemes.contains(scheme, Qt::CaseInsensitive);
}

}  // namespace

QUrl WebBrowser::urlFromAddress(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return kBlank;
    static const QRegularExpression schemePrefix(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(//)?"));
    if (const auto match = schemePrefix.match(text); match.hasMatch()) {
        if (!match.captured(2).isEmpty() || isOpaqueScheme(match.captured(1)))
            return QUrl(text);
    }
    // An absolute path names no host even when the file is missing.
    if (const QFileInfo file(text); file.exists() || text.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(file.absoluteFilePath());
    return QUrl(QStringLiteral("http://") + text);
}

WebBrowser::WebBrowser(QWidget *parent)
    : QWidget(parent), m_view(new QWebEngineView(this)), m_page(new WebPage(sharedProfile(), m_view)),
      m_stepMarker(QStringLiteral("tabvoro-step:") + QString::number(QRandomGenerator::global()->generate64(), 36))
{
    m_view->setPage(m_page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);
    m_view->installEventFilter(this);
    connectPage();
}

WebBrowser::~WebBrowser()
{
    // The view dies after this object's own part: it must not reach our handlers any more.
    m_page->disconnect(this);
    m_page->action(QWebEnginePage::Back)->disconnect(this);
    m_page->action(QWebEnginePage::Forward)->disconnect(this);
    m_view->removeEventFilter(this);
    if (m_focusProxy)
        m_focusProxy->removeEventFilter(this);
    delete m_view;
}

void WebBrowser::connectPage()
{
    connect(m_page, &WebPage::popupRequested, this, &WebBrowser::showPopup);
    connect(m_page, &QWebEnginePage::windowCloseRequested, this, [this] {
        // Queued: the engine is still inside the page's script when it asks.
        QTimer::singleShot(0, this, [this] { m_page->load(kBlank); });
    });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus, int) {
                watchFocusProxy();
                QTimer::singleShot(0, this, &WebBrowser::recoverFromCrash);
            });

    connect(m_page, &QWebEnginePage::linkHovered, this, &WebBrowser::StatusTextChange);
    connect(m_page, &QWebEnginePage::titleChanged, this,
            [this](const QString &title) { emit TitleChange(displayTitle(title)); });
    // The engine reports a new address once the main frame's new document is in place, and for
    // moves within the document; a reload keeps the address and is reported when it finishes.
    connect(m_page, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
        m_navigationReported = true;
        emit NavigateComplete(url);
    });

    // The loading notices carry what a failed load needs (its address and reason), which
    // loadFinished(false) does not.
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus) {
            loadEnded(info);
            return;
        }
        m_loading = true;
        m_navigationReported = false;
        m_loadingUrl = info.url();
        // A new document's windows are its own: what the program's step clicked has led here.
        m_actionPopupsUntilMs = 0;
        m_awaitingStepMarker = false;
        ++m_loadStarts;
        watchFocusProxy();
        emit LoadStarted();
    });
    connect(m_page, &QWebEnginePage::loadProgress, this, [this](int progress) {
        // A late report of the load just finished would overwrite the finished mark.
        if (!m_loading)
            return;
        emit ProgressChange(progress, 100);
    });
    // Queued: the engine is inside the page's script when it reports, and a handler that asks
    // the page something would wait there for an answer that cannot come.
    connect(
        m_page, &WebPage::consoleMessage, this,
        [this](const QString &message) {
            if (message != m_stepMarker)
                emit ConsoleMessage(message);
        },
        Qt::QueuedConnection);
    // Direct: it must be seen before the window requests that follow it.
    connect(m_page, &WebPage::consoleMessage, this, [this](const QString &message) {
        if (message == m_stepMarker && m_awaitingStepMarker) {
            m_awaitingStepMarker = false;
            m_actionPopupsUntilMs = QDateTime::currentMSecsSinceEpoch() + 30000;
        }
    });

    QAction *back = m_page->action(QWebEnginePage::Back);
    QAction *forward = m_page->action(QWebEnginePage::Forward);
    m_backEnabled = back->isEnabled();
    m_forwardEnabled = forward->isEnabled();
    connect(back, &QAction::changed, this, [this, back] {
        if (back->isEnabled() != m_backEnabled) {
            m_backEnabled = back->isEnabled();
            emit CommandStateChange(2, m_backEnabled);
        }
    });
    connect(forward, &QAction::changed, this, [this, forward] {
        if (forward->isEnabled() != m_forwardEnabled) {
            m_forwardEnabled = forward->isEnabled();
            emit CommandStateChange(1, m_forwardEnabled);
        }
    });
}

void WebBrowser::loadEnded(const QWebEngineLoadingInfo &info)
{
    m_loading = false;
    watchFocusProxy();
    const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
    // A load the engine gave up because another one took its place, or that was stopped, is
    // not a page that failed: what replaced it is reported in its turn.
    constexpr int kNetAborted = -3;
    const bool replaced = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus ||
                          (info.errorDomain() == QWebEngineLoadingInfo::InternalErrorDomain &&
                           info.errorCode() == kNetAborted);
    const QUrl url = ok ? m_page->url() : info.url();
    if (ok && url != m_crashReloadUrl)
        m_crashReloadUrl.clear();
    emit ProgressChange(0, 0);
    if (replaced)
        return;
    m_showsFailedLoad = !ok;
    if (!ok)
        m_lastFailure = {url, info.errorString().isEmpty() ? QStringLiteral("错误 %1").arg(info.errorCode())
                                                            : info.errorString()};
    if (!m_navigationReported) {
        m_navigationReported = true;
        emit NavigateComplete(url);
    }
    // A page the view decoded otherwise than the engine reads it is shown again first; the end
    // of that load completes it.
    if (m_encodingCheck.redecodes(url, ok))
        return;
    emit DocumentComplete(url, ok);
}

void WebBrowser::Navigate(const QString &address)
{
    m_crashReloadUrl.clear();
    m_page->load(urlFromAddress(address));
}

QString WebBrowser::LocationURL() const
{
    const QUrl url = m_page->url();
    return url.isEmpty() ? kBlank.toString() : url.toString();
}

QString WebBrowser::LocationName() const { return displayTitle(m_page->title()); }

bool WebBrowser::isLoading() const { return m_page->isLoading(); }

QWebEnginePage *WebBrowser::page() const { return m_page; }

QWebEngineView *WebBrowser::view() const { return m_view; }

void WebBrowser::goBack() { m_encodingCheck.goInHistory(-1); }

void WebBrowser::goForward() { m_encodingCheck.goInHistory(1); }

void WebBrowser::stop() { m_page->triggerAction(QWebEnginePage::Stop); }

void WebBrowser::reload() { m_page->triggerAction(QWebEnginePage::Reload); }

capture::Result<QVariant> WebBrowser::evaluate(const QString &script, int timeoutMs, ScriptWorld world)
{
    // The answer may come after we gave up on it, when this frame and its loop are gone: the
    // callback only reaches the loop through this shared record.
    struct Answer {
        QPointer<QEventLoop> loop;
        bool arrived = false;
        QVariant value;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;

    const QPointer<WebBrowser> self(this);
    const QPointer<QWebEnginePage> page(m_page);
    const quint32 worldId =
        world == ScriptWorld::Page ? QWebEngineScript::MainWorld : QWebEngineScript::ApplicationWorld;
    m_page->runJavaScript(script, worldId, [answer](const QVariant &value) {
        answer->arrived = true;
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });

    // A script that follows a link or submits a form still answers, and the engine may report
    // the new load before the answer: only once the new document is in place can the old one
    // no longer answer.
    bool navigated = false;
    connect(m_page, &QWebEnginePage::loadStarted, &loop, [&navigated] { navigated = true; });
    const auto quitIfNavigated = [&navigated, &loop] {
        if (navigated)
            loop.quit();
    };
    connect(m_page, &QWebEnginePage::urlChanged, &loop, quitIfNavigated);
    connect(m_page, &QWebEnginePage::loadFinished, &loop, quitIfNavigated);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    connect(m_page, &QObject::destroyed, &loop, &QEventLoop::quit);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    if (!answer->arrived)
        loop.exec();

    if (!self || !page)
        return capture::failure("the browser view was closed before the page answered");
    if (answer->arrived)
        return answer->value;
    if (navigated)
        return capture::failure("the page changed before it answered");
    if (timeout.isActive())
        return capture::failure("the page's renderer stopped before it answered");
    return capture::failure("the page did not answer within " + std::to_string(timeoutMs) + " ms");
}

capture::Result<QVariant> WebBrowser::performAction(const QString &script)
{
    // A window is the step's only once the renderer has begun the step's script: one asked for
    // before it (a timer of the page's that fired while the step was on its way) is the page's
    // own. The script says on the console when it begins; the renderer's console notices and
    // window requests reach us in the order it made them.
    m_actionPopupsUntilMs = 0;
    m_awaitingStepMarker = true;
    const QUrl before = m_loadingUrl;
    const bool wasLoading = m_loading;
    const int loadsBefore = m_loadStarts;
    auto answer = evaluate(QStringLiteral("console.log('%1');\n").arg(m_stepMarker) + script);
    const bool began = !m_awaitingStepMarker;
    m_awaitingStepMarker = false;
    // The engine asks for the window once the click has run its course, which may be after
    // the script answered. Once the action has led to a new load, the windows asked for are
    // the new page's own.
    constexpr qint64 kGraceMs = 1000;
    const bool ledToLoad = m_loading != wasLoading || m_loadingUrl != before || m_loadStarts != loadsBefore;
    m_actionPopupsUntilMs = ledToLoad || !began ? 0 : QDateTime::currentMSecsSinceEpoch() + kGraceMs;
    return answer;
}

bool WebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        QTimer::singleShot(0, this, &WebBrowser::watchFocusProxy);
    if (event->type() == QEvent::FocusOut && (watched == m_focusProxy || watched == m_view)) {
        // Only focus lost to nothing in particular counts: the window left for another one, or
        // the focus taken away by a script. A click or a tab into another control is the user's
        // choice of where to type, an open menu gives the focus back when it closes. By now the
        // application already names the widget that gets the focus.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        QWidget *next = QApplication::focusWidget();
        const bool toNothing = !next || !window()->isAncestorOf(next);
        if (reason == Qt::ActiveWindowFocusReason) {
            emit LostFocus();
        } else if (reason == Qt::OtherFocusReason && toNothing) {
            // The engine hides the widget that takes the keys when it replaces it (a new
            // renderer): that is no loss. Whether it went is known once the event is through.
            QTimer::singleShot(0, this, [this, widget = QPointer<QWidget>(static_cast<QWidget *>(watched))] {
                QWidget *now = QApplication::focusWidget();
                const bool regained = now && (now == this || isAncestorOf(now));
                if (widget && widget->isVisible() && widget == m_focusProxy && !regained && (!now || !window()->isAncestorOf(now)))
                    emit LostFocus();
            });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WebBrowser::watchFocusProxy()
{
    // The engine replaces the widget that takes the keys whenever it makes a new renderer view.
    QWidget *proxy = m_view->focusProxy();
    if (proxy == m_focusProxy)
        return;
    if (m_focusProxy)
        m_focusProxy->removeEventFilter(this);
    m_focusProxy = proxy;
    if (proxy)
        proxy->installEventFilter(this);
}

void WebBrowser::showPopup(const QUrl &url, bool userInitiated)
{
    // A window a script opened by itself (an advertisement on a timer) is suppressed: in the
    // middle of a run it would replace the page being harvested. One without an address would
    // only blank the page that opened it.
    if (!userInitiated && QDateTime::currentMSecsSinceEpoch() > m_actionPopupsUntilMs)
        return;
    if (url.isEmpty() || url == kBlank)
        return;
    QTimer::singleShot(0, this, [this, url] { m_page->load(url); });
}

void WebBrowser::recoverFromCrash()
{
    const QUrl url = m_page->url().isEmpty() ? m_page->requestedUrl() : m_page->url();
    if (url.isEmpty() || url == kBlank || url == m_crashReloadUrl) {
        m_crashReloadUrl.clear();
        m_page->load(kBlank);
        return;
    }
    m_crashReloadUrl = url;
    m_page->load(url);
}

QString WebBrowser::displayTitle(const QString &title) const
{
    // For a document without a title the engine makes one of the address, shortened: without
    // "http://", without the slash after a bare host, a file by its name alone. Those stand for
    // no title, and the whole address is shown instead.
    const QUrl url = m_page->url();
    const QString address = LocationURL();
    if (title.isEmpty() || title == address || title == url.toDisplayString())
        return address;
    if (url.scheme() == QLatin1String("http")) {
        const QString shortened = url.adjusted(QUrl::RemoveScheme).toDisplayString().mid(2);
        if (title == shortened || (url.path() == QLatin1String("/") && title + QLatin1Char('/') == shortened))
            return address;
    }
    if (url.isLocalFile() && title == QFileInfo(url.toLocalFile()).fileName())
        return address;
    return title;
}

}  // namespace tabvoro::browser
