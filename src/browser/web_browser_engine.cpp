#include "browser/web_browser_engine.h"

#include "browser/web_browser.h"

namespace tabvoro::browser {

WebBrowserEngine::WebBrowserEngine(WebBrowser *view) : BrowserEngine(view), m_view(view)
{
    connect(view, &WebBrowser::StatusTextChange, this, &BrowserEngine::StatusTextChange);
    connect(view, &WebBrowser::ProgressChange, this, &BrowserEngine::ProgressChange);
    connect(view, &WebBrowser::CommandStateChange, this, &BrowserEngine::CommandStateChange);
    connect(view, &WebBrowser::TitleChange, this, &BrowserEngine::TitleChange);
    connect(view, &WebBrowser::NavigateComplete, this, &BrowserEngine::NavigateComplete);
    connect(view, &WebBrowser::LoadStarted, this, &BrowserEngine::LoadStarted);
    connect(view, &WebBrowser::DocumentComplete, this, &BrowserEngine::DocumentComplete);
    connect(view, &WebBrowser::ConsoleMessage, this, &BrowserEngine::ConsoleMessage);
}

void WebBrowserEngine::Navigate(const QString &address) { m_view->Navigate(address); }

QString WebBrowserEngine::LocationURL() const { return m_view->LocationURL(); }

QString WebBrowserEngine::LocationName() const { return m_view->LocationName(); }

bool WebBrowserEngine::isLoading() const { return m_view->isLoading(); }

QUrl WebBrowserEngine::loadingUrl() const { return m_view->loadingUrl(); }

capture::Result<QVariant> WebBrowserEngine::evaluate(const QString &script, int timeoutMs, ScriptWorld world)
{
    return m_view->evaluate(script, timeoutMs,
                            world == ScriptWorld::Page ? WebBrowser::ScriptWorld::Page : WebBrowser::ScriptWorld::Isolated);
}

capture::Result<QVariant> WebBrowserEngine::performAction(const QString &script) { return m_view->performAction(script); }

bool WebBrowserEngine::showsFailedLoad() const { return m_view->showsFailedLoad(); }

BrowserEngine::LoadFailure WebBrowserEngine::lastFailure() const
{
    const auto failure = m_view->lastFailure();
    return {failure.url, failure.reason};
}

void WebBrowserEngine::goBack() { m_view->goBack(); }

void WebBrowserEngine::goForward() { m_view->goForward(); }

void WebBrowserEngine::stop() { m_view->stop(); }

void WebBrowserEngine::reload() { m_view->reload(); }

}  // namespace tabvoro::browser
