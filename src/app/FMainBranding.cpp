// Branding, welcome page, banner, sponsor links, About, Help and "Make Money" of the main window.
#include "app/AnchorPanel.h"
#include "app/FMain.h"

#include "branding/Branding.h"
#include "branding/BrandingLoader.h"
#include "branding/SettingsDocument.h"
#include "dialogs/FAbout.h"
#include "platform/ImageLoader.h"
#include "platform/ShellLauncher.h"
#include "platform/Skin.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
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

bool showStillBanner(QFrame* panBanner, QLabel* imgBanner, QLabel* gifBanner, const QString& path,
                     const QByteArray& format)
{
    const QImage image = TImageLoader::readStill(path, format);
    if (image.isNull())
        return false;
    gifBanner->hide();
    imgBanner->setPixmap(QPixmap::fromImage(image));
    imgBanner->resize(image.size());
    imgBanner->show();
    panBanner->setFixedHeight(imgBanner->height() + 10);
    return true;
}

bool showAnimatedBanner(QFrame* panBanner, QLabel* imgBanner, QLabel* gifBanner, const QString& path)
{
    QMovie* movie = TImageLoader::openAnimation(path, gifBanner);
    if (!movie)
        return false;
    if (QMovie* old = gifBanner->movie(); old && old != movie)
        old->deleteLater();
    imgBanner->hide();
    gifBanner->setMovie(movie);
    gifBanner->resize(movie->currentImage().size());
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

    // Skin: a style sheet for the whole application, so every window and dialog takes it.
    // Applied before the banner and links are sized, so they are measured in the skin's look.
    if (const QString skinFile = UUtils::appFile(QStringLiteral("mainskin.dat")); QFileInfo(skinFile).isFile())
        TSkin::applyFile(skinFile);

    // Qt takes "[*]" in a window title for the modified-document mark and hides it; doubled, it is
    // shown as written.
    setWindowTitle(shownLine(MainCaption(b)).replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
    btnNews->setVisible(NewsButtonVisible(b));
    // A button takes "&" for its shortcut mark; doubled, it is shown as written.
    btnMakeMoney->setText(shownLine(MakeMoneyCaption(document)).replace(QLatin1Char('&'), QLatin1String("&&")));

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
            if (IsAnimatedBanner(shownName))
                bannerShown = showAnimatedBanner(panBanner, imgBanner, gifBanner, stored);
            else
                bannerShown = showStillBanner(panBanner, imgBanner, gifBanner, stored, BannerImageFormat(shownName));
        }
    }
    panBanner->setVisible(bannerShown);

    // Sponsor links.
    panLinks->setVisible(!b.Link1Title.isEmpty());
    lblLink1URL->setText(shownLine(b.Link1Title));
    lblLink1URL->ensurePolished();
    lblLink1URL->adjustSize();
    panLinks->place( // again, at its new size
        lblLink1URL, QRect(QPoint(13, 9), lblLink1URL->size()));
    lblLink2URL->setText(shownLine(b.Link2Title));
    lblLink2URL->ensurePolished();
    lblLink2URL->adjustSize(); // anchored right: keeps its right edge whatever its width
    panLinks->layoutChildren();

    // Icon.
    const QString iconFile = UUtils::appFile(QStringLiteral("main.ico"));
    if (QFileInfo(iconFile).isFile()) {
        if (const QIcon icon = TImageLoader::readIcon(iconFile); !icon.isNull()) {
            qApp->setWindowIcon(icon);
            setWindowIcon(icon);
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
    connect(pgcPrinc, &QStackedWidget::currentChanged, view, [this, view](int) {
        if (pgcPrinc->currentWidget() != stsWelcome)
            view->deleteLater();
    });
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
