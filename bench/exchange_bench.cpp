// Importing 10,000 vCards into an empty address book (read and checked whole, stored in one
// batch) and exporting them again, against python3-vobject parsing the same file alone (its own
// parse time, measured inside Python, without the interpreter's start).
//
//     velmora_exchange_bench <templates folder>
#include "cardbook.h"
#include "vcard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kCards = 10000;

QByteArray sampleFile()
{
    QByteArray out;
    for (int i = 0; i < kCards; ++i) {
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        out += "N:Lef\xC3\xA8vre" + QByteArray::number(i) + ";Fran\xC3\xA7oise;;;\r\n";
        out += "FN:Fran\xC3\xA7oise Lef\xC3\xA8vre" + QByteArray::number(i) + "\r\n";
        out += "ADR;TYPE=home:;;" + QByteArray::number(i % 300) + " rue de la R\xC3\xA9publique;Nantes;;44000;France\r\n";
        out += "TEL;TYPE=home,voice:02 40 " + QByteArray::number(100000 + i) + "\r\n";
        out += "TEL;TYPE=cell:06 12 " + QByteArray::number(100000 + i) + "\r\n";
        out += "EMAIL;TYPE=internet:francoise" + QByteArray::number(i) + "@example.fr\r\n";
        out += "URL:https://example.fr/~f" + QByteArray::number(i) + "\r\n";
        out += "NOTE:Rencontr\xC3\xA9" "e au club\\, le mardi\\nAime le th\xC3\xA9\r\n";
        out += "END:VCARD\r\n";
    }
    return out;
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <templates folder>\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    const QString data = dir.path() + QLatin1Char('/');
    for (const char *name : {"adbook.dbf", "adbook.dbt"})
        QFile::copy(QString::fromLocal8Bit(argv[1]) + QLatin1Char('/') + QLatin1String(name), data + QLatin1String(name));
    const QString file = data + QStringLiteral("cards.vcf");
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(sampleFile());
    }

    auto start = std::chrono::steady_clock::now();
    exchange::CardBook book(data);
    const exchange::ImportReport report = exchange::importCardFile(book, file, exchange::defaultCardLabels());
    const double imported = secondsSince(start);

    start = std::chrono::steady_clock::now();
    const int exported = exchange::exportCardFile(book, data + QStringLiteral("out.vcf"), exchange::defaultCardLabels());
    const double exportedIn = secondsSince(start);

    start = std::chrono::steady_clock::now();
    QFile in(file);
    in.open(QIODevice::ReadOnly);
    const exchange::ReadCards parsed = exchange::readVCards(in.readAll());
    const double parseOnly = secondsSince(start);

    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, time, vobject\n"
                                 "text = open(sys.argv[1], encoding='utf-8').read()\n"
                                 "t = time.perf_counter(); n = len(list(vobject.readComponents(text)))\n"
                                 "print(n, time.perf_counter() - t)\n"),
                  file});
    python.waitForFinished(-1);
    const QList<QByteArray> answer = python.readAllStandardOutput().trimmed().split(' ');
    const double vobjectSeconds = answer.value(1).toDouble();

    std::printf("cards: %d stored, %d in the file, %d exported\n", report.stored, int(parsed.cards.size()), exported);
    std::printf("ours, parse and store (one batch): %.3f s\n", imported);
    std::printf("ours, parse alone:                 %.3f s\n", parseOnly);
    std::printf("ours, export:                      %.3f s\n", exportedIn);
    std::printf("python3-vobject, parse alone:      %.3f s (%s cards)\n", vobjectSeconds, answer.value(0).constData());
    std::printf("ratio ours (parse and store) / vobject: %.2f\n", vobjectSeconds > 0 ? imported / vobjectSeconds : 0.0);
    return 0;
}
