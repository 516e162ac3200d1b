#pragma once

// One WebSocket to a Chromium-family browser's DevTools endpoint (a page's, or the browser's
// own with sessions of its pages). Commands carry an id and are answered by id; everything else
// the browser sends is an event. Messages sent before the socket is open wait for it.

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include "capture/error.h"

class QEventLoop;
class QWebSocket;

namespace tabvoro::browser {

// Runs a nested event loop until `loop` is quit or `ms` have passed.
void waitAtMost(QEventLoop &loop, int ms);

// Runtime.evaluate's parameters for a script whose answer is wanted as a value.
QJsonObject evaluateParams(const QString &script);
// The value in Runtime.evaluate's result; nullopt when the script threw.
std::optional<QJsonValue> evaluatedValue(const QJsonObject &result);

class DevToolsConnection : public QObject {
    Q_OBJECT
public:
    explicit DevToolsConnection(QObject *parent = nullptr);
    ~DevToolsConnection() override;

    void open(const QUrl &socketUrl);
    bool isOpen() const;
    // Closes the socket without a word to the handlers still waiting for answers.
    void abort();

    // A command's result, or the browser's error message (or the connection's end).
    using Reply = std::function<void(const capture::Result<QJsonObject> &)>;
    // Sends a command, to the session `sessionId` when it is not empty.
    void send(const QString &method, const QJsonObject &params = {}, const QString &sessionId = {},
              Reply reply = {});
    // Sends a command and waits for its answer, at most `timeoutMs`.
    capture::Result<QJsonObject> call(const QString &method, const QJsonObject &params = {},
                                      const QString &sessionId = {}, int timeoutMs = 10000);

signals:
    void event(const QString &method, const QJsonObject &params, const QString &sessionId);
    // The socket closed, or could not be opened.
    void closed();

private:
    void received(const QString &message);
    void ended();

    std::unique_ptr<QWebSocket> m_socket;
    bool m_connected = false;
    bool m_ended = false;
    int m_nextId = 1;
    QStringList m_unsent;
    std::unordered_map<int, Reply> m_replies;
};

}  // namespace tabvoro::browser
