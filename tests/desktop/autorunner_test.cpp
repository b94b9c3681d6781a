// Launch at log-on over six temporary automatic-start folders.
#include "autorunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

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

TEST_F(AutoRun, TickWritesOneEntryInRunAfterAndUntickClearsAllSix)
{
    for (int i = 0; i < 6; ++i)
        put(TAutoRunAfter(i), "[Desktop Entry]\nExec=/somewhere/else\n");
    auto runner = load();
    EXPECT_FALSE(runner->AutoRun());
    runner->setRunAfter(raWindowsStartOnce);
    runner->setAutoRun(true);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(entry(TAutoRunAfter(i)).isEmpty(), i != raWindowsStartOnce) << "location " << i;
    }
    EXPECT_EQ(entry(raWindowsStartOnce), "[Desktop Entry]\nType=Application\nName=Velmora\n"
                                         "Exec=\"/opt/velmora app/velmora\"\nIcon=velmora\n");
    EXPECT_TRUE(load()->AutoRun());

    runner->setAutoRun(false);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(entry(TAutoRunAfter(i)).isEmpty()) << "location " << i;
    EXPECT_FALSE(runner->AutoRun());
}

// A system folder without the rights (or none at all): the user's own folder takes the entry,
// and AutoRun says so, so that the box never claims a registration that failed.
TEST_F(AutoRun, UnwritableRunAfterFallsBackToTheUsersFolder)
{
    const bool root = geteuid() == 0;
    for (const bool missing : {true, false}) {
        if (!missing && root)
            continue; // folder rights do not stop root
        const QString system = m_locations[raWindowsStart];
        QDir(system).removeRecursively();
        if (!missing) {
            QDir().mkpath(system);
            QFile::setPermissions(system, QFile::ReadOwner | QFile::ExeOwner);
        }
        QDir(m_locations[raUserLogin]).removeRecursively(); // made when missing
        auto runner = load();
        runner->setAutoRun(true);
        EXPECT_TRUE(runner->AutoRun()) << "missing: " << missing;
        EXPECT_EQ(runner->RunAfter(), raUserLogin) << "missing: " << missing;
        EXPECT_FALSE(entry(raUserLogin).isEmpty());
        QFile::setPermissions(system, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// An entry the administrator put for everyone: unticking switches it off for this user only.
TEST_F(AutoRun, UntickSwitchesOffASystemEntryItCannotRemove)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "folder rights do not stop root";
    put(raWindowsStart, registered());
    const QString system = m_locations[raWindowsStart];
    QFile::setPermissions(system, QFile::ReadOwner | QFile::ExeOwner);
    auto runner = load();
    EXPECT_TRUE(runner->AutoRun());
    runner->setAutoRun(false);
    EXPECT_FALSE(runner->AutoRun());
    EXPECT_FALSE(load()->AutoRun());
    QFile::setPermissions(system, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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
