#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

// A tiny scripted HTTP/1.1 server on 127.0.0.1 for tests of the real network code.
// Each request is answered by the next scripted reply (the last one repeats).
class LocalHttpServer : public QObject
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray reason = "OK";
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        int delayMs = 0;          // wait before answering
        bool closeEarly = false;  // drop the connection without an answer
        bool neverAnswer = false; // keep the connection open and silent
        int trickleMs = 0;        // send the body one byte at a time, this far apart
    };

    struct Request
    {
        QByteArray method;
        QByteArray target; // path and query exactly as sent
        QHash<QByteArray, QByteArray> headers; // names lower-cased
        QByteArray body;
    };

    explicit LocalHttpServer(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &LocalHttpServer::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return m_server.isListening(); }
    QUrl baseUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }

    void script(QList<Reply> replies) { m_replies = std::move(replies); m_next = 0; }
    void reply(Reply r) { script({std::move(r)}); }
    static Reply json(int status, QByteArray body, QByteArray reason = "Status")
    {
        Reply r;
        r.status = status;
        r.reason = std::move(reason);
        r.headers = {{"Content-Type", "application/json"}};
        r.body = std::move(body);
        return r;
    }

    const QList<Request> &requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void readFrom(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        m_requests.append(request);

        const Reply reply = m_replies.isEmpty() ? Reply{} : m_replies.at(std::min<qsizetype>(m_next++, m_replies.size() - 1));
        if (reply.neverAnswer)
            return;
        if (reply.closeEarly) {
            socket->abort();
            return;
        }
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(reply.delayMs, this, [guard, reply] {
            if (!guard)
                return;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reply.reason + "\r\n";
            for (const auto &[name, value] : reply.headers)
                out += name + ": " + value + "\r\n";
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
            if (reply.trickleMs <= 0 || reply.body.isEmpty()) {
                guard->write(out + reply.body);
                guard->disconnectFromHost();
                return;
            }
            guard->write(out);
            auto *drip = new QTimer(guard);
            drip->setInterval(reply.trickleMs);
            QObject::connect(drip, &QTimer::timeout, guard, [socket = guard.data(), drip, body = reply.body, sent = qsizetype(0)]() mutable {
                socket->write(body.mid(sent++, 1));
                if (sent == body.size()) {
                    drip->stop();
                    socket->disconnectFromHost();
                }
            });
            drip->start();
        });
    }

    QTcpServer m_server;
    QList<Reply> m_replies;
    qsizetype m_next = 0;
    QList<Request> m_requests;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
