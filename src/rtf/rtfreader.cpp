// Groups, words, text and paragraphs of the RTF reader; what it leaves out, and why, heads
// rtfwords.cpp.
#include "rtfreader.h"

#include "rtfformat.h"
#include "rtfreaderimpl.h"
#include "rtfwords.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

namespace RtfReaderImpl {

namespace {

bool startsWithUnderline(QByteArrayView name)
{
    return name.startsWith("ul") && name != "ulnone" && name != "ulc";
}

ListKind kindFromLevelFormat(int nfc)
{
    switch (nfc) {
    case 23:
        return ListKind::Bullet;
    case 1:
        return ListKind::UpperRoman;
    case 2:
        return ListKind::LowerRoman;
    case 3:
        return ListKind::UpperAlpha;
    case 4:
        return ListKind::LowerAlpha;
    case 255:
        return ListKind::None;
    default:
        return ListKind::Decimal;
    }
}

QTextListFormat::Style listStyle(ListKind kind)
{
    switch (kind) {
    case ListKind::Decimal:
        return QTextListFormat::ListDecimal;
    case ListKind::LowerAlpha:
        return QTextListFormat::ListLowerAlpha;
    case ListKind::UpperAlpha:
        return QTextListFormat::ListUpperAlpha;
    case ListKind::LowerRoman:
        return QTextListFormat::ListLowerRoman;
    case ListKind::UpperRoman:
        return QTextListFormat::ListUpperRoman;
    default:
        return QTextListFormat::ListDisc;
    }
}

// The target of a HYPERLINK field: its first argument, quoted or not, without the switches.
QString hyperlinkTarget(const QString &instruction)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*HYPERLINK\\s+(?:\"([^\"]*)\"|(\\S+))"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(instruction);
    if (!match.hasMatch())
        return {};
    const QString target = match.captured(1).isNull() ? match.captured(2) : match.captured(1);
    return target.startsWith(QLatin1Char('\\')) ? QString() : target;
}

} // namespace

void Reader::run()
{
    m_cursor.beginEditBlock();
    walk();
    finishDocument();
    m_cursor.endEditBlock();
}

void Reader::finishDocument()
{
    flush();
    // A truncated document still keeps the picture and the object it was reading.
    if (m_picture.active)
        finishPicture(m_bytes.size(), int(m_stack.size() - m_picture.depth) + 1 + overflow());
    if (m_object.active)
        finishObject(m_bytes.size(), int(m_stack.size() - m_object.depth) + 1 + overflow());
    const GroupState &last = m_stack.empty() ? m_rootState : top();
    if (last.para.inTable && !m_runs.empty())
        endCell();
    if (m_table.hasRows() || !m_cellParagraphs.empty())
        insertTable();
    // What follows the last \par is a paragraph only when it holds text, or when the document
    // would otherwise have none: "text\par }" is one paragraph, as the rich-edit control reads it.
    if (!m_runs.empty() || m_paragraphs == 0)
        endParagraph();
    finishAside();
}

void Reader::groupOpened()
{
    top().start = position() - 1;
}

void Reader::groupClosing()
{
    if (top().dest == Dest::FontTable && !m_fontName.isEmpty())
        finishFont();
    if (m_picture.active && m_stack.size() == m_picture.depth)
        finishPicture(position(), 0);
    if (m_object.active && m_stack.size() == m_object.depth)
        finishObject(position(), 0);
}

void Reader::groupClosed(const GroupState &closed)
{
    if (m_stack.empty()) {
        m_rootState = closed; // the last paragraph still needs its format
        return;
    }
    // A {\*\pn ...} group describes the numbering of the paragraph around it.
    if (closed.dest == Dest::Pn && top().dest != Dest::Pn)
        top().para.pnKind = closed.para.pnKind;
    if (closed.dest == Dest::Aside && top().dest != Dest::Aside)
        m_aside += QLatin1Char('\n');
}

void Reader::unicode(char16_t unit)
{
    appendText(QString(QChar(unit)));
}

void Reader::word(const RtfToken &token, bool starred)
{
    const QByteArrayView name = token.text;
    if (top().dest == Dest::Skip)
        return;
    if (handleDestination(name))
        return;
    if (starred) {
        top().dest = Dest::Skip;
        return;
    }
    switch (top().dest) {
    case Dest::Text:
        handleTextWord(token);
        break;
    case Dest::Pict:
        pictureWord(name, token.hasParameter, token.parameter);
        break;
    case Dest::Aside:
        asideWord(name, token.hasParameter, token.parameter);
        break;
    case Dest::Container:
        if (m_object.active)
            objectWord(name, token.hasParameter ? token.parameter : 0);
        break;
    case Dest::FontTable:
    case Dest::ColorTable:
    case Dest::ListTable:
    case Dest::ListOverrideTable:
    case Dest::Pn:
        handleTableWord(name, token.hasParameter, token.parameter);
        break;
    default:
        break;
    }
}

// Words that open a destination; true when the word was one.
bool Reader::handleDestination(QByteArrayView name)
{
    using RtfWords::Destination;
    Dest dest = Dest::Skip;
    switch (RtfWords::destinationOf(name)) {
    case Destination::None:
        return false;
    case Destination::Skipped:
        dest = Dest::Skip;
        break;
    case Destination::FontTable:
        dest = Dest::FontTable;
        break;
    case Destination::ColorTable:
        m_colors.clear();
        dest = Dest::ColorTable;
        break;
    case Destination::ListTable:
        dest = Dest::ListTable;
        break;
    case Destination::ListOverrideTable:
        dest = Dest::ListOverrideTable;
        break;
    case Destination::Numbering:
        top().para.pnKind = ListKind::Decimal;
        dest = Dest::Pn;
        break;
    case Destination::Field:
        if (int(m_fields.size()) < MaxFieldCount) {
            m_fields.emplace_back();
            top().field = int(m_fields.size()) - 1;
        }
        return true;
    case Destination::FieldInstruction:
        dest = top().field >= 0 ? Dest::FieldInst : Dest::Skip;
        break;
    case Destination::FieldResult:
        top().dest = Dest::Text;
        top().chr.link = top().field;
        return true;
    case Destination::Picture:
    case Destination::Object:
    case Destination::Container:
    case Destination::Aside:
        dest = mediaDestination(name);
        break;
    }
    top().dest = dest;
    return true;
}

void Reader::handleTextWord(const RtfToken &token)
{
    const QByteArrayView name = token.text;
    const bool has = token.hasParameter;
    const int value = token.parameter;
    if (handleCharWord(name, has, value) || handleParaWord(name, has, value) || handleCellWord(name, has, value) ||
        handleRowWord(name, has, value))
        return;
    handleSpecialWord(name, has, value);
}

bool Reader::handleCharWord(QByteArrayView name, bool has, int value)
{
    CharState &chr = top().chr;
    const bool on = !has || value != 0;
    if (name == "plain") {
        const int link = chr.link;
        chr = CharState{};
        chr.font = m_defaultFont;
        chr.link = link;
    } else if (name == "b")
        chr.bold = on;
    else if (name == "i")
        chr.italic = on;
    else if (name == "ulnone")
        chr.underline = false;
    else if (startsWithUnderline(name))
        chr.underline = on;
    else if (name == "strike" || name == "striked")
        chr.strike = on;
    else if (name == "f")
        chr.font = has ? value : m_defaultFont;
    else if (name == "fs")
        chr.halfPoints = (has && value > 0) ? std::min(value, 3276) : 24;
    else if (name == "cf")
        chr.foreground = has ? value : 0;
    else if (name == "highlight" || name == "cb")
        chr.background = has ? value : 0;
    else if (name == "sub")
        chr.vertical = 1;
    else if (name == "super")
        chr.vertical = 2;
    else if (name == "nosupersub")
        chr.vertical = 0;
    else
        return false;
    return true;
}

bool Reader::handleParaWord(QByteArrayView name, bool has, int value)
{
    ParaState &para = top().para;
    const int twips = has ? clampTwips(value) : 0;
    if (name == "pard")
        para = ParaState{};
    else if (name == "par" || name == "page")
        endParagraph();
    else if (name == "intbl")
        para.inTable = true;
    else if (name == "itap")
        para.inTable = !has || value > 0;
    else if (name == "ql")
        para.align = 0;
    else if (name == "qr")
        para.align = 1;
    else if (name == "qc")
        para.align = 2;
    else if (name == "qj" || name == "qd")
        para.align = 3;
    else if (name == "li")
        para.leftIndent = twips;
    else if (name == "ri")
        para.rightIndent = twips;
    else if (name == "fi")
        para.firstIndent = twips;
    else if (name == "sb")
        para.spaceBefore = std::max(0, twips);
    else if (name == "sa")
        para.spaceAfter = std::max(0, twips);
    else if (name == "ls")
        para.ls = has ? value : 0;
    else if (name == "ilvl")
        para.level = has ? std::clamp(value, 0, 8) : 0;
    else
        return false;
    return true;
}

bool Reader::handleSpecialWord(QByteArrayView name, bool has, int value)
{
    if (const char16_t ch = RtfWords::specialCharacter(name)) {
        appendText(QString(QChar(ch)));
        return true;
    }
    if (name == "uc") {
        top().uc = RtfWords::fallbackCount(has, value);
    } else if (const std::optional<int> page = RtfWords::documentCodePage(name, has, value)) {
        m_docCodePage = *page;
    } else if (name == "deff" && has) {
        m_defaultFont = value;
        if (top().chr.font < 0)
            top().chr.font = value;
    } else
        return false;
    return true;
}

// Words inside the font, colour and list tables and the \pn destination.
void Reader::handleTableWord(QByteArrayView name, bool has, int value)
{
    switch (top().dest) {
    case Dest::FontTable:
        fontTableWord(name, has, value);
        break;
    case Dest::ColorTable: {
        const int component = std::clamp(has ? value : 0, 0, 255);
        if (name == "red")
            m_red = component;
        else if (name == "green")
            m_green = component;
        else if (name == "blue")
            m_blue = component;
        break;
    }
    case Dest::ListTable:
    case Dest::ListOverrideTable:
        listTableWord(name, value);
        break;
    case Dest::Pn:
        numberingWord(name);
        break;
    default:
        break;
    }
}

void Reader::fontTableWord(QByteArrayView name, bool has, int value)
{
    if (name == "f" && has) {
        if (!m_fontName.isEmpty())
            finishFont();
        m_fontNumber = value;
        m_fonts[value] = FontDef{};
    } else if (name == "fcharset" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].charset = value;
    } else if (name == "cpg" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].codePage = value;
    }
}

