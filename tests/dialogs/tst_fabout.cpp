#include "dialogs/FAbout.h"

#include "branding/Branding.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QWindow>
#include <QtTest>

class TestFAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { branding() = Branding(); }

    void textsAndLayout()
    {
        branding().ApplicationName = "Acme Vault";
        branding().CopyrightYears = "2001-2009";
        branding().CopyrightCompany = "Acme \x96 Ltd";
        // Lines as the settings document gives them (CR LF), and lone line ends too.
        branding().AboutText = "one\r\ntwo\r\n\r\nfour\nfive\rsix\r\nseven\r\neight\r\nnine";
        TfrmAbout dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Acme Vault..."));
        QCOMPARE(dialog.lblProductName->text(), QStringLiteral("Acme Vault"));
        QVERIFY(dialog.lblProductName->font().bold());
        QCOMPARE(dialog.lblProductName->pos(), QPoint(9, 7));
        QCOMPARE(dialog.lblProductVersion->text(), QStringLiteral("Product Version: 2.0"));
        QCOMPARE(dialog.lblProductVersion->pos(), QPoint(9, 32));
        QCOMPARE(dialog.lblCopyright1->text(), QStringLiteral("Copyright \u00A9 2001-2009 Acme \u2013 Ltd"));
        QCOMPARE(dialog.memAbout->toPlainText(), QStringLiteral("one\ntwo\n\nfour\nfive\nsix\nseven\neight\nnine"));
        QVERIFY(dialog.memAbout->isReadOnly());
        QCOMPARE(dialog.memAbout->parentWidget()->geometry(), QRect(8, 88, 348, 71));
        QCOMPARE(dialog.editAbout->text(), QStringLiteral("Ok"));
        QCOMPARE(dialog.editAbout->geometry(), QRect(129, 171, 87, 21));
        QCOMPARE(dialog.size(), QSize(368, 211));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));

        // Nine lines do not fit: the memo scrolls.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.memAbout->verticalScrollBar()->maximum() > 0);
    }

    void emptyBranding()
    {
        TfrmAbout dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About ..."));
        QVERIFY(dialog.lblProductName->text().isEmpty());
        QCOMPARE(dialog.lblProductVersion->text(), QStringLiteral("Product Version: 2.0"));
        QVERIFY(dialog.memAbout->toPlainText().isEmpty());
    }

    void titleShowsTheNameAsWritten()
    {
        branding().ApplicationName = "Acme[*]Vault";
        TfrmAbout dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowHandle()->title(), QStringLiteral("About Acme[*]Vault..."));
    }

    void okCloses()
    {
        TfrmAbout dialog;
        QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.editAbout, Qt::LeftButton); });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestFAbout)
#include "tst_fabout.moc"
