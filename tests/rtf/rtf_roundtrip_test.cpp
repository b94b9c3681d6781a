// Writing a document and reading it back gives the same document, for every format the editor
// can make; the bytes written are 7-bit RTF.
#include "rtfformat.h"
#include "rtfreader.h"
#include "rtftestutil.h"
#include "rtfwriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QFile>

#include <functional>

#include <gtest/gtest.h>

namespace {

QFont editorFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8);
    return font;
}

void insert(QTextCursor &cursor, const QString &text, const std::function<void(QTextCharFormat &)> &change)
{
    QTextCharFormat format;
    change(format);
    cursor.insertText(text, format);
}

// A document with every character and paragraph format the editor and its bar can produce.
void buildRichDocument(QTextDocument &doc)
{
    doc.setDefaultFont(editorFont());
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Normal "));
    insert(c, QStringLiteral("gras "), [](auto &f) { f.setFontWeight(QFont::Bold); });
    insert(c, QStringLiteral("italique "), [](auto &f) { f.setFontItalic(true); });
    insert(c, QStringLiteral("souligné "), [](auto &f) { f.setFontUnderline(true); });
    insert(c, QStringLiteral("barré "), [](auto &f) { f.setFontStrikeOut(true); });
    insert(c, QStringLiteral("tout "), [](auto &f) {
        f.setFontWeight(QFont::Bold);
        f.setFontItalic(true);
        f.setFontUnderline(true);
        f.setFontStrikeOut(true);
    });
    insert(c, QStringLiteral("grand "), [](auto &f) { f.setFontPointSize(14.5); });
    insert(c, QStringLiteral("mono "), [](auto &f) { f.setFontFamilies({QStringLiteral("Courier New")}); });
    insert(c, QStringLiteral("rouge "), [](auto &f) { f.setForeground(QColor(200, 10, 20)); });
    insert(c, QStringLiteral("fond "), [](auto &f) { f.setBackground(QColor(Qt::yellow)); });
    insert(c, QStringLiteral("x2"), [](auto &f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); });
    insert(c, QStringLiteral("i"), [](auto &f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); });
    c.insertText(QStringLiteral(" € łódź 中文 😀 «{braces}» \\back\tTab") + QChar(QChar::LineSeparator) +
                     QStringLiteral("after break\u00a0nbsp"),
                 QTextCharFormat());

    const Qt::Alignment aligns[] = {Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
    for (Qt::Alignment align : aligns) {
        QTextBlockFormat block;
        block.setAlignment(align);
        c.insertBlock(block);
        c.insertText(QStringLiteral("aligned %1").arg(int(align)));
    }

    QTextBlockFormat bullet;
    bullet.setLeftMargin(RtfFormat::twipsToPixels(200));
    bullet.setProperty(RtfFormat::HangingIndentProperty, 200);
    c.insertBlock(bullet);
    QTextListFormat listFormat;
    listFormat.setStyle(QTextListFormat::ListDisc);
    listFormat.setIndent(0);
    QTextList *list = c.createList(listFormat);
    c.insertText(QStringLiteral("premier point"));
    c.insertBlock(bullet);
    list->add(c.block());
    c.insertText(QStringLiteral("second point"));

    QTextBlockFormat numbered = bullet;
    numbered.setLeftMargin(RtfFormat::twipsToPixels(360));
    numbered.setProperty(RtfFormat::HangingIndentProperty, 360);
    c.insertBlock(numbered);
    listFormat.setStyle(QTextListFormat::ListDecimal);
    c.createList(listFormat);
    c.insertText(QStringLiteral("numéro un"));

    QTextBlockFormat indented;
    indented.setLeftMargin(RtfFormat::twipsToPixels(720));
    indented.setRightMargin(RtfFormat::twipsToPixels(144));
    indented.setTextIndent(RtfFormat::twipsToPixels(-300));
    indented.setTopMargin(RtfFormat::twipsToPixels(60));
    indented.setBottomMargin(RtfFormat::twipsToPixels(120));
    c.insertBlock(indented);
    c.insertText(QStringLiteral("retraits"));

    QTextCharFormat big;
    big.setFontPointSize(20);
    c.insertBlock(QTextBlockFormat(), big); // an empty line keeps its own height

    c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    c.insertText(QStringLiteral("voir "));
    insert(c, QStringLiteral("le site"), [](auto &f) {
        f.setAnchor(true);
        f.setAnchorHref(QStringLiteral("https://example.org/a?b=c&d=é"));
    });
    c.insertText(QStringLiteral(" ici"));
    c.insertBlock(QTextBlockFormat(), QTextCharFormat()); // a last empty paragraph
}

