#pragma once

#include <QString>
#include <QStringList>

// Starts a program of its own, detached from this process, with the given arguments and the
// current working directory. Returns false when it could not be started.
namespace UPlatform {

bool startDetachedProgram(const QString& program, const QStringList& arguments);

} // namespace UPlatform
