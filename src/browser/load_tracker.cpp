#include "browser/load_tracker.h"

#include <QDateTime>
#include <QFileInfo>

namespace tabvoro::browser {

namespace {

// How long after the step answered a new window is still the step's: the engine asks for it
// once the click has run its course, which may be after the script answered.
constexpr qint64 kActionGraceMs = 1000;
// How long a step whose script has begun may take to ask for its window.
constexpr qint64 kActionRunningMs = 30000;

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace

QString titleOrAddress(const QString &title, const QUrl &url)
{
    const QString address = url.isEmpty() ? QStringLiteral("about:blank") : url.toString();
    if (title.isEmpty() || title == address || title == url.toDisplayString())
        return address;
    if (url.isLocalFile() && title == QFileInfo(url.toLocalFile()).fileName())
        return address;
    for (const QString &bare : {url.adjusted(QUrl::RemoveScheme).toString().mid(2),
                                url.adjusted(QUrl::RemoveScheme).toDisplayString().mid(2)}) {
        if (title == bare || title + QLatin1Char('/') == bare)
            return address;
    }
    return title;
}

void LoadTracker::began(const QUrl &url)
{
    m_loading = true;
    m_navigationReported = false;
    if (!url.isEmpty())
        m_loadingUrl = url;
    m_actionPopupsUntilMs = 0;
    ++m_loadStarts;
    emit m_engine.LoadStarted();
}

void LoadTracker::committed(const QUrl &url)
{
    m_navigationReported = true;
    emit m_engine.NavigateComplete(url);
}

void LoadTracker::stopped()
{
    m_loading = false;
    emit m_engine.ProgressChange(0, 0);
}

void LoadTracker::ended(const QUrl &url, bool ok, const QString &reason)
{
    stopped();
    m_showsFailedLoad = !ok;
    if (!ok)
        m_lastFailure = {url, reason.isEmpty() ? QStringLiteral("net::ERR_FAILED") : reason};
    if (!m_navigationReported)
        committed(url);
}

void LoadTracker::finished(const QUrl &url, bool ok, const QString &reason)
{
    ended(url, ok, reason);
    complete(url, ok);
}

void LoadTracker::actionBegins()
{
    m_actionPopupsUntilMs = 0;
    m_loadingUrlBeforeAction = m_loadingUrl;
    m_loadingBeforeAction = m_loading;
    m_loadStartsBeforeAction = m_loadStarts;
}

void LoadTracker::actionStarted() { m_actionPopupsUntilMs = now() + kActionRunningMs; }

void LoadTracker::actionAnswered(bool started)
{
    const bool ledToLoad = m_loading != m_loadingBeforeAction || m_loadingUrl != m_loadingUrlBeforeAction ||
                           m_loadStarts != m_loadStartsBeforeAction;
    m_actionPopupsUntilMs = ledToLoad || !started ? 0 : now() + kActionGraceMs;
}

bool LoadTracker::admitsPopup(const QUrl &url, bool userInitiated) const
{
    if (!userInitiated && now() > m_actionPopupsUntilMs)
        return false;
    return !url.isEmpty() && url != QUrl(QStringLiteral("about:blank"));
}

}  // namespace tabvoro::browser