void Reader::listTableWord(QByteArrayView name, int value)
{
    if (top().dest == Dest::ListOverrideTable) {
        if (name == "listid")
            m_overrides[-1] = value; // the \ls that follows takes it
        else if (name == "ls" && m_overrides.contains(-1))
            m_overrides[value] = m_overrides.take(-1);
        return;
    }
    if (name == "list")
        m_lists.emplace_back();
    else if (m_lists.empty() || m_lists.size() > 10000)
        return;
    else if (name == "listlevel" && m_lists.back().levelFormats.size() < 9)
        m_lists.back().levelFormats.push_back(0);
    else if ((name == "levelnfc" || name == "levelnfcn") && !m_lists.back().levelFormats.empty())
        m_lists.back().levelFormats.back() = value;
    else if (name == "listid")
        m_lists.back().id = value;
}

void Reader::numberingWord(QByteArrayView name)
{
    static const struct
    {
        const char *name;
        ListKind kind;
    } words[] = {{"pnlvlblt", ListKind::Bullet},     {"pnlvlcont", ListKind::None},
                 {"pndec", ListKind::Decimal},       {"pnlvlbody", ListKind::Decimal},
                 {"pnlvl", ListKind::Decimal},       {"pnucltr", ListKind::UpperAlpha},
                 {"pnlcltr", ListKind::LowerAlpha},  {"pnucrm", ListKind::UpperRoman},
                 {"pnlcrm", ListKind::LowerRoman}};
    for (const auto &word : words) {
        if (name == word.name) {
            top().para.pnKind = word.kind;
            return;
        }
    }
}

