#include "hubkeys.h"

#include "clicklabel.h"
#include "keyboardcues.h"
#include "mainwindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QStackedWidget>

namespace {

struct Area
{
    const char *name;
    int page;
    Qt::Key digit;
};

// Left to right, as the hub shows them.
constexpr Area Areas[] = {
    {"Label3", Form1::PageMemo, Qt::Key_1},
    {"Label23", Form1::PageAdresses, Qt::Key_2},
    {"Label4", Form1::PageInfos, Qt::Key_3},
    {"ImageOptions", Form1::PageParametres, Qt::Key_4},
};

} // namespace

HubKeys::HubKeys(Form1 &window) : QObject(&window), m_window(window)
{
    setObjectName(QStringLiteral("HubKeys"));
    m_openHub = window.findChild<ClickLabel *>(QStringLiteral("Image1"));
    m_openHub->setKeyboardClickable(true);
    m_openHub->installEventFilter(this);
    // Before the first showing: the window hands the focus to it when it becomes active.
    m_openHub->setFocus();

    for (size_t i = 0; i < m_areas.size(); ++i) {
        const Area &area = Areas[i];
        ClickLabel *label = window.findChild<ClickLabel *>(QLatin1String(area.name));
        m_areas[i] = label;
        // The address book's area is a secret until the hub shows; Tab finds it afterwards.
        label->setKeyboardClickable(area.page != Form1::PageAdresses);

        // Nothing shows its text, so it has none: the area's hint says it in the window's language.
        auto *action = new QAction(this);
        action->setObjectName(QStringLiteral("PageShortcut%1").arg(i + 1));
        action->setShortcut(QKeySequence(Qt::CTRL | area.digit));
        connect(action, &QAction::triggered, this, [this, page = area.page] { selectPage(page); });
        window.addAction(action);
        showShortcutInHint(label, action);
        m_pageActions[i] = action;
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
    for (size_t i = 0; i < m_areas.size(); ++i)
        if (Areas[i].page == page)
            emit m_areas[i]->clicked();
}

bool HubKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_openHub)
        return false;
    // However the hub was revealed, Tab finds the address book's area from then on.
    if (event->type() == QEvent::Hide) {
        m_areas[1]->setKeyboardClickable(true);
        // Ordered only now: a control that takes no focus keeps no place in the order.
        for (size_t i = 1; i < m_areas.size(); ++i)
            QWidget::setTabOrder(m_areas[i - 1], m_areas[i]);
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool opens = key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return ||
                       key == Qt::Key_Enter || key == Qt::Key_Space;
    if (!opens)
        return false;
    openHub();
    m_areas.front()->setFocus(Qt::TabFocusReason);
    return true;
}
