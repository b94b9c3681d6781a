// Inserts random titles into infos.dbf through the dataset with its descending TITRE tag live,
// then walks the table in index order; does the same inserts into an indexed SQLite table with
// the sqlite3 command (one transaction, no fsync) as the reference for a well-made B-tree.
//     velmora_index_bench [records]        (default 100000)
#include "benchtitles.h"
#include "dbffile.h"
#include "indexcursor.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void prepareTable(const std::string &dir, bool indexed)
{
    std::system(("rm -f '" + dir + "'infos.*").c_str());
    createDbfTable(dir + "infos.dbf", 0x8B, 0x57, {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
    if (indexed)
        createProductionIndex(dir + "infos.dbf", "", "TITRE", ixDescending);
}

// With indexed false the same work in stored order, to show what the tag itself costs.
void benchDataset(const std::string &dir, const std::vector<std::string> &titles, bool indexed)
{
    prepareTable(dir, indexed);
    TDbf ds("Dbfinfos");
    ds.setFilePath(dir);
    ds.setTableName("infos.dbf");
    ds.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    ds.open();
    Clock::time_point start = Clock::now();
    for (const std::string &t : titles) {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(t);
        ds.post();
    }
    const double insert = secondsSince(start);
    start = Clock::now();
    std::size_t walked = 0, bytes = 0;
    for (ds.first(); !ds.eof(); ds.next()) {
        bytes += ds.fieldByName("TITRE").asString().size();
        ++walked;
    }
    const double walk = secondsSince(start);
    std::printf("velmora  insert %zu titles (%s): %8.3f s  (%6.1f us/record)\n", titles.size(),
                indexed ? "tag live" : "no index", insert, 1e6 * insert / titles.size());
    std::printf("velmora  walk in %s order:         %8.3f s  (%zu records, %zu title bytes read)\n",
                indexed ? "index " : "stored", walk, walked, bytes);
}

void benchSqlite(const std::string &dir, const std::vector<std::string> &titles)
{
    const std::string script = dir + "insert.sql", db = dir + "infos.db";
    {
        std::ofstream sql(script);
        sql << "PRAGMA synchronous=OFF;\nCREATE TABLE infos(categ TEXT, titre TEXT, infos TEXT);\n"
               "CREATE INDEX infos_titre ON infos(titre DESC);\nBEGIN;\n";
        for (const std::string &t : titles)
            sql << "INSERT INTO infos(titre) VALUES('" << t << "');\n";
        sql << "COMMIT;\n";
    }
    Clock::time_point start = Clock::now();
    if (std::system(("sqlite3 '" + db + "' < '" + script + "'").c_str()) != 0) {
        std::printf("sqlite3  not available\n");
        return;
    }
    const double insert = secondsSince(start);
    start = Clock::now();
    std::system(("sqlite3 '" + db + "' 'SELECT titre FROM infos INDEXED BY infos_titre ORDER BY titre DESC' > /dev/null").c_str());
    const double walk = secondsSince(start);
    std::printf("sqlite3  insert %zu titles (indexed):   %8.3f s  (%6.1f us/record, SQL text parsing included)\n",
                titles.size(), insert, 1e6 * insert / titles.size());
    std::printf("sqlite3  walk in index order:         %8.3f s  (process start included)\n", walk);
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    char pattern[] = "/tmp/velmora-index-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string dir = std::string(pattern) + "/";
    const std::vector<std::string> titles = randomTitles(count);
    try {
        benchDataset(dir, titles, false);
        benchDataset(dir, titles, true);
        benchSqlite(dir, titles);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::system(("rm -rf '" + dir + "'").c_str());
        return 1;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
