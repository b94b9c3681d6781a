#include "mainwindow.h"

#include "addresspage.h"
#include "dbmemo.h"
#include "application.h"
#include "art.h"
#include "autorunner.h"
#include "builtinmessages.h"
#include "clicklabel.h"
#include "clocklabel.h"
#include "formatbar.h"
#include "formplacement.h"
#include "formtranslation.h"
#include "hubkeys.h"
#include "imageform.h"
#include "infospage.h"
#include "inisyntax.h"
#include "interfacelanguage.h"
#include "keyboardcues.h"
#include "languagefile.h"
#include "notebooktables.h"
#include "optionspage.h"
#include "pagecommandwiring.h"
#include "pagemode.h"
#include "passworddialog.h"
#include "piconebarretache.h"
#include "readablecolours.h"
#include "rxdbrichedit.h"
#include "recordactions.h"
#include "searchwindow.h"
#include "settings.h"
#include "todopage.h"
#include "trashwindow.h"
#include "ualarm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QSessionManager>
#include <QDate>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace {

constexpr int FirstYear = 2004;
const QColor Yellow(255, 255, 0);
const QColor Maroon(128, 0, 0);

ClickLabel *picture(QWidget *parent, const char *name, const QString &art, QRect geometry)
{
    auto *label = new ClickLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    if (!art.isEmpty())
        label->setPixmap(artPixmap(art, geometry.size()));
    return label;
}

// An area of the hub: an invisible one, or a picture whose art comes after the first frame.
ClickLabel *hubArea(QWidget *parent, const Form1::PageEntry &entry)
{
    ClickLabel *area = picture(parent, entry.hotArea, QString(), entry.geometry);
    area->setCursor(Qt::PointingHandCursor);
    area->setToolTip(QString::fromUtf8(entry.hint));
    if (!entry.picture)
        area->setAttribute(Qt::WA_TranslucentBackground);
    return area;
}

QFont windowFont()
{
    return QFont(QStringLiteral("MS Sans Serif"), 8);
}

// The "X" and "_" in the window's corner.
QFont markFont(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

constexpr int CloseMarkPixels = 13;
constexpr int MinimiseMarkPixels = 19;

} // namespace

template <class TablePageType>
TablePageType *Form1::wireTablePage(TablePageType *page,
                                    RecordActions *(TablePageType::*actionList)() const)
{
    page->setListLocale(m_language->locale());
    // Escape asks the delete question too, before it drops what was typed into a record.
    (page->*actionList)()->setDiscardQuestion(
        [this] { return m_deleteQuestion ? m_deleteQuestion->askDiscard() : 0; });
    // The trash asks with the delete question and needs its table to itself.
    for (TrashWindow *trash : page->template findChildren<TrashWindow *>()) {
        trash->setQuestion([this](const QString &question) {
            return m_deleteQuestion ? m_deleteQuestion->ask(question) : 0;
        });
        trash->setBeforeCompaction([this] { m_searchIndex->releaseTables(); });
    }
    attachPageCommands(dataDirectory(), page);
    return page;
}

