// quillet-brand: seals, unseals and checks the branding settings file dbsettings.dat for
// publishers, outside the program. Exit status: 0 success, 1 a container that fails its pass
// phrase check or its authentication code, 2 usage or file errors.
#include "branding/Limits.h"
#include "branding/SettingsLint.h"
#include "crypto/AesLib.h"
#include "util/Sealing.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

#include <cstdio>

namespace {

enum ExitCode
{
    Success = 0,
    ContainerFailed = 1,
    UsageOrFileError = 2
};

const char kHelp[] =
    "Usage:\n"
    "  quillet-brand seal PLAIN SEALED [--passphrase TEXT]\n"
    "  quillet-brand unseal SEALED PLAIN [--passphrase TEXT]\n"
    "  quillet-brand lint FILE [--passphrase TEXT]\n"
    "  quillet-brand --help\n"
    "\n"
    "seal     seals the plain settings document PLAIN into SEALED (dbsettings.dat). SEALED is replaced\n"
    "         only when the new file is complete.\n"
    "unseal   writes the plain document of SEALED to PLAIN, only when the pass phrase and the\n"
    "         authentication code are right.\n"
    "lint     reads FILE (sealed or plain) as the program reads it and prints one warning per line\n"
    "         about what would silently go wrong: tags out of the reading order, gaps in the numbered\n"
    "         Welcome/Banner/Link tags, Banner/Link values without \"^\" and address, unclosed or\n"
    "         unknown tags, the BranderType level, a hidden News button, the LastNewsId line,\n"
    "         addresses the program will not hand over (beginning with \"-\", sponsor links that are\n"
    "         no web address, an AffiliateURL too long), and the skin, banner pictures and icon beside\n"
    "         FILE that are over the program's limits. A sealed file whose authentication code fails\n"
    "         is reported (exit status 1) and then linted as the program reads it all the same.\n"
    "\n"
    "--passphrase TEXT  another pass phrase instead of the program's own; its length chooses the key\n"
    "                   size: up to 31 bytes AES-128, 32 to 47 AES-192, 48 to 128 AES-256.\n"
    "\n"
    "Exit status: 0 success; 1 the sealed file fails its pass phrase check or its authentication\n"
    "code; 2 usage or file errors.\n";

void print(FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fputc('\n', stream);
}

int fail(int code, const QByteArray& message)
{
    print(stderr, "quillet-brand: " + message);
    return code;
}

int usage(const QByteArray& message)
{
    print(stderr, "quillet-brand: " + message);
    print(stderr, "Try 'quillet-brand --help'.");
    return UsageOrFileError;
}

QByteArray cipherName(int mode)
{
    return "AES-" + QByteArray::number(64 * mode + 64);
}

QByteArray reason(const QFileDevice& file)
{
    return file.errorString().toLocal8Bit();
}

int seal(const QByteArray& plainPath, const QByteArray& sealedPath, const QByteArray& passPhrase)
{
    QFile in(QFile::decodeName(plainPath));
    if (!in.open(QIODevice::ReadOnly))
        return fail(UsageOrFileError, "cannot open " + plainPath + ": " + reason(in));
    QSaveFile out(QFile::decodeName(sealedPath));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(UsageOrFileError, "cannot create " + sealedPath + ": " + reason(out));
    TEncryption encryption(passPhrase, UUtils::kSealBufferSize);
    if (!encryption.EncryptStream(in, out)) {
        const bool readFailed = encryption.lastError() == TEncryption::Error::Read;
        const QByteArray why = readFailed ? "cannot read " + plainPath + ": " + reason(in)
                                          : "cannot write " + sealedPath + ": " + reason(out);
        out.cancelWriting();
        return fail(UsageOrFileError, why);
    }
    if (!out.commit())
        return fail(UsageOrFileError, "cannot write " + sealedPath + ": " + reason(out));
    print(stdout, "sealed " + plainPath + " into " + sealedPath + " (" + cipherName(encryption.mode()) + ", " +
                      QByteArray::number(in.size()) + " bytes)");
    return Success;
}

QByteArray containerFailure(TEncryption::Error error, const QByteArray& path)
{
    switch (error) {
    case TEncryption::Error::PassPhrase:
        return path + " fails the pass phrase check: it is not sealed, sealed under another pass phrase, or too short";
    case TEncryption::Error::Authentication:
        return path + " fails its authentication code: it is damaged or altered";
    case TEncryption::Error::Truncated:
        return path + " is truncated";
    default:
        return QByteArray();
    }
}

int unseal(const QByteArray& sealedPath, const QByteArray& plainPath, const QByteArray& passPhrase)
{
    QFile in(QFile::decodeName(sealedPath));
    if (!in.open(QIODevice::ReadOnly))
        return fail(UsageOrFileError, "cannot open " + sealedPath + ": " + reason(in));
    QSaveFile out(QFile::decodeName(plainPath));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(UsageOrFileError, "cannot create " + plainPath + ": " + reason(out));
    TEncryption encryption(passPhrase, UUtils::kSealBufferSize);
    if (!encryption.DecryptStream(in, out, in.size())) {
        // The plain bytes went to a temporary file: dropped unless the code was right.
        out.cancelWriting();
        const TEncryption::Error error = encryption.lastError();
        if (error == TEncryption::Error::Read)
            return fail(UsageOrFileError, "cannot read " + sealedPath + ": " + reason(in));
        if (error == TEncryption::Error::Write)
            return fail(UsageOrFileError, "cannot write " + plainPath + ": " + reason(out));
        return fail(ContainerFailed, containerFailure(error, sealedPath) + "; " + plainPath + " not written");
    }
    if (!out.commit())
        return fail(UsageOrFileError, "cannot write " + plainPath + ": " + reason(out));
    print(stdout, "unsealed " + sealedPath + " into " + plainPath + " (" + cipherName(encryption.mode()) + ", " +
                      QByteArray::number(in.size() - TCrypt::saltLength(encryption.mode()) - 12) + " bytes)");
    return Success;
}

// The header of a picture as the program's image loading sees it.
std::optional<PictureInfo> probePicture(const QString& path)
{
    QImageReader reader(path);
    QSize size = reader.size();
    if (!size.isValid()) {
        // A format that does not tell its size before decoding: decode it within the limit.
        reader.setAllocationLimit(Limits::kImageAllocationMiB);
        size = reader.read().size();
        if (!size.isValid())
            return std::nullopt;
    }
    return PictureInfo{size.width(), size.height(), qMax(1, reader.imageCount())};
}

int lint(const QByteArray& path, const QByteArray& passPhrase)
{
    QFile in(QFile::decodeName(path));
    if (!in.open(QIODevice::ReadOnly))
        return fail(UsageOrFileError, "cannot open " + path + ": " + reason(in));
    const QByteArray raw = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return fail(UsageOrFileError, "cannot read " + path + ": " + reason(in));

    QByteArray sealedBytes = raw;
    QBuffer source(&sealedBytes);
    source.open(QIODevice::ReadOnly);
    QByteArray plain;
    QBuffer destination(&plain);
    destination.open(QIODevice::WriteOnly);
    TEncryption encryption(passPhrase, UUtils::kSealBufferSize);
    QByteArray document;
    int status = Success;
    if (encryption.DecryptStream(source, destination, sealedBytes.size())) {
        document = plain;
        print(stdout, path + ": sealed (" + cipherName(encryption.mode()) + "), " +
                          QByteArray::number(document.size()) + " bytes of document");
    } else if (encryption.lastError() == TEncryption::Error::Authentication) {
        // The program does not check the code: it reads the deciphered bytes, damaged or not.
        document = plain;
        status = ContainerFailed;
        print(stderr, "quillet-brand: " + containerFailure(encryption.lastError(), path) +
                          "; the program reads it all the same, as linted below");
        print(stdout, path + ": sealed (" + cipherName(encryption.mode()) + "), authentication code wrong, " +
                          QByteArray::number(document.size()) + " bytes of document as the program reads them");
    } else if (raw.contains("<%%")) {
        // Not a container that opens, but it holds markers: a plain document (before sealing).
        document = raw;
        print(stdout, path + ": plain document (not sealed), " + QByteArray::number(raw.size()) + " bytes");
    } else {
        return fail(ContainerFailed, containerFailure(encryption.lastError(), path) + ", and it holds no tags");
    }
    StringList warnings = LintSettingsDocument(document);
    warnings += LintDeliveredFiles(QFileInfo(in).absolutePath(), document, probePicture);
    for (const QByteArray& warning : warnings)
        print(stdout, path + ": warning: " + warning);
    print(stdout,
          path + ": " + QByteArray::number(warnings.size()) + (warnings.size() == 1 ? " warning" : " warnings"));
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QList<QByteArray> positional;
    QByteArray passPhrase(UUtils::kSealPassPhrase);
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return Success;
        }
        if (arg == "--passphrase") {
            if (++i == argc)
                return usage("--passphrase needs a value");
            passPhrase = QByteArray(argv[i]);
        } else if (arg.startsWith("--passphrase=")) {
            passPhrase = arg.mid(13);
        } else if (arg.startsWith("-") && arg != "-") {
            return usage("unknown option " + arg);
        } else {
            positional.append(arg);
        }
    }
    if (passPhrase.size() > TCrypt::kMaxPassPhraseLength)
        return usage("the pass phrase is longer than 128 bytes");
    if (positional.isEmpty())
        return usage("no command given");
    const QByteArray command = positional.takeFirst();
    if (command == "seal" || command == "unseal") {
        if (positional.size() != 2)
            return usage(command + " needs two files");
        if (QFile::decodeName(positional[0]) == QFile::decodeName(positional[1]))
            return usage(command + " needs two different files");
        return command == "seal" ? seal(positional[0], positional[1], passPhrase)
                                 : unseal(positional[0], positional[1], passPhrase);
    }
    if (command == "lint") {
        if (positional.size() != 1)
            return usage("lint needs one file");
        return lint(positional[0], passPhrase);
    }
    return usage("unknown command " + command);
}
