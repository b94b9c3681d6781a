// Damaged index files: a damaged header or root is refused at open, a damaged page below stops
// the walk or change that reaches it with an error; never a crash, a hang or a write outside the
// file's pages.
#include "index_test_util.h"

#include "dbffile.h"

#include <random>

using namespace indextest;

namespace {

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

// Runs `work` and expects it to stop with the error that names the file and the damaged block.
void expectDamageReported(const std::function<void()> &work)
{
    try {
        work();
        ADD_FAILURE() << "the damage went unnoticed";
    } catch (const EDbfError &error) {
        const std::string what = error.what();
        EXPECT_NE(std::string::npos, what.find("infos.mdx")) << what;
        EXPECT_NE(std::string::npos, what.find("damaged at block")) << what;
    }
}

// Applies `damage` to a good tree below its root. Opening reads no further than the roots, so
// the file opens; every walk that reaches the damaged page stops with the error, in an index
// opened afresh as in one opened before the damage, and leaves every byte as it was.
void expectStoppedWhenVisited(const std::function<void(std::vector<std::uint8_t> &, std::uint32_t root)> &damage)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    const std::uint32_t root = buildTree(path);
    auto openedBefore = TIndexFile::open(path, binaryTable());
    ASSERT_TRUE(openedBefore);
    openedBefore->recordsInOrder(0); // every page kept
    std::vector<std::uint8_t> bytes = readBytes(path);
    damage(bytes, root);
    bytes[508]++; // as every writer does, so that the pages kept by openedBefore go
    writeBytes(path, bytes);

    std::string why;
    auto openedAfter = TIndexFile::open(path, binaryTable(), &why);
    ASSERT_TRUE(openedAfter) << why;
    for (TIndexFile *index : {openedAfter.get(), openedBefore.get()}) {
        expectDamageReported([&] { index->recordsInOrder(0); });
        expectDamageReported([&] {
            TIndexPath where;
            index->seekEdge(0, TIndexFile::Edge::Last, where);
            while (index->step(0, where, false)) {
            }
        });
        EXPECT_EQ(bytes, readBytes(path)) << "a walk changes nothing";
    }
}

using Damage = void (*)(std::vector<std::uint8_t> &, std::uint32_t root);

struct BelowTheRoot
{
    const char *name;
    Damage damage;
};

class IndexDamageBelowTheRoot : public ::testing::TestWithParam<BelowTheRoot>
{
};

} // namespace

TEST_P(IndexDamageBelowTheRoot, StopsTheWalkThatReachesIt)
{
    expectStoppedWhenVisited(GetParam().damage);
}

INSTANTIATE_TEST_SUITE_P(
    IndexCorrupt, IndexDamageBelowTheRoot,
    ::testing::Values(
        BelowTheRoot{"PagePointerPastTheEnd",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) {
                         putLe32(b, entry(le32(b, entry(root, 0)), 1), 0x00FFFFF0);
                     }},
        BelowTheRoot{"PagePointerIntoTheHeader",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) { putLe32(b, entry(root, 0), 2); }},
        BelowTheRoot{"KeyCountAboveTheMaximum",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) {
                         const std::uint32_t leaf = le32(b, entry(le32(b, entry(root, 0)), 0));
                         putLe32(b, std::size_t(leaf) * 512, 13);
                     }},
        BelowTheRoot{"PagePointerAtTheTagsOwnHeader",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) {
                         putLe32(b, entry(le32(b, entry(root, 0)), 0), le32(b, 544));
                     }},
        BelowTheRoot{"CycleOfPagesNeverWalkedForever",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) {
                         putLe32(b, entry(le32(b, entry(root, 0)), 0), root);
                     }},
        BelowTheRoot{"TwoBranchesSharingAPage",
                     [](std::vector<std::uint8_t> &b, std::uint32_t root) {
                         putLe32(b, entry(root, 1), le32(b, entry(root, 0)));
                     }}),
    [](const ::testing::TestParamInfo<BelowTheRoot> &info) { return std::string(info.param.name); });

// Damage at a root is still found at open; the table is then walked in stored order (below).
TEST(IndexCorrupt, ADamagedRootIsRefusedAtOpen)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    const std::uint32_t root = buildTree(path);
    const std::vector<std::uint8_t> good = readBytes(path);
    const std::function<void(std::vector<std::uint8_t> &)> damages[] = {
        [](std::vector<std::uint8_t> &b) { putLe32(b, 2048, 0x00FFFFF0); },   // past the end
        [](std::vector<std::uint8_t> &b) { putLe32(b, 2048, 2); },            // into the header
        [](std::vector<std::uint8_t> &b) { putLe32(b, 2048, le32(b, 544)); }, // the tag header itself
        [root](std::vector<std::uint8_t> &b) { putLe32(b, std::size_t(root) * 512, 500); }, // key count
    };
    for (const auto &damage : damages) {
        std::vector<std::uint8_t> bytes = good;
        damage(bytes);
        writeBytes(path, bytes);
        std::string why;
        EXPECT_EQ(nullptr, TIndexFile::open(path, binaryTable(), &why));
        EXPECT_NE(std::string::npos, why.find("damaged at block")) << why;
        EXPECT_EQ(bytes, readBytes(path));
    }
}