// The pages in the notebook's order. The hub shows their areas left to right by place, and
// Ctrl+1 to Ctrl+4 follow that order.
std::span<const Form1::PageEntry> Form1::pages()
{
    static const PageEntry entries[] = {
        {PageMemo, "Label3", "A faire", {370, 9, 30, 22}, false, false, &Form1::Label3Click,
         [](Form1 &f) -> QWidget * {
             return f.m_todoPage = f.wireTablePage(
                        new TodoPage(f.m_tables->Dbfmemo(), f.formatActions(), f.deleteQuestion(), f.m_notebook),
                        &TodoPage::ActionList1);
         },
         [](Form1 &f) {
             f.m_pageMode->setSyncGuard(false);
             f.m_pageMode->setMode(PageMode::TodoEditor);
             f.m_todoPage->RebuildTitleList();
         },
         &NotebookTables::Dbfmemo, SearchIndex::Notes, [](Form1 &f) { f.m_todoPage->postPendingEdit(); }, 1},
        {PageInfos, "Label4", "carnet d'informations personnelles", {424, 9, 33, 24}, false, false,
         &Form1::Label4Click,
         [](Form1 &f) -> QWidget * {
             return f.m_infosPage = f.wireTablePage(
                        new InfosPage(f.m_tables->Dbfinfos(), f.formatActions(), f.deleteQuestion(), f.m_notebook),
                        &InfosPage::ActionList2);
         },
         [](Form1 &f) {
             f.m_pageMode->setSyncGuard(false);
             f.m_pageMode->setMode(PageMode::InfosEditor);
             f.m_infosPage->RebuildInfoLists();
         },
         &NotebookTables::Dbfinfos, SearchIndex::Sheets, [](Form1 &f) { f.m_infosPage->postPendingEdit(); }, 0},
        // The options page leaves the mode and the guard as they are.
        {PageParametres, "ImageOptions", "Options", {468, 7, 25, 25}, true, false, &Form1::ImageOptionsClick,
         [](Form1 &f) -> QWidget * {
             f.setupOptionsPage();
             f.wireOptionsPage();
             return f.m_optionsPage;
         },
         nullptr, nullptr, -1, nullptr, -1},
        {PageAdresses, "Label23", "Carnet d'adresses", {400, 8, 22, 21}, false, true, &Form1::Label23Click,
         [](Form1 &f) -> QWidget * {
             return f.m_addressPage = f.wireTablePage(
                        new AddressPage(f.m_tables->Dbfadbook(), f.deleteQuestion(), f.m_notebook),
                        &AddressPage::ActionList3);
         },
         [](Form1 &f) { f.m_addressPage->RebuildNameList(); }, &NotebookTables::Dbfadbook, SearchIndex::Cards,
         [](Form1 &f) { f.m_addressPage->postPendingEdit(); }, 2},
    };
    return entries;
}

const Form1::PageEntry *Form1::pageEntry(int page)
{
    for (const PageEntry &entry : pages())
        if (entry.index == page)
            return &entry;
    return nullptr;
}

// Every delete first asks the confirmation dialog the program made at start-up.
DeleteQuestion Form1::deleteQuestion()
{
    return [this] { return m_deleteQuestion ? m_deleteQuestion->ask() : 0; };
}

Form1::Form1(const QString &applicationDirectory, QWidget *parent)
    : Form1(applicationDirectory, applicationDirectory + QLatin1String("data/"), parent)
{
}

Form1::Form1(const QString &applicationDirectory, const QString &dataDirectory, QWidget *parent)
    : QWidget(parent), m_applicationDirectory(applicationDirectory), m_dataDirectory(dataDirectory),
      m_tables(new NotebookTables), m_pageMode(new PageMode)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(Application::Title));
    setFont(windowFont());
    // The clock stands on the skin's light paper, whatever the desktop's colours.
    setReadableColours(this, QPalette::Window, Qt::white);

    setupSkin();
    setupHub();
    setupWindowMarks();
    setupClockAndFooter();
    setupNotebook();
    setupLanguage();
    setupDesktop();
    setupSearch();
    new HubKeys(*this);
    // Children go in the order they were given their parent: the tables and the page mode
    // last, after every page and control bound to them.
    m_pageMode->setParent(this);
    m_tables->setParent(this);
    setupSessionEnd();
    FormCreate();
}

Form1::~Form1() = default;

