// A second program for the desktop tests: what needs its own process (a second copy of the
// program) or a real X display with a notification area (the tray road of the main window).
//
//   desktop_helper instance <title> [dir] starts like the program: the single-instance check
//                                         (in dir, else the runtime folder), then a window;
//                                         prints "first", "second" or "unguarded", then
//                                         "activated" for each raise request
//   desktop_helper tray <app dir> <host>  the main window's tray road under X11; host is "yes"
//                                         when a notification area runs; exit code 0 when every
//                                         step behaved
#include "application.h"
#include "dbf.h"
#include "mainwindow.h"
#include "notebooktables.h"
#include "optionspage.h"
#include "piconebarretache.h"
#include "xjustone.h"

#include <QCheckBox>
#include <QCursor>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int instance(Application &app, const QString &title, const QString &runtimeDirectory)
{
    TXJustOne guard(title, runtimeDirectory);
    switch (guard.Loaded()) {
    case TXJustOne::Second:
        say(QStringLiteral("second"));
        return 0;
    case TXJustOne::Unguarded:
        say(QStringLiteral("unguarded"));
        break;
    case TXJustOne::First:
        say(QStringLiteral("first"));
        break;
    }
    QWidget window;
    window.resize(200, 100);
    QObject::connect(&guard, &TXJustOne::activationRequested, &window, [&window] {
        window.show();
        say(QStringLiteral("activated"));
    });
    window.show();
    return app.exec();
}

// Real pointer input through the X server, as a person's click would arrive.
void xclick(QPoint global, int button)
{
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QString::number(global.x()),
                       QString::number(global.y()), QStringLiteral("click"),
                       QString::number(button)});
}

class TrayRoad
{
public:
    explicit TrayRoad(const QString &appDir) : m_form(appDir) {}

    // Returns false at the first step that misbehaves; the last step leaves the program ending.
    bool run(bool host)
    {
        m_form.showAtStart();
        if (!check(QTest::qWaitFor([this] { return m_form.activated(); }, 5000), "activation"))
            return false;
        TPiconeBarreTache *tray = m_form.PiconeBarreTache1();
        if (!check(tray->PetiteIconeVisible() && tray->ReduireSiFin(), "ico=yes switches both on"))
            return false;
        return host ? withHost(tray) : withoutHost();
    }

    void checkEnded(bool host)
    {
        check(!m_form.isVisible(), "the program ended with its window closed");
        if (host)
            check(!m_form.PiconeBarreTache1()->trayIcon()->isVisible(), "Fermer removed the icon");
    }

    int failures = 0;

private:
    bool check(bool ok, const char *what)
    {
        say(QStringLiteral("%1 %2").arg(ok ? "ok" : "FAIL", QLatin1String(what)));
        failures += ok ? 0 : 1;
        return ok;
    }

    bool withoutHost()
    {
        QCheckBox *trayBox = m_form.optionsPage()->findChild<QCheckBox *>("CheckBox2");
        check(!trayBox->toolTip().isEmpty(), "CheckBox2 says why");
        m_form.Label1Click(); // nothing to come back from: the program must end
        return true;
    }

    bool withHost(TPiconeBarreTache *tray)
    {
        QSystemTrayIcon *icon = tray->trayIcon();
        // Until the host takes it, the icon's window waits at the screen's origin.
        const auto embedded = [icon] {
            return !icon->geometry().isEmpty() && icon->geometry().topLeft() != QPoint(0, 0);
        };
        if (!check(QTest::qWaitFor(embedded, 10000), "icon embedded in the notification area"))
            return false;
        check(m_form.optionsPage()->findChild<QCheckBox *>("CheckBox2")->toolTip().isEmpty(),
              "CheckBox2 has nothing to explain");
        m_form.Label1Click();
        check(!m_form.isVisible() && !m_form.tables().Dbfmemo().active(),
              "X hides the window, tables closed");
        xclick(icon->geometry().center(), 1);
        if (!check(QTest::qWaitFor([this] { return m_form.isVisible(); }, 5000),
                   "left click brings the window back"))
            return false;
        check(m_form.tables().Dbfmemo().active() && m_form.tables().Dbfinfos().active() && m_form.tables().Dbfadbook().active(),
              "tables reopened");

        m_form.close();
        check(!m_form.isVisible(), "a close request hides again");
        if (!popUpMenu(icon))
            return false;
        clickEntry(m_form.findChild<QAction *>("Ouvrir1"));
        if (!check(QTest::qWaitFor([this] { return m_form.isVisible(); }, 5000), "Ouvrir shows"))
            return false;
        if (!popUpMenu(icon))
            return false;
        clickEntry(m_form.findChild<QAction *>("Fermer1")); // the program ends even though hide-on-close was on
        return true;
    }

    bool popUpMenu(QSystemTrayIcon *icon)
    {
        xclick(icon->geometry().center(), 3);
        QMenu *menu = m_form.findChild<QMenu *>("RxPopupMenu1");
        return check(QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000) &&
                         menu->geometry().adjusted(-2, -2, 2, 2).contains(QCursor::pos()),
                     "right click pops the menu up at the pointer");
    }

    void clickEntry(QAction *entry)
    {
        QMenu *menu = m_form.findChild<QMenu *>("RxPopupMenu1");
        xclick(menu->mapToGlobal(menu->actionGeometry(entry).center()), 1);
    }

    Form1 m_form;
};

int tray(Application &app, const QString &appDir, bool host)
{
    if (host && !QTest::qWaitFor([] { return TPiconeBarreTache::trayAvailable(); }, 10000)) {
        say(QStringLiteral("FAIL no notification area appeared"));
        return 2;
    }
    TrayRoad road(appDir);
    // A window that stays after the last step means the program did not end.
    QTimer::singleShot(0, &app, [&] {
        if (!road.run(host))
            app.exit(3);
        QTimer::singleShot(15000, &app, [&] {
            say(QStringLiteral("FAIL the program did not end"));
            app.exit(4);
        });
    });
    const int code = app.exec();
    if (code == 0)
        road.checkEnded(host);
    return code != 0 ? code : road.failures ? 5 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    Application app(argc, argv);
    app.setErrorReporter(
        [](const QString &message) { say(QStringLiteral("error box: ") + message); });
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == QLatin1String("instance"))
        return instance(app, args.at(2), args.value(3));
    if (args.size() >= 4 && args.at(1) == QLatin1String("tray"))
        return tray(app, args.at(2), args.at(3) == QLatin1String("yes"));
    std::fprintf(stderr,
                 "usage: desktop_helper instance <title> [dir] | tray <app dir> <yes|no>\n");
    return 64;
}
