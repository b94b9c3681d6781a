// Our bundled pictures, drawn from their SVG sources at the size a control shows them.
#pragma once

#include "runpicture.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

// The picture ":/art/<name>.svg" rendered at `size` logical pixels for a device pixel ratio
// (0: the application's). A missing picture gives a null pixmap. At ratio 1, a picture drawn at
// build time at that size (":/art/<name>@<width>x<height>.raw") is taken instead.
QPixmap artPixmap(const QString &name, QSize size, qreal ratio = 0);

// The program's icon, from pictures drawn at build time: showing it draws nothing.
QIcon programIcon();

// A picture drawn at build time (velmora_artgen), as a read-only view of the program's own data:
// nothing is decoded or copied. Null when missing or damaged.
QImage rawPicture(const QString &resourcePath);

// The window's skin, ":/art/skin.runs", as the program's own data holds it and decoded whole.
RunPicture skinRuns();
QImage skinPicture();
