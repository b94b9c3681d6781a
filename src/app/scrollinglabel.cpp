#include "scrollinglabel.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

namespace {

constexpr int MinimumInterval = 10;

} // namespace

TScrollingLabel::TScrollingLabel(QWidget *parent) : QWidget(parent)
{
    m_timer.setInterval(m_interval);
    connect(&m_timer, &QTimer::timeout, this, &TScrollingLabel::advance);
    buildStrip();
}

void TScrollingLabel::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    buildStrip();
    QAccessibleEvent renamed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
}

void TScrollingLabel::setBackGroundColor(const QColor &color)
{
    m_background = color;
    buildStrip();
}

void TScrollingLabel::setTextColor(const QColor &color)
{
    m_textColor = color;
    buildStrip();
}

void TScrollingLabel::setTextFontName(const QString &name)
{
    m_fontName = name;
    buildStrip();
}

void TScrollingLabel::setTextSize(int points)
{
    m_textSize = std::max(1, points);
    buildStrip();
}

void TScrollingLabel::setTextStyle(TextStyles style)
{
    m_textStyle = style;
    buildStrip();
}

void TScrollingLabel::setScreenMode(ScreenMode mode)
{
    m_screenMode = mode;
    buildStrip();
}

void TScrollingLabel::setOffset(int offset)
{
    const int length = stripLength();
    if (offset > length)
        offset = 0;
    else if (offset < 0)
        offset = length;
    m_offset = offset;
    update();
}

void TScrollingLabel::setScroll(bool on)
{
    m_scroll = on;
    if (on && isVisible())
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

void TScrollingLabel::setScrollInterval(int ms)
{
    if (ms != 0 && ms < MinimumInterval)
        ms = MinimumInterval;
    m_interval = ms;
    m_timer.setInterval(ms);
}

void TScrollingLabel::setScrollStep(int pixels)
{
    if (pixels == 0)
        pixels = 1;
    const int length = stripLength();
    if (length > 0 && std::abs(pixels) > length)
        pixels = pixels > 0 ? length : -length;
    m_step = pixels;
}

void TScrollingLabel::advance()
{
    const int length = stripLength();
    if (length <= 0)
        return;
    m_offset += m_step;
    if (m_goAndBack) {
        // Turn at either end of the strip.
        if (m_step > 0 && m_offset >= length) {
            m_offset = length;
            m_step = -m_step;
        } else if (m_step < 0 && m_offset <= 0) {
            m_offset = 0;
            m_step = -m_step;
        }
    } else if (m_step > 0 && m_offset >= length) {
        m_offset = 0;
    } else if (m_step < 0 && m_offset < 0) {
        // A leftward step would otherwise leave the strip; the rotation wraps just as well.
        m_offset += length;
    }
    update();
}

QFont TScrollingLabel::stripFont() const
{
    QFont font(m_fontName);
    font.setPointSize(m_textSize);
    font.setBold(m_textStyle.testFlag(fsBold));
    font.setItalic(m_textStyle.testFlag(fsItalic));
    font.setUnderline(m_textStyle.testFlag(fsUnderline));
    font.setStrikeOut(m_textStyle.testFlag(fsStrikeOut));
    return font;
}

// Only marks it: the dialog sets caption, colours and font one after another as it is made, long
// before it shows, and each drawing of the strip would be thrown away by the next.
void TScrollingLabel::buildStrip()
{
    m_stale = true;
    update();
}

int TScrollingLabel::offset() const
{
    ensureStrip();
    return m_offset;
}

void TScrollingLabel::ensureStrip() const
{
    if (!m_stale && m_builtWidth == width())
        return;
    m_stale = false;
    m_builtWidth = width();

    const QFont font = stripFont();
    const QFontMetrics metrics(font);
    QString padded = m_caption;
    // A font whose blank has no width could never fill the label: stop rather than spin.
    if (metrics.horizontalAdvance(QLatin1Char(' ')) > 0) {
        while (metrics.horizontalAdvance(padded) < width())
            padded += QLatin1Char(' ');
    }
    m_padded = padded;

    const int stripWidth = metrics.horizontalAdvance(padded);
    const int stripHeight = metrics.height();
    const bool empty = stripWidth <= 0 || stripHeight <= 0;
    if (m_offset > (empty ? 0 : stripWidth))
        m_offset = 0;
    if (empty) {
        m_strip = QImage();
        return;
    }
    m_strip = QImage(stripWidth, stripHeight, QImage::Format_RGB32);
    m_strip.fill(m_background);
    QPainter painter(&m_strip);
    painter.setFont(font);
    painter.setPen(m_textColor);
    painter.drawText(QRect(0, 0, stripWidth, stripHeight), Qt::AlignLeft | Qt::AlignTop, padded);
}

QString TScrollingLabel::paddedCaption() const
{
    ensureStrip();
    return m_padded;
}

const QImage &TScrollingLabel::strip() const
{
    ensureStrip();
    return m_strip;
}

QRect TScrollingLabel::destinationBand() const
{
    const int stripHeight = strip().height();
    return QRect(0, height() / 2 - stripHeight / 2, width(), stripHeight);
}

QImage TScrollingLabel::displayImage() const
{
    const int length = stripLength();
    if (length <= 0 || m_offset % length == 0)
        return m_strip;
    const int shift = m_offset % length;
    QImage display(m_strip.size(), m_strip.format());
    QPainter painter(&display);
    painter.drawImage(QPoint(0, 0), m_strip, QRect(shift, 0, length - shift, m_strip.height()));
    painter.drawImage(QPoint(length - shift, 0), m_strip, QRect(0, 0, shift, m_strip.height()));
    return display;
}

void TScrollingLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (strip().isNull())
        return;
    const QRect band = destinationBand();
    const QImage display = displayImage();
    painter.drawImage(band.topLeft(), display,
                      QRect(0, 0, std::min(band.width(), display.width()), display.height()));
}

void TScrollingLabel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    buildStrip();
}

void TScrollingLabel::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_scroll)
        m_timer.start(m_interval);
}

void TScrollingLabel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

void TScrollingLabel::mousePressEvent(QMouseEvent *event)
{
    // The label is not part of the window's drag area.
    event->accept();
}
