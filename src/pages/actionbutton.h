// A tool button that shows a command (QAction) while keeping a hint of its own.
//
// QToolButton::setDefaultAction would overwrite the button's own hint at every change of the
// action (a check, an enable), and the bars carry hints that differ from their action's and
// that language files replace by button name. So the button follows the action's picture,
// enabled and checked state by hand and triggers it when clicked.
#pragma once

#include <QString>

#include <optional>

class QAction;
class QToolButton;
class QWidget;

// A 23 x 22 hand-cursor button on `parent`, named `name`, showing `action`. Without `ownHint`
// the button shows the action's hint and follows it; an empty one shows none.
QToolButton *makeActionButton(QWidget *parent, const char *name, QAction *action,
                              const std::optional<QString> &ownHint);
