#include "rtftestutil.h"

#include "rtfformat.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

namespace {

QString describeChar(const QTextCharFormat &format, const QFont &base)
{
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    QString family = families.value(0, base.family());
    const double size = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : base.pointSizeF();
    const bool bold = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() >= QFont::DemiBold : base.bold();
    const bool italic = format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : base.italic();
    QString out = QStringLiteral("%1 %2").arg(family).arg(size);
    if (bold)
        out += QStringLiteral(" b");
    if (italic)
        out += QStringLiteral(" i");
    if (format.fontUnderline())
        out += QStringLiteral(" u");
    if (format.fontStrikeOut())
        out += QStringLiteral(" s");
    if (format.foreground().style() != Qt::NoBrush)
        out += QStringLiteral(" fg") + format.foreground().color().name();
    if (format.background().style() != Qt::NoBrush)
        out += QStringLiteral(" bg") + format.background().color().name();
    if (format.verticalAlignment() != QTextCharFormat::AlignNormal)
        out += QStringLiteral(" v%1").arg(int(format.verticalAlignment()));
    if (format.isAnchor())
        out += QStringLiteral(" link=") + format.anchorHref();
    return out;
}

QString describeBlock(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    QString out = QStringLiteral("align%1 li%2 ri%3 fi%4 sb%5 sa%6")
                      .arg(int(format.alignment() & Qt::AlignHorizontal_Mask))
                      .arg(RtfFormat::pixelsToTwips(format.leftMargin()))
                      .arg(RtfFormat::pixelsToTwips(format.rightMargin()))
                      .arg(RtfFormat::pixelsToTwips(format.textIndent()))
                      .arg(RtfFormat::pixelsToTwips(format.topMargin()))
                      .arg(RtfFormat::pixelsToTwips(format.bottomMargin()));
    if (const QTextList *list = block.textList())
        out += QStringLiteral(" list%1 hang%2")
                   .arg(int(list->format().style()))
                   .arg(format.intProperty(RtfFormat::HangingIndentProperty));
    return out;
}

} // namespace

QString describeDocument(const QTextDocument &doc)
{
    QString out;
    const QFont base = doc.defaultFont();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        out += describeBlock(block) + QStringLiteral(":");
        QString lastFormat;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString format = describeChar(it.fragment().charFormat(), base);
            if (format != lastFormat)
                out += QStringLiteral("[") + format + QStringLiteral("]");
            lastFormat = format;
            out += it.fragment().text();
        }
        if (block.length() <= 1)
            out += QStringLiteral("[mark ") + describeChar(block.charFormat(), base) + QStringLiteral("]");
        out += QLatin1Char('\n');
    }
    return out;
}

bool isSevenBit(const QByteArray &bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}
