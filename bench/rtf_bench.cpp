// Reads and writes a 1 MB RTF document: a long note with mixed formatting, bullets, accented and
// non-Latin text; then a note holding a large photograph and a 200-row table. Prints the best of
// several runs of each step.
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <chrono>
#include <cstdio>

namespace {

QByteArray makeDocument(qsizetype targetBytes)
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    italic.setForeground(QColor(160, 20, 20));
    QTextCharFormat plain;
    int paragraph = 0;
    while (true) {
        cursor.insertText(QStringLiteral("Paragraphe %1 : ").arg(paragraph), bold);
        cursor.insertText(QStringLiteral("réunion à l'école, café crème — "), plain);
        cursor.insertText(QStringLiteral("texte en italique rouge "), italic);
        cursor.insertText(QStringLiteral("Привет 中文 http://example.org/page%1 fin.").arg(paragraph), plain);
        QTextBlockFormat block;
        if (paragraph % 5 == 4)
            block.setAlignment(Qt::AlignHCenter);
        cursor.insertBlock(block);
        if (paragraph % 7 == 0) {
            QTextListFormat list;
            list.setStyle(QTextListFormat::ListDisc);
            list.setIndent(0);
            cursor.createList(list);
        }
        if (++paragraph % 50 == 0 && RtfWriter::write(&doc).size() >= targetBytes)
            break;
    }
    return RtfWriter::write(&doc);
}

// A 1200 x 900 picture that compresses badly, as photographs do, and a table of 200 rows.
QByteArray makeMediaDocument()
{
    QImage photo(1200, 900, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 7 + y * 13) % 256, (x * y) % 251, (x ^ y) % 256));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "PNG");
    QByteArray rtf = "{\\rtf1\\ansi Photo : {\\pict\\pngblip\\picwgoal9000\\pichgoal6750 " + png.toHex() + "}\\par";
    for (int row = 0; row < 200; ++row) {
        rtf += "\\trowd\\cellx2000\\cellx4000\\cellx6000\\cellx8000\\pard\\intbl";
        for (int cell = 0; cell < 4; ++cell)
            rtf += " cellule " + QByteArray::number(row) + "." + QByteArray::number(cell) + "\\cell";
        rtf += "\\row";
    }
    return rtf + "\\pard fin\\par}";
}

template <typename Step>
double bestMilliseconds(int runs, Step step)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        step();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QByteArray rtf = makeDocument(1024 * 1024);
    QTextDocument doc;
    const double read = bestMilliseconds(5, [&] { RtfReader::read(rtf, &doc); });
    QByteArray written;
    const double write = bestMilliseconds(5, [&] { written = RtfWriter::write(&doc); });
    std::printf("document: %lld bytes, %d paragraphs, %lld characters\n", static_cast<long long>(rtf.size()),
                doc.blockCount(), static_cast<long long>(doc.characterCount()));
    std::printf("read:  %.1f ms (%.1f MB/s)\n", read, rtf.size() / 1048576.0 / (read / 1000));
    std::printf("write: %.1f ms (%.1f MB/s), %lld bytes, same bytes as read: %s\n", write,
                written.size() / 1048576.0 / (write / 1000), static_cast<long long>(written.size()),
                written == rtf ? "yes" : "no");

    const QByteArray media = makeMediaDocument();
    const double mediaRead = bestMilliseconds(3, [&] { RtfReader::read(media, &doc); });
    const double mediaWrite = bestMilliseconds(3, [&] { written = RtfWriter::write(&doc); });
    std::printf("picture and table: %lld bytes, read %.1f ms, write %.1f ms (%lld bytes)\n",
                static_cast<long long>(media.size()), mediaRead, mediaWrite, static_cast<long long>(written.size()));
    return 0;
}
