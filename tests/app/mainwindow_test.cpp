#include "clicklabel.h"
#include "clocklabel.h"
#include "imageform.h"
#include "dbf.h"
#include "formatbar.h"
#include "infospage.h"
#include "notebooktables.h"
#include "pagemode.h"
#include "todopage.h"
#include "addresspage.h"
#include "optionspage.h"
#include "mainwindow.h"
#include "rxdbrichedit.h"

#include <QComboBox>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>

namespace {

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        form = std::make_unique<Form1>(dir.path() + QLatin1Char('/'));
    }

    void click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void click(const char *name) { click(control(name)); }
    QWidget *control(const char *name) const { return form->findChild<QWidget *>(QLatin1String(name)); }
    QWidget *currentPage() const { return form->notebook()->currentWidget(); }

    // The shipped tables in the data folder, the window shown and its tables open.
    void openOnShippedTables()
    {
        for (const char *name : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx",
                                 "adbook.dbf", "adbook.dbt"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_SHIPPED_DATA_DIR "/") + name,
                                    form->dataDirectory() + name))
                << name;
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->activated(); }, 5000));
    }

    QTemporaryDir dir;
    std::unique_ptr<Form1> form;
};

} // namespace

TEST_F(MainWindow, NotebookHoldsFourPagesInOrder)
{
    QStringList names;
    for (int i = 0; i < form->notebook()->count(); ++i)
        names << form->notebook()->widget(i)->objectName();
    EXPECT_EQ(names, (QStringList{"PageMemo", "PageInfos", "PageParametres", "PageAdresses"}));
}

TEST_F(MainWindow, SkinGivesTheWindowANonRectangularOutline)
{
    form->show();
    ASSERT_TRUE(form->findChild<TO32ImageForm *>("O32ImageForm1")->shapeApplied());
    const QRegion mask = form->mask();
    EXPECT_NE(mask, QRegion(form->rect()));
    EXPECT_FALSE(mask.contains(QPoint(0, 0))) << "the corner of the skin is cut out";
    EXPECT_TRUE(mask.contains(QPoint(400, 216)));
    for (const char *name : {"Label1", "Label2", "Image1", "Label23", "ProClockLabel1"}) {
        const QWidget *w = form->findChild<QWidget *>(QLatin1String(name));
        EXPECT_TRUE(mask.contains(w->geometry().center())) << name << " must stay clickable";
    }
}

TEST_F(MainWindow, FirstCreationSetsDirectoriesAndNoLanguage)
{
    EXPECT_TRUE(form->applicationDirectory().endsWith(QLatin1Char('/')));
    EXPECT_EQ(form->dataDirectory(), form->applicationDirectory() + "data/");
    EXPECT_EQ(form->settingsFile(), form->applicationDirectory() + "data/velmora.ini");
    EXPECT_EQ(form->languageCode(), 99);
    EXPECT_EQ(form->pageMode().mode(), 0);
    EXPECT_FALSE(form->pageMode().syncGuard());
}

TEST_F(MainWindow, HubIsRevealedByImage1AndStaysRevealed)
{
    form->show();
    click("Image1");
    EXPECT_FALSE(control("Image1")->isVisible());
    for (QWidget *w : {control("Image3"), control("ImageOptions"), control("Label3"), control("Label4")})
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    click("Label3");
    EXPECT_TRUE(control("Image3")->isVisible());
}

TEST_F(MainWindow, TextPagesSetModeAndClearGuard)
{
    form->show();
    click("Image1");

    form->pageMode().setSyncGuard(true);
    click("Label4");
    EXPECT_TRUE(form->notebook()->isVisible());
    EXPECT_EQ(currentPage(), form->infosPage());
    EXPECT_EQ(form->pageMode().mode(), 1);
    EXPECT_FALSE(form->pageMode().syncGuard());

    form->pageMode().setSyncGuard(true);
    click("Label3");
    EXPECT_EQ(currentPage(), form->todoPage());
    EXPECT_EQ(form->pageMode().mode(), 0);
    EXPECT_FALSE(form->pageMode().syncGuard());
}

TEST_F(MainWindow, OptionsAndAddressPagesLeaveModeAndGuardAlone)
{
    form->show();
    click("Image1");
    click("Label4");
    form->pageMode().setSyncGuard(true);

    click("ImageOptions");
    EXPECT_EQ(currentPage(), form->optionsPage());
    EXPECT_EQ(form->pageMode().mode(), 1);
    EXPECT_TRUE(form->pageMode().syncGuard());

    click("Label23");
    EXPECT_EQ(currentPage(), form->addressPage());
    EXPECT_EQ(form->pageMode().mode(), 1);
    EXPECT_TRUE(form->pageMode().syncGuard());
}

TEST_F(MainWindow, InvisibleAddressAreaWorksBeforeTheHubIsOpenAndRevealsIt)
{
    form->show();
    ASSERT_TRUE(control("Image1")->isVisible());
    click("Label23");
    EXPECT_TRUE(form->notebook()->isVisible());
    EXPECT_EQ(currentPage(), form->addressPage());
    EXPECT_FALSE(control("Image1")->isVisible());
    EXPECT_TRUE(control("Label3")->isVisible()) << "the hub shows, so that the other pages stay in reach";
}

