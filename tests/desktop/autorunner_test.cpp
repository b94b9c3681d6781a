// Launch at log-on over six temporary automatic-start folders.
#include "autorunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Program = QStringLiteral("/opt/velmora app/velmora");

class AutoRun : public ::testing::Test
{
protected:
    AutoRun()
    {
        for (int i = 0; i < 6; ++i) {
            m_locations[i] = m_dir.filePath(QStringLiteral("loc%1").arg(i));
            QDir().mkpath(m_locations[i]);
        }
    }

    std::unique_ptr<TAutoRunner> load(const QString &program = Program)
    {
        auto runner = std::make_unique<TAutoRunner>(program, m_locations);
        runner->setAppliName(QStringLiteral("Velmora"));
        runner->Loaded();
        return runner;
    }
    void put(TAutoRunAfter at, const QString &body)
    {
        QFile file(m_locations[at] + QStringLiteral("/Velmora.desktop"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body.toUtf8());
    }
    QString entry(TAutoRunAfter at) const
    {
        QFile file(m_locations[at] + QStringLiteral("/Velmora.desktop"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString registered(const QString &extra = QString()) const
    {
        return QStringLiteral("[Desktop Entry]\nType=Application\nExec=\"%1\"\n").arg(Program) +
               extra;
    }

    QTemporaryDir m_dir;
    TAutoRunner::Locations m_locations;
};

class EachLocation : public AutoRun, public ::testing::WithParamInterface<int>
{};

TEST_P(EachLocation, RegistrationIsFoundAndBecomesRunAfter)
{
    const auto at = TAutoRunAfter(GetParam());
    put(at, registered());
    auto runner = load();
    EXPECT_TRUE(runner->AutoRun());
    EXPECT_EQ(runner->RunAfter(), at);
}

INSTANTIATE_TEST_SUITE_P(Locations, EachLocation, ::testing::Range(0, 6));

struct EntryCase
{
    const char *name;
    QString body;
    bool registers;
};

class EntryReading : public AutoRun, public ::testing::WithParamInterface<EntryCase>
{};

TEST_P(EntryReading, OnlyAnEnabledEntryForThisVeryExecutableCounts)
{
    put(raUserLogin, GetParam().body);
    EXPECT_EQ(load()->AutoRun(), GetParam().registers);
}

const QString Exec = QStringLiteral("Exec=\"/opt/velmora app/velmora\"\n");
INSTANTIATE_TEST_SUITE_P(
    Entries, EntryReading,
    ::testing::Values(
        EntryCase{"Plain", "[Desktop Entry]\n" + Exec, true},
        EntryCase{"EnabledForGnome", "[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n" + Exec,
                  true},
        EntryCase{"Hidden", "[Desktop Entry]\nHidden=true\n" + Exec, false},
        EntryCase{"DisabledForGnome", "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n" + Exec,
                  false},
        EntryCase{"WithArguments", "[Desktop Entry]\nExec=\"/opt/velmora app/velmora\" --quiet\n",
                  false},
        EntryCase{"OtherLetterCase", "[Desktop Entry]\nExec=\"/opt/Velmora app/velmora\"\n", false},
        EntryCase{"UnquotedBlank", "[Desktop Entry]\nExec=/opt/velmora app/velmora\n", false},
        EntryCase{"InAnotherGroup", "[Desktop Action x]\n" + Exec, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AutoRun, BothUserAndSystemEntriesCountOnceForTheUser)
{
    put(raUserLogin, registered());
    put(raWindowsStart, registered());
    put(raUserLoginOnce, registered());
    // The session starts the user's entry in place of the system one of the same name.
    EXPECT_EQ(load()->RunAfter(), raUserLoginOnce);
}

// Run as root, a tick must not register the program for every user of the machine.
TEST_F(AutoRun, TickAndUntickChangeOnlyTheUsersFolders)
{
    const QString foreign = QStringLiteral("[Desktop Entry]\nExec=/somewhere/else\n");
    for (int i = 0; i < 6; ++i)
        put(TAutoRunAfter(i), foreign);
    auto runner = load();
    EXPECT_FALSE(runner->AutoRun());
    runner->setRunAfter(raWindowsStartOnce);
    runner->setAutoRun(true);
    EXPECT_EQ(entry(raUserLogin), "[Desktop Entry]\nType=Application\nName=Velmora\n"
                                  "Exec=\"/opt/velmora app/velmora\"\nIcon=velmora\n");
    EXPECT_TRUE(entry(raUserLoginOnce).isEmpty());
    EXPECT_EQ(runner->RunAfter(), raUserLogin);
    EXPECT_TRUE(load()->AutoRun());

    runner->setAutoRun(false);
    EXPECT_TRUE(entry(raUserLogin).isEmpty());
    EXPECT_FALSE(runner->AutoRun());
    for (int i = raWindowsStart; i < 6; ++i)
        EXPECT_EQ(entry(TAutoRunAfter(i)), foreign) << "system location " << i << " was changed";
}

// An entry the administrator put for everyone is shown ticked; unticking switches it off for
// this user only, and ticking again brings the user's own entry back.
TEST_F(AutoRun, SystemEntryIsSwitchedOffForTheUserAndNeverRemoved)
{
    put(raWindowsStart, registered());
    auto runner = load();
    EXPECT_TRUE(runner->AutoRun());
    EXPECT_EQ(runner->RunAfter(), raWindowsStart);
    runner->setAutoRun(false);
    EXPECT_FALSE(runner->AutoRun());
    EXPECT_FALSE(load()->AutoRun());
    EXPECT_TRUE(entry(raUserLogin).contains(QStringLiteral("\nHidden=true\n")));
    runner->setAutoRun(true);
    EXPECT_TRUE(load()->AutoRun());
    EXPECT_FALSE(entry(raUserLogin).contains(QStringLiteral("Hidden")));
    EXPECT_EQ(entry(raWindowsStart), registered());
}

// The folders as the program finds them: $XDG_CONFIG_HOME takes the entry, and the first
// folder of $XDG_CONFIG_DIRS (standing in for /etc/xdg) is not even created.
TEST_F(AutoRun, TickWritesUnderXdgConfigHomeOnly)
{
    const QByteArray home = qgetenv("XDG_CONFIG_HOME");
    const QByteArray dirs = qgetenv("XDG_CONFIG_DIRS");
    const QString user = m_dir.filePath(QStringLiteral("config"));
    const QString system = m_dir.filePath(QStringLiteral("xdg"));
    qputenv("XDG_CONFIG_HOME", user.toUtf8());
    qputenv("XDG_CONFIG_DIRS", (system + QStringLiteral(":/etc/xdg")).toUtf8());
    TAutoRunner runner(Program, TAutoRunner::locationsFromEnvironment());
    runner.Loaded();
    runner.setAutoRun(true);
    qputenv("XDG_CONFIG_HOME", home);
    qputenv("XDG_CONFIG_DIRS", dirs);
    EXPECT_TRUE(runner.AutoRun());
    EXPECT_TRUE(QFile::exists(user + QStringLiteral("/autostart/Velmora.desktop")));
    EXPECT_FALSE(QFile::exists(system));
}

struct PathCase
{
    const char *name;
    QString program;
    QString exec; // as the file must hold it
};

class ExecQuoting : public AutoRun, public ::testing::WithParamInterface<PathCase>
{};

TEST_P(ExecQuoting, PathIsQuotedAsDesktopEntriesRequireAndReadBack)
{
    auto runner = load(GetParam().program);
    runner->setRunAfter(raUserLogin);
    runner->setAutoRun(true);
    EXPECT_TRUE(entry(raUserLogin).contains("\nExec=" + GetParam().exec + "\n"))
        << entry(raUserLogin).toStdString();
    EXPECT_TRUE(load(GetParam().program)->AutoRun());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExecQuoting,
    ::testing::Values(PathCase{"Blank", "/a b/velmora", R"("/a b/velmora")"},
                      PathCase{"Percent", "/100%/velmora", R"("/100%%/velmora")"},
                      PathCase{"DoubleQuote", R"(/a"b/velmora)", R"("/a\\"b/velmora")"},
                      PathCase{"Dollar", "/$HOME/velmora", R"("/\\$HOME/velmora")"},
                      PathCase{"Backslash", R"(/a\b/velmora)", R"("/a\\\\b/velmora")"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
