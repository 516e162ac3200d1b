#include "browser/open_browser_windows.h"

#include <algorithm>
#include <optional>

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

#include "browser/devtools_connection.h"

namespace tabvoro::browser {

namespace {

struct PageTarget {
    QString url;
    QUrl socketUrl;  // empty: the browser offers no connection to this page
};

std::vector<PageTarget> listPages(const QUrl &endpoint, int ms)
{
    QUrl url = endpoint;
    QString path = url.path();
    while (path.endsWith('/'))
        path.chop(1);
    url.setPath(path + "/json/list");

    QNetworkAccessManager manager;
    // The endpoint is on this machine; a proxy from the environment would only be in the way.
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(ms);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        waitAtMost(loop, ms);
    if (!reply->isFinished()) {
        reply->disconnect();
        reply->abort();
        return {};
    }
    if (reply->error() != QNetworkReply::NoError)
        return {};

    std::vector<PageTarget> pages;
    const QJsonDocument list = QJsonDocument::fromJson(reply->readAll());
    for (const QJsonValue &entry : list.array()) {
        const QJsonObject target = entry.toObject();
        // Service workers, extension pages and the like are targets too, but no windows.
        if (target["type"].toString() != "page")
            continue;
        pages.push_back({target["url"].toString(), QUrl(target["webSocketDebuggerUrl"].toString())});
    }
    return pages;
}

}  // namespace

QUrl devToolsEndpoint()
{
    const QString configured = qEnvironmentVariable("TABVORO_DEVTOOLS");
    return QUrl(configured.isEmpty() ? QString(kDefaultDevToolsEndpoint) : configured);
}

std::vector<OpenBrowserPage> readOpenBrowserPages(const QUrl &endpoint, const SnapshotRequest &request,
                                                  DevToolsDeadlines deadlines)
{
    if (!endpoint.isValid() || endpoint.isEmpty())
        return {};
    const std::vector<PageTarget> targets = listPages(endpoint, deadlines.listMs);
    if (targets.empty())
        return {};

    // The pages are read side by side, so that many open tabs cost one deadline, not one each.
    const QJsonObject params = evaluateParams(snapshotScript(request));
    const std::size_t count = targets.size();
    std::vector<std::optional<QString>> answers(count);
    std::vector<bool> settled(count, false);
    QEventLoop loop;
    auto settle = [&](std::size_t i) {
        if (settled[i])
            return;
        settled[i] = true;
        if (std::all_of(settled.begin(), settled.end(), [](bool s) { return s; }))
            loop.quit();
    };

    std::vector<std::unique_ptr<DevToolsConnection>> connections;
    for (std::size_t i = 0; i < count; ++i) {
        if (!targets[i].socketUrl.isValid() || targets[i].socketUrl.isEmpty()) {
            settled[i] = true;
            continue;
        }
        auto connection = std::make_unique<DevToolsConnection>();
        QObject::connect(connection.get(), &DevToolsConnection::closed, connection.get(), [&, i] { settle(i); });
        connection->send("Runtime.evaluate", params, {}, [&, i](const capture::Result<QJsonObject> &result) {
            if (result)
                answers[i] = evaluatedValue(*result).value_or(QJsonValue()).toString();
            settle(i);
        });
        connection->open(targets[i].socketUrl);
        connections.push_back(std::move(connection));
    }
    if (!std::all_of(settled.begin(), settled.end(), [](bool s) { return s; }))
        waitAtMost(loop, deadlines.pagesMs);
    connections.clear();

    std::vector<OpenBrowserPage> pages;
    for (std::size_t i = 0; i < count; ++i) {
        OpenBrowserPage page{targets[i].url, nullptr};
        if (answers[i] && !answers[i]->isEmpty()) {
            if (auto document = parseSnapshot(*answers[i], request))
                page.document = std::move(*document);
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace tabvoro::browser
