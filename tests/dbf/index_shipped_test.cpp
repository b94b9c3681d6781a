// The shipped infos.mdx: one tag of empty name on TITRE, descending, announced by infos.dbf.
#include "index_test_util.h"

#include <unicode/uloc.h>

using namespace indextest;

namespace {

std::string shipped(const std::string &name)
{
    return std::string(VELMORA_SHIPPED_DATA_DIR) + "/" + name;
}

} // namespace

TEST(IndexShipped, InfosMdxHoldsTheDescendingTitreTagAndInfosDbfAnnouncesIt)
{
    const std::vector<std::uint8_t> mdx = readBytes(shipped("infos.mdx"));
    ASSERT_EQ(4096u, mdx.size()) << "header, tag header and empty root";
    EXPECT_EQ(0, std::memcmp(&mdx[4], "infos\0", 6));
    EXPECT_EQ(1, mdx[28]) << "one tag";
    EXPECT_EQ(0x57, mdx[31]) << "language driver of infos.dbf";
    EXPECT_EQ(0, mdx[544 + 4]) << "empty tag name";
    EXPECT_EQ(0x18, mdx[2048 + 8]);
    EXPECT_EQ(80, mdx[2048 + 12]);
    EXPECT_EQ(12, mdx[2048 + 14]);
    EXPECT_EQ(84, mdx[2048 + 18]);
    EXPECT_EQ(0, std::memcmp(&mdx[2048 + 24], "TITRE\0", 6));
    EXPECT_EQ(1, readBytes(shipped("infos.dbf"))[28]);
}

// Language driver 0x57 orders by the platform's default locale: a French desktop here.
struct DefaultLocale
{
    explicit DefaultLocale(const char *name) : saved(uloc_getDefault())
    {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(name, &status);
    }
    ~DefaultLocale()
    {
        UErrorCode status = U_ZERO_ERROR;
        uloc_setDefault(saved.c_str(), &status);
    }
    std::string saved;
};

TEST(IndexShipped, SheetsAddedToTheShippedTablesAreWalkedByDescendingTitle)
{
    DefaultLocale french("fr_FR");
    TempDir dir;
    for (const char *name : {"infos.dbf", "infos.dbt", "infos.mdx"})
        writeBytes(dir.file(name), readBytes(shipped(name)));
    {
        TDbf infos("Dbfinfos");
        infos.setFilePath(dir.path());
        infos.setTableName("infos.dbf");
        infos.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
        infos.open();
        for (const char *title : {"Alpha", "Gamma", "Beta", "Écrire", "beta"}) {
            infos.insert();
            infos.fieldByName("TITRE").setAsString(title);
            infos.post();
            EXPECT_EQ(title, infos.fieldByName("TITRE").asString()) << "the new sheet is current";
        }
        std::vector<std::string> titles;
        for (infos.first(); !infos.eof(); infos.next())
            titles.push_back(infos.fieldByName("TITRE").asString());
        EXPECT_EQ((std::vector<std::string>{"Gamma", "Écrire", "Beta", "beta", "Alpha"}), titles);
    }
    auto index = TIndexFile::open(dir.file("infos.mdx"), infosTable());
    ASSERT_TRUE(index);
    EXPECT_NO_THROW(index->checkStructure(0));
    EXPECT_EQ(5u, index->recordsInOrder(0).size());
}
