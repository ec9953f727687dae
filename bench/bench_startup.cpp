// Time from process start to the main window shown, for the program without any files and with
// 100,000 items; the peak memory of a start with hostile files beside the program against a start
// without them; and under Xvfb, against KeePassXC: the time to the first window and the resident
// memory 3.5 s after the start (also with a first page shown, which starts the web engine).
#include "RecordData.h"

#include "util/Files.h"
#include "util/Sealing.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#ifdef QUILLET_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <poll.h>
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

// A copy of the program in dir, with the plugins that live beside it; its path, empty on failure.
QString copyProgram(const QString& program, const QTemporaryDir& dir)
{
    const QString copy = dir.filePath(QStringLiteral("quillet"));
    if (!QFile::copy(program, copy))
        return {};
    const QDir from = QFileInfo(program).absoluteDir();
    for (const QString& name : from.entryList({QStringLiteral("*.so")}, QDir::Files))
        QFile::copy(from.filePath(name), dir.filePath(name));
    return copy;
}

// 100,000 items under 1,000 categories in dir.
void writeManyRecords(const QString& dir)
{
    const StringList categories = BenchData::categories(1000);
    UUtils::saveStringList(dir + QStringLiteral("/categories.dat"), categories);
    UUtils::saveStringList(dir + QStringLiteral("/items.dat"), BenchData::items(categories, 100000));
}

// The median time from the start of the program copy in dir to its report of the window shown
// (offscreen); -1 when it does not report it.
double medianShownMs(const QString& copy, const QString& dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLET_EXIT_WHEN_SHOWN"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QList<double> times;
    for (int run = 0; run < 7; ++run) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir);
        QElapsedTimer timer;
        timer.start();
        process.start(copy, {});
        if (!process.waitForStarted(10000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(copy));
            return -1;
        }
        while (!process.canReadLine() && process.state() == QProcess::Running)
            process.waitForReadyRead(10000);
        const double ms = timer.nsecsElapsed() / 1e6;
        if (process.readLine().trimmed() != "shown") {
            std::fprintf(stderr, "the program did not report its window\n");
            return -1;
        }
        process.waitForFinished(10000);
        if (run > 0) // the first run warms the disk cache
            times.append(ms);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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
    const QString plain = copyProgram(program, plainDir);
    const QString hostile = copyProgram(program, hostileDir);
    if (plain.isEmpty() || hostile.isEmpty())
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

// ---- Under Xvfb, against KeePassXC -------------------------------------------------------------

// Each program is started in turn on a private X server, in a fresh home (nothing remembered, no
// database to open), and timed from its start to the first window the X server maps; its resident
// memory is read 3.5 s after the start (/proc/PID/status), then it is ended.
#ifdef QUILLET_HAVE_XCB

// A private X server, on the first free display it finds.
class PrivateXServer
{
public:
    bool start()
    {
        m_server.setProgram(QStringLiteral("Xvfb"));
        m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                               QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                               QStringLiteral("0"), QStringLiteral("1280x1024x24")});
        m_server.start();
        if (!m_server.waitForStarted(5000))
            return false;
        while (!m_server.canReadLine() && m_server.state() == QProcess::Running)
            m_server.waitForReadyRead(5000);
        const QByteArray number = m_server.readLine().trimmed();
        if (number.isEmpty())
            return false;
        m_display = ":" + number;
        // The server names its display before it takes connections.
        for (int tries = 0; tries < 100; ++tries) {
            xcb_connection_t* probe = xcb_connect(m_display.constData(), nullptr);
            const bool ok = !xcb_connection_has_error(probe);
            xcb_disconnect(probe);
            if (ok)
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~PrivateXServer()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    QByteArray display() const { return m_display; }

private:
    QProcess m_server;
    QByteArray m_display;
};

