#include "searchresults.h"

#include "art.h"

#include <QPainter>

namespace {

constexpr int PictureSize = 16;
constexpr int Margin = 5;
const QColor Selected(0xE6, 0xD7, 0xB0);
const QColor TitleColour(0x35, 0x60, 0x7F);
const QColor ExcerptColour(0x40, 0x40, 0x40);

// Draws `text` on one line from `at`, its `bold` ranges in bold, cut with an ellipsis at `right`.
void drawExcerpt(QPainter *painter, QPoint at, int right, const QString &text,
                 const QVariantList &bold, const QFont &font)
{
    QFont boldFont = font;
    boldFont.setBold(true);
    int x = at.x();
    int pos = 0;
    auto run = [&](int end, const QFont &f) {
        if (end <= pos || x >= right)
            return;
        const QFontMetrics metrics(f);
        QString piece = text.mid(pos, end - pos);
        int width = metrics.horizontalAdvance(piece);
        if (x + width > right) {
            piece = metrics.elidedText(piece, Qt::ElideRight, right - x);
            width = right - x;
        }
        painter->setFont(f);
        painter->drawText(QPoint(x, at.y()), piece);
        x += width;
        pos = end;
    };
    for (const QVariant &range : bold) {
        const QPoint r = range.toPoint(); // (start, length)
        run(r.x(), font);
        run(r.x() + r.y(), boldFont);
    }
    run(static_cast<int>(text.size()), font);
}

} // namespace

SearchResultModel::SearchResultModel(SearchIndex &index, QObject *parent)
    : QAbstractListModel(parent), m_index(index)
{
    const char *names[SearchIndex::TableCount] = {"search-notes", "search-sheets", "search-cards"};
    for (int t = 0; t < SearchIndex::TableCount; ++t)
        m_pictures[t] = artPixmap(QLatin1String(names[t]), QSize(PictureSize, PictureSize));
}

void SearchResultModel::setRows(std::vector<SearchIndex::Row> rows, const QString &query)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_query = query;
    endResetModel();
}

const SearchIndex::Row &SearchResultModel::described(int row) const
{
    SearchIndex::Row &r = m_rows[static_cast<std::size_t>(row)];
    if (!r.described)
        m_index.describe(r, m_query);
    return r;
}

int SearchResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant SearchResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SearchIndex::Row &row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.title.isEmpty() ? m_untitled : row.title;
    case Qt::DecorationRole:
        return m_pictures[row.table];
    case ExcerptRole:
        return described(index.row()).excerpt;
    case BoldRole: {
        QVariantList ranges;
        for (const auto &[start, length] : described(index.row()).bold)
            ranges << QPoint(start, length);
        return ranges;
    }
    case TableRole:
        return int(row.table);
    case RecNoRole:
        return row.recNo;
    default:
        return {};
    }
}

void SearchResultDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    painter->save();
    const QRect r = option.rect;
    if (option.state & QStyle::State_Selected)
        painter->fillRect(r, Selected);
    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    painter->drawPixmap(r.left() + Margin, r.top() + Margin + 1, picture);

    const int left = r.left() + Margin * 2 + PictureSize;
    const int right = r.right() - Margin;
    QFont titleFont = option.font;
    titleFont.setBold(true);
    const QFontMetrics titleMetrics(titleFont);
    painter->setFont(titleFont);
    painter->setPen(TitleColour);
    painter->drawText(QPoint(left, r.top() + Margin + titleMetrics.ascent()),
                      titleMetrics.elidedText(index.data().toString(), Qt::ElideRight, right - left));

    const QFontMetrics metrics(option.font);
    painter->setPen(ExcerptColour);
    drawExcerpt(painter,
                QPoint(left, r.top() + Margin + titleMetrics.height() + 2 + metrics.ascent()), right,
                index.data(SearchResultModel::ExcerptRole).toString(),
                index.data(SearchResultModel::BoldRole).toList(), option.font);
    painter->restore();
}

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QFont titleFont = option.font;
    titleFont.setBold(true);
    return {200, Margin * 2 + QFontMetrics(titleFont).height() + 2 + QFontMetrics(option.font).height()};
}
