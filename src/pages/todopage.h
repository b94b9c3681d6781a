// The to-do page (`PageMemo`): one note of memo.dbf at a time, its title in `DBEdit1` and its
// formatted text in `editor1`, walked and edited with the record bar `ToolBar1` and formatted
// with `ToolBar2`. On the record bar, the title list `ComboBoxTitres` holds every note's title,
// sorted; picking one shows that note.
//
// The page binds to `Dbfmemo` through its own data source `DataSource1` (automatic edit) and
// installs `DbfmemoBeforeDelete` on the table: every delete first asks the confirmation question,
// and anything but "Oui" abandons it silently. The title list is rebuilt when the page is
// selected, after every post and after every delete, and follows the current note. Its editor
// is the formatting commands' editor of page mode 0.
//
//     auto *page = new TodoPage(tables.Dbfmemo(), format, [&question] { return question.ask(); }, notebook);
#pragma once

#include "tablepage.h"

#include <vector>

class DBLineEdit;
class QComboBox;
class QLocale;
class RecordList;

class TodoPage : public TablePage
{
    Q_OBJECT
public:
    // The table and the commands must outlive the page.
    TodoPage(TDbf &Dbfmemo, FormatActions &format, DeleteQuestion askDelete,
             QWidget *parent = nullptr);

    TDataSource *DataSource1() const { return m_source; }
    RecordActions *ActionList1() const { return m_actions; } // the record actions with suffix 1
    RecordBar *ToolBar1() const { return m_recordBar; }
    DBLineEdit *DBEdit1() const { return m_title; }
    FormatBar *ToolBar2() const { return m_formatBar; }
    TRxDBRichEdit *editor1() const { return m_editor; }
    QComboBox *ComboBoxTitres() const { return m_titles; }
    // The physical record number of each entry of the title list.
    const std::vector<int> &titleRecords() const;

    // Rebuilds the title list from the table. A closed table leaves it empty.
    void RebuildTitleList();
    // The order of the title list; it takes effect at the next rebuild.
    void setListLocale(const QLocale &locale);

    // Table events; AfterPost and AfterDelete both rebuild the title list.
    void DbfmemoBeforeDelete(TDbf &table);
    void DbfmemoAfterScroll(TDbf &table);

private:
    void setupTitle();
    void setupText(FormatActions &format);
    void setupTitleList();

    DBLineEdit *m_title = nullptr;
    QComboBox *m_titles = nullptr;
    RecordList *m_titleList = nullptr;
};
