// A label or picture that reports a click: a left button pressed on it and released over it.
#pragma once

#include <QLabel>
#include <QMetaMethod>

class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(QWidget *parent = nullptr) : QLabel(parent) {}

    // Makes the label a Tab stop that Enter and Space click, with a visible focus mark.
    void setKeyboardClickable(bool on);
    // Whether anything acts on its clicks: a picture that only decorates is no button.
    bool clickable() const { return isSignalConnected(QMetaMethod::fromSignal(&ClickLabel::clicked)); }

signals:
    void clicked();
    void pressed(QMouseEvent *event);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_leftDown = false;
};
