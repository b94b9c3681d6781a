// Bytes of the table file: header, records, stamps, code pages and damaged files.
#include "dbf.h"
#include "dbffile.h"
#include "dbftestutil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr std::uint8_t kDBaseIV = 0x8B;
constexpr std::uint8_t kWin1252 = 0x57;

struct TableFileTest : ::testing::Test
{
    TempDir dir;
    std::string path = dir.file("memo.dbf");
    TDbf ds{"Dbfmemo"};

    void SetUp() override { codepage::setSystem(1252, 850); }
    void TearDown() override { codepage::setSystem(0, 0); }

    void createMemoTable(std::uint8_t version = kDBaseIV, std::uint8_t ldid = kWin1252)
    {
        createDbfTable(path, version, ldid, memoSchema());
    }

    void openDataset() { openTable(ds, dir, "memo.dbf"); }

    void appendTitles(std::initializer_list<const char *> titles)
    {
        Table writer(dir);
        for (const char *t : titles)
            writer.append(t);
    }
};

TEST_F(TableFileTest, NewTableHasTheLayoutOfItsSchema)
{
    createMemoTable();
    const auto b = readBytes(path);
    ASSERT_EQ(b.size(), 32u + 2 * 32 + 1 + 1);
    EXPECT_EQ(b[0], kDBaseIV);
    EXPECT_EQ(le16(b, 8), 97);      // 32 + 2 descriptors + terminator
    EXPECT_EQ(le16(b, 10), 91);     // flag + 80 + 10
    EXPECT_EQ(b[29], kWin1252);
    EXPECT_EQ(bytesAt(b, 32, 5), "TITRE");
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 16], 80);
    EXPECT_EQ(b[64 + 11], 'M');
    EXPECT_EQ(b[96], 0x0D);
    EXPECT_EQ(b[97], 0x1A);
}

std::size_t openDescriptors()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// /dev/full takes the open and refuses every write, as a full disk does.
TEST(TableCreationTest, WriteThatFailsIsAnErrorAndLeavesNoDescriptorOpen)
{
    const std::size_t before = openDescriptors();
    EXPECT_THROW(createDbfTable("/dev/full", 0x03, 0, {{"TITRE", 'C', 80}}), EDbfError);
    EXPECT_EQ(openDescriptors(), before) << "the refused file is closed";
}

// A directory that cannot be made must not fall back to its parent, which the end would remove.
TEST(TempDirTest, ParentThatCannotHoldOneIsAnError)
{
    TempDir parent;
    EXPECT_THROW(TempDir(parent.path() + "missing"), std::runtime_error);
    {
        TempDir inner(parent.path());
        EXPECT_EQ(inner.path().rfind(parent.path(), 0), 0u);
        writeBytes(inner.file("x"), {1});
    }
    EXPECT_TRUE(std::filesystem::is_empty(parent.path())) << "the inner directory is gone, the parent stays";
}

TEST_F(TableFileTest, RecordCountIsCorrectedFromFileSizeAndStamped)
{
    createMemoTable();
    appendTitles({"a", "b", "c", "d", "e"});
    auto b = readBytes(path);
    b[4] = 3; // header claims 3 records, the file holds 5
    b[1] = 90, b[2] = 1, b[3] = 1;
    writeBytes(path, b);

    openDataset();
    EXPECT_EQ(ds.visibleRecordCount(), 5);
    const auto after = readBytes(path); // a shared table writes its header at once
    EXPECT_EQ(le32(after, 4), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 1, after.begin() + 4), todayBytes());
}

TEST_F(TableFileTest, AppendEndsFileAtLastRecordUntilCloseAddsEndMarker)
{
    createMemoTable();
    appendTitles({"one", "two"});
    openDataset();
    ds.insert();
    ds.fieldByName("titre").setAsString("three");
    ds.post();
    auto b = readBytes(path);
    EXPECT_EQ(b.size(), 97u + 3 * 91) << "no end-of-file byte before the close";
    EXPECT_EQ(le32(b, 4), 3u);
    ds.close();
    b = readBytes(path);
    ASSERT_EQ(b.size(), 97u + 3 * 91 + 1);
    EXPECT_EQ(b.back(), 0x1A);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 1, b.begin() + 4), todayBytes());
    EXPECT_EQ(bytesAt(b, 97 + 2 * 91, 6), " three");
}

