// A table and its memo file on any bytes (joined as fuzzsupport.h's parts say): opened, walked,
// and changed the way the pages change it: a record inserted with its memo, one edited, one
// deleted. Errors are fine; a crash, a hang or a file grown without bound is not.
#include "dbf.h"
#include "fuzzsupport.h"

#include <cstdint>
#include <sys/stat.h>

namespace {

constexpr int kMostRecordsWalked = 2000;
// A change must never make the files much larger than what it wrote.
constexpr std::uint64_t kMostGrowth = 1 << 20;

std::uint64_t sizeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? std::uint64_t(st.st_size) : 0;
}

void fill(TDbf &ds, const std::string &text)
{
    for (int i = 0; i < ds.fieldCount(); ++i) {
        TDbfField &f = ds.field(i);
        if (f.isBlob())
            f.setMemoBytes("{\\rtf1 " + text + "}");
        else if (f.canEncode(text))
            f.setAsString(text);
    }
}

void walk(TDbf &ds)
{
    int seen = 0;
    for (ds.first(); !ds.eof() && seen < kMostRecordsWalked; ds.next(), ++seen) {
        for (int i = 0; i < ds.fieldCount(); ++i) {
            TDbfField &f = ds.field(i);
            bool whole = true;
            (void)(f.isBlob() ? f.memoBytes(&whole) : f.asString());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto files = fuzz::parts(data, size, 2);
    const std::string table = fuzz::scratch() + "t.dbf", memo = fuzz::scratch() + "t.dbt";
    fuzz::writeFile(table, files[0]);
    fuzz::writeFile(memo, files[1]);
    const std::uint64_t before = sizeOf(table) + sizeOf(memo);
    TDbf ds("Dbft");
    ds.setFilePath(fuzz::scratch());
    ds.setTableName("t.dbf");
    try {
        ds.open();
        if (!ds.active())
            return 0;
        walk(ds);
        ds.insert();
        fill(ds, "fuzz");
        ds.post();
        ds.first();
        if (!ds.eof()) {
            ds.edit();
            fill(ds, "edited");
            ds.post();
            ds.deleteRecord();
        }
        ds.setShowDeleted(true);
        walk(ds);
    } catch (const std::exception &) {
        // A clear error is what damaged files should give.
    }
    try {
        ds.close();
    } catch (const std::exception &) {
    }
    if (sizeOf(table) + sizeOf(memo) > before + kMostGrowth)
        std::abort(); // a damaged header made a small change write far into a file
    return 0;
}
