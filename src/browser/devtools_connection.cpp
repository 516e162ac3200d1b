#include "browser/devtools_connection.h"

#include <limits>
#include <utility>

#include <QEventLoop>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QWebSocket>

namespace tabvoro::browser {

void waitAtMost(QEventLoop &loop, int ms)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(ms);
    loop.exec();
}

QJsonObject evaluateParams(const QString &script) { return {{"expression", script}, {"returnByValue", true}}; }

std::optional<QJsonValue> evaluatedValue(const QJsonObject &result)
{
    if (result.contains("exceptionDetails"))
        return std::nullopt;
    return result["result"].toObject()["value"];
}

DevToolsConnection::DevToolsConnection(QObject *parent) : QObject(parent)
{
    // No origin: the browser refuses a socket whose Origin header it was not told to allow.
    m_socket = std::make_unique<QWebSocket>(QString(), QWebSocketProtocol::VersionLatest);
    // A page's whole snapshot comes as one message.
    m_socket->setMaxAllowedIncomingMessageSize(std::numeric_limits<qint64>::max());
    connect(m_socket.get(), &QWebSocket::connected, this, [this] {
        m_connected = true;
        for (const QString &message : std::exchange(m_unsent, {}))
            m_socket->sendTextMessage(message);
    });
    // Messages are handled once the socket has returned to the event loop: a handler of an
    // event may wait for an answer in a nested loop (a page complete starts a capture that reads
    // the page), and the socket reads no further message while it is still handing one out. The
    // end of the connection queues up behind the messages that came before it.
    connect(m_socket.get(), &QWebSocket::textMessageReceived, this, &DevToolsConnection::received,
            Qt::QueuedConnection);
    connect(m_socket.get(), &QWebSocket::disconnected, this, &DevToolsConnection::ended, Qt::QueuedConnection);
    // Named errorOccurred from Qt 6.5 on.
    connect(m_socket.get(), qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            &DevToolsConnection::ended, Qt::QueuedConnection);
}

DevToolsConnection::~DevToolsConnection() { abort(); }

void DevToolsConnection::open(const QUrl &socketUrl) { m_socket->open(socketUrl); }

bool DevToolsConnection::isOpen() const { return m_connected && !m_ended; }

void DevToolsConnection::abort()
{
    m_ended = true;
    m_replies.clear();
    m_socket->disconnect(this);
    m_socket->abort();
}

void DevToolsConnection::send(const QString &method, const QJsonObject &params, const QString &sessionId,
                              Reply reply)
{
    if (m_ended) {
        if (reply)
            reply(capture::failure("the browser's DevTools connection is closed"));
        return;
    }
    const int id = m_nextId++;
    QJsonObject command{{"id", id}, {"method", method}, {"params", params}};
    if (!sessionId.isEmpty())
        command["sessionId"] = sessionId;
    if (reply)
        m_replies.emplace(id, std::move(reply));
    const QString message = QString::fromUtf8(QJsonDocument(command).toJson(QJsonDocument::Compact));
    if (m_connected)
        m_socket->sendTextMessage(message);
    else
        m_unsent.push_back(message);
}

capture::Result<QJsonObject> DevToolsConnection::call(const QString &method, const QJsonObject &params,
                                                      const QString &sessionId, int timeoutMs)
{
    // The answer may come after we gave up on it: the reply reaches the loop only through this.
    struct Answer {
        QPointer<QEventLoop> loop;
        std::optional<capture::Result<QJsonObject>> value;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;
    send(method, params, sessionId, [answer](const capture::Result<QJsonObject> &value) {
        answer->value = value;
        if (answer->loop)
            answer->loop->quit();
    });
    if (!answer->value) {
        const QPointer<DevToolsConnection> self(this);
        connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
        waitAtMost(loop, timeoutMs);
        if (!self)
            return capture::failure("the browser's DevTools connection went away");
    }
    if (!answer->value)
        return capture::failure(method.toStdString() + " got no answer within " + std::to_string(timeoutMs) + " ms");
    return *answer->value;
}

void DevToolsConnection::received(const QString &message)
{
    // Queued before abort(): nothing reaches the handlers any more.
    if (m_ended)
        return;
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    if (object.contains("id")) {
        const auto found = m_replies.find(object["id"].toInt());
        if (found == m_replies.end())
            return;
        const Reply reply = std::move(found->second);
        m_replies.erase(found);
        if (object.contains("error"))
            reply(capture::failure(object["error"].toObject()["message"].toString().toStdString()));
        else
            reply(object["result"].toObject());
        return;
    }
    emit event(object["method"].toString(), object["params"].toObject(), object["sessionId"].toString());
}

void DevToolsConnection::ended()
{
    if (m_ended)
        return;
    m_ended = true;
    // The handlers may end this object: they run on a list of our own.
    auto replies = std::exchange(m_replies, {});
    const QPointer<DevToolsConnection> self(this);
    for (auto &[id, reply] : replies)
        reply(capture::failure("the browser closed its DevTools connection"));
    if (self)
        emit closed();
}

}  // namespace tabvoro::browser
