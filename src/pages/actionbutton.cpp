#include "actionbutton.h"

#include "keyboardcues.h"

#include <QAction>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

namespace {

// A flat button shows no focus of its own in most styles; the keyboard needs to see it.
class ActionButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            click();
            return;
        }
        QToolButton::keyPressEvent(event);
    }
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(this);
            paintFocusMark(painter, rect(), this);
        }
    }
};

} // namespace

QToolButton *makeActionButton(QWidget *parent, const char *name, QAction *action,
                              const std::optional<QString> &ownHint)
{
    auto *button = new ActionButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedSize(23, 22);
    button->setAutoRaise(true);
    // Never taken by a click, so that a click leaves the focus in the editor, nor by Tab, which
    // travels the fields: a bar is reached with F6.
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(16, 16));
    button->setCheckable(action->isCheckable());
    const bool followsActionHint = !ownHint;
    button->setToolTip(ownHint.value_or(action->toolTip()));
    showShortcutInHint(button, action);

    auto follow = [button, action, followsActionHint] {
        // Without a hint of its own a button is read out by its command's name.
        if (button->toolTip().isEmpty())
            button->setAccessibleName(action->iconText());
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
