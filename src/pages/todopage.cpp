#include "todopage.h"

#include "dblineedit.h"
#include "dbf.h"
#include "pagemode.h"
#include "pagewidgets.h"
#include "readablecolours.h"
#include "formatbar.h"
#include "recordbar.h"
#include "recordlist.h"
#include "rxdbrichedit.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

namespace {

constexpr int TitleWidth = 80; // characters of the TITRE field
constexpr int TitleListGap = 8;

} // namespace

TodoPage::TodoPage(TDbf &Dbfmemo, FormatActions &format, DeleteQuestion askDelete, QWidget *parent)
    : TablePage(Dbfmemo, std::move(askDelete), {"PageMemo", "DataSource1", 1, ToolBar1Layout}, parent)
{
    setupTitleList();
    setupTitle();
    setupText(format);
    finishSetup(TrashWindow::Notes, {m_recordBar, m_formatBar}, [this] { RebuildTitleList(); });

    m_table.BeforeDelete = [this](TDbf &table) { DbfmemoBeforeDelete(table); };
    m_table.AfterScroll = [this](TDbf &table) { DbfmemoAfterScroll(table); };
    m_table.AfterPost = [this](TDbf &) { RebuildTitleList(); };
    m_table.AfterDelete = [this](TDbf &) { RebuildTitleList(); };
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
    placeEditor(format, 1, {32, 57}, PageMode::TodoEditor, "editor1", {40, 96, 641, 265}, "MEMO");
    nameField(m_editor, "LabelTexte1", "Texte de la note");
}

void TodoPage::DbfmemoBeforeDelete(TDbf &)
{
    askDelete();
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
