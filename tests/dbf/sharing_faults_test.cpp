// What other processes, failed writes and other programs' tables must not do to stored data.
#include "childprocess.h"
#include "dbf.h"
#include "dbftestutil.h"
#include "index_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <unicode/uloc.h>

namespace {

using indextest::Infos;
using indextest::makeInfos;

constexpr std::size_t kMemoHeader = 97; // memo.dbf: 32 + 2 descriptors + terminator
constexpr std::size_t kMemoRecord = 91;

// Stands in for a slow index: tells the test it holds its new slot and waits to be let go.
struct PausingIndex : TIndexMaintainer
{
    Signal &holding;
    Signal &go;
    PausingIndex(Signal &h, Signal &g) : holding(h), go(g) {}
    bool insertKey(std::uint32_t, const std::uint8_t *) override
    {
        holding.raise();
        go.wait();
        return true;
    }
    void deleteKey(std::uint32_t, const std::uint8_t *) override {}
    void updateKey(std::uint32_t, const std::uint8_t *, const std::uint8_t *) override {}
};

struct SharingFaultTest : ::testing::Test
{
    TempDir dir;
    void SetUp() override { createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema()); }

    void expectCountEqualsRecords(std::size_t records)
    {
        const auto b = readBytes(dir.file("memo.dbf"));
        EXPECT_EQ(le32(b, 4), records) << "header record count";
        EXPECT_EQ(b.size(), kMemoHeader + records * kMemoRecord + 1);
        EXPECT_EQ(b.back(), 0x1A);
        for (std::size_t i = 0; i < records; ++i)
            EXPECT_EQ(b[kMemoHeader + i * kMemoRecord], ' ') << "flag of record " << i + 1;
    }
};

// One appender holds its slot while another appends and a third process opens the table.
TEST_F(SharingFaultTest, AppendersOvertakingEachOtherKeepTheCountExact)
{
    {
        Table t(dir);
        t.append("one");
        t.append("two");
    }
    Signal holding, go;
    const pid_t slow = runChild([&] {
        Table t(dir);
        PausingIndex pause(holding, go);
        t.ds.dbfFile()->addIndexMaintainer(&pause);
        t.append("slow");
    });
    holding.wait();
    { Table(dir).append("fast"); }
    { Table opener(dir); }
    go.raise();
    ASSERT_TRUE(exitedCleanly(slow));
    expectCountEqualsRecords(4);
    Table t(dir);
    auto titles = t.titles();
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"fast", "one", "slow", "two"}));
}

// A record write that fails (here the file size limit, as a full disk would) must not leave a
// count that claims the record.
TEST_F(SharingFaultTest, FailedAppendLeavesTheCountBehindTheRecords)
{
    { Table(dir).append("kept"); }
    const std::size_t size = readBytes(dir.file("memo.dbf")).size();
    const pid_t child = runChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{size + 10, size + 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Table t(dir);
        try {
            t.append("lost");
        } catch (const EDbfError &) {
            return; // the failure is reported
        }
        throw std::runtime_error("the append was reported as done");
    });
    ASSERT_TRUE(exitedCleanly(child));
    const auto b = readBytes(dir.file("memo.dbf"));
    EXPECT_EQ(le32(b, 4), 1u) << "the header must not count the record that failed";

    { Table(dir).append("next"); }
    expectCountEqualsRecords(2);
    EXPECT_EQ(Table(dir).titles(), (std::vector<std::string>{"kept", "next"}));
}

TEST_F(SharingFaultTest, EditOfARecordAnotherProcessDeletedIsRefused)
{
    { Table(dir).append("sheet"); }
    Table t(dir);
    ASSERT_TRUE(exitedCleanly(runChild([&] {
        Table other(dir);
        other.ds.deleteRecord();
    })));
    try {
        t.ds.edit();
        FAIL() << "edit must refuse a record that is deleted";
    } catch (const EDbfError &e) {
        EXPECT_STREQ(e.what(), "The record was deleted by another user.");
    }
    EXPECT_EQ(t.ds.state(), TDataSetState::dsBrowse);
    t.ds.edit(); // the lock was given back: on an empty table edit inserts
    EXPECT_EQ(t.ds.state(), TDataSetState::dsInsert);
}

class PieceAfterTheRecordsTest : public SharingFaultTest, public ::testing::WithParamInterface<std::uint8_t>
{
};

// Forty bytes of a second record after the first. With a record's flag they are a record cut by
// somebody else and stay as they are; without one they are an append killed half-way, which the
// next close takes away so that the file ends in its end-of-file byte again.
TEST_P(PieceAfterTheRecordsTest, ClosingKeepsATruncatedRecordAndDropsAnAppendCutShort)
{
    const std::uint8_t flag = GetParam();
    {
        Table t(dir);
        t.append("one");
        t.append("two");
    }
    auto cut = readBytes(dir.file("memo.dbf"));
    cut.resize(kMemoHeader + kMemoRecord + 40);
    cut[kMemoHeader + kMemoRecord] = flag;
    writeBytes(dir.file("memo.dbf"), cut);
    { EXPECT_EQ(Table(dir).titles(), std::vector<std::string>{"one"}); }
    const auto after = readBytes(dir.file("memo.dbf"));
    EXPECT_EQ(le32(after, 4), 1u);
    if (flag == ' ') {
        ASSERT_EQ(after.size(), cut.size());
        EXPECT_TRUE(std::equal(cut.begin() + kMemoHeader, cut.end(), after.begin() + kMemoHeader))
            << "the partial record is left as it was";
        return;
    }
    ASSERT_EQ(after.size(), kMemoHeader + kMemoRecord + 1);
    EXPECT_TRUE(std::equal(after.begin() + kMemoHeader, after.end() - 1, cut.begin() + kMemoHeader));
    EXPECT_EQ(after.back(), 0x1A);
    { Table(dir).append("next"); }
    EXPECT_EQ(Table(dir).titles(), (std::vector<std::string>{"one", "next"}));
}

