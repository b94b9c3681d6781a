// What the reader leaves out, and why:
// - the style sheet, document information, revision, file, list-picture and theme tables, XML
//   namespaces, data stores, generator, template, user properties and document variables: they
//   describe the file or the program that wrote it, not the note's text;
// - the fallbacks of \uN (\uc), the \pntext and \listtext numbers and the \nonshppict and
//   \shprslt pictures: each repeats what the reader takes from another word (the character,
//   the list, the \shppict picture, the shape);
// - index and table-of-contents entries (\xe, \tc, \txe, \rxe), bookmark names, annotation
//   marks and footnote separators: hidden marks whose text is not shown in the note;
// - the data of embedded objects (\objdata), drawing-object geometry (\do) and shape
//   properties: nothing here can edit them; an object's shown result picture is kept;
// - destinations marked \* that the reader does not know, as RTF asks of every reader.
// Headers, footers, footnotes, annotations and text boxes carry a person's text: it is kept as
// plain paragraphs at the end of the note.

#include "rtfreader.h"

#include "rtfcodepage.h"
#include "rtfformat.h"
#include "rtfpicture.h"
#include "rtftable.h"
#include "rtftokenizer.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <map>
#include <memory>
#include <vector>

namespace {

// Pict gathers a picture's words and bytes; Aside keeps the text of headers, footers and notes;
// Container ignores its own text but looks inside for pictures and text boxes.
enum class Dest { Text, Skip, FontTable, ColorTable, FieldInst, ListTable, ListOverrideTable, Pn, Pict, Aside, Container };

enum class ListKind { None, Bullet, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman };

struct CharState
{
    int font = -1;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int foreground = 0;
    int background = 0;
    int vertical = 0; // 1 subscript, 2 superscript
    int link = -1;    // field whose result this text is
    bool operator==(const CharState &) const = default;
};

struct ParaState
{
    int align = 0; // 0 left, 1 right, 2 centre, 3 justified
    int leftIndent = 0;
    int rightIndent = 0;
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    ListKind pnKind = ListKind::None;
    int ls = 0;
    int level = 0;
    bool inTable = false;
};

struct GroupState
{
    Dest dest = Dest::Text;
    CharState chr;
    ParaState para;
    int uc = 1;
    int field = -1;
    qsizetype start = 0; // where the group's brace is
};

struct FontDef
{
    QString name;
    int charset = 0;
    int codePage = 0; // \cpg, 0 when absent
};

struct ListDef
{
    int id = 0;
    std::vector<int> levelFormats; // \levelnfc of each level
};

struct Run
{
    QString text;
    CharState chr;
    int picture = -1; // a picture instead of text
};

struct Paragraph
{
    ParaState para;
    CharState mark;
    std::vector<Run> runs;
};

// A picture while its group is read.
struct PictureState
{
    RtfPicture picture;
    bool active = false;
    bool metafile = false; // sizes in hundredths of a millimetre
    size_t depth = 0;      // the stack size of its group
    int pendingNibble = -1;
    struct Binary
    {
        qsizetype from; // the \bin word
        qsizetype data;
        qsizetype to;
    };
    std::vector<Binary> binaries;
};

struct Field
{
    QString instruction;
};

// Nesting beyond this is counted but not stored: content that deep keeps its parent's state.
constexpr int MaxDepth = 256;
// Twips bounds for indents and spacing (22 inches): beyond them a layout makes no sense.
constexpr int MaxTwips = 31680;
constexpr int MaxFieldCount = 100000;
constexpr int MaxPictureCount = 10000;
// Picture sizes beyond this (about 17 metres) are noise; the bound keeps their products in range.
constexpr int MaxPictureTwips = 1000000;

int clampTwips(int value)
{
    return std::clamp(value, -MaxTwips, MaxTwips);
}

bool startsWithUnderline(QByteArrayView name)
{
    return name.startsWith("ul") && name != "ulnone" && name != "ulc";
}

// Destinations without \* that hold no document text.
bool isSkippedDestination(QByteArrayView name)
{
    static const char *const names[] = {
        "stylesheet", "info",      "xe",       "tc",       "txe",     "rxe",          "pntext",
        "listtext",   "pntxta",    "pntxtb",   "themedata", "colorschememapping",     "latentstyles",
        "datastore",  "xmlnstbl",  "rsidtbl",  "revtbl",   "filetbl", "nonshppict",   "shprslt", "objdata",
        "mmathPr",    "do",        "bkmkstart", "bkmkend", "template", "userprops",   "docvar",
        "generator",  "pgdsctbl",  "fchars",   "lchars",   "ftnsep",  "ftnsepc",      "ftncn",
        "aftnsep",    "aftnsepc",  "aftncn",   "atnid",    "atnauthor", "atrfstart",  "atrfend",
        "listpicture", "wgrffmtfilter", "ud"};
    for (const char *candidate : names)
        if (name == candidate)
            return true;
    return false;
}

// Destinations whose text a person wrote, though not in the body: kept as plain text.
bool isAsideDestination(QByteArrayView name)
{
    static const char *const names[] = {"header", "headerl", "headerr", "headerf",  "footer",     "footerl",
                                        "footerr", "footerf", "footnote", "annotation", "shptxt"};
    for (const char *candidate : names)
        if (name == candidate)
            return true;
    return false;
}

// Destinations that hold pictures or text boxes among things the reader does not keep.
bool isContainerDestination(QByteArrayView name)
{
    return name == "shppict" || name == "shp" || name == "shpinst" || name == "object" || name == "result";
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

class Reader
{
public:
    Reader(QByteArrayView bytes, QTextDocument *doc) : m_bytes(bytes), m_tokens(bytes), m_cursor(doc) {}

    void run();

private:
    GroupState &top() { return m_stack.back(); }

    void openGroup();
    bool closeGroup();
    void handleWord(const RtfToken &token);
    bool handleDestination(QByteArrayView name);
    void handleTextWord(const RtfToken &token);
    bool handleCharWord(QByteArrayView name, bool has, int value);
    bool handleParaWord(QByteArrayView name, bool has, int value);
    bool handleSpecialWord(QByteArrayView name, bool has, int value);
    void handleTableWord(QByteArrayView name, bool has, int value);
    void fontTableWord(QByteArrayView name, bool has, int value);
    void listTableWord(QByteArrayView name, int value);
    void numberingWord(QByteArrayView name);
    void handleSymbol(uint8_t symbol);
    void handleText(QByteArrayView bytes);
    void handleByte(uint8_t byte);
    void handleBinary(QByteArrayView bytes, qsizetype from);
    void asideWord(QByteArrayView name, bool has, int value);

    bool handleRowWord(QByteArrayView name, bool has, int value);
    bool handleCellWord(QByteArrayView name, bool has, int value);
    void endCell();
    void endRow();
    void insertTable();
    void fillCell(QTextCursor &cursor, int content, bool first);

    bool startsGroup() const;
    void startPicture();
    void pictureWord(QByteArrayView name, bool has, int value);
    void pictureText(QByteArrayView bytes);
    void finishPicture(qsizetype end, int openGroups);
    QByteArray opaqueGroup(qsizetype end, int openGroups) const;
    void finishAside();

    void fontTableText(QByteArrayView bytes);
    void finishFont();
    void colorTableText(QByteArrayView bytes);

    int codePageOf(const CharState &chr);
    RtfCodePage &codePage(int number);
    void flushBytes();
    void appendText(const QString &text);
    void endParagraph();
    void writeParagraph(QTextCursor &cursor, bool reuseBlock, const Paragraph &paragraph);
    void applyList(QTextCursor &cursor, const ParaState &para, ListKind kind);
    ListKind listKindOf(const ParaState &para) const;
    QTextCharFormat charFormat(const CharState &chr);
    QTextBlockFormat blockFormat(const ParaState &para, bool inList) const;

    QByteArrayView m_bytes;
    RtfTokenizer m_tokens;
    QTextCursor m_cursor;
    bool m_blockUnused = true; // the cursor's block holds no paragraph yet
    qsizetype m_tokenStart = 0;
    std::vector<GroupState> m_stack;
    GroupState m_rootState;
    int m_overflow = 0;
    bool m_started = false;
    bool m_starPending = false;
    int m_skip = 0;

    int m_docCodePage = 1252;
    int m_defaultFont = -1;
    QHash<int, FontDef> m_fonts;
    int m_fontNumber = -1;
    QByteArray m_fontName;
    std::vector<QColor> m_colors;
    int m_red = -1, m_green = -1, m_blue = -1;
    std::vector<ListDef> m_lists;
    QHash<int, int> m_overrides; // \ls number -> \listid
    std::vector<Field> m_fields;
    std::map<int, std::unique_ptr<RtfCodePage>> m_codePages;

    QByteArray m_pendingBytes;
    std::vector<Run> m_runs;
    int m_paragraphs = 0;

    PictureState m_picture;
    std::vector<QTextImageFormat> m_pictures;
    RtfTableBuilder m_table;
    std::vector<Paragraph> m_cellParagraphs;
    std::vector<std::vector<Paragraph>> m_cellContents;
    QString m_aside;
    QTextList *m_lastList = nullptr;
    ListKind m_lastKind = ListKind::None;
    QHash<qint64, QTextList *> m_lsLists;

    CharState m_cachedState;
    QTextCharFormat m_cachedFormat;
    bool m_cacheValid = false;
};

void Reader::run()
{
    m_cursor.beginEditBlock();
    for (;;) {
        const qsizetype from = m_tokens.position();
        const RtfToken token = m_tokens.next();
        m_tokenStart = from;
        if (token.kind == RtfToken::End)
            break;
        if (token.kind == RtfToken::GroupStart) {
            openGroup();
            continue;
        }
        if (token.kind == RtfToken::GroupEnd) {
            if (!closeGroup())
                break;
            continue;
        }
        if (m_stack.empty())
            continue; // text before the first brace
        if (m_skip > 0 && token.kind != RtfToken::Text) {
            --m_skip;
            continue;
        }
        switch (token.kind) {
        case RtfToken::ControlWord:
            handleWord(token);
            break;
        case RtfToken::ControlSymbol:
            handleSymbol(token.byte);
            break;
        case RtfToken::HexByte:
            m_starPending = false;
            handleByte(token.byte);
            break;
        case RtfToken::Binary:
            m_starPending = false;
            handleBinary(token.text, from);
            break;
        default:
            m_starPending = false;
            handleText(token.text);
            break;
        }
    }
    flushBytes();
    if (m_picture.active) // a truncated document still keeps the picture it was reading
        finishPicture(m_bytes.size(), int(m_stack.size() - m_picture.depth) + 1 + m_overflow);
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
    m_cursor.endEditBlock();
}

void Reader::openGroup()
{
    flushBytes();
    m_skip = 0;
    m_starPending = false;
    if (m_stack.empty()) {
        if (m_started)
            return;
        m_started = true;
        m_stack.emplace_back();
        return;
    }
    if (int(m_stack.size()) >= MaxDepth) {
        ++m_overflow;
        return;
    }
    m_stack.push_back(m_stack.back());
    top().start = m_tokens.position() - 1;
}

// Returns false when the document's outermost group has closed.
bool Reader::closeGroup()
{
    flushBytes();
    m_skip = 0;
    m_starPending = false;
    if (m_overflow > 0) {
        --m_overflow;
        return true;
    }
    if (m_stack.empty())
        return false;
    const GroupState closed = m_stack.back();
    if (closed.dest == Dest::FontTable && !m_fontName.isEmpty())
        finishFont();
    if (m_picture.active && m_stack.size() == m_picture.depth)
        finishPicture(m_tokens.position(), 0);
    m_stack.pop_back();
    if (m_stack.empty()) {
        m_rootState = closed; // the last paragraph still needs its format
        return false;
    }
    // A {\*\pn ...} group describes the numbering of the paragraph around it.
    if (closed.dest == Dest::Pn && top().dest != Dest::Pn)
        top().para.pnKind = closed.para.pnKind;
    if (closed.dest == Dest::Aside && top().dest != Dest::Aside)
        m_aside += QLatin1Char('\n');
    return true;
}

void Reader::handleWord(const RtfToken &token)
{
    flushBytes();
    const QByteArrayView name = token.text;
    if (name == "u") {
        int value = token.hasParameter ? token.parameter : 0;
        if (value < 0)
            value += 65536;
        const Dest dest = top().dest;
        if (value > 0 && value <= 0xFFFF && (dest == Dest::Text || dest == Dest::FieldInst || dest == Dest::Aside))
            appendText(QString(QChar(char16_t(value))));
        m_skip = top().uc;
        m_starPending = false;
        return;
    }
    const bool starred = m_starPending;
    m_starPending = false;
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
    Dest dest;
    if (name == "fonttbl")
        dest = Dest::FontTable;
    else if (name == "colortbl")
        dest = Dest::ColorTable;
    else if (name == "listtable")
        dest = Dest::ListTable;
    else if (name == "listoverridetable")
        dest = Dest::ListOverrideTable;
    else if (name == "pn")
        dest = Dest::Pn;
    else if (name == "fldinst")
        dest = top().field >= 0 ? Dest::FieldInst : Dest::Skip;
    else if (name == "fldrslt") {
        top().dest = Dest::Text;
        top().chr.link = top().field;
        return true;
    } else if (name == "field") {
        if (int(m_fields.size()) < MaxFieldCount) {
            m_fields.emplace_back();
            top().field = int(m_fields.size()) - 1;
        }
        return true;
    } else if (name == "pict") {
        if ((top().dest != Dest::Text && top().dest != Dest::Container) || !startsGroup())
            dest = Dest::Skip;
        else {
            flushBytes();
            startPicture();
            dest = Dest::Pict;
        }
    } else if (isAsideDestination(name))
        dest = top().dest == Dest::Text || top().dest == Dest::Container ? Dest::Aside : Dest::Skip;
    else if (isContainerDestination(name))
        dest = top().dest == Dest::Text || top().dest == Dest::Container ? Dest::Container : Dest::Skip;
    else if (isSkippedDestination(name))
        dest = Dest::Skip;
    else
        return false;
    if (dest == Dest::ColorTable)
        m_colors.clear();
    if (dest == Dest::Pn)
        top().para.pnKind = ListKind::Decimal;
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
    static const struct
    {
        const char *name;
        char16_t ch;
    } specials[] = {{"tab", u'\t'},       {"line", u'\x2028'},     {"emdash", u'\x2014'},
                    {"endash", u'\x2013'}, {"bullet", u'\x2022'}, {"lquote", u'\x2018'},  {"rquote", u'\x2019'},
                    {"ldblquote", u'\x201C'}, {"rdblquote", u'\x201D'}, {"emspace", u'\x2003'},
                    {"enspace", u'\x2002'}, {"qmspace", u'\x2005'}, {"zwj", u'\x200D'},   {"zwnj", u'\x200C'}};
    for (const auto &special : specials) {
        if (name == special.name) {
            appendText(QString(QChar(special.ch)));
            return true;
        }
    }
    if (name == "uc")
        top().uc = has ? std::clamp(value, 0, 64) : 1;
    else if (name == "ansicpg" && has)
        m_docCodePage = value;
    else if (name == "ansi")
        m_docCodePage = 1252;
    else if (name == "mac")
        m_docCodePage = 10000;
    else if (name == "pc")
        m_docCodePage = 437;
    else if (name == "pca")
        m_docCodePage = 850;
    else if (name == "deff" && has) {
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

void Reader::handleSymbol(uint8_t symbol)
{
    if (symbol == '*') {
        flushBytes();
        m_starPending = true;
        return;
    }
    m_starPending = false;
    const Dest dest = top().dest;
    if (dest == Dest::FontTable) {
        if (symbol == '\\' || symbol == '{' || symbol == '}')
            m_fontName.append(char(symbol));
        return;
    }
    if (dest != Dest::Text && dest != Dest::FieldInst && dest != Dest::Aside)
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        m_pendingBytes.append(char(symbol));
        break;
    case '~':
        flushBytes();
        appendText(QString(QChar(0x00A0)));
        break;
    case '-':
        flushBytes();
        appendText(QString(QChar(0x00AD)));
        break;
    case '_':
        flushBytes();
        appendText(QString(QChar(0x2011)));
        break;
    case '\n':
        flushBytes();
        if (dest == Dest::Text)
            endParagraph();
        else if (dest == Dest::Aside)
            m_aside += QLatin1Char('\n');
        break;
    default:
        break;
    }
}

void Reader::handleText(QByteArrayView bytes)
{
    if (m_skip > 0) {
        const qsizetype skipped = std::min<qsizetype>(m_skip, bytes.size());
        bytes = bytes.sliced(skipped);
        m_skip -= int(skipped);
    }
    if (bytes.isEmpty())
        return;
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

void Reader::handleByte(uint8_t byte)
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
        int page = font.codePage ? font.codePage : RtfCodePage::fromCharset(font.charset);
        font.name = codePage(page ? page : m_docCodePage).decode(m_fontName).trimmed();
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
    if (font != m_fonts.constEnd()) {
        if (font->codePage)
            return font->codePage;
        if (const int page = RtfCodePage::fromCharset(font->charset))
            return page;
    }
    return m_docCodePage;
}

RtfCodePage &Reader::codePage(int number)
{
    std::unique_ptr<RtfCodePage> &page = m_codePages[number];
    if (!page)
        page = std::make_unique<RtfCodePage>(number);
    return *page;
}

void Reader::flushBytes()
{
    if (m_pendingBytes.isEmpty() || m_stack.empty())
        return;
    const QByteArray bytes = std::move(m_pendingBytes);
    m_pendingBytes.clear();
    appendText(codePage(codePageOf(top().chr)).decode(bytes));
}

// Control characters other than the tab, paragraph separators and object marks are not text
// a note can hold; inserted as they are, some would split paragraphs behind the reader's back.
static bool isKeptCharacter(QChar ch)
{
    const char16_t unit = ch.unicode();
    return (unit >= 0x20 || unit == '\t') && unit != 0x2029 && unit != 0xFFFC && unit != 0xFFFF;
}

void Reader::appendText(const QString &input)
{
    QString text = input;
    text.removeIf([](QChar ch) { return !isKeptCharacter(ch); });
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
    flushBytes();
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

// ---- Tables ------------------------------------------------------------------------------------

// Row and cell definitions; true when the word was one.
bool Reader::handleRowWord(QByteArrayView name, bool has, int value)
{
    RtfTableBuilder::CellDef &cell = m_table.pendingCell();
    static const char *const sides[] = {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr"};
    for (int side = 0; side < 4; ++side) {
        if (name == sides[side]) {
            m_table.borderSide() = side;
            return true;
        }
    }
    const int side = m_table.borderSide();
    if (name == "trowd")
        m_table.startRowDefinition();
    else if (name == "cellx")
        m_table.endCellDefinition(has ? value : 0);
    else if (name == "trgaph")
        m_table.setGap(has ? clampTwips(value) : 0);
    else if (name == "trleft")
        m_table.setLeft(has ? clampTwips(value) : 0);
    else if (name == "clmrg")
        cell.mergesLeft = true;
    else if (name == "clvmrg")
        cell.mergesUp = true;
    else if (name == "clcbpat")
        cell.background = has ? value : 0;
    else if (name == "brdrnone" && side >= 0)
        cell.borders[side] = 0;
    else if (name == "brdrw" && side >= 0)
        cell.borders[side] = std::clamp(has ? value : 0, 0, 1440);
    else if (name.startsWith("brdr") && side >= 0 && cell.borders[side] == 0)
        cell.borders[side] = 15; // a style without a width: the thinnest line
    else
        return name == "clmgf" || name == "clvmgf" || name.startsWith("trbrdr") || name.startsWith("brdr");
    return true;
}

// Ends of cells and rows; true when the word was one. A nested table's cells stay paragraphs
// of the cell around them, in their order.
bool Reader::handleCellWord(QByteArrayView name, bool, int)
{
    if (name == "cell")
        endCell();
    else if (name == "nestcell")
        endParagraph();
    else if (name == "row")
        endRow();
    else
        return name == "nestrow";
    return true;
}

void Reader::endCell()
{
    flushBytes();
    const GroupState &state = m_stack.empty() ? m_rootState : top();
    m_cellParagraphs.push_back(Paragraph{state.para, state.chr, std::move(m_runs)});
    m_runs.clear();
    const int content = int(m_cellContents.size());
    if (m_table.addCell(content)) {
        m_cellContents.push_back(std::move(m_cellParagraphs));
    } else {
        std::vector<Paragraph> &last = m_cellContents[size_t(m_table.lastContent())];
        std::move(m_cellParagraphs.begin(), m_cellParagraphs.end(), std::back_inserter(last));
    }
    m_cellParagraphs.clear();
}

void Reader::endRow()
{
    flushBytes();
    if (!m_cellParagraphs.empty() || !m_runs.empty())
        endCell(); // the row's last cell lacks its \cell
    m_table.endRow();
}

void Reader::insertTable()
{
    if (!m_cellParagraphs.empty())
        endCell();
    m_lastList = nullptr;
    m_table.insert(m_cursor, [this](QTextCursor &cursor, int content, bool first) { fillCell(cursor, content, first); },
                   m_colors);
    m_cellContents.clear();
    m_lastList = nullptr;
    m_blockUnused = true; // the block after the table
    ++m_paragraphs;
}

void Reader::fillCell(QTextCursor &cursor, int content, bool first)
{
    std::vector<Paragraph> &paragraphs = m_cellContents[size_t(content)];
    // The empty cells a merge covers add nothing to the cell that spans them.
    if (!first && paragraphs.size() == 1 && paragraphs.front().runs.empty())
        return;
    bool reuse = first;
    for (Paragraph &paragraph : paragraphs) {
        paragraph.para.inTable = false;
        writeParagraph(cursor, reuse, paragraph);
        reuse = false;
    }
}

// ---- Pictures ----------------------------------------------------------------------------------

// True when the current word is the first thing in its group: a picture is kept as its whole
// group, which must then hold nothing else.
bool Reader::startsGroup() const
{
    if (m_stack.size() < 2 || m_overflow > 0)
        return false;
    for (qsizetype at = m_stack.back().start + 1; at < m_tokenStart; ++at)
        if (m_bytes[at] != ' ' && m_bytes[at] != '\r' && m_bytes[at] != '\n')
            return false;
    return true;
}

void Reader::startPicture()
{
    m_picture = PictureState{};
    m_picture.active = true;
    m_picture.depth = m_stack.size();
}

void Reader::pictureWord(QByteArrayView name, bool has, int value)
{
    RtfPicture &picture = m_picture.picture;
    const int number = has ? value : 0;
    if (name == "pngblip")
        picture.kind = RtfPicture::Kind::Png;
    else if (name == "jpegblip")
        picture.kind = RtfPicture::Kind::Jpeg;
    else if (name == "wmetafile" || name == "emfblip" || name == "pmmetafile")
        m_picture.metafile = true;
    else if (name == "picw")
        picture.picw = std::clamp(number, 0, MaxPictureTwips);
    else if (name == "pich")
        picture.pich = std::clamp(number, 0, MaxPictureTwips);
    else if (name == "picwgoal")
        picture.goalWidth = std::clamp(number, 0, MaxPictureTwips);
    else if (name == "pichgoal")
        picture.goalHeight = std::clamp(number, 0, MaxPictureTwips);
    else if (name == "picscalex")
        picture.scaleX = std::clamp(number, 1, 1000);
    else if (name == "picscaley")
        picture.scaleY = std::clamp(number, 1, 1000);
}

// Hexadecimal digits of the picture's bytes; anything else between them is not data.
void Reader::pictureText(QByteArrayView bytes)
{
    QByteArray &data = m_picture.picture.data;
    for (char c : bytes) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            continue;
        if (m_picture.pendingNibble < 0) {
            m_picture.pendingNibble = digit;
        } else {
            data.append(char(m_picture.pendingNibble * 16 + digit));
            m_picture.pendingNibble = -1;
        }
    }
}

void Reader::handleBinary(QByteArrayView bytes, qsizetype from)
{
    if (top().dest != Dest::Pict)
        return;
    m_picture.picture.data.append(bytes.data(), bytes.size());
    const qsizetype to = m_tokens.position();
    m_picture.binaries.push_back(PictureState::Binary{from, to - bytes.size(), to});
}

// Ends the picture whose group runs up to end; openGroups braces are missing when the document
// stopped inside it.
void Reader::finishPicture(qsizetype end, int openGroups)
{
    m_picture.active = false;
    RtfPicture picture = std::move(m_picture.picture);
    if (picture.kind == RtfPicture::Kind::Opaque || !RtfPictures::decode(picture)) {
        picture.kind = RtfPicture::Kind::Opaque;
        picture.group = opaqueGroup(end, openGroups);
        picture.data.clear();
        // Metafiles give their size in hundredths of a millimetre, bitmaps in pixels.
        const auto natural = [this](int size) { return m_picture.metafile ? int(qint64(size) * 1440 / 2540) : size * 15; };
        if (picture.goalWidth <= 0)
            picture.goalWidth = picture.picw > 0 ? std::min(natural(picture.picw), MaxPictureTwips) : 1440;
        if (picture.goalHeight <= 0)
            picture.goalHeight = picture.pich > 0 ? std::min(natural(picture.pich), MaxPictureTwips) : 1440;
    }
    if (m_stack.empty() || m_pictures.size() >= size_t(MaxPictureCount))
        return;
    m_pictures.push_back(RtfPictures::insertable(m_cursor.document(), picture));
    Run run;
    run.chr = m_stack[m_picture.depth - 1].chr;
    run.picture = int(m_pictures.size()) - 1;
    m_runs.push_back(run);
}

// The picture's group as it was read, in 7-bit bytes: binary data becomes hexadecimal digits
// and the group is closed when the document was not.
QByteArray Reader::opaqueGroup(qsizetype end, int openGroups) const
{
    const qsizetype start = m_stack[m_picture.depth - 1].start;
    QByteArray group;
    qsizetype at = start;
    auto copy = [&](qsizetype until) {
        // An 8-bit byte is replaced, not dropped: dropped, it could let the backslash before it
        // escape the brace after it.
        for (; at < until; ++at)
            group.append(uchar(m_bytes[at]) < 0x80 ? m_bytes[at] : '?');
    };
    for (const PictureState::Binary &binary : m_picture.binaries) {
        copy(binary.from);
        group.append("\r\n");
        group.append(RtfPictures::hexLines(m_bytes.sliced(binary.data, binary.to - binary.data)));
        at = binary.to;
    }
    copy(end);
    while (group.endsWith('\\'))
        group.chop(1);
    group.append(QByteArray(std::max(openGroups, 0), '}'));
    return group;
}

void Reader::finishAside()
{
    const QStringList lines = m_aside.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        m_runs.push_back(Run{line, CharState{m_defaultFont}});
        Paragraph paragraph{ParaState{}, CharState{m_defaultFont}, std::move(m_runs)};
        m_runs.clear();
        writeParagraph(m_cursor, m_blockUnused, paragraph);
        m_blockUnused = false;
    }
}

void Reader::asideWord(QByteArrayView name, bool, int)
{
    if (name == "par" || name == "line" || name == "cell" || name == "row")
        m_aside += QLatin1Char('\n');
    else if (name == "tab")
        appendText(QStringLiteral("\t"));
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
    Reader(bytes, doc).run();
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