void Form1::setupSkin()
{
    m_skin = new TO32ImageForm(this);
    m_skin->setObjectName(QStringLiteral("O32ImageForm1"));
    m_skin->setTransparentColor(Qt::white);
    m_skin->setPicture(skinRuns());
    if (m_skin->pictureSize().isEmpty())
        setFixedSize(800, 432);
    connect(m_skin, &TO32ImageForm::mousePressed, this, &Form1::O32ImageForm1MouseDown);
    m_skin->installEventFilter(this);

    // The line under the embossed name is a label rather than art, so that it reads in the
    // interface language; presses go through it to the skin, which drags the window.
    auto *subtitle = new QLabel(QStringLiteral("CARNET PERSONNEL"), this);
    subtitle->setObjectName(QStringLiteral("LabelSousTitre"));
    subtitle->setGeometry(424, 134, 360, 16);
    subtitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    subtitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont letters(QStringLiteral("DejaVu Sans"));
    letters.setPixelSize(12);
    letters.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    subtitle->setFont(letters);
    QPalette pal = subtitle->palette();
    pal.setColor(QPalette::WindowText, QColor(0xa9, 0xc6, 0xdc));
    subtitle->setPalette(pal);
}

void Form1::setupHub()
{
    m_openHub = picture(this, "Image1", QStringLiteral("hub-open"), {734, 390, 45, 36});
    m_openHub->setCursor(Qt::PointingHandCursor);
    m_openHub->setToolTip(QStringLiteral("Ouvrir"));
    connect(m_openHub, &ClickLabel::clicked, this, &Form1::Image1Click);

    picture(this, "Image4", QStringLiteral("deco-notes"), {200, 104, 166, 250});
    picture(this, "Image2", QStringLiteral("deco-pen"), {464, 192, 199, 132});

    // Hidden until Image1 is clicked: its art is drawn after the first frame (drawHiddenArt).
    m_hub = {picture(this, "Image3", QString(), {365, 2, 92, 36})};
    for (const PageEntry &entry : pages()) {
        ClickLabel *area = hubArea(this, entry);
        connect(area, &ClickLabel::clicked, this, entry.click);
        if (!entry.secret)
            m_hub << area;
    }
    for (QWidget *hidden : m_hub)
        hidden->hide();
}

void Form1::setupWindowMarks()
{
    auto mark = [this](const char *name, const QString &text, int pixelSize, QRect geometry,
                       const QString &hint) {
        ClickLabel *label = picture(this, name, QString(), geometry);
        label->setText(text);
        label->setFont(markFont(pixelSize));
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, Yellow);
        label->setPalette(pal);
        label->setCursor(Qt::PointingHandCursor);
        label->setToolTip(hint);
        return label;
    };
    ClickLabel *close = mark("Label1", QStringLiteral("X"), CloseMarkPixels, {779, 11, 9, 16},
                             QStringLiteral("Fermer"));
    connect(close, &ClickLabel::clicked, this, &Form1::Label1Click);
    ClickLabel *minimise =
        mark("Label2", QStringLiteral("_"), MinimiseMarkPixels, {749, 4, 11, 22}, QStringLiteral("réduire"));
    minimise->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    connect(minimise, &ClickLabel::clicked, this, &Form1::Label2Click);
}

void Form1::setupClockAndFooter()
{
    auto *clock = new ClockLabel(this);
    clock->setObjectName(QStringLiteral("ProClockLabel1"));
    clock->setGeometry(129, 12, 103, 13);

    m_footer = new UrlLabel(this);
    m_footer->setObjectName(QStringLiteral("ProUrlLabel1"));
    m_footer->setGeometry(35, 112, 22, 193);
    QFont bold = font();
    bold.setBold(true);
    m_footer->setFont(bold);
    QPalette pal = m_footer->palette();
    pal.setColor(QPalette::WindowText, Maroon);
    m_footer->setPalette(pal);
    m_footer->setUrl(QStringLiteral(VELMORA_MAKER_URL));
}

// The notebook stays hidden until a page is chosen. Each page's place is held by an empty
// stand-in until the page is first shown, so that a page's index in the notebook never changes.
void Form1::setupNotebook()
{
    m_notebook = new QStackedWidget(this);
    m_notebook->setObjectName(QStringLiteral("OvcNotebook1"));
    m_notebook->setGeometry(72, 48, 705, 377);
    m_notebook->setAutoFillBackground(true);
    // The pages' labels and boxes take the text colour of the notebook's own background.
    m_notebook->setPalette(pagePalette());
    for (size_t i = 0; i < pages().size(); ++i)
        m_notebook->addWidget(new QWidget(m_notebook));
    m_notebook->hide();
}

