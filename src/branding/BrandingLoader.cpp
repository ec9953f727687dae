#include "branding/BrandingLoader.h"

#include "branding/Limits.h"

#include "branding/MembershipLevels.h"
#include "branding/SettingsDocument.h"
#include "branding/SettingsTags.h"
#include "util/Fields.h"
#include "util/TextCodec.h"

#include <QRandomGenerator>
#include <QStringDecoder>

#include <zlib.h>

namespace {

QByteArray readTag(QByteArray& working, const QByteArray& name)
{
    return ExtractTagValue(working, openingMarker(name), closingMarker(name));
}

// Name1, Name2, ... up to the first empty value, at most kNumberedCopies.
StringList readNumbered(QByteArray& working, const QByteArray& name)
{
    StringList entries;
    for (int n = 1; n <= kNumberedCopies; ++n) {
        const QByteArray value = readTag(working, name + QByteArray::number(n));
        if (value.isEmpty())
            break;
        entries.append(value);
    }
    return entries;
}

// An entry's two sub-fields; a missing address is empty.
std::pair<QByteArray, QByteArray> splitEntry(const QByteArray& entry)
{
    const StringList fields = UUtils::SplitFields('^', entry);
    return {fields.value(0), fields.value(1)};
}

int drawIndex(const RandomIndex& random, int count)
{
    const int index = random(count);
    // A source that answers out of range must not take the program down.
    return (index >= 0 && index < count) ? index : 0;
}

} // namespace

RandomIndex defaultRandomIndex()
{
    return [](int count) { return int(QRandomGenerator::global()->bounded(count)); };
}

namespace {
RandomIndex g_brandingRandom;
}

RandomIndex brandingRandomIndex()
{
    return g_brandingRandom ? g_brandingRandom : defaultRandomIndex();
}

void setBrandingRandomIndex(RandomIndex source)
{
    g_brandingRandom = std::move(source);
}

BrandingDocument ReadBrandingDocument(QByteArray working)
{
    BrandingDocument doc;
    for (const SettingsTag& tag : kSettingsTags) {
        QByteArray value = readTag(working, tag.name);
        if (tag.field)
            doc.values.*tag.field = std::move(value);
        else if (tag.documentField)
            doc.*tag.documentField = std::move(value);
    }
    doc.values.AffiliateURL = SubstituteAffiliateId(doc.values.AffiliateURL, doc.values.AffiliateID);
    for (const NumberedTag& tag : kNumberedTags)
        doc.*tag.entries = readNumbered(working, tag.name);
    return doc;
}

QByteArray SubstituteAffiliateId(const QByteArray& url, const QByteArray& id)
{
    // The length of the result first: the placeholders as replace() finds them, left to right
    // and without overlap.
    const QByteArray placeholder(kAffiliateIdPlaceholder);
    qsizetype count = 0;
    for (qsizetype at = url.indexOf(placeholder); at >= 0; at = url.indexOf(placeholder, at + placeholder.size()))
        ++count;
    // At most a document's length of each: no overflow in 64 bits.
    const qint64 length = qint64(url.size()) + qint64(count) * (qint64(id.size()) - placeholder.size());
    if (length > Limits::kMaxAddressLength)
        return QByteArray();
    return QByteArray(url).replace(placeholder, id);
}

bool NewsButtonVisible(const Branding& v)
{
    const MembershipLevel* level = membershipLevel(v.BranderType);
    return level && !(v.*level->publisherId).isEmpty() && !(v.*level->newsBaseUrl).isEmpty();
}

QByteArray MainCaption(const Branding& values)
{
    return values.ApplicationName + " v" + AppVersion;
}

QByteArray MakeMoneyCaption(const BrandingDocument& document)
{
    return document.MakeMoneyButton.isEmpty() ? QByteArray(kDefaultMakeMoneyCaption) : document.MakeMoneyButton;
}

