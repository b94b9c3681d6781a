#include "keyboardcues.h"

#include "dblineedit.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

#include <functional>

namespace {

// Shows the hint of the watched widget with a shortcut added at the time it is shown, so that a
// hint replaced later (another language) still carries it.
class ShortcutHint : public QObject
{
public:
    ShortcutHint(QWidget *widget, std::function<QKeySequence()> shortcut)
        : QObject(widget), m_shortcut(std::move(shortcut))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        const QString shown = hintWithShortcut(widget->toolTip(), m_shortcut());
        if (shown.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), shown, widget);
        return true;
    }

private:
    std::function<QKeySequence()> m_shortcut;
};

class CtrlTabLeaves : public QObject
{
public:
    explicit CtrlTabLeaves(QWidget *editor) : QObject(editor) { editor->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (!(key->modifiers() & Qt::ControlModifier) ||
            (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab))
            return false;
        const bool forward = key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
        moveFocus(static_cast<QWidget *>(watched), forward);
        return true;
    }

private:
    static bool takesTab(const QWidget *w)
    {
        return (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() &&
               !w->focusProxy();
    }
    static void moveFocus(QWidget *from, bool forward)
    {
        for (QWidget *w = step(from, forward); w && w != from; w = step(w, forward))
            if (takesTab(w) && w->window() == from->window()) {
                w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
                return;
            }
    }
    static QWidget *step(QWidget *w, bool forward)
    {
        return forward ? w->nextInFocusChain() : w->previousInFocusChain();
    }
};

} // namespace

QString hintWithShortcut(const QString &hint, const QKeySequence &shortcut)
{
    if (hint.isEmpty() || shortcut.isEmpty())
        return hint;
    return QStringLiteral("%1 (%2)").arg(hint, shortcut.toString(QKeySequence::NativeText));
}

void showShortcutInHint(QWidget *widget, QAction *action)
{
    new ShortcutHint(widget, [action = QPointer<QAction>(action)] {
        return action ? action->shortcut() : QKeySequence();
    });
}

void showShortcutInHint(QWidget *widget, const QKeySequence &shortcut)
{
    new ShortcutHint(widget, [shortcut] { return shortcut; });
}

void paintFocusMark(QPainter &painter, const QRect &rect, const QWidget *widget)
{
    // Solid and tinted: a dotted hairline is lost on the pictures of the skin.
    QColor colour = widget->palette().color(QPalette::Active, QPalette::Highlight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 2));
    colour.setAlpha(48);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(rect).adjusted(1, 1, -1, -1), 3, 3);
    painter.restore();
}

void leaveWithCtrlTab(QWidget *editor)
{
    new CtrlTabLeaves(editor);
}

void focusInto(QWidget *page)
{
    QWidget *firstStop = nullptr;
    for (QWidget *w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w) || !w->isVisibleTo(page) || !w->isEnabled() ||
            !(w->focusPolicy() & Qt::TabFocus))
            continue;
        if (qobject_cast<DBLineEdit *>(w)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
        if (!firstStop)
            firstStop = w;
    }
    if (firstStop)
        firstStop->setFocus(Qt::TabFocusReason);
}
