// The program under a real Wayland compositor: weston on its headless backend, drawing in
// memory, or in a window of a private X display when a pointer is needed. Weston's protocol log
// says what the program asked of the compositor, and its screenshooter shows what a person
// would see.
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

// A private weston on a socket in `runtimeDir`, drawing in memory (headless) or in a window of
// the X display `x11Display`. It says why when it cannot run here.
class Weston
{
public:
    Weston(const QString &runtimeDir, const QString &x11Display) : m_runtimeDir(runtimeDir)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()) {
            m_reason = QStringLiteral("weston is not installed");
            return;
        }
        m_log = runtimeDir + QStringLiteral("/weston.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), x11Display);
        m_server.process->setProcessEnvironment(env);
        m_server.process->setProcessChannelMode(QProcess::MergedChannels);
        // Headless: room for the window at one and a half times its size; in a window: inside
        // the X display. --debug offers the screenshooter to clients; the "proto" scope logs
        // every request.
        const bool headless = x11Display.isEmpty();
        m_server.process->start(
            QStringLiteral("weston"),
            {headless ? QStringLiteral("--backend=headless-backend.so") : QStringLiteral("--backend=x11-backend.so"),
             QStringLiteral("--use-pixman"), QStringLiteral("--width=%1").arg(headless ? 1400 : 1000),
             QStringLiteral("--height=%1").arg(headless ? 900 : 700),
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

// The part of the skin that is not cut out.
QRect skinBody()
{
    const QImage skin = skinPicture();
    QRect body;
    for (int y = 0; y < skin.height(); ++y)
        for (int x = 0; x < skin.width(); ++x)
            if ((skin.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                body |= QRect(x, y, 1, 1);
    return body;
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

// The program, as a portable copy with data of its own, under a weston of the test's own.
class OnWeston
{
public:
#ifdef VELMORA_PROGRAM
    // Empty `x11Display`: weston's headless backend.
    void start(const QString &x11Display = QString(), const char *scaleFactor = "1")
    {
        const QString run = dir.filePath(QStringLiteral("run"));
        QDir().mkpath(run);
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        weston = std::make_unique<Weston>(run, x11Display);
        if (!weston->running())
            return;
        const QString app = dir.filePath(QStringLiteral("app/"));
        QDir().mkpath(app + QStringLiteral("data"));
        const QFileInfo program(QStringLiteral(VELMORA_PROGRAM));
        QFile::copy(program.filePath(), app + QStringLiteral("velmora"));
        for (const QString &name : program.dir().entryList({QStringLiteral("*.lng")}))
            QFile::copy(program.dir().filePath(name), app + name);
        const QDir shipped(QStringLiteral(VELMORA_SHIPPED_DATA_DIR));
        for (const QString &name : shipped.entryList(QDir::Files))
            QFile::copy(shipped.filePath(name), app + QStringLiteral("data/") + name);
        // A place stored by an earlier run: the compositor places the window, and says nothing.
        QFile settings(app + QStringLiteral("data/velmora.ini"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[place]\r\nFormVersion=0\r\nShowCmd=1\r\nPixelsPerInch=96\r\nNormPos=10,10,810,442\r\n");
        settings.close();

        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(scaleFactor));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), Weston::socket());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("user")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("system")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("share")));
        // The desktop alone, once the shell has drawn it.
        desktop = screenshot();
        for (int tries = 0; tries < 20; ++tries) {
            const QImage again = screenshot();
            if (!again.isNull() && !desktop.isNull() && changedArea(desktop, again).isEmpty())
                break;
            desktop = again;
            QTest::qWait(250);
        }
        velmora.process->setProcessEnvironment(env);
        velmora.process->start(app + QStringLiteral("velmora"), {});
        velmora.process->waitForStarted(10000);
    }
#endif

    // Waits until the program has shown a translucent buffer (format 0) of `device` pixels, and
    // the activation steps after the first frame had their time.
    bool mapped(QSize device)
    {
        const QRegularExpression buffer(QStringLiteral(R"(create_buffer\(new id wl_buffer@\d+, 0, %1, %2, %3, 0\))")
                                            .arg(device.width()).arg(device.height()).arg(device.width() * 4));
        if (!QTest::qWaitFor([this, &buffer] { return !programRequests(weston->log()).filter(buffer).isEmpty(); }, 30000))
            return false;
        QTest::qWait(2500);
        return velmora.process->state() == QProcess::Running;
    }
    QImage screenshot() const { return weston->screenshot(env, dir.path()); }
    // Where the window shows now on the output.
    QRect window() const { return changedArea(desktop, screenshot()); }

    QTemporaryDir dir;
    std::unique_ptr<Weston> weston;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QImage desktop;
    Child velmora;
};

struct ScaleCase
{
    const char *name;
    const char *factor; // QT_SCALE_FACTOR
    double ratio;
};

class Wayland : public ::testing::TestWithParam<ScaleCase>
{
protected:
    OnWeston on;
};

TEST_P(Wayland, ProgramShowsItsShapedWindowThroughTheCompositorWithoutWarnings)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "the program is not built here";
#else
    on.start(QString(), GetParam().factor);
    if (!on.weston->running())
        GTEST_SKIP() << on.weston->reason().toStdString();
    ASSERT_FALSE(on.desktop.isNull()) << "weston's screenshooter gave no picture";
    const double ratio = GetParam().ratio;
    ASSERT_TRUE(on.mapped(QSize(qRound(800 * ratio), qRound(432 * ratio))))
        << "no translucent buffer of the window's size, or the program ended; it said: "
        << on.velmora.process->readAllStandardError().toStdString();

    const QStringList requests = programRequests(on.weston->log());
    // The outline limits the input too: a region of many runs, not one rectangle.
    EXPECT_GT(requests.filter(QRegularExpression(QStringLiteral(R"(wl_region@\d+\.add\()"))).size(), 20);
    EXPECT_FALSE(requests.filter(QLatin1String("set_input_region")).isEmpty());

    // What a person sees: the skin's white is the desktop behind, the rest is the window.
    const QImage shown = on.screenshot();
    ASSERT_FALSE(shown.isNull());
    const QImage skin = skinPicture();
    const QRect body = skinBody();
    const QRect window = changedArea(on.desktop, shown);
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
            const bool changed = on.desktop.pixel(at) != shown.pixel(at);
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

    on.velmora.process->terminate();
    ASSERT_TRUE(on.velmora.process->waitForFinished(10000));
    // Only the program's own line about its data folder: no warning from Qt or the compositor.
    const QStringList said = QString::fromLocal8Bit(on.velmora.process->readAllStandardError())
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : said)
        EXPECT_TRUE(line.startsWith(QLatin1String("velmora: data folder "))) << line.toStdString();
#endif
}

// Weston in a window of a private X display takes the pointer that xdotool moves there; its
// output's pixels are the display's.
TEST(WaylandDrag, PressingOnTheSkinMovesTheWindowThroughTheCompositor)
{
#ifndef VELMORA_PROGRAM
    GTEST_SKIP() << "the program is not built here";
#else
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    desktoptest::XDisplay display;
    if (!display.valid())
        GTEST_SKIP() << "no X server could be started";
    OnWeston on;
    on.start(display.name());
    if (!on.weston->running())
        GTEST_SKIP() << on.weston->reason().toStdString();
    const auto pointer = [&display](const QStringList &arguments) {
        QProcess xdotool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display.name());
        xdotool.setProcessEnvironment(env);
        xdotool.start(QStringLiteral("xdotool"), arguments);
        xdotool.waitForFinished(5000);
        QTest::qWait(50);
    };
    ASSERT_TRUE(on.mapped(QSize(800, 432))) << on.velmora.process->readAllStandardError().toStdString();
    const QRect before = on.window();
    // On the bare skin below the decorations, then 60 to the right and 40 up.
    const QPoint press = before.topLeft() - skinBody().topLeft() + QPoint(430, 400);
    const auto moveTo = [&pointer](QPoint at) {
        pointer({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()), QString::number(at.y())});
    };
    const auto logged = [&on](const char *pattern) {
        return QTest::qWaitFor([&on, pattern] {
            return !programRequests(on.weston->log()).filter(QRegularExpression(QLatin1String(pattern))).isEmpty();
        });
    };
    // Weston moves its pointer by the steps of the X pointer, from where it entered its window:
    // the pointer comes in from outside. The press waits until the program heard it arrive,
    // the dragging until the compositor was asked to move.
    moveTo(QPoint(1020, 760));
    moveTo(press);
    ASSERT_TRUE(logged(R"(wl_pointer@\d+\.(enter\(\d+, wl_surface@\d+|motion\(\d+), 430\.0+, 400\.0+\))"))
        << "the pointer reached the press point";
    pointer({QStringLiteral("mousedown"), QStringLiteral("1")});
    EXPECT_TRUE(logged(R"(xdg_toplevel@\d+\.move\()")) << "the press asked the compositor to move the window";
    for (int step = 1; step <= 10; ++step)
        moveTo(press + QPoint(6, -4) * step);
    pointer({QStringLiteral("mouseup"), QStringLiteral("1")});
    EXPECT_TRUE(QTest::qWaitFor([&on, &before] { return on.window().topLeft() == before.topLeft() + QPoint(60, -40); }))
        << "the window followed the pointer from " << before.x() << "," << before.y() << " to "
        << on.window().x() << "," << on.window().y();
#endif
}

INSTANTIATE_TEST_SUITE_P(Scales, Wayland,
                         ::testing::Values(ScaleCase{"Whole", "1", 1.0}, ScaleCase{"OneAndAQuarter", "1.25", 1.25},
                                           ScaleCase{"OneAndAHalf", "1.5", 1.5}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
