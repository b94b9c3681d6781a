// The record bar of a data page (`ToolBar1`, `ToolBar3`, `ToolBar5`): nine buttons bound to the
// record actions, placed from left to right with fixed gaps between groups.
//
// A RecordBarLayout describes one bar: its name and size and, for every button, its name, the
// gap before it and the hint it shows when that is not its action's.
// A button shows its action's picture and is enabled exactly when its action is.
//
//     RecordBar *bar = new RecordBar(actions, ToolBar1Layout, page);
//     bar->button(RecordBar::Insert)->click();
#pragma once

#include <QSize>
#include <QWidget>

#include <array>

class QToolButton;
class RecordActions;

struct RecordBarLayout
{
    struct Button
    {
        const char *name;
        int gap;             // pixels left free before the button
        const char *ownHint; // nullptr: the action's hint
    };
    const char *name;
    QSize size;
    // In the order of RecordBar::Command.
    std::array<Button, 9> buttons;
    bool raised = false; // buttons drawn with their edges, not only under the mouse
};

// The bars of the to-do, information and address book pages.
extern const RecordBarLayout ToolBar1Layout;
extern const RecordBarLayout ToolBar3Layout;
extern const RecordBarLayout ToolBar5Layout;

class RecordBar : public QWidget
{
    Q_OBJECT
public:
    enum Command { Delete, Edit, Insert, Cancel, Post, First, Prior, Next, Last };
    static constexpr int ButtonWidth = 23;
    static constexpr int ButtonHeight = 22;

    RecordBar(RecordActions &actions, const RecordBarLayout &layout, QWidget *parent = nullptr);

    QToolButton *button(Command command) const { return m_buttons[command]; }
    // The x just right of the last button, where a page may place a control of its own.
    int contentRight() const { return m_nextLeft; }

private:
    std::array<QToolButton *, 9> m_buttons{};
    int m_nextLeft = 0;
};
