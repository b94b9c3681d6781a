// Compaction and the trash: live rows and memos kept through independent readers, the index
// rebuilt, a restore with its key, refusal while another process has the table open, and kills
// at random moments of a compaction.
#include "childprocess.h"
#include "compaction.h"
#include "dbftestutil.h"
#include "indexcursor.h"
#include "indexfile.h"
#include "tablecheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <random>
#include <set>

using tablecheck::memoOf;

namespace {

// A memo table of `count` notes "n<i>#<v>": every third deleted, every fifth edited `edits` times
// (each edit outgrows its blocks, so the old text stays behind in the .dbt).
void fillNotes(const TempDir &dir, int count, int edits)
{
    createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema());
    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    ds.beginBatch();
    for (int i = 0; i < count; ++i) {
        ds.append();
        const std::string title = tablecheck::titleOf("n" + std::to_string(i), 0);
        ds.fieldByName("TITRE").setAsString(title);
        ds.fieldByName("MEMO").setMemoBytes(memoOf(title));
        ds.post();
    }
    ds.endBatch();
    for (int i = 0; i < count; i += 5) {
        ds.setRecNo(i + 1);
        for (int v = 1; v <= edits; ++v) {
            ds.edit();
            const std::string title = tablecheck::titleOf("n" + std::to_string(i), v);
            ds.fieldByName("TITRE").setAsString(title);
            ds.fieldByName("MEMO").setMemoBytes(memoOf(title) + std::string(512 * v, 'x'));
            ds.post();
            ds.edit();
            ds.fieldByName("MEMO").setMemoBytes(memoOf(title));
            ds.post();
        }
    }
    for (int i = 0; i < count; i += 3) {
        ds.setRecNo(i + 1);
        ds.deleteRecord();
    }
    ds.close();
}

std::set<std::string> liveTitles(const TempDir &dir)
{
    std::set<std::string> titles;
    for (const auto &[id, f] : tablecheck::liveRecords(dir))
        titles.insert(tablecheck::titleOf(id, f.version));
    return titles;
}

void copyTable(const TempDir &from, const TempDir &to, const std::string &base)
{
    for (const char *ext : {".dbf", ".dbt", ".mdx"}) {
        const auto bytes = readBytes(from.file(base + ext));
        if (!bytes.empty())
            writeBytes(to.file(base + ext), bytes);
    }
}

TEST(Compaction, KeepsLiveRowsAndMemosForIndependentReaders)
{
    TempDir dir;
    fillNotes(dir, 60, 3);
    const auto before = tablecheck::liveRecords(dir);
    const std::uint64_t dbtBefore = readBytes(dir.file("memo.dbt")).size();

    const TCompaction done = compactTable(dir.file("memo.dbf"), dir.file("backup"));
    EXPECT_EQ(done.kept, 40u);
    EXPECT_EQ(done.removed, 20u);
    EXPECT_LT(done.sizeAfter, done.sizeBefore);

    const auto after = tablecheck::liveRecords(dir);
    ASSERT_EQ(after.size(), before.size());
    for (const auto &[id, f] : before)
        EXPECT_EQ(after.at(id).version, f.version) << id;
    tablecheck::expectCountMatchesFile(dir);
    EXPECT_LT(readBytes(dir.file("memo.dbt")).size(), dbtBefore / 2) << "old memo text given back";
    EXPECT_FALSE(compactionLeftovers(dir.file("memo.dbf")));
    // The copy holds the old files byte for byte.
    EXPECT_EQ(readBytes(done.backup + "/memo.dbt").size(), dbtBefore);

    const std::string py = dbfreadPython();
    if (!py.empty()) {
        EXPECT_EQ(dbfreadTitlesAndMemos(py, {dir.file("memo.dbf")}, "TITRE", "MEMO"),
                  tablecheck::dbfreadListing(after));
    }
    const std::string perl = commandOutput(
        "perl -MXBase -e '$t = XBase->new(shift) or die XBase->errstr; my @r;"
        " for (0 .. $t->last_record) { my ($d, $ti, $m) = $t->get_record($_, \"TITRE\", \"MEMO\");"
        " next if $d; $m =~ s/ +$//; push @r, \"$ti|$m\" } print scalar(@r), \"\\n\", map { \"$_\\n\" } sort @r'"
        " '" + dir.file("memo.dbf") + "' 2>&1");
    if (perl.find("Can't locate XBase") == std::string::npos) {
        EXPECT_EQ(perl, tablecheck::dbfreadListing(after));
    }
}