QStackedWidget *Form1::notebook()
{
    for (const PageEntry &entry : pages())
        buildPage(entry.index);
    return m_notebook;
}

bool Form1::pageBuilt(int page) const
{
    return page >= 0 && size_t(page) < m_pages.size() && m_pages[size_t(page)];
}

FormatActions &Form1::formatActions()
{
    // Made before the editors it serves: children go in the order they were given their parent,
    // and the commands must not follow editors being destroyed.
    if (!m_formatActions)
        m_formatActions = new FormatActions(*m_pageMode, m_notebook);
    return *m_formatActions;
}

void Form1::prepareForPages()
{
    if (m_preparedForPages)
        return;
    m_preparedForPages = true;
    emit buildingPages();
    // The lists sort in the order of the interface language, from their next rebuild on.
    connect(m_language, &InterfaceLanguage::languageChanged, this, [this] {
        const QLocale order = m_language->locale();
        if (m_todoPage)
            m_todoPage->setListLocale(order);
        if (m_infosPage)
            m_infosPage->setListLocale(order);
        if (m_addressPage)
            m_addressPage->setListLocale(order);
    });
}

void Form1::buildPage(int page)
{
    const PageEntry *entry = pageEntry(page);
    if (!entry || m_pages[size_t(page)])
        return;
    if (entry->table)
        prepareForPages();
    QWidget *made = entry->make(*this);
    m_pages[size_t(page)] = made;
    QWidget *standIn = m_notebook->widget(page);
    const int current = m_notebook->currentIndex();
    m_notebook->insertWidget(page, made);
    m_notebook->removeWidget(standIn);
    standIn->deleteLater();
    m_notebook->setCurrentIndex(current);
    // The design texts measured in the fonts found here, as a translation is.
    for (QLabel *label : made->findChildren<QLabel *>())
        if (!label->text().isEmpty() && label->pixmap().isNull())
            FitCaption(label);
    // The language on screen reaches the new controls too.
    if (m_language->current())
        TranslateForms(m_language->windows(), *m_language->current());
    // Children go in the order they were given their parent: the tables and the page mode move
    // back behind everything bound to them.
    for (QObject *last : {static_cast<QObject *>(m_pageMode), static_cast<QObject *>(m_tables)}) {
        last->setParent(nullptr);
        last->setParent(this);
    }
}


void Form1::wireOptionsPage()
{
    // The flags switch the language at once; the code reaches the settings file with the next OK.
    connect(m_optionsPage, &OptionsPage::flagClicked, this, [this](int code) {
        if (m_language->applyFlag(code))
            m_languageCode = code;
    });
    connect(m_language, &InterfaceLanguage::languageChanged, m_optionsPage, &OptionsPage::explainTray);
    if (m_desktopSwitchesDue)
        showDesktopSwitches();
}

void Form1::drawHiddenArt()
{
    if (m_hiddenArtDrawn)
        return;
    m_hiddenArtDrawn = true;
    static const struct
    {
        const char *name;
        const char *art;
    } hidden[] = {{"Image3", "hub"}, {"ImageOptions", "hub-options"}, {"ImageRecherche", "hub-search"}};
    for (const auto &h : hidden)
        if (auto *label = findChild<ClickLabel *>(QLatin1String(h.name)))
            label->setPixmap(artPixmap(QLatin1String(h.art), label->size()));
}

void Form1::setupOptionsPage()
{
    m_optionsPage = new OptionsPage(settingsFile(), m_notebook);
    m_optionsPage->setHooks({
        // The language on screen, which a stored 99 would not bring back (it reads English).
        .languageCode = [this] { return m_language->shownCode(); },
        .messageLanguage = [this] { return m_language->messageLanguageNumber(); },
        // The box shows what the folders really hold once the change is made.
        .setLaunchAtLogOn = [this](bool on) {
            m_autoRunner->setAutoRun(on);
            m_optionsPage->showLaunchAtLogOn(m_autoRunner->AutoRun());
        },
        .setReduireSiFin = [this](bool on) { m_tray->setReduireSiFin(on); },
        .setPetiteIconeVisible = [this](bool on) { m_tray->setPetiteIconeVisible(on); },
    });
}

