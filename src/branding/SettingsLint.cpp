#include "branding/SettingsLint.h"

#include "branding/BrandingLoader.h"
#include "branding/Limits.h"
#include "branding/MembershipLevels.h"
#include "branding/SettingsDocument.h"
#include "branding/SettingsTags.h"
#include "util/Fields.h"
#include "util/WebAddress.h"

#include <QFile>
#include <QFileInfo>

#include <QHash>

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

QByteArray quoted(const QByteArray& text)
{
    return '"' + text + '"';
}

std::string_view view(QByteArrayView bytes)
{
    return std::string_view(bytes.data(), size_t(bytes.size()));
}

// The opening markers' names, upper-cased (views into the upper-cased document), each with the
// position of its first occurrence. (std::unordered_map: QHash takes ten times as long to fill
// here, which counts with a new name every few bytes.)
using MarkerNames = std::unordered_map<std::string_view, qsizetype>;

// Names of all opening markers "<%%Name%%>" in the document. One pass: the "%%>" that ends a name
// is looked up once and reused for every "<%%" before it, so a text of many "<%%" and few "%%>"
// costs no more than its length.
MarkerNames openingMarkers(const QByteArray& upperDocument)
{
    constexpr qsizetype kMaxNameLength = 64;
    MarkerNames names;
    qsizetype at = 0;
    qsizetype end = -1;
    while ((at = upperDocument.indexOf("<%%", at)) >= 0) {
        const qsizetype nameStart = at + 3;
        at = nameStart;
        if (end < nameStart)
            end = upperDocument.indexOf("%%>", nameStart);
        if (end < 0)
            break;
        const QByteArrayView name = QByteArrayView(upperDocument).sliced(nameStart, end - nameStart);
        if (name.isEmpty() || name.size() > kMaxNameLength || name.startsWith('/') || name.contains('<') ||
            name.contains('\r') || name.contains('\n'))
            continue;
        names.try_emplace(view(name), nameStart - 3);
    }
    return names;
}

// Splits a numbered tag name "BANNER12" into its base and number; 0 when it is not one.
int numberOf(std::string_view upperName, const QByteArray& upperBase)
{
    if (!upperName.starts_with(view(upperBase)) || upperName.size() == size_t(upperBase.size()))
        return 0;
    const QByteArray digits(upperName.data() + upperBase.size(), qsizetype(upperName.size()) - upperBase.size());
    if (digits.startsWith('0'))
        return 0;
    bool ok = false;
    const int n = digits.toInt(&ok);
    return ok ? n : 0;
}

class Linter
{
public:
    explicit Linter(const QByteArray& plain)
        : m_lines(UUtils::parseLines(plain)), m_document(UUtils::joinLines(m_lines)), m_working(m_document),
          m_upperDocument(UUtils::upperAscii(m_document)), m_markers(openingMarkers(m_upperDocument))
    {
        const qsizetype nul = plain.indexOf('\0');
        if (nul >= 0)
            warn("a NUL byte at offset " + QByteArray::number(nul) + " ends the text: nothing after it is read");
    }

    StringList run()
    {
        for (const SettingsTag& tag : kSettingsTags)
            m_values.insert(tag.name, readTag(tag.name));
        checkAddresses();
        for (const NumberedTag& tag : kNumberedTags)
            readNumbered(tag);
        checkUnknownTags();
        checkBranderType();
        checkLastNewsId();
        return m_warnings;
    }

private:
    void warn(const QByteArray& text) { m_warnings.append(text); }

    bool present(const QByteArray& name) const { return m_markers.count(view(UUtils::upperAscii(name))) > 0; }

