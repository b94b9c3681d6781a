#include "application.h"
#include "mainwindow.h"
#include "ualarm.h"

int main(int argc, char **argv)
{
    Application app(argc, argv);
    Form1 window(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    // The delete question lives from start to end, hidden until a delete asks it.
    TAvertissement avertissement;
    Avertissement = &avertissement;
    window.showAtStart();
    return app.exec();
}
