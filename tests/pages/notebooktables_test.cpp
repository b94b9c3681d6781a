// The notebook's three tables opened from a real data folder.
#include "notebooktables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// One broken table once kept the address book closed for the whole run: each opens on its own,
// and the error names the table that failed.
TEST(NotebookTables, ATableThatFailsToOpenKeepsNoOtherClosed)
{
    QTemporaryDir dir;
    const QString data = dir.path() + QLatin1Char('/');
    for (const char *name : {"memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx", "adbook.dbf", "adbook.dbt"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_SHIPPED_DATA_DIR "/") + name, data + name));
    QFile notATable(data + QStringLiteral("notes.txt"));
    ASSERT_TRUE(notATable.open(QIODevice::WriteOnly));
    notATable.write("not a table at all");
    notATable.close();
    ASSERT_TRUE(QFile::link(data + QStringLiteral("notes.txt"), data + QStringLiteral("memo.dbf")));

    NotebookTables tables;
    tables.setFolder(data);
    std::string error;
    try {
        tables.openAll();
    } catch (const std::exception &e) {
        error = e.what();
    }
    EXPECT_NE(error.find("memo.dbf"), std::string::npos) << error;
    EXPECT_TRUE(tables.Dbfinfos().active());
    EXPECT_FALSE(tables.Dbfmemo().active());
    EXPECT_TRUE(tables.Dbfadbook().active()) << "the address book is sound";
    tables.closeAll();
}

} // namespace