TEST(Compaction, RebuildsTheIndexFromTheRecords)
{
    TempDir dir;
    createDbfTable(dir.file("infos.dbf"), 0x8B, 0x57, infosSchema());
    createProductionIndex(dir.file("infos.dbf"), "", "TITRE", ixDescending);
    TDbf ds("Dbfinfos");
    openTable(ds, dir, "infos.dbf");
    for (int i = 0; i < 300; ++i) {
        ds.append();
        ds.fieldByName("TITRE").setAsString("Fiche " + std::to_string(1000 + (i * 37) % 300));
        ds.fieldByName("INFOS").setMemoBytes("{\\rtf1 " + std::to_string(i) + "}");
        ds.post();
    }
    std::vector<std::string> expected;
    std::set<std::uint32_t> kept; // deleted sheets the compaction keeps in the trash
    int n = 0;
    for (ds.first(); !ds.eof(); ++n) {
        if (n % 4 == 0) {
            if (n % 8 == 0)
                kept.insert(static_cast<std::uint32_t>(ds.recNo()));
            ds.deleteRecord(); // stands on the next one
            continue;
        }
        expected.push_back(ds.fieldByName("TITRE").asString() + "|" + ds.fieldByName("INFOS").memoBytes());
        ds.next();
    }
    std::set<std::string> keptTitles;
    for (std::uint32_t r : kept)
        keptTitles.insert(ds.storedFieldText(r, "TITRE"));
    ds.close();

    compactTable(dir.file("infos.dbf"), {}, [&](std::uint32_t n) { return kept.count(n) > 0; });

    TDbfFile table;
    ASSERT_TRUE(table.open(dir.file("infos.dbf"), TDbfAccess::ReadOnly));
    auto index = TIndexFile::open(dir.file("infos.mdx"), indexTableInfo(table));
    ASSERT_TRUE(index);
    ASSERT_EQ(index->tagCount(), 1);
    EXPECT_TRUE(index->tag(0).descending());
    index->checkStructure(0);
    EXPECT_EQ(index->recordsInOrder(0).size(), expected.size() + kept.size()) << "one key per record";
    index.reset();
    table.close();

    ds.open();
    std::vector<std::string> walked;
    for (ds.first(); !ds.eof(); ds.next())
        walked.push_back(ds.fieldByName("TITRE").asString() + "|" + ds.fieldByName("INFOS").memoBytes());
    EXPECT_EQ(walked, expected) << "same records in the same descending title order";
    std::set<std::string> trash;
    for (std::uint32_t r : ds.deletedRecords())
        trash.insert(ds.storedFieldText(r, "TITRE"));
    EXPECT_EQ(trash, keptTitles) << "the deleted sheets not chosen stay in the trash";
}

