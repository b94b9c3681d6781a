// What a person does with notes that hold formatting, pictures and tables, through the real
// editor and the real to-do page on memo tables in temporary directories.
#include "application.h"
#include "deletequestion.h"
#include "formatbar.h"
#include "pagemode.h"
#include "recordbar.h"
#include "richedittestutil.h"
#include "todopage.h"
#include "todotestutil.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextTable>
#include <QToolButton>

#include <gtest/gtest.h>

using richtest::EditorWindow;
using richtest::MemoTable;
using todotest::ErrorReports;

namespace {

std::string plainRtf(const char *text)
{
    return std::string("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fnil DejaVu Sans;}}\\fs16 ") + text + "\\par}";
}

QByteArray pngBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) % 256)); // hard to compress
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The memo's RTF with line breaks taken out, so that hexadecimal data reads as one run.
std::string joined(std::string rtf)
{
    std::erase(rtf, '\r');
    std::erase(rtf, '\n');
    return rtf;
}

} // namespace

TEST(RichEditFormatting, EffectChosenWithoutSelectionGoesOnlyToTheTextTypedNext)
{
    MemoTable table({plainRtf("premier"), plainRtf("second")});
    EditorWindow view(table.source.get());
    view.editor->moveCursor(QTextCursor::End);
    view.editor->DefAttributes().setStyle(fsUnderline | fsBold);
    QTest::keyClicks(view.editor, QStringLiteral("X"));
    table.dataset->post();
    EXPECT_NE(table.storedMemo().find("\\ul"), std::string::npos) << "the typed X is underlined";
    EXPECT_FALSE(view.editor->document()->defaultFont().underline());
    EXPECT_FALSE(view.editor->document()->defaultFont().bold());

    table.dataset->next();
    EXPECT_EQ(view.editor->toPlainText(), QStringLiteral("second"));
    EXPECT_EQ(view.editor->SelAttributes().style(), 0) << "the other note shows its own format";
    view.editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(view.editor, QStringLiteral("!"));
    table.dataset->post();
    EXPECT_EQ(table.storedMemo().find("\\ul"), std::string::npos) << table.storedMemo();
    EXPECT_EQ(table.storedMemo().find("\\b"), std::string::npos) << table.storedMemo();

    table.dataset->insert();
    EXPECT_TRUE(view.editor->document()->isEmpty());
    EXPECT_EQ(view.editor->SelAttributes().style(), 0) << "a blank new note has no effect pressed";
    EXPECT_EQ(view.editor->DefAttributes().style(), 0);
}

TEST(RichEditFormatting, LoadedNoteShowsItsOwnEffectsWhateverTheEditorFont)
{
    MemoTable table({plainRtf("normal {\\b gras}")});
    EditorWindow view(table.source.get());
    QFont loud = view.editor->document()->defaultFont();
    loud.setBold(true);
    loud.setUnderline(true);
    loud.setItalic(true);
    view.editor->document()->setDefaultFont(loud);
    view.editor->dataLink().reset(); // loads the note again
    QTextCursor cursor(view.editor->document());
    cursor.setPosition(2);
    view.editor->setTextCursor(cursor);
    EXPECT_EQ(view.editor->SelAttributes().style(), 0);
    cursor.setPosition(9);
    view.editor->setTextCursor(cursor);
    EXPECT_EQ(view.editor->SelAttributes().style(), int(fsBold));
}

TEST(RichEditPictures, DroppedFileAndPastedScreenshotAreStoredAsPictures)
{
    MemoTable table({plainRtf("photo")});
    EditorWindow view(table.source.get());
    view.editor->moveCursor(QTextCursor::End);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.png"));
    const QByteArray file = pngBytes(9, 4);
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = view.editor->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.editor->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.editor->viewport(), &drop);
    EXPECT_EQ(table.state(), TDataSetState::dsEdit) << "a drop on a browsing note edits it";

    view.editor->moveCursor(QTextCursor::End);
    QImage screenshot(2000, 100, QImage::Format_RGB32);
    screenshot.fill(Qt::darkGreen);
    QApplication::clipboard()->setImage(screenshot);
    view.editor->pasteFromClipboard();
    table.dataset->post();

    const std::string stored = joined(table.storedMemo());
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '{') - std::count(stored.begin(), stored.end(), '}'), 0);
    size_t pictures = 0;
    for (size_t at = stored.find("{\\pict\\pngblip"); at != std::string::npos; at = stored.find("{\\pict\\pngblip", at + 1))
        ++pictures;
    EXPECT_EQ(pictures, 2u) << stored.substr(0, 400);
    EXPECT_NE(stored.find("\\picw2000\\pich100"), std::string::npos) << "the screenshot at its own size";
    EXPECT_NE(stored.find("\\picscalex"), std::string::npos) << "shown narrowed to the editor";
    EXPECT_NE(stored.find(file.toHex().toStdString()), std::string::npos) << "the dropped file's own bytes";
    delete mime;
}

