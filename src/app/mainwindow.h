// Where things are in src/app: the program's entry and error box (main.cpp, application), this
// window and its hub keys (hubkeys), the options page (optionspage) with the settings file
// (settings, inifile, systemcodepage), the start-up password (startuplock, passworddialog,
// sealtext), the window's skin and placement (imageform, formplacement, compositing), its small
// widgets (clicklabel, clocklabel, scrollinglabel, gradient, ualarm), the work after the first
// frame (backgroundstep) and the data folder's choice (datafolder).
//
// The main window: the skinned notebook with its page hub, clock and footer link.
//
// Form1 is the hub only. The tables (NotebookTables), the page mode and the formatting commands
// are created first and handed to the pages; each notebook page owns its controls, record bar
// and table handlers. Form1 selects the pages, runs the activation steps, shows the clock and
// the footer, drags and closes the window.
#pragma once

#include "datafolder.h"
#include "startuplock.h"
#include "ualarm.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <span>

class ClickLabel;
class FormatActions;
class InfosPage;
class InterfaceLanguage;
class AddressPage;
class NotebookTables;
class OptionsPage;
class PageMode;
class QAction;
class QMenu;
class TAutoRunner;
class TFormPlacement;
class TPiconeBarreTache;
class QStackedWidget;
class RecordActions;
class SearchIndex;
class SearchWindow;
class TDbf;
class TO32ImageForm;
class TProPasswordDialog;
class TodoPage;
class UrlLabel;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    // The notebook's pages, by index (pages() says what each is).
    enum Page { PageMemo = 0, PageInfos = 1, PageParametres = 2, PageAdresses = 3 };

    // applicationDirectory: the folder of the executable, ending with "/". The data folder and
    // the settings file sit below it.
    explicit Form1(const QString &applicationDirectory, QWidget *parent = nullptr);
    // dataDirectory, ending with "/": where the tables and the settings file live when that is
    // not the "data" folder beside the executable (an installed program).
    Form1(const QString &applicationDirectory, const QString &dataDirectory,
          QWidget *parent = nullptr);
    ~Form1() override;

    // Shows the window for the first time, centred on its screen.
    void showAtStart();

    QString applicationDirectory() const { return m_applicationDirectory; }
    QString dataDirectory() const { return m_dataDirectory; }
    // Where the language files are: beside the executable, or in the installed share folder.
    QString languageDirectory() const { return sharedDirectory(m_applicationDirectory); }
    QString settingsFile() const;

    NotebookTables &tables() const { return *m_tables; }
    // Over a data folder that cannot be written: the tables and the window's placement are only read.
    void setReadOnlyData(bool readOnly);
    // Which editor the formatting commands act on, and their sync guard.
    PageMode &pageMode() const { return *m_pageMode; }
    // Each page is made the first time it is shown (or asked for here), the search window the
    // first time it opens: a notebook opened on one page never pays for the others.
    TodoPage *todoPage() { buildPage(PageMemo); return m_todoPage; }
    InfosPage *infosPage() { buildPage(PageInfos); return m_infosPage; }
    OptionsPage *optionsPage() { buildPage(PageParametres); return m_optionsPage; }
    AddressPage *addressPage() { buildPage(PageAdresses); return m_addressPage; }
    // With every page made.
    QStackedWidget *notebook();
    SearchWindow *searchWindow() { buildSearchWindow(); return m_search; }
    // The word index, from the start: it is built once the tables are open, window or not.
    SearchIndex &searchIndex() const { return *m_searchIndex; }
    bool pageBuilt(int page) const;

    // Shows the notebook on `page` as the hub does: the to-do and information pages set the
    // page mode and clear the sync guard; the information and address pages rebuild their lists.
    void selectPage(int page);

    // One notebook page, with what the hub, the keys, the selection, the search and closing
    // need of it. A new page is its class and one entry in pages() (mainwindow.cpp).
    struct PageEntry
    {
        Page index;                        // in the notebook
        const char *hotArea;               // the hub's area that selects it
        const char *hint;                  // the area's tool tip
        QRect geometry;                    // the area's place
        bool picture;                      // the area shows the hub's art (drawn when the hub first opens)
        bool secret;                       // the area is there from the start, a Tab stop once the hub opens
        void (Form1::*click)();            // the area's handler
        QWidget *(*make)(Form1 &);         // makes and wires the page (once, in buildPage)
        void (*selected)(Form1 &);         // what showing the page does, or null
        TDbf &(NotebookTables::*table)();  // its table, or null
        int search;                        // its SearchIndex::Table, -1 when the search has none
        void (*postPendingEdit)(Form1 &);  // or null
        int closingRank;                   // closing posts the edits in the tables' own order
    };
    static std::span<const PageEntry> pages();
    static const PageEntry *pageEntry(int page);

    // The delete confirmation every page's delete asks; none: deletes are refused.
    void setDeleteQuestion(TAvertissement *question) { m_deleteQuestion = question; }

    // The interface language; 99 while none was chosen.
    int languageCode() const { return m_languageCode; }

    bool activated() const { return m_activated; }

    // Desktop companions: the tray icon, launch at log-on, the window's placement.
    TPiconeBarreTache *PiconeBarreTache1() const { return m_tray; }
    TAutoRunner &AutoRunner1() const { return *m_autoRunner; }
    TFormPlacement *FormPlacement1() const { return m_placement; }

    // How the start-up lock asks for the password and says it was wrong; tests replace them
    // before the window is shown. Empty: the password dialog and the "error!" box.
    void setStartupLockDialogs(StartupLock::PasswordPrompt prompt, StartupLock::WrongPasswordNotice notice)
    {
        m_passwordPrompt = std::move(prompt);
        m_wrongPasswordNotice = std::move(notice);
    }

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormActivate();
    void Image1Click();
    void Label3Click();
    void Label4Click();
    void ImageOptionsClick();
    void Label23Click();
    void Label1Click();
    void Label2Click();

    // Posts the pending edit of each table, as a move would. A failing post is shown in the
    // error box, its table stays in its state, and the answer is false: the window must then
    // stay open. Every way of closing (the "X", the tray's "Fermer", the session's end) asks
    // this first.
    bool postPendingEdits();
    void O32ImageForm1MouseDown(QMouseEvent *event);
    // The tray menu: "Ouvrir" brings the window back, "Fermer" always ends the program.
    void Ouvrir1Click();
    void Fermer1Click();
    // Opens the search window (Ctrl+F anywhere, or the hub's magnifier `ImageRecherche`).
    void ImageRechercheClick();
    // A record picked in the search window: its page (PageMemo, PageInfos, PageAdresses) and
    // its physical record number. The focus goes to the page's first field, or to its text when
    // the words were found there (inText).
    void SearchJump(int page, int recNo, bool inText = false);

    // The footer notice for a given year: first year, a dash, "20" and the year's last two
    // digits, then the maker's name.
    static QString footerNotice(int currentYear);

