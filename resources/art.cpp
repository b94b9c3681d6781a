#include "art.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

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
