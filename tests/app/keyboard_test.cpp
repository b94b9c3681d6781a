#include "programtestutil.h"

#include "addresspage.h"
#include "infospage.h"
#include "optionspage.h"
#include "recordbar.h"
#include "rxdbrichedit.h"

#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QToolTip>
#include <functional>
#include <gtest/gtest.h>

using programtest::Program;

namespace {

struct KeyCase
{
    const char *does;
    std::function<void(Program &)> before; // runs on the to-do page, focus in the title
    int key;
    Qt::KeyboardModifiers modifiers;
    std::function<void(Program &)> check;
};

} // namespace

TEST(Keyboard, EachShortcutOfTheToDoPageDoesItsAction)
{
    const auto none = [](Program &) {};
    const auto toLast = [](Program &p) { p.press(Qt::Key_End, Qt::ControlModifier); };
    const KeyCase cases[] = {
        {"Ctrl+End shows the last note", none, Qt::Key_End, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Trois"); }},
        {"Ctrl+Home shows the first note", toLast, Qt::Key_Home, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Un"); }},
        {"Ctrl+Page Down shows the next note", none, Qt::Key_PageDown, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
        {"Ctrl+Page Up shows the previous note", toLast, Qt::Key_PageUp, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
        {"Ctrl+N begins a new note", none, Qt::Key_N, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsInsert);
             EXPECT_EQ(p.title(), "");
         }},
        {"Ctrl+S stores the typed title", [](Program &p) { p.type(p.todo()->DBEdit1(), "!"); },
         Qt::Key_S, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsBrowse);
             p.form->tables().Dbfmemo().first();
             EXPECT_EQ(p.form->tables().Dbfmemo().fieldByName("TITRE").asString(), "!") << "the title was selected as the page took the focus";
         }},
        {"Escape in the text drops the whole edit, title too",
         [](Program &p) {
             p.type(p.todo()->DBEdit1(), "!");
             p.type(p.todo()->editor1(), "x");
         },
         Qt::Key_Escape, Qt::NoModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsBrowse);
             EXPECT_EQ(p.title(), "Un");
         }},
        {"Ctrl+Delete deletes after the question", [](Program &p) { p.answerYesWhenAsked(); },
         Qt::Key_Delete, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.title(), "Deux");
             EXPECT_EQ(p.form->tables().Dbfmemo().visibleRecordCount(), 2);
         }},
        {"Enter in the title stores it", [](Program &p) { p.type(p.todo()->DBEdit1(), "!"); },
         Qt::Key_Return, Qt::NoModifier,
         [](Program &p) { EXPECT_EQ(p.storedTitles(), QStringList({"!", "Deux", "Trois"})); }},
        {"Ctrl+B, Ctrl+I, Ctrl+U in the text type bold, italic, underlined",
         [](Program &p) {
             p.todo()->editor1()->setFocus();
             p.press(Qt::Key_I, Qt::ControlModifier);
             p.press(Qt::Key_U, Qt::ControlModifier);
         },
         Qt::Key_B, Qt::ControlModifier,
         [](Program &p) {
             QTest::keyClicks(p.todo()->editor1(), "x");
             const QTextCharFormat typed = p.todo()->editor1()->textCursor().charFormat();
             EXPECT_EQ(typed.fontWeight(), QFont::Bold);
             EXPECT_TRUE(typed.fontItalic());
             EXPECT_TRUE(typed.fontUnderline());
         }},
        {"Ctrl+Tab leaves the text, which keeps Tab for itself",
         [](Program &p) { p.todo()->editor1()->setFocus(); }, Qt::Key_Tab, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_NE(QApplication::focusWidget(), p.todo()->editor1());
             EXPECT_FALSE(p.todo()->editor1()->toPlainText().contains('\t'));
         }},
        {"Ctrl+Page Down from a record button", [](Program &p) {
             p.todo()->ToolBar1()->button(RecordBar::Insert)->setFocus(Qt::TabFocusReason);
         },
         Qt::Key_PageDown, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.does);
        Program p;
        p.press(Qt::Key_1, Qt::ControlModifier);
        ASSERT_EQ(p.currentPage(), p.todo());
        ASSERT_EQ(QApplication::focusWidget(), p.todo()->DBEdit1()) << "the page takes the focus";
        ASSERT_EQ(p.title(), "Un");
        c.before(p);
        p.press(c.key, c.modifiers);
        c.check(p);
    }
}

TEST(Keyboard, CtrlDigitsOpenThePagesInTheHubsOrder)
{
    Program p;
    const std::pair<int, QWidget *> pages[] = {{Qt::Key_1, (QWidget *)p.form->todoPage()},
                                               {Qt::Key_2, (QWidget *)p.form->addressPage()},
                                               {Qt::Key_3, (QWidget *)p.form->infosPage()},
                                               {Qt::Key_4, (QWidget *)p.form->optionsPage()}};
    for (const auto &[digit, page] : pages) {
        SCOPED_TRACE(page->objectName().toStdString());
        p.press(digit, Qt::ControlModifier);
        EXPECT_EQ(p.currentPage(), page);
        EXPECT_TRUE(p.form->findChild<QWidget *>("Label3")->isVisible()) << "the hub is revealed";
        EXPECT_TRUE(p.focusIn(page));
        if (page != p.form->optionsPage()) {
            EXPECT_TRUE(qobject_cast<DBLineEdit *>(QApplication::focusWidget())) << "on its first field";
        }
    }
}

TEST(Keyboard, TabEnterOrSpaceOnTheFrontPageOpenTheHub)
{
    for (int key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Space}) {
        SCOPED_TRACE(key);
        Program p;
        QWidget *open = p.form->findChild<QWidget *>("Image1");
        ASSERT_EQ(QApplication::focusWidget(), open) << "the front page's one control has the focus";
        p.press(key);
        EXPECT_FALSE(open->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), p.form->findChild<QWidget *>("Label3"));
        // Enter on a hub area opens its page.
        p.press(Qt::Key_Return);
        EXPECT_EQ(p.currentPage(), p.form->todoPage());
    }
}

TEST(Keyboard, EnterOnTheOptionsPageIsOk)
{
    Program p;
    p.press(Qt::Key_4, Qt::ControlModifier);
    OptionsPage *options = p.form->optionsPage();
    p.type(options->findChild<QLineEdit *>("Editpw"), QStringLiteral("abc"));
    p.press(Qt::Key_Return);
    EXPECT_TRUE(options->findChild<QLabel *>("Label10")->isVisible() ||
                options->findChild<QLabel *>("LabelPasswordsDiffer")->isVisible())
        << "OK ran and shows its notice";
}

TEST(Keyboard, ButtonHintNamesTheShortcutEvenInAnotherLanguage)
{
    Program p;
    p.press(Qt::Key_1, Qt::ControlModifier);
    QToolButton *insert = p.todo()->ToolBar1()->button(RecordBar::Insert);
    auto shownHint = [insert] {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), insert->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(insert, &help);
        return QToolTip::text();
    };
    EXPECT_EQ(shownHint(), QStringLiteral("Nouveau (Ctrl+N)"));
    insert->setToolTip(QStringLiteral("New")); // as a language file does
    EXPECT_EQ(shownHint(), QStringLiteral("New (Ctrl+N)"));
    QToolTip::hideText();
}
