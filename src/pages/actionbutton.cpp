#include "actionbutton.h"

#include <QAction>
#include <QToolButton>

QToolButton *makeActionButton(QWidget *parent, const char *name, QAction *action,
                              const std::optional<QString> &ownHint)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(23, 22);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(16, 16));
    button->setCheckable(action->isCheckable());
    const bool followsActionHint = !ownHint;
    button->setToolTip(ownHint.value_or(action->toolTip()));

    auto follow = [button, action, followsActionHint] {
        button->setEnabled(action->isEnabled());
        button->setIcon(action->icon());
        button->setChecked(action->isChecked());
        if (followsActionHint)
            button->setToolTip(action->toolTip());
    };
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(action, &QAction::toggled, button, &QToolButton::setChecked);
    // A checkable button has flipped itself already; an exclusive group may keep its action
    // checked, so the button shows the action again afterwards.
    QObject::connect(button, &QToolButton::clicked, action, [button, action] {
        action->trigger();
        button->setChecked(action->isChecked());
    });
    return button;
}
