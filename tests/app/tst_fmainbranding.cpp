#include "app/AnchorPanel.h"
#include "app/Application.h"
#include "app/FMain.h"
#include "support/Controls.h"

#include "branding/Branding.h"
#include "branding/BrandingLoader.h"
#include "branding/Limits.h"
#include "dialogs/FAbout.h"
#include "platform/MessageBox.h"
#include "platform/ShellLauncher.h"
#include "support/ModalDriver.h"
#include "support/TestImages.h"
#include "util/Files.h"
#include "util/Sealing.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QWindow>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#include <deque>
#include <memory>

namespace {

QByteArray tag(const QByteArray& name, const QByteArray& value)
{
    return "<%%" + name + "%%>" + value + "<%%/" + name + "%%>\r\n";
}

QByteArray demoFile(const char* name)
{
    QFile file(qEnvironmentVariable("QUILLET_SOURCE_DIR") + QStringLiteral("/examples/demo-brand/") +
               QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Headers that announce 20000 x 20000 pixels and carry no pixel data.
QByteArray hugeBmp()
{
    QByteArray b("BM");
    auto le32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); }; // little-endian host
    auto le16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    le32(54 + 20000u * 20000u * 3u);
    le32(0);
    le32(54);
    le32(40);
    le32(20000);
    le32(20000);
    le16(1);
    le16(24);
    le32(0);
    le32(20000u * 20000u * 3u);
    le32(2835);
    le32(2835);
    le32(0);
    le32(0);
    return b;
}

QByteArray hugeGif()
{
    QByteArray b("GIF89a");
    b.append("\x20\x4E\x20\x4E", 4); // 20000 x 20000
    b.append("\x00\x00\x00", 3);
    b.append(",\0\0\0\0\x20\x4E\x20\x4E\0\x02\x02\x44\x01\0;", 17);
    return b;
}

// An animated GIF whose logical screen is width x height, with frames of one pixel each: a few
// bytes a frame on disk, a whole screen a frame once decoded.
QByteArray framesGif(quint16 width, quint16 height, int frames)
{
    QByteArray b("GIF89a");
    auto le16 = [&](quint16 v) { b.append(char(v & 0xFF)).append(char(v >> 8)); };
    le16(width);
    le16(height);
    b.append("\x80\x00\x00", 3);                                 // a global colour table of two entries
    b.append("\x00\x00\x00\xFF\xFF\xFF", 6);                     // black, white
    b.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop for ever
    for (int i = 0; i < frames; ++i) {
        b.append("\x21\xF9\x04\x00\x01\x00\x00\x00", 8); // 10 ms a frame
        b.append(',');
        le16(0);
        le16(0);
        le16(1);
        le16(1);
        b.append('\0');
        b.append("\x02\x02\x4C\x01\x00", 5); // LZW: clear, pixel 0, end
    }
    b.append(';');
    return b;
}

// A PNG chunk with its length and CRC.
QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray body = QByteArray(type, 4) + data;
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += body;
    QByteArray crc(4, '\0');
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))), crc.data());
    return chunk + crc;
}

// A PNG that declares width x height pixels of RGBA and carries almost no data.
QByteArray pngDeclaring(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bits per channel
    header[9] = 6; // RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", qCompress("\0").mid(4)) +
           pngChunk("IEND", {});
}

// An icon file with one entry that holds a PNG declaring 16384 x 16384 pixels: 1 GiB decoded.
QByteArray hugeIcon()
{
    const QByteArray png = pngDeclaring(16384, 16384);
    QByteArray b("\0\0\1\0\1\0", 6);   // reserved, type icon, one entry
    b.append("\0\0\0\0\1\0\x20\0", 8); // 256 x 256, planes 1, 32 bits
    QByteArray size(4, '\0'), offset(4, '\0');
    qToLittleEndian(quint32(png.size()), size.data());
    qToLittleEndian(quint32(22), offset.data());
    return b + size + offset + png;
}

} // namespace

