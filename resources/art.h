// Our bundled pictures, drawn from their SVG sources at the size a control shows them.
#pragma once

#include <QPixmap>
#include <QString>

// The picture ":/art/<name>.svg" rendered at `size` logical pixels for a device pixel ratio
// (0: the application's). A missing picture gives a null pixmap.
QPixmap artPixmap(const QString &name, QSize size, qreal ratio = 0);
