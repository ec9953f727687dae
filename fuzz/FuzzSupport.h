#pragma once

// What every fuzz target shares: a check that stops the run with the broken property (libFuzzer
// then keeps the input as a crash), and the input as Qt byte strings.

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Fuzz {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, condition);
    std::abort();
}

// The input bytes, not copied.
inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A byte string of up to maxLength bytes taken from the provider.
inline QByteArray takeBytes(FuzzedDataProvider& input, size_t maxLength)
{
    const std::string s = input.ConsumeRandomLengthString(maxLength);
    return QByteArray(s.data(), qsizetype(s.size()));
}

inline QByteArray takeRest(FuzzedDataProvider& input)
{
    const std::string s = input.ConsumeRemainingBytesAsString();
    return QByteArray(s.data(), qsizetype(s.size()));
}

// A sealed file damaged one of four ways, chosen by kind: left whole (kind % 4 == 0), one byte
// changed by flip, cut short, or bytes of flip added at its end. where picks the place and sizes.
inline QByteArray damaged(QByteArray sealed, uint8_t kind, uint32_t where, uint8_t flip)
{
    switch (kind % 4) {
    case 0:
        break;
    case 1:
        sealed[where % sealed.size()] = char(sealed[where % sealed.size()] ^ flip);
        break;
    case 2:
        sealed.chop(1 + where % sealed.size());
        break;
    default:
        sealed.append(QByteArray(1 + where % 64, char(flip)));
        break;
    }
    return sealed;
}

// Pairs of bytes read as UTF-16 units, lone surrogates included.
inline QString utf16(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(quint8(bytes[i]) | quint8(bytes[i + 1]) << 8)));
    return text;
}

// A folder for the targets that go through files, removed at exit. In memory where the system has
// such a place: every atomic save syncs its file to disk, which would otherwise set the pace.
inline QString scratchDir()
{
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/quillet-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/quillet-fuzz-XXXXXX"));
    return dir.path();
}

} // namespace Fuzz

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::Fuzz::fail(#condition, __FILE__, __LINE__);                                                              \
    } while (false)
