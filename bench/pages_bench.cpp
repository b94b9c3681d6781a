// Page selection benchmark: the main window on an information table of 10,000 sheets (walked
// through its descending title tag) and an address book of 10,000 cards.
//     velmora_pages_bench [records] [runs]      (default 10000 and 9)
// Prints the median time of selecting the information page and the address book page from the
// hub, each selection rebuilding its lists.
#include "addresspage.h"
#include "dbf.h"
#include "dbffile.h"
#include "indexcursor.h"
#include "infospage.h"
#include "mainwindow.h"
#include "notebooktables.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// Processor time (user and system) of this process: on a busy machine the wall clock mostly
// measures the other processes.
double cpuMillis()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

struct Timing
{
    double wall;
    double cpu;
};

Timing measure(const std::function<void()> &work)
{
    const double cpuStart = cpuMillis();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
            cpuMillis() - cpuStart};
}


double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *what, int entries, const std::vector<Timing> &runs)
{
    std::vector<double> wall, cpu;
    for (const Timing &t : runs) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    std::printf("%s (rebuild of %d entries): median %.1f ms wall, %.1f ms processor (wall min %.1f)\n",
                what, entries, median(wall), median(cpu), *std::min_element(wall.begin(), wall.end()));
}

void fill(const std::string &folder, const char *file, int records,
          const std::function<void(TDbf &, int)> &record)
{
    TDbf table("bench");
    table.setFilePath(folder);
    table.setTableName(file);
    table.open();
    for (int i = 0; i < records; ++i) {
        table.insert();
        record(table, i);
        table.post();
    }
    table.close();
}

std::string numbered(const char *prefix, int i)
{
    char text[48];
    std::snprintf(text, sizeof text, "%s %05d", prefix, (i * 7919) % 100000);
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 9;

    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("data"));
    const std::string data = dir.path().toStdString() + "/data/";
    createDbfTable(data + "memo.dbf", 0x8B, 0x57, {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}}, 512);
    createDbfTable(data + "infos.dbf", 0x8B, 0x57,
                   {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}}, 512);
    createDbfTable(data + "adbook.dbf", 0x8B, 0x57,
                   {{"PRENOM", 'C', 35}, {"NOM", 'C', 35}, {"ADRESSE", 'C', 120}, {"VILLE", 'C', 40},
                    {"CP", 'C', 8}, {"PAYS", 'C', 40}, {"TEL", 'C', 20}, {"FAX", 'C', 20},
                    {"NOTES", 'M', 10}, {"EMAIL", 'C', 120}, {"WEB", 'C', 120}, {"MOBILE", 'C', 20}},
                   512);
    fill(data, "infos.dbf", records, [](TDbf &t, int i) {
        t.field(0).setAsString(numbered("Catégorie", i % 40));
        t.field(1).setAsString(numbered("Fiche", i));
    });
    createProductionIndex(data + "infos.dbf", "", "TITRE", 4 /* descending */);
    fill(data, "adbook.dbf", records, [](TDbf &t, int i) {
        t.field(0).setAsString(numbered("Prénom", i));
        t.field(1).setAsString(numbered("Nom", i));
        t.fieldByName("VILLE").setAsString("Lyon");
    });

    Form1 window(dir.path() + QLatin1Char('/'));
    window.tables().openAll();
    std::vector<Timing> infos, addresses;
    for (int run = 0; run < runs; ++run) {
        window.selectPage(Form1::PageMemo);
        infos.push_back(measure([&] { window.selectPage(Form1::PageInfos); }));
        addresses.push_back(measure([&] { window.selectPage(Form1::PageAdresses); }));
    }
    // The reference: the table engine's own walk reading the two listed fields, nothing shown.
    auto walk = [&](const char *file) {
        TDbf table("reference");
        table.setFilePath(data);
        table.setTableName(file);
        if (std::string(file) == "infos.dbf")
            table.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
        table.open();
        std::vector<double> times, cpu;
        for (int run = 0; run < 5; ++run) {
            const Timing t = measure([&] {
                std::size_t bytes = 0;
                for (table.first(); !table.eof(); table.next())
                    bytes += table.field(0).asString().size() + table.field(1).asString().size();
                if (bytes == 0)
                    std::puts("nothing read");
            });
            times.push_back(t.wall);
            cpu.push_back(t.cpu);
        }
        return Timing{median(times), median(cpu)};
    };
    const Timing infosWalk = walk("infos.dbf");
    const Timing addressWalk = walk("adbook.dbf");
    std::printf("records %d, runs %d\n", records, runs);
    std::printf("engine walk alone: information %.1f ms wall, %.1f ms processor; address book %.1f ms wall, %.1f ms processor\n",
                infosWalk.wall, infosWalk.cpu, addressWalk.wall, addressWalk.cpu);
    report("select information page", window.infosPage()->ComboBox2()->count(), infos);
    report("select address book page", window.addressPage()->ComboBox3()->count(), addresses);
    return 0;
}
