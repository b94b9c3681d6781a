// Pictures and tables of memos written by other programs survive a read and a write, and what
// the writer makes is read as the same table by other word processors.
#include "rtfpicture.h"
#include "rtfreader.h"
#include "rtftestutil.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

QByteArray encoded(const char *format)
{
    QImage image(7, 5, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 30, y * 50, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Upper-case digits in lines of 77, as no writer of ours would lay them out.
QByteArray oddHex(const QByteArray &bytes)
{
    QByteArray hex = bytes.toHex().toUpper();
    for (qsizetype at = 77; at < hex.size(); at += 79)
        hex.insert(at, "\r\n");
    return hex;
}

std::vector<QTextImageFormat> images(const QTextDocument &doc)
{
    std::vector<QTextImageFormat> found;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                found.push_back(it.fragment().charFormat().toImageFormat());
    return found;
}

// The bytes of every \pict group of an RTF text, from its hexadecimal digits.
std::vector<QByteArray> pictureBytes(const QByteArray &rtf)
{
    std::vector<QByteArray> found;
    static const QRegularExpression pict(QStringLiteral("\\{\\\\pict(?:\\\\[a-z]+-?\\d*)*\\s*([0-9a-fA-F\\s]*)\\}"));
    auto matches = pict.globalMatch(QString::fromLatin1(rtf));
    while (matches.hasNext()) {
        QByteArray hex = matches.next().captured(1).toLatin1();
        hex.replace("\r", "").replace("\n", "").replace(" ", "");
        found.push_back(QByteArray::fromHex(hex));
    }
    return found;
}

std::vector<QTextTable *> tables(QTextDocument &doc)
{
    std::vector<QTextTable *> found;
    for (QTextFrame *frame : doc.rootFrame()->childFrames())
        if (auto *table = qobject_cast<QTextTable *>(frame))
            found.push_back(table);
    return found;
}

QString cellText(QTextTable *table, int row, int column)
{
    const QTextTableCell cell = table->cellAt(row, column);
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText();
}

const QByteArray TwoByTwo = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
                            "{\\colortbl;\\red255\\green255\\blue0;}\\fs20 Avant\\par\r\n"
                            "\\trowd\\trgaph108\\trleft0\\clbrdrt\\brdrs\\brdrw10\\clcbpat1\\cellx2000\\cellx5000\r\n"
                            "\\pard\\intbl {\\b Nom}\\cell \\pard\\intbl Ville\\par second\\cell\\row\r\n"
                            "\\trowd\\trgaph108\\trleft0\\cellx2000\\cellx5000\r\n"
                            "\\pard\\intbl {\\i Dupont}\\cell \\pard\\intbl Lyon\\cell\\row\r\n"
                            "\\pard Apr\\'e8s\\par}";

} // namespace

TEST(RtfPictures, PngAndJpegAreShownAtTheirGoalSizeAndWrittenBackWithTheSameBytes)
{
    struct Case
    {
        const char *format;
        const char *blip;
        bool binary;
    };
    for (const Case &c : {Case{"PNG", "pngblip", false}, Case{"JPEG", "jpegblip", false}, Case{"PNG", "pngblip", true}}) {
        SCOPED_TRACE(c.blip);
        const QByteArray bytes = encoded(c.format);
        const QByteArray data = c.binary ? "\\bin" + QByteArray::number(bytes.size()) + " " + bytes : oddHex(bytes);
        const QByteArray rtf = "{\\rtf1\\ansi a{\\*\\shppict{\\pict{\\*\\picprop\\shplid1025}\\" + QByteArray(c.blip) +
                               "\\picw7\\pich5\\picwgoal1500\\pichgoal750\\picscalex50\\picscaley200 " + data +
                               "}}{\\nonshppict{\\pict\\wmetafile8 0102}}b\\par}";
        QTextDocument doc;
        ASSERT_TRUE(RtfReader::read(rtf, &doc));
        EXPECT_EQ(doc.toPlainText(), QStringLiteral("a") + QChar(QChar::ObjectReplacementCharacter) + QStringLiteral("b"));
        const std::vector<QTextImageFormat> shown = images(doc);
        ASSERT_EQ(shown.size(), 1u) << "the fallback picture is dropped";
        EXPECT_EQ(shown[0].width(), 50.0) << "1500 twips at 50 %";
        EXPECT_EQ(shown[0].height(), 100.0);
        EXPECT_FALSE(doc.resource(QTextDocument::ImageResource, QUrl(shown[0].name())).value<QImage>().isNull());

        const QByteArray written = RtfWriter::write(&doc);
        EXPECT_TRUE(isSevenBit(written));
        EXPECT_TRUE(written.contains(QByteArray("\\") + c.blip)) << written.constData();
        EXPECT_TRUE(written.contains("\\picwgoal1500\\pichgoal750\\picscalex50\\picscaley200"));
        const std::vector<QByteArray> kept = pictureBytes(written);
        ASSERT_EQ(kept.size(), 1u) << written.constData();
        EXPECT_EQ(kept[0], bytes);
        for (const QByteArray &line : written.split('\n'))
            EXPECT_LE(line.trimmed().size(), 128 + 2);
    }
}

TEST(RtfPictures, KindsQtCannotShowAreKeptWholeAsPlaceholders)
{
    const QByteArray wmf = "{\\pict\\wmetafile8\\picw2540\\pich1270\\picwgoal1440\\pichgoal720\r\n"
                           "010009000003c20000000400{\\*\\blipuid 0a0b}\r\n0000000000050000000b0200000000}";
    const QByteArray badPng = "{\\pict\\pngblip\\picwgoal300\\pichgoal300 89504e470d0a1a0a0000}";
    const QByteArray rtf = "{\\rtf1\\ansi x" + wmf + "y" + badPng + "z}";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(rtf, &doc));
    const std::vector<QTextImageFormat> shown = images(doc);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].width(), 96.0);
    EXPECT_EQ(shown[0].height(), 48.0);
    const QByteArray written = RtfWriter::write(&doc);
    EXPECT_TRUE(written.contains("x" + wmf + "y" + badPng + "z")) << written.constData();
}

