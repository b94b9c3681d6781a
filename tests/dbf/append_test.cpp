// Appends that guess where the file ends, and batches that lock slots and the memo header ahead:
// what another process adds or leaves behind must never be written over.
#include "tablecheck.h"

#include <csignal>

using namespace tablecheck;

namespace {

struct Writer : Table
{
    explicit Writer(const TempDir &dir) : Table(dir) {}
    void post(const std::vector<std::string> &ids, bool batch)
    {
        if (batch)
            ds.beginBatch();
        for (const std::string &id : ids)
            append(titleOf(id, 0), memoOf(titleOf(id, 0)));
        if (batch)
            ds.endBatch();
    }
};

// Every id once, version 0, each with its own memo, and nothing else; physical numbers 1..n.
void expectExactly(const TempDir &dir, const std::vector<std::string> &ids)
{
    const auto live = liveRecords(dir);
    EXPECT_EQ(live.size(), ids.size());
    std::set<std::uint32_t> numbers;
    for (const std::string &id : ids) {
        const auto it = live.find(id);
        ASSERT_NE(it, live.end()) << id << " is gone";
        numbers.insert(it->second.recNo);
    }
    EXPECT_EQ(*numbers.rbegin(), ids.size()) << "a slot was skipped";
    expectCountMatchesFile(dir);
}

std::vector<std::string> ids(const std::string &prefix, int count)
{
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.push_back(prefix + std::to_string(i));
    return out;
}

} // namespace

class AppendTest : public ::testing::Test
{
protected:
    TempDir dir;
    void SetUp() override { withMemoTable(dir); }
};

class AppendAfterOtherTest : public AppendTest, public ::testing::WithParamInterface<std::tuple<bool, bool>>
{
};

// The first process's next slot and memo block are taken by the other meanwhile: its next posts
// must find the new end of both files, one by one or in a batch.
TEST_P(AppendAfterOtherTest, PostsFollowWhatAnotherProcessAddedMeanwhile)
{
    const auto [ourBatch, theirBatch] = GetParam();
    Writer us(dir);
    us.post(ids("A", 2), ourBatch);
    ASSERT_TRUE(exitedCleanly(runChild([&, theirBatch = theirBatch] { Writer(dir).post(ids("B", 3), theirBatch); })));
    us.post(ids("C", 2), ourBatch);
    us.ds.close();
    expectExactly(dir, {"A0", "A1", "B0", "B1", "B2", "C0", "C1"});
}

