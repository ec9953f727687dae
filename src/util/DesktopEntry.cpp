#include "util/DesktopEntry.h"

#include "util/IniFile.h"

#include <QFileInfo>

namespace DesktopEntry {

namespace {

const QString kEntryGroup = QStringLiteral("Desktop Entry");

// The value of key in group of a desktop entry, mimeapps.list or mimeinfo.cache (UTF-8 text).
QString readValue(const QString& path, const QString& group, const QString& key)
{
    return QString::fromUtf8(UUtils::findIniFileValue(path, group.toUtf8(), key.toUtf8(), UUtils::IniNames::Exact));
}

// The same, split at ';' (a list of desktop file ids).
QStringList readListValue(const QString& path, const QString& group, const QString& key)
{
    return readValue(path, group, key).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

// The applications folders, most important first.
QStringList applicationDirs(const SearchPaths& paths)
{
    QStringList dirs{paths.dataHome + QStringLiteral("/applications")};
    for (const QString& dir : paths.dataDirs)
        dirs.append(dir + QStringLiteral("/applications"));
    return dirs;
}

// The mimeapps.list files in the order of the freedesktop association rules, desktop-specific
// files before the general one in each folder.
QStringList mimeappsFiles(const SearchPaths& paths)
{
    QStringList folders{paths.configHome};
    folders += paths.configDirs;
    folders += applicationDirs(paths);
    QStringList files;
    for (const QString& folder : std::as_const(folders)) {
        for (const QString& desktop : paths.desktops)
            files.append(folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list"));
        files.append(folder + QStringLiteral("/mimeapps.list"));
    }
    return files;
}

// The path of an installed desktop file id: "foo-bar.desktop" may also live at "foo/bar.desktop".
QString findDesktopFile(const SearchPaths& paths, const QString& id)
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
    for (const QString& dir : applicationDirs(paths)) {
        for (const QString& candidate : std::as_const(candidates)) {
            const QString path = dir + QLatin1Char('/') + candidate;
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return {};
}

// A usable program from a list of desktop ids: the first one installed, not hidden, with an Exec line.
Command firstUsable(const SearchPaths& paths, const QStringList& ids)
{
    for (const QString& rawId : ids) {
        const QString path = findDesktopFile(paths, rawId.trimmed());
        if (path.isEmpty())
            continue;
        if (readValue(path, kEntryGroup, QStringLiteral("Hidden")) == QLatin1String("true"))
            continue;
        const QString exec = readValue(path, kEntryGroup, QStringLiteral("Exec"));
        Command command = commandFromExec(exec, QString());
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

Command commandFromExec(const QString& exec, const QString& address)
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
            // Where the program should stand, the line names none: with an address the next word
            // would become an argument and nothing could be started, so the entry is no browser.
            if (command.program.isEmpty())
                return {};
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

Command defaultApplication(const SearchPaths& paths, const QString& mimeType)
{
    const QStringList files = mimeappsFiles(paths);
    // 1. The defaults, first file first; a file naming only programs that are not installed passes
    //    the question on to the next one.
    for (const QString& file : files) {
        const Command command =
            firstUsable(paths, readListValue(file, QStringLiteral("Default Applications"), mimeType));
        if (!command.program.isEmpty())
            return command;
    }
    // 2. No default: the associations that were added, then the caches of the installed programs.
    for (const QString& file : files) {
        const Command command = firstUsable(paths, readListValue(file, QStringLiteral("Added Associations"), mimeType));
        if (!command.program.isEmpty())
            return command;
    }
    for (const QString& dir : applicationDirs(paths)) {
        const Command command = firstUsable(
            paths, readListValue(dir + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache"), mimeType));
        if (!command.program.isEmpty())
            return command;
    }
    return {};
}

} // namespace DesktopEntry
