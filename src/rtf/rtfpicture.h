// Pictures of a note, kept as the bytes they came with.
//
// A PNG or JPEG picture is shown and written back with its own bytes, never re-encoded, so a
// note that only gained a word stores the same picture. Kinds Qt cannot draw (metafiles, device
// bitmaps, old Macintosh pictures) are kept whole, as the RTF group they came in, and shown as a
// framed placeholder of their size. The picture lives in the document as a resource named by the
// image format, so it follows the format through copy and paste within the document.
//
//     const QTextImageFormat format = RtfPictures::insertable(doc, picture);
//     cursor.insertImage(format);
//     ...
//     if (std::optional<RtfPicture> kept = RtfPictures::find(doc, format))
//         out += RtfPictures::toRtf(*kept);
#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QSize>
#include <QTextDocument>
#include <QTextFormat>

#include <optional>

struct RtfPicture
{
    enum class Kind { Png, Jpeg, Opaque };
    Kind kind = Kind::Opaque;
    QByteArray data;  // Png, Jpeg: the file's bytes
    QByteArray group; // Opaque: the whole {\pict ...} or {\object ...} group, 7-bit
    QByteArray preview; // Opaque: PNG or JPEG bytes that show it, when it came with them
    QSize pixels;     // Png, Jpeg: the decoded size
    // As read, and written back: \picw, \pich, \picwgoal, \pichgoal, \picscalex, \picscaley.
    int picw = 0;
    int pich = 0;
    int goalWidth = 0;
    int goalHeight = 0;
    int scaleX = 100;
    int scaleY = 100;

    // The size the picture is shown at, in twips.
    int shownWidthTwips() const { return goalWidth * scaleX / 100; }
    int shownHeightTwips() const { return goalHeight * scaleY / 100; }
};
Q_DECLARE_METATYPE(RtfPicture)

namespace RtfPictures {

constexpr int PictureResource = QTextDocument::UserResource + 1;

// Bounds of a shown picture, in pixels: what a note can sensibly show, and what a placeholder
// may allocate.
constexpr int MaxShownPixels = 4000;
constexpr int MaxPlaceholderPixels = 1024;

// Registers the picture (and what shows it) with doc and returns the format to insert.
QTextImageFormat insertable(QTextDocument *doc, const RtfPicture &picture);

// The picture behind an image format, when doc holds one.
std::optional<RtfPicture> find(const QTextDocument *doc, const QTextImageFormat &format);

// The picture as an RTF \pict group: its control words, then its bytes as hexadecimal digits in
// lines of at most 128; an opaque picture is its group as read.
QByteArray toRtf(const RtfPicture &picture);

// bytes as hexadecimal digits, in lines of at most 128.
QByteArray hexLines(QByteArrayView bytes);

// A PNG picture of image at its own size, or shown no wider than maxWidth pixels (0: any width).
RtfPicture fromImage(const QImage &image, int maxWidth = 0);

// A picture from the bytes of an image file: PNG and JPEG keep their bytes, any other kind Qt
// reads becomes PNG. Nothing when Qt cannot read the bytes.
std::optional<RtfPicture> fromFileBytes(const QByteArray &bytes, int maxWidth = 0);

// Completes a PNG or JPEG picture read from RTF: decodes its bytes and fills in the sizes that
// were not given. False when the bytes are not a picture Qt can read.
bool decode(RtfPicture &picture);

} // namespace RtfPictures
