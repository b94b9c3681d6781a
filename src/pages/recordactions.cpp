#include "recordactions.h"

#include "dbf.h"
#include "dblineedit.h"

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
    connect(DataSetCancel, &QAction::triggered, this, [this] { m_dataset.cancel(); });
    connect(DataSetPost, &QAction::triggered, this, [this] { m_dataset.post(); });
    connect(DataSetEdit, &QAction::triggered, this, [this] { m_dataset.edit(); });
    connect(DataSetInsert, &QAction::triggered, this, [this] { m_dataset.insert(); });
    connect(DataSetDelete, &QAction::triggered, this, [this] { m_dataset.deleteRecord(); });
}

void RecordActions::setupShortcuts()
{
    DataSetFirst->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Home));
    DataSetPrior->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    DataSetNext->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    DataSetLast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_End));
    DataSetCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    DataSetPost->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    DataSetInsert->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    DataSetDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    // Every data page has the same keys: each set answers only on its own page.
    for (QAction *action : all())
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
}

namespace {

// Lets the record actions have Ctrl+Home, Ctrl+End and Ctrl+Delete in a single-line field,
// where they would only move the caret or delete a word.
class LineFieldKeys : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool record = key->modifiers() == Qt::ControlModifier &&
                            (key->key() == Qt::Key_Home || key->key() == Qt::Key_End ||
                             key->key() == Qt::Key_Delete);
        return record; // left unaccepted: the shortcut goes on to the actions
    }
};

} // namespace

void RecordActions::attachTo(QWidget *page)
{
    for (QAction *action : all())
        page->addAction(action);
    auto *keys = new LineFieldKeys(page);
    for (QLineEdit *field : page->findChildren<QLineEdit *>()) {
        field->installEventFilter(keys);
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