TEST_F(TableFileTest, CharacterValuesAreCutPaddedAndTrimmed)
{
    createMemoTable();
    openDataset();
    for (const std::string &title :
         {std::string(85, 'x'), std::string("Abc"), std::string(80, ' '), std::string("  lead")}) {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(title);
        ds.post();
    }
    const auto b = readBytes(path);
    EXPECT_EQ(bytesAt(b, 97 + 1, 80), std::string(80, 'x'));
    EXPECT_EQ(bytesAt(b, 97 + 91 + 1, 80), "Abc" + std::string(77, ' '));
    EXPECT_EQ(bytesAt(b, 97 + 91, 1), " ");

    ds.setRecNo(2);
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "Abc");
    ds.setRecNo(3);
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "");
    EXPECT_TRUE(ds.fieldByName("TITRE").isNull());
    ds.setRecNo(4);
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "  lead") << "leading blanks are kept";

    // Inner blanks stay, whatever their distance from the padding.
    std::vector<std::string> inner;
    for (std::size_t n = 0; n < 10; ++n)
        inner.push_back("\xC3\xA9" + std::string(n, 'x') + std::string(9, ' ') + "q");
    inner.push_back(std::string(79, 'y') + " ");
    for (const std::string &title : inner) {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(title);
        ds.post();
    }
    for (std::size_t i = 0; i < inner.size(); ++i) {
        ds.setRecNo(static_cast<std::uint32_t>(5 + i));
        const std::string expected = i + 1 < inner.size() ? inner[i] : std::string(79, 'y');
        EXPECT_EQ(ds.fieldByName("TITRE").asString(), expected) << "title " << i;
    }
}

TEST_F(TableFileTest, EmptyingAMemoStoresTenZeros)
{
    createMemoTable();
    openDataset();
    ds.insert();
    ds.fieldByName("MEMO").setAsString("{\\rtf1 hello}");
    ds.post();
    EXPECT_EQ(ds.fieldByName("MEMO").memoBlock(), 1u);
    ds.edit();
    ds.fieldByName("MEMO").setMemoBytes("");
    ds.post();
    const auto b = readBytes(path);
    EXPECT_EQ(bytesAt(b, 97 + 81, 10), "0000000000");
    EXPECT_EQ(ds.fieldByName("MEMO").asString(), "");
}

TEST_F(TableFileTest, DBaseIIITableHoldsOemText)
{
    // Language driver 0: the system OEM code page (850 here), so é is 0x82, not 0xE9.
    createDbfTable(path, 0x83, 0, memoSchema());
    openDataset();
    EXPECT_EQ(ds.codePage(), 850);
    ds.insert();
    ds.fieldByName("TITRE").setAsString("été");
    ds.fieldByName("MEMO").setMemoBytes("\xE9t\xE9"); // été in the program's ANSI code page
    ds.post();
    const auto b = readBytes(path);
    EXPECT_EQ(bytesAt(b, 97 + 1, 4), "\x82\x74\x82 ");
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "été");
    EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), "\xE9t\xE9");
    EXPECT_EQ(ds.fieldByName("MEMO").asString(), "été");
    const auto memo = readBytes(dir.file("memo.dbt"));
    EXPECT_EQ(bytesAt(memo, 512, 5), "\x82\x74\x82\x1A\x1A");
}

