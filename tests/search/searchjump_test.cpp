// The road of a search: Ctrl+F in the main window, a query typed, Enter, and the record shown on
// its page.
#include "clicklabel.h"
#include "mainwindow.h"
#include "notebooktables.h"
#include "searchtestutil.h"
#include "searchwindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

using searchtest::TestTables;
using searchtest::rtf;

namespace {

struct JumpCase
{
    int page;
    const char *table;
    const char *titleField;
    const char *query;
    const char *titleEdit; // the page's bound control of titleField
    const char *firstField; // where the focus lands: the page's first field
};

class SearchJump : public ::testing::TestWithParam<JumpCase>
{
protected:
    void SetUp() override
    {
        // Three records; the one searched for is the third, behind a deleted second one.
        const JumpCase &c = GetParam();
        folder.add(c.table, {{c.titleField, "Premier"}});
        folder.add(c.table, {{c.titleField, "Effacé"}});
        folder.add(c.table, {{c.titleField, "Cible"}});
        folder.remove(c.table, 2);
        form = std::make_unique<Form1>(folder.path());
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->activated(); }, 5000));
    }

    TDbf &table() const
    {
        const int page = GetParam().page;
        NotebookTables &tables = form->tables();
        return page == 0 ? tables.Dbfmemo() : page == 1 ? tables.Dbfinfos() : tables.Dbfadbook();
    }

    // The stored title of physical record n, read as another program would.
    std::string storedTitle(int n) const
    {
        TDbf reader;
        reader.setReadOnly(true);
        reader.setFilePath(folder.data());
        reader.setTableName(GetParam().table);
        reader.open();
        reader.setRecNo(n);
        return reader.fieldByName(GetParam().titleField).asString();
    }

    TestTables folder;
    std::unique_ptr<Form1> form;
};

} // namespace

TEST_P(SearchJump, EnterShowsThePageWithTheRecordCurrentAfterPostingThePendingEdit)
{
    TDbf &t = table();
    ASSERT_TRUE(t.active());
    t.first();
    t.edit();
    t.fieldByName(GetParam().titleField).setAsString("Modifié");

    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    SearchWindow *search = form->searchWindow();
    ASSERT_TRUE(search->isVisible()) << "Ctrl+F opens the search window";
    QTest::keyClicks(search->findChild<QLineEdit *>("EditRecherche"), QString::fromUtf8(GetParam().query));
    QTRY_COMPARE(search->findChild<QListView *>("ListeResultats")->model()->rowCount(), 1);
    QTest::keyClick(search->findChild<QLineEdit *>("EditRecherche"), Qt::Key_Return);

    EXPECT_FALSE(search->isVisible());
    EXPECT_TRUE(form->notebook()->isVisible());
    EXPECT_EQ(form->notebook()->currentIndex(), GetParam().page);
    EXPECT_EQ(t.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(t.recNo(), 3);
    EXPECT_EQ(t.fieldByName(GetParam().titleField).asString(), "Cible");
    auto *edit = form->notebook()->currentWidget()->findChild<QLineEdit *>(QLatin1String(GetParam().titleEdit));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("Cible")) << "the page shows the record found";
    EXPECT_EQ(storedTitle(1), "Modifié") << "the pending edit is posted before the move";
    ASSERT_NE(form->focusWidget(), nullptr);
    EXPECT_EQ(form->focusWidget()->objectName(), QLatin1String(GetParam().firstField))
        << "the focus lands on a field, never on a button";
}

INSTANTIATE_TEST_SUITE_P(Pages, SearchJump,
                         ::testing::Values(JumpCase{0, "memo.dbf", "TITRE", "cible", "DBEdit1", "DBEdit1"},
                                           JumpCase{1, "infos.dbf", "TITRE", "CIBLE", "DBEdit2", "DBEdit3"},
                                           JumpCase{3, "adbook.dbf", "NOM", "cib", "DBEdit5", "DBEdit4"}));

