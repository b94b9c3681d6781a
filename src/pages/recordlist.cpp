#include "recordlist.h"

#include "databinding.h"
#include "dbf.h"
#include "pagewidgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

#include <algorithm>

RecordList::RecordList(QComboBox *list, QStringListModel *model, TDbf &table, Describe describe)
    : QObject(list), m_list(list), m_model(model), m_table(table), m_describe(std::move(describe))
{
    // Only the person's own keystrokes look for a record, never the page's updates.
    connect(m_list->lineEdit(), &QLineEdit::textEdited, this, &RecordList::findAsTyped);
}

void RecordList::rebuild()
{
    // The post below rebuilds through AfterPost; this rebuild does the work once.
    if (m_rebuilding)
        return;
    const QString shown = m_list->currentText();
    if (!m_table.active()) {
        m_records.clear();
        m_texts.clear();
        m_sortKeys.clear();
        showEntries(m_list, m_model, {}, -1, shown);
        return;
    }
    m_rebuilding = true;
    TBookmark bookmark;
    std::vector<Entry> walked;
    std::vector<int> walkedRecords;
    try {
        // A pending change is posted before the list is emptied, so no record is listed twice.
        m_table.checkBrowseMode();
        bookmark = m_table.getBookmark();
        ControlsDisabled still(m_table);
        for (m_table.first(); !m_table.eof(); m_table.next()) {
            walked.push_back(m_describe(m_table));
            walkedRecords.push_back(m_table.recNo());
        }
        still.enable();
    } catch (...) {
        m_rebuilding = false;
        throw;
    }
    m_rebuilding = false;

    QStringList keys;
    for (const Entry &entry : walked)
        keys << (entry.sortKey.isEmpty() ? entry.text : entry.sortKey);
    QStringList texts;
    m_records.clear();
    m_texts.clear();
    m_sortKeys.clear();
    for (int at : sortedOrder(keys, m_locale)) {
        texts << walked[size_t(at)].text;
        m_records.push_back(walkedRecords[size_t(at)]);
        m_texts << foldForFind(walked[size_t(at)].text);
        m_sortKeys << foldForFind(keys[at]);
    }
    showEntries(m_list, m_model, texts, -1, texts.isEmpty() ? shown : m_describe(m_table).text);
    if (bookmark) {
        m_table.gotoBookmark(bookmark);
        m_table.freeBookmark(bookmark);
        selectCurrent();
    }
}

void RecordList::selectCurrent()
{
    const auto at = std::find(m_records.begin(), m_records.end(), m_table.recNo());
    m_list->setCurrentIndex(at == m_records.end() ? -1 : int(at - m_records.begin()));
    showBeginning(m_list);
    m_typed.clear();
}

void RecordList::pick(int index)
{
    if (!m_table.active())
        return;
    const bool picked = index >= 0 && size_t(index) < m_records.size();
    const int record = picked ? m_records[size_t(index)] : 0;
    if (record == m_table.recNo())
        return;
    // Moving posts a pending change first, whose rebuild may reorder the list; the record number
    // taken above still names the record.
    m_table.setRecNo(record);
    if (picked)
        selectCurrent();
}

int RecordList::find(const QString &typed) const
{
    const QString key = foldForFind(typed);
    if (key.isEmpty())
        return -1;
    for (const QStringList *column : {&m_texts, &m_sortKeys})
        for (int i = 0; i < column->size(); ++i)
            if ((*column)[i].startsWith(key))
                return i;
    return -1;
}

// Each letter makes the first record it matches current. While the letters lead an entry, the
// rest of that entry shows selected after them, so the next letter simply replaces it; a
// deletion never brings a completion back.
void RecordList::findAsTyped(const QString &typed)
{
    const bool deleting = typed.size() <= m_typed.size() && m_typed.startsWith(typed);
    const int entry = find(typed);
    if (entry < 0) {
        m_typed = typed; // nothing matches: the record stays, and so does the text
        return;
    }
    pick(entry);
    selectCurrent();
    QLineEdit *edit = m_list->lineEdit();
    const int shownAt = m_list->currentIndex();
    const QString shown = shownAt >= 0 ? m_list->itemText(shownAt) : QString();
    if (!deleting && foldForFind(shown).startsWith(foldForFind(typed))) {
        edit->setText(shown);
        edit->setSelection(int(shown.size()), int(typed.size() - shown.size()));
    } else {
        edit->setText(typed);
    }
    m_typed = typed;
}
