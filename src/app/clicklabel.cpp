#include "clicklabel.h"

#include "keyboardcues.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

void ClickLabel::setKeyboardClickable(bool on)
{
    // Tab only: a click must not leave a focus mark behind.
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
}

void ClickLabel::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool clicks = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (focusPolicy() == Qt::NoFocus || !clicks || event->modifiers() & ~Qt::KeypadModifier) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    emit clicked();
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        paintFocusMark(painter, rect(), this);
    }
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_leftDown = true;
    emit pressed(event);
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_leftDown && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftDown = false;
    event->accept();
    if (click)
        emit clicked();
}
