#include "recordactions.h"
#include "recordbar.h"
#include "todotestutil.h"

#include "application.h"

#include <QAction>
#include <QCoreApplication>
#include <QToolButton>
#include <QTest>
#include <gtest/gtest.h>

using todotest::ErrorReports;
using todotest::MemoFolder;

namespace {

// The names of the enabled actions, in the order of the action list.
QStringList enabledActions(RecordActions &actions)
{
    actions.updateEnabled();
    QStringList names;
    for (QAction *action : actions.all()) {
        if (action->isEnabled())
            names << action->objectName();
    }
    return names;
}

} // namespace

TEST(RecordActions, EmptyTableEnablesOnlyInsertAndEditAndEditInserts)
{
    MemoFolder folder;
    auto table = folder.open();
    RecordActions actions(*table, 1);
    EXPECT_EQ(enabledActions(actions), QStringList({"DataSetEdit1", "DataSetInsert1"}));

    actions.DataSetEdit()->trigger();
    EXPECT_EQ(table->state(), TDataSetState::dsInsert) << "Edit on an empty table inserts";
    EXPECT_EQ(enabledActions(actions), QStringList({"DataSetCancel1", "DataSetPost1", "DataSetInsert1"}));
}

TEST(RecordActions, FirstAndLastNotesDisableTheWayOut)
{
    MemoFolder folder;
    folder.addNotes({"un", "deux", "trois"});
    auto table = folder.open();
    RecordActions actions(*table, 1);

    EXPECT_EQ(enabledActions(actions),
              QStringList({"DataSetNext1", "DataSetLast1", "DataSetEdit1", "DataSetInsert1", "DataSetDelete1"}));
    actions.DataSetNext()->trigger();
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "deux");
    EXPECT_EQ(enabledActions(actions),
              QStringList({"DataSetFirst1", "DataSetPrior1", "DataSetNext1", "DataSetLast1", "DataSetEdit1",
                     "DataSetInsert1", "DataSetDelete1"}));
    actions.DataSetLast()->trigger();
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "trois");
    EXPECT_EQ(enabledActions(actions),
              QStringList({"DataSetFirst1", "DataSetPrior1", "DataSetEdit1", "DataSetInsert1", "DataSetDelete1"}));
    actions.DataSetFirst()->trigger();
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "un");
    EXPECT_FALSE(actions.DataSetPrior()->isEnabled());
}

TEST(RecordActions, PostAndCancelOnlyWhileEditing)
{
    MemoFolder folder;
    folder.addNotes({"un"});
    auto table = folder.open();
    RecordActions actions(*table, 1);
    EXPECT_FALSE(actions.DataSetPost()->isEnabled());
    EXPECT_FALSE(actions.DataSetCancel()->isEnabled());

    table->edit(); // not through the action: the dataset's own report must refresh the states
    EXPECT_TRUE(actions.DataSetPost()->isEnabled());
    EXPECT_TRUE(actions.DataSetCancel()->isEnabled());
    EXPECT_FALSE(actions.DataSetEdit()->isEnabled());

    table->fieldByName("TITRE").setAsString("un, revu");
    actions.DataSetPost()->trigger();
    EXPECT_EQ(table->state(), TDataSetState::dsBrowse);
    EXPECT_FALSE(actions.DataSetPost()->isEnabled());

    actions.DataSetInsert()->trigger();
    actions.DataSetCancel()->trigger();
    EXPECT_EQ(table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "un, revu");
}

TEST(RecordActions, ClosedOrReadOnlyTableEnablesNothingThatChangesIt)
{
    MemoFolder folder;
    folder.addNotes({"un", "deux"});
    TDbf closed("Dbfmemo");
    RecordActions closedActions(closed, 1);
    EXPECT_EQ(enabledActions(closedActions), QStringList());

    auto readOnly = folder.open(true);
    RecordActions readOnlyActions(*readOnly, 1);
    EXPECT_EQ(enabledActions(readOnlyActions), QStringList({"DataSetNext1", "DataSetLast1"}));

    auto table = folder.open();
    RecordActions actions(*table, 1);
    table->close();
    EXPECT_EQ(enabledActions(actions), QStringList()) << "closing the table disables everything";
}

TEST(RecordActions, RecordLockedByAnotherCopyReachesTheErrorBoxAndKeepsBrowsing)
{
    MemoFolder folder;
    folder.addNotes({"un"});
    recordtest::OtherCopy other(folder, true);
    ASSERT_TRUE(other.holds());
    auto table = folder.open();
    RecordActions actions(*table, 1);
    RecordBar bar(actions, ToolBar1Layout);
    ErrorReports box;

    QTest::mouseClick(bar.button(RecordBar::Edit), Qt::LeftButton);
    EXPECT_EQ(box.messages, QStringList{QStringLiteral("Record locked.")});
    EXPECT_EQ(table->state(), TDataSetState::dsBrowse);
    EXPECT_TRUE(bar.button(RecordBar::Edit)->isEnabled());
    EXPECT_FALSE(bar.button(RecordBar::Post)->isEnabled());

    box.messages.clear();
    QTest::mouseClick(bar.button(RecordBar::Delete), Qt::LeftButton);
    EXPECT_EQ(box.messages, QStringList{QStringLiteral("Record locked.")})
        << "a delete needs the lock as well";
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "un");
}

TEST(RecordBar, ButtonsFollowTheirActionsAndKeepTheirOwnHints)
{
    MemoFolder folder;
    auto table = folder.open();
    RecordActions actions(*table, 1);
    RecordBar bar(actions, ToolBar1Layout);
    EXPECT_FALSE(bar.button(RecordBar::Post)->isEnabled());

    QTest::mouseClick(bar.button(RecordBar::Insert), Qt::LeftButton);
    EXPECT_EQ(table->state(), TDataSetState::dsInsert);
    EXPECT_TRUE(bar.button(RecordBar::Post)->isEnabled()) << "Valider is offered while a note is being written";
    EXPECT_FALSE(bar.button(RecordBar::Edit)->isEnabled());
    EXPECT_EQ(bar.button(RecordBar::Post)->toolTip(), QStringLiteral("Valider"));
    EXPECT_EQ(bar.button(RecordBar::Insert)->toolTip(), QStringLiteral("Nouveau"));

    table->fieldByName("TITRE").setAsString("nouvelle");
    QTest::mouseClick(bar.button(RecordBar::Post), Qt::LeftButton);
    EXPECT_EQ(table->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(table->fieldByName("TITRE").asString(), "nouvelle");
    EXPECT_FALSE(bar.button(RecordBar::Post)->isEnabled());
    EXPECT_TRUE(bar.button(RecordBar::Delete)->isEnabled());
}

TEST(RecordBar, DisabledPicturesAreFaintSoTheyDoNotPassForEnabledOnes)
{
    for (int index : {0, 1, 2, 3, 7, 8, 9, 10, 11}) {
        const QIcon icon = RecordActions::image(index);
        const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(16, 16, QIcon::Disabled).toImage();
        int normalInk = 0, disabledInk = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                normalInk += qAlpha(normal.pixel(x, y));
                disabledInk += qAlpha(disabled.pixel(x, y));
            }
        }
        EXPECT_GT(normalInk, 0) << "image " << index;
        EXPECT_LT(disabledInk * 2, normalInk) << "image " << index;
    }
}
