// The rows of the search window: a model over SearchIndex rows and the delegate that draws each
// one as the page's small picture, the record's title and its excerpt with the matches in bold.
#pragma once

#include "searchindex.h"

#include <QAbstractListModel>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <array>

class SearchResultModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { ExcerptRole = Qt::UserRole + 1, BoldRole, TableRole, RecNoRole };

    // The excerpts of the rows come from `index`, as they are painted.
    explicit SearchResultModel(SearchIndex &index, QObject *parent = nullptr);

    void setRows(std::vector<SearchIndex::Row> rows, const QString &query);
    // Shown for a record without a title.
    void setUntitledText(const QString &text) { m_untitled = text; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    const SearchIndex::Row &described(int row) const;

    SearchIndex &m_index;
    QString m_query;
    mutable std::vector<SearchIndex::Row> m_rows;
    std::array<QPixmap, SearchIndex::TableCount> m_pictures;
    QString m_untitled;
};

class SearchResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
