// The program under a real Wayland compositor: weston on its headless backend, drawing in
// memory. Weston's protocol log says what the program asked of the compositor, and its
// screenshooter shows what a person would see.
#include "desktoptestutil.h"

#include "art.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using desktoptest::Child;

// Room for the window at one and a half times its size.
constexpr int OutputWidth = 1400;
constexpr int OutputHeight = 900;

// A private weston on a socket in `runtimeDir`. It says why when it cannot run here.
class Weston
{
public:
    explicit Weston(const QString &runtimeDir) : m_runtimeDir(runtimeDir)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()) {
            m_reason = QStringLiteral("weston is not installed");
            return;
        }
        m_log = runtimeDir + QStringLiteral("/weston.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_server.process->setProcessEnvironment(env);
        m_server.process->setProcessChannelMode(QProcess::MergedChannels);
        // --debug offers the screenshooter to clients; the "proto" scope logs every request.
        m_server.process->start(
            QStringLiteral("weston"),
            {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
             QStringLiteral("--width=%1").arg(OutputWidth), QStringLiteral("--height=%1").arg(OutputHeight),
             QStringLiteral("--no-config"), QStringLiteral("--debug"),
             QStringLiteral("--socket=") + socket(), QStringLiteral("--log=") + m_log,
             QStringLiteral("--logger-scopes=log,proto")});
        const bool up = m_server.process->waitForStarted(10000) && QTest::qWaitFor(
            [this] {
                return m_server.process->state() != QProcess::Running
                    || QFile::exists(m_runtimeDir + QLatin1Char('/') + socket());
            },
            20000);
        if (!up || m_server.process->state() != QProcess::Running)
            m_reason = QStringLiteral("weston did not start: ")
                     + QString::fromLocal8Bit(m_server.process->readAll()) + logTail();
        // The shell's own clients (panel, background) come up after the socket.
        else if (!QTest::qWaitFor([this] { return log().contains(QLatin1String("set_background")); }, 10000))
            m_reason = QStringLiteral("weston's desktop shell did not start: ") + logTail();
    }
    ~Weston()
    {
        if (m_server.process->state() != QProcess::NotRunning) {
            m_server.process->terminate();
            m_server.process->waitForFinished(5000);
        }
    }

    bool running() const { return m_reason.isEmpty(); }
    QString reason() const { return m_reason; }
    static QString socket() { return QStringLiteral("wayland-velmora-test"); }
    QString log() const
    {
        QFile file(m_log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // What the output shows now, or a null image.
    QImage screenshot(const QProcessEnvironment &env, const QString &folder) const
    {
        for (const QString &old : QDir(folder).entryList({QStringLiteral("wayland-screenshot-*.png")}))
            QFile::remove(folder + QLatin1Char('/') + old);
        QProcess shooter;
        shooter.setProcessEnvironment(env);
        shooter.setWorkingDirectory(folder);
        shooter.start(QStringLiteral("weston-screenshooter"), {});
        if (!shooter.waitForFinished(10000))
            return {};
        const QStringList shots = QDir(folder).entryList({QStringLiteral("wayland-screenshot-*.png")});
        return shots.isEmpty() ? QImage() : QImage(folder + QLatin1Char('/') + shots.first());
    }

private:
    QString logTail() const { return log().right(600); }

    QString m_runtimeDir;
    QString m_log;
    QString m_reason;
    Child m_server;
};

// The program's part of the log: the lines of the client (named by an address) that asked for
// a toplevel window.
QStringList programRequests(const QString &log)
{
    static const QRegularExpression toplevel(QStringLiteral(R"(client (0x[0-9a-f]+) rq xdg_surface@\d+\.get_toplevel)"));
    const QRegularExpressionMatch match = toplevel.match(log);
    if (!match.hasMatch())
        return {};
    return log.split(QLatin1Char('\n')).filter(QLatin1String("client ") + match.captured(1) + QLatin1Char(' '));
}

// The smallest rectangle holding every pixel where two pictures of the output differ, below the
// shell's panel (whose clock ticks).
QRect changedArea(const QImage &before, const QImage &after)
{
    constexpr int PanelHeight = 32;
    QRect area;
    for (int y = PanelHeight; y < std::min(before.height(), after.height()); ++y)
        for (int x = 0; x < std::min(before.width(), after.width()); ++x)
            if (before.pixel(x, y) != after.pixel(x, y))
                area |= QRect(x, y, 1, 1);
    return area;
}

// Whether a skin pixel and its eight neighbours are all cut out, or all kept: such a pixel's
// centre lands clear of the outline at any scale.
enum class Inside { Cut, Kept, Edge };
Inside insideOf(const QImage &skin, int x, int y)
{
    int cut = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = std::clamp(x + dx, 0, skin.width() - 1);
            const int py = std::clamp(y + dy, 0, skin.height() - 1);
            cut += (skin.pixel(px, py) & 0xFFFFFF) == 0xFFFFFF;
        }
    return cut == 9 ? Inside::Cut : cut == 0 ? Inside::Kept : Inside::Edge;
}

struct ScaleCase
{
    const char *name;
    const char *factor; // QT_SCALE_FACTOR
    double ratio;
};