void Reader::symbol(uint8_t symbol)
{
    const Dest dest = top().dest;
    if (dest == Dest::FontTable) {
        if (RtfWords::isEscapedByte(symbol))
            m_fontName.append(char(symbol));
        return;
    }
    if (dest != Dest::Text && dest != Dest::FieldInst && dest != Dest::Aside)
        return;
    if (RtfWords::isEscapedByte(symbol)) {
        m_pendingBytes.append(char(symbol));
    } else if (const char16_t ch = RtfWords::symbolCharacter(symbol)) {
        flush();
        appendText(QString(QChar(ch)));
    } else if (symbol == '\n') {
        flush();
        if (dest == Dest::Text)
            endParagraph();
        else if (dest == Dest::Aside)
            m_aside += QLatin1Char('\n');
    }
}

void Reader::text(QByteArrayView bytes)
{
    switch (top().dest) {
    case Dest::Text:
    case Dest::FieldInst:
    case Dest::Aside:
        m_pendingBytes.append(bytes.data(), bytes.size());
        break;
    case Dest::Pict:
        pictureText(bytes);
        break;
    case Dest::FontTable:
        fontTableText(bytes);
        break;
    case Dest::ColorTable:
        colorTableText(bytes);
        break;
    default:
        break;
    }
}

void Reader::hexByte(uint8_t byte)
{
    switch (top().dest) {
    case Dest::Text:
    case Dest::FieldInst:
    case Dest::Aside:
        m_pendingBytes.append(char(byte));
        break;
    case Dest::FontTable:
        m_fontName.append(char(byte));
        break;
    default:
        break;
    }
}

