// Time from process start to the main window shown, for the program without any files; and the
// peak memory of a start with hostile files beside the program against a start without them.
#include "util/Sealing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Peak resident memory in MiB of one start of the program in its folder, up to its window shown;
// -1 when it does not start.
double peakRssOfStartMiB(const QString& program)
{
    const QByteArray path = QFile::encodeName(program);
    std::fflush(stdout); // the child must not write out what this process still buffers
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            _exit(127);
        execl(path.constData(), path.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss / 1024.0; // KiB on Linux
}

// A zlib stream of `total` bytes of `fill`, deflated piece by piece: megabytes on disk for a
// gigabyte inflated.
QByteArray deflatedRun(qint64 total, char fill)
{
    z_stream zs{};
    deflateInit(&zs, 9);
    QByteArray out;
    QByteArray chunk(1 << 20, fill);
    QByteArray buffer(1 << 20, '\0');
    qint64 done = 0;
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        QByteArray piece = chunk.left(qsizetype(std::min<qint64>(chunk.size(), total - done)));
        done += piece.size();
        flush = done >= total ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(piece.data());
        zs.avail_in = uInt(piece.size());
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buffer.data());
            zs.avail_out = uInt(buffer.size());
            deflate(&zs, flush);
            out.append(buffer.constData(), buffer.size() - qsizetype(zs.avail_out));
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return out;
}

QByteArray be32(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

QByteArray le32(quint32 v)
{
    const char bytes[] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(bytes, 4);
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return be32(quint32(data.size())) + body +
           be32(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
}

// main.ico with one entry: a PNG of 16384 x 16384 black pixels, 1 GiB decoded, with all its rows.
QByteArray hostileIcon()
{
    constexpr quint32 side = 16384;
    QByteArray header = be32(side) + be32(side) + QByteArray("\x08\x06\x00\x00\x00", 5);
    const qint64 row = 1 + qint64(side) * 4;
    // Each row is its filter byte (0) and zero pixels: a run of zeros.
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
                           pngChunk("IDAT", deflatedRun(row * side, '\0')) + pngChunk("IEND", {});
    return QByteArray("\0\0\1\0\1\0\0\0\0\0\1\0\x20\0", 14) + le32(quint32(png.size())) + le32(22) + png;
}

// mainskin.dat: a compressed skin that declares 100 bytes and inflates to 1 GiB of spaces.
QByteArray hostileSkin()
{
    return be32(100) + deflatedRun(qint64(1) << 30, ' ');
}

// An animated banner at the ceilings: frames of 2048 x 2048 (16 MiB each decoded), 16 of them.
QByteArray hostileBanner()
{
    auto le16 = [](quint16 v) {
        const char bytes[] = {char(v), char(v >> 8)};
        return QByteArray(bytes, 2);
    };
    QByteArray b = "GIF89a" + le16(2048) + le16(2048) + QByteArray("\x80\0\0\0\0\0\xFF\xFF\xFF", 9);
    for (int i = 0; i < 16; ++i)
        b += QByteArray("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8) + ',' + le16(0) + le16(0) + le16(1) + le16(1) +
             QByteArray("\0\x02\x02\x4C\x01\x00", 6);
    return b + ';';
}

// dbsettings.dat: an affiliate address that would grow to 4 GB, sponsor texts reading a local
// file as an image, and the hostile banner.
QByteArray hostileSettings()
{
    auto tag = [](const QByteArray& name, const QByteArray& value) {
        return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
    };
    QByteArray placeholders;
    while (placeholders.size() < 512 * 1024)
        placeholders += "%%AFFILIATEID%%";
    return tag("ApplicationName", "Hostile <img src=\"/dev/zero\">") + tag("AffiliateURL", placeholders) +
           tag("AffiliateID", QByteArray(64 * 1024, 'i')) + tag("Banner1", "banner.gif^http://b.example/") +
           tag("Link1", "Sponsor <img src=\"/dev/zero\">^http://l.example/");
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The median of the peak memory of five starts.
double medianPeak(const QString& program)
{
    QList<double> peaks;
    for (int run = 0; run < 5; ++run)
        peaks.append(peakRssOfStartMiB(program));
    std::sort(peaks.begin(), peaks.end());
    return peaks[peaks.size() / 2];
}

// Peak memory of a start without any file against one with the hostile files.
int benchHostileStart(const QString& program)
{
    QTemporaryDir plainDir, hostileDir;
    const QString plain = plainDir.filePath(QStringLiteral("quillet"));
    const QString hostile = hostileDir.filePath(QStringLiteral("quillet"));
    if (!QFile::copy(program, plain) || !QFile::copy(program, hostile))
        return 1;
    auto in = [&](const char* name) { return hostileDir.filePath(QLatin1String(name)); };
    if (!writeFile(in("plain.txt"), hostileSettings()) || !writeFile(in("banner1.dat"), hostileBanner()) ||
        !writeFile(in("mainskin.dat"), hostileSkin()) || !writeFile(in("main.ico"), hostileIcon()))
        return 1;
    UUtils::SealFile(in("plain.txt"), in("dbsettings.dat"));
    QFile::remove(in("plain.txt"));

    const double without = medianPeak(plain);
    const double with = medianPeak(hostile);
    if (without < 0 || with < 0) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    std::printf("BENCH startup_peak_rss_without_files %.1f MiB\n", without);
    std::printf("BENCH startup_peak_rss_hostile_files %.1f MiB\n", with);
    std::printf("BENCH startup_peak_rss_hostile_extra %.1f MiB\n", with - without);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // A copy of the program in an empty folder: no records, no settings file.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quillet");
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("quillet"));
    if (!QFile::copy(program, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(program));
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLET_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QList<double> times;
    for (int run = 0; run < 7; ++run) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        QElapsedTimer timer;
        timer.start();
        process.start(copy, {});
        if (!process.waitForStarted(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(copy));
            return 1;
        }
        while (!process.canReadLine() && process.state() == QProcess::Running)
            process.waitForReadyRead(10000);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (process.readLine().trimmed() != "shown") {
            std::fprintf(stderr, "the program did not report its window\n");
            return 1;
        }
        process.waitForFinished(10000);
        if (run > 0) // the first run warms the disk cache
            times.append(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("BENCH startup_to_window_shown %.1f ms\n", times[times.size() / 2]);

    qputenv("QUILLET_EXIT_WHEN_SHOWN", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchHostileStart(program);
}
