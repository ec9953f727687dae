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

#include "util/Sealing.h"

// Containers sealed and opened in memory, by default under the program's own pass phrase.
using UUtils::sealBytes;
using UUtils::unsealBytes;
