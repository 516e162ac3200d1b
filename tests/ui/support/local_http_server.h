#pragma once

// A small HTTP server on 127.0.0.1 for window tests: serves pages the test adds, or files from a
// folder. Each instance listens on its own port, so two instances are two origins.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

namespace tabvoro::test {

class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    explicit LocalHttpServer(QObject *parent = nullptr);

    // Serves `body` at `path` ("/a/b.html"); the content type follows the extension.
    void addPage(const QString &path, const QByteArray &body, const QByteArray &contentType = {});
    // Serves the files of `folder` for paths not added as pages.
    void serveFolder(const QString &folder);

    // The next `times` requests of `path` have their connection cut without an answer, as a
    // server that resets it does; -1: every request. `path` may carry a query, which must then
    // match as well.
    void failRequests(const QString &path, int times);
    // Requests of `path` are never answered: the connection stays open, as a hung server's does.
    void holdRequests(const QString &path);
    // Requests of `path` get the first `firstBytes` of the body at once and the rest after
    // `delayMs`, as from a slow server: the page is shown, in part, while it still loads.
    void slowRequests(const QString &path, int firstBytes, int delayMs);
    // Requests of `path` get their body `chunkBytes` at a time, one every `everyMs`, as from a
    // server sending a large page over a slow line.
    void trickleRequests(const QString &path, int chunkBytes, int everyMs);
    // Requests of `path` are answered whole after `delayMs`, as by a server that takes its time.
    void delayRequests(const QString &path, int delayMs);

    QUrl url(const QString &path) const;
    quint16 port() const { return m_server.serverPort(); }
    int requestCount(const QString &path) const { return m_requests.value(path); }

private:
    void answer(class QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, QPair<QByteArray, QByteArray>> m_pages;
    QHash<QString, int> m_requests;
    QHash<QString, int> m_failures;  // requests of a path still to be cut
    QSet<QString> m_held;
    QHash<QString, QPair<int, int>> m_slow;  // bytes sent at once, milliseconds before the rest
    QHash<QString, QPair<int, int>> m_trickled;  // bytes at a time, milliseconds between them
    QHash<QString, int> m_delayed;
    QString m_folder;
};

}  // namespace tabvoro::test
