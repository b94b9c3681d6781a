// Bytes of the memo file: both memo styles, block boundaries, in-place rewrites and appends.
#include "dbf.h"
#include "dbftestutil.h"
#include "dbtfile.h"

#include <gtest/gtest.h>

namespace {

struct MemoFileTest : ::testing::Test
{
    TempDir dir;
    std::string table = dir.file("memo.dbf");
    std::string memoPath = dir.file("memo.dbt");
    TDbtFile memo;

    void create(bool dBaseIII)
    {
        createDbfTable(table, dBaseIII ? 0x83 : 0x8B, dBaseIII ? 0 : 0x57, memoSchema());
    }
};

TEST_F(MemoFileTest, LengthPrefixedMemoOf504BytesFitsOneBlockAnd505TakesTwo)
{
    create(false);
    memo.open(memoPath, TDbfAccess::Shared, false);
    EXPECT_EQ(memo.blockSize(), 512u);
    EXPECT_EQ(memo.write(std::string(504, 'a')), 1u);
    EXPECT_EQ(memo.nextFreeBlock(), 2u);
    EXPECT_EQ(memo.write(std::string(505, 'b')), 2u);
    EXPECT_EQ(memo.nextFreeBlock(), 4u);
    memo.close();

    const auto b = readBytes(memoPath);
    ASSERT_EQ(b.size(), 4u * 512);
    EXPECT_EQ(le32(b, 0), 4u);
    EXPECT_EQ(bytesAt(b, 512, 8), std::string("\xFF\xFF\x08\x00\x00\x02\x00\x00", 8)); // 8 + 504
    EXPECT_EQ(bytesAt(b, 1024, 8), std::string("\xFF\xFF\x08\x00\x01\x02\x00\x00", 8)); // 8 + 505
    EXPECT_EQ(bytesAt(b, 1024 + 8 + 505, 512 - 8 - 505 + 512 - 0).find_first_not_of(' '),
              std::string::npos)
        << "the rest of the last block is filled with spaces";

    memo.open(memoPath, TDbfAccess::ReadOnly, false);
    EXPECT_EQ(memo.read(1), std::string(504, 'a'));
    EXPECT_EQ(memo.read(2), std::string(505, 'b'));
}

TEST_F(MemoFileTest, TerminatorMemoOf510BytesFillsOneBlockAnd511SplitsTheTerminator)
{
    create(true);
    memo.open(memoPath, TDbfAccess::Shared, true);
    EXPECT_EQ(memo.write(std::string(510, 'a')), 1u);
    EXPECT_EQ(memo.nextFreeBlock(), 2u);
    EXPECT_EQ(memo.write(std::string(511, 'b')), 2u);
    EXPECT_EQ(memo.nextFreeBlock(), 4u);
    memo.close();

    const auto b = readBytes(memoPath);
    ASSERT_EQ(b.size(), 4u * 512);
    EXPECT_EQ(b[16], 3) << "version 3 of a dBase III memo file";
    EXPECT_EQ(bytesAt(b, 512 + 510, 2), "\x1A\x1A");
    EXPECT_EQ(b[1024 + 511], 0x1A) << "first terminator byte ends the first block";
    EXPECT_EQ(b[1536], 0x1A) << "second terminator byte starts the next block";
    EXPECT_EQ(b[1537], ' ');

    memo.open(memoPath, TDbfAccess::ReadOnly, true);
    EXPECT_EQ(memo.read(1), std::string(510, 'a'));
    EXPECT_EQ(memo.read(2), std::string(511, 'b'));
}

TEST_F(MemoFileTest, TerminatorAtTheVeryEndOfABlockGoesToTheNextBlock)
{
    create(true);
    memo.open(memoPath, TDbfAccess::Shared, true);
    EXPECT_EQ(memo.write(std::string(512, 'c')), 1u);
    EXPECT_EQ(memo.nextFreeBlock(), 3u);
    memo.close();
    const auto b = readBytes(memoPath);
    EXPECT_EQ(bytesAt(b, 1024, 3), "\x1A\x1A ");
    memo.open(memoPath, TDbfAccess::ReadOnly, true);
    EXPECT_EQ(memo.read(1), std::string(512, 'c'));
}

TEST_F(MemoFileTest, NewTextIsAppendedAndOldBlocksAreLeftAsTheyWere)
{
    create(false);
    memo.open(memoPath, TDbfAccess::Shared, false);
    ASSERT_EQ(memo.write(std::string(504, 'a')), 1u);
    ASSERT_EQ(memo.write(std::string(100, 'z')), 2u);
    const auto before = readBytes(memoPath);

    EXPECT_EQ(memo.write(std::string(600, 'y')), 3u);
    const auto after = readBytes(memoPath);
    EXPECT_EQ(memo.nextFreeBlock(), 5u);
    EXPECT_EQ(bytesAt(after, 512, 1024), bytesAt(before, 512, 1024)) << "the earlier memos are untouched";
    EXPECT_EQ(memo.read(3), std::string(600, 'y'));
    EXPECT_EQ(memo.write(""), 0u) << "empty text has no block";
}

TEST_F(MemoFileTest, BadBlockSizeIsRepairedTo512)
{
    for (std::uint16_t bad : {0, 100, 129}) {
        create(false);
        auto b = readBytes(memoPath);
        b[20] = static_cast<std::uint8_t>(bad);
        b[21] = static_cast<std::uint8_t>(bad >> 8);
        writeBytes(memoPath, b);
        memo.open(memoPath, TDbfAccess::Shared, false);
        EXPECT_EQ(memo.blockSize(), 512u);
        memo.close();
        EXPECT_EQ(le16(readBytes(memoPath), 20), 512) << "header rewritten for " << bad;
    }
}

TEST_F(MemoFileTest, OtherBlockSizesAreHonoured)
{
    createDbfTable(table, 0x8B, 0x57, memoSchema(), 1024);
    memo.open(memoPath, TDbfAccess::Shared, false);
    EXPECT_EQ(memo.blockSize(), 1024u);
    EXPECT_EQ(memo.write(std::string(1016, 'q')), 1u);
    EXPECT_EQ(memo.write("r"), 2u);
    memo.close();
    EXPECT_EQ(readBytes(memoPath).size(), 3u * 1024);
}

TEST_F(MemoFileTest, HeaderLaggingBehindTheFileNeverOverwritesMemos)
{
    create(false);
    memo.open(memoPath, TDbfAccess::Shared, false);
    ASSERT_EQ(memo.write("first"), 1u);
    memo.close();
    auto b = readBytes(memoPath);
    b[0] = 1; // next free block says 1 although block 1 is used
    writeBytes(memoPath, b);
    memo.open(memoPath, TDbfAccess::Shared, false);
    EXPECT_EQ(memo.write("second"), 2u);
    EXPECT_EQ(memo.read(1), "first");
}

// Blanks over the next free block (0x20202020) once made the next save write 276 GB into the
// file; the memo goes at the file's end whatever the header says.
TEST_F(MemoFileTest, NextFreeBlockBeyondTheFileAppendsAtTheFileEnd)
{
    for (const bool dBaseIII : {true, false}) {
        create(dBaseIII);
        memo.open(memoPath, TDbfAccess::Shared, dBaseIII);
        ASSERT_EQ(memo.write("first"), 1u);
        memo.close();
        auto b = readBytes(memoPath);
        std::memset(b.data(), ' ', 4);
        b.resize(b.size() - 100); // a last block cut short still counts as used
        writeBytes(memoPath, b);
        memo.open(memoPath, TDbfAccess::Shared, dBaseIII);
        EXPECT_EQ(memo.write("second"), 2u);
        EXPECT_EQ(memo.nextFreeBlock(), 3u);
        memo.close();
        EXPECT_EQ(readBytes(memoPath).size(), 3u * 512);
    }
}

// What cannot be read whole says so, and a read never takes more than the file or the longest
// memo we write: a memo without its end mark in a file grown huge (sparse) once filled the memory.
TEST_F(MemoFileTest, AMemoThatCannotBeReadWholeSaysSoAndStaysBounded)
{
    create(true);
    memo.open(memoPath, TDbfAccess::Shared, true);
    ASSERT_EQ(memo.write("whole"), 1u);
    ASSERT_EQ(memo.write(std::string(600, 'c')), 2u);
    memo.close();
    auto b = readBytes(memoPath);
    b.resize(1024 + 300); // the second memo cut with its end mark
    writeBytes(memoPath, b);
    memo.open(memoPath, TDbfAccess::ReadOnly, true);
    bool whole = false;
    EXPECT_EQ(memo.read(1, &whole), "whole");
    EXPECT_TRUE(whole);
    EXPECT_EQ(memo.read(2, &whole), std::string(300, 'c'));
    EXPECT_FALSE(whole);
    EXPECT_EQ(memo.read(9, &whole), "");
    EXPECT_FALSE(whole) << "a memo past the end of a cut file is lost, not empty";
    memo.close();

    ASSERT_EQ(::truncate(memoPath.c_str(), 1024 + TDbtFile::kMaxMemoBytes + 4096), 0);
    memo.open(memoPath, TDbfAccess::ReadOnly, true);
    EXPECT_EQ(memo.read(2, &whole).size(), TDbtFile::kMaxMemoBytes);
    EXPECT_FALSE(whole);
    memo.close();
    ASSERT_EQ(::truncate(memoPath.c_str(), 1024 + 4096), 0);
    b = readBytes(memoPath);
    std::memcpy(b.data() + 1024, "\xFF\xFF\x08\x00\xFF\xFF\xFF\x7F", 8); // says 2 GB
    writeBytes(memoPath, b);
    memo.open(memoPath, TDbfAccess::ReadOnly, false);
    EXPECT_EQ(memo.read(2, &whole).size(), 4096u - 8);
    EXPECT_FALSE(whole);
}

TEST_F(MemoFileTest, LengthPrefixMissingFallsBackToTerminatorStyle)
{
    create(false);
    auto b = readBytes(memoPath);
    b.resize(1024, ' ');
    std::memcpy(b.data() + 512, "plain\x1A\x1Arest", 11);
    writeBytes(memoPath, b);
    memo.open(memoPath, TDbfAccess::ReadOnly, false);
    EXPECT_EQ(memo.read(1), "plain");
    EXPECT_EQ(memo.read(0), "");
    EXPECT_EQ(memo.read(7), "") << "a block past the end";
}

// Through the dataset: an edit that is cancelled must leave the stored memo as it was.
TEST_F(MemoFileTest, CancelledEditLeavesTheStoredMemo)
{
    create(false);
    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    ds.insert();
    ds.fieldByName("MEMO").setMemoBytes("{\\rtf1 first}");
    ds.post();
    ds.edit();
    ds.fieldByName("MEMO").setMemoBytes("{\\rtf1 other}");
    EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), "{\\rtf1 other}");
    ds.cancel();
    EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), "{\\rtf1 first}");
    ds.edit();
    ds.fieldByName("MEMO").setMemoBytes("{\\rtf1 second}");
    ds.post();
    EXPECT_EQ(ds.fieldByName("MEMO").memoBlock(), 2u)
        << "an edited text goes to new blocks, so the stored one stays whole until the record is";
    EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), "{\\rtf1 second}");
}

