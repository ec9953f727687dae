// Captions fit: every label's and button's text fits its rectangle in the built-in look, with each
// of the fonts a Debian desktop has that this machine has too. The scale factor comes from the
// environment (QT_SCALE_FACTOR): the test runs once for each of 1, 1.25, 1.5 and 2.
#include "app/FMain.h"
#include "branding/Branding.h"
#include "support/Controls.h"
#include "util/Files.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestFontFit : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_builtInLook;

    // The captions of window's labels and text buttons that do not fit their rectangles.
    static QStringList cutCaptions(QWidget* window)
    {
        QStringList cut;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            widget->ensurePolished();
            QString text;
            QRect room;
            if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap() && label->pixmap().isNull()) {
                text = label->text();
                room = label->contentsRect();
            } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                text = button->text();
                // The built-in look's padding (6 px each side) and border (1 px each side).
                room = button->rect().adjusted(7, 1, -7, -1);
            }
            if (text.isEmpty())
                continue;
            const QFontMetrics metrics(widget->font());
            const QSize needed(metrics.horizontalAdvance(text), metrics.height());
            if (needed.width() > room.width() || needed.height() > room.height() + 2)
                cut << QStringLiteral("%1 \"%2\": %3x%4 in %5x%6")
                           .arg(widget->objectName(), text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(room.width())
                           .arg(room.height());
        }
        return cut;
    }

private slots:
    void initTestCase()
    {
        UUtils::setAppDir(m_dir.path());
        branding() = Branding{};
        TfrmMain first; // sets the built-in look
        m_builtInLook = qApp->styleSheet();
        QVERIFY(!m_builtInLook.isEmpty());
    }

    void captionsFit_data()
    {
        QTest::addColumn<QString>("family");
        const QStringList families = QFontDatabase::families();
        int present = 0;
        for (const char* family : {"DejaVu Sans", "Liberation Sans", "Noto Sans"}) {
            if (families.contains(QLatin1String(family))) {
                QTest::newRow(family) << QString::fromLatin1(family);
                ++present;
            }
        }
        if (present == 0)
            QTest::newRow("the built-in look's own font") << QString();
    }

    void captionsFit()
    {
        QFETCH(QString, family);
        // The built-in look, its font family replaced by the one under test.
        qApp->setStyleSheet(family.isEmpty()
                                ? m_builtInLook
                                : m_builtInLook + QStringLiteral("\nQWidget { font-family: \"%1\"; }").arg(family));
        TfrmMain window;
        named<QTimer>(window, "Timer1")->stop();
        if (!family.isEmpty())
            QCOMPARE(QFontInfo(named<QLineEdit>(window, "edtTitle")->font()).family(), family);
        // Before it is shown, the window still has its welcome page.
        QStringList cut = cutCaptions(&window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        cut = cutCaptions(&window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        qApp->setStyleSheet(m_builtInLook);
    }
};

QTEST_MAIN(TestFontFit)
#include "tst_fontfit.moc"
