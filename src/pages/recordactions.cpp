#include "recordactions.h"

#include "dbf.h"
#include "dblineedit.h"
#include "keyboardcues.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>

namespace {

struct ImageName
{
    int index;
    const char *file;
};

// The record pictures of the image list; 4 to 6 belong to the clipboard buttons.
constexpr ImageName RecordImages[] = {
    {0, "rec-first"},  {1, "rec-prior"}, {2, "rec-next"},    {3, "rec-last"},
    {7, "rec-cancel"}, {8, "rec-post"},  {9, "rec-edit"},    {10, "rec-insert"},
    {11, "rec-delete"},
};

bool isEditing(TDataSetState state)
{
    return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
}

} // namespace

RecordActions::RecordActions(TDbf &dataset, int suffix, QObject *parent)
    : QObject(parent), m_dataset(dataset)
{
    setObjectName(QStringLiteral("ActionList%1").arg(suffix));
    DataSetFirst = makeAction("DataSetFirst", suffix, "&Premier", "Premier", 0);
    DataSetPrior = makeAction("DataSetPrior", suffix, "&Précédent", "Précédent", 1);
    DataSetNext = makeAction("DataSetNext", suffix, "&Suivant", "Suivant", 2);
    DataSetLast = makeAction("DataSetLast", suffix, "&Dernier", "Dernier", 3);
    DataSetCancel = makeAction("DataSetCancel", suffix, "&Annuler", "Annuler", 7);
    DataSetPost = makeAction("DataSetPost", suffix, "&Valider", "Poster", 8);
    DataSetEdit = makeAction("DataSetEdit", suffix, "&Modifier", "Modifier", 9);
    DataSetInsert = makeAction("DataSetInsert", suffix, "&Insertion", "Insertion", 10);
    DataSetDelete = makeAction("DataSetDelete", suffix, "&Supprimer", "Supprimer", 11);
    Abandon = new QAction(QStringLiteral("Abandonner"), this);
    Abandon->setObjectName(QStringLiteral("DataSetAbandon%1").arg(suffix));
    connectOperations();
    setupShortcuts();

    m_listenerId = m_dataset.addDataListener([this](TDataEvent, TDbfField *) { updateEnabled(); });
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &RecordActions::updateEnabled);
    updateEnabled();
}

RecordActions::~RecordActions()
{
    m_dataset.removeDataListener(m_listenerId);
}

QAction *RecordActions::makeAction(const char *baseName, int suffix, const char *caption,
                                   const char *hint, int imageIndex)
{
    auto *action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(QString::fromLatin1(baseName) + QString::number(suffix));
    action->setToolTip(QString::fromUtf8(hint));
    action->setStatusTip(QString::fromUtf8(hint));
    action->setIcon(image(imageIndex));
    action->setProperty("Category", QStringLiteral("Dataset"));
    action->setProperty("ImageIndex", imageIndex);
    return action;
}

void RecordActions::connectOperations()
{
    // Queued first, so that an operation that fails still has the states worked out again.
    for (QAction *action : all())
        connect(action, &QAction::triggered, this, &RecordActions::updateEnabled,
                Qt::QueuedConnection);
    connect(DataSetFirst, &QAction::triggered, this, [this] { m_dataset.first(); });
    connect(DataSetPrior, &QAction::triggered, this, [this] { m_dataset.prior(); });
    connect(DataSetNext, &QAction::triggered, this, [this] { m_dataset.next(); });
    connect(DataSetLast, &QAction::triggered, this, [this] { m_dataset.last(); });
    connect(DataSetCancel, &QAction::triggered, this, [this] {
        m_dataset.cancel();
        focusFirstField();
    });
    connect(DataSetPost, &QAction::triggered, this, &RecordActions::postAndStay);
    connect(DataSetEdit, &QAction::triggered, this, [this] { m_dataset.edit(); });
    connect(DataSetInsert, &QAction::triggered, this, [this] {
        m_dataset.insert();
        focusFirstField();
    });
    // The question takes the focus away; it comes back to a field, never to a button.
    connect(DataSetDelete, &QAction::triggered, this, [this] {
        try {
            m_dataset.deleteRecord();
        } catch (...) {
            focusFirstField(); // a refused delete too
            throw;
        }
        focusFirstField();
    });
    connect(Abandon, &QAction::triggered, this, &RecordActions::abandonEdit);
}

