#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

// A tiny HTTP/1.0-style server for tests, on 127.0.0.1 and a free port chosen by the system.
// Each route answers GET with a fixed response and closes the connection. An endless route sends
// its headers and the start of a page and then never finishes (until the server is destroyed).
// Routes match the path without its query; unknown paths get 404. Every request's target (path
// with query) is recorded in order.
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:<port><path>"
    QUrl url(const QString& path) const;

    void setPage(const QString& path, const QByteArray& body,
                 const QByteArray& contentType = QByteArrayLiteral("text/html; charset=utf-8"));
    void setResponse(const QString& path, int status, const QList<QByteArray>& headerLines, const QByteArray& body);
    void setEndless(const QString& path);

    QStringList requests() const { return m_requests; }
    int requestCount(const QString& path) const { return int(m_requests.count(path)); }
    void clearRequests() { m_requests.clear(); }

signals:
    void requested(const QString& path);

private:
    struct Route
    {
        int status = 200;
        QList<QByteArray> headerLines;
        QByteArray body;
        bool endless = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);

    QTcpServer* m_server;
    QHash<QString, Route> m_routes;
    QStringList m_requests;
    QList<QPointer<QTcpSocket>> m_endlessSockets;
};
