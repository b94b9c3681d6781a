#include "todopage.h"

#include "databinding.h"
#include "dblineedit.h"
#include "dbf.h"
#include "formatbar.h"
#include "keyboardcues.h"
#include "pagemode.h"
#include "pagewidgets.h"
#include "readablecolours.h"
#include "recordactions.h"
#include "recordbar.h"
#include "recordlist.h"
#include "rxdbrichedit.h"
#include "trashwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

namespace {

constexpr int TitleWidth = 80; // characters of the TITRE field
constexpr int TitleListGap = 8;

} // namespace

TodoPage::TodoPage(TDbf &Dbfmemo, FormatActions &format, DeleteQuestion askDelete, QWidget *parent)
    : QWidget(parent), m_table(Dbfmemo), m_askDelete(std::move(askDelete))
{
    setObjectName(QStringLiteral("PageMemo"));
    m_source = new TDataSource(&m_table, this);
    m_source->setObjectName(QStringLiteral("DataSource1"));
    m_source->setAutoEdit(true);

    m_actions = new RecordActions(m_table, 1, this);
    m_recordBar = new RecordBar(*m_actions, ToolBar1Layout, this);
    m_recordBar->move(0, 0);
    setupTitleList();
    setupTitle();
    setupText(format);
    m_actions->attachTo(this);
    connect(TrashWindow::attach(m_table, TrashWindow::Notes, this, m_recordBar), &TrashWindow::tableChanged,
            this, &TodoPage::RebuildTitleList);
    travelParts(this, {m_recordBar, m_formatBar});

    m_table.BeforeDelete = [this](TDbf &table) { DbfmemoBeforeDelete(table); };
    m_table.AfterScroll = [this](TDbf &table) { DbfmemoAfterScroll(table); };
    m_table.AfterPost = [this](TDbf &) { RebuildTitleList(); };
    m_table.AfterDelete = [this](TDbf &) { RebuildTitleList(); };
}

TodoPage::~TodoPage()
{
    // The formatting commands may outlive the page; they must not hear the editor dying.
    m_editor->blockSignals(true);
    m_table.BeforeDelete = nullptr;
    m_table.AfterScroll = nullptr;
    m_table.AfterPost = nullptr;
    m_table.AfterDelete = nullptr;
}

void TodoPage::setupTitleList()
{
    QStringListModel *model = nullptr;
    const ColourPair info = infoColours();
    m_titles = placeEntryList(m_recordBar, "ComboBoxTitres",
                              {m_recordBar->contentRight() + TitleListGap, 3, 204, 21},
                              info.background, info.text, &model);
    m_titles->lineEdit()->setMaxLength(TitleWidth);
    nameField(m_titles, "LabelTitres1", "Liste des notes");
    m_titleList = new RecordList(m_titles, model, m_table, [](TDbf &table) {
        TDbfField *title = table.findField("TITRE");
        return RecordList::Entry{title ? QString::fromStdString(title->asString()) : QString(), {}};
    });
    // Only the user's own picks move to a note, never the page's updates.
    connect(m_titles, &QComboBox::activated, m_titleList, &RecordList::pick);
}

void TodoPage::setupTitle()
{
    m_title = new DBLineEdit(this);
    m_title->setObjectName(QStringLiteral("DBEdit1"));
    m_title->setGeometry(120, 33, 281, 19);
    m_title->setInputLimit(TitleWidth);
    setReadableColours(m_title, QPalette::Base, Qt::white);
    m_title->setDataSource(m_source);
    m_title->setDataField(QStringLiteral("TITRE"));
    nameField(m_title, "LabelTitre1", "Titre de la note");
}

void TodoPage::setupText(FormatActions &format)
{
    m_formatBar = new FormatBar(1, format, this);
    m_formatBar->move(32, 57);
    m_editor = new TRxDBRichEdit(this);
    m_editor->setObjectName(QStringLiteral("editor1"));
    m_editor->setGeometry(40, 96, 641, 265);
    m_editor->setDataField(QStringLiteral("MEMO"));
    m_editor->setDataSource(m_source);
    format.setEditor(PageMode::TodoEditor, m_editor);
    nameField(m_editor, "LabelTexte1", "Texte de la note");
    leaveWithCtrlTab(m_editor);
}

void TodoPage::postPendingEdit()
{
    if (m_table.active())
        m_table.checkBrowseMode();
}

void TodoPage::DbfmemoBeforeDelete(TDbf &)
{
    confirmDelete(m_askDelete);
}

void TodoPage::DbfmemoAfterScroll(TDbf &table)
{
    if (m_titleList->rebuilding() || table.state() != TDataSetState::dsBrowse)
        return;
    m_titleList->selectCurrent();
}

void TodoPage::RebuildTitleList()
{
    m_titleList->rebuild();
}

void TodoPage::setListLocale(const QLocale &locale)
{
    m_titleList->setLocale(locale);
}

const std::vector<int> &TodoPage::titleRecords() const
{
    return m_titleList->records();
}
