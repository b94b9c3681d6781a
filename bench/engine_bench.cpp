// The table engine beside the tools a user would otherwise reach for, all measured in this run:
//     velmora_engine_bench [records] [runs]        (defaults 100000 and 3; medians of the runs)
//     velmora_engine_bench records 1 PHASE         only our part up to PHASE, for strace -c:
//                                                  build, walk, accented-build, accented,
//                                                  insert, batch or ordered; the
//                                                  calls of walk less those of build are the
//                                                  plain walk's, ordered less batch the ordered
// Rows: a walk of every field and memo (python3-dbfread and `cat` of both files as references),
// the same walk over French text with its accents (titles and plain-text memos, as the address
// book's notes hold them; about one letter in five accented, python3-dbfread beside it),
// inserts of random titles with a descending title tag live, one post each and as one batch
// (sqlite3 with an indexed table, WAL, synchronous off: a transaction per insert, then one), and
// a walk in index order (sqlite3's ordered select). Reference commands include their process
// start, as a user would meet them; ours run in this process. Ratios are the figures to read;
// a reference missing from the machine shows as n/a.
#include "benchtitles.h"
#include "dbf.h"
#include "dbffile.h"
#include "indexcursor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The system's interpreter, which has the distribution's dbfread module: the first python3 on PATH
// may be a private one without it.
constexpr const char *kPython = "/usr/bin/python3";

double seconds(const std::function<void()> &work)
{
    const Clock::time_point start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool haveCommand(const std::string &probe)
{
    return std::system((probe + " >/dev/null 2>&1").c_str()) == 0;
}

std::string memoText(std::size_t i)
{
    std::string text = "{\\rtf1\\ansi\\f0\\fs20 Fiche " + std::to_string(i) + " ";
    while (text.size() < 599)
        text += "lorem ipsum ";
    text.resize(599);
    return text + "}";
}

void createTable(const std::string &dir, bool indexed)
{
    std::system(("rm -f '" + dir + "'infos.*").c_str());
    createDbfTable(dir + "infos.dbf", 0x8B, 0x57,
                   {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"AUTEUR", 'C', 80}, {"INFOS", 'M', 10}});
    if (indexed)
        createProductionIndex(dir + "infos.dbf", "", "TITRE", ixDescending);
}

void openTable(TDbf &ds, const std::string &dir, bool indexed)
{
    ds.setFilePath(dir);
    ds.setTableName("infos.dbf");
    if (indexed)
        ds.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    ds.open();
}

// French words, about one letter in five accented, as Windows-1252 turns them into single bytes.
const char *const kFrench[] = {"été", "élève", "à", "côté", "déjà", "fenêtre", "rêve", "où",
                               "garçon", "Noël", "forêt", "théâtre", "numéro", "première",
                               "très", "bientôt", "s'il", "plaît", "intérêt", "réunion"};

std::string frenchText(std::size_t seed, std::size_t size)
{
    std::string text;
    for (std::size_t k = seed; text.size() < size; k = k * 7 + 3)
        text += std::string(kFrench[k % std::size(kFrench)]) + " ";
    while (static_cast<unsigned char>(text.back()) >= 0x80 || text.size() > size)
        text.pop_back(); // never cut a letter in two
    return text;
}

void insertFrench(TDbf &ds, std::size_t records)
{
    ds.beginBatch();
    for (std::size_t i = 0; i < records; ++i) {
        ds.insert();
        ds.fieldByName("CATEG").setAsString(i % 7 == 0 ? "Maison" : "Bibliothèque");
        ds.fieldByName("TITRE").setAsString(frenchText(i, 60));
        ds.fieldByName("AUTEUR").setAsString("Hélène Lefèvre " + std::to_string(i % 100));
        ds.fieldByName("INFOS").setAsString(frenchText(i + 1, 600));
        ds.post();
    }
    ds.endBatch();
}

void insertTitles(TDbf &ds, const std::vector<std::string> &titles, bool withMemo)
{
    for (std::size_t i = 0; i < titles.size(); ++i) {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(titles[i]);
        if (withMemo) {
            ds.fieldByName("CATEG").setAsString(i % 7 == 0 ? "Maison" : "Travail");
            ds.fieldByName("AUTEUR").setAsString("Auteur " + std::to_string(i % 100));
            ds.fieldByName("INFOS").setMemoBytes(memoText(i));
        }
        ds.post();
    }
}

std::size_t walk(TDbf &ds, bool everyField)
{
    std::size_t bytes = 0;
    for (ds.first(); !ds.eof(); ds.next()) {
        if (everyField) {
            for (int f = 0; f < ds.fieldCount(); ++f)
                bytes += ds.field(f).asString().size();
        } else {
            bytes += ds.fieldByName("TITRE").asString().size();
        }
    }
    return bytes;
}

void writeSqlScript(const std::string &path, const std::vector<std::string> &titles, bool oneTransaction)
{
    std::ofstream sql(path);
    sql << "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=OFF;\n"
           "CREATE TABLE infos(categ TEXT, titre TEXT, auteur TEXT, infos TEXT);\n"
           "CREATE INDEX infos_titre ON infos(titre DESC);\n";
    if (oneTransaction)
        sql << "BEGIN;\n";
    for (const std::string &t : titles)
        sql << "INSERT INTO infos(titre) VALUES('" << t << "');\n";
    if (oneTransaction)
        sql << "COMMIT;\n";
}

