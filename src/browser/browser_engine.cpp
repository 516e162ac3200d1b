#include "browser/browser_engine.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace tabvoro::browser {

namespace {

// Schemes written without "//" that still name a whole address; anything else before a colon
// ("localhost:8080/a") is a host with a port.
bool isOpaqueScheme(const QString &scheme)
{
    static const QStringList schemes{"about", "data", "javascript", "mailto", "blob", "file", "view-source", "chrome"};
    return schemes.contains(scheme, Qt::CaseInsensitive);
}

}  // namespace

QUrl BrowserEngine::urlFromAddress(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
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

}  // namespace tabvoro::browser
