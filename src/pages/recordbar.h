// The record bar of a data page (`ToolBar1` on the to-do page): nine 23 x 22 buttons bound to
// the record actions, placed from left to right with fixed gaps between groups.
//
// A button shows its action's picture and is enabled exactly when its action is. Its hint is the
// action's, except for the insert and post buttons, which say "Nouveau" and "Valider".
#pragma once

#include <QWidget>

class QToolButton;
class RecordActions;

class RecordBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ButtonWidth = 23;
    static constexpr int ButtonHeight = 22;

    RecordBar(RecordActions &actions, QWidget *parent = nullptr);

    QToolButton *ToolButton1 = nullptr;  // delete
    QToolButton *ToolButton17 = nullptr; // edit
    QToolButton *ToolButton19 = nullptr; // insert, "Nouveau"
    QToolButton *ToolButton18 = nullptr; // cancel
    QToolButton *ToolButton20 = nullptr; // post, "Valider"
    QToolButton *ToolButton4 = nullptr;  // first
    QToolButton *ToolButton6 = nullptr;  // prior
    QToolButton *ToolButton8 = nullptr;  // next
    QToolButton *ToolButton5 = nullptr;  // last

private:
    QToolButton *addButton(const char *name, QAction *action, const QString &ownHint, int gap);

    int m_nextLeft = 0;
};
