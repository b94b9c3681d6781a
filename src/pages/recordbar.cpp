#include "recordbar.h"

#include "recordactions.h"

#include <QAction>
#include <QToolButton>

namespace {

// Where the buttons sit vertically in the 28-pixel bar: below its two-pixel top edge.
constexpr int ButtonTop = 2;

} // namespace

RecordBar::RecordBar(RecordActions &actions, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ToolBar1"));
    ToolButton1 = addButton("ToolButton1", actions.DataSetDelete, {}, 33);
    ToolButton17 = addButton("ToolButton17", actions.DataSetEdit, {}, 17);
    ToolButton19 = addButton("ToolButton19", actions.DataSetInsert, QStringLiteral("Nouveau"), 0);
    ToolButton18 = addButton("ToolButton18", actions.DataSetCancel, {}, 28);
    ToolButton20 = addButton("ToolButton20", actions.DataSetPost, QStringLiteral("Valider"), 8);
    ToolButton4 = addButton("ToolButton4", actions.DataSetFirst, {}, 136);
    ToolButton6 = addButton("ToolButton6", actions.DataSetPrior, {}, 0);
    ToolButton8 = addButton("ToolButton8", actions.DataSetNext, {}, 0);
    ToolButton5 = addButton("ToolButton5", actions.DataSetLast, {}, 0);
}

// The button is tied to its action by hand rather than as its default action: a default action
// would overwrite the button's own hint at every change of the action.
QToolButton *RecordBar::addButton(const char *name, QAction *action, const QString &ownHint,
                                  int gap)
{
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    m_nextLeft += gap;
    button->setGeometry(m_nextLeft, ButtonTop, ButtonWidth, ButtonHeight);
    m_nextLeft += ButtonWidth;
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setIconSize(QSize(16, 16));
    button->setIcon(action->icon());
    button->setToolTip(ownHint.isEmpty() ? action->toolTip() : ownHint);
    button->setEnabled(action->isEnabled());

    const bool followsActionHint = ownHint.isEmpty();
    connect(action, &QAction::changed, button, [button, action, followsActionHint] {
        button->setEnabled(action->isEnabled());
        button->setIcon(action->icon());
        if (followsActionHint)
            button->setToolTip(action->toolTip());
    });
    connect(button, &QToolButton::clicked, action, &QAction::trigger);
    return button;
}
