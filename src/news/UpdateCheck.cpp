#include "news/UpdateCheck.h"

#include "branding/Branding.h"
#include "news/NewsRequests.h"
#include "news/UpdateLogic.h"
#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"
#include "platform/MessageBox.h"
#include "platform/ShellLauncher.h"
#include "util/Files.h"
#include "util/IniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace Update {

Download DownloadFile(THttpClient& http, const QByteArray& url, const QString& localPath, qint64 maxBytes)
{
    const THttpRequestScope scope(&http);
    if (scope.state() == THttpRequestScope::State::ShutDown)
        return Download::Aborted;
    if (scope.state() == THttpRequestScope::State::Busy)
        return Download::Refused;

    if (QFileInfo::exists(localPath) || QFileInfo(localPath).isSymLink())
        QFile::remove(localPath);
    QFile file(localPath);
    // A file that was not removed (a folder of that name, say) is not ours to write into.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return Download::Failed;

    QCoreApplication::processEvents();

    THttpClient::Result result = THttpClient::Result::Aborted;
    if (scope.ownerAlive())
        result = scope.client()->get(url, file, maxBytes);
    const bool closed = file.flush() && file.error() == QFileDevice::NoError;
    file.close();
    if (THttpClient* client = scope.client())
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

bool CheckForUpdate(THttpClient& http, bool quiet, const QObject* owner)
{
    // One check at a time (the scope holds the right to it), and none while a request waits.
    const THttpRequestScope scope(&http, owner, THttpRequestScope::Purpose::UpdateCheck);
    if (scope.state() == THttpRequestScope::State::Busy && !quiet)
        TMessageBox::information(News::busyNewsText());
    if (!scope.isGranted())
        return false;

    const QString localPath = UUtils::appFile(QString::fromLatin1(kDescriptorName));
    const Download download = DownloadFile(http, descriptorUrl(), localPath);
    if (download == Download::Aborted || !scope.ownerAlive())
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
                !scope.ownerAlive())
                return false;
            const QString updater = UUtils::appFile(updaterFileName());
            if (!QFileInfo(updater).isFile()) {
                TMessageBox::warning(updaterMissingText());
                return false;
            }
            if (TMessageBox::information(updateCloseText(), TMessageBox::Buttons::OkCancel) !=
                    TMessageBox::Answer::Ok ||
                !scope.ownerAlive())
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
