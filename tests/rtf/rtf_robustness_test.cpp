// Bad RTF never crashes or hangs the reader: it gives whatever text could be made out.
#include "rtfpicture.h"
#include "rtfreader.h"
#include "rtftestutil.h"
#include "rtfwriter.h"

#include <QFile>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

#include <random>

namespace {

QString readText(const QByteArray &rtf)
{
    QTextDocument doc;
    EXPECT_TRUE(RtfReader::read(rtf, &doc));
    return doc.toPlainText();
}

} // namespace

TEST(RtfRobustness, UnbalancedAndTruncatedDocumentsKeepTheirText)
{
    EXPECT_EQ(readText("{\\rtf1 abc {\\b def"), QStringLiteral("abc def"));
    EXPECT_EQ(readText("{\\rtf1 abc}}}} more"), QStringLiteral("abc"));
    EXPECT_EQ(readText("{\\rtf1 abc\\"), QStringLiteral("abc"));
    EXPECT_EQ(readText("{\\rtf1 abc\\'e"), QStringLiteral("abce"));
    EXPECT_EQ(readText("{\\rtf1 a\\'zzb}"), QStringLiteral("azzb"));
    EXPECT_EQ(readText("{\\rtf1 {\\fonttbl{\\f0 Arial"), QString());
    EXPECT_EQ(readText("{\\rtf1 {\\*\\unknown {nested} text} kept}"), QStringLiteral(" kept"));
    EXPECT_EQ(readText("{\\rtf1 {\\unknownword text} kept}"), QStringLiteral("text kept"));
}

TEST(RtfRobustness, DeepNestingHugeParametersAndNulBytes)
{
    const int depth = 100000;
    EXPECT_EQ(readText("{\\rtf1 " + QByteArray(depth, '{') + "deep" + QByteArray(depth, '}') + "}"),
              QStringLiteral("deep"));
    EXPECT_EQ(readText("{\\rtf1 " + QByteArray(depth, '{') + "open"), QStringLiteral("open"));

    EXPECT_EQ(readText("{\\rtf1\\fs99999999999999999 \\li-99999999999\\fi-2147483648\\sb2147483647 "
                       "\\f-5\\cf99999\\highlight-3\\ls2147483647\\ilvl999 x\\par}"),
              QStringLiteral("x"));
    EXPECT_EQ(readText("{\\rtf1 \\u99999999 \\u-99999999 \\uc99999999\\u65 y}"), QStringLiteral("A"));
    EXPECT_EQ(readText(QByteArray("{\\rtf1 a\0b\\'00c}", 15)), QStringLiteral("abc"));
    EXPECT_EQ(readText("{\\rtf1 a" + QByteArray(40, 'x').prepend('\\') + "1 b}"), QStringLiteral("ab"));
}

// Broken pictures and tables: the reader keeps what it can, never shows a picture larger than a
// note can hold, and never allocates by what a picture claims to be.
TEST(RtfRobustness, BrokenPicturesAndTablesStayBounded)
{
    const QByteArray cases[] = {
        "{\\rtf1 a{\\pict\\pngblip 89504ezz4e47 0d0a1a0}b}",                   // not hex, odd digit count
        "{\\rtf1 a{\\pict\\wmetafile8\\picw2147483647\\pich2147483647 0102}b}", // huge size
        "{\\rtf1 a{\\pict\\emfblip\\picwgoal99999999\\pichgoal-5\\picscalex99999 01}b}",
        "{\\rtf1 a{\\pict\\pngblip\\bin999999999 89504e47",                     // \\bin past the end
        "{\\rtf1 a{\\pict\\jpegblip\\bin-3 ffd8}b}",
        "{\\rtf1 a{\\pict{\\pict{\\pict 01}}}b{\\pict",                        // nested and unclosed
        "{\\rtf1 \\trowd\\cellx-99999999\\cellx5\\cellx5 \\intbl a\\cell b\\cell\\row\\row\\cell",
        "{\\rtf1 \\intbl\\clvmrg\\clmrg\\cellx100 a\\cell\\row\\trowd\\clvmrg\\cellx100\\intbl\\cell\\row b}",
        "{\\rtf1 " + QByteArray("\\trowd\\cellx100\\cellx200\\intbl x\\cell y\\cell\\row").repeated(200) + "}",
        "{\\rtf1 \\intbl " + QByteArray("c\\cell ").repeated(500) + "\\row}",
    };
    for (const QByteArray &rtf : cases) {
        SCOPED_TRACE(rtf.left(80).constData());
        QTextDocument doc;
        ASSERT_TRUE(RtfReader::read(rtf, &doc));
        for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (!it.fragment().charFormat().isImageFormat())
                    continue;
                const QTextImageFormat image = it.fragment().charFormat().toImageFormat();
                EXPECT_LE(image.width(), RtfPictures::MaxShownPixels);
                EXPECT_LE(image.height(), RtfPictures::MaxShownPixels);
                const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
                EXPECT_LE(shown.width(), RtfPictures::MaxShownPixels);
                EXPECT_LE(shown.height(), RtfPictures::MaxShownPixels);
            }
            if (auto *table = qobject_cast<QTextTable *>(doc.frameAt(block.position()))) {
                EXPECT_LE(table->columns(), 64);
            }
        }
        const QByteArray written = RtfWriter::write(&doc);
        EXPECT_TRUE(isSevenBit(written));
        QTextDocument again;
        RtfReader::read(written, &again);
        EXPECT_EQ(again.toPlainText(), doc.toPlainText());
        EXPECT_EQ(RtfWriter::write(&again), written);
    }
}

