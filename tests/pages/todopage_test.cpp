#include "todopage.h"
#include "todotestutil.h"

#include "application.h"
#include "dblineedit.h"
#include "formatbar.h"
#include "pagemode.h"
#include "recordactions.h"
#include "recordbar.h"
#include "rxdbrichedit.h"
#include "scrollinglabel.h"
#include "ualarm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using todotest::ErrorReports;
using todotest::MemoFolder;
using todotest::PageFixture;

using recordtest::entries;
using recordtest::fileBytes;

namespace {

// The deletion flag of physical record n (1-based) of a table file.
char deletionFlag(const std::string &table, int n)
{
    const std::string bytes = fileBytes(table);
    const int headerLength = (unsigned char)bytes[8] | ((unsigned char)bytes[9] << 8);
    const int recordLength = (unsigned char)bytes[10] | ((unsigned char)bytes[11] << 8);
    const size_t at = size_t(headerLength) + size_t(recordLength) * size_t(n - 1);
    return at < bytes.size() ? bytes[at] : '?';
}

// Answers the next showing of the dialog with `answer` once it is up.
void whenAsked(TAvertissement &dialog, std::function<void(TAvertissement &)> answer,
               QString *questionSeen = nullptr)
{
    QTimer::singleShot(0, &dialog, [&dialog, answer, questionSeen] {
        if (!dialog.isVisible()) {
            ADD_FAILURE() << "the delete question was not asked";
            return;
        }
        if (questionSeen)
            *questionSeen = dialog.labelalarme->caption();
        answer(dialog);
        if (dialog.isVisible())
            dialog.reject();
    });
}

} // namespace

TEST(TodoPage, ControlsAreBoundToTheirFields)
{
    MemoFolder folder;
    PageFixture f(folder);
    EXPECT_EQ(f.page.DBEdit1()->maxLength(), 80);
    EXPECT_EQ(f.page.DBEdit1()->dataField(), QStringLiteral("TITRE"));
    EXPECT_EQ(f.page.editor1()->dataField(), QStringLiteral("MEMO"));
    EXPECT_TRUE(f.page.DataSource1()->autoEdit());
}

TEST(TodoPage, TypingATitleOnAnEmptyTableStartsANewNote)
{
    MemoFolder folder;
    PageFixture f(folder);
    EXPECT_TRUE(f.page.ToolBar1()->button(RecordBar::Insert)->isEnabled());
    EXPECT_FALSE(f.page.ToolBar1()->button(RecordBar::Delete)->isEnabled()) << "nothing to delete yet";

    QTest::keyClicks(f.page.DBEdit1(), QStringLiteral("Courses"));
    EXPECT_EQ(f.table->state(), TDataSetState::dsInsert);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Courses")) << "no keystroke is lost";
    EXPECT_TRUE(f.page.ToolBar1()->button(RecordBar::Post)->isEnabled());

    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Post), Qt::LeftButton);
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(f.table->fieldByName("TITRE").asString(), "Courses");
    EXPECT_EQ(f.table->visibleRecordCount(), 1);
}

TEST(TodoPage, TypingInBrowseStateEditsTheCurrentNoteAndCancelBringsItBack)
{
    MemoFolder folder;
    folder.addNotes({"Lundi", "Mardi"});
    PageFixture f(folder);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Lundi"));

    f.page.DBEdit1()->setFocus();
    f.page.DBEdit1()->end(false);
    QTest::keyClicks(f.page.DBEdit1(), QStringLiteral(" matin"));
    EXPECT_EQ(f.table->state(), TDataSetState::dsEdit);
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Cancel), Qt::LeftButton);
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Lundi"));

    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Last), Qt::LeftButton);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Mardi"));
    EXPECT_FALSE(f.page.ToolBar1()->button(RecordBar::Last)->isEnabled()) << "Dernier is off on the last note";
    EXPECT_FALSE(f.page.ToolBar1()->button(RecordBar::Next)->isEnabled()) << "Suivant is off on the last note";
}

TEST(TodoPage, TitleLongerThanTheFieldIsCutAt80Characters)
{
    MemoFolder folder;
    PageFixture f(folder);
    QTest::keyClicks(f.page.DBEdit1(), QString(100, QLatin1Char('a')));
    EXPECT_EQ(f.page.DBEdit1()->text().size(), 80);
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Post), Qt::LeftButton);
    EXPECT_EQ(f.table->fieldByName("TITRE").asString(), std::string(80, 'a'));
}

TEST(TodoPageDelete, NoKeepsTheNoteWithoutAMessage)
{
    MemoFolder folder;
    folder.addNotes({"Garder", "Suivante"});
    PageFixture f(folder);
    ErrorReports box;
    QString question;
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnNo, Qt::LeftButton); },
              &question);
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);

    EXPECT_EQ(question, QStringLiteral("  Supprimer vraiment ?  "));
    EXPECT_EQ(f.dialog.labelalarme->tag(), 1) << "the question layout";
    EXPECT_TRUE(box.messages.isEmpty()) << "a refused delete says nothing";
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Garder"));
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 1), ' ');
}

