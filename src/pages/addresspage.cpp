#include "addresspage.h"

#include "trashwindow.h"
#include "databinding.h"
#include "dblineedit.h"
#include "dbmemo.h"
#include "dbf.h"
#include "pagewidgets.h"
#include "recordactions.h"
#include "recordbar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

#include <algorithm>

namespace {

const QColor FieldColour(192, 220, 192);
const QColor Lime(0, 255, 0);
const QColor Maroon(128, 0, 0);

constexpr int NameListGap = 8;

struct Card
{
    const char *label;
    const char *caption;
    QPoint labelAt;
    const char *edit;
    const char *field;
    QRect geometry;
    int inputLimit; // 0: the width of the field
};

const Card Cards[] = {
    {"Label12", "Prénom : ", {16, 40}, "DBEdit4", "PRENOM", {68, 38, 121, 19}, 35},
    {"Label13", "Nom : ", {240, 40}, "DBEdit5", "NOM", {280, 37, 185, 19}, 35},
    {"Label14", "Adresse : ", {16, 72}, "DBEdit6", "ADRESSE", {68, 70, 397, 19}, 120},
    {"Label15", "Ville  : ", {16, 96}, "DBEdit7", "VILLE", {69, 94, 121, 19}, 0},
    {"Label16", "Code postal : ", {200, 96}, "DBEdit8", "CP", {267, 94, 62, 19}, 8},
    {"Label17", "Pays : ", {336, 96}, "DBEdit9", "PAYS", {379, 94, 121, 19}, 0},
    {"Label18", "Téléphone : ", {16, 128}, "DBEdit10", "TEL", {80, 125, 89, 19}, 20},
    {"Label19", "Fax : ", {182, 127}, "DBEdit11", "FAX", {212, 125, 93, 19}, 20},
    {"Label20", "Mobile : ", {320, 126}, "DBEdit14", "MOBILE", {368, 125, 97, 19}, 20},
    {"Label21", "Email : ", {48, 168}, "DBEdit12", "EMAIL", {104, 166, 217, 19}, 120},
    {"Label22", "Site web : ", {48, 192}, "DBEdit13", "WEB", {104, 190, 321, 19}, 120},
};

QString fieldText(TDbf &table, int index)
{
    return index < table.fieldCount() ? QString::fromStdString(table.field(index).asString())
                                      : QString();
}

QString namedText(TDbf &table, const char *name)
{
    TDbfField *field = table.findField(name);
    return field ? QString::fromStdString(field->asString()) : QString();
}

} // namespace

AddressPage::AddressPage(TDbf &Dbfadbook, DeleteQuestion askDelete, QWidget *parent)
    : QWidget(parent), m_table(Dbfadbook), m_askDelete(std::move(askDelete))
{
    setObjectName(QStringLiteral("PageAdresses"));
    m_source = new TDataSource(&m_table, this);
    m_source->setObjectName(QStringLiteral("DataSource3"));
    m_source->setAutoEdit(true);
    setupRecordBar();
    setupFields();
    m_actions->attachTo(this);
    connect(TrashWindow::attach(m_table, TrashWindow::Cards, this, m_recordBar), &TrashWindow::tableChanged,
            this, &AddressPage::RebuildNameList);

    m_table.AfterScroll = [this](TDbf &table) { DbfadbookAfterScroll(table); };
    m_table.BeforeDelete = [this](TDbf &table) { DbfadbookBeforeDelete(table); };
    m_table.AfterPost = [this](TDbf &table) { DbfadbookAfterDelete(table); };
    m_table.AfterDelete = [this](TDbf &table) { DbfadbookAfterDelete(table); };
}

AddressPage::~AddressPage()
{
    m_table.AfterScroll = nullptr;
    m_table.BeforeDelete = nullptr;
    m_table.AfterPost = nullptr;
    m_table.AfterDelete = nullptr;
}

