#pragma once

#include "util/DesktopEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// Starts programs and opens addresses outside the program: the user's default web browser for the
// banner, "Make Money" and Help, and the desktop's handler for a sponsor link.
//
// The default browser is found the freedesktop way (util/DesktopEntry.h) in the XDG folders that
// the environment names: the desktop file that the mimeapps.list files name for
// x-scheme-handler/http, falling back to the applications' mimeinfo.cache; the program and
// arguments come from that desktop file's Exec line.
//
// Why not GIO (g_app_info_get_default_for_uri_scheme + g_app_info_launch_uris), which the desktops
// themselves use: it does put the address unchanged into one argument for %u, but a browser whose
// Exec line has no %u or %U (the Desktop Entry format allows that) gets the address through
// the %f rule, as a local file path, and a web address has none: the browser starts without the
// address (checked with GLib 2.74). It would also be a second build dependency (libglib2.0-dev)
// for a lookup of a few files, and its launch path (D-Bus activation, gio-launch-desktop) is out
// of our hands. The reader here always hands the address over as one whole argument.
//
// Test seam (util/TestSeam.h), inert unless armed: tests switch on recording; nothing is started
// then, and every request is kept in started(). TestSeams::reset() switches it off again.
class ShellLauncher
{
public:
    using Command = DesktopEntry::Command;

    // The XDG folders from XDG_CONFIG_HOME, XDG_CONFIG_DIRS, XDG_DATA_HOME, XDG_DATA_DIRS (or their
    // defaults; relative paths are ignored) and XDG_CURRENT_DESKTOP.
    static DesktopEntry::SearchPaths searchPaths();

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
};

// Starts the default web browser with address as its one parameter, unchanged, also when the address
// is empty (the browser then opens with no address). Returns false, and starts nothing, when no
// browser is registered, and when the address would be read as an option (it begins with '-',
// blanks before it not counted: see UUtils::readsAsOption).
bool OpenInDefaultBrowser(const QByteArray& address);

// A sponsor link click: the desktop opens the address with the program registered for it, when it
// is a web address (UUtils::sponsorLinkUrl); anything else is not opened. Returns whether the
// address was handed to the desktop.
bool OpenLinkAddress(const QByteArray& address);
