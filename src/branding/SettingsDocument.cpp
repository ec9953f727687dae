#include "branding/SettingsDocument.h"

#include "news/NewsProtocol.h"
#include "util/Fields.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include <QFile>

namespace {

// Deletes dbsettings.sim when the settings operation ends, also when it ends with an error.
class PlainCopyGuard
{
public:
    explicit PlainCopyGuard(QString path) : m_path(std::move(path)) {}
    ~PlainCopyGuard() { QFile::remove(m_path); }
    PlainCopyGuard(const PlainCopyGuard&) = delete;
    PlainCopyGuard& operator=(const PlainCopyGuard&) = delete;

private:
    QString m_path;
};

QString settingsPath()
{
    return UUtils::appFile(QLatin1String(kSettingsFileName));
}

QString plainSettingsPath()
{
    return UUtils::appFile(QLatin1String(kPlainSettingsFileName));
}

// Unseal into dbsettings.sim and load it as lines; the caller's guard deletes the plain copy.
// *sealedByUs (when given) tells whether the file passed the pass phrase check.
StringList unsealLines(bool* sealedByUs = nullptr)
{
    const bool ok = UUtils::UnsealFile(settingsPath(), plainSettingsPath());
    if (sealedByUs)
        *sealedByUs = ok;
    return UUtils::loadStringList(plainSettingsPath());
}

// First position of needle in text, the letters a to z compared without case; -1 if none.
// Same result as searching the upper-cased copies, without copying a long document per tag.
qsizetype indexOfIgnoringCase(const QByteArray& text, const QByteArray& needle)
{
    const qsizetype n = text.size();
    const qsizetype m = needle.size();
    if (m == 0 || m > n)
        return -1;
    const QByteArray upperNeedle = UUtils::upperAscii(needle);
    const char* t = text.constData();
    const char* u = upperNeedle.constData();
    const char first = u[0];
    for (qsizetype i = 0; i + m <= n; ++i) {
        if (UUtils::upperAsciiByte(t[i]) != first)
            continue;
        qsizetype j = 1;
        while (j < m && UUtils::upperAsciiByte(t[i + j]) == u[j])
            ++j;
        if (j == m)
            return i;
    }
    return -1;
}

} // namespace

QByteArray ExtractTagValue(QByteArray& working, const QByteArray& open, const QByteArray& close)
{
    const qsizetype p = indexOfIgnoringCase(working, open);
    if (p < 0)
        return QByteArray();
    working.remove(0, p + open.size());
    const qsizetype q = indexOfIgnoringCase(working, close);
    if (q < 0)
        return QByteArray();
    const QByteArray value = working.left(q);
    working.remove(0, q);
    return value;
}

QByteArray openingMarker(const QByteArray& name)
{
    return "<%%" + name + "%%>";
}

QByteArray closingMarker(const QByteArray& name)
{
    return "<%%/" + name + "%%>";
}

std::optional<QByteArray> LoadSettingsDocument()
{
    if (!QFile::exists(settingsPath()))
        return std::nullopt;
    PlainCopyGuard guard(plainSettingsPath());
    return UUtils::joinLines(unsealLines());
}

QByteArray ReadLastNewsId()
{
    std::optional<QByteArray> document = LoadSettingsDocument();
    if (!document)
        return QByteArray();
    return ExtractTagValue(*document, kLastNewsIdOpen, kLastNewsIdClose);
}

bool SetLastNewsIdLine(StringList& lines, const QByteArray& value)
{
    // Only a valid id goes in: an id is the one text from a server that reaches this document,
    // and a line break, a marker or a NUL in it would rewrite the copy's branding.
    if (!News::isValidNewsId(value))
        return false;
    const QByteArray line = kLastNewsIdOpen + value + kLastNewsIdClose;
    for (QByteArray& existing : lines) {
        if (existing.contains(kLastNewsIdOpen)) {
            existing = line;
            return true;
        }
    }
    lines.append(line);
    return true;
}

void WriteLastNewsId(const QByteArray& value)
{
    if (!News::isValidNewsId(value) || !QFile::exists(settingsPath()))
        return;
    PlainCopyGuard guard(plainSettingsPath());
    bool sealedByUs = false;
    StringList lines = unsealLines(&sealedByUs);
    QFile::remove(plainSettingsPath());
    // A file that is not our sealed document (another pass phrase, plain text, too short) reads
    // as no settings; sealing one line over it would destroy the copy's branding for good.
    if (!sealedByUs)
        return;
    SetLastNewsIdLine(lines, value);
    // The plain copy lives only until it is sealed: no sync to the disk for it.
    UUtils::saveStringList(plainSettingsPath(), lines, {}, UUtils::FileWriter::Kind::WorkingCopy);
    UUtils::SealFile(plainSettingsPath(), settingsPath());
}
