#include "searchwindow.h"

#include "art.h"
#include "searchresults.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr QSize WindowSize(440, 330);

// The program's look: the hub's beige and brown, the notebook's pale yellow for the list.
const char *const StyleSheet = R"(
SearchWindow { background: #f5ecd4; color: #000000; border: 1px solid #b39b68; }
QLineEdit#EditRecherche { background: #ffffff; color: #000000; border: 1px solid #c9b486;
                          border-radius: 4px; padding: 3px 4px 3px 2px; font-size: 13px; }
QListView#ListeResultats { background: #ffffe1; color: #000000; border: 1px solid #c9b486; }
QLabel#LabelAucunResultat, QLabel#LabelAutres { color: #804000; }
)";

} // namespace

SearchWindow::SearchWindow(const QString &dataDirectory, QWidget *parent)
    : SearchWindow(std::make_unique<SearchIndex>(dataDirectory), parent)
{
}

SearchWindow::SearchWindow(std::unique_ptr<SearchIndex> index, QWidget *parent)
    : QFrame(parent, Qt::Popup), m_index(std::move(index))
{
    setObjectName(QStringLiteral("SearchWindow"));
    setStyleSheet(QLatin1String(StyleSheet));
    resize(WindowSize);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->setSpacing(6);
    setupEdit();
    setupResults();
    setupTexts();
    layout->addWidget(EditRecherche);
    layout->addWidget(ListeResultats, 1);
    layout->addWidget(LabelAucunResultat);
    layout->addWidget(LabelAutres);

    m_pause = new QTimer(this);
    m_pause->setSingleShot(true);
    m_pause->setInterval(DebounceMilliseconds);
    connect(m_pause, &QTimer::timeout, this, &SearchWindow::searchWhenReady);
    // Queued: the index may be handed over inside a search.
    connect(m_index.get(), &SearchIndex::ready, this, [this] {
        if (m_searchPending && isVisible())
            runSearch();
    }, Qt::QueuedConnection);
    connect(EditRecherche, &QLineEdit::textChanged, m_pause, qOverload<>(&QTimer::start));
}

SearchWindow::~SearchWindow() = default;

void SearchWindow::setupEdit()
{
    EditRecherche = new QLineEdit(this);
    EditRecherche->setObjectName(QStringLiteral("EditRecherche"));
    EditRecherche->setToolTip(QStringLiteral("Rechercher"));
    EditRecherche->setPlaceholderText(EditRecherche->toolTip());
    setAccessibleName(EditRecherche->toolTip()); // the popup is read out as what it does
    // The sheet's black on white, softened; the desktop's own hint colour may be meant for dark.
    QPalette hint = EditRecherche->palette();
    hint.setColor(QPalette::PlaceholderText, QColor(0x6e, 0x6e, 0x6e));
    EditRecherche->setPalette(hint);
    EditRecherche->addAction(QIcon(artPixmap(QStringLiteral("hub-search"), QSize(18, 18))),
                             QLineEdit::LeadingPosition);
    EditRecherche->setClearButtonEnabled(true);
    EditRecherche->installEventFilter(this);
}

void SearchWindow::setupResults()
{
    m_model = new SearchResultModel(*m_index, this);
    ListeResultats = new QListView(this);
    ListeResultats->setObjectName(QStringLiteral("ListeResultats"));
    ListeResultats->setModel(m_model);
    ListeResultats->setItemDelegate(new SearchResultDelegate(ListeResultats));
    ListeResultats->setUniformItemSizes(true);
    ListeResultats->setFocusPolicy(Qt::NoFocus); // typing stays in the line edit
    ListeResultats->setCursor(Qt::PointingHandCursor);
    ListeResultats->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // What a screen reader calls the list, which shows no label.
    auto *name = new QLabel(QStringLiteral("Résultats"), this);
    name->setObjectName(QStringLiteral("LabelResultats"));
    name->setBuddy(ListeResultats);
    name->hide();
    connect(ListeResultats, &QListView::clicked, this,
            [this](const QModelIndex &index) { openRow(index.row()); });
}

