#include "news/UpdateCheck.h"

#include "branding/Branding.h"
#include "news/NewsRequests.h"
#include "news/UpdateLogic.h"
#include "platform/HttpClient.h"
#include "platform/MessageBox.h"
#include "platform/ShellLauncher.h"
#include "util/Files.h"
#include "util/IniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>

namespace Update {

Download DownloadFile(THttpClient& http, const QByteArray& url, const QString& localPath)
{
    QPointer<THttpClient> client(&http);
    if (http.isShutDown())
        return Download::Aborted;
    if (http.isBusy())
        return Download::Refused;

    if (QFileInfo::exists(localPath) || QFileInfo(localPath).isSymLink())
        QFile::remove(localPath);
    QFile file(localPath);
    // A file that was not removed (a folder of that name, say) is not ours to write into.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return Download::Failed;

    QCoreApplication::processEvents();

    THttpClient::Result result = THttpClient::Result::Aborted;
    if (client && !client->isShutDown())
        result = client->get(url, file);
    const bool closed = file.flush() && file.error() == QFileDevice::NoError;
    file.close();
    if (client)
        client->closeConnection();
    if (result == THttpClient::Result::Ok && closed)
        return Download::Stored;
    file.remove();
    if (result == THttpClient::Result::Aborted)
        return Download::Aborted;
    if (result == THttpClient::Result::Busy)
        return Download::Refused;
    return Download::Failed;
}

bool CheckForUpdate(THttpClient& http, bool quiet)
{
    // One check at a time. A check waits in nested event loops (before its download, during it
    // and in its questions), where the Update button or the start-up tick could start a second
    // one and ask the same question twice: such a check is refused like a busy request.
    static bool running = false;
    if (running) {
        if (!quiet)
            TMessageBox::information(News::busyNewsText());
        return false;
    }
    running = true;
    const auto done = qScopeGuard([] { running = false; });

    QPointer<THttpClient> client(&http);
    const auto windowClosed = [&client] { return !client || client->isShutDown(); };

    const QString localPath = UUtils::appFile(QString::fromLatin1(kDescriptorName));
    const Download download = DownloadFile(http, descriptorUrl(), localPath);
    if (download == Download::Aborted)
        return false;
    if (download == Download::Refused) {
        if (!quiet)
            TMessageBox::information(News::busyNewsText());
        return false;
    }

    if (download == Download::Stored && QFileInfo::exists(localPath)) {
        const QByteArray version = UUtils::readIniFileValue(localPath, "APPLICATION", "Version");
        if (isNewerVersion(version, AppVersion)) {
            if (TMessageBox::information(updateOfferText(version), TMessageBox::Buttons::OkCancel) !=
                    TMessageBox::Answer::Ok ||
                windowClosed())
                return false;
            const QString updater = UUtils::appFile(updaterFileName());
            if (!QFileInfo(updater).isFile()) {
                TMessageBox::warning(updaterMissingText());
                return false;
            }
            if (TMessageBox::information(updateCloseText(), TMessageBox::Buttons::OkCancel) !=
                    TMessageBox::Answer::Ok ||
                windowClosed())
                return false;
            // An updater that cannot be started would leave the user with a closed program
            // and no update: report it like a missing one and keep running.
            if (!ShellLauncher::startDetached(updater, updaterArguments())) {
                TMessageBox::warning(updaterMissingText());
                return false;
            }
            return true;
        }
    }

    if (!quiet)
        TMessageBox::information(noUpdateText());
    return false;
}

} // namespace Update
