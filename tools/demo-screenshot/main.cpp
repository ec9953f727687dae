// Renders the demo branded copy offscreen: its welcome page, then its main page after the welcome
// button, each saved as a PNG. quillet-demo-screenshot <demo-dir> <welcome.png> <main.png>
#include "app/Application.h"
#include "app/FMain.h"
#include "branding/BrandingLoader.h"
#include "util/Files.h"
#include "util/TestSeam.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineView>

#include <cstdio>
#include <deque>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: quillet-demo-screenshot <demo-dir> <welcome.png> <main.png>\n");
        return 2;
    }
    const QString demoDir = QString::fromLocal8Bit(argv[1]);
    const QString welcomePng = QString::fromLocal8Bit(argv[2]);
    const QString mainPng = QString::fromLocal8Bit(argv[3]);
    argc = 1;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);

    // A scratch copy of the demo, with the sample records, so the demo folder stays as laid out.
    QTemporaryDir dir;
    for (const QString& name : QDir(demoDir).entryList(QDir::Files))
        QFile::copy(demoDir + QLatin1Char('/') + name, dir.filePath(name));
    const QString samples = QStringLiteral(QUILLET_SOURCE_DIR "/examples/sample-records/");
    for (const QString& name : QDir(samples).entryList(QDir::Files))
        QFile::copy(samples + name, dir.filePath(name));
    // The picture is made from a folder of its own: point the program there (a test seam).
    TestSeams::arm();
    UUtils::setAppDir(dir.path());

    // The same picture every time: the first welcome page, the still banner, links 1 and 2.
    std::deque<int> draws{0, 0, 0, 0};
    setBrandingRandomIndex([&draws](int) {
        const int next = draws.empty() ? 0 : draws.front();
        if (!draws.empty())
            draws.pop_front();
        return next;
    });

    TfrmMain window;
    window.show();
    QCoreApplication::processEvents();
    if (auto* view = window.findChild<QWebEngineView*>()) {
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        if (loaded.isEmpty())
            loaded.wait(30000);
        QSignalSpy painted(view, &QWebEngineView::loadProgress); // let the compositor draw the page
        painted.wait(1500);
    }
    QDir().mkpath(QFileInfo(welcomePng).absolutePath());
    if (!window.grab().save(welcomePng)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(welcomePng));
        return 1;
    }

    if (auto* thanks = window.findChild<QPushButton*>(QStringLiteral("bsSkinButton1")))
        thanks->click();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tvwMain"));
    tree->expandAll();
    if (QTreeWidgetItem* root = tree->topLevelItem(0); root && root->childCount() > 0)
        tree->setCurrentItem(root->child(0));
    QCoreApplication::processEvents();
    if (!window.grab().save(mainPng)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(mainPng));
        return 1;
    }
    return 0;
}