TEST_F(TableFileTest, EveryLanguageDriverGivesItsCodePage)
{
    const std::vector<std::pair<int, int>> drivers = {
        {8, 865},   {9, 437},   {10, 850},  {11, 437},  {12, 850},  {13, 437},  {14, 850},
        {15, 437},  {16, 850},  {17, 437},  {18, 850},  {19, 932},  {20, 850},  {21, 437},
        {22, 850},  {23, 865},  {24, 437},  {25, 437},  {26, 850},  {27, 437},  {28, 863},
        {29, 850},  {31, 852},  {32, 867},  {34, 852},  {35, 852},  {36, 860},  {37, 850},
        {38, 866},  {55, 850},  {77, 936},  {78, 949},  {79, 950},  {80, 874},  {86, 932},
        {87, 1252}, {88, 1252}, {89, 1252}, {94, 437},  {95, 437},  {96, 850},  {97, 1252},
        {98, 1252}, {105, 620}, {133, 862}, {134, 437}, {135, 852}, {136, 857}, {142, 868},
        {155, 1250}, {156, 850}, {1, 850},  {200, 850}};
    for (const auto &[ldid, cp] : drivers) {
        createMemoTable(kDBaseIV, static_cast<std::uint8_t>(ldid));
        openDataset();
        EXPECT_EQ(ds.codePage(), cp) << "language driver " << ldid;
        // Every code page ICU converts can be written; the others open read-only.
        EXPECT_EQ(ds.canModify(), cp != 620) << "language driver " << ldid;
        ds.close();
    }
}

TEST_F(TableFileTest, UnconvertibleCodePageOpensReadOnly)
{
    createMemoTable(kDBaseIV, 105); // Mazovia, which ICU cannot convert
    openDataset();
    EXPECT_FALSE(ds.canModify());
    try {
        ds.insert();
        FAIL() << "insert on a read-only table";
    } catch (const DataAccessError &e) {
        EXPECT_STREQ(e.what(),
                     "Dbfmemo: Impossible de modifier un ensemble de données en lecture seule");
    }
}

TEST_F(TableFileTest, CharactersTheCodePageLacksAreDetectableBeforeInput)
{
    createMemoTable();
    openDataset();
    EXPECT_TRUE(ds.canEncode("Noël à 5 €"));
    EXPECT_FALSE(ds.canEncode("日本"));
    EXPECT_FALSE(ds.fieldByName("TITRE").canEncode("Ω"));
}

TEST_F(TableFileTest, LanguageDriverNamesOfLongHeaders)
{
    auto cp = [](const char *name) {
        std::uint8_t b[32] = {};
        std::memcpy(b, name, std::strlen(name));
        return codepage::ofLanguageDriverName(b, sizeof b);
    };
    EXPECT_EQ(cp("DBWINUS0"), 1252);
    EXPECT_EQ(cp("DBHEBREW"), 1255);
    EXPECT_EQ(cp("DB437US0"), 437);
    EXPECT_EQ(cp("DB850"), 850);
    EXPECT_EQ(cp("FOXUSWIN"), 1252);
    EXPECT_EQ(cp("FOXUS852"), 852);
    EXPECT_EQ(cp("XYZ"), 0);
}

TEST_F(TableFileTest, FieldNamesAreUpperCasedAndTwinsNumbered)
{
    createDbfTable(path, kDBaseIV, kWin1252,
                   {{"titre", 'C', 10}, {"TITRE", 'C', 10}, {"Titre", 'c', 10}, {"memo", 'm', 10}});
    openDataset();
    ASSERT_EQ(ds.fieldCount(), 4);
    EXPECT_EQ(ds.field(0).fieldName(), "TITRE");
    EXPECT_EQ(ds.field(1).fieldName(), "TITRE2");
    EXPECT_EQ(ds.field(2).fieldName(), "TITRE3");
    EXPECT_EQ(ds.field(2).typeLetter(), 'C');
    EXPECT_EQ(ds.field(3).dataType(), TFieldType::ftMemo);
    EXPECT_EQ(&ds.fieldByName("titre2"), &ds.field(1));
}

// A table with the 68-byte header and 48-byte descriptors of the later levels.
std::vector<std::uint8_t> longHeaderTable(std::uint8_t version)
{
    std::vector<std::uint8_t> b(68 + 48 + 1 + 11 + 1, 0);
    b[0] = version;
    b[8] = 68 + 48 + 1;
    b[10] = 11;
    std::memcpy(b.data() + 32, "DBWINUS0", 8);
    std::memcpy(b.data() + 68, "name", 4);
    b[68 + 32] = 'C';
    b[68 + 33] = 10;
    b[68 + 48] = 0x0D;
    b[4] = 1;
    std::memcpy(b.data() + 117, " hello     ", 11);
    b.back() = 0x1A;
    return b;
}

