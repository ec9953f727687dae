#include "app/Application.h"
#include "app/FMain.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    // No Qt::AA_ShareOpenGLContexts here: with it, the application object makes an OpenGL context
    // at start, which maps the system's OpenGL driver (with Mesa's software renderer about 55 MB
    // resident). The web engine needs that context only once a page is shown: the plugin loader
    // makes it then (platform/WebEngineLoader.cpp).
    Application app(argc, argv);
    TfrmMain window;
    window.show();

    // Start-up measurement (bench_startup): report once the window has been shown, then quit.
    if (qEnvironmentVariableIsSet("QUILLET_EXIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, &app, [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    return app.exec();
}
