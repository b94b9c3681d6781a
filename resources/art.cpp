#include "art.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QResource>

#include <cstring>

QPixmap artPixmap(const QString &name, QSize size, qreal ratio)
{
    if (ratio <= 0)
        ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    if (ratio == 1.0) {
        const QImage drawn = rawPicture(
            QStringLiteral(":/art/%1@%2x%3.raw").arg(name).arg(size.width()).arg(size.height()));
        if (!drawn.isNull())
            return QPixmap::fromImage(drawn);
    }
    // Through the picture format plugin: the vector renderer is loaded the first time a drawing
    // is asked for, not with the program.
    QImageReader reader(QStringLiteral(":/art/%1.svg").arg(name), "svg");
    reader.setScaledSize(size * ratio);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon programIcon()
{
    QIcon icon;
    for (int side : {16, 22, 32, 48, 64, 128})
        icon.addPixmap(artPixmap(QStringLiteral("velmora"), {side, side}, 1.0));
    return icon;
}

QImage rawPicture(const QString &resourcePath)
{
    const QResource resource(resourcePath);
    constexpr qint64 Header = 3 * sizeof(quint32);
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression ||
        resource.size() < Header)
        return {};
    const uchar *data = resource.data();
    quint32 header[3];
    std::memcpy(header, data, sizeof header);
    const auto [width, height, format] = header;
    if (width == 0 || height == 0 || width > 0x4000 || height > 0x4000 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
        resource.size() != Header + qint64(width) * height * 4)
        return {};
    const QImage view(data + Header, int(width), int(height), int(width) * 4,
                      QImage::Format(format));
    // Rows of 32-bit pixels want 32-bit alignment; elsewhere the view is copied once.
    return quintptr(data + Header) % alignof(quint32) == 0 ? view : view.copy();
}

RunPicture skinRuns()
{
    const QResource resource(QStringLiteral(":/art/skin.runs"));
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression)
        return {};
    return RunPicture::view(resource.data(), resource.size());
}

QImage skinPicture()
{
    return skinRuns().toImage();
}
