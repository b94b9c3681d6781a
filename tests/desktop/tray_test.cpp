// The tray icon and hide-on-close: the component's rules on the offscreen platform, and the main
// window's whole road on a private X display, with a notification area and without one.
#include "desktoptestutil.h"
#include "inifile.h"
#include "piconebarretache.h"

#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using namespace desktoptest;

namespace {

QIcon someIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::darkGreen);
    return QIcon(pixmap);
}

// Hiding a window with nothing to bring it back would strand the user.
TEST(TrayIcon, WithoutANotificationAreaACloseRequestCloses)
{
    if (TPiconeBarreTache::trayAvailable())
        GTEST_SKIP() << "this desktop has a notification area";
    QWidget window;
    window.setWindowIcon(someIcon());
    auto *tray = new TPiconeBarreTache(&window);
    tray->Loaded();
    tray->setReduireSiFin(true);
    tray->setPetiteIconeVisible(true);
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

// The window draws its icon after its first frame; until then the tray has nothing to show, and
// a window hidden there could not be found again.
TEST(TrayIcon, WaitsForAPictureBeforeItShowsOrHidesTheWindow)
{
    QWidget window;
    auto *tray = new TPiconeBarreTache(&window);
    ASSERT_TRUE(tray->Icone().isNull());
    tray->Loaded();
    tray->setReduireSiFin(true);
    tray->setPetiteIconeVisible(true);
    EXPECT_FALSE(tray->trayIcon()->isVisible());
    window.show();
    EXPECT_TRUE(window.close()) << "hidden with no icon to bring it back";

    tray->setIcone(someIcon());
    EXPECT_TRUE(tray->trayIcon()->isVisible());
    tray->setPetiteIconeVisible(false);
    tray->setIcone(someIcon());
    EXPECT_FALSE(tray->trayIcon()->isVisible()) << "a new picture brought back a removed icon";
}

struct RoadCase
{
    const char *name;
    bool host; // a notification area runs
};

class TrayRoad : public ::testing::TestWithParam<RoadCase>
{};

// With a host: "X" hides, a left click and "Ouvrir" bring the window back with its tables, a
// right click pops the menu at the pointer, "Fermer" ends the program. Without one: "X" ends it
// and the options page says why. The helper prints each step.
TEST_P(TrayRoad, MainWindowOnARealDisplay)
{
    const bool host = GetParam().host;
    for (const char *tool : {"xdotool", "trayer"}) {
        if (host && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed";
    }
    XDisplay display;
    if (!display.valid())
        GTEST_SKIP() << "no X server could be started";
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("app/data"));
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
    for (const QString &name : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(name), dir.filePath(QStringLiteral("app/data/") + name));
    const QString settings = dir.filePath(QStringLiteral("app/data/velmora.ini"));
    IniFile(settings).writeString(QStringLiteral("options"), QStringLiteral("ico"),
                                  QStringLiteral("yes"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("user")));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("system")));
    // The X keyboard library hands strndup() names that are not terminated, which a strict
    // sanitizer reports as our fault.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(":strict_string_checks=0"));
    Child trayer;
    if (host) {
        trayer.process->setProcessEnvironment(env);
        // At the bottom left, so that the icon keeps its place as the panel grows.
        trayer.process->start(QStringLiteral("trayer"),
                              {QStringLiteral("--edge"), QStringLiteral("bottom"),
                               QStringLiteral("--align"), QStringLiteral("left")});
    }
    Child helper;
    helper.process->setProcessEnvironment(env);
    helper.process->setProcessChannelMode(QProcess::MergedChannels);
    helper.process->start(helperPath(),
                          {QStringLiteral("tray"), dir.filePath(QStringLiteral("app/")),
                           QLatin1String(host ? "yes" : "no")});
    ASSERT_TRUE(helper.process->waitForFinished(60000)) << "the program never ended";
    const QString steps = QString::fromLocal8Bit(helper.process->readAll());
    EXPECT_EQ(helper.process->exitCode(), 0) << steps.toStdString();
    EXPECT_FALSE(steps.contains(QLatin1String("FAIL"))) << steps.toStdString();
    EXPECT_EQ(IniFile(settings).readString(QStringLiteral("place"), QStringLiteral("Visible")), "0")
        << "the close saved the placement";
}

INSTANTIATE_TEST_SUITE_P(Desktops, TrayRoad,
                         ::testing::Values(RoadCase{"WithNotificationArea", true},
                                           RoadCase{"WithoutNotificationArea", false}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
