#include "infospage.h"

#include "dblineedit.h"
#include "dbf.h"
#include "pagemode.h"
#include "pagewidgets.h"
#include "readablecolours.h"
#include "formatbar.h"
#include "recordbar.h"
#include "rxdbrichedit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QStringListModel>

#include <algorithm>

namespace {

constexpr int TextWidth = 80; // characters of CATEG and TITRE


QString fieldText(TDbf &table, int index)
{
    return index < table.fieldCount() ? QString::fromStdString(table.field(index).asString())
                                      : QString();
}

} // namespace

// What one walk through the table found.
struct InfosPage::Lists
{
    QStringList categories;
    std::vector<Sheet> sheets; // in the title list's order
    bool walked = false;       // the table had a sheet
    bool lastWasNew = false;   // the last sheet walked brought a category not met before
    QString lastTitle;
};

InfosPage::InfosPage(TDbf &Dbfinfos, FormatActions &format, DeleteQuestion askDelete,
                     QWidget *parent)
    : TablePage(Dbfinfos, std::move(askDelete), {"PageInfos", "DataSource2", 2, ToolBar3Layout}, parent)
{
    setupFields();
    setupLists();
    setupText(format);
    // Row by row, as the page reads: category and its list, then title and its list.
    setTabOrder(m_category, m_categories);
    setTabOrder(m_categories, m_title);
    setTabOrder(m_title, m_titles);
    setTabOrder(m_titles, m_editor);
    finishSetup(TrashWindow::Sheets, {m_recordBar, m_formatBar}, [this] { RebuildInfoLists(); });

    m_table.AfterScroll = [this](TDbf &table) { DbfinfosAfterScroll(table); };
    m_table.BeforeDelete = [this](TDbf &table) { DbfinfosBeforeDelete(table); };
    m_table.AfterPost = [this](TDbf &table) { DbfinfosAfterPost(table); };
    m_table.AfterDelete = [this](TDbf &table) { DbfinfosAfterDelete(table); };
}

void InfosPage::setupFields()
{
    QLabel *category = placeLabel(this, "Label7", "Catégorie : ", {13, 36});
    m_category = placeBoundField(this, "DBEdit3", m_source, "CATEG", {85, 33, 180, 19}, TextWidth, Qt::white);
    category->setBuddy(m_category);
    QLabel *title = placeLabel(this, "Label5", "Titre : ", {11, 71});
    m_title = placeBoundField(this, "DBEdit2", m_source, "TITRE", {86, 67, 179, 19}, TextWidth, Qt::white);
    title->setBuddy(m_title);
}

void InfosPage::setupLists()
{
    const ColourPair info = infoColours();
    m_categories = placeEntryList(this, "ComboBox1", {304, 33, 161, 21}, info.background, info.text,
                                  &m_categoryEntries);
    m_categoryEntries->setStringList({QString::fromLatin1(AllCategories)});
    showListText(m_categories, QString());
    nameField(m_categories, "LabelCategories", "Liste des catégories");

    m_titles = placeEntryList(this, "ComboBox2", {304, 66, 161, 21}, info.background, info.text,
                              &m_titleEntries);
    m_titles->lineEdit()->setMaxLength(TextWidth);
    nameField(m_titles, "LabelTitres2", "Liste des titres");
    // Only the user's own picks and keystrokes jump to a sheet, never the page's updates.
    connect(m_titles, &QComboBox::activated, this, [this] { ComboBox2Change(); });
    connect(m_titles->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox2Change(); });
    connect(m_categories, &QComboBox::activated, this, [this] { ComboBox1Change(); });
    connect(m_categories->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox1Change(); });
}

void InfosPage::setupText(FormatActions &format)
{
    placeEditor(format, 2, {89, 92}, PageMode::InfosEditor, "editor2", {88, 128, 593, 241}, "INFOS");
    placeLabel(this, "Label6", "Information : ", {14, 119})->setBuddy(m_editor);
}

// Its text as the language file last gave it ("items[0]"), which a rebuild keeps.
QString InfosPage::allCategories() const
{
    const QStringList entries = m_categoryEntries->stringList();
    return entries.isEmpty() ? QString::fromLatin1(AllCategories) : entries.first();
}

