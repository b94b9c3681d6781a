#include "keyboardcues.h"

#include "dblineedit.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QWidget>

#include <algorithm>
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

class TextKeys : public QObject
{
public:
    explicit TextKeys(QWidget *field) : QObject(field) { field->installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (!isTextKey(key->key(), key->modifiers()))
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            key->accept();
            return true;
        }
        // A list would step to another entry, and with it to another record.
        const bool page = key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
        return page && qobject_cast<QComboBox *>(static_cast<QWidget *>(watched)->parentWidget());
    }
};

// The buttons of one bar, left to right, that can take a command now.
QList<QWidget *> barStops(QWidget *bar)
{
    QList<QWidget *> stops;
    for (QAbstractButton *button : bar->findChildren<QAbstractButton *>())
        if (button->isVisibleTo(bar) && button->isEnabled() && button->parentWidget() == bar)
            stops << button;
    std::sort(stops.begin(), stops.end(), [](QWidget *a, QWidget *b) { return a->x() < b->x(); });
    return stops;
}

class PartTravel : public QObject
{
public:
    PartTravel(QWidget *page, const QList<QWidget *> &bars) : QObject(page), m_page(page), m_bars(bars)
    {
        addKey(QKeySequence(Qt::Key_F6), true);
        addKey(QKeySequence(Qt::SHIFT | Qt::Key_F6), false);
        for (QWidget *bar : m_bars) {
            for (QAbstractButton *button : bar->findChildren<QAbstractButton *>())
                takeButton(button);
            bar->installEventFilter(this); // buttons added later are taken as they are polished
        }
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
            if (now && m_page->isAncestorOf(now) && barOf(now) < 0)
                m_lastField = now;
        });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildPolished) {
            if (auto *button = qobject_cast<QAbstractButton *>(static_cast<QChildEvent *>(event)->child()))
                takeButton(button);
            return false;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        if (!qobject_cast<QAbstractButton *>(watched))
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        const int code = key->key();
        const bool ours = key->modifiers() == Qt::NoModifier &&
                          (code == Qt::Key_Escape || code == Qt::Key_Left || code == Qt::Key_Right ||
                           code == Qt::Key_Home || code == Qt::Key_End);
        if (!ours)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            key->accept(); // Escape here leaves the bar, it does not abandon the record
            return true;
        }
        auto *button = static_cast<QWidget *>(watched);
        if (code == Qt::Key_Escape) {
            backToField();
            return true;
        }
        const QList<QWidget *> stops = barStops(button->parentWidget());
        if (stops.isEmpty())
            return true;
        int at = int(stops.indexOf(button));
        if (code == Qt::Key_Home)
            at = 0;
        else if (code == Qt::Key_End)
            at = int(stops.size()) - 1;
        else
            at = (at + (code == Qt::Key_Right ? 1 : int(stops.size()) - 1)) % int(stops.size());
        stops[at]->setFocus(Qt::TabFocusReason);
        return true;
    }

private:
    void takeButton(QAbstractButton *button)
    {
        button->setFocusPolicy(Qt::NoFocus);
        button->installEventFilter(this);
    }

    void addKey(const QKeySequence &sequence, bool forward)
    {
        auto *action = new QAction(this);
        action->setShortcut(sequence);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, [this, forward] { travel(forward); });
        m_page->addAction(action);
    }

    int barOf(const QWidget *w) const
    {
        for (int i = 0; i < m_bars.size(); ++i)
            if (m_bars[i]->isAncestorOf(w) && qobject_cast<const QAbstractButton *>(w))
                return i;
        return -1;
    }

    // Parts: 0 the fields, 1 + i bar i.
    void travel(bool forward)
    {
        const int parts = int(m_bars.size()) + 1;
        int part = barOf(QApplication::focusWidget()) + 1;
        for (int step = 1; step < parts + 1; ++step) {
            part = (part + (forward ? 1 : parts - 1)) % parts;
            if (part == 0) {
                backToField();
                return;
            }
            const QList<QWidget *> stops = barStops(m_bars[part - 1]);
            if (!stops.isEmpty()) {
                stops.front()->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    }

    void backToField()
    {
        if (m_lastField && m_lastField->isVisible() && m_lastField->isEnabled())
            m_lastField->setFocus(Qt::OtherFocusReason);
        else
            focusInto(m_page);
    }

    QWidget *m_page;
    QList<QWidget *> m_bars;
    QPointer<QWidget> m_lastField;
};

} // namespace

bool isTextKey(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    const bool ctrl = held == Qt::ControlModifier;
    if (held != Qt::NoModifier && !ctrl)
        return false; // Alt and Meta belong to the window
    switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        // Ctrl+Shift+Delete deletes the record.
        return !(ctrl && (modifiers & Qt::ShiftModifier));
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return !ctrl; // Ctrl+Page Up/Down move between records
    case Qt::Key_A:
        return ctrl && !(modifiers & Qt::ShiftModifier);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return !ctrl;
    default:
        return false;
    }
}

void keepTextKeys(QWidget *field)
{
    new TextKeys(field);
}

void travelParts(QWidget *page, const QList<QWidget *> &bars)
{
    new PartTravel(page, bars);
}

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
