// The data-bound editor's rules against a real memo table in a temporary directory.
#include "richedittestutil.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

#include <unistd.h>

#include <gtest/gtest.h>

using richtest::EditorWindow;
using richtest::MemoTable;

namespace {

const std::string StoredRtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 DejaVu Sans;}}"
                              "\\viewkind4\\uc1\\pard\\f0\\fs16 abcdef\\par\r\n}";

} // namespace

TEST(RxDBRichEdit, EmptyMemoGivesEmptyEditorAndAChangeStoresAFullRtfDocument)
{
    MemoTable table({""});
    EditorWindow view(table.source.get());
    EXPECT_TRUE(view.editor->memoLoaded());
    EXPECT_TRUE(view.editor->document()->isEmpty());
    EXPECT_TRUE(view.editor->isReadOnly());

    QTest::keyClick(view.editor, Qt::Key_A);
    EXPECT_EQ(table.state(), TDataSetState::dsEdit);
    QTest::keyClick(view.editor, Qt::Key_Backspace);
    EXPECT_TRUE(view.editor->toPlainText().isEmpty());
    table.dataset->post();

    const std::string stored = table.storedMemo();
    EXPECT_EQ(stored.rfind("{\\rtf1", 0), 0u) << stored;
    EXPECT_NE(stored.find("\\par"), std::string::npos) << stored;
}

TEST(RxDBRichEdit, PlainTextMemoIsShownAsTextAndStoredAsRtfOnlyAfterAChange)
{
    MemoTable table({"Bonjour\r\nle monde"});
    EditorWindow view(table.source.get());
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("Bonjour\nle monde"));

    // Looked at, then posted through another change of the record: the memo keeps its bytes.
    table.dataset->edit();
    table.dataset->fieldByName("TITRE").setAsString("autre titre");
    table.dataset->post();
    EXPECT_EQ(table.storedMemo(), "Bonjour\r\nle monde");

    view.editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(view.editor, QStringLiteral("!"));
    table.dataset->post();
    EXPECT_EQ(table.storedMemo().rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("Bonjour\nle monde!"));
}

TEST(RxDBRichEdit, FirstKeystrokeInBrowseStateEntersEditStateKeepingKeyAndCaret)
{
    MemoTable table({StoredRtf});
    EditorWindow view(table.source.get());
    ASSERT_EQ(view.editor->toPlainText(), QStringLiteral("abcdef"));
    QTextCursor caret = view.editor->textCursor();
    caret.setPosition(3);
    view.editor->setTextCursor(caret);

    QTest::keyClicks(view.editor, QStringLiteral("X"));
    EXPECT_EQ(table.state(), TDataSetState::dsEdit);
    EXPECT_FALSE(view.editor->isReadOnly());
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("abcXdef"));
    EXPECT_EQ(view.editor->textCursor().position(), 4);

    // After the post the stored document is shown again, caret at the start.
    table.dataset->post();
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("abcXdef"));
    EXPECT_EQ(view.editor->textCursor().position(), 0);
    EXPECT_TRUE(view.editor->isReadOnly());
}

// Escape belongs to the page, which asks first; the editor alone never drops what was typed.
TEST(RxDBRichEdit, EscapeAloneKeepsTheTyping)
{
    MemoTable table({StoredRtf});
    EditorWindow view(table.source.get());
    QTest::keyClicks(view.editor, QStringLiteral("zz"));
    QTest::keyClick(view.editor, Qt::Key_Escape);
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("zzabcdef"));
    EXPECT_EQ(table.state(), TDataSetState::dsEdit);
}

TEST(RxDBRichEdit, TypingIntoAnEmptyTableBeginsANewRecord)
{
    MemoTable table;
    EditorWindow view(table.source.get());
    QTest::keyClicks(view.editor, QStringLiteral("neuf"));
    EXPECT_EQ(table.state(), TDataSetState::dsInsert);
    table.dataset->post();
    EXPECT_EQ(table.dataset->visibleRecordCount(), 1);
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("neuf"));
}

TEST(RxDBRichEdit, MovingToAnotherRecordWritesTheDocumentFirst)
{
    MemoTable table({StoredRtf, ""});
    EditorWindow view(table.source.get());
    QTest::keyClicks(view.editor, QStringLiteral("1"));
    table.dataset->next();
    EXPECT_TRUE(view.editor->document()->isEmpty());
    table.dataset->first();
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("1abcdef"));
}

