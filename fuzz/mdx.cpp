// The production index of the information sheets on any bytes, beside a sound infos.dbf that
// announces it: opened, walked in its order, a few keys inserted and one deleted.
#include "dbf.h"
#include "dbffile.h"
#include "fuzzsupport.h"

#include <cstdint>

namespace {

struct Table
{
    std::string dbf, dbt;
};

// A small infos.dbf with a few sheets and the index flag set, made once.
const Table &soundTable()
{
    static const Table table = [] {
        const std::string dir = fuzz::scratch() + "made/";
        std::filesystem::create_directories(dir);
        createDbfTable(dir + "infos.dbf", 0x83, 0, {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
        TDbf ds("Dbfinfos");
        ds.setFilePath(dir);
        ds.setTableName("infos.dbf");
        ds.open();
        for (const char *title : {"Gamma", "Alpha", "Beta", "Alpha"}) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString(title);
            ds.fieldByName("INFOS").setMemoBytes(std::string("{\\rtf1 ") + title + "}");
            ds.post();
        }
        ds.close();
        Table t{fuzz::readFile(dir + "infos.dbf"), fuzz::readFile(dir + "infos.dbt")};
        t.dbf[28] = 1;
        return t;
    }();
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Table &table = soundTable();
    fuzz::writeFile(fuzz::scratch() + "infos.dbf", table.dbf);
    fuzz::writeFile(fuzz::scratch() + "infos.dbt", table.dbt);
    fuzz::writeFile(fuzz::scratch() + "infos.mdx", std::string_view(reinterpret_cast<const char *>(data), size));
    TDbf ds("Dbfinfos");
    ds.setFilePath(fuzz::scratch());
    ds.setTableName("infos.dbf");
    ds.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    try {
        ds.open();
        int seen = 0;
        for (ds.first(); !ds.eof() && seen < 2000; ds.next(), ++seen)
            (void)ds.fieldByName("TITRE").asString();
        for (ds.last(); !ds.bof() && seen < 4000; ds.prior(), ++seen) {
        }
        for (const char *title : {"Delta", "Alpha", "Zeta"}) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString(title);
            ds.post();
        }
        ds.first();
        if (!ds.eof())
            ds.deleteRecord();
        ds.first();
        if (!ds.eof()) {
            ds.edit();
            ds.fieldByName("TITRE").setAsString("Omega");
            ds.post();
        }
    } catch (const std::exception &) {
    }
    try {
        ds.close();
    } catch (const std::exception &) {
    }
    return 0;
}
