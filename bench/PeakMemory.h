#pragma once

#include <QByteArray>
#include <QFile>

// Peak resident memory of this process (Linux VmHWM) in MiB, since start or since the peak was
// last reset through /proc/self/clear_refs; -1 where /proc is not available.
inline double peakRssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}
