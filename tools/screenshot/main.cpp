// Renders the real main window offscreen with the sample records of examples/sample-records and
// saves it as a PNG: quillet-screenshot <output.png>
#include "app/Application.h"
#include "app/FMain.h"
#include "records/RecordFiles.h"
#include "util/Files.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
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
    window.tvwMain->expandAll();
    if (QTreeWidgetItem* root = window.tvwMain->topLevelItem(0); root && root->childCount() > 0) {
        QTreeWidgetItem* item = root->child(0);
        window.tvwMain->setCurrentItem(item);
        // Until the editor shows the selection by itself, fill the fields from the item's line.
        if (window.edtTitle->text().isEmpty()) {
            const qsizetype line = Records::findItemLine(window.ItemList, UUtils::stringToAnsi(root->text(0)),
                                                         UUtils::stringToAnsi(item->text(0)));
            if (line >= 0) {
                const Records::ItemFields f = Records::readItemLine(window.ItemList[line]);
                const QList<QWidget*> fields = window.itemFields();
                for (int i = Records::fldTitle; i <= Records::fldPaymentDay; ++i)
                    static_cast<QLineEdit*>(fields[i - 1])->setText(UUtils::ansiToString(f[i]));
                window.memDesc->setPlainText(
                    UUtils::ansiToString(Records::descriptionToEditor(f[Records::fldDescription])));
            }
        }
    }
    window.edtURL->setText(QStringLiteral("https://www.hostnimbus.example"));
    QCoreApplication::processEvents();

    QDir().mkpath(QFileInfo(output).absolutePath());
    if (!window.grab().save(output)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}
