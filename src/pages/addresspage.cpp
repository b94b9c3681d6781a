#include "addresspage.h"

#include "databinding.h"
#include "dblineedit.h"
#include "dbmemo.h"
#include "dbf.h"
#include "linkopener.h"
#include "pagewidgets.h"
#include "readablecolours.h"
#include "recordbar.h"
#include "recordlist.h"

#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>
#include <QStringListModel>

namespace {

const QColor FieldColour(192, 220, 192);
const QColor Lime(0, 255, 0);
const QColor Maroon(128, 0, 0);

constexpr int NameListGap = 8;
constexpr int LinkButtonGap = 4;

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

} // namespace

AddressPage::AddressPage(TDbf &Dbfadbook, DeleteQuestion askDelete, QWidget *parent)
    : TablePage(Dbfadbook, std::move(askDelete), {"PageAdresses", "DataSource3", 3, ToolBar5Layout}, parent)
{
    setupRecordBar();
    setupFields();
    finishSetup(TrashWindow::Cards, {m_recordBar}, [this] { RebuildNameList(); });

    m_table.AfterScroll = [this](TDbf &table) { DbfadbookAfterScroll(table); };
    m_table.BeforeDelete = [this](TDbf &table) { DbfadbookBeforeDelete(table); };
    m_table.AfterPost = [this](TDbf &table) { DbfadbookAfterDelete(table); };
    m_table.AfterDelete = [this](TDbf &table) { DbfadbookAfterDelete(table); };
}

void AddressPage::setupRecordBar()
{
    const int left = m_recordBar->contentRight() + NameListGap;
    m_names = placeEntryList(m_recordBar, "ComboBox3", {left, 4, 204, 21}, Lime, Maroon, &m_nameEntries);
    // Sorted by name, then first name; the entry reads first name, then name.
    m_nameList = new RecordList(m_names, m_nameEntries, m_table, [](TDbf &table) {
        const QString first = fieldText(table, 0);
        const QString name = fieldText(table, 1);
        return RecordList::Entry{first + QLatin1Char(' ') + name, name + QLatin1Char(' ') + first};
    });
    // Only the user's own picks move to a card, never the page's updates.
    connect(m_names, &QComboBox::activated, this, &AddressPage::ComboBox3Change);
    nameField(m_names, "LabelNoms", "Liste des noms");
}

void AddressPage::setupFields()
{
    for (const Card &card : Cards) {
        QLabel *label = placeLabel(this, card.label, card.caption, card.labelAt);
        m_fields.push_back(placeBoundField(this, card.edit, m_source, card.field, card.geometry,
                                           card.inputLimit, FieldColour));
        label->setBuddy(m_fields.back());
    }
    m_notes = new DBMemo(this);
    m_notes->setObjectName(QStringLiteral("DBMemo1"));
    m_notes->setGeometry(48, 216, 609, 153);
    setReadableColours(m_notes, QPalette::Base, FieldColour);
    m_notes->setDataSource(m_source);
    m_notes->setDataField(QStringLiteral("NOTES"));
    nameField(m_notes, "LabelNotes", "Notes");
    setupLinkButtons();
}

namespace {

// Ctrl+click in a field opens what it holds.
class CtrlClickOpens : public QObject
{
public:
    CtrlClickOpens(QWidget *field, std::function<void()> open) : QObject(field), m_open(std::move(open))
    {
        field->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::ControlModifier))
            return false;
        m_open();
        return true;
    }

private:
    std::function<void()> m_open;
};

} // namespace

// A small button beside the e-mail and web fields opens the address; so does Ctrl+click.
void AddressPage::setupLinkButtons()
{
    const struct
    {
        const char *field;
        const char *name;
        const char *art;
        const char *hint;
    } links[] = {{"EMAIL", "ButtonEmail", "link-mail", "Écrire un message (Ctrl+clic)"},
                 {"WEB", "ButtonWeb", "link-web", "Ouvrir le site (Ctrl+clic)"}};
    for (const auto &link : links) {
        DBLineEdit *edit = fieldEdit(QLatin1String(link.field));
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(link.name));
        button->setGeometry(edit->geometry().right() + 1 + LinkButtonGap, edit->y(), edit->height(),
                            edit->height());
        button->setIcon(QIcon(QStringLiteral(":/art/%1.svg").arg(QLatin1String(link.art))));
        button->setAutoRaise(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setToolTip(QString::fromUtf8(link.hint));
        button->setFocusPolicy(Qt::NoFocus);
        const auto open = [this, edit] { openLink(edit->text(), this, m_linkOpener); };
        connect(button, &QToolButton::clicked, this, open);
        new CtrlClickOpens(edit, open);
        // Nothing to open in an empty field.
        const auto follow = [button, edit] { button->setEnabled(!edit->text().trimmed().isEmpty()); };
        connect(edit, &QLineEdit::textChanged, button, follow);
        follow();
    }
}

DBLineEdit *AddressPage::fieldEdit(const QString &fieldName) const
{
    for (DBLineEdit *edit : m_fields)
        if (edit->dataField().compare(fieldName, Qt::CaseInsensitive) == 0)
            return edit;
    return nullptr;
}

const std::vector<int> &AddressPage::entryRecords() const
{
    return m_nameList->records();
}

void AddressPage::RebuildNameList()
{
    m_nameList->rebuild();
}

void AddressPage::DbfadbookAfterScroll(TDbf &table)
{
    if (m_nameList->rebuilding() || table.state() != TDataSetState::dsBrowse)
        return;
    m_nameList->selectCurrent();
}

void AddressPage::DbfadbookBeforeDelete(TDbf &)
{
    askDelete();
}

void AddressPage::DbfadbookAfterDelete(TDbf &)
{
    RebuildNameList();
}

void AddressPage::ComboBox3Change(int index)
{
    m_nameList->pick(index);
}

void AddressPage::setListLocale(const QLocale &locale)
{
    m_nameList->setLocale(locale);
}
