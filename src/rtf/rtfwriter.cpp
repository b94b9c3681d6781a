#include "rtfwriter.h"

#include "rtfcodepage.h"
#include "rtfformat.h"
#include "rtfpicture.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <vector>

namespace {

struct FontEntry
{
    QString family;
    int charset = 0;
};

// The character formatting as RTF sees it, resolved against the document's default font.
using CharOut = RtfFormat::Character;

constexpr int SymbolCharset = 2;
// The width given to a table whose columns state none: the text width of a note.
constexpr int DefaultTableTwips = 9000;

bool isBulletStyle(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

const char *numberingWord(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListLowerAlpha:
        return "\\pnlcltr";
    case QTextListFormat::ListUpperAlpha:
        return "\\pnucltr";
    case QTextListFormat::ListLowerRoman:
        return "\\pnlcrm";
    case QTextListFormat::ListUpperRoman:
        return "\\pnucrm";
    default:
        return "\\pndec";
    }
}

class Writer
{
public:
    Writer(const QTextDocument *doc, int codePage) : m_doc(doc), m_codePage(codePage), m_default(doc->defaultFont()) {}

    QByteArray run();

private:
    void collect();
    void writeFrame(const QTextFrame *frame);
    void writeTable(const QTextTable *table);
    void writeRowDefinition(const QTextTable *table, int row, const std::vector<int> &edges);
    void writeCell(const QTextTableCell &cell);
    void writeCellBlocks(const QTextFrame::iterator &begin, const QTextFrame::iterator &end, bool &first);
    std::vector<int> columnEdges(const QTextTable *table) const;
    void writePicture(const QTextImageFormat &format);
    int fontIndex(const QTextCharFormat &format);
    int colorIndex(const QBrush &brush);
    CharOut resolve(const QTextCharFormat &format);
    void writeHeader();
    void writeBlock(const QTextBlock &block);
    void writeParagraphFormat(const QTextBlock &block);
    void writeListText(const QTextBlock &block, const QTextList *list, bool bullet);
    void writeFragments(const QTextBlock &block);
    void openLink(const QString &href);
    void closeLink();
    void switchTo(const CharOut &next);

    void word(const char *name);
    void word(const char *name, int value);
    void raw(const char *bytes) { m_out.append(bytes); }
    void text(const QString &text, int charset);
    void codePoint(char32_t ch, int charset);
    void unicodeUnit(char16_t unit);
    void fontName(const QString &name, int charset);
    RtfCodePage &codePage(int charset);