BrandingDraws DrawBranding(const BrandingDocument& document, const RandomIndex& random)
{
    BrandingDraws draws;
    Branding& r = draws.record;
    r = document.values;

    if (!document.WelcomeEntries.isEmpty())
        r.WelcomePage = document.WelcomeEntries.at(drawIndex(random, int(document.WelcomeEntries.size())));

    if (!document.BannerEntries.isEmpty()) {
        const int b = drawIndex(random, int(document.BannerEntries.size()));
        std::tie(r.BannerImage, r.BannerURL) = splitEntry(document.BannerEntries.at(b));
        draws.BannerNumber = b + 1;
    }

    StringList links = document.LinkEntries;
    if (!links.isEmpty()) {
        const int first = drawIndex(random, int(links.size()));
        std::tie(r.Link1Title, r.Link1URL) = splitEntry(links.takeAt(first));
        if (!links.isEmpty()) {
            const int second = drawIndex(random, int(links.size()));
            std::tie(r.Link2Title, r.Link2URL) = splitEntry(links.at(second));
        }
    }
    return draws;
}

QString BannerFileName(int number)
{
    return QStringLiteral("banner%1.dat").arg(number);
}

QByteArray BannerShownName(const QByteArray& image)
{
    const qsizetype cut = std::max({image.lastIndexOf('\\'), image.lastIndexOf(':'), image.lastIndexOf('/')});
    return image.mid(cut + 1);
}

bool IsAnimatedBanner(const QByteArray& shownName)
{
    return shownName.toLower().contains(".gif");
}

QByteArray BannerImageFormat(const QByteArray& shownName)
{
    const qsizetype dot = shownName.lastIndexOf('.');
    return dot < 0 ? QByteArray() : shownName.mid(dot + 1).toLower();
}

std::optional<QByteArray> InflateUpTo(const QByteArray& stream, qsizetype limit)
{
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return std::nullopt;
    // The input is a file read whole, far below 4 GB: one block for zlib.
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.constData()));
    zs.avail_in = uInt(stream.size());
    constexpr qsizetype kChunk = 64 * 1024;
    QByteArray out;
    int status = Z_OK;
    // Room for one byte more than the limit at most: a stream that fills it is too long.
    while (status == Z_OK && out.size() <= limit) {
        const qsizetype start = out.size();
        const qsizetype room = std::min(kChunk, limit + 1 - start);
        out.resize(start + room);
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + start);
        zs.avail_out = uInt(room);
        status = inflate(&zs, Z_NO_FLUSH);
        out.resize(start + room - qsizetype(zs.avail_out));
    }
    inflateEnd(&zs);
    // Anything but the stream's end (a data error, input that stops early) is no skin.
    if (status != Z_STREAM_END || out.size() > limit)
        return std::nullopt;
    return out;
}

std::optional<QString> DecodeSkin(const QByteArray& file)
{
    QByteArray sheet = file;
    // qCompress output: the plain length in 4 big-endian bytes, then a zlib stream (first byte 0x78
    // for the usual 32 KB window). Any length we accept is below 16 MB, so its first byte is zero:
    // a plain sheet whose fifth character happens to be 'x' (".flex {") is not taken for one.
    // Past that test the length is not believed: the stream is inflated up to the ceiling and
    // refused when it goes on beyond it, whatever length it claims.
    if (file.size() > 6 && file.at(0) == '\0' && quint8(file.at(4)) == 0x78) {
        std::optional<QByteArray> inflated = InflateUpTo(file.mid(4), Limits::kSkinMaxBytes);
        if (!inflated || inflated->isEmpty())
            return std::nullopt;
        sheet = std::move(*inflated);
    }
    if (sheet.size() > Limits::kSkinMaxBytes)
        return std::nullopt;
    for (const char c : std::as_const(sheet)) {
        const auto u = quint8(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f')
            return std::nullopt; // binary data, not a style sheet
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(sheet);
    if (utf8.hasError())
        text = UUtils::ansiToString(sheet);
    if (text.trimmed().isEmpty())
        return std::nullopt;
    return text;
}
