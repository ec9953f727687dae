#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// Files for the tests of the freedesktop lookup: XDG folders of a test's own, so the machine's
// own browser settings never count.
namespace DesktopFiles {

// Writes content to file, making its folders; false when the file cannot be written.
inline bool write(const QString& file, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

// A desktop entry whose program is exec, with an action that must never be taken for it.
inline QByteArray entry(const QByteArray& exec)
{
    return "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + exec + "\n\n[Desktop Action new]\nExec=wrong\n";
}

} // namespace DesktopFiles