    const QTextDocument *m_doc;
    int m_codePage;
    QFont m_default;
    QByteArray m_out;
    bool m_needSpace = false;
    std::vector<FontEntry> m_fonts;
    QHash<QString, int> m_fontIndex;
    std::vector<QColor> m_colors{QColor()};
    QHash<QRgb, int> m_colorIndex;
    int m_symbolFont = -1;
    CharOut m_state{.font = 0}; // \deff0
    CharOut m_savedState;
    QString m_link;
    RtfCodePages m_codePages;
    bool m_inTable = false;
};

QByteArray Writer::run()
{
    collect();
    writeHeader();
    writeFrame(m_doc->rootFrame());
    raw("}");
    return m_out;
}

void Writer::collect()
{
    fontIndex(QTextCharFormat()); // \f0 is the default font
    for (QTextBlock block = m_doc->begin(); block.isValid(); block = block.next()) {
        fontIndex(block.charFormat());
        if (const QTextList *list = block.textList(); list && isBulletStyle(list->format().style()) && m_symbolFont < 0) {
            m_symbolFont = int(m_fonts.size());
            m_fonts.push_back(FontEntry{QStringLiteral("Symbol"), SymbolCharset});
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            fontIndex(format);
            colorIndex(format.foreground());
            colorIndex(format.background());
        }
        if (const QTextTable *table = qobject_cast<QTextTable *>(m_doc->frameAt(block.position())))
            colorIndex(table->cellAt(block.position()).format().background());
    }
}

// The blocks of a frame in order; tables become RTF table rows, other frames their blocks.
void Writer::writeFrame(const QTextFrame *frame)
{
    auto it = frame->begin();
    // A document that starts with a table has an empty block before it that no one typed.
    if (frame == m_doc->rootFrame() && !it.atEnd() && it.currentBlock().length() <= 1) {
        auto next = it;
        if (!(++next).atEnd() && qobject_cast<QTextTable *>(next.currentFrame()))
            it = next;
    }
    for (; !it.atEnd(); ++it) {
        if (const QTextFrame *child = it.currentFrame()) {
            if (const auto *table = qobject_cast<const QTextTable *>(child))
                writeTable(table);
            else
                writeFrame(child);
        } else {
            writeBlock(it.currentBlock());
        }
    }
}

// The right edges of the columns in twips: fixed widths as they are, others as shares of the
// table's width.
std::vector<int> Writer::columnEdges(const QTextTable *table) const
{
    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    const int columns = table->columns();
    std::vector<int> edges;
    int edge = 0;
    for (int column = 0; column < columns; ++column) {
        const QTextLength width = column < widths.size() ? widths[column] : QTextLength();
        int twips = DefaultTableTwips / columns;
        if (width.type() == QTextLength::FixedLength)
            twips = RtfFormat::pixelsToTwips(width.rawValue());
        else if (width.type() == QTextLength::PercentageLength)
            twips = int(DefaultTableTwips * width.rawValue() / 100);
        edge += std::max(twips, 15);
        edges.push_back(edge);
    }
    return edges;
}

// Rows as the word processors write them: the row's definition, then each cell's paragraphs
// marked \intbl and ended by \cell, then \row. A spanned cell is one wide cell; the cells a
// span covers below are empty cells merged upwards.
void Writer::writeTable(const QTextTable *table)
{
    const std::vector<int> edges = columnEdges(table);
    for (int row = 0; row < table->rows(); ++row) {
        writeRowDefinition(table, row, edges);
        m_inTable = true;
        for (int column = 0; column < table->columns(); ++column) {
            const QTextTableCell cell = table->cellAt(row, column);
            if (cell.column() != column)
                continue;
            if (cell.row() != row) {
                word("pard");
                word("intbl");
            } else {
                writeCell(cell);
            }
            word("cell");
        }
        m_inTable = false;
        word("row");
        raw("\r\n");
        m_needSpace = false;
    }
}

void Writer::writeRowDefinition(const QTextTable *table, int row, const std::vector<int> &edges)
{
    const QTextTableCellFormat first = table->cellAt(row, 0).format().toTableCellFormat();
    const double padding = first.hasProperty(QTextFormat::TableCellLeftPadding) ? first.leftPadding()
                                                                                 : table->format().cellPadding();
    const int gap = RtfFormat::pixelsToTwips(padding);
    word("trowd");
    word("trgaph", gap);
    word("trleft", 0);
    static const char *const sides[] = {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr"};
    for (int column = 0; column < table->columns(); ++column) {
        const QTextTableCell cell = table->cellAt(row, column);
        if (cell.column() != column)
            continue;
        const QTextTableCellFormat format = cell.format().toTableCellFormat();
        if (cell.row() != row)
            word("clvmrg");
        else if (cell.rowSpan() > 1)
            word("clvmgf");
        const double borders[] = {format.topBorder(), format.leftBorder(), format.bottomBorder(), format.rightBorder()};
        for (int side = 0; side < 4; ++side) {
            if (borders[side] <= 0)
                continue;
            word(sides[side]);
            word("brdrs");
            word("brdrw", std::max(RtfFormat::pixelsToTwips(borders[side]), 1));
        }
        if (const int background = colorIndex(format.background()))
            word("clcbpat", background);
        const int last = std::min(column + cell.columnSpan(), int(edges.size())) - 1;
        word("cellx", edges[size_t(last)]);
    }
    raw("\r\n");
    m_needSpace = false;
}

void Writer::writeCell(const QTextTableCell &cell)
{
    bool first = true;
    writeCellBlocks(cell.begin(), cell.end(), first);
    if (first) { // a cell always has a block; kept for a cell Qt reports empty
        word("pard");
        word("intbl");
    }
}

// A cell's paragraphs, separated by \par; a table inside the cell gives its cells' paragraphs
// in order, so its text stays where it was.
void Writer::writeCellBlocks(const QTextFrame::iterator &begin, const QTextFrame::iterator &end, bool &first)
{
    for (auto it = begin; it != end && !it.atEnd(); ++it) {
        if (const QTextFrame *child = it.currentFrame()) {
            writeCellBlocks(child->begin(), child->end(), first);
            continue;
        }
        if (!first) {
            word("par");
            raw("\r\n");
            m_needSpace = false;
        }
        first = false;
        const QTextBlock block = it.currentBlock();
        writeParagraphFormat(block);
        writeFragments(block);
        if (block.length() <= 1) {
            // The first block's character format also carries the cell's shading.
            QTextCharFormat mark = block.charFormat();
            mark.clearBackground();
            switchTo(resolve(mark));
        }
    }
}

void Writer::writePicture(const QTextImageFormat &format)
{
    std::optional<RtfPicture> picture = RtfPictures::find(m_doc, format);
    if (!picture) {
        // An image that came in another way (pasted HTML): kept as PNG at the size it is shown.
        const QVariant resource = m_doc->resource(QTextDocument::ImageResource, QUrl(format.name()));
        QImage image = resource.value<QImage>();
        if (image.isNull())
            image = resource.value<QPixmap>().toImage();
        if (image.isNull())
            return;
        picture = RtfPictures::fromImage(image);
        if (format.width() > 0 && format.height() > 0) {
            picture->scaleX = std::clamp(int(format.width() * 100 / image.width()), 1, 1000);
            picture->scaleY = std::clamp(int(format.height() * 100 / image.height()), 1, 1000);
        }
    }
    if (m_needSpace)
        raw(" ");
    m_out.append(RtfPictures::toRtf(*picture));
    m_needSpace = false;
}

int Writer::fontIndex(const QTextCharFormat &format)
{
    QString family;
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty())
        family = families.first();
    else if (format.hasProperty(QTextFormat::FontFamily))
        family = format.property(QTextFormat::FontFamily).toString();
    if (family.isEmpty())
        family = m_default.family();
    const int charset = format.intProperty(RtfFormat::FontCharsetProperty);
    const QString key = QString::number(charset) + QLatin1Char(':') + family;
    const auto found = m_fontIndex.constFind(key);
    if (found != m_fontIndex.constEnd())
        return *found;
    m_fonts.push_back(FontEntry{family, charset});
    m_fontIndex.insert(key, int(m_fonts.size()) - 1);
    return int(m_fonts.size()) - 1;
}

int Writer::colorIndex(const QBrush &brush)
{
    if (brush.style() == Qt::NoBrush)
        return 0;
    const QRgb rgb = brush.color().rgb();
    const auto found = m_colorIndex.constFind(rgb);
    if (found != m_colorIndex.constEnd())
        return *found;
    m_colors.push_back(brush.color());
    m_colorIndex.insert(rgb, int(m_colors.size()) - 1);
    return int(m_colors.size()) - 1;
}

CharOut Writer::resolve(const QTextCharFormat &format)
{
    CharOut out;
    out.font = fontIndex(format);
    double points = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : m_default.pointSizeF();
    if (points <= 0)
        points = 12;
    out.halfPoints = std::clamp(int(qRound(points * 2)), 2, 3276);
    out.bold = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() >= QFont::DemiBold
                                                            : m_default.weight() >= QFont::DemiBold;
    out.italic = format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : m_default.italic();
    out.underline = format.hasProperty(QTextFormat::TextUnderlineStyle) || format.hasProperty(QTextFormat::FontUnderline)
                        ? format.fontUnderline()
                        : m_default.underline();
    out.strike = format.hasProperty(QTextFormat::FontStrikeOut) ? format.fontStrikeOut() : m_default.strikeOut();
    out.foreground = colorIndex(format.foreground());
    out.background = colorIndex(format.background());
    if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
        out.vertical = 1;
    else if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        out.vertical = 2;
    return out;
}

void Writer::writeHeader()
{
    raw("{\\rtf1\\ansi");
    word("ansicpg", m_codePage);
    word("deff", 0);
    word("deflang", 1036);
    raw("{\\fonttbl");
    for (size_t i = 0; i < m_fonts.size(); ++i) {
        raw("{");
        word("f", int(i));
        word("fnil");
        word("fcharset", m_fonts[i].charset);
        fontName(m_fonts[i].family, m_fonts[i].charset);
        raw(";}");
        m_needSpace = false;
    }
    raw("}\r\n");
    if (m_colors.size() > 1) {
        raw("{\\colortbl ;");
        for (size_t i = 1; i < m_colors.size(); ++i) {
            word("red", m_colors[i].red());
            word("green", m_colors[i].green());
            word("blue", m_colors[i].blue());
            raw(";");
            m_needSpace = false;
        }
        raw("}\r\n");
    }
    raw("{\\*\\generator Velmora;}");
    word("viewkind", 4);
    word("uc", 1);
}

void Writer::writeBlock(const QTextBlock &block)
{
    writeParagraphFormat(block);
    writeFragments(block);
    if (block.length() <= 1)
        switchTo(resolve(block.charFormat())); // an empty line keeps its height
    word("par");
    raw("\r\n");
    m_needSpace = false;
}

void Writer::writeParagraphFormat(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    word("pard");
    if (m_inTable)
        word("intbl");
    double left = format.leftMargin();
    int first = RtfFormat::pixelsToTwips(format.textIndent());
    if (const QTextList *list = block.textList()) {
        const bool bullet = isBulletStyle(list->format().style());
        writeListText(block, list, bullet);
        left += list->format().indent() * m_doc->indentWidth();
        first = -format.intProperty(RtfFormat::HangingIndentProperty);
    }
    const Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignRight)
        word("qr");
    else if (align & Qt::AlignHCenter)
        word("qc");
    else if (align & Qt::AlignJustify)
        word("qj");
    if (first)
        word("fi", first);
    if (const int twips = RtfFormat::pixelsToTwips(left))
        word("li", twips);
    if (const int twips = RtfFormat::pixelsToTwips(format.rightMargin()))
        word("ri", twips);
    if (const int twips = RtfFormat::pixelsToTwips(format.topMargin()))
        word("sb", twips);
    if (const int twips = RtfFormat::pixelsToTwips(format.bottomMargin()))
        word("sa", twips);
}

