// Index pages this process keeps across its locks must not outlive a change by another process,
// whether the posts come one by one or in batches.
#include "childprocess.h"
#include "index_test_util.h"

#include "dbffile.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/resource.h>

using namespace indextest;

namespace {

std::vector<std::string> numbered(const std::string &prefix, int count)
{
    std::vector<std::string> titles;
    for (int i = 0; i < count; ++i)
        titles.push_back(prefix + std::to_string((i * 37) % count + 100));
    return titles;
}

} // namespace

class IndexCacheTest : public ::testing::TestWithParam<bool>
{
};

// The child's inserts split the pages the parent kept (root included); a parent that wrote its
// next key into a kept copy would lose the child's keys or break the tree.
TEST_P(IndexCacheTest, AnotherProcessChangingTheIndexBetweenTwoPostsIsSeen)
{
    const bool batch = GetParam();
    TempDir dir;
    makeInfosTable(dir);
    InfosDataset parent(dir);
    std::vector<std::string> all = numbered("M", 30);
    parent.post(all, batch);
    ASSERT_EQ(parent.walk().size(), all.size()); // every page now kept

    const std::vector<std::string> theirs = numbered("C", 80);
    ASSERT_TRUE(exitedCleanly(runChild([&] { InfosDataset(dir).post(theirs, false); })));
    const std::vector<std::string> more = numbered("Z", 20);
    parent.post(more, batch);

    all.insert(all.end(), theirs.begin(), theirs.end());
    all.insert(all.end(), more.begin(), more.end());
    std::sort(all.begin(), all.end(), std::greater<>());
    EXPECT_EQ(parent.walk(), all);
    auto index = TIndexFile::open(dir.file("infos.mdx"), binaryTable());
    ASSERT_TRUE(index);
    EXPECT_NO_THROW(index->checkStructure(0));
    EXPECT_EQ(index->recordsInOrder(0).size(), all.size());
}

INSTANTIATE_TEST_SUITE_P(PostsAndBatches, IndexCacheTest, ::testing::Bool());

// A batch holds its index pages until its end: the file does not move under it (but for the
// change counter), and afterwards another process finds every key in order and a next free block
// that matches the file, written after the pages it counts.
TEST(IndexBatchTest, ABatchWritesItsPagesAtItsEndForTheNextProcess)
{
    TempDir dir;
    makeInfosTable(dir);
    InfosDataset parent(dir);
    parent.post(numbered("A", 40), false);
    const std::vector<std::uint8_t> before = readBytes(dir.file("infos.mdx"));
    std::vector<std::string> titles = numbered("B", 300); // splits the root and its children
    parent.ds.beginBatch();
    parent.post(titles, false);
    std::vector<std::uint8_t> during = readBytes(dir.file("infos.mdx"));
    ASSERT_EQ(during.size(), before.size());
    std::copy(before.begin() + mdx::kHdrChangeCounter, before.begin() + mdx::kHdrChangeCounter + 4,
              during.begin() + mdx::kHdrChangeCounter);
    EXPECT_TRUE(during == before) << "pages written before the batch's end";
    parent.ds.endBatch();

    const std::vector<std::uint8_t> after = readBytes(dir.file("infos.mdx"));
    EXPECT_EQ(std::uint64_t{mdx::readLE32(&after[mdx::kHdrNextFree])} * mdx::kBlockSize, after.size());
    const std::vector<std::string> first = numbered("A", 40);
    titles.insert(titles.end(), first.begin(), first.end());
    std::sort(titles.begin(), titles.end(), std::greater<>());
    EXPECT_TRUE(exitedCleanly(runChild([&] {
        auto index = TIndexFile::open(dir.file("infos.mdx"), binaryTable());
        if (!index)
            std::_Exit(2);
        index->checkStructure(0);
        if (InfosDataset(dir).walk() != titles)
            std::_Exit(3);
    })));
}

// The file stops growing half way through a batch's end (a full disk): what reached it are pages
// nothing on disk leads to yet, so the tree is the one from before the batch, every key there.
TEST(IndexBatchTest, ABatchCutShortAtItsEndLeavesTheTreeFromBefore)
{
    TempDir dir;
    const std::string path = dir.file("infos.mdx");
    {
        auto index = TIndexFile::create(path, infosTable());
        index->createTag("", "TITRE", 0, 0, noRecords());
        for (std::uint32_t r = 1; r <= 40; ++r)
            index->insertKey(0, titleKey(numbered("A", 40)[r - 1]).data(), r);
    }
    EXPECT_TRUE(exitedCleanly(runChild([&] {
        auto index = TIndexFile::open(path, infosTable());
        index->beginBatch();
        for (std::uint32_t r = 41; r <= 400; ++r)
            index->insertKey(0, titleKey(numbered("B", 400)[r - 41]).data(), r);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{readBytes(path).size() + 3 * mdx::kPageSize, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            index->endBatch();
        } catch (const EDbfError &) {
            std::_Exit(0);
        }
        std::_Exit(4); // the limit did not bite
    })));
    auto index = TIndexFile::open(path, infosTable());
    ASSERT_TRUE(index);
    EXPECT_NO_THROW(index->checkStructure(0));
    std::vector<std::uint32_t> records = index->recordsInOrder(0);
    std::sort(records.begin(), records.end());
    ASSERT_EQ(records.size(), 40u);
    EXPECT_EQ(records.back(), 40u);
}
