// Branding, welcome page, banner, sponsor links, About, Help and "Make Money" of the main window.
#include "app/AnchorPanel.h"
#include "app/ErrorGuard.h"
#include "app/FMain.h"

#include "branding/Branding.h"
#include "branding/BrandingLoader.h"
#include "branding/SettingsDocument.h"
#include "dialogs/FAbout.h"
#include "platform/HtmlView.h"
#include "platform/ImageLoader.h"
#include "platform/ShellLauncher.h"
#include "platform/Skin.h"
#include "util/Files.h"
#include "util/TextCodec.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMovie>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>

namespace {

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
    // A settings file that exists but cannot be opened or read raises its error here, before
    // anything is branded: window creation reports it and goes on with the copy unbranded.
    const std::optional<QByteArray> working = LoadSettingsDocument();
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
    // script runs and no local file is read; its web links open inside the page.
    auto* view = new THtmlView(prfWelcome);
    view->setObjectName(QStringLiteral("prfWelcomeView"));
    view->setLoadsWebContent(true);
    view->setFollowLinks(true);
    if (prfWelcome->layout())
        prfWelcome->layout()->addWidget(view);
    view->setHtml(UUtils::ansiToString(html));

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
