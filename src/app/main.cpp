#include "application.h"
#include "mainwindow.h"

int main(int argc, char **argv)
{
    Application app(argc, argv);
    Form1 window(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    window.showAtStart();
    return app.exec();
}