// The numbering as the rich-edit control writes it: the visible text for readers that do not
// number, then the \pn description for those that do.
void Writer::writeListText(const QTextBlock &block, const QTextList *list, bool bullet)
{
    if (bullet) {
        raw("{\\pntext");
        word("f", m_symbolFont);
        raw("\\'B7\\tab}{\\*\\pn\\pnlvlblt");
        word("pnf", m_symbolFont);
        raw("\\pnindent0{\\pntxtb\\'B7}}");
        m_needSpace = false;
        return;
    }
    raw("{\\pntext\\f0 ");
    QString number = list->itemText(block);
    if (number.endsWith(QLatin1Char('.')))
        number.chop(1);
    text(number + QLatin1Char('.'), 0);
    raw("\\tab}{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1");
    raw(numberingWord(list->format().style()));
    raw("{\\pntxta.}}");
    m_needSpace = false;
}

void Writer::writeFragments(const QTextBlock &block)
{
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        if (format.isImageFormat()) {
            for (int i = 0; i < fragment.length(); ++i)
                writePicture(format.toImageFormat());
            continue;
        }
        const QString href = format.isAnchor() ? format.anchorHref() : QString();
        if (href != m_link) {
            closeLink();
            if (!href.isEmpty())
                openLink(href);
        }
        const CharOut next = resolve(format);
        switchTo(next);
        text(fragment.text(), m_fonts[size_t(next.font)].charset);
    }
    closeLink();
}

