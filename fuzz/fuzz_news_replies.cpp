// The news service's replies: list, latest message and details, the error replies and message
// ids, and DecodeDollarHex on the bodies.

#include "FuzzSupport.h"

#include "news/NewsProtocol.h"
#include "util/Fields.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The service's escape: some bytes as "$" and two digits ("$" always), the others as they are.
QByteArray escape(const QByteArray& plain, const QByteArray& choice, bool lowerCase)
{
    QByteArray out;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const auto b = quint8(plain[i]);
        if (b == '$' || (!choice.isEmpty() && (quint8(choice[i % choice.size()]) & 1))) {
            out += '$';
            out += lowerCase ? char(QChar::toLower(char16_t(kHex[b >> 4]))) : kHex[b >> 4];
            out += lowerCase ? char(QChar::toLower(char16_t(kHex[b & 15]))) : kHex[b & 15];
        } else {
            out += char(b);
        }
    }
    return out;
}

void checkDecode(const QByteArray& text)
{
    const QByteArray decoded = UUtils::DecodeDollarHex(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (!text.contains('$'))
        FUZZ_CHECK(decoded == text);
    // Each "$" stands for one byte and takes one or two digits with it.
    if (!decoded.isEmpty())
        FUZZ_CHECK(decoded.size() >= text.size() - 2 * text.count('$'));
}

qint32 numberFromBytes(const QByteArray& bytes)
{
    qint32 n = 0;
    std::memcpy(&n, bytes.leftJustified(4, '\0').constData(), 4);
    return n;
}

void checkReplies(const QByteArray& body)
{
    const QByteArray reply = News::replyText(true, body);
    FUZZ_CHECK(News::replyText(false, body).isEmpty());
    FUZZ_CHECK(reply.isEmpty() || (quint8(reply.front()) > 0x20 && quint8(reply.back()) > 0x20));

    const StringList entries = News::parseNewsList(reply, 3);
    FUZZ_CHECK(entries.size() <= 3 && entries == News::parseNewsList(reply).mid(0, 3));
    for (const QByteArray& entry : News::parseNewsList(reply)) {
        for (int field = 0; field < 4; ++field)
            FUZZ_CHECK(News::entryField(entry, field) == UUtils::SplitFields('^', entry).value(field));
        FUZZ_CHECK(!entry.isEmpty() && entry != "OK" && !entry.contains(News::kListSeparator));
        FUZZ_CHECK(reply.contains(entry));
    }
    QByteArray id, title;
    News::parseLatestNews(reply, id, title);
    FUZZ_CHECK(!id.contains('^') && !title.contains('^'));
    FUZZ_CHECK(id.size() + title.size() <= reply.size());
    News::newsIdNumber(id);

    const QByteArray details = News::parseNewsDetails(reply);
    FUZZ_CHECK(details.size() <= reply.size());
    for (const News::NewsRequest request :
         {News::NewsRequest::List, News::NewsRequest::Latest, News::NewsRequest::Details})
        News::newsErrorMessage(reply, request);
    // An id is written back into the settings file: only an optional minus and decimal digits
    // within 32 bits count, and every such number reads as itself.
    const std::optional<qint32> number = News::parseNewsId(body);
    FUZZ_CHECK(News::newsIdNumber(body) == number.value_or(0) && News::isValidNewsId(body) == number.has_value());
    if (number) {
        const QByteArray digits = body.startsWith('-') ? body.mid(1) : body;
        FUZZ_CHECK(!digits.isEmpty() &&
                   std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }));
        bool ok = false;
        FUZZ_CHECK(body.toLongLong(&ok) == *number && ok);
    }
    FUZZ_CHECK(News::parseNewsId(QByteArray::number(numberFromBytes(body))) == numberFromBytes(body));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool lowerCase = input.ConsumeBool();
    const QByteArray choice = Fuzz::takeBytes(input, 16);
    const QByteArray text = Fuzz::takeRest(input);

    checkDecode(text);
    // Every body the service escapes comes back as it was, also with "¯OK" after it.
    const QByteArray escaped = escape(text, choice, lowerCase);
    FUZZ_CHECK(UUtils::DecodeDollarHex(escaped) == text);
    if (!text.contains(char(0xAF)))
        FUZZ_CHECK(News::parseNewsDetails(escaped + "\xAFOK") == text);
    checkReplies(text);
    return 0;
}