    // Reads a tag as the loader does; warns when it is present but cut off or unclosed.
    QByteArray readTag(const QByteArray& name)
    {
        const qsizetype before = m_working.size();
        const QByteArray close = closingMarker(name);
        const QByteArray value = ExtractTagValue(m_working, openingMarker(name), close);
        const bool found = m_working.size() != before;
        if (!found) {
            if (present(name))
                warn("tag " + name + " is never read: it stands before " +
                     (m_lastRead.isEmpty() ? QByteArray("a tag read earlier") : "tag " + m_lastRead) +
                     ", which is read first (keep the tags in the reading order)");
            return value;
        }
        if (!UUtils::upperAscii(m_working.left(close.size())).startsWith(UUtils::upperAscii(close)))
            warn("tag " + name + " is not closed (no " + quoted(close) + " after it): its value reads as empty");
        // Found, closed or not, it cuts the working text: what stands before it is gone.
        m_lastRead = name;
        return value;
    }

    void readNumbered(const NumberedTag& tag)
    {
        const QByteArray base = tag.name;
        int stop = kNumberedCopies + 1;
        for (int n = 1; n <= kNumberedCopies; ++n) {
            const QByteArray name = base + QByteArray::number(n);
            const QByteArray value = readTag(name);
            if (value.isEmpty()) {
                stop = n;
                break;
            }
            if (tag.hasSubFields)
                checkSubFields(name, value);
        }
        // Tags the reading never reaches.
        const QByteArray upperBase = UUtils::upperAscii(base);
        QList<int> gap, beyond;
        for (const auto& marker : m_markers) {
            const int n = numberOf(marker.first, upperBase);
            if (n > kNumberedCopies)
                beyond.append(n);
            else if (n > stop)
                gap.append(n);
        }
        std::sort(gap.begin(), gap.end());
        std::sort(beyond.begin(), beyond.end());
        if (!gap.isEmpty())
            warn(joinNames(base, gap) + " never read: the numbering stops at " + base + QByteArray::number(stop) +
                 ", which is missing, empty or out of order");
        if (!beyond.isEmpty())
            warn(joinNames(base, beyond) + " never read: only " + base + "1 to " + base +
                 QByteArray::number(kNumberedCopies) + " are read");
    }

    static QByteArray joinNames(const QByteArray& base, const QList<int>& numbers)
    {
        QByteArray out = numbers.size() == 1 ? "tag " : "tags ";
        for (qsizetype i = 0; i < numbers.size(); ++i)
            out += (i ? ", " : "") + base + QByteArray::number(numbers[i]);
        return out + (numbers.size() == 1 ? " is" : " are");
    }

    void checkSubFields(const QByteArray& name, const QByteArray& value)
    {
        const StringList fields = UUtils::SplitFields('^', value);
        const bool isBanner = name.startsWith("Banner");
        if (fields.size() < 2 || fields[1].isEmpty())
            warn("tag " + name + " has no address: its value must be " +
                 (isBanner ? "the image file name" : "the link text") + ", \"^\" and the address");
        else if (fields[0].isEmpty())
            warn("tag " + name + " has no " + (isBanner ? "image file name" : "link text") + " before \"^\"");
        if (fields.size() < 2 || fields[1].isEmpty())
            return;
        const QByteArray& address = fields[1];
        if (UUtils::readsAsOption(address))
            warn(optionWarning("the address of tag " + name, isBanner ? "a click on the banner starts no browser"
                                                                      : "a click on the link opens nothing"));
        else if (!isBanner && !UUtils::sponsorLinkUrl(address).isValid())
            warn("the address of tag " + name + ", " + shortQuoted(address) +
                 ", is not a web address (http:, https:, or one such as www.example.com): a click on the link "
                 "opens nothing");
    }

    static QByteArray optionWarning(const QByteArray& subject, const QByteArray& outcome)
    {
        return subject + " begins with \"-\": a program would take it for an option, so " + outcome;
    }

    // A value quoted in a warning, cut short when it is long.
    static QByteArray shortQuoted(const QByteArray& value)
    {
        constexpr qsizetype kShown = 60;
        return value.size() <= kShown ? quoted(value) : quoted(value.left(kShown) + "...");
    }

