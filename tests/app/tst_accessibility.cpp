// Screen readers: every control that takes the keyboard focus has a name, in each of the
// program's windows, found by walking the accessibility tree as an assistive tool does.
#include "app/FMain.h"
#include "branding/Branding.h"
#include "dialogs/FAbout.h"
#include "dialogs/FAddElement.h"
#include "news/FNews.h"
#include "platform/HttpClient.h"
#include "support/Controls.h"
#include "util/Files.h"

#include <QAccessible>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// The focusable, visible nodes of window's accessibility tree that have no name.
QStringList unnamedFocusable(QWidget* window, int* focusable)
{
    QStringList unnamed;
    std::function<void(QAccessibleInterface*, int)> walk = [&](QAccessibleInterface* node, int depth) {
        if (!node || depth > 50)
            return;
        const QAccessible::State state = node->state();
        if (state.focusable && !state.invisible) {
            ++*focusable;
            if (node->text(QAccessible::Name).trimmed().isEmpty()) {
                const QObject* object = node->object();
                unnamed << (object
                                ? object->objectName() + u'/' + QString::fromLatin1(object->metaObject()->className())
                                : QStringLiteral("role %1").arg(int(node->role())));
            }
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    walk(QAccessible::queryAccessibleInterface(window), 0);
    return unnamed;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static void check(QWidget* window)
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        int focusable = 0;
        const QStringList unnamed = unnamedFocusable(window, &focusable);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral("; "))));
        QVERIFY(focusable > 0); // the walk reached the controls
    }

private slots:
    void initTestCase()
    {
        UUtils::setAppDir(m_dir.path());
        QFile categories(UUtils::appFile(QStringLiteral("categories.dat")));
        QVERIFY(categories.open(QIODevice::WriteOnly));
        categories.write("Shops\r\n");
        categories.close();
        QFile items(UUtils::appFile(QStringLiteral("items.dat")));
        QVERIFY(items.open(QIODevice::WriteOnly));
        items.write("Shops\xA5"
                    "Amazon\xA5\r\n");
        items.close();
        branding() = Branding{};
    }

    void mainWindow()
    {
        TfrmMain window;
        named<QTimer>(window, "Timer1")->stop();
        named<QTreeWidget>(window, "tvwMain")->expandAll();
        check(&window);
    }

    void newsWindow()
    {
        THttpClient http;
        TfrmNews window(&http, StringList{"1^First news^2024-01-01", "2^Second^2024-01-02"});
        check(&window);
    }

    void aboutBox()
    {
        TfrmAbout dialog;
        check(&dialog);
    }

    void inputDialog()
    {
        TfrmAddElement dialog;
        check(&dialog);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
