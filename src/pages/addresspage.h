// The address book page (`PageAdresses`): one card of adbook.dbf at a time in eleven bound
// single-line fields and the notes (`DBMemo1`), the record bar `ToolBar5` and, on that bar, the
// name list `ComboBox3` with one entry ("first name name") per card, sorted by name and first
// name, in which typing finds a card (a RecordList).
//
// The table has no declared fields: a control whose field the file lacks is shown empty and
// disabled, the others work. The name list is rebuilt when the page is selected, after every
// post and after every delete.
//
//     auto *page = new AddressPage(tables.Dbfadbook(), askDelete, notebook);
//     page->RebuildNameList();
#pragma once

#include "linkopener.h"
#include "tablepage.h"

#include <vector>

class DBLineEdit;
class DBMemo;
class QComboBox;
class QLocale;
class RecordList;
class QStringListModel;

class AddressPage : public TablePage
{
    Q_OBJECT
public:
    // The table must outlive the page.
    AddressPage(TDbf &Dbfadbook, DeleteQuestion askDelete, QWidget *parent = nullptr);

    TDataSource *DataSource3() const { return m_source; }
    RecordActions *ActionList3() const { return m_actions; } // the record actions with suffix 3
    RecordBar *ToolBar5() const { return m_recordBar; }
    QComboBox *ComboBox3() const { return m_names; }
    DBMemo *DBMemo1() const { return m_notes; }
    // The bound single-line field of `fieldName` ("PRENOM", "NOM", ...), nullptr when none.
    DBLineEdit *fieldEdit(const QString &fieldName) const;
    // The physical record number of each entry of the name list.
    const std::vector<int> &entryRecords() const;
    // The order of the name list; it takes effect at the next rebuild.
    void setListLocale(const QLocale &locale);
    // What opens the e-mail and web addresses (`ButtonEmail`, `ButtonWeb`, Ctrl+click); tests
    // replace it. Empty: the desktop.
    void setLinkOpener(DesktopOpener opener) { m_linkOpener = std::move(opener); }

    // Rebuilds the name list from the table. A closed table leaves it empty.
    void RebuildNameList();

    // Table events; AfterPost and AfterDelete both run DbfadbookAfterDelete.
    void DbfadbookAfterScroll(TDbf &table);
    void DbfadbookBeforeDelete(TDbf &table);
    void DbfadbookAfterDelete(TDbf &table);
    // Entry `index` picked (-1: typed text that is no entry): that entry's card becomes current;
    // with no entry, the first card.
    void ComboBox3Change(int index);

private:
    void setupRecordBar();
    void setupFields();
    void setupLinkButtons();

    QComboBox *m_names = nullptr;
    QStringListModel *m_nameEntries = nullptr;
    RecordList *m_nameList = nullptr;
    DesktopOpener m_linkOpener;
    std::vector<DBLineEdit *> m_fields;
    DBMemo *m_notes = nullptr;
};