TEST(RtfPictures, EmbeddedObjectIsKeptWholeAndShownByItsResultPicture)
{
    const QByteArray png = encoded("PNG");
    const QByteArray object = "{\\object\\objemb\\objw1200\\objh900{\\*\\objclass Paint.Picture}{\\*\\objdata "
                              "01050000020000000b000000}{\\result{\\pict\\pngblip\\picwgoal600\\pichgoal300 " +
                              png.toHex() + "}}}";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read("{\\rtf1 a" + object + "b}", &doc));
    const std::vector<QTextImageFormat> shown = images(doc);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].width(), 40.0) << "the size of the result picture";
    EXPECT_EQ(doc.resource(QTextDocument::ImageResource, QUrl(shown[0].name())).value<QImage>().size(), QSize(7, 5));
    EXPECT_TRUE(RtfWriter::write(&doc).contains("a" + object + "b"));
}

TEST(RtfPictures, BinaryDataOfAnOpaquePictureIsWrittenAsHexadecimal)
{
    const QByteArray raw("\x01\x80\xff}{\\", 6);
    const QByteArray rtf = "{\\rtf1 {\\pict\\emfblip\\picwgoal600\\pichgoal600\\bin6 " + raw + "}after}";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(rtf, &doc));
    EXPECT_EQ(doc.toPlainText(), QString(QChar(QChar::ObjectReplacementCharacter)) + QStringLiteral("after"));
    const QByteArray written = RtfWriter::write(&doc);
    EXPECT_TRUE(isSevenBit(written));
    EXPECT_TRUE(written.contains("{\\pict\\emfblip\\picwgoal600\\pichgoal600\r\n0180ff7d7b5c}")) << written.constData();
    QTextDocument again;
    RtfReader::read(written, &again);
    EXPECT_EQ(RtfWriter::write(&again), written);
}

TEST(RtfTables, RowsAndCellsBecomeATableWithTheirWidthsTextAndFormats)
{
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(TwoByTwo, &doc));
    const std::vector<QTextTable *> found = tables(doc);
    ASSERT_EQ(found.size(), 1u);
    QTextTable *table = found[0];
    ASSERT_EQ(table->rows(), 2);
    ASSERT_EQ(table->columns(), 2);
    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 2);
    EXPECT_EQ(qRound(widths[0].rawValue() * 15), 2000);
    EXPECT_EQ(qRound(widths[1].rawValue() * 15), 3000);
    EXPECT_EQ(cellText(table, 0, 0), QStringLiteral("Nom"));
    EXPECT_EQ(cellText(table, 0, 1), QStringLiteral("Ville") + QChar(QChar::ParagraphSeparator) + QStringLiteral("second"));
    EXPECT_EQ(cellText(table, 1, 1), QStringLiteral("Lyon"));
    EXPECT_EQ(table->cellAt(0, 0).firstCursorPosition().block().begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_TRUE(table->cellAt(1, 0).firstCursorPosition().block().begin().fragment().charFormat().fontItalic());
    EXPECT_EQ(table->cellAt(0, 0).format().background().color(), QColor(Qt::yellow));
    EXPECT_GT(table->cellAt(0, 0).format().toTableCellFormat().topBorder(), 0);
    EXPECT_TRUE(doc.toPlainText().startsWith(QStringLiteral("Avant\nNom\n")));
    EXPECT_TRUE(doc.toPlainText().endsWith(QStringLiteral("Après")));

    // Written and read again: the same document, and it settles.
    const QByteArray written = RtfWriter::write(&doc);
    QTextDocument again;
    ASSERT_TRUE(RtfReader::read(written, &again));
    EXPECT_EQ(describeDocument(again).toStdString(), describeDocument(doc).toStdString());
    EXPECT_EQ(again.toPlainText(), doc.toPlainText());
    ASSERT_EQ(tables(again).size(), 1u);
    EXPECT_EQ(cellText(tables(again)[0], 1, 0), QStringLiteral("Dupont"));
    EXPECT_EQ(RtfWriter::write(&again), written);
}

