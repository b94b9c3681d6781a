#include "hubkeys.h"

#include "clicklabel.h"
#include "keyboardcues.h"
#include "mainwindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QStackedWidget>

#include <algorithm>
#include <vector>

namespace {

// Left to right, as the hub shows them.
std::vector<const Form1::PageEntry *> areasInHubOrder()
{
    std::vector<const Form1::PageEntry *> areas;
    for (const Form1::PageEntry &entry : Form1::pages())
        areas.push_back(&entry);
    std::sort(areas.begin(), areas.end(), [](const Form1::PageEntry *a, const Form1::PageEntry *b) {
        return a->geometry.left() < b->geometry.left();
    });
    return areas;
}

} // namespace

HubKeys::HubKeys(Form1 &window) : QObject(&window), m_window(window)
{
    setObjectName(QStringLiteral("HubKeys"));
    m_openHub = window.findChild<ClickLabel *>(QStringLiteral("Image1"));
    m_openHub->setKeyboardClickable(true);
    m_openHub->installEventFilter(this);
    // Before the first showing: the window hands the focus to it when it becomes active.
    m_openHub->setFocus();

    const std::vector<const Form1::PageEntry *> areas = areasInHubOrder();
    for (size_t i = 0; i < areas.size(); ++i) {
        const Form1::PageEntry &area = *areas[i];
        ClickLabel *label = window.findChild<ClickLabel *>(QLatin1String(area.hotArea));
        m_areas.push_back({label, area.index, area.secret});
        // A secret area is no Tab stop until the hub shows; Tab finds it afterwards.
        label->setKeyboardClickable(!area.secret);

        // Nothing shows its text, so it has none: the area's hint says it in the window's language.
        auto *action = new QAction(this);
        action->setObjectName(QStringLiteral("PageShortcut%1").arg(i + 1));
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + int(i))));
        connect(action, &QAction::triggered, this, [this, page = area.index] { selectPage(page); });
        window.addAction(action);
        showShortcutInHint(label, action);
    }
}

void HubKeys::openHub()
{
    if (!m_openHub->isHidden())
        emit m_openHub->clicked();
}

void HubKeys::selectPage(int page)
{
    openHub();
    for (const Area &area : m_areas)
        if (area.page == page)
            emit area.label->clicked();
}

bool HubKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_openHub)
        return false;
    // However the hub was revealed, Tab finds the address book's area from then on. The arrow
    // also hides with the window (to the tray, say), and that reveals nothing.
    if (event->type() == QEvent::Hide && m_openHub->isHidden()) {
        for (const Area &area : m_areas)
            if (area.secret)
                area.label->setKeyboardClickable(true);
        // Ordered only now: a control that takes no focus keeps no place in the order.
        for (size_t i = 1; i < m_areas.size(); ++i)
            QWidget::setTabOrder(m_areas[i - 1].label, m_areas[i].label);
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool opens = key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return ||
                       key == Qt::Key_Enter || key == Qt::Key_Space;
    if (!opens)
        return false;
    openHub();
    m_areas.front().label->setFocus(Qt::TabFocusReason);
    return true;
}
