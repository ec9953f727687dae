// quillet-brand: seals, unseals and checks the branding settings file dbsettings.dat for
// publishers, outside the program. Exit status: 0 success, 1 a container that fails its pass
// phrase check or its authentication code, 2 usage or file errors.
#include "branding/Limits.h"
#include "branding/SettingsLint.h"
#include "crypto/AesLib.h"
#include "util/AppError.h"
#include "util/Sealing.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

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

QByteArray cipherName(const QByteArray& passPhrase)
{
    return "AES-" + QByteArray::number(64 * TCrypt::modeForPassPhraseLength(passPhrase.size()) + 64);
}

QByteArray reason(const QFileDevice& file)
{
    return file.errorString().toLocal8Bit();
}

// The size of a file, for the summary line (the file was just read or written).
QByteArray fileSize(const QByteArray& path)
{
    return QByteArray::number(QFileInfo(QFile::decodeName(path)).size());
}

// Runs a file operation of the program; its error (a file that cannot be opened, created, read or
// written) is a file error of the tool.
template <typename Operation> int runFileOperation(Operation operation)
{
    try {
        return operation();
    } catch (const AppError& e) {
        return fail(UsageOrFileError, e.message().toLocal8Bit());
    }
}

int seal(const QByteArray& plainPath, const QByteArray& sealedPath, const QByteArray& passPhrase)
{
    return runFileOperation([&] {
        UUtils::SealFile(QFile::decodeName(plainPath), QFile::decodeName(sealedPath), passPhrase);
        print(stdout, "sealed " + plainPath + " into " + sealedPath + " (" + cipherName(passPhrase) + ", " +
                          fileSize(plainPath) + " bytes)");
        return int(Success);
    });
}

QByteArray containerFailure(UUtils::Unsealed verdict, const QByteArray& path)
{
    switch (verdict) {
    case UUtils::Unsealed::WrongPassPhrase:
        return path + " fails the pass phrase check: it is not sealed, sealed under another pass phrase, or too short";
    case UUtils::Unsealed::Damaged:
        return path + " fails its authentication code: it is damaged, altered or cut short";
    case UUtils::Unsealed::Intact:
        break;
    }
    return QByteArray();
}

int unseal(const QByteArray& sealedPath, const QByteArray& plainPath, const QByteArray& passPhrase)
{
    return runFileOperation([&] {
        // Only an intact document is written: plain bytes that fail a check are dropped.
        const UUtils::Unsealed verdict = UUtils::unsealFileChecked(
            QFile::decodeName(sealedPath), QFile::decodeName(plainPath), passPhrase, UUtils::PlainCopy::IntactDocument);
        if (verdict != UUtils::Unsealed::Intact)
            return fail(ContainerFailed, containerFailure(verdict, sealedPath) + "; " + plainPath + " not written");
        print(stdout, "unsealed " + sealedPath + " into " + plainPath + " (" + cipherName(passPhrase) + ", " +
                          fileSize(plainPath) + " bytes)");
        return int(Success);
    });
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

    UUtils::Unsealed verdict = UUtils::Unsealed::WrongPassPhrase;
    const QByteArray plain = UUtils::unsealBytes(raw, passPhrase, &verdict);
    QByteArray document;
    int status = Success;
    if (verdict == UUtils::Unsealed::Intact) {
        document = plain;
        print(stdout, path + ": sealed (" + cipherName(passPhrase) + "), " + QByteArray::number(document.size()) +
                          " bytes of document");
    } else if (verdict == UUtils::Unsealed::Damaged) {
        // The program does not check the code: it reads the deciphered bytes, damaged or not.
        document = plain;
        status = ContainerFailed;
        print(stderr, "quillet-brand: " + containerFailure(verdict, path) +
                          "; the program reads it all the same, as linted below");
        print(stdout, path + ": sealed (" + cipherName(passPhrase) + "), authentication code wrong, " +
                          QByteArray::number(document.size()) + " bytes of document as the program reads them");
    } else if (raw.contains("<%%")) {
        // Not a container that opens, but it holds markers: a plain document (before sealing).
        document = raw;
        print(stdout, path + ": plain document (not sealed), " + QByteArray::number(raw.size()) + " bytes");
    } else {
        return fail(ContainerFailed, containerFailure(verdict, path) + ", and it holds no tags");
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
