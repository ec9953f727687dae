// Importing a browser's CSV export of 10,000 and 100,000 rows into records of 1,000 categories
// and 10,000 items (read, map, write both record files), exporting 100,000 items to CSV, and the
// peak memory of the 100,000-row import. The peak is measured in a fresh process of its own:
// `bench_import` prepares the file and starts `bench_import <csv> <dir>` for it. Last, the whole
// command in the window: "Import..." with its progress, the tree's new nodes and the saves.
#include "PeakMemory.h"
#include "RecordData.h"

#include "app/FMain.h"
#include "dialogs/FImport.h"
#include "platform/FileDialog.h"
#include "records/RecordExport.h"
#include "records/RecordImport.h"
#include "util/Files.h"
#include "util/StringList.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A Chrome export: name,url,username,password,note; a third of the notes span two lines and hold
// commas and quotes, as real notes do.
QByteArray chromeCsv(int rows)
{
    QRandomGenerator random(3);
    QByteArray csv = "name,url,username,password,note\n";
    csv.reserve(rows * 110);
    for (int i = 0; i < rows; ++i) {
        const QByteArray host = "www." + BenchData::word(random, 5, 16) + ".com";
        csv += host + ",https://" + host + "/partners/login.php," + BenchData::word(random, 5, 12) + ',' +
               BenchData::word(random, 8, 16) + QByteArray::number(random.bounded(1000)) + ',';
        if (random.bounded(3) == 0)
            csv += '"' + BenchData::word(random, 10, 40) + ", \"\"net 30\"\"\n" + BenchData::word(random, 10, 40) + '"';
        csv += '\n';
    }
    return csv;
}

struct Existing
{
    StringList categories = BenchData::categories(1000);
    StringList items = BenchData::items(categories, 10000);
};

// Read and map the file, then write both record files as the window's save does.
qsizetype importInto(const QString& csvPath, const QString& dir, const Existing& records)
{
    QFile file(csvPath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const Records::ImportPlan plan = Records::planImport(file, records.categories, records.items);
    StringList categories = records.categories;
    StringList items = records.items;
    categories.append(plan.newCategories);
    items.append(plan.newItems);
    UUtils::saveStringList(dir + QStringLiteral("/categories.dat"), categories);
    UUtils::saveStringList(dir + QStringLiteral("/items.dat"), items);
    return plan.newItems.size();
}

// The child: one import of csvPath, then its peak memory.
int measurePeak(const QString& csvPath, const QString& dir)
{
    const Existing records;
    const double before = peakRssMiB();
    const qsizetype imported = importInto(csvPath, dir, records);
    std::printf("%.1f %.1f %lld\n", before, peakRssMiB(), static_cast<long long>(imported));
    return imported > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc == 3)
        return measurePeak(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));

    const Existing records;
    QTemporaryDir dir;
    for (const int rows : {10000, 100000}) {
        const QString csvPath = dir.filePath(QStringLiteral("chrome-%1.csv").arg(rows));
        UUtils::writeFileAtomically(csvPath, chromeCsv(rows));
        QList<double> times;
        for (int run = 0; run < 5; ++run) {
            QTemporaryDir out;
            QElapsedTimer timer;
            timer.start();
            const qsizetype imported = importInto(csvPath, out.path(), records);
            times.append(timer.nsecsElapsed() / 1e6);
            if (imported != rows) {
                std::fprintf(stderr, "imported %lld of %d rows\n", static_cast<long long>(imported), rows);
                return 1;
            }
        }
        std::printf("BENCH import_%dk_rows %.1f ms\n", rows / 1000, median(times));
    }

    {
        const StringList categories = BenchData::categories(1000);
        const StringList items = BenchData::items(categories, 100000);
        QList<double> times;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            const qsizetype exported =
                Records::exportItemsToFile(dir.filePath(QStringLiteral("export.csv")), categories, items);
            times.append(timer.nsecsElapsed() / 1e6);
            if (exported != items.size()) {
                std::fprintf(stderr, "exported %lld items\n", static_cast<long long>(exported));
                return 1;
            }
        }
        std::printf("BENCH export_100k_items %.1f ms\n", median(times));
    }

    QTemporaryDir out;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {dir.filePath(QStringLiteral("chrome-100000.csv")), out.path()});
    if (!child.waitForFinished(120000) || child.exitCode() != 0) {
        std::fprintf(stderr, "peak measurement failed\n");
        return 1;
    }
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 3) {
        std::fprintf(stderr, "unexpected output of the peak measurement\n");
        return 1;
    }
    std::printf("BENCH import_100k_rows_peak_rss %s MiB\n", figures[1].constData());
    std::printf("BENCH import_100k_rows_peak_rss_growth %.1f MiB\n", figures[1].toDouble() - figures[0].toDouble());

    // The window: records of 1,000 categories and 10,000 items, then 100,000 rows imported.
    QList<double> times;
    for (int run = 0; run < 3; ++run) {
        QTemporaryDir records;
        UUtils::setAppDir(records.path());
        UUtils::saveStringList(records.filePath(QStringLiteral("categories.dat")), BenchData::categories(1000));
        UUtils::saveStringList(records.filePath(QStringLiteral("items.dat")),
                               BenchData::items(BenchData::categories(1000), 10000));
        TfrmMain window;
        window.LoadCategories();
        window.LoadItems();
        window.show();
        QCoreApplication::processEvents();
        TFileDialog::queueAnswer(dir.filePath(QStringLiteral("chrome-100000.csv")));
        TfrmImport::queueAnswer(true);
        QElapsedTimer timer;
        timer.start();
        window.findChild<QAction*>(QStringLiteral("Import1"))->trigger();
        QCoreApplication::processEvents();
        times.append(timer.nsecsElapsed() / 1e6);
        if (window.itemList().size() != 110000) {
            std::fprintf(stderr, "the window imported %lld items\n",
                         static_cast<long long>(window.itemList().size() - 10000));
            return 1;
        }
    }
    std::printf("BENCH import_100k_rows_window %.1f ms\n", median(times));
    return 0;
}
