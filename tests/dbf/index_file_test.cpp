// Byte-level tests of the .mdx file the engine writes, and of its B-tree.
#include "index_test_util.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

using namespace indextest;

namespace {

// Reads a tag of a binary-rule file straight from its bytes, independently of the engine: checks
// that every page holds its keys in order and that each branch key bounds the child it leads to,
// and returns the record numbers of the leaves from left to right.
struct RawTree
{
    const std::vector<std::uint8_t> &file;
    bool descending;
    std::size_t keyLength = 80, recordLength = 84, maxKeys = 12;
    std::vector<std::uint32_t> records;
    std::vector<std::vector<std::uint8_t>> keys;
    int pages = 0;
    int leafDepth = -1;

    int order(const std::uint8_t *a, const std::uint8_t *b) const
    {
        const int c = std::memcmp(a, b, keyLength);
        return descending ? -c : c;
    }

    // Checks one page and those below it against the bounds its parent gives.
    void walk(std::uint32_t block, const std::uint8_t *low, const std::uint8_t *high, int depth)
    {
        ASSERT_LT(depth, 20) << "tree too deep";
        ++pages;
        const std::size_t at = std::size_t(block) * 512;
        ASSERT_LE(at + 1024, file.size()) << "page " << block << " past the end";
        const std::uint32_t n = le32(file, at);
        ASSERT_LE(n, maxKeys) << "page " << block;
        const auto entry = [&](std::uint32_t i) { return at + 8 + i * recordLength; };
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t *key = &file[entry(i) + 4];
            if (i > 0) {
                EXPECT_LE(order(&file[entry(i - 1) + 4], key), 0) << "page " << block << " entry " << i;
            }
            if (low) {
                EXPECT_GE(order(key, low), 0) << "page " << block << " entry " << i << " below its bound";
            }
            if (high) {
                EXPECT_LE(order(key, high), 0) << "page " << block << " entry " << i << " above its bound";
            }
        }
        const bool branch = n < maxKeys && le32(file, entry(n)) != 0;
        if (!branch) {
            if (leafDepth < 0)
                leafDepth = depth;
            EXPECT_EQ(leafDepth, depth) << "leaves on different levels";
            for (std::uint32_t i = 0; i < n; ++i) {
                records.push_back(le32(file, entry(i)));
                keys.emplace_back(&file[entry(i) + 4], &file[entry(i) + 4] + keyLength);
            }
            return;
        }
        for (std::uint32_t i = 0; i <= n; ++i) {
            const std::uint8_t *childLow = i > 0 ? &file[entry(i - 1) + 4] : low;
            const std::uint8_t *childHigh = i < n ? &file[entry(i) + 4] : high;
            walk(le32(file, entry(i)), childLow, childHigh, depth + 1);
        }
    }
};

std::vector<std::uint32_t> rawWalk(const std::string &path, std::size_t tagIndex = 0, int *pages = nullptr)
{
    const std::vector<std::uint8_t> bytes = readBytes(path);
    const std::uint32_t tagHeader = le32(bytes, 544 + 32 * tagIndex) * 512;
    RawTree tree{bytes, (bytes[tagHeader + 8] & 0x08) != 0, 80, 84, 12, {}, {}, 0, -1};
    tree.walk(le32(bytes, tagHeader), nullptr, nullptr, 0);
    if (pages)
        *pages = tree.pages;
    return tree.records;
}

std::string randomTitle(std::mt19937 &rng)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij ";
    std::uniform_int_distribution<int> length(1, 30), letter(0, sizeof letters - 2);
    std::string title;
    for (int i = length(rng); i > 0; --i)
        title += letters[letter(rng)];
    return title;
}