signals:
    // The first page is about to be made (once): what only the pages need can be made now, in
    // time for the language to reach it.
    void buildingPages();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setupSkin();
    void setupHub();
    void setupWindowMarks();
    void setupClockAndFooter();
    void setupNotebook();
    void setupOptionsPage();
    std::function<int()> deleteQuestion();
    void setupLanguage();
    void setupDesktop();
    void setupSessionEnd();
    void setupSearch();
    // Makes `page` and wires it to the window, once; the first call also makes what all the
    // pages share.
    void buildPage(int page);
    void prepareForPages();
    void buildSearchWindow();
    // The hub's art, once, when it first shows.
    void drawHiddenArt();
    // What a page made after the window was set up needs of it.
    template <class TablePageType>
    TablePageType *wireTablePage(TablePageType *page,
                                 RecordActions *(TablePageType::*actionList)() const);
    void wireOptionsPage();
    FormatActions &formatActions();
    // The activation steps that need the pages; they wait for the first frame.
    void finishActivation();

    // Activation steps, in the order they run.
    bool runStartupLock();
    void readTraySwitches();
    void setFooterText();
    void showDesktopSwitches();

    QString m_applicationDirectory;
    QString m_dataDirectory;
    int m_languageCode = 99;
    StartupLock::PasswordPrompt m_passwordPrompt;
    StartupLock::WrongPasswordNotice m_wrongPasswordNotice;
    // Created before any widget, so that the pages can bind to them.
    NotebookTables *m_tables = nullptr;
    PageMode *m_pageMode = nullptr;
    FormatActions *m_formatActions = nullptr;

    TO32ImageForm *m_skin = nullptr;         // O32ImageForm1
    ClickLabel *m_openHub = nullptr;         // Image1
    QList<QWidget *> m_hub;                  // Image3, the areas but the secret one, ImageRecherche
    UrlLabel *m_footer = nullptr;            // ProUrlLabel1
    QStackedWidget *m_notebook = nullptr;    // OvcNotebook1
    TodoPage *m_todoPage = nullptr;
    InfosPage *m_infosPage = nullptr;
    OptionsPage *m_optionsPage = nullptr;
    InterfaceLanguage *m_language = nullptr;
    AddressPage *m_addressPage = nullptr;
    SearchWindow *m_search = nullptr;
    SearchIndex *m_searchIndex = nullptr;               // the search window's once it is made
    std::unique_ptr<SearchIndex> m_searchIndexToHandOver; // until then
    std::array<QWidget *, 4> m_pages{};                 // by Page, once made
    QPointer<TAvertissement> m_deleteQuestion;
    std::unique_ptr<TProPasswordDialog> m_passwordDialog; // ProPasswordDialog1, on first use
    TPiconeBarreTache *m_tray = nullptr;                  // PiconeBarreTache1 with RxPopupMenu1
    std::unique_ptr<TAutoRunner> m_autoRunner;            // AutoRunner1
    TFormPlacement *m_placement = nullptr;                // FormPlacement1

    bool m_activationStarted = false;
    bool m_activated = false; // every step ran, or the lock stopped them
    bool m_finishAfterFirstFrame = false;
    bool m_preparedForPages = false;
    bool m_hiddenArtDrawn = false;
    bool m_desktopSwitchesDue = false; // the tray's switches are read: the options page shows them
    bool m_firstFramePainted = false;
    // Dragging by hand, for window systems that do not move windows for us.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
