// The settings document: ExtractTagValue, the loader's reading of every tag in its order, and
// LastNewsId written into a sealed settings file and read back.

#include "FuzzSupport.h"

#include "branding/BrandingLoader.h"
#include "branding/Limits.h"
#include "branding/SettingsDocument.h"
#include "branding/SettingsLint.h"
#include "branding/SettingsTags.h"
#include "crypto/AesLib.h"
#include "news/NewsProtocol.h"
#include "util/AppError.h"
#include "util/Fields.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include <QBuffer>
#include <QFile>

namespace {

QByteArray upper(const QByteArray& text)
{
    return UUtils::upperAscii(text);
}

// ExtractTagValue against the plain reading of its rule on upper-cased copies.
void checkExtract(const QByteArray& document, const QByteArray& open, const QByteArray& close)
{
    QByteArray working = document;
    const QByteArray value = ExtractTagValue(working, open, close);
    const qsizetype p = open.isEmpty() ? -1 : upper(document).indexOf(upper(open));
    if (p < 0) {
        FUZZ_CHECK(value.isEmpty() && working == document);
        return;
    }
    const QByteArray after = document.mid(p + open.size());
    const qsizetype q = close.isEmpty() ? -1 : upper(after).indexOf(upper(close));
    if (q < 0) {
        FUZZ_CHECK(value.isEmpty() && working == after);
        return;
    }
    FUZZ_CHECK(value == after.left(q) && working == after.mid(q));
}

QByteArray tagName(FuzzedDataProvider& input)
{
    const StringList& names = settingsTagsInReadingOrder();
    const int pick = input.ConsumeIntegralInRange<int>(0, int(names.size()));
    return pick < names.size() ? names[pick] : Fuzz::takeBytes(input, 20);
}

void checkReading(const QByteArray& plain, int answer)
{
    const QByteArray document = UUtils::joinLines(UUtils::parseLines(plain));
    const BrandingDocument read = ReadBrandingDocument(document);
    const Branding& v = read.values;
    for (const QByteArray* value : {&v.ApplicationName, &v.BranderType, &v.AffiliateID, &v.AppHelpURL, &v.AboutText})
        FUZZ_CHECK(document.contains(*value));
    // The affiliate address has a ceiling, however many placeholders the id fills.
    FUZZ_CHECK(v.AffiliateURL.size() <= std::max(Limits::kMaxAddressLength, document.size()));
    for (const StringList* entries : {&read.WelcomeEntries, &read.BannerEntries, &read.LinkEntries}) {
        FUZZ_CHECK(entries->size() <= kNumberedCopies);
        for (const QByteArray& entry : *entries)
            FUZZ_CHECK(!entry.isEmpty() && document.contains(entry));
    }

    const BrandingDraws draws = DrawBranding(read, [answer](int count) { return answer % (count + 1); });
    FUZZ_CHECK(draws.BannerNumber >= 0 && draws.BannerNumber <= read.BannerEntries.size());
    FUZZ_CHECK((draws.BannerNumber == 0) == read.BannerEntries.isEmpty());
    if (draws.BannerNumber > 0) {
        const QByteArray& entry = read.BannerEntries[draws.BannerNumber - 1];
        FUZZ_CHECK(entry.startsWith(draws.record.BannerImage));
        const QByteArray shown = BannerShownName(draws.record.BannerImage);
        FUZZ_CHECK(!shown.contains('/') && !shown.contains('\\') && !shown.contains(':'));
        FUZZ_CHECK(draws.record.BannerImage.endsWith(shown));
        FUZZ_CHECK(!BannerImageFormat(shown).contains('.'));
    }
    FUZZ_CHECK(MainCaption(v).startsWith(v.ApplicationName));
}

bool passesPassPhraseCheck(const QByteArray& file)
{
    QByteArray copy = file;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    QBuffer destination;
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(UUtils::kSealPassPhrase, UUtils::kSealBufferSize);
    encryption.DecryptStream(source, destination, copy.size());
    return encryption.lastError() != TEncryption::Error::PassPhrase;
}

QString settingsPath()
{
    return UUtils::appFile(QLatin1String(kSettingsFileName));
}

void sealDocument(const QByteArray& plain)
{
    const QString plainPath = UUtils::appFile(QStringLiteral("plain.txt"));
    UUtils::writeFileAtomically(plainPath, plain);
    UUtils::SealFile(plainPath, settingsPath());
    QFile::remove(plainPath);
}

// WriteLastNewsId then ReadLastNewsId, on a sealed document or on bytes that are none.
void checkLastNewsId(const QByteArray& plain, bool sealed, const QByteArray& value)
{
    UUtils::setAppDir(Fuzz::scratchDir());
    if (sealed)
        sealDocument(plain);
    else
        UUtils::writeFileAtomically(settingsPath(), plain);
    const QByteArray before = UUtils::readWholeFile(settingsPath());
    try {
        WriteLastNewsId(value);
    } catch (const AppError&) {
        FUZZ_CHECK(!"a settings file that can be read and written raises no error");
    }
    FUZZ_CHECK(!QFile::exists(UUtils::appFile(QLatin1String(kPlainSettingsFileName))));
    // A server's text that is no news id changes no byte of the file.
    if (!News::isValidNewsId(value)) {
        FUZZ_CHECK(UUtils::readWholeFile(settingsPath()) == before);
        QFile::remove(settingsPath());
        return;
    }
    const std::optional<QByteArray> document = LoadSettingsDocument();
    FUZZ_CHECK(document.has_value());
    if (!sealed) {
        // Bytes that fail the pass phrase check are no settings file of ours: left as they are.
        if (UUtils::readWholeFile(settingsPath()) != before)
            FUZZ_CHECK(passesPassPhraseCheck(before));
        return;
    }
    // Every other line stays; the marker's line (or a new last line) holds the value.
    StringList lines = UUtils::parseLines(plain);
    SetLastNewsIdLine(lines, value);
    FUZZ_CHECK(*document == UUtils::joinLines(lines));
    // Read back, unless a marker in other letter case stands where the reading finds it first.
    bool variant = false;
    for (const QByteArray& line : UUtils::parseLines(plain))
        variant = variant || (upper(line).contains(upper(kLastNewsIdOpen)) && !line.contains(kLastNewsIdOpen));
    if (!variant)
        FUZZ_CHECK(ReadLastNewsId() == value);
    QFile::remove(settingsPath());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0: {
        const QByteArray name = tagName(input);
        const bool own = input.ConsumeBool();
        const QByteArray open = own ? Fuzz::takeBytes(input, 24) : openingMarker(name);
        const QByteArray close = own ? Fuzz::takeBytes(input, 24) : closingMarker(name);
        const QByteArray document = Fuzz::takeRest(input);
        checkExtract(document, open, close);
        // The loader's way: one working text, cut by every tag it reads.
        QByteArray working = document;
        for (const QByteArray& tag : settingsTagsInReadingOrder()) {
            const QByteArray before = working;
            ExtractTagValue(working, openingMarker(tag), closingMarker(tag));
            FUZZ_CHECK(before.endsWith(working));
        }
        break;
    }
    case 1: {
        const int answer = input.ConsumeIntegral<int>();
        checkReading(Fuzz::takeRest(input), answer);
        break;
    }
    default: {
        // An id as the news service sends it: a number, or any text at all.
        const bool sealed = input.ConsumeBool();
        const QByteArray value =
            input.ConsumeBool() ? QByteArray::number(input.ConsumeIntegral<qint32>()) : Fuzz::takeBytes(input, 24);
        checkLastNewsId(Fuzz::takeRest(input), sealed, value);
        break;
    }
    }
    return 0;
}
