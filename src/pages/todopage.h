// The to-do page (`PageMemo`): one note of memo.dbf at a time, its title in `DBEdit1` and its
// formatted text in `editor1`, walked and edited with the record bar `ToolBar1` and formatted
// with `ToolBar2`.
//
// The page binds to the main window's `Dbfmemo` through its own data source `DataSource1`
// (automatic edit) and installs `DbfmemoBeforeDelete` on the table: every delete first asks the
// confirmation question, and anything but "Oui" (6) abandons it silently.
//
//     auto *page = new TodoPage(*Dbfmemo, [] { return Avertissement->ask(); }, notebook);
#pragma once

#include <QWidget>
#include <functional>

class DBLineEdit;
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
    // Shows the delete question and returns the answer; 6 means yes.
    using DeleteQuestion = std::function<int()>;
    static constexpr int AnswerYes = 6;

    // The table must outlive the page. Without a question every delete is refused.
    TodoPage(TDbf &Dbfmemo, DeleteQuestion askDelete, QWidget *parent = nullptr);
    ~TodoPage() override;

    TDbf &table() const { return m_table; }

    TDataSource *DataSource1 = nullptr;
    RecordActions *ActionList1 = nullptr; // the record actions with suffix 1
    RecordBar *ToolBar1 = nullptr;
    DBLineEdit *DBEdit1 = nullptr;
    FormatBar *ToolBar2 = nullptr;
    TRxDBRichEdit *editor1 = nullptr;

    // The table's BeforeDelete: throws SilentAbort unless the user answers yes.
    void DbfmemoBeforeDelete(TDbf &table);

private:
    void setupTitle();

    TDbf &m_table;
    DeleteQuestion m_askDelete;
};