void Form1::setupLanguage()
{
    m_language = new InterfaceLanguage(languageDirectory(), this);
}

// The tray icon goes first: the placement must see a close request before the tray turns it
// into hiding.
void Form1::setupDesktop()
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("RxPopupMenu1"));
    menu->addAction(QStringLiteral("Ouvrir"), this, &Form1::Ouvrir1Click)
        ->setObjectName(QStringLiteral("Ouvrir1"));
    menu->addAction(QStringLiteral("Fermer"), this, &Form1::Fermer1Click)
        ->setObjectName(QStringLiteral("Fermer1"));
    m_tray = new TPiconeBarreTache(this);
    m_tray->setMenuPop(menu);
    m_tray->Loaded();

    m_autoRunner = std::make_unique<TAutoRunner>(QCoreApplication::applicationFilePath(),
                                                 TAutoRunner::locationsFromEnvironment());
    m_autoRunner->setAppliName(QLatin1String(Application::Title));
    m_autoRunner->Loaded();

    m_placement = new TFormPlacement(this);
}

// The magnifier sits right of ImageOptions and shows with the rest of the hub; Ctrl+F works from
// the start, the window being made when it first opens. The search reads the tables from the data folder itself and hears about this
// program's posts and deletes from the datasets.
void Form1::setupSearch()
{
    ClickLabel *magnifier = picture(this, "ImageRecherche", QString(), {497, 7, 25, 25});
    magnifier->setCursor(Qt::PointingHandCursor);
    magnifier->setToolTip(QStringLiteral("Rechercher"));
    magnifier->hide();
    connect(magnifier, &ClickLabel::clicked, this, &Form1::ImageRechercheClick);
    m_hub << magnifier;

    auto *find = new QAction(QStringLiteral("Rechercher"), this);
    find->setObjectName(QStringLiteral("ActionRecherche"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    addAction(find);
    connect(find, &QAction::triggered, this, &Form1::ImageRechercheClick);

    m_searchIndexToHandOver = std::make_unique<SearchIndex>(dataDirectory());
    m_searchIndex = m_searchIndexToHandOver.get();
    for (const PageEntry &entry : pages())
        if (entry.search >= 0)
            m_searchIndex->watch((m_tables->*entry.table)(), SearchIndex::Table(entry.search));
}

void Form1::buildSearchWindow()
{
    if (m_search)
        return;
    m_search = new SearchWindow(std::move(m_searchIndexToHandOver), this);
    connect(m_search, &SearchWindow::recordRequested, this, [this](int table, int recNo, bool inText) {
        for (const PageEntry &entry : pages())
            if (entry.search == table)
                SearchJump(entry.index, recNo, inText);
    });
    if (m_language->current())
        TranslateForms(m_language->windows(), *m_language->current());
}

QString Form1::settingsFile() const
{
    return dataDirectory() + QLatin1String(ini::SettingsFileName);
}

void Form1::setReadOnlyData(bool readOnly)
{
    m_tables->setReadOnly(readOnly);
    m_placement->setSavesPlacement(!readOnly);
}

void Form1::showAtStart()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void Form1::FormCreate()
{
    m_placement->setIniFileName(settingsFile());
    m_languageCode = 99;
    m_tables->setFolder(dataDirectory());
}

// A stored "lng" that is no number is reported and stops here: nothing is loaded.
void Form1::FormShow()
{
    const QString lng = SettingsAccess(settingsFile(), Settings::Read, QStringLiteral("lng"));
    try {
        if (const std::optional<int> code = m_language->applySaved(lng))
            m_languageCode = *code;
    } catch (const EConvertError &e) {
        // Which value of which file, so that the person can mend it.
        throw EConvertError(std::string(e.what()) + "\n"
                            + FormatBuiltInMessage(BuiltInMessage::SettingsValueOf,
                                                   {QStringLiteral("lng"), settingsFile()})
                                  .toStdString());
    }
}

bool Form1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && !m_activationStarted)
        FormActivate();
    return QWidget::event(event);
}

