#include "mainwindow.h"

#include "application.h"
#include "art.h"
#include "clicklabel.h"
#include "clocklabel.h"
#include "imageform.h"
#include "optionspage.h"
#include "passworddialog.h"
#include "richtextpage.h"
#include "settings.h"
#include "databinding.h"
#include "formatbar.h"
#include "rxdbrichedit.h"
#include "searchwindow.h"
#include "todopage.h"
#include "ualarm.h"

#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QWindow>

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

// An invisible hot area of the hub.
ClickLabel *hotArea(QWidget *parent, const char *name, const QString &hint, QRect geometry)
{
    ClickLabel *area = picture(parent, name, QString(), geometry);
    area->setCursor(Qt::PointingHandCursor);
    area->setToolTip(hint);
    area->setAttribute(Qt::WA_TranslucentBackground);
    return area;
}

} // namespace

Form1::Form1(const QString &applicationDirectory, QWidget *parent)
    : QWidget(parent), m_applicationDirectory(applicationDirectory)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QLatin1String(Application::Title));
    setWindowIcon(QIcon(QStringLiteral(":/art/velmora.svg")));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    setupSkin();
    setupHub();
    setupWindowMarks();
    setupClockAndFooter();
    setupNotebook();
    setupFormatting();
    FormCreate();
    setupSearch();
}

Form1::~Form1()
{
    // The pages are bound to the tables, which are members and would go first otherwise; the
    // formatting handlers follow the pages' editors and must not see them dying.
    delete formatHandlers;
    delete OvcNotebook1;
}

void Form1::setupSkin()
{
    O32ImageForm1 = new TO32ImageForm(this);
    O32ImageForm1->setObjectName(QStringLiteral("O32ImageForm1"));
    O32ImageForm1->setTransparentColor(Qt::white);
    O32ImageForm1->setPicture(QImage(QStringLiteral(":/art/skin.png")));
    if (O32ImageForm1->Picture().isNull())
        setFixedSize(800, 432);
    connect(O32ImageForm1, &TO32ImageForm::mousePressed, this, &Form1::O32ImageForm1MouseDown);
    O32ImageForm1->installEventFilter(this);
}

void Form1::setupHub()
{
    Image1 = picture(this, "Image1", QStringLiteral("hub-open"), {734, 390, 45, 36});
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(QStringLiteral("Ouvrir"));
    connect(Image1, &ClickLabel::clicked, this, &Form1::Image1Click);

    Image4 = picture(this, "Image4", QStringLiteral("deco-notes"), {200, 104, 166, 250});
    Image2 = picture(this, "Image2", QStringLiteral("deco-pen"), {464, 192, 199, 132});

    Image3 = picture(this, "Image3", QStringLiteral("hub"), {365, 2, 92, 36});
    Image3->hide();
    Label3 = hotArea(this, "Label3", QStringLiteral("A faire"), {370, 9, 30, 22});
    Label3->hide();
    connect(Label3, &ClickLabel::clicked, this, &Form1::Label3Click);
    Label4 = hotArea(this, "Label4", QStringLiteral("carnet d'informations personnelles"),
                     {424, 9, 33, 24});
    Label4->hide();
    connect(Label4, &ClickLabel::clicked, this, &Form1::Label4Click);
}

void Form1::setupWindowMarks()
{
    auto mark = [this](const char *name, const QString &text, int pixelSize, QRect geometry,
                       const QString &hint) {
        ClickLabel *label = picture(this, name, QString(), geometry);
        label->setText(text);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(pixelSize);
        font.setBold(true);
        label->setFont(font);
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, Yellow);
        label->setPalette(pal);
        label->setCursor(Qt::PointingHandCursor);
        label->setToolTip(hint);
        return label;
    };
    Label1 = mark("Label1", QStringLiteral("X"), 13, {779, 11, 9, 16}, QStringLiteral("Fermer"));
    connect(Label1, &ClickLabel::clicked, this, &Form1::Label1Click);
    Label2 = mark("Label2", QStringLiteral("_"), 19, {749, 4, 11, 22}, QStringLiteral("réduire"));
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    connect(Label2, &ClickLabel::clicked, this, &Form1::Label2Click);
}

