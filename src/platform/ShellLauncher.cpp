#include "platform/ShellLauncher.h"

#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The applications folders, most important first.
QStringList applicationDirs()
{
    QStringList dirs{homeDir("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/applications")};
    for (const QString& dir : pathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        dirs.append(dir + QStringLiteral("/applications"));
    return dirs;
}

// The mimeapps.list files in the order of the freedesktop association rules, desktop-specific
// files before the general one in each folder.
QStringList mimeappsFiles()
{
    QStringList folders{homeDir("XDG_CONFIG_HOME", QStringLiteral(".config"))};
    folders += pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    folders += applicationDirs();

    QStringList desktops;
    for (const QString& name : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops.append(name.toLower());

    QStringList files;
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops)
            files.append(folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(folder + QStringLiteral("/mimeapps.list"));
    }
    return files;
}

// The value of key in group of a desktop-entry style file, split at ';' (empty when absent).
QStringList readListValue(const QString& path, const QString& group, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = (line == QLatin1Char('[') + group + QLatin1Char(']'));
            continue;
        }
        if (!inGroup || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

QString readValue(const QString& path, const QString& group, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = (line.trimmed() == QLatin1Char('[') + group + QLatin1Char(']'));
            continue;
        }
        if (!inGroup || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

// The path of an installed desktop file id: "foo-bar.desktop" may also live at "foo/bar.desktop".
QString findDesktopFile(const QString& id)
{
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return {};
    QStringList candidates{id};
    QString nested = id;
    for (qsizetype dash = nested.indexOf(QLatin1Char('-')); dash > 0;
         dash = nested.indexOf(QLatin1Char('-'), dash + 1)) {
        nested[dash] = QLatin1Char('/');
        candidates.append(nested);
    }
    for (const QString& dir : applicationDirs()) {
        for (const QString& candidate : candidates) {
            const QString path = dir + QLatin1Char('/') + candidate;
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return {};
}

// A usable browser from a list of desktop ids: the first one installed, not hidden, with an Exec line.
ShellLauncher::Command firstUsable(const QStringList& ids)
{
    for (const QString& rawId : ids) {
        const QString path = findDesktopFile(rawId.trimmed());
        if (path.isEmpty())
            continue;
        const QString group = QStringLiteral("Desktop Entry");
        if (readValue(path, group, QStringLiteral("Hidden")) == QLatin1String("true"))
            continue;
        const QString exec = readValue(path, group, QStringLiteral("Exec"));
        ShellLauncher::Command command = ShellLauncher::commandFromExec(exec, QString());
        if (command.program.isEmpty())
            continue;
        command.desktopFile = path;
        command.exec = exec;
        return command;
    }
    return {};
}

// The general escapes of a desktop file's string values.
QString unescapeValue(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        case '\\':
            out.append(QLatin1Char('\\'));
            break;
        default:
            out.append(QLatin1Char('\\')).append(next);
            break; // kept for the quoting rules
        }
    }
    return out;
}

} // namespace

ShellLauncher::Command ShellLauncher::commandFromExec(const QString& exec, const QString& address)
{
    // Split into words: outside quotes a blank separates; inside double quotes a backslash escapes
    // '"', '`', '$' and '\'.
    struct Word
    {
        QString text;
        bool quoted = false;
    };
    QList<Word> words;
    const QString line = unescapeValue(exec);
    Word current;
    bool inWord = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes) {
            if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else if (c == QLatin1Char('\\') && i + 1 < line.size() &&
                       QStringLiteral("\"`$\\").contains(line[i + 1])) {
                current.text.append(line[++i]);
            } else {
                current.text.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            inWord = true;
            current.quoted = true;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord)
                words.append(current);
            current = Word();
            inWord = false;
        } else {
            if (c == QLatin1Char('\\') && i + 1 < line.size())
                current.text.append(line[++i]);
            else
                current.text.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(current);

    Command command;
    bool addressPlaced = false;
    for (const Word& word : std::as_const(words)) {
        const QString& text = word.text;
        if (text == QLatin1String("%u") || text == QLatin1String("%U") || text == QLatin1String("%f") ||
            text == QLatin1String("%F")) {
            if (!addressPlaced && !address.isEmpty())
                command.arguments.append(address);
            addressPlaced = true;
            continue;
        }
        // Remaining field codes (%i, %c, %k, deprecated ones, or codes inside a word) are dropped;
        // "%%" is a literal percent sign.
        QString expanded;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('%') && i + 1 < text.size()) {
                if (text[i + 1] == QLatin1Char('%'))
                    expanded.append(QLatin1Char('%'));
                ++i;
                continue;
            }
            expanded.append(text[i]);
        }
        if (expanded.isEmpty() && !word.quoted && !text.isEmpty())
            continue; // the word was only field codes
        if (command.program.isEmpty() && command.arguments.isEmpty())
            command.program = expanded;
        else
            command.arguments.append(expanded);
    }
    if (!addressPlaced && !address.isEmpty() && !command.program.isEmpty())
        command.arguments.append(address);
    return command;
}

ShellLauncher::Command ShellLauncher::defaultBrowser()
{
    const QStringList files = mimeappsFiles();
    // 1. The defaults, first file first; a file naming only browsers that are not installed passes
    //    the question on to the next one.
    for (const QString& file : files) {
        const Command command =
            firstUsable(readListValue(file, QStringLiteral("Default Applications"), kBrowserMimeType));
        if (!command.program.isEmpty())
            return command;
    }
    // 2. No default: the associations that were added, then the caches of the installed programs.
    for (const QString& file : files) {
        const Command command =
            firstUsable(readListValue(file, QStringLiteral("Added Associations"), kBrowserMimeType));
        if (!command.program.isEmpty())
            return command;
    }
    for (const QString& dir : applicationDirs()) {
        const Command command = firstUsable(
            readListValue(dir + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache"), kBrowserMimeType));
        if (!command.program.isEmpty())
            return command;
    }
    return {};
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
    const ShellLauncher::Command browser = ShellLauncher::defaultBrowser();
    if (browser.program.isEmpty())
        return false;
    const ShellLauncher::Command command = ShellLauncher::commandFromExec(browser.exec, UUtils::ansiToString(address));
    ShellLauncher::startDetached(command.program, command.arguments);
    return true;
}

void OpenLinkAddress(const QByteArray& address)
{
    ShellLauncher::openUrl(UUtils::ansiToString(address));
}
