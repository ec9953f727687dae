// The HTTP client against real servers on 127.0.0.1: PHP for what a web application sees,
// a scripted server for the raw bytes and for hostile answers.

#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"

#include "support/PhpTestServer.h"
#include "support/ScriptedHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QTimer>
#include <QtTest>

using Result = THttpClient::Result;
constexpr qint64 kAnySize = 64 << 20; // a ceiling no body of these tests reaches
using Scope = THttpRequestScope;
using ScopeState = THttpRequestScope::State;

namespace {

// Counts what is written and keeps nothing.
class CountingSink : public QIODevice
{
public:
    CountingSink() { open(QIODevice::WriteOnly); }
    qint64 count = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 n) override
    {
        count += n;
        return n;
    }
};

QString phpRoot()
{
    return qEnvironmentVariable("QUILLET_SOURCE_DIR") + QStringLiteral("/tests/news/php");
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
    PhpTestServer m_php;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_php.start(phpRoot())); }

    // The rules every caller of the client goes by, in one place.
    void scopeRefusesWhileBusyAndAfterShutDown()
    {
        ScriptedHttpServer server;
        QPointer<QTcpSocket> held;
        server.setHandler([&held](const ScriptedRequest&, QTcpSocket* s) { held = s; });
        THttpClient http;
        {
            const Scope check(&http, nullptr, Scope::Purpose::UpdateCheck);
            QCOMPARE(check.state(), ScopeState::Granted);
            // One update check at a time; requests still go meanwhile.
            QCOMPARE(Scope(&http, nullptr, Scope::Purpose::UpdateCheck).state(), ScopeState::Busy);
            QCOMPARE(Scope(&http).state(), ScopeState::Granted);
        }
        QCOMPARE(Scope(&http, nullptr, Scope::Purpose::UpdateCheck).state(), ScopeState::Granted); // released

        // While a request waits, nothing else starts.
        QList<ScopeState> during;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!held)
                return;
            user.stop();
            during = {Scope(&http).state(), Scope(&http, nullptr, Scope::Purpose::UpdateCheck).state()};
            ScriptedHttpServer::reply(held, 200, "OK");
        });
        user.start();
        QByteArray body;
        QCOMPARE(http.post(server.url("/wait"), {{"a", "1"}}, body), Result::Ok);
        QCOMPARE(during, (QList<ScopeState>{ScopeState::Busy, ScopeState::Busy}));
        QCOMPARE(Scope(&http).state(), ScopeState::Granted);

        http.shutDown();
        QCOMPARE(Scope(&http).state(), ScopeState::ShutDown);
        QCOMPARE(Scope(&http, nullptr, Scope::Purpose::UpdateCheck).state(), ScopeState::ShutDown);
        QCOMPARE(Scope(nullptr).state(), ScopeState::ShutDown);
    }

    void scopeTellsWhetherTheOwnerIsAlive_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("alive");
        QTest::newRow("nothing happened") << "none" << true;
        QTest::newRow("owner destroyed") << "owner" << false;
        QTest::newRow("client shut down") << "shutdown" << false;
        QTest::newRow("client destroyed") << "client" << false;
    }
    void scopeTellsWhetherTheOwnerIsAlive()
    {
        QFETCH(QString, event);
        QFETCH(bool, alive);
        auto* http = new THttpClient;
        auto* owner = new QObject;
        {
            const Scope check(http, owner, Scope::Purpose::UpdateCheck);
            QVERIFY(check.ownerAlive());
            if (event == "owner")
                delete std::exchange(owner, nullptr);
            else if (event == "shutdown")
                http->shutDown();
            else if (event == "client")
                delete std::exchange(http, nullptr);
            QCOMPARE(check.ownerAlive(), alive);
            QCOMPARE(check.owner() != nullptr, owner != nullptr);
        } // a check that outlives its client lets go of nothing
        if (http && !http->isShutDown())
            QCOMPARE(Scope(http, nullptr, Scope::Purpose::UpdateCheck).state(), ScopeState::Granted);
        delete http;
        delete owner;
    }

    void formFieldsAsPhpReadsThem()
    {
        QByteArray binary;
        for (int c = 0x80; c <= 0xFF; ++c)
            binary.append(char(c));
        const THttpClient::FormFields fields = {{"memusername", "pub \"quoted\"\r\nline"},
                                                {"prodcode", binary},
                                                {"prodtype", "BM"},
                                                {"conttype", "all"},
                                                {"newstarget", "UA"},
                                                {"something", ""}};
        THttpClient http;
        QByteArray body;
        QCOMPARE(http.post(m_php.url("/echo.php"), fields, body), Result::Ok);
        const QJsonObject echo = QJsonDocument::fromJson(body).object();
        QCOMPARE(echo["method"].toString(), QString("POST"));
        QCOMPARE(echo["protocol"].toString(), QString("HTTP/1.1"));
        QCOMPARE(echo["files"].toInt(), 0);
        const QJsonObject headers = echo["headers"].toObject();
        QCOMPARE(headers["User-Agent"].toString(), QString("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)"));
        QCOMPARE(headers["Accept"].toString(), QString("text/html, */*"));
        QVERIFY(headers["Content-Type"].toString().startsWith("multipart/form-data; boundary=-"));
        const QJsonArray got = echo["fields"].toArray();
        QCOMPARE(got.size(), fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(got[i].toArray()[0].toString().toLatin1(), fields[i].first);
            QCOMPARE(QByteArray::fromHex(got[i].toArray()[1].toString().toLatin1()), fields[i].second);
        }
    }

    void partsCarryOnlyTheirDisposition()
    {
        ScriptedHttpServer server;
        server.setHandler([](const ScriptedRequest&, QTcpSocket* s) { ScriptedHttpServer::reply(s, 200, "OK"); });
        THttpClient http;
        QByteArray body;
        QCOMPARE(http.post(server.url("/news/getlastnews.php"), {{"a", "1"}, {"b", ""}, {"c", "x\r\n--y"}}, body),
                 Result::Ok);
        QCOMPARE(body, QByteArray("OK"));
        QCOMPARE(server.requests().size(), 1);
        const ScriptedRequest& request = server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/news/getlastnews.php"));
        QCOMPARE(request.version, QByteArray("HTTP/1.1"));
        const QByteArray type = request.header("Content-Type");
        QVERIFY(type.startsWith("multipart/form-data; boundary="));
        const QByteArray boundary = type.mid(type.indexOf('=') + 1);
        QVERIFY(!boundary.contains('"'));
        const QByteArray expected =
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n" + "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\n\r\n" + "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"c\"\r\n\r\nx\r\n--y\r\n" + "--" + boundary + "--\r\n";
        QCOMPARE(request.body, expected);
        QCOMPARE(request.header("Content-Length").toInt(), expected.size());
    }

    void cookiesSetOnARedirectComeBack()
    {
        THttpClient http;
        QByteArray body;
        // The cookie arrives with a 302; the POST is repeated at the new place.
        QCOMPARE(http.post(m_php.url("/echo.php?setcookie=session:abc&redirect=/echo.php"), {{"x", "1"}}, body),
                 Result::Ok);
        QJsonObject echo = QJsonDocument::fromJson(body).object();
        QCOMPARE(echo["cookies"].toObject()["session"].toString(), QString("abc"));
        QCOMPARE(http.cookieJar()->cookiesForUrl(QUrl(QString::fromLatin1(m_php.url("/")))).size(), 1);

        // ... and with every later request of the run.
        QCOMPARE(http.post(m_php.url("/echo.php"), {{"x", "2"}}, body), Result::Ok);
        echo = QJsonDocument::fromJson(body).object();
        QCOMPARE(echo["method"].toString(), QString("POST"));
        QCOMPARE(echo["cookies"].toObject()["session"].toString(), QString("abc"));
    }

    void redirectsUpToFifteen_data()
    {
        QTest::addColumn<int>("hops");
        QTest::addColumn<Result>("result");
        QTest::newRow("15 hops") << 15 << Result::Ok;
        QTest::newRow("16 hops") << 16 << Result::Failed;
    }
    void redirectsUpToFifteen()
    {
        QFETCH(int, hops);
        QFETCH(Result, result);
        ScriptedHttpServer server;
        server.setHandler([hops](const ScriptedRequest& r, QTcpSocket* s) {
            const int n = r.path.mid(5).toInt(); // "/hop/N"
            if (n < hops)
                ScriptedHttpServer::redirect(s, "/hop/" + QByteArray::number(n + 1));
            else
                ScriptedHttpServer::reply(s, 200, "arrived OK");
        });
        THttpClient http;
        CountingSink sink;
        QCOMPARE(http.get(server.url("/hop/0"), sink, kAnySize), result);
        // Qt may repeat a GET on a fresh connection when the server closed the last one: count places.
        QSet<QByteArray> visited;
        for (const ScriptedRequest& r : server.requests())
            visited.insert(r.path);
        QCOMPARE(visited.size(), std::min(hops, 15) + 1);
    }

    void failedTransfers_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"404", "500", "301 without Location", "reset mid-body", "closed early", "refused",
                                 "not http", "empty url", "shorter than announced", "redirect to a closed port",
                                 "redirect to a local file", "redirect to data", "redirect without a host"})
            QTest::newRow(kind) << QString(kind);
    }
    void failedTransfers()
    {
        QFETCH(QString, kind);
        quint16 closedPort = 0;
        {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            closedPort = closed.serverPort();
        }
        ScriptedHttpServer server;
        server.setHandler([kind, closedPort](const ScriptedRequest&, QTcpSocket* s) {
            if (kind == "shorter than announced")
                ScriptedHttpServer::shortBody(s, "OK, and more to come", 5000);
            else if (kind == "redirect to a closed port")
                ScriptedHttpServer::redirect(s, "http://127.0.0.1:" + QByteArray::number(closedPort) + "/x", 307);
            else if (kind == "redirect to a local file")
                ScriptedHttpServer::redirect(s, "file:///etc/hostname", 302);
            else if (kind == "redirect to data")
                ScriptedHttpServer::redirect(s, "data:text/plain,OK", 302);
            else if (kind == "redirect without a host")
                ScriptedHttpServer::redirect(s, "http:///x", 302);
            else if (kind == "404")
                ScriptedHttpServer::reply(s, 404, "OK but not found");
            else if (kind == "500")
                ScriptedHttpServer::reply(s, 500, "OK but broken");
            else if (kind == "301 without Location")
                ScriptedHttpServer::reply(s, 301, "OK");
            else if (kind == "reset mid-body")
                ScriptedHttpServer::resetMidBody(s, QByteArray(5000, 'x') + "OK", 100000);
            else
                s->abort();
        });
        QByteArray url = server.url("/x");
        if (kind == "refused") {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            url = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/x";
        } else if (kind == "not http") {
            url = "ftp-ish:nothing";
        } else if (kind == "empty url") {
            url.clear();
        }
        THttpClient http;
        QByteArray body = "stale";
        QCOMPARE(http.post(url, {{"a", "b"}}, body), Result::Failed);
        QCOMPARE(body, QByteArray());
        CountingSink sink;
        QCOMPARE(http.get(url, sink, kAnySize), Result::Failed);
    }

    void hugeBodies()
    {
        constexpr qint64 size = 200LL * 1024 * 1024;
        ScriptedHttpServer server;
        server.setHandler([](const ScriptedRequest&, QTcpSocket* s) { ScriptedHttpServer::stream(s, size, 'O'); });
        THttpClient http;

        // A news reply is held in memory: past the limit the request fails instead.
        QByteArray body;
        QCOMPARE(http.post(server.url("/big"), {{"a", "b"}}, body), Result::Failed);
        QVERIFY(body.isEmpty());

        // A download streams into its file, whatever its size.
        CountingSink sink;
        QCOMPARE(http.get(server.url("/big"), sink, size), Result::Ok);
        QCOMPARE(sink.count, size);
    }

    // A redirect sends the same request again: a POST stays a POST with its form, whatever the
    // status, with the cookies of every hop (as PHP sees it).
    void redirectsKeepTheRequest_data()
    {
        QTest::addColumn<int>("status");
        for (int status : {301, 302, 303, 307, 308})
            QTest::newRow(QByteArray::number(status).constData()) << status;
    }
    void redirectsKeepTheRequest()
    {
        QFETCH(int, status);
        const THttpClient::FormFields fields = {
            {"memusername", "PUB"}, {"prodcode", "\xE9\r\n"}, {"conttype", "all"}, {"something", ""}};
        THttpClient http;
        QByteArray body;
        // Two hops, each setting a cookie; the second Location is relative to the first hop.
        const QByteArray second =
            "echo.php?setcookie=second:2%26redirect=/echo.php%26status=" + QByteArray::number(status);
        QCOMPARE(http.post(m_php.url("/echo.php?setcookie=first:1&status=" + QByteArray::number(status) +
                                     "&redirect=" + second),
                           fields, body),
                 Result::Ok);
        const QJsonObject echo = QJsonDocument::fromJson(body).object();
        QCOMPARE(echo["method"].toString(), QString("POST"));
        const QJsonArray got = echo["fields"].toArray();
        QCOMPARE(got.size(), fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(got[i].toArray()[0].toString().toLatin1(), fields[i].first);
            QCOMPARE(QByteArray::fromHex(got[i].toArray()[1].toString().toLatin1()), fields[i].second);
        }
        QCOMPARE(echo["cookies"].toObject()["first"].toString(), QString("1"));
        QCOMPARE(echo["cookies"].toObject()["second"].toString(), QString("2"));
    }

    // Every run, not most runs: the repeated POST must arrive whole each time.
    void redirectedPostsArriveEveryTime()
    {
        ScriptedHttpServer server;
        int hop = 0;
        server.setHandler([&hop](const ScriptedRequest& r, QTcpSocket* s) {
            if (r.path == "/news/getlastnews.php")
                ScriptedHttpServer::redirect(s, "moved/here.php", hop++ % 2 ? 307 : 302);
            else
                ScriptedHttpServer::reply(s, 200, r.method + ' ' + r.path + ' ' + r.body);
        });
        THttpClient http;
        int whole = 0;
        for (int run = 0; run < 100; ++run) {
            const QByteArray value = "run " + QByteArray::number(run);
            QByteArray body;
            if (http.post(server.url("/news/getlastnews.php"), {{"memusername", value}}, body) == Result::Ok &&
                body.startsWith("POST /news/moved/here.php --") && body.contains("\r\n\r\n" + value + "\r\n"))
                ++whole;
        }
        QCOMPARE(whole, 100);
    }

    // A loop whose status changes on every hop: sixteen requests, each the same POST, then failure.
    void aRedirectLoopFails()
    {
        ScriptedHttpServer server;
        const QList<int> statuses{301, 302, 303, 307, 308};
        int hop = 0;
        server.setHandler([&](const ScriptedRequest&, QTcpSocket* s) {
            ScriptedHttpServer::redirect(s, "/loop/" + QByteArray::number(hop), statuses[hop % statuses.size()]);
            ++hop;
        });
        THttpClient http;
        QByteArray body;
        QCOMPARE(http.post(server.url("/loop/start"), {{"a", "1"}, {"b", "2"}}, body), Result::Failed);
        QCOMPARE(server.requests().size(), qsizetype(THttpClient::kMaxRedirects + 1));
        for (const ScriptedRequest& r : server.requests()) {
            QCOMPARE(r.method, QByteArray("POST"));
            QCOMPARE(r.body.size(), server.requests().first().body.size());
        }
    }

    // Past its ceiling a transfer fails, whether the size is announced or not, and a redirect's
    // body counts for nothing.
    void ceilings_data()
    {
        QTest::addColumn<bool>("announce");
        QTest::addColumn<bool>("download");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("ok");
        for (const bool download : {false, true}) {
            const char* kind = download ? "get" : "post";
            QTest::addRow("%s, announced, at the ceiling", kind) << true << download << qint64(64 << 10) << true;
            QTest::addRow("%s, announced, one byte past", kind) << true << download << qint64((64 << 10) + 1) << false;
            QTest::addRow("%s, not announced, at the ceiling", kind) << false << download << qint64(64 << 10) << true;
            QTest::addRow("%s, not announced, 1 GB", kind) << false << download << (qint64(1) << 30) << false;
        }
    }
    void ceilings()
    {
        QFETCH(bool, announce);
        QFETCH(bool, download);
        QFETCH(qint64, size);
        QFETCH(bool, ok);
        ScriptedHttpServer server;
        server.setHandler([&](const ScriptedRequest& r, QTcpSocket* s) {
            if (r.path == "/start")
                ScriptedHttpServer::reply(s, 302, QByteArray(200 << 10, 'r'), {"Location: /body"});
            else
                ScriptedHttpServer::stream(s, size, 'O', announce);
        });
        THttpClient http;
        const qint64 ceiling = 64 << 10;
        if (download) {
            CountingSink sink;
            QCOMPARE(http.get(server.url("/start"), sink, ceiling), ok ? Result::Ok : Result::Failed);
            QVERIFY(sink.count <= ceiling);
            if (ok)
                QCOMPARE(sink.count, size);
        } else {
            QByteArray body;
            QCOMPARE(http.post(server.url("/start"), {{"a", "1"}}, body, ceiling), ok ? Result::Ok : Result::Failed);
            QCOMPARE(body.size(), ok ? size : 0);
        }
    }

    // Closing a window ends its own request, never someone else's.
    void cancelEndsOnlyTheOwnersRequest()
    {
        ScriptedHttpServer server;
        QPointer<QTcpSocket> held;
        server.setHandler([&held](const ScriptedRequest&, QTcpSocket* s) { held = s; });
        THttpClient http;
        QObject window, other;
        bool stillBusy = false;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            if (!held)
                return;
            user.stop();
            http.cancel(&other);
            http.cancel(nullptr);
            stillBusy = http.isBusy();
            http.cancel(&window);
        });
        user.start();
        const THttpRequestScope scope(&http, &window);
        QByteArray body;
        QCOMPARE(http.post(server.url("/slow"), {{"a", "1"}}, body), Result::Aborted);
        QVERIFY(stillBusy);
        QVERIFY(!http.isShutDown());
        QVERIFY(scope.ownerAlive());
    }

    void aSinkThatRefusesFailsTheDownload()
    {
        ScriptedHttpServer server;
        server.setHandler([](const ScriptedRequest&, QTcpSocket* s) { ScriptedHttpServer::stream(s, 1 << 20); });
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        THttpClient http;
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
        QCOMPARE(http.get(server.url("/f"), readOnly, kAnySize), Result::Failed);
    }

    void aSecondRequestIsRefusedWhileOneWaits()
    {
        ScriptedHttpServer server;
        QPointer<QTcpSocket> held;
        server.setHandler([&held](const ScriptedRequest&, QTcpSocket* s) { held = s; });
        THttpClient http;
        Result second = Result::Ok;
        QByteArray secondBody = "untouched";
        int ticks = 0;
        QTimer input; // stands for the user's input while the first request waits
        input.setInterval(20);
        connect(&input, &QTimer::timeout, this, [&] {
            if (!held || ++ticks < 3)
                return;
            input.stop();
            QVERIFY(http.isBusy());
            second = http.post(server.url("/second"), {{"b", "2"}}, secondBody);
            ScriptedHttpServer::reply(held, 200, "first OK");
        });
        input.start();
        QByteArray body;
        QCOMPARE(http.post(server.url("/first"), {{"a", "1"}}, body), Result::Ok);
        QCOMPARE(body, QByteArray("first OK"));
        QCOMPARE(second, Result::Busy);
        QCOMPARE(secondBody, QByteArray());
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(!http.isBusy());
    }

    void shutDownEndsASilentServer()
    {
        ScriptedHttpServer server;
        server.setHandler([](const ScriptedRequest&, QTcpSocket*) {}); // accepts, never answers
        THttpClient http;
        QTimer::singleShot(300, &http, [&http] {
            http.shutDown();
            http.shutDown(); // twice, as the window's close does
        });
        QByteArray body;
        QCOMPARE(http.post(server.url("/silent"), {{"a", "b"}}, body), Result::Aborted);
        QVERIFY(http.isShutDown());
        QCOMPARE(http.post(server.url("/later"), {{"a", "b"}}, body), Result::Aborted);
        CountingSink sink;
        QCOMPARE(http.get(server.url("/later"), sink, kAnySize), Result::Aborted);
        QCOMPARE(server.requests().size(), 1);
    }

    void destroyingTheClientEndsTheWait()
    {
        ScriptedHttpServer server;
        server.setHandler([](const ScriptedRequest&, QTcpSocket*) {});
        auto* http = new THttpClient;
        QTimer::singleShot(300, [http] { delete http; });
        QByteArray body = "stale";
        QCOMPARE(http->post(server.url("/silent"), {{"a", "b"}}, body), Result::Aborted);
        QCOMPARE(body, QByteArray());
    }
};

QTEST_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
