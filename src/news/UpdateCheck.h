#pragma once

#include <QByteArray>
#include <QString>

class THttpClient;

// The live update check: fetch the descriptor into the application directory, compare its
// version with AppVersion, ask the two questions and hand over to the updater.
namespace Update {

enum class Download
{
    Stored,  // the whole body is in the file
    Failed,  // nothing is left at the local path
    Refused, // another request was waiting; the local path was not touched
    Aborted, // the main window closed meanwhile; nothing may run on it any more
};

// Deletes localPath, creates it empty, lets pending events run once, then GETs url into it
// through the shared client. On any failure the file is deleted again; a file that cannot be
// created is a plain failure.
Download DownloadFile(THttpClient& http, const QByteArray& url, const QString& localPath);

// The whole check. Quiet says nothing when there is no update or the descriptor cannot be
// fetched. Returns true when the updater was started: the caller then closes the main window.
bool CheckForUpdate(THttpClient& http, bool quiet);

} // namespace Update
