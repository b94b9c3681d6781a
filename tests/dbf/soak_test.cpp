// Four processes appending, editing and deleting records with memos on one table at once; then
// every committed operation must be there, and an independent reader must agree.
//   VELMORA_SOAK_OPS=20000 ./dbf_tests --gtest_filter='Soak*'   for a longer run
#include "tablecheck.h"

#include <fcntl.h>
#include <random>
#include <sstream>

using namespace tablecheck;

namespace {

constexpr int kProcesses = 4;

// Ids live in one process, so no two processes edit one record; the header, the new slots and the
// memo file's free block are what they share.
class Worker
{
public:
    Worker(const TempDir &dir, int process) : m_process(process), m_random(1234 + process)
    {
        openTable(m_ds, dir, "memo.dbf");
    }

    // Runs `ops` operations and returns what the table must hold of this process: id -> version,
    // -1 for deleted.
    std::map<std::string, int> run(int ops)
    {
        for (int i = 0; i < ops; ++i) {
            const unsigned dice = m_random() % 10;
            if (m_mine.empty() || dice < 5)
                append(i);
            else if (dice < 8)
                edit();
            else
                remove();
        }
        m_ds.close();
        return m_expected;
    }

private:
    void post(const std::string &title)
    {
        m_ds.fieldByName("TITRE").setAsString(title);
        m_ds.fieldByName("MEMO").setMemoBytes(memoOf(title));
        m_ds.post();
    }

    void append(int i)
    {
        const std::string id = "P" + std::to_string(m_process) + "-" + std::to_string(i);
        m_ds.insert();
        post(titleOf(id, 0));
        // The physical cursor stays where it was: find the new record from the end.
        for (m_ds.last(); m_ds.fieldByName("TITRE").asString() != titleOf(id, 0); m_ds.prior())
            if (m_ds.bof())
                throw std::runtime_error("appended record not found: " + id);
        m_mine.push_back({id, static_cast<std::uint32_t>(m_ds.recNo())});
        m_expected[id] = 0;
    }

    std::pair<std::string, std::uint32_t> &pick()
    {
        return m_mine[m_random() % m_mine.size()];
    }

    void edit()
    {
        auto &[id, recNo] = pick();
        m_ds.setRecNo(static_cast<int>(recNo));
        m_ds.edit();
        post(titleOf(id, ++m_expected[id]));
    }

    void remove()
    {
        const std::size_t at = m_random() % m_mine.size();
        m_ds.setRecNo(static_cast<int>(m_mine[at].second));
        m_ds.deleteRecord();
        m_expected[m_mine[at].first] = -1;
        m_mine.erase(m_mine.begin() + static_cast<long>(at));
    }

    int m_process;
    std::mt19937 m_random;
    TDbf m_ds{"Dbfmemo"};
    std::vector<std::pair<std::string, std::uint32_t>> m_mine; // live ids and their records
    std::map<std::string, int> m_expected;
};

TEST(SoakTest, FourProcessesLoseAndMixNothing)
{
    const int ops = sizeFromEnv("VELMORA_SOAK_OPS", 2000);
    TempDir dir;
    createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema());
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(runChild([&, p] {
            const std::map<std::string, int> expected = Worker(dir, p).run(ops);
            std::string text;
            for (const auto &[id, version] : expected)
                text += id + " " + std::to_string(version) + "\n";
            writeBytes(dir.file("expected" + std::to_string(p)),
                       std::vector<std::uint8_t>(text.begin(), text.end()));
        }));
    }
    for (pid_t c : children)
        ASSERT_TRUE(exitedCleanly(c));

    std::map<std::string, int> expected;
    for (int p = 0; p < kProcesses; ++p) {
        const auto bytes = readBytes(dir.file("expected" + std::to_string(p)));
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        std::string id;
        int version;
        while (in >> id >> version)
            if (version >= 0)
                expected[id] = version;
    }
    expectCountMatchesFile(dir);
    const std::map<std::string, Found> live = liveRecords(dir);
    ASSERT_EQ(live.size(), expected.size());
    for (const auto &[id, version] : expected) {
        const auto it = live.find(id);
        ASSERT_NE(it, live.end()) << id << " was committed and is gone";
        EXPECT_EQ(it->second.version, version) << id;
    }
    expectCountMatchesFile(dir);
    const std::string py = dbfreadPython();
    if (py.empty())
        GTEST_SKIP() << "python3-dbfread is not installed: the table is not read by it";
    EXPECT_EQ(dbfreadTitlesAndMemos(py, {dir.file("memo.dbf")}, "TITRE", "MEMO"), dbfreadListing(live));
}

} // namespace
