// The personal information page (`PageInfos`): sheets of infos.dbf with a category (`DBEdit3`),
// a title (`DBEdit2`) and a formatted text (`editor2`), the record bar `ToolBar3`, the
// formatting bar `ToolBar4`, and two lists that are not bound to the table: the categories in
// use after "Tous" (`ComboBox1`) and every title, sorted (`ComboBox2`), from which the user
// jumps to a sheet.
//
// The lists are rebuilt when the page is selected, after every post and after every delete.
// A rebuild first ends an edit in progress (posting a changed sheet), so that the post's own
// rebuild never runs inside it, then walks the table with its controls held still and comes
// back to the sheet that was current. While the user browses, the title list shows the current
// title.
//
//     auto *page = new InfosPage(tables.Dbfinfos(), format, askDelete, notebook);
//     page->RebuildInfoLists();
#pragma once

#include "tablepage.h"

#include <QLocale>

#include <optional>
#include <vector>

class DBLineEdit;
class QComboBox;
class QStringListModel;

class InfosPage : public TablePage
{
    Q_OBJECT
public:
    // The first entry of the category list, as designed; the language file may translate it.
    static constexpr const char *AllCategories = "Tous";

    // The table and the commands must outlive the page.
    InfosPage(TDbf &Dbfinfos, FormatActions &format, DeleteQuestion askDelete,
              QWidget *parent = nullptr);

    TDataSource *DataSource2() const { return m_source; }
    RecordActions *ActionList2() const { return m_actions; } // the record actions with suffix 2
    RecordBar *ToolBar3() const { return m_recordBar; }
    DBLineEdit *DBEdit3() const { return m_category; }
    QComboBox *ComboBox1() const { return m_categories; }
    DBLineEdit *DBEdit2() const { return m_title; }
    QComboBox *ComboBox2() const { return m_titles; }
    FormatBar *ToolBar4() const { return m_formatBar; }
    TRxDBRichEdit *editor2() const { return m_editor; }

    // Rebuilds both lists from the table. A closed table leaves them with "Tous" alone.
    void RebuildInfoLists();

    // Table events.
    void DbfinfosAfterScroll(TDbf &table);
    void DbfinfosBeforeDelete(TDbf &table);
    void DbfinfosAfterPost(TDbf &table);
    void DbfinfosAfterDelete(TDbf &table);
    // A title picked or typed: goes to the sheet of that entry (the first of that title in the
    // table's order when the text names several).
    void ComboBox2Change();
    // A category picked or typed: the title list narrows to its sheets; "Tous" lists them all.
    void ComboBox1Change();
    // The order of the title list; it takes effect at the next rebuild.
    void setListLocale(const QLocale &locale) { m_listLocale = locale; }

private:
    struct Sheet
    {
        QString category;
        QString title;
        int recNo;
    };
    struct Lists;
    void setupFields();
    void setupLists();
    void setupText(FormatActions &format);
    Lists walkTable();
    QString allCategories() const;
    void showLists(const Lists &lists);
    void showTitle(const QString &title);
    void showTitleEntries(const QString &text);
    std::optional<QString> chosenCategory() const;

    DBLineEdit *m_category = nullptr;
    QComboBox *m_categories = nullptr;
    QStringListModel *m_categoryEntries = nullptr;
    DBLineEdit *m_title = nullptr;
    QComboBox *m_titles = nullptr;
    QStringListModel *m_titleEntries = nullptr;
    bool m_rebuilding = false;
    std::vector<Sheet> m_sheets;      // every sheet, in the title list's order
    std::vector<int> m_titleRecords;  // the record of each entry shown in the title list
    QLocale m_listLocale;
};
