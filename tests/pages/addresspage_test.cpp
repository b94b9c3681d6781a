// The address book page on a real adbook.dbf: the name list and its physical record numbers,
// edits in progress, a file that lacks fields, and the notes field.
#include "addresspage.h"
#include "recordpagetestutil.h"

#include "dblineedit.h"
#include "dbmemo.h"
#include "linkopener.h"
#include "recordactions.h"
#include "recordbar.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
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
        page.ActionList3()->setDiscardQuestion([this] { return answer; });
        recordtest::showPage(page);
    }
    QStringList names() const { return entries(page.ComboBox3()); }
    QString firstName() const { return page.fieldEdit(QStringLiteral("PRENOM"))->text(); }
    void click(RecordBar::Command command) { QTest::mouseClick(page.ToolBar5()->button(command), Qt::LeftButton); }
    void pick(int index) { recordtest::pick(page.ComboBox3(), index); }

    std::unique_ptr<TDbf> table;
    int answer = AnswerYes;
    AddressPage page;
};

} // namespace

TEST(AddressPageNames, EntriesAreFirstNameAndNameSortedByNameAccentsAndCaseAside)
{
    AddressFolder folder;
    folder.add({{"Jean", "Dupont"}, {"", "martin"}, {"Zoé", ""}, {"Anne", "Émery"}, {"Paul", "Dupont"}});
    AddressFixture f(folder);
    f.page.ComboBox3()->setEditText(QStringLiteral("avant"));
    f.page.RebuildNameList();
    EXPECT_EQ(f.names(), QStringList({"Zoé ", "Jean Dupont", "Paul Dupont", "Anne Émery", " martin"}));
    EXPECT_EQ(f.page.entryRecords(), std::vector<int>({3, 1, 5, 4, 2}));
    EXPECT_EQ(f.page.ComboBox3()->currentText(), QStringLiteral("Jean Dupont")) << "the current card";

    f.click(RecordBar::Insert);
    QTest::keyClicks(f.page.fieldEdit(QStringLiteral("NOM")), QStringLiteral("Petit"));
    f.click(RecordBar::Post);
    EXPECT_EQ(f.names()[5], QStringLiteral(" Petit")) << "a new card takes its place in the order";
    EXPECT_EQ(f.table->recNo(), 6) << "and stays current";
    EXPECT_EQ(f.page.ComboBox3()->currentIndex(), 5);

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
    folder.add({{"A", "amont"}, {"B", "bas"}, {"C", "centre"}, {"D", "droite"}});
    AddressFixture f(folder);
    f.page.RebuildNameList();
    f.click(RecordBar::Next);
    ASSERT_EQ(f.firstName(), QStringLiteral("B"));
    f.click(RecordBar::Delete);
    ASSERT_EQ(f.names(), QStringList({"A amont", "C centre", "D droite"}));

    const QStringList expected = {"A", "C", "D"};
    for (int entry = 2; entry >= 0; --entry) {
        f.pick(entry);
        EXPECT_EQ(f.firstName(), expected[entry]) << "entry " << entry;
    }
    for (int entry = 0; entry < 3; ++entry) {
        EXPECT_EQ(f.page.ComboBox3()->currentIndex(), entry) << "card " << expected[entry].toStdString();
        f.click(RecordBar::Next);
    }

    // Typing finds a card as the letters come, by its entry or its name; text that is none
    // leaves the card alone.
    QLineEdit *typed = f.page.ComboBox3()->lineEdit();
    const std::pair<const char *, const char *> finds[] = {{"c", "C"}, {"dro", "D"}, {"x", "D"}};
    for (const auto &[letters, card] : finds) {
        SCOPED_TRACE(letters);
        typed->selectAll();
        QTest::keyClicks(typed, QString::fromUtf8(letters));
        EXPECT_EQ(f.firstName(), QString::fromUtf8(card));
    }
    typed->selectAll();
    QTest::keyClicks(typed, QStringLiteral("c"));
    EXPECT_EQ(typed->text(), QStringLiteral("C centre"));
    EXPECT_EQ(typed->selectedText(), QStringLiteral(" centre")) << "the rest of the entry, for the next letter to replace";
}

TEST(AddressPageLinks, EmailAndWebFieldsOpenAndSayWhenNothingCan)
{
    AddressFolder folder;
    folder.add({{"Jean", "Dupont"}});
    AddressFixture f(folder);
    QList<QUrl> opened;
    bool opens = true;
    f.page.setLinkOpener([&](const QUrl &url) {
        opened << url;
        return opens;
    });
    auto *mail = f.page.findChild<QToolButton *>(QStringLiteral("ButtonEmail"));
    auto *web = f.page.findChild<QToolButton *>(QStringLiteral("ButtonWeb"));
    ASSERT_TRUE(mail && web);
    EXPECT_FALSE(mail->isEnabled()) << "an empty field has nothing to open";
    DBLineEdit *email = f.page.fieldEdit(QStringLiteral("EMAIL"));
    DBLineEdit *site = f.page.fieldEdit(QStringLiteral("WEB"));
    QTest::keyClicks(email, QStringLiteral("jean@exemple.fr"));
    QTest::keyClicks(site, QStringLiteral("www.exemple.fr"));
    QTest::mouseClick(mail, Qt::LeftButton);
    QTest::mouseClick(site, Qt::LeftButton, Qt::ControlModifier);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("mailto:jean@exemple.fr")));
    EXPECT_EQ(opened[1].host(), QStringLiteral("www.exemple.fr"));
    EXPECT_EQ(f.table->state(), TDataSetState::dsEdit) << "opening keeps the typing";

    opens = false;
    QString said;
    QTimer::singleShot(0, [&said] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            said = box->text();
            box->accept();
        }
    });
    QTest::mouseClick(web, Qt::LeftButton);
    EXPECT_EQ(said, noProgramMessage(QStringLiteral("www.exemple.fr")));
}

TEST(LinkTarget, MailAddressesGoToTheMailProgramAndTheRestToTheWeb)
{
    const std::pair<const char *, const char *> cases[] = {
        {"jean.dupont@exemple.fr", "mailto:jean.dupont@exemple.fr"},
        {" www.exemple.fr ", "http://www.exemple.fr"},
        {"https://exemple.fr/a?b=c", "https://exemple.fr/a?b=c"},
        {"mailto:anne@exemple.fr", "mailto:anne@exemple.fr"},
    };
    for (const auto &[text, url] : cases)
        EXPECT_EQ(linkTarget(QString::fromUtf8(text)).toString(), QString::fromUtf8(url)) << text;
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
    EXPECT_EQ(notes->toPlainText(), QStringLiteral("ligne 1\nligne 2")) << "Escape, answered yes, brings the stored notes back";
    f.click(RecordBar::Cancel);
    EXPECT_EQ(f.table->state(), TDataSetState::dsBrowse);
}
