#include "platform/WebEngineLoader.h"

#include "platform/MessageBox.h"
#include "platform/WebEngineInterface.h"
#include "util/TestSeam.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPluginLoader>

// Qt's own global share context (set by QGuiApplication under Qt::AA_ShareOpenGLContexts).
// Exported by QtGui; the web engine renders through it where OpenGL is there.
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace WebEngine {

namespace {

struct Seam
{
    QString pluginFile;
};
TTestSeam<Seam> g_seam;

struct State
{
    QString file; // the file last tried
    bool tried = false;
    IWebEngineFactory* factory = nullptr;
    QString error;
    bool told = false;
};

State& state()
{
    static State s;
    return s;
}

// The engine shares its OpenGL resources with the widgets through Qt's global share context. A
// program that does not set Qt::AA_ShareOpenGLContexts has none: it is made here, before the
// engine loads, rather than at every start.
void ensureShareContext()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || qt_gl_global_share_context())
        return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->create(); // without OpenGL it stays invalid and the engine renders in software
    qt_gl_set_global_share_context(context);
}

// Loads the file once (again when the seam names another one).
IWebEngineFactory* load()
{
    State& s = state();
    const QString file = pluginFile();
    if (s.tried && (s.factory || s.file == file))
        return s.factory;
    s = State{};
    s.file = file;
    s.tried = true;
    if (!QFileInfo::exists(file)) {
        s.error = QStringLiteral("The file does not exist.");
        return nullptr;
    }
    ensureShareContext();
    QPluginLoader loader(file);
    QObject* root = loader.instance();
    s.factory = qobject_cast<IWebEngineFactory*>(root);
    if (!s.factory)
        s.error = root ? QStringLiteral("It is not this program's web engine plugin.") : loader.errorString();
    return s.factory;
}

} // namespace

QString pluginFile()
{
    if (const Seam* seam = g_seam.state(); seam && !seam->pluginFile.isEmpty())
        return seam->pluginFile;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kPluginFileName));
}

IWebEngineFactory* factory()
{
    IWebEngineFactory* f = load();
    State& s = state();
    if (!f && !s.told) {
        s.told = true;
        TMessageBox::warning(QStringLiteral("Pages cannot be shown: the web engine plugin %1 could not be loaded. %2")
                                 .arg(QDir::toNativeSeparators(s.file), s.error));
    }
    return f;
}

void setPluginFileForTest(const QString& path)
{
    if (Seam* seam = g_seam.state())
        seam->pluginFile = path;
}

} // namespace WebEngine