// Waits for the next top-level window mapped on the display; watches from its construction.
class MapWatcher
{
public:
    explicit MapWatcher(const QByteArray& display)
    {
        m_connection = xcb_connect(display.constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        m_ok = true;
    }
    ~MapWatcher() { xcb_disconnect(m_connection); }
    bool ok() const { return m_ok; }

    // True once a window is mapped, false after timeoutMs.
    bool waitForMap(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
                std::free(event);
                if (mapped)
                    return true;
            }
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&fd, 1, 5);
        }
        return false;
    }

private:
    xcb_connection_t* m_connection = nullptr;
    bool m_ok = false;
};

// Resident memory in MiB of a process (and, with descendants, of every process below it).
double rssMiB(qint64 pid, bool descendants)
{
    auto own = [](qint64 p) {
        QFile status(QStringLiteral("/proc/%1/status").arg(p));
        if (!status.open(QIODevice::ReadOnly))
            return 0.0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0; // kB
        }
        return 0.0;
    };
    double total = own(pid);
    if (!descendants)
        return total;
    QList<qint64> parents{pid};
    while (!parents.isEmpty()) {
        const qint64 parent = parents.takeFirst();
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& entry : entries) {
            bool number = false;
            const qint64 p = entry.toLongLong(&number);
            if (!number)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(p));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            // pid (comm) state ppid ...: the name may hold blanks and parentheses.
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.value(1).toLongLong() == parent) {
                total += own(p);
                parents.append(p);
            }
        }
    }
    return total;
}

struct StartFigures
{
    double toMapMs = -1;
    double rssMiB = -1;
    double rssAllMiB = -1;
};

