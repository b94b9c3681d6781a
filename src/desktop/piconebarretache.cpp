#include "piconebarretache.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QWidget>

TPiconeBarreTache::TPiconeBarreTache(QWidget *owner) : QObject(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("PiconeBarreTache1"));
    m_icone = QApplication::windowIcon();
    if (m_icone.isNull() && owner)
        m_icone = owner->windowIcon();
    m_trayIcon = new QSystemTrayIcon(m_icone, this);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &TPiconeBarreTache::iconActivated);
    if (owner)
        owner->installEventFilter(this);
}

void TPiconeBarreTache::Loaded()
{
    m_loaded = true;
    if (m_petiteIconeVisible)
        showIcon();
}

void TPiconeBarreTache::setMenuPop(QMenu *menu)
{
    m_menuPop = menu;
    m_trayIcon->setContextMenu(menu);
}

void TPiconeBarreTache::setPetiteIconeVisible(bool on)
{
    if (on == m_petiteIconeVisible)
        return;
    m_petiteIconeVisible = on;
    if (!m_loaded)
        return;
    if (on)
        showIcon();
    else
        m_trayIcon->hide();
}

void TPiconeBarreTache::setIcone(const QIcon &icon)
{
    m_icone = icon;
    m_trayIcon->setIcon(m_icone);
    if (m_petiteIconeVisible && m_loaded && !m_trayIcon->isVisible())
        showIcon();
}

// An icon without a picture would be an empty place in the notification area: it waits for
// setIcone(), which the window calls once its first frame is shown.
void TPiconeBarreTache::showIcon()
{
    if (m_icone.isNull())
        return;
    m_trayIcon->setIcon(m_icone);
    m_trayIcon->show();
}

void TPiconeBarreTache::showOwner()
{
    if (!m_owner)
        return;
    m_applicationCachee = false;
    // Shown first: showing may put back a minimised state saved when it was hidden.
    m_owner->show();
    if (m_owner->isMinimized())
        m_owner->showNormal();
    m_owner->raise();
    m_owner->activateWindow();
}

bool TPiconeBarreTache::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// The menu of a right click is popped up by the icon itself (it is its context menu).
void TPiconeBarreTache::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        showOwner();
}

// Hiding only while the icon is there to bring the window back: a window hidden without one
// would leave the program running with no way to reach it.
bool TPiconeBarreTache::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && event->type() == QEvent::Close && m_reduireSiFin &&
        m_trayIcon->isVisible() && trayAvailable()) {
        event->ignore();
        m_owner->hide();
        m_applicationCachee = true;
        return true;
    }
    return QObject::eventFilter(watched, event);
}
