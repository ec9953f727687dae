#include "platform/ShellLauncher.h"

#include "util/TestSeam.h"
#include "util/TextCodec.h"
#include "util/WebAddress.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QUrl>

namespace {

// Test seam: while recording, nothing is started and every request is kept.
struct LauncherSeam
{
    bool recording = false;
    QList<ShellLauncher::Started> started;
};

TTestSeam<LauncherSeam>& seam()
{
    static TTestSeam<LauncherSeam> seam;
    return seam;
}

LauncherSeam* recorder()
{
    LauncherSeam* test = seam().state();
    return test && test->recording ? test : nullptr;
}

const QString kBrowserMimeType = QStringLiteral("x-scheme-handler/http");

QStringList pathList(const char* variable, const QString& fallback)
{
    QStringList dirs;
    const QString value = qEnvironmentVariable(variable);
    for (const QString& dir : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs.append(QDir::cleanPath(dir));
    }
    return dirs;
}

QString homeDir(const char* variable, const QString& belowHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::homePath() + QLatin1Char('/') + belowHome;
}

} // namespace

DesktopEntry::SearchPaths ShellLauncher::searchPaths()
{
    DesktopEntry::SearchPaths paths;
    paths.configHome = homeDir("XDG_CONFIG_HOME", QStringLiteral(".config"));
    paths.configDirs = pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    paths.dataHome = homeDir("XDG_DATA_HOME", QStringLiteral(".local/share"));
    paths.dataDirs = pathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (const QString& name : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        paths.desktops.append(name.toLower());
    return paths;
}

ShellLauncher::Command ShellLauncher::defaultBrowser()
{
    return DesktopEntry::defaultApplication(searchPaths(), kBrowserMimeType);
}

bool ShellLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    if (LauncherSeam* test = recorder()) {
        test->started.append({Started::Kind::Program, program, arguments});
        return true;
    }
    return QProcess::startDetached(program, arguments);
}

void ShellLauncher::openUrl(const QString& address)
{
    if (LauncherSeam* test = recorder()) {
        test->started.append({Started::Kind::Url, address, {}});
        return;
    }
    if (!address.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

void ShellLauncher::setRecording(bool on)
{
    if (LauncherSeam* test = seam().state())
        test->recording = on;
}

void ShellLauncher::clearTestState()
{
    if (LauncherSeam* test = seam().state())
        test->started.clear();
}

const QList<ShellLauncher::Started>& ShellLauncher::started()
{
    static const QList<Started> none;
    const LauncherSeam* test = seam().state();
    return test ? test->started : none;
}

bool OpenInDefaultBrowser(const QByteArray& address)
{
    // Browsers take options from anywhere on their command line, some of which run programs: an
    // address that reads as one is handed to no program.
    if (UUtils::readsAsOption(address))
        return false;
    const ShellLauncher::Command browser = ShellLauncher::defaultBrowser();
    if (browser.program.isEmpty())
        return false;
    const ShellLauncher::Command command = DesktopEntry::commandFromExec(browser.exec, UUtils::ansiToString(address));
    ShellLauncher::startDetached(command.program, command.arguments);
    return true;
}

bool OpenLinkAddress(const QByteArray& address)
{
    // The desktop would open a local file, a share or any scheme with whatever is registered for
    // it: only web addresses go there. An empty address opens nothing either way.
    if (!address.isEmpty() && !UUtils::sponsorLinkUrl(address).isValid())
        return false;
    ShellLauncher::openUrl(UUtils::ansiToString(address));
    return !address.isEmpty();
}