void RecordActions::setupShortcuts()
{
    DataSetFirst->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    DataSetPrior->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    DataSetNext->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    DataSetLast->setShortcut(QKeySequence(Qt::ALT | Qt::Key_End));
    DataSetPost->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    DataSetInsert->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    DataSetDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete));
    Abandon->setShortcut(QKeySequence(Qt::Key_Escape));
    // Every data page has the same keys: each set answers only on its own page.
    for (QAction *action : all())
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    Abandon->setShortcutContext(Qt::WidgetWithChildrenShortcut);
}

// A stored new record stays in view: on a table in stored order the post alone would show the
// record that was current before the insert again, and the person would think the new one lost.
void RecordActions::postAndStay()
{
    const bool inserting = m_dataset.state() == TDataSetState::dsInsert;
    m_dataset.post();
    const std::uint32_t added = m_dataset.lastAppended();
    if (inserting && added != 0 && m_dataset.recNo() != int(added))
        m_dataset.gotoBookmark(TBookmark(added));
}

void RecordActions::abandonEdit()
{
    if (!isEditing(m_dataset.state()))
        return;
    m_dataset.updateRecord();
    if (m_dataset.modified() && !(m_askDiscard && m_askDiscard() == AnswerYes))
        return;
    m_dataset.cancel();
    focusFirstField();
}

void RecordActions::focusFirstField()
{
    if (m_page && m_page->isVisible())
        focusInto(m_page);
}

void RecordActions::attachTo(QWidget *page)
{
    m_page = page;
    for (QAction *action : all())
        page->addAction(action);
    page->addAction(Abandon);
    for (QWidget *field : page->findChildren<QWidget *>())
        if (qobject_cast<QLineEdit *>(field) || field->inherits("QTextEdit") ||
            field->inherits("QPlainTextEdit"))
            keepTextKeys(field);
    for (QLineEdit *field : page->findChildren<QLineEdit *>()) {
        // Enter in a field of the record stores it, as a form is expected to.
        if (qobject_cast<DBLineEdit *>(field))
            connect(field, &QLineEdit::returnPressed, DataSetPost, [this] {
                if (DataSetPost->isEnabled())
                    DataSetPost->trigger();
            });
    }
}

std::array<QAction *, 9> RecordActions::all() const
{
    return {DataSetFirst, DataSetPrior,  DataSetNext,   DataSetLast,  DataSetCancel,
            DataSetPost,  DataSetEdit,   DataSetInsert, DataSetDelete};
}

void RecordActions::updateEnabled()
{
    const bool open = m_dataset.active();
    const bool bof = m_dataset.bof();
    const bool eof = m_dataset.eof();
    const bool modifiable = open && m_dataset.canModify();
    const bool editing = isEditing(m_dataset.state());

    DataSetFirst->setEnabled(open && !bof);
    DataSetPrior->setEnabled(open && !bof);
    DataSetNext->setEnabled(open && !eof);
    DataSetLast->setEnabled(open && !eof);
    DataSetCancel->setEnabled(modifiable && editing);
    DataSetPost->setEnabled(modifiable && editing);
    DataSetEdit->setEnabled(modifiable && !editing);
    DataSetInsert->setEnabled(modifiable);
    DataSetDelete->setEnabled(modifiable && !(bof && eof));
    Abandon->setEnabled(editing);
}

namespace {

// A disabled picture: grey and faint, so that a dark picture does not pass for an enabled one.
QPixmap faded(const QPixmap &pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 96 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 2 / 5);
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

QIcon RecordActions::image(int index)
{
    for (const ImageName &entry : RecordImages) {
        if (entry.index != index)
            continue;
        const QIcon source(QStringLiteral(":/art/%1.svg").arg(QLatin1String(entry.file)));
        QIcon icon;
        for (int size : {16, 32}) {
            const QPixmap normal = source.pixmap(size, size);
            icon.addPixmap(normal, QIcon::Normal);
            icon.addPixmap(faded(normal), QIcon::Disabled);
        }
        return icon;
    }
    return {};
}