// Through the dataset, whose walk reads ahead: the walk in either direction that reaches a
// damaged page stops with the error, and neither the table nor its index changes.
TEST(IndexCorrupt, ADatasetWalkReachingADamagedPageStopsWithTheFileAndBlock)
{
    TempDir dir;
    makeInfosTable(dir);
    {
        std::vector<std::string> titles;
        for (int i = 0; i < 600; ++i)
            titles.push_back("Title " + std::to_string(i * 7919 % 1000));
        InfosDataset(dir).post(titles, false);
    }
    std::vector<std::uint8_t> bytes = readBytes(dir.file("infos.mdx"));
    const std::uint32_t root = le32(bytes, 2048);
    const std::uint32_t child = le32(bytes, entry(root, 0));
    putLe32(bytes, entry(child, 2), 0x00FFFFF0);
    writeBytes(dir.file("infos.mdx"), bytes);
    const std::vector<std::uint8_t> tableBytes = readBytes(dir.file("infos.dbf"));

    InfosDataset infos(dir);
    TDbf &ds = infos.ds;
    std::size_t walked = 0;
    expectDamageReported([&] {
        for (ds.first(); !ds.eof(); ds.next())
            ++walked;
    });
    EXPECT_GT(walked, 0u) << "the pages before the damaged one were walked";
    expectDamageReported([&] {
        for (ds.last(); !ds.bof(); ds.prior()) {
        }
    });
    ds.close();
    EXPECT_EQ(bytes, readBytes(dir.file("infos.mdx")));
    EXPECT_EQ(tableBytes, readBytes(dir.file("infos.dbf")));
}

TEST(IndexCorrupt, ANextFreeBlockInsideTheFileNeverOverwritesLivePages)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    buildTree(path);
    std::vector<std::uint8_t> bytes = readBytes(path);
    const std::uint32_t realNextFree = le32(bytes, 32);
    for (const std::uint32_t bad : {6u, realNextFree - 2, realNextFree + 1000}) {
        putLe32(bytes, 32, bad);
        writeBytes(path, bytes);
        auto index = TIndexFile::open(path, binaryTable());
        ASSERT_TRUE(index);
        std::uint32_t recNo = 201;
        EXPECT_THROW(
            for (; recNo <= 400; ++recNo) index->insertKey(0, titleKey("Title " + std::to_string(recNo)).data(), recNo),
            EDbfError);
        EXPECT_LT(recNo, 400u) << "a split was needed and refused";
        EXPECT_EQ(bytes.size(), readBytes(path).size());
        EXPECT_NO_THROW(index->checkStructure(0)) << "keys inserted before the refusal are in order";
        bytes = readBytes(path);
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
    std::vector<std::uint8_t> good = readBytes(path);
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
        writeBytes(path, candidates[i]);
        std::string why;
        EXPECT_EQ(nullptr, TIndexFile::open(path, binaryTable(), &why)) << "candidate " << i;
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(candidates[i], readBytes(path)) << "candidate " << i << " left as it was";
    }
}

TEST(IndexCorrupt, ADatasetWithADamagedIndexOpensInStoredOrder)
{
    TempDir dir;
    const std::string table = dir.file("infos.dbf");
    createDbfTable(table, 0x8B, 0x57, {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
    {
        TDbf ds("Dbfinfos");
        openTable(ds, dir, "infos.dbf");
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
    std::vector<std::uint8_t> bytes = readBytes(dir.file("infos.mdx"));
    putLe32(bytes, 2048, 9999); // root past the end
    writeBytes(dir.file("infos.mdx"), bytes);
    std::vector<std::uint8_t> tableBytes = readBytes(table);
    tableBytes[28] = 1;
    writeBytes(table, tableBytes);

    TDbf ds("Dbfinfos");
    openTable(ds, dir, "infos.dbf");
    std::vector<std::string> titles;
    for (ds.first(); !ds.eof(); ds.next())
        titles.push_back(ds.fieldByName("TITRE").asString());
    EXPECT_EQ((std::vector<std::string>{"Alpha", "Gamma", "Beta"}), titles);
    ds.insert();
    ds.fieldByName("TITRE").setAsString("Delta");
    ds.post();
    ds.close();
    EXPECT_EQ(bytes, readBytes(dir.file("infos.mdx")));
}

TEST(IndexCorrupt, RandomDamageToThePagesNeverCrashesHangsOrGrowsTheFileWithoutBound)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    buildTree(path);
    const std::vector<std::uint8_t> good = readBytes(path);
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::size_t> offset(2048, good.size() - 1);
    std::uniform_int_distribution<int> flips(1, 8);
    for (int round = 0; round < 150; ++round) {
        std::vector<std::uint8_t> bytes = good;
        for (int i = flips(rng); i > 0; --i)
            bytes[offset(rng)] = static_cast<std::uint8_t>(rng());
        writeBytes(path, bytes);
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
        EXPECT_LE(readBytes(path).size(), good.size() + 30 * 3 * 1024) << "round " << round;
    }
}
