#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>

#include <utility>

class QEventLoop;
class QIODevice;
class QNetworkAccessManager;
class QNetworkCookieJar;
class QNetworkRequest;

// The program's one HTTP client (IdHTTP1 on the main window), over QNetworkAccessManager.
// HTTP/1.1, the headers "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)" and
// "Accept: text/html, */*", up to 15 redirects in a row, cookies kept in memory for the run, no
// proxy and no read time-out.
//
// A request blocks its caller in a nested event loop while the windows keep handling input and
// repainting. Only one request runs at a time: a request asked for while another waits is
// refused with Busy and never touches the one under way. shutDown() (the main window closing)
// ends a waiting request with Aborted and refuses every later one; destroying the client while
// a request waits does the same, and the request then returns without touching the client.
class THttpClient : public QObject
{
    Q_OBJECT
public:
    enum class Result
    {
        Ok,      // a 2xx answer, body complete
        Failed,  // no connection, transport error, status outside 2xx, a body that could not be stored
        Aborted, // shutDown() or the client's destruction ended the request, or the client is shut down
        Busy,    // another request is waiting: this one was not sent
    };

    using FormFields = QList<std::pair<QByteArray, QByteArray>>;

    // The largest body post() keeps in memory; a longer one fails the request.
    static constexpr qint64 kMaxReplySize = 32 * 1024 * 1024;

    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    // POST multipart/form-data: one part per field, in the given order, each with only its
    // Content-Disposition header and the raw bytes of its value. On Ok, body holds the answer.
    Result post(const QByteArray& url, const FormFields& fields, QByteArray& body);

    // GET, writing the answer's body into sink as it arrives. Failed also when sink refuses a write.
    Result get(const QByteArray& url, QIODevice& sink);

    bool isBusy() const { return m_reply != nullptr; }
    bool isShutDown() const { return m_shutDown; }

    // Drops idle connections (a download does this when it ends).
    void closeConnection();

    // For the main window's close: ends a waiting request (it returns Aborted), drops the
    // connections and refuses every later request. Safe to call more than once.
    void shutDown();

    QNetworkCookieJar* cookieJar() const;

    // The raw header lines every request carries (tests check them against a server).
    static QByteArray userAgent();
    static QByteArray accept();

private:
    QNetworkRequest makeRequest(const QByteArray& url) const;
    Result wait(QNetworkReply* reply, QIODevice* sink, QByteArray* body);

    QNetworkAccessManager* m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    QEventLoop* m_loop = nullptr;
    bool m_aborting = false;
    bool m_shutDown = false;
};