void Writer::openLink(const QString &href)
{
    m_savedState = m_state;
    raw("{\\field{\\*\\fldinst{HYPERLINK \"");
    m_needSpace = false;
    // The target sits between quotes; a quote of its own is written the way addresses escape it.
    text(QString(href).replace(QLatin1Char('"'), QLatin1String("%22")), 0);
    raw("\"}}{\\fldrslt{");
    m_needSpace = false;
    m_link = href;
}

void Writer::closeLink()
{
    if (m_link.isEmpty())
        return;
    raw("}}}");
    m_needSpace = false;
    m_state = m_savedState;
    m_link.clear();
}

void Writer::switchTo(const CharOut &next)
{
    if (next.font != m_state.font)
        word("f", next.font);
    if (next.halfPoints != m_state.halfPoints)
        word("fs", next.halfPoints);
    if (next.bold != m_state.bold)
        next.bold ? word("b") : word("b", 0);
    if (next.italic != m_state.italic)
        next.italic ? word("i") : word("i", 0);
    if (next.underline != m_state.underline)
        next.underline ? word("ul") : word("ulnone");
    if (next.strike != m_state.strike)
        next.strike ? word("strike") : word("strike", 0);
    if (next.foreground != m_state.foreground)
        word("cf", next.foreground);
    if (next.background != m_state.background)
        word("highlight", next.background);
    if (next.vertical != m_state.vertical)
        word(next.vertical == 1 ? "sub" : next.vertical == 2 ? "super" : "nosupersub");
    m_state = next;
}

