#pragma once

#include <QString>
#include <QStringList>

// The freedesktop way of finding the program a desktop has chosen for a MIME type (the default web
// browser is the handler of x-scheme-handler/http), and of building its command line from the
// desktop entry's Exec line. Only reads files: the folders to look in come from the caller, who
// takes them from the environment.
namespace DesktopEntry {

// The folders of the XDG base directory rules, resolved to absolute paths.
struct SearchPaths
{
    QString configHome;     // XDG_CONFIG_HOME, else ~/.config
    QStringList configDirs; // XDG_CONFIG_DIRS, else /etc/xdg
    QString dataHome;       // XDG_DATA_HOME, else ~/.local/share
    QStringList dataDirs;   // XDG_DATA_DIRS, else /usr/local/share and /usr/share
    QStringList desktops;   // XDG_CURRENT_DESKTOP's names, lower-cased
};

struct Command
{
    QString program;
    QStringList arguments; // the Exec line's own arguments, field codes removed
    QString desktopFile;   // full path of the desktop file it came from
    QString exec;          // that file's Exec value, as written
};

// The program registered for mimeType: the first installed, not hidden desktop entry with an Exec
// line that the mimeapps.list files name as default (user's files first, desktop-specific lists
// before the general one in each folder), else one of the added associations, else one from the
// applications folders' mimeinfo.cache. An empty program when none is registered.
Command defaultApplication(const SearchPaths& paths, const QString& mimeType);

// Splits a desktop entry's Exec value into program and arguments (quoting and escapes of the
// Desktop Entry format). Each argument that is only a file or address field code (%u %U %f %F)
// becomes `address` when it is not empty and is dropped when it is; other field codes are dropped
// and "%%" becomes "%". When the line has no such field code, a non-empty address is appended as
// the last argument. The address always stays one whole argument, unchanged.
Command commandFromExec(const QString& exec, const QString& address);

} // namespace DesktopEntry