// Medians of several starts of program in dir (the first start only warms the disk cache).
// idleMs 0: ended as soon as its window is mapped, without a memory figure.
StartFigures measureStarts(const QString& program, const QString& dir, const QProcessEnvironment& env,
                           const QByteArray& display, int idleMs)
{
    constexpr int kRuns = 5;
    QList<double> times, rss, rssAll;
    for (int run = 0; run < kRuns + 1; ++run) {
        MapWatcher watcher(display);
        if (!watcher.ok()) {
            std::fprintf(stderr, "cannot watch the X server %s\n", display.constData());
            return {};
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(program, {});
        if (!process.waitForStarted(10000) || !watcher.waitForMap(20000)) {
            std::fprintf(stderr, "%s did not show a window\n", qPrintable(program));
            return {};
        }
        const double ms = clock.nsecsElapsed() / 1e6;
        if (idleMs > 0) {
            while (clock.elapsed() < idleMs)
                QThread::msleep(20);
            if (run > 0) {
                rss.append(rssMiB(process.processId(), false));
                rssAll.append(rssMiB(process.processId(), true));
            }
        }
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (run > 0)
            times.append(ms);
    }
    auto median = [](QList<double> values) {
        if (values.isEmpty())
            return -1.0;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {median(times), median(rss), median(rssAll)};
}

// A folder with a fresh home for one program: nothing of an earlier run is found.
QProcessEnvironment freshEnvironment(const QString& home, const QByteArray& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
        env.remove(QLatin1String(name));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("QUILLET_EXIT_WHEN_SHOWN"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QDir().mkpath(home + QStringLiteral("/run"));
    QFile::setPermissions(home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.info=false"));
    if (geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    return env;
}

int benchAgainstKeePassXC(const QString& program)
{
    PrivateXServer server;
    if (!server.start()) {
        std::fprintf(stderr, "bench_startup: no Xvfb, no comparison with KeePassXC\n");
        return 0;
    }
    const QByteArray display = server.display();
    QTemporaryDir home, emptyDir, bigDir, pageDir;
    const QProcessEnvironment env = freshEnvironment(home.path(), display);
    const QString empty = copyProgram(program, emptyDir);
    const QString big = copyProgram(program, bigDir);
    const QString page = copyProgram(program, pageDir);
    writeManyRecords(bigDir.path());
    // A copy whose settings file has a welcome page: it opens on that page.
    const QByteArray settings = "<%%ApplicationName%%>Bench<%%/ApplicationName%%>\r\n"
                                "<%%Welcome1%%><html><body><h1>Welcome</h1><p>A first page.</p></body></html>"
                                "<%%/Welcome1%%>\r\n";
    writeFile(pageDir.filePath(QStringLiteral("plain.txt")), settings);
    UUtils::SealFile(pageDir.filePath(QStringLiteral("plain.txt")), pageDir.filePath(QStringLiteral("dbsettings.dat")));
    QFile::remove(pageDir.filePath(QStringLiteral("plain.txt")));

    constexpr int kIdleMs = 3500;
    const StartFigures quilletEmpty = measureStarts(empty, emptyDir.path(), env, display, kIdleMs);
    const StartFigures quilletBig = measureStarts(big, bigDir.path(), env, display, 0);
    const StartFigures quilletPage = measureStarts(page, pageDir.path(), env, display, kIdleMs);
    std::printf("BENCH startup_xvfb_to_window_mapped_empty %.1f ms\n", quilletEmpty.toMapMs);
    std::printf("BENCH startup_xvfb_to_window_mapped_100k_items %.1f ms\n", quilletBig.toMapMs);
    std::printf("BENCH startup_idle_rss_empty %.1f MiB\n", quilletEmpty.rssMiB);
    std::printf("BENCH startup_idle_rss_first_page %.1f MiB\n", quilletPage.rssMiB);
    std::printf("BENCH startup_idle_rss_first_page_with_renderers %.1f MiB\n", quilletPage.rssAllMiB);

    const QString keepassxc = QStandardPaths::findExecutable(QStringLiteral("keepassxc"));
    if (keepassxc.isEmpty()) {
        std::fprintf(stderr, "bench_startup: no keepassxc, no comparison\n");
        return 0;
    }
    QTemporaryDir keepassxcHome;
    const StartFigures other = measureStarts(keepassxc, keepassxcHome.path(),
                                             freshEnvironment(keepassxcHome.path(), display), display, kIdleMs);
    std::printf("BENCH keepassxc_xvfb_to_window_mapped %.1f ms\n", other.toMapMs);
    std::printf("BENCH keepassxc_idle_rss %.1f MiB\n", other.rssMiB);
    if (other.toMapMs > 0 && other.rssMiB > 0) {
        std::printf("BENCH startup_time_ratio_vs_keepassxc %.2f ratio\n", quilletEmpty.toMapMs / other.toMapMs);
        std::printf("BENCH startup_rss_ratio_vs_keepassxc %.2f ratio\n", quilletEmpty.rssMiB / other.rssMiB);
    }
    return 0;
}

#else

int benchAgainstKeePassXC(const QString&)
{
    std::fprintf(stderr, "bench_startup: built without xcb, no comparison with KeePassXC\n");
    return 0;
}

#endif

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Copies of the program in empty folders: no settings file, no records or 100,000 items.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/quillet");
    QTemporaryDir dir, bigDir;
    const QString copy = copyProgram(program, dir);
    const QString bigCopy = copyProgram(program, bigDir);
    if (copy.isEmpty() || bigCopy.isEmpty()) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(program));
        return 1;
    }
    writeManyRecords(bigDir.path());
    const double shown = medianShownMs(copy, dir.path());
    const double bigShown = medianShownMs(bigCopy, bigDir.path());
    if (shown < 0 || bigShown < 0)
        return 1;
    std::printf("BENCH startup_to_window_shown %.1f ms\n", shown);
    std::printf("BENCH startup_to_window_shown_100k_items %.1f ms\n", bigShown);
    std::fflush(stdout);

    if (benchAgainstKeePassXC(program) != 0)
        return 1;
    std::fflush(stdout);

    qputenv("QUILLET_EXIT_WHEN_SHOWN", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return benchHostileStart(program);
}
