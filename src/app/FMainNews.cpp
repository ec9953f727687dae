// News poll, News button and update check of the main window.
#include "app/FMain.h"

#include <QTimer>

void TfrmMain::Timer1Timer()
{
    Timer1->stop(); // one tick per run
}

void TfrmMain::btnNewsClick() {}

void TfrmMain::btnUpdateClick() {}

void TfrmMain::ShowNewsHint(const QByteArray& /*text*/) {}

void TfrmMain::CheckForUpdate(bool /*Quiet*/) {}

bool TfrmMain::DownloadFile(const QByteArray& /*url*/, const QString& /*localPath*/)
{
    return false;
}

void TfrmMain::disconnectHttp() {}