void Reader::fontTableText(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (c == ';')
            finishFont();
        else if (m_fontName.size() < 256)
            m_fontName.append(c);
    }
}

void Reader::finishFont()
{
    if (m_fonts.contains(m_fontNumber)) {
        FontDef &font = m_fonts[m_fontNumber];
        const int page = RtfWords::fontCodePage(font.codePage, font.charset);
        font.name = m_codePages[page ? page : m_docCodePage].decode(m_fontName).trimmed();
    }
    m_fontName.clear();
}

void Reader::colorTableText(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (c != ';')
            continue;
        const bool automatic = m_red < 0 && m_green < 0 && m_blue < 0;
        if (m_colors.size() < 100000)
            m_colors.push_back(automatic ? QColor() : QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
        m_red = m_green = m_blue = -1;
    }
}

int Reader::codePageOf(const CharState &chr)
{
    const auto font = m_fonts.constFind(chr.font);
    if (font != m_fonts.constEnd())
        if (const int page = RtfWords::fontCodePage(font->codePage, font->charset))
            return page;
    return m_docCodePage;
}

void Reader::flush()
{
    if (m_pendingBytes.isEmpty() || m_stack.empty())
        return;
    const QByteArray bytes = std::move(m_pendingBytes);
    m_pendingBytes.clear();
    appendText(m_codePages[codePageOf(top().chr)].decode(bytes));
}

void Reader::appendText(const QString &input)
{
    QString text = input;
    text.removeIf([](QChar ch) { return !RtfWords::isKeptCharacter(ch.unicode()); });
    if (text.isEmpty())
        return;
    GroupState &state = top();
    if (state.dest == Dest::FieldInst) {
        Field &field = m_fields[size_t(state.field)];
        if (field.instruction.size() < 4096)
            field.instruction += text;
        return;
    }
    if (state.dest == Dest::Aside) {
        if (m_aside.size() < 1000000)
            m_aside += text;
        return;
    }
    if (state.dest != Dest::Text)
        return;
    if (!m_runs.empty() && m_runs.back().picture < 0 && m_runs.back().chr == state.chr)
        m_runs.back().text += text;
    else
        m_runs.push_back(Run{text, state.chr});
}

void Reader::endParagraph()
{
    flush();
    const GroupState &state = m_stack.empty() ? m_rootState : top();
    Paragraph paragraph{state.para, state.chr, std::move(m_runs)};
    m_runs.clear();
    if (state.para.inTable) {
        m_cellParagraphs.push_back(std::move(paragraph));
        return;
    }
    if (m_table.hasRows() || !m_cellParagraphs.empty())
        insertTable();
    writeParagraph(m_cursor, m_blockUnused, paragraph);
    m_blockUnused = false;
    ++m_paragraphs;
}

ListKind Reader::listKindOf(const ParaState &para) const
{
    if (para.ls <= 0)
        return para.pnKind;
    const auto listId = m_overrides.constFind(para.ls);
    if (listId == m_overrides.constEnd())
        return ListKind::Bullet;
    for (const ListDef &list : m_lists) {
        if (list.id != *listId)
            continue;
        if (size_t(para.level) < list.levelFormats.size())
            return kindFromLevelFormat(list.levelFormats[size_t(para.level)]);
        return ListKind::Bullet;
    }
    return ListKind::Bullet;
}

// Writes a paragraph at the cursor: into its block when reuseBlock (the first paragraph of the
// document or of a cell), else into a new block.
void Reader::writeParagraph(QTextCursor &cursor, bool reuseBlock, const Paragraph &paragraph)
{
    const ListKind kind = listKindOf(paragraph.para);
    const QTextBlockFormat format = blockFormat(paragraph.para, kind != ListKind::None);
    QTextCharFormat markFormat = charFormat(paragraph.mark);
    markFormat.clearProperty(QTextFormat::AnchorHref);
    markFormat.clearProperty(QTextFormat::IsAnchor);
    if (!reuseBlock) {
        cursor.insertBlock(format, markFormat);
    } else {
        cursor.setBlockFormat(format);
        cursor.setBlockCharFormat(markFormat);
    }
    applyList(cursor, paragraph.para, kind);
    for (const Run &run : paragraph.runs) {
        if (run.picture >= 0)
            cursor.insertImage(m_pictures[size_t(run.picture)]);
        else
            cursor.insertText(run.text, charFormat(run.chr));
    }
}