struct Figures
{
    std::vector<double> walk, dbfread, cat, accented, accentedDbfread, insert, sqlInsert, batch, sqlBatch, ordered, sqlOrdered;
};

void runOnce(const std::string &dir, const std::vector<std::string> &titles, bool sqlite,
             bool dbfread, Figures &f, const std::string &phase = {})
{
    createTable(dir, false);
    {
        TDbf ds("Dbfinfos");
        openTable(ds, dir, false);
        ds.beginBatch();
        insertTitles(ds, titles, true);
        ds.endBatch();
        ds.close();
        if (phase == "build")
            return;
        f.walk.push_back(seconds([&] {
            TDbf reader("Dbfinfos");
            openTable(reader, dir, false);
            walk(reader, true);
        }));
    }
    if (phase == "walk")
        return;
    f.cat.push_back(seconds([&] { std::system(("cat '" + dir + "infos.dbf' '" + dir + "infos.dbt' > /dev/null").c_str()); }));
    if (dbfread)
        f.dbfread.push_back(seconds([&] {
            std::system((std::string(kPython) + " -c 'import sys, dbfread\nfor r in dbfread.DBF(sys.argv[1]): pass' '" +
                         dir + "infos.dbf'").c_str());
        }));
    const bool accentedRun = phase.empty() || phase.rfind("accented", 0) == 0;
    if (accentedRun) {
        createTable(dir, false);
        TDbf ds("Dbfinfos");
        openTable(ds, dir, false);
        insertFrench(ds, titles.size());
        ds.close();
        if (phase == "accented-build")
            return;
        f.accented.push_back(seconds([&] {
            TDbf reader("Dbfinfos");
            openTable(reader, dir, false);
            walk(reader, true);
        }));
        if (phase == "accented")
            return;
    }
    if (dbfread && accentedRun)
        f.accentedDbfread.push_back(seconds([&] {
            std::system((std::string(kPython) + " -c 'import sys, dbfread\nfor r in dbfread.DBF(sys.argv[1]): pass' '" +
                         dir + "infos.dbf'").c_str());
        }));

    for (const bool batch : {false, true}) {
        if ((phase == "batch" || phase == "ordered") && !batch)
            continue;
        createTable(dir, true);
        TDbf ds("Dbfinfos");
        openTable(ds, dir, true);
        (batch ? f.batch : f.insert).push_back(seconds([&] {
            if (batch)
                ds.beginBatch();
            insertTitles(ds, titles, false);
            if (batch)
                ds.endBatch();
        }));
        if (batch && phase != "batch")
            f.ordered.push_back(seconds([&] { walk(ds, false); }));
        if (phase == "insert")
            return;
    }
    if (!sqlite || !phase.empty())
        return;
    for (const bool batch : {false, true}) {
        const std::string script = dir + "insert.sql", db = dir + "infos.db";
        std::system(("rm -f '" + db + "'*").c_str());
        writeSqlScript(script, titles, batch);
        (batch ? f.sqlBatch : f.sqlInsert).push_back(seconds([&] {
            std::system(("sqlite3 '" + db + "' < '" + script + "' > /dev/null").c_str());
        }));
    }
    f.sqlOrdered.push_back(seconds([&] {
        std::system(("sqlite3 '" + dir + "infos.db' 'SELECT titre FROM infos INDEXED BY infos_titre "
                     "ORDER BY titre DESC' > /dev/null").c_str());
    }));
}

void row(const char *what, const std::vector<double> &ours, const char *refName,
         const std::vector<double> &ref)
{
    if (ref.empty()) {
        std::printf("| %-34s | %8.3f s | %-22s | %8s | %7s |\n", what, median(ours), refName, "n/a", "");
        return;
    }
    std::printf("| %-34s | %8.3f s | %-22s | %8.3f s | %6.2fx |\n", what, median(ours), refName,
                median(ref), median(ours) / median(ref));
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    char pattern[] = "/tmp/velmora-engine-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string dir = std::string(pattern) + "/";
    const std::vector<std::string> titles = randomTitles(records);
    const bool sqlite = haveCommand("sqlite3 -version");
    const bool dbfread = haveCommand(std::string(kPython) + " -c 'import dbfread'");
    Figures f;
    if (argc > 3) {
        runOnce(dir, titles, false, false, f, argv[3]);
        std::system(("rm -rf '" + dir + "'").c_str());
        return 0;
    }
    try {
        for (int run = 0; run < runs; ++run)
            runOnce(dir, titles, sqlite, dbfread, f);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::system(("rm -rf '" + dir + "'").c_str());
        return 1;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
    std::printf("%zu records, median of %d runs\n", records, runs);
    std::printf("| %-34s | %10s | %-22s | %10s | %7s |\n", "", "Velmora", "reference", "", "ratio");
    row("walk, every field and memo", f.walk, "python3-dbfread", f.dbfread);
    row("walk, every field and memo", f.walk, "cat of both files", f.cat);
    row("walk, accented text", f.accented, "python3-dbfread", f.accentedDbfread);
    row("insert, tag live, one post each", f.insert, "sqlite3, txn per insert", f.sqlInsert);
    row("the same inserts as one batch", f.batch, "sqlite3, one txn", f.sqlBatch);
    row("walk in index order", f.ordered, "sqlite3 ordered walk", f.sqlOrdered);
    // Per record, to compare runs of different sizes: a linear walk keeps this figure.
    std::printf("walk in index order: %.2f us per record\n", median(f.ordered) * 1e6 / double(records));
    return 0;
}
