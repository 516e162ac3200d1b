#pragma once

// The window's embedded view seen as a BrowserEngine, so that what drives a run can take
// either engine. The view is a widget and stays one; this object follows its lifetime.

#include <QPointer>

#include "browser/browser_engine.h"

namespace tabvoro::browser {

class WebBrowser;

class WebBrowserEngine : public BrowserEngine {
    Q_OBJECT
public:
    // Becomes a child of `view`, with its signals.
    explicit WebBrowserEngine(WebBrowser *view);

    WebBrowser *view() const { return m_view; }

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    QString LocationName() const override;
    bool isLoading() const override;
    QUrl loadingUrl() const override;
    capture::Result<QVariant> evaluate(const QString &script, int timeoutMs = 30000,
                                       ScriptWorld world = ScriptWorld::Isolated) override;
    capture::Result<QVariant> performAction(const QString &script) override;
    bool showsFailedLoad() const override;
    LoadFailure lastFailure() const override;
    void goBack() override;
    void goForward() override;
    void stop() override;
    void reload() override;

private:
    QPointer<WebBrowser> m_view;
};

}  // namespace tabvoro::browser
