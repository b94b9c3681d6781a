#include "clocklabel.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

ClockLabel::ClockLabel(QWidget *parent) : QLabel(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &ClockLabel::refresh);
    refresh();
}

void ClockLabel::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    refresh(); // the time it was hidden at would show for up to a second
    m_timer.start();
}

void ClockLabel::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    m_timer.stop();
}

QString ClockLabel::format(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

void ClockLabel::refresh()
{
    setText(format(QDateTime::currentDateTime()));
}

UrlLabel::UrlLabel(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    m_opener = [](const QUrl &url) { QDesktopServices::openUrl(url); };
}

void UrlLabel::setText(const QString &text)
{
    m_text = text;
    update();
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
}

void UrlLabel::openLink()
{
    if (!m_url.isEmpty() && m_opener)
        m_opener(QUrl(m_url));
}

void UrlLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    // Turned 90 degrees counter-clockwise: the text runs up the label.
    painter.translate(0, height());
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, height(), width()), Qt::AlignCenter, m_text);
}

void UrlLabel::mousePressEvent(QMouseEvent *event)
{
    m_leftDown = event->button() == Qt::LeftButton;
}

void UrlLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool open = m_leftDown && event->button() == Qt::LeftButton &&
                      rect().contains(event->position().toPoint());
    m_leftDown = false;
    if (open)
        openLink();
}
