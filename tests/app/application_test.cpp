#include "application.h"
#include "dbferrors.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A control whose click handler fails, as a table error would.
class FailingButton : public QWidget
{
public:
    std::function<void()> onPress;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        ++presses;
        onPress();
    }
};

class ErrorBox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Application::instance()->setErrorReporter([this](const QString &m) { shown << m; });
    }
    void TearDown() override { Application::instance()->setErrorReporter([](const QString &) {}); }

    QStringList shown;
};

} // namespace

TEST_F(ErrorBox, ExceptionFromHandlerIsShownAndProgramCarriesOn)
{
    FailingButton button;
    button.resize(20, 20);
    button.onPress = [] { throw EDbfError("Record locked."); };
    button.show();

    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(shown, QStringList{QStringLiteral("Record locked.")});

    button.onPress = [] {};
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.presses, 2) << "events after a failure must still be handled";
    EXPECT_EQ(shown.size(), 1);
}

TEST_F(ErrorBox, FrenchTextsKeepTheirAccents)
{
    FailingButton button;
    button.onPress = [] { throw DataAccessError("Dbfinfos", "Champ 'x' non trouvé"); };
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(shown, QStringList{QStringLiteral("Dbfinfos: Champ 'x' non trouvé")});
}

TEST_F(ErrorBox, SilentAbortShowsNothing)
{
    FailingButton button;
    button.onPress = [] { throw SilentAbort(); };
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(ErrorBox, ExceptionFromTimerIsShown)
{
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [] { throw std::runtime_error("minuterie"); });
    timer.start(0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !shown.isEmpty(); }, 5000));
    EXPECT_EQ(shown.first(), QStringLiteral("minuterie"));
}

TEST(ApplicationObject, CarriesTheProgramTitle)
{
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Velmora"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Velmora"));
}
