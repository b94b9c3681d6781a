// The dataset walking infos.dbf through a tag of infos.mdx.
#include "index_test_util.h"

#include "dbffile.h"
#include "indexcursor.h"

#include <sys/stat.h>

using namespace indextest;

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void setIndexFlag(const std::string &tablePath, std::uint8_t flag)
{
    std::vector<std::uint8_t> bytes = readBytes(tablePath);
    bytes[28] = flag;
    writeBytes(tablePath, bytes);
}

using Titles = std::vector<std::string>;

} // namespace

TEST(IndexDataset, WithoutInfosMdxNothingIsCreatedAndTheStoredOrderIsWalked)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta"}, std::nullopt);
    setIndexFlag(dir.file("infos.dbf"), 1); // announced, but missing
    Infos infos(dir);
    EXPECT_TRUE(infos.ds.indexes().empty()) << "the TITRE definition names no file of its own";
    EXPECT_EQ((Titles{"Alpha", "Gamma", "Beta"}), infos.walk());
    infos.add("Delta");
    EXPECT_EQ("Beta", infos.ds.fieldByName("TITRE").asString()) << "physical order: the old record stays current";
    infos.ds.close();
    EXPECT_FALSE(exists(dir.file("infos.mdx")));
    EXPECT_EQ(0, readBytes(dir.file("infos.dbf"))[28]) << "the flag of a missing index is cleared";
}

TEST(IndexDataset, TheEmptyNamedTagWalksTitlesDescendingAndReplacesTheDefinition)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta"});
    Infos infos(dir);
    ASSERT_EQ(1u, infos.ds.indexes().size());
    const TDbfIndexDef &definition = infos.ds.indexes()[0];
    EXPECT_EQ("", definition.IndexFile);
    EXPECT_EQ("TITRE", definition.SortField);
    EXPECT_EQ(unsigned(ixDescending | ixExpression), definition.Options);
    EXPECT_EQ((Titles{"Gamma", "Beta", "Alpha"}), infos.walk());
    infos.ds.last();
    EXPECT_EQ("Alpha", infos.ds.fieldByName("TITRE").asString());
    infos.ds.prior();
    EXPECT_EQ("Beta", infos.ds.fieldByName("TITRE").asString());
    EXPECT_EQ(3, infos.ds.recNo()) << "record numbers stay physical";
}

TEST(IndexDataset, AnAppendedRecordTakesItsPlaceAndStaysCurrent)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta"});
    Infos infos(dir);
    infos.ds.first();
    infos.add("Delta");
    EXPECT_EQ("Delta", infos.ds.fieldByName("TITRE").asString());
    EXPECT_EQ(4, infos.ds.recNo());
    infos.ds.next();
    EXPECT_EQ("Beta", infos.ds.fieldByName("TITRE").asString());
    infos.add("Beta");
    EXPECT_EQ(5, infos.ds.recNo());
    EXPECT_EQ((Titles{"Gamma", "Delta", "Beta", "Beta", "Alpha"}), infos.walk());
    // Equal titles come in the order their keys went in.
    std::vector<int> betas;
    for (infos.ds.first(); !infos.ds.eof(); infos.ds.next())
        if (infos.ds.fieldByName("TITRE").asString() == "Beta")
            betas.push_back(infos.ds.recNo());
    EXPECT_EQ((std::vector<int>{3, 5}), betas);
}

TEST(IndexDataset, AnEditedTitleMovesItsRecordWhichStaysCurrent)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta"});
    Infos infos(dir);
    infos.ds.last();
    ASSERT_EQ("Alpha", infos.ds.fieldByName("TITRE").asString());
    infos.ds.edit();
    infos.ds.fieldByName("TITRE").setAsString("Zeta");
    infos.ds.post();
    EXPECT_EQ("Zeta", infos.ds.fieldByName("TITRE").asString());
    EXPECT_EQ(1, infos.ds.recNo());
    infos.ds.next();
    EXPECT_EQ("Gamma", infos.ds.fieldByName("TITRE").asString()) << "the walk goes on from the new place";
    EXPECT_EQ((Titles{"Zeta", "Gamma", "Beta"}), infos.walk());
    // A category change leaves the key and the place alone.
    infos.ds.last();
    infos.ds.edit();
    infos.ds.fieldByName("CATEG").setAsString("Maison");
    infos.ds.post();
    EXPECT_EQ("Beta", infos.ds.fieldByName("TITRE").asString());
    EXPECT_EQ((Titles{"Zeta", "Gamma", "Beta"}), infos.walk());
}