TEST(RtfRobustness, BinaryDataAndUnicodeFallbacksAreSkipped)
{
    EXPECT_EQ(readText("{\\rtf1 a\\bin3 {}}b}"), QStringLiteral("ab"));
    EXPECT_EQ(readText("{\\rtf1 a\\bin999999999 {}}b}"), QStringLiteral("a"));
    EXPECT_EQ(readText("{\\rtf1 a\\bin-4 b}"), QStringLiteral("ab"));
    EXPECT_EQ(readText("{\\rtf1 \\uc2\\u8364XYz}"), QStringLiteral("€z"));
    EXPECT_EQ(readText("{\\rtf1 \\u233\\'e9x}"), QStringLiteral("éx"));
    EXPECT_EQ(readText("{\\rtf1 \\uc1\\u233{\\b x}}"), QStringLiteral("éx"));
    EXPECT_EQ(readText("{\\rtf1 \\u-4064?\\u-10179?\\u-8704?}"), QString(QChar(0xF020)) + QStringLiteral("😀"));
    EXPECT_EQ(readText("{\\rtf1 \\uc0\\u233 x}"), QStringLiteral("éx"));
    // Double-byte code pages pair their \'xx bytes.
    EXPECT_EQ(readText("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2}"), QStringLiteral("あい"));
}

// Thousands of mutated documents: none may crash, hang or upset the sanitizers, and whatever is
// read (checked on every fifth) writes out as RTF that reads back to the same text and settles
// after one more pass.
TEST(RtfRobustness, MutatedDocumentsNeverBreakTheReader)
{
    std::vector<QByteArray> seeds;
    for (const char *name : {"richedit-control.rtf", "wordprocessor-simple.rtf", "wordprocessor-lists.rtf",
                             "office-suite.rtf", "pictures-tables.rtf"}) {
        QFile file(QStringLiteral(VELMORA_TEST_DATA_DIR "/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        seeds.push_back(file.readAll());
    }
    std::mt19937 random(20260501);
    static const char alphabet[] = "{}\\'*0123456789-; abfiuclsparxtdqe\r\n\xe9\x80";
    auto pick = [&](size_t n) { return size_t(random() % std::max<size_t>(n, 1)); };

    for (int round = 0; round < 2000; ++round) {
        QByteArray doc = seeds[pick(seeds.size())];
        const int mutations = 1 + int(pick(8));
        for (int m = 0; m < mutations && !doc.isEmpty(); ++m) {
            const qsizetype at = qsizetype(pick(size_t(doc.size())));
            switch (pick(5)) {
            case 0:
                doc[at] = alphabet[pick(sizeof alphabet - 1)];
                break;
            case 1:
                doc.insert(at, alphabet[pick(sizeof alphabet - 1)]);
                break;
            case 2:
                doc.remove(at, qsizetype(pick(64)));
                break;
            case 3:
                doc.insert(at, doc.mid(qsizetype(pick(size_t(doc.size()))), qsizetype(pick(128))));
                break;
            default:
                doc[at] = char(random());
                break;
            }
        }
        if (!doc.startsWith("{\\rtf"))
            doc.prepend("{\\rtf1 ");

        QTextDocument first;
        ASSERT_TRUE(RtfReader::read(doc, &first));
        if (round % 5 != 0)
            continue; // the full round trip on a sample keeps the test fast under the sanitizers
        const QByteArray written = RtfWriter::write(&first);
        ASSERT_TRUE(isSevenBit(written)) << "round " << round;
        QTextDocument second;
        ASSERT_TRUE(RtfReader::read(written, &second));
        ASSERT_EQ(second.toPlainText(), first.toPlainText()) << "round " << round;
        const QByteArray rewritten = RtfWriter::write(&second);
        QTextDocument third;
        RtfReader::read(rewritten, &third);
        ASSERT_EQ(RtfWriter::write(&third), rewritten) << "round " << round;
    }
}
