#pragma once

#include <QByteArray>
#include <QRandomGenerator>

// n bytes of every value, the same for the same seed.
inline QByteArray randomBytes(qsizetype n, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray data(n, Qt::Uninitialized);
    for (char& c : data)
        c = char(generator.bounded(256));
    return data;
}