class TestFMainBranding : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::deque<int> m_draws;
    QString m_builtInSheet;

    QString file(const QString& name) const { return m_dir->filePath(name); }

    void writeFile(const QString& name, const QByteArray& data)
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(data), data.size());
    }

    // Seals the document into dbsettings.dat with the program's own sealing.
    void writeSettings(const QByteArray& document)
    {
        writeFile(QStringLiteral("plain.txt"), document);
        UUtils::SealFile(file(QStringLiteral("plain.txt")), file(QStringLiteral("dbsettings.dat")));
        QFile::remove(file(QStringLiteral("plain.txt")));
    }

    std::unique_ptr<TfrmMain> openWindow()
    {
        auto window = std::make_unique<TfrmMain>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("window not exposed");
        return window;
    }

    // A registered default browser in test XDG folders.
    void registerBrowser()
    {
        QDir().mkpath(file(QStringLiteral("xdg/data/applications")));
        QDir().mkpath(file(QStringLiteral("xdg/config")));
        QFile desktop(file(QStringLiteral("xdg/data/applications/fake.desktop")));
        QVERIFY(desktop.open(QIODevice::WriteOnly));
        desktop.write("[Desktop Entry]\nType=Application\nName=Fake\nExec=/usr/bin/fake-browser %u\n");
        QFile list(file(QStringLiteral("xdg/config/mimeapps.list")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("[Default Applications]\nx-scheme-handler/http=fake.desktop\n");
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The window sets the built-in look when no sheet is in place yet.
        TfrmMain probe;
        m_builtInSheet = qApp->styleSheet();
        QVERIFY(!m_builtInSheet.isEmpty());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        UUtils::setAppDir(m_dir->path());
        branding() = Branding();
        qApp->setStyleSheet(m_builtInSheet);
        qApp->setWindowIcon(QIcon());
        m_draws.clear();
        setBrandingRandomIndex([this](int) {
            if (m_draws.empty())
                return 0;
            const int next = m_draws.front();
            m_draws.pop_front();
            return next;
        });
        qputenv("XDG_CONFIG_HOME", file(QStringLiteral("xdg/config")).toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", file(QStringLiteral("xdg/etc")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", file(QStringLiteral("xdg/home")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", file(QStringLiteral("xdg/data")).toLocal8Bit());
        ShellLauncher::setRecording(true);
        ShellLauncher::clearTestState();
        TMessageBox::clearTestState();
        // A message box at start would take this answer and be recorded instead of blocking.
        for (int i = 0; i < 5; ++i)
            TMessageBox::setNextAnswer(TMessageBox::Answer::Ok);
    }

    void cleanup()
    {
        UUtils::setAppDir(QString());
        setBrandingRandomIndex({});
        m_dir.reset();
    }

    void withoutSettingsNothingChanges()
    {
        auto w = openWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillet"));
        QVERIFY(!named<QToolButton>(w, "btnNews")->isHidden());
        QCOMPARE(named<QPushButton>(w, "btnMakeMoney")->text(), QStringLiteral("Make Money"));
        QVERIFY(!named<QFrame>(w, "panBanner")->isHidden());
        QVERIFY(!named<TAnchorPanel>(w, "panLinks")->isHidden());
        QCOMPARE(qApp->styleSheet(), m_builtInSheet);
        QVERIFY(branding().ApplicationName.isEmpty() && branding().WelcomePage.isEmpty());
        // Direct mode: the timer runs from creation and the web engine is never started.
        QVERIFY(named<QTimer>(w, "Timer1")->isActive());
        QVERIFY(!w->findChild<QWidget*>(QStringLiteral("stsWelcome")));
        QCOMPARE(named<QStackedWidget>(w, "pgcPrinc")->currentWidget(), named<QWidget>(w, "stsMain"));
        QVERIFY(w->findChildren<QWebEngineView*>().isEmpty());
    }

    void captionButtonsAndRecord()
    {
        writeSettings(tag("ApplicationName", "Acme Vault") + tag("BranderType", "Gold") +
                      tag("AffiliateURL", "http://a/?id=%%AFFILIATEID%%") + tag("AffiliateID", "joe") +
                      tag("GoldNewsBaseURL", "http://g/") + tag("GoldPublID", "G1") +
                      tag("MakeMoneyButton", "Earn \x80 now") + tag("AppHelpURL", "http://help/"));
        auto w = openWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Acme Vault v2.0"));
        QVERIFY(!named<QToolButton>(w, "btnNews")->isHidden());
        QCOMPARE(named<QPushButton>(w, "btnMakeMoney")->text(), QStringLiteral("Earn \u20AC now"));
        QCOMPARE(branding().AffiliateURL, QByteArray("http://a/?id=joe"));
        QCOMPARE(branding().AppHelpURL, QByteArray("http://help/"));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void captionShowsTheNameAsWritten()
    {
        writeSettings(tag("ApplicationName", "Acme[*]Vault"));
        auto w = openWindow();
        QCOMPARE(w->windowHandle()->title(), QStringLiteral("Acme[*]Vault v2.0"));
    }

    void emptyDocumentBrandsWithEmptyValues()
    {
        writeSettings(tag("BranderType", "master") + tag("MasterPublID", "M") + tag("MasterNewsBaseURL", "u"));
        auto w = openWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral(" v2.0"));
        QVERIFY(named<QToolButton>(w, "btnNews")->isHidden());
        QCOMPARE(named<QPushButton>(w, "btnMakeMoney")->text(), QStringLiteral("Make Money"));
        QVERIFY(named<QFrame>(w, "panBanner")->isHidden());
        QVERIFY(named<TAnchorPanel>(w, "panLinks")->isHidden());
        QVERIFY(named<QTimer>(w, "Timer1")->isActive());
    }

    void banner_data()
    {
        QTest::addColumn<QByteArray>("imageName");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shownControl"); // "", "img" or "gif"
        QTest::addColumn<int>("panelHeight");
        QTest::newRow("png") << QByteArray("C:\\Art\\top.png") << pngBytes(300, 40) << "img" << 50;
        QTest::newRow("PNG in capitals") << QByteArray("TOP.PNG") << pngBytes(120, 33) << "img" << 43;
        QTest::newRow("bmp") << QByteArray("d:ad.bmp") << imageBytes(80, 20, "BMP", Qt::red) << "img" << 30;
        QTest::newRow("png bytes named jpg") << QByteArray("ad.jpg") << pngBytes(64, 16) << "img" << 26;
        QTest::newRow("animated GIF, capitals")
            << QByteArray("ANIMATED.GIF") << demoFile("animated.gif") << "gif" << 70;
        QTest::newRow("gif inside the name") << QByteArray("x.gif.dat") << demoFile("animated.gif") << "gif" << 70;
        QTest::newRow("0 bytes") << QByteArray("empty.png") << QByteArray() << "" << 0;
        QTest::newRow("0-byte gif") << QByteArray("empty.gif") << QByteArray() << "" << 0;
        QTest::newRow("not an image") << QByteArray("text.png") << QByteArray("hello, world") << "" << 0;
        QTest::newRow("20000 x 20000 bmp") << QByteArray("huge.bmp") << hugeBmp() << "" << 0;
        QTest::newRow("20000 x 20000 gif") << QByteArray("huge.gif") << hugeGif() << "" << 0;
        QTest::newRow("gif of 3 frames of 300 x 20") << QByteArray("small.gif") << framesGif(300, 20, 3) << "gif" << 30;
        QTest::newRow("gif of 10000 frames of 4096 x 4096")
            << QByteArray("frames.gif") << framesGif(4096, 4096, 10000) << "" << 0;
        QTest::newRow("gif of 10000 frames of 1024 x 1024")
            << QByteArray("frames.gif") << framesGif(1024, 1024, 10000) << "" << 0;
        QTest::newRow("png declaring 100000 x 100000")
            << QByteArray("huge.png") << pngDeclaring(100000, 100000) << "" << 0;
        QTest::newRow("png declaring 4096 x 4096") << QByteArray("big.png") << pngDeclaring(4096, 4096) << "" << 0;
    }
    void banner()
    {
        QFETCH(QByteArray, imageName);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shownControl);
        QFETCH(int, panelHeight);
        // Three entries and a draw of index 2: the third entry and banner3.dat.
        writeSettings(tag("Banner1", "one.png^http://one/") + tag("Banner2", "two.png^http://two/") +
                      tag("Banner3", imageName + "^http://three/"));
        writeFile(QStringLiteral("banner1.dat"), pngBytes(10, 10));
        writeFile(QStringLiteral("banner2.dat"), pngBytes(10, 10));
        writeFile(QStringLiteral("banner3.dat"), bytes);
        m_draws = {2};
        const QStringList before = QDir(m_dir->path()).entryList(QDir::Files);

        auto w = openWindow();
        QCOMPARE(branding().BannerImage, imageName);
        QCOMPARE(branding().BannerURL, QByteArray("http://three/"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), before); // no file renamed, none left over
        if (shownControl.isEmpty()) {
            QVERIFY(named<QFrame>(w, "panBanner")->isHidden());
        } else {
            QLabel* shown =
                shownControl == QLatin1String("img") ? named<QLabel>(w, "imgBanner") : named<QLabel>(w, "gifBanner");
            QLabel* other =
                shown == named<QLabel>(w, "imgBanner") ? named<QLabel>(w, "gifBanner") : named<QLabel>(w, "imgBanner");
            QVERIFY(named<QFrame>(w, "panBanner")->isVisible());
            QVERIFY(shown->isVisible());
            QVERIFY(other->isHidden());
            QCOMPARE(named<QFrame>(w, "panBanner")->height(), panelHeight);
            QCOMPARE(shown->height(), panelHeight - 10);
            if (shown == named<QLabel>(w, "gifBanner")) {
                QVERIFY(named<QLabel>(w, "gifBanner")->movie());
                QCOMPARE(named<QLabel>(w, "gifBanner")->movie()->frameCount(), 3);
                QCOMPARE(named<QLabel>(w, "gifBanner")->movie()->state(), QMovie::Running);
            } else {
                QVERIFY(!named<QLabel>(w, "imgBanner")->pixmap().isNull());
            }
            // Centred with the halves truncated apart.
            QCOMPARE(shown->x(), named<QFrame>(w, "panBanner")->width() / 2 - shown->width() / 2);
            QCOMPARE(shown->y(), named<QFrame>(w, "panBanner")->height() / 2 - shown->height() / 2);
            QCOMPARE(shown->cursor().shape(), Qt::PointingHandCursor);
        }
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void bannerWithoutFileOrNameHidesThePanel()
    {
        writeSettings(tag("Banner1", "^http://x/") + tag("Banner2", "missing.png^http://y/"));
        writeFile(QStringLiteral("banner1.dat"), pngBytes(10, 10));
        for (int draw : {0, 1}) {
            m_draws = {draw};
            auto w = openWindow();
            QVERIFY(named<QFrame>(w, "panBanner")->isHidden());
        }
    }

    void bannerClicks()
    {
        registerBrowser();
        writeSettings(tag("Banner1", "b.png^http://banner/"));
        writeFile(QStringLiteral("banner1.dat"), pngBytes(50, 20));
        auto w = openWindow();
        QTest::mouseClick(named<QLabel>(w, "imgBanner"), Qt::LeftButton);
        QCOMPARE(ShellLauncher::started().size(), 1);
        QCOMPARE(ShellLauncher::started().first().program, QStringLiteral("/usr/bin/fake-browser"));
        QCOMPARE(ShellLauncher::started().first().arguments, QStringList{QStringLiteral("http://banner/")});

        // Without an address a click does nothing at all, and the cursor stays as it was.
        writeSettings(tag("Banner1", "b.png"));
        ShellLauncher::clearTestState();
        auto w2 = openWindow();
        QVERIFY(named<QLabel>(w2, "imgBanner")->isVisible());
        QCOMPARE(named<QLabel>(w2, "imgBanner")->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseClick(named<QLabel>(w2, "imgBanner"), Qt::LeftButton);
        QTest::mouseClick(named<QLabel>(w2, "gifBanner"), Qt::LeftButton);
        QVERIFY(ShellLauncher::started().isEmpty());
    }

    void makeMoneyAndHelp()
    {
        registerBrowser();
        writeSettings(tag("AffiliateURL", "http://aff/?id=%%AFFILIATEID%%") + tag("AffiliateID", "7"));
        auto w = openWindow();
        QTest::mouseClick(named<QPushButton>(w, "btnMakeMoney"), Qt::LeftButton);
        QTest::mouseClick(named<QToolButton>(w, "btnHelp"),
                          Qt::LeftButton); // empty help address: the browser opens bare
        QCOMPARE(ShellLauncher::started().size(), 2);
        QCOMPARE(ShellLauncher::started().at(0).arguments, QStringList{QStringLiteral("http://aff/?id=7")});
        QCOMPARE(ShellLauncher::started().at(1).program, QStringLiteral("/usr/bin/fake-browser"));
        QCOMPARE(ShellLauncher::started().at(1).arguments, QStringList());

        // No browser registered: nothing starts, nothing is said.
        QFile::remove(file(QStringLiteral("xdg/config/mimeapps.list")));
        ShellLauncher::clearTestState();
        QTest::mouseClick(named<QPushButton>(w, "btnMakeMoney"), Qt::LeftButton);
        QVERIFY(ShellLauncher::started().isEmpty());
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    // Every command the mouse reaches has a key, also while a line field has the focus. A button's
    // key clicks that button (its handler, tested with the mouse elsewhere, is held back here: About
    // is modal, News and Update go on line); the banner's and the links' keys open their address.
    void keyboardReachesEveryCommand_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("button");   // the button the key clicks, or empty
        QTest::addColumn<QString>("launched"); // else what the default browser is given
        QTest::addColumn<int>("clicks");

        const QString find = QStringLiteral("edtFind");
        const QString url = QStringLiteral("edtURL");
        auto button = [](const char* row, QKeySequence keys, const QString& focus, const char* name, int clicks = 1) {
            QTest::newRow(row) << keys << focus << QString::fromLatin1(name) << QString() << clicks;
        };
        auto launch = [&find](const char* row, QKeySequence keys, const char* address) {
            QTest::newRow(row) << keys << find << QString() << QString::fromLatin1(address) << 1;
        };
        button("About", QKeySequence(Qt::CTRL | Qt::Key_F1), find, "btnAbout");
        button("News", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), find, "btnNews");
        button("Update", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D), find, "btnUpdate");
        button("Browse website", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), find, "btnBrowseWebsite");
        button("Browse affiliate", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), find, "btnBrowseAffiliate");
        button("Browse cloaked", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K), url, "btnBrowseCloaked");
        button("Paste username", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), find, "btnUPaste");
        button("Paste password", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), url, "btnPPaste");
        button("Stop in the address", QKeySequence(Qt::Key_Escape), url, "bsSkinSpeedButton3");
        button("Escape in the find field is not Stop", QKeySequence(Qt::Key_Escape), find, "bsSkinSpeedButton3", 0);
        button("Go by Alt+Return", QKeySequence(Qt::ALT | Qt::Key_Return), url, "bsSkinButton2");
        button("Go by Alt+Enter", QKeySequence(Qt::ALT | Qt::Key_Enter), url, "bsSkinButton2");
        button("Return in the address is not Go", QKeySequence(Qt::Key_Return), url, "bsSkinButton2", 0);
        launch("Make Money", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), "http://aff/");
        launch("banner", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B), "http://banner/");
        launch("first link", QKeySequence(Qt::CTRL | Qt::Key_1), "Link1URL");
        launch("second link", QKeySequence(Qt::CTRL | Qt::Key_2), "Link2URL");
    }
    void keyboardReachesEveryCommand()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, focus);
        QFETCH(QString, button);
        QFETCH(QString, launched);
        QFETCH(int, clicks);

        registerBrowser();
        writeSettings(tag("AffiliateURL", "http://aff/") + tag("Banner1", "b.png^http://banner/") +
                      tag("Link1", "First^http://1/") + tag("Link2", "Second^http://2/"));
        writeFile(QStringLiteral("banner1.dat"), pngBytes(50, 20));
        auto w = openWindow();
        named<QToolButton>(w, "btnNews")->show(); // as a brand with a news address shows it
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        ShellLauncher::clearTestState();

        std::unique_ptr<QSignalSpy> spy;
        if (!button.isEmpty()) {
            auto* target = w->findChild<QAbstractButton*>(button);
            QVERIFY(target);
            QCOMPARE(target->focusPolicy(), Qt::NoFocus);
            QVERIFY(QObject::disconnect(target, nullptr, w.get(), nullptr));
            spy = std::make_unique<QSignalSpy>(target, &QAbstractButton::clicked);
        }
        auto* field = w->findChild<QWidget*>(focus);
        QVERIFY(field);
        field->setFocus();
        QCOMPARE(QApplication::focusWidget(), field);
        QTest::keySequence(field, keys);

        if (spy) {
            QCOMPARE(spy->count(), clicks);
            QVERIFY(ShellLauncher::started().isEmpty());
            return;
        }
        if (launched == QLatin1String("Link1URL"))
            launched = QString::fromLatin1(branding().Link1URL);
        else if (launched == QLatin1String("Link2URL"))
            launched = QString::fromLatin1(branding().Link2URL);
        QCOMPARE(ShellLauncher::started().size(), 1);
        const ShellLauncher::Started& started = ShellLauncher::started().first();
        QCOMPARE(started.kind == ShellLauncher::Started::Kind::Url ? started.program : started.arguments.join(u' '),
                 launched);
    }

    void links_data()
    {
        QTest::addColumn<QByteArray>("entries");
        QTest::addColumn<bool>("panelVisible");
        QTest::addColumn<QString>("caption1");
        QTest::addColumn<QString>("caption2");
        QTest::newRow("none") << QByteArray() << false << QString() << QString();
        QTest::newRow("one") << tag("Link1", "Only one^http://one/") << true << "Only one" << QString();
        QTest::newRow("two") << tag("Link1", "First^http://1/") + tag("Link2", "Second sponsor^http://2/") << true
                             << "First"
                             << "Second sponsor";
        QTest::newRow("empty first title") << tag("Link1", "^http://1/") << false << QString() << QString();
        QTest::newRow("no address") << tag("Link1", "Bare") << true << "Bare" << QString();
    }
    void links()
    {
        QFETCH(QByteArray, entries);
        QFETCH(bool, panelVisible);
        QFETCH(QString, caption1);
        QFETCH(QString, caption2);
        writeSettings(entries);
        auto w = openWindow();
        QCOMPARE(named<TAnchorPanel>(w, "panLinks")->isVisible(), panelVisible);
        QCOMPARE(named<QLabel>(w, "lblLink1URL")->text(), caption1);
        QCOMPARE(named<QLabel>(w, "lblLink2URL")->text(), caption2);
        if (!panelVisible)
            return;
        // The whole caption shows; the second label keeps to the right edge, also after a resize.
        QVERIFY(named<QLabel>(w, "lblLink1URL")->width() >= named<QLabel>(w, "lblLink1URL")->sizeHint().width());
        QCOMPARE(named<QLabel>(w, "lblLink1URL")->pos(), QPoint(13, 9));
        QCOMPARE(named<TAnchorPanel>(w, "panLinks")->width() -
                     (named<QLabel>(w, "lblLink2URL")->x() + named<QLabel>(w, "lblLink2URL")->width()),
                 13);
        w->resize(w->width() + 100, w->height());
        QTRY_COMPARE(named<TAnchorPanel>(w, "panLinks")->width() -
                         (named<QLabel>(w, "lblLink2URL")->x() + named<QLabel>(w, "lblLink2URL")->width()),
                     13);

        QTest::mouseClick(named<QLabel>(w, "lblLink1URL"), Qt::LeftButton);
        QCOMPARE(ShellLauncher::started().size(), 1);
        QCOMPARE(ShellLauncher::started().first().kind, ShellLauncher::Started::Kind::Url);
        QCOMPARE(ShellLauncher::started().first().program, QString::fromLatin1(branding().Link1URL));
    }

    void twoLinksAreDifferentAndDrawnAtRandom()
    {
        writeSettings(tag("Link1", "A^http://a/") + tag("Link2", "B^http://b/"));
        m_draws = {1, 0};
        auto w = openWindow();
        QCOMPARE(named<QLabel>(w, "lblLink1URL")->text(), QStringLiteral("B"));
        QCOMPARE(named<QLabel>(w, "lblLink2URL")->text(), QStringLiteral("A"));
        QTest::mouseClick(named<QLabel>(w, "lblLink2URL"), Qt::LeftButton);
        QCOMPARE(ShellLauncher::started().first().program, QStringLiteral("http://a/"));
    }

    void welcomeModeArmsTheTimerWhenTheUserLeaves()
    {
        writeSettings(tag("Welcome1", "<html><body><h1>Hello</h1></body></html>") + tag("Welcome2", "<p>two</p>"));
        m_draws = {1};
        auto w = openWindow();
        QCOMPARE(branding().WelcomePage, QByteArray("<p>two</p>"));
        QVERIFY(!named<QTimer>(w, "Timer1")->isActive());
        QCOMPARE(named<QStackedWidget>(w, "pgcPrinc")->currentWidget(), named<QWidget>(w, "stsWelcome"));
        auto* view = named<QWidget>(w, "prfWelcome")->findChild<QWebEngineView*>();
        QVERIFY(view);
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(20000));
        QCOMPARE(loaded.first().first().toBool(), true);
        QTest::qWait(300);
        QVERIFY(!named<QTimer>(w, "Timer1")->isActive());

        // Enter on the welcome page clicks its button, also with the focus in the page.
        view->setFocus();
        QTest::keyClick(w.get(), Qt::Key_Return);
        QCOMPARE(named<QStackedWidget>(w, "pgcPrinc")->currentWidget(), named<QWidget>(w, "stsMain"));
        QVERIFY(named<QTimer>(w, "Timer1")->isActive());
        QCOMPARE(named<QTimer>(w, "Timer1")->remainingTime() > 1000, true);
        // The page is gone for good with its view.
        QTRY_VERIFY(w->findChildren<QWebEngineView*>().isEmpty());
    }

    void welcomeViewShowsRemoteImagesAndRunsNoScript()
    {
        // A web server of our own stands in for the publisher's image host.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray request;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                request += socket->readAll();
                if (!request.contains("\r\n\r\n"))
                    return;
                const QByteArray png = pngBytes(4, 4);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: " +
                              QByteArray::number(png.size()) + "\r\n\r\n" + png);
                socket->disconnectFromHost();
            });
        });
        const QByteArray port = QByteArray::number(server.serverPort());
        // Not well-formed on purpose: unclosed tags, a stray closing tag.
        const QByteArray page =
            "<html><head><title>Plain</title><meta charset=\"utf-8\"></head><body><p>caf\xE9 <b>bold"
            "<img id=i src=\"http://127.0.0.1:" +
            port +
            "/pic.png\"></i>"
            "<script>document.title = 'scripted';</script>";
        writeSettings(tag("Welcome1", page));
        auto w = openWindow();
        auto* view = named<QWidget>(w, "prfWelcome")->findChild<QWebEngineView*>();
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(request.startsWith("GET /pic.png"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("Plain"), 10000);
        QTest::qWait(500);
        QCOMPARE(view->title(), QStringLiteral("Plain"));
        QVERIFY(!view->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
        // The ANSI text reaches the page as text, whatever charset the page names.
        QString text;
        view->page()->toPlainText([&](const QString& t) { text = t; });
        QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 10000);
        QVERIFY2(text.contains(QStringLiteral("caf\u00E9 bold")), qPrintable(text));
    }

    void fiveMegabyteWelcomePage()
    {
        QByteArray page = "<html><body><h1>Big</h1>";
        const QByteArray paragraph =
            "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.</p>\r\n";
        while (page.size() < 5 * 1024 * 1024)
            page += paragraph;
        page += "<p id=end>The end</p></body></html>";
        writeSettings(tag("Welcome1", page));
        auto w = openWindow();
        auto* view = named<QWidget>(w, "prfWelcome")->findChild<QWebEngineView*>();
        QVERIFY(view);
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(60000));
        QVERIFY(loaded.first().first().toBool());
        QString text;
        view->page()->toPlainText([&](const QString& t) { text = t; });
        QTRY_VERIFY_WITH_TIMEOUT(!text.isEmpty(), 20000);
        QVERIFY(text.endsWith(QStringLiteral("The end")));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void welcomePageReadsNoLocalFile()
    {
        // A picture beside the program, asked for by a file address, by a bare path and through a
        // file base: none is read; the same picture from the web is.
        writeFile(QStringLiteral("pic.png"), pngBytes(4, 4));
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* socket = server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                const QByteArray png = pngBytes(4, 4);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: " +
                              QByteArray::number(png.size()) + "\r\n\r\n" + png);
                socket->disconnectFromHost();
            });
        });
        const QByteArray local = QUrl::fromLocalFile(file(QStringLiteral("pic.png"))).toEncoded();
        const QByteArray page = "<img id=a src='" + local + "'><img id=b src='" + file("pic.png").toUtf8() +
                                "'><img id=w src='http://127.0.0.1:" + QByteArray::number(server.serverPort()) +
                                "/pic.png'>";
        writeSettings(tag("Welcome1", page));
        auto w = openWindow();
        auto* view = named<QWidget>(w, "prfWelcome")->findChild<QWebEngineView*>();
        QVERIFY(view);
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(20000));
        QVariant widths;
        view->page()->runJavaScript("['a', 'b', 'w'].map(i => document.getElementById(i).naturalWidth).join()",
                                    QWebEngineScript::ApplicationWorld, [&](const QVariant& v) { widths = v; });
        QTRY_VERIFY_WITH_TIMEOUT(widths.isValid(), 10000);
        QCOMPARE(widths.toString(), QStringLiteral("0,0,4"));
    }

    void skin_data()
    {
        QTest::addColumn<QByteArray>("skin");
        QTest::addColumn<bool>("applied");
        const QByteArray sheet = "QPushButton#btnAbout, QLabel#lblProductVersion { color: rgb(1, 2, 3); }";
        QTest::newRow("plain") << sheet << true;
        QTest::newRow("compressed") << qCompress(sheet) << true;
        QTest::newRow("not a style sheet") << QByteArray("QPushButton#btnAbout { color: ; {{{ ") << false;
        QTest::newRow("binary") << pngBytes(8, 8) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void skin()
    {
        QFETCH(QByteArray, skin);
        QFETCH(bool, applied);
        writeSettings(tag("ApplicationName", "Skinned"));
        writeFile(QStringLiteral("mainskin.dat"), skin);
        auto w = openWindow();
        if (applied) {
            // Laid over the built-in sheet, and every window takes it.
            QVERIFY(qApp->styleSheet().startsWith(m_builtInSheet));
            QVERIFY(qApp->styleSheet().endsWith(QString::fromLatin1(skin.startsWith("Q") ? skin : qUncompress(skin))));
            QCOMPARE(named<QPushButton>(w, "btnAbout")->palette().color(QPalette::ButtonText), QColor(1, 2, 3));
            TfrmAbout about(w.get());
            about.ensurePolished();
            about.lblProductVersion->ensurePolished();
            QCOMPARE(about.lblProductVersion->palette().color(QPalette::WindowText), QColor(1, 2, 3));
        } else {
            QCOMPARE(qApp->styleSheet(), m_builtInSheet);
        }
        QCOMPARE(w->windowTitle(), QStringLiteral("Skinned v2.0"));
        QVERIFY(TMessageBox::shownMessages().isEmpty());
    }

    void icon()
    {
        writeSettings(tag("ApplicationName", "Iconic"));
        writeFile(QStringLiteral("main.ico"), demoFile("main.ico"));
        {
            auto w = openWindow();
            QVERIFY(!qApp->windowIcon().isNull());
            QVERIFY(qApp->windowIcon().availableSizes().contains(QSize(32, 32)));
        }
        for (const QByteArray& bad : {QByteArray("not an icon"), QByteArray(), hugeBmp(), hugeIcon()}) {
            qApp->setWindowIcon(QIcon());
            writeFile(QStringLiteral("main.ico"), bad);
            auto w = openWindow();
            QVERIFY(qApp->windowIcon().isNull());
            QCOMPARE(w->windowTitle(), QStringLiteral("Iconic v2.0"));
        }
    }

    void unreadableSettingsLeaveTheCopyWorking()
    {
        // Bytes that are no sealed file: they unseal to nothing.
        writeFile(QStringLiteral("dbsettings.dat"), QByteArray(5000, '\x5A'));
        {
            auto w = openWindow();
            QCOMPARE(w->windowTitle(), QStringLiteral(" v2.0"));
            QVERIFY(named<QTimer>(w, "Timer1")->isActive());
        }
        QVERIFY(TMessageBox::shownMessages().isEmpty());
        // A settings "file" that cannot be opened at all: the error is shown, naming the file, and
        // the window opens unbranded.
        QFile::remove(file(QStringLiteral("dbsettings.dat")));
        QVERIFY(QDir().mkpath(file(QStringLiteral("dbsettings.dat"))));
        {
            auto w = openWindow();
            QCOMPARE(w->windowTitle(), QStringLiteral("Quillet"));
            QVERIFY(named<QTimer>(w, "Timer1")->isActive());
            QVERIFY(!named<QToolButton>(w, "btnNews")->isHidden());
        }
        QCOMPARE(TMessageBox::shownMessages().size(), 1);
        QCOMPARE(TMessageBox::shownMessages().first().kind, TMessageBox::Kind::Warning);
        QVERIFY2(TMessageBox::shownMessages().first().text.contains(QStringLiteral("Cannot open file \"") +
                                                                    file(QStringLiteral("dbsettings.dat")) + '"'),
                 qPrintable(TMessageBox::shownMessages().first().text));
        QVERIFY(!QFile::exists(file(QStringLiteral("dbsettings.sim"))));
    }

    void errorMessageShowsTheFileNameAsWritten()
    {
        // The application folder's name reaches the message inside the file name: the real box
        // shows it as written.
        const QString folder = file(QStringLiteral("<b>Acme</b> &lt;"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/dbsettings.dat")));
        UUtils::setAppDir(folder);
        TMessageBox::clearTestState();
        QString boxText;
        bool asWritten = false;
        ModalDriver driver([&](QWidget* modal) {
            if (auto* label = modal->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                boxText = label->text();
                asWritten = label->textFormat() == Qt::PlainText;
            }
            QTest::keyClick(modal, Qt::Key_Return);
        });
        auto w = openWindow();
        QVERIFY2(boxText.contains(folder), qPrintable(boxText));
        QVERIFY(asWritten);
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillet"));
    }

    void sixteenEntriesAndMore()
    {
        QByteArray doc;
        for (int n = 1; n <= 20; ++n)
            doc += tag("Welcome" + QByteArray::number(n), "<p>page " + QByteArray::number(n) + "</p>");
        for (int n = 1; n <= 20; ++n)
            doc += tag("Banner" + QByteArray::number(n), "b" + QByteArray::number(n) + ".png^http://b/");
        for (int n = 1; n <= 20; ++n)
            doc += tag("Link" + QByteArray::number(n), "L" + QByteArray::number(n) + "^http://l/");
        writeSettings(doc);
        writeFile(QStringLiteral("banner16.dat"), pngBytes(40, 20));
        m_draws = {15, 15, 15, 14};
        auto w = openWindow();
        QCOMPARE(branding().WelcomePage, QByteArray("<p>page 16</p>"));
        QCOMPARE(branding().BannerImage, QByteArray("b16.png"));
        QVERIFY(!named<QFrame>(w, "panBanner")->isHidden()); // on the main page, behind the welcome page
        QCOMPARE(named<QLabel>(w, "lblLink1URL")->text(), QStringLiteral("L16"));
        QCOMPARE(named<QLabel>(w, "lblLink2URL")->text(), QStringLiteral("L15"));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    TestFMainBranding test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fmainbranding.moc"