// Record numbers sorted by title (binary order, descending when asked), equal titles in the
// order in which they were inserted.
std::vector<std::uint32_t> modelOrder(const std::vector<std::pair<std::string, std::uint32_t>> &inserted,
                                      bool descending)
{
    std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>> keyed;
    for (const auto &[title, recNo] : inserted)
        keyed.emplace_back(titleKey(title), recNo);
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto &a, const auto &b) {
        return descending ? a.first > b.first : a.first < b.first;
    });
    std::vector<std::uint32_t> order;
    for (const auto &k : keyed)
        order.push_back(k.second);
    return order;
}

} // namespace

TEST(IndexFileBytes, NewFileWithTitreTagWritesTheExpectedHeaderTagEntryAndTagHeader)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    {
        auto index = TIndexFile::create(path, infosTable());
        EXPECT_EQ(0, index->createTag("", "titre", ixDescending, 0, noRecords()));
    }
    const std::vector<std::uint8_t> b = readBytes(path);
    ASSERT_EQ(4096u, b.size()) << "header, tag header and an empty root";
    EXPECT_EQ(2, b[0]);
    EXPECT_EQ(0, std::memcmp(&b[4], "infos\0", 6));
    EXPECT_EQ(2, le16(b, 20));
    EXPECT_EQ(1024, le16(b, 22));
    EXPECT_EQ(1, b[24]);
    EXPECT_EQ(48, b[25]);
    EXPECT_EQ(32, b[26]);
    EXPECT_EQ(1, le16(b, 28));
    EXPECT_EQ(0, b[30]);
    EXPECT_EQ(0x57, b[31]);
    EXPECT_EQ(8u, le32(b, 32)) << "next free block after two pages";
    EXPECT_TRUE(b[1] == b[44] && b[2] == b[45] && b[3] == b[46]) << "creation date twice";
    EXPECT_TRUE(b[2] >= 1 && b[2] <= 12 && b[3] >= 1 && b[3] <= 31);
    EXPECT_EQ(1, b[529]);
    // Tag table entry 0.
    EXPECT_EQ(4u, le32(b, 544));
    for (int i = 4; i < 15; ++i)
        EXPECT_EQ(0, b[544 + i]) << "empty tag name";
    EXPECT_EQ(0x10, b[544 + 15]);
    EXPECT_EQ(2, b[544 + 20]);
    EXPECT_EQ('C', b[544 + 21]);
    // Tag header at block 4.
    EXPECT_EQ(6u, le32(b, 2048));
    EXPECT_EQ(4u, le32(b, 2048 + 4));
    EXPECT_EQ(0x18, b[2048 + 8]);
    EXPECT_EQ('C', b[2048 + 9]);
    EXPECT_EQ(80, le16(b, 2048 + 12));
    EXPECT_EQ(12, le16(b, 2048 + 14));
    EXPECT_EQ(84, le16(b, 2048 + 18));
    EXPECT_EQ(2, le16(b, 2048 + 20));
    EXPECT_EQ(0, b[2048 + 23]);
    EXPECT_EQ(0, std::memcmp(&b[2048 + 24], "TITRE\0", 6));
    EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 1, 0}), std::vector<std::uint8_t>(&b[2048 + 244], &b[2048 + 248]));
    // Every other byte of the header area and the empty root is 0.
    std::vector<std::uint8_t> expectedZero(b.begin() + 3072, b.end());
    EXPECT_EQ(std::vector<std::uint8_t>(1024, 0), expectedZero);
    for (std::size_t i = 48; i < 529; ++i)
        ASSERT_EQ(0, b[i]) << "header byte " << i;
}

