// The encrypted container (DecryptStream) and the sealed settings file (UnsealFile): raw bytes as
// they arrive, and sealed documents damaged in the ways a copy can be damaged.

#include "FuzzSupport.h"

#include "crypto/AesLib.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include <QBuffer>
#include <QFile>

namespace {

constexpr int kHeaderAndCode = TCrypt::kVerifierLength + TCrypt::kCodeLength;

struct Opened
{
    bool ok;
    TEncryption::Error error;
    QByteArray plain;
};

Opened open(const QByteArray& passPhrase, int bufferSize, const QByteArray& container)
{
    QByteArray copy = container;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    QByteArray plain;
    QBuffer destination(&plain);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, bufferSize);
    const bool ok = encryption.DecryptStream(source, destination, copy.size());
    return {ok, encryption.lastError(), plain};
}

// What any container, however damaged, gives.
void checkOpened(const Opened& opened, const QByteArray& passPhrase, const QByteArray& container)
{
    const int mode = TCrypt::modeForPassPhraseLength(passPhrase.size());
    const qsizetype overhead = TCrypt::saltLength(mode) + kHeaderAndCode;
    if (passPhrase.size() > TCrypt::kMaxPassPhraseLength && container.size() >= overhead)
        FUZZ_CHECK(opened.error == TEncryption::Error::BadPassPhrase);
    FUZZ_CHECK(opened.ok == (opened.error == TEncryption::Error::None));
    // A failed pass phrase check writes nothing; otherwise the cipher text is all there is.
    if (opened.error == TEncryption::Error::PassPhrase || opened.error == TEncryption::Error::BadPassPhrase)
        FUZZ_CHECK(opened.plain.isEmpty());
    else
        FUZZ_CHECK(opened.plain.size() == container.size() - overhead);
    FUZZ_CHECK(opened.error != TEncryption::Error::Read && opened.error != TEncryption::Error::Write &&
               opened.error != TEncryption::Error::Truncated);
}

QByteArray seal(const QByteArray& passPhrase, int bufferSize, const QByteArray& plain)
{
    QByteArray copy = plain;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    QByteArray container;
    QBuffer destination(&container);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, bufferSize);
    FUZZ_CHECK(encryption.EncryptStream(source, destination));
    return container;
}

QString scratch(const char* name)
{
    return Fuzz::scratchDir() + '/' + QLatin1String(name);
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

// A sealed settings file as the program opens it.
void checkUnseal(const QByteArray& sealed)
{
    const QString source = scratch("dbsettings.dat");
    const QString destination = scratch("dbsettings.sim");
    write(source, sealed);
    bool ok = false;
    try {
        ok = UUtils::UnsealFile(source, destination);
    } catch (const AppError&) {
        FUZZ_CHECK(!"a sealed file that can be read raises no error");
    }
    const Opened opened = open(UUtils::kSealPassPhrase, UUtils::kSealBufferSize, sealed);
    FUZZ_CHECK(ok == (opened.error != TEncryption::Error::PassPhrase));
    FUZZ_CHECK(UUtils::readWholeFile(destination) == opened.plain);

    // The tool's way: only an intact document replaces what the destination held.
    write(destination, "old content");
    const UUtils::Unsealed verdict =
        UUtils::unsealFileChecked(source, destination, UUtils::kSealPassPhrase, UUtils::PlainCopy::IntactDocument);
    FUZZ_CHECK((verdict == UUtils::Unsealed::Intact) == opened.ok);
    FUZZ_CHECK((verdict == UUtils::Unsealed::Damaged) == (opened.error == TEncryption::Error::Authentication));
    FUZZ_CHECK(UUtils::readWholeFile(destination) == (opened.ok ? opened.plain : QByteArray("old content")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 3);
    const int bufferSize = input.ConsumeIntegralInRange(1, 300);

    if (kind == 0) {
        // Bytes as a copy delivers them, under the program's own pass phrase.
        const QByteArray container = Fuzz::takeRest(input);
        checkOpened(open(UUtils::kSealPassPhrase, bufferSize, container), UUtils::kSealPassPhrase, container);
        return 0;
    }
    if (kind == 1) {
        checkUnseal(Fuzz::takeRest(input));
        return 0;
    }

    // A sealed document, then damaged: a byte changed, the end cut off or bytes added.
    const QByteArray passPhrase = kind == 2 ? QByteArray(UUtils::kSealPassPhrase) : Fuzz::takeBytes(input, 140);
    const uint8_t damage = input.ConsumeIntegral<uint8_t>();
    const uint16_t where = input.ConsumeIntegral<uint16_t>();
    const uint8_t flip = input.ConsumeIntegralInRange<uint8_t>(1, 255);
    const QByteArray plain = Fuzz::takeRest(input);
    if (passPhrase.size() > TCrypt::kMaxPassPhraseLength) {
        QBuffer source;
        source.setData(plain);
        source.open(QIODevice::ReadOnly);
        QBuffer destination;
        destination.open(QIODevice::WriteOnly);
        TEncryption encryption(passPhrase, bufferSize);
        FUZZ_CHECK(!encryption.EncryptStream(source, destination));
        FUZZ_CHECK(encryption.lastError() == TEncryption::Error::BadPassPhrase && destination.data().isEmpty());
        return 0;
    }
    const QByteArray sealed = seal(passPhrase, bufferSize, plain);
    const int salt = TCrypt::saltLength(TCrypt::modeForPassPhraseLength(passPhrase.size()));
    FUZZ_CHECK(sealed.size() == plain.size() + salt + kHeaderAndCode);

    const QByteArray damaged = Fuzz::damaged(sealed, damage, where, flip);
    const Opened opened = open(passPhrase, 1 + (bufferSize * 7) % 300, damaged);
    checkOpened(opened, passPhrase, damaged);
    if (damage % 4 == 0)
        FUZZ_CHECK(opened.ok && opened.plain == plain);
    else
        FUZZ_CHECK(!opened.ok);
    // A changed byte of the cipher text changes that byte only, and the code tells.
    if (damage % 4 == 1) {
        const qsizetype at = where % damaged.size() - salt - TCrypt::kVerifierLength;
        if (at >= 0 && at < plain.size()) {
            QByteArray expected = plain;
            expected[at] = char(expected[at] ^ flip);
            FUZZ_CHECK(opened.error == TEncryption::Error::Authentication && opened.plain == expected);
        }
    }
    if (kind == 2)
        checkUnseal(damaged);
    return 0;
}
