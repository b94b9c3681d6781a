// Builds a QTextTable from the rows of an RTF table as the reader meets them.
//
// RTF describes a table row by row: \trowd starts the cell definitions (each closed by \cellx
// with its right edge), the cells' paragraphs end at \cell and the row at \row. Rows may have
// different edges; the table's columns are all the edges of all rows, and a cell spans the
// columns between its left and right edge. Merged cells (\clmgf/\clmrg across, \clvmgf/\clvmrg
// down) become spans; their text stays in order. The builder holds only numbers that identify the
// reader's cell contents, and asks the reader to fill each cell when the table is inserted.
#pragma once

#include <QColor>

#include <functional>
#include <vector>

class QTextCursor;

class RtfTableBuilder
{
public:
    // A cell side with no border has width 0.
    enum Side { Top, Left, Bottom, Right };
    struct CellDef
    {
        int right = 0; // twips, from \cellx
        bool mergesLeft = false; // \clmrg: part of the cell on its left
        bool mergesUp = false;   // \clvmrg: part of the cell above
        int background = 0; // colour table index, 0 none
        int borders[4] = {0, 0, 0, 0}; // twips
    };

    // More cells than this in one row go into the row's last cell.
    static constexpr int MaxColumns = 64;

    // \trowd: a new row definition.
    void startRowDefinition();
    // The cell being defined (before its \cellx).
    CellDef &pendingCell() { return m_pending; }
    // \cellx: the pending cell ends at right.
    void endCellDefinition(int right);
    void setGap(int twips) { m_gap = twips; }
    void setLeft(int twips) { m_left = twips; }
    // The side that \brdrw and \brdrs describe, or -1.
    int &borderSide() { return m_side; }

    // \cell: content is the reader's number for the cell's paragraphs. False when the row is full:
    // the content then belongs with the row's last cell, whose number is lastContent().
    bool addCell(int content);
    int lastContent() const { return m_cells.empty() ? -1 : m_cells.back(); }
    // \row.
    void endRow();
    bool hasRows() const { return !m_rows.empty() || !m_cells.empty(); }

    // Inserts the table at cursor, calling fill(cursor in the cell's first block, content, first)
    // for each content of each cell, first telling whether it is the cell's first. The cursor
    // ends in the block after the table. Cell backgrounds are looked up in colors.
    void insert(QTextCursor &cursor, const std::function<void(QTextCursor &, int, bool)> &fill,
                const std::vector<QColor> &colors);

private:
    struct Row
    {
        std::vector<CellDef> defs;
        std::vector<int> contents;
        int left = 0;
        int gap = 0;
    };
    struct Placed
    {
        int row = 0;
        int column = 0;
        int rowSpan = 1;
        int columnSpan = 1;
        const CellDef *def = nullptr;
        std::vector<int> contents;
    };

    std::vector<int> columnEdges(bool &byIndex) const;
    std::vector<Placed> place(const std::vector<int> &edges, bool byIndex) const;
    std::vector<int> rowEdges(const Row &row) const;

    std::vector<Row> m_rows;
    std::vector<CellDef> m_defs;
    CellDef m_pending;
    std::vector<int> m_cells;
    int m_gap = 108;
    int m_left = 0;
    int m_side = -1;
};
