// Two real processes on one table: appends under the header lock, record locks on edit.
#include "childprocess.h"
#include "dbf.h"
#include "dbffile.h"
#include "dbftestutil.h"
#include "indexcursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

std::string memoText(const std::string &title, int i)
{
    return "{\\rtf1 " + title + "}" + std::string(static_cast<std::size_t>(i * 37 % 1100), 'm');
}

struct LockingTest : ::testing::Test
{
    TempDir dir;

    void SetUp() override { withMemoTable(dir); }
};

TEST_F(LockingTest, TwoProcessesAppendingAtOnceLoseNothing)
{
    constexpr int kEach = 2000;
    Signal go; // both start at once
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        children.push_back(runChild([&, p] {
            go.closeSender();
            go.wait();
            Table writer(dir);
            for (int i = 0; i < kEach; ++i) {
                const std::string title = "P" + std::to_string(p) + "-" + std::to_string(i);
                writer.append(title, memoText(title, i));
            }
        }));
    }
    go.raise();
    go.raise();
    for (pid_t c : children)
        EXPECT_TRUE(exitedCleanly(c));

    const auto b = readBytes(dir.file("memo.dbf"));
    EXPECT_EQ(le32(b, 4), 2u * kEach) << "header record count";
    EXPECT_EQ(b.size(), 97u + 2 * kEach * 91 + 1);
    EXPECT_EQ(b.back(), 0x1A);

    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    std::set<std::string> seen;
    int records = 0;
    for (ds.first(); !ds.eof(); ds.next()) {
        ++records;
        const std::string title = ds.fieldByName("TITRE").asString();
        ASSERT_TRUE(seen.insert(title).second) << "record " << ds.recNo() << " repeats " << title;
        const int i = std::stoi(title.substr(3));
        ASSERT_EQ(ds.fieldByName("MEMO").memoBytes(), memoText(title, i)) << title;
    }
    EXPECT_EQ(records, 2 * kEach);
    const auto memo = readBytes(dir.file("memo.dbt"));
    EXPECT_EQ(le32(memo, 0) * 512ull, memo.size()) << "next free block follows the memo file";
}

TEST_F(LockingTest, RecordEditedInAnotherProcessIsLocked)
{
    { Table(dir).append("shared"); }
    Signal locked, release;
    const pid_t child = runChild([&] {
        release.closeSender();
        TDbf ds("Dbfmemo");
        openTable(ds, dir, "memo.dbf");
        ds.edit();
        locked.raise();
        release.wait();
        ds.fieldByName("TITRE").setAsString("changed by the child");
        ds.post();
    });
    locked.closeSender();
    ASSERT_NO_THROW(locked.wait()) << "the child holds the record";

    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    try {
        ds.edit();
        FAIL() << "edit must not get a record another process holds";
    } catch (const EDbfError &e) {
        EXPECT_STREQ(e.what(), "Record locked.");
    }
    EXPECT_EQ(ds.state(), TDataSetState::dsBrowse);
    EXPECT_THROW(ds.deleteRecord(), EDbfError);
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "shared");

    release.raise();
    EXPECT_TRUE(exitedCleanly(child));
    ds.edit();
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "changed by the child")
        << "edit re-reads the record under its lock";
    ds.cancel();
}

// An append lets go of its slot and of the header together; a record lock the same open file
// holds between the two must stay, with or without a production index (another open file of the
// table refuses it like another program would).
TEST(AppendReleaseTest, ARecordLockHeldBetweenTheNewSlotAndTheHeaderStays)
{
    struct Case
    {
        bool indexed;
        std::vector<std::uint32_t> held; // locked by the appending file before it appends
    };
    for (const Case &c : {Case{false, {}}, Case{true, {}}, Case{false, {1}}, Case{true, {3}},
                          Case{false, {2, 4}}, Case{true, {1, 4}}, Case{true, {3, 4}}}) {
        TempDir dir;
        createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema());
        if (c.indexed)
            createProductionIndex(dir.file("memo.dbf"), "", "TITRE", 0);
        TDbfFile file;
        ASSERT_TRUE(file.open(dir.file("memo.dbf"), TDbfAccess::Shared));
        std::unique_ptr<TProductionIndex> index;
        std::unique_ptr<TVirtualCursor> cursor;
        if (c.indexed) {
            index = TProductionIndex::open(file);
            ASSERT_TRUE(index);
            cursor = index->cursorFor(""); // the index is kept up to date from here on
        }
        std::vector<std::uint8_t> record(file.recordLength());
        for (int i = 0; i < 4; ++i) {
            file.blankRecord(record.data());
            file.setFieldText(record.data(), 0, "before " + std::to_string(i));
            ASSERT_NE(file.appendRecord(record.data()), 0u);
        }
        for (const std::uint32_t n : c.held)
            ASSERT_TRUE(file.lockRecord(n, false));
        file.setFieldText(record.data(), 0, "new");
        const std::uint32_t added = file.appendRecord(record.data());
        ASSERT_EQ(added, 5u);

        TDbfFile other;
        ASSERT_TRUE(other.open(dir.file("memo.dbf"), TDbfAccess::Shared));
        const std::string what = std::string(c.indexed ? "indexed" : "plain") + ", " +
                                 std::to_string(c.held.size()) + " held";
        for (std::uint32_t n = 1; n <= added; ++n) {
            const bool held = std::find(c.held.begin(), c.held.end(), n) != c.held.end();
            EXPECT_EQ(other.lockRecord(n, false), !held) << "record " << n << ", " << what;
            if (!held)
                other.unlockRecord(n);
        }
        EXPECT_TRUE(other.lockRecord(0, false)) << "the header is free again, " << what;
        other.unlockRecord(0);
        for (const std::uint32_t n : c.held)
            file.unlockRecord(n);
        for (const std::uint32_t n : c.held) {
            EXPECT_TRUE(other.lockRecord(n, false)) << "record " << n << " let go, " << what;
            other.unlockRecord(n);
        }
        file.close(); // first: the other's closing stamp waits for whatever this one still holds
    }
}

} // namespace
