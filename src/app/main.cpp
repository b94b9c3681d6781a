#include "application.h"
#include "builtinmessages.h"
#include "mainwindow.h"
#include "ualarm.h"

int main(int argc, char **argv)
{
    Application app(argc, argv);
    // Beside the executable rather than in the current directory, which a desktop launcher sets
    // to the home folder.
    BuiltInMessageTranslator::instance().start(QCoreApplication::applicationDirPath() +
                                               QLatin1String("/Language/"));
    Form1 window(QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    // The delete question lives from start to end, hidden until a delete asks it.
    TAvertissement avertissement;
    Avertissement = &avertissement;
    window.showAtStart();
    return app.exec();
}
