// The formatting bars and their shared handlers on real editors bound to a memo table.
#include "formatbar.h"
#include "pagemode.h"
#include "richedittestutil.h"
#include "rtfformat.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTextList>
#include <QToolButton>

#include <gtest/gtest.h>

using richtest::MemoTable;

namespace {

// Both text pages as the main window holds them: editor1 bound to a table of one memo, editor2
// free.
struct Pages
{
    explicit Pages(const std::string &memo) : table({memo})
    {
        window.resize(800, 432);
        actions.setUrlOpener([this](const QString &link) { opened << link; });
        bar1 = new FormatBar(1, actions, &window);
        bar1->move(32, 57);
        editor1 = new TRxDBRichEdit(&window);
        editor1->setGeometry(40, 96, 641, 265);
        editor1->setDataField(QStringLiteral("MEMO"));
        editor1->setDataSource(table.source.get());
        bar2 = new FormatBar(2, actions, &window);
        editor2 = new TRxCustomRichEdit(&window);
        editor2->setGeometry(0, 380, 300, 40);
        title = new QLineEdit(&window);
        title->setGeometry(0, 0, 100, 20);
        actions.setEditor(PageMode::TodoEditor, editor1);
        actions.setEditor(PageMode::InfosEditor, editor2);
        window.show();
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window); // offscreen windows may never report it
        editor1->setFocus();
    }

    void select(TRxCustomRichEdit *editor, int from, int to)
    {
        QTextCursor cursor = editor->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        editor->setTextCursor(cursor);
    }

    QPoint pointAt(TRxCustomRichEdit *editor, int position) const
    {
        QTextCursor cursor(editor->document());
        cursor.setPosition(position);
        return editor->cursorRect(cursor).center() + QPoint(3, 0);
    }

    MemoTable table;
    PageMode mode;
    QWidget window;
    FormatBar *bar1 = nullptr;
    FormatBar *bar2 = nullptr;
    TRxDBRichEdit *editor1 = nullptr;
    TRxCustomRichEdit *editor2 = nullptr;
    QLineEdit *title = nullptr;
    // Goes first: it must not follow editors being destroyed.
    FormatActions actions{mode};
    QStringList opened;
};

std::string rtf(const char *body)
{
    return std::string("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil DejaVu Sans;}}\\fs16 ") + body + "}";
}

bool anyFragment(const QTextDocument *doc, const std::function<bool(const QTextCharFormat &)> &test)
{
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (test(it.fragment().charFormat()))
                return true;
    return false;
}

} // namespace

TEST(FormatBar, BoldWithoutSelectionGoesToTheDefaultFormatAndEntersEditState)
{
    Pages pages(rtf("abcdef"));
    pages.select(pages.editor1, 2, 2);
    pages.bar1->BoldButton()->click();
    EXPECT_TRUE(pages.editor1->DefAttributes().style() & fsBold);
    EXPECT_TRUE(pages.bar1->BoldButton()->isChecked()); // until the next selection change
    EXPECT_EQ(pages.table.state(), TDataSetState::dsEdit);
    QTest::keyClicks(pages.editor1, QStringLiteral("Z"));
    EXPECT_TRUE(pages.editor1->SelAttributes().style() & fsBold); // the caret now sits after a bold Z
    EXPECT_TRUE(pages.bar1->BoldButton()->isChecked());
}

TEST(FormatBar, BoldOverMixedItalicMakesItalicUniformAsReported)
{
    Pages pages(rtf("ab{\\i cd}ef"));
    pages.select(pages.editor1, 0, 6);
    EXPECT_FALSE(pages.bar1->ItalicButton()->isChecked()); // mixed reads as not italic
    pages.bar1->BoldButton()->click();
    const QTextDocument *doc = pages.editor1->document();
    EXPECT_FALSE(anyFragment(doc, [](const QTextCharFormat &f) { return f.fontItalic(); }));
    EXPECT_FALSE(anyFragment(doc, [](const QTextCharFormat &f) { return f.fontWeight() < QFont::DemiBold; }));

    // A selection that is italic throughout keeps its italic.
    pages.select(pages.editor1, 2, 4);
    pages.bar1->ItalicButton()->click(); // italic on for "cd"
    pages.select(pages.editor1, 0, 6);
    pages.select(pages.editor1, 2, 4);
    EXPECT_TRUE(pages.bar1->ItalicButton()->isChecked());
    pages.bar1->UnderlineButton()->click();
    EXPECT_TRUE(pages.editor1->SelAttributes().style() & fsItalic);
    EXPECT_TRUE(pages.editor1->SelAttributes().style() & fsUnderline);
    pages.table.dataset->post();
    EXPECT_NE(pages.table.storedMemo().find("\\i\\ul cd"), std::string::npos) << pages.table.storedMemo();
}

