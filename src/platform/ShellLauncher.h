#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Starts programs and opens addresses outside the program: the user's default web browser for the
// banner, "Make Money" and Help, and the desktop's handler for a sponsor link.
//
// The default browser is found the freedesktop way: the desktop file that the mimeapps.list files
// (XDG_CONFIG_HOME, XDG_CONFIG_DIRS, then the applications folders of XDG_DATA_HOME and
// XDG_DATA_DIRS) name for x-scheme-handler/http, falling back to the applications' mimeinfo.cache;
// the program and arguments come from that desktop file's Exec line.
//
// Test seam (util/TestSeam.h), inert unless armed: tests switch on recording; nothing is started
// then, and every request is kept in started(). TestSeams::reset() switches it off again.
class ShellLauncher
{
public:
    struct Command
    {
        QString program;
        QStringList arguments; // the Exec line's own arguments, field codes removed
        QString desktopFile;   // full path of the desktop file it came from
        QString exec;          // that file's Exec value, as written
    };

    // The registered default browser; an empty program when none is registered.
    static Command defaultBrowser();

    // Starts program with arguments, without waiting for it. Returns false when it could not be
    // started (while recording: true).
    static bool startDetached(const QString& program, const QStringList& arguments);

    // Hands an address to whatever the desktop has registered for it. The outcome is not reported.
    static void openUrl(const QString& address);

    // Test seam.
    struct Started
    {
        enum class Kind
        {
            Program,
            Url
        } kind;
        QString program; // the program, or the address for Kind::Url
        QStringList arguments;
    };
    static void setRecording(bool on);
    static void clearTestState(); // forgets what was recorded (recording stays as it is)
    static const QList<Started>& started();

    // Splits a desktop file's Exec value into program and arguments (quoting and escapes of the
    // Desktop Entry format). Each argument that is only a file or address field code (%u %U %f %F)
    // becomes `address` when it is not empty and is dropped when it is; other field codes are
    // dropped and "%%" becomes "%". When the line has no such field code, a non-empty address is
    // appended as the last argument. The address always stays one whole argument.
    static Command commandFromExec(const QString& exec, const QString& address);
};

// Starts the default web browser with address as its one parameter, unchanged, also when the address
// is empty (the browser then opens with no address). Returns false, and starts nothing, when no
// browser is registered.
bool OpenInDefaultBrowser(const QByteArray& address);

// A sponsor link click: the desktop opens the address with the program registered for it.
void OpenLinkAddress(const QByteArray& address);
