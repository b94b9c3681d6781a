#include "art.h"

#include <QGuiApplication>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>

#include <cstring>

QPixmap artPixmap(const QString &name, QSize size, qreal ratio)
{
    QSvgRenderer renderer(QStringLiteral(":/art/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    if (ratio <= 0)
        ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QImage skinPicture()
{
    const QResource resource(QStringLiteral(":/art/skin.rgb32"));
    constexpr qint64 Header = 2 * sizeof(quint32);
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression ||
        resource.size() < Header)
        return {};
    const uchar *data = resource.data();
    quint32 size[2];
    std::memcpy(size, data, sizeof size);
    if (size[0] == 0 || size[1] == 0 || size[0] > 0x4000 || size[1] > 0x4000 ||
        resource.size() != Header + qint64(size[0]) * size[1] * 4)
        return {};
    const QImage view(data + Header, int(size[0]), int(size[1]), int(size[0]) * 4,
                      QImage::Format_RGB32);
    // Rows of 32-bit pixels want 32-bit alignment; elsewhere the view is copied once.
    return quintptr(data + Header) % alignof(quint32) == 0 ? view : view.copy();
}
