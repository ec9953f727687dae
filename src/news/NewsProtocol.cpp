#include "news/NewsProtocol.h"

#include "branding/Branding.h"
#include "branding/MembershipLevels.h"
#include "util/Fields.h"

namespace UUtils {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

QByteArray DecodeDollarHex(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '$') {
            out.append(text[i]);
            continue;
        }
        // "$" with up to two hexadecimal digits; at least one is needed.
        int value = -1;
        qsizetype consumed = 0;
        for (qsizetype k = 1; k <= 2 && i + k < text.size(); ++k) {
            const int digit = hexValue(text[i + k]);
            if (digit < 0)
                break;
            value = (value < 0 ? 0 : value * 16) + digit;
            consumed = k;
        }
        // A "$" whose next character is no digit cannot be decoded: the whole text is void.
        // One digit followed by something else is only acceptable at the very end.
        if (value < 0 || (consumed == 1 && i + 2 < text.size()))
            return {};
        out.append(char(value));
        i += consumed;
    }
    return out;
}

} // namespace UUtils

namespace News {

std::optional<NewsLevel> newsLevel(const Branding& brand)
{
    const MembershipLevel* level = membershipLevel(brand.BranderType);
    if (!level || !*level->productType || (brand.*level->publisherId).isEmpty())
        return std::nullopt;
    return NewsLevel{brand.*level->publisherId, level->productType};
}

QByteArray newsBaseUrl(const Branding& brand, const QByteArray& productType)
{
    for (const MembershipLevel& level : kMembershipLevels)
        if (*level.productType && productType == level.productType)
            return brand.*level.newsBaseUrl;
    return {};
}

QByteArray newsRequestUrl(const QByteArray& baseUrl, const char* script)
{
    if (baseUrl.endsWith('/'))
        return baseUrl + script;
    return baseUrl + '/' + script;
}

FormFields newsListFields(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                          const QByteArray& newsTarget)
{
    return {{"memusername", publisherId}, {"prodcode", branderCode},  {"prodtype", productType},
            {"conttype", "all"},          {"newstarget", newsTarget}, {"something", {}}};
}

FormFields latestNewsFields(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                            const QByteArray& newsTarget)
{
    return {{"memusername", publisherId}, {"prodcode", branderCode},  {"prodtype", productType},
            {"conttype", "lastcode"},     {"newstarget", newsTarget}, {"something", {}}};
}

FormFields newsDetailsFields(const QByteArray& publisherId, const QByteArray& branderCode,
                             const QByteArray& productType, const QByteArray& newsTarget, const QByteArray& newsId)
{
    return {{"memusername", publisherId}, {"prodcode", branderCode},  {"prodtype", productType},
            {"newsid", newsId},           {"newstarget", newsTarget}, {"something", {}}};
}

QByteArray replyText(bool transferred, const QByteArray& body)
{
    return transferred ? UUtils::trimControls(body) : QByteArray();
}

bool isSuccessReply(const QByteArray& reply)
{
    return reply.contains("OK");
}

StringList parseNewsList(const QByteArray& reply)
{
    StringList entries;
    for (const QByteArray& piece : UUtils::SplitFields(kListSeparator, reply)) {
        if (!piece.isEmpty() && piece != "OK")
            entries.append(piece);
    }
    return entries;
}

static QByteArray withoutListEnd(const QByteArray& reply)
{
    QByteArray rest = reply;
    const char end[] = {kListSeparator, 'O', 'K', 0};
    rest.replace(QByteArray(end), QByteArray());
    return rest;
}

void parseLatestNews(const QByteArray& reply, QByteArray& id, QByteArray& title)
{
    id.clear();
    title.clear();
    const QByteArray rest = withoutListEnd(reply);
    if (rest == "OK")
        return;
    const StringList fields = UUtils::SplitFields('^', rest);
    if (fields.size() > 0)
        id = fields[0];
    if (fields.size() > 1)
        title = fields[1];
}

QByteArray parseNewsDetails(const QByteArray& reply)
{
    return UUtils::DecodeDollarHex(withoutListEnd(reply));
}

QString newsErrorMessage(const QByteArray& reply, NewsRequest request)
{
    if (request == NewsRequest::Latest)
        return {};
    if (reply.isEmpty())
        return QStringLiteral("There is a trouble accessing the news site. Contact your provider.");
    if (reply == "CONNECTIONFAIL")
        return QStringLiteral("There is a trouble in the settings file on the news site.");
    if (reply == "INVALIDUSER")
        return QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
    if (reply == "INVALIDPRODUCT")
        return QStringLiteral("There is a trouble with the product validation. Contact your provider.");
    if (reply == "INVALIDNEWS" && request == NewsRequest::Details)
        return QStringLiteral("There is a trouble with this news. Contact your provider.");
    return {};
}

qint32 newsIdNumber(const QByteArray& id)
{
    bool ok = false;
    const qint32 value = id.toInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace News
