#include "application.h"
#include "dblineedit.h"
#include "dbf.h"
#include "mainwindow.h"
#include "notebooktables.h"
#include "todopage.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// The program with its shipped empty tables, shown, activated and on its to-do page.
class Closing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        form = std::make_unique<Form1>(dir.path() + QLatin1Char('/'));
        for (const char *name : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx",
                                 "adbook.dbf", "adbook.dbt"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(VELMORA_SHIPPED_DATA_DIR "/") + name,
                                    form->dataDirectory() + name))
                << name;
        Application::instance()->setErrorReporter([this](const QString &m) { errors << m; });
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->activated(); }, 5000));
        form->selectPage(Form1::PageMemo);
    }
    void TearDown() override { Application::instance()->setErrorReporter([](const QString &) {}); }

    void typeTitle(const QString &title)
    {
        DBLineEdit *field = form->todoPage()->DBEdit1();
        field->setFocus();
        QTest::keyClicks(field, title);
    }
    void clickClose() { QTest::mouseClick(form->findChild<QWidget *>("Label1"), Qt::LeftButton); }

    // The titles stored in memo.dbf, read by a dataset of its own.
    QStringList storedTitles() const
    {
        TDbf memo("reader");
        memo.setFilePath(form->dataDirectory().toStdString());
        memo.setTableName("memo.dbf");
        memo.open();
        QStringList titles;
        for (memo.first(); !memo.eof(); memo.next())
            titles << QString::fromStdString(memo.fieldByName("TITRE").asString());
        return titles;
    }

    QTemporaryDir dir;
    std::unique_ptr<Form1> form;
    QStringList errors;
};

// No file of this process may grow past its present size, as on a full disk.
class FilesCannotGrow
{
public:
    explicit FilesCannotGrow(qint64 limit)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit low = m_old;
        low.rlim_cur = rlim_t(limit);
        setrlimit(RLIMIT_FSIZE, &low);
    }
    ~FilesCannotGrow()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

TEST_F(Closing, CloseMarkStoresTheNoteBeingTyped)
{
    typeTitle(QStringLiteral("Appeler le garage"));
    ASSERT_EQ(form->tables().Dbfmemo().state(), TDataSetState::dsInsert);

    clickClose();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(storedTitles(), QStringList{QStringLiteral("Appeler le garage")})
        << "\"X\" must store the note as \"Suivant\" would";
}

TEST_F(Closing, FailingPostShowsTheErrorAndKeepsTheWindowOpen)
{
    typeTitle(QStringLiteral("Acheter du pain"));
    {
        FilesCannotGrow full(QFileInfo(form->dataDirectory() + "memo.dbf").size());
        clickClose();
        EXPECT_TRUE(form->close() == false) << "a closing request must be refused too";
    }
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("Cannot write"))) << errors.first().toStdString();
    EXPECT_EQ(form->tables().Dbfmemo().state(), TDataSetState::dsInsert) << "the note is still there";

    // Once the disk has room again, the same note is stored.
    errors.clear();
    clickClose();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(storedTitles(), QStringList{QStringLiteral("Acheter du pain")});
}
