// The window's placement in the section "place" of a temporary settings file.
#include "application.h"
#include "formplacement.h"
#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

QString suffix()
{
    return TFormPlacement::resolutionSuffix(QGuiApplication::primaryScreen()->size());
}

QString ppi()
{
    return QString::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
}

class Placement : public ::testing::Test
{
protected:
    Placement() { m_window.setFixedSize(800, 432); }

    TFormPlacement *attach(QWidget &window, bool positionAllowed = true)
    {
        window.setWindowFlag(Qt::FramelessWindowHint);
        auto *placement = new TFormPlacement(&window);
        placement->setIniFileName(m_file);
        placement->setRestoresPosition(positionAllowed);
        return placement;
    }
    void store(QString keys)
    {
        keys.replace("%S", suffix()).replace("%P", ppi());
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[place]\n" + keys + "\n").toUtf8());
    }
    QString read(const char *key) { return IniFile(m_file).readString("place", key); }

    QTemporaryDir m_dir;
    QString m_file = m_dir.filePath("velmora.ini");
    QWidget m_window;
};

TEST_F(Placement, CloseWritesEveryKeyInOrder)
{
    attach(m_window);
    m_window.move(30, 40);
    m_window.show();
    m_window.close();
    QFile file(m_file);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString expected =
        QStringLiteral("[place]\nFormVersion=0\nFlags=0\nShowCmd=1\nPixelsPerInch=%1\n"
                       "MinMaxPos%2=-1,-1,0,0\nMinMaxPos=-1,-1,0,0\n"
                       "NormPos%2=30,40,830,472\nNormPos=30,40,830,472\nVisible=0\n")
            .arg(ppi(), suffix());
    EXPECT_EQ(QString::fromUtf8(file.readAll()).remove('\r'), expected);
}

TEST_F(Placement, MinimisedAtCloseComesBackMinimised)
{
    attach(m_window);
    m_window.show();
    m_window.showMinimized();
    m_window.close();
    EXPECT_EQ(read("ShowCmd"), "2");

    QWidget next;
    attach(next);
    next.show();
    EXPECT_TRUE(next.isMinimized());
}

// A settings file that cannot be written: the error box says so and the window still closes.
TEST_F(Placement, UnwritableFileStillLetsTheWindowClose)
{
    QString shown;
    Application::instance()->setErrorReporter([&shown](const QString &m) { shown = m; });
    m_file = m_dir.filePath("missing folder/velmora.ini");
    attach(m_window);
    m_window.show();
    EXPECT_TRUE(m_window.close());
    EXPECT_FALSE(m_window.isVisible());
    Application::instance()->setErrorReporter([](const QString &) {});
    EXPECT_TRUE(shown.startsWith("Impossible d'écrire dans")) << shown.toStdString();
}

// Over a read-only data folder the placement is read as usual and never written.
TEST_F(Placement, ReadOnlyDataRestoresButWritesNothing)
{
    store("FormVersion=0\nShowCmd=2");
    const QByteArray before = [this] { QFile f(m_file); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    TFormPlacement *placement = attach(m_window);
    placement->setSavesPlacement(false);
    m_window.show();
    EXPECT_TRUE(m_window.isMinimized());
    m_window.showNormal();
    m_window.close();
    QFile after(m_file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

struct RestoreCase
{
    const char *name;
    const char *keys;
    bool positionAllowed;
    QPoint expected; // (-1, -1): centred on the screen
    bool minimised;
};

class Restore : public Placement, public ::testing::WithParamInterface<RestoreCase>
{};

TEST_P(Restore, ShowPutsTheWindowBack)
{
    const RestoreCase &c = GetParam();
    store(QString::fromLatin1(c.keys));
    attach(m_window, c.positionAllowed);
    m_window.move(5, 6);
    m_window.show();
    QPoint expected = c.expected;
    if (expected == QPoint(-1, -1))
        expected =
            QGuiApplication::primaryScreen()->availableGeometry().center() - QPoint(400, 216);
    EXPECT_EQ(m_window.pos(), expected);
    EXPECT_EQ(m_window.size(), QSize(800, 432));
    EXPECT_EQ(m_window.isMinimized(), c.minimised);
    m_window.close();
    EXPECT_EQ(read("FormVersion"), "0") << "saving goes on whatever was read";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, Restore,
    ::testing::Values(
        RestoreCase{"KeyOfThisResolutionWins",
                    "NormPos%S=10,20,810,452\nNormPos=300,300,1,1\nPixelsPerInch=%P",
                    true,
                    {10, 20},
                    false},
        RestoreCase{"PlainKeyForAResolutionSeenFirst",
                    "NormPos(1x1)=10,20,0,0\nNormPos=40,50,9000,9000",
                    true,
                    {40, 50},
                    false},
        RestoreCase{"NonNumericWordsKeepTheWindowsValue", "NormPos=abc,50", true, {5, 50}, false},
        RestoreCase{"OtherPixelsPerInchRestoresOnlyTheState",
                    "NormPos=40,50,0,0\nPixelsPerInch=1\nShowCmd=2",
                    true,
                    {5, 6},
                    true},
        RestoreCase{"NegativeVersionRestoresNothing",
                    "FormVersion=-1\nNormPos=40,50,0,0\nShowCmd=2",
                    true,
                    {5, 6},
                    false},
        RestoreCase{
            "PositionOffEveryScreenIsCentred", "NormPos=5000,5000,0,0", true, {-1, -1}, false},
        RestoreCase{
            "PositionAboveTheScreenIsCentred", "NormPos=10,-400,0,0", true, {-1, -1}, false},
        RestoreCase{"UnknownShowCommandIsNormal", "ShowCmd=4", true, {5, 6}, false},
        RestoreCase{"WherePlacingIsNotAllowedOnlyTheStateComesBack",
                    "NormPos=40,50\nShowCmd=6",
                    false,
                    {5, 6},
                    true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
