// The information page on a real infos.dbf: its two lists, picking a title, and the lists
// following posts, deletes and edits in progress.
#include "infospage.h"
#include "recordpagetestutil.h"

#include "dblineedit.h"
#include "formatbar.h"
#include "pagemode.h"
#include "recordactions.h"
#include "recordbar.h"
#include "rxdbrichedit.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using recordtest::entries;
using recordtest::InfosFolder;
using recordtest::Row;

namespace {

struct InfosFixture
{
    explicit InfosFixture(const InfosFolder &folder)
        : table(folder.open()), page(*table, format, [this] { return answer; })
    {
        recordtest::showPage(page);
    }
    QStringList categories() const { return entries(page.ComboBox1()); }
    QStringList titles() const { return entries(page.ComboBox2()); }
    QString title() const { return QString::fromStdString(table->fieldByName("TITRE").asString()); }
    void click(RecordBar::Command command) { QTest::mouseClick(page.ToolBar3()->button(command), Qt::LeftButton); }

    std::unique_ptr<TDbf> table;
    int answer = AnswerYes;
    PageMode mode;
    FormatActions format{mode};
    InfosPage page;
};

struct RebuildCase
{
    const char *name;
    std::vector<Row> sheets;
    QStringList categories;
    QStringList titles;
    QString categoryText; // shown after the rebuild; the list showed "avant" before it
    QString titleText;
};

} // namespace

TEST(InfosPageLists, RebuildFollowsTheListRules)
{
    const RebuildCase cases[] = {
        {"empty table", {}, {"Tous"}, {}, "avant", "avant"},
        {"letter case makes two categories",
         {{"Travail", "Budget"}, {"travail", "agenda"}},
         {"Tous", "Travail", "travail"},
         {"agenda", "Budget"},
         "Tous",
         "Budget"},
        {"last category met before keeps the text",
         {{"Maison", "Zinc"}, {"Banque", "Code"}, {"Maison", "Alarme"}},
         {"Tous", "Maison", "Banque"},
         {"Alarme", "Code", "Zinc"},
         "avant",
         "Zinc"},
        {"equal titles are all listed, Tous and empty categories once",
         {{"Tous", "Noël"}, {"", "Noël"}, {"", "noël"}},
         {"Tous", ""},
         {"Noël", "Noël", "noël"},
         "avant",
         "Noël"},
    };
    for (const RebuildCase &c : cases) {
        SCOPED_TRACE(c.name);
        InfosFolder folder;
        folder.add(c.sheets);
        InfosFixture f(folder);
        f.page.ComboBox1()->setEditText(QStringLiteral("avant"));
        f.page.ComboBox2()->setEditText(QStringLiteral("avant"));

        f.page.RebuildInfoLists();
        EXPECT_EQ(f.categories(), c.categories);
        EXPECT_EQ(f.titles(), c.titles);
        EXPECT_EQ(f.page.ComboBox1()->currentText(), c.categoryText);
        EXPECT_EQ(f.page.ComboBox2()->currentText(), c.titleText);
        if (!c.sheets.empty()) {
            EXPECT_EQ(f.table->recNo(), 1) << "the rebuild comes back to the current sheet";
        }
    }
}

TEST(InfosPageLists, PickingATitleGoesToItsFirstSheetAndScrollingShowsTheTitle)
{
    InfosFolder folder;
    folder.add({{"A", "Noel"}, {"B", "Autre"}, {"C", "Noel"}, {"D", "noel"}});
    InfosFixture f(folder);
    f.page.RebuildInfoLists();
    f.click(RecordBar::Last);
    EXPECT_EQ(f.page.ComboBox2()->currentText(), QStringLiteral("noel")) << "the list follows the sheet";

    QLineEdit *typed = f.page.ComboBox2()->lineEdit();
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("Noe"));
    EXPECT_EQ(f.table->recNo(), 4) << "a text that is no title moves nowhere";
    QTest::keyClicks(typed, QStringLiteral("l"));
    EXPECT_EQ(f.table->recNo(), 1) << "equal titles go to the first in the table's order";
    EXPECT_EQ(QApplication::focusWidget(), f.page.editor2());

    recordtest::pick(f.page.ComboBox2(), f.page.ComboBox2()->findText(QStringLiteral("Autre")));
    EXPECT_EQ(f.title(), "Autre");
}

