// Damaged and foreign files: a clear error or a silent refusal, never a crash, a hang or a
// changed file.
#include "dbf.h"
#include "dbffile.h"
#include "dbftestutil.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct BadFileTest : ::testing::Test
{
    TempDir dir;
    std::string path = dir.file("t.dbf");

    std::vector<std::uint8_t> goodTable()
    {
        createDbfTable(path, 0x8B, 0x57, memoSchema());
        TDbf ds("Dbft");
        openTable(ds, dir, "t.dbf");
        for (const char *t : {"alpha", "beta"}) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString(t);
            ds.fieldByName("MEMO").setAsString(std::string("text of ") + t);
            ds.post();
        }
        ds.close();
        return readBytes(path);
    }

    // Opens the dataset on `bytes`; returns the error text with the table's path as <file> (""
    // when it opened, "closed" when it stayed closed without a word) and checks the file was left
    // exactly as it was.
    std::string openOutcome(const std::vector<std::uint8_t> &bytes)
    {
        writeBytes(path, bytes);
        TDbf ds("Dbft");
        ds.setFilePath(dir.path());
        ds.setTableName("t.dbf");
        std::string outcome;
        try {
            ds.open();
            outcome = ds.active() ? "" : "closed";
        } catch (const std::exception &e) {
            outcome = e.what();
        }
        for (std::size_t at; (at = outcome.find(path)) != std::string::npos;)
            outcome.replace(at, path.size(), "<file>");
        if (!ds.active()) {
            EXPECT_EQ(readBytes(path), bytes) << "a refused file must not change";
        }
        return outcome;
    }
};

TEST_F(BadFileTest, DamagedHeadersGiveInvalidFileAndLeaveTheFileAlone)
{
    using Bytes = std::vector<std::uint8_t>;
    const std::pair<const char *, std::function<void(Bytes &)>> damages[] = {
        {"a text file", [](Bytes &b) { b.assign(200, 'x'), std::memcpy(b.data(), "Hello world", 11); }},
        {"an empty file", [](Bytes &b) { b.clear(); }},
        {"cut inside the first 32 bytes", [](Bytes &b) { b.resize(20); }},
        {"cut inside the descriptors", [](Bytes &b) { b.resize(60); }},
        {"header length past the file", [](Bytes &b) { b[8] = 0xFF, b[9] = 0x7F; }},
        {"unknown type letter", [](Bytes &b) { b[32 + 11] = 'X'; }},
        {"empty field name", [](Bytes &b) { std::fill(b.begin() + 32, b.begin() + 43, 0); }},
        {"fields wider than the record", [](Bytes &b) { b[32 + 16] = 250; }},
        {"unknown version byte", [](Bytes &b) { b[0] = 0x02; }},
    };
    const Bytes good = goodTable();
    for (const auto &[why, damage] : damages) {
        Bytes b = good;
        damage(b);
        EXPECT_EQ(openOutcome(b), "Invalid DBF file \"<file>\".") << why;
    }
}

TEST_F(BadFileTest, ZeroHeaderOrRecordLengthLeavesTheTableClosedSilently)
{
    const auto good = goodTable();
    for (const std::size_t length : {8, 10}) {
        auto b = good;
        b[length] = b[length + 1] = 0;
        EXPECT_EQ(openOutcome(b), "closed") << "the length at byte " << length;
    }
}

TEST_F(BadFileTest, DescriptorsPastTheHeaderAreNotRead)
{
    auto b = goodTable();
    b[8] = 64; // the header now ends after the first descriptor, without a terminator
    b[9] = 0;
    writeBytes(path, b);
    TDbfFile f;
    ASSERT_TRUE(f.open(path, TDbfAccess::ReadOnly));
    ASSERT_EQ(f.fields().size(), 1u);
    EXPECT_EQ(f.fields()[0].name, "TITRE");

    b[8] = 40; // not even one whole descriptor
    EXPECT_EQ(openOutcome(b), "Invalid field count: 0 (must be between 1 and 4095) in \"<file>\".");
}

