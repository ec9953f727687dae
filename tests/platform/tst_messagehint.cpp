// The balloon: its size whatever the text, its own font, its shape without a compositor, and the
// mouse it holds while shown. Run headless and, where Xvfb is at hand, on a real X server.

#include "platform/MessageHint.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define HAVE_XCB 1
#endif

namespace {

const QString kHeader = QStringLiteral("You've Got A Message!\r\n");

} // namespace

class TestMessageHint : public QObject
{
    Q_OBJECT

    QPoint anchor() const { return QGuiApplication::primaryScreen()->geometry().center(); }

private Q_SLOTS:
    void cleanup() { qApp->setStyleSheet(QString()); }

    void keepsItsShape_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("whole"); // every character is shown
        QTest::newRow("short") << QStringLiteral("New prices") << true;
        QTest::newRow("rich text stays text") << QStringLiteral("<b>bold</b> &amp; <img src=/dev/zero>") << true;
        QTest::newRow("one long word") << QString(60, QLatin1Char('W')) << true;
        QTest::newRow("1 MB without blanks") << QString(1 << 20, QLatin1Char('W')) << false;
        QTest::newRow("1 MB of words") << QStringLiteral("word ").repeated(200000) << false;
        QTest::newRow("many lines") << QStringLiteral("line\r\n").repeated(1000) << false;
    }
    void keepsItsShape()
    {
        QFETCH(QString, title);
        QFETCH(bool, whole);
        TMessageHint hint;
        hint.showHint(anchor(), kHeader + title);
        QVERIFY(hint.isVisible());
        QCOMPARE(hint.text(), kHeader + title);

        const int wrap = QGuiApplication::primaryScreen()->geometry().width() / 4;
        const QFontMetrics metrics(hint.textFont());
        const QStringList lines = hint.shownLines();
        QVERIFY(!lines.isEmpty() && lines.size() <= TMessageHint::kMaxLines);
        QCOMPARE(lines.first(), QStringLiteral("You've Got A Message!"));
        for (const QString& line : lines) // a blank a line was broken at takes no room
            QVERIFY2(metrics.horizontalAdvance(QString(line).remove(QRegularExpression("\\s+$"))) <= wrap,
                     qPrintable(line.left(80)));
        // Text, padding, tail and shadow: a quarter of the screen wide at most, a few lines high.
        QVERIFY(hint.width() <= wrap + 40);
        QVERIFY(hint.height() <= TMessageHint::kMaxLines * metrics.lineSpacing() + 40);
        if (whole) {
            QCOMPARE(lines.mid(1).join(QString()), title);
        } else {
            QCOMPARE(lines.size(), TMessageHint::kMaxLines);
            QVERIFY(lines.last().endsWith(QChar(0x2026)));
        }
    }

    void drawsInItsOwnFont()
    {
        const QString text = kHeader + QStringLiteral("Spring offers for every member of the programme");
        TMessageHint plain;
        plain.showHint(anchor(), text);
        const QSize size = plain.size();

        qApp->setStyleSheet(QStringLiteral("* { font: 24pt \"DejaVu Serif\"; } QToolTip { font: 30pt; }"));
        TMessageHint styled;
        styled.showHint(anchor(), text);
        QCOMPARE(styled.textFont().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(styled.textFont().pointSize(), 8);
        QCOMPARE(styled.size(), size);
        QCOMPARE(styled.shownLines(), plain.shownLines());
    }

    void takesAMaskWithoutTranslucency()
    {
        TMessageHint hint;
        hint.showHint(anchor(), kHeader + QStringLiteral("shape"));
        if (TMessageHint::translucencyAvailable())
            QSKIP("this desktop draws translucent windows");
        const QRegion mask = hint.mask();
        QVERIFY(!mask.isEmpty());
        const int tipX = hint.width() - TMessageHint::kShadow - TMessageHint::kTailInset;
        QVERIFY(mask.contains(QPoint(tipX - 1, 4)));                   // the tail
        QVERIFY(mask.contains(QRect(hint.rect()).center()));           // the body
        QVERIFY(!mask.contains(QPoint(0, 0)));                         // above the body, beside the tail
        QVERIFY(!mask.contains(QPoint(1, TMessageHint::kTailHeight))); // the rounded corner
        QVERIFY(!mask.contains(QPoint(hint.width() - 1, TMessageHint::kTailHeight)));
    }

    void holdsTheMouseUntilAClick()
    {
        QPushButton other(QStringLiteral("elsewhere"));
        other.setGeometry(QRect(anchor() + QPoint(-300, 100), QSize(100, 30)));
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QSignalSpy clicks(&other, &QPushButton::clicked);

        TMessageHint hint;
        hint.showHint(anchor(), kHeader + QStringLiteral("first"));
        hint.showHint(anchor(), kHeader + QStringLiteral("second")); // replaces the first
        QVERIFY(QTest::qWaitForWindowExposed(&hint));
        QCOMPARE(QWidget::mouseGrabber(), &hint);
        QVERIFY(!hint.isActiveWindow());

        // A click that the window system delivers on another window: it closes the balloon only.
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, QPoint(50, 15));
        QVERIFY(!hint.isVisible());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(clicks.size(), 0);
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, QPoint(50, 15));
        QCOMPARE(clicks.size(), 1);
    }

    void holdsThePointerOfTheWholeScreen()
    {
#ifdef HAVE_XCB
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (the test runs under Xvfb as well)");
        // Another program, on a connection of its own, cannot take the pointer while the balloon
        // holds it: every click on the screen goes to the balloon.
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        QVERIFY(other && !xcb_connection_has_error(other));
        auto cleanup = qScopeGuard([other] { xcb_disconnect(other); });
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        auto tryGrab = [&] {
            xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
                other,
                xcb_grab_pointer(other, 0, root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                 XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                nullptr);
            const int status = reply ? reply->status : -1;
            free(reply);
            if (status == XCB_GRAB_STATUS_SUCCESS) {
                xcb_ungrab_pointer(other, XCB_CURRENT_TIME);
                xcb_flush(other);
            }
            return status;
        };
        QCOMPARE(tryGrab(), int(XCB_GRAB_STATUS_SUCCESS));

        TMessageHint hint;
        hint.showHint(anchor(), kHeader + QStringLiteral("held"));
        QVERIFY(QTest::qWaitForWindowExposed(&hint));
        QTRY_COMPARE(tryGrab(), int(XCB_GRAB_STATUS_ALREADY_GRABBED));
        QVERIFY(!TMessageHint::translucencyAvailable()); // Xvfb has no compositor
        QVERIFY(!hint.mask().isEmpty());

        hint.hideHint();
        QTRY_COMPARE(tryGrab(), int(XCB_GRAB_STATUS_SUCCESS));
#else
        QSKIP("built without the X client library");
#endif
    }

    void showsItsShapeWithoutACompositor()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (the test runs under Xvfb as well)");
        // A white window under the balloon shows through around its shape: no black rectangle.
        QWidget below;
        QPalette white;
        white.setColor(QPalette::Window, Qt::white);
        below.setPalette(white);
        below.setAutoFillBackground(true);
        below.setWindowFlags(Qt::FramelessWindowHint);
        below.setGeometry(QRect(anchor() - QPoint(400, 50), QSize(600, 300)));
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        TMessageHint hint;
        hint.showHint(anchor(), kHeader + QStringLiteral("shape"));
        QVERIFY(QTest::qWaitForWindowExposed(&hint));
        QTest::qWait(300);
        const QRect area = hint.geometry();
        const QImage screen =
            QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        QCOMPARE(screen.size(), area.size());
        QCOMPARE(QColor(screen.pixel(0, 0)), QColor(Qt::white));                 // beside the tail
        QCOMPARE(QColor(screen.pixel(0, area.height() - 1)), QColor(Qt::white)); // the rounded corner
        QCOMPARE(QColor(screen.pixel(area.width() / 2, TMessageHint::kTailHeight + 4)),
                 hint.palette().color(QPalette::ToolTipBase)); // the body
        hint.hideHint();
    }
};

QTEST_MAIN(TestMessageHint)
#include "tst_messagehint.moc"
