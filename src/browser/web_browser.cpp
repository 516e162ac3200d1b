#include "browser/web_browser.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QRandomGenerator>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineView>

#include "browser/answer_wait.h"
#include "browser/web_engine_setup.h"
#include "browser/web_page.h"

namespace tabvoro::browser {

namespace {

const QUrl kBlank(QStringLiteral("about:blank"));
// How often a document still loading is looked at for growth: its elements counted, which
// costs little beside the parsing it follows.
constexpr int kGrowthCheckMs = 250;
const QString kGrowthScript =
    QStringLiteral("document.readyState+':'+document.getElementsByTagName('*').length");

}  // namespace

WebBrowser::WebBrowser(QWidget *parent)
    : BrowserEngine(parent), m_view(new QWebEngineView(parent)), m_page(new WebPage(sharedProfile(), this)),
      m_stepMarker(QStringLiteral("tabvoro-step:") + QString::number(QRandomGenerator::global()->generate64(), 36)),
      m_encodingCheck(*this, *m_page)
{
    m_view->setPage(m_page);
    m_view->installEventFilter(this);
    m_growthCheck.setInterval(kGrowthCheckMs);
    connect(&m_growthCheck, &QTimer::timeout, this, &WebBrowser::checkGrowth);
    connectPage();
}

WebBrowser::~WebBrowser()
{
    // The view and the page die after this object's own part: they must not reach our
    // handlers any more.
    m_page->disconnect(this);
    m_page->action(QWebEnginePage::Back)->disconnect(this);
    m_page->action(QWebEnginePage::Forward)->disconnect(this);
    if (m_focusProxy)
        m_focusProxy->removeEventFilter(this);
    if (m_view) {
        m_view->removeEventFilter(this);
        delete m_view;
    }
}

QWidget *WebBrowser::widget() const { return m_view; }

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

    connect(m_page, &QWebEnginePage::linkHovered, this, &BrowserEngine::StatusTextChange);
    connect(m_page, &QWebEnginePage::titleChanged, this,
            [this](const QString &title) { emit TitleChange(titleOrAddress(title, m_page->url())); });
    // The engine reports a new address once the main frame's new document is in place, and for
    // moves within the document; a reload keeps the address and is reported when it finishes.
    connect(m_page, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) { m_loads.committed(url); });

    // The loading notices carry what a failed load needs (its address and reason), which
    // loadFinished(false) does not.
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
            loadBegan(info);
        else
            loadEnded(info);
    });
    connect(m_page, &QWebEnginePage::loadProgress, this, [this](int progress) {
        // A late report of the load just finished would overwrite the finished mark.
        if (m_loads.isLoading()) {
            emit ProgressChange(progress, 100);
            emit LoadProgressed();
        }
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
            m_loads.actionStarted();
        }
    });

    QAction *back = m_page->action(QWebEnginePage::Back);
    QAction *forward = m_page->action(QWebEnginePage::Forward);
    m_backEnabled = back->isEnabled();
    m_forwardEnabled = forward->isEnabled();
    connect(back, &QAction::changed, this, [this, back] {
        if (back->isEnabled() != m_backEnabled)
            emit backEnabledChanged(m_backEnabled = back->isEnabled());
    });
    connect(forward, &QAction::changed, this, [this, forward] {
        if (forward->isEnabled() != m_forwardEnabled)
            emit forwardEnabledChanged(m_forwardEnabled = forward->isEnabled());
    });
}

void WebBrowser::loadBegan(const QWebEngineLoadingInfo &info)
{
    // A new document's windows are its own: what the program's step clicked has led here.
    m_awaitingStepMarker = false;
    watchFocusProxy();
    m_lastGrowth.clear();
    m_growthCheck.start();
    m_loads.began(info.url());
}

void WebBrowser::checkGrowth()
{
    if (!m_loads.isLoading()) {
        m_growthCheck.stop();
        return;
    }
    // Asked without waiting for the answer: nothing else waits on it.
    const QPointer<WebBrowser> self(this);
    m_page->runJavaScript(kGrowthScript, QWebEngineScript::ApplicationWorld, [self](const QVariant &answer) {
        if (!self || !self->m_loads.isLoading() || !answer.isValid())
            return;
        const QString growth = answer.toString();
        if (growth == self->m_lastGrowth)
            return;
        self->m_lastGrowth = growth;
        emit self->LoadProgressed();
    });
}

void WebBrowser::loadEnded(const QWebEngineLoadingInfo &info)
{
    watchFocusProxy();
    const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
    const QUrl url = ok ? m_page->url() : info.url();
    if (ok && url != m_crashReloadUrl)
        m_crashReloadUrl.clear();
    if (std::exchange(m_takingUpFirstPage, false) && !m_afterFirstPage.isEmpty()) {
        // The first blank page is in place: the address asked for meanwhile takes its place.
        m_loads.stopped();
        QTimer::singleShot(0, this, [this] {
            if (!m_afterFirstPage.isEmpty())
                m_page->load(std::exchange(m_afterFirstPage, {}));
        });
        return;
    }
    // A load the engine gave up because another one took its place, or that was stopped, is
    // not a page that failed: what replaced it is reported in its turn.
    constexpr int kNetAborted = -3;
    const bool replaced = info.status() == QWebEngineLoadingInfo::LoadStoppedStatus ||
                          (info.errorDomain() == QWebEngineLoadingInfo::InternalErrorDomain &&
                           info.errorCode() == kNetAborted);
    if (replaced) {
        m_loads.stopped();
        return;
    }
    m_loads.ended(url, ok,
                  info.errorString().isEmpty() ? QStringLiteral("错误 %1").arg(info.errorCode()) : info.errorString());
    // A page the view decoded otherwise than the engine reads it is shown again first; the end
    // of that load completes it.
    if (m_encodingCheck.redecodes(url, ok))
        return;
    m_loads.complete(url, ok);
}

