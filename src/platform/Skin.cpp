#include "platform/Skin.h"

#include "branding/BrandingLoader.h"
#include "branding/Limits.h"
#include "util/Files.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

namespace {

// True when the style sheet parses: Qt reports a sheet it cannot parse only as a warning, so a
// probe widget takes the sheet first while the warnings are watched.
bool styleSheetParses(const QString& sheet)
{
    static bool parseFailed;
    parseFailed = false;
    const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtWarningMsg && message.contains(QLatin1String("Could not parse")))
            parseFailed = true;
    });
    {
        QWidget probe;
        probe.setStyleSheet(sheet);
        probe.ensurePolished();
    }
    qInstallMessageHandler(previous);
    return !parseFailed;
}

} // namespace

QString TSkin::builtInStyleSheet()
{
    static const QString sheet = [] {
        QFile file(QStringLiteral(":/quillet.qss"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return sheet;
}

void TSkin::applyBuiltIn()
{
    if (qApp && qApp->styleSheet().isEmpty())
        qApp->setStyleSheet(builtInStyleSheet());
}

bool TSkin::applyFile(const QString& path)
{
    const auto bytes = UUtils::readFileUpTo(path, Limits::kSkinFileMaxBytes);
    if (!bytes)
        return false;
    const auto sheet = DecodeSkin(*bytes);
    if (!sheet || !styleSheetParses(*sheet))
        return false;
    // Laid over the built-in sheet: what the skin does not restyle (fonts, sizes) keeps the look
    // the window was laid out for.
    qApp->setStyleSheet(builtInStyleSheet() + QLatin1Char('\n') + *sheet);
    return true;
}
