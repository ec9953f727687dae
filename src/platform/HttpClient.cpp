#include "platform/HttpClient.h"

#include "util/TextCodec.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>

namespace {

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Only the web: a server cannot send the client to a local file or a data: address.
bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// A boundary of letters and digits needs no quotes in the Content-Type header.
QByteArray makeBoundary(const THttpClient::FormFields& fields)
{
    QByteArray boundary;
    do {
        boundary = "--------" +
                   QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0') +
                   QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
    } while (std::any_of(fields.begin(), fields.end(), [&](const auto& f) { return f.second.contains(boundary); }));
    return boundary;
}

} // namespace

THttpClient::THttpClient(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    m_manager->setProxy(QNetworkProxy::NoProxy);
    m_manager->setTransferTimeout(0);
    m_manager->setCookieJar(new QNetworkCookieJar(m_manager));
}

THttpClient::~THttpClient()
{
    // A request still waiting below us on the stack must end without touching this object.
    shutDown();
}

QByteArray THttpClient::userAgent()
{
    return QByteArrayLiteral("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)");
}

QByteArray THttpClient::accept()
{
    return QByteArrayLiteral("text/html, */*");
}

QNetworkCookieJar* THttpClient::cookieJar() const
{
    return m_manager->cookieJar();
}

THttpClient::Result THttpClient::post(const QByteArray& url, const FormFields& fields, QByteArray& body,
                                      qint64 maxBytes)
{
    body.clear();
    return transfer(url, &fields, nullptr, &body, maxBytes);
}

THttpClient::Result THttpClient::get(const QByteArray& url, QIODevice& sink, qint64 maxBytes)
{
    return transfer(url, nullptr, &sink, nullptr, maxBytes);
}

THttpClient::Result THttpClient::transfer(const QByteArray& url, const FormFields* fields, QIODevice* sink,
                                          QByteArray* body, qint64 maxBytes)
{
    if (m_shutDown)
        return Result::Aborted;
    if (isBusy())
        return Result::Busy;

    const QByteArray boundary = fields ? makeBoundary(*fields) : QByteArray();
    QPointer<THttpClient> self(this);
    QUrl target(UUtils::ansiToString(url), QUrl::TolerantMode);
    for (int redirects = 0;; ++redirects) {
        if (!isWebAddress(target))
            return Result::Failed;
        QUrl next;
        const Result result = wait(send(target, fields, boundary), sink, body, maxBytes, &next);
        if (!self || result != Result::Ok || next.isEmpty())
            return result; // after the client's destruction result is Aborted and nothing is touched
        if (redirects == kMaxRedirects)
            return Result::Failed;
        target = next;
    }
}

QNetworkReply* THttpClient::send(const QUrl& url, const FormFields* fields, const QByteArray& boundary)
{
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", userAgent());
    request.setRawHeader("Accept", accept());
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(0);
    if (!fields)
        return m_manager->get(request);

    // A fresh body for every hop: the same fields in the same order.
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multiPart->setBoundary(boundary);
    for (const auto& [name, value] : *fields) {
        QHttpPart part;
        part.setRawHeader("Content-Disposition", "form-data; name=\"" + name + '"');
        part.setBody(value);
        multiPart->append(part);
    }
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);
    QNetworkReply* reply = m_manager->post(request, multiPart);
    multiPart->setParent(reply);
    return reply;
}

THttpClient::Result THttpClient::wait(QNetworkReply* reply, QIODevice* sink, QByteArray* body, qint64 maxBytes,
                                      QUrl* redirect)
{
    QPointer<THttpClient> self(this);
    QEventLoop loop;
    m_reply = reply;
    m_loop = &loop;
    m_aborting = false;
    m_requestOwner = m_scopeOwner;
    reply->setReadBufferSize(kReadBufferSize);

    // The headers decide before any byte of the body is kept: a redirect is followed without
    // reading its body, a body announced past the ceiling fails at once.
    bool headersSeen = false;
    bool redirected = false;
    bool storeFailed = false;
    const auto onHeaders = [&headersSeen, &redirected, &storeFailed, reply, body, maxBytes, redirect] {
        if (headersSeen)
            return;
        headersSeen = true;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray location = reply->rawHeader("Location");
        if (isRedirectStatus(status) && !location.isEmpty()) {
            redirected = true;
            *redirect = reply->url().resolved(QUrl(QString::fromLatin1(location), QUrl::TolerantMode));
            reply->abort();
            return;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) {
            storeFailed = true;
            reply->abort();
            return;
        }
        // The body never moves while it grows: its room is taken once, the announced size or
        // the ceiling (address space only; memory is used as the bytes arrive).
        if (body)
            body->reserve(std::min(length.isValid() ? length.toLongLong() : maxBytes, kMaxReplySize));
    };
    // Every byte of the body passes here, while it arrives and once more for what is left when
    // the reply has finished. It is read straight into the body's room or through one piece of
    // buffer into the sink: nothing is allocated per piece.
    qint64 received = 0;
    QByteArray piece(sink ? kReadBufferSize : 0, Qt::Uninitialized);
    const auto store = [&, reply, sink, body] {
        onHeaders();
        while (!storeFailed && !redirected && reply->bytesAvailable() > 0) {
            const qint64 available = reply->bytesAvailable();
            if (available > maxBytes - received) {
                storeFailed = true; // past the ceiling
                break;
            }
            qint64 n = 0;
            if (sink) {
                n = reply->read(piece.data(), std::min<qint64>(available, piece.size()));
                if (n > 0 && sink->write(piece.constData(), n) != n)
                    storeFailed = true;
            } else {
                const qsizetype old = body->size();
                body->resize(old + available);
                n = reply->read(body->data() + old, available);
                body->resize(old + std::max<qint64>(n, 0));
            }
            if (n <= 0)
                break;
            received += n;
        }
        if (storeFailed)
            reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, onHeaders);
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, store);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    if (!self) {
        // The client was destroyed while we waited: it took the reply with it.
        if (body)
            body->clear();
        return Result::Aborted;
    }
    m_loop = nullptr;
    m_reply = nullptr;
    m_requestOwner = nullptr;
    if (!reply->isFinished()) {
        // The loop was ended from outside (the application quitting): a half-read body must
        // never pass for a whole one.
        m_aborting = true;
        reply->abort();
    }

    Result result = Result::Ok;
    if (m_aborting) {
        result = Result::Aborted;
    } else if (redirected) {
        result = Result::Ok;
    } else if (storeFailed || reply->error() != QNetworkReply::NoError) {
        result = Result::Failed;
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            result = Result::Failed;
        } else {
            store();
            if (storeFailed)
                result = Result::Failed;
            else if (body)
                body->squeeze();
        }
    }
    reply->disconnect(&loop);
    reply->deleteLater();
    if (result != Result::Ok || redirected) {
        if (body)
            body->clear();
        if (result != Result::Ok)
            redirect->clear();
    }
    return result;
}

void THttpClient::cancel(const QObject* owner)
{
    if (m_reply && owner && m_requestOwner == owner) {
        m_aborting = true;
        m_reply->abort(); // emits finished, which quits the waiting loop
    }
}

void THttpClient::closeConnection()
{
    if (!isBusy())
        m_manager->clearConnectionCache();
}

void THttpClient::shutDown()
{
    m_shutDown = true;
    if (m_reply) {
        m_aborting = true;
        m_reply->abort(); // emits finished, which quits the waiting loop
    }
    if (m_loop)
        m_loop->quit();
    if (!m_reply)
        m_manager->clearConnectionCache();
}
