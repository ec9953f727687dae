// The publishers' lint on 1 MB settings documents built to make a careless scan slow: each figure
// is the best of a few runs of LintSettingsDocument, in milliseconds. It must stay well under a
// second for any content of that size.
#include "branding/SettingsLint.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qsizetype kDocumentSize = 1 << 20;
constexpr int kRepeats = 3;
qsizetype g_warnings = 0; // keeps the results in use

void bench(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// piece repeated up to size bytes, then tail.
QByteArray repeated(const QByteArray& piece, qsizetype size, const QByteArray& tail = {})
{
    QByteArray out;
    out.reserve(size + tail.size());
    while (out.size() + piece.size() <= size)
        out += piece;
    return out + tail;
}

QByteArray tag(const QByteArray& name, const QByteArray& value)
{
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

double lintMilliseconds(const QByteArray& document)
{
    double best = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        const StringList warnings = LintSettingsDocument(document);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        g_warnings += warnings.size();
    }
    return best;
}

} // namespace

int main()
{
    // Many opening markers and one end: every "<%%" looks for the "%%>" that ends its name.
    bench("lint_160k_open_markers_ms", lintMilliseconds(repeated("<%%", 160000 * 3, "%%>")), "ms");
    bench("lint_1mb_open_markers_ms", lintMilliseconds(repeated("<%%", kDocumentSize, "%%>")), "ms");
    // Almost-markers for every tag the loader reads: each search matches far before it fails.
    bench("lint_1mb_near_markers_ms", lintMilliseconds(repeated("<%%BANNER1%%<%%/BANNER1%%", kDocumentSize)), "ms");
    // A new unknown tag every few bytes.
    {
        QByteArray document;
        for (int n = 0; document.size() < kDocumentSize; ++n)
            document += "<%%t" + QByteArray::number(n) + "%%>";
        bench("lint_1mb_unknown_tags_ms", lintMilliseconds(document), "ms");
    }
    // Placeholders in AffiliateURL and a long AffiliateID: the substitution's length is measured,
    // not built.
    bench("lint_1mb_affiliate_placeholders_ms",
          lintMilliseconds(tag("AffiliateURL", repeated("%%AFFILIATEID%%", kDocumentSize / 2)) +
                           tag("AffiliateID", QByteArray(kDocumentSize / 2, 'x'))),
          "ms");
    // One line per tag, 16 of each numbered one, values of a few kB.
    {
        QByteArray document;
        for (const char* base : {"Welcome", "Banner", "Link"})
            for (int n = 1; n <= 16; ++n)
                document += tag(base + QByteArray::number(n), "a.gif^http://x.example/" + QByteArray(20000, 'v'));
        bench("lint_1mb_full_document_ms", lintMilliseconds(document), "ms");
    }
    return 0;
}
