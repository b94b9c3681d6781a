// Choosing and filling the data folder, on real folders in a temporary directory.
#include "datafolder.h"
#include "otheruser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

void put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

unsigned modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

class DataFolderTest : public ::testing::Test
{
protected:
    DataFolderTest()
    {
        // An installed layout: prefix/bin/velmora and prefix/share/velmora/templates.
        for (const char *f : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx"})
            put(templates() + f, QByteArray("template ") + f);
        QDir().mkpath(bin());
    }
    QString bin() const { return m_root.filePath("prefix/bin/"); }
    QString templates() const { return m_root.filePath("prefix/share/velmora/templates/"); }
    QString home() const { return m_root.filePath("home/.local/share"); }

    QTemporaryDir m_root;
};

TEST_F(DataFolderTest, OnlyMissingTablesAreCopiedAndNoneIsOverwritten)
{
    const QString data = m_root.filePath("data/");
    put(data + "memo.dbf", "my notes");        // a table in use
    put(data + "INFOS.DBT", "my sheets' memo"); // one file of a table is enough to keep it
    EXPECT_TRUE(fillFromTemplates(templates(), data).isEmpty());
    EXPECT_EQ(bytesOf(data + "memo.dbf"), "my notes");
    EXPECT_EQ(bytesOf(data + "memo.dbt"), "<missing>");
    EXPECT_EQ(bytesOf(data + "infos.dbf"), "<missing>");

    QFile::remove(data + "INFOS.DBT");
    EXPECT_EQ(fillFromTemplates(templates(), data),
              QStringList({"infos.dbf", "infos.dbt", "infos.mdx"}));
    EXPECT_EQ(bytesOf(data + "infos.mdx"), "template infos.mdx");
    EXPECT_TRUE(QFileInfo(data + "infos.dbf").isWritable()) << "the copy is the user's to write";
    EXPECT_TRUE(QDir(data).entryList({"*.part"}).isEmpty());
}

TEST_F(DataFolderTest, PortableFolderWinsWheneverThereIsOne)
{
    for (const bool beside : {true, false}) {
        QDir(bin() + "data").removeRecursively();
        QDir(home()).removeRecursively();
        if (beside)
            QDir().mkpath(bin() + "data");
        const DataFolder folder = prepareDataFolder(bin(), home());
        EXPECT_EQ(folder.portable, beside);
        EXPECT_TRUE(folder.writable);
        EXPECT_EQ(folder.path, beside ? bin() + "data/" : home() + "/velmora/");
        EXPECT_TRUE(folder.error.isEmpty()) << folder.error.toStdString();
        EXPECT_EQ(bytesOf(folder.path + "memo.dbf"), "template memo.dbf");
        EXPECT_EQ(modeOf(folder.path + "memo.dbf"), 0600u) << "the tables are the user's alone";
        if (!beside) {
            EXPECT_EQ(modeOf(folder.path), 0700u) << "the folder made for the data is the user's alone";
        }
    }
}

// A data folder beside the program that its user cannot write (a copy on a read-only disk, a
// folder of root's) once made the program switch to an empty folder of its own, so that the
// notes looked gone. It stays the folder, said to be read-only, with nothing copied into it.
TEST_F(DataFolderTest, ADataFolderThatCannotBeWrittenStaysTheOneChosen)
{
    put(bin() + "data/memo.dbf", "my notes");
    QFile::setPermissions(m_root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                             | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(bin() + "data", QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther
                                              | QFile::ExeOther);
    const QString said = textOfOtherUser([this] {
        const DataFolder folder = prepareDataFolder(bin(), home());
        return (folder.path + (folder.writable ? " writable" : " read-only")).toStdString();
    });
    QFile::setPermissions(bin() + "data", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(said, bin() + "data/ read-only");
    EXPECT_EQ(bytesOf(bin() + "data/memo.dbf"), "my notes");
    EXPECT_FALSE(QFile::exists(bin() + "data/infos.dbf")) << "nothing is copied into it";
    EXPECT_FALSE(QFile::exists(home() + "/velmora")) << "no other folder is made";
}

TEST_F(DataFolderTest, SharedFilesAreBesideABuildAndUnderShareWhenInstalled)
{
    EXPECT_EQ(sharedDirectory(bin()), m_root.filePath("prefix/share/velmora/"));
    QDir().mkpath(bin() + "templates");
    EXPECT_EQ(sharedDirectory(bin()), bin());
}

TEST_F(DataFolderTest, UnusableUserFolderIsReportedNotThrown)
{
    put(m_root.filePath("blocked"), "a file where the folder should be");
    const DataFolder folder = prepareDataFolder(bin(), m_root.filePath("blocked"));
    EXPECT_FALSE(folder.portable);
    EXPECT_FALSE(folder.error.isEmpty());
}

} // namespace
