#pragma once

// WebBrowser1: the embedded browser view, the window's engine. The rest of the program reaches
// the web engine only through this class, and places its view as a plain widget. Pages cannot
// stall the program: alert, confirm, prompt and showModalDialog answer silently, a new window
// the user asked for opens in this same view and one a script opened by itself is suppressed, a
// script closing the window shows the blank page, permission requests are denied, and a crashed
// renderer is reloaded.

#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "browser/browser_engine.h"
#include "browser/load_tracker.h"
#include "browser/page_encoding_check.h"

class QWebEngineLoadingInfo;
class QWebEngineView;
class QWidget;

namespace tabvoro::browser {

class WebPage;

class WebBrowser : public BrowserEngine {
    Q_OBJECT
public:
    // The view is made a child widget of `parent`, and this object goes with it: deleting the
    // parent, or this object, closes both. Without a parent the caller owns this object.
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // The view, for the window to place.
    QWidget *widget() const;

    void Navigate(const QString &address) override;
    QString LocationURL() const override;
    QString LocationName() const override;
    bool isLoading() const override;
    QUrl loadingUrl() const override { return m_loads.loadingUrl(); }
    // A script that starts a navigation (a click on a link) still gets its answer.
    capture::Result<QVariant> evaluate(const QString &script, int timeoutMs = 30000,
                                       ScriptWorld world = ScriptWorld::Isolated) override;
    capture::Result<QVariant> performAction(const QString &script) override;
    bool showsFailedLoad() const override { return m_loads.showsFailedLoad(); }
    LoadFailure lastFailure() const override { return m_loads.lastFailure(); }
    void goBack() override;
    void goForward() override;
    void stop() override;
    void reload() override;
    void findText(const QString &text) override;

signals:
    // The view lost the keyboard focus to nothing in particular (the window was left, a page
    // script took it away): not when the user moved it to another control.
    void LostFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectPage();
    void loadBegan(const QWebEngineLoadingInfo &info);
    void loadEnded(const QWebEngineLoadingInfo &info);
    void watchFocusProxy();
    void showPopup(const QUrl &url, bool userInitiated);
    void recoverFromCrash();
    void load(const QUrl &url);
    void checkGrowth();

    QPointer<QWebEngineView> m_view;
    WebPage *m_page;
    LoadTracker m_loads{*this};
    bool m_backEnabled = false;
    bool m_forwardEnabled = false;
    // The address reloaded after the renderer died; dying again there gives up on it.
    QUrl m_crashReloadUrl;
    QPointer<QWidget> m_focusProxy;
    // What a step's script writes on the console as it begins, and whether that is still to
    // come; random, so that a page cannot write it.
    QString m_stepMarker;
    bool m_awaitingStepMarker = false;
    // The engine takes up a new page's first document, blank, for a while after the first load
    // is asked for, and a load asked for meanwhile is lost to it: the address to open once it
    // is in place.
    bool m_takingUpFirstPage = true;
    bool m_firstLoadAsked = false;
    QUrl m_afterFirstPage;
    PageEncodingCheck m_encodingCheck;
    // While a load is under way: the engine's progress stands still while the bytes of a large
    // page keep arriving, so the document is looked at for growth now and then.
    QTimer m_growthCheck;
    QString m_lastGrowth;
};

}  // namespace tabvoro::browser
