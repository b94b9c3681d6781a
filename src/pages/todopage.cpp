#include "todopage.h"

#include "databinding.h"
#include "dblineedit.h"
#include "dbf.h"
#include "recordactions.h"
#include "recordbar.h"
#include "richtextpage.h"
#include "rxdbrichedit.h"

namespace {

constexpr int TitleWidth = 80; // characters of the TITRE field

} // namespace

TodoPage::TodoPage(TDbf &Dbfmemo, DeleteQuestion askDelete, QWidget *parent)
    : QWidget(parent), m_table(Dbfmemo), m_askDelete(std::move(askDelete))
{
    setObjectName(QStringLiteral("PageMemo"));
    DataSource1 = new TDataSource(&m_table, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setAutoEdit(true);

    ActionList1 = new RecordActions(m_table, 1, this);
    ToolBar1 = new RecordBar(*ActionList1, this);
    ToolBar1->setGeometry(0, 0, 705, 28);
    setupTitle();

    const RichTextPage text = placeRichTextPage(this, 1, DataSource1);
    ToolBar2 = text.bar;
    editor1 = text.editor;

    m_table.BeforeDelete = [this](TDbf &table) { DbfmemoBeforeDelete(table); };
}

TodoPage::~TodoPage()
{
    m_table.BeforeDelete = nullptr;
}

void TodoPage::setupTitle()
{
    DBEdit1 = new DBLineEdit(this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setGeometry(120, 33, 281, 19);
    DBEdit1->setMaxLength(TitleWidth);
    QPalette palette = DBEdit1->palette();
    palette.setColor(QPalette::Base, Qt::white);
    DBEdit1->setPalette(palette);
    DBEdit1->setDataSource(DataSource1);
    DBEdit1->setDataField(QStringLiteral("TITRE"));
}

void TodoPage::DbfmemoBeforeDelete(TDbf &)
{
    const int answer = m_askDelete ? m_askDelete() : 0;
    if (answer != AnswerYes)
        throw SilentAbort();
}