TEST(InfosPageLists, PostedSheetAddsItsTitleAndCategoryAndADeleteTakesThemAway)
{
    InfosFolder folder;
    folder.add({{"Maison", "Clés"}});
    InfosFixture f(folder);
    f.page.RebuildInfoLists();

    f.click(RecordBar::Insert);
    QTest::keyClicks(f.page.DBEdit3(), QStringLiteral("Banque"));
    QTest::keyClicks(f.page.DBEdit2(), QStringLiteral("Agence"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.categories(), QStringList({"Tous", "Maison", "Banque"}));
    EXPECT_EQ(f.titles(), QStringList({"Agence", "Clés"}));

    f.answer = 7; // "Non"
    f.click(RecordBar::Delete);
    EXPECT_EQ(f.titles(), QStringList({"Agence", "Clés"}));
    f.answer = AnswerYes;
    f.click(RecordBar::Delete);
    EXPECT_EQ(f.titles().size(), 1);
    EXPECT_EQ(f.categories().size(), 2);
}

TEST(InfosPageLists, RebuildWhileEditingNeverDoublesAnEntry)
{
    for (const bool changed : {true, false}) {
        SCOPED_TRACE(changed ? "with a change" : "without a change");
        InfosFolder folder;
        folder.add({{"A", "un"}, {"B", "deux"}, {"C", "trois"}});
        InfosFixture f(folder);
        f.page.RebuildInfoLists();
        f.click(RecordBar::Next);
        if (changed) {
            f.page.DBEdit2()->setFocus();
            f.page.DBEdit2()->end(false);
            QTest::keyClicks(f.page.DBEdit2(), QStringLiteral("x"));
        } else {
            f.click(RecordBar::Edit);
        }
        ASSERT_EQ(f.table->state(), TDataSetState::dsEdit);

        f.page.RebuildInfoLists();
        EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
        EXPECT_EQ(f.titles(), changed ? QStringList({"deuxx", "trois", "un"}) : QStringList({"deux", "trois", "un"}));
        EXPECT_EQ(f.table->recNo(), 2) << "the sheet being edited stays current";
        EXPECT_EQ(f.page.ComboBox2()->currentText(), f.page.DBEdit2()->text());
    }
}

TEST(InfosPageLists, ClosedTableLeavesOnlyTous)
{
    InfosFolder folder;
    folder.add({{"A", "un"}});
    InfosFixture f(folder);
    f.page.RebuildInfoLists();
    f.table->close();
    f.page.RebuildInfoLists();
    EXPECT_EQ(f.categories(), QStringList{"Tous"});
    EXPECT_TRUE(f.titles().isEmpty());
}

TEST(InfosPageLists, PickingACategoryNarrowsTheTitlesAndTheTitlesLeadToTheirOwnSheet)
{
    InfosFolder folder;
    folder.add({{"Travail", "Réunion"}, {"Maison", "Courses"}, {"Travail", "Notes"}, {"Maison", "Notes"}});
    InfosFixture f(folder);
    f.page.RebuildInfoLists();
    const auto pickCategory = [&f](const char *name) {
        recordtest::pick(f.page.ComboBox1(), f.page.ComboBox1()->findText(QString::fromUtf8(name)));
    };
    pickCategory("Maison");
    EXPECT_EQ(f.titles(), QStringList({"Courses", "Notes"}));
    recordtest::pick(f.page.ComboBox2(), 1);
    EXPECT_EQ(f.table->recNo(), 4) << "the Notes of Maison, not the first Notes";
    pickCategory("Tous");
    EXPECT_EQ(f.titles(), QStringList({"Courses", "Notes", "Notes", "Réunion"}));

    f.click(RecordBar::Insert);
    QTest::keyClicks(f.page.DBEdit2(), QStringLiteral("Nouvelle"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.table->recNo(), 5) << "a new sheet stays current after Valider";
    EXPECT_EQ(f.page.ComboBox2()->currentText(), QStringLiteral("Nouvelle"));
}