void SearchWindow::setupTexts()
{
    LabelAucunResultat = new QLabel(QStringLiteral("Aucun résultat"), this);
    LabelAucunResultat->setObjectName(QStringLiteral("LabelAucunResultat"));
    LabelAucunResultat->hide();
    LabelAutres = new QLabel(this);
    LabelAutres->setObjectName(QStringLiteral("LabelAutres"));
    LabelAutres->hide();
    LabelModeleAutres = new QLabel(QStringLiteral("Autres résultats non affichés : %d"), this);
    LabelModeleAutres->setObjectName(QStringLiteral("LabelModeleAutres"));
    LabelModeleAutres->hide();
    LabelModeleSansTitre = new QLabel(QStringLiteral("(sans titre)"), this);
    LabelModeleSansTitre->setObjectName(QStringLiteral("LabelModeleSansTitre"));
    LabelModeleSansTitre->hide();
}

void SearchWindow::popup(QPoint globalTopLeft)
{
    m_index->prepare();
    move(globalTopLeft);
    show();
    raise();
    activateWindow();
    EditRecherche->setFocus(Qt::PopupFocusReason);
    EditRecherche->selectAll();
    if (!EditRecherche->text().isEmpty())
        searchWhenReady(); // the tables may have changed since the window was last open
}

void SearchWindow::searchWhenReady()
{
    if (m_index->isBuilding())
        m_searchPending = true;
    else
        runSearch();
}

void SearchWindow::runSearch()
{
    m_pause->stop();
    m_searchPending = false;
    if (EditRecherche->text().trimmed().isEmpty()) {
        showResult({});
        LabelAucunResultat->hide();
        return;
    }
    showResult(m_index->search(EditRecherche->text()));
}

void SearchWindow::showResult(const SearchIndex::Result &result)
{
    m_model->setUntitledText(LabelModeleSansTitre->text());
    m_model->setRows(result.rows, EditRecherche->text());
    if (!result.rows.empty())
        ListeResultats->setCurrentIndex(m_model->index(0));
    LabelAucunResultat->setVisible(result.rows.empty());
    QString more = LabelModeleAutres->text();
    more.replace(QLatin1String("%d"), QString::number(result.more));
    LabelAutres->setText(more);
    LabelAutres->setVisible(result.more > 0);
}

void SearchWindow::openRow(int row)
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid())
        return;
    const int table = index.data(SearchResultModel::TableRole).toInt();
    const int recNo = index.data(SearchResultModel::RecNoRole).toInt();
    // The excerpt comes from the text; a record found by its title alone has nothing bold in it.
    const bool inText = !index.data(SearchResultModel::BoldRole).toList().isEmpty();
    close();
    emit recordRequested(table, recNo, inText);
}

bool SearchWindow::moveSelection(int key)
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return false;
    const int page = std::max(1, ListeResultats->viewport()->height()
                                     / std::max(1, ListeResultats->sizeHintForRow(0)));
    int row = ListeResultats->currentIndex().row();
    switch (key) {
    case Qt::Key_Down: row += 1; break;
    case Qt::Key_Up: row -= 1; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_PageUp: row -= page; break;
    default: return false;
    }
    ListeResultats->setCurrentIndex(m_model->index(std::clamp(row, 0, rows - 1)));
    return true;
}

bool SearchWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditRecherche && event->type() == QEvent::ToolTipChange) { // a language file replaced it
        EditRecherche->setPlaceholderText(EditRecherche->toolTip());
        setAccessibleName(EditRecherche->toolTip());
    }
    if (watched == EditRecherche && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_pause->isActive() || m_searchPending)
                runSearch(); // Enter right after typing opens what was typed, not the rows before
            openRow(ListeResultats->currentIndex().row());
            return true;
        }
        if (key == Qt::Key_Escape) {
            close();
            return true;
        }
        if (moveSelection(key))
            return true;
    }
    return QFrame::eventFilter(watched, event);
}