INSTANTIATE_TEST_SUITE_P(PostsAndBatches, AppendAfterOtherTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

// Another appender waits for the batch; the slots the batch locked ahead and did not use are
// free again by then, so its record follows the batch's without a gap.
TEST_F(AppendTest, AppenderWaitingForABatchTakesTheSlotRightAfterIt)
{
    Writer us(dir);
    us.ds.beginBatch();
    us.post(ids("A", 3), false);
    Signal started;
    const pid_t other = runChild([&] {
        started.raise();
        Writer(dir).post({"B0"}, false); // opening waits too: the stored count is behind
    });
    started.wait();
    us.post(ids("C", 2), false);
    us.ds.endBatch();
    ASSERT_TRUE(exitedCleanly(other));
    us.ds.close();
    expectExactly(dir, {"A0", "A1", "A2", "C0", "C1", "B0"});
}

// Killed inside a batch: the records and memos written so far are in the files, the counts and
// the memo header are not. Later appends must go past them all.
TEST_F(AppendTest, WriterKilledInABatchLeavesWhatItWroteUntouched)
{
    const pid_t writer = runChild([&] {
        Writer them(dir);
        them.ds.beginBatch();
        them.post(ids("K", 4), false);
        ::raise(SIGKILL);
    });
    int status = 0;
    ::waitpid(writer, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    {
        Writer us(dir);
        us.post(ids("A", 2), false);
        us.post(ids("B", 2), true);
    }
    expectExactly(dir, {"K0", "K1", "K2", "K3", "A0", "A1", "B0", "B1"});
}

// Another program stored a count far past the records: the next append lands right after them
// and the count it writes is what the file holds.
TEST_F(AppendTest, CountStoredPastTheRecordsIsNotFollowed)
{
    Writer us(dir);
    us.post({"A0"}, false);
    std::vector<std::uint8_t> bytes = readBytes(dir.file("memo.dbf"));
    const std::uint8_t bogus[4] = {0x40, 0x42, 0x0F, 0x00}; // a million
    std::copy(bogus, bogus + 4, bytes.begin() + 4);
    writeBytes(dir.file("memo.dbf"), bytes);
    us.post({"A1"}, false);
    EXPECT_EQ(le32(readBytes(dir.file("memo.dbf")), 4), 2u);
    us.ds.close();
    expectExactly(dir, {"A0", "A1"});
}

class AppendBesideEditorTest : public AppendTest, public ::testing::WithParamInterface<bool>
{
};

// Two processes each append and then edit what they appended. Each one's idea of the file's end
// is then mostly behind, and the slot after it is the other's newest record, which must not be
// locked even for a moment: the other's edit would be refused as "Record locked.".
TEST_P(AppendBesideEditorTest, StaleAppenderNeverLocksAnotherProcesssRecord)
{
    const bool batch = GetParam();
    const auto appendAndEdit = [&](const std::string &prefix) {
        Writer w(dir);
        for (int i = 0; i < 150; ++i) {
            const std::string id = prefix + std::to_string(i);
            w.post({id}, batch);
            for (w.ds.last(); w.ds.fieldByName("TITRE").asString() != titleOf(id, 0); w.ds.prior())
                if (w.ds.bof())
                    throw std::runtime_error("appended record not found: " + id);
            for (int k = 0; k < 20; ++k) { // widens the window the other's append can fall in
                w.ds.edit();
                w.ds.cancel();
            }
        }
    };
    const pid_t other = runChild([&] { appendAndEdit("B"); });
    const bool usClean = [&] {
        try {
            appendAndEdit("A");
            return true;
        } catch (const std::exception &e) {
            ADD_FAILURE() << e.what();
            return false;
        }
    }();
    EXPECT_TRUE(exitedCleanly(other));
    ASSERT_TRUE(usClean);
    expectCountMatchesFile(dir);
}

INSTANTIATE_TEST_SUITE_P(PostsAndBatches, AppendBesideEditorTest, ::testing::Bool());

// A post killed after its record went in but before its flag leaves a whole slot flagged with
// the old end-of-file byte (or nothing), which readers took for a record, skipped, or stopped
// at. The next open makes it a deleted record that keeps its text; a slot another appender still
// holds is left to it.
TEST_F(AppendTest, SlotOfAPostKilledBeforeItsFlagOpensAsADeletedRecord)
{
    Writer(dir).post({"A0"}, false);
    const std::string path = dir.file("memo.dbf");
    std::vector<std::uint8_t> bytes = readBytes(path);
    const std::size_t headerLength = le16(bytes, 8), recordLength = le16(bytes, 10);
    bytes.resize(headerLength + recordLength);
    std::vector<std::uint8_t> record(bytes.end() - static_cast<long>(recordLength), bytes.end());
    for (const std::uint8_t flag : {std::uint8_t(0x1A), std::uint8_t(0x00), std::uint8_t(0x1A)}) {
        record[0] = flag;
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    writeBytes(path, bytes);
    TPagedFile appender; // still writing slot 4 (a table open would settle the slot itself)
    appender.openFile(path, TDbfAccess::Shared);
    ASSERT_TRUE(appender.lockUnit(4, false));

    Writer us(dir);
    std::vector<std::string> live, all;
    for (us.ds.first(); !us.ds.eof(); us.ds.next())
        live.push_back(us.ds.fieldByName("TITRE").asString());
    us.ds.setShowDeleted(true);
    for (us.ds.first(); !us.ds.eof(); us.ds.next())
        all.push_back(us.ds.fieldByName("TITRE").asString());
    EXPECT_EQ(live, std::vector<std::string>{titleOf("A0", 0)});
    EXPECT_EQ(all.size(), 3u) << "the killed posts are in the trash, with their text";
    EXPECT_EQ(all[1], titleOf("A0", 0));
    bytes = readBytes(path);
    EXPECT_EQ(bytes[headerLength + recordLength], '*');
    EXPECT_EQ(bytes[headerLength + 2 * recordLength], '*');
    EXPECT_EQ(bytes[headerLength + 3 * recordLength], 0x1A) << "the slot being written is left alone";
}
