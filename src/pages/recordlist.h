// A drop-down list of the records of a table (`ComboBoxTitres` on the to-do page, `ComboBox3`
// on the address book): one entry per visible record, sorted in the interface language's order,
// each entry holding its record's physical number. Picking an entry makes that very record
// current, the selection follows the current record, and typing in the list's edit part finds
// a record as the letters come.
//
// The list is rebuilt by its page (page selection, after a post, after a delete). A rebuild first
// ends an edit in progress, so that the post's own rebuild never runs inside it, then walks the
// table with its controls held still and comes back to the record that was current.
//
//     RecordList names(ComboBox3, model, Dbfadbook, [](TDbf &t) {
//         return RecordList::Entry{prenom(t) + ' ' + nom(t), nom(t) + ' ' + prenom(t)};
//     });
//     names.rebuild();
//     Dbfadbook.AfterScroll = [&](TDbf &) { names.selectCurrent(); };
#pragma once

#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QComboBox;
class QStringListModel;
class TDbf;

class RecordList : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QString text;    // what the list shows
        QString sortKey; // what it is sorted by; typing finds it too. Empty: the text.
    };
    // The entry of the table's current record.
    using Describe = std::function<Entry(TDbf &table)>;

    // The list, its model and the table must outlive this object.
    RecordList(QComboBox *list, QStringListModel *model, TDbf &table, Describe describe);

    void setLocale(const QLocale &locale) { m_locale = locale; }
    bool rebuilding() const { return m_rebuilding; }
    // The physical record number of each entry, in the list's order.
    const std::vector<int> &records() const { return m_records; }

    // Fills the list from the table. A table without records leaves the text as it was; a closed
    // one empties the list.
    void rebuild();
    // Selects the entry of the current record, none (and an empty text) when it has none.
    void selectCurrent();
    // Entry `index` picked (-1: none): its record becomes current; a pending edit is posted first,
    // as on any move.
    void pick(int index);
    // The first entry whose text, else whose sort key, begins with `typed`, accents and letter
    // case aside; -1 when none does or `typed` is empty.
    int find(const QString &typed) const;

private:
    void findAsTyped(const QString &typed);

    QComboBox *m_list;
    QStringListModel *m_model;
    TDbf &m_table;
    Describe m_describe;
    QLocale m_locale;
    std::vector<int> m_records;
    QStringList m_texts;    // folded, for find
    QStringList m_sortKeys; // folded, for find
    QString m_typed;        // the letters typed so far, without the completion shown after them
    bool m_rebuilding = false;
};
