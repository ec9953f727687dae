#include "news/NewsRequests.h"

#include "branding/Branding.h"
#include "news/NewsProtocol.h"
#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"
#include "platform/MessageBox.h"

namespace News {

namespace {

enum class Outcome
{
    Reply,
    Silent
};

// Sends the form and gives the reply text: trimmed, empty after a failed transfer. Silent when
// the request was refused or ended by the close and nothing may be shown.
Outcome postForm(THttpClient& http, const QByteArray& productType, const char* script, const FormFields& fields,
                 bool showBusy, QByteArray& reply)
{
    const THttpRequestScope scope(&http);
    if (scope.state() == THttpRequestScope::State::Busy && showBusy)
        TMessageBox::information(busyNewsText());
    if (!scope.isGranted())
        return Outcome::Silent;
    const QByteArray url = newsRequestUrl(newsBaseUrl(branding(), productType), script);
    QByteArray body;
    const THttpClient::Result result = http.post(url, fields, body);
    if (result == THttpClient::Result::Aborted)
        return Outcome::Silent; // ended by the main window's close
    reply = replyText(result == THttpClient::Result::Ok, std::move(body));
    return Outcome::Reply;
}

void showError(const QByteArray& reply, NewsRequest request)
{
    const QString message = newsErrorMessage(reply, request);
    if (!message.isEmpty())
        TMessageBox::warning(message);
}

} // namespace

QString busyNewsText()
{
    return QStringLiteral("The program is still waiting for an answer from the news site. "
                          "Please try again in a moment.");
}

bool GetNewsList(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                 const QByteArray& productType, const QByteArray& newsTarget, StringList& list)
{
    QByteArray reply;
    if (postForm(http, productType, kListScript, newsListFields(publisherId, branderCode, productType, newsTarget),
                 true, reply) == Outcome::Silent)
        return false;
    if (!isSuccessReply(reply)) {
        showError(reply, NewsRequest::List);
        return false;
    }
    list.append(parseNewsList(reply));
    return true;
}

bool GetLatestNews(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                   const QByteArray& productType, const QByteArray& newsTarget, QByteArray& id, QByteArray& title)
{
    id.clear();
    title.clear();
    QByteArray reply;
    if (postForm(http, productType, kListScript, latestNewsFields(publisherId, branderCode, productType, newsTarget),
                 false, reply) == Outcome::Silent)
        return false;
    if (!isSuccessReply(reply))
        return false;
    parseLatestNews(reply, id, title);
    return true;
}

bool GetNewsDetails(THttpClient& http, const QByteArray& publisherId, const QByteArray& branderCode,
                    const QByteArray& productType, const QByteArray& newsTarget, const QByteArray& newsId,
                    QByteArray& html)
{
    html.clear();
    QByteArray reply;
    if (postForm(http, productType, kDetailsScript,
                 newsDetailsFields(publisherId, branderCode, productType, newsTarget, newsId), true,
                 reply) == Outcome::Silent)
        return false;
    if (!isSuccessReply(reply)) {
        showError(reply, NewsRequest::Details);
        return false;
    }
    html = parseNewsDetails(reply);
    return true;
}

} // namespace News
