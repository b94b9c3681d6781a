// What a person working with the keyboard alone needs to see and reach: a focus mark on controls
// that the style leaves unmarked, the shortcut beside a control's hint, and a way out of the
// editors that keep the Tab key for themselves.
//
//     showShortcutInHint(button, action);      // "Nouveau" shows as "Nouveau (Ctrl+N)"
//     leaveWithCtrlTab(editor1);               // Ctrl+Tab / Ctrl+Shift+Tab move the focus on
//     keepTextKeys(DBEdit1);                   // Ctrl+Home stays the field's, whatever the page's keys
//     travelParts(page, {ToolBar1, ToolBar2}); // F6 / Shift+F6 reach the bars
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

class QAction;
class QPainter;
class QRect;
class QWidget;

// The hint as shown: the hint, then the shortcut in brackets; the hint alone without a shortcut,
// nothing without a hint.
QString hintWithShortcut(const QString &hint, const QKeySequence &shortcut);

// From now on `widget` shows its own hint (toolTip, which language files replace) followed by
// the current shortcut of `action`.
void showShortcutInHint(QWidget *widget, QAction *action);
void showShortcutInHint(QWidget *widget, const QKeySequence &shortcut);

// A rounded outline with a faint tint just inside `rect`, in the highlight colour.
void paintFocusMark(QPainter &painter, const QRect &rect, const QWidget *widget);

// Ctrl+Tab and Ctrl+Shift+Tab move the focus to the next or previous control from `editor`,
// whose Tab key inserts a tab character.
void leaveWithCtrlTab(QWidget *editor);

// The keys a text field edits and moves with (Home/End, arrows, Delete, Backspace, with or
// without Ctrl, Page Up/Down, Ctrl+A, Tab) go to `field` even when it is read-only, before any
// shortcut of the window can take them. In an editable list Page Up/Down stay in its text
// rather than stepping through the entries.
void keepTextKeys(QWidget *field);

// True for the keys keepTextKeys keeps.
bool isTextKey(int key, Qt::KeyboardModifiers modifiers);

// F6 and Shift+F6 move the focus between the parts of `page`: its fields, then each of `bars`
// in turn. In a bar the arrows (and Home, End) move between its enabled buttons, and Escape
// goes back to the field the focus came from. The bars' buttons are not Tab stops.
void travelParts(QWidget *page, const QList<QWidget *> &bars);

// Moves the focus into `page`: to its first enabled bound text field, else to its first control
// that takes the focus by Tab. (Focus that Qt moved there from a page being hidden lands on
// whatever comes next, often a record button.)
void focusInto(QWidget *page);