TEST(IndexDataset, DeletedRecordsAreNeverReached)
{
    TempDir dir;
    // Beta was deleted before the tag was built: its key stays and the flag hides it.
    makeInfos(dir, {"Alpha", "Gamma", "*Beta", "Delta"});
    Infos infos(dir);
    EXPECT_EQ((Titles{"Gamma", "Delta", "Alpha"}), infos.walk());
    infos.ds.first();
    infos.ds.next();
    ASSERT_EQ("Delta", infos.ds.fieldByName("TITRE").asString());
    infos.ds.deleteRecord();
    EXPECT_EQ("Alpha", infos.ds.fieldByName("TITRE").asString()) << "the next record in title order";
    EXPECT_EQ((Titles{"Gamma", "Alpha"}), infos.walk());
    EXPECT_EQ(2, infos.ds.visibleRecordCount());
    const std::vector<std::uint32_t> keys = [&] {
        auto index = TIndexFile::open(dir.file("infos.mdx"), infosTable());
        return index->recordsInOrder(0);
    }();
    EXPECT_EQ((std::vector<std::uint32_t>{2, 3, 1}), keys) << "Delta's key left the tag, Beta's stayed";
}

TEST(IndexDataset, ATagWithAnotherNameLeavesTheStoredOrderAndTheFileUntouched)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta"}, std::string("TITLES"));
    const std::vector<std::uint8_t> before = readBytes(dir.file("infos.mdx"));
    Infos infos(dir);
    ASSERT_EQ(1u, infos.ds.indexes().size());
    EXPECT_EQ("TITLES", infos.ds.indexes()[0].IndexFile);
    EXPECT_EQ((Titles{"Alpha", "Gamma", "Beta"}), infos.walk());
    infos.add("Delta");
    infos.ds.first();
    infos.ds.edit();
    infos.ds.fieldByName("TITRE").setAsString("Omega");
    infos.ds.post();
    infos.ds.deleteRecord();
    infos.ds.close();
    EXPECT_EQ(before, readBytes(dir.file("infos.mdx")));
    // Choosing the tag by name orders the table and makes the file live.
    Infos named(dir);
    named.ds.setIndexName("titles");
    EXPECT_EQ((Titles{"Gamma", "Beta"}), named.walk()) << "the tag missed the changes made while it was not chosen";
}

TEST(IndexDataset, BookmarksRecordNumbersAndLocateFollowTheTag)
{
    TempDir dir;
    makeInfos(dir, {"Alpha", "Gamma", "Beta", "Gamma", "Epsilon"});
    Infos infos(dir);
    infos.ds.first();
    infos.ds.next();
    const TBookmark mark = infos.ds.getBookmark();
    ASSERT_EQ(4u, *mark) << "second Gamma";
    infos.ds.last();
    infos.ds.gotoBookmark(mark);
    infos.ds.next();
    EXPECT_EQ("Epsilon", infos.ds.fieldByName("TITRE").asString());
    infos.ds.setRecNo(3);
    EXPECT_EQ("Beta", infos.ds.fieldByName("TITRE").asString());
    infos.ds.next();
    EXPECT_EQ("Alpha", infos.ds.fieldByName("TITRE").asString());
    // Sequential numbers are places in the tag and lead back to the same key.
    infos.ds.setRecNo(5);
    const int place = infos.ds.sequentialRecNo();
    EXPECT_EQ(3, place);
    infos.ds.first();
    infos.ds.setSequentialRecNo(place);
    EXPECT_EQ(5, infos.ds.recNo());
    EXPECT_TRUE(infos.ds.locate("titre", "Gamma"));
    EXPECT_EQ(2, infos.ds.recNo()) << "the first Gamma in title order";
}
