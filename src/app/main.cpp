#include "application.h"
#include "datafolder.h"
#include "mainwindow.h"
#include "ualarm.h"

#include <cstdio>
#include <cstring>

namespace {

// The one option: it must work without a display, so it is answered before Qt starts.
bool asksForVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (asksForVersion(argc, argv)) {
        std::printf("velmora %s\n", VELMORA_VERSION);
        return 0;
    }
    Application app(argc, argv);
    const QString appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const DataFolder data = prepareDataFolder(appDir, dataHome());
    // Said once, so that a person (or a bug report) knows which tables were used.
    std::fprintf(stderr, "velmora: data folder %s\n", qPrintable(data.path));
    if (!data.error.isEmpty())
        std::fprintf(stderr, "velmora: %s\n", qPrintable(data.error));
    Form1 window(appDir, data.path);
    // The delete question lives from start to end, hidden until a delete asks it.
    TAvertissement avertissement;
    Avertissement = &avertissement;
    window.showAtStart();
    return app.exec();
}