void Form1::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_firstFramePainted) {
        m_firstFramePainted = true;
        // Queued: it runs once this frame has gone to the screen.
        QTimer::singleShot(0, this, [this] {
            if (m_finishAfterFirstFrame)
                finishActivation();
        });
    }
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Its error must not keep the activation steps below from being scheduled.
    try {
        FormShow();
    } catch (...) {
        Application::reportCurrentException();
    }
    // Back from the tray: "X" closed the tables before the window was hidden.
    if (m_activated && !event->spontaneous())
        m_tables->openAll();
    // Some window systems never report the first activation of a frameless window; the steps
    // must still run once, right after the first showing.
    if (!m_activationStarted)
        QTimer::singleShot(0, this, [this] {
            if (!m_activationStarted && isVisible())
                FormActivate();
        });
}

// The steps the first frame shows (the lock, the footer) run at once; those that need the pages
// wait for the first frame, unless it was drawn already or will not be (a hidden or minimised
// window).
void Form1::FormActivate()
{
    if (m_activationStarted)
        return;
    m_activationStarted = true;
    // A lock never opened ends the program here, before any table is touched.
    if (!runStartupLock()) {
        m_activated = true;
        close();
        return;
    }
    readTraySwitches();
    setFooterText();
    if (m_firstFramePainted || !isVisible() || isMinimized())
        finishActivation();
    else
        m_finishAfterFirstFrame = true;
}

void Form1::finishActivation()
{
    if (m_activated)
        return;
    m_finishAfterFirstFrame = false;
    m_desktopSwitchesDue = true;
    if (m_optionsPage)
        showDesktopSwitches();
    setWindowIcon(programIcon());
    m_tray->setIcone(windowIcon());
    m_activated = true;
    // Each table opens on its own; the error box names those that failed. The search's index is
    // then read on a helper thread, so that Ctrl+F finds it ready, whatever did not open.
    try {
        m_tables->openAll();
    } catch (...) {
        m_searchIndex->prepare();
        throw;
    }
    m_searchIndex->prepare();
}

bool Form1::runStartupLock()
{
    if (!m_passwordDialog)
        m_passwordDialog = std::make_unique<TProPasswordDialog>();
    StartupLock lock(settingsFile(),
                     m_passwordPrompt ? m_passwordPrompt
                                    : StartupLock::dialogPrompt(*m_passwordDialog, this),
                     m_wrongPasswordNotice ? m_wrongPasswordNotice : StartupLock::errorBox(this));
    return lock.run([this]() -> OptionsPage & { return *optionsPage(); });
}

void Form1::readTraySwitches()
{
    const QString ico = SettingsAccess(settingsFile(), Settings::Read, QStringLiteral("ico"));
    if (ico == QLatin1String("yes")) {
        m_tray->setPetiteIconeVisible(true);
        m_tray->setReduireSiFin(true);
    }
}

// Setting a box runs its click handler, which stores the same state again.
void Form1::showDesktopSwitches()
{
    m_optionsPage->showDesktopSwitches(m_autoRunner->AutoRun(), m_tray->ReduireSiFin());
}

QString Form1::footerNotice(int currentYear)
{
    return QStringLiteral("© %1-20%2 %3")
        .arg(FirstYear)
        .arg(currentYear % 100, 2, 10, QLatin1Char('0'))
        .arg(QStringLiteral(VELMORA_MAKER_NAME));
}

void Form1::setFooterText()
{
    m_footer->setText(footerNotice(QDate::currentDate().year()));
}

void Form1::Image1Click()
{
    drawHiddenArt();
    m_openHub->hide();
    for (QWidget *control : m_hub)
        control->show();
}