TEST_F(TableFileTest, EveryTableLevelIsRecognised)
{
    struct Case
    {
        std::uint8_t version, ldid;
        TTableLevel level;
    };
    for (const Case &c : {Case{0x03, 0, TTableLevel::dBaseIII}, Case{0x83, 0, TTableLevel::dBaseIII},
                          Case{0x03, 0x57, TTableLevel::dBaseIV},
                          Case{0x8B, 0x57, TTableLevel::dBaseIV}}) {
        createDbfTable(path, c.version, c.ldid, {{"NAME", 'C', 10}});
        TDbfFile f;
        ASSERT_TRUE(f.open(path, TDbfAccess::ReadOnly));
        EXPECT_EQ(f.level(), c.level) << int(c.version);
    }
    for (const auto &[version, level] :
         {std::pair{std::uint8_t(0x04), TTableLevel::dBaseVII},
          std::pair{std::uint8_t(0x8C), TTableLevel::dBaseVII},
          std::pair{std::uint8_t(0xF5), TTableLevel::FoxPro},
          std::pair{std::uint8_t(0x30), TTableLevel::VisualFoxPro}}) {
        writeBytes(path, longHeaderTable(version));
        TDbfFile f;
        ASSERT_TRUE(f.open(path, TDbfAccess::ReadOnly));
        EXPECT_EQ(f.level(), level) << int(version);
        EXPECT_EQ(f.codePage(), 1252);
        ASSERT_EQ(f.fields().size(), 1u);
        EXPECT_EQ(f.fields()[0].name, "NAME");
        std::vector<std::uint8_t> rec(f.recordLength());
        ASSERT_TRUE(f.readRecord(1, rec.data()));
        EXPECT_EQ(f.fieldText(rec.data(), 0), "hello");
    }
}

TEST_F(TableFileTest, FoxProVersionByteKeepsItsHighBit)
{
    writeBytes(path, longHeaderTable(0x30));
    {
        TDbfFile f;
        ASSERT_TRUE(f.open(path, TDbfAccess::Shared));
    }
    const auto b = readBytes(path);
    EXPECT_EQ(b[0], 0x30) << "the close stamp must not turn the version into an unknown one";
}

TEST_F(TableFileTest, OtherFieldTypesFollowTheirStorageRules)
{
    createDbfTable(path, kDBaseIV, kWin1252,
                   {{"N", 'N', 8, 2}, {"S", 'N', 4}, {"L", 'L', 1}, {"D", 'D', 8}, {"I", 'I', 4},
                    {"O", 'O', 8}});
    openDataset();
    // The fixture's dataset: the table is named memo.dbf, its fields come from the file.
    EXPECT_EQ(ds.field(0).dataType(), TFieldType::ftFloat);
    EXPECT_EQ(ds.field(1).dataType(), TFieldType::ftSmallint);
    ds.insert();
    ds.field(0).setAsString("3.25");
    ds.field(2).setAsString("t");
    ds.field(3).setAsString("20261207");
    ds.field(4).setAsString("-2");
    ds.field(5).setAsString("1.5");
    ds.post();
    const auto b = readBytes(path);
    const std::size_t r = le16(b, 8) + 1;
    EXPECT_EQ(bytesAt(b, r, 8), "    3.25");
    EXPECT_EQ(bytesAt(b, r + 12, 1), "t");
    EXPECT_EQ(bytesAt(b, r + 13, 8), "20261207");
    EXPECT_EQ(bytesAt(b, r + 21, 4), std::string("\x7F\xFF\xFF\xFE", 4));
    EXPECT_EQ(b[r + 25], 0xBF) << "a non-negative double has its sign bit set";
    EXPECT_EQ(ds.field(2).asString(), "T");
    EXPECT_EQ(ds.field(4).asString(), "-2");
    EXPECT_EQ(ds.field(5).asString(), "1.5");
    EXPECT_EQ(ds.field(1).asString(), "");
}

} // namespace

namespace {

TEST_F(TableFileTest, MultiByteTextIsCutBetweenCharacters)
{
    createDbfTable(path, kDBaseIV, 19 /* code page 932 */, {{"TITRE", 'C', 5}});
    openDataset();
    ds.insert();
    ds.fieldByName("TITRE").setAsString("日本語"); // two bytes each: only two fit in five
    ds.post();
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "日本");
}

} // namespace
