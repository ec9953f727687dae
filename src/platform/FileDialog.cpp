#include "platform/FileDialog.h"

#include "util/TestSeam.h"

#include <QFileDialog>
#include <QStringList>

namespace {

struct FileDialogSeam
{
    QStringList answers;
    QStringList captions;
};

TTestSeam<FileDialogSeam>& seam()
{
    static TTestSeam<FileDialogSeam> seam;
    return seam;
}

// A queued answer, or nothing when the real dialog is to show.
bool takeAnswer(const QString& caption, QString* path)
{
    FileDialogSeam* test = seam().state();
    if (!test)
        return false;
    test->captions.append(caption);
    if (test->answers.isEmpty())
        return false;
    *path = test->answers.takeFirst();
    return true;
}

} // namespace

QString TFileDialog::openFile(QWidget* parent, const QString& caption, const QString& filter)
{
    QString path;
    if (takeAnswer(caption, &path))
        return path;
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString TFileDialog::saveFile(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter)
{
    QString path;
    if (takeAnswer(caption, &path))
        return path;
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

void TFileDialog::queueAnswer(const QString& path)
{
    if (FileDialogSeam* test = seam().state())
        test->answers.append(path);
}

const QStringList& TFileDialog::askedCaptions()
{
    static const QStringList none;
    const FileDialogSeam* test = seam().state();
    return test ? test->captions : none;
}
