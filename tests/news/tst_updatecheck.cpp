// The live update check against a scripted update server, in an application directory of its own.

#include "news/UpdateCheck.h"
#include "news/UpdateLogic.h"
#include "platform/HttpClient.h"
#include "platform/MessageBox.h"
#include "util/Files.h"

#include "support/FileSizeLimit.h"
#include "support/ScriptedHttpServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using Answer = TMessageBox::Answer;

namespace {

const QString kNoUpdate = "There's no new updates for this application!";
const QString kMissing = "The updater module is missing. Please reinstall again the current version!";

QStringList shownTexts()
{
    QStringList texts;
    for (const TMessageBox::Shown& shown : TMessageBox::shownMessages())
        texts << shown.text;
    return texts;
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
    int m_status = 200;
    QByteArray m_descriptor;

    QString appFile(const QString& name) const { return m_dir.filePath(name); }
    QString descriptorPath() const { return appFile("mainappupdate.inf"); }

    // A stand-in updater that writes its arguments, one per line, beside itself.
    void installUpdater(bool executable = true)
    {
        QFile script(appFile(Update::updaterFileName()));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments.tmp\"\n"
                     "mv \"$(dirname \"$0\")/arguments.tmp\" \"$(dirname \"$0\")/arguments.txt\"\n");
        script.close();
        script.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                         : QFile::ReadOwner | QFile::WriteOwner);
    }

    void answer(std::initializer_list<Answer> answers)
    {
        for (Answer a : answers)
            TMessageBox::setNextAnswer(a);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_server.setHandler([this](const ScriptedRequest& r, QTcpSocket* s) {
            if (r.path == "/liveupdate/quillet/mainappupdate.inf")
                ScriptedHttpServer::reply(s, m_status, m_descriptor);
            else
                ScriptedHttpServer::reply(s, 404, "not here");
        });
        Update::setUpdateBaseUrl(m_server.url("/liveupdate/quillet/"));
    }

    void init()
    {
        TMessageBox::clearTestState();
        TMessageBox::setNextAnswer(Answer::Ok); // no box may wait for a user
        UUtils::setAppDir(m_dir.path());
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(appFile(name));
        m_status = 200;
        m_descriptor = "[APPLICATION]\r\nVersion=2.0\r\n";
    }

    void cleanupTestCase() { UUtils::setAppDir({}); }

    void versions_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<QString>("shownVersion");
        auto row = [](const char* name, const QByteArray& version, bool offered) {
            QTest::newRow(name) << ("[Application]\r\nName=Quillet\r\nVersion=" + version + "\r\n") << offered
                                << QString::fromLatin1(version);
        };
        row("2.1", "2.1", true);
        row("2.10 is offered as written", "2.10", true);
        row("10", "10", true);
        row("2.0", "2.0", false);
        row("1.9", "1.9", false);
        row("2.0.1", "2.0.1", false);
        row("letters", "two", false);
        QTest::newRow("key in another section") << QByteArray("[Other]\nVersion=3\n") << false << QString();
        QTest::newRow("not INI") << QByteArray("<html><body>Version=3</body></html>") << false << QString();
        QTest::newRow("binary") << QByteArray(48 << 10, '\xFF') << false << QString(); // below the ceiling
    }
    void versions()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(bool, offered);
        QFETCH(QString, shownVersion);
        m_descriptor = descriptor;
        THttpClient http;
        for (const bool quiet : {false, true}) {
            TMessageBox::clearTestState();
            answer({Answer::Cancel, Answer::Ok});
            QVERIFY(!Update::CheckForUpdate(http, quiet));
            if (offered) {
                // The first question, also when quiet; Cancel ends the check without a word.
                QCOMPARE(TMessageBox::shownMessages().size(), 1);
                const TMessageBox::Shown& question = TMessageBox::shownMessages().first();
                QCOMPARE(question.text, "There is a new update: (version " + shownVersion +
                                            ") available for your application!. Do you want download this update now?");
                QCOMPARE(question.kind, TMessageBox::Kind::Information);
                QCOMPARE(question.buttons, TMessageBox::Buttons::OkCancel);
            } else {
                QCOMPARE(shownTexts(), quiet ? QStringList() : QStringList{kNoUpdate});
            }
            // The descriptor stays after a check that fetched it.
            QFile local(descriptorPath());
            QVERIFY(local.open(QIODevice::ReadOnly));
            QCOMPARE(local.size(), descriptor.size());
        }
    }

    // A second check started while the first waits (the Update button during the start-up check)
    // is refused: one download, one question.
    void nestedCheckIsRefused()
    {
        m_descriptor = "[APPLICATION]\r\nVersion=3.0\r\n";
        const qsizetype before = m_server.requests().size();
        THttpClient http;
        bool nestedResult = true;
        QTimer::singleShot(0, [&] { nestedResult = Update::CheckForUpdate(http, false); });
        answer({Answer::Cancel});
        QVERIFY(!Update::CheckForUpdate(http, true));
        QVERIFY(!nestedResult);
        QCOMPARE(m_server.requests().size() - before, qsizetype(1));
        QCOMPARE(shownTexts().size(), 2);
        QVERIFY(shownTexts().contains("The program is still waiting for an answer from the news site. "
                                      "Please try again in a moment."));
        QCOMPARE(shownTexts().filter("There is a new update").size(), 1);
    }

    void acceptingBothQuestionsStartsTheUpdater()
    {
        m_descriptor = "[APPLICATION]\nVersion=2.1\n";
        installUpdater();
        TMessageBox::clearTestState();
        answer({Answer::Ok, Answer::Ok});
        THttpClient http;
        QVERIFY(Update::CheckForUpdate(http, true));
        QCOMPARE(TMessageBox::shownMessages().size(), 2);
        const TMessageBox::Shown second = TMessageBox::shownMessages().at(1);
        QCOMPARE(second.text, QString("To update your software the application will close to\n\rreplace some files. Do "
                                      "you want to update now?"));
        QCOMPARE(second.kind, TMessageBox::Kind::Information);
        QCOMPARE(second.buttons, TMessageBox::Buttons::OkCancel);

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(appFile("arguments.txt")), 10000);
        QFile arguments(appFile("arguments.txt"));
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(arguments.readAll(), m_server.url("/liveupdate/quillet/") + "\n2.0\nA\n");
    }

    void cancelOrNoUpdaterKeepsTheProgram_data()
    {
        QTest::addColumn<QString>("updater");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("texts");
        const QString offer = Update::updateOfferText("2.1");
        QTest::newRow("cancel the second question")
            << "yes" << QList<Answer>{Answer::Ok, Answer::Cancel} << QStringList{offer, Update::updateCloseText()};
        QTest::newRow("no updater") << "none" << QList<Answer>{Answer::Ok} << QStringList{offer, kMissing};
        QTest::newRow("an updater that cannot start") << "not executable" << QList<Answer>{Answer::Ok, Answer::Ok}
                                                      << QStringList{offer, Update::updateCloseText(), kMissing};
    }
    void cancelOrNoUpdaterKeepsTheProgram()
    {
        QFETCH(QString, updater);
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, texts);
        m_descriptor = "[APPLICATION]\nVersion=2.1\n";
        if (updater != "none")
            installUpdater(updater == "yes");
        TMessageBox::clearTestState();
        for (Answer a : answers)
            TMessageBox::setNextAnswer(a);
        TMessageBox::setNextAnswer(Answer::Ok); // for the warning
        THttpClient http;
        QVERIFY(!Update::CheckForUpdate(http, false));
        QCOMPARE(shownTexts(), texts);
        QCOMPARE(TMessageBox::shownMessages().last().kind,
                 updater == "yes" ? TMessageBox::Kind::Information : TMessageBox::Kind::Warning);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(appFile("arguments.txt")));
    }

    void failedDownloadsLeaveNoDescriptor_data()
    {
        QTest::addColumn<QString>("failure");
        for (const char* failure :
             {"404", "500", "reset mid-body", "no server", "disk full", "shorter than announced",
              "redirect to a closed port", "past the ceiling, announced", "one line of 1 GB, not announced"})
            QTest::newRow(failure) << QString(failure);
    }
    void failedDownloadsLeaveNoDescriptor()
    {
        QFETCH(QString, failure);
        ScriptedHttpServer hostile;
        quint16 closedPort = 0;
        {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            closedPort = closed.serverPort();
        }
        hostile.setHandler([failure, closedPort](const ScriptedRequest&, QTcpSocket* s) {
            if (failure == "shorter than announced")
                ScriptedHttpServer::shortBody(s, "[APPLICATION]\nVersion=9\n", 5000);
            else if (failure == "redirect to a closed port")
                ScriptedHttpServer::redirect(s, "http://127.0.0.1:" + QByteArray::number(closedPort) + "/x.inf");
            else if (failure == "past the ceiling, announced")
                ScriptedHttpServer::stream(s, 1LL << 30, '\n');
            else if (failure == "one line of 1 GB, not announced")
                ScriptedHttpServer::stream(s, 1LL << 30, '9', false);
            else if (failure == "404")
                ScriptedHttpServer::reply(s, 404, "[APPLICATION]\nVersion=9\n");
            else if (failure == "500")
                ScriptedHttpServer::reply(s, 500, "[APPLICATION]\nVersion=9\n");
            else if (failure == "reset mid-body")
                ScriptedHttpServer::resetMidBody(s, "[APPLICATION]\nVersion=9\n", 5000);
            else
                ScriptedHttpServer::stream(s, 48 << 10, '\n'); // below the ceiling, past the disk
        });
        QByteArray base = hostile.url("/liveupdate/quillet/");
        if (failure == "no server") {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            base = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/liveupdate/quillet/";
        }
        Update::setUpdateBaseUrl(base);
        THttpClient http;
        for (const bool quiet : {true, false}) {
            TMessageBox::clearTestState();
            TMessageBox::setNextAnswer(Answer::Ok);
            {
                QFile stale(descriptorPath()); // from an earlier check: deleted before the download
                QVERIFY(stale.open(QIODevice::WriteOnly));
                stale.write("[APPLICATION]\nVersion=9\n");
            }
            std::optional<FileSizeLimit> limit;
            if (failure == "disk full")
                limit.emplace(16 << 10);
            QVERIFY(!Update::CheckForUpdate(http, quiet));
            limit.reset();
            QVERIFY(!QFile::exists(descriptorPath()));
            QCOMPARE(shownTexts(), quiet ? QStringList() : QStringList{kNoUpdate});
        }
        Update::setUpdateBaseUrl(m_server.url("/liveupdate/quillet/"));
    }

    void aDescriptorThatCannotBeCreatedEndsQuietly()
    {
        // The application directory is gone: nothing can be written there.
        UUtils::setAppDir(m_dir.filePath("missing/folder"));
        const int requests = int(m_server.requests().size());
        THttpClient http;
        QVERIFY(!Update::CheckForUpdate(http, true));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        TMessageBox::setNextAnswer(Answer::Ok);
        QVERIFY(!Update::CheckForUpdate(http, false));
        QCOMPARE(shownTexts(), QStringList{kNoUpdate});
        QCOMPARE(int(m_server.requests().size()), requests);
        QVERIFY(!QFileInfo::exists(m_dir.filePath("missing")));

        // A folder in the descriptor's place is left alone.
        UUtils::setAppDir(m_dir.path());
        QVERIFY(QDir(m_dir.path()).mkdir("mainappupdate.inf"));
        QCOMPARE(Update::DownloadFile(http, Update::descriptorUrl(), descriptorPath()), Update::Download::Failed);
        QVERIFY(QFileInfo(descriptorPath()).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir("mainappupdate.inf"));
    }

    void aCheckWhileAnotherRequestWaitsIsRefused()
    {
        ScriptedHttpServer silent;
        QPointer<QTcpSocket> held;
        silent.setHandler([&held](const ScriptedRequest&, QTcpSocket* s) { held = s; });
        {
            QFile stale(descriptorPath());
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("[APPLICATION]\nVersion=1\n");
        }
        THttpClient http;
        QTimer poll;
        poll.setInterval(20);
        bool quietResult = true, loudResult = true;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!held)
                return;
            poll.stop();
            TMessageBox::setNextAnswer(Answer::Ok);
            quietResult = Update::CheckForUpdate(http, true);
            loudResult = Update::CheckForUpdate(http, false);
            ScriptedHttpServer::reply(held, 200, "OK");
        });
        poll.start();
        QByteArray body;
        QCOMPARE(http.post(silent.url("/news"), {{"a", "b"}}, body), THttpClient::Result::Ok);
        QVERIFY(!quietResult && !loudResult);
        QCOMPARE(shownTexts(),
                 QStringList{
                     "The program is still waiting for an answer from the news site. Please try again in a moment."});
        QVERIFY(QFile::exists(descriptorPath())); // untouched
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
