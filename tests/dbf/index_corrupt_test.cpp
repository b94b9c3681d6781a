// Damaged index files: refused at open or stopped with an error, never a crash, a hang or a
// write outside the file's pages.
#include "index_test_util.h"

#include "dbffile.h"

#include <random>

using namespace indextest;

namespace {

std::uint32_t le32(const std::vector<std::uint8_t> &b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void putLe32(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A tag of 200 keys, two levels of branches deep; returns the root's block.
std::uint32_t buildTree(const std::string &path)
{
    auto index = TIndexFile::create(path, binaryTable());
    index->createTag("", "TITRE", ixDescending, 0, noRecords());
    for (std::uint32_t recNo = 1; recNo <= 200; ++recNo)
        index->insertKey(0, titleKey("Title " + std::to_string(recNo * 7919 % 1000)).data(), recNo);
    return index->tag(0).rootBlock;
}

std::size_t entry(std::uint32_t block, std::uint32_t i)
{
    return std::size_t(block) * 512 + 8 + i * 84;
}

// Applies `damage` to a good tree and expects open to refuse the file, and an index opened before
// the damage to stop every walk and change with an EDbfError.
void expectRefusedAndStopped(const std::function<void(std::vector<std::uint8_t> &, std::uint32_t root)> &damage)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    const std::uint32_t root = buildTree(path);
    auto openedBefore = TIndexFile::open(path, binaryTable());
    ASSERT_TRUE(openedBefore);
    std::vector<std::uint8_t> bytes = readFile(path);
    damage(bytes, root);
    bytes[508]++; // as every writer does, so that the pages kept by openedBefore go
    writeFile(path, bytes);

    std::string why;
    EXPECT_EQ(nullptr, TIndexFile::open(path, binaryTable(), &why));
    EXPECT_NE(std::string::npos, why.find("damaged")) << why;

    bool stopped = false;
    try {
        openedBefore->recordsInOrder(0);
        TIndexPath where;
        openedBefore->seekEdge(0, TIndexFile::Edge::Last, where);
        while (openedBefore->step(0, where, false)) {
        }
        for (std::uint32_t recNo = 201; recNo <= 400; ++recNo)
            openedBefore->insertKey(0, titleKey("Title " + std::to_string(recNo)).data(), recNo);
    } catch (const EDbfError &error) {
        stopped = true;
        EXPECT_NE(std::string::npos, std::string(error.what()).find("infos.mdx")) << error.what();
    }
    EXPECT_TRUE(stopped);
    EXPECT_EQ(bytes.size(), readFile(path).size()) << "nothing written past the file's pages";
}

} // namespace

TEST(IndexCorrupt, APagePointerPastTheEndIsRefused)
{
    expectRefusedAndStopped([](std::vector<std::uint8_t> &b, std::uint32_t root) {
        const std::uint32_t child = le32(b, entry(root, 0));
        putLe32(b, entry(child, 1), 0x00FFFFF0);
    });
}

TEST(IndexCorrupt, APagePointerIntoTheHeaderIsRefused)
{
    expectRefusedAndStopped([](std::vector<std::uint8_t> &b, std::uint32_t root) { putLe32(b, entry(root, 0), 2); });
}

TEST(IndexCorrupt, AKeyCountAboveTheMaximumIsRefused)
{
    expectRefusedAndStopped([](std::vector<std::uint8_t> &b, std::uint32_t root) {
        const std::uint32_t child = le32(b, entry(root, 0));
        const std::uint32_t leaf = le32(b, entry(child, 0));
        putLe32(b, std::size_t(leaf) * 512, 13);
    });
}

TEST(IndexCorrupt, ACycleOfPagesIsRefusedAndNeverWalkedForever)
{
    expectRefusedAndStopped([](std::vector<std::uint8_t> &b, std::uint32_t root) {
        const std::uint32_t child = le32(b, entry(root, 0));
        putLe32(b, entry(child, 0), root);
    });
}

TEST(IndexCorrupt, TwoBranchesSharingAPageAreRefused)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    const std::uint32_t root = buildTree(path);
    std::vector<std::uint8_t> bytes = readFile(path);
    putLe32(bytes, entry(root, 1), le32(bytes, entry(root, 0)));
    writeFile(path, bytes);
    EXPECT_EQ(nullptr, TIndexFile::open(path, binaryTable()));
}