// Each note is its own document: a picture and a table cut from one note and pasted into another
// travel as RTF, whole.
TEST(RichEditPictures, PictureAndTableCutFromOneNoteArePastedWholeIntoAnother)
{
    const QByteArray png = pngBytes(5, 3);
    const std::string first = "{\\rtf1\\ansi a{\\pict\\pngblip\\picwgoal75\\pichgoal45 " + png.toHex().toStdString() +
                              "}b\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl un\\cell deux\\cell\\row\\pard z\\par}";
    MemoTable table({first, plainRtf("autre")});
    EditorWindow view(table.source.get());
    view.editor->selectAll();
    view.editor->cutToClipboard();
    table.dataset->post();
    EXPECT_EQ(table.storedMemo().find("pict"), std::string::npos) << "cut from the first note";

    table.dataset->next();
    view.editor->moveCursor(QTextCursor::End);
    view.editor->pasteFromClipboard();
    table.dataset->post();
    const std::string stored = joined(table.storedMemo());
    EXPECT_NE(stored.find(png.toHex().toStdString()), std::string::npos) << stored;
    EXPECT_NE(stored.find("un\\cell"), std::string::npos) << stored;
    EXPECT_NE(stored.find("deux\\cell\\row"), std::string::npos) << stored;
    EXPECT_NE(stored.find("autre"), std::string::npos) << stored;
}

TEST(RichEditPictures, MemoTooLargeForTheMemoFileIsRefusedAtPostAndNothingIsStored)
{
    todotest::MemoFolder folder;
    folder.addNotes({"photo"});
    todotest::PageFixture f(folder);
    f.page.editor1()->setMaxMemoBytes(4000);
    f.page.editor1()->setFocus();
    QApplication::clipboard()->setImage(QImage::fromData(pngBytes(300, 300)));
    f.page.editor1()->pasteFromClipboard();
    ASSERT_EQ(f.table->state(), TDataSetState::dsEdit);

    ErrorReports errors;
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Post), Qt::LeftButton); // "Valider"
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].contains(QStringLiteral("trop volumineuse"))) << errors.messages[0].toStdString();
    EXPECT_EQ(f.table->state(), TDataSetState::dsEdit) << "the note stays being edited";
    f.table->cancel();
    EXPECT_EQ(f.table->fieldByName("MEMO").memoBytes(), "") << "nothing was stored";
}

// A memo from another program with a picture and a table, a word added at its end, "Valider":
// the stored memo still holds the picture's bytes and the table.
TEST(RichEditPictures, ForeignMemoKeepsItsPictureAndTableThroughAnEditOnTheToDoPage)
{
    const QByteArray png = pngBytes(12, 8);
    const std::string memo = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\pard\\f0\\fs20 Capture : "
                             "{\\pict\\pngblip\\picw12\\pich8\\picwgoal360\\pichgoal240 " + png.toHex().toStdString() +
                             "}\\par\r\n\\trowd\\trgaph70\\cellx1500\\cellx3000\\pard\\intbl Lait\\cell 2 litres\\cell\\row"
                             "\\trowd\\trgaph70\\cellx1500\\cellx3000\\pard\\intbl Pain\\cell {\\b 1}\\cell\\row\\pard Fin\\par}";
    todotest::MemoFolder folder;
    {
        auto writer = folder.open();
        writer->insert();
        writer->fieldByName("TITRE").setAsString("Courses");
        writer->fieldByName("MEMO").setMemoBytes(memo);
        writer->post();
        writer->close();
    }
    todotest::PageFixture f(folder);
    f.page.editor1()->setFocus();
    f.page.editor1()->moveCursor(QTextCursor::End);
    QTest::keyClicks(f.page.editor1(), QStringLiteral(" merci"));
    QTest::mouseClick(f.page.ToolBar1()->button(RecordBar::Post), Qt::LeftButton); // "Valider"
    ASSERT_EQ(f.table->state(), TDataSetState::dsBrowse);
    f.table->close();

    auto reader = folder.open();
    const std::string stored = joined(reader->fieldByName("MEMO").memoBytes());
    EXPECT_NE(stored.find("{\\pict\\pngblip"), std::string::npos) << stored;
    EXPECT_NE(stored.find(png.toHex().toStdString()), std::string::npos) << "the picture's own bytes";
    EXPECT_NE(stored.find("Fin merci"), std::string::npos) << stored;
    size_t rows = 0;
    for (size_t at = stored.find("\\row"); at != std::string::npos; at = stored.find("\\row", at + 1))
        ++rows;
    EXPECT_EQ(rows, 2u) << stored;
    const size_t lait = stored.find("Lait\\cell");
    ASSERT_NE(lait, std::string::npos) << stored;
    EXPECT_LT(lait, stored.find("2 litres\\cell"));
    EXPECT_LT(stored.find("2 litres\\cell"), stored.find("Pain\\cell"));
    EXPECT_EQ(stored.find("\\tab"), std::string::npos) << "no cell became tab-separated text";
}
