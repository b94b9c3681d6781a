#include "trashwindow.h"

#include "actionbutton.h"
#include "compaction.h"
#include "dbf.h"
#include "pagewidgets.h"
#include "rtfreader.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int RecNoRole = Qt::UserRole;

QLabel *hiddenText(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->hide();
    return label;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, QRect geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

TrashWindow::TrashWindow(TDbf &table, Kind kind, QWidget *parent)
    : QDialog(parent), m_table(table), m_kind(kind)
{
    setObjectName(QStringLiteral("Corbeille"));
    setWindowTitle(QStringLiteral("Corbeille"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(560, 330);
    setupList();
    setupButtons();
    setupTexts();
}

void TrashWindow::setupList()
{
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListeCorbeille"));
    m_list->setGeometry(10, 10, 200, 270);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &TrashWindow::showPreview);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &TrashWindow::BtnRestaurerClick);

    m_preview = new QTextEdit(this);
    m_preview->setObjectName(QStringLiteral("ApercuCorbeille"));
    m_preview->setGeometry(220, 10, 330, 270);
    m_preview->setReadOnly(true);
    m_preview->setFocusPolicy(Qt::ClickFocus);
    nameField(m_list, "LabelListeCorbeille", "Éléments supprimés");
    nameField(m_preview, "LabelApercuCorbeille", "Aperçu");

    // Inside the empty list, where the records would be.
    m_emptyNote = new QLabel(QStringLiteral("La corbeille est vide."), m_list->viewport());
    m_emptyNote->setObjectName(QStringLiteral("LabelVide"));
    m_emptyNote->setGeometry(8, 10, 180, 40);
    m_emptyNote->setWordWrap(true);
    m_emptyNote->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_emptyNote->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TrashWindow::setupButtons()
{
    m_restore = button(this, "BtnRestaurer", QStringLiteral("Restaurer"), {10, 290, 100, 28});
    m_restore->setDefault(true); // Enter restores
    m_remove = button(this, "BtnSupprimer", QStringLiteral("Supprimer définitivement"), {118, 290, 170, 28});
    m_empty = button(this, "BtnVider", QStringLiteral("Vider la corbeille"), {296, 290, 150, 28});
    m_close = button(this, "BtnFermer", QStringLiteral("Fermer"), {454, 290, 96, 28});
    for (QPushButton *b : {m_remove, m_empty, m_close})
        b->setAutoDefault(false);
    connect(m_restore, &QPushButton::clicked, this, &TrashWindow::BtnRestaurerClick);
    connect(m_remove, &QPushButton::clicked, this, &TrashWindow::BtnSupprimerClick);
    connect(m_empty, &QPushButton::clicked, this, &TrashWindow::BtnViderClick);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

void TrashWindow::setupTexts()
{
    m_untitled = hiddenText(this, "LabelModeleSansTitre", QStringLiteral("(sans titre)"));
    m_inUse = hiddenText(this, "LabelModeleOuvert", QStringLiteral("Le carnet est ouvert dans un autre programme"));
    m_removeQuestion = hiddenText(this, "LabelModeleSupprimer", QStringLiteral("  Supprimer définitivement ?  "));
    m_emptyQuestion = hiddenText(this, "LabelModeleVider", QStringLiteral("  Vider la corbeille ?  "));
}

TrashWindow *TrashWindow::attach(TDbf &table, Kind kind, QWidget *page, QWidget *recordBar)
{
    auto *trash = new TrashWindow(table, kind, page);
    auto *open = new QAction(QIcon(QStringLiteral(":/art/rec-trash.svg")), QStringLiteral("Corbeille"), page);
    open->setObjectName(QStringLiteral("ActionCorbeille"));
    open->setToolTip(QStringLiteral("Corbeille"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    open->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    page->addAction(open);
    QObject::connect(open, &QAction::triggered, trash, &TrashWindow::showTrash);
    QToolButton *button = makeActionButton(recordBar, "ToolButtonCorbeille", open, std::nullopt);
    button->move(recordBar->width() - button->width() - 8, (recordBar->height() - button->height()) / 2);
    return trash;
}

void TrashWindow::showTrash()
{
    if (!m_table.active())
        return;
    m_table.checkBrowseMode(); // what is being typed is posted first, as a move would
    refreshList();
    show();
    raise();
    activateWindow();
    m_list->setFocus();
}

QString TrashWindow::titleOf(std::uint32_t recNo) const
{
    QString title;
    if (m_kind == Cards) {
        title = (QString::fromStdString(m_table.storedFieldText(recNo, "PRENOM")) + QLatin1Char(' ') +
                 QString::fromStdString(m_table.storedFieldText(recNo, "NOM")))
                    .trimmed();
    } else {
        title = QString::fromStdString(m_table.storedFieldText(recNo, "TITRE"));
    }
    return title.isEmpty() ? m_untitled->text() : title;
}

// No deletion time is stored with a record; the latest records are the likeliest to have been
// deleted last, so the list runs from the end of the table.
void TrashWindow::refreshList()
{
    m_list->clear();
    std::vector<std::uint32_t> deleted = m_table.active() ? m_table.deletedRecords() : std::vector<std::uint32_t>{};
    std::reverse(deleted.begin(), deleted.end());
    for (std::uint32_t recNo : deleted) {
        auto *item = new QListWidgetItem(titleOf(recNo), m_list);
        item->setData(RecNoRole, recNo);
    }
    const bool any = !deleted.empty();
    m_emptyNote->setVisible(!any);
    m_restore->setEnabled(any);
    m_remove->setEnabled(any);
    m_empty->setEnabled(any);
    if (any)
        m_list->setCurrentRow(0);
    showPreview();
}

void TrashWindow::showPreview()
{
    m_preview->clear();
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.size() != 1 || !m_table.active())
        return;
    const std::uint32_t recNo = selected.front()->data(RecNoRole).toUInt();
    const char *memo = m_kind == Notes ? "MEMO" : m_kind == Sheets ? "INFOS" : "NOTES";
    const std::string bytes = m_table.storedFieldText(recNo, memo);
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (m_kind != Cards) {
        if (!RtfReader::read(view, m_preview->document()))
            RtfReader::readPlainText(view, m_preview->document(), TDbf::ansiCodePage());
        return;
    }
    QString card;
    for (const char *field : {"PRENOM", "NOM", "ADRESSE", "CP", "VILLE", "PAYS", "TEL", "FAX", "MOBILE",
                              "EMAIL", "WEB"}) {
        if (!m_table.findField(field))
            continue;
        const QString value = QString::fromStdString(m_table.storedFieldText(recNo, field));
        if (!value.isEmpty())
            card += value + QLatin1Char('\n');
    }
    QTextDocument notes;
    RtfReader::readAny(view, &notes);
    m_preview->setPlainText(card + notes.toPlainText());
}

std::set<std::uint32_t> TrashWindow::selectedRecords() const
{
    std::set<std::uint32_t> records;
    for (const QListWidgetItem *item : m_list->selectedItems())
        records.insert(item->data(RecNoRole).toUInt());
    return records;
}

void TrashWindow::BtnRestaurerClick()
{
    const std::set<std::uint32_t> chosen = selectedRecords();
    if (chosen.empty())
        return;
    for (std::uint32_t recNo : chosen)
        m_table.undelete(recNo);
    emit tableChanged();
    // The newest of them, first in the list, is the one the person sees.
    m_table.setRecNo(static_cast<int>(*chosen.rbegin()));
    accept();
}

void TrashWindow::BtnSupprimerClick()
{
    const std::set<std::uint32_t> chosen = selectedRecords();
    if (chosen.empty() || !m_ask || m_ask(m_removeQuestion->text()) != AnswerYes)
        return;
    std::set<std::uint32_t> keep;
    for (std::uint32_t recNo : m_table.deletedRecords())
        if (!chosen.count(recNo))
            keep.insert(recNo);
    compact(keep);
}

void TrashWindow::BtnViderClick()
{
    if (m_list->count() == 0 || !m_ask || m_ask(m_emptyQuestion->text()) != AnswerYes)
        return;
    compact({});
}

bool TrashWindow::compact(const std::set<std::uint32_t> &keep)
{
    m_table.checkBrowseMode();
    // Physical numbers close up over the records that go.
    int current = m_table.isEmpty() ? 0 : m_table.recNo();
    int gone = 0;
    for (std::uint32_t recNo : m_table.deletedRecords())
        gone += !keep.count(recNo) && static_cast<int>(recNo) < current;
    const std::string path = m_table.physicalFileName();
    const std::string backup = m_table.filePath() + "backup";
    if (m_release)
        m_release();
    m_table.close();
    bool done = false;
    QString refusal;
    try {
        compactTable(path, backup, [&keep](std::uint32_t recNo) { return keep.count(recNo) > 0; });
        done = true;
    } catch (const ETableInUse &) {
        refusal = m_inUse->text() + QStringLiteral(" (%1)").arg(QFileInfo(QString::fromStdString(path)).fileName());
    } catch (...) {
        m_table.open();
        throw;
    }
    m_table.open();
    if (current > 0)
        m_table.setRecNo(done ? current - gone : current);
    emit tableChanged();
    refreshList();
    if (!done)
        QMessageBox::warning(this, QStringLiteral("Velmora"), refusal);
    return done;
}
