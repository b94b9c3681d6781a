// The RTF reader's state and its one class, shared by the files that implement it: rtfreader.cpp
// (groups, words, text and paragraphs) and rtfreadermedia.cpp (tables, pictures, text kept aside).
#pragma once

#include "rtfcodepage.h"
#include "rtfformat.h"
#include "rtfgroupwalk.h"
#include "rtfpicture.h"
#include "rtftable.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <QTextList>
#include <QTextCursor>
#include <QTextFormat>

#include <algorithm>
#include <optional>
#include <vector>

class QTextList;

namespace RtfReaderImpl {

// Pict gathers a picture's words and bytes; Aside keeps the text of headers, footers and notes;
// Container ignores its own text but looks inside for pictures and text boxes.
enum class Dest { Text, Skip, FontTable, ColorTable, FieldInst, ListTable, ListOverrideTable, Pn, Pict, Aside, Container };

enum class ListKind { None, Bullet, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman };

struct CharState : RtfFormat::Character
{
    int link = -1; // field whose result this text is
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

// The \binN word and its data, as positions in the document.
struct BinaryRun
{
    qsizetype from;
    qsizetype data;
    qsizetype to;
};

// A picture while its group is read.
struct PictureState
{
    RtfPicture picture;
    bool active = false;
    bool metafile = false; // sizes in hundredths of a millimetre
    size_t depth = 0;      // the stack size of its group
    int pendingNibble = -1;
    std::vector<BinaryRun> binaries;
};

// An embedded object while its group is read: kept whole, shown by its result picture.
struct ObjectState
{
    bool active = false;
    size_t depth = 0;
    size_t runsBefore = 0;
    int paragraphsBefore = 0;
    size_t cellsBefore = 0;
    int width = 0; // \objw, twips
    int height = 0;
    std::vector<BinaryRun> binaries;
};

struct Field
{
    QString instruction;
};

// Twips bounds for indents and spacing (22 inches): beyond them a layout makes no sense.
constexpr int MaxTwips = 31680;
constexpr int MaxFieldCount = 100000;
constexpr int MaxPictureCount = 10000;
// Picture sizes beyond this (about 17 metres) are noise; the bound keeps their products in range.
constexpr int MaxPictureTwips = 1000000;

inline int clampTwips(int value)
{
    return std::clamp(value, -MaxTwips, MaxTwips);
}

class Reader : public RtfGroupWalk<GroupState>
{
public:
    Reader(QByteArrayView bytes, QTextDocument *doc) : RtfGroupWalk(bytes), m_bytes(bytes), m_cursor(doc) {}

    void run();
    void finishDocument();

private:
    void flush() override;
    void groupOpened() override;
    void groupClosing() override;
    void groupClosed(const GroupState &closed) override;
    void unicode(char16_t unit) override;
    void word(const RtfToken &token, bool starred) override;
    void symbol(uint8_t symbol) override;
    void hexByte(uint8_t byte) override;
    void binary(QByteArrayView bytes) override;
    void text(QByteArrayView bytes) override;
    bool handleDestination(QByteArrayView name);
    void handleTextWord(const RtfToken &token);
    bool handleCharWord(QByteArrayView name, bool has, int value);
    bool handleParaWord(QByteArrayView name, bool has, int value);
    bool handleSpecialWord(QByteArrayView name, bool has, int value);
    void handleTableWord(QByteArrayView name, bool has, int value);
    void fontTableWord(QByteArrayView name, bool has, int value);
    void listTableWord(QByteArrayView name, int value);
    void numberingWord(QByteArrayView name);
    void asideWord(QByteArrayView name, bool has, int value);

    bool handleRowWord(QByteArrayView name, bool has, int value);
    bool handleCellWord(QByteArrayView name, bool has, int value);
    void endCell();
    void endRow();
    void insertTable();
    void fillCell(QTextCursor &cursor, int content, bool first);

    bool startsGroup() const;
    Dest mediaDestination(QByteArrayView name);
    void startPicture();
    void pictureWord(QByteArrayView name, bool has, int value);
    void pictureText(QByteArrayView bytes);
    void finishPicture(qsizetype end, int openGroups);
    QByteArray opaqueGroup(qsizetype start, qsizetype end, const std::vector<BinaryRun> &binaries, int openGroups) const;
    void startObject();
    void objectWord(QByteArrayView name, int value);
    void finishObject(qsizetype end, int openGroups);
    void finishAside();

    void fontTableText(QByteArrayView bytes);
    void finishFont();
    void colorTableText(QByteArrayView bytes);

    int codePageOf(const CharState &chr);
    void appendText(const QString &text);
    void endParagraph();
    void writeParagraph(QTextCursor &cursor, bool reuseBlock, const Paragraph &paragraph);
    void applyList(QTextCursor &cursor, const ParaState &para, ListKind kind);
    ListKind listKindOf(const ParaState &para) const;
    QTextCharFormat charFormat(const CharState &chr);
    QTextBlockFormat blockFormat(const ParaState &para, bool inList) const;

    QByteArrayView m_bytes;
    QTextCursor m_cursor;
    bool m_blockUnused = true; // the cursor's block holds no paragraph yet
    GroupState m_rootState;

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
    RtfCodePages m_codePages;

    QByteArray m_pendingBytes;
    std::vector<Run> m_runs;
    int m_paragraphs = 0;

    PictureState m_picture;
    ObjectState m_object;
    std::vector<QTextImageFormat> m_pictures;
    RtfTableBuilder m_table;
    std::vector<Paragraph> m_cellParagraphs;
    std::vector<std::vector<Paragraph>> m_cellContents;
    QString m_aside;
    // The document deletes a list whose last block leaves it (a table or a picture taking its
    // place): these must not outlive it.
    QPointer<QTextList> m_lastList;
    ListKind m_lastKind = ListKind::None;
    QHash<qint64, QPointer<QTextList>> m_lsLists;

    CharState m_cachedState;
    QTextCharFormat m_cachedFormat;
    bool m_cacheValid = false;
};

} // namespace RtfReaderImpl
