#include "gradient.h"

#include <QPainter>
#include <cmath>

namespace {

int channelAt(int start, int end, int k, int last)
{
    if (last <= 0)
        return start;
    return start + int(std::lround(double(k) * (end - start) / last));
}

} // namespace

std::vector<GradientBand> gradientBands(const QColor &start, const QColor &end, int height,
                                        int bandCount)
{
    std::vector<GradientBand> bands;
    if (height <= 0 || bandCount <= 0)
        return bands;
    bands.reserve(size_t(bandCount));
    const int last = bandCount - 1;
    const int rows = std::max(1, int(std::lround(1.5 * height / bandCount)));
    for (int k = 0; k < bandCount; ++k) {
        GradientBand band;
        band.color = QColor(channelAt(start.red(), end.red(), k, last),
                            channelAt(start.green(), end.green(), k, last),
                            channelAt(start.blue(), end.blue(), k, last));
        band.top = int(std::lround(double(k) * height / bandCount));
        band.rows = rows;
        bands.push_back(band);
    }
    return bands;
}

Gradient::Gradient(QWidget *parent) : QWidget(parent)
{
    // The gradient is background: presses fall through to the window, which starts a drag.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Gradient::setColors(const QColor &start, const QColor &end)
{
    m_start = start;
    m_end = end;
    update();
}

void Gradient::setBandCount(int count)
{
    m_bandCount = std::max(1, count);
    update();
}

void Gradient::setClipShape(const QPainterPath &shape)
{
    m_clip = shape;
    setAttribute(Qt::WA_OpaquePaintEvent, shape.isEmpty());
    update();
}

void Gradient::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_clip.isEmpty()) {
        for (const GradientBand &band : gradientBands(m_start, m_end, height(), m_bandCount))
            painter.fillRect(0, band.top, width(), band.rows, band.color);
        return;
    }
    // A clip would cut the edge hard: fill the outline with the bands as a texture instead.
    QImage bands(size(), QImage::Format_RGB32);
    {
        QPainter bandPainter(&bands);
        for (const GradientBand &band : gradientBands(m_start, m_end, height(), m_bandCount))
            bandPainter.fillRect(0, band.top, width(), band.rows, band.color);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(bands));
    painter.drawPath(m_clip);
}
