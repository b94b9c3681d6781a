// Table engine benchmark: a table of the infos schema with a 2 KB memo on every record.
//     velmora_dbf_bench [records]      (default 100000)
// Prints the time to open it, walk it reading every field and memo, count its visible records,
// locate the last title and append 10,000 records, next to a plain sequential read of the same
// files as the reference.
#include "dbf.h"
#include "dbffile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double millis(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

std::string title(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "Fiche %06d", i);
    return buf;
}

std::string memoText(int i)
{
    std::string text = "{\\rtf1\\ansi\\deff0 {\\fonttbl{\\f0 Arial;}}\\f0\\fs20 " + title(i) + " ";
    while (text.size() < 2046)
        text += "lorem ipsum ";
    text.resize(2046);
    return text + "}";
}

void appendRecords(TDbf &ds, int from, int count)
{
    for (int i = from; i < from + count; ++i) {
        ds.insert();
        ds.fieldByName("CATEG").setAsString(i % 7 == 0 ? "Maison" : "Travail");
        ds.fieldByName("TITRE").setAsString(title(i));
        ds.fieldByName("INFOS").setMemoBytes(memoText(i));
        ds.post();
    }
}

std::size_t readWhole(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return 0;
    std::vector<unsigned char> buf(1 << 16);
    std::size_t sum = 0;
    ssize_t n;
    while ((n = ::read(fd, buf.data(), buf.size())) > 0)
        for (ssize_t k = 0; k < n; ++k)
            sum += buf[static_cast<std::size_t>(k)];
    ::close(fd);
    return sum;
}

} // namespace

int main(int argc, char **argv)
{
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    char pattern[] = "/tmp/velmora-bench-XXXXXX";
    const std::string dir = std::string(::mkdtemp(pattern)) + "/";
    createDbfTable(dir + "infos.dbf", 0x8B, 0x57,
                   {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
    TDbf ds("Dbfinfos");
    ds.setFilePath(dir);
    ds.setTableName("infos.dbf");
    ds.open();
    const double build = millis([&] { appendRecords(ds, 1, records); });
    ds.close();

    const double open = millis([&] { ds.open(); });
    std::size_t bytes = 0;
    const double walk = millis([&] {
        for (ds.first(); !ds.eof(); ds.next())
            for (int f = 0; f < ds.fieldCount(); ++f)
                bytes += ds.field(f).asString().size();
    });
    int visible = 0;
    const double count = millis([&] { visible = ds.visibleRecordCount(); });
    bool found = false;
    ds.first();
    const double locate = millis([&] { found = ds.locate("titre", title(records)); });
    const double append = millis([&] { appendRecords(ds, records + 1, 10000); });
    ds.close();
    std::size_t sum = 0;
    const double plain = millis([&] {
        sum = readWhole(dir + "infos.dbf") + readWhole(dir + "infos.dbt");
    });

    std::printf("records                      %d (memo of 2048 bytes each)\n", records);
    std::printf("build by appending           %10.1f ms\n", build);
    std::printf("open                         %10.3f ms\n", open);
    std::printf("walk, every field and memo   %10.1f ms (%zu bytes of text)\n", walk, bytes);
    std::printf("visible record count         %10.1f ms (%d)\n", count, visible);
    std::printf("locate the last title        %10.1f ms (%s)\n", locate, found ? "found" : "MISSING");
    std::printf("append 10,000 records        %10.1f ms\n", append);
    std::printf("plain sequential read        %10.1f ms (reference, checksum %zu)\n", plain, sum);
    std::system(("rm -rf '" + dir + "'").c_str());
    return found && visible == records ? 0 : 1;
}
