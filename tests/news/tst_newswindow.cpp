// The news window against a scripted news service: rows, bodies, LastNewsId, the busy refusal.

#include "news/FNews.h"
#include "news/NewsProtocol.h"
#include "platform/HtmlView.h"
#include "platform/HttpClient.h"
#include "util/AppError.h"

#include "NewsTestSupport.h"
#include "support/HtmlViewProbe.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace NewsTest;
using HtmlViewProbe::shownText;

class TestNewsWindow : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    QPointer<QTcpSocket> m_held; // the answer for id 5 waits here until the test sends it
    const StringList m_news{"7^Newest title^June 3, 2024", "6^Middle^May 2", "5^Slow one^May 1", "66^Withdrawn^April",
                            "9"};

    QPointer<QTcpSocket> m_silent;
    QByteArray m_picture; // a picture on the disk, as a file: address
    // Ids a hostile service may list: none of them is a valid id.
    const QList<QByteArray> m_hostileIds{"9\r\n<%%Welcome1%%><h1>injected</h1><%%/Welcome1%%>",
                                         QByteArray("4\0<%%Banner1%%>", 15),
                                         " 8",
                                         "+8",
                                         "2147483648",
                                         "8<%%/LastNewsId%%>"};

    QTreeWidgetItem* row(TfrmNews& window, int index) { return window.lvwItems->topLevelItem(index); }

    static QByteArray sealedSettings()
    {
        QFile file(UUtils::appFile(QString::fromLatin1(kSettingsFileName)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QByteArray nestedTables(int depth)
    {
        return QByteArray("<table><tr><td>").repeated(depth) + "deep" +
               QByteArray("</td></tr></table>").repeated(depth);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UUtils::setAppDir(m_dir.path());
        m_server.setHandler([this](const ScriptedRequest& r, QTcpSocket* s) {
            const QByteArray id = formField(r, "newsid");
            if (id == "7")
                ScriptedHttpServer::reply(s, 200, "$3Cb$3EHi$3C/b$3E\xAFOK");
            else if (id == "6")
                ScriptedHttpServer::reply(s, 200, "<p>six</p>\xAFOK");
            else if (id == "5")
                m_held = s;
            else if (id == "70")
                ScriptedHttpServer::trickle(s, "<p>never ends");
            else if (id == "71")
                m_silent = s; // accepts, never answers
            else if (m_hostileIds.contains(formField(r, "newsid")))
                ScriptedHttpServer::reply(s, 200, "<p>shown</p>\xAFOK");
            else if (id == "100" || id == "5000")
                ScriptedHttpServer::reply(s, 200, nestedTables(id.toInt()) + "\xAFOK");
            else if (id == "8")
                ScriptedHttpServer::reply(s, 200,
                                          "<p>pictures</p><img id=f src='" + m_picture + "'><img id=w src='" +
                                              m_server.url("/pic.png") + "'>\xAFOK");
            else if (r.path == "/pic.png")
                ScriptedHttpServer::reply(s, 200, "not fetched");
            else
                ScriptedHttpServer::reply(s, 200, "INVALIDNEWS");
        });
    }
    void cleanupTestCase() { UUtils::setAppDir({}); }

    void init()
    {
        answerBoxes();
        useMasterLevel(m_server.url("/"));
        writeSettings("3");
    }

    void rowsShowTitleAndDate()
    {
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        QCOMPARE(window.windowTitle(), QString("News"));
        QCOMPARE(window.size(), QSize(682, 411));
        QCOMPARE(window.lvwItems->topLevelItemCount(), 5);
        QCOMPARE(row(window, 0)->text(0), QString("Newest title"));
        QCOMPARE(row(window, 0)->text(1), QString("June 3, 2024"));
        QCOMPARE(row(window, 1)->text(0), QString("Middle"));
        QCOMPARE(row(window, 4)->text(0), QString()); // an entry with one field still has its row
        QCOMPARE(window.lvwItems->headerItem()->text(0), QString("News Title"));
        QCOMPARE(window.lvwItems->headerItem()->text(1), QString("Published"));
        QCOMPARE(window.lvwItems->header()->sectionSize(1), 160);
        QVERIFY(window.lvwItems->isColumnHidden(2));
        QVERIFY(window.lvwItems->selectedItems().isEmpty());
        QVERIFY(shownText(window.prfEditorNews).isEmpty());
        QVERIFY(m_server.requests().isEmpty());
    }

    void openingABodyRecordsItsId()
    {
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        window.lvwItems->setCurrentItem(row(window, 0));
        QCOMPARE(shownText(window.prfEditorNews), QString("Hi"));
        const QString weight = "getComputedStyle([...document.querySelectorAll('body *')]"
                               ".find(e => e.textContent === 'Hi')).fontWeight";
        QCOMPARE(HtmlViewProbe::evaluate(window.prfEditorNews, weight).toInt(), int(QFont::Bold));
        QCOMPARE(ReadLastNewsId(), QByteArray("7"));
        const ScriptedRequest& request = m_server.requests().last();
        QCOMPARE(request.path, QByteArray("/getnewsdetails.php"));
        QCOMPARE(formField(request, "memusername"), QByteArray("PUB"));
        QCOMPARE(formField(request, "prodtype"), QByteArray("BM"));
        QCOMPARE(formField(request, "newstarget"), QByteArray("UA"));

        // An older message is recorded too.
        QTest::mouseClick(window.lvwItems->viewport(), Qt::LeftButton, {},
                          window.lvwItems->visualItemRect(row(window, 1)).center());
        QCOMPARE(window.lvwItems->currentItem(), row(window, 1));
        QCOMPARE(shownText(window.prfEditorNews), QString("six"));
        QCOMPARE(ReadLastNewsId(), QByteArray("6"));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void aRefusedBodyKeepsViewAndId()
    {
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        window.lvwItems->setCurrentItem(row(window, 0));
        window.lvwItems->setCurrentItem(row(window, 3));
        QCOMPARE(shownTexts(), QStringList{"There is a trouble with this news. Contact your provider."});
        QCOMPARE(shownText(window.prfEditorNews), QString("Hi"));
        QCOMPARE(ReadLastNewsId(), QByteArray("7"));
        QVERIFY(!window.FBusy);
    }

    void selectionStaysWhileABodyLoads()
    {
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        bool checked = false;
        const qsizetype before = m_server.requests().size();
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!m_held)
                return;
            user.stop();
            // Answer even when a check below fails, so the test never hangs.
            auto answer = qScopeGuard([this] { ScriptedHttpServer::reply(m_held, 200, "slow$21\xAFOK"); });
            QVERIFY(window.FBusy);
            QCOMPARE(window.lvwItems->viewport()->cursor().shape(), Qt::WaitCursor);
            QCOMPARE(window.cursor().shape(), Qt::WaitCursor);
            // Mouse, keys and code all try to move the selection.
            QTest::mouseClick(window.lvwItems->viewport(), Qt::LeftButton, {},
                              window.lvwItems->visualItemRect(row(window, 0)).center());
            QTest::keyClick(window.lvwItems, Qt::Key_Up);
            window.lvwItems->setCurrentItem(row(window, 1));
            window.lvwItems->clearSelection();
            QCOMPARE(window.lvwItems->selectedItems(), QList<QTreeWidgetItem*>{row(window, 2)});
            QCOMPARE(m_server.requests().size(), before + 1);
            checked = true;
        });
        user.start();
        window.lvwItems->setCurrentItem(row(window, 2));
        QVERIFY(checked);
        QCOMPARE(m_server.requests().size(), before + 1);
        QCOMPARE(shownText(window.prfEditorNews), QString("slow!"));
        QCOMPARE(ReadLastNewsId(), QByteArray("5"));
        QVERIFY(!window.FBusy);
        QVERIFY(!window.lvwItems->viewport()->testAttribute(Qt::WA_SetCursor));
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
        // Free again.
        window.lvwItems->setCurrentItem(row(window, 0));
        QCOMPARE(shownText(window.prfEditorNews), QString("Hi"));
    }

    void aLevelWithoutRequestChangesNothing()
    {
        branding().BranderType = "Free";
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        const qsizetype before = m_server.requests().size();
        window.lvwItems->setCurrentItem(row(window, 0));
        QCOMPARE(m_server.requests().size(), before);
        QVERIFY(shownText(window.prfEditorNews).isEmpty());
        QCOMPARE(ReadLastNewsId(), QByteArray("3"));
        QVERIFY(!window.FBusy);
    }

    void aFailedRecordLeavesTheWindowUsable()
    {
        // dbsettings.dat cannot be unsealed: the error goes to the general handler.
        QFile::remove(UUtils::appFile("dbsettings.dat"));
        QVERIFY(QDir(m_dir.path()).mkdir("dbsettings.dat"));
        THttpClient http;
        TfrmNews window(&http, m_news);
        window.show();
        // The handler's guard shows the error; no exception leaves the selection's signal.
        TMessageBox::clearTestState();
        TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
        window.lvwItems->setCurrentItem(row(window, 0));
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages()[0].kind, TMessageBox::Kind::Warning);
        QVERIFY(TMessageBox::shownMessages()[0].text.contains(QStringLiteral("dbsettings")));
        QVERIFY(QDir(m_dir.path()).rmdir("dbsettings.dat"));
        QCOMPARE(shownText(window.prfEditorNews), QString("Hi"));
        QVERIFY(!window.FBusy);
        QVERIFY(!window.lvwItems->viewport()->testAttribute(Qt::WA_SetCursor));
        writeSettings("3");
        window.lvwItems->setCurrentItem(row(window, 1));
        QCOMPARE(ReadLastNewsId(), QByteArray("6"));
    }

    // The body of a message whose id is no valid id is shown, but nothing of the id reaches the
    // settings file: not a byte of it changes.
    void anInvalidIdIsNotRecorded()
    {
        StringList news;
        for (const QByteArray& id : m_hostileIds)
            news.append(id + "^Hostile^today");
        THttpClient http;
        TfrmNews window(&http, news);
        window.show();
        const QByteArray before = sealedSettings();
        for (int i = 0; i < news.size(); ++i) {
            window.lvwItems->setCurrentItem(row(window, i));
            QCOMPARE(formField(m_server.requests().last(), "newsid"), m_hostileIds[i]);
            QCOMPARE(shownText(window.prfEditorNews), QString("shown"));
            QCOMPARE(sealedSettings(), before);
        }
        QCOMPARE(ReadLastNewsId(), QByteArray("3"));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    // A list of more entries than the cap shows the first ones, in list order.
    void rowsStopAtTheCap()
    {
        StringList news;
        for (qsizetype i = 1; i <= News::kMaxNewsEntries + 3; ++i)
            news.append(QByteArray::number(i) + "^Title " + QByteArray::number(i) + "^d");
        THttpClient http;
        TfrmNews window(&http, news);
        window.show();
        QCOMPARE(window.lvwItems->topLevelItemCount(), int(News::kMaxNewsEntries));
        QCOMPARE(row(window, 0)->text(0), QString("Title 1"));
        QCOMPARE(row(window, int(News::kMaxNewsEntries) - 1)->text(0),
                 "Title " + QString::number(News::kMaxNewsEntries));
    }

    // Closing the window while a body loads ends that request: the window goes at once, the
    // client is free again, nothing is shown or recorded.
    void closingWhileABodyLoads_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("a body that never ends") << 0;
        QTest::newRow("a server that never answers") << 1;
    }
    void closingWhileABodyLoads()
    {
        QFETCH(int, row);
        THttpClient http;
        TfrmNews window(&http, StringList{"70^Trickle^d", "71^Silent^d"});
        const qsizetype before = m_server.requests().size();
        bool closed = false;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!window.isVisible() || closed)
                return;
            if (!window.FBusy) {
                QTimer::singleShot(0, &window, [&] { window.lvwItems->setCurrentItem(this->row(window, row)); });
            } else if (m_server.requests().size() > before) {
                closed = true;
                QTest::mouseClick(window.btnExit, Qt::LeftButton);
            }
        });
        user.start();
        // Should the request outlive the window, the main window's close still ends it here.
        QTimer::singleShot(20000, &http, [&http] { http.shutDown(); });
        window.exec();
        QVERIFY(closed);
        QVERIFY(!window.FBusy);
        QVERIFY(!http.isShutDown());
        QVERIFY(!http.isBusy());
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(ReadLastNewsId(), QByteArray("3"));
        QVERIFY(shownText(window.prfEditorNews).isEmpty());
    }

    void aHostileBodyLeavesTheWindowUsable_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<bool>("shownSoon"); // laid out within seconds
        QTest::newRow("100 nested tables") << QByteArray("100") << true;
        QTest::newRow("5,000 nested tables") << QByteArray("5000") << false;
    }
    void aHostileBodyLeavesTheWindowUsable()
    {
        QFETCH(QByteArray, id);
        QFETCH(bool, shownSoon);
        THttpClient http;
        TfrmNews window(&http, {"7^Newest title^June 3, 2024", id + "^Deep^May 1"});
        window.show();
        window.lvwItems->setCurrentItem(row(window, 1));
        QCOMPARE(ReadLastNewsId(), id);
        QVERIFY(!window.FBusy);
        // The window answers while the body is laid out, and the next body shows.
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window.lvwItems->viewport(), Qt::LeftButton, {},
                          window.lvwItems->visualItemRect(row(window, 0)).center());
        QCOMPARE(window.lvwItems->currentItem(), row(window, 0));
        QCOMPARE(shownText(window.prfEditorNews, 10000), QString("Hi"));
        QVERIFY2(clock.elapsed() < 10000, QByteArray::number(clock.elapsed()).constData());

        window.lvwItems->setCurrentItem(row(window, 1));
        if (shownSoon)
            QCOMPARE(shownText(window.prfEditorNews), QString("deep"));
        QTest::qWait(200);
        QTest::mouseClick(window.btnExit, Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void aBodyReadsNoLocalFileAndNothingFromTheWeb()
    {
        QTemporaryDir pictures;
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(pictures.filePath("pic.png")));
        m_picture = QUrl::fromLocalFile(pictures.filePath("pic.png")).toEncoded();
        THttpClient http;
        TfrmNews window(&http, {"8^Picture^May 1"});
        window.show();
        window.lvwItems->setCurrentItem(row(window, 0));
        QCOMPARE(shownText(window.prfEditorNews), QString("pictures"));
        const QString widths = "['f', 'w'].map(i => document.getElementById(i).naturalWidth).join()";
        QCOMPARE(HtmlViewProbe::evaluate(window.prfEditorNews, widths).toString(), QString("0,0"));
        for (const ScriptedRequest& request : m_server.requests())
            QVERIFY(request.path != "/pic.png");
    }

    void closeButtonEndsTheWindow()
    {
        THttpClient http;
        TfrmNews window(&http, m_news);
        QTimer::singleShot(100, &window, [&window] { QTest::mouseClick(window.btnExit, Qt::LeftButton); });
        window.exec();
        QVERIFY(!window.isVisible());
        QCOMPARE(window.btnExit->text(), QString("Close"));
    }
};

QTEST_MAIN(TestNewsWindow)
#include "tst_newswindow.moc"
