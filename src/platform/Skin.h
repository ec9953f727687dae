#pragma once

#include <QString>

// The look of every window: the built-in style sheet from the program's resources, and a skin
// file delivered with the copy, laid over it.
class TSkin
{
public:
    // The window's own look.
    static QString builtInStyleSheet();

    // Gives the application the built-in look when it has no style sheet yet.
    static void applyBuiltIn();

    // Lays the skin file at path over the built-in look, for every window and dialog. A file that
    // is no style sheet (see DecodeSkin), does not parse, or is over the size ceiling leaves the
    // look as it is. True when the skin was applied.
    static bool applyFile(const QString& path);
};
