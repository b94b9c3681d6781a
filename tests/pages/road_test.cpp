// The road of one event, end to end: the hub, the to-do area, "Nouveau", a title, a text, bold,
// "Valider"; then the bytes on disk, and the note again after a restart.
#include "clicklabel.h"
#include "dbf.h"
#include "dbffile.h"
#include "dblineedit.h"
#include "formatbar.h"
#include "mainwindow.h"
#include "recordbar.h"
#include "rxdbrichedit.h"
#include "notebooktables.h"
#include "pagemode.h"
#include "recordpagetestutil.h"
#include "todopage.h"
#include "ualarm.h"

#include <QDate>
#include <QDir>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>
#include <gtest/gtest.h>
#include <regex>

using recordtest::fileBytes;

namespace {

const std::string Title = "Acheter du pain";
const QString Text = QStringLiteral("Farine et levure");

std::uint32_t le32(const std::string &b, size_t at)
{
    return std::uint32_t((unsigned char)b[at]) | std::uint32_t((unsigned char)b[at + 1]) << 8
           | std::uint32_t((unsigned char)b[at + 2]) << 16
           | std::uint32_t((unsigned char)b[at + 3]) << 24;
}

int le16(const std::string &b, size_t at)
{
    return (unsigned char)b[at] | ((unsigned char)b[at + 1] << 8);
}

// An installation folder with the three shipped, empty tables.
class Installation
{
public:
    Installation()
    {
        QDir(m_dir.path()).mkdir(QStringLiteral("data"));
        const std::string data = dataPath();
        createDbfTable(data + "memo.dbf", 0x8B, 0x57, {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}}, 512);
        createDbfTable(data + "infos.dbf", 0x8B, 0x57,
                       {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}}, 512);
        createDbfTable(data + "adbook.dbf", 0x8B, 0x57,
                       {{"PRENOM", 'C', 35}, {"NOM", 'C', 35}, {"NOTES", 'M', 10}}, 512);
    }
    QString applicationDirectory() const { return m_dir.path() + QLatin1Char('/'); }
    std::string dataPath() const { return m_dir.path().toStdString() + "/data/"; }

private:
    QTemporaryDir m_dir;
};

// The program as main() starts it: the main window, then the delete question.
struct RunningProgram
{
    explicit RunningProgram(const Installation &installation)
        : window(installation.applicationDirectory())
    {
        window.setDeleteQuestion(&avertissement);
        window.show();
        started = QTest::qWaitFor([this] { return window.activated(); });
    }
    Form1 window;
    TAvertissement avertissement;
    bool started = false;
};

QWidget *control(Form1 &window, const char *name)
{
    return window.findChild<QWidget *>(QLatin1String(name));
}

void openToDoPage(Form1 &window)
{
    QTest::mouseClick(control(window, "Image1"), Qt::LeftButton);
    QTest::mouseClick(control(window, "Label3"), Qt::LeftButton);
}

} // namespace

TEST(RoadOfOneEvent, NewFormattedNoteReachesTheDiskAndComesBackAfterARestart)
{
    Installation installation;
    {
        RunningProgram program(installation);
        ASSERT_TRUE(program.started);
        Form1 &window = program.window;
        TodoPage *page = window.todoPage();
        ASSERT_NE(page, nullptr);

        openToDoPage(window);
        EXPECT_EQ(window.notebook()->currentWidget(), window.todoPage());
        EXPECT_EQ(window.pageMode().mode(), 0);

        QTest::mouseClick(page->ToolBar1()->button(RecordBar::Insert), Qt::LeftButton); // "Nouveau"
        EXPECT_EQ(window.tables().Dbfmemo().state(), TDataSetState::dsInsert);

        page->DBEdit1()->setFocus();
        QTest::keyClicks(page->DBEdit1(), QString::fromStdString(Title));
        page->editor1()->setFocus();
        QTest::keyClicks(page->editor1(), Text);
        page->editor1()->selectAll();
        QTest::mouseClick(page->ToolBar2()->BoldButton(), Qt::LeftButton);
        EXPECT_EQ(window.tables().Dbfmemo().state(), TDataSetState::dsInsert);

        QTest::mouseClick(page->ToolBar1()->button(RecordBar::Post), Qt::LeftButton); // "Valider"
        EXPECT_EQ(window.tables().Dbfmemo().state(), TDataSetState::dsBrowse);
        EXPECT_EQ(page->DBEdit1()->text(), QString::fromStdString(Title));
        QTest::mouseClick(control(window, "Label1"), Qt::LeftButton); // "X" closes the tables
    }

    // memo.dbf: one live record, the title padded with blanks, the memo's first block.
    const std::string dbf = fileBytes(installation.dataPath() + "memo.dbf");
    ASSERT_GE(dbf.size(), 32u);
    EXPECT_EQ(le32(dbf, 4), 1u) << "the header counts the new record";
    const QDate today = QDate::currentDate();
    EXPECT_EQ((unsigned char)dbf[1], today.year() - 1900);
    EXPECT_EQ((unsigned char)dbf[2], today.month());
    EXPECT_EQ((unsigned char)dbf[3], today.day()) << "the header carries the date of the change";
    const size_t headerLength = size_t(le16(dbf, 8));
    const size_t recordLength = size_t(le16(dbf, 10));
    ASSERT_EQ(recordLength, 1u + 80u + 10u);
    ASSERT_EQ(dbf.size(), headerLength + recordLength + 1) << "one record, then the end mark";
    const std::string record = dbf.substr(headerLength, recordLength);
    EXPECT_EQ(record[0], ' ');
    EXPECT_EQ(record.substr(1, 80), Title + std::string(80 - Title.size(), ' '));
    EXPECT_EQ(record.substr(81, 10), "0000000001");
    EXPECT_EQ(dbf.back(), '\x1A');

    // memo.dbt: block 1 holds the whole RTF document behind its length prefix.
    const std::string dbt = fileBytes(installation.dataPath() + "memo.dbt");
    ASSERT_GE(dbt.size(), 520u);
    EXPECT_EQ(dbt.substr(512, 4), std::string("\xFF\xFF\x08\x00", 4));
    const std::uint32_t stored = le32(dbt, 516);
    ASSERT_GT(stored, 8u);
    ASSERT_LE(512u + stored, dbt.size());
    const std::string rtf = dbt.substr(520, stored - 8);
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u) << rtf;
    EXPECT_NE(rtf.find("Farine et levure"), std::string::npos) << rtf;
    EXPECT_TRUE(std::regex_search(rtf, std::regex(R"(\\b[^a-z])"))) << "the text is bold: " << rtf;
    EXPECT_EQ(rtf.back(), '}');

    // The table engine reads back what the page wrote.
    TDbf table("Dbfmemo");
    table.setFilePath(installation.dataPath());
    table.setTableName("memo.dbf");
    table.open();
    EXPECT_EQ(table.fieldByName("TITRE").asString(), Title);
    EXPECT_EQ(table.fieldByName("MEMO").memoBytes(), rtf);
    table.close();

    // The program started again on the same data shows the note, still bold.
    RunningProgram again(installation);
    ASSERT_TRUE(again.started);
    openToDoPage(again.window);
    TodoPage *page = again.window.todoPage();
    EXPECT_EQ(page->DBEdit1()->text(), QString::fromStdString(Title));
    EXPECT_EQ(page->editor1()->toPlainText(), Text);
    QTextCursor cursor(page->editor1()->document());
    cursor.setPosition(3);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
}
