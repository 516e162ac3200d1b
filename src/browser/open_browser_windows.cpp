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
#include <QWebSocket>

namespace tabvoro::browser {

namespace {

struct PageTarget {
    QString url;
    QUrl socketUrl;  // empty: the browser offers no connection to this page
};

// Runs a nested event loop until `loop` is quit or `ms` have passed.
void waitAtMost(QEventLoop &loop, int ms)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms);
    loop.exec();
}

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

QString evaluateCommand(const QString &script)
{
    const QJsonObject params{{"expression", script}, {"returnByValue", true}};
    const QJsonObject command{{"id", 1}, {"method", "Runtime.evaluate"}, {"params", params}};
    return QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact));
}

// The snapshot text out of the answer to evaluateCommand(); empty for any other message or a
// script that threw.
std::optional<QString> evaluateAnswer(const QString &message)
{
    const QJsonObject answer = QJsonDocument::fromJson(message.toUtf8()).object();
    if (answer["id"].toInt() != 1)
        return std::nullopt;
    const QJsonObject result = answer["result"].toObject();
    if (result.contains("exceptionDetails"))
        return QString();
    return result["result"].toObject()["value"].toString();
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
    const QString command = evaluateCommand(snapshotScript(request));
    const std::size_t count = targets.size();
    std::vector<std::optional<QString>> answers(count);
    std::vector<bool> settled(count, false);
    QEventLoop loop;
    auto settle = [&](std::size_t i) {
        settled[i] = true;
        if (std::all_of(settled.begin(), settled.end(), [](bool s) { return s; }))
            loop.quit();
    };

    std::vector<std::unique_ptr<QWebSocket>> sockets;
    for (std::size_t i = 0; i < count; ++i) {
        if (!targets[i].socketUrl.isValid() || targets[i].socketUrl.isEmpty()) {
            settled[i] = true;
            continue;
        }
        // No origin: the browser refuses a socket whose Origin header it was not told to allow.
        auto socket = std::make_unique<QWebSocket>(QString(), QWebSocketProtocol::VersionLatest);
        QWebSocket *s = socket.get();
        QObject::connect(s, &QWebSocket::connected, s, [s, &command] { s->sendTextMessage(command); });
        QObject::connect(s, &QWebSocket::textMessageReceived, s, [&, i](const QString &message) {
            if (settled[i])
                return;
            if (auto answer = evaluateAnswer(message)) {
                answers[i] = std::move(answer);
                settle(i);
            }
        });
        auto giveUp = [&, i] {
            if (!settled[i])
                settle(i);
        };
        QObject::connect(s, &QWebSocket::disconnected, s, giveUp);
        // Named errorOccurred from Qt 6.5 on.
        QObject::connect(s, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), s, giveUp);
        s->open(targets[i].socketUrl);
        sockets.push_back(std::move(socket));
    }
    if (!std::all_of(settled.begin(), settled.end(), [](bool s) { return s; }))
        waitAtMost(loop, deadlines.pagesMs);
    for (const auto &socket : sockets) {
        socket->disconnect();
        socket->abort();
    }

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
