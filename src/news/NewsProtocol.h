#pragma once

#include "util/StringList.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

struct Branding;

namespace UUtils {

// Decodes a news body: "$" and the (at most) two hexadecimal digits after it stand for one byte;
// every other byte stays. A "$" not followed by a hexadecimal digit, also at the very end, makes
// the whole result empty.
QByteArray DecodeDollarHex(const QByteArray& text);

} // namespace UUtils

// What the program sends to the publisher's news service and how it reads the replies.
// The requests themselves are sent by src/news/NewsRequests.
namespace News {

// Form fields of a request, in the order they are sent: name and raw value.
using FormFields = QList<std::pair<QByteArray, QByteArray>>;

inline constexpr char kNewsTarget[] = "UA";
inline constexpr char kListScript[] = "getlastnews.php";
inline constexpr char kDetailsScript[] = "getnewsdetails.php";

// The list separator of the replies, "¯" in Windows-1252.
inline constexpr char kListSeparator = char(0xAF);

// The row of the membership level that BranderType names: the publisher id and the product type
// ("BM", "BP", "BG"). None for any other BranderType ("Free" included) and for a level whose
// publisher id is empty: then no request is sent at all.
struct NewsLevel
{
    QByteArray publisherId;
    QByteArray productType;
};
std::optional<NewsLevel> newsLevel(const Branding& brand);

// The news base URL that belongs to a product type; empty for an unknown one.
QByteArray newsBaseUrl(const Branding& brand, const QByteArray& productType);

// baseUrl + script with exactly one "/" added when baseUrl does not end with one.
QByteArray newsRequestUrl(const QByteArray& baseUrl, const char* script);

FormFields newsListFields(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                          const QByteArray& newsTarget);
FormFields latestNewsFields(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                            const QByteArray& newsTarget);
FormFields newsDetailsFields(const QByteArray& publisherId, const QByteArray& branderCode,
                             const QByteArray& productType, const QByteArray& newsTarget, const QByteArray& newsId);

// The reply as the operations read it: the trimmed body, or empty when the transfer failed.
QByteArray replyText(bool transferred, QByteArray body);

// A success reply holds "OK" anywhere, with this case.
bool isSuccessReply(const QByteArray& reply);

// The most entries a news list keeps from one reply, and so the most rows the news window shows:
// the first ones, in reply order. A publisher's list holds a few dozen; the cap keeps a reply
// of millions of entries from costing more than this.
inline constexpr qsizetype kMaxNewsEntries = 10000;

// The entries of a success reply to the list request, in reply order (pieces between 0xAF bytes
// that are neither empty nor "OK"), at most maxEntries of them.
StringList parseNewsList(const QByteArray& reply, qsizetype maxEntries = kMaxNewsEntries);

// Field index of a news entry ("^"-separated: id, title, date), as SplitFields cuts it; empty
// when the entry has fewer fields.
QByteArray entryField(const QByteArray& entry, int index);

// Id and title of the newest message from a success reply to the latest-news request; both
// empty when the service has none.
void parseLatestNews(const QByteArray& reply, QByteArray& id, QByteArray& title);

// The HTML body from a success reply to the details request.
QByteArray parseNewsDetails(const QByteArray& reply);

// The message an error reply shows, or an empty text when it shows none.
enum class NewsRequest
{
    List,
    Latest,
    Details
};
QString newsErrorMessage(const QByteArray& reply, NewsRequest request);

// The one rule for a message id, wherever ids are compared or stored: an optional minus sign
// and decimal digits, nothing else (no blanks, no sign "+", no NUL), within 32 bits signed.
std::optional<qint32> parseNewsId(const QByteArray& id);
bool isValidNewsId(const QByteArray& id);

// A message id as a 32-bit signed integer: 0 when it is no valid id (the empty text included).
qint32 newsIdNumber(const QByteArray& id);

} // namespace News