    // The addresses the buttons hand to the browser, as the loader leaves them.
    void checkAddresses()
    {
        const QByteArray url = m_values.value("AffiliateURL");
        const QByteArray id = m_values.value("AffiliateID");
        const QByteArray address = SubstituteAffiliateId(url, id);
        // Empty from a non-empty address only when it was too long (or, with an empty id, when it
        // was nothing but placeholders).
        const bool tooLong =
            address.isEmpty() && !url.isEmpty() &&
            (!id.isEmpty() || !QByteArray(url).replace(kAffiliateIdPlaceholder, QByteArray()).isEmpty());
        if (tooLong)
            warn("AffiliateURL is longer than the " + QByteArray::number(Limits::kMaxAddressLength) +
                 " bytes an address may have once AffiliateID is put in: it is used empty, and \"Make Money\" "
                 "opens the browser with no address");
        else if (UUtils::readsAsOption(address))
            warn(optionWarning("AffiliateURL", "\"Make Money\" starts no browser"));
        if (UUtils::readsAsOption(m_values.value("AppHelpURL")))
            warn(optionWarning("AppHelpURL", "Help starts no browser"));
    }

    void checkUnknownTags()
    {
        StringList knownNames{UUtils::upperAscii("LastNewsId")};
        for (const QByteArray& name : settingsTagsInReadingOrder())
            knownNames.append(UUtils::upperAscii(name));
        StringList numberedBases;
        for (const NumberedTag& tag : kNumberedTags)
            numberedBases.append(UUtils::upperAscii(tag.name));
        std::unordered_set<std::string_view> known;
        for (const QByteArray& name : std::as_const(knownNames))
            known.insert(view(name));
        QList<QPair<qsizetype, QByteArray>> unknown;
        for (const auto& [name, at] : m_markers) {
            bool numbered = false;
            for (const QByteArray& base : std::as_const(numberedBases))
                numbered = numbered || numberOf(name, base) > 0;
            if (!known.count(name) && !numbered)
                unknown.append({at, m_document.mid(at + 3, qsizetype(name.size()))});
        }
        std::sort(unknown.begin(), unknown.end());
        for (const auto& [at, name] : unknown)
            warn("unknown tag " + name + " is never read");
    }

    void checkBranderType()
    {
        const QByteArray type = m_values.value("BranderType");
        if (type.isEmpty()) {
            warn("BranderType is empty: no level, so the News button stays hidden");
            return;
        }
        const MembershipLevel* level = membershipLevel(type);
        if (!level) {
            QList<QByteArray> names;
            for (const MembershipLevel& known : kMembershipLevels)
                names.append(quoted(known.BranderType));
            warn("BranderType " + quoted(type) + " is none of " + names.join(", ") +
                 " (exact case): the News button stays hidden");
            return;
        }
        const QByteArray needed[] = {tagNameOf(level->publisherId), tagNameOf(level->newsBaseUrl)};
        QList<QByteArray> missing;
        for (const QByteArray& name : needed)
            if (m_values.value(name).isEmpty())
                missing.append(name);
        if (!missing.isEmpty())
            warn("the News button stays hidden: level " + type + " needs " + needed[0] + " and " + needed[1] +
                 ", and " + missing.join(" and ") + (missing.size() == 1 ? " is" : " are") + " empty");
    }

