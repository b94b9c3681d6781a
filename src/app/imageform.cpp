#include "imageform.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <vector>

TO32CustomImageForm::TO32CustomImageForm(QWidget *window) : QWidget(window)
{
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    // A mask only limits input on compositing platforms; there the cut-out must also be painted
    // see-through.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        window->setAttribute(Qt::WA_TranslucentBackground);
    window->installEventFilter(this);
    setGeometry(window->rect());
}

void TO32CustomImageForm::setPicture(const QImage &picture)
{
    m_picture = picture.convertToFormat(QImage::Format_RGB32);
    if (m_autoSize)
        fitWindowToPicture();
    m_shapeOutOfDate = true;
    update();
}

void TO32CustomImageForm::setTransparentColor(const QColor &color)
{
    if (color.rgb() == m_transparentColor.rgb())
        return;
    m_transparentColor = color;
    m_shapeOutOfDate = true;
    update();
}

void TO32CustomImageForm::setAutoSize(bool on)
{
    m_autoSize = on;
    if (on && !m_picture.isNull()) {
        fitWindowToPicture();
        update();
    }
}

void TO32CustomImageForm::fitWindowToPicture()
{
    if (m_picture.isNull())
        return;
    parentWidget()->setFixedSize(m_picture.size());
    setGeometry(0, 0, m_picture.width(), m_picture.height());
}

std::optional<QRegion> TO32CustomImageForm::buildShape(const QImage &picture,
                                                       const QColor &transparent)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb key = transparent.rgb() & 0x00FFFFFF;
    const int width = image.width();
    const int height = image.height();

    // The runs of one row are disjoint and lie inside the rectangle, so removing them one by one
    // with exclusive-or equals removing their union; collecting them in banded order lets the
    // region be built in one go instead of one costly combination per run.
    std::vector<QRect> runs;
    qint64 cutPixels = 0;
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        int x = 0;
        while (x < width) {
            if ((row[x] & 0x00FFFFFF) != key) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && (row[x] & 0x00FFFFFF) == key)
                ++x;
            runs.emplace_back(start, y, x - start, 1);
            cutPixels += x - start;
        }
    }
    if (cutPixels == qint64(width) * height)
        return std::nullopt;
    QRegion cut;
    cut.setRects(runs.data(), int(runs.size()));
    return QRegion(0, 0, width, height).subtracted(cut);
}

void TO32CustomImageForm::updateShape()
{
    m_shapeOutOfDate = false;
    if (m_picture.isNull())
        return;
    const std::optional<QRegion> shape = buildShape(m_picture, m_transparentColor);
    if (!shape)
        return;
    m_shape = *shape;
    m_shapeApplied = true;
    parentWidget()->setMask(m_shape);
    parentWidget()->update();
}

bool TO32CustomImageForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Show && !m_shapeApplied)
        updateShape();
    return QWidget::eventFilter(watched, event);
}

void TO32CustomImageForm::paintEvent(QPaintEvent *)
{
    if (m_shapeOutOfDate)
        updateShape();
    QPainter painter(this);
    if (m_shapeApplied)
        painter.setClipRegion(m_shape);
    painter.drawImage(0, 0, m_picture);
}

void TO32CustomImageForm::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
}
