// A writer killed (SIGKILL) at random moments of its appends and edits: afterwards the table opens,
// its count is right, everything committed is there, and the post in flight is either wholly
// there or not at all.
//   VELMORA_CRASH_KILLS=300 ./dbf_tests --gtest_filter='Crash*'   for a longer run
#include "tablecheck.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <thread>

using namespace tablecheck;

namespace {

// The writer's journal: "B <id> <version>" before a post, "C" once it returned.
struct Journal
{
    std::map<std::string, int> committed;
    std::string inFlightId; // empty when the writer died between posts
    int inFlightVersion = 0;
};

Journal readJournal(const std::string &path)
{
    const auto bytes = readBytes(path);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    Journal j;
    std::string word;
    while (in >> word) {
        if (word == "B") {
            in >> j.inFlightId >> j.inFlightVersion;
        } else if (word == "C" && !j.inFlightId.empty()) {
            j.committed[j.inFlightId] = j.inFlightVersion;
            j.inFlightId.clear();
        }
    }
    return j;
}

// Appends new records and edits those of earlier rounds until it is killed.
[[noreturn]] void write(const TempDir &dir, int round, const std::map<std::string, Found> &live,
                        Signal &progress)
{
    const int journal = ::open(dir.file("journal").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    auto note = [&](const std::string &line) {
        if (::write(journal, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("journal");
    };
    std::vector<std::pair<std::string, Found>> old(live.begin(), live.end());
    std::mt19937 random(99 + round);
    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    for (int i = 0;; ++i) {
        std::string id = "R" + std::to_string(round) + "-" + std::to_string(i);
        int version = 0;
        if (!old.empty() && random() % 5 < 2) {
            auto &[oldId, found] = old[random() % old.size()];
            ds.setRecNo(static_cast<int>(found.recNo));
            ds.edit();
            id = oldId;
            version = ++found.version;
        } else {
            ds.insert();
        }
        note("B " + id + " " + std::to_string(version) + "\n");
        ds.fieldByName("TITRE").setAsString(titleOf(id, version));
        ds.fieldByName("MEMO").setMemoBytes(memoOf(titleOf(id, version)));
        ds.post();
        note("C\n");
        progress.raise();
    }
}

TEST(CrashTest, KilledWriterLosesNothingCommitted)
{
    const int kills = sizeFromEnv("VELMORA_CRASH_KILLS", 30);
    const std::string py = dbfreadPython();
    if (py.empty())
        std::fprintf(stderr, "python3-dbfread is not installed: the tables are not read by it\n");
    TempDir dir;
    createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema());
    std::map<std::string, Found> live;
    std::map<std::string, int> committed;
    std::vector<std::string> copies; // the table after each kill, for dbfread at the end
    std::string listings;
    std::mt19937 random(4321);
    for (int round = 0; round < kills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round + 1));
        Signal progress;
        const pid_t writer = runChild([&] { write(dir, round, live, progress); });
        progress.closeSender();
        for (unsigned posts = 1 + random() % 12; posts > 0; --posts)
            progress.wait();
        // Only to spread the kills over every step of a post; nothing waits on it.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);

        const auto raw = readBytes(dir.file("memo.dbf"));
        ASSERT_LE(le32(raw, 4), (raw.size() - le16(raw, 8)) / le16(raw, 10))
            << "the header counts a record the file does not hold";
        const Journal journal = readJournal(dir.file("journal"));
        for (const auto &[id, version] : journal.committed)
            committed[id] = version;
        live = liveRecords(dir);
        expectCountMatchesFile(dir);
        for (const auto &[id, version] : committed) {
            const auto it = live.find(id);
            const bool inFlight = id == journal.inFlightId;
            ASSERT_NE(it, live.end()) << id << " was committed and is gone";
            if (!inFlight || it->second.version != journal.inFlightVersion) {
                EXPECT_EQ(it->second.version, version) << id;
            }
        }
        for (const auto &[id, found] : live) {
            if (!committed.count(id)) {
                EXPECT_EQ(id, journal.inFlightId) << "a record nobody posted";
            }
        }
        if (!journal.inFlightId.empty() && live.count(journal.inFlightId))
            committed[journal.inFlightId] = live[journal.inFlightId].version;
        if (::testing::Test::HasFailure())
            return;
        const std::string copy = dir.file("after" + std::to_string(round) + ".dbf");
        writeBytes(copy, readBytes(dir.file("memo.dbf")));
        writeBytes(memoPathOf(copy), readBytes(dir.file("memo.dbt")));
        copies.push_back(copy);
        listings += dbfreadListing(live);
    }
    if (!py.empty()) {
        EXPECT_EQ(dbfreadTitlesAndMemos(py, copies, "TITRE", "MEMO"), listings);
    }
}

} // namespace
