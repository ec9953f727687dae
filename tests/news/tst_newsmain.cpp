// The news poll, the balloon, the News and update buttons of the main window, against a
// scripted news and update server.

#include "app/FMain.h"
#include "news/FNews.h"
#include "news/NewsRequests.h"
#include "news/UpdateLogic.h"
#include "platform/HttpClient.h"
#include "platform/MessageHint.h"
#include "support/Controls.h"

#include "NewsTestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace NewsTest;

namespace {

const QString kNoNews = "There's no news for this application!";
const QString kUser = "There is a trouble with the Publisher Id. Contact your provider.";

bool isDescriptorRequest(const ScriptedRequest& r)
{
    return r.method == "GET" && r.path == "/liveupdate/quillet/mainappupdate.inf";
}

} // namespace

class TestNewsMain : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    int m_status = 200;
    QByteArray m_latest;
    QByteArray m_list;
    bool m_hold = false;
    QPointer<QTcpSocket> m_held;
    int m_redirect = 0;   // answer news requests with this redirect status
    QByteArray m_details; // "trickle" or "silent"

    int descriptorRequests() const
    {
        return int(std::count_if(m_server.requests().begin(), m_server.requests().end(), isDescriptorRequest));
    }
    int newsRequests() const { return int(m_server.requests().size()) - descriptorRequests(); }

    // A main window that does not poll by itself; the test ticks it.
    std::unique_ptr<TfrmMain> makeWindow(const QByteArray& level = "Master")
    {
        auto window = std::make_unique<TfrmMain>();
        named<QTimer>(window, "Timer1")->stop();
        useMasterLevel(m_server.url("/news/"));
        branding().BranderType = level;
        window->show();
        return window;
    }

    // The news balloon, once the window has shown it.
    template <typename Window> static TMessageHint* newsBalloon(const Window& window)
    {
        return (&*window)->template findChild<TMessageHint*>(QStringLiteral("LMDMessageHint1"));
    }

    // The start-up timer runs out: the poll and the quiet update check run before this returns.
    template <typename Window> static void tick(const Window& window) { fire(named<QTimer>(window, "Timer1")); }

    // Fills the window's news list as the user does: the News button, with list as the reply, and
    // the news window closed again.
    void fillNewsList(TfrmMain* window, const QByteArray& list)
    {
        m_list = list;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, this, [] {
            if (auto* news = qobject_cast<TfrmNews*>(QApplication::activeModalWidget()))
                QTest::mouseClick(news->btnExit, Qt::LeftButton);
        });
        closer.start();
        QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        QVERIFY(!window->newsList().isEmpty());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_server.setHandler([this](const ScriptedRequest& r, QTcpSocket* s) {
            if (isDescriptorRequest(r))
                return ScriptedHttpServer::reply(s, 200, "[APPLICATION]\nVersion=2.0\n");
            if (m_hold) {
                m_held = s;
                return;
            }
            if (m_redirect && r.path.startsWith("/news/"))
                return ScriptedHttpServer::redirect(s, "../moved/" + r.path.mid(6), m_redirect);
            if (!formField(r, "newsid").isEmpty()) {
                if (m_details == "trickle")
                    return ScriptedHttpServer::trickle(s, "<p>never ends");
                m_held = s; // silent: accepts, never answers
                return;
            }
            const bool latest = formField(r, "conttype") == "lastcode";
            ScriptedHttpServer::reply(s, m_status, latest ? m_latest : m_list);
        });
        Update::setUpdateBaseUrl(m_server.url("/liveupdate/quillet/"));
    }

    void init()
    {
        UUtils::setAppDir(m_dir.path());
        answerBoxes();
        m_status = 200;
        m_hold = false;
        m_redirect = 0;
        m_latest = "OK";
        m_list = "OK";
        writeSettings("5");
        QFile::remove(UUtils::appFile("mainappupdate.inf"));
    }

    void cleanupTestCase() { UUtils::setAppDir({}); }

    void poll_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("balloon");
        const QString hint = QStringLiteral("You've Got A Message!\r\n");
        QTest::newRow("newer") << QByteArray("Master") << QByteArray("12") << 200
                               << QByteArray("13^Caf\xE9 opens^June\xAFOK") << hint + QString::fromUtf8("Café opens");
        QTest::newRow("same") << QByteArray("Master") << QByteArray("13") << 200 << QByteArray("13^T^d\xAFOK")
                              << QString();
        QTest::newRow("numbers, not texts")
            << QByteArray("Master") << QByteArray("10") << 200 << QByteArray("9^T^d\xAFOK") << QString();
        QTest::newRow("stored empty") << QByteArray("Master") << QByteArray() << 200 << QByteArray("1^First^d\xAFOK")
                                      << hint + "First";
        QTest::newRow("stored letters") << QByteArray("Master") << QByteArray("abc") << 200
                                        << QByteArray("1^First^d\xAFOK") << hint + "First";
        QTest::newRow("newest not a number")
            << QByteArray("Master") << QByteArray("0") << 200 << QByteArray("x1^T^d\xAFOK") << QString();
        QTest::newRow("no title field") << QByteArray("Master") << QByteArray("0") << 200 << QByteArray("4\xAFOK")
                                        << hint;
        QTest::newRow("no news") << QByteArray("Master") << QByteArray("5") << 200 << QByteArray("OK") << QString();
        QTest::newRow("error reply") << QByteArray("Master") << QByteArray("5") << 200 << QByteArray("INVALIDUSER")
                                     << QString();
        QTest::newRow("500") << QByteArray("Master") << QByteArray("5") << 500 << QByteArray("9^T^d\xAFOK")
                             << QString();
        QTest::newRow("Free sends nothing")
            << QByteArray("Free") << QByteArray("5") << 200 << QByteArray("9^T^d\xAFOK") << QString();
    }
    void poll()
    {
        QFETCH(QByteArray, level);
        QFETCH(QByteArray, stored);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QString, balloon);
        writeSettings(stored);
        m_status = status;
        m_latest = reply;
        auto window = makeWindow(level);
        const int news = newsRequests();
        const int checks = descriptorRequests();

        named<QTimer>(window, "Timer1")->start();
        tick(window);
        QVERIFY(!named<QTimer>(window, "Timer1")->isActive());

        QCOMPARE(newsRequests(), news + (level == "Free" ? 0 : 1));
        QCOMPARE(descriptorRequests(), checks + 1); // the quiet update check runs in every case
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(ReadLastNewsId(), stored);
        QVERIFY(window->newsList().isEmpty()); // the poll's entries are not the News button's list
        TMessageHint* hint = newsBalloon(window);
        QCOMPARE(hint && hint->isVisible(), !balloon.isEmpty());
        if (!balloon.isEmpty()) {
            QCOMPARE(hint->text(), balloon);
            const QToolButton* news = named<QToolButton>(window, "btnNews");
            const QPoint centre = news->mapToGlobal(QPoint(news->width() / 2, news->height() / 2));
            QCOMPARE(hint->anchor(), centre);
            QCOMPARE(hint->geometry().top(), centre.y());                                           // below ...
            QVERIFY(hint->geometry().left() < centre.x() && hint->geometry().right() > centre.x()); // ... and left
            QVERIFY(hint->geometry().right() - centre.x() < hint->width() / 2);
        }
    }

    // A poll sent elsewhere arrives there as the same POST with its form: the balloon shows.
    void pollFollowsRedirects_data()
    {
        QTest::addColumn<int>("status");
        for (int status : {301, 302, 303, 307, 308})
            QTest::newRow(QByteArray::number(status).constData()) << status;
    }
    void pollFollowsRedirects()
    {
        QFETCH(int, status);
        m_redirect = status;
        m_latest = "13^Moved^d\xAFOK";
        auto window = makeWindow();
        const qsizetype before = m_server.requests().size();
        tick(window);
        const ScriptedRequest& moved = m_server.requests().at(before + 1);
        QCOMPARE(moved.method, QByteArray("POST"));
        QCOMPARE(moved.path, QByteArray("/moved/getlastnews.php"));
        QCOMPARE(formField(moved, "memusername"), QByteArray("PUB"));
        QVERIFY(newsBalloon(window) && newsBalloon(window)->isVisible());
        QVERIFY(newsBalloon(window)->text().endsWith("Moved"));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    // The user opens a message whose body never comes, presses Close, then closes the program.
    void closingTheNewsWindowThenTheProgram_data()
    {
        QTest::addColumn<QByteArray>("details");
        QTest::newRow("a body that never ends") << QByteArray("trickle");
        QTest::newRow("a server that never answers") << QByteArray("silent");
    }
    void closingTheNewsWindowThenTheProgram()
    {
        QFETCH(QByteArray, details);
        m_details = details;
        m_list = "7^Slow^d\xAFOK";
        auto owned = makeWindow();
        QPointer<TfrmMain> window = owned.get();
        QPointer<TfrmNews> news;
        int step = 0;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (step == 0 && (news = qobject_cast<TfrmNews*>(QApplication::activeModalWidget()))) {
                step = 1;
                QTimer::singleShot(0, news, [&] { news->lvwItems->setCurrentItem(news->lvwItems->topLevelItem(0)); });
            } else if (step == 1 && news && news->FBusy && m_server.requests().last().body.contains("newsid")) {
                step = 2;
                QTest::mouseClick(news->btnExit, Qt::LeftButton);
            } else if (step == 2 && (!news || !news->isVisible())) {
                step = 3; // the request outlived its window: the program's close must end it
                window->close();
            }
        });
        user.start();
        QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        QCOMPARE(step, 2); // Close alone ended the body's request
        QVERIFY(!named<THttpClient>(window, "IdHTTP1")->isBusy());
        window->close();
        QVERIFY(window && !window->isVisible());
        QVERIFY(named<THttpClient>(window, "IdHTTP1")->isShutDown());
        QVERIFY(!news); // destroyed with its close
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(ReadLastNewsId(), QByteArray("5"));
    }

    void balloonStaysUntilTheNextClick()
    {
        auto window = makeWindow();
        m_latest = "8^first^d\xAFOK";
        tick(window);
        m_latest = "9^second^d\xAFOK";
        tick(window);
        QCOMPARE(window->findChildren<TMessageHint*>().size(), 1); // replaced, not stacked
        TMessageHint* hint = newsBalloon(window);
        QVERIFY(hint->isVisible());
        QVERIFY(hint->text().endsWith("second"));
        QTest::qWait(300); // nothing closes it by time
        QVERIFY(hint->isVisible());
        QVERIFY(!hint->isActiveWindow());

        QPushButton other(QStringLiteral("elsewhere"));
        other.show();
        QSignalSpy clicks(&other, &QPushButton::clicked);
        QTest::mouseClick(&other, Qt::LeftButton);
        QVERIFY(!hint->isVisible());
        QCOMPARE(clicks.size(), 0); // the closing click does nothing else
        QTest::mouseClick(&other, Qt::LeftButton);
        QCOMPARE(clicks.size(), 1);
    }

    void newsButton_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("INVALIDUSER") << QByteArray("Master") << 200 << QByteArray("INVALIDUSER")
                                     << QStringList{kUser, kNoNews};
        QTest::newRow("no news") << QByteArray("Master") << 200 << QByteArray("OK") << QStringList{kNoNews};
        QTest::newRow("404") << QByteArray("Master") << 404 << QByteArray("1^a^b\xAFOK")
                             << QStringList{"There is a trouble accessing the news site. Contact your provider.",
                                            kNoNews};
        QTest::newRow("Free") << QByteArray("Free") << 200 << QByteArray("1^a^b\xAFOK") << QStringList{kNoNews};
    }
    void newsButton()
    {
        QFETCH(QByteArray, level);
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, texts);
        auto window = makeWindow(level);
        if (level != "Free") // a Free copy has no news to fill the list with
            fillNewsList(window.get(), "1^old^d\xAFOK");
        answerBoxes();
        m_status = status;
        m_list = reply;
        const int news = newsRequests();
        QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        QCOMPARE(shownTexts(), texts);
        QCOMPARE(TMessageBox::shownMessages().last().kind, TMessageBox::Kind::Information);
        QVERIFY(window->newsList().isEmpty());
        QCOMPARE(newsRequests(), news + (level == "Free" ? 0 : 1));
        QVERIFY(!window->findChild<TfrmNews*>());
    }

    void newsButtonOpensAFreshWindowEachTime()
    {
        auto window = makeWindow();
        QStringList seen;
        auto readWindow = [&seen] {
            auto* news = qobject_cast<TfrmNews*>(QApplication::activeModalWidget());
            if (!news)
                return false;
            QStringList titles;
            for (int i = 0; i < news->lvwItems->topLevelItemCount(); ++i)
                titles << news->lvwItems->topLevelItem(i)->text(0);
            seen << titles.join(',');
            QTest::mouseClick(news->btnExit, Qt::LeftButton);
            return true;
        };
        QTimer watcher;
        watcher.setInterval(20);
        connect(&watcher, &QTimer::timeout, this, [&] { readWindow(); });
        watcher.start();

        m_list = "2^Second^d2\xAF"
                 "1^First^d1\xAFOK";
        QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        QCOMPARE(window->newsList(), (StringList{"2^Second^d2", "1^First^d1"}));
        m_list = "3^Third^d3\xAFOK";
        QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        QCOMPARE(seen, (QStringList{"Second,First", "Third"}));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QVERIFY(!window->findChild<TfrmNews*>()); // destroyed when closed
    }

    void newsButtonDuringThePollIsRefused()
    {
        auto window = makeWindow();
        m_hold = true;
        QTimer user;
        user.setInterval(20);
        int newsDuring = -1;
        connect(&user, &QTimer::timeout, this, [&] {
            if (!m_held)
                return;
            user.stop();
            QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
            newsDuring = newsRequests();
            m_hold = false;
            ScriptedHttpServer::reply(m_held, 200, "9^T^d\xAFOK");
        });
        user.start();
        const int before = newsRequests();
        tick(window);
        QCOMPARE(newsDuring, before + 1);
        QCOMPARE(shownTexts(), QStringList{News::busyNewsText()});
        QVERIFY(newsBalloon(window) && newsBalloon(window)->isVisible()); // the poll went on
    }

    void closingWhileTheServerIsSilent_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::addColumn<bool>("newsButton");
        QTest::newRow("close during the poll") << false << false;
        QTest::newRow("destroy during the poll") << true << false;
        QTest::newRow("close during the News button") << false << true;
        QTest::newRow("destroy during the News button") << true << true;
    }
    void closingWhileTheServerIsSilent()
    {
        QFETCH(bool, destroy);
        QFETCH(bool, newsButton);
        auto owned = makeWindow();
        QPointer<TfrmMain> window = owned.get();
        m_hold = true;
        const int checks = descriptorRequests();
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!m_held)
                return;
            user.stop();
            if (destroy)
                owned.reset();
            else
                window->close();
        });
        user.start();
        if (newsButton)
            QTest::mouseClick(named<QToolButton>(window, "btnNews"), Qt::LeftButton);
        else
            tick(window);
        QCOMPARE(bool(window), !destroy);
        if (window) {
            QVERIFY(!window->isVisible());
            QVERIFY(named<THttpClient>(window, "IdHTTP1")->isShutDown());
            tick(window); // a late tick does nothing either
        }
        QTest::qWait(50);
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        QCOMPARE(descriptorRequests(), checks);
        QVERIFY(!QFile::exists(UUtils::appFile("mainappupdate.inf")));
    }

    void updateButtonHandsOverAndCloses()
    {
        auto window = makeWindow();
        ScriptedHttpServer updates;
        updates.setHandler([](const ScriptedRequest&, QTcpSocket* s) {
            ScriptedHttpServer::reply(s, 200, "[APPLICATION]\r\nVersion=2.1\r\n");
        });
        Update::setUpdateBaseUrl(updates.url("/liveupdate/quillet/"));
        QFile updater(UUtils::appFile(Update::updaterFileName()));
        QVERIFY(updater.open(QIODevice::WriteOnly));
        updater.write("#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
        updater.close();
        updater.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QTest::mouseClick(named<QToolButton>(window, "btnUpdate"), Qt::LeftButton);
        QCOMPARE(TMessageBox::shownMessages().size(), 2);
        QVERIFY(!window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(UUtils::appFile("started")), 10000);
        QFile::remove(UUtils::appFile("started"));
        updater.remove();
        Update::setUpdateBaseUrl(m_server.url("/liveupdate/quillet/"));
    }
};

QTEST_MAIN(TestNewsMain)
#include "tst_newsmain.moc"
