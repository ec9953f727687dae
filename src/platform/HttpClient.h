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
class QUrl;

// The program's one HTTP client (IdHTTP1 on the main window), over QNetworkAccessManager.
// HTTP/1.1 (http and https addresses only), the headers "User-Agent: Mozilla/4.0 (compatible;
// MSIE 5.5; Windows NT 4.0)" and "Accept: text/html, */*", cookies kept in memory for the run
// (also those set on a redirect), no proxy and no read time-out.
//
// Redirects (301, 302, 303, 307, 308 with a Location) are followed here, not by the network
// layer: the same request goes again to the new address, a POST as a POST with the same form
// fields in the same order; a relative Location counts from the address it answered. Up to 15
// in a row; the 16th makes the transfer fail. The body of a redirect is not read.
//
// Every transfer has a ceiling: a body (announced or received) larger than it fails the
// transfer. The network layer reads at most kReadBufferSize ahead of the program, so what a
// transfer holds in memory is its ceiling (post) or that buffer (get) plus a small constant,
// however fast the server sends.
//
// A request blocks its caller in a nested event loop while the windows keep handling input and
// repainting. Only one request runs at a time: a request asked for while another waits is
// refused with Busy and never touches the one under way. shutDown() (the main window closing)
// ends a waiting request with Aborted and refuses every later one; destroying the client while
// a request waits does the same, and the request then returns without touching the client.
// Callers take a THttpRequestScope before a request: it applies these rules and tells them
// afterwards whether their window is still there.
class THttpClient : public QObject
{
    Q_OBJECT
public:
    enum class Result
    {
        Ok,      // a 2xx answer, body complete
        Failed,  // no connection, transport error, status outside 2xx, too many redirects, a body
                 // past the ceiling or one that could not be stored
        Aborted, // shutDown(), cancel() or the client's destruction ended the request, or the
                 // client is shut down
        Busy,    // another request is waiting: this one was not sent
    };

    using FormFields = QList<std::pair<QByteArray, QByteArray>>;

    // The ceiling of a news reply, which post() keeps in memory.
    static constexpr qint64 kMaxReplySize = 32 * 1024 * 1024;
    static constexpr int kMaxRedirects = 15;
    // What the network layer may read ahead of the program, per transfer.
    static constexpr qint64 kReadBufferSize = 256 * 1024;

    explicit THttpClient(QObject* parent = nullptr);
    ~THttpClient() override;

    // POST multipart/form-data: one part per field, in the given order, each with only its
    // Content-Disposition header and the raw bytes of its value. On Ok, body holds the answer.
    Result post(const QByteArray& url, const FormFields& fields, QByteArray& body, qint64 maxBytes = kMaxReplySize);

    // GET, writing the answer's body into sink as it arrives, at most maxBytes of it. Failed
    // also when sink refuses a write.
    Result get(const QByteArray& url, QIODevice& sink, qint64 maxBytes);

    bool isBusy() const { return m_reply != nullptr; }
    bool isShutDown() const { return m_shutDown; }

    // Ends the waiting request with Aborted when owner's request scope started it (the news
    // window closing while its body loads); someone else's request goes on.
    void cancel(const QObject* owner);

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
    friend class THttpRequestScope;

    Result transfer(const QByteArray& url, const FormFields* fields, QIODevice* sink, QByteArray* body,
                    qint64 maxBytes);
    QNetworkReply* send(const QUrl& url, const FormFields* fields, const QByteArray& boundary);
    // One hop. On a redirect: Ok with *redirect set to the resolved Location.
    Result wait(QNetworkReply* reply, QIODevice* sink, QByteArray* body, qint64 maxBytes, QUrl* redirect);

    QNetworkAccessManager* m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    QEventLoop* m_loop = nullptr;
    bool m_aborting = false;
    bool m_shutDown = false;
    // Kept by THttpRequestScope: whether an update check runs, and the owner of the innermost
    // scope that has one (the owner a request started now belongs to).
    bool m_updateCheckRunning = false;
    const QObject* m_scopeOwner = nullptr;
    const QObject* m_requestOwner = nullptr; // of the waiting request; compared, never used
};