// A walk reads memo after memo into one buffer: whatever the buffer held before, what it holds
// after is the memo and only the memo, whole or cut, as a fresh read gives it.
TEST_F(MemoFileTest, ReadingIntoAUsedBufferGivesWhatAFreshReadGives)
{
    for (const bool dBaseIII : {false, true}) {
        SCOPED_TRACE(dBaseIII ? "terminator style" : "length style");
        create(dBaseIII);
        TDbtFile memo;
        memo.open(memoPath, TDbfAccess::Shared, dBaseIII);
        std::vector<std::uint32_t> blocks = {0};
        for (const std::size_t size : {std::size_t{1}, std::size_t{503}, std::size_t{4088},
                                       std::size_t{4095}, std::size_t{9000}, std::size_t{300}})
            blocks.push_back(memo.write(std::string(size, static_cast<char>('a' + size % 26))));
        memo.close();
        auto b = readBytes(memoPath);
        b.resize(b.size() - 512 + 200); // the last memo cut short
        writeBytes(memoPath, b);
        blocks.push_back(static_cast<std::uint32_t>(b.size() / 512 + 5)); // past the end

        memo.open(memoPath, TDbfAccess::ReadOnly, dBaseIII);
        std::string buffer(20000, 'x');
        for (const std::uint32_t block : blocks) {
            bool freshWhole = false;
            bool whole = true;
            const std::string fresh = memo.read(block, &freshWhole);
            memo.read(block, buffer, &whole);
            EXPECT_EQ(buffer, fresh) << "block " << block;
            EXPECT_EQ(whole, freshWhole) << "block " << block;
        }
        memo.close();
    }
}

TEST_F(MemoFileTest, ReadingThroughTheDatasetIntoABufferGivesTheRecordsOwnText)
{
    create(false);
    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    ds.insert();
    ds.fieldByName("MEMO").setMemoBytes(std::string(5000, 'l'));
    ds.post();
    ds.insert();
    ds.post(); // no memo
    std::string buffer;
    ds.first();
    ds.fieldByName("MEMO").memoBytes(buffer);
    EXPECT_EQ(buffer, std::string(5000, 'l'));
    ds.next();
    ds.fieldByName("MEMO").memoBytes(buffer);
    EXPECT_EQ(buffer, "");
    ds.edit();
    ds.fieldByName("MEMO").setMemoBytes("{\\rtf1 pending}");
    ds.fieldByName("MEMO").memoBytes(buffer);
    EXPECT_EQ(buffer, "{\\rtf1 pending}") << "an edit not yet posted reads as it stands";
    ds.fieldByName("TITRE").memoBytes(buffer);
    EXPECT_EQ(buffer, "") << "a field that is no memo";
}

} // namespace
