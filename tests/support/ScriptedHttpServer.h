#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 (or another loopback address, for a second site) whose answers a test scripts
// request by request: for hostile cases (status codes, redirect loops, silence, resets, huge bodies) and to look at the
// raw bytes a client sends. Every answer closes its connection.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <sys/socket.h>

struct ScriptedRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray version;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray head; // request line and headers as received
    QByteArray body;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
};

class ScriptedHttpServer : public QObject
{
public:
    using Handler = std::function<void(const ScriptedRequest&, QTcpSocket*)>;

    explicit ScriptedHttpServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
    {
        m_server.listen(address, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    QByteArray url(const QByteArray& path = "/") const
    {
        return "http://" + m_server.serverAddress().toString().toLatin1() + ':' + QByteArray::number(port()) + path;
    }

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    const QList<ScriptedRequest>& requests() const { return m_requests; }
    int connections() const { return m_connections; }

    // A whole answer; the connection closes after it.
    static void reply(QTcpSocket* socket, int status, const QByteArray& body,
                      const QList<QByteArray>& extraHeaders = {})
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
        for (const QByteArray& h : extraHeaders)
            head += h + "\r\n";
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head + body);
        socket->disconnectFromHost();
    }

    static void redirect(QTcpSocket* socket, const QByteArray& location, int status = 302,
                         const QList<QByteArray>& extraHeaders = {})
    {
        reply(socket, status, {}, QList<QByteArray>{"Location: " + location} + extraHeaders);
    }

    // Streams `size` bytes of `fill` in 64 KiB pieces as the client reads, so a huge body never
    // sits in the test's memory. With announce the size goes in Content-Length; without it the
    // body ends when the connection closes.
    static void stream(QTcpSocket* socket, qint64 size, char fill = 'x', bool announce = true)
    {
        socket->write("HTTP/1.1 200 OK\r\n" +
                      (announce ? "Content-Length: " + QByteArray::number(size) + "\r\n" : QByteArray()) +
                      "Connection: close\r\n\r\n");
        auto left = std::make_shared<qint64>(size);
        const QByteArray chunk(64 * 1024, fill);
        auto pump = [socket, left, chunk] {
            while (*left > 0 && socket->bytesToWrite() < 4 * chunk.size()) {
                const qint64 n = std::min<qint64>(*left, chunk.size());
                socket->write(chunk.constData(), n);
                *left -= n;
            }
            if (*left == 0 && socket->bytesToWrite() == 0)
                socket->disconnectFromHost();
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, pump);
        pump();
    }

    // A chunked body that never ends: `start`, then one byte of `fill` per `intervalMs`, for as
    // long as the connection lasts.
    static void trickle(QTcpSocket* socket, const QByteArray& start = "x", char fill = 'x', int intervalMs = 1000)
    {
        socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray::number(start.size(), 16) +
                      "\r\n" + start + "\r\n");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket,
                         [socket, fill] { socket->write("1\r\n" + QByteArray(1, fill) + "\r\n"); });
        timer->start(intervalMs);
    }

    // Announces more than it sends, then closes.
    static void shortBody(QTcpSocket* socket, const QByteArray& part, qint64 announced)
    {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(announced) +
                      "\r\nConnection: close\r\n\r\n" + part);
        socket->disconnectFromHost();
    }

    // Announces a body, sends part of it and resets the connection (RST, not an orderly close).
    static void resetMidBody(QTcpSocket* socket, const QByteArray& part, qint64 announced)
    {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(announced) + "\r\n\r\n" + part);
        socket->flush();
        socket->waitForBytesWritten(1000);
        linger zero{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &zero, sizeof zero);
        socket->abort();
    }

private:
    void readFrom(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            ScriptedRequest request;
            request.head = buffer.left(end + 2);
            const QList<QByteArray> lines = request.head.split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            request.version = first.value(2);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
            }
            const qint64 length = request.header("Content-Length").toLongLong();
            if (buffer.size() < end + 4 + length)
                return;
            request.body = buffer.mid(end + 4, length);
            buffer.remove(0, end + 4 + length);
            m_requests.append(request);
            if (m_handler)
                m_handler(request, socket);
            else
                reply(socket, 404, "no handler");
        }
    }

    QTcpServer m_server;
    Handler m_handler;
    QList<ScriptedRequest> m_requests;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    int m_connections = 0;
};
