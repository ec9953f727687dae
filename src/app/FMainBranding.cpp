// Branding, welcome page, banner, sponsor links, About, Help and "Make Money" of the main window.
#include "app/AnchorPanel.h"
#include "app/ErrorGuard.h"
#include "app/FMain.h"

#include "branding/Branding.h"
#include "branding/BrandingLoader.h"
#include "branding/SettingsDocument.h"
#include "dialogs/FAbout.h"
#include "platform/ShellLauncher.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QMovie>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace {

// Limits for files delivered with a copy: what lies beyond them is not shown rather than
// allowed to exhaust memory at start.
constexpr qint64 kMaxBannerFileSize = 16 * 1024 * 1024;
constexpr int kMaxBannerSide = 4096;
constexpr qint64 kMaxSkinFileSize = 16 * 1024 * 1024;
constexpr qint64 kMaxIconFileSize = 4 * 1024 * 1024;
constexpr int kMaxIconSide = 1024;

// The whole file, or nothing when it cannot be read or is larger than limit.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > limit)
        return std::nullopt;
    QByteArray data = file.readAll();
    if (data.size() != file.size())
        return std::nullopt;
    return data;
}

bool acceptableSize(const QSize& size, int maxSide)
{
    return size.isValid() && !size.isEmpty() && size.width() <= maxSide && size.height() <= maxSide;
}

// A still picture from bytes: the format named by the shown name's extension first, the content
// decides when that fails. A null image when the bytes are no picture or too large.
QImage readStillImage(const QByteArray& bytes, const QByteArray& format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    if (!acceptableSize(reader.size(), kMaxBannerSide)) {
        // The named format does not know the bytes; let the content decide.
        buffer.seek(0);
        reader.setDevice(nullptr);
        reader.setFormat(QByteArray());
        reader.setDevice(&buffer);
        if (!acceptableSize(reader.size(), kMaxBannerSide))
            return {};
    }
    QImage image = reader.read();
    if (!acceptableSize(image.size(), kMaxBannerSide))
        return {};
    return image;
}

// True when the style sheet parses: Qt reports a sheet it cannot parse only as a warning, so a
// probe widget takes the sheet first while the warnings are watched.
bool styleSheetParses(const QString& sheet)
{
    static bool parseFailed;
    parseFailed = false;
    const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtWarningMsg && message.contains(QLatin1String("Could not parse")))
            parseFailed = true;
    });
    {
        QWidget probe;
        probe.setStyleSheet(sheet);
        probe.ensurePolished();
    }
    qInstallMessageHandler(previous);
    return !parseFailed;
}

// The window's own look, from the program's resources.
QString builtInStyleSheet()
{
    QFile file(QStringLiteral(":/quillet.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The welcome page is served from memory under a scheme of its own: no file is written, and the
// page is not bound by the 2 MB limit of a data address (QWebEngineView::setHtml). The scheme must
// be known before the web engine starts, so it is registered while the program loads.
const QByteArray kWelcomeScheme = QByteArrayLiteral("quillet-welcome");

const bool g_welcomeSchemeRegistered = [] {
    QWebEngineUrlScheme scheme(kWelcomeScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
    return true;
}();

class WelcomePageServer : public QWebEngineUrlSchemeHandler
{
public:
    WelcomePageServer(QByteArray page, QObject* parent) : QWebEngineUrlSchemeHandler(parent), m_page(std::move(page)) {}

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        auto* body = new QBuffer(job);
        body->setData(m_page);
        body->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), body);
    }

private:
    QByteArray m_page;
};

bool showStillBanner(QFrame* panBanner, QLabel* imgBanner, QLabel* gifBanner, const QByteArray& bytes,
                     const QByteArray& format)
{
    const QImage image = readStillImage(bytes, format);
    if (image.isNull())
        return false;
    gifBanner->hide();
    imgBanner->setPixmap(QPixmap::fromImage(image));
    imgBanner->resize(image.size());
    imgBanner->show();
    panBanner->setFixedHeight(imgBanner->height() + 10);
    return true;
}

bool showAnimatedBanner(QFrame* panBanner, QLabel* imgBanner, QLabel* gifBanner, const QByteArray& bytes)
{
    // Check the first frame before the movie takes the bytes.
    {
        QBuffer probe;
        probe.setData(bytes);
        probe.open(QIODevice::ReadOnly);
        QImageReader reader(&probe, "gif");
        if (!acceptableSize(reader.size(), kMaxBannerSide) || reader.read().isNull())
            return false;
    }
    auto* buffer = new QBuffer;
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    auto* movie = new QMovie(buffer, "gif", gifBanner);
    buffer->setParent(movie);
    if (!movie->isValid() || !movie->jumpToFrame(0)) {
        delete movie;
        return false;
    }
    const QSize size = movie->currentImage().size();
    if (!acceptableSize(size, kMaxBannerSide)) {
        delete movie;
        return false;
    }
    if (QMovie* old = gifBanner->movie(); old && old != movie)
        old->deleteLater();
    imgBanner->hide();
    gifBanner->setMovie(movie);
    gifBanner->resize(size);
    gifBanner->show();
    movie->start();
    panBanner->setFixedHeight(gifBanner->height() + 10);
    return true;
}

} // namespace

