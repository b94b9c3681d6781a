// The trash of the three record pages on real tables: a delete brought back with its memo and its
// place in the lists, emptying the trash (compaction) with the current record kept, and a refusal
// while another process has the table open.
#include "addresspage.h"
#include "infospage.h"
#include "recordpagetestutil.h"
#include "todopage.h"
#include "trashwindow.h"

#include "compaction.h"
#include "dbffile.h"
#include "formatbar.h"
#include "pagemode.h"
#include "recordbar.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using recordtest::Row;
using recordtest::TableFolder;

namespace {

// One page of each kind over its table, deleting without asking, the trash's question answered
// as told.
struct PageCase
{
    const char *name;
    const char *file;
    const char *dataset;
    std::vector<TDbfCreateField> fields;
    std::vector<Row> rows;   // three records; the second is deleted and restored
    const char *memoField;
    QString listed;          // the second record in the trash list
};

const PageCase Cases[] = {
    {"Notes", "memo.dbf", "Dbfmemo", {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}},
     {{"Courses"}, {"Garage"}, {"Impôts"}}, "MEMO", "Garage"},
    {"Sheets", "infos.dbf", "Dbfinfos", {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}},
     {{"Maison", "Clés"}, {"Banque", "Agence"}, {"Maison", "Alarme"}}, "INFOS", "Agence"},
    {"Cards", "adbook.dbf", "Dbfadbook", recordtest::addressFields(),
     {{"Anne", "Martin"}, {"Paul", "Durand"}, {"Zoé", "Petit"}}, "NOTES", "Paul Durand"},
};

struct Fixture
{
    explicit Fixture(const PageCase &c) : folder(c.file, c.dataset, c.fields)
    {
        folder.add(c.rows);
        table = folder.open();
        for (table->first(); !table->eof(); table->next()) {
            table->edit();
            table->fieldByName(c.memoField).setMemoBytes("{\\rtf1 texte de " + table->field(0).asString() + "}");
            table->post();
        }
        const auto yes = [] { return AnswerYes; };
        if (std::string(c.file) == "memo.dbf")
            page = std::make_unique<TodoPage>(*table, format, yes);
        else if (std::string(c.file) == "infos.dbf")
            page = std::make_unique<InfosPage>(*table, format, yes);
        else
            page = std::make_unique<AddressPage>(*table, yes);
        trash = page->findChild<TrashWindow *>(QStringLiteral("Corbeille"));
        trash->setQuestion([this](const QString &) { return answer; });
        recordtest::showPage(*page);
    }
    void openTrash()
    {
        QTest::keyClick(page.get(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    }
    QStringList listed() const
    {
        QStringList texts;
        for (int i = 0; i < trash->ListeCorbeille()->count(); ++i)
            texts << trash->ListeCorbeille()->item(i)->text();
        return texts;
    }

    TableFolder folder;
    std::unique_ptr<TDbf> table;
    PageMode mode;
    FormatActions format{mode};
    std::unique_ptr<QWidget> page;
    TrashWindow *trash = nullptr;
    int answer = AnswerYes;
};

class Trash : public ::testing::TestWithParam<PageCase>
{
};

TEST_P(Trash, DeletedRecordComesBackWithItsMemoAndBecomesCurrent)
{
    const PageCase &c = GetParam();
    Fixture f(c);
    f.table->setRecNo(2);
    f.table->deleteRecord();
    f.openTrash();
    ASSERT_TRUE(f.trash->isVisible()) << "Ctrl+Shift+T opens the trash";
    EXPECT_EQ(f.listed(), QStringList{c.listed});
    EXPECT_TRUE(f.trash->ApercuCorbeille()->toPlainText().contains(QStringLiteral("texte de")));
    EXPECT_TRUE(f.trash->ApercuCorbeille()->isReadOnly());

    QTest::keyClick(f.trash->ListeCorbeille(), Qt::Key_Return);
    EXPECT_FALSE(f.trash->isVisible());
    EXPECT_EQ(f.table->recNo(), 2) << "the restored record is current";
    EXPECT_EQ(f.table->fieldByName(c.memoField).memoBytes(), "{\\rtf1 texte de " + c.rows[1][0] + "}");
    EXPECT_TRUE(f.table->deletedRecords().empty());
    if (auto *infos = qobject_cast<InfosPage *>(f.page.get())) {
        EXPECT_TRUE(recordtest::entries(infos->ComboBox2()).contains(QStringLiteral("Agence")));
    }
}

TEST_P(Trash, EmptyingCompactsTheTableAndKeepsTheCurrentRecord)
{
    const PageCase &c = GetParam();
    Fixture f(c);
    f.table->setRecNo(1);
    f.table->deleteRecord();
    f.table->setRecNo(3);
    const std::string current = f.table->field(0).asString();
    f.openTrash();

    f.answer = 7; // "Non" keeps everything
    QTest::mouseClick(f.trash->BtnVider(), Qt::LeftButton);
    EXPECT_EQ(f.listed().size(), 1);
    f.answer = AnswerYes;
    QTest::mouseClick(f.trash->BtnVider(), Qt::LeftButton);
    EXPECT_TRUE(f.listed().isEmpty());
    EXPECT_FALSE(f.trash->BtnRestaurer()->isEnabled());
    ASSERT_TRUE(f.table->active());
    EXPECT_EQ(f.table->recNo(), 2) << "record 3 moved up over the one removed";
    EXPECT_EQ(f.table->field(0).asString(), current);
    TDbfFile file;
    ASSERT_TRUE(file.open(f.folder.path() + c.file, TDbfAccess::ReadOnly));
    EXPECT_EQ(file.recordCount(), 2u);
    file.close();
    EXPECT_EQ(QDir(QString::fromStdString(f.folder.path() + "backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_P(Trash, EmptyingIsRefusedWhileAnotherProcessHasTheTableOpen)
{
    const PageCase &c = GetParam();
    Fixture f(c);
    f.table->setRecNo(1);
    f.table->deleteRecord();
    QString said;
    {
        recordtest::OtherCopy other(f.folder, false);
        ASSERT_TRUE(other.holds());
        f.openTrash();
        QTimer::singleShot(0, [&said] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                said = box->text();
                box->done(0);
            }
        });
        QTest::mouseClick(f.trash->BtnVider(), Qt::LeftButton);
    }
    EXPECT_TRUE(said.startsWith(QStringLiteral("Le carnet est ouvert dans un autre programme"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String(c.file))) << "the message names the table";
    EXPECT_EQ(f.listed().size(), 1) << "nothing removed";
    EXPECT_TRUE(f.table->active()) << "the page's table is open again";
}

INSTANTIATE_TEST_SUITE_P(Pages, Trash, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<PageCase> &info) { return std::string(info.param.name); });

} // namespace
