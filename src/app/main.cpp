#include "app/Application.h"
#include "app/FMain.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    // The web engine shares OpenGL contexts with the widgets; this must precede the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
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
