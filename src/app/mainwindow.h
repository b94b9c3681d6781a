// The main window: the skinned notebook with its page hub, clock and footer link.
#pragma once

#include "dbf.h"
#include "startuplock.h"

#include <QWidget>
#include <functional>
#include <memory>

class ClickLabel;
class FormatBar;
class FormatHandlers;
class TDataSource;
class TRxDBRichEdit;
class TodoPage;
class ClockLabel;
class OptionsPage;
class QAction;
class QStackedWidget;
class SearchWindow;
class TO32ImageForm;
class TProPasswordDialog;
class UrlLabel;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    // applicationDirectory: the folder of the executable, ending with "/". The data folder and
    // the settings file sit below it.
    explicit Form1(const QString &applicationDirectory, QWidget *parent = nullptr);
    ~Form1() override;

    // Shows the window for the first time, centred on its screen.
    void showAtStart();

    QString applicationDirectory() const { return m_applicationDirectory; }
    QString dataDirectory() const { return m_applicationDirectory + QLatin1String("data/"); }
    QString settingsFile() const { return dataDirectory() + QLatin1String("velmora.ini"); }

    // The interface language; 99 while none was chosen.
    int languageCode = 99;
    // Which editor the formatting buttons act on: 0 the to-do editor, 1 the information editor.
    int activePageMode = 0;
    // While set, the formatting buttons' click handlers do nothing.
    bool toolbarSyncGuard = false;

    bool activated() const { return m_activated; }

    // Tray and log-on switches, kept as plain state until their components exist.
    bool PetiteIconeVisible = false;
    bool ReduireSiFin = false;
    bool launchAtLogOn = false;

    // How the start-up lock asks for the password and says it was wrong; tests replace them
    // before the window is shown. Empty: the password dialog and the "error!" box.
    StartupLock::PasswordPrompt passwordPrompt;
    StartupLock::WrongPasswordNotice wrongPasswordNotice;

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
    void O32ImageForm1MouseDown(QMouseEvent *event);
    // Opens the search window (Ctrl+F, the magnifier of the hub).
    void ImageRechercheClick();
    // A record picked in the search window: page 0, 1 or 3 and its physical record number.
    void SearchJump(int page, int recNo);

    // Components, named as the rest of the program knows them.
    TO32ImageForm *O32ImageForm1 = nullptr;
    ClickLabel *Image1 = nullptr;
    ClickLabel *Image2 = nullptr;
    ClickLabel *Image3 = nullptr;
    ClickLabel *Image4 = nullptr;
    ClickLabel *Label1 = nullptr;
    ClickLabel *Label2 = nullptr;
    ClickLabel *Label3 = nullptr;
    ClickLabel *Label4 = nullptr;
    ClickLabel *Label23 = nullptr;
    ClickLabel *ImageOptions = nullptr;
    ClickLabel *ImageRecherche = nullptr;
    QAction *ActionRecherche = nullptr;
    SearchWindow *SearchWindow1 = nullptr;
    ClockLabel *ProClockLabel1 = nullptr;
    UrlLabel *ProUrlLabel1 = nullptr;
    QStackedWidget *OvcNotebook1 = nullptr;
    QWidget *PageMemo = nullptr; // the to-do page, todoPage()
    TodoPage *todoPage() const { return m_todoPage; }
    FormatHandlers *formatHandlers = nullptr;
    QWidget *PageInfos = nullptr;
    TDataSource *DataSource2 = nullptr;
    TRxDBRichEdit *editor2 = nullptr;
    FormatBar *ToolBar4 = nullptr;
    QWidget *PageParametres = nullptr; // the options page
    OptionsPage *optionsPage() const { return m_optionsPage; }
    QWidget *PageAdresses = nullptr;
    std::unique_ptr<TProPasswordDialog> ProPasswordDialog1;
    // The three tables, created with the window so that pages can bind to them; opened at the
    // first activation, closed by "X".
    std::unique_ptr<TDbf> Dbfinfos = std::make_unique<TDbf>("Dbfinfos");
    std::unique_ptr<TDbf> Dbfmemo = std::make_unique<TDbf>("Dbfmemo");
    std::unique_ptr<TDbf> Dbfadbook = std::make_unique<TDbf>("Dbfadbook");

    // The footer notice for a given year: first year, a dash, "20" and the year's last two
    // digits, then the maker's name.
    static QString footerNotice(int currentYear);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupSkin();
    void setupHub();
    void setupWindowMarks();
    void setupClockAndFooter();
    void setupNotebook();
    void setupFormatting();
    void setupSearch();
    void showPage(QWidget *page);

    // Activation steps, in the order they run.
    bool runStartupLock();
    void readTraySwitches();
    void setFooterText();
    void showDesktopSwitches();
    void openTables();

    QString m_applicationDirectory;
    OptionsPage *m_optionsPage = nullptr;
    TodoPage *m_todoPage = nullptr;
    bool m_activated = false;
    // Dragging by hand, for window systems that do not move windows for us.
    bool m_dragging = false;
    QPoint m_dragOffset;
};
