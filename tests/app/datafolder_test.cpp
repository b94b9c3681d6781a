// Choosing and filling the data folder, on real folders in a temporary directory.
#include "datafolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

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

TEST_F(DataFolderTest, PortableFolderWinsOnlyWhenItIsAWritableFolder)
{
    struct Case
    {
        const char *why;
        bool makeBeside;
        QFile::Permissions besidePermissions;
        bool portable;
    } cases[] = {
        {"writable data folder beside the program", true,
         QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner, true},
        {"no data folder beside the program", false, {}, false},
        {"read-only data folder beside the program", true, QFile::ReadOwner | QFile::ExeOwner,
         false},
    };
    for (const Case &c : cases) {
        if (c.makeBeside && !c.portable && ::geteuid() == 0)
            continue; // root writes into any folder: a read-only one cannot be made here
        QDir(bin() + "data").removeRecursively();
        QDir(home()).removeRecursively();
        if (c.makeBeside) {
            QDir().mkpath(bin() + "data");
            QFile::setPermissions(bin() + "data", c.besidePermissions);
        }
        const DataFolder folder = prepareDataFolder(bin(), home());
        QFile::setPermissions(bin() + "data", QFile::ReadOwner | QFile::WriteOwner
                                                  | QFile::ExeOwner);
        EXPECT_EQ(folder.portable, c.portable) << c.why;
        EXPECT_EQ(folder.path, c.portable ? bin() + "data/" : home() + "/velmora/") << c.why;
        EXPECT_TRUE(folder.error.isEmpty()) << c.why << ": " << folder.error.toStdString();
        EXPECT_EQ(bytesOf(folder.path + "memo.dbf"), "template memo.dbf") << c.why;
    }
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