TEST(FormatBar, AlignmentButtonsFollowTheParagraphButJustifiedLeavesThemAlone)
{
    Pages pages(rtf("\\pard\\qj justifie\\par\\pard\\qc centre\\par\\pard\\qr droite\\par"));
    pages.select(pages.editor1, 12, 12); // in "centre"
    EXPECT_TRUE(pages.bar1->AlignCenterButton()->isChecked());
    pages.select(pages.editor1, 2, 2); // in the justified paragraph
    EXPECT_TRUE(pages.bar1->AlignCenterButton()->isChecked());
    EXPECT_FALSE(pages.bar1->AlignLeftButton()->isChecked());
    pages.select(pages.editor1, 17, 17); // in "droite"
    EXPECT_TRUE(pages.bar1->AlignRightButton()->isChecked());

    pages.bar1->AlignLeftButton()->click();
    EXPECT_EQ(pages.editor1->Paragraph().alignment(), 0);
    EXPECT_EQ(pages.table.state(), TDataSetState::dsEdit);
    pages.bar1->AlignCenterButton()->click();
    EXPECT_EQ(pages.editor1->Paragraph().alignment(), 2);
}

TEST(FormatBar, BulletButtonSetsABulletWithItsHangingIndentAndTakesItAway)
{
    Pages pages(rtf("\\pard\\li400 un\\par deux\\par"));
    pages.select(pages.editor1, 0, 5);
    pages.bar1->BulletButton()->click();
    const QTextDocument *doc = pages.editor1->document();
    for (int i = 0; i < 2; ++i) {
        const QTextBlock block = doc->findBlockByNumber(i);
        ASSERT_NE(block.textList(), nullptr);
        EXPECT_EQ(block.textList(), doc->firstBlock().textList());
        EXPECT_EQ(block.blockFormat().intProperty(RtfFormat::HangingIndentProperty), 200);
        EXPECT_EQ(RtfFormat::pixelsToTwips(block.blockFormat().leftMargin()), 600);
    }
    EXPECT_EQ(pages.editor1->Paragraph().numbering(), 1);

    pages.bar1->BulletButton()->click();
    EXPECT_EQ(pages.editor1->Paragraph().numbering(), 0);
    EXPECT_EQ(doc->firstBlock().textList(), nullptr);
    EXPECT_EQ(RtfFormat::pixelsToTwips(doc->firstBlock().blockFormat().leftMargin()), 400);
    pages.table.dataset->post();
    EXPECT_EQ(pages.table.storedMemo().find("\\pn"), std::string::npos);
}

TEST(FormatBar, HandlersFollowTheActivePageAndStopWhileTheGuardIsSet)
{
    Pages pages(rtf("abc"));
    pages.editor2->setPlainText(QStringLiteral("libre"));
    pages.mode.setMode(PageMode::InfosEditor);
    pages.select(pages.editor2, 0, 5);
    pages.actions.Bold()->setChecked(true);
    pages.actions.BoldButton1Click(); // as if a button of either bar was clicked
    EXPECT_TRUE(pages.editor2->SelAttributes().style() & fsBold);
    EXPECT_EQ(pages.table.state(), TDataSetState::dsBrowse);

    pages.mode.setSyncGuard(true);
    pages.actions.Italic()->setChecked(true);
    pages.actions.italicbutton1Click();
    pages.actions.AlignButtonClick(pages.actions.AlignRight());
    pages.actions.BulletsButtonClick();
    EXPECT_FALSE(pages.editor2->SelAttributes().style() & fsItalic);
    EXPECT_EQ(pages.editor2->Paragraph().alignment(), 0);
    EXPECT_EQ(pages.editor2->Paragraph().numbering(), 0);
}

TEST(FormatBar, FontDialogCancelledChangesNothingAndConfirmedSetsTheFont)
{
    Pages pages(rtf("abc"));
    pages.mode.setMode(PageMode::InfosEditor);
    pages.editor2->setPlainText(QStringLiteral("libre"));
    pages.title->setFocus();
    QFont offered;
    pages.actions.setFontChooser([&](const QFont &initial, QWidget *) -> std::optional<QFont> {
        offered = initial;
        return std::nullopt;
    });
    const QString before = pages.editor2->document()->toHtml();
    pages.bar2->ToolButtonFont()->click();
    EXPECT_EQ(pages.editor2->document()->toHtml(), before);
    EXPECT_EQ(QApplication::focusWidget(), pages.editor2);

    pages.actions.setFontChooser([](const QFont &, QWidget *) -> std::optional<QFont> {
        QFont font(QStringLiteral("Courier New"));
        font.setPointSize(14);
        font.setItalic(true);
        return font;
    });
    pages.select(pages.editor2, 0, 5);
    pages.bar2->ToolButtonFont()->click();
    const QFont chosen = pages.editor2->SelAttributes().toFont();
    EXPECT_EQ(chosen.family(), QStringLiteral("Courier New"));
    EXPECT_EQ(chosen.pointSize(), 14);
    EXPECT_TRUE(chosen.italic());
}