class Wayland : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(Wayland, ProgramShowsItsShapedWindowThroughTheCompositorWithoutWarnings)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "the program is not built here";
#else
    QTemporaryDir dir;
    const QString run = dir.filePath(QStringLiteral("run"));
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Weston weston(run);
    if (!weston.running())
        GTEST_SKIP() << weston.reason().toStdString();

    // A portable copy: the program, its language files and data of its own.
    const QString app = dir.filePath(QStringLiteral("app/"));
    QDir().mkpath(app + QStringLiteral("data"));
    const QFileInfo program(QStringLiteral(VELMORA_PROGRAM));
    ASSERT_TRUE(QFile::copy(program.filePath(), app + QStringLiteral("velmora")));
    QFile::setPermissions(app + QStringLiteral("velmora"), QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    for (const QString &name : program.dir().entryList({QStringLiteral("*.lng")}))
        QFile::copy(program.dir().filePath(name), app + name);
    const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
    for (const QString &name : shipped.entryList(QDir::Files))
        QFile::copy(shipped.filePath(name), app + QStringLiteral("data/") + name);
    // A place stored by an earlier run: the compositor places the window, and says nothing.
    QFile settings(app + QStringLiteral("data/velmora.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[place]\r\nFormVersion=0\r\nShowCmd=1\r\nPixelsPerInch=96\r\n"
                   "NormPos=10,10,810,442\r\n");
    settings.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(GetParam().factor));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), Weston::socket());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("user")));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("system")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
    // The desktop alone, once the shell has drawn it.
    QImage desktop = weston.screenshot(env, dir.path());
    for (int tries = 0; tries < 20; ++tries) {
        const QImage again = weston.screenshot(env, dir.path());
        if (!again.isNull() && !desktop.isNull() && changedArea(desktop, again).isEmpty())
            break;
        desktop = again;
        QTest::qWait(250);
    }
    ASSERT_FALSE(desktop.isNull()) << "weston's screenshooter gave no picture";

    Child velmora;
    velmora.process->setProcessEnvironment(env);
    velmora.process->start(app + QStringLiteral("velmora"), {});
    ASSERT_TRUE(velmora.process->waitForStarted(10000));
    // Mapped: a translucent buffer (format 0) of the window's size in device pixels.
    const double ratio = GetParam().ratio;
    const QSize device(qRound(800 * ratio), qRound(432 * ratio));
    const QRegularExpression buffer(QStringLiteral(R"(create_buffer\(new id wl_buffer@\d+, 0, %1, %2, %3, 0\))")
                                        .arg(device.width()).arg(device.height()).arg(device.width() * 4));
    const auto mapped = [&weston, &buffer] { return !programRequests(weston.log()).filter(buffer).isEmpty(); };
    ASSERT_TRUE(QTest::qWaitFor(mapped, 30000))
        << "no translucent buffer of the window's size; the program said: "
        << velmora.process->readAllStandardError().toStdString();
    // Time for the activation steps: the pages are made and the tables opened after the frame.
    QTest::qWait(2500);
    ASSERT_EQ(velmora.process->state(), QProcess::Running)
        << "the program ended: " << velmora.process->readAllStandardError().toStdString();

    const QStringList requests = programRequests(weston.log());
    // The outline limits the input too: a region of many runs, not one rectangle.
    EXPECT_GT(requests.filter(QRegularExpression(QStringLiteral(R"(wl_region@\d+\.add\()"))).size(), 20);
    EXPECT_FALSE(requests.filter(QLatin1String("set_input_region")).isEmpty());

    // What a person sees: the skin's white is the desktop behind, the rest is the window.
    const QImage shown = weston.screenshot(env, dir.path());
    ASSERT_FALSE(shown.isNull());
    const QImage skin = skinPicture();
    QRect body;
    for (int y = 0; y < skin.height(); ++y)
        for (int x = 0; x < skin.width(); ++x)
            if ((skin.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                body |= QRect(x, y, 1, 1);
    const QRect window = changedArea(desktop, shown);
    EXPECT_LE(std::abs(window.width() - body.width() * ratio), 2) << "the window is as wide as its skin";
    EXPECT_LE(std::abs(window.height() - body.height() * ratio), 2) << "and as high";
    const QPointF origin = QPointF(window.topLeft()) - QPointF(body.topLeft()) * ratio;
    int cutButPainted = 0;
    int bodyPixels = 0;
    int bodyShown = 0;
    for (int y = 0; y < skin.height(); ++y)
        for (int x = 0; x < skin.width(); ++x) {
            const Inside inside = insideOf(skin, x, y);
            const QPoint at = (origin + QPointF(x + 0.5, y + 0.5) * ratio).toPoint();
            if (inside == Inside::Edge || !shown.rect().contains(at))
                continue;
            const bool changed = desktop.pixel(at) != shown.pixel(at);
            if (inside == Inside::Cut) {
                cutButPainted += changed;
            } else {
                ++bodyPixels;
                bodyShown += changed;
            }
        }
    EXPECT_EQ(cutButPainted, 0) << "the skin's cut-out shows the desktop";
    // A seam would be whole rows of the desktop showing through the window.
    EXPECT_GE(bodyShown, bodyPixels - bodyPixels / 1000) << "the rest shows the window, without seams";

    velmora.process->terminate();
    ASSERT_TRUE(velmora.process->waitForFinished(10000));
    // Only the program's own line about its data folder: no warning from Qt or the compositor.
    const QStringList said = QString::fromLocal8Bit(velmora.process->readAllStandardError())
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : said)
        EXPECT_TRUE(line.startsWith(QLatin1String("velmora: data folder "))) << line.toStdString();
#endif
}

INSTANTIATE_TEST_SUITE_P(Scales, Wayland,
                         ::testing::Values(ScaleCase{"Whole", "1", 1.0}, ScaleCase{"OneAndAQuarter", "1.25", 1.25},
                                           ScaleCase{"OneAndAHalf", "1.5", 1.5}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