TEST(TodoPageDelete, EnterAtTheFirstQuestionAndClosingTheDialogKeepTheNote)
{
    MemoFolder folder;
    folder.addNotes({"Garder"});
    PageFixture f(folder);
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::keyClick(d.focusWidget(), Qt::Key_Return); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Garder"));

    whenAsked(f.dialog, [](TAvertissement &d) { QTest::keyClick(&d, Qt::Key_Escape); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);
    whenAsked(f.dialog, [](TAvertissement &d) { d.close(); });
    EXPECT_THROW(f.table->deleteRecord(), SilentAbort) << "the refusal reaches the table as the silent abort";

    EXPECT_EQ(f.table->visibleRecordCount(), 1);
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 1), ' ');
}

TEST(TodoPageDelete, YesMarksTheNoteDeletedAndTheNextBecomesCurrent)
{
    MemoFolder folder;
    folder.addNotes({"Un", "Deux", "Trois"});
    PageFixture f(folder);
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Next), Qt::LeftButton);
    ASSERT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Deux"));

    whenAsked(f.dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnOK, Qt::LeftButton); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);

    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Trois"));
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 2), '*');
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 1), ' ');
    EXPECT_EQ(f.table->visibleRecordCount(), 2);

    // The focus stayed on "Oui": a quick Enter now deletes too.
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::keyClick(d.focusWidget(), Qt::Key_Return); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 3), '*');
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Un")) << "with no next note the prior one shows";
}

TEST(TodoPageDelete, DeletingTheLastNoteLeavesAnEmptyPage)
{
    MemoFolder folder;
    folder.addNotes({"Seule"});
    PageFixture f(folder);
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnOK, Qt::LeftButton); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);
    EXPECT_EQ(f.page.DBEdit1()->text(), QString());
    f.page.ActionList1()->updateEnabled();
    EXPECT_FALSE(f.page.ToolBar1()->button(RecordBar::Delete)->isEnabled());
    EXPECT_TRUE(f.page.ToolBar1()->button(RecordBar::Insert)->isEnabled());
}

TEST(TodoPageDelete, WithoutAQuestionEveryDeleteIsRefused)
{
    MemoFolder folder;
    folder.addNotes({"Garder"});
    auto table = folder.open();
    PageMode mode;
    FormatActions format(mode);
    TodoPage page(*table, format, nullptr);
    EXPECT_THROW(table->deleteRecord(), SilentAbort);
    EXPECT_EQ(table->visibleRecordCount(), 1);
}

TEST(TodoPageErrors, NoteLockedByAnotherCopyIsReportedAndTheTableKeepsBrowsing)
{
    MemoFolder folder;
    folder.addNotes({"Partagée"});
    recordtest::OtherCopy other(folder, true);
    ASSERT_TRUE(other.holds());
    PageFixture f(folder);
    ErrorReports box;

    f.page.DBEdit1()->setFocus();
    QTest::keyClick(f.page.DBEdit1(), Qt::Key_X);
    EXPECT_EQ(box.messages, QStringList{QStringLiteral("Record locked.")});
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Partagée")) << "the refused keystroke is dropped";

    box.messages.clear();
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnOK, Qt::LeftButton); });
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Delete), Qt::LeftButton);
    EXPECT_EQ(box.messages, QStringList{QStringLiteral("Record locked.")});
    EXPECT_EQ(deletionFlag(folder.path() + "memo.dbf", 1), ' ');
}

TEST(TodoPageTitles, ListIsSortedAndPickingShowsThatNoteEvenBehindADeletedOne)
{
    MemoFolder folder;
    folder.addNotes({"pain", "Éclairs", "effacé", "beurre", "Zinc"});
    PageFixture f(folder);
    f.table->setRecNo(3);
    whenAsked(f.dialog, [](TAvertissement &d) { QTest::mouseClick(d.BtnOK, Qt::LeftButton); });
    f.page.ActionList1()->DataSetDelete()->trigger();
    f.page.RebuildTitleList();
    QComboBox *list = f.page.ComboBoxTitres();
    EXPECT_EQ(entries(list), QStringList({"beurre", "Éclairs", "pain", "Zinc"}))
        << "accents and capitals aside";
    EXPECT_EQ(f.page.titleRecords(), std::vector<int>({4, 2, 1, 5}));
    EXPECT_EQ(list->currentText(), f.page.DBEdit1()->text()) << "the list shows the current note";

    recordtest::pick(list, 3);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Zinc"));
    f.page.ActionList1()->DataSetFirst()->trigger();
    EXPECT_EQ(list->currentText(), QStringLiteral("pain")) << "moving moves the selection";

    // Typing finds a note as the letters come.
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), QStringLiteral("ecl"));
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("Éclairs"));
}

TEST(TodoPageTitles, NewNoteStaysCurrentAfterValiderAndIsListed)
{
    MemoFolder folder;
    folder.addNotes({"un", "deux"});
    PageFixture f(folder);
    f.page.RebuildTitleList();
    f.page.ActionList1()->DataSetFirst()->trigger();
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Insert), Qt::LeftButton);
    QTest::keyClicks(f.page.DBEdit1(), QStringLiteral("trois"));
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Post), Qt::LeftButton);
    EXPECT_EQ(f.table->recNo(), 3);
    EXPECT_EQ(f.page.DBEdit1()->text(), QStringLiteral("trois"));
    EXPECT_EQ(f.page.ComboBoxTitres()->currentText(), QStringLiteral("trois"));
}