TEST(IndexFileBytes, InsertsSplitLeavesAndRootAndEveryPageStaysOrdered)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    std::mt19937 rng(7);
    std::vector<std::pair<std::string, std::uint32_t>> inserted;
    {
        auto index = TIndexFile::create(path, binaryTable());
        index->createTag("", "TITRE", ixDescending, 0, noRecords());
        for (std::uint32_t recNo = 1; recNo <= 700; ++recNo) {
            inserted.emplace_back(randomTitle(rng), recNo);
            index->insertKey(0, titleKey(inserted.back().first).data(), recNo);
        }
        EXPECT_NO_THROW(index->checkStructure(0));
        EXPECT_EQ(modelOrder(inserted, true), index->recordsInOrder(0));
    }
    int pages = 0;
    EXPECT_EQ(modelOrder(inserted, true), rawWalk(path, 0, &pages));
    EXPECT_GT(pages, 60) << "the leaves and the root have split";
    const std::vector<std::uint8_t> b = readBytes(path);
    EXPECT_EQ(b.size(), le32(b, 32) * 512u) << "next free block is the end of the file";
    EXPECT_EQ(le32(b, 32) - 4, le32(b, 2048 + 4)) << "the tag counts every block it took";
}

TEST(IndexFileTree, EqualKeysAcrossPagesKeepInsertionOrder)
{
    TempDir dir;
    auto index = TIndexFile::create(dir.file("infos.mdx"), binaryTable());
    index->createTag("", "TITRE", ixDescending, 0, noRecords());
    std::vector<std::pair<std::string, std::uint32_t>> inserted;
    for (std::uint32_t recNo = 1; recNo <= 120; ++recNo) {
        inserted.emplace_back(recNo % 3 == 0 ? "Beta" : "Same", recNo);
        index->insertKey(0, titleKey(inserted.back().first).data(), recNo);
    }
    EXPECT_EQ(modelOrder(inserted, true), index->recordsInOrder(0));
    // Taking one out of the middle and putting it back sends it behind its equals.
    ASSERT_TRUE(index->deleteKey(0, titleKey("Same").data(), 50));
    index->insertKey(0, titleKey("Same").data(), 50);
    inserted.erase(std::find(inserted.begin(), inserted.end(), std::make_pair(std::string("Same"), 50u)));
    inserted.emplace_back("Same", 50);
    EXPECT_EQ(modelOrder(inserted, true), index->recordsInOrder(0));
    EXPECT_NO_THROW(index->checkStructure(0));
}

TEST(IndexFileTree, DeletedKeysLeaveTheWalkAndEmptiedPagesAreSkipped)
{
    TempDir dir;
    auto index = TIndexFile::create(dir.file("infos.mdx"), binaryTable());
    index->createTag("", "TITRE", 0, 0, noRecords());
    std::vector<std::pair<std::string, std::uint32_t>> inserted;
    for (std::uint32_t recNo = 1; recNo <= 200; ++recNo) {
        char title[16];
        std::snprintf(title, sizeof title, "T%04u", recNo);
        inserted.emplace_back(title, recNo);
        index->insertKey(0, titleKey(title).data(), recNo);
    }
    // Empty whole leaves in the middle and at both ends.
    std::vector<std::pair<std::string, std::uint32_t>> kept;
    for (const auto &entry : inserted) {
        const bool drop = entry.second <= 30 || (entry.second > 80 && entry.second <= 130) || entry.second > 185;
        if (drop)
            EXPECT_TRUE(index->deleteKey(0, titleKey(entry.first).data(), entry.second));
        else
            kept.push_back(entry);
    }
    EXPECT_FALSE(index->deleteKey(0, titleKey("T0001").data(), 1)) << "already gone";
    EXPECT_FALSE(index->deleteKey(0, titleKey("T0040").data(), 41)) << "key of another record";
    EXPECT_EQ(modelOrder(kept, false), index->recordsInOrder(0));
    TIndexPath path;
    ASSERT_TRUE(index->seekEdge(0, TIndexFile::Edge::Last, path));
    EXPECT_EQ(185u, index->entryAt(0, path));
    std::vector<std::uint32_t> backwards{index->entryAt(0, path)};
    while (index->step(0, path, false))
        backwards.push_back(index->entryAt(0, path));
    std::vector<std::uint32_t> forwards = modelOrder(kept, false);
    std::reverse(forwards.begin(), forwards.end());
    EXPECT_EQ(forwards, backwards);
    // Emptied completely, then filled again.
    for (const auto &entry : kept)
        ASSERT_TRUE(index->deleteKey(0, titleKey(entry.first).data(), entry.second));
    EXPECT_TRUE(index->recordsInOrder(0).empty());
    EXPECT_FALSE(index->seekEdge(0, TIndexFile::Edge::First, path));
    EXPECT_FALSE(index->seekEdge(0, TIndexFile::Edge::Last, path));
    index->insertKey(0, titleKey("Again").data(), 7);
    EXPECT_EQ(std::vector<std::uint32_t>{7}, index->recordsInOrder(0));
    EXPECT_NO_THROW(index->checkStructure(0));
}