void InfosPage::RebuildInfoLists()
{
    // The post below rebuilds through AfterPost; this rebuild does the work once.
    if (m_rebuilding)
        return;
    if (!m_table.active()) {
        showEntries(m_categories, m_categoryEntries, {allCategories()}, -1,
                    m_categories->currentText());
        m_sheets.clear();
        showTitleEntries(m_titles->currentText());
        return;
    }
    m_rebuilding = true;
    TBookmark bookmark;
    try {
        // A pending change is posted before the lists are emptied, so no title is ever listed
        // twice; the user then comes back to the sheet being edited.
        m_table.checkBrowseMode();
        bookmark = m_table.getBookmark();
        showLists(walkTable());
    } catch (...) {
        m_rebuilding = false;
        throw;
    }
    m_rebuilding = false;
    if (bookmark) {
        m_table.gotoBookmark(bookmark);
        m_table.freeBookmark(bookmark);
    }
}

// Walks the table from its first sheet without refreshing the bound controls at each sheet.
InfosPage::Lists InfosPage::walkTable()
{
    Lists lists;
    lists.categories << allCategories();
    QSet<QString> known{lists.categories.first()};
    ControlsDisabled still(m_table);
    std::vector<Sheet> walked;
    QStringList titles;
    for (m_table.first(); !m_table.eof(); m_table.next()) {
        lists.walked = true;
        const QString category = fieldText(m_table, 0);
        lists.lastWasNew = !known.contains(category);
        if (lists.lastWasNew) {
            known.insert(category);
            lists.categories << category;
        }
        lists.lastTitle = fieldText(m_table, 1);
        titles << lists.lastTitle;
        walked.push_back({category, lists.lastTitle, m_table.recNo()});
    }
    still.enable();
    for (int at : sortedOrder(titles, m_listLocale))
        lists.sheets.push_back(walked[size_t(at)]);
    return lists;
}

void InfosPage::showLists(const Lists &lists)
{
    const QString categoryText = m_categories->currentText();
    const QString titleText = m_titles->currentText();
    m_sheets = lists.sheets;
    if (!lists.walked) {
        // An empty table leaves both texts as they were.
        showEntries(m_categories, m_categoryEntries, lists.categories, -1, categoryText);
        showTitleEntries(titleText);
        return;
    }
    // "Tous" shows when the last sheet walked brought a new category; otherwise the category
    // list keeps its text.
    if (lists.lastWasNew)
        showEntries(m_categories, m_categoryEntries, lists.categories, 0, lists.categories.first());
    else
        showEntries(m_categories, m_categoryEntries, lists.categories, -1, categoryText);
    showTitleEntries(lists.lastTitle);
}

// The category the title list is narrowed to: the one the category list names exactly; none
// for "Tous" or a text that is no category.
std::optional<QString> InfosPage::chosenCategory() const
{
    const int entry = m_categories->findText(m_categories->currentText(),
                                             Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry <= 0)
        return std::nullopt;
    return m_categories->itemText(entry);
}

void InfosPage::showTitleEntries(const QString &text)
{
    const std::optional<QString> category = chosenCategory();
    QStringList titles;
    m_titleRecords.clear();
    for (const Sheet &sheet : m_sheets)
        if (!category || sheet.category == *category) {
            titles << sheet.title;
            m_titleRecords.push_back(sheet.recNo);
        }
    showEntries(m_titles, m_titleEntries, titles, -1, text);
}

void InfosPage::ComboBox1Change()
{
    showTitleEntries(m_titles->currentText());
}

void InfosPage::showTitle(const QString &title)
{
    showListText(m_titles, title);
}

void InfosPage::DbfinfosAfterScroll(TDbf &table)
{
    if (m_rebuilding || table.state() != TDataSetState::dsBrowse)
        return;
    TDbfField *title = table.findField("TITRE");
    showTitle(title ? QString::fromStdString(title->asString()) : QString());
}

void InfosPage::DbfinfosBeforeDelete(TDbf &)
{
    askDelete();
}

void InfosPage::DbfinfosAfterPost(TDbf &)
{
    RebuildInfoLists();
}

void InfosPage::DbfinfosAfterDelete(TDbf &)
{
    RebuildInfoLists();
}

void InfosPage::ComboBox2Change()
{
    // The entry that the list shows, exactly; typed text that is no entry picks nothing. An
    // entry stands for its own sheet, so a title two categories share finds the right one.
    const int entry = m_titles->findText(m_titles->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry < 0 || size_t(entry) >= m_titleRecords.size() || m_titles->itemText(entry).isEmpty() ||
        !m_table.active())
        return;
    const QString title = m_titles->itemText(entry);
    m_table.gotoBookmark(TBookmark(std::uint32_t(m_titleRecords[size_t(entry)])));
    showTitle(title);
    m_editor->setFocus();
}