void WebBrowser::Navigate(const QString &address)
{
    m_crashReloadUrl.clear();
    load(urlFromAddress(address));
}

void WebBrowser::load(const QUrl &url)
{
    m_loads.setLoadingUrl(url);
    if ((m_takingUpFirstPage && m_firstLoadAsked) || !m_afterFirstPage.isEmpty()) {
        m_afterFirstPage = url;
        return;
    }
    if (!std::exchange(m_firstLoadAsked, true))
        m_takingUpFirstPage = url == kBlank;
    m_page->load(url);
}

QString WebBrowser::LocationURL() const
{
    const QUrl url = m_page->url();
    return url.isEmpty() ? kBlank.toString() : url.toString();
}

QString WebBrowser::LocationName() const { return titleOrAddress(m_page->title(), m_page->url()); }

bool WebBrowser::isLoading() const { return m_page->isLoading() || !m_afterFirstPage.isEmpty(); }

void WebBrowser::goBack() { m_encodingCheck.goInHistory(-1); }

void WebBrowser::goForward() { m_encodingCheck.goInHistory(1); }

void WebBrowser::stop()
{
    m_afterFirstPage.clear();
    m_page->triggerAction(QWebEnginePage::Stop);
}

void WebBrowser::reload() { m_page->triggerAction(QWebEnginePage::Reload); }

void WebBrowser::findText(const QString &text) { m_page->findText(text); }

capture::Result<QVariant> WebBrowser::evaluate(const QString &script, int timeoutMs, ScriptWorld world)
{
    // A script that follows a link or submits a form still answers, and the engine may report
    // the new load before the answer: only once the new document is in place can the old one
    // no longer answer.
    bool navigated = false;
    AnswerWait<QVariant> wait(this);
    const quint32 worldId =
        world == ScriptWorld::Page ? QWebEngineScript::MainWorld : QWebEngineScript::ApplicationWorld;
    m_page->runJavaScript(script, worldId, wait.receiver());
    connect(m_page, &QWebEnginePage::loadStarted, wait.context(), [&navigated] { navigated = true; });
    const auto hasNavigated = [&navigated] { return navigated; };
    using End = AnswerWait<QVariant>::End;
    wait.endOn(m_page, &QWebEnginePage::urlChanged, End::PageChanged, hasNavigated);
    wait.endOn(m_page, &QWebEnginePage::loadFinished, End::PageChanged, hasNavigated);
    wait.endOn(m_page, &QWebEnginePage::renderProcessTerminated, End::PageLost);
    wait.wait(timeoutMs);
    if (wait.answer() && !wait.engineGone())
        return *wait.answer();
    return std::unexpected(wait.failure());
}

capture::Result<QVariant> WebBrowser::performAction(const QString &script)
{
    // A window is the step's only once the renderer has begun the step's script: one asked for
    // before it (a timer of the page's that fired while the step was on its way) is the page's
    // own. The script says on the console when it begins; the renderer's console notices and
    // window requests reach us in the order it made them.
    m_loads.actionBegins();
    m_awaitingStepMarker = true;
    const QPointer<WebBrowser> self(this);
    auto answer = evaluate(QStringLiteral("console.log('%1');\n").arg(m_stepMarker) + script);
    if (!self)
        return answer;
    m_loads.actionAnswered(!std::exchange(m_awaitingStepMarker, false));
    return answer;
}

bool WebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::ChildAdded)
        QTimer::singleShot(0, this, &WebBrowser::watchFocusProxy);
    if (event->type() == QEvent::FocusOut && m_view && (watched == m_focusProxy || watched == m_view)) {
        // Only focus lost to nothing in particular counts: the window left for another one, or
        // the focus taken away by a script. A click or a tab into another control is the user's
        // choice of where to type, an open menu gives the focus back when it closes. By now the
        // application already names the widget that gets the focus.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        QWidget *next = QApplication::focusWidget();
        const bool toNothing = !next || !m_view->window()->isAncestorOf(next);
        if (reason == Qt::ActiveWindowFocusReason) {
            emit LostFocus();
        } else if (reason == Qt::OtherFocusReason && toNothing) {
            // The engine hides the widget that takes the keys when it replaces it (a new
            // renderer): that is no loss. Whether it went is known once the event is through.
            QTimer::singleShot(0, this, [this, widget = QPointer<QWidget>(static_cast<QWidget *>(watched))] {
                QWidget *now = QApplication::focusWidget();
                if (!m_view || !widget)
                    return;
                const bool regained = now && (now == m_view || m_view->isAncestorOf(now));
                if (widget->isVisible() && widget == m_focusProxy && !regained && (!now || !m_view->window()->isAncestorOf(now)))
                    emit LostFocus();
            });
        }
    }
    return BrowserEngine::eventFilter(watched, event);
}

void WebBrowser::watchFocusProxy()
{
    // The engine replaces the widget that takes the keys whenever it makes a new renderer view.
    QWidget *proxy = m_view ? m_view->focusProxy() : nullptr;
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
    if (m_loads.admitsPopup(url, userInitiated))
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

}  // namespace tabvoro::browser
