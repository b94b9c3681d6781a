#include "tablepage.h"

#include "databinding.h"
#include "dbf.h"
#include "formatbar.h"
#include "keyboardcues.h"
#include "recordactions.h"
#include "recordbar.h"
#include "rxdbrichedit.h"

TablePage::TablePage(TDbf &table, DeleteQuestion askDelete, const Names &names, QWidget *parent)
    : QWidget(parent), m_table(table), m_askDelete(std::move(askDelete))
{
    setObjectName(QLatin1String(names.page));
    m_source = new TDataSource(&m_table, this);
    m_source->setObjectName(QLatin1String(names.source));
    m_source->setAutoEdit(true);
    m_actions = new RecordActions(m_table, names.actionSuffix, this);
    m_recordBar = new RecordBar(*m_actions, names.bar, this);
    m_recordBar->move(0, 0);
}

TablePage::~TablePage()
{
    // The formatting commands may outlive the page; they must not hear the editor dying.
    if (m_editor)
        m_editor->blockSignals(true);
    m_table.AfterScroll = nullptr;
    m_table.BeforeDelete = nullptr;
    m_table.AfterPost = nullptr;
    m_table.AfterDelete = nullptr;
}

void TablePage::finishSetup(TrashWindow::Kind trash, const QList<QWidget *> &bars, std::function<void()> rebuild)
{
    m_actions->attachTo(this);
    connect(TrashWindow::attach(m_table, trash, this, m_recordBar), &TrashWindow::tableChanged, this,
            std::move(rebuild));
    travelParts(this, bars);
}

void TablePage::placeEditor(FormatActions &format, int barSuffix, QPoint barAt, int mode, const char *name,
                            QRect geometry, const char *field)
{
    m_formatBar = new FormatBar(barSuffix, format, this);
    m_formatBar->move(barAt);
    m_editor = new TRxDBRichEdit(this);
    m_editor->setObjectName(QLatin1String(name));
    m_editor->setGeometry(geometry);
    m_editor->setDataField(QLatin1String(field));
    m_editor->setDataSource(m_source);
    format.setEditor(mode, m_editor);
    leaveWithCtrlTab(m_editor);
}

void TablePage::postPendingEdit()
{
    if (m_table.active())
        m_table.checkBrowseMode();
}
