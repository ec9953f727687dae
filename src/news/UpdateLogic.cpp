#include "news/UpdateLogic.h"

#include "branding/Branding.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <charconv>

namespace Update {

namespace {

// Test seam: the update server a test points the check at instead.
struct BaseUrlSeam
{
    QByteArray url;
};

TTestSeam<BaseUrlSeam>& baseUrlSeam()
{
    static TTestSeam<BaseUrlSeam> seam;
    return seam;
}

bool isDecimalNumber(const QByteArray& text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    return digits > 0 && i == text.size();
}

} // namespace

QByteArray updateBaseUrl()
{
    if (const BaseUrlSeam* seam = baseUrlSeam().state(); seam && !seam->url.isEmpty())
        return seam->url;
    return QByteArray(QUILLET_UPDATE_BASE_URL);
}

void setUpdateBaseUrl(const QByteArray& url)
{
    if (BaseUrlSeam* seam = baseUrlSeam().state())
        seam->url = url;
}

QByteArray descriptorUrl()
{
    return updateBaseUrl() + kDescriptorName;
}

float versionNumber(const QByteArray& text)
{
    if (!isDecimalNumber(text))
        return 0.0f;
    const char* begin = text.constData();
    if (*begin == '+')
        ++begin;
    float value = 0.0f;
    const auto [end, error] = std::from_chars(begin, text.constData() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.constData() + text.size())
        return 0.0f;
    return value;
}

bool isNewerVersion(const QByteArray& descriptorVersion, const QByteArray& appVersion)
{
    return versionNumber(appVersion) < versionNumber(descriptorVersion);
}

QString updateOfferText(const QByteArray& version)
{
    return QStringLiteral("There is a new update: (version ") + UUtils::ansiToString(version) +
           QStringLiteral(") available for your application!. Do you want download this update now?");
}

QString updateCloseText()
{
    return QStringLiteral("To update your software the application will close to\n\rreplace some files. "
                          "Do you want to update now?");
}

QString noUpdateText()
{
    return QStringLiteral("There's no new updates for this application!");
}

QString updaterMissingText()
{
    return QStringLiteral("The updater module is missing. Please reinstall again the current version!");
}

QString updaterFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Updater.exe");
#else
    return QStringLiteral("Updater");
#endif
}

QStringList updaterArguments()
{
    return {UUtils::ansiToString(updateBaseUrl()), QString::fromLatin1(AppVersion), QStringLiteral("A")};
}

} // namespace Update
