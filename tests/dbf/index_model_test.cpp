// Random appends, edits and deletes through the dataset, checked against a simple model of the
// tag's order, in one process and in two processes sharing the table.
#include "childprocess.h"
#include "index_test_util.h"

#include "dbffile.h"

#include <algorithm>
#include <map>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using namespace indextest;

namespace {

std::string title(std::mt19937 &rng, const std::string &prefix)
{
    // Few distinct titles, so that equal keys are common and span pages.
    std::uniform_int_distribution<int> pick(0, 59);
    return prefix + "T" + std::to_string(pick(rng) * 37 % 60);
}

// What one side of the test knows: its own records' titles and when each key went in.
struct Model
{
    struct Entry
    {
        std::string title;
        std::uint64_t sequence;
    };
    std::map<int, Entry> live;
    std::uint64_t clock = 0;

    // Record numbers in tag order: titles descending, equal titles by insertion.
    std::vector<int> order() const
    {
        std::vector<std::pair<int, Entry>> entries(live.begin(), live.end());
        std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
            const std::vector<std::uint8_t> ka = titleKey(a.second.title), kb = titleKey(b.second.title);
            return ka != kb ? ka > kb : a.second.sequence < b.second.sequence;
        });
        std::vector<int> records;
        for (const auto &e : entries)
            records.push_back(e.first);
        return records;
    }
};

// One random change through the dataset, mirrored in the model. Only the model's own records are
// edited and deleted, so two processes never fight over a record.
void randomChange(TDbf &ds, Model &model, std::mt19937 &rng, const std::string &prefix)
{
    std::uniform_int_distribution<int> kind(0, 9);
    const int k = kind(rng);
    if (model.live.empty() || k < 5) {
        const std::string t = title(rng, prefix);
        ds.insert();
        ds.fieldByName("TITRE").setAsString(t);
        ds.post();
        model.live[ds.recNo()] = {t, model.clock++};
        return;
    }
    auto it = model.live.begin();
    std::advance(it, std::uniform_int_distribution<std::size_t>(0, model.live.size() - 1)(rng));
    ds.setRecNo(it->first);
    if (ds.recNo() != it->first)
        throw std::runtime_error("record " + std::to_string(it->first) + " not reached");
    if (k < 8) {
        const std::string t = k == 7 ? it->second.title : title(rng, prefix);
        ds.edit();
        ds.fieldByName("TITRE").setAsString(t);
        ds.fieldByName("CATEG").setAsString("C" + std::to_string(k));
        ds.post();
        if (t != it->second.title)
            it->second = {t, model.clock++};
        return;
    }
    ds.deleteRecord();
    model.live.erase(it);
}

std::vector<int> walk(TDbf &ds)
{
    std::vector<int> records;
    for (ds.first(); !ds.eof(); ds.next())
        records.push_back(ds.recNo());
    return records;
}

void checkTree(const TempDir &dir)
{
    auto index = TIndexFile::open(dir.file("infos.mdx"), binaryTable());
    if (!index)
        throw std::runtime_error("the index file is no longer usable");
    index->checkStructure(0);
}

} // namespace

TEST(IndexModel, RandomChangesKeepTheWalkEqualToTheModelAndTheTreeSound)
{
    TempDir dir;
    makeInfosTable(dir);
    InfosDataset data(dir);
    Model model;
    std::mt19937 rng(2024);
    for (int batch = 0; batch < 30; ++batch) {
        for (int i = 0; i < 100; ++i)
            randomChange(data.ds, model, rng, "");
        ASSERT_EQ(model.order(), walk(data.ds)) << "after batch " << batch;
        ASSERT_NO_THROW(checkTree(dir)) << "after batch " << batch;
        std::vector<int> backwards;
        for (data.ds.last(); !data.ds.bof(); data.ds.prior())
            backwards.push_back(data.ds.recNo());
        std::reverse(backwards.begin(), backwards.end());
        ASSERT_EQ(model.order(), backwards) << "walking back, after batch " << batch;
    }
    EXPECT_GT(model.live.size(), 300u);
}

TEST(IndexModel, TwoProcessesChangingTheTableAtOnceLeaveOneSoundOrderedTag)
{
    TempDir dir;
    makeInfosTable(dir);
    const auto work = [&](unsigned seed, const std::string &prefix) {
        InfosDataset data(dir);
        Model model;
        std::mt19937 rng(seed);
        for (int i = 0; i < 1000; ++i) {
            randomChange(data.ds, model, rng, prefix);
            if (i % 200 == 199)
                checkTree(dir);
            // While the other process splits pages under us, our own records still come in
            // our model's order.
            if (i % 100 == 99) {
                std::vector<int> ours;
                for (int recNo : walk(data.ds))
                    if (model.live.count(recNo))
                        ours.push_back(recNo);
                if (ours != model.order())
                    throw std::runtime_error("walk out of the model's order after change " + std::to_string(i));
            }
        }
        return model;
    };
    const pid_t child = runChild([&] { work(2, "B"); });
    ASSERT_GE(child, 0);
    Model mine;
    ASSERT_NO_THROW(mine = work(1, "A"));
    ASSERT_TRUE(exitedCleanly(child)) << "the other process failed";

    ASSERT_NO_THROW(checkTree(dir));
    // Every live record exactly once, titles descending; our own records in our model's order.
    InfosDataset data(dir);
    std::vector<int> walked = walk(data.ds);
    std::vector<std::string> titles;
    for (data.ds.first(); !data.ds.eof(); data.ds.next())
        titles.push_back(data.ds.fieldByName("TITRE").asString());
    EXPECT_TRUE(std::is_sorted(titles.rbegin(), titles.rend()));
    std::vector<int> sorted = walked;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted.end(), std::adjacent_find(sorted.begin(), sorted.end()));
    const std::vector<std::uint8_t> table = readBytes(dir.file("infos.dbf"));
    const std::size_t headerLength = table[8] | (table[9] << 8);
    std::size_t live = 0;
    for (std::size_t at = headerLength; at + kRecordLength <= table.size(); at += kRecordLength)
        live += table[at] == ' ';
    EXPECT_EQ(live, walked.size()) << "every live record is reached";
    std::vector<int> ours;
    for (int recNo : walked)
        if (mine.live.count(recNo))
            ours.push_back(recNo);
    EXPECT_EQ(mine.order(), ours);
}

// The first and the last key are found and read under one lock: another process that takes the
// edge keys away in between must not make the walk's start look like a damaged page.
TEST(IndexModel, TheEdgesOfTheTagAreFoundWhileAnotherProcessTakesThemAway)
{
    TempDir dir;
    makeInfosTable(dir);
    {
        InfosDataset data(dir);
        data.post({"M1", "M2", "M3"}, false);
    }
    const pid_t child = runChild([&] {
        InfosDataset data(dir);
        for (int i = 0; i < 4000; ++i) {
            for (const char *edge : {"Z", "A"}) {
                data.post({edge}, false); // stands on it: a tag-walked table follows the post
                data.ds.deleteRecord();
            }
        }
    });
    ASSERT_GE(child, 0);
    InfosDataset data(dir);
    int status = 0;
    std::string failure;
    for (int rounds = 0; waitpid(child, &status, WNOHANG) == 0; ++rounds) {
        try {
            data.ds.first();
            data.ds.last();
        } catch (const std::exception &error) {
            failure = error.what();
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
    }
    EXPECT_EQ("", failure);
    ASSERT_TRUE(failure.empty() || WIFSIGNALED(status));
    if (failure.empty()) {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
        EXPECT_EQ((std::vector<std::string>{"M3", "M2", "M1"}), data.walk());
    }
}
