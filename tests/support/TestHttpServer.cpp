#include "support/TestHttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

TestHttpServer::~TestHttpServer()
{
    for (const QPointer<QTcpSocket>& s : std::as_const(m_endlessSockets))
        if (s)
            s->abort();
}

bool TestHttpServer::isListening() const
{
    return m_server->isListening();
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl TestHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TestHttpServer::setPage(const QString& path, const QByteArray& body, const QByteArray& contentType)
{
    setResponse(path, 200, {"Content-Type: " + contentType}, body);
}

void TestHttpServer::setResponse(const QString& path, int status, const QList<QByteArray>& headerLines,
                                 const QByteArray& body)
{
    Route r;
    r.status = status;
    r.headerLines = headerLines;
    r.body = body;
    m_routes.insert(path, r);
}

void TestHttpServer::setEndless(const QString& path)
{
    Route r;
    r.headerLines = {"Content-Type: text/html; charset=utf-8"};
    r.body = "<html><head><title>endless</title></head><body><p>Loading";
    r.endless = true;
    m_routes.insert(path, r);
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestHttpServer::onReadyRead(QTcpSocket* socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("answered", true);

    // Request line: METHOD SP target SP version
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromLatin1(requestLine.at(1)) : QString();
    m_requests.append(path);
    emit requested(path);

    const auto it = m_routes.constFind(path.section(QLatin1Char('?'), 0, 0));
    Route route;
    if (it != m_routes.constEnd()) {
        route = *it;
    } else {
        route.status = 404;
        route.headerLines = {"Content-Type: text/plain"};
        route.body = "not found";
    }

    QByteArray reply =
        "HTTP/1.1 " + QByteArray::number(route.status) + (route.status < 400 ? " OK" : " Error") + "\r\n";
    for (const QByteArray& h : std::as_const(route.headerLines))
        reply += h + "\r\n";
    reply += "Cache-Control: no-store\r\nConnection: close\r\n";
    if (!route.endless)
        reply += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    reply += "\r\n" + route.body;
    socket->write(reply);

    if (route.endless)
        m_endlessSockets.append(socket); // never finished: the page keeps loading
    else
        socket->disconnectFromHost();
}
