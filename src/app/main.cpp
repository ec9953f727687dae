#include "app/Application.h"
#include "app/FMain.h"

int main(int argc, char** argv)
{
    // The web engine shares OpenGL contexts with the widgets; this must precede the application object.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    TfrmMain window;
    window.show();
    return app.exec();
}
