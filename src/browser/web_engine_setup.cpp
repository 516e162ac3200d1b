#include "browser/web_engine_setup.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QWebEngineProfile>
#include <QtGlobal>

namespace tabvoro::browser {

QString chromiumFlags(const QString &userFlags, bool runningAsRoot, bool offscreen)
{
    QStringList flags = userFlags.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const auto add = [&flags](const QString &flag) {
        if (!flags.contains(flag))
            flags.append(flag);
    };
    // Chromium refuses to start its sandbox as root; a normal user keeps it.
    if (runningAsRoot)
        add(QStringLiteral("--no-sandbox"));
    // Without a display there is no GL context to share, and the GPU process only fails.
    if (offscreen)
        add(QStringLiteral("--disable-gpu"));
    return flags.join(QLatin1Char(' '));
}

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const bool offscreen = qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QLatin1String("offscreen"));
    const QString flags =
        chromiumFlags(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"), ::geteuid() == 0, offscreen);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.toLocal8Bit());
    // The engine's start-up report is for its own developers, not for our users or our logs.
    // QT_LOGGING_RULES set by the user still wins over this.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext=false"));
}

QWebEngineProfile *sharedProfile()
{
    // Owned by the application object, which outlives every window and so every page.
    static QWebEngineProfile *const profile = [] {
        auto *created = new QWebEngineProfile(QCoreApplication::instance());
        created->setHttpCacheType(QWebEngineProfile::NoCache);
        created->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        return created;
    }();
    return profile;
}

}  // namespace tabvoro::browser
