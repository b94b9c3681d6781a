// Text and the colour behind it, always given together.
//
// A desktop in dark mode hands the program light text colours. Wherever the program paints a
// background of its own (the white fields, the notebook's pale yellow, the address book's green),
// the text colour must come with it, or light letters land on a light field. These helpers set
// both at once and keep at least the contrast small text needs (4.5:1).
//
//   setReadableColours(field, QPalette::Base, Qt::white);      // the field's text turns dark
//   setReadableColours(page, QPalette::Window, infoColours()); // the desktop's tool-tip pair
#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// What ordinary text needs against its background.
constexpr double ReadableContrast = 4.5;

// The contrast of two colours from their relative luminance: 1 (alike) to 21 (black on white).
double contrastRatio(const QColor &a, const QColor &b);

// `preferred` when it reads on `background`; a coloured text that falls just short, a shade of
// it that reads; anything else, black or white, whichever reads better.
QColor readableTextOn(const QColor &background, const QColor &preferred);

// A softer colour for side notes: `text` moved towards `background` as far as it still reads.
QColor quietTextOn(const QColor &background, const QColor &text);

struct ColourPair
{
    QColor background;
    QColor text;
};

// The notebook's colours: the palette's tool-tip pair, unless its text does not read on its
// background (some dark themes hand both light) or the background is too dark for the icons of
// the record and formatting bars; then pale yellow with black.
ColourPair infoColours(const QPalette &palette = QPalette());

// The palette of the notebook's pages: the desktop's, with the tool-tip pair for the page; or,
// when infoColours() had to choose pale yellow, the style's own light colours with it, so that
// the boxes, buttons and fields on the page stay light as the page does.
QPalette pagePalette(const QPalette &desktop = QPalette());

// Sets `background` for `backgroundRole` (Window, Base, Button, ToolTipBase) and, with it, the
// text colour of that role: `pair.text` made readable on it, a softer one for disabled text and,
// for Base, the placeholder. Every colour group alike, so that the window losing the focus
// changes nothing.
void setReadableColours(QWidget *widget, QPalette::ColorRole backgroundRole, const ColourPair &pair);
// The same, keeping the widget's own text colour where it reads.
void setReadableColours(QWidget *widget, QPalette::ColorRole backgroundRole, const QColor &background);

// The tool tips of the whole program read, whatever the palette: the application's tool-tip
// pair is replaced by infoColours() when its text would not read.
void makeToolTipsReadable();
