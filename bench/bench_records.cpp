// Loading the record files into the tree, and saving the item list, at 10,000 and 100,000 items
// under 1,000 categories. Each measurement runs in a fresh process, as the program loads once
// at start: `bench_records` prepares the files and starts `bench_records <dir>` for each run.
#include "RecordData.h"

#include "app/FMain.h"
#include "support/Controls.h"
#include "util/Files.h"
#include "util/StringList.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One run in this process: load the files of dir into a window's tree, then save the items.
int measure(const QString& dir)
{
    TfrmMain window; // created over an empty folder: loads nothing
    UUtils::setAppDir(dir);
    QElapsedTimer timer;
    timer.start();
    window.LoadCategories();
    window.LoadItems();
    const double load = timer.nsecsElapsed() / 1e6;
    const QTreeWidget* tree = named<QTreeWidget>(window, "tvwMain");
    int nodes = tree->topLevelItemCount();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        nodes += tree->topLevelItem(i)->childCount();
    timer.restart();
    window.SaveItems();
    const double save = timer.nsecsElapsed() / 1e6;
    std::printf("%.3f %.3f %d\n", load, save, nodes);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir empty;
    UUtils::setAppDir(empty.path());
    if (argc == 2)
        return measure(QString::fromLocal8Bit(argv[1]));

    const StringList categories = BenchData::categories(1000);
    double load10k = 0;
    double load100k = 0;
    for (const int count : {10000, 100000}) {
        QTemporaryDir dir;
        UUtils::saveStringList(dir.filePath(QStringLiteral("categories.dat")), categories);
        UUtils::saveStringList(dir.filePath(QStringLiteral("items.dat")), BenchData::items(categories, count));

        QList<double> loads;
        QList<double> saves;
        for (int run = 0; run < 7; ++run) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {dir.path()});
            if (!child.waitForFinished(120000) || child.exitCode() != 0) {
                std::fprintf(stderr, "measurement failed: %s\n", child.readAllStandardError().constData());
                return 1;
            }
            const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
            if (figures.size() != 3 || figures[2].toInt() != 1000 + count) {
                std::fprintf(stderr, "unexpected tree\n");
                return 1;
            }
            loads.append(figures[0].toDouble());
            saves.append(figures[1].toDouble());
        }
        const double load = median(loads);
        (count == 10000 ? load10k : load100k) = load;
        std::printf("BENCH load_tree_%dk %.1f ms\n", count / 1000, load);
        if (count == 100000)
            std::printf("BENCH save_items_100k %.1f ms\n", median(saves));
        std::fflush(stdout);
    }
    std::printf("BENCH load_tree_scaling_10x %.2f x\n", load100k / load10k);
    return 0;
}
