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

#include "crypto/AesLib.h"
#include "util/Sealing.h"

#include <QBuffer>

// A container sealed in memory, by default under the program's own pass phrase.
inline QByteArray sealBytes(const QByteArray& plain, const QByteArray& passPhrase = UUtils::kSealPassPhrase)
{
    QByteArray in = plain;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer destination(&out);
    destination.open(QIODevice::WriteOnly);
    TEncryption(passPhrase, UUtils::kSealBufferSize).EncryptStream(source, destination);
    return out;
}

// The plain bytes of a container opened in memory under the program's pass phrase.
inline QByteArray unsealBytes(const QByteArray& sealed)
{
    QByteArray in = sealed;
    QBuffer source(&in);
    source.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer destination(&out);
    destination.open(QIODevice::WriteOnly);
    TEncryption(UUtils::kSealPassPhrase, UUtils::kSealBufferSize).DecryptStream(source, destination, in.size());
    return out;
}
