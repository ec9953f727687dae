// The three news requests against the reference news service and against scripted replies.

#include "branding/Branding.h"
#include "news/NewsProtocol.h"
#include "news/NewsRequests.h"
#include "platform/HttpClient.h"
#include "platform/MessageBox.h"

#include "support/PhpTestServer.h"
#include "support/ScriptedHttpServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QString kAccess = "There is a trouble accessing the news site. Contact your provider.";
const QString kSettings = "There is a trouble in the settings file on the news site.";
const QString kUser = "There is a trouble with the Publisher Id. Contact your provider.";
const QString kProduct = "There is a trouble with the product validation. Contact your provider.";
const QString kNews = "There is a trouble with this news. Contact your provider.";

QStringList shownTexts()
{
    QStringList texts;
    for (const TMessageBox::Shown& shown : TMessageBox::shownMessages())
        texts << shown.text;
    return texts;
}

// The body of message 7, with the bytes the escaping must carry: "$", 0xAF, high bytes, line
// breaks and a leading space.
const QByteArray kBody7 = " <p>Price: $5 \xAF OK \xE9t\xE9</p>\r\n<b>Hi</b>";

} // namespace

class TestNewsRequests : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_messages;
    PhpTestServer m_php;

    void writeMessages(const QByteArray& text)
    {
        QFile file(m_messages);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    void useLevel(const QByteArray& type, const QByteArray& publisher, const QByteArray& baseUrl)
    {
        branding() = Branding();
        branding().BranderType = type;
        branding().BranderCode = "QUILLET-TEST";
        branding().MasterPublID = branding().GoldPublID = publisher;
        branding().MasterNewsBaseURL = branding().GoldNewsBaseURL = baseUrl;
    }

    static void answerBoxes()
    {
        TMessageBox::clearTestState();
        for (int i = 0; i < 10; ++i) // every box is answered at once, none waits for a user
            TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_messages = m_dir.filePath("messages.txt");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLET_NEWS_MESSAGES", m_messages);
        QVERIFY(m_php.start(qEnvironmentVariable("QUILLET_SOURCE_DIR") + "/examples/news-service", env));
    }

    void init()
    {
        answerBoxes();
        writeMessages("publisher: PUB BM\nproduct: QUILLET-TEST\n"
                      "message: 6^Oldest^May 1\n<p>six</p>\n"
                      "message: 15^Caf\xE9 news^June 3, 2024^extra\n<p>fifteen</p>\n"
                      "message: 7^Second^May 2\n" +
                      kBody7 + "\n");
        useLevel("Master", "PUB", m_php.url("/"));
    }

    void referenceServiceAnswers_data()
    {
        QTest::addColumn<QByteArray>("baseUrl");
        QTest::newRow("with slash") << m_php.url("/");
        QTest::newRow("without slash") << m_php.url("");
    }
    void referenceServiceAnswers()
    {
        QFETCH(QByteArray, baseUrl);
        branding().MasterNewsBaseURL = baseUrl;
        THttpClient http;

        StringList list{"kept"};
        QVERIFY(News::GetNewsList(http, "PUB", "QUILLET-TEST", "BM", "UA", list));
        QCOMPARE(list, (StringList{"kept", "15^Caf\xE9 news^June 3, 2024", "7^Second^May 2", "6^Oldest^May 1"}));

        QByteArray id, title;
        QVERIFY(News::GetLatestNews(http, "PUB", "QUILLET-TEST", "BM", "UA", id, title));
        QCOMPARE(id, QByteArray("15"));
        QCOMPARE(title, QByteArray("Caf\xE9 news"));

        QByteArray html;
        QVERIFY(News::GetNewsDetails(http, "PUB", "QUILLET-TEST", "BM", "UA", "7", html));
        QCOMPARE(html, kBody7);
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void referenceServiceWithoutNews()
    {
        writeMessages("publisher: PUB BM\nproduct: QUILLET-TEST\n");
        THttpClient http;
        StringList list;
        QVERIFY(News::GetNewsList(http, "PUB", "QUILLET-TEST", "BM", "UA", list));
        QVERIFY(list.isEmpty());
        QByteArray id = "x", title = "y";
        QVERIFY(News::GetLatestNews(http, "PUB", "QUILLET-TEST", "BM", "UA", id, title));
        QVERIFY(id.isEmpty() && title.isEmpty());
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    // Every row of the error table, as the reference service produces it.
    void referenceServiceErrors_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("publisher");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("removeMessages");
        QTest::addColumn<QString>("listMessage");
        QTest::addColumn<QString>("detailsMessage");
        QTest::newRow("404 is the empty reply")
            << QByteArray("Master") << QByteArray("PUB") << QByteArray("QUILLET-TEST") << QByteArray("/nowhere/")
            << false << kAccess << kAccess;
        QTest::newRow("CONNECTIONFAIL") << QByteArray("Master") << QByteArray("PUB") << QByteArray("QUILLET-TEST")
                                        << QByteArray("/") << true << kSettings << kSettings;
        QTest::newRow("INVALIDUSER") << QByteArray("Master") << QByteArray("NOBODY") << QByteArray("QUILLET-TEST")
                                     << QByteArray("/") << false << kUser << kUser;
        QTest::newRow("INVALIDPRODUCT code") << QByteArray("Master") << QByteArray("PUB") << QByteArray("OTHER")
                                             << QByteArray("/") << false << kProduct << kProduct;
        QTest::newRow("INVALIDPRODUCT level") << QByteArray("Gold") << QByteArray("PUB") << QByteArray("QUILLET-TEST")
                                              << QByteArray("/") << false << kProduct << kProduct;
        QTest::newRow("INVALIDNEWS") << QByteArray("Master") << QByteArray("PUB") << QByteArray("QUILLET-TEST")
                                     << QByteArray("/") << false << QString() << kNews;
    }
    void referenceServiceErrors()
    {
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, publisher);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, path);
        QFETCH(bool, removeMessages);
        QFETCH(QString, listMessage);
        QFETCH(QString, detailsMessage);
        if (removeMessages)
            QFile::remove(m_messages);
        useLevel(type, publisher, m_php.url(path));
        const QByteArray product = type == "Gold" ? "BG" : "BM";
        const QByteArray newsId = listMessage.isEmpty() ? "99" : "7";
        THttpClient http;

        StringList list{"kept"};
        const bool listOk = News::GetNewsList(http, publisher, code, product, "UA", list);
        QCOMPARE(listOk, listMessage.isEmpty()); // INVALIDNEWS only concerns a body
        QCOMPARE(list.first(), QByteArray("kept"));
        QCOMPARE(shownTexts(), listMessage.isEmpty() ? QStringList() : QStringList{listMessage});
        answerBoxes();

        QByteArray id = "x", title = "y";
        QCOMPARE(News::GetLatestNews(http, publisher, code, product, "UA", id, title), listMessage.isEmpty());
        QVERIFY(TMessageBox::shownMessages().isEmpty());

        QByteArray html = "stale";
        QVERIFY(!News::GetNewsDetails(http, publisher, code, product, "UA", newsId, html));
        QCOMPARE(html, QByteArray());
        QCOMPARE(shownTexts(), QStringList{detailsMessage});
        for (const TMessageBox::Shown& shown : TMessageBox::shownMessages()) {
            QCOMPARE(shown.kind, TMessageBox::Kind::Warning);
            QCOMPARE(shown.buttons, TMessageBox::Buttons::Ok);
        }
    }

    // Replies no well-behaved service gives, from a scripted server.
    void oddReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("listed"); // entries joined by '|'
        QTest::addColumn<QByteArray>("latestId");
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("message"); // of the list and the details request
        QTest::newRow("500") << 500 << QByteArray("OK") << false << QByteArray() << QByteArray() << QByteArray()
                             << kAccess;
        QTest::newRow("OK inside a longer text")
            << 200 << QByteArray("Not OK: database down") << true << QByteArray("Not OK: database down")
            << QByteArray("Not OK: database down") << QByteArray("Not OK: database down") << QString();
        QTest::newRow("invalid escape") << 200 << QByteArray("Hi $G0 there\xAFOK") << true << QByteArray("Hi $G0 there")
                                        << QByteArray("Hi $G0 there") << QByteArray() << QString();
        QTest::newRow("short entries") << 200 << QByteArray("9\xAF^\xAFOK") << true << QByteArray("9|^")
                                       << QByteArray("9\xAF") << QByteArray("9\xAF^") << QString();
        QTest::newRow("no caret, id not a number") << 200 << QByteArray("abc\xAFOK") << true << QByteArray("abc")
                                                   << QByteArray("abc") << QByteArray("abc") << QString();
        QTest::newRow("lower-case code") << 200 << QByteArray("invaliduser") << false << QByteArray() << QByteArray()
                                         << QByteArray() << QString();
        QTest::newRow("code with line breaks") << 200 << QByteArray("\r\n INVALIDUSER\r\n") << false << QByteArray()
                                               << QByteArray() << QByteArray() << kUser;
    }
    void oddReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(QByteArray, listed);
        QFETCH(QByteArray, latestId);
        QFETCH(QByteArray, html);
        QFETCH(QString, message);
        ScriptedHttpServer server;
        server.setHandler([&](const ScriptedRequest&, QTcpSocket* s) { ScriptedHttpServer::reply(s, status, reply); });
        useLevel("Master", "PUB", server.url("/news"));
        THttpClient http;

        StringList list;
        QCOMPARE(News::GetNewsList(http, "PUB", "C", "BM", "UA", list), ok);
        QCOMPARE(list, listed.isEmpty() ? StringList() : listed.split('|'));
        QByteArray id, title;
        QCOMPARE(News::GetLatestNews(http, "PUB", "C", "BM", "UA", id, title), ok);
        QCOMPARE(id, latestId);
        QByteArray body;
        QCOMPARE(News::GetNewsDetails(http, "PUB", "C", "BM", "UA", "1", body), ok);
        QCOMPARE(body, html);
        const QStringList expected = message.isEmpty() ? QStringList() : QStringList{message, message};
        QCOMPARE(shownTexts(), expected);
        QCOMPARE(server.requests().at(0).path, QByteArray("/news/getlastnews.php"));
        QCOMPARE(server.requests().at(2).path, QByteArray("/news/getnewsdetails.php"));
    }

    // Replies meant to hurt: each costs what it holds, and past the cap it is a failed transfer.
    void hostileReplies_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("entries");
        QTest::addColumn<qsizetype>("htmlSize");
        QTest::addColumn<QString>("message"); // of the list and the details request
        QTest::newRow("30 MB of bare separators")
            << "separators" << true << 0 << qsizetype((30 << 20) - 1) << QString();
        QTest::newRow("32 MB of $ escapes") << "escapes" << true << 1 << qsizetype(11000000) << QString();
        QTest::newRow("32 MB of bare $") << "dollars" << true << 1 << qsizetype(0) << QString();
        QTest::newRow("5,000,000 entries")
            << "entries" << true << int(News::kMaxNewsEntries) << qsizetype(-1) << QString();
        QTest::newRow("past the cap") << "past the cap" << false << 0 << qsizetype(0) << kAccess;
        QTest::newRow("shorter than announced") << "short" << false << 0 << qsizetype(0) << kAccess;
    }
    void hostileReplies()
    {
        QFETCH(QString, kind);
        QFETCH(bool, ok);
        QFETCH(int, entries);
        QFETCH(qsizetype, htmlSize);
        QFETCH(QString, message);
        QByteArray reply;
        if (kind == "separators")
            reply = QByteArray(30 << 20, char(0xAF)) + "OK";
        else if (kind == "escapes")
            reply = QByteArray("$24").repeated(11000000) + "\xAFOK";
        else if (kind == "dollars")
            reply = QByteArray(32000000, '$') + "\xAFOK";
        else if (kind == "entries")
            reply = QByteArray("1^a^b\xAF").repeated(5000000) + "OK";
        else if (kind == "past the cap")
            reply = QByteArray(THttpClient::kMaxReplySize + 1, 'K') + "OK";
        ScriptedHttpServer server;
        server.setHandler([&](const ScriptedRequest&, QTcpSocket* s) {
            if (kind == "short")
                ScriptedHttpServer::shortBody(s, "1^a^b\xAFOK", 100000);
            else
                ScriptedHttpServer::reply(s, 200, reply);
        });
        useLevel("Master", "PUB", server.url("/news"));
        THttpClient http;
        StringList list;
        QCOMPARE(News::GetNewsList(http, "PUB", "C", "BM", "UA", list), ok);
        QCOMPARE(list.size(), entries);
        QByteArray html;
        QCOMPARE(News::GetNewsDetails(http, "PUB", "C", "BM", "UA", "1", html), ok);
        if (htmlSize >= 0)
            QCOMPARE(html.size(), htmlSize);
        if (kind == "escapes")
            QVERIFY(html.count('$') == html.size());
        QCOMPARE(shownTexts(), (message.isEmpty() ? QStringList() : QStringList{message, message}));
    }

    void noServerIsATransferFailure()
    {
        useLevel("Master", "PUB", QByteArray()); // the level's base URL is missing
        THttpClient http;
        StringList list;
        QVERIFY(!News::GetNewsList(http, "PUB", "C", "BM", "UA", list));
        QByteArray id, title;
        QVERIFY(!News::GetLatestNews(http, "PUB", "C", "BM", "UA", id, title));
        QCOMPARE(shownTexts(), QStringList{kAccess});
    }

    void refusedAndEndedRequestsStayQuiet()
    {
        ScriptedHttpServer server;
        QPointer<QTcpSocket> held;
        server.setHandler([&held](const ScriptedRequest&, QTcpSocket* s) { held = s; });
        useLevel("Master", "PUB", server.url("/"));
        THttpClient http;
        bool secondList = true, secondLatest = true;
        QTimer poll;
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!held)
                return;
            poll.stop();
            StringList list;
            secondList = News::GetNewsList(http, "PUB", "C", "BM", "UA", list);
            QByteArray id, title;
            secondLatest = News::GetLatestNews(http, "PUB", "C", "BM", "UA", id, title);
            http.shutDown();
        });
        poll.start();
        QByteArray html;
        QVERIFY(!News::GetNewsDetails(http, "PUB", "C", "BM", "UA", "1", html));
        QVERIFY(!secondList);
        QVERIFY(!secondLatest);
        // Only the refused list request speaks; the request ended by the close says nothing.
        QCOMPARE(shownTexts(), QStringList{News::busyNewsText()});
        QCOMPARE(server.requests().size(), 1);
    }
};

QTEST_MAIN(TestNewsRequests)
#include "tst_newsrequests.moc"