TEST(Trash, RestoreBringsBackTheRecordItsMemoAndItsKeyForAnotherProcessToo)
{
    TempDir dir;
    createDbfTable(dir.file("infos.dbf"), 0x8B, 0x57, infosSchema());
    createProductionIndex(dir.file("infos.dbf"), "", "TITRE", ixDescending);
    TDbf ds("Dbfinfos");
    openTable(ds, dir, "infos.dbf");
    for (const char *title : {"Alpha", "Gamma", "Beta"}) {
        ds.append();
        ds.fieldByName("TITRE").setAsString(title);
        ds.fieldByName("INFOS").setMemoBytes(std::string("{\\rtf1 ") + title + "}");
        ds.post();
    }
    ASSERT_TRUE(ds.locate("TITRE", "Gamma"));
    const std::uint32_t gamma = static_cast<std::uint32_t>(ds.recNo());
    ds.deleteRecord();
    EXPECT_EQ(ds.deletedRecords(), std::vector<std::uint32_t>{gamma});
    EXPECT_EQ(ds.storedFieldText(gamma, "INFOS"), "{\\rtf1 Gamma}");

    // Another process that has the table open sees the restored record appear.
    Signal restored;
    const pid_t child = runChild([&] {
        restored.closeSender();
        TDbf other("Dbfinfos");
        openTable(other, dir, "infos.dbf");
        restored.wait();
        std::string seen;
        for (other.first(); !other.eof(); other.next())
            seen += other.fieldByName("TITRE").asString() + " ";
        if (seen != "Gamma Beta Alpha ")
            throw std::runtime_error("the other process walked " + seen);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(ds.undelete(gamma));
    EXPECT_EQ(ds.fieldByName("TITRE").asString(), "Gamma") << "the restored record is current";
    EXPECT_FALSE(ds.undelete(gamma)) << "a live record is not restored twice";
    restored.raise();
    EXPECT_TRUE(exitedCleanly(child));

    std::string walked;
    for (ds.first(); !ds.eof(); ds.next())
        walked += ds.fieldByName("TITRE").asString() + "|" + ds.fieldByName("INFOS").memoBytes() + " ";
    EXPECT_EQ(walked, "Gamma|{\\rtf1 Gamma} Beta|{\\rtf1 Beta} Alpha|{\\rtf1 Alpha} ");
    EXPECT_TRUE(ds.deletedRecords().empty());
    ds.close();
}

TEST(Compaction, RefusedWhileAnotherProcessHasTheTableOpen)
{
    TempDir dir;
    fillNotes(dir, 9, 0);
    const auto dbf = readBytes(dir.file("memo.dbf")), dbt = readBytes(dir.file("memo.dbt"));
    Signal opened, done;
    const pid_t child = runChild([&] {
        done.closeSender();
        TDbf other("Dbfmemo");
        other.setFilePath(dir.path());
        other.setTableName("memo.dbf");
        other.setReadOnly(true); // readers count too
        other.open();
        opened.raise();
        done.wait();
    });
    opened.closeSender();
    opened.wait();
    EXPECT_THROW(compactTable(dir.file("memo.dbf"), dir.file("backup")), ETableInUse);
    done.raise();
    EXPECT_TRUE(exitedCleanly(child));
    EXPECT_EQ(readBytes(dir.file("memo.dbf")), dbf);
    EXPECT_EQ(readBytes(dir.file("memo.dbt")), dbt);
    EXPECT_FALSE(compactionLeftovers(dir.file("memo.dbf")));
    EXPECT_EQ(compactTable(dir.file("memo.dbf")).kept, 6u) << "free again once the other closed";
}

// The states a killed compaction can leave, laid out by hand from a real one: the next open
// gives the old table before the marker and the new one after it, and clears the leftovers.
TEST(Compaction, NextOpenUndoesOrFinishesAnInterruptedCompaction)
{
    TempDir oldFiles, newFiles;
    fillNotes(oldFiles, 30, 1);
    copyTable(oldFiles, newFiles, "memo");
    compactTable(newFiles.file("memo.dbf"));
    const std::set<std::string> live = liveTitles(oldFiles);

    struct Case
    {
        const char *name;
        std::vector<std::string> pending; // new files still under their temporary names
        std::vector<std::string> moved;   // new files already in place
        bool marker;
        bool expectNew;
    };
    const Case cases[] = {
        {"memo file written", {".dbt"}, {}, false, false},
        {"all new files written", {".dbt", ".dbf"}, {}, false, false},
        {"marker written", {".dbt", ".dbf"}, {}, true, true},
        {"memo file moved", {".dbf"}, {".dbt"}, true, true},
        {"all moved, marker left", {}, {".dbt", ".dbf"}, true, true},
    };
    for (const Case &c : cases) {
        TempDir dir;
        copyTable(oldFiles, dir, "memo");
        for (const std::string &ext : c.pending)
            writeBytes(dir.file("memo.new" + ext), readBytes(newFiles.file("memo" + ext)));
        for (const std::string &ext : c.moved)
            writeBytes(dir.file("memo" + ext), readBytes(newFiles.file("memo" + ext)));
        if (c.marker)
            writeBytes(dir.file("memo.compact"), {'d', 'b', 't', '\n', 'd', 'b', 'f', '\n'});
        EXPECT_EQ(liveTitles(dir), live) << c.name;
        const auto dbf = readBytes(dir.file("memo.dbf"));
        EXPECT_EQ(le32(dbf, 4), c.expectNew ? 20u : 30u) << c.name;
        EXPECT_FALSE(compactionLeftovers(dir.file("memo.dbf"))) << c.name;
    }
}

// A child compacts 20,000 notes and is killed at a random moment, again and again: every time
// the table opens whole, old or new, with the same live notes.
TEST(Compaction, KillAtAnyMomentLeavesTheOldOrTheNewTableWhole)
{
#ifdef __SANITIZE_ADDRESS__
    constexpr int defaultNotes = 4000; // the instrumented build checks the same moments, slower
#else
    constexpr int defaultNotes = 20000;
#endif
    const int notes = tablecheck::sizeFromEnv("VELMORA_COMPACT_NOTES", defaultNotes);
    const int kills = tablecheck::sizeFromEnv("VELMORA_COMPACT_KILLS", 30);
    TempDir pristine;
    fillNotes(pristine, notes, 0);
    const std::set<std::string> live = liveTitles(pristine);

    // How long one compaction takes here, to spread the kills over it.
    std::chrono::microseconds span;
    {
        TempDir dir;
        copyTable(pristine, dir, "memo");
        const auto start = std::chrono::steady_clock::now();
        compactTable(dir.file("memo.dbf"), dir.file("backup"));
        span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    }
    std::mt19937 random(2804);
    std::uniform_int_distribution<long> moment(0, span.count() * 3 / 2);
    std::map<bool, int> outcomes;
    TempDir dir;
    for (int k = 0; k < kills; ++k) {
        copyTable(pristine, dir, "memo");
        const pid_t child = runChild([&] { compactTable(dir.file("memo.dbf"), dir.file("backup")); });
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        ASSERT_EQ(liveTitles(dir), live) << "kill " << k;
        const auto dbf = readBytes(dir.file("memo.dbf"));
        const std::uint32_t count = le32(dbf, 4);
        ASSERT_TRUE(count == live.size() || count == static_cast<std::uint32_t>(notes)) << "kill " << k;
        ++outcomes[count == live.size()];
        ASSERT_FALSE(compactionLeftovers(dir.file("memo.dbf"))) << "kill " << k;
    }
    std::printf("compaction of %d notes takes %ld us; after %d kills: %d old tables, %d new\n", notes,
                static_cast<long>(span.count()), kills, outcomes[false], outcomes[true]);
}

} // namespace
