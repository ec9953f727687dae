// Protected records: the unlock at age's default work factor through the window (with the longest
// stall of its event loop meanwhile), the peak memory of the key derivation (in a process of its
// own), and saving 1,000 and 100,000 items protected against plain.
#include "PeakMemory.h"
#include "RecordData.h"
#include "StallMeter.h"

#include "app/FMain.h"
#include "crypto/AgeFile.h"
#include "records/RecordStore.h"
#include "support/Controls.h"
#include "util/Files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const QByteArray& name, double value, const char* unit)
{
    std::printf("BENCH %s %.2f %s\n", name.constData(), value, unit);
    std::fflush(stdout);
}

// In a fresh process: the key derivation alone, its peak resident memory above the baseline.
int keyDerivationMemory()
{
    const double before = peakRssMiB();
    QElapsedTimer clock;
    clock.start();
    const Age::Key key = Age::newKey("correct horse battery staple", Age::kDefaultWorkFactor);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    const double after = peakRssMiB();
    print("age_scrypt_wf18", elapsed, "ms");
    print("age_scrypt_peak_memory_wf18", after - before, "MiB");
    return key.isNull() ? 1 : 0;
}

void unlockThroughWindow(const QString& dir)
{
    const Age::Key key = Age::newKey("pass", Age::kDefaultWorkFactor);
    const StringList categories = BenchData::categories(100);
    Records::RecordStore store;
    store.protect(key);
    UUtils::setAppDir(dir);
    store.save(UUtils::appFile(Records::kCategoriesFile), categories, {});
    store.save(UUtils::appFile(Records::kItemsFile), BenchData::items(categories, 1000), {});

    {
        QFile file(UUtils::appFile(Records::kCategoriesFile));
        file.open(QIODevice::ReadOnly);
        const QByteArray head = file.read(64 * 1024);
        QElapsedTimer clock;
        clock.start();
        const Records::UnlockResult result = Records::unlockKeys({head, head}, "pass");
        print("age_unlock_wf18_core", clock.nsecsElapsed() / 1e6, "ms");
    }

    TfrmMain window;
    window.show();
    named<QTimer>(window, "Timer1")->stop();
    QCoreApplication::processEvents();
    if (!window.isLocked()) {
        std::fprintf(stderr, "the window did not open locked\n");
        return;
    }
    named<QLineEdit>(window, "edtUnlock")->setText(QStringLiteral("pass"));
    QElapsedTimer clock;
    clock.start();
    StallMeter stalls;
    named<QPushButton>(window, "btnUnlock")->click();
    while (window.isKeyWorkRunning() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double elapsed = clock.nsecsElapsed() / 1e6;
    print("age_unlock_wf18_window", elapsed, "ms");
    print("age_unlock_wf18_longest_stall", stalls.longestMs(), "ms");
    if (window.isLocked())
        std::fprintf(stderr, "the unlock failed\n");
}

void saves(const QString& dir)
{
    const StringList categories = BenchData::categories(1000);
    const Age::Key key = Age::newKey("pass", Age::kDefaultWorkFactor);
    for (int count : {1000, 100000}) {
        const StringList items = BenchData::items(categories, count);
        double plainMs = 0;
        double protectedMs = 0;
        for (bool protect : {false, true}) {
            Records::RecordStore store;
            const QString path = dir + (protect ? QStringLiteral("/protected.dat") : QStringLiteral("/plain.dat"));
            if (protect)
                store.protect(key);
            QList<double> runs;
            for (int i = 0; i < (count > 10000 ? 5 : 15); ++i) {
                QElapsedTimer clock;
                clock.start();
                store.save(path, items, {});
                runs.append(clock.nsecsElapsed() / 1e6);
            }
            (protect ? protectedMs : plainMs) = median(runs);
        }
        const QByteArray name = "save_" + QByteArray::number(count) + "_items";
        print(name + "_plain", plainMs, "ms");
        print(name + "_protected", protectedMs, "ms");
        print(name + "_protected_over_plain", protectedMs / plainMs, "x");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && qstrcmp(argv[1], "kdf") == 0)
        return keyDerivationMemory();

    QApplication app(argc, argv);
    QTemporaryDir dir;
    unlockThroughWindow(dir.path());
    saves(dir.path());

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("kdf")});
    child.waitForFinished(120000);
    return 0;
}
