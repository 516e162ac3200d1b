#include "browser/web_page.h"

#include <QAuthenticator>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include "browser/frame_reading.h"
#include "browser/page_scripts.h"

namespace tabvoro::browser {

WebPage::WebPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
{
    // Pop-ups are let through to newWindowRequested, where the view decides which to open.
    settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    installPageScripts();
    refuseRequests();
}

const QStringList &WebPage::pageScripts() { return documentScripts(); }

void WebPage::installPageScripts()
{
    // One script each, so that one that throws does not keep the later ones from running.
    int number = 0;
    for (const QString &source : pageScripts()) {
        QWebEngineScript script;
        script.setName(QStringLiteral("tabvoro-page-%1").arg(++number));
        script.setSourceCode(guardedPageScript(source));
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setRunsOnSubFrames(true);
        scripts().insert(script);
    }
    scripts().insert(frameAnswerer());
}

QWebEngineScript WebPage::frameAnswerer()
{
    // In the world our reads run in, where the page's scripts cannot reach it.
    QWebEngineScript script;
    script.setName(QStringLiteral("tabvoro-frame-answer"));
    script.setSourceCode(guardedPageScript(frameAnswerScript()));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    return script;
}

void WebPage::refuseRequests()
{
    connect(this, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
        emit popupRequested(request.requestedUrl(), request.isUserInitiated());
    });
    connect(this, &QWebEnginePage::certificateError, this, [](const QWebEngineCertificateError &error) {
        QWebEngineCertificateError(error).rejectCertificate();
    });
    // An authenticator left without credentials cancels the request.
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl &origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
}

QWebEnginePage *WebPage::createWindow(WebWindowType)
{
    // Never a second page: the request reaches newWindowRequested, which loads it here.
    return nullptr;
}

QStringList WebPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &) { return {}; }

void WebPage::javaScriptAlert(const QUrl &, const QString &) {}

bool WebPage::javaScriptConfirm(const QUrl &, const QString &) { return true; }

bool WebPage::javaScriptPrompt(const QUrl &, const QString &, const QString &defaultValue, QString *result)
{
    *result = defaultValue;
    return true;
}

void WebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int, const QString &)
{
    emit consoleMessage(message);
}

}  // namespace tabvoro::browser
