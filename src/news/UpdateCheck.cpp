#include "news/UpdateCheck.h"

#include "branding/Branding.h"
#include "news/NewsRequests.h"
#include "news/UpdateLogic.h"
#include "platform/HttpClient.h"
#include "platform/HttpRequestScope.h"
#include "platform/MessageBox.h"
#include "platform/ShellLauncher.h"
#include "util/AppError.h"
#include "util/Files.h"
#include "util/IniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace Update {

Download DownloadFile(THttpClient& http, const QByteArray& url, const QString& localPath, qint64 maxBytes)
{
    const THttpRequestScope scope(&http);
    if (scope.state() == THttpRequestScope::State::ShutDown)
        return Download::Aborted;
    if (scope.state() == THttpRequestScope::State::Busy)
        return Download::Refused;

    // The old descriptor goes first: a download that fails leaves none behind.
    if (QFileInfo::exists(localPath) || QFileInfo(localPath).isSymLink())
        QFile::remove(localPath);
    // Written through the one file writer: the descriptor appears at its path only once all of it
    // has arrived. A path that cannot be written (a folder of that name, a folder that is gone) is
    // a plain failure, and nothing is requested.
    std::optional<UUtils::FileWriter> file;
    try {
        file.emplace(localPath);
    } catch (const AppError&) {
        return Download::Failed;
    }

    QCoreApplication::processEvents();

    THttpClient::Result result = THttpClient::Result::Aborted;
    if (scope.ownerAlive())
        result = scope.client()->get(url, file->device(), maxBytes);
    if (THttpClient* client = scope.client())
        client->closeConnection();
    if (result == THttpClient::Result::Ok) {
        try {
            file->commit();
            return Download::Stored;
        } catch (const AppError&) {
            return Download::Failed;
        }
    }
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
