// Our bundled pictures, drawn from their SVG sources at the size a control shows them.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// The picture ":/art/<name>.svg" rendered at `size` logical pixels for a device pixel ratio
// (0: the application's). A missing picture gives a null pixmap.
QPixmap artPixmap(const QString &name, QSize size, qreal ratio = 0);

// The window's skin (":/art/skin.rgb32", drawn at build time), as a read-only view of the
// program's own data: nothing is decoded or copied before the first frame. Null when missing or
// damaged.
QImage skinPicture();
