// Notes and sheets as documents, read back by other programs: LibreOffice for the ODT, poppler
// for the PDF's text and fonts, Python's HTML parser for the pictures.
#include "exchangetestutil.h"

#include "dbf.h"
#include "notedocument.h"

#include <QBuffer>
#include <QImage>

using namespace exchange;
using namespace exchangetest;

namespace {

QByteArray pictureRtf()
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "{\\pict\\pngblip\\picw4\\pich4\\picwgoal60\\pichgoal60 " + png.toHex() + "}";
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(120000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

class NoteExport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TDbf memo("Dbfmemo");
        memo.setFilePath(data.path().toStdString());
        memo.setTableName("memo.dbf");
        memo.open();
        const std::pair<const char *, QByteArray> notes[] = {
            {"Courses de Noël", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Acheter du \\b pain\\b0 .\\par "
                                + pictureRtf() + "\\par}"},
            {"Réunion", "{\\rtf1\\ansi Ordre du jour\\par\\trowd\\cellx2000\\cellx4000 "
                        "Budget\\cell Projets\\cell\\row Fin\\par}"}};
        for (const auto &[title, rtf] : notes) {
            memo.insert();
            memo.fieldByName("TITRE").setAsString(title);
            memo.fieldByName("MEMO").setMemoBytes(rtf.toStdString());
            memo.post();
        }
        memo.close();
    }
    DataFolder data;
    const QStringList texts = {"Courses de Noël", "Acheter du pain", "Réunion", "Ordre du jour",
                               "Budget", "Projets", "Fin"};
};

void expectInOrder(const QString &text, const QStringList &parts)
{
    qsizetype at = 0;
    for (const QString &part : parts) {
        const qsizetype found = text.indexOf(part, at);
        EXPECT_GE(found, 0) << part.toStdString() << " missing after position " << at << " in\n"
                            << text.toStdString();
        at = std::max(at, found);
    }
}

TEST_F(NoteExport, PdfHoldsEveryTitleAndParagraphWithItsFontsEmbedded)
{
    const QString file = data.file(QStringLiteral("notes.pdf"));
    EXPECT_EQ(exportNoteFile(data.path(), NoteTable::Notes, file), 2);
    expectInOrder(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")}), texts);
    const QStringList fonts = run(QStringLiteral("pdffonts"), {file}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GT(fonts.size(), 2) << "no fonts listed";
    for (const QString &line : fonts.mid(2)) // two header lines; "emb" is the fifth column from the right
        EXPECT_EQ(line.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(line.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() - 5),
                  QStringLiteral("yes")) << line.toStdString();
}

TEST_F(NoteExport, LibreOfficeReadsTheOdtWithEveryTitleParagraphAndCell)
{
    const QString file = data.file(QStringLiteral("notes.odt"));
    exportNoteFile(data.path(), NoteTable::Notes, file);
    run(QStringLiteral("soffice"), {QStringLiteral("-env:UserInstallation=file://") + data.path() + QStringLiteral("lo"),
                                    QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("txt:Text (encoded):UTF8"),
                                    QStringLiteral("--outdir"), data.path() + QStringLiteral("txt"), file});
    QFile text(data.path() + QStringLiteral("txt/notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly)) << "LibreOffice wrote no text";
    expectInOrder(QString::fromUtf8(text.readAll()), texts);
}

TEST_F(NoteExport, HtmlParsesAndEmbedsThePicture)
{
    const QString file = data.file(QStringLiteral("notes.html"));
    exportNoteFile(data.path(), NoteTable::Notes, file);
    const QJsonArray images = python(QStringLiteral(R"(
import sys, json, base64, html.parser
class P(html.parser.HTMLParser):
    srcs = []
    def handle_starttag(self, tag, attrs):
        if tag == 'img':
            self.srcs.append(dict(attrs)['src'])
p = P(); p.feed(open(sys.argv[1], encoding='utf-8').read()); p.close()
print(json.dumps([base64.b64decode(s.split(',', 1)[1])[:8].hex() if s.startswith('data:image/png;base64,') else s for s in p.srcs]))
)"), file);
    ASSERT_EQ(images.size(), 1);
    EXPECT_EQ(images[0].toString(), QStringLiteral("89504e470d0a1a0a")); // a PNG inside the page
}

TEST_F(NoteExport, TextOfOneRecordOrOfSheetsInTheirPageOrder)
{
    const QString one = data.file(QStringLiteral("one.txt"));
    EXPECT_EQ(exportNoteFile(data.path(), NoteTable::Notes, one, 2), 1);
    QFile f(one);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    expectInOrder(text, texts.mid(2));
    EXPECT_FALSE(text.contains(QStringLiteral("Noël")));

    TDbf infos("Dbfinfos");
    infos.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    infos.setFilePath(data.path().toStdString());
    infos.setTableName("infos.dbf");
    infos.open();
    for (const char *title : {"Assurance", "Banque", "Voiture"}) {
        infos.insert();
        infos.fieldByName("TITRE").setAsString(title);
        infos.fieldByName("CATEG").setAsString("Papiers");
        infos.post();
    }
    infos.close();
    const QString sheets = data.file(QStringLiteral("sheets.txt"));
    EXPECT_EQ(exportNoteFile(data.path(), NoteTable::Sheets, sheets), 3);
    QFile s(sheets);
    ASSERT_TRUE(s.open(QIODevice::ReadOnly));
    expectInOrder(QString::fromUtf8(s.readAll()), {"Voiture", "Papiers", "Banque", "Assurance"});
}

} // namespace
