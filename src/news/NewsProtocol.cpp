#include "news/NewsProtocol.h"

#include "branding/Branding.h"
#include "branding/MembershipLevels.h"
#include "util/Fields.h"

#include <cstring>
#include <limits>

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
    // One pass over raw bytes into a buffer of the text's size: a 32 MB body decodes in a few
    // milliseconds.
    const qsizetype n = text.size();
    const char* in = text.constData();
    QByteArray out(n, Qt::Uninitialized);
    char* o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (in[i] != '$') {
            *o++ = in[i];
            continue;
        }
        // "$" with up to two hexadecimal digits; at least one is needed.
        const int high = i + 1 < n ? hexValue(in[i + 1]) : -1;
        if (high < 0)
            return {}; // a "$" whose next character is no digit: the whole text is void
        const int low = i + 2 < n ? hexValue(in[i + 2]) : -1;
        if (low >= 0) {
            *o++ = char(high * 16 + low);
            i += 2;
        } else if (i + 2 < n) {
            return {}; // one digit followed by something else is only acceptable at the very end
        } else {
            *o++ = char(high);
            i += 1;
        }
    }
    out.truncate(o - out.constData());
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

QByteArray replyText(bool transferred, QByteArray body)
{
    if (!transferred)
        return {};
    // Trimmed in place: a reply of tens of megabytes is not copied for it.
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    qsizetype end = body.size();
    while (end > 0 && isBlank(body[end - 1]))
        --end;
    qsizetype begin = 0;
    while (begin < end && isBlank(body[begin]))
        ++begin;
    body.truncate(end);
    if (begin > 0)
        body.remove(0, begin);
    return body;
}

namespace {

// The high bit of every byte of w that equals c, and no other bit.
quint64 bytesEqual(quint64 w, unsigned char c)
{
    constexpr quint64 kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const quint64 x = w ^ (0x0101010101010101ULL * c);
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

} // namespace

bool isSuccessReply(const QByteArray& reply)
{
    // "OK" anywhere, eight positions at a time: a 30 MB reply is answered in milliseconds
    // whatever bytes it is made of.
    const char* p = reply.constData();
    const qsizetype n = reply.size();
    qsizetype i = 0;
    for (; i + 9 <= n; i += 8) {
        quint64 here = 0;
        quint64 next = 0;
        std::memcpy(&here, p + i, 8);
        std::memcpy(&next, p + i + 1, 8);
        if (bytesEqual(here, 'O') & bytesEqual(next, 'K'))
            return true;
    }
    for (; i + 1 < n; ++i)
        if (p[i] == 'O' && p[i + 1] == 'K')
            return true;
    return false;
}

StringList parseNewsList(const QByteArray& reply, qsizetype maxEntries)
{
    // The pieces between separators, as SplitFields cuts them, but only the ones kept are built:
    // 30 MB of bare separators cost nothing, and reading stops at maxEntries.
    StringList entries;
    const char* data = reply.constData();
    const qsizetype n = reply.size();
    qsizetype start = 0;
    while (start < n && entries.size() < maxEntries) {
        const char* hit = static_cast<const char*>(std::memchr(data + start, kListSeparator, size_t(n - start)));
        const qsizetype end = hit ? hit - data : n;
        const qsizetype length = end - start;
        if (length > 0 && !(length == 2 && data[start] == 'O' && data[start + 1] == 'K'))
            entries.append(reply.mid(start, length));
        start = end + 1;
    }
    return entries;
}

QByteArray entryField(const QByteArray& entry, int index)
{
    // Field index of SplitFields('^', entry), without cutting the others.
    qsizetype start = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype next = entry.indexOf('^', start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const qsizetype end = entry.indexOf('^', start);
    return entry.mid(start, end < 0 ? -1 : end - start);
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
    id = entryField(rest, 0);
    title = entryField(rest, 1);
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

std::optional<qint32> parseNewsId(const QByteArray& id)
{
    qsizetype i = 0;
    const bool negative = !id.isEmpty() && id[0] == '-';
    if (negative)
        ++i;
    if (i == id.size())
        return std::nullopt;
    // Counted in 64 bits with room to spare: past 32 bits, reading stops.
    qint64 value = 0;
    for (; i < id.size(); ++i) {
        const char c = id[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

bool isValidNewsId(const QByteArray& id)
{
    return parseNewsId(id).has_value();
}

qint32 newsIdNumber(const QByteArray& id)
{
    return parseNewsId(id).value_or(0);
}

} // namespace News
