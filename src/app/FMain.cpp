#include "app/FMain.h"

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Quillet"));
    resize(929, 692);
}
