#pragma once

#include <QString>

// The system clipboard, plain text only.
class TClipboard
{
public:
    // Replaces what the clipboard holds by text (an empty text empties it).
    static void setText(const QString& text);
    static QString text();
    // Empties the clipboard.
    static void clear();
};
