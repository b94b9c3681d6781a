#include "imageform.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
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
    m_runs = RunPicture();
    m_band = QImage();
    m_picture = picture.convertToFormat(QImage::Format_RGB32);
    if (m_autoSize)
        fitWindowToPicture();
    m_shapeOutOfDate = true;
    update();
}

void TO32CustomImageForm::setPicture(const RunPicture &runs)
{
    m_picture = QImage();
    m_band = QImage();
    m_runs = runs;
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
    if (on && !pictureSize().isEmpty()) {
        fitWindowToPicture();
        update();
    }
}

void TO32CustomImageForm::fitWindowToPicture()
{
    const QSize size = pictureSize();
    if (size.isEmpty())
        return;
    parentWidget()->setFixedSize(size);
    setGeometry(QRect(QPoint(0, 0), size));
}

namespace {

// rowOf(y) gives row y of a picture of width x height pixels.
template <typename RowOf>
std::optional<QRegion> shapeOf(int width, int height, const QColor &transparent, RowOf rowOf)
{
    const QRgb key = transparent.rgb() & 0x00FFFFFF;
    // The runs of one row are disjoint and lie inside the rectangle, so removing them one by one
    // with exclusive-or equals removing their union; collecting them in banded order lets the
    // region be built in one go instead of one costly combination per run.
    std::vector<QRect> runs;
    qint64 cutPixels = 0;
    for (int y = 0; y < height; ++y) {
        const QRgb *row = rowOf(y);
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

// Rows painted from runs at a time: few enough to stay small, enough to keep the calls few.
constexpr int BandRows = 16;

} // namespace

std::optional<QRegion> TO32CustomImageForm::buildShape(const QImage &picture,
                                                       const QColor &transparent)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    return shapeOf(image.width(), image.height(), transparent,
                   [&image](int y) { return reinterpret_cast<const QRgb *>(image.constScanLine(y)); });
}

std::optional<QRegion> TO32CustomImageForm::buildShape(const RunPicture &picture,
                                                       const QColor &transparent)
{
    std::vector<QRgb> row(size_t(picture.width()));
    return shapeOf(picture.width(), picture.height(), transparent, [&](int y) {
        picture.decodeRow(y, row.data());
        return row.data();
    });
}

void TO32CustomImageForm::updateShape()
{
    m_shapeOutOfDate = false;
    if (pictureSize().isEmpty())
        return;
    const std::optional<QRegion> shape = m_runs.isNull() ? buildShape(m_picture, m_transparentColor)
                                                         : buildShape(m_runs, m_transparentColor);
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

void TO32CustomImageForm::paintEvent(QPaintEvent *event)
{
    if (m_shapeOutOfDate)
        updateShape();
    QPainter painter(this);
    if (m_shapeApplied)
        painter.setClipRegion(m_shape);
    if (m_runs.isNull()) {
        painter.drawImage(0, 0, m_picture);
        return;
    }
    const QRect area = event->rect() & QRect(QPoint(0, 0), m_runs.size());
    if (area.isEmpty())
        return;
    if (m_band.isNull())
        m_band = QImage(m_runs.width(), BandRows, QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom(); y += BandRows) {
        const int rows = std::min(BandRows, area.bottom() + 1 - y);
        m_runs.decode(y, rows, m_band);
        painter.drawImage(QPoint(area.left(), y), m_band, QRect(area.left(), 0, area.width(), rows));
    }
}

void TO32CustomImageForm::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
}