void Form1::setupClockAndFooter()
{
    ProClockLabel1 = new ClockLabel(this);
    ProClockLabel1->setObjectName(QStringLiteral("ProClockLabel1"));
    ProClockLabel1->setGeometry(129, 12, 103, 13);

    ProUrlLabel1 = new UrlLabel(this);
    ProUrlLabel1->setObjectName(QStringLiteral("ProUrlLabel1"));
    ProUrlLabel1->setGeometry(35, 112, 22, 193);
    QFont bold = font();
    bold.setBold(true);
    ProUrlLabel1->setFont(bold);
    QPalette pal = ProUrlLabel1->palette();
    pal.setColor(QPalette::WindowText, Maroon);
    ProUrlLabel1->setPalette(pal);
    ProUrlLabel1->setUrl(QStringLiteral(VELMORA_MAKER_URL));

    ImageOptions = picture(this, "ImageOptions", QStringLiteral("hub-options"), {468, 7, 25, 25});
    ImageOptions->setCursor(Qt::PointingHandCursor);
    ImageOptions->setToolTip(QStringLiteral("Options"));
    ImageOptions->hide();
    connect(ImageOptions, &ClickLabel::clicked, this, &Form1::ImageOptionsClick);

    Label23 = hotArea(this, "Label23", QStringLiteral("Carnet d'adresses"), {400, 8, 22, 21});
    connect(Label23, &ClickLabel::clicked, this, &Form1::Label23Click);
}

void Form1::setupNotebook()
{
    OvcNotebook1 = new QStackedWidget(this);
    OvcNotebook1->setObjectName(QStringLiteral("OvcNotebook1"));
    OvcNotebook1->setGeometry(72, 48, 705, 377);
    OvcNotebook1->setAutoFillBackground(true);
    QPalette pal = OvcNotebook1->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    OvcNotebook1->setPalette(pal);

    auto page = [this](const char *name) {
        auto *widget = new QWidget(OvcNotebook1);
        widget->setObjectName(QLatin1String(name));
        OvcNotebook1->addWidget(widget);
        return widget;
    };
    // Every delete of a note first asks the confirmation dialog created at start-up.
    m_todoPage = new TodoPage(
        *Dbfmemo, [] { return Avertissement ? Avertissement->ask() : 0; }, OvcNotebook1);
    PageMemo = m_todoPage;
    OvcNotebook1->addWidget(PageMemo);
    PageInfos = page("PageInfos");
    // The information page's text and its formatting bar; its lists and fields come with the
    // page itself.
    DataSource2 = new TDataSource(Dbfinfos.get(), PageInfos);
    DataSource2->setObjectName(QStringLiteral("DataSource2"));
    const RichTextPage infos = placeRichTextPage(PageInfos, 2, DataSource2);
    editor2 = infos.editor;
    ToolBar4 = infos.bar;
    m_optionsPage = new OptionsPage(settingsFile(), OvcNotebook1);
    PageParametres = m_optionsPage;
    OvcNotebook1->addWidget(PageParametres);
    m_optionsPage->setHooks({
        .languageCode = [this] { return languageCode; },
        .setLaunchAtLogOn = [this](bool on) { launchAtLogOn = on; },
        .setReduireSiFin = [this](bool on) { ReduireSiFin = on; },
        .setPetiteIconeVisible = [this](bool on) { PetiteIconeVisible = on; },
        // The update dialog is not there yet.
        .openUpdateDialog = nullptr,
    });
    PageAdresses = page("PageAdresses");
    OvcNotebook1->hide();
}

// One set of formatting handlers for both text pages; they follow the active page mode.
void Form1::setupFormatting()
{
    FormatTarget target;
    target.activePageMode = &activePageMode;
    target.toolbarSyncGuard = &toolbarSyncGuard;
    target.editor1 = m_todoPage->editor1;
    target.bar1 = m_todoPage->ToolBar2;
    target.editor2 = editor2;
    target.bar2 = ToolBar4;
    formatHandlers = new FormatHandlers(target, this);
}

// The magnifier sits right of ImageOptions and shows with the rest of the hub; Ctrl+F works
// from the start. The search reads the tables from the data folder set by FormCreate.
void Form1::setupSearch()
{
    ImageRecherche = picture(this, "ImageRecherche", QStringLiteral("hub-search"), {497, 7, 25, 25});
    ImageRecherche->setCursor(Qt::PointingHandCursor);
    ImageRecherche->setToolTip(QStringLiteral("Rechercher"));
    ImageRecherche->hide();
    connect(ImageRecherche, &ClickLabel::clicked, this, &Form1::ImageRechercheClick);

    ActionRecherche = new QAction(QStringLiteral("Rechercher"), this);
    ActionRecherche->setObjectName(QStringLiteral("ActionRecherche"));
    ActionRecherche->setShortcut(QKeySequence::Find);
    ActionRecherche->setShortcutContext(Qt::WindowShortcut);
    addAction(ActionRecherche);
    connect(ActionRecherche, &QAction::triggered, this, &Form1::ImageRechercheClick);

    SearchWindow1 = new SearchWindow(dataDirectory(), this);
    SearchWindow1->index().watch(*Dbfmemo, SearchIndex::Notes);
    SearchWindow1->index().watch(*Dbfinfos, SearchIndex::Sheets);
    SearchWindow1->index().watch(*Dbfadbook, SearchIndex::Cards);
    connect(SearchWindow1, &SearchWindow::recordRequested, this, &Form1::SearchJump);
}

