// The reader against documents written by other programs (tests/rtf/data).
#include "rtfformat.h"
#include "rtfreader.h"

#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

namespace {

QByteArray testFile(const char *name)
{
    QFile file(QStringLiteral(VELMORA_TEST_DATA_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "missing test document " << name;
    return file.readAll();
}

QStringList blockTexts(const QTextDocument &doc)
{
    QStringList texts;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        texts << block.text();
    return texts;
}

QTextBlock blockAt(const QTextDocument &doc, int index)
{
    return doc.findBlockByNumber(index);
}

// The character format at the first occurrence of text.
QTextCharFormat formatOf(const QTextDocument &doc, const QString &text)
{
    const QTextCursor found = doc.find(text);
    EXPECT_FALSE(found.isNull()) << "text not found: " << text.toStdString();
    QTextCursor cursor(const_cast<QTextDocument *>(&doc));
    cursor.setPosition(found.selectionStart() + 1);
    return cursor.charFormat();
}

QString family(const QTextCharFormat &format)
{
    return format.property(QTextFormat::FontFamilies).toStringList().value(0);
}

} // namespace

TEST(RtfDocuments, RichEditControlDocumentKeepsTextRunsAndBullets)
{
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(testFile("richedit-control.rtf"), &doc));
    EXPECT_EQ(blockTexts(doc), QStringList({QStringLiteral("Réunion lundi, 9h salle B"), QStringLiteral("barré"),
                                            QStringLiteral("pain"), QStringLiteral("lait"),
                                            QStringLiteral("łódź http://www.example.com/"), QString()}));

    const QTextCharFormat plain = formatOf(doc, QStringLiteral("Réunion"));
    EXPECT_EQ(family(plain), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(plain.fontPointSize(), 8.0);
    EXPECT_LT(plain.fontWeight(), QFont::DemiBold);
    EXPECT_EQ(formatOf(doc, QStringLiteral("lundi")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatOf(doc, QStringLiteral("9h")).fontItalic());
    EXPECT_TRUE(formatOf(doc, QStringLiteral("salle")).fontUnderline());
    EXPECT_FALSE(formatOf(doc, QStringLiteral(", ")).fontItalic());

    const QTextCharFormat struck = formatOf(doc, QStringLiteral("barré"));
    EXPECT_TRUE(struck.fontStrikeOut());
    EXPECT_EQ(struck.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(blockAt(doc, 1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    // Both bullet paragraphs belong to one list; the bullet hangs 200 twips left of the text.
    const QTextList *list = blockAt(doc, 2).textList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(blockAt(doc, 3).textList(), list);
    EXPECT_EQ(blockAt(doc, 2).blockFormat().intProperty(RtfFormat::HangingIndentProperty), 200);
    EXPECT_EQ(RtfFormat::pixelsToTwips(blockAt(doc, 2).blockFormat().leftMargin()), 200);
    EXPECT_EQ(blockAt(doc, 4).textList(), nullptr);

    // Arial CE carries charset 238: its \'xx bytes are Windows-1250.
    const QTextCharFormat central = formatOf(doc, QStringLiteral("łódź"));
    EXPECT_EQ(family(central), QStringLiteral("Arial CE"));
    EXPECT_EQ(central.intProperty(RtfFormat::FontCharsetProperty), 238);
    EXPECT_DOUBLE_EQ(central.fontPointSize(), 10.0);
}

TEST(RtfDocuments, SimpleWordProcessorDocumentKeepsSpecialCharactersAndCodePages)
{
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(testFile("wordprocessor-simple.rtf"), &doc));
    EXPECT_EQ(blockTexts(doc),
              QStringList({QStringLiteral("Liste des courses — “urgent”"), QStringLiteral("Titre"),
                           QStringLiteral("Привет"),
                           QStringLiteral("Texte justifié avec tab\tet saut") + QChar(QChar::LineSeparator) +
                               QStringLiteral("de ligne."),
                           QStringLiteral("Retrait\u00a0insécable")}));
    const QTextCharFormat title = formatOf(doc, QStringLiteral("Titre"));
    EXPECT_EQ(title.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(title.fontPointSize(), 14.0);
    EXPECT_EQ(title.foreground().color(), QColor(0, 77, 187));
    EXPECT_EQ(family(formatOf(doc, QStringLiteral("Привет"))), QStringLiteral("Times New Roman"));
    EXPECT_EQ(blockAt(doc, 3).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);

    const QTextBlockFormat indented = blockAt(doc, 4).blockFormat();
    EXPECT_EQ(RtfFormat::pixelsToTwips(indented.leftMargin()), 720);
    EXPECT_EQ(RtfFormat::pixelsToTwips(indented.rightMargin()), 360);
    EXPECT_EQ(RtfFormat::pixelsToTwips(indented.textIndent()), -360);
    EXPECT_EQ(RtfFormat::pixelsToTwips(indented.topMargin()), 120);
    EXPECT_EQ(RtfFormat::pixelsToTwips(blockAt(doc, 0).blockFormat().bottomMargin()), 200);
}

TEST(RtfDocuments, WordProcessorListTableGivesBulletsNumbersAndLinks)
{
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(testFile("wordprocessor-lists.rtf"), &doc));
    // Style sheet, document information, generator, theme and data store give no text.
    EXPECT_EQ(blockTexts(doc), QStringList({QStringLiteral("Courses"), QStringLiteral("Pommes"),
                                            QStringLiteral("Poires"), QStringLiteral("Premier"),
                                            QStringLiteral("Second"), QStringLiteral("Voir le site suite")}));
    EXPECT_EQ(formatOf(doc, QStringLiteral("Courses")).fontWeight(), QFont::Bold);
    EXPECT_EQ(family(formatOf(doc, QStringLiteral("Courses"))), QStringLiteral("Calibri"));
    EXPECT_DOUBLE_EQ(formatOf(doc, QStringLiteral("Courses")).fontPointSize(), 11.0);

    const QTextList *bullets = blockAt(doc, 1).textList();
    ASSERT_NE(bullets, nullptr);
    EXPECT_EQ(bullets->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(blockAt(doc, 2).textList(), bullets);
    EXPECT_EQ(blockAt(doc, 1).blockFormat().intProperty(RtfFormat::HangingIndentProperty), 360);

    const QTextList *numbers = blockAt(doc, 3).textList();
    ASSERT_NE(numbers, nullptr);
    EXPECT_EQ(numbers->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(blockAt(doc, 4).textList(), numbers);
    EXPECT_EQ(numbers->itemText(blockAt(doc, 4)), QStringLiteral("2."));

    const QTextCharFormat link = formatOf(doc, QStringLiteral("le site"));
    EXPECT_TRUE(link.isAnchor());
    EXPECT_EQ(link.anchorHref(), QStringLiteral("https://example.org/page"));
    EXPECT_TRUE(link.fontUnderline());
    EXPECT_EQ(link.foreground().color(), QColor(0, 0, 255));
    EXPECT_FALSE(formatOf(doc, QStringLiteral("suite")).isAnchor());
}

TEST(RtfDocuments, OfficeSuiteDocumentSkipsUnicodeFallbacksAndReadsRunGroups)
{
    QTextDocument doc;
    ASSERT_TRUE(RtfReader::read(testFile("office-suite.rtf"), &doc));
    EXPECT_EQ(blockTexts(doc), QStringList({QStringLiteral("Droite € euro"), QStringLiteral("Un"),
                                            QStringLiteral("Deux"), QStringLiteral("Mot italique et surligné2")}));
    EXPECT_EQ(blockAt(doc, 0).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(family(formatOf(doc, QStringLiteral("Droite"))), QStringLiteral("Liberation Serif"));

    const QTextList *list = blockAt(doc, 1).textList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->format().style(), QTextListFormat::ListDisc);
    EXPECT_EQ(blockAt(doc, 2).textList(), list);
    EXPECT_EQ(blockAt(doc, 3).textList(), nullptr);

    EXPECT_TRUE(formatOf(doc, QStringLiteral("italique")).fontItalic());
    EXPECT_FALSE(formatOf(doc, QStringLiteral("et ")).fontItalic());
    const QTextCharFormat marked = formatOf(doc, QStringLiteral("surligné"));
    EXPECT_EQ(marked.foreground().color(), QColor(0, 0, 128));
    EXPECT_EQ(marked.background().color(), QColor(255, 255, 0));
    EXPECT_EQ(formatOf(doc, QStringLiteral("2")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
}

TEST(RtfDocuments, TextThatIsNotRtfReadsAsPlainLines)
{
    QTextDocument doc;
    EXPECT_FALSE(RtfReader::read("Bonjour\r\nle monde", &doc));
    RtfReader::readAny("Bonjour\r\nle\rmonde\nici", &doc);
    EXPECT_EQ(blockTexts(doc), QStringList({"Bonjour", "le", "monde", "ici"}));

    // Bytes that are not UTF-8 are taken as Windows-1252.
    RtfReader::readAny(QByteArray("caf\xe9 \x80"), &doc);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("café €"));
    RtfReader::readAny(QByteArray("caf\xc3\xa9"), &doc);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("café"));

    RtfReader::readAny(QByteArray(), &doc);
    EXPECT_TRUE(doc.isEmpty());
    // A document that starts with blanks is not taken as RTF: the control required "{\rtf" first.
    RtfReader::readAny(" {\\rtf1 x}", &doc);
    EXPECT_EQ(doc.toPlainText(), QStringLiteral(" {\\rtf1 x}"));
}
