// Import and export through the real main window: the context menu's entries and keys, the
// preview's answer, the cancellable progress, what gets written and what the tree shows.
#include "app/FMain.h"
#include "branding/Branding.h"
#include "dialogs/FImport.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "records/RecordExport.h"
#include "records/RecordImport.h"
#include "support/Controls.h"
#include "util/Files.h"
#include "util/TestSeam.h"
#include "util/TextCodec.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

QByteArray b(const QByteArray& text)
{
    QByteArray out = text;
    out.replace('~', char(0xA5));
    return out;
}

QByteArray crlf(const QByteArray& lines)
{
    return lines.isEmpty() ? QByteArray() : b(lines).replace("|", "\r\n") + "\r\n";
}

const QByteArray kChrome = "name,url,username,password,note\n"
                           "Shop,https://shop.example/login,ann,\"p,w\",\"two\nlines\"\n"
                           ",https://new.example/,bob,pw,\n"
                           "Bad,https://bad.example/,\xD0\x91,pw,\n";

} // namespace

class TestFMainImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TfrmMain> m_window;
    QTimer m_unexpectedBoxes;
    QStringList m_unexpected;

    TfrmMain* open(const QByteArray& categories, const QByteArray& items)
    {
        writeFile(UUtils::appFile("categories.dat"), categories);
        writeFile(UUtils::appFile("items.dat"), items);
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        named<QTimer>(m_window, "Timer1")->stop();
        QCoreApplication::processEvents();
        return m_window.get();
    }

    static void writeFile(const QString& path, const QByteArray& data)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(data);
    }

    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QString csvFile(const QByteArray& data)
    {
        const QString path = m_dir->filePath(QStringLiteral("in.csv"));
        writeFile(path, data);
        return path;
    }

    QStringList tree() const
    {
        QStringList nodes;
        QTreeWidget* view = named<QTreeWidget>(m_window, "tvwMain");
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            QTreeWidgetItem* root = view->topLevelItem(i);
            nodes << root->text(0);
            for (int c = 0; c < root->childCount(); ++c)
                nodes << root->text(0) + QLatin1Char('/') + root->child(c)->text(0);
        }
        return nodes;
    }

    void select(const QString& text)
    {
        QTreeWidget* view = named<QTreeWidget>(m_window, "tvwMain");
        const QList<QTreeWidgetItem*> found = view->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(!found.isEmpty());
        view->setCurrentItem(found.first());
    }

