// News figures: filling the news window, reading the replies, and a 200 MB download's memory.

#include "PeakMemory.h"

#include "news/FNews.h"
#include "news/NewsProtocol.h"
#include "platform/HttpClient.h"

#include "../tests/support/ScriptedHttpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTreeWidget>

#include <cstdio>

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

    // A 200 MB download streams through: the memory it adds stays small.
    const double before = peakRssMiB();
    ScriptedHttpServer server;
    server.setHandler([](const ScriptedRequest&, QTcpSocket* s) { ScriptedHttpServer::stream(s, 200LL << 20); });
    THttpClient http;
    CountingSink sink;
    clock.restart();
    if (http.get(server.url("/big"), sink, 200LL << 20) != THttpClient::Result::Ok || sink.count != (200LL << 20))
        return 1;
    bench("download_200mib_rate", 200.0 / (clock.nsecsElapsed() / 1e9), "MiB/s");
    bench("download_200mib_peak_memory_growth", peakRssMiB() - before, "MiB");
    return html.isEmpty() ? 1 : 0;
}
