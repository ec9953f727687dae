#pragma once

#include "news/UpdateLogic.h"

#include <QByteArray>
#include <QString>

class QObject;
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

// Deletes localPath, lets pending events run once, then GETs url, at most maxBytes of it,
// through the shared client into the one file writer, which puts the file at localPath once the
// whole body is in. On any failure (a body past maxBytes included) nothing is left at localPath;
// a file that cannot be created is a plain failure.
Download DownloadFile(THttpClient& http, const QByteArray& url, const QString& localPath,
                      qint64 maxBytes = kMaxDescriptorSize);

// The whole check. Quiet says nothing when there is no update or the descriptor cannot be
// fetched. A check asked for while another one runs, or while a request waits, is refused (with
// busyNewsText() unless quiet). Returns true when the updater was started and owner (the main
// window, when given) is still there: the caller then closes it.
bool CheckForUpdate(THttpClient& http, bool quiet, const QObject* owner = nullptr);

} // namespace Update
