#include "application.h"
#include "mainwindow.h"
#include "ualarm.h"
#include "xjustone.h"

int main(int argc, char **argv)
{
    Application app(argc, argv);
    // A second start asks the running copy forward and ends before any window exists.
    TXJustOne XJustOne1(QLatin1String(Application::Title));
    if (XJustOne1.Loaded() == TXJustOne::Second)
        return 0;
    Form1 window(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QObject::connect(&XJustOne1, &TXJustOne::activationRequested, &window, &Form1::Ouvrir1Click);
    // The delete question lives from start to end, hidden until a delete asks it.
    TAvertissement avertissement;
    Avertissement = &avertissement;
    window.showAtStart();
    return app.exec();
}
