// The installed program: `cmake --install` into a temporary prefix, then the program run from
// there on the offscreen platform with a temporary home, as a person's first starts would.
#include "dbf.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// One installation for the whole suite: installing takes longer than every check together.
class Installed : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_prefix = new QTemporaryDir;
        QProcess install;
        install.start(QStringLiteral(VELMORA_CMAKE),
                      {"--install", VELMORA_BUILD_DIR, "--prefix", s_prefix->path()});
        s_installed = install.waitForFinished(120000) && install.exitCode() == 0;
        if (!s_installed)
            s_installLog = install.readAll();
    }
    static void TearDownTestSuite()
    {
        delete s_prefix;
        s_prefix = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_installed) << s_installLog.toStdString();
        ASSERT_TRUE(m_home.isValid());
    }

    static QString prefix(const QString &path) { return s_prefix->filePath(path); }
    QString home(const QString &path) const { return m_home.filePath(path); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home.path());
        env.insert("XDG_DATA_HOME", home("xdg-data"));
        env.insert("XDG_CONFIG_HOME", home("xdg-config"));
        env.insert("XDG_RUNTIME_DIR", home("run"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QDir().mkpath(home("run"));
        QFile::setPermissions(home("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return env;
    }

    // Starts `program`, waits for the line that names the data folder, then stops it; returns
    // the folder named.
    QString dataFolderOfARun(const QString &program)
    {
        QProcess run;
        run.setProcessEnvironment(environment());
        run.setReadChannel(QProcess::StandardError);
        run.start(program, {});
        QByteArray said;
        const QByteArray marker = "velmora: data folder ";
        while (!said.contains(marker) || !said.mid(said.indexOf(marker)).contains('\n')) {
            if (!run.waitForReadyRead(60000))
                break;
            said += run.readAllStandardError();
        }
        run.terminate();
        if (!run.waitForFinished(10000))
            run.kill();
        const qsizetype at = said.indexOf(marker);
        if (at < 0) {
            ADD_FAILURE() << "the program never named its data folder; it said: "
                          << said.toStdString();
            return {};
        }
        const qsizetype end = said.indexOf('\n', at);
        return QString::fromLocal8Bit(said.mid(at + marker.size(), end - at - marker.size()));
    }

    QTemporaryDir m_home;
    static inline QTemporaryDir *s_prefix = nullptr;
    static inline bool s_installed = false;
    static inline QByteArray s_installLog;
};

int titles(const QString &folder, std::vector<std::string> *out = nullptr)
{
    TDbf memo("Dbfmemo");
    memo.setFilePath(folder.toStdString());
    memo.setTableName("memo.dbf");
    memo.open();
    int n = 0;
    for (memo.first(); !memo.eof(); memo.next(), ++n)
        if (out)
            out->push_back(memo.fieldByName("TITRE").asString());
    memo.close();
    return n;
}

} // namespace

TEST_F(Installed, LaysOutTheProgramAndItsSharedFiles)
{
    for (const char *path :
         {"bin/velmora", "share/velmora/templates/memo.dbf", "share/velmora/templates/infos.mdx",
          "share/velmora/templates/adbook.dbf", "share/applications/velmora.desktop",
          "share/metainfo/velmora.metainfo.xml", "share/icons/hicolor/scalable/apps/velmora.svg",
          "share/icons/hicolor/256x256/apps/velmora.png"})
        EXPECT_TRUE(QFile::exists(prefix(path))) << path;
    EXPECT_FALSE(QFile::exists(prefix("bin/data"))) << "an installation has no data beside it";
}

TEST_F(Installed, DesktopEntryAndMetadataPassTheirValidators)
{
    struct Check
    {
        const char *tool;
        QStringList arguments;
    } checks[] = {
        {"desktop-file-validate", {prefix("share/applications/velmora.desktop")}},
        {"appstreamcli", {"validate", "--no-net", prefix("share/metainfo/velmora.metainfo.xml")}},
    };
    for (const Check &c : checks) {
        const QString tool = QStandardPaths::findExecutable(QString::fromLatin1(c.tool));
        if (tool.isEmpty()) {
            ADD_FAILURE() << c.tool << " is missing: run scripts/setup --tests";
            continue;
        }
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool, c.arguments);
        ASSERT_TRUE(p.waitForFinished(60000)) << c.tool;
        EXPECT_EQ(p.exitCode(), 0) << c.tool << ": " << p.readAll().toStdString();
    }
}

TEST_F(Installed, VersionOptionPrintsTheVersionWithoutADisplay)
{
    QProcess p;
    QProcessEnvironment env = environment();
    env.remove("QT_QPA_PLATFORM");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    p.setProcessEnvironment(env);
    p.start(prefix("bin/velmora"), {"--version"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput(), QByteArray("velmora " VELMORA_VERSION_TEXT "\n"));
}

TEST_F(Installed, FirstStartFillsTheUsersFolderAndLaterStartsKeepItsNotes)
{
    const QString data = home("xdg-data/velmora/");
    EXPECT_EQ(dataFolderOfARun(prefix("bin/velmora")), data);
    for (const char *f : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx",
                          "adbook.dbf", "adbook.dbt"})
        EXPECT_TRUE(QFile::exists(data + f)) << f;
    ASSERT_EQ(titles(data), 0);

    {
        TDbf memo("Dbfmemo");
        memo.setFilePath(data.toStdString());
        memo.setTableName("memo.dbf");
        memo.open();
        memo.insert();
        memo.fieldByName("TITRE").setAsString("Rappeler le plombier");
        memo.post();
        memo.close();
    }
    EXPECT_EQ(dataFolderOfARun(prefix("bin/velmora")), data);
    std::vector<std::string> kept;
    EXPECT_EQ(titles(data, &kept), 1) << "the templates must never replace a table in use";
    EXPECT_EQ(kept, std::vector<std::string>{"Rappeler le plombier"});
}

TEST_F(Installed, WritableDataFolderBesideTheProgramStillWins)
{
    // A copied, portable program: its own folder with a data folder beside it.
    QDir().mkpath(home("portable/data"));
    ASSERT_TRUE(QFile::copy(prefix("bin/velmora"), home("portable/velmora")));
    QFile::setPermissions(home("portable/velmora"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(dataFolderOfARun(home("portable/velmora")), home("portable/data/"));
    EXPECT_FALSE(QFile::exists(home("xdg-data/velmora"))) << "the user's folder stays untouched";
}
