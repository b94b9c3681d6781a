// The shipped empty tables, read back by an independent dBase reader (Debian's python3-dbfread)
// after the engine wrote records into a copy of them.
#include "childprocess.h"
#include "dbf.h"
#include "dbftestutil.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>

namespace {

// Runs the reader on `table` and returns what it printed: one line of field descriptions, then
// one line per record (deleted ones included, marked), values in UTF-8.
std::string readWithDbfread(const std::string &py, const std::string &table)
{
    const std::string script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], load=True, char_decode_errors='strict')\n"
        "print(t.dbversion, t.header.language_driver, t.encoding)\n"
        "print(' '.join('%s:%s:%d' % (f.name, f.type, f.length) for f in t.fields))\n"
        // This reader takes the dword of a length-prefixed memo as the text length (it holds
        // 8 + length), so it reads 8 bytes of the block's space filling too: strip them.
        "v = lambda x: x.rstrip(' ') if isinstance(x, str) else x\n"
        "row = lambda r: '|'.join('%s=%s' % (k, v(x)) for k, x in r.items())\n"
        "for r in t.records: print(row(r))\n"
        "for r in t.deleted: print('deleted ' + row(r))\n";
    const std::string cmd = "PYTHONIOENCODING=utf-8 " + py + " -c \"$(cat <<'PY'\n" + script +
                            "PY\n)\" '" + table + "' 2>&1";
    return commandOutput(cmd);
}

struct ShippedDataTest : ::testing::Test
{
    TempDir dir;
    std::string py = dbfreadPython();

    void SetUp() override
    {
        if (py.empty())
            GTEST_SKIP() << "python3 with dbfread is not installed";
        for (const char *f : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "adbook.dbf",
                              "adbook.dbt"}) {
            const auto bytes = readBytes(std::string(VELMORA_SHIPPED_DATA_DIR) + "/" + f);
            ASSERT_FALSE(bytes.empty()) << f << " is not in the build's data folder";
            writeBytes(dir.file(f), bytes);
        }
    }
};

TEST_F(ShippedDataTest, EmptyTablesHaveTheirSchemas)
{
    EXPECT_EQ(readWithDbfread(py, dir.file("memo.dbf")),
              "dBASE IV with memo 87 cp1252\nTITRE:C:80 MEMO:M:10\n");
    EXPECT_EQ(readWithDbfread(py, dir.file("infos.dbf")),
              "dBASE IV with memo 87 cp1252\nCATEG:C:80 TITRE:C:80 INFOS:M:10\n");
    EXPECT_EQ(readWithDbfread(py, dir.file("adbook.dbf")),
              "dBASE IV with memo 87 cp1252\nPRENOM:C:35 NOM:C:35 ADRESSE:C:120 VILLE:C:40 "
              "CP:C:8 PAYS:C:40 TEL:C:20 FAX:C:20 NOTES:M:10 EMAIL:C:120 WEB:C:120 "
              "MOBILE:C:20\n");
    const auto memo = readBytes(dir.file("memo.dbt"));
    ASSERT_EQ(memo.size(), 512u);
    EXPECT_EQ(le32(memo, 0), 1u);
    EXPECT_EQ(le16(memo, 20), 512);
}

TEST_F(ShippedDataTest, RecordsWrittenByTheEngineReadBackElsewhere)
{
    TDbf infos("Dbfinfos");
    openTable(infos, dir, "infos.dbf");
    const std::string longText = "{\\rtf1\\ansi " + std::string(700, 'x') + "}";
    const std::vector<std::array<std::string, 3>> rows = {
        {"Maison", "Noël à Évian", "{\\rtf1 été}"}, {"Travail", "Réunion", longText},
        {"", "Sans texte", ""}};
    for (const auto &row : rows) {
        infos.insert();
        infos.fieldByName("CATEG").setAsString(row[0]);
        infos.fieldByName("TITRE").setAsString(row[1]);
        infos.fieldByName("INFOS").setAsString(row[2]);
        infos.post();
    }
    infos.first();
    infos.next();
    infos.edit();
    infos.fieldByName("INFOS").setAsString("{\\rtf1 court}");
    infos.post();
    infos.last();
    infos.deleteRecord();
    infos.close();

    EXPECT_EQ(readWithDbfread(py, dir.file("infos.dbf")),
              "dBASE IV with memo 87 cp1252\nCATEG:C:80 TITRE:C:80 INFOS:M:10\n"
              "CATEG=Maison|TITRE=Noël à Évian|INFOS={\\rtf1 été}\n"
              "CATEG=Travail|TITRE=Réunion|INFOS={\\rtf1 court}\n"
              "deleted CATEG=|TITRE=Sans texte|INFOS=None\n");
}

} // namespace