void Form1::showAtStart()
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void Form1::FormCreate()
{
    languageCode = 99;
    const std::string folder = dataDirectory().toStdString();
    Dbfinfos->setFilePath(folder);
    Dbfinfos->setTableName("infos.dbf");
    // Sheets are walked by descending title when infos.mdx holds this tag (of empty name).
    Dbfinfos->indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    Dbfmemo->setFilePath(folder);
    Dbfmemo->setTableName("memo.dbf");
    Dbfadbook->setFilePath(folder);
    Dbfadbook->setTableName("adbook.dbf");
}

void Form1::FormShow()
{
}

bool Form1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && !m_activated)
        FormActivate();
    return QWidget::event(event);
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
    // Some window systems never report the first activation of a frameless window; the steps
    // must still run once, right after the first showing.
    if (!m_activated)
        QTimer::singleShot(0, this, [this] {
            if (!m_activated && isVisible())
                FormActivate();
        });
}

void Form1::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;
    // A lock never opened ends the program here, before any table is touched.
    if (!runStartupLock()) {
        close();
        return;
    }
    readTraySwitches();
    setFooterText();
    showDesktopSwitches();
    openTables();
}

// A table that fails to open throws: the error box shows it and the tables after it stay closed.
void Form1::openTables()
{
    Dbfinfos->open();
    Dbfmemo->open();
    Dbfadbook->open();
}

bool Form1::runStartupLock()
{
    if (!ProPasswordDialog1)
        ProPasswordDialog1 = std::make_unique<TProPasswordDialog>();
    StartupLock lock(settingsFile(),
                     passwordPrompt ? passwordPrompt
                                    : StartupLock::dialogPrompt(*ProPasswordDialog1, this),
                     wrongPasswordNotice ? wrongPasswordNotice : StartupLock::errorBox(this));
    return lock.run(*m_optionsPage);
}

void Form1::readTraySwitches()
{
    const QString ico = SettingsAccess(settingsFile(), Settings::Read, QStringLiteral("ico"));
    if (ico == QLatin1String("yes")) {
        PetiteIconeVisible = true;
        ReduireSiFin = true;
    }
}

// Setting a box runs its click handler, which stores the same state again.
void Form1::showDesktopSwitches()
{
    m_optionsPage->CheckBox1->setChecked(launchAtLogOn);
    m_optionsPage->CheckBox2->setChecked(ReduireSiFin);
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
    ProUrlLabel1->setText(footerNotice(QDate::currentDate().year()));
}

void Form1::Image1Click()
{
    Image1->hide();
    Image3->show();
    ImageOptions->show();
    ImageRecherche->show();
    Label3->show();
    Label4->show();
}

void Form1::showPage(QWidget *page)
{
    OvcNotebook1->show();
    OvcNotebook1->setCurrentWidget(page);
}

void Form1::Label3Click()
{
    showPage(PageMemo);
    toolbarSyncGuard = false;
    activePageMode = 0;
}

void Form1::Label4Click()
{
    showPage(PageInfos);
    toolbarSyncGuard = false;
    activePageMode = 1;
}

void Form1::ImageOptionsClick()
{
    showPage(PageParametres);
}

void Form1::Label23Click()
{
    showPage(PageAdresses);
}

void Form1::ImageRechercheClick()
{
    // Under the hub, right-aligned with the notebook.
    const QRect notebook = OvcNotebook1->geometry();
    SearchWindow1->popup(mapToGlobal(QPoint(notebook.right() + 1 - SearchWindow1->width(), 38)));
}

// The page is selected as the hub selects it (its lists rebuilt), then the record becomes current
// by its physical number. A pending edit of that table is posted first, as any move posts it,
// and before the rebuild walks the table.
void Form1::SearchJump(int page, int recNo)
{
    TDbf *table = page == 0 ? Dbfmemo.get() : page == 1 ? Dbfinfos.get() : Dbfadbook.get();
    if (table->active())
        table->checkBrowseMode();
    if (page == 0)
        Label3Click();
    else if (page == 1)
        Label4Click();
    else
        Label23Click();
    if (!table->active())
        return;
    table->setRecNo(recNo);
    // Setting the record number fires no scroll event; the page's lists follow the record.
    if (table->AfterScroll)
        table->AfterScroll(*table);
}

void Form1::Label1Click()
{
    // The dataset objects stay alive for the controls bound to them; only their files close.
    Dbfinfos->close();
    Dbfmemo->close();
    Dbfadbook->close();
    close();
}

void Form1::Label2Click()
{
    showMinimized();
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
    if (watched == O32ImageForm1 && m_dragging) {
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
