#include "support/local_http_server.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

namespace tabvoro::test {

namespace {

QByteArray contentTypeFor(const QString &path)
{
    if (path.endsWith(".css"))
        return "text/css";
    if (path.endsWith(".js"))
        return "application/javascript";
    if (path.endsWith(".txt"))
        return "text/plain; charset=utf-8";
    return "text/html; charset=utf-8";
}

}  // namespace

LocalHttpServer::LocalHttpServer(QObject *parent) : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void LocalHttpServer::addPage(const QString &path, const QByteArray &body, const QByteArray &contentType)
{
    m_pages.insert(path, {body, contentType.isEmpty() ? contentTypeFor(path) : contentType});
}

void LocalHttpServer::serveFolder(const QString &folder) { m_folder = folder; }

void LocalHttpServer::failRequests(const QString &path, int times) { m_failures.insert(path, times); }

void LocalHttpServer::holdRequests(const QString &path) { m_held.insert(path); }

void LocalHttpServer::slowRequests(const QString &path, int firstBytes, int delayMs)
{
    m_slow.insert(path, {firstBytes, delayMs});
}

void LocalHttpServer::trickleRequests(const QString &path, int chunkBytes, int everyMs)
{
    m_trickled.insert(path, {chunkBytes, everyMs});
}

void LocalHttpServer::delayRequests(const QString &path, int delayMs) { m_delayed.insert(path, delayMs); }

QUrl LocalHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

void LocalHttpServer::answer(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QString target = words.size() > 1 ? QString::fromUtf8(words[1]) : QStringLiteral("/");
    const QString path = QUrl(target).path();
    m_requests[path] += 1;
    // Failures and holds name a path, or a path with its query ("/num.html?page=3").
    const QString key = m_failures.contains(target) || m_held.contains(target) ? target : path;
    if (m_held.contains(key))
        return;
    if (auto failure = m_failures.find(key); failure != m_failures.end() && *failure != 0) {
        if (*failure > 0)
            --*failure;
        socket->abort();
        return;
    }

    QByteArray status = "200 OK";
    QByteArray body;
    QByteArray type = contentTypeFor(path);
    if (auto page = m_pages.constFind(path); page != m_pages.constEnd()) {
        body = page->first;
        type = page->second;
    } else if (!m_folder.isEmpty() && !path.contains("..")) {
        QFile file(m_folder + path);
        if (file.open(QIODevice::ReadOnly))
            body = file.readAll();
        else
            status = "404 Not Found";
    } else {
        status = "404 Not Found";
    }
    const QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
                            QByteArray::number(body.size()) + "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n";
    if (auto slow = m_slow.constFind(path); slow != m_slow.constEnd()) {
        socket->write(head + body.left(slow->first));
        socket->flush();
        QTimer::singleShot(slow->second, socket, [socket, rest = body.mid(slow->first)] {
            socket->write(rest);
            socket->disconnectFromHost();
        });
        return;
    }
    if (auto trickled = m_trickled.constFind(path); trickled != m_trickled.constEnd()) {
        socket->write(head);
        socket->flush();
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent = qsizetype(0), chunk = trickled->first]() mutable {
            socket->write(body.mid(sent, chunk));
            socket->flush();
            sent += chunk;
            if (sent < body.size())
                return;
            timer->stop();
            socket->disconnectFromHost();
        });
        timer->start(trickled->second);
        return;
    }
    if (auto delayed = m_delayed.constFind(path); delayed != m_delayed.constEnd()) {
        QTimer::singleShot(*delayed, socket, [socket, answer = head + body] {
            socket->write(answer);
            socket->disconnectFromHost();
        });
        return;
    }
    socket->write(head + body);
    socket->disconnectFromHost();
}

}  // namespace tabvoro::test