void Form1::selectPage(int page)
{
    const PageEntry *entry = pageEntry(page);
    if (!entry)
        return;
    buildPage(page);
    // The address book's area works before the hub shows; once a page is open the hub must be
    // there to leave it.
    if (!m_openHub->isHidden())
        Image1Click();
    m_notebook->show();
    m_notebook->setCurrentIndex(page);
    if (entry->selected)
        entry->selected(*this);
    // Its own keys work at once, and a Space typed next lands in a field, never on a button.
    focusInto(m_notebook->currentWidget());
}

void Form1::Label3Click()
{
    selectPage(PageMemo);
}

void Form1::Label4Click()
{
    selectPage(PageInfos);
}

void Form1::ImageOptionsClick()
{
    selectPage(PageParametres);
}

void Form1::Label23Click()
{
    selectPage(PageAdresses);
}

void Form1::ImageRechercheClick()
{
    buildSearchWindow();
    // Under the hub, right-aligned with the notebook.
    const QRect page = m_notebook->geometry();
    m_search->popup(mapToGlobal(QPoint(page.right() + 1 - m_search->width(), 38)));
}

// The page is selected as the hub selects it (its lists rebuilt), then the record becomes current
// by its physical number. A pending edit of that table is posted first, as any move posts it, and
// before the rebuild walks the table.
void Form1::SearchJump(int page, int recNo, bool inText)
{
    const PageEntry *entry = pageEntry(page);
    if (!entry || !entry->table)
        return;
    TDbf &table = (m_tables->*entry->table)();
    if (table.active())
        table.checkBrowseMode();
    selectPage(page);
    if (!table.active())
        return;
    table.setRecNo(recNo);
    // Setting the record number fires no scroll event; the page's lists follow the record.
    if (table.AfterScroll)
        table.AfterScroll(table);
    if (inText) {
        QWidget *text = page == PageMemo    ? static_cast<QWidget *>(m_todoPage->editor1())
                        : page == PageInfos ? static_cast<QWidget *>(m_infosPage->editor2())
                                            : static_cast<QWidget *>(m_addressPage->DBMemo1());
        text->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::Label1Click()
{
    if (!postPendingEdits())
        return;
    // The datasets stay alive for the controls bound to them; only their files close.
    m_tables->closeAll();
    close();
}

bool Form1::postPendingEdits()
{
    // Each table on its own: a failure in one must not cost the others their edits.
    bool posted = true;
    const auto attempt = [&posted](auto &&post) {
        try {
            post();
        } catch (...) {
            Application::reportCurrentException();
            posted = false;
        }
    };
    std::vector<const PageEntry *> withEdits;
    for (const PageEntry &entry : pages())
        if (entry.postPendingEdit && pageBuilt(entry.index)) // nothing was typed into the others
            withEdits.push_back(&entry);
    std::sort(withEdits.begin(), withEdits.end(),
              [](const PageEntry *a, const PageEntry *b) { return a->closingRank < b->closingRank; });
    for (const PageEntry *entry : withEdits)
        attempt([this, entry] { entry->postPendingEdit(*this); });
    return posted;
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!postPendingEdits()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void Form1::setupSessionEnd()
{
    // The session may end with the window open; the notes typed so far go to disk first.
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!postPendingEdits() && manager.allowsInteraction())
            manager.cancel();
    });
#endif
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { postPendingEdits(); });
}

void Form1::Label2Click()
{
    showMinimized();
}

void Form1::Ouvrir1Click()
{
    m_tray->showOwner();
}

void Form1::Fermer1Click()
{
    if (!postPendingEdits())
        return;
    m_tray->setReduireSiFin(false);
    m_tray->setPetiteIconeVisible(false);
    close();
}

void Form1::O32ImageForm1MouseDown(QMouseEvent *event)
{
    if (QWindow *window = windowHandle(); window && window->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_skin && m_dragging) {
        if (event->type() == QEvent::MouseMove) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            move(mouse->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease)
            m_dragging = false;
    }
    return QWidget::eventFilter(watched, event);
}
