// News figures: filling the news window, reading the replies, and what transfers cost in memory.

#include "PeakMemory.h"
#include "StallMeter.h"

#include "news/FNews.h"
#include "news/NewsProtocol.h"
#include "news/UpdateCheck.h"
#include "platform/HttpClient.h"
#include "util/Files.h"

#include "../tests/support/ScriptedHttpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

void bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

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

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Sets the peak back to the current resident size (Linux: clear_refs 5) and returns that size.
double resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return residentMiB();
}

// Runs work from the event loop, as a click would, and returns once it is done.
void runFromEventLoop(const std::function<void()>& work)
{
    QEventLoop loop;
    QTimer::singleShot(5, &loop, [&] {
        work();
        loop.quit();
    });
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

    // A list reply of 10,000 entries.
    QByteArray reply;
    for (int i = 10000; i > 0; --i)
        reply += QByteArray::number(i) + "^Message number " + QByteArray::number(i) + " with a title^June 3, 2024\xAF";
    reply += "OK";
    QElapsedTimer clock;
    clock.start();
    const StringList entries = News::parseNewsList(reply);
    bench("news_list_parse_10000", clock.nsecsElapsed() / 1e6, "ms");

    clock.restart();
    {
        TfrmNews window(nullptr, entries);
        window.show();
        app.processEvents();
        if (window.lvwItems->topLevelItemCount() != 10000)
            return 1;
        bench("news_window_show_10000", clock.nsecsElapsed() / 1e6, "ms");
    }

    // A list reply of 5,000,000 entries (30 MB) read and shown: the list keeps the first ones.
    {
        QByteArray huge = QByteArray("1^a^b\xAF").repeated(5000000) + "OK";
        const double base = resetPeak();
        StallMeter stalls;
        clock.restart();
        runFromEventLoop([&] {
            const QByteArray text = News::replyText(true, std::move(huge));
            StringList list;
            if (News::isSuccessReply(text))
                list = News::parseNewsList(text);
            TfrmNews window(nullptr, list);
            window.show();
            app.processEvents();
            if (window.lvwItems->topLevelItemCount() != int(News::kMaxNewsEntries))
                std::exit(1);
        });
        const double longest = stalls.longestMs();
        bench("news_list_5m_read_and_show", clock.nsecsElapsed() / 1e6, "ms");
        bench("news_list_5m_peak_memory_growth", peakRssMiB() - base, "MiB");
        bench("news_list_5m_longest_stall", longest, "ms");
    }

    // An escaped body of 8 MiB.
    QByteArray escaped;
    escaped.reserve(8 << 20);
    while (escaped.size() < (8 << 20))
        escaped += "<p>Some$20text$20with$20escapes$0D$0A</p>";
    clock.restart();
    const QByteArray html = UUtils::DecodeDollarHex(escaped);
    bench("decode_dollar_hex", escaped.size() / (1024.0 * 1024.0) / (clock.nsecsElapsed() / 1e9), "MiB/s");
    escaped.clear();
    escaped.squeeze();

    ScriptedHttpServer server;
    server.setHandler([](const ScriptedRequest& r, QTcpSocket* s) {
        if (r.path == "/big")
            ScriptedHttpServer::stream(s, 200LL << 20);
        else // 1 GB without a length, as fast as the client reads
            ScriptedHttpServer::stream(s, 1LL << 30, '9', false);
    });

    // A 200 MB download streams through: the memory it adds stays small.
    {
        const double base = resetPeak();
        THttpClient http;
        CountingSink sink;
        clock.restart();
        if (http.get(server.url("/big"), sink, 200LL << 20) != THttpClient::Result::Ok || sink.count != (200LL << 20))
            return 1;
        bench("download_200mib_rate", 200.0 / (clock.nsecsElapsed() / 1e9), "MiB/s");
        bench("download_200mib_peak_memory_growth", peakRssMiB() - base, "MiB");
    }

    // 1 GB streamed at a news request: the reply is cut at its 32 MB cap.
    {
        THttpClient http;
        const double base = resetPeak();
        StallMeter stalls;
        QByteArray body;
        if (http.post(server.url("/endless"), {{"memusername", "PUB"}}, body) != THttpClient::Result::Failed)
            return 1;
        bench("news_request_1gib_stream_peak_memory_growth", peakRssMiB() - base, "MiB");
        bench("news_request_1gib_stream_longest_stall", stalls.longestMs(), "ms");
    }

    // 1 GB of one line streamed as the update descriptor: cut at its ceiling, nothing left.
    {
        QTemporaryDir dir;
        THttpClient http;
        const QString local = dir.filePath(QString::fromLatin1(Update::kDescriptorName));
        const double base = resetPeak();
        StallMeter stalls;
        if (Update::DownloadFile(http, server.url("/endless"), local) != Update::Download::Failed ||
            QFile::exists(local))
            return 1;
        bench("descriptor_1gib_stream_peak_memory_growth", peakRssMiB() - base, "MiB");
        bench("descriptor_1gib_stream_longest_stall", stalls.longestMs(), "ms");
    }
    return html.isEmpty() ? 1 : 0;
}