INSTANTIATE_TEST_SUITE_P(Flags, PieceAfterTheRecordsTest, ::testing::Values(' ', 0x00, 0x1A));

// Other programs write dBase IV tables (version byte 0x8B) with a language driver of 0; their
// memo file keeps the length-prefixed layout and its own version byte.
TEST_F(SharingFaultTest, DBaseIVTableWithoutLanguageDriverKeepsLengthPrefixedMemos)
{
    { Table(dir).append("old", "{\\rtf1 old}"); }
    auto table = readBytes(dir.file("memo.dbf"));
    table[29] = 0;
    writeBytes(dir.file("memo.dbf"), table);
    auto memo = readBytes(dir.file("memo.dbt"));
    memo[16] = 0;
    writeBytes(dir.file("memo.dbt"), memo);

    {
        Table t(dir);
        t.append("new", "{\\rtf1 new}");
        EXPECT_EQ(t.ds.fieldByName("MEMO").memoBytes(), "{\\rtf1 old}") << "stays on record 1";
    }
    memo = readBytes(dir.file("memo.dbt"));
    EXPECT_EQ(memo[16], 0) << "the memo file's version byte is not ours to change";
    ASSERT_GE(memo.size(), 3u * 512);
    EXPECT_EQ(bytesAt(memo, 2 * 512, 8), std::string("\xFF\xFF\x08\x00\x13\x00\x00\x00", 8));
    Table t(dir);
    t.ds.last();
    EXPECT_EQ(t.ds.fieldByName("MEMO").memoBytes(), "{\\rtf1 new}");
}

// The failing index update comes from infos.mdx cut back to its header between edit and post.
TEST_F(SharingFaultTest, FailedPostLeavesRecordMemoAndKeysAsTheyWere)
{
    makeInfos(dir, {"Alpha", "Beta"}, std::string(), 0x57, true);
    const auto mdx = readBytes(dir.file("infos.mdx"));
    const auto table = readBytes(dir.file("infos.dbf"));
    {
        Infos infos(dir);
        ASSERT_TRUE(infos.ds.locate("TITRE", "Alpha"));
        infos.ds.edit();
        infos.ds.fieldByName("TITRE").setAsString("Zeta");
        infos.ds.fieldByName("INFOS").setMemoBytes("{\\rtf1 changed}");
        const std::vector<std::uint8_t> cut(mdx.begin(), mdx.begin() + 2048);
        writeBytes(dir.file("infos.mdx"), cut);
        EXPECT_THROW(infos.ds.post(), EDbfError);
        EXPECT_NO_THROW(infos.ds.cancel());
        EXPECT_EQ(infos.ds.state(), TDataSetState::dsBrowse);
        EXPECT_EQ(readBytes(dir.file("infos.mdx")), cut) << "nothing written into the index";
        writeBytes(dir.file("infos.mdx"), mdx);
    }
    const auto after = readBytes(dir.file("infos.dbf"));
    EXPECT_TRUE(std::equal(table.begin() + 32, table.end() - 1, after.begin() + 32))
        << "records as they were";
    EXPECT_EQ(readBytes(dir.file("infos.mdx")), mdx);
    Infos infos(dir);
    ASSERT_TRUE(infos.ds.locate("TITRE", "Alpha"));
    EXPECT_EQ(infos.ds.fieldByName("INFOS").memoBytes(), "{\\rtf1 Alpha}");
}

// Titles whose order differs between locales (Swedish puts Å, Ä, Ö after Z and used to fold V
// and W), written by processes under two locales into one infos.mdx.
TEST_F(SharingFaultTest, IndexOrderDoesNotDependOnTheProcessLocale)
{
    const std::vector<std::string> stems = {"Ärende", "Öl", "Åsa", "Apa", "Ost", "Zebra",
                                            "Vik", "Wok", "aa", "AB", "ä", "Yxa"};
    makeInfos(dir, {"Start"}, std::string(), 0x57, true);
    for (const char *locale : {"en_US_POSIX", "sv_SE"}) {
        ASSERT_TRUE(exitedCleanly(runChild([&] {
            UErrorCode status = U_ZERO_ERROR;
            uloc_setDefault(locale, &status);
            Infos infos(dir);
            for (int i = 0; i < 120; ++i)
                infos.add(stems[i % stems.size()] + std::to_string(i));
        }))) << locale;
    }
    // Every sheet is reached by the walk and found again by its record number, in either locale.
    for (const char *locale : {"en_US_POSIX", "sv_SE"}) {
        EXPECT_TRUE(exitedCleanly(runChild([&] {
            UErrorCode status = U_ZERO_ERROR;
            uloc_setDefault(locale, &status);
            Infos infos(dir);
            if (infos.ds.visibleRecordCount() != 241)
                throw std::runtime_error("walk");
            for (int n = 1; n <= 241; ++n) {
                infos.ds.setRecNo(n);
                if (infos.ds.recNo() != n)
                    throw std::runtime_error("setRecNo");
            }
        }))) << locale;
    }
}

} // namespace
