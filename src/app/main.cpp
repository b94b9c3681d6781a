#include "application.h"
#include "backgroundstep.h"
#include "builtinmessages.h"
#include "commandline.h"
#include "datafolder.h"
#include "mainwindow.h"
#include "notebooktables.h"
#include "ualarm.h"
#include "xjustone.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// --version must work without a display, so it is answered before Qt starts.
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
    if (const std::optional<int> exitCode = runDataCommand(argc, argv))
        return *exitCode;
    // Read while the program connects to the display, so that the first text drawn need not.
    BackgroundStep fontConfiguration({readFontConfiguration});
    Application app(argc, argv);
    // A second start asks the running copy forward and ends before any window exists.
    TXJustOne XJustOne1{QLatin1String(Application::Title)};
    if (XJustOne1.Loaded() == TXJustOne::Second)
        return 0;
    const QString appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const DataFolder data = prepareDataFolder(appDir, dataHome());
    // Said once, so that a person (or a bug report) knows which tables were used.
    std::fprintf(stderr, "velmora: data folder %s\n", qPrintable(data.path));
    if (!data.error.isEmpty())
        std::fprintf(stderr, "velmora: %s\n", qPrintable(data.error));
    // The person decides; another folder would make their notes look gone.
    if (!data.writable && !askToOpenReadOnly(data.path))
        return 0;
    // Where the language files were installed, rather than the current directory, which a
    // desktop launcher sets to the home folder.
    BuiltInMessageTranslator::instance().start(sharedDirectory(appDir) + QLatin1String("Language/"));
    fontConfiguration.finish();
    Form1 window(appDir, data.path);
    window.setReadOnlyData(!data.writable);
    QObject::connect(&XJustOne1, &TXJustOne::activationRequested, &window, &Form1::Ouvrir1Click);
    // The delete question lives from the making of the pages (which ask it) to the end, hidden
    // until a delete asks it; the first frame does not wait for it.
    std::unique_ptr<TAvertissement> avertissement;
    QObject::connect(&window, &Form1::buildingPages, &window, [&avertissement, &window] {
        avertissement = std::make_unique<TAvertissement>();
        window.setDeleteQuestion(avertissement.get());
    });
    window.showAtStart();
    return app.exec();
}