TEST(RtfTables, MergedAndIrregularCellsKeepTheirTextInOrder)
{
    const QByteArray rtf = "{\\rtf1 \\trowd\\cellx1000\\cellx2000\\cellx3000 \\intbl a\\cell b\\cell c\\cell\\row"
                           "\\trowd\\cellx2000\\clvmgf\\cellx3000 \\intbl wide\\cell down\\cell\\row"
                           "\\trowd\\cellx2000\\clvmrg\\cellx3000 \\intbl d\\cell \\cell\\row"
                           "\\trowd\\cellx2000\\cellx3000 \\pard\\intbl e\\cell f\\nestcell g\\cell\\row\\pard end}";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(rtf, &doc));
    ASSERT_EQ(tables(doc).size(), 1u);
    QTextTable *table = tables(doc)[0];
    EXPECT_EQ(table->columns(), 3);
    EXPECT_EQ(table->cellAt(1, 0).columnSpan(), 2);
    EXPECT_EQ(table->cellAt(1, 2).rowSpan(), 2);
    QString text = doc.toPlainText();
    text.remove(QChar(QChar::ParagraphSeparator)).remove(QChar(QChar::Nbsp)).remove(QLatin1Char('\n'));
    EXPECT_EQ(text, QStringLiteral("abcwidedowndefgend"));

    const QByteArray written = RtfWriter::write(&doc);
    QTextDocument again;
    RtfReader::read(written, &again);
    EXPECT_EQ(describeDocument(again).toStdString(), describeDocument(doc).toStdString());
    EXPECT_EQ(tables(again)[0]->cellAt(2, 2).row(), 1) << "the span down is kept";
}

TEST(RtfReaderKeeps, TextOfHeadersFootnotesAndTextBoxes)
{
    const QByteArray rtf = "{\\rtf1 {\\header En-t\\'eate\\par}Corps{\\footnote \\chftn Note de bas}."
                           "{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 202}}{\\shptxt Dans la bo\\u238?te}}"
                           "{\\shprslt{\\*\\do Dans la boite}}}\\par}";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(rtf, &doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("Corps.\nEn-tête\nNote de bas\nDans la boîte"));
}

// The writer's table read by other word processors: the same cell texts in the same order.
class RtfTablesElsewhere : public testing::TestWithParam<const char *>
{
};

TEST_P(RtfTablesElsewhere, ReadTheWrittenTableWithItsCellsInOrder)
{
    const QString tool = QString::fromLatin1(GetParam());
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        GTEST_SKIP() << tool.toStdString() << " is not installed (scripts/setup --tests installs it)";
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(TwoByTwo, &doc));
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("note.rtf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(RtfWriter::write(&doc));
    file.close();

    QProcess process;
    QStringList arguments;
    if (tool == QLatin1String("pandoc"))
        arguments << QStringLiteral("-f") << QStringLiteral("rtf") << QStringLiteral("-t") << QStringLiteral("html")
                  << file.fileName();
    else
        arguments << QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile"))
                  << QStringLiteral("--headless") << QStringLiteral("--cat") << file.fileName();
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(120000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (tool == QLatin1String("pandoc")) {
        EXPECT_TRUE(out.contains(QStringLiteral("<table"))) << out.toStdString();
    }
    qsizetype at = 0;
    for (const char *cell : {"Avant", "Nom", "Ville", "second", "Dupont", "Lyon", "Après"}) {
        const qsizetype found = out.indexOf(QString::fromUtf8(cell), at);
        EXPECT_GE(found, at) << cell << " in: " << out.toStdString();
        at = std::max(at, found);
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, RtfTablesElsewhere, testing::Values("pandoc", "soffice"));
