#pragma once

// A web site for login tests and benchmarks, on a loopback address of its own (127.0.0.1 for the
// item's site, 127.0.0.2 for another): fixed pages by path, answered to any method, redirects, and
// a record of every request posted (form-urlencoded fields, decoded). /done answers a welcome page.

#include "support/ScriptedHttpServer.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

// A site: pages by path (any method), and the bodies of the requests to /done and to any path
// posted to.
class LoginTestSite
{
public:
    explicit LoginTestSite(const char* address) : m_server(QHostAddress(QString::fromLatin1(address)))
    {
        m_server.setHandler([this](const ScriptedRequest& request, QTcpSocket* socket) {
            const QByteArray path = request.path.split('?').value(0);
            if (request.method == "POST") {
                m_posts.append({path, request.body});
                if (m_onPost)
                    m_onPost(path);
            }
            if (path == "/done") {
                ScriptedHttpServer::reply(socket, 200, "<html><body>Welcome</body></html>",
                                          {"Content-Type: text/html; charset=utf-8"});
                return;
            }
            if (m_redirects.contains(path)) {
                ScriptedHttpServer::redirect(socket, m_redirects.value(path));
                return;
            }
            if (!m_pages.contains(path)) {
                ScriptedHttpServer::reply(socket, 404, "no such page");
                return;
            }
            const QByteArray type = path.endsWith(".js") ? "text/javascript" : "text/html; charset=utf-8";
            ScriptedHttpServer::reply(socket, 200, m_pages.value(path), {"Content-Type: " + type});
        });
    }

    void setPage(const QByteArray& path, const QByteArray& body) { m_pages.insert(path, body); }
    void setRedirect(const QByteArray& path, const QByteArray& location) { m_redirects.insert(path, location); }
    QString url(const QByteArray& path) const { return QString::fromLatin1(m_server.url(path)); }
    QString host() const { return QUrl(url("/")).authority(); }

    // The fields of the requests posted to path, oldest first (form-urlencoded, decoded).
    QList<QHash<QString, QString>> posts(const QByteArray& path) const
    {
        QList<QHash<QString, QString>> out;
        for (const auto& [p, body] : m_posts) {
            if (p != path)
                continue;
            QHash<QString, QString> fields;
            for (const QByteArray& pair : body.split('&')) {
                const qsizetype eq = pair.indexOf('=');
                auto decode = [](QByteArray b) {
                    return QString::fromUtf8(QByteArray::fromPercentEncoding(b.replace('+', ' ')));
                };
                if (eq > 0)
                    fields.insert(decode(pair.left(eq)), decode(pair.mid(eq + 1)));
            }
            out.append(fields);
        }
        return out;
    }
    void clear() { m_posts.clear(); }
    // Called at each request posted, with its path (benchmarks time the moment a form arrives).
    void setOnPost(std::function<void(const QByteArray&)> onPost) { m_onPost = std::move(onPost); }

private:
    ScriptedHttpServer m_server;
    QHash<QByteArray, QByteArray> m_pages;
    QHash<QByteArray, QByteArray> m_redirects;
    QList<std::pair<QByteArray, QByteArray>> m_posts;
    std::function<void(const QByteArray&)> m_onPost;
};
