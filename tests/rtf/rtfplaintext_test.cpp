// The plain text read straight from RTF tokens must be what the full reader's document shows,
// or nothing, so that the index finds the same words either way.
#include "rtfplaintext.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

QString documentText(const std::string &rtf)
{
    QTextDocument doc;
    RtfReader::read(QByteArrayView(rtf.data(), qsizetype(rtf.size())), &doc);
    return doc.toPlainText();
}

// What the rich-text editor stores: several paragraphs, formatting, a soft line break, and
// characters inside and outside the code page.
std::string editorMemo()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("Réunion à l'école"), bold);
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("Straße\u2028Ωμέγα 日本 €5\tœuvre {x} \\ fin"), QTextCharFormat());
    cursor.insertBlock();
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("après un vide"));
    return RtfWriter::write(&doc).toStdString();
}

// Groups nested deeper than either pass keeps, with a destination and fallback text among them.
std::string deeplyNested()
{
    const std::string open(300, '{'), close(300, '}');
    return "{\\rtf1 a" + open + "deep{\\*\\unknown x}\\uc1\\u233?\\par" + close + "after}";
}

} // namespace

class RtfPlainTextSame : public ::testing::TestWithParam<std::string>
{
};

TEST_P(RtfPlainTextSame, GivesTheDocumentsPlainText)
{
    RtfPlainText reader;
    const std::optional<QString> text =
        reader.read(QByteArrayView(GetParam().data(), qsizetype(GetParam().size())));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, documentText(GetParam()));
}

// What the search's sink receives: the same characters, the runs it is told are ASCII only that.
class CollectingSink : public RtfPlainText::Sink
{
public:
    void ascii(std::string_view text) override
    {
        for (const char c : text)
            EXPECT_TRUE((c >= 0x20 && c < 0x7F) || c == '\t') << "byte " << int(c) << " in an ASCII run";
        collected += QLatin1StringView(text.data(), qsizetype(text.size()));
    }
    void text(QStringView text) override { collected += text; }
    void paragraph() override { collected += QLatin1Char('\n'); }
    // A sink that reads a single-byte page's bytes itself, through the table it is given.
    void singleBytes(std::string_view bytes, const std::array<char16_t, 256> &characters) override
    {
        if (!readsBytes)
            return Sink::singleBytes(bytes, characters);
        for (const char b : bytes)
            if (const char16_t c = characters[static_cast<unsigned char>(b)])
                collected += QChar(c);
    }
    bool readsBytes = false;
    QString collected;
};

TEST_P(RtfPlainTextSame, HandsTheSinkTheSameText)
{
    RtfPlainText reader;
    const QByteArrayView rtf(GetParam().data(), qsizetype(GetParam().size()));
    const QString text = *reader.read(rtf);
    for (const bool readsBytes : {false, true}) {
        CollectingSink sink;
        sink.readsBytes = readsBytes;
        ASSERT_TRUE(reader.read(rtf, sink));
        // read() leaves out the mark of a last paragraph that holds nothing.
        if (sink.collected == text + QLatin1Char('\n'))
            sink.collected.chop(1);
        EXPECT_EQ(sink.collected, text) << (readsBytes ? "reading the bytes" : "given the text");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Memos, RtfPlainTextSame,
    ::testing::Values(
        editorMemo(), deeplyNested(),
        std::string("{\\rtf1\\ansi\\ansicpg1250\\deff0{\\fonttbl{\\f0\\fcharset238 Arial;}"
                   "{\\f1\\fcharset0 Times;}}\\f0 \\'9a\\'e8\\'ed {\\f1 \\'e9t\\'e9}\\par}"),
        std::string("{\\rtf1\\ansi{\\fonttbl{\\f0\\cpg1251 X;}}\\f0\\'c4\\'e0 \\plain\\'e9}"),
        std::string("{\\rtf1\\uc2 a\\u8364??b\\u-3913 xc\\uc0\\u233 d{\\uc1\\u252?}e}"),
        std::string("{\\rtf1{\\*\\unknown hidden}{\\unknownword shown}{\\stylesheet{s}}"
                   "{\\info{\\title t}}{\\colortbl;\\red1\\green2\\blue3;} text}"),
        std::string("{\\rtf1 a\\{b\\}c\\\\d\\~e\\-f\\_g\\line h\\tab i\\emdash\\lquote j\\rquote}"),
        std::string("{\\rtf1 one\\par\\par\\par two\\par\r\n\\pard three\\\nfour\\page five}"),
        std::string("{\\rtf1 ends with a mark\\par}"),
        std::string("{\\rtf1}"),
        std::string("{\\rtf1 truncated {\\b bold"),
        std::string("{\\rtf1 inside}after the end"),
        std::string("{\\rtf1{\\*\\pn\\pnlvlblt{\\pntxtb B}}{\\pntext 1.}\\ls1 item\\par}"),
        std::string("{\\rtf1 control \\u13?\\u8233?chars\\u65532?kept out}"),
        // runs longer than the tokenizer reads at once, broken by line ends and a bad escape
        std::string("{\\rtf1 a run of plain text well over sixteen bytes\r\nwith a line end, "
                    "\\'e9t\\'e9 and a broken \\'4x escape, \\u233?then more text\\par}"),
        // bytes that are no text, one the page leaves undefined, a no-break space, a soft hyphen
        std::string("{\\rtf1\\ansi\\ansicpg1252 a\\'00b\\'01c\\'81d\\'a0e\\'adf\\'09g\\'ffh\\par}")));

TEST(RtfPlainText, LeavesToTheFullReaderWhatItLaysOut)
{
    const char *const memos[] = {
        "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://a\"}{\\fldrslt lien}}}",
        "{\\rtf1 {\\pict\\pngblip 89504e47}}",
        "{\\rtf1 \\trowd\\cellx1000 a\\cell\\row}",
        "{\\rtf1 text{\\footnote note}}",
        "{\\rtf1 {\\header head}body}",
        "{\\rtf1 \\bin3 abc}",
        "not rtf at all",
    };
    RtfPlainText reader;
    for (const char *memo : memos)
        EXPECT_FALSE(reader.read(QByteArray(memo)).has_value()) << memo;
}