private slots:
    void initTestCase()
    {
        m_unexpectedBoxes.setInterval(50);
        connect(&m_unexpectedBoxes, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() != QLatin1String("prgImport")) { // the import's own progress
                m_unexpected << modal->objectName();
                modal->close();
            }
        });
        m_unexpectedBoxes.start();
    }

    void init()
    {
        m_unexpected.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        UUtils::setAppDir(m_dir->path());
        branding() = Branding{};
        TestSeams::reset();
        UUtils::setAppDir(m_dir->path());
    }

    void cleanup()
    {
        m_window.reset();
        QCOMPARE(m_unexpected, QStringList());
    }

    void keys()
    {
        // The menu's entries and when they show: tst_mainwindow and tst_editor, with the others.
        open(crlf("Shops"), crlf("Shops~A~~~~~~~~~~~"));
        QCOMPARE(named<QShortcut>(m_window, "scImport")->key(), QKeySequence(Qt::CTRL | Qt::Key_I));
        QCOMPARE(named<QShortcut>(m_window, "scExport")->key(), QKeySequence(Qt::CTRL | Qt::Key_E));

        // The key runs the command: a cancelled file dialog, nothing else.
        TFileDialog::queueAnswer(QString());
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(TFileDialog::askedCaptions(), QStringList{"Import from CSV"});
    }

    void import()
    {
        const QByteArray items = crlf("Shops~Shop~~~~~~~~~~~|Imported~Old~~~~~~~~~~~");
        open(crlf("Shops|imported"), items);
        TFileDialog::queueAnswer(csvFile(kChrome));
        TfrmImport::queueAnswer(true);
        named<QAction>(m_window, "Import1")->trigger();

        QCOMPARE(TfrmImport::shownSummaries(),
                 QStringList{"in.csv (Chrome, Edge, Brave, Opera or Vivaldi passwords): 2 items to add in 1 category "
                             "(0 new), 1 row skipped."});
        // "Imported" is the existing "imported"; the lists, both files and the tree at once.
        const QByteArray added = b("imported~Shop~~~https://shop.example/login~ann~p,w~~~~~two") + "\xA5\xA5\xA7\xA7" +
                                 "lines" + char(0xA5) + '\r' + '\n' +
                                 b("imported~new.example~~~https://new.example/~bob~pw~~~~~~") + "\r\n";
        QCOMPARE(readFile(UUtils::appFile("items.dat")), items + added);
        QCOMPARE(readFile(UUtils::appFile("categories.dat")), crlf("Shops|imported"));
        QCOMPARE(m_window->itemList().size(), 4);
        QCOMPARE(tree(), (QStringList{"Shops", "Shops/Shop", "imported", "imported/Shop", "imported/new.example"}));
        QCOMPARE(m_unexpected, QStringList());
    }

    void importNewCategoryAndFind()
    {
        open(crlf("Shops"), crlf("Shops~A~~~~~~~~~~~"));
        // A filtered tree takes the new items into its filter.
        named<QLineEdit>(m_window, "edtFind")->setText(QStringLiteral("zzz"));
        QCoreApplication::processEvents();
        TFileDialog::queueAnswer(csvFile("folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,"
                                         "login_password,login_totp\nNew,,login,zzz one,,,0,https://z/,u,p,\n"));
        TfrmImport::queueAnswer(true);
        named<QAction>(m_window, "Import1")->trigger();
        QCOMPARE(readFile(UUtils::appFile("categories.dat")), crlf("Shops|New"));
        QCOMPARE(tree(), (QStringList{"Shops", "Shops/A", "New", "New/zzz one"}));
        QCoreApplication::processEvents();
        QTreeWidget* view = named<QTreeWidget>(m_window, "tvwMain");
        QVERIFY(view->topLevelItem(0)->isHidden());
        QVERIFY(!view->topLevelItem(1)->isHidden());
    }

    void nothingWritten_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("preview answered Cancel") << kChrome << false << QString();
        QTest::newRow("unknown header") << QByteArray("a,b\n1,2\n") << true
                                        << QStringLiteral("cannot be imported. The file's first row is not a header");
        QTest::newRow("empty file") << QByteArray() << true << QStringLiteral("cannot be imported. The file is empty.");
    }

    void nothingWritten()
    {
        QFETCH(QByteArray, csv);
        QFETCH(bool, answer);
        QFETCH(QString, message);
        const QByteArray items = crlf("Shops~A~~~~~~~~~~~");
        open(crlf("Shops"), items);
        const QDateTime written = QFileInfo(UUtils::appFile("items.dat")).lastModified();
        TFileDialog::queueAnswer(csvFile(csv));
        TfrmImport::queueAnswer(answer);
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        named<QAction>(m_window, "Import1")->trigger();
        QCOMPARE(readFile(UUtils::appFile("items.dat")), items);
        QCOMPARE(QFileInfo(UUtils::appFile("items.dat")).lastModified(), written);
        QCOMPARE(m_window->itemList().size(), 1);
        QCOMPARE(tree(), (QStringList{"Shops", "Shops/A"}));
        if (message.isEmpty()) {
            QVERIFY(TMessageBox::shownMessages().isEmpty());
        } else {
            QCOMPARE(TMessageBox::shownMessages().size(), 1);
            QVERIFY2(TMessageBox::shownMessages()[0].text.contains(message),
                     qPrintable(TMessageBox::shownMessages()[0].text));
            QVERIFY(TMessageBox::shownMessages()[0].text.endsWith(Records::formatsUnderstood()));
        }
    }

    void cancelProgress()
    {
        const QByteArray items = crlf("Shops~A~~~~~~~~~~~");
        open(crlf("Shops"), items);
        QByteArray csv = "name,url,username,password\n";
        for (int i = 0; i < 300000; ++i)
            csv += "n" + QByteArray::number(i) + ",https://x.example/,user,password\n";
        TFileDialog::queueAnswer(csvFile(csv));
        TfrmImport::queueAnswer(true);
        bool found = false;
        bool blocking = false;
        // Cancel as soon as the window waits for the reading.
        QTimer::singleShot(0, this, [&] {
            if (auto* progress = m_window->findChild<QProgressDialog*>(QStringLiteral("prgImport"))) {
                // Shown at once and modal: the window takes no command while the file is read.
                blocking = progress->isVisible() && progress->windowModality() == Qt::WindowModal;
                if (auto* button = progress->findChild<QPushButton*>()) {
                    found = true;
                    button->click(); // its "Cancel"
                }
            }
        });
        named<QAction>(m_window, "Import1")->trigger();
        QVERIFY(found);
        QVERIFY(blocking);
        QVERIFY(TfrmImport::shownSummaries().isEmpty()); // no preview
        QCOMPARE(readFile(UUtils::appFile("items.dat")), items);
        QCOMPARE(m_window->itemList().size(), 1);
    }

    void exportCategoryOrAll_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("items"); // -1: no file
        QTest::newRow("nothing selected: everything, unasked") << QString() << -1 << 3;
        QTest::newRow("category, Yes: that category") << QStringLiteral("Tools") << int(TMessageBox::Answer::Yes) << 1;
        QTest::newRow("item, Yes: its category") << QStringLiteral("A") << int(TMessageBox::Answer::Yes) << 2;
        QTest::newRow("item, No: everything") << QStringLiteral("A") << int(TMessageBox::Answer::No) << 3;
        QTest::newRow("Cancel: nothing") << QStringLiteral("A") << int(TMessageBox::Answer::Cancel) << -1;
    }

    void exportCategoryOrAll()
    {
        QFETCH(QString, selected);
        QFETCH(int, answer);
        QFETCH(int, items);
        open(crlf("Shops|Tools"), crlf("Shops~A~~~~~p\"w~~~~~~|Tools~T~~~~~~~~~~~|Shops~B~~~~~~~~~~~"));
        if (!selected.isEmpty())
            select(selected);
        if (answer >= 0)
            TMessageBox::setNextAnswer(TMessageBox::Answer(answer));
        const QString path = m_dir->filePath(QStringLiteral("out.csv"));
        TFileDialog::queueAnswer(path);
        named<QAction>(m_window, "Export1")->trigger();
        if (items < 0) {
            QVERIFY(!QFile::exists(path));
            QVERIFY(TFileDialog::askedCaptions().isEmpty());
            return;
        }
        QCOMPARE(TMessageBox::shownMessages().size(), answer >= 0 ? 1 : 0);
        // The save dialog says what the file holds.
        QCOMPARE(TFileDialog::askedCaptions().size(), 1);
        QVERIFY(TFileDialog::askedCaptions()[0].contains(QStringLiteral("every password in the clear")));
        QCOMPARE(QFile::permissions(path) &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Records::ImportPlan plan = Records::planImport(file, {}, {});
        QCOMPARE(plan.newItems.size(), items);
        for (const QByteArray& line : plan.newItems)
            QVERIFY(m_window->itemList().contains(line));
    }
};

QTEST_MAIN(TestFMainImport)
#include "tst_fmainimport.moc"
