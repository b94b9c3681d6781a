// Reads and writes a 1 MB RTF document: a long note with mixed formatting, bullets, accented and
// non-Latin text. Prints the best of several runs of each step.
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

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
    return 0;
}
