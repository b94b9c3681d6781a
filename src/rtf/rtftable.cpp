#include "rtftable.h"

#include "rtfformat.h"

#include <QTextCursor>
#include <QTextTable>

#include <algorithm>

namespace {

// The width a cell gets when its row does not say (one inch).
constexpr int DefaultCellTwips = 1440;
constexpr int MinCellTwips = 15;
// Bounds of a row's left edge and of a cell's width (22 inches). Widths are bounded one by one,
// not edges, so that a table written from what was read reads back the same.
constexpr int MaxEdgeTwips = 31680;
constexpr int MaxCellTwips = 31680;

// gap is the space left and right of the text, in pixels: RTF has no space above and below it.
QTextTableCellFormat cellFormat(const RtfTableBuilder::CellDef *def, const std::vector<QColor> &colors, double gap)
{
    QTextTableCellFormat format;
    format.setLeftPadding(gap);
    format.setRightPadding(gap);
    format.setTopPadding(0);
    format.setBottomPadding(0);
    if (!def)
        return format;
    if (def->background > 0 && size_t(def->background) < colors.size() && colors[size_t(def->background)].isValid())
        format.setBackground(colors[size_t(def->background)]);
    const double widths[] = {RtfFormat::twipsToPixels(def->borders[RtfTableBuilder::Top]),
                             RtfFormat::twipsToPixels(def->borders[RtfTableBuilder::Left]),
                             RtfFormat::twipsToPixels(def->borders[RtfTableBuilder::Bottom]),
                             RtfFormat::twipsToPixels(def->borders[RtfTableBuilder::Right])};
    format.setTopBorder(widths[0]);
    format.setLeftBorder(widths[1]);
    format.setBottomBorder(widths[2]);
    format.setRightBorder(widths[3]);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(Qt::black));
    return format;
}

} // namespace

void RtfTableBuilder::startRowDefinition()
{
    m_defs.clear();
    m_pending = CellDef{};
    m_gap = 108;
    m_left = 0;
    m_side = -1;
}

void RtfTableBuilder::endCellDefinition(int right)
{
    m_pending.right = right;
    if (int(m_defs.size()) < MaxColumns)
        m_defs.push_back(m_pending);
    m_pending = CellDef{};
    m_side = -1;
}

bool RtfTableBuilder::addCell(int content)
{
    if (int(m_cells.size()) >= MaxColumns)
        return false;
    m_cells.push_back(content);
    return true;
}

void RtfTableBuilder::endRow()
{
    if (m_cells.empty())
        return;
    m_rows.push_back(Row{m_defs, std::move(m_cells), m_left, m_gap});
    m_cells.clear();
}

// The right edges of a row's cells, rising; cells without a definition get a default width.
std::vector<int> RtfTableBuilder::rowEdges(const Row &row) const
{
    std::vector<int> edges;
    int previous = std::clamp(row.left, -MaxEdgeTwips, MaxEdgeTwips);
    for (size_t i = 0; i < row.contents.size(); ++i) {
        const qint64 width = i < row.defs.size() ? qint64(row.defs[i].right) - previous : DefaultCellTwips;
        previous += int(std::clamp<qint64>(width, MinCellTwips, MaxCellTwips));
        edges.push_back(previous);
    }
    return edges;
}

// All right edges of all rows. Tables whose rows share few edges would need more columns than
// a table can sensibly show: their cells are then placed by position in the row.
std::vector<int> RtfTableBuilder::columnEdges(bool &byIndex) const
{
    std::vector<int> edges;
    size_t widest = 0;
    for (const Row &row : m_rows) {
        const std::vector<int> own = rowEdges(row);
        edges.insert(edges.end(), own.begin(), own.end());
        widest = std::max(widest, own.size());
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    byIndex = int(edges.size()) > MaxColumns;
    if (!byIndex)
        return edges;
    for (const Row &row : m_rows)
        if (row.contents.size() == widest)
            return rowEdges(row);
    return edges;
}

std::vector<RtfTableBuilder::Placed> RtfTableBuilder::place(const std::vector<int> &edges, bool byIndex) const
{
    std::vector<Placed> placed;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const Row &row = m_rows[r];
        const std::vector<int> own = rowEdges(row);
        int column = 0;
        const size_t rowStart = placed.size();
        for (size_t i = 0; i < row.contents.size(); ++i) {
            const CellDef *def = i < row.defs.size() ? &row.defs[i] : nullptr;
            int end = byIndex ? int(i) + 1 : int(std::lower_bound(edges.begin(), edges.end(), own[i]) - edges.begin()) + 1;
            end = std::clamp(end, column + 1, int(edges.size()));
            if (column >= int(edges.size()))
                break; // cannot happen with edges taken from every row; kept as a guard
            const bool mergesLeft = def && def->mergesLeft && placed.size() > rowStart;
            Placed *above = nullptr;
            if (def && def->mergesUp)
                for (Placed &candidate : placed)
                    if (candidate.column == column && candidate.row + candidate.rowSpan == int(r))
                        above = &candidate;
            if (mergesLeft) {
                placed.back().columnSpan = end - placed.back().column;
                placed.back().contents.push_back(row.contents[i]);
            } else if (above && above->columnSpan == end - column) {
                above->rowSpan += 1;
                above->contents.push_back(row.contents[i]);
            } else {
                placed.push_back(Placed{int(r), column, 1, end - column, def, {row.contents[i]}});
            }
            column = end;
        }
    }
    return placed;
}

void RtfTableBuilder::insert(QTextCursor &cursor, const std::function<void(QTextCursor &, int, bool)> &fill,
                             const std::vector<QColor> &colors)
{
    endRow();
    if (m_rows.empty())
        return;
    bool byIndex = false;
    const std::vector<int> edges = columnEdges(byIndex);
    const std::vector<Placed> placed = place(edges, byIndex);

    QTextTableFormat format;
    QList<QTextLength> widths;
    int previous = std::clamp(m_rows.front().left, -MaxEdgeTwips, MaxEdgeTwips);
    for (int edge : edges) {
        widths.append(QTextLength(QTextLength::FixedLength, RtfFormat::twipsToPixels(std::max(edge - previous, MinCellTwips))));
        previous = edge;
    }
    format.setColumnWidthConstraints(widths);
    format.setBorder(0);
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(0);
    const double gap = RtfFormat::twipsToPixels(std::clamp(m_rows.front().gap, 0, 1440));
    format.setAlignment(Qt::AlignLeft);

    QTextTable *table = cursor.insertTable(int(m_rows.size()), int(edges.size()), format);
    for (const Placed &cell : placed) {
        QTextTableCell target = table->cellAt(cell.row, cell.column);
        QTextCursor inCell = target.firstCursorPosition();
        for (size_t i = 0; i < cell.contents.size(); ++i)
            fill(inCell, cell.contents[i], i == 0);
        // The cell's format is its first block's character format: set it once that is written.
        QTextCharFormat format = target.format();
        format.merge(cellFormat(cell.def, colors, gap));
        target.setFormat(format);
    }
    for (const Placed &cell : placed)
        if (cell.rowSpan > 1 || cell.columnSpan > 1)
            table->mergeCells(cell.row, cell.column, cell.rowSpan, cell.columnSpan);
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
    m_rows.clear();
}
