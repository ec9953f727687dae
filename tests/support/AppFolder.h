#pragma once

#include "util/Files.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

// The files of the folder the program is pointed at (UUtils::setAppDir), by bare name, for tests
// that lay out record files before a window opens and read what its saves wrote.
inline void writeFile(const QString& name, const QByteArray& data)
{
    QFile file(UUtils::appFile(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& name)
{
    QFile file(UUtils::appFile(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
