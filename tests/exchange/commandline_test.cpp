// The program's data modes as a script runs them: a copy of the program with its templates in a
// temporary folder, no display, one summary line and the exit code.
#include "exchangetestutil.h"

using namespace exchangetest;

namespace {

struct Step
{
    QStringList args;
    int exitCode;
    QString output; // the start of standard output, or of standard error when the step fails
};

TEST(CommandLine, ImportsExportsAndRefusesWithoutADisplay)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "built without the program";
#else
    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_PROGRAM), root + QStringLiteral("velmora")));
    QFile::setPermissions(root + QStringLiteral("velmora"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(root).mkpath(QStringLiteral("templates"));
    QDir(root).mkpath(QStringLiteral("data"));
    const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
    for (const QString &name : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(name), root + QStringLiteral("templates/") + name);
    auto write = [&root](const char *name, const QByteArray &bytes) {
        QFile f(root + QLatin1String(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dupont;Jean;;;\r\nTEL:01 02\r\nEND:VCARD\r\n");
    write("bad.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dupont;Jean;;;\r\n");

    const Step steps[] = {
        {{"--import", "cards", "a.vcf"}, 0, "1 fiche enregistrée, 0 déjà présente ignorée."},
        {{"--import", "cards", "a.vcf"}, 0, "0 fiche enregistrée, 1 déjà présente ignorée."},
        {{"--import", "cards", "bad.vcf"}, 1, "velmora: bad.vcf, Ligne 1 : "},
        {{"--export", "cards", "out.csv"}, 0, "1 fiche exportée dans out.csv"},
        {{"--export", "notes", "notes.pdf"}, 0, "0 note exportée dans notes.pdf"},
        {{"--export", "sheets", "sheets.doc"}, 1, "velmora: sheets.doc : les notes s'enregistrent"},
        {{"--export", "cards", "missing/out.vcf"}, 1, "velmora: Impossible d'écrire"},
        {{"--import", "notes", "a.vcf"}, 1, "usage: velmora"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(display));
    for (const Step &step : steps) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root);
        p.start(root + QStringLiteral("velmora"), step.args);
        ASSERT_TRUE(p.waitForFinished(60000)) << step.args.join(' ').toStdString();
        const QString out = QString::fromUtf8(step.exitCode == 0 ? p.readAllStandardOutput() : p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), step.exitCode) << step.args.join(' ').toStdString() << "\n" << out.toStdString();
        EXPECT_TRUE(out.contains(step.output)) << step.args.join(' ').toStdString() << "\n" << out.toStdString();
    }
    QFile csv(root + QStringLiteral("out.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("Jean,Dupont,,,,,01 02,"));
#endif
}

} // namespace
