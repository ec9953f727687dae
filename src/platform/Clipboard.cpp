#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void TClipboard::setText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

QString TClipboard::text()
{
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void TClipboard::clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}
