#include "platform/DetachedProcess.h"

#include <QProcess>

namespace UPlatform {

bool startDetachedProgram(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace UPlatform
