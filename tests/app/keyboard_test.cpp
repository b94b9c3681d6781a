#include "programtestutil.h"

#include "addresspage.h"
#include "dbmemo.h"
#include "formatbar.h"
#include "infospage.h"
#include "optionspage.h"
#include "recordactions.h"
#include "recordbar.h"
#include "rxdbrichedit.h"
#include "scrollinglabel.h"

#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>
#include <QToolTip>
#include <functional>
#include <tuple>
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
    const auto toLast = [](Program &p) { p.press(Qt::Key_End, Qt::AltModifier); };
    const KeyCase cases[] = {
        {"Alt+End shows the last note", none, Qt::Key_End, Qt::AltModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Trois"); }},
        {"Alt+Home shows the first note", toLast, Qt::Key_Home, Qt::AltModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Un"); }},
        {"Ctrl+Page Down shows the next note", none, Qt::Key_PageDown, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
        {"Ctrl+Page Up shows the previous note", toLast, Qt::Key_PageUp, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
        {"Ctrl+N begins a new note, typed into its title", [](Program &p) { p.todo()->editor1()->setFocus(); },
         Qt::Key_N, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsInsert);
             EXPECT_EQ(p.title(), "");
             EXPECT_EQ(QApplication::focusWidget(), p.todo()->DBEdit1());
         }},
        {"Ctrl+S stores the typed title", [](Program &p) { p.type(p.todo()->DBEdit1(), "!"); },
         Qt::Key_S, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsBrowse);
             p.form->tables().Dbfmemo().first();
             EXPECT_EQ(p.form->tables().Dbfmemo().fieldByName("TITRE").asString(), "!") << "the title was selected as the page took the focus";
         }},
        {"Escape after a yes to its question drops the whole edit, title too",
         [](Program &p) {
             p.type(p.todo()->DBEdit1(), "!");
             p.type(p.todo()->editor1(), "x");
             p.answerYesWhenAsked();
         },
         Qt::Key_Escape, Qt::NoModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsBrowse);
             EXPECT_EQ(p.title(), "Un");
             EXPECT_EQ(p.form->focusWidget(), p.todo()->DBEdit1()) << "back on the first field";
         }},
        {"Ctrl+Shift+Delete deletes after the question", [](Program &p) { p.answerYesWhenAsked(); },
         Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier,
         [](Program &p) {
             EXPECT_EQ(p.title(), "Deux");
             EXPECT_EQ(p.form->tables().Dbfmemo().visibleRecordCount(), 2);
             EXPECT_EQ(p.form->focusWidget(), p.todo()->DBEdit1()) << "on a field, not a button";
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
        {"Ctrl+Page Down from a record button", [](Program &p) { p.press(Qt::Key_F6); },
         Qt::Key_PageDown, Qt::ControlModifier,
         [](Program &p) { EXPECT_EQ(p.title(), "Deux"); }},
        {"Ctrl+S stores a new note, which stays in view",
         [](Program &p) {
             p.press(Qt::Key_N, Qt::ControlModifier);
             QTest::keyClicks(p.todo()->DBEdit1(), "Quatre");
         },
         Qt::Key_S, Qt::ControlModifier,
         [](Program &p) {
             EXPECT_EQ(p.state(), TDataSetState::dsBrowse);
             EXPECT_EQ(p.title(), "Quatre");
             EXPECT_EQ(p.form->tables().Dbfmemo().recNo(), 4);
         }},
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

namespace {

// A text field of the program and a plain widget of the same kind to compare it with.
struct TextField
{
    const char *kind;
    int pageKey; // Ctrl+digit of its page
    std::function<QWidget *(Program &)> field;
    std::function<TDbf &(Program &)> table;
    std::function<std::unique_ptr<QWidget>()> plain;
};

QString textOf(QWidget *w)
{
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *rich = qobject_cast<QTextEdit *>(w))
        return rich->toPlainText();
    return static_cast<QPlainTextEdit *>(w)->toPlainText();
}

int caretOf(QWidget *w)
{
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->cursorPosition();
    if (auto *rich = qobject_cast<QTextEdit *>(w))
        return rich->textCursor().position();
    return static_cast<QPlainTextEdit *>(w)->textCursor().position();
}

void putCaret(QWidget *w, int position)
{
    if (auto *line = qobject_cast<QLineEdit *>(w)) {
        line->setCursorPosition(position);
    } else if (auto *rich = qobject_cast<QTextEdit *>(w)) {
        QTextCursor c = rich->textCursor();
        c.setPosition(position);
        rich->setTextCursor(c);
    } else {
        auto *plain = static_cast<QPlainTextEdit *>(w);
        QTextCursor c = plain->textCursor();
        c.setPosition(position);
        plain->setTextCursor(c);
    }
}

QWidget *keyTarget(QWidget *w)
{
    auto *list = qobject_cast<QComboBox *>(w);
    return list ? list->lineEdit() : w;
}

// Three records on each data page; the second one's texts read "alpha beta gamma".
void fillTables(Program &p)
{
    NotebookTables &tables = p.form->tables();
    TDbf &memo = tables.Dbfmemo();
    memo.setRecNo(2);
    memo.edit();
    memo.fieldByName("TITRE").setAsString("alpha beta gamma");
    memo.fieldByName("MEMO").setAsString("alpha beta gamma");
    memo.post();
    for (const char *name : {"Un", "alpha beta gamma", "Trois"}) {
        TDbf &cards = tables.Dbfadbook();
        cards.insert();
        cards.fieldByName("PRENOM").setAsString(name);
        cards.fieldByName("NOTES").setAsString(name);
        cards.post();
    }
}

} // namespace

// Every key a text field edits or moves with stays the field's, whether the record is only shown
// or already being edited: the text changes as in a plain field of the same kind, and no record
// command runs (the record stays current, nothing is deleted, nothing is asked).
TEST(Keyboard, TextKeysStayWithTheTextInEveryKindOfField)
{
    const auto memo = [](Program &p) -> TDbf & { return p.form->tables().Dbfmemo(); };
    const auto cards = [](Program &p) -> TDbf & { return p.form->tables().Dbfadbook(); };
    const TextField fields[] = {
        {"line edit", Qt::Key_1, [](Program &p) -> QWidget * { return p.todo()->DBEdit1(); }, memo,
         [] { return std::make_unique<QLineEdit>(); }},
        {"rich editor", Qt::Key_1, [](Program &p) -> QWidget * { return p.todo()->editor1(); }, memo,
         [] { return std::make_unique<QTextEdit>(); }},
        {"notes field", Qt::Key_2, [](Program &p) -> QWidget * { return p.form->addressPage()->DBMemo1(); },
         cards, [] { return std::make_unique<QPlainTextEdit>(); }},
        {"editable list", Qt::Key_2, [](Program &p) -> QWidget * { return p.form->addressPage()->ComboBox3(); },
         cards, [] { return std::make_unique<QLineEdit>(); }},
    };
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {
        {Qt::Key_Home, Qt::NoModifier},      {Qt::Key_End, Qt::NoModifier},
        {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_End, Qt::ControlModifier},
        {Qt::Key_Left, Qt::ControlModifier}, {Qt::Key_Right, Qt::ControlModifier},
        {Qt::Key_Delete, Qt::ControlModifier}, {Qt::Key_Backspace, Qt::ControlModifier},
        {Qt::Key_PageUp, Qt::NoModifier},    {Qt::Key_PageDown, Qt::NoModifier},
        {Qt::Key_A, Qt::ControlModifier},    {Qt::Key_Tab, Qt::NoModifier},
    };
    for (const TextField &f : fields) {
        Program p;
        fillTables(p);
        p.press(f.pageKey, Qt::ControlModifier);
        QWidget *field = f.field(p);
        TDbf &table = f.table(p);
        for (const bool begun : {false, true})
            for (const auto &[key, modifiers] : keys) {
                SCOPED_TRACE(std::string(f.kind) + (begun ? ", editing, " : ", shown, ") +
                             QKeySequence(int(modifiers) | key).toString().toStdString());
                table.cancel();
                table.setRecNo(2);
                if (table.AfterScroll)
                    table.AfterScroll(table);
                field->setFocus();
                auto *list = qobject_cast<QComboBox *>(field);
                // Find-as-you-type would rightly move to a card whose name the text begins.
                if (list)
                    list->setEditText(QStringLiteral("alpha beta zeta"));
                // Beside another field, so that a Tab that travels has somewhere to go.
                QWidget holder;
                const std::unique_ptr<QWidget> plain = f.plain();
                plain->setParent(&holder);
                new QLineEdit(&holder);
                if (auto *line = qobject_cast<QLineEdit *>(plain.get()))
                    line->setText(textOf(keyTarget(field)));
                else if (auto *rich = qobject_cast<QTextEdit *>(plain.get()))
                    rich->setPlainText(textOf(field));
                else if (auto *notes = qobject_cast<QPlainTextEdit *>(plain.get())) {
                    notes->setPlainText(textOf(field));
                    notes->setTabChangesFocus(true); // Tab travels the card's fields
                }
                // Tab would hand the focus to the first stop of the holder otherwise.
                plain->setFocus();
                ASSERT_TRUE(textOf(plain.get()).startsWith(QStringLiteral("alpha beta ")));
                putCaret(keyTarget(field), 6);
                putCaret(plain.get(), 6);
                if (begun) {
                    if (list)
                        table.edit();
                    QTest::keyClicks(keyTarget(field), "x");
                    QTest::keyClicks(plain.get(), "x");
                    ASSERT_NE(table.state(), TDataSetState::dsBrowse);
                }
                bool asked = false;
                QTimer::singleShot(0, &p.question, [&] {
                    asked = p.question.isVisible();
                    if (asked)
                        p.question.reject();
                });
                QTest::keyClick(keyTarget(field), Qt::Key(key), modifiers);
                QTest::keyClick(plain.get(), Qt::Key(key), modifiers);
                QCoreApplication::processEvents();
                EXPECT_EQ(textOf(keyTarget(field)), textOf(plain.get()));
                EXPECT_EQ(caretOf(keyTarget(field)), caretOf(plain.get()));
                EXPECT_EQ(table.recNo(), 2) << "the record stays current";
                EXPECT_EQ(table.visibleRecordCount(), 3) << "nothing is deleted";
                EXPECT_FALSE(asked);
            }
        // The record keys still work from the field, and only they.
        table.cancel();
        const std::tuple<int, Qt::KeyboardModifiers, int> moves[] = {
            {Qt::Key_End, Qt::AltModifier, 3}, {Qt::Key_PageUp, Qt::ControlModifier, 2},
            {Qt::Key_Home, Qt::AltModifier, 1}, {Qt::Key_PageDown, Qt::ControlModifier, 2}};
        for (const auto &[key, modifiers, record] : moves) {
            field->setFocus();
            QTest::keyClick(keyTarget(field), Qt::Key(key), modifiers);
            EXPECT_EQ(table.recNo(), record) << f.kind << " " << QKeySequence(int(modifiers) | key).toString().toStdString();
        }
        bool asked = false;
        QTimer::singleShot(0, &p.question, [&] {
            asked = p.question.isVisible();
            p.question.reject();
        });
        QTest::keyClick(keyTarget(field), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(asked) << f.kind << ": Ctrl+Shift+Delete asks to delete the record";
        EXPECT_EQ(table.visibleRecordCount(), 3);
    }
}

namespace {

// The field a Tab or F6 landed on; an editable list for its text part.
QWidget *focused()
{
    QWidget *w = QApplication::focusWidget();
    if (w && qobject_cast<QComboBox *>(w->parentWidget()))
        return w->parentWidget();
    return w;
}

QStringList tabChain(Program &p, int steps)
{
    QStringList names;
    for (int i = 0; i < steps; ++i) {
        p.press(Qt::Key_Tab);
        names << (focused() ? focused()->objectName() : QString());
    }
    return names;
}

} // namespace

TEST(Keyboard, EscapeAsksBeforeItDropsChangesAndWithoutAnyJustLeavesEditing)
{
    struct Case
    {
        const char *does;
        bool change;
        int answer; // the button clicked when asked
        TDataSetState after;
        const char *title;
    };
    const Case cases[] = {
        {"no change: no question, editing ends", false, 0, TDataSetState::dsBrowse, "Un"},
        {"a change and Oui: dropped", true, TAvertissement::ResultYes, TDataSetState::dsBrowse, "Un"},
        {"a change and Non: kept, still editing", true, TAvertissement::ResultNo, TDataSetState::dsEdit, "Un!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.does);
        Program p;
        p.press(Qt::Key_1, Qt::ControlModifier);
        p.todo()->DBEdit1()->end(false);
        if (c.change)
            QTest::keyClicks(p.todo()->DBEdit1(), "!");
        else
            p.todo()->ActionList1()->DataSetEdit()->trigger();
        ASSERT_EQ(p.state(), TDataSetState::dsEdit);
        QString question;
        QWidget *focusAtShowing = nullptr;
        QTimer::singleShot(0, &p.question, [&] {
            if (!p.question.isVisible())
                return;
            question = p.question.labelalarme->caption();
            focusAtShowing = p.question.focusWidget();
            QTest::mouseClick(c.answer == TAvertissement::ResultYes ? p.question.BtnOK : p.question.BtnNo,
                              Qt::LeftButton);
        });
        p.press(Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_EQ(question, c.change ? QStringLiteral("  Abandonner les modifications ?  ") : QString());
        if (c.change) {
            EXPECT_EQ(focusAtShowing, p.question.BtnNo) << "a hasty Enter keeps the typing";
        }
        EXPECT_EQ(p.state(), c.after);
        EXPECT_EQ(p.title(), QString::fromUtf8(c.title));
        EXPECT_EQ(p.question.labelalarme->caption(), QStringLiteral("  Supprimer vraiment ?  "))
            << "the delete question keeps its own text";
    }
}

TEST(Keyboard, TabTravelsTheFieldsInScreenOrderAndF6ReachesTheBars)
{
    Program p;
    p.press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(tabChain(p, 1), QStringList({"editor1"})) << "no formatting button on the way";
    p.todo()->DBEdit1()->setFocus();
    p.press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(focused()->objectName(), QStringLiteral("ComboBoxTitres"));

    p.todo()->DBEdit1()->setFocus();
    p.press(Qt::Key_F6);
    auto *button = qobject_cast<QToolButton *>(focused());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget(), p.todo()->ToolBar1());
    p.press(Qt::Key_Right);
    EXPECT_GT(focused()->x(), button->x()) << "Right goes to the next button of the bar";
    p.press(Qt::Key_Escape);
    EXPECT_EQ(focused(), p.todo()->DBEdit1()) << "Escape goes back to the field";
    p.press(Qt::Key_F6);
    p.press(Qt::Key_F6);
    EXPECT_EQ(focused()->parentWidget(), static_cast<QWidget *>(p.todo()->ToolBar2()));
    p.press(Qt::Key_F6);
    EXPECT_EQ(focused(), p.todo()->DBEdit1());

    p.press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(focused()->objectName(), QStringLiteral("DBEdit4"));
    EXPECT_EQ(tabChain(p, 11), QStringList({"DBEdit5", "DBEdit6", "DBEdit7", "DBEdit8", "DBEdit9", "DBEdit10",
                                            "DBEdit11", "DBEdit14", "DBEdit12", "DBEdit13", "DBMemo1"}));
    p.press(Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(focused()->objectName(), QStringLiteral("DBEdit3"));
    EXPECT_EQ(tabChain(p, 4), QStringList({"ComboBox1", "DBEdit2", "ComboBox2", "editor2"}));
}

TEST(Keyboard, HubTabStopsFollowTheScreen)
{
    Program p;
    p.form->hide(); // to the tray, before the hub was ever opened
    p.form->show();
    QApplication::setActiveWindow(p.form.get());
    EXPECT_EQ(p.form->findChild<QWidget *>(QStringLiteral("Label23"))->focusPolicy(), Qt::NoFocus)
        << "hiding the window gave the address book's secret area away";
    p.press(Qt::Key_Tab); // opens the hub on its first area
    ASSERT_TRUE(focused());
    ASSERT_EQ(focused()->objectName(), QStringLiteral("Label3"));
    EXPECT_EQ(tabChain(p, 3), QStringList({"Label23", "Label4", "ImageOptions"}));
}
