#include "commandline.h"

#include "cardbook.h"
#include "compaction.h"
#include "datafolder.h"
#include "notedocument.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

constexpr const char *kUsage =
    "usage: velmora --export notes|sheets|cards FILE\n"
    "       velmora --import cards FILE\n"
    "       velmora --compact\n";

int fail(const QString &message)
{
    std::fprintf(stderr, "velmora: %s\n", message.toUtf8().constData());
    return 1;
}

QString runExport(const QString &data, const QString &kind, const QString &file)
{
    if (kind == QLatin1String("cards")) {
        exchange::CardBook book(data);
        const int n = exchange::exportCardFile(book, file, exchange::defaultCardLabels());
        return (n <= 1 ? QStringLiteral("%1 fiche exportée dans %2") : QStringLiteral("%1 fiches exportées dans %2"))
            .arg(n)
            .arg(file);
    }
    const auto table = kind == QLatin1String("notes") ? exchange::NoteTable::Notes : exchange::NoteTable::Sheets;
    const int n = exchange::exportNoteFile(data, table, file);
    const QString what = table == exchange::NoteTable::Notes ? QStringLiteral("note") : QStringLiteral("fiche");
    return QStringLiteral("%1 %2%3 exportée%3 dans %4")
        .arg(n)
        .arg(what, n <= 1 ? QString() : QStringLiteral("s"), file);
}

// Compacts the three tables: 0 when all went, 2 when one is open in another process (the others
// are compacted all the same), 1 on any other failure.
int runCompact(const QString &dataPath)
{
    int result = 0;
    for (const char *table : {"memo.dbf", "infos.dbf", "adbook.dbf"}) {
        const std::string path = (dataPath + QLatin1String(table)).toStdString();
        try {
            const TCompaction done = compactTable(path, (dataPath + QLatin1String("backup")).toStdString());
            std::printf("%s : %llu octets avant, %llu après (%u supprimés)\n", table,
                        static_cast<unsigned long long>(done.sizeBefore),
                        static_cast<unsigned long long>(done.sizeAfter), done.removed);
        } catch (const ETableInUse &) {
            std::fprintf(stderr, "velmora: Le carnet est ouvert dans un autre programme : %s\n", path.c_str());
            result = std::max(result, 2);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "velmora: %s\n", e.what());
            result = 1;
        }
        std::fflush(stdout);
    }
    return result;
}

} // namespace

std::optional<int> runDataCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--compact") != 0)
            continue;
        if (argc != 2) {
            std::fputs(kUsage, stderr);
            return 1;
        }
        QCoreApplication app(argc, argv);
        const QString appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        const DataFolder data = prepareDataFolder(appDir, dataHome());
        if (!data.error.isEmpty())
            return fail(data.error);
        return runCompact(data.path);
    }
    int at = -1;
    for (int i = 1; i < argc && at < 0; ++i)
        if (std::strcmp(argv[i], "--export") == 0 || std::strcmp(argv[i], "--import") == 0)
            at = i;
    if (at < 0)
        return std::nullopt;
    const bool exporting = std::strcmp(argv[at], "--export") == 0;
    const QString kind = at + 1 < argc ? QString::fromLocal8Bit(argv[at + 1]) : QString();
    const bool kindOk = exporting ? (kind == QLatin1String("notes") || kind == QLatin1String("sheets")
                                     || kind == QLatin1String("cards"))
                                  : kind == QLatin1String("cards");
    if (at + 3 != argc || !kindOk) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    const QString file = QString::fromLocal8Bit(argv[at + 2]);
    // Documents need fonts, not a screen; cards need neither.
    std::unique_ptr<QCoreApplication> app;
    if (exporting && kind != QLatin1String("cards")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const QString appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const DataFolder data = prepareDataFolder(appDir, dataHome());
    if (!data.error.isEmpty())
        return fail(data.error);
    if (!data.writable && !exporting)
        return fail(QStringLiteral("cannot write the data folder ") + data.path);
    try {
        QString summary;
        if (exporting) {
            summary = runExport(data.path, kind, file);
        } else {
            exchange::CardBook book(data.path);
            summary = exchange::importCardFile(book, file, exchange::defaultCardLabels()).summary();
        }
        std::printf("%s\n", summary.toUtf8().constData());
        return 0;
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()));
    }
}