TEST_F(BadFileTest, MissingFilesGiveThePlainNotFoundError)
{
    goodTable();
    TDbf ds("Dbft");
    ds.setFilePath(dir.path());
    ds.setTableName("absent.dbf");
    try {
        ds.open();
        FAIL();
    } catch (const EDbfError &) {
        FAIL() << "a missing file is not an engine error";
    } catch (const DataAccessError &) {
        FAIL() << "a missing file carries no dataset prefix";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Open: file not found: \"" + dir.file("absent.dbf") + "\".");
    }
    EXPECT_FALSE(ds.active());

    std::remove(dir.file("t.dbt").c_str());
    ds.setTableName("t.dbf");
    try {
        ds.open();
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Open: file not found: \"" + dir.file("t.dbt") + "\".");
    }
    EXPECT_FALSE(ds.active());
}

TEST_F(BadFileTest, UnreadableFileGivesCannotOpenWithThePath)
{
    goodTable();
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    ::chmod(path.c_str(), 0);
    TDbf ds("Dbft");
    ds.setFilePath(dir.path());
    ds.setTableName("t.dbf");
    try {
        ds.open();
        FAIL();
    } catch (const DataAccessError &e) {
        EXPECT_EQ(std::string(e.what()), "Dbft: Impossible d'ouvrir le fichier " + path);
    }
}

TEST_F(BadFileTest, BadMemoReferencesReadAsEmptyMemos)
{
    auto b = goodTable();
    const std::size_t rec1 = le16(b, 8), recLen = le16(b, 10);
    std::memcpy(b.data() + rec1 + 81, "abcdefghij", 10);          // not a number
    std::memcpy(b.data() + rec1 + recLen + 81, "0000099999", 10); // far past the memo file
    writeBytes(path, b);
    TDbf ds("Dbft");
    openTable(ds, dir, "t.dbf");
    EXPECT_EQ(ds.fieldByName("MEMO").asString(), "");
    EXPECT_EQ(ds.fieldByName("MEMO").memoBlock(), 0u);
    ds.next();
    EXPECT_EQ(ds.fieldByName("MEMO").asString(), "");
    EXPECT_TRUE(ds.fieldByName("MEMO").isNull());
}

TEST_F(BadFileTest, MemoLengthLargerThanTheFileStopsAtTheEndOfTheFile)
{
    goodTable();
    auto memo = readBytes(dir.file("t.dbt"));
    ASSERT_EQ(bytesAt(memo, 512, 3), "\xFF\xFF\x08");
    memo[512 + 4] = 0xFF, memo[512 + 5] = 0xFF, memo[512 + 6] = 0xFF, memo[512 + 7] = 0x7F;
    writeBytes(dir.file("t.dbt"), memo);
    TDbf ds("Dbft");
    openTable(ds, dir, "t.dbf");
    const std::string text = ds.fieldByName("MEMO").asString();
    EXPECT_EQ(text.substr(0, 13), "text of alpha");
    EXPECT_LE(text.size(), memo.size());
}

TEST_F(BadFileTest, RandomDamageNeverCrashes)
{
    const auto good = goodTable();
    std::uint32_t seed = 12345;
    auto rnd = [&seed] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 300; ++round) {
        auto b = good;
        for (int k = 0; k < 4; ++k)
            b[rnd() % b.size()] = static_cast<std::uint8_t>(rnd());
        if (round % 3 == 0)
            b.resize(rnd() % b.size());
        writeBytes(path, b);
        TDbf ds("Dbft");
        ds.setFilePath(dir.path());
        ds.setTableName("t.dbf");
        ds.setReadOnly(true);
        try {
            ds.open();
            if (!ds.active())
                continue;
            for (ds.first(); !ds.eof(); ds.next())
                for (int i = 0; i < ds.fieldCount(); ++i)
                    (void)ds.field(i).asString();
            (void)ds.visibleRecordCount();
        } catch (const std::exception &) {
            // A clear error is fine; a crash or a hang is not.
        }
    }
}

} // namespace
