// Tables, pictures and the text kept aside, for the RTF reader.
#include "rtfreaderimpl.h"

#include "rtfformat.h"
#include "rtfwords.h"

#include <QTextDocument>

namespace RtfReaderImpl {

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
    flush();
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
    flush();
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

// The destinations of pictures, objects, shapes and the text kept aside, or nothing.
// The destination of a picture, object, container or aside word where it stands.
Dest Reader::mediaDestination(QByteArrayView name)
{
    const Dest around = top().dest;
    const bool inBody = around == Dest::Text || around == Dest::Container;
    const RtfWords::Destination kind = RtfWords::destinationOf(name);
    if (kind == RtfWords::Destination::Picture) {
        if (!inBody || !startsGroup())
            return Dest::Skip;
        flush();
        startPicture();
        return Dest::Pict;
    }
    if (kind == RtfWords::Destination::Aside) // an object keeps its text boxes in the group kept whole
        return around == Dest::Text || (around == Dest::Container && !m_object.active) ? Dest::Aside : Dest::Skip;
    if (kind == RtfWords::Destination::Object && !m_object.active && !m_picture.active && around == Dest::Text &&
        startsGroup()) {
        flush();
        startObject();
        return Dest::Container;
    }
    return inBody ? Dest::Container : Dest::Skip;
}

// True when the current word is the first thing in its group: a picture is kept as its whole
// group, which must then hold nothing else.
bool Reader::startsGroup() const
{
    if (m_stack.size() < 2 || overflow() > 0)
        return false;
    for (qsizetype at = m_stack.back().start + 1; at < tokenStart(); ++at)
        if (m_bytes[at] != '\r' && m_bytes[at] != '\n') // a space would be text of the group
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

void Reader::binary(QByteArrayView bytes)
{
    const qsizetype to = position();
    const BinaryRun run{tokenStart(), to - bytes.size(), to};
    // Every \bin of a group kept whole is noted, wherever it sits in the group: left as raw
    // bytes, one that runs to the end of the group would swallow what is written after it.
    if (m_object.active)
        m_object.binaries.push_back(run);
    if (m_picture.active)
        m_picture.binaries.push_back(run);
    if (top().dest == Dest::Pict)
        m_picture.picture.data.append(bytes.data(), bytes.size());
}

// Ends the picture whose group runs up to end; openGroups braces are missing when the document
// stopped inside it.
void Reader::finishPicture(qsizetype end, int openGroups)
{
    m_picture.active = false;
    RtfPicture picture = std::move(m_picture.picture);
    if (picture.kind == RtfPicture::Kind::Opaque || !RtfPictures::decode(picture)) {
        picture.kind = RtfPicture::Kind::Opaque;
        picture.group = opaqueGroup(m_stack[m_picture.depth - 1].start, end, m_picture.binaries, openGroups);
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
QByteArray Reader::opaqueGroup(qsizetype start, qsizetype end, const std::vector<BinaryRun> &binaries,
                               int openGroups) const
{
    QByteArray group;
    qsizetype at = start;
    auto copy = [&](qsizetype until) {
        // An 8-bit byte is replaced, not dropped: dropped, it could let the backslash before it
        // escape the brace after it.
        for (; at < until; ++at)
            group.append(uchar(m_bytes[at]) < 0x80 ? m_bytes[at] : '?');
    };
    for (const BinaryRun &binary : binaries) {
        if (binary.from < start)
            continue;
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

void Reader::startObject()
{
    m_object = ObjectState{};
    m_object.active = true;
    m_object.depth = m_stack.size();
    m_object.runsBefore = m_runs.size();
    m_object.paragraphsBefore = m_paragraphs;
    m_object.cellsBefore = m_cellParagraphs.size() + m_cellContents.size();
}

void Reader::objectWord(QByteArrayView name, int value)
{
    if (name == "objw")
        m_object.width = std::clamp(value, 0, MaxPictureTwips);
    else if (name == "objh")
        m_object.height = std::clamp(value, 0, MaxPictureTwips);
}

// Replaces what the object's result showed by the object itself, kept whole and shown by the
// result's picture. An object whose result ended paragraphs keeps only that result.
void Reader::finishObject(qsizetype end, int openGroups)
{
    m_object.active = false;
    if (m_paragraphs != m_object.paragraphsBefore || m_runs.size() < m_object.runsBefore ||
        m_cellParagraphs.size() + m_cellContents.size() != m_object.cellsBefore || m_stack.empty())
        return;
    RtfPicture object;
    object.goalWidth = m_object.width > 0 ? m_object.width : 1440;
    object.goalHeight = m_object.height > 0 ? m_object.height : 1440;
    for (size_t i = m_object.runsBefore; i < m_runs.size(); ++i) {
        if (m_runs[i].picture < 0)
            continue;
        const std::optional<RtfPicture> shown =
            RtfPictures::find(m_cursor.document(), m_pictures[size_t(m_runs[i].picture)]);
        if (!shown)
            continue;
        object.goalWidth = shown->shownWidthTwips();
        object.goalHeight = shown->shownHeightTwips();
        object.preview = shown->kind == RtfPicture::Kind::Opaque ? shown->preview : shown->data;
        break;
    }
    m_runs.resize(m_object.runsBefore);
    object.group = opaqueGroup(m_stack[m_object.depth - 1].start, end, m_object.binaries, openGroups);
    if (m_pictures.size() >= size_t(MaxPictureCount))
        return;
    m_pictures.push_back(RtfPictures::insertable(m_cursor.document(), object));
    Run run;
    run.chr = m_stack[m_object.depth - 1].chr;
    run.picture = int(m_pictures.size()) - 1;
    m_runs.push_back(run);
}

void Reader::finishAside()
{
    // In the document's own font and size, without the effects of its last words.
    const GroupState &root = m_stack.empty() ? m_rootState : m_stack.front();
    CharState plain;
    plain.font = root.chr.font >= 0 ? root.chr.font : m_defaultFont;
    plain.halfPoints = root.chr.halfPoints;
    const QStringList lines = m_aside.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        m_runs.push_back(Run{line, plain});
        Paragraph paragraph{ParaState{}, plain, std::move(m_runs)};
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

} // namespace RtfReaderImpl