void TfrmMain::LoadBranding()
{
    // A settings file that cannot be unsealed or read leaves the copy unbranded; the start goes
    // on without a message.
    std::optional<QByteArray> working;
    try {
        working = LoadSettingsDocument();
    } catch (const AppError&) {
        return;
    }
    if (!working)
        return;

    const BrandingDocument document = ReadBrandingDocument(*working);
    const BrandingDraws draws = DrawBranding(document, brandingRandomIndex());
    branding() = draws.record;
    const Branding& b = branding();

    // Skin: a style sheet for the whole application, so every window and dialog takes it. It is
    // laid over the built-in sheet: what the skin does not restyle (fonts, sizes) keeps the look
    // the window was laid out for. A file that is no valid sheet leaves the built-in look alone.
    // Applied before the banner and links are sized, so they are measured in the skin's look.
    const QString skinFile = UUtils::appFile(QStringLiteral("mainskin.dat"));
    if (QFileInfo(skinFile).isFile()) {
        if (const auto bytes = readSmallFile(skinFile, kMaxSkinFileSize)) {
            if (const auto sheet = DecodeSkin(*bytes); sheet && styleSheetParses(*sheet))
                qApp->setStyleSheet(builtInStyleSheet() + QLatin1Char('\n') + *sheet);
        }
    }

    // Qt takes "[*]" in a window title for the modified-document mark and hides it; doubled, it is
    // shown as written.
    setWindowTitle(UUtils::ansiToString(MainCaption(b)).replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
    btnNews->setVisible(NewsButtonVisible(b));
    btnMakeMoney->setText(UUtils::ansiToString(MakeMoneyCaption(document)));

    // Banner.
    if (!b.BannerURL.isEmpty()) {
        imgBanner->setCursor(Qt::PointingHandCursor);
        gifBanner->setCursor(Qt::PointingHandCursor);
    }
    bool bannerShown = false;
    if (!b.BannerImage.isEmpty() && draws.BannerNumber > 0) {
        // The image is read from its neutral file name; the shown name only tells its format.
        const QString stored = UUtils::appFile(BannerFileName(draws.BannerNumber));
        const QByteArray shownName = BannerShownName(b.BannerImage);
        if (QFileInfo(stored).isFile()) {
            if (const auto bytes = readSmallFile(stored, kMaxBannerFileSize)) {
                if (IsAnimatedBanner(shownName))
                    bannerShown = showAnimatedBanner(panBanner, imgBanner, gifBanner, *bytes);
                else
                    bannerShown =
                        showStillBanner(panBanner, imgBanner, gifBanner, *bytes, BannerImageFormat(shownName));
            }
        }
    }
    panBanner->setVisible(bannerShown);

    // Sponsor links.
    panLinks->setVisible(!b.Link1Title.isEmpty());
    lblLink1URL->setText(UUtils::ansiToString(b.Link1Title));
    lblLink1URL->ensurePolished();
    lblLink1URL->adjustSize();
    panLinks->place( // again, at its new size
        lblLink1URL, QRect(QPoint(13, 9), lblLink1URL->size()));
    lblLink2URL->setText(UUtils::ansiToString(b.Link2Title));
    lblLink2URL->ensurePolished();
    lblLink2URL->adjustSize(); // anchored right: keeps its right edge whatever its width
    panLinks->layoutChildren();

    // Icon.
    const QString iconFile = UUtils::appFile(QStringLiteral("main.ico"));
    if (QFileInfo(iconFile).isFile()) {
        if (const auto bytes = readSmallFile(iconFile, kMaxIconFileSize)) {
            QBuffer buffer;
            buffer.setData(*bytes);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            QIcon icon;
            for (int i = 0; i < 32; ++i) {
                if (const QSize size = reader.size(); size.isValid() && !acceptableSize(size, kMaxIconSide))
                    break;
                const QImage image = reader.read();
                if (image.isNull() || !acceptableSize(image.size(), kMaxIconSide))
                    break;
                icon.addPixmap(QPixmap::fromImage(image));
                if (!reader.jumpToNextImage())
                    break;
            }
            if (!icon.isNull()) {
                qApp->setWindowIcon(icon);
                setWindowIcon(icon);
            }
        }
    }
}

void TfrmMain::showWelcomePage()
{
    const QByteArray& html = branding().WelcomePage;
    if (!prfWelcome || html.isEmpty())
        return;

    // The publisher's page is shown as a browser shows it, images from the web included, but no
    // script runs.
    auto* view = new QWebEngineView(prfWelcome);
    view->setObjectName(QStringLiteral("prfWelcomeView"));
    view->setContextMenuPolicy(Qt::NoContextMenu);
    QWebEngineSettings* settings = view->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    if (prfWelcome->layout())
        prfWelcome->layout()->addWidget(view);

    // The page is ANSI text; it is served as UTF-8 with a byte order mark, which the browser
    // honours before any charset the page itself names.
    const QByteArray utf8 = "\xEF\xBB\xBF" + UUtils::ansiToString(html).toUtf8();
    QWebEngineProfile* profile = view->page()->profile();
    if (const QWebEngineUrlSchemeHandler* old = profile->urlSchemeHandler(kWelcomeScheme))
        profile->removeUrlSchemeHandler(const_cast<QWebEngineUrlSchemeHandler*>(old));
    auto* server = new WelcomePageServer(utf8, view);
    profile->installUrlSchemeHandler(kWelcomeScheme, server);
    connect(view, &QObject::destroyed, profile, [profile, server] { profile->removeUrlSchemeHandler(server); });
    view->load(QUrl(QString::fromLatin1(kWelcomeScheme) + QStringLiteral(":welcome.html")));

    // The page is left for good once the main page shows: free the view and its page.
    connect(pgcPrinc, &QStackedWidget::currentChanged, view, guarded([this, view] {
                if (pgcPrinc->currentWidget() != stsWelcome)
                    view->deleteLater();
            }));
}

void TfrmMain::btnMakeMoneyClick()
{
    OpenInDefaultBrowser(branding().AffiliateURL);
}

void TfrmMain::btnAboutClick()
{
    TfrmAbout dialog(this);
    dialog.exec();
}

void TfrmMain::btnHelpClick()
{
    OpenInDefaultBrowser(branding().AppHelpURL);
}

void TfrmMain::imgBannerClick()
{
    if (!branding().BannerURL.isEmpty())
        OpenInDefaultBrowser(branding().BannerURL);
}

void TfrmMain::gifBannerClick()
{
    if (!branding().BannerURL.isEmpty())
        OpenInDefaultBrowser(branding().BannerURL);
}

void TfrmMain::lblLink1URLClick()
{
    OpenLinkAddress(branding().Link1URL);
}

void TfrmMain::lblLink2URLClick()
{
    OpenLinkAddress(branding().Link2URL);
}