void Reader::applyList(QTextCursor &cursor, const ParaState &para, ListKind kind)
{
    if (kind == ListKind::None) {
        m_lastList = nullptr;
        return;
    }
    QTextList *list = nullptr;
    const qint64 key = (qint64(para.ls) << 4) | para.level;
    if (para.ls > 0)
        list = m_lsLists.value(key);
    else if (m_lastKind == kind && m_lastList)
        list = m_lastList;
    if (list && list->format().style() == listStyle(kind)) {
        list->add(cursor.block());
    } else {
        QTextListFormat format;
        format.setStyle(listStyle(kind));
        format.setIndent(0);
        list = cursor.createList(format);
        if (para.ls > 0)
            m_lsLists.insert(key, list);
    }
    m_lastList = list;
    m_lastKind = kind;
}

QTextBlockFormat Reader::blockFormat(const ParaState &para, bool inList) const
{
    QTextBlockFormat format;
    static constexpr Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
    if (para.align != 0)
        format.setAlignment(alignments[para.align]);
    if (para.leftIndent)
        format.setLeftMargin(RtfFormat::twipsToPixels(para.leftIndent));
    if (para.rightIndent)
        format.setRightMargin(RtfFormat::twipsToPixels(para.rightIndent));
    if (para.spaceBefore)
        format.setTopMargin(RtfFormat::twipsToPixels(para.spaceBefore));
    if (para.spaceAfter)
        format.setBottomMargin(RtfFormat::twipsToPixels(para.spaceAfter));
    if (inList) {
        // The bullet hangs in the first-line indent; the text of every line starts at \li.
        if (para.firstIndent < 0)
            format.setProperty(RtfFormat::HangingIndentProperty, -para.firstIndent);
    } else if (para.firstIndent) {
        format.setTextIndent(RtfFormat::twipsToPixels(para.firstIndent));
    }
    return format;
}

QTextCharFormat Reader::charFormat(const CharState &chr)
{
    if (m_cacheValid && chr == m_cachedState)
        return m_cachedFormat;
    QTextCharFormat format;
    auto font = m_fonts.constFind(chr.font);
    if (font == m_fonts.constEnd())
        font = m_fonts.constFind(m_defaultFont);
    if (font != m_fonts.constEnd() && !font->name.isEmpty()) {
        format.setFontFamilies(QStringList{font->name});
        if (font->charset != 0)
            format.setProperty(RtfFormat::FontCharsetProperty, font->charset);
    }
    format.setFontPointSize(chr.halfPoints / 2.0);
    // Off is stated as well as on: a run must never take an effect from the editor's font.
    format.setFontWeight(chr.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(chr.italic);
    format.setFontUnderline(chr.underline);
    format.setFontStrikeOut(chr.strike);
    if (chr.foreground > 0 && size_t(chr.foreground) < m_colors.size() && m_colors[size_t(chr.foreground)].isValid())
        format.setForeground(m_colors[size_t(chr.foreground)]);
    if (chr.background > 0 && size_t(chr.background) < m_colors.size() && m_colors[size_t(chr.background)].isValid())
        format.setBackground(m_colors[size_t(chr.background)]);
    if (chr.vertical)
        format.setVerticalAlignment(chr.vertical == 1 ? QTextCharFormat::AlignSubScript
                                                      : QTextCharFormat::AlignSuperScript);
    if (chr.link >= 0 && size_t(chr.link) < m_fields.size()) {
        const QString target = hyperlinkTarget(m_fields[size_t(chr.link)].instruction);
        if (!target.isEmpty()) {
            format.setAnchor(true);
            format.setAnchorHref(target);
        }
    }
    m_cachedState = chr;
    m_cachedFormat = format;
    m_cacheValid = true;
    return format;
}



} // namespace RtfReaderImpl

namespace {

QString decodePlain(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return RtfCodePage(1252).decode(bytes.toByteArray());
}

} // namespace

namespace RtfReader {

bool isRtf(QByteArrayView bytes)
{
    return bytes.startsWith("{\\rtf");
}

bool read(QByteArrayView bytes, QTextDocument *doc)
{
    if (!isRtf(bytes))
        return false;
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->clear();
    RtfReaderImpl::Reader(bytes, doc).run();
    doc->setUndoRedoEnabled(undo);
    return true;
}

void readPlainText(QByteArrayView bytes, QTextDocument *doc, int codePage)
{
    QString text = codePage ? RtfCodePage(codePage).decode(bytes.toByteArray()) : decodePlain(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.remove(QChar(0));
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    doc->setPlainText(text);
    doc->setUndoRedoEnabled(undo);
}

void readAny(QByteArrayView bytes, QTextDocument *doc)
{
    if (!read(bytes, doc))
        readPlainText(bytes, doc);
}

} // namespace RtfReader

