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

QNetworkRequest THttpClient::makeRequest(const QByteArray& url) const
{
    QNetworkRequest request(QUrl(UUtils::ansiToString(url), QUrl::TolerantMode));
    request.setRawHeader("User-Agent", userAgent());
    request.setRawHeader("Accept", accept());
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(15);
    request.setTransferTimeout(0);
    return request;
}

THttpClient::Result THttpClient::post(const QByteArray& url, const FormFields& fields, QByteArray& body)
{
    body.clear();
    if (m_shutDown)
        return Result::Aborted;
    if (isBusy())
        return Result::Busy;

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    // A boundary of letters and digits needs no quotes in the Content-Type header.
    QByteArray boundary;
    do {
        boundary = "--------" +
                   QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0') +
                   QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(16, '0');
    } while (std::any_of(fields.begin(), fields.end(), [&](const auto& f) { return f.second.contains(boundary); }));
    multiPart->setBoundary(boundary);
    for (const auto& [name, value] : fields) {
        QHttpPart part;
        part.setRawHeader("Content-Disposition", "form-data; name=\"" + name + '"');
        part.setBody(value);
        multiPart->append(part);
    }
    QNetworkRequest request = makeRequest(url);
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary);

    QNetworkReply* reply = m_manager->post(request, multiPart);
    multiPart->setParent(reply);
    return wait(reply, nullptr, &body);
}

THttpClient::Result THttpClient::get(const QByteArray& url, QIODevice& sink)
{
    if (m_shutDown)
        return Result::Aborted;
    if (isBusy())
        return Result::Busy;
    return wait(m_manager->get(makeRequest(url)), &sink, nullptr);
}

THttpClient::Result THttpClient::wait(QNetworkReply* reply, QIODevice* sink, QByteArray* body)
{
    QPointer<THttpClient> self(this);
    QEventLoop loop;
    m_reply = reply;
    m_loop = &loop;
    m_aborting = false;

    bool storeFailed = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&storeFailed, reply, sink, body] {
        if (storeFailed)
            return;
        const QByteArray chunk = reply->readAll();
        if (sink) {
            if (sink->write(chunk) != chunk.size())
                storeFailed = true;
        } else if (body->size() + chunk.size() > kMaxReplySize) {
            storeFailed = true;
        } else {
            body->append(chunk);
        }
        if (storeFailed)
            reply->abort();
    });
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
    if (!reply->isFinished()) {
        // The loop was ended from outside (the application quitting): a half-read body must
        // never pass for a whole one.
        m_aborting = true;
        reply->abort();
    }

    Result result = Result::Ok;
    if (m_aborting) {
        result = Result::Aborted;
    } else if (storeFailed || reply->error() != QNetworkReply::NoError) {
        result = Result::Failed;
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299)
            result = Result::Failed;
        else if (!storeFailed && reply->bytesAvailable() > 0) {
            const QByteArray rest = reply->readAll();
            if (sink)
                storeFailed = sink->write(rest) != rest.size();
            else if (body->size() + rest.size() > kMaxReplySize)
                storeFailed = true;
            else
                body->append(rest);
            if (storeFailed)
                result = Result::Failed;
        }
    }
    reply->disconnect(&loop);
    reply->deleteLater();
    if (result != Result::Ok && body)
        body->clear();
    return result;
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
