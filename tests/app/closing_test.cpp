#include "programtestutil.h"

#include "application.h"

#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using programtest::Program;

namespace {

// The program on its to-do page, with the errors it shows collected.
class Closing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Application::instance()->setErrorReporter([this](const QString &m) { errors << m; });
        ASSERT_TRUE(p.form->activated());
        p.form->selectPage(Form1::PageMemo);
    }
    void TearDown() override { Application::instance()->setErrorReporter([](const QString &) {}); }

    void typeNewNote(const QString &title)
    {
        p.form->tables().Dbfmemo().insert();
        p.type(p.todo()->DBEdit1(), title);
    }
    void clickClose() { QTest::mouseClick(p.form->findChild<QWidget *>("Label1"), Qt::LeftButton); }

    Program p;
    QStringList errors;
};

// No file of this process may grow past `limit` bytes, as on a full disk.
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

const QStringList Shipped = {QStringLiteral("Un"), QStringLiteral("Deux"), QStringLiteral("Trois")};

} // namespace

TEST_F(Closing, CloseMarkStoresTheNoteBeingTyped)
{
    typeNewNote(QStringLiteral("Appeler le garage"));
    clickClose();
    EXPECT_FALSE(p.form->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(p.storedTitles(), Shipped + QStringList{QStringLiteral("Appeler le garage")})
        << "\"X\" must store the note as \"Suivant\" would";
}

TEST_F(Closing, FailingPostShowsTheErrorAndKeepsTheWindowOpen)
{
    typeNewNote(QStringLiteral("Acheter du pain"));
    {
        FilesCannotGrow full(QFileInfo(p.form->dataDirectory() + "memo.dbf").size());
        clickClose();
        EXPECT_FALSE(p.form->close()) << "a request to close from elsewhere is refused too";
    }
    EXPECT_TRUE(p.form->isVisible());
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors.first().startsWith(QStringLiteral("Cannot write"))) << errors.first().toStdString();
    EXPECT_EQ(p.state(), TDataSetState::dsInsert) << "the note is still there";

    // Once the disk has room again, the same note is stored.
    errors.clear();
    clickClose();
    EXPECT_FALSE(p.form->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(p.storedTitles(), Shipped + QStringList{QStringLiteral("Acheter du pain")});
}
