// Writes the empty tables that ship with the program into a folder (the build's templates):
//     velmora_makedata <directory>
// A table that is already there is left alone, so the generator can never wipe notes.
#include "dbffile.h"
#include "indexcursor.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::uint8_t kDBaseIVWithMemo = 0x8B;
constexpr std::uint8_t kCodePage1252 = 0x57;
constexpr std::uint16_t kMemoBlockSize = 512;

struct Table
{
    const char *file;
    std::vector<TDbfCreateField> fields;
};

const std::vector<Table> &shippedTables()
{
    static const std::vector<Table> tables = {
        {"memo.dbf", {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}}},
        {"infos.dbf", {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}}},
        {"adbook.dbf",
         {{"PRENOM", 'C', 35},
          {"NOM", 'C', 35},
          {"ADRESSE", 'C', 120},
          {"VILLE", 'C', 40},
          {"CP", 'C', 8},
          {"PAYS", 'C', 40},
          {"TEL", 'C', 20},
          {"FAX", 'C', 20},
          {"NOTES", 'M', 10},
          {"EMAIL", 'C', 120},
          {"WEB", 'C', 120},
          {"MOBILE", 'C', 20}}},
    };
    return tables;
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <data directory>\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    if (dir.back() != '/')
        dir += '/';
    ::mkdir(dir.c_str(), 0755);
    try {
        for (const Table &t : shippedTables()) {
            const std::string path = dir + t.file;
            if (exists(path) || exists(memoPathOf(path)))
                continue;
            createDbfTable(path, kDBaseIVWithMemo, kCodePage1252, t.fields, kMemoBlockSize);
            // Information sheets are walked in descending title order through infos.mdx.
            if (std::string(t.file) == "infos.dbf")
                createProductionIndex(path, "", "TITRE", ixDescending);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