TEST(RxDBRichEdit, FormatChangeOnABrowsingTableEntersEditStateAndIsStoredAtPost)
{
    MemoTable table({StoredRtf});
    EditorWindow view(table.source.get());
    QTextCursor selection = view.editor->textCursor();
    selection.setPosition(0);
    selection.setPosition(3, QTextCursor::KeepAnchor);
    view.editor->setTextCursor(selection);

    view.editor->SelAttributes().setStyle(fsBold);
    EXPECT_EQ(table.state(), TDataSetState::dsEdit);
    view.editor->Paragraph().setAlignment(2);
    table.dataset->post();

    const std::string stored = table.storedMemo();
    EXPECT_NE(stored.find("\\b abc\\b0 def"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\\qc"), std::string::npos) << stored;
}

TEST(RxDBRichEdit, ReadOnlyTableRefusesEditingWithoutLosingTheText)
{
    MemoTable table({StoredRtf});
    table.dataset->close();
    table.dataset->setReadOnly(true);
    table.dataset->open();
    EditorWindow view(table.source.get());
    QTest::keyClicks(view.editor, QStringLiteral("q"));
    view.editor->SelAttributes().setStyle(fsItalic);
    EXPECT_EQ(table.state(), TDataSetState::dsBrowse);
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("abcdef"));
    EXPECT_TRUE(view.editor->isReadOnly());
}

TEST(RxDBRichEdit, UnboundEditorShowsNothingAndIsNotLoaded)
{
    QWidget window;
    auto *editor = new TRxDBRichEdit(&window);
    EXPECT_FALSE(editor->memoLoaded());
    EXPECT_TRUE(editor->isReadOnly());
    MemoTable table({StoredRtf});
    editor->setDataField(QStringLiteral("MEMO"));
    editor->setDataSource(table.source.get());
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("abcdef"));
    editor->setDataSource(nullptr);
    EXPECT_TRUE(editor->document()->isEmpty());
    EXPECT_FALSE(editor->memoLoaded());
}

TEST(RxDBRichEdit, ClickInTheSelectionBarSelectsTheWholeLine)
{
    MemoTable table({"{\\rtf1 premier\\par second\\par}"});
    EditorWindow view(table.source.get());
    const QPoint inSecondLine(2, view.editor->viewport()->y() + view.pointAt(10).y());
    QTest::mouseClick(view.editor, Qt::LeftButton, {}, inSecondLine);
    EXPECT_EQ(view.editor->textCursor().selectedText(), QStringLiteral("second"));
}

TEST(RxDBRichEdit, CharactersOutsideTheTableCodePageAreKeptInTheRtfMemo)
{
    MemoTable table({StoredRtf});
    EditorWindow view(table.source.get());
    for (const QString &ch : {QStringLiteral("中"), QStringLiteral("é")}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
        QApplication::sendEvent(view.editor, &press);
    }
    table.dataset->post();
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("中éabcdef"));
    EXPECT_NE(table.storedMemo().find("\\u20013?\\'e9abcdef"), std::string::npos) << table.storedMemo();
}

// A memo file cut short (a copy broken off, a full disk) once showed the cut memos as empty or
// partly without a word; the page now says so over the text, and only for those memos.
TEST(RxDBRichEdit, AMemoTheFileGivesOnlyInPartIsShownWithANotice)
{
    MemoTable table({"whole", "{\\rtf1 " + std::string(3000, 'x') + "}"});
    ASSERT_EQ(::truncate((table.path() + "memo.dbt").c_str(), 3 * 512), 0); // the second memo's end goes
    EditorWindow view(table.source.get());
    const auto noticeShown = [&] {
        return view.editor->partialMemoNotice() && view.editor->partialMemoNotice()->isVisible();
    };
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("whole"));
    EXPECT_FALSE(noticeShown());
    table.dataset->next();
    EXPECT_TRUE(noticeShown());
    EXPECT_TRUE(view.editor->toPlainText().startsWith(QStringLiteral("xxx")));
    const QRect notice = view.editor->partialMemoNotice()->geometry();
    EXPECT_GE(view.editor->viewport()->geometry().top(), notice.bottom()) << "the notice hides the first line";
    table.dataset->prior();
    EXPECT_FALSE(noticeShown());
    EXPECT_EQ(view.editor->viewport()->geometry().top(), 0);
}