void AddressPage::setupRecordBar()
{
    m_actions = new RecordActions(m_table, 3, this);
    m_recordBar = new RecordBar(*m_actions, ToolBar5Layout, this);
    m_recordBar->move(0, 0);

    const int left = m_recordBar->contentRight() + NameListGap;
    m_names = placeEntryList(m_recordBar, "ComboBox3", {left, 4, 204, 21}, Lime, Maroon, &m_nameEntries);
    // Only the user's own picks and keystrokes move to a card, never the page's updates.
    connect(m_names, &QComboBox::activated, this, &AddressPage::ComboBox3Change);
    connect(m_names->lineEdit(), &QLineEdit::textEdited, this, [this](const QString &text) {
        ComboBox3Change(m_names->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    });
}

void AddressPage::setupFields()
{
    for (const Card &card : Cards) {
        placeLabel(this, card.label, card.caption, card.labelAt);
        m_fields.push_back(placeBoundField(this, card.edit, m_source, card.field, card.geometry,
                                           card.inputLimit, FieldColour));
    }
    m_notes = new DBMemo(this);
    m_notes->setObjectName(QStringLiteral("DBMemo1"));
    m_notes->setGeometry(48, 216, 609, 153);
    QPalette palette = m_notes->palette();
    palette.setColor(QPalette::Base, FieldColour);
    m_notes->setPalette(palette);
    m_notes->setDataSource(m_source);
    m_notes->setDataField(QStringLiteral("NOTES"));
}

DBLineEdit *AddressPage::fieldEdit(const QString &fieldName) const
{
    for (DBLineEdit *edit : m_fields)
        if (edit->dataField().compare(fieldName, Qt::CaseInsensitive) == 0)
            return edit;
    return nullptr;
}

void AddressPage::postPendingEdit()
{
    if (m_table.active())
        m_table.checkBrowseMode();
}

QString AddressPage::currentName() const
{
    return namedText(m_table, "PRENOM") + QLatin1Char(' ') + namedText(m_table, "NOM");
}

void AddressPage::RebuildNameList()
{
    // The post below rebuilds through AfterPost; this rebuild does the work once.
    if (m_rebuilding)
        return;
    const QString shown = m_names->currentText();
    if (!m_table.active()) {
        m_entryRecords.clear();
        showEntries(m_names, m_nameEntries, {}, -1, shown);
        return;
    }
    m_rebuilding = true;
    TBookmark bookmark;
    try {
        // A pending change is posted before the list is emptied, so no card is listed twice.
        m_table.checkBrowseMode();
        bookmark = m_table.getBookmark();
        QStringList names;
        std::vector<int> records;
        {
            ControlsDisabled still(m_table);
            for (m_table.first(); !m_table.eof(); m_table.next()) {
                names << fieldText(m_table, 0) + QLatin1Char(' ') + fieldText(m_table, 1);
                records.push_back(m_table.recNo());
            }
            still.enable();
        }
        m_entryRecords = std::move(records);
        showEntries(m_names, m_nameEntries, names, -1, names.isEmpty() ? shown : currentName());
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

void AddressPage::selectCurrentCard()
{
    const auto at = std::find(m_entryRecords.begin(), m_entryRecords.end(), m_table.recNo());
    m_names->setCurrentIndex(at == m_entryRecords.end() ? -1 : int(at - m_entryRecords.begin()));
}

void AddressPage::DbfadbookAfterScroll(TDbf &table)
{
    if (m_rebuilding || table.state() != TDataSetState::dsBrowse)
        return;
    selectCurrentCard();
}

void AddressPage::DbfadbookBeforeDelete(TDbf &)
{
    confirmDelete(m_askDelete);
}

void AddressPage::DbfadbookAfterDelete(TDbf &)
{
    RebuildNameList();
}

void AddressPage::ComboBox3Change(int index)
{
    if (!m_table.active())
        return;
    const bool picked = index >= 0 && size_t(index) < m_entryRecords.size();
    const int record = picked ? m_entryRecords[size_t(index)] : 0;
    if (record == m_table.recNo())
        return;
    // Moving posts a pending change first, whose rebuild may renumber the list; the record
    // number taken above still names the card.
    m_table.setRecNo(record);
    if (picked)
        selectCurrentCard();
}