void Writer::word(const char *name)
{
    m_out.append('\\');
    m_out.append(name);
    m_needSpace = true;
}

void Writer::word(const char *name, int value)
{
    word(name);
    m_out.append(QByteArray::number(value));
}

void Writer::text(const QString &text, int charset)
{
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t ch = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            ch = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        } else if (it->isSurrogate()) {
            // A lone half of a pair still goes out as the unit it is, so it reads back the same.
            unicodeUnit(it->unicode());
            continue;
        }
        codePoint(ch, charset);
    }
}

void Writer::codePoint(char32_t ch, int charset)
{
    // Characters RTF writes as control symbols or words rather than as text.
    static const struct
    {
        char32_t ch;
        const char *rtf;
        bool isWord;
    } escapes[] = {{'\\', "\\\\", false}, {'{', "\\{", false},       {'}', "\\}", false},
                   {'\t', "\\tab", true},   {0x2028, "\\line", true}, {0x00A0, "\\~", false},
                   {0x00AD, "\\-", false},  {0x2011, "\\_", false}};
    for (const auto &escape : escapes) {
        if (escape.ch == ch) {
            raw(escape.rtf);
            m_needSpace = escape.isWord;
            return;
        }
    }
    if (ch < 0x20 || ch == 0xFFFC || ch == 0x2029 || ch == 0xFFFF)
        return; // control characters and embedded objects are not text we keep
    if (ch < 0x80) {
        if (m_needSpace)
            m_out.append(' ');
        m_out.append(char(ch));
        m_needSpace = false;
        return;
    }
    if (const std::optional<QByteArray> bytes = codePage(charset).encode(ch)) {
        static const char hex[] = "0123456789abcdef";
        for (char byte : *bytes) {
            const uint8_t value = uint8_t(byte);
            const char escaped[] = {'\\', '\'', hex[value >> 4], hex[value & 15], 0};
            raw(escaped);
        }
        m_needSpace = false;
        return;
    }
    const QString units = QString::fromUcs4(&ch, 1);
    for (QChar unit : units)
        unicodeUnit(unit.unicode());
}

void Writer::unicodeUnit(char16_t unit)
{
    word("u", int(int16_t(unit)));
    raw("?");
    m_needSpace = false;
}

// A font name ends at ";" and holds no \uN, so it is written in its code page only; a ";" of
// the name goes out as \'3b and characters the page lacks are left out.
void Writer::fontName(const QString &name, int charset)
{
    RtfCodePage &page = codePage(charset);
    for (const uint ch : name.toUcs4()) {
        if (ch == ';') {
            raw("\\'3b");
            m_needSpace = false;
        } else if (ch < 0x80 || page.encode(ch)) {
            codePoint(ch, charset);
        }
    }
}

RtfCodePage &Writer::codePage(int charset)
{
    int number = RtfCodePage::fromCharset(charset);
    if (number == 0 || charset == SymbolCharset)
        number = m_codePage;
    return m_codePages[number];
}

} // namespace

namespace RtfWriter {

QByteArray write(const QTextDocument *doc, int codePage)
{
    return Writer(doc, codePage).run();
}

} // namespace RtfWriter
