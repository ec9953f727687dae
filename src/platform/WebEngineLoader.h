#pragma once

#include <QString>

class IWebEngineFactory;

// Loads the web engine plugin (WebEngineInterface.h) the first time a page is to be shown. It is
// the file kPluginFileName beside the executable, built with the program; no other place is
// searched, so the copy stays one folder.
//
// Without it (missing, or a file that fails to load: a broken install) the program starts and
// works as before; only its pages stay empty. The first page asked for then tells the user, once,
// which file could not be loaded and why (TMessageBox); the window goes on.
namespace WebEngine {

inline constexpr const char* kPluginFileName = "quillet-webengine.so";

// The plugin's path: beside the executable (test seam: setPluginFileForTest).
QString pluginFile();

// The plugin's factory, loaded on the first call; nullptr when it cannot be loaded, after the
// message (the first time only).
IWebEngineFactory* factory();

// Test seam (util/TestSeam.h), inert unless armed: loads this file instead, and tries again (with
// a new message) after a failure. Empty: back to the file beside the executable.
void setPluginFileForTest(const QString& path);

} // namespace WebEngine
