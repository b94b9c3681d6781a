// Where things are in src/desktop: this tray icon, launch at log-on (autorunner) and the single
// running instance (xjustone).
//
// The program's icon in the desktop's notification area, and a window that hides there instead
// of closing.
//
// The component watches its owner's close requests: while ReduireSiFin is on and the icon is
// really shown, a close request hides the window and the program keeps running with only the
// icon left. A left click (or double click) on the icon brings the window back; a right click
// pops MenuPop up at the pointer.
//
// Desktops without a notification area exist (bare window managers, some Wayland shells). There
// a hidden window could never be brought back, so a close request closes whatever ReduireSiFin
// says; trayAvailable() tells the options page why its box cannot take effect.
//
//     auto *tray = new TPiconeBarreTache(window);
//     tray->setMenuPop(menu);
//     tray->Loaded();
//     tray->setReduireSiFin(true);
//     tray->setPetiteIconeVisible(true);
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QWidget;

class TPiconeBarreTache : public QObject
{
    Q_OBJECT
public:
    // owner: the window whose close requests the component takes over; it also owns the
    // component. The icon starts as the application's icon, else the owner's.
    explicit TPiconeBarreTache(QWidget *owner);

    // The owner's components are all set up: from now on PetiteIconeVisible acts at once, and
    // the icon appears if it was asked for before.
    void Loaded();

    // Menu of a right click on the icon. Stored only.
    QMenu *MenuPop() const { return m_menuPop; }
    void setMenuPop(QMenu *menu);

    // A close request of the owner hides it instead. Stored only.
    bool ReduireSiFin() const { return m_reduireSiFin; }
    void setReduireSiFin(bool on) { m_reduireSiFin = on; }

    // The icon is in the notification area. Setting the current value does nothing; before
    // Loaded() the value is only stored, and while Icone is empty the icon waits for one.
    bool PetiteIconeVisible() const { return m_petiteIconeVisible; }
    void setPetiteIconeVisible(bool on);

    // The owner is hidden (by a close sent to the tray).
    bool ApplicationCachee() const { return m_applicationCachee; }

    QIcon Icone() const { return m_icone; }
    void setIcone(const QIcon &icon);

    // Shows the owner again, restored when it was minimised, and brings it to the front.
    void showOwner();

    // Whether the desktop shows notification-area icons right now.
    static bool trayAvailable();

    // The icon as the desktop sees it (its geometry, its menu).
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void showIcon();

    QPointer<QWidget> m_owner;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QPointer<QMenu> m_menuPop;
    QIcon m_icone;
    bool m_reduireSiFin = false;
    bool m_petiteIconeVisible = false;
    bool m_applicationCachee = false;
    bool m_loaded = false;
};
