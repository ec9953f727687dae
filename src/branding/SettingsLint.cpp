#include "branding/SettingsLint.h"

#include "branding/MembershipLevels.h"
#include "branding/SettingsDocument.h"
#include "branding/SettingsTags.h"
#include "util/Fields.h"

#include <QHash>
#include <QSet>

namespace {

QByteArray quoted(const QByteArray& text)
{
    return '"' + text + '"';
}

// Names of all opening markers "<%%Name%%>" in the document, upper-cased, each with the position
// of its first occurrence.
QHash<QByteArray, qsizetype> openingMarkers(const QByteArray& upperDocument)
{
    QHash<QByteArray, qsizetype> names;
    qsizetype at = 0;
    while ((at = upperDocument.indexOf("<%%", at)) >= 0) {
        const qsizetype nameStart = at + 3;
        const qsizetype end = upperDocument.indexOf("%%>", nameStart);
        at = nameStart;
        if (end < 0)
            break;
        const QByteArray name = upperDocument.mid(nameStart, end - nameStart);
        if (name.isEmpty() || name.startsWith('/') || name.size() > 64 || name.contains('<') || name.contains('\r') ||
            name.contains('\n'))
            continue;
        if (!names.contains(name))
            names.insert(name, nameStart - 3);
    }
    return names;
}

// Splits a numbered tag name "Banner12" into its base and number; 0 when it is not one.
int numberOf(const QByteArray& upperName, const QByteArray& upperBase)
{
    if (!upperName.startsWith(upperBase) || upperName.size() == upperBase.size())
        return 0;
    const QByteArray digits = upperName.mid(upperBase.size());
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
          m_markers(openingMarkers(UUtils::upperAscii(m_document)))
    {
        const qsizetype nul = plain.indexOf('\0');
        if (nul >= 0)
            warn("a NUL byte at offset " + QByteArray::number(nul) + " ends the text: nothing after it is read");
    }

    StringList run()
    {
        for (const SettingsTag& tag : kSettingsTags)
            m_values.insert(tag.name, readTag(tag.name));
        for (const NumberedTag& tag : kNumberedTags)
            readNumbered(tag);
        checkUnknownTags();
        checkBranderType();
        checkLastNewsId();
        return m_warnings;
    }

private:
    void warn(const QByteArray& text) { m_warnings.append(text); }

    bool present(const QByteArray& name) const { return m_markers.contains(UUtils::upperAscii(name)); }

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
        for (auto it = m_markers.cbegin(); it != m_markers.cend(); ++it) {
            const int n = numberOf(it.key(), upperBase);
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
    }

    void checkUnknownTags()
    {
        QSet<QByteArray> known;
        known.insert(UUtils::upperAscii("LastNewsId"));
        for (const QByteArray& name : settingsTagsInReadingOrder())
            known.insert(UUtils::upperAscii(name));
        QList<QPair<qsizetype, QByteArray>> unknown;
        for (auto it = m_markers.cbegin(); it != m_markers.cend(); ++it) {
            bool numbered = false;
            for (const NumberedTag& tag : kNumberedTags)
                numbered = numbered || numberOf(it.key(), UUtils::upperAscii(tag.name)) > 0;
            if (!known.contains(it.key()) && !numbered)
                unknown.append({it.value(), m_document.mid(it.value() + 3, it.key().size())});
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
    QHash<QByteArray, qsizetype> m_markers;
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