    void checkLastNewsId()
    {
        if (!present("LastNewsId"))
            return;
        QByteArray fresh = m_document;
        const QByteArray value = ExtractTagValue(fresh, kLastNewsIdOpen, kLastNewsIdClose);
        if (!UUtils::upperAscii(fresh).startsWith(UUtils::upperAscii(kLastNewsIdClose)))
            warn("tag LastNewsId is not closed: it reads as empty");
        // The line ReadLastNewsId reads from, and the line WriteLastNewsId replaces.
        const QByteArray upperOpen = UUtils::upperAscii(kLastNewsIdOpen);
        qsizetype readLine = -1, writeLine = -1;
        for (qsizetype i = 0; i < m_lines.size(); ++i) {
            if (readLine < 0 && UUtils::upperAscii(m_lines[i]).contains(upperOpen))
                readLine = i;
            if (writeLine < 0 && m_lines[i].contains(kLastNewsIdOpen))
                writeLine = i;
        }
        if (writeLine < 0) {
            warn("the LastNewsId marker is not written exactly \"<%%LastNewsId%%>\": WriteLastNewsId will not "
                 "recognise it and adds a second line, and the old value keeps being read");
            return;
        }
        if (readLine != writeLine)
            warn("line " + QByteArray::number(readLine + 1) +
                 ": the first LastNewsId marker is not written exactly "
                 "\"<%%LastNewsId%%>\": WriteLastNewsId replaces line " +
                 QByteArray::number(writeLine + 1) + " instead, and the old value keeps being read");
        QByteArray line = m_lines[writeLine];
        const QByteArray lineValue = ExtractTagValue(line, kLastNewsIdOpen, kLastNewsIdClose);
        if (m_lines[writeLine] != kLastNewsIdOpen + lineValue + kLastNewsIdClose)
            warn("line " + QByteArray::number(writeLine + 1) +
                 ": text beside the LastNewsId tag is dropped when WriteLastNewsId rewrites the line");
        bool decimal = !value.isEmpty();
        for (const char c : value)
            decimal = decimal && c >= '0' && c <= '9';
        if (!value.isEmpty() && !decimal)
            warn("LastNewsId " + quoted(value) + " is not a decimal number");
    }

    StringList m_lines;
    QByteArray m_document;
    QByteArray m_working;
    QByteArray m_upperDocument;
    MarkerNames m_markers;
    QHash<QByteArray, QByteArray> m_values;
    QByteArray m_lastRead;
    StringList m_warnings;
};

} // namespace

const StringList& settingsTagsInReadingOrder()
{
    static const StringList tags = [] {
        StringList out;
        for (const SettingsTag& tag : kSettingsTags)
            out.append(tag.name);
        for (const NumberedTag& tag : kNumberedTags)
            for (int n = 1; n <= kNumberedCopies; ++n)
                out.append(tag.name + QByteArray::number(n));
        return out;
    }();
    return tags;
}

StringList LintSettingsDocument(const QByteArray& plain)
{
    return Linter(plain).run();
}

