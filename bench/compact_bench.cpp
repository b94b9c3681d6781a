// Compaction benchmark.
//     velmora_compact_bench [notes]      (default 100000)
// 1. One note of 2 KB edited 1,000 times: the memo file's size before and after compaction.
// 2. A table of `notes` notes with a 2 KB memo each, a third of them deleted: compaction (no
//    backup copy) against `cp` of the same three files, the I/O floor.
#include "compaction.h"
#include "dbf.h"
#include "dbffile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double millis(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

long long sizeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

std::string memoText(int i, int version)
{
    std::string text = "{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Note " + std::to_string(i) +
                       " v" + std::to_string(version) + " ";
    while (text.size() < 2047 - static_cast<std::size_t>(version % 300))
        text += "lorem ipsum ";
    text.resize(2047 - static_cast<std::size_t>(version % 300));
    return text + "}";
}

TDbf &openNotes(TDbf &ds, const std::string &dir)
{
    ds.setFilePath(dir);
    ds.setTableName("memo.dbf");
    ds.open();
    return ds;
}

} // namespace

int main(int argc, char **argv)
{
    const int notes = argc > 1 ? std::atoi(argv[1]) : 100000;
    char pattern[] = "/tmp/velmora-compact-bench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    const std::vector<TDbfCreateField> schema = {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}};

    createDbfTable(dir + "memo.dbf", 0x8B, 0x57, schema);
    {
        TDbf ds("Dbfmemo");
        openNotes(ds, dir);
        ds.insert();
        ds.fieldByName("TITRE").setAsString("Edited note");
        ds.fieldByName("MEMO").setMemoBytes(memoText(0, 0));
        ds.post();
        for (int v = 1; v <= 1000; ++v) {
            ds.edit();
            ds.fieldByName("MEMO").setMemoBytes(memoText(0, v));
            ds.post();
        }
    }
    const long long edited = sizeOf(dir + "memo.dbt");
    compactTable(dir + "memo.dbf");
    std::printf("2 KB note edited 1,000 times: memo.dbt %lld bytes before, %lld after compaction\n", edited,
                sizeOf(dir + "memo.dbt"));

    for (const char *ext : {".dbf", ".dbt"})
        ::unlink((dir + "memo" + ext).c_str());
    createDbfTable(dir + "memo.dbf", 0x8B, 0x57, schema);
    {
        TDbf ds("Dbfmemo");
        openNotes(ds, dir);
        ds.beginBatch();
        for (int i = 0; i < notes; ++i) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString("Note " + std::to_string(i));
            ds.fieldByName("MEMO").setMemoBytes(memoText(i, 0));
            ds.post();
        }
        ds.endBatch();
        for (int i = 0; i < notes; i += 3) {
            ds.setRecNo(i + 1);
            ds.deleteRecord();
        }
    }
    const long long before = sizeOf(dir + "memo.dbf") + sizeOf(dir + "memo.dbt");
    std::system(("sync; mkdir -p '" + dir + "cp'").c_str());
    const double copy = millis([&] {
        std::system(("cp '" + dir + "memo.dbf' '" + dir + "memo.dbt' '" + dir + "cp/' && sync").c_str());
    });
    TCompaction result;
    const double compact = millis([&] {
        result = compactTable(dir + "memo.dbf");
        std::system("sync");
    });
    std::printf("%d notes, a third deleted (%lld bytes): compaction %.0f ms (%u kept, %lld bytes), "
                "cp of the files %.0f ms\n",
                notes, before, compact, result.kept, static_cast<long long>(result.sizeAfter), copy);
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
