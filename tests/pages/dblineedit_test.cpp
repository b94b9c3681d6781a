// The bound line edit against a real memo table: its title field.
#include "dblineedit.h"
#include "richedittestutil.h"

#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

using richtest::MemoTable;

namespace {

// Types characters that the test library has no key codes for.
void typeText(QWidget *widget, const QString &text)
{
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

TEST(DBLineEdit, TypingEntersEditStateAndThePostStoresTheText)
{
    MemoTable table({"", ""});
    QWidget window;
    auto *title = new DBLineEdit(&window);
    title->setDataField(QStringLiteral("titre"));
    title->setDataSource(table.source.get());
    window.show();
    EXPECT_EQ(title->text(), QStringLiteral("note 1"));
    EXPECT_EQ(title->maxLength(), 80);

    title->setCursorPosition(6);
    typeText(title, QStringLiteral(" é"));
    EXPECT_EQ(table.state(), TDataSetState::dsEdit);
    table.dataset->post();
    EXPECT_EQ(table.dataset->fieldByName("TITRE").asString(), "note 1 é");

    // A character the table's code page cannot hold is refused and nothing changes.
    typeText(title, QStringLiteral("中"));
    EXPECT_EQ(table.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(title->text(), QStringLiteral("note 1 é"));

    table.dataset->next();
    EXPECT_EQ(title->text(), QStringLiteral("note 2"));
}

// Escape belongs to the page, which asks first; the field alone never drops what was typed.
TEST(DBLineEdit, EscapeAloneKeepsTheTyping)
{
    MemoTable table({""});
    QWidget window;
    auto *title = new DBLineEdit(&window);
    title->setDataField(QStringLiteral("TITRE"));
    title->setDataSource(table.source.get());
    window.show();
    QTest::keyClick(title, Qt::Key_End);
    QTest::keyClicks(title, QStringLiteral("xyz"));
    QTest::keyClick(title, Qt::Key_Escape);
    EXPECT_EQ(title->text(), QStringLiteral("note 1xyz"));
    table.dataset->post();
    EXPECT_EQ(table.dataset->fieldByName("TITRE").asString(), "note 1xyz");
}