TEST(FormatBar, LinksOpenOnALeftOrRightClickOnTheSameLinkOnly)
{
    Pages pages(rtf("voir http://example.org/x et www.test.fr."));
    const auto &links = pages.editor1->links();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[1].text, QStringLiteral("www.test.fr"));
    QWidget *viewport = pages.editor1->viewport();
    const QPoint first = pages.pointAt(pages.editor1, 8);
    const QPoint second = pages.pointAt(pages.editor1, 32);

    QTest::mouseClick(viewport, Qt::LeftButton, {}, first);
    QTest::mousePress(viewport, Qt::RightButton, {}, second);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, second);
    QTest::mousePress(viewport, Qt::LeftButton, {}, first);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, second);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, pages.pointAt(pages.editor1, 1));
    EXPECT_EQ(pages.opened, QStringList({QStringLiteral("http://example.org/x"), QStringLiteral("www.test.fr")}));

    // Link marks are display only: they never reach the stored document.
    QTest::keyClicks(pages.editor1, QStringLiteral("!"));
    pages.table.dataset->post();
    EXPECT_EQ(pages.table.storedMemo().find("HYPERLINK"), std::string::npos);
    EXPECT_EQ(pages.table.storedMemo().find("\\ul"), std::string::npos);
}

TEST(FormatBar, ClipboardActionsActOnTheFocusedFieldAndFollowItsSelection)
{
    Pages pages(rtf("abcdef"));
    pages.title->setText(QStringLiteral("titre"));
    pages.title->setFocus();
    pages.title->setSelection(0, 2);
    pages.bar1->updateClipboardActions();
    EXPECT_TRUE(pages.bar1->EditCopy()->isEnabled());
    pages.bar1->EditCopy()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("ti"));
    pages.title->deselect();
    pages.bar1->updateClipboardActions();
    EXPECT_FALSE(pages.bar1->EditCut()->isEnabled());
    EXPECT_TRUE(pages.bar1->EditPaste()->isEnabled());

    // Cutting from the editor of a browsing table puts the table into edit state first.
    pages.editor1->setFocus();
    pages.select(pages.editor1, 0, 3);
    pages.bar1->updateClipboardActions();
    EXPECT_TRUE(pages.bar1->EditCut()->isEnabled());
    pages.bar1->EditCut()->trigger();
    EXPECT_EQ(pages.table.state(), TDataSetState::dsEdit);
    EXPECT_EQ(pages.editor1->toPlainText(), QStringLiteral("def"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("abc"));
    pages.bar1->EditPaste()->trigger();
    EXPECT_EQ(pages.editor1->toPlainText(), QStringLiteral("abcdef"));
    pages.table.dataset->post();
    EXPECT_EQ(pages.editor1->toPlainText(), QStringLiteral("abcdef"));
}

TEST(FormatBar, LinkFieldsOfImportedDocumentsOpenTheirTarget)
{
    Pages pages(rtf("voir {\\field{\\*\\fldinst{HYPERLINK \"https://example.org/page\"}}{\\fldrslt{le site}}} ici"));
    QTest::mouseClick(pages.editor1->viewport(), Qt::LeftButton, {}, pages.pointAt(pages.editor1, 6));
    QTest::mouseClick(pages.editor1->viewport(), Qt::LeftButton, {}, pages.pointAt(pages.editor1, 1));
    EXPECT_EQ(pages.opened, QStringList({QStringLiteral("https://example.org/page")}));
}

TEST(FormatBar, BothBarsShowTheEditorOfTheSelectedPage)
{
    Pages pages(rtf("plain"));
    pages.editor2->setHtml(QStringLiteral("<p align=\"right\"><b>gras</b></p>"));
    pages.select(pages.editor1, 1, 1);
    EXPECT_FALSE(pages.bar2->BoldButton()->isChecked());

    pages.mode.setMode(PageMode::InfosEditor); // the hub selects the information page
    pages.select(pages.editor2, 2, 2);
    pages.mode.setMode(PageMode::TodoEditor);
    pages.mode.setMode(PageMode::InfosEditor);
    for (FormatBar *bar : {pages.bar1, pages.bar2}) {
        EXPECT_TRUE(bar->BoldButton()->isChecked()) << bar->objectName().toStdString();
        EXPECT_TRUE(bar->AlignRightButton()->isChecked()) << bar->objectName().toStdString();
    }
    EXPECT_FALSE(pages.mode.syncGuard()) << "the guard is down again after the update";

    pages.mode.setMode(PageMode::TodoEditor);
    EXPECT_FALSE(pages.bar2->BoldButton()->isChecked());
    EXPECT_TRUE(pages.bar1->AlignLeftButton()->isChecked());
}
