#pragma once

#include <QString>

class QWidget;

// The file dialogs through which the user picks a file to read or to write (the import and the
// export). Qt's dialog: the desktop's own where there is one, Qt's widget dialog otherwise, which
// asks before replacing a file.
//
// Test seam (util/TestSeam.h), inert unless armed: while answers are queued, no dialog shows and
// each call takes the next answer (a path, or an empty text for Cancel); the captions asked for are
// recorded. Running out of answers shows the real dialog.
class TFileDialog
{
public:
    // A file to read; empty when the user cancels.
    static QString openFile(QWidget* parent, const QString& caption, const QString& filter);
    // A file to write (the dialog asks before replacing one); empty when the user cancels.
    static QString saveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter);

    static void queueAnswer(const QString& path); // an empty path answers Cancel
    static const QStringList& askedCaptions();
};