TEST(IndexCorrupt, ANextFreeBlockInsideTheFileNeverOverwritesLivePages)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    buildTree(path);
    std::vector<std::uint8_t> bytes = readFile(path);
    const std::uint32_t realNextFree = le32(bytes, 32);
    for (const std::uint32_t bad : {6u, realNextFree - 2, realNextFree + 1000}) {
        putLe32(bytes, 32, bad);
        writeFile(path, bytes);
        auto index = TIndexFile::open(path, binaryTable());
        ASSERT_TRUE(index);
        std::uint32_t recNo = 201;
        EXPECT_THROW(
            for (; recNo <= 400; ++recNo) index->insertKey(0, titleKey("Title " + std::to_string(recNo)).data(), recNo),
            EDbfError);
        EXPECT_LT(recNo, 400u) << "a split was needed and refused";
        EXPECT_EQ(bytes.size(), readFile(path).size());
        EXPECT_NO_THROW(index->checkStructure(0)) << "keys inserted before the refusal are in order";
        bytes = readFile(path);
    }
}

TEST(IndexCorrupt, FilesThatAreNoIndexAtAllAreRefusedWithoutCrashing)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    std::mt19937 rng(11);
    std::vector<std::vector<std::uint8_t>> candidates{{}, std::vector<std::uint8_t>(1000, 0)};
    std::vector<std::uint8_t> noise(8192);
    for (auto &byte : noise)
        byte = static_cast<std::uint8_t>(rng());
    candidates.push_back(noise);
    // A good header whose tag header lies past the end, and one whose key sizes disagree.
    buildTree(path);
    std::vector<std::uint8_t> good = readFile(path);
    std::vector<std::uint8_t> tagPastEnd = good;
    putLe32(tagPastEnd, 544, 100000);
    candidates.push_back(tagPastEnd);
    std::vector<std::uint8_t> badSizes = good;
    badSizes[2048 + 18] = 200;
    candidates.push_back(badSizes);
    std::vector<std::uint8_t> tooManyTags = good;
    tooManyTags[28] = 200;
    candidates.push_back(tooManyTags);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        writeFile(path, candidates[i]);
        std::string why;
        EXPECT_EQ(nullptr, TIndexFile::open(path, binaryTable(), &why)) << "candidate " << i;
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(candidates[i], readFile(path)) << "candidate " << i << " left as it was";
    }
}

TEST(IndexCorrupt, ADatasetWithADamagedIndexOpensInStoredOrder)
{
    TempDir dir;
    const std::string table = dir.file("infos.dbf");
    createDbfTable(table, 0x8B, 0x57, {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
    {
        TDbf ds("Dbfinfos");
        ds.setFilePath(dir.path() + "/");
        ds.setTableName("infos.dbf");
        ds.open();
        for (const char *title : {"Alpha", "Gamma", "Beta"}) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString(title);
            ds.post();
        }
    }
    {
        auto index = TIndexFile::create(dir.file("infos.mdx"), infosTable());
        index->createTag("", "TITRE", ixDescending, 0, noRecords());
    }
    std::vector<std::uint8_t> bytes = readFile(dir.file("infos.mdx"));
    putLe32(bytes, 2048, 9999); // root past the end
    writeFile(dir.file("infos.mdx"), bytes);
    std::vector<std::uint8_t> tableBytes = readFile(table);
    tableBytes[28] = 1;
    writeFile(table, tableBytes);

    TDbf ds("Dbfinfos");
    ds.setFilePath(dir.path() + "/");
    ds.setTableName("infos.dbf");
    ds.open();
    std::vector<std::string> titles;
    for (ds.first(); !ds.eof(); ds.next())
        titles.push_back(ds.fieldByName("TITRE").asString());
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Gamma", "Beta"}), titles);
    ds.insert();
    ds.fieldByName("TITRE").setAsString("Delta");
    ds.post();
    ds.close();
    EXPECT_EQ(bytes, readFile(dir.file("infos.mdx")));
}

TEST(IndexCorrupt, RandomDamageToThePagesNeverCrashesHangsOrGrowsTheFileWithoutBound)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    buildTree(path);
    const std::vector<std::uint8_t> good = readFile(path);
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::size_t> offset(2048, good.size() - 1);
    std::uniform_int_distribution<int> flips(1, 8);
    for (int round = 0; round < 150; ++round) {
        std::vector<std::uint8_t> bytes = good;
        for (int i = flips(rng); i > 0; --i)
            bytes[offset(rng)] = static_cast<std::uint8_t>(rng());
        writeFile(path, bytes);
        auto index = TIndexFile::open(path, binaryTable());
        if (!index)
            continue;
        try {
            index->recordsInOrder(0);
            for (std::uint32_t recNo = 300; recNo < 330; ++recNo)
                index->insertKey(0, titleKey("New " + std::to_string(recNo % 7)).data(), recNo);
            index->deleteKey(0, titleKey("Title 919").data(), 1);
            index->recordsInOrder(0);
        } catch (const EDbfError &) {
            // Damage found on the way: reported, as it should be.
        }
        EXPECT_LE(readFile(path).size(), good.size() + 30 * 3 * 1024) << "round " << round;
    }
}