TEST(IndexFileTree, OrdinalPositionsLeadBackToTheSameKey)
{
    TempDir dir;
    auto index = TIndexFile::create(dir.file("infos.mdx"), binaryTable());
    index->createTag("", "TITRE", ixDescending, 0, noRecords());
    std::mt19937 rng(3);
    for (std::uint32_t recNo = 1; recNo <= 150; ++recNo)
        index->insertKey(0, titleKey(randomTitle(rng)).data(), recNo);
    const std::vector<std::uint32_t> order = index->recordsInOrder(0);
    for (std::uint32_t n = 1; n <= order.size(); ++n) {
        TIndexPath path;
        ASSERT_TRUE(index->seekOrdinal(0, n, path));
        EXPECT_EQ(order[n - 1], index->entryAt(0, path));
        EXPECT_EQ(n, index->ordinalOf(0, path));
    }
    TIndexPath path;
    EXPECT_FALSE(index->seekOrdinal(0, 0, path));
    EXPECT_FALSE(index->seekOrdinal(0, 151, path));
}

TEST(IndexFileMaintenance, ChangesReachTheFileOnlyAfterATagWasSelected)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    TIndexFile::create(path, infosTable())->createTag("", "TITRE", ixDescending, 0, noRecords());
    const std::vector<std::uint8_t> before = readBytes(path);
    auto index = TIndexFile::open(path, infosTable());
    ASSERT_TRUE(index);
    index->recordAppended(1, record("Alpha").data());
    index->recordDeleted(1, record("Alpha").data());
    EXPECT_EQ(before, readBytes(path)) << "no tag selected yet";

    index->selectTag(0);
    index->recordAppended(1, record("Alpha").data());
    index->recordAppended(2, record("Gamma").data());
    index->recordAppended(3, record("Beta").data());
    EXPECT_EQ((std::vector<std::uint32_t>{2, 3, 1}), index->recordsInOrder(0));
    // An edit that keeps the title's bytes leaves the file alone.
    const std::vector<std::uint8_t> afterAppends = readBytes(path);
    index->recordRewritten(1, record("Alpha", "Old").data(), record("Alpha", "New").data());
    EXPECT_EQ(afterAppends, readBytes(path));
    index->recordRewritten(1, record("Alpha").data(), record("Zeta").data());
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3}), index->recordsInOrder(0));
    index->recordDeleted(2, record("Gamma").data());
    EXPECT_EQ((std::vector<std::uint32_t>{1, 3}), index->recordsInOrder(0));
}

TEST(IndexFileTags, CreatingATagIndexesEveryRecordDeletedOnesIncluded)
{
    TempDir dir;
    auto index = TIndexFile::create(dir.file("infos.mdx"), binaryTable());
    const std::vector<std::string> titles{"Alpha", "Gamma", "Beta"};
    index->createTag("ByTitleAscending", "TITRE", 0, 3, [&](std::uint32_t recNo, std::vector<std::uint8_t> &r) {
        r = record(titles[recNo - 1]);
        if (recNo == 2)
            r[0] = '*';
    });
    EXPECT_TRUE(index->live());
    EXPECT_EQ("BYTITLEASC", index->tag(0).name) << "upper case, ten characters";
    EXPECT_EQ(0, index->findTag("bytitleasc"));
    EXPECT_EQ(0, index->findTag("BYTITLEASCENDING-or-anything"));
    EXPECT_EQ((std::vector<std::uint32_t>{1, 3, 2}), index->recordsInOrder(0));
    EXPECT_EQ(-1, index->findTag(""));
}