TEST(SearchJumpFocus, WordsFoundInTheTextPutTheFocusInTheText)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", "Courses"}, {"MEMO", rtf(QStringLiteral("du pain et du beurre"))}});
    Form1 form(folder.path());
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&form] { return form.activated(); }, 5000));
    SearchWindow *search = form.searchWindow();
    search->popup(QPoint(0, 0));
    QTest::keyClicks(search->findChild<QLineEdit *>("EditRecherche"), QStringLiteral("beurre"));
    QTRY_COMPARE(search->findChild<QListView *>("ListeResultats")->model()->rowCount(), 1);
    QTest::keyClick(search->findChild<QLineEdit *>("EditRecherche"), Qt::Key_Return);
    ASSERT_NE(form.focusWidget(), nullptr);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("editor1"));
}

// Once the window has opened its tables the index is read without anyone asking, so that the
// first Ctrl+F finds it ready; the first frame never waits for it.
TEST(SearchJumpFocus, TheIndexIsReadyAfterStartWithoutASearch)
{
    TestTables folder;
    folder.add("infos.dbf", {{"TITRE", "Prêt"}, {"INFOS", rtf(QStringLiteral("lu d'avance"))}});
    Form1 form(folder.path());
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&form] { return form.activated(); }, 5000));
    SearchIndex &index = form.searchWindow()->index();
    QTRY_VERIFY_WITH_TIMEOUT(index.isReady(), 10000);
    EXPECT_EQ(index.search(QStringLiteral("avance")).rows.size(), 1u);
}

TEST(SearchWindowUse, EscapeClosesAndNoMatchSaysSo)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", "Lot un"}});
    folder.add("memo.dbf", {{"TITRE", "Lot deux"}, {"MEMO", rtf(QStringLiteral("texte"))}});
    folder.add("memo.dbf", {{"TITRE", "Lot trois"}});
    QWidget owner;
    SearchWindow search(folder.qdata(), &owner);
    search.popup(QPoint(0, 0));
    QTest::keyClicks(search.findChild<QLineEdit *>("EditRecherche"), QStringLiteral("zut"));
    QTRY_VERIFY(search.findChild<QLabel *>("LabelAucunResultat")->isVisible());

    search.findChild<QLineEdit *>("EditRecherche")->clear();
    QTest::keyClicks(search.findChild<QLineEdit *>("EditRecherche"), QStringLiteral("lot"));
    QTRY_COMPARE(search.findChild<QListView *>("ListeResultats")->model()->rowCount(), 3);
    EXPECT_FALSE(search.findChild<QLabel *>("LabelAucunResultat")->isVisible());
    QTest::keyClick(search.findChild<QLineEdit *>("EditRecherche"), Qt::Key_Down);
    EXPECT_EQ(search.findChild<QListView *>("ListeResultats")->currentIndex().row(), 1);

    QTest::keyClick(search.findChild<QLineEdit *>("EditRecherche"), Qt::Key_Escape);
    EXPECT_FALSE(search.isVisible());
}

TEST(SearchWindowUse, TextsComeFromTheirWidgetsSoThatLanguageFilesReachThem)
{
    TestTables folder;
    folder.add("memo.dbf", {{"TITRE", ""}, {"MEMO", rtf(QStringLiteral("sans nom"))}});
    folder.add("memo.dbf", {{"TITRE", "Nom"}, {"MEMO", rtf(QStringLiteral("nom"))}});
    QWidget owner;
    SearchWindow search(folder.qdata(), &owner);
    search.findChild<QLineEdit *>("EditRecherche")->setToolTip(QStringLiteral("Search"));
    search.findChild<QLabel *>("LabelModeleSansTitre")->setText(QStringLiteral("(untitled)"));
    search.findChild<QLabel *>("LabelModeleAutres")->setText(QStringLiteral("%d more"));
    EXPECT_EQ(search.findChild<QLineEdit *>("EditRecherche")->placeholderText(), QStringLiteral("Search"));

    search.popup(QPoint(0, 0));
    search.findChild<QLineEdit *>("EditRecherche")->setText(QStringLiteral("nom"));
    search.runSearch();
    ASSERT_EQ(search.findChild<QListView *>("ListeResultats")->model()->rowCount(), 2);
    EXPECT_EQ(search.findChild<QListView *>("ListeResultats")->model()->index(0, 0).data().toString(), QStringLiteral("(untitled)"));
    EXPECT_FALSE(search.findChild<QLabel *>("LabelAutres")->isVisible());
}
