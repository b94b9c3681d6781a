// The address book page on a real adbook.dbf: the name list and its physical record numbers,
// edits in progress, a file that lacks fields, and the notes field.
#include "addresspage.h"
#include "recordpagetestutil.h"

#include "dblineedit.h"
#include "dbmemo.h"
#include "recordactions.h"
#include "recordbar.h"

#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using recordtest::AddressFolder;
using recordtest::entries;

namespace {

struct AddressFixture
{
    explicit AddressFixture(const AddressFolder &folder)
        : table(folder.open()), page(*table, [this] { return answer; })
    {
        page.resize(705, 377);
        page.show();
    }
    QStringList names() const { return entries(page.ComboBox3()); }
    QString firstName() const { return page.fieldEdit(QStringLiteral("PRENOM"))->text(); }
    void click(RecordBar::Command command) { QTest::mouseClick(page.ToolBar5()->button(command), Qt::LeftButton); }
    void pick(int index)
    {
        page.ComboBox3()->setCurrentIndex(index);
        emit page.ComboBox3()->activated(index);
    }

    std::unique_ptr<TDbf> table;
    int answer = AnswerYes;
    AddressPage page;
};

} // namespace

TEST(AddressPageNames, EntriesAreFirstNameAndNameInStoredOrder)
{
    AddressFolder folder;
    folder.add({{"Jean", "Dupont"}, {"", "Martin"}, {"Zoé", ""}});
    AddressFixture f(folder);
    f.page.ComboBox3()->setEditText(QStringLiteral("avant"));
    f.page.RebuildNameList();
    EXPECT_EQ(f.names(), QStringList({"Jean Dupont", " Martin", "Zoé "}));
    EXPECT_EQ(f.page.ComboBox3()->currentText(), QStringLiteral("Jean Dupont"));

    f.click(RecordBar::Insert);
    QTest::keyClicks(f.page.fieldEdit(QStringLiteral("NOM")), QStringLiteral("Petit"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.names().last(), QStringLiteral(" Petit")) << "a new card comes last, in stored order";

    AddressFolder empty;
    AddressFixture g(empty);
    g.page.ComboBox3()->setEditText(QStringLiteral("avant"));
    g.page.RebuildNameList();
    EXPECT_TRUE(g.names().isEmpty());
    EXPECT_EQ(g.page.ComboBox3()->currentText(), QStringLiteral("avant"));
}

TEST(AddressPageNames, AfterADeleteEveryEntryStillNamesItsOwnCard)
{
    AddressFolder folder;
    folder.add({{"A", "un"}, {"B", "deux"}, {"C", "trois"}, {"D", "quatre"}});
    AddressFixture f(folder);
    f.page.RebuildNameList();
    f.click(RecordBar::Next);
    ASSERT_EQ(f.firstName(), QStringLiteral("B"));
    f.click(RecordBar::Delete);
    ASSERT_EQ(f.names(), QStringList({"A un", "C trois", "D quatre"}));

    const QStringList expected = {"A", "C", "D"};
    for (int entry = 2; entry >= 0; --entry) {
        f.pick(entry);
        EXPECT_EQ(f.firstName(), expected[entry]) << "entry " << entry;
    }
    for (int entry = 0; entry < 3; ++entry) {
        EXPECT_EQ(f.page.ComboBox3()->currentIndex(), entry) << "card " << expected[entry].toStdString();
        f.click(RecordBar::Next);
    }

    // Text that is no entry asks for no card: the first one shows.
    f.click(RecordBar::Last);
    QTest::keyClicks(f.page.ComboBox3()->lineEdit(), QStringLiteral("x"));
    EXPECT_EQ(f.firstName(), QStringLiteral("A"));
}

TEST(AddressPageNames, RebuildWhileEditingNeverDoublesAnEntry)
{
    for (const bool changed : {true, false}) {
        SCOPED_TRACE(changed ? "with a change" : "without a change");
        AddressFolder folder;
        folder.add({{"Jean", "Dupont"}, {"Anne", "Roy"}});
        AddressFixture f(folder);
        f.page.RebuildNameList();
        DBLineEdit *name = f.page.fieldEdit(QStringLiteral("NOM"));
        if (changed) {
            name->setFocus();
            name->end(false);
            QTest::keyClicks(name, QStringLiteral("d"));
        } else {
            f.click(RecordBar::Edit);
        }
        ASSERT_EQ(f.table->state(), TDataSetState::dsEdit);

        f.page.RebuildNameList();
        EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
        EXPECT_EQ(f.names(), QStringList({changed ? "Jean Dupontd" : "Jean Dupont", "Anne Roy"}));
        EXPECT_EQ(f.page.ComboBox3()->currentIndex(), 0) << "the card being edited stays current";
    }
}

TEST(AddressPageFields, FieldsMissingFromTheFileAreDisabledAndTheOthersWork)
{
    AddressFolder folder({"MOBILE", "NOTES"});
    folder.add({{"Jean", "Dupont"}});
    AddressFixture f(folder);
    DBLineEdit *mobile = f.page.fieldEdit(QStringLiteral("MOBILE"));
    EXPECT_FALSE(mobile->isEnabled());
    EXPECT_TRUE(mobile->text().isEmpty());
    EXPECT_FALSE(f.page.DBMemo1()->isEnabled());

    DBLineEdit *city = f.page.fieldEdit(QStringLiteral("VILLE"));
    EXPECT_TRUE(city->isEnabled());
    EXPECT_EQ(city->maxLength(), 40) << "without a limit of its own the field's width applies";
    EXPECT_EQ(f.page.fieldEdit(QStringLiteral("CP"))->maxLength(), 8);
    QTest::keyClicks(city, QStringLiteral("Lyon"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.table->fieldByName("VILLE").asString(), "Lyon");
}

TEST(AddressPageFields, NotesStartAnEditAndAreStoredWithTheirLines)
{
    AddressFolder folder;
    folder.add({{"Jean", "Dupont"}});
    AddressFixture f(folder);
    DBMemo *notes = f.page.DBMemo1();
    notes->setFocus();
    QTest::keyClicks(notes, QStringLiteral("ligne 1"));
    EXPECT_EQ(f.table->state(), TDataSetState::dsEdit);
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, QStringLiteral("ligne 2"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.table->fieldByName("NOTES").asString(), "ligne 1\r\nligne 2");
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("ligne 1\nligne 2"));

    QTest::keyClicks(notes, QStringLiteral("!"));
    QTest::keyClick(notes, Qt::Key_Escape);
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("ligne 1\nligne 2")) << "Escape brings the stored notes back";
    f.click(RecordBar::Cancel);
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
}
