// Renders the real main window offscreen with the sample records of examples/sample-records and
// saves it as a PNG: quillet-screenshot <output.png>
#include "app/Application.h"
#include "app/FMain.h"
#include "records/RecordFiles.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillet-screenshot <output.png>\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    argc = 1;
    Application app(argc, argv);

    QTemporaryDir dir;
    const QString samples = QStringLiteral(QUILLET_SOURCE_DIR "/examples/sample-records/");
    for (const QString& name : {Records::kCategoriesFile, Records::kItemsFile})
        QFile::copy(samples + name, dir.filePath(name));
    // The picture is made from a folder of its own: point the program there (a test seam).
    TestSeams::arm();
    UUtils::setAppDir(dir.path());

    TfrmMain window;
    window.show();
    QCoreApplication::processEvents();

    // Open the first category and select its first item, as a user would.
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tvwMain"));
    tree->expandAll();
    if (QTreeWidgetItem* root = tree->topLevelItem(0); root && root->childCount() > 0)
        tree->setCurrentItem(root->child(0));
    window.findChild<QLineEdit*>(QStringLiteral("edtURL"))->setText(QStringLiteral("https://www.hostnimbus.example"));
    QCoreApplication::processEvents();

    QDir().mkpath(QFileInfo(output).absolutePath());
    if (!window.grab().save(output)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
