// What the to-do, information and address pages share: a table bound through the page's own
// data source (automatic edit), its record actions on a record bar at the top, the trash and
// the F6 travel wired once the page has its controls, the delete question, and the table's
// events released when the page goes.
//
//     TodoPage::TodoPage(...) : TablePage(Dbfmemo, std::move(askDelete), {"PageMemo", "DataSource1", 1, ToolBar1Layout}, parent)
//     {
//         ...its own controls...
//         finishSetup(TrashWindow::Notes, {m_recordBar, m_formatBar}, [this] { RebuildTitleList(); });
//     }
#pragma once

#include "deletequestion.h"
#include "trashwindow.h"

#include <QList>
#include <QWidget>

#include <functional>

class FormatActions;
class FormatBar;
class RecordActions;
class RecordBar;
struct RecordBarLayout;
class TDataSource;
class TDbf;
class TRxDBRichEdit;

class TablePage : public QWidget
{
    Q_OBJECT
public:
    struct Names
    {
        const char *page;
        const char *source;
        int actionSuffix;
        const RecordBarLayout &bar;
    };

    TDbf &table() const { return m_table; }

    // Ends an edit or insert in progress as a move would: the controls write what they hold,
    // then a changed record is posted and an unchanged one cancelled.
    void postPendingEdit();

protected:
    // The table must outlive the page.
    TablePage(TDbf &table, DeleteQuestion askDelete, const Names &names, QWidget *parent);
    ~TablePage() override;

    // Once the page's controls stand: the record actions reach them, the trash sits on the
    // record bar and `rebuild` runs after it changed the table, F6 reaches `bars`.
    void finishSetup(TrashWindow::Kind trash, const QList<QWidget *> &bars, std::function<void()> rebuild);
    // The formatting bar `barSuffix` at `barAt` and the rich-text editor `name` bound to `field`,
    // the commands' editor of page mode `mode`.
    void placeEditor(FormatActions &format, int barSuffix, QPoint barAt, int mode, const char *name,
                     QRect geometry, const char *field);
    // The BeforeDelete of the page's table.
    void askDelete() const { confirmDelete(m_askDelete); }

    TDbf &m_table;
    TDataSource *m_source = nullptr;
    RecordActions *m_actions = nullptr;
    RecordBar *m_recordBar = nullptr;
    FormatBar *m_formatBar = nullptr;
    TRxDBRichEdit *m_editor = nullptr;

private:
    DeleteQuestion m_askDelete;
};