// The first frame waits for nothing it does not show, and a page is made only when it is first
// shown: it then binds to tables that are open already, in its place in the notebook.
TEST_F(MainWindow, EachPageIsMadeWhenFirstShown)
{
    bool builtAtFirstPaint = true;
    struct FirstPaint : QObject
    {
        std::function<void()> seen;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && seen)
                std::exchange(seen, nullptr)();
            return false;
        }
    } spy;
    spy.seen = [&] {
        builtAtFirstPaint = false;
        for (const Form1::PageEntry &entry : Form1::pages())
            builtAtFirstPaint |= form->pageBuilt(entry.index);
    };
    form->installEventFilter(&spy);
    openOnShippedTables();
    EXPECT_FALSE(builtAtFirstPaint);
    for (const Form1::PageEntry &entry : Form1::pages())
        EXPECT_FALSE(form->pageBuilt(entry.index)) << entry.hotArea << " before it was shown";

    int shown = 0;
    for (const char *area : {"Label23", "Label3", "ImageOptions", "Label4"}) {
        SCOPED_TRACE(area);
        click(area);
        const QStackedWidget *notebook = form->findChild<QStackedWidget *>(QStringLiteral("OvcNotebook1"));
        ++shown;
        int built = 0;
        for (const Form1::PageEntry &entry : Form1::pages())
            built += form->pageBuilt(entry.index);
        EXPECT_EQ(built, shown);
        ASSERT_EQ(notebook->count(), 4);
        EXPECT_TRUE(form->pageBuilt(notebook->currentIndex()));
        static const char *const names[] = {"PageMemo", "PageInfos", "PageParametres", "PageAdresses"};
        EXPECT_EQ(notebook->currentWidget()->objectName(), QLatin1String(names[notebook->currentIndex()]));
    }
}

TEST_F(MainWindow, ActivationStepsRunOnceOnFirstShowing)
{
    EXPECT_FALSE(form->activated());
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form->activated(); }, 5000));
    EXPECT_TRUE(form->findChild<UrlLabel *>("ProUrlLabel1")->text().startsWith(QStringLiteral("© 2004-20")));

    // A second activation (back from a dialog, or from the tray) must not run the steps again.
    form->findChild<UrlLabel *>("ProUrlLabel1")->setText(QStringLiteral("marker"));
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(form.get(), &activate);
    form->hide();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // Everything the showing posted (activation included) is handled before this runs.
    bool drained = false;
    QTimer::singleShot(0, [&drained] { drained = true; });
    ASSERT_TRUE(QTest::qWaitFor([&drained] { return drained; }, 5000));
    EXPECT_EQ(form->findChild<UrlLabel *>("ProUrlLabel1")->text(), QStringLiteral("marker"));
}

TEST_F(MainWindow, CloseMarkClosesTheWindow)
{
    form->show();
    click("Label1");
    EXPECT_FALSE(form->isVisible());
}

TEST(MainWindowTexts, FooterNoticeCarriesTheYearRangeAndMaker)
{
    EXPECT_EQ(Form1::footerNotice(2026), QStringLiteral("© 2004-2026 Velmora"));
    EXPECT_EQ(Form1::footerNotice(2009), QStringLiteral("© 2004-2009 Velmora"));
}

TEST(MainWindowTexts, ClockShowsShortDateThenLongTime)
{
    const QDateTime moment(QDate(2026, 12, 7), QTime(20, 11, 4));
    EXPECT_EQ(ClockLabel::format(moment), QStringLiteral("07/12/2026 20:11:04"));
}

TEST(FooterLink, OpensOnlyWhenReleasedOverIt)
{
    UrlLabel label;
    label.resize(22, 193);
    label.setUrl(QStringLiteral("https://example.org/"));
    QList<QUrl> opened;
    label.setOpener([&](const QUrl &url) { opened << url; });
    label.show();

    QTest::mouseClick(&label, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("https://example.org/")));

    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(200, 5));
    QTest::mouseClick(&label, Qt::RightButton);
    EXPECT_EQ(opened.size(), 1) << "a release outside the link or a right click opens nothing";
}

TEST_F(MainWindow, BoldOnTheInformationPageActsOnItsOwnTable)
{
    ASSERT_NO_FATAL_FAILURE(openOnShippedTables());
    ASSERT_TRUE(form->tables().Dbfinfos().active());
    click("Image1");
    click("Label4");
    ASSERT_EQ(form->pageMode().mode(), 1);

    TRxDBRichEdit *editor2 = form->infosPage()->editor2();
    editor2->setFocus();
    QTest::keyClicks(editor2, QStringLiteral("Banque"));
    EXPECT_NE(form->tables().Dbfinfos().state(), TDataSetState::dsBrowse) << "typing must start a new sheet";
    editor2->selectAll();
    form->infosPage()->ToolBar4()->BoldButton()->click();
    EXPECT_EQ(editor2->fontWeight(), QFont::Bold);
    EXPECT_EQ(form->tables().Dbfmemo().state(), TDataSetState::dsBrowse) << "the to-do table is not touched";
}

TEST_F(MainWindow, SelectingTheDataPagesRebuildsTheirLists)
{
    ASSERT_NO_FATAL_FAILURE(openOnShippedTables());
    // Written by another dataset, as another copy of the program would: only the hub's
    // rebuild can bring them into the lists.
    auto add = [this](const char *file, const char *first, const char *second) {
        TDbf table("other");
        table.setFilePath(form->dataDirectory().toStdString());
        table.setTableName(file);
        table.open();
        table.insert();
        table.field(0).setAsString(first);
        table.field(1).setAsString(second);
        table.post();
    };
    add("infos.dbf", "Banque", "Agence");
    add("adbook.dbf", "Jean", "Dupont");

    click("Label23");
    EXPECT_EQ(form->addressPage()->ComboBox3()->itemText(0), QStringLiteral("Jean Dupont"));
    click("Image1");
    click("Label4");
    EXPECT_EQ(form->infosPage()->ComboBox1()->count(), 2);
    EXPECT_EQ(form->infosPage()->ComboBox2()->itemText(0), QStringLiteral("Agence"));
}
