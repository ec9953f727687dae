// News poll, News button and update check of the main window.
#include "app/FMain.h"

#include "branding/Branding.h"
#include "branding/SettingsDocument.h"
#include "news/FNews.h"
#include "news/NewsProtocol.h"
#include "news/NewsRequests.h"
#include "news/UpdateCheck.h"
#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"
#include "platform/MessageBox.h"
#include "platform/MessageHint.h"
#include "util/TextCodec.h"

#include <QPointer>
#include <QTimer>
#include <QToolButton>

THttpClient* TfrmMain::httpClient()
{
    if (!IdHTTP1) {
        IdHTTP1 = new THttpClient(this);
        IdHTTP1->setObjectName(QStringLiteral("IdHTTP1"));
    }
    return IdHTTP1;
}

void TfrmMain::disconnectHttp()
{
    // Ends a request that still waits (its caller then returns without a message) and refuses
    // every later one: nothing runs against a window that is closing.
    httpClient()->shutDown();
}

bool TfrmMain::GetNewsList(const QByteArray& publisherId, const QByteArray& branderCode, const QByteArray& productType,
                           const QByteArray& newsTarget, StringList& list)
{
    return News::GetNewsList(*httpClient(), publisherId, branderCode, productType, newsTarget, list);
}

bool TfrmMain::GetLatestNews(const QByteArray& publisherId, const QByteArray& branderCode,
                             const QByteArray& productType, const QByteArray& newsTarget, QByteArray& id,
                             QByteArray& title)
{
    return News::GetLatestNews(*httpClient(), publisherId, branderCode, productType, newsTarget, id, title);
}

void TfrmMain::Timer1Timer()
{
    Timer1->stop(); // one tick per run
    const THttpRequestScope scope(httpClient(), this);
    if (scope.state() == THttpRequestScope::State::ShutDown)
        return;
    if (scope.state() == THttpRequestScope::State::Busy) {
        // The user's own request still waits further down the stack: poll once it is done.
        Timer1->start();
        return;
    }

    bool ok = false;
    QByteArray id;
    QByteArray title;
    if (const auto level = News::newsLevel(branding()))
        ok =
            GetLatestNews(level->publisherId, branding().BranderCode, level->productType, News::kNewsTarget, id, title);
    if (!scope.ownerAlive())
        return;
    if (ok) {
        // An error reading the settings file reaches the general handler; the check then does not run.
        const QByteArray stored = ReadLastNewsId();
        if (News::newsIdNumber(id) > News::newsIdNumber(stored))
            ShowNewsHint("You've Got A Message!\r\n" + title);
    }
    CheckForUpdate(true);
}

void TfrmMain::ShowNewsHint(const QByteArray& text)
{
    const QPoint anchor = btnNews->mapToGlobal(QPoint(btnNews->width() / 2, btnNews->height() / 2));
    if (!LMDMessageHint1) {
        LMDMessageHint1 = new TMessageHint(this);
        LMDMessageHint1->setObjectName(QStringLiteral("LMDMessageHint1"));
    }
    LMDMessageHint1->showHint(anchor, UUtils::ansiToString(text));
}

void TfrmMain::btnNewsClick()
{
    const THttpRequestScope scope(httpClient(), this);
    if (scope.state() == THttpRequestScope::State::ShutDown)
        return;
    if (scope.state() == THttpRequestScope::State::Busy) {
        TMessageBox::information(News::busyNewsText());
        return;
    }

    NewsList.clear();
    bool ok = false;
    if (const auto level = News::newsLevel(branding()))
        ok = GetNewsList(level->publisherId, branding().BranderCode, level->productType, News::kNewsTarget, NewsList);
    if (!scope.ownerAlive())
        return;
    if (ok && !NewsList.isEmpty()) {
        // The main window may go while the news window is open: the pointer then follows it.
        QPointer<TfrmNews> news = new TfrmNews(IdHTTP1, NewsList, this);
        news->exec();
        delete news;
        return;
    }
    TMessageBox::information(QStringLiteral("There's no news for this application!"));
}

void TfrmMain::btnUpdateClick()
{
    CheckForUpdate(false);
}

void TfrmMain::CheckForUpdate(bool Quiet)
{
    if (Update::CheckForUpdate(*httpClient(), Quiet, this))
        close(); // the updater replaces the program's files: the program ends
}

bool TfrmMain::DownloadFile(const QByteArray& url, const QString& localPath)
{
    return Update::DownloadFile(*httpClient(), url, localPath) == Update::Download::Stored;
}