QByteArray roundTrip(const QByteArray &rtf, QTextDocument &into)
{
    into.setDefaultFont(editorFont());
    EXPECT_TRUE(RtfReader::read(rtf, &into));
    return RtfWriter::write(&into);
}

} // namespace

TEST(RtfRoundTrip, EveryEditorFormatReadsBackUnchanged)
{
    QTextDocument original;
    buildRichDocument(original);
    const QByteArray rtf = RtfWriter::write(&original);
    EXPECT_TRUE(isSevenBit(rtf));

    QTextDocument copy;
    const QByteArray again = roundTrip(rtf, copy);
    EXPECT_EQ(describeDocument(copy).toStdString(), describeDocument(original).toStdString());
    EXPECT_EQ(copy.toPlainText(), original.toPlainText());
    // A document read back writes the very same bytes, so a note that is only looked at and
    // saved again does not drift.
    EXPECT_EQ(again.toStdString(), rtf.toStdString());
}

TEST(RtfRoundTrip, WriterEscapesTextAsSevenBitRtf)
{
    QTextDocument doc;
    doc.setDefaultFont(editorFont());
    QTextCursor(&doc).insertText(QStringLiteral("café € 中 😀 {a}\\b"));
    const QByteArray rtf = RtfWriter::write(&doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 DejaVu Sans;}}")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\uc1")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("caf\\'e9 \\'80 \\u20013? \\u-10179?\\u-8704? \\{a\\}\\\\b\\par")) << rtf.toStdString();
    EXPECT_TRUE(rtf.contains("\\fs16")) << rtf.toStdString();
    EXPECT_TRUE(rtf.endsWith("}"));

    // With another code page, what that page holds goes out as \'xx and the rest as \uN.
    const QByteArray central = RtfWriter::write(&doc, 1250);
    EXPECT_TRUE(central.contains("\\ansicpg1250"));
    EXPECT_TRUE(central.contains("caf\\'e9 \\'80 ")) << central.toStdString();
    QTextDocument back;
    ASSERT_TRUE(RtfReader::read(central, &back));
    EXPECT_EQ(back.toPlainText(), doc.toPlainText());
}

TEST(RtfRoundTrip, EmptyDocumentIsStillAFullRtfDocument)
{
    QTextDocument doc;
    doc.setDefaultFont(editorFont());
    const QByteArray rtf = RtfWriter::write(&doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("\\par"));
    QTextDocument back;
    ASSERT_TRUE(RtfReader::read(rtf, &back));
    EXPECT_TRUE(back.toPlainText().isEmpty());
    EXPECT_EQ(back.blockCount(), 1);
}

TEST(RtfRoundTrip, TrailingEmptyParagraphsAreKept)
{
    for (const QString &text : {QStringLiteral("a"), QStringLiteral("a\n"), QStringLiteral("a\n\n"),
                                QStringLiteral("\na"), QStringLiteral("\n")}) {
        QTextDocument doc;
        doc.setPlainText(text);
        QTextDocument back;
        ASSERT_TRUE(RtfReader::read(RtfWriter::write(&doc), &back));
        EXPECT_EQ(back.toPlainText(), text) << "for " << text.toStdString();
    }
}

TEST(RtfRoundTrip, DocumentsOfOtherProgramsWriteBackStably)
{
    for (const char *name : {"richedit-control.rtf", "wordprocessor-simple.rtf", "wordprocessor-lists.rtf",
                             "office-suite.rtf"}) {
        QFile file(QStringLiteral(VELMORA_TEST_DATA_DIR "/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QTextDocument first;
        const QByteArray written = roundTrip(file.readAll(), first);
        QTextDocument second;
        const QByteArray rewritten = roundTrip(written, second);
        EXPECT_EQ(describeDocument(second).toStdString(), describeDocument(first).toStdString()) << name;
        EXPECT_EQ(rewritten.toStdString(), written.toStdString()) << name;
    }
}