TEST(IndexFileTags, RefusedTagsNameTheirFaultAndLeaveTheFileUsable)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    auto index = TIndexFile::create(path, infosTable());
    const auto refused = [&](const std::string &expression) {
        try {
            index->createTag("X", expression, 0, 0, noRecords());
        } catch (const EDbfError &error) {
            return std::string(error.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ("Index based on unknown field \"NOPE\".", refused("nope"));
    EXPECT_EQ("Index result for \"CATEG+TITRE\" too long, >100 characters (160).", refused("categ+titre"));
    EXPECT_EQ("Invalid index type: can only be string or float.", refused("INFOS"));
    EXPECT_EQ(0, index->tagCount());
    for (int i = 0; i < 47; ++i)
        index->createTag("T" + std::to_string(i), "TITRE", 0, 0, noRecords());
    EXPECT_EQ("Can not create index: too many indexes in file.", refused("TITRE"));
    index.reset();
    auto reopened = TIndexFile::open(path, infosTable());
    ASSERT_TRUE(reopened);
    EXPECT_EQ(47, reopened->tagCount());
    EXPECT_EQ(46, reopened->findTag("t46"));
}

TEST(IndexFileOrder, LocaleRuleFollowsTheCollatorAndBinaryRuleTheBytes)
{
    TempDir dir;
    // Language driver 15 names German (0x407) and code page 437, where Ä is 0x8E.
    const std::string umlaut = "\x8E" "pfel";
    const auto order = [&](const TIndexFile::TableInfo &table, const std::string &file) {
        auto index = TIndexFile::create(dir.file(file), table);
        index->createTag("", "TITRE", 0, 0, noRecords());
        index->insertKey(0, titleKey("Zebra").data(), 1);
        index->insertKey(0, titleKey(umlaut).data(), 2);
        index->insertKey(0, titleKey("apfel").data(), 3);
        index->insertKey(0, titleKey("Apfel").data(), 4);
        return index->recordsInOrder(0);
    };
    EXPECT_EQ((std::vector<std::uint32_t>{4, 1, 3, 2}), order(infosTable(0, 437, true), "binary.mdx"));
    EXPECT_EQ((std::vector<std::uint32_t>{3, 4, 2, 1}), order(infosTable(15, 437), "locale.mdx"))
        << "lower case first, Ä next to A, all before Z";
}

TEST(IndexFileOrder, FilesForAnotherDriverOrAMissingLocaleAreNotUsed)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    TIndexFile::create(path, infosTable(0x57, 1252))->createTag("", "TITRE", ixDescending, 0, noRecords());
    std::string why;
    EXPECT_EQ(nullptr, TIndexFile::open(path, infosTable(15, 437), &why));
    EXPECT_NE(std::string::npos, why.find("language driver")) << why;
    EXPECT_NE(nullptr, TIndexFile::open(path, infosTable(0x57, 1252)));
    // A dBase III table without driver takes the file's locale; byte 2 names none.
    EXPECT_NE(nullptr, TIndexFile::open(path, infosTable(0, 850, true)));
    std::vector<std::uint8_t> bytes = readBytes(path);
    bytes[31] = 2;
    writeBytes(path, bytes);
    EXPECT_EQ(nullptr, TIndexFile::open(path, infosTable(2, 850)));
    EXPECT_EQ(nullptr, TIndexFile::open(path, infosTable(0, 850, true)));
    EXPECT_THROW(TIndexFile::open(dir.file("none.mdx"), infosTable()), std::runtime_error);
}
