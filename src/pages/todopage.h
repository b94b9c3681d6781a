// The to-do page (`PageMemo`): one note of memo.dbf at a time, its title in `DBEdit1` and its
// formatted text in `editor1`, walked and edited with the record bar `ToolBar1` and formatted
// with `ToolBar2`.
//
// The page binds to `Dbfmemo` through its own data source `DataSource1` (automatic edit) and
// installs `DbfmemoBeforeDelete` on the table: every delete first asks the confirmation question,
// and anything but "Oui" abandons it silently. Its editor is the formatting commands' editor of
// page mode 0.
//
//     auto *page = new TodoPage(tables.Dbfmemo(), format, [&question] { return question.ask(); }, notebook);
#pragma once

#include "deletequestion.h"

#include <QWidget>

class DBLineEdit;
class FormatActions;
class FormatBar;
class RecordActions;
class RecordBar;
class TDataSource;
class TDbf;
class TRxDBRichEdit;

class TodoPage : public QWidget
{
    Q_OBJECT
public:
    // The table and the commands must outlive the page.
    TodoPage(TDbf &Dbfmemo, FormatActions &format, DeleteQuestion askDelete,
             QWidget *parent = nullptr);
    ~TodoPage() override;

    TDbf &table() const { return m_table; }
    TDataSource *DataSource1() const { return m_source; }
    RecordActions *ActionList1() const { return m_actions; } // the record actions with suffix 1
    RecordBar *ToolBar1() const { return m_recordBar; }
    DBLineEdit *DBEdit1() const { return m_title; }
    FormatBar *ToolBar2() const { return m_formatBar; }
    TRxDBRichEdit *editor1() const { return m_editor; }

    // Ends an edit or insert in progress as a move would: the controls write what they hold,
    // then a changed record is posted and an unchanged one cancelled.
    void postPendingEdit();

    // The table's BeforeDelete: throws SilentAbort unless the user answers yes.
    void DbfmemoBeforeDelete(TDbf &table);

private:
    void setupTitle();
    void setupText(FormatActions &format);

    TDbf &m_table;
    DeleteQuestion m_askDelete;
    TDataSource *m_source = nullptr;
    RecordActions *m_actions = nullptr;
    RecordBar *m_recordBar = nullptr;
    DBLineEdit *m_title = nullptr;
    FormatBar *m_formatBar = nullptr;
    TRxDBRichEdit *m_editor = nullptr;
};