namespace {

// The banner entries with their numbers, read as the loader reads them: every tag before them in
// the reading order cuts the working text first.
QList<QPair<int, QByteArray>> bannerEntriesAsRead(const QByteArray& plain)
{
    QByteArray working = UUtils::joinLines(UUtils::parseLines(plain));
    for (const SettingsTag& tag : kSettingsTags)
        ExtractTagValue(working, openingMarker(tag.name), closingMarker(tag.name));
    QList<QPair<int, QByteArray>> banners;
    for (const NumberedTag& tag : kNumberedTags) {
        for (int n = 1; n <= kNumberedCopies; ++n) {
            const QByteArray name = tag.name + QByteArray::number(n);
            const QByteArray value = ExtractTagValue(working, openingMarker(name), closingMarker(name));
            if (value.isEmpty())
                break;
            if (tag.entries == &BrandingDocument::BannerEntries)
                banners.append({n, value});
        }
    }
    return banners;
}

// Decoded pictures take four bytes a pixel.
qint64 pictureBytes(const PictureInfo& picture)
{
    return qint64(picture.width) * picture.height * 4;
}

QByteArray pixels(const PictureInfo& picture)
{
    return QByteArray::number(picture.width) + " x " + QByteArray::number(picture.height) + " pixels";
}

// Why the picture file at path is not shown; empty when it is. The ceilings are the image
// loading's: the file's size, the picture's sides, what decoding it allocates and, for an animated
// banner, what all its frames take.
QByteArray pictureRefusal(const QString& path, qint64 maxFileBytes, int maxSide, bool animated,
                          const PictureProbe& probe)
{
    constexpr qint64 kMiB = 1024 * 1024;
    const qint64 fileBytes = QFileInfo(path).size();
    if (fileBytes > maxFileBytes)
        return "the file has " + QByteArray::number(fileBytes) + " bytes, more than " +
               QByteArray::number(maxFileBytes);
    const std::optional<PictureInfo> picture = probe(path);
    if (!picture || picture->width <= 0 || picture->height <= 0)
        return "it is no picture the program can show";
    if (picture->width > maxSide || picture->height > maxSide)
        return "at " + pixels(*picture) + " it is over the " + QByteArray::number(maxSide) + " pixels a side may have";
    if (pictureBytes(*picture) > Limits::kImageAllocationMiB * kMiB)
        return "at " + pixels(*picture) + " it needs more than the " + QByteArray::number(Limits::kImageAllocationMiB) +
               " MiB a picture may take";
    if (animated && pictureBytes(*picture) * qMax(1, picture->frames) > Limits::kAnimationMaxBytes)
        return "its " + QByteArray::number(picture->frames) + " frames of " + pixels(*picture) +
               " take more than the " + QByteArray::number(Limits::kAnimationMaxBytes / kMiB) +
               " MiB an animated banner may take";
    return {};
}

} // namespace

StringList LintDeliveredFiles(const QString& dir, const QByteArray& plain, const PictureProbe& probe)
{
    StringList warnings;
    const QString folder = dir.isEmpty() ? QStringLiteral(".") : dir;
    auto pathOf = [&](const QString& name) { return folder + QLatin1Char('/') + name; };

    QFile skin(pathOf(QStringLiteral("mainskin.dat")));
    if (skin.exists()) {
        if (skin.size() > Limits::kSkinFileMaxBytes)
            warnings.append("mainskin.dat is not used: the file has " + QByteArray::number(skin.size()) +
                            " bytes, more than " + QByteArray::number(Limits::kSkinFileMaxBytes) +
                            "; the built-in look stays");
        else if (!skin.open(QIODevice::ReadOnly) || !DecodeSkin(skin.readAll()))
            warnings.append("mainskin.dat is not used: it is no style sheet, plain or compressed, of at most " +
                            QByteArray::number(Limits::kSkinMaxBytes) + " bytes; the built-in look stays");
    }

    for (const auto& [number, entry] : bannerEntriesAsRead(plain)) {
        const QString name = BannerFileName(number);
        const QByteArray image = UUtils::SplitFields('^', entry).value(0);
        if (image.isEmpty())
            continue; // the loader hides the panel; the document's lint has said why
        const QByteArray tagName = "Banner" + QByteArray::number(number);
        if (!QFileInfo(pathOf(name)).isFile()) {
            warnings.append(name.toLatin1() + " is missing: when " + tagName + " is drawn, the banner panel is hidden");
            continue;
        }
        const QByteArray why = pictureRefusal(pathOf(name), Limits::kBannerFileMaxBytes, Limits::kBannerMaxSide,
                                              IsAnimatedBanner(BannerShownName(image)), probe);
        if (!why.isEmpty())
            warnings.append(name.toLatin1() + " (" + tagName + ") is not shown: " + why +
                            "; when it is drawn, the banner panel is hidden");
    }

    const QString icon = pathOf(QStringLiteral("main.ico"));
    if (QFileInfo::exists(icon)) {
        const QByteArray why = pictureRefusal(icon, Limits::kIconFileMaxBytes, Limits::kIconMaxSide, false, probe);
        if (!why.isEmpty())
            warnings.append("main.ico is not used: " + why + "; the built-in icon stays");
    }
    return warnings;
}
